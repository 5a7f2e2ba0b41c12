// Fixture for tests of the application frame: a fresh CoreState and fake
// window library, and a temporary working directory of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "core/core.h"
#include "tests/support/fake_platform.h"

class CoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core = CoreState();
    Fake_Reset();
    char pattern[] = "/tmp/chamber-core-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = pattern;
    char* previous = getcwd(nullptr, 0);
    previous_ = previous;
    free(previous);
    ASSERT_EQ(chdir(directory_.c_str()), 0);
  }

  void TearDown() override {
    ASSERT_EQ(chdir(previous_.c_str()), 0);
    std::string command = "rm -rf '" + directory_ + "'";
    ASSERT_EQ(system(command.c_str()), 0);
  }

  static std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  static bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

  // A font and a container file of one room in the working directory, so
  // that the start-up finds nothing to report about them.
  static void writeChamberFiles() {
    const char* font = getenv("CHAMBER_TEST_FONT");
    ASSERT_EQ(symlink(font ? font : "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf", "vera.ttf"), 0);
    std::string bytes;
    auto put = [&bytes](uint32_t v) {
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
    };
    const uint32_t zero = 0, one = 0x3f800000, minusOne = 0xbf800000;
    put(1);                                       // one room
    put(zero), put(minusOne), put(zero), put(1);  // gravity down, one face
    put(one), put(one), put(one), put(one), put(3), put(0);  // white, 3 corners, solid
    for (uint32_t v : {zero, zero, zero, one, zero, zero, zero, one, zero}) put(v);
    writeFile("0.ctr", bytes);
  }

  // The display fields that the settings file holds.
  static void setDisplay(int width, int height, int bitDepth, int windowMode) {
    core.width = width;
    core.height = height;
    core.bitDepth = bitDepth;
    core.windowMode = windowMode;
  }

  std::string directory_;
  std::string previous_;
};
