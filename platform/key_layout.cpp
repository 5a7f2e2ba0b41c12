// Which key types a character in the current keyboard layout (platform.h).
#include "platform/platform.h"

namespace {

// The US positions the window library has keys for: the space up to the
// grave accent, the range of printable ASCII codes that GLFW 3 names its
// printable keys by.
constexpr int kFirstPosition = GLFW_KEY_SPACE;
constexpr int kLastPosition = 96;

}  // namespace

int Platform_KeyPosition(int character, int (*typedAt)(int position)) {
  if (character < kFirstPosition || character > kLastPosition) return character;
  if (typedAt(character) == character) return character;
  for (int position = kFirstPosition; position <= kLastPosition; ++position)
    if (typedAt(position) == character) return position;
  return character;
}
