// The settings in the window, frame by frame through the core's update
// against the fake window library: "physics.txt" at start-up and while the
// program runs, the panel's keys and F6, rewinding past a change, and a
// tuned session saved with F8 that chamber-sim's schedule reproduces.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "instruments/instruments.h"
#include "replay/replay.h"
#include "sandbox/sandbox.h"
#include "tests/core/core_fixture.h"
#include "tests/replay/replay_fixtures.h"
#include "tuning/tuning.h"

namespace {

using namespace replay_fixtures;
using namespace Veruruve::Tuning;

class TuningWindow : public CoreTest {
 protected:
  std::vector<std::uint8_t> rooms = twoRoomsFile();

  void SetUp() override {
    CoreTest::SetUp();
    core.width = 640;
    core.height = 480;
    writeFile("0.ctr", std::string(rooms.begin(), rooms.end()));
  }
  void TearDown() override {
    Sandbox_Destroy();
    sandbox = SandboxState();
    instruments = InstrumentsState();
    replay = ReplayWindowState();
    tuningWindow = TuningWindowState();
    CoreTest::TearDown();
  }
  // The scene's start-up; its console lines.
  std::string start() {
    fake.windowOpen = true;
    fake.mouseX = 320;
    fake.mouseY = 240;
    ::testing::internal::CaptureStdout();
    Sandbox_Initialize();
    core.screen = Screen_Sandbox;
    return consoleLines(::testing::internal::GetCapturedStdout());
  }
  // Only the tuning's own lines (the scene logs its labels too).
  static std::string consoleLines(const std::string& all) {
    std::string kept;
    std::size_t begin = 0;
    while (begin < all.size()) {
      std::size_t end = all.find('\n', begin);
      if (end == std::string::npos) end = all.size();
      const std::string line = all.substr(begin, end - begin);
      if (line.rfind("physics.txt", 0) == 0) kept += line + "\n";
      begin = end + 1;
    }
    return kept;
  }
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
  std::string tapCaptured(std::set<int> keys) {
    ::testing::internal::CaptureStdout();
    tap(keys);
    return consoleLines(::testing::internal::GetCapturedStdout());
  }
  const Settings& settings() const { return sandbox.world.settings; }
  const VolumeSphere& ball() const {
    return static_cast<const VolumeSphere&>(*sandbox.world.objects[0]);
  }
};

TEST_F(TuningWindow, WithoutTheFileNothingChanges) {
  EXPECT_EQ(start(), "");
  EXPECT_TRUE(allDefault(settings()));
  for (int i = 0; i < 40; ++i) frame({});
  EXPECT_TRUE(Tuning_StatusLines().empty());
  EXPECT_FALSE(exists("physics.txt"));
}

TEST_F(TuningWindow, TheFileAtStartUpSetsTheBallAndNamesEachValue) {
  writeFile("physics.txt", "# bouncy\ngravity 0.03\nradius 0.05\n");
  EXPECT_EQ(start(),
            "physics.txt: gravity 0.03 (was 0.02)\n"
            "physics.txt: radius 0.05 (was 0.02)\n");
  EXPECT_EQ(settings().gravity, 0.03f);
  EXPECT_EQ(ball().radius, 0.05f);
  EXPECT_EQ(Tuning_StatusLines(), std::vector<std::string>{"Physics: gravity 0.03 radius 0.05"});
  tap({'B'});
  EXPECT_EQ(static_cast<const VolumeSphere&>(*sandbox.world.objects.back()).radius, 0.05f);

  // A bad file at the next start-up (F11): one line, the defaults.
  writeFile("physics.txt", "gravity 0.03\nradius big\n");
  Sandbox_Destroy();
  EXPECT_EQ(start(),
            "physics.txt: line 2: bad value 'big' for radius (a number above 0 and at most "
            "1000); the settings in force stay\n");
  EXPECT_TRUE(allDefault(settings()));
  EXPECT_EQ(ball().radius, 0.02f);
}

TEST_F(TuningWindow, PanelKeysChangeTheSelectedValueAndF6SavesThem) {
  start();
  tap({GLFW_KEY_F5});
  EXPECT_TRUE(tuningWindow.panel);
  EXPECT_EQ(Tuning_PanelLines()[1], "> gravity 0.02");
  tap({'='});
  EXPECT_EQ(settings().gravity, 0.022f);
  EXPECT_EQ(Tuning_PanelLines()[1], "> gravity 0.022 *");
  tap({'-', GLFW_KEY_LSHIFT});
  EXPECT_EQ(settings().gravity, 0.02178f);
  tap({GLFW_KEY_BACKSPACE});
  EXPECT_EQ(settings().gravity, 0.02f);
  // Shift+Tab from the first row wraps to the last: radius.
  tap({GLFW_KEY_TAB, GLFW_KEY_RSHIFT});
  tap({'+'});
  EXPECT_EQ(settings().radius, 0.022f);
  EXPECT_EQ(ball().radius, settings().radius) << "the ball takes the radius at once";
  tap({GLFW_KEY_TAB, GLFW_KEY_LSHIFT});  // mass
  tap({GLFW_KEY_TAB, GLFW_KEY_LSHIFT});  // passes
  tap({'='});
  EXPECT_EQ(settings().passes, 5);
  EXPECT_EQ(Tuning_PanelLines()[8], "> passes 5 *");
  EXPECT_TRUE(Tuning_StatusLines().empty()) << "the panel shows the values";

  EXPECT_EQ(tapCaptured({GLFW_KEY_F6}), "physics.txt written\n");
  Settings back;
  std::string error;
  ASSERT_TRUE(parseSettingsFile(readFile("physics.txt"), &back, &error)) << error;
  EXPECT_TRUE(changedSettings(back, settings()).empty());
  // What F6 wrote is in force already: no change is read back from it.
  ::testing::internal::CaptureStdout();
  for (int i = 0; i < 60; ++i) frame({});
  EXPECT_EQ(consoleLines(::testing::internal::GetCapturedStdout()), "");

  tap({GLFW_KEY_F5});
  EXPECT_FALSE(tuningWindow.panel);
  EXPECT_EQ(Tuning_StatusLines(), std::vector<std::string>{"Physics: passes 5 radius 0.022"});
  // Hidden, the panel's keys do nothing.
  tap({'='});
  EXPECT_EQ(settings().passes, 5);
}

TEST_F(TuningWindow, F6ThatCannotWriteSaysWhyAndKeepsWhatIsThere) {
  // A directory of that name: neither read nor replaced, whoever runs it.
  ASSERT_EQ(mkdir("physics.txt", 0755), 0);
  EXPECT_EQ(start(), "physics.txt: cannot read it: Is a directory; the settings in force stay\n");
  tap({GLFW_KEY_F5});
  tap({'='});
  EXPECT_EQ(tapCaptured({GLFW_KEY_F6}), "physics.txt not written: Is a directory\n");
  struct stat info;
  ASSERT_EQ(stat("physics.txt", &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST_F(TuningWindow, AChangeOfTheFileWhileRunningAppliesFromTheNextStep) {
  start();
  for (int i = 0; i < 5; ++i) frame({});
  writeFile("physics.txt", "restitution 0.5\npasses 6\n");
  ::testing::internal::CaptureStdout();
  for (int i = 0; i < 100 && settings().restitution != 0.5f; ++i) frame({});
  EXPECT_EQ(consoleLines(::testing::internal::GetCapturedStdout()),
            "physics.txt: restitution 0.5 (was 0.175)\n"
            "physics.txt: passes 6 (was 4)\n");
  // A bad rewrite leaves the values in force.
  writeFile("physics.txt", "restitution 0.7\nspeed 2\n");
  ::testing::internal::CaptureStdout();
  for (int i = 0; i < 100; ++i) frame({});
  EXPECT_EQ(consoleLines(::testing::internal::GetCapturedStdout()),
            "physics.txt: line 2: unknown setting 'speed'; the settings in force stay\n");
  EXPECT_EQ(settings().restitution, 0.5f);
  // Removed: the defaults.
  std::remove("physics.txt");
  ::testing::internal::CaptureStdout();
  for (int i = 0; i < 100; ++i) frame({});
  EXPECT_EQ(consoleLines(::testing::internal::GetCapturedStdout()),
            "physics.txt: restitution 0.175 (was 0.5)\n"
            "physics.txt: passes 4 (was 6)\n");
}

TEST_F(TuningWindow, RewindingPastAChangeShowsTheOldValuesAndResumingForgetsIt) {
  start();
  for (int i = 0; i < 10; ++i) frame({});
  tap({GLFW_KEY_F5});
  tap({'='});  // gravity 0.022 from about step 12
  for (int i = 0; i < 10; ++i) frame({});
  tap({'P'});
  EXPECT_EQ(settings().gravity, 0.022f);
  tap({',', GLFW_KEY_LSHIFT});
  tap({',', GLFW_KEY_LSHIFT});
  EXPECT_EQ(settings().gravity, 0.02f) << "rewound before the change";
  tap({'.', GLFW_KEY_LSHIFT});
  tap({'.', GLFW_KEY_LSHIFT});
  EXPECT_EQ(settings().gravity, 0.022f);
  tap({',', GLFW_KEY_LSHIFT});
  tap({',', GLFW_KEY_LSHIFT});
  tap({'P'});
  for (int i = 0; i < 5; ++i) frame({});
  EXPECT_EQ(settings().gravity, 0.02f);
  EXPECT_TRUE(replay.log.settingChanges.empty()) << "the later change is forgotten";

  // A radius set in a rewound view stays with that state, balls and all.
  for (int i = 0; i < 30; ++i) frame({});
  tap({'P'});
  tap({',', GLFW_KEY_LSHIFT});
  for (int i = 0; i < 9; ++i) tap({GLFW_KEY_TAB});  // radius
  tap({'='});
  const float radius = settings().radius;
  EXPECT_EQ(ball().radius, radius);
  tap({',', GLFW_KEY_LSHIFT});

  EXPECT_EQ(ball().radius, 0.02f);
  tap({'.', GLFW_KEY_LSHIFT});
  EXPECT_EQ(settings().radius, radius);
  EXPECT_EQ(ball().radius, radius);
}

TEST_F(TuningWindow, ATunedSessionSavedWithF8IsReproducedBitForBit) {
  writeFile("physics.txt", "radius 0.03\nmass 4\n");
  start();
  for (int i = 0; i < 20; ++i) frame({GLFW_KEY_UP});
  tap({GLFW_KEY_F5});
  tap({'='});  // gravity
  tap({'B'});
  for (int i = 0; i < 20; ++i) frame({GLFW_KEY_LEFT});
  tap({GLFW_KEY_TAB});
  tap({GLFW_KEY_TAB});
  tap({GLFW_KEY_TAB});
  tap({'-'});  // restitution
  for (int i = 0; i < 4; ++i) tap({GLFW_KEY_TAB});
  tap({'-'});  // passes
  tap({GLFW_KEY_TAB});
  tap({'+'});  // mass: every ball at once
  for (int i = 0; i < 20; ++i) frame({GLFW_KEY_DOWN});
  tap({'P'});
  ::testing::internal::CaptureStdout();
  tap({GLFW_KEY_F8});
  ::testing::internal::GetCapturedStdout();

  const std::string text = readFile("replay-0001.txt");
  EXPECT_NE(text.find("\n--set mass=4\n--set radius=0.0299999993\n"), std::string::npos) << text;
  EXPECT_NE(text.find("--set gravity=0.0219999999@"), std::string::npos) << text;
  EXPECT_NE(text.find("--set passes=3@"), std::string::npos) << text;
  SimOptions options;
  std::string error;
  ASSERT_TRUE(SimOptions_ParseFile("replay-0001.txt", &options, &error)) << error;
  ASSERT_TRUE(SimOptions_Check(options, &error)) << error;
  EXPECT_EQ(options.settings.size(), 6u);
  const std::string csv = readFile("replay-0001.csv");
  EXPECT_TRUE(csv == simulate(options, rooms));

  // Played back in the window: the same trajectory, and the panel's keys
  // change nothing there.
  Sandbox_Destroy();
  sandbox = SandboxState();
  instruments = InstrumentsState();
  replay = ReplayWindowState();
  tuningWindow = TuningWindowState();
  writeFile("physics.txt", "gravity 0.05\n");  // not read in playback
  ASSERT_TRUE(Replay_LoadPlayback("replay-0001.txt", &error)) << error;
  start();
  tap({GLFW_KEY_F5});
  for (int i = 0; i < 400 && !Instruments_Paused(); ++i) frame({'='});
  ASSERT_TRUE(Instruments_Paused());
  EXPECT_TRUE(Replay_CsvText(replay.log, options.steps) == csv);
}

}  // namespace
