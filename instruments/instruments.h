// Testbed instruments: pause and single step, slow motion, shot balls, room
// and contact drawings, plots, help and screenshots.
//
// The scene enters this module through a few calls (Instruments_Update before
// the camera, Instruments_TakeStep for every physics step, the two drawing
// calls in its render). With none of the instrument keys pressed, none of them
// draws anything or changes a step: the chamber runs as it always has.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "geometry/vector.h"
#include "physics/physics.h"

// Most balls B shoots; further presses do nothing.
constexpr int kMaxShotBalls = 64;
// How long the line saying that B shoots no more balls stays, seconds.
constexpr double kBallLimitNoticeSeconds = 3.0;
// Speed of a shot ball along the view, in units per physics step (about
// 1.25 units per second at the normal step rate).
constexpr float kShotSpeed = 0.02f;
// Distance in front of the eye at which a shot ball starts: clear of the
// ball the camera rides on (both have radius 0.02).
constexpr float kShotStartDistance = 0.05f;
// The normal (and shortest) time between two physics steps, seconds.
constexpr float kBaseStepInterval = 0.016f;
// Slow motion halves the step rate up to this many times (16 ms to 1024 ms).
constexpr int kMaxSlowMotion = 6;
// The view from outside (F7): the eye's distance from the ball's centre at
// first and its limits, in units; PageUp and PageDown change it by this rate
// (e-fold per second), each wheel notch by this factor.
constexpr float kOutsideStartDistance = 0.25f;
constexpr float kOutsideMinDistance = 0.05f;
constexpr float kOutsideMaxDistance = 20.0f;
constexpr float kOutsideZoomRate = 1.5f;
constexpr float kOutsideWheelStep = 1.2f;
// The plots cover this many seconds of steps.
constexpr double kPlotSeconds = 10.0;

enum class RoomDrawing { Off, Rooms, RoomsAndBallRooms };

// What the plots show for one physics step.
struct StepSample {
  double time = 0;           // frameTimer.total at the step, seconds
  float ballSpeed = 0;       // units per step
  int contacts = 0;          // over every contact pass of the step
  float gravityTurn = 0;     // degrees between the ball's gravity and the previous step's
  float stepMilliseconds = 0;
};

struct InstrumentsState {
  bool paused = false;
  bool stepRequested = false;  // O while paused: one step in this frame
  int slowMotion = 0;          // the step interval is 16 ms x 2^slowMotion
  RoomDrawing rooms = RoomDrawing::Off;
  bool contacts = false;
  bool plots = false;
  bool help = false;
  bool outsideView = false;                        // F7
  float outsideDistance = kOutsideStartDistance;   // units from the ball's centre
  int lastWheel = 0;                               // the wheel's position last frame
  bool wheelKnown = false;                         // lastWheel has been read
  // Until this frameTimer.total (seconds) a status line says that B shot no
  // ball because kMaxShotBalls are out.
  double ballLimitNoticeUntil = -1;
  bool screenshotRequested = false;  // F12: saved at the end of this frame's render
  std::deque<StepSample> samples;    // the last kPlotSeconds of steps, oldest first
  // Key states seen by the previous update; an instrument acts when its key
  // goes down, not for as long as it is held.
  std::vector<int> keysDown;
};

extern InstrumentsState instruments;

// Back to every instrument off, the physics running at the normal rate; the
// scene calls it at every start-up (so a reset clears them too).
void Instruments_Reset();
// Per frame, before the camera update: reads the instrument keys.
void Instruments_Update();

// Pause and step. Paused, no step is taken and no push is applied, except
// for one step per Instruments_RequestStep.
bool Instruments_Paused();
void Instruments_SetPaused(bool paused);
void Instruments_RequestStep();
// Minimum time between two steps now, seconds: 0.016 x 2^slowMotion.
float Instruments_StepInterval();
// Whether a physics step runs in this frame: the camera's pushes and the
// scene's step both ask this, so they always coincide.
bool Instruments_StepDue();
// Takes one physics step of the scene's world and schedules the next one.
// Every step of the scene goes through here.
void Instruments_TakeStep();

// Appends a ball like the player's, at position with velocity (units per
// step), to the scene's world. Null, and nothing added, when there is no
// player ball yet or kMaxShotBalls are already shot.
Veruruve::Physics::Volume* Instruments_ShootBall(const vec3f& position, const vec3f& velocity);
// Shoots one ball from just in front of the camera along its view.
void Instruments_ShootFromCamera();
// Number of balls shot since the last start-up.
int Instruments_ShotBallCount();
// The direction the camera looks along, in the world.
vec3f Instruments_ViewDirection();

// The view from outside. Per frame from Instruments_Update: F7 (when
// togglePressed) switches it, PageUp / PageDown and the wheel change the
// distance while it is on.
void Instruments_UpdateOutsideView(bool togglePressed);
bool Instruments_OutsideView();
// First thing of the camera's view transform: moves the eye back from the
// ball along its line of sight while the view is outside; nothing otherwise.
void Instruments_ApplyOutsideView();

// The OpenGL context was rebuilt: forget what was kept in the old one.
// Makes no GL call.
void Instruments_ContextRebuilt();
// Drawing. In the 3D scene after the chamber (model-view holding the view):
// shot balls, rooms, contacts.
void Instruments_DrawScene();
// In the overlay projection after the debug panel: status lines, plots, help.
void Instruments_DrawOverlay();
// At the end of the render: the screenshot, when F12 asked for one.
void Instruments_EndFrame();
