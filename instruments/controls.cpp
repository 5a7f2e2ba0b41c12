// The instrument keys, pause and single step, slow motion, and the one place
// where the scene takes a physics step.
#include <algorithm>
#include <chrono>
#include <cmath>

#include "core/core.h"
#include "instruments/instruments.h"
#include "platform/platform.h"
#include "replay/replay.h"
#include "sandbox/sandbox.h"
#include "tuning/tuning.h"

using Veruruve::Physics::Volume;

InstrumentsState instruments;

void Instruments_Reset() {
  // The keys held now stay remembered, so a key held through a reset does
  // not act again.
  std::vector<int> keysDown = std::move(instruments.keysDown);
  instruments = InstrumentsState();
  instruments.keysDown = std::move(keysDown);
}

// True in the frame in which key goes down.
static bool pressed(int key, std::vector<int>& downNow) {
  if (glfwGetKey(key) != GLFW_PRESS) return false;
  downNow.push_back(key);
  const std::vector<int>& before = instruments.keysDown;
  return std::find(before.begin(), before.end(), key) == before.end();
}

void Instruments_Update() {
  std::vector<int> downNow;
  if (pressed('P', downNow)) Instruments_SetPaused(!instruments.paused);
  if (pressed('O', downNow) && instruments.paused) Instruments_RequestStep();
  if (pressed('[', downNow) && instruments.slowMotion < kMaxSlowMotion) instruments.slowMotion += 1;
  if (pressed(']', downNow) && instruments.slowMotion > 0) instruments.slowMotion -= 1;
  // A played-back session takes its balls from its file.
  if (pressed('B', downNow) && !Replay_Playing()) {
    if (Instruments_ShotBallCount() >= kMaxShotBalls)
      instruments.ballLimitNoticeUntil = core.frameTimer.total + kBallLimitNoticeSeconds;
    else
      Instruments_ShootFromCamera();
  }
  if (pressed(GLFW_KEY_F1, downNow)) instruments.help = !instruments.help;
  if (pressed(GLFW_KEY_F2, downNow)) {
    switch (instruments.rooms) {
      case RoomDrawing::Off: instruments.rooms = RoomDrawing::Rooms; break;
      case RoomDrawing::Rooms: instruments.rooms = RoomDrawing::RoomsAndBallRooms; break;
      case RoomDrawing::RoomsAndBallRooms: instruments.rooms = RoomDrawing::Off; break;
    }
  }
  if (pressed(GLFW_KEY_F3, downNow)) instruments.contacts = !instruments.contacts;
  if (pressed(GLFW_KEY_F4, downNow)) instruments.plots = !instruments.plots;
  if (pressed(GLFW_KEY_F12, downNow)) instruments.screenshotRequested = true;
  Instruments_UpdateOutsideView(pressed(GLFW_KEY_F7, downNow));
  instruments.keysDown = std::move(downNow);
  Replay_Update();
  Tuning_Update();
}

bool Instruments_Paused() { return instruments.paused; }

void Instruments_SetPaused(bool paused) {
  instruments.paused = paused;
  instruments.stepRequested = false;
}

void Instruments_RequestStep() {
  if (instruments.paused) instruments.stepRequested = true;
}

float Instruments_StepInterval() {
  // Powers of two times 0.016f are exact, so the normal rate adds exactly
  // 0.016f as it always has.
  return kBaseStepInterval * static_cast<float>(1 << instruments.slowMotion);
}

bool Instruments_StepDue() {
  if (instruments.paused) return instruments.stepRequested;
  return sandbox.nextStepTime < core.frameTimer.total;
}

// Angle between two directions in degrees; 0 when either is zero.
static float angleDegrees(const vec3f& a, const vec3f& b) {
  const float lengths = length(a) * length(b);
  if (!(lengths > 0)) return 0;
  const float cosine = std::max(-1.0f, std::min(1.0f, dot(a, b) / lengths));
  return static_cast<float>(std::acos(static_cast<double>(cosine)) * 180.0 / M_PI);
}

static void recordSample(const vec3f& gravityBefore, double milliseconds) {
  StepSample sample;
  sample.time = core.frameTimer.total;
  if (const Volume* ball = Sandbox_Ball()) {
    sample.ballSpeed = length(ball->velocity);
    sample.gravityTurn = angleDegrees(gravityBefore, ball->gravity);
  }
  sample.contacts = static_cast<int>(sandbox.world.stepContacts.size());
  sample.stepMilliseconds = static_cast<float>(milliseconds);
  std::deque<StepSample>& samples = instruments.samples;
  // The frame timer restarts from 0 when the window is rebuilt: older
  // samples would lie in the future.
  if (!samples.empty() && samples.back().time > sample.time) samples.clear();
  samples.push_back(sample);
  while (samples.front().time < sample.time - kPlotSeconds) samples.pop_front();
}

void Instruments_TakeStep() {
  const Volume* ball = Sandbox_Ball();
  const vec3f gravityBefore = ball ? ball->gravity : vec3f();
  const auto start = std::chrono::steady_clock::now();
  Replay_BeforeStep();
  Veruruve::Physics::stepPhysics(sandbox.world);
  const auto end = std::chrono::steady_clock::now();
  Replay_AfterStep();
  instruments.stepRequested = false;
  sandbox.nextStepTime = static_cast<float>(core.frameTimer.total) + Instruments_StepInterval();
  recordSample(gravityBefore, std::chrono::duration<double, std::milli>(end - start).count());
}
