// Rewind and replay in the window, driven frame by frame through the core's
// update against the fake window library: the rewind keys, resuming from a
// rewound view, F8's two files, and playing them back.
#include <gtest/gtest.h>
#include <unistd.h>

#include "instruments/instruments.h"
#include "replay/replay.h"
#include "sandbox/sandbox.h"
#include "tests/core/core_fixture.h"
#include "tests/replay/replay_fixtures.h"
#include "tests/support/ordinary_user.h"

namespace {

using namespace replay_fixtures;

class ReplayWindow : public CoreTest {
 protected:
  std::vector<std::uint8_t> rooms = twoRoomsFile();

  void SetUp() override {
    CoreTest::SetUp();
    core.width = 640;
    core.height = 480;
    writeFile("0.ctr", std::string(rooms.begin(), rooms.end()));
    start();
  }
  void TearDown() override {
    Sandbox_Destroy();
    sandbox = SandboxState();
    instruments = InstrumentsState();
    replay = ReplayWindowState();
    CoreTest::TearDown();
  }
  void start() {
    fake.windowOpen = true;
    fake.mouseX = 320;
    fake.mouseY = 240;
    Sandbox_Initialize();
    core.screen = Screen_Sandbox;
  }

  // One frame, dt seconds after the previous one (a step every frame at
  // 0.02), with keys held.
  void frame(std::set<int> keys, double dt = 0.020) {
    fake.keysDown = std::move(keys);
    fake.time += dt;
    Core_Update();
    sandbox.hudLines.clear();
  }
  void tap(std::set<int> keys) {
    frame(keys);
    frame({});
  }
  std::uint64_t newest() const { return replay.history.newest; }
  std::uint64_t current() const { return replay.history.current; }

