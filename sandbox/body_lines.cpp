// The panel's lines of the bodies: the ball's, and a few of the other
// balls' (shot with B or played back), so that many balls never push the
// panel's title off the top of the window.
#include <algorithm>

#include "core/core.h"
#include "sandbox/sandbox.h"

int Overlay_LineRoom(int linesBefore, unsigned windowHeight) {
  // The panel's bottom edge sits 100 pixels above the window's, and each
  // line takes 20 pixels with 20 more for the brackets' margins.
  const int fitting = (static_cast<int>(std::min(windowHeight, 100000u)) - 100) / 20 - 1;
  return fitting - linesBefore;
}

std::vector<std::string> Overlay_BodyLines(const std::vector<vec3f>& positions, int lineRoom) {
  std::vector<std::string> lines;
  auto add = [&](size_t i) {
    const vec3f& p = positions[i];
    lines.push_back("Volume [" + std::to_string(i) + "]");
    lines.push_back("Position " + toText(p.x) + ", " + toText(p.y) + ", " + toText(p.z));
  };
  if (positions.empty()) return lines;
  add(0);
  const int others = static_cast<int>(positions.size()) - 1;
  // Every other ball when they all fit (as many as kMaxListedBalls);
  // otherwise as many as leave room for the line that counts the rest.
  int listed = others;
  if (others > kMaxListedBalls || 2 + 2 * others > lineRoom)
    listed = std::max(0, std::min(kMaxListedBalls, (lineRoom - 2 - 1) / 2));
  for (int i = 1; i <= listed; ++i) add(static_cast<size_t>(i));
  const int rest = others - listed;
  if (rest > 0)
    lines.push_back("... and " + std::to_string(rest) + (rest == 1 ? " more ball" : " more balls"));
  return lines;
}
