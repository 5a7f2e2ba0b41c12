#include <sys/stat.h>

#include "tests/core/core_fixture.h"

namespace {

struct ConfigCase {
  const char* name;
  const char* file;  // nullptr: no file
  int width, height, bitDepth, windowMode;
};

void PrintTo(const ConfigCase& c, std::ostream* os) { *os << c.name; }

class LoadConfigTest : public CoreTest, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(LoadConfigTest, ReadsOrKeepsTheDefaults) {
  const ConfigCase& c = GetParam();
  if (c.file) writeFile("config.dat", c.file);
  setDisplay(640, 480, 32, GLFW_WINDOW);
  Core_Initialize_LoadConfig();
  EXPECT_EQ(core.width, c.width);
  EXPECT_EQ(core.height, c.height);
  EXPECT_EQ(core.bitDepth, c.bitDepth);
  EXPECT_EQ(core.windowMode, c.windowMode);
  EXPECT_EQ(core.messageLog.back(), "Core_Initialize_LoadConfig");
}

INSTANTIATE_TEST_SUITE_P(
    Files, LoadConfigTest,
    ::testing::Values(
        ConfigCase{"NoFile", nullptr, 640, 480, 32, GLFW_WINDOW},
        ConfigCase{"FullScreen16", "1024\n768\n16\n65538\n", 1024, 768, 16, GLFW_FULLSCREEN},
        ConfigCase{"AnyWhiteSpace", " 800 600\t32\n\n65537", 800, 600, 32, GLFW_WINDOW},
        // Any depth but 16 or 32 discards the whole file, size and mode too.
        ConfigCase{"Depth24IgnoresAll", "1024\n768\n24\n65538\n", 640, 480, 32, GLFW_WINDOW},
        ConfigCase{"Depth64IgnoresAll", "1024\n768\n64\n65538\n", 640, 480, 32, GLFW_WINDOW},
        ConfigCase{"Depth48IgnoresAll", "1024\n768\n48\n65538\n", 640, 480, 32, GLFW_WINDOW},
        ConfigCase{"Depth33IgnoresAll", "1024\n768\n33\n65538\n", 640, 480, 32, GLFW_WINDOW},
        ConfigCase{"Depth8IgnoresAll", "1024\n768\n8\n65538\n", 640, 480, 32, GLFW_WINDOW},
        ConfigCase{"Depth0IgnoresAll", "1024\n768\n0\n65538\n", 640, 480, 32, GLFW_WINDOW},
        ConfigCase{"MissingModeGivesZero", "800\n600\n32\n", 800, 600, 32, 0},
        ConfigCase{"Garbage", "\x7f" "ELF\x01\x02garbage", 640, 480, 32, GLFW_WINDOW},
        ConfigCase{"Empty", "", 640, 480, 32, GLFW_WINDOW},
        // Read as unsigned, so -1 wraps; opening then refuses the size.
        ConfigCase{"Negative", "-1\n480\n32\n65537\n", -1, 480, 32, GLFW_WINDOW}),
    [](const ::testing::TestParamInfo<ConfigCase>& info) { return info.param.name; });

TEST_F(CoreTest, SaveConfigWritesFourLines) {
  setDisplay(1024, 768, 16, GLFW_FULLSCREEN);
  Core_Initialize_SaveConfig();
  EXPECT_EQ(readFile("config.dat"), "1024\n768\n16\n65538\n");
  EXPECT_EQ(core.messageLog.back(), "Core_Initialize_SaveConfig");
  // Only the file itself is left behind.
  EXPECT_EQ(Platform_ListDirectory(".").size(), 3u);
}

TEST_F(CoreTest, SaveThenLoadRoundTrips) {
  setDisplay(333, 222, 32, GLFW_WINDOW);
  Core_Initialize_SaveConfig();
  core = CoreState();
  Core_Initialize_LoadConfig();
  EXPECT_EQ(core.width, 333);
  EXPECT_EQ(core.height, 222);
}

TEST_F(CoreTest, ReplaceFileLeavesTheOldFileWhenItCannotWrite) {
  writeFile("config.dat", "old\n");
  // A directory in the temporary file's place makes writing fail, even for
  // root, for whom a read-only directory would not.
  const std::string temporary = "config.dat." + std::to_string(getpid()) + ".tmp";
  ASSERT_EQ(mkdir(temporary.c_str(), 0755), 0);
  core.width = 1;
  core.bitDepth = 32;
  Core_Initialize_SaveConfig();
  EXPECT_EQ(readFile("config.dat"), "old\n");
  EXPECT_FALSE(Core_ReplaceFile("config.dat", "new\n"));
  EXPECT_EQ(readFile("config.dat"), "old\n");
}

TEST_F(CoreTest, ReplaceFileFailsWithoutTouchingADirectoryInTheWay) {
  // A directory where the file should be: the rename fails, and the
  // temporary file is cleaned up.
  ASSERT_EQ(mkdir("config.dat", 0755), 0);
  writeFile("config.dat/keep", "x");
  EXPECT_FALSE(Core_ReplaceFile("config.dat", "1\n2\n32\n65537\n"));
  EXPECT_EQ(readFile("config.dat/keep"), "x");
  EXPECT_EQ(Platform_ListDirectory(".").size(), 3u);  // ".", "..", "config.dat"
}

TEST_F(CoreTest, ReplaceFileReplacesWholeFiles) {
  writeFile("f", std::string(10000, 'a'));
  EXPECT_TRUE(Core_ReplaceFile("f", "short"));
  EXPECT_EQ(readFile("f"), "short");
  EXPECT_TRUE(Core_ReplaceFile("f", ""));
  EXPECT_TRUE(exists("f"));
  EXPECT_EQ(readFile("f"), "");
}

TEST_F(CoreTest, AspectRatioOfAZeroHeightIsOne) {
  core.width = 640;
  core.height = 480;
  EXPECT_DOUBLE_EQ(Core_AspectRatio(), 640.0 / 480.0);
  core.height = 0;
  EXPECT_EQ(Core_AspectRatio(), 1.0);
  core.width = 0;
  EXPECT_EQ(Core_AspectRatio(), 1.0);
}

}  // namespace
