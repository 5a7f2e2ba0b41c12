// Options files (--args) as untrusted input: the accepted forms, and one
// error naming the file and line for everything else.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

#include "tools/chamber-sim/options.h"

namespace {

class OptionsFile : public ::testing::Test {
 protected:
  std::string path = ::testing::TempDir() + "options_" + std::to_string(getpid()) + ".txt";
  void TearDown() override { std::remove(path.c_str()); }
  void write(const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
  }
};

TEST_F(OptionsFile, ReadsOneOptionPerLineWithCommentsAndBlankLines) {
  write("# a comment\n\n--ctr   my chamber.ctr  \r\n\t--steps 40\n--start 1,2,3\n"
        "--push 0.5,0,0@2:4\n--body 1,0,0\n--body 1,2,3,-0.5,0,1e-3@7\n  # indented comment\n");
  SimOptions options;
  std::string error;
  ASSERT_TRUE(SimOptions_ParseFile(path, &options, &error)) << error;
  EXPECT_EQ(options.ctrPath, "my chamber.ctr");
  EXPECT_EQ(options.ctrWhere, path + ":3");
  EXPECT_EQ(options.steps, 40u);
  EXPECT_EQ(options.start.z, 3.0f);
  ASSERT_EQ(options.pushes.size(), 1u);
  EXPECT_EQ(options.pushes[0].from, 2u);
  ASSERT_EQ(options.extraBodies.size(), 2u);
  EXPECT_EQ(options.extraBodies[0].step, 1u);
  EXPECT_EQ(options.extraBodies[0].velocity.x, 0.0f);
  EXPECT_EQ(options.extraBodies[1].velocity.x, -0.5f);
  EXPECT_EQ(options.extraBodies[1].velocity.z, 1e-3f);
  EXPECT_EQ(options.extraBodies[1].step, 7u);
  EXPECT_TRUE(SimOptions_Check(options, &error));
}

TEST_F(OptionsFile, EveryFaultIsOneMessageWithTheFileAndLine) {
  const struct {
    const char* text;
    int line;  // 0: no line
    const char* says;
  } cases[] = {
      {"--steps 10\n--frobnicate 3\n", 2, "unknown option '--frobnicate'"},
      {"--steps\n", 1, "--steps needs a value"},
      {"steps 10\n", 1, "unknown option 'steps'"},
      {"--help x\n", 1, "--help cannot be used inside an options file"},
      {"--version\n", 1, "--version cannot be used inside an options file"},
      {"--stats 1\n", 1, "--stats takes no value"},
      {"\n\n--steps ten\n", 3, "bad value 'ten' for --steps"},
      {"--start 1,2\n", 1, "bad value '1,2' for --start"},
      {"--push 1,0,0@5:2\n", 1, "bad value '1,0,0@5:2' for --push"},
      {"--push 1,0,0@0:2\n", 1, "for --push"},
      {"--push 1,0,inf\n", 1, "for --push"},
      {"--body 1,2,3,4\n", 1, "for --body"},
      {"--body 1,2,3,4,5,6@0\n", 1, "for --body"},
      {"--body 1,2,3@\n", 1, "for --body"},
      {"--body 1,2,3,4,5,6,7\n", 1, "for --body"},
      {"--args other.txt\n", 1, "--args cannot be used inside an options file"},
      {"--steps 1\0\n", 1, "control character"},
      {"--steps 5\n--body 0,0,0@6\n", 2, "--body joins before step 6, beyond --steps 5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string text = c.text;
    if (text == "--steps 1") text = std::string("--steps 1\0\n", 11);
    write(text);
    SimOptions options;
    std::string error;
    const bool ok = SimOptions_ParseFile(path, &options, &error) && SimOptions_Check(options, &error);
    ASSERT_FALSE(ok);
    EXPECT_EQ(error.rfind(path + ":" + std::to_string(c.line) + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(c.says), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
  }
}

TEST_F(OptionsFile, AMissingFileNamesIt) {
  SimOptions options;
  std::string error;
  EXPECT_FALSE(SimOptions_ParseFile(path + ".missing", &options, &error));
  EXPECT_NE(error.find(path + ".missing"), std::string::npos);
  EXPECT_FALSE(SimOptions_ParseFile(::testing::TempDir(), &options, &error));
}

TEST_F(OptionsFile, TheCommandLineReadsItInPlaceAndLaterOptionsStillApply) {
  write("--steps 40\n--start 1,2,3\n");
  const std::string args = path;
  const char* argv[] = {"chamber-sim", "--steps", "5", "--args", args.c_str(), "--steps", "7"};
  SimOptions options;
  std::string error;
  ASSERT_TRUE(SimOptions_Parse(7, argv, &options, &error)) << error;
  EXPECT_EQ(options.steps, 7u);
  EXPECT_EQ(options.start.x, 1.0f);
  // A body beyond the last step is refused on the command line too.
  const char* late[] = {"chamber-sim", "--steps", "3", "--body", "0,0,0,1,1,1@4"};
  EXPECT_FALSE(SimOptions_Parse(5, late, &options, &error));
  EXPECT_NE(error.find("beyond --steps 3"), std::string::npos) << error;
}

}  // namespace
