// The whole program cycle against the scripted window library: labels in
// order, the quit, reset and full-screen keys, and a window that cannot open.
#include <algorithm>
#include <vector>

#include "tests/core/core_fixture.h"

namespace {

using Labels = std::vector<std::string>;

const Labels startUp = {"Core_Initialize",
                        "Core_Initialize_LoadConfig",
                        "Core_Initialize_WindowResizeCallback",
                        "Core_Initialize_SaveConfig",
                        "Core_Initialize_Fonts",
                        "Menu_Initialize",
                        "Menu_LoadTextures",
                        "Sandbox_Initialize",
                        "Sandbox_LoadTextures",
                        "Core_MainLoop"};
const Labels shutDown = {"Core_Shutdown", "Core_Unload", "Menu_Shutdown", "Menu_Unload"};

Labels concat(std::initializer_list<Labels> parts) {
  Labels all;
  for (const Labels& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Runs the program; script(swap) is called after every buffer swap, the
// resize callback's included, to press and release keys.
int runProgram(std::function<void(int swap)> script) {
  fake.onSwap = script;
  ::testing::internal::CaptureStdout();
  const int code = Core_Run();
  ::testing::internal::GetCapturedStdout();
  return code;
}

TEST_F(CoreTest, EscapeQuitsAfterTheFrameInWhichItIsSeen) {
  // Swap 1 is the size callback's cleared frame; then one swap per frame.
  const int code = runProgram([](int swap) {
    if (swap == 3) fake.keysDown = {GLFW_KEY_ESC};
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(fake.swaps, 4);  // the frame that saw ESC was still drawn
  EXPECT_EQ(core.messageLog, concat({startUp, shutDown}));
  EXPECT_EQ(fake.terminates, 1);
  ASSERT_EQ(fake.opens.size(), 1u);
  const FakeOpenCall& open = fake.opens[0];
  EXPECT_EQ(std::vector<int>({open.width, open.height, open.red, open.green, open.blue,
                              open.alpha, open.depth, open.stencil, open.mode}),
            std::vector<int>({640, 480, 8, 8, 8, 8, 0, 0, GLFW_WINDOW}));
  EXPECT_EQ(fake.title, "Vantrel Test Chamber - By - Kolm");
  EXPECT_EQ(readFile("config.dat"), "640\n480\n32\n65537\n");
  EXPECT_EQ(core.screen, Screen_Sandbox);
}

TEST_F(CoreTest, SixteenBitSettingsAskForFiveSixFiveWithoutAlpha) {
  writeFile("config.dat", "800\n600\n16\n65537\n");
  runProgram([](int) { fake.keysDown = {GLFW_KEY_ESC}; });
  ASSERT_EQ(fake.opens.size(), 1u);
  const FakeOpenCall& open = fake.opens[0];
  EXPECT_EQ(std::vector<int>({open.width, open.height, open.red, open.green, open.blue,
                              open.alpha}),
            std::vector<int>({800, 600, 5, 6, 5, 0}));
}

TEST_F(CoreTest, ClosingTheWindowQuits) {
  const int code = runProgram([](int swap) {
    if (swap == 5) fake.userClosed = true;
  });
  EXPECT_EQ(code, 0);
  EXPECT_EQ(fake.swaps, 6);
  EXPECT_EQ(core.messageLog, concat({startUp, shutDown}));
}

TEST_F(CoreTest, AWindowModeThatCannotOpenEndsAfterTheFirstFrame) {
  writeFile("config.dat", "640\n480\n32\n7\n");
  const int code = runProgram([](int) {});
  EXPECT_EQ(code, 0);
  EXPECT_EQ(fake.swaps, 1);
  // No window: no size callback, so the settings file is left as it was.
  EXPECT_EQ(std::count(core.messageLog.begin(), core.messageLog.end(),
                       "Core_Initialize_WindowResizeCallback"),
            0);
  EXPECT_EQ(readFile("config.dat"), "640\n480\n32\n7\n");
}

// A window the layer refuses outright (no library error to pass on) leaves one
// line on stderr naming what was asked for and where it came from.
TEST_F(CoreTest, ARefusedWindowNamesTheSizeModeAndSettingsFile) {
  const std::string tail =
      " did not open; size and mode come from config.dat, or the defaults when it is missing or "
      "invalid\n";
  struct Case {
    const char* settings;
    std::string stderrText;
  };
  const Case cases[] = {
      {"640\n480\n32\n7\n", "chamber: the window asked for (640 x 480, mode 7, 32-bit colour)" + tail},
      {"800\n600\n16\n0\n", "chamber: the window asked for (800 x 600, mode 0, 16-bit colour)" + tail},
      {"640\n480\n32\n65537\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.settings);
    core = CoreState();
    Fake_Reset();
    writeFile("config.dat", c.settings);
    ::testing::internal::CaptureStderr();
    runProgram([](int) { fake.keysDown = {GLFW_KEY_ESC}; });
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.stderrText);
  }
  // A layer that opens nothing for its own reasons (a full-screen window
  // with no screen for it, say) is explained the same way.
  core = CoreState();
  Fake_Reset();
  writeFile("config.dat", "1024\n768\n32\n65538\n");
  fake.openFails = true;
  ::testing::internal::CaptureStderr();
  runProgram([](int) {});
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "chamber: the window asked for (1024 x 768, full-screen, 32-bit colour)" + tail);
}

// A display that refuses the library for a moment: the program opens its
// window once the library comes up, and runs on; one that never comes up ends
// the program after its first frame with one line on stderr saying why.
struct DisplayFailureCase {
  const char* name;
  int initFailures, openFailures;
  bool opens;
  std::string stderrText;
};

TEST_F(CoreTest, PassingDisplayFailuresAreRetriedAndLastingOnesExplained) {
  const std::string refused = "X11: Failed to open display :0";
  const DisplayFailureCase cases[] = {
      {"init fails twice", 2, 0, true, ""},
      {"window fails twice", 0, 2, true, ""},
      {"init fails up to the last try", Platform_DisplayAttempts - 1, 0, true, ""},
      {"init never succeeds", 1000, 0, false,
       "chamber: cannot initialise the window library: " + refused + "\n"},
      {"window never opens", 0, 1000, false, "chamber: cannot open the window: " + refused + "\n"},
  };
  for (const DisplayFailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    core = CoreState();
    Fake_Reset();
    fake.initFailures = c.initFailures;
    fake.openFailures = c.openFailures;
    fake.errorText = refused;
    ::testing::internal::CaptureStderr();
    const int code = runProgram([](int swap) {
      if (swap == 4) fake.keysDown = {GLFW_KEY_ESC};
    });
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, 0);
    EXPECT_EQ(errors, c.stderrText);
    if (c.opens) {
      EXPECT_EQ(fake.swaps, 5);  // the size callback's frame, then four frames
      EXPECT_EQ(core.messageLog, concat({startUp, shutDown}));
    } else {
      EXPECT_EQ(fake.swaps, 1);  // the first frame finds no window and quits
      EXPECT_FALSE(fake.windowOpen);
      // Every try spent on the call that failed; none on a window after a
      // library that never came up.
      const bool initFailed = c.initFailures > 0;
      EXPECT_EQ(initFailed ? fake.initAttempts : fake.openAttempts, Platform_DisplayAttempts);
      if (initFailed) {
        EXPECT_EQ(fake.openAttempts, 0);
      }
    }
  }
}

TEST_F(CoreTest, F9ExportsTheLabelsLoggedSoFar) {
  runProgram([](int swap) {
    if (swap == 2) fake.keysDown = {GLFW_KEY_F9};
    if (swap == 3) fake.keysDown = {GLFW_KEY_ESC};
  });
  std::string expected;
  for (const std::string& label : startUp) expected += label + "\n";
  EXPECT_EQ(readFile("messages.txt"), expected);
}

TEST_F(CoreTest, F9ThatCannotWriteSaysWhyOncePerPress) {
  ASSERT_EQ(mkdir("messages.txt", 0755), 0);  // no file can replace it, even for root
  ::testing::internal::CaptureStderr();
  runProgram([](int swap) {
    if (swap == 2 || swap == 6) fake.keysDown = {GLFW_KEY_F9};  // held for three frames
    if (swap == 5 || swap == 9) fake.keysDown = {};
    if (swap == 10) fake.keysDown = {GLFW_KEY_ESC};
  });
  const std::string errors = ::testing::internal::GetCapturedStderr();
  const std::string line = "chamber: cannot write messages.txt: Is a directory\n";
  std::size_t count = 0;
  for (std::size_t at = errors.find(line); at != std::string::npos; at = errors.find(line, at + 1))
    ++count;
  EXPECT_EQ(count, 2u) << errors;
}

TEST_F(CoreTest, F11RunsTheWholeCycleAgain) {
  runProgram([](int swap) {
    if (swap == 2) fake.keysDown = {GLFW_KEY_F11};
    if (swap == 3) fake.keysDown = {};
    if (swap == 6) fake.keysDown = {GLFW_KEY_ESC};
  });
  EXPECT_EQ(core.messageLog, concat({startUp, {"Core_Reset"}, shutDown, startUp, shutDown}));
  EXPECT_EQ(fake.terminates, 2);
  EXPECT_FALSE(core.resetRequested);
}

TEST_F(CoreTest, AltEnterTogglesFullScreenThroughTheSettingsFile) {
  int toggles = 0;
  runProgram([&](int swap) {
    const bool toggling = fake.keysDown.count(GLFW_KEY_ENTER) > 0;
    if (toggling) {
      fake.keysDown = {};  // released as soon as the rebuild swapped
      ++toggles;
    } else if (swap == 2) {
      fake.keysDown = {GLFW_KEY_LALT, GLFW_KEY_ENTER};
    } else if (swap == 5) {
      fake.keysDown = {GLFW_KEY_RALT, GLFW_KEY_ENTER};
    } else if (swap == 8) {
      fake.keysDown = {GLFW_KEY_ESC};
    }
  });
  ASSERT_EQ(fake.opens.size(), 3u);
  EXPECT_EQ(fake.opens[0].mode, GLFW_WINDOW);
  EXPECT_EQ(fake.opens[1].mode, GLFW_FULLSCREEN);
  EXPECT_EQ(fake.opens[2].mode, GLFW_WINDOW);
  EXPECT_EQ(readFile("config.dat"), "640\n480\n32\n65537\n");

  const Labels rebuild = {"Core_Initialize_WindowFullscreenSwap",
                          "Core_Initialize_SaveConfig",
                          "Core_Unload",
                          "Menu_Unload",
                          "Sandbox_Unload",
                          "Core_Initialize_LoadConfig",
                          "Core_Initialize_WindowResizeCallback",
                          "Core_Initialize_SaveConfig",
                          "Core_Initialize_Fonts",
                          "Menu_LoadTextures",
                          "Sandbox_LoadTextures"};
  EXPECT_EQ(core.messageLog, concat({startUp, rebuild, rebuild, shutDown}));
  // The screen and its fade survive a rebuild; the frame timer restarts.
  EXPECT_EQ(core.screen, Screen_Sandbox);
}

TEST_F(CoreTest, ARebuildRestartsTheTimersButKeepsTheScreen) {
  core.screen = Screen_Sandbox;
  core.screenFade[Screen_Sandbox] = 0.7f;
  core.frameTimer.total = 12;
  core.fps.frames = 9;
  core.fps.framesPerSecond = 60;
  setDisplay(640, 480, 32, GLFW_WINDOW);
  fake.time = 0.5;
  ::testing::internal::CaptureStdout();
  Core_Initialize_WindowFullscreenSwap();
  ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(core.frameTimer.total, 0);
  EXPECT_EQ(core.frameTimer.lastTime, 0.5);
  EXPECT_EQ(core.fps.frames, 0);
  EXPECT_EQ(core.fps.framesPerSecond, 0);
  EXPECT_EQ(core.screenFade[Screen_Sandbox], 0.7f);
  EXPECT_EQ(readFile("config.dat"), "640\n480\n32\n65538\n");
}

TEST_F(CoreTest, TheSceneFadesInFromItsFirstFrame) {
  fake.time = 1;
  fake.timePerRead = 0.005;
  runProgram([](int swap) {
    if (swap == 2) {
      EXPECT_GT(core.screenFade[Screen_Sandbox], 0.0f);
      EXPECT_LT(core.screenFade[Screen_Sandbox], 1.0f);
    }
    if (swap == 40) fake.keysDown = {GLFW_KEY_ESC};
  });
  EXPECT_EQ(core.screenFade[Screen_Sandbox], 1.0f);
}

}  // namespace
