// Letter bindings follow the keyboard layout: a binding means the key that
// types its character, wherever that key sits.
#include <map>

#include "tests/core/core_fixture.h"

namespace {

// The keys of two layouts that type something other than on a US keyboard:
// US position -> upper-case character typed.
const std::map<int, int> kAzerty = {{'Q', 'A'}, {'A', 'Q'}, {'W', 'Z'}, {'Z', 'W'},
                                    {';', 'M'}, {'M', ','}, {'[', '^'}, {']', '$'}};
const std::map<int, int> kDvorak = {
    {'Q', '\''}, {'W', ','}, {'E', '.'}, {'R', 'P'}, {'T', 'Y'}, {'Y', 'F'}, {'U', 'G'},
    {'I', 'C'},  {'O', 'R'}, {'P', 'L'}, {'[', '/'}, {']', '='}, {'S', 'O'}, {'D', 'E'},
    {'F', 'U'},  {'G', 'I'}, {'H', 'D'}, {'J', 'H'}, {'K', 'T'}, {'L', 'N'}, {';', 'S'},
    {'\'', '-'}, {'Z', ';'}, {'X', 'Q'}, {'C', 'J'}, {'V', 'K'}, {'B', 'X'}, {'N', 'B'},
    {',', 'W'},  {'.', 'V'}, {'/', 'Z'}, {'-', '['}, {'=', ']'}};

const std::map<int, int>* layoutInUse = nullptr;
int typedAt(int position) {
  const auto found = layoutInUse->find(position);
  return found == layoutInUse->end() ? position : found->second;
}

TEST(KeyPosition, FindsTheKeyThatTypesTheCharacter) {
  const std::map<int, int> us;
  struct Case {
    const char* layout;
    const std::map<int, int>* keys;
    int character, position;
  };
  const Case cases[] = {
      {"US", &us, 'Q', 'Q'},
      {"US", &us, '[', '['},
      {"AZERTY", &kAzerty, 'Q', 'A'},
      {"AZERTY", &kAzerty, 'A', 'Q'},
      {"AZERTY", &kAzerty, 'W', 'Z'},
      {"AZERTY", &kAzerty, 'M', ';'},
      {"AZERTY", &kAzerty, 'F', 'F'},  // where it is on a US keyboard
      // No key types '[' plainly: it stays on its US key.
      {"AZERTY", &kAzerty, '[', '['},
      {"Dvorak", &kDvorak, 'P', 'R'},
      {"Dvorak", &kDvorak, 'Q', 'X'},
      {"Dvorak", &kDvorak, 'F', 'Y'},
      {"Dvorak", &kDvorak, '[', '-'},
      {"Dvorak", &kDvorak, 'A', 'A'},
      // Special keys are no characters.
      {"Dvorak", &kDvorak, GLFW_KEY_F2, GLFW_KEY_F2},
      {"Dvorak", &kDvorak, GLFW_KEY_UP, GLFW_KEY_UP},
  };
  for (const Case& c : cases) {
    layoutInUse = c.keys;
    EXPECT_EQ(Platform_KeyPosition(c.character, typedAt), c.position)
        << c.layout << " '" << static_cast<char>(c.character) << "'";
  }
}

TEST_F(CoreTest, BindingsFollowTheLayoutThroughTheWindowLibrary) {
  fake.windowOpen = true;
  Core_InitializeDebugValues();
  // AZERTY: the key that types q zeroes the debug values, and it sits
  // where a US keyboard has A.
  fake.layout = kAzerty;
  auto zeroesDebugValues = [](int position) {
    core.activeDebug[0].value = 5;
    fake.keysDown = {position};
    Core_Update();
    return core.activeDebug[0].value == 0;
  };
  EXPECT_TRUE(zeroesDebugValues('A'));
  EXPECT_FALSE(zeroesDebugValues('Q'));

  // Dvorak: F (raise the first value) is typed by the US Y key.
  fake.layout = kDvorak;
  core.activeDebug[0] = DebugValue{0, 'F', 'S', 1.0f, 0};
  fake.keysDown = {'Y'};
  Core_UpdateDebugValue(core.activeDebug[0]);
  EXPECT_FLOAT_EQ(core.activeDebug[0].value, 0.001f);
  fake.keysDown = {'F'};  // types u: raises nothing, the value coasts
  Core_UpdateDebugValue(core.activeDebug[0]);
  EXPECT_FLOAT_EQ(core.activeDebug[0].rate, 0.0005f);
}

}  // namespace
