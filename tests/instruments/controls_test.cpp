// Pause, single step, slow motion and shot balls, driven frame by frame
// through the core's update against the fake window library.
#include <cmath>
#include <cstring>
#include <random>

#include "instruments/help.h"
#include "instruments/instruments.h"
#include "sandbox/sandbox.h"
#include "tests/core/core_fixture.h"
#include "tests/physics/container_writer.h"

namespace {

using Veruruve::Physics::PhysicsWorld;
using Veruruve::Physics::Volume;

bool sameBits(const vec3f& a, const vec3f& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class InstrumentsTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    core.width = 640;
    core.height = 480;
    // One big room with a floor at y = 0, so the ball falls and lands.
    const std::vector<std::uint8_t> bytes = ctr::encode({ctr::boxRoom(vec3f(-5, 0, -5), vec3f(5, 5, 5))});
    writeFile("0.ctr", std::string(bytes.begin(), bytes.end()));
    ::testing::internal::CaptureStdout();
    fake.windowOpen = true;
    Sandbox_Initialize();
    core.screen = Screen_Sandbox;
  }
  void TearDown() override {
    // The console is captured; a failure's messages went there too.
    const std::string console = ::testing::internal::GetCapturedStdout();
    if (HasFailure()) fprintf(stderr, "%s", console.c_str());
    Sandbox_Destroy();
    sandbox = SandboxState();
    instruments = InstrumentsState();
    CoreTest::TearDown();
  }

  // One frame's update, dt seconds after the previous one, with keys held.
  void frame(std::set<int> keys, double dt = 0.010) {
    fake.keysDown = std::move(keys);
    fake.time += dt;
    Core_Update();
    sandbox.hudLines.clear();
  }
  // Presses and releases key in two frames.
  void tap(int key) {
    frame({key});
    frame({});
  }
};

TEST_F(InstrumentsTest, PauseStopsStepsAndPushesWhileFramesGoOn) {
  frame({});
  frame({});
  tap('P');
  ASSERT_TRUE(Instruments_Paused());
  const Volume* ball = Sandbox_Ball();
  const vec3f position = ball->position, velocity = ball->velocity, force = ball->force;
  const size_t stepsBefore = instruments.samples.size();
  for (int i = 0; i < 100; ++i) frame({GLFW_KEY_UP, GLFW_KEY_LEFT});
  EXPECT_TRUE(sameBits(ball->position, position));
  EXPECT_TRUE(sameBits(ball->velocity, velocity));
  EXPECT_TRUE(sameBits(ball->force, force));  // no push reached the ball
  EXPECT_EQ(instruments.samples.size(), stepsBefore);
  // Frames went on: the camera still follows the mouse.
  fake.mouseX += 10;
  const float yaw = sandbox.camera.targetAngles.y;
  frame({});
  EXPECT_EQ(sandbox.camera.targetAngles.y, yaw - 4);
  EXPECT_EQ(Instruments_StatusLines(), std::vector<std::string>{"PAUSED"});

  tap('P');  // resumed: steps again
  EXPECT_FALSE(Instruments_Paused());
  EXPECT_GT(instruments.samples.size(), stepsBefore);
  EXPECT_TRUE(Instruments_StatusLines().empty());
}

TEST_F(InstrumentsTest, EachStepKeyPressWhilePausedTakesOneStepWithTheHeldPushes) {
  for (int i = 0; i < 5; ++i) frame({});
  tap('P');
  Volume* ball = Sandbox_Ball();

  // The reference: the same ball stepped once by hand with the Up push.
  auto expectedAfterOneStep = [&](bool up) {
    Veruruve::Physics::CollisionSphere copy = *static_cast<Veruruve::Physics::CollisionSphere*>(ball);
    PhysicsWorld world;
    world.containers = sandbox.world.containers;
    world.objects = {&copy};
    vec3f forward, left;
    Camera_PushDirections(sandbox.cameraBasis, sandbox.camera.cameraAngles.y, &forward, &left);
    if (up) copy.force += 0.052f * forward;
    Veruruve::Physics::stepPhysics(world);
    world.containers.clear();  // not ours to delete
    return copy.position;
  };

  const vec3f withPush = expectedAfterOneStep(true);
  const size_t stepsBefore = instruments.samples.size();
  // O held for several frames is one press: one step.
  frame({'O', GLFW_KEY_UP});
  frame({'O', GLFW_KEY_UP});
  frame({'O', GLFW_KEY_UP});
  EXPECT_TRUE(sameBits(ball->position, withPush));
  EXPECT_EQ(instruments.samples.size(), stepsBefore + 1);
  // Up held on between presses pushes nothing.
  frame({GLFW_KEY_UP});
  frame({GLFW_KEY_UP});
  EXPECT_TRUE(sameBits(ball->position, withPush));

  const vec3f withoutPush = expectedAfterOneStep(false);
  tap('O');
  EXPECT_TRUE(sameBits(ball->position, withoutPush));
  EXPECT_EQ(instruments.samples.size(), stepsBefore + 2);
}

