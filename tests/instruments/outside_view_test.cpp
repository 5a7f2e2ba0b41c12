// The view from outside: F7, and the eye's distance from PageUp, PageDown and
// the wheel, frame by frame against the fake window library.
#include <gtest/gtest.h>

#include "core/core.h"
#include "instruments/instruments.h"
#include "tests/support/fake_platform.h"

namespace {

class OutsideViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Fake_Reset();
    instruments = InstrumentsState();
    core.frameTimer.delta = 0.1;  // seconds per frame
  }
  void TearDown() override {
    instruments = InstrumentsState();
    Fake_Reset();
  }
  void frame(bool f7 = false) { Instruments_UpdateOutsideView(f7); }
};

TEST_F(OutsideViewTest, TheWheelCountsOnlyTurnsMadeWhileTheViewIsOutside) {
  fake.mouseWheel = 7;  // turned before: the position counts from the start of the run
  frame();
  fake.mouseWheel = 9;
  frame();  // turned with the view inside: nothing changes
  frame(true);
  EXPECT_TRUE(Instruments_OutsideView());
  EXPECT_FLOAT_EQ(instruments.outsideDistance, kOutsideStartDistance);
  fake.mouseWheel = 10;  // one notch away from the user: nearer
  frame();
  EXPECT_FLOAT_EQ(instruments.outsideDistance, kOutsideStartDistance / kOutsideWheelStep);
  fake.mouseWheel = 8;  // two notches back: farther
  frame();
  EXPECT_FLOAT_EQ(instruments.outsideDistance, kOutsideStartDistance * kOutsideWheelStep);
  frame(true);
  EXPECT_FALSE(Instruments_OutsideView());
}

TEST_F(OutsideViewTest, PageKeysMoveTheEyeWithinItsLimits) {
  frame(true);
  fake.keysDown = {GLFW_KEY_PAGEDOWN};
  frame();
  EXPECT_GT(instruments.outsideDistance, kOutsideStartDistance);
  for (int i = 0; i < 1000; ++i) frame();
  EXPECT_EQ(instruments.outsideDistance, kOutsideMaxDistance);
  fake.keysDown = {GLFW_KEY_PAGEUP};
  for (int i = 0; i < 1000; ++i) frame();
  EXPECT_EQ(instruments.outsideDistance, kOutsideMinDistance);
  fake.mouseWheel = 50;  // and so does the wheel
  frame();
  EXPECT_EQ(instruments.outsideDistance, kOutsideMinDistance);
}

TEST_F(OutsideViewTest, AResetLeavesTheWheelWhereItIs) {
  frame(true);
  fake.mouseWheel = 3;
  frame();
  const float distance = instruments.outsideDistance;
  Instruments_Reset();  // as F11 does: the view is inside again
  EXPECT_FALSE(Instruments_OutsideView());
  frame(true);
  EXPECT_FLOAT_EQ(instruments.outsideDistance, kOutsideStartDistance);
  frame();  // the notches turned before the reset are not turned again
  EXPECT_FLOAT_EQ(instruments.outsideDistance, kOutsideStartDistance);
  EXPECT_NE(distance, kOutsideStartDistance);
}

}  // namespace
