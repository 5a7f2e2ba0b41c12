// What chamber-build says to its user: the summary, errors without
// cascades, warnings, and command-line and file faults that name
// themselves and give the system's reason.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// Runs a shell command in dir; its standard output and error apart.
struct Ran {
  int status;
  std::string out, err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Ran RunTool(const std::string& dir, const std::string& arguments) {
  const std::string command = "cd " + dir + " && " + CHAMBER_BUILD_TOOL + " " + arguments + " >out.log 2>err.log";
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(dir + "/out.log"), Slurp(dir + "/err.log")};
}

const char* const kUsageFirstLine = "usage: chamber-build DESCRIPTION [DIRECTORY]";

class ChamberBuildMessages : public ::testing::Test {
 protected:
  void SetUp() override {
    // One folder per test and process: ctest runs the tests side by side.
    dir = ::testing::TempDir() + "chamber_build_messages_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" +
          std::to_string(getpid());
    std::system(("rm -rf " + dir + " && mkdir -p " + dir).c_str());
  }
  void TearDown() override { std::system(("rm -rf " + dir).c_str()); }
  void Write(const std::string& name, const std::string& text) { std::ofstream(dir + "/" + name) << text; }
  std::string dir;
};

TEST_F(ChamberBuildMessages, DescriptionsGiveOneMessagePerFault) {
  const std::string box = " gravity 0 -1 0\n box -2 0 -2  2 3 2\nend\n";
  const struct {
    const char* what;
    std::string text;
    int status;
    std::string err;
  } cases[] = {
      {"an empty file: its problem, with no line 0", "", 2, "d.txt: error: the chamber has no rooms\n"},
      {"a room defined twice: one error, not one per line of its body",
       "room a\n" + box + "room a\n gravity 0 -1 0\n box 3 0 -2 5 3 2\n side -x open\nend\n", 2,
       "d.txt:5: error: room 'a' is defined twice\n"},
      {"a faulty line inside the twice-defined room still has its own error",
       "room a\n" + box + "room a\n gravity 0 -1 0\n wobble\nend\n", 2,
       "d.txt:5: error: room 'a' is defined twice\nd.txt:7: error: unknown statement 'wobble'\n"},
      {"a room without a name: one error", "room\n" + box, 2,
       "d.txt:1: error: write 'room NAME' (a name of letters, digits, '_' and '-')\n"},
      {"a material colour above 1", "material m 0.5 1.5 0\nroom a\n" + box, 2,
       "d.txt:1: error: colour components go from 0 to 1, and 1.5 does not\n"},
      {"a room colour below 0", "room a\n colour -0.1 0 0\n" + box, 2,
       "d.txt:2: error: colour components go from 0 to 1, and -0.1 does not\n"},
      {"a face light above 1", "room a\n gravity 0 -1 0\n box -2 0 -2  2 3 2\n side +y light 2 2 2\nend\n", 2,
       "d.txt:4: error: colour components go from 0 to 1, and 2 does not\n"},
      {"colours at the ends of the range build", "material m 0 1 0\nroom a\n colour 1 1 1\n" + box, 0, ""},
      {"no room holds the ball's start: a warning, and the chamber is built",
       "room far\n gravity 0 -1 0\n box 5 0 5  6 1 6\nend\n", 0,
       "d.txt: warning: no room holds the ball's start (0, 0.5, 0): the ball will float there\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::system(("rm -rf " + dir + "/out").c_str());
    Write("d.txt", c.text);
    const Ran r = RunTool(dir, "d.txt out");
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(Slurp(dir + "/out/0.ctr").empty(), c.status != 0) << "files are written only for a good chamber";
  }
}

TEST_F(ChamberBuildMessages, TheSummaryCountsInTheSingularAndPlural) {
  Write("one.txt", "room a\n gravity 0 -1 0\n box -2 0 -2  2 3 2\nend\n");
  Ran r = RunTool(dir, "one.txt out");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "chamber-build: 1 room, 6 faces (0 open) from one.txt\n");
  Write("two.txt", "room a\n gravity 0 -1 0\n box -2 0 -2  2 3 2\nend\nroom b\n gravity none\n box 2 0 -2  4 3 2\nend\n");
  r = RunTool(dir, "two.txt out");
  EXPECT_EQ(r.out, "chamber-build: 2 rooms, 12 faces (0 open) from two.txt\n");
}

TEST_F(ChamberBuildMessages, CommandLineAndFileFaultsNameThemselves) {
  std::system(("mkdir -p " + dir + "/a-directory").c_str());
  const struct {
    std::string arguments;
    int status;
    std::string firstLine;  // of standard error
    bool usage;             // the usage follows
  } cases[] = {
      {"--bogus", 2, "chamber-build: unknown option '--bogus'", true},
      {"d.txt out --bogus", 2, "chamber-build: unknown option '--bogus'", true},
      {"", 2, "chamber-build: no description given", true},
      {"--describe", 2, "chamber-build: --describe needs a container file", true},
      {"missing.txt out", 1, "chamber-build: cannot read missing.txt: No such file or directory", false},
      {"a-directory out", 1, "chamber-build: cannot read a-directory: Is a directory", false},
      {"--describe missing.ctr", 1,
       "chamber-build: cannot open container file 'missing.ctr': No such file or directory", false},
      {"--describe a-directory", 1, "chamber-build: cannot read container file 'a-directory': Is a directory",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Ran r = RunTool(dir, c.arguments);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')), c.firstLine);
    EXPECT_EQ(r.err.find(kUsageFirstLine) != std::string::npos, c.usage) << r.err;
    EXPECT_EQ(r.out, "");
  }
  const Ran version = RunTool(dir, "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("chamber-build ") + CHAMBER_VERSION + "\n");
  EXPECT_EQ(version.err, "");
}

}  // namespace