TEST_F(InstrumentsTest, StepKeyDoesNothingWhileRunning) {
  for (int i = 0; i < 3; ++i) frame({});
  frame({}, 0.001);
  const size_t before = instruments.samples.size();
  // Frames 1 ms apart after a step: no step is due, and O must not force one.
  frame({'O'}, 0.001);
  frame({}, 0.001);
  EXPECT_EQ(instruments.samples.size(), before);
}

TEST_F(InstrumentsTest, SlowMotionKeysWalkTheStepIntervalThroughPowersOfTwo) {
  struct Case {
    int key;
    float intervalMs;
  };
  const Case walk[] = {
      {']', 16},   // never faster than the normal rate
      {'[', 32},  {'[', 64},  {'[', 128}, {'[', 256}, {'[', 512}, {'[', 1024},
      {'[', 1024},  // never slower than about a second
      {']', 512}, {']', 256}, {']', 128}, {']', 64},  {']', 32},  {']', 16},
      {']', 16},
  };
  EXPECT_EQ(Instruments_StepInterval(), 0.016f);
  for (const Case& c : walk) {
    tap(c.key);
    EXPECT_EQ(Instruments_StepInterval() * 1000, c.intervalMs) << "after " << char(c.key);
  }
}

TEST_F(InstrumentsTest, SlowMotionSpacesTheStepsByTheInterval) {
  tap('[');
  tap('[');  // 64 ms
  ASSERT_EQ(Instruments_StatusLines(), std::vector<std::string>{"Step rate 1/4 (64 ms per step)"});
  instruments.samples.clear();
  for (int i = 0; i < 100; ++i) frame({}, 0.010);  // one second of frames
  // One step per 70 ms of 10 ms frames (64 ms then the next frame).
  EXPECT_GE(instruments.samples.size(), 13u);
  EXPECT_LE(instruments.samples.size(), 16u);
  for (size_t i = 1; i < instruments.samples.size(); ++i)
    EXPECT_GE(instruments.samples[i].time - instruments.samples[i - 1].time, 0.064 - 1e-6);
}

TEST_F(InstrumentsTest, ShootingAppendsBallsAlongTheViewUpToTheLimit) {
  frame({});
  sandbox.camera.cameraAngles = vec3f(0, 90, 0);  // looking along -x
  const vec3f eye = Sandbox_Ball()->position;
  tap('B');
  ASSERT_EQ(sandbox.world.objects.size(), 2u);
  const Volume* shot = sandbox.world.objects[1];
  EXPECT_EQ(shot->shape, Veruruve::Physics::Sphere);
  EXPECT_EQ(static_cast<const Veruruve::Physics::VolumeSphere*>(shot)->radius, 0.02f);
  EXPECT_EQ(shot->mass, 10.0f);
  // Fired before this frame's step, which then moved it once.
  EXPECT_NEAR(shot->velocity.x, -kShotSpeed, 1e-4);
  EXPECT_NEAR(shot->velocity.z, 0, 1e-6);
  EXPECT_LT(shot->position.x, eye.x - kShotStartDistance + 1e-3);

  for (int i = 0; i < 70; ++i) tap('B');
  EXPECT_EQ(Instruments_ShotBallCount(), kMaxShotBalls);
  EXPECT_EQ(sandbox.world.objects.size(), 1u + kMaxShotBalls);
  EXPECT_EQ(Instruments_ShootBall(vec3f(), vec3f()), nullptr);

  // A reset removes them with everything else, and the instruments go off.
  instruments.paused = true;
  Sandbox_Initialize();
  EXPECT_EQ(sandbox.world.objects.size(), 1u);
  EXPECT_FALSE(Instruments_Paused());
}

