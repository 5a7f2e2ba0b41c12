#include "tests/core/core_fixture.h"

namespace {

TEST_F(CoreTest, FrameTimerMeasuresFromItsReset) {
  fake.time = 2.0;
  Core_ResetFrameTimer();
  EXPECT_EQ(core.frameTimer.lastTime, 2.0);
  EXPECT_EQ(core.frameTimer.total, 0.0);

  fake.time = 2.5;
  Core_UpdateFrameTimer();
  EXPECT_DOUBLE_EQ(core.frameTimer.delta, 0.5);
  EXPECT_DOUBLE_EQ(core.frameTimer.total, 0.5);
  EXPECT_DOUBLE_EQ(core.frameTimer.smoothedDelta, 0.1);  // 0 + (0.5 - 0) x 0.2

  fake.time = 2.75;
  Core_UpdateFrameTimer();
  EXPECT_DOUBLE_EQ(core.frameTimer.delta, 0.25);
  EXPECT_DOUBLE_EQ(core.frameTimer.total, 0.75);
  EXPECT_DOUBLE_EQ(core.frameTimer.smoothedDelta, 0.1 + (0.25 - 0.1) * 0.2);
}

TEST_F(CoreTest, FrameTimerNotStartedGivesZeroDelta) {
  fake.time = 5.0;
  Core_UpdateFrameTimer();  // lastTime is 0
  EXPECT_EQ(core.frameTimer.delta, 0.0);
  EXPECT_EQ(core.frameTimer.total, 0.0);
  EXPECT_EQ(core.frameTimer.lastTime, 5.0);
}

TEST_F(CoreTest, FrameTimerDropsTheSpanBetweenItsTwoReadings) {
  fake.time = 1.0;
  Core_ResetFrameTimer();  // reads 1.0; the clock then moves on
  fake.timePerRead = 0.01;
  fake.time = 1.1;
  Core_UpdateFrameTimer();  // reads 1.1 for delta, 1.11 for lastTime
  EXPECT_NEAR(core.frameTimer.delta, 0.1, 1e-12);
  EXPECT_NEAR(core.frameTimer.lastTime, 1.11, 1e-12);
}

TEST_F(CoreTest, FpsCountsFramesOverTheNominalWindow) {
  core.fps.interval = 0.2f;
  fake.time = 1.0;
  // Five frames inside the first 0.2 s window, the fifth at 1.25 s: the rate is
  // taken over the nominal 0.2 s and the 0.05 s overshoot is carried over.
  const double times[] = {1.0, 1.05, 1.1, 1.15, 1.25};
  for (int i = 0; i < 4; ++i) {
    fake.time = times[i];
    Core_UpdateFps();
    EXPECT_EQ(core.fps.framesPerSecond, 0) << i;
  }
  EXPECT_FLOAT_EQ(core.fps.windowStart, 1.0f);
  fake.time = times[4];
  Core_UpdateFps();
  EXPECT_FLOAT_EQ(core.fps.framesPerSecond, 5 / 0.2f);
  EXPECT_EQ(core.fps.frames, 0);
  EXPECT_FLOAT_EQ(core.fps.windowStart, 1.25f + (0.25f - 0.2f));
}

TEST_F(CoreTest, FadesMoveTheActiveScreenInAndTheOthersOut) {
  core.screen = Screen_Sandbox;
  core.screenFade[2] = 0.5f;
  core.frameTimer.smoothedDelta = 0.1;  // step 0.3 per frame
  Core_UpdateFades();
  EXPECT_FLOAT_EQ(core.screenFade[Screen_Sandbox], 0.3f);
  EXPECT_FLOAT_EQ(core.screenFade[2], 0.2f);
  Core_UpdateFades();
  EXPECT_FLOAT_EQ(core.screenFade[Screen_Sandbox], 0.6f);
  EXPECT_EQ(core.screenFade[2], 0.0f);  // clamped, not negative
  Core_UpdateFades();
  Core_UpdateFades();
  EXPECT_EQ(core.screenFade[Screen_Sandbox], 1.0f);  // clamped, not 1.2
  for (int i = 0; i < Screen_Sandbox; ++i) EXPECT_EQ(core.screenFade[i], 0.0f) << i;
}

}  // namespace
