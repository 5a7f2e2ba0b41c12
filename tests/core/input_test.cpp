#include <vector>

#include "tests/core/core_fixture.h"

namespace {

struct DebugCase {
  const char* name;
  std::vector<std::set<int>> keysPerFrame;
  std::vector<float> rates;   // after each frame
  std::vector<float> values;  // after each frame
};

void PrintTo(const DebugCase& c, std::ostream* os) { *os << c.name; }

class DebugValueTest : public CoreTest, public ::testing::WithParamInterface<DebugCase> {};

TEST_P(DebugValueTest, AcceleratesAndCoasts) {
  const DebugCase& c = GetParam();
  Core_InitializeDebugValues();
  DebugValue& first = core.activeDebug[0];
  for (size_t frame = 0; frame < c.keysPerFrame.size(); ++frame) {
    fake.keysDown = c.keysPerFrame[frame];
    Core_UpdateDebugValue(first);
    EXPECT_FLOAT_EQ(first.rate, c.rates[frame]) << "frame " << frame;
    EXPECT_FLOAT_EQ(first.value, c.values[frame]) << "frame " << frame;
  }
}

const int F = 'F', S = 'S';
INSTANTIATE_TEST_SUITE_P(
    Keys, DebugValueTest,
    ::testing::Values(
        DebugCase{"Held", {{F}, {F}}, {0.001f, 0.002f}, {0.001f, 0.003f}},
        DebugCase{"HeldWithLeftCtrl",
                  {{F, GLFW_KEY_LCTRL}, {F, GLFW_KEY_LCTRL}},
                  {0.01f, 0.02f},
                  {0.01f, 0.03f}},
        DebugCase{"HeldWithLeftShift", {{F, GLFW_KEY_LSHIFT}}, {0.0001f}, {0.0001f}},
        // Only the left-hand modifiers count.
        DebugCase{"RightCtrlIgnored", {{F, GLFW_KEY_RCTRL}}, {0.001f}, {0.001f}},
        DebugCase{"Lowered", {{S}, {S}}, {-0.001f, -0.002f}, {-0.001f, -0.003f}},
        DebugCase{"CoastsAfterRelease",
                  {{F}, {F}, {}, {}, {}},
                  {0.001f, 0.002f, 0.001f, 0.0005f, 0.00025f},
                  {0.001f, 0.003f, 0.004f, 0.0045f, 0.00475f}},
        DebugCase{"BothKeysCancel", {{F, S}, {F, S}}, {0, 0}, {0, 0}}),
    [](const ::testing::TestParamInfo<DebugCase>& info) { return info.param.name; });

TEST_F(CoreTest, EachValueHasItsOwnKeys) {
  Core_InitializeDebugValues();
  fake.keysDown = {'E', 'W'};
  for (DebugValue& debug : core.activeDebug) Core_UpdateDebugValue(debug);
  EXPECT_FLOAT_EQ(core.activeDebug[0].value, 0);
  EXPECT_FLOAT_EQ(core.activeDebug[1].value, 0.001f);
  EXPECT_FLOAT_EQ(core.activeDebug[2].value, -0.001f);
}

TEST_F(CoreTest, QHeldWithAnAdjustmentKeyKeepsTheValuesAtZero) {
  Core_InitializeDebugValues();
  fake.windowOpen = true;
  fake.keysDown = {'F', 'E', 'Q'};
  for (int frame = 0; frame < 3; ++frame) {
    Core_Update();
    for (const DebugValue& debug : core.activeDebug) {
      EXPECT_EQ(debug.value, 0);
      EXPECT_EQ(debug.rate, 0);
    }
  }
  // Released: the values move again.
  fake.keysDown = {'F'};
  Core_Update();
  EXPECT_FLOAT_EQ(core.activeDebug[0].value, 0.001f);
}

TEST_F(CoreTest, UpdateMouseReadsThePointer) {
  fake.mouseX = 17;
  fake.mouseY = -3;
  Core_UpdateMouse();
  EXPECT_EQ(core.mouseX, 17);
  EXPECT_EQ(core.mouseY, -3);
}

}  // namespace