TEST_F(InstrumentsTest, ShotBallKeepsTheGivenStartAndVelocityUntilItsFirstStep) {
  tap('P');
  Volume* shot = Instruments_ShootBall(vec3f(1, 2, 3), vec3f(0.01f, 0, -0.01f));
  ASSERT_NE(shot, nullptr);
  EXPECT_EQ(shot->position, vec3f(1, 2, 3));
  EXPECT_EQ(shot->velocity, vec3f(0.01f, 0, -0.01f));
  EXPECT_EQ(shot->gravity, vec3f(0, -1, 0));
  EXPECT_EQ(sandbox.world.objects.back(), shot);
}

TEST_F(InstrumentsTest, ViewDirectionFollowsYawPitchAndBasis) {
  struct Case {
    float pitch, yaw;
    vec3f expected;
  };
  const Case cases[] = {
      {0, 0, vec3f(0, 0, -1)},   {0, 90, vec3f(-1, 0, 0)}, {0, -90, vec3f(1, 0, 0)},
      {90, 0, vec3f(0, 1, 0)},   {-90, 0, vec3f(0, -1, 0)}, {0, 180, vec3f(0, 0, 1)},
  };
  for (const Case& c : cases) {
    sandbox.camera.cameraAngles = vec3f(c.pitch, c.yaw, 0);
    const vec3f d = Instruments_ViewDirection();
    EXPECT_NEAR(d.x, c.expected.x, 1e-6) << c.pitch << " " << c.yaw;
    EXPECT_NEAR(d.y, c.expected.y, 1e-6) << c.pitch << " " << c.yaw;
    EXPECT_NEAR(d.z, c.expected.z, 1e-6) << c.pitch << " " << c.yaw;
  }
  // At pitch 0 it is the level forward direction the pushes use, whatever the
  // basis.
  std::mt19937 random(7);
  std::uniform_real_distribution<float> angle(-180, 180);
  for (int i = 0; i < 50; ++i) {
    Camera_AlignToGravity(sandbox.cameraBasis, normalised(vec3f{angle(random), angle(random), angle(random)}), 0.2f);
    sandbox.camera.cameraAngles = vec3f(0, angle(random), 0);
    vec3f forward, left;
    Camera_PushDirections(sandbox.cameraBasis, sandbox.camera.cameraAngles.y, &forward, &left);
    const vec3f d = Instruments_ViewDirection();
    EXPECT_NEAR(d.x, forward.x, 1e-5);
    EXPECT_NEAR(d.y, forward.y, 1e-5);
    EXPECT_NEAR(d.z, forward.z, 1e-5);
  }
}

TEST_F(InstrumentsTest, DrawingKeysToggleOnEachPress) {
  struct Case {
    int key;
    RoomDrawing rooms;
    bool contacts, plots, help;
  };
  const Case presses[] = {
      {GLFW_KEY_F2, RoomDrawing::Rooms, false, false, false},
      {GLFW_KEY_F2, RoomDrawing::RoomsAndBallRooms, false, false, false},
      {GLFW_KEY_F3, RoomDrawing::RoomsAndBallRooms, true, false, false},
      {GLFW_KEY_F4, RoomDrawing::RoomsAndBallRooms, true, true, false},
      {GLFW_KEY_F1, RoomDrawing::RoomsAndBallRooms, true, true, true},
      {GLFW_KEY_F2, RoomDrawing::Off, true, true, true},
      {GLFW_KEY_F3, RoomDrawing::Off, false, true, true},
      {GLFW_KEY_F4, RoomDrawing::Off, false, false, true},
      {GLFW_KEY_F1, RoomDrawing::Off, false, false, false},
  };
  for (const Case& c : presses) {
    // Held for several frames: still one press.
    frame({c.key});
    frame({c.key});
    frame({});
    EXPECT_EQ(instruments.rooms, c.rooms) << c.key;
    EXPECT_EQ(instruments.contacts, c.contacts) << c.key;
    EXPECT_EQ(instruments.plots, c.plots) << c.key;
    EXPECT_EQ(instruments.help, c.help) << c.key;
  }
}

