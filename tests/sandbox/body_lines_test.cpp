// The panel's lines of the bodies: the ball always, the other balls while
// they fit, then one line counting the rest.
#include <gtest/gtest.h>

#include "sandbox/sandbox.h"

namespace {

std::vector<vec3f> bodies(int count) {
  std::vector<vec3f> positions;
  for (int i = 0; i < count; ++i) positions.push_back(vec3f(0.5f * static_cast<float>(i), 1, -2));
  return positions;
}

TEST(BodyLines, ListsAtMostEightOtherBallsAndCountsTheRest) {
  struct Case {
    int bodies, lineRoom;
    int listed;        // other balls listed
    const char* last;  // the last line
  };
  const Case cases[] = {
      {1, 100, 0, "Position 0, 1, -2"},
      {1, 0, 0, "Position 0, 1, -2"},  // the ball's own lines even in a tiny window
      {9, 100, 8, "Position 4, 1, -2"},
      {10, 100, 8, "... and 1 more ball"},
      {65, 100, 8, "... and 56 more balls"},
      // 640 x 480 with the panel's six other lines: room for twelve.
      {6, 12, 5, "Position 2.5, 1, -2"},
      {7, 12, 4, "... and 2 more balls"},
      {3, 2, 0, "... and 2 more balls"},
  };
  for (const Case& c : cases) {
    const std::vector<std::string> lines = Overlay_BodyLines(bodies(c.bodies), c.lineRoom);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Volume [0]");
    EXPECT_EQ(lines[1], "Position 0, 1, -2");
    for (int i = 1; i <= c.listed; ++i) EXPECT_EQ(lines[2 * i], "Volume [" + std::to_string(i) + "]");
    const size_t expected = 2 + 2 * static_cast<size_t>(c.listed) + (c.listed < c.bodies - 1 ? 1 : 0);
    EXPECT_EQ(lines.size(), expected) << c.bodies << " bodies, room " << c.lineRoom;
    EXPECT_EQ(lines.back(), c.last) << c.bodies << " bodies, room " << c.lineRoom;
  }
  EXPECT_TRUE(Overlay_BodyLines({}, 10).empty());
}

TEST(BodyLines, RoomIsWhatKeepsThePanelsTopInTheWindow) {
  // The panel's bottom edge is 100 pixels above the window's; n lines make
  // it 20 n + 20 pixels high.
  EXPECT_EQ(Overlay_LineRoom(0, 480), 18);
  EXPECT_EQ(Overlay_LineRoom(6, 480), 12);
  EXPECT_EQ(Overlay_LineRoom(6, 768), 26);
  EXPECT_LT(Overlay_LineRoom(6, 50), 0);
}

}  // namespace