  // Starts the program again on a replay file of this text.
  void play(const std::string& text) {
    Sandbox_Destroy();
    sandbox = SandboxState();
    instruments = InstrumentsState();
    replay = ReplayWindowState();
    writeFile("replay.txt", text);
    std::string error;
    ASSERT_TRUE(Replay_LoadPlayback("replay.txt", &error)) << error;
    start();
  }
  void runUntilPaused() {
    for (int i = 0; i < 400 && !Instruments_Paused(); ++i) frame({});
    ASSERT_TRUE(Instruments_Paused());
  }
  // Saves with F8 and reads the options back.
  SimOptions saveAndRead() {
    tap({GLFW_KEY_F8});
    SimOptions options;
    std::string error;
    EXPECT_TRUE(SimOptions_ParseFile("replay-0001.txt", &options, &error)) << error;
    EXPECT_TRUE(SimOptions_Check(options, &error)) << error;
    return options;
  }
  // What chamber-sim prints for the first steps of the played file.
  std::string playedFirst(std::uint64_t steps) {
    SimOptions options = replay.playback;
    options.steps = steps;
    return simulate(options, rooms);
  }
};

TEST_F(ReplayWindow, CommaAndPeriodStepThroughTheStatesWhilePaused) {
  for (int i = 0; i < 40; ++i) frame({GLFW_KEY_UP});
  tap({','});  // not paused: nothing
  EXPECT_EQ(current(), newest());
  EXPECT_TRUE(Replay_StatusLines().empty());

  tap({'P'});
  const std::uint64_t last = newest();
  const std::vector<CollisionSphere> latest = snapshot(sandbox.world);
  EXPECT_EQ(Replay_StatusLines(), std::vector<std::string>{"Step " + std::to_string(last)});
  tap({','});
  EXPECT_EQ(current(), last - 1);
  tap({',', GLFW_KEY_LSHIFT});
  EXPECT_EQ(current(), last - 11);
  EXPECT_EQ(Replay_StatusLines(),
            std::vector<std::string>{"Step " + std::to_string(last - 11) + ", 11 back"});
  // Held keys act once per press; frames go on without steps.
  for (int i = 0; i < 20; ++i) frame({'.', GLFW_KEY_RSHIFT});
  EXPECT_EQ(current(), last - 1);
  frame({});
  tap({'.'});
  EXPECT_EQ(current(), last);
  tap({'.'});  // nothing beyond the newest
  EXPECT_EQ(current(), last);
  EXPECT_TRUE(sameBodies(latest, sandbox.world));
}

TEST_F(ReplayWindow, ResumingOrSteppingFromARewoundViewDropsTheFuture) {
  for (int i = 0; i < 30; ++i) frame({});
  tap({'P'});
  const std::uint64_t last = newest();
  for (int i = 0; i < 5; ++i) tap({','});
  tap({'O'});  // one step from five back
  EXPECT_EQ(newest(), last - 4);
  EXPECT_EQ(current(), last - 4);
  tap({','});
  tap({'P'});  // resumed
  frame({});
  EXPECT_EQ(SessionLog_Steps(replay.log), newest());
  EXPECT_GT(newest(), last - 5);
  EXPECT_LT(newest(), last);
}

TEST_F(ReplayWindow, F8SavesWhatChamberSimReproducesAndPlaybackEndsThere) {
  // Keys in turns, the view turned, two balls shot, a rewind resumed.
  for (int i = 0; i < 30; ++i) frame({GLFW_KEY_UP});
  fake.mouseX += 30;
  for (int i = 0; i < 20; ++i) frame({GLFW_KEY_UP, GLFW_KEY_LEFT});
  tap({'B'});
  for (int i = 0; i < 20; ++i) frame({GLFW_KEY_RIGHT});
  tap({'P'});
  tap({'B'});  // shot while paused: gone with the rewind
  tap({',', GLFW_KEY_LSHIFT});
  tap({'P'});
  for (int i = 0; i < 20; ++i) frame({GLFW_KEY_DOWN});
  tap({'B'});
  for (int i = 0; i < 10; ++i) frame({});
  tap({'P'});
  ::testing::internal::CaptureStdout();
  tap({GLFW_KEY_F8});
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Replay saved: replay-0001.txt and replay-0001.csv\n");

  const std::string csv = readFile("replay-0001.csv");
  SimOptions options;
  std::string error;
  ASSERT_TRUE(SimOptions_ParseFile("replay-0001.txt", &options, &error)) << error;
  ASSERT_TRUE(SimOptions_Check(options, &error)) << error;
  EXPECT_EQ(options.steps, SessionLog_Steps(replay.log));
  EXPECT_EQ(options.extraBodies.size(), 2u);
  EXPECT_GT(options.pushes.size(), 3u);
  EXPECT_TRUE(csv == simulate(options, rooms));

  // A second save takes the next number.
  tap({GLFW_KEY_F8});
  EXPECT_TRUE(exists("replay-0002.txt") && exists("replay-0002.csv"));

  // Played back: the keys do nothing, it stops at the last step, and the
  // trajectory is the same.
  Sandbox_Destroy();
  sandbox = SandboxState();
  instruments = InstrumentsState();
  replay = ReplayWindowState();
  ASSERT_TRUE(Replay_LoadPlayback("replay-0001.txt", &error)) << error;
  start();
  for (int i = 0; i < 400 && !Instruments_Paused(); ++i) frame({GLFW_KEY_UP, 'B'});
  ASSERT_TRUE(Instruments_Paused());
  EXPECT_EQ(current(), options.steps);
  EXPECT_TRUE(Replay_CsvText(replay.log, options.steps) == csv);
  EXPECT_EQ(sandbox.world.objects.size(), 3u);
  const Volume* ball = sandbox.world.objects[0];
  char row[256];
  std::snprintf(row, sizeof row, "%llu,0,%.9g,%.9g,%.9g,",
                static_cast<unsigned long long>(options.steps), ball->position.x, ball->position.y,
                ball->position.z);
  EXPECT_NE(csv.find(std::string("\n") + row), std::string::npos) << row;
  EXPECT_EQ(Replay_StatusLines(), std::vector<std::string>{"Step " + std::to_string(options.steps) +
                                                           " of " + std::to_string(options.steps) +
                                                           " (replay)"});
  // Rewound and resumed in playback: the file's pushes and balls come again.
  for (int i = 0; i < 4; ++i) tap({',', GLFW_KEY_LSHIFT});
  tap({'P'});
  for (int i = 0; i < 100 && !Instruments_Paused(); ++i) frame({});
  EXPECT_EQ(current(), options.steps);
  EXPECT_TRUE(Replay_CsvText(replay.log, options.steps) == csv);
}

TEST_F(ReplayWindow, AtTheEndOfAReplayPAndOGoOnLive) {
  play("--steps 40\n--push 0.052,0,0@5:30\n--body 0.3,0.5,0,0,0,0@10\n");
  runUntilPaused();
  ASSERT_EQ(current(), 40u);
  ::testing::internal::CaptureStdout();
  tap({'O'});  // one live step, with no key
  EXPECT_EQ(current(), 41u);
  EXPECT_TRUE(Instruments_Paused());
  EXPECT_EQ(Replay_StatusLines(), std::vector<std::string>{"Step 41"});
  tap({'P'});
  // The arrow keys push again from the first frame, and B shoots.
  for (int i = 0; i < 20; ++i) frame({GLFW_KEY_LEFT});
  tap({'B'});
  for (int i = 0; i < 10; ++i) frame({});
  EXPECT_FALSE(Instruments_Paused());  // no second end
  EXPECT_TRUE(Replay_StatusLines().empty());
  EXPECT_EQ(sandbox.world.objects.size(), 3u);
  tap({'P'});
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Replay taken over at step 40\n");

  const SimOptions options = saveAndRead();
  EXPECT_EQ(options.steps, current());
  EXPECT_EQ(options.extraBodies.size(), 2u);
  bool livePush = false;
  for (const SimPush& push : options.pushes) livePush = livePush || push.to > 40;
  EXPECT_TRUE(livePush);
  const std::string csv = readFile("replay-0001.csv");
  EXPECT_TRUE(csv == simulate(options, rooms));
  EXPECT_EQ(csv.rfind(playedFirst(40), 0), 0u) << "the replay's steps come first";
}

TEST_F(ReplayWindow, TTakesAReplayOverAtTheStepInView) {
  const std::string file = "--steps 60\n--push 0.052,0,0@1:60\n--body 0.3,0.5,0,0,0,0@45\n";
  play(file);
  for (int i = 0; i < 10; ++i) frame({});
  tap({'T'});  // running: nothing
  EXPECT_TRUE(Replay_Playing());
  runUntilPaused();
  for (int i = 0; i < 3; ++i) tap({',', GLFW_KEY_LSHIFT});
  ASSERT_EQ(current(), 30u);
  ::testing::internal::CaptureStdout();
  tap({'T'});
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Replay taken over at step 30\n");
  EXPECT_FALSE(Replay_Playing());
  EXPECT_EQ(Replay_StatusLines(), std::vector<std::string>{"Step 30, 30 back"});
  tap({'P'});
  for (int i = 0; i < 25; ++i) frame({});
  tap({'P'});

  // The file's push after step 30 and its ball at 45 are gone.
  const SimOptions options = saveAndRead();
  EXPECT_EQ(options.steps, current());
  EXPECT_GT(options.steps, 45u);
  EXPECT_TRUE(options.extraBodies.empty());
  ASSERT_EQ(options.pushes.size(), 1u);
  EXPECT_EQ(options.pushes[0].to, 30u);
  EXPECT_EQ(sandbox.world.objects.size(), 1u);
  const std::string csv = readFile("replay-0001.csv");
  EXPECT_TRUE(csv == simulate(options, rooms));
  EXPECT_EQ(csv.rfind(playedFirst(30), 0), 0u);

  // A reset plays the file again, whole.
  start();
  EXPECT_TRUE(Replay_Playing());
  runUntilPaused();
  EXPECT_EQ(current(), 60u);
  EXPECT_TRUE(Replay_CsvText(replay.log, 60) == playedFirst(60));
}

TEST_F(ReplayWindow, APlaybackFileIsCheckedWhole) {
  struct Case {
    const char* text;
    const char* says;
  } cases[] = {
      {"--steps 10\n--ctr missing.ctr\n", "bad.txt:2: cannot open container file 'missing.ctr'"},
      {"--steps 10\n--push 1,0,0@4:3\n", "bad.txt:2: bad value"},
      {"--steps 10\n--body 0,0,0,0,0,0@11\n", "bad.txt:2: --body joins before step 11"},
      {"# fine\n--wat 1\n", "bad.txt:2: unknown option '--wat'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    writeFile("bad.txt", c.text);
    std::string error;
    EXPECT_FALSE(Replay_LoadPlayback("bad.txt", &error));
    EXPECT_EQ(error.rfind(c.says, 0), 0u) << error;
    EXPECT_FALSE(Replay_Playing());
  }
  std::string many = "--steps 5\n";
  for (int i = 0; i < 65; ++i) many += "--body 0,0.3,0\n";
  writeFile("bad.txt", many);
  std::string error;
  EXPECT_FALSE(Replay_LoadPlayback("bad.txt", &error));
  EXPECT_EQ(error, "bad.txt:66: more than 64 bodies");
}

TEST_F(ReplayWindow, AWorkingDirectoryThatCannotBeWrittenGetsOneLine) {
  for (int i = 0; i < 5; ++i) frame({});
  ASSERT_EQ(chmod(".", 0555), 0);
  // Root writes anywhere: the save runs in a child as "nobody" then.
  RunAsOrdinaryUser([&] {
    ::testing::internal::CaptureStdout();
    tap({GLFW_KEY_F8});
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "Replay not saved: cannot write replay-0001.csv in the working directory\n");
    EXPECT_FALSE(exists("replay-0001.txt"));
    EXPECT_FALSE(exists("replay-0001.csv"));
  });
  ASSERT_EQ(chmod(".", 0700), 0);
  // The program runs on.
  frame({});
  EXPECT_EQ(current(), newest());
}

}  // namespace