TEST_F(InstrumentsTest, PlotsKeepTenSecondsOfStepsWithEveryPassesContacts) {
  for (int i = 0; i < 1500; ++i) frame({}, 0.010);  // 15 s: the ball lands and rests
  const std::deque<StepSample>& samples = instruments.samples;
  ASSERT_GT(samples.size(), 100u);
  EXPECT_LE(samples.back().time - samples.front().time, kPlotSeconds);
  EXPECT_GT(samples.back().time - samples.front().time, kPlotSeconds - 0.1);
  // Resting on the floor: the first pass finds the contact, the second
  // finds none and ends the step, so the last pass's list is empty while
  // the step's keeps the contact.
  EXPECT_TRUE(sandbox.world.contacts.empty());
  ASSERT_FALSE(sandbox.world.stepContacts.empty());
  EXPECT_EQ(samples.back().contacts, static_cast<int>(sandbox.world.stepContacts.size()));
  EXPECT_EQ(sandbox.world.stepContacts[0].body, Sandbox_Ball());
  EXPECT_NEAR(samples.back().ballSpeed, 0, 1e-3);

  // A rebuilt window restarts the frame timer: older samples are dropped.
  Sandbox_LoadTextures();
  Core_ResetFrameTimer();
  frame({}, 0.010);
  frame({}, 0.010);
  EXPECT_LE(samples.size(), 2u);
}

TEST_F(InstrumentsTest, InstrumentLettersFollowTheLayout) {
  // Dvorak: p is typed by the US R key, b by the US N key.
  fake.layout = {{'R', 'P'}, {'P', 'L'}, {'N', 'B'}, {'B', 'X'}};
  tap('P');
  EXPECT_FALSE(Instruments_Paused());
  tap('R');
  EXPECT_TRUE(Instruments_Paused());
  tap('B');
  EXPECT_EQ(Instruments_ShotBallCount(), 0);
  tap('N');
  EXPECT_EQ(Instruments_ShotBallCount(), 1);
}

// The rule the scene stepped by before the instruments existed: a step, with
// the arrow pushes, whenever its time has come, then the next 16 ms later.
struct ReferenceScene {
  PhysicsWorld world;
  Veruruve::Physics::CollisionSphere ball;
  float nextStepTime = 0;
  void frame(double total, const std::set<int>& keys) {
    if (!(nextStepTime < total)) return;
    vec3f forward, left;
    Camera_PushDirections(sandbox.cameraBasis, sandbox.camera.cameraAngles.y, &forward, &left);
    if (keys.count(GLFW_KEY_UP)) ball.force += 0.052f * forward;
    if (keys.count(GLFW_KEY_DOWN)) ball.force += -0.052f * forward;
    if (keys.count(GLFW_KEY_LEFT)) ball.force += 0.052f * left;
    if (keys.count(GLFW_KEY_RIGHT)) ball.force += -0.052f * left;
    Veruruve::Physics::stepPhysics(world);
    nextStepTime = static_cast<float>(total) + 0.016f;
  }
};

TEST_F(InstrumentsTest, WithoutInstrumentKeysTheStepsAreThoseOfTheOldRule) {
  ReferenceScene reference;
  reference.ball = *static_cast<Veruruve::Physics::CollisionSphere*>(Sandbox_Ball());
  reference.world.containers = sandbox.world.containers;
  reference.world.objects = {&reference.ball};
  std::mt19937 random(11);
  std::uniform_int_distribution<int> frameMs(1, 40);
  const int arrows[] = {GLFW_KEY_UP, GLFW_KEY_DOWN, GLFW_KEY_LEFT, GLFW_KEY_RIGHT};
  for (int i = 0; i < 2000; ++i) {
    std::set<int> keys;
    for (int key : arrows)
      if (random() % 3 == 0) keys.insert(key);
    // The camera stays level and unturned, so both sides push the same way.
    fake.keysDown = keys;
    fake.time += frameMs(random) / 1000.0;
    Core_Update();
    sandbox.hudLines.clear();
    reference.frame(core.frameTimer.total, keys);
    ASSERT_TRUE(sameBits(Sandbox_Ball()->position, reference.ball.position)) << "frame " << i;
    ASSERT_TRUE(sameBits(Sandbox_Ball()->velocity, reference.ball.velocity)) << "frame " << i;
    ASSERT_EQ(sandbox.nextStepTime, reference.nextStepTime) << "frame " << i;
  }
  reference.world.containers.clear();
}

}  // namespace
