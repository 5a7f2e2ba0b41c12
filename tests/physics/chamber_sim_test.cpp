// Runs chamber-sim on a small container file and checks what it prints.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/physics/container_writer.h"
#include "tools/chamber-sim/step_times.h"

namespace {

struct SimRun {
  int status = -1;
  std::vector<std::string> lines;  // standard output
  std::string errors;
};

class ChamberSim : public ::testing::Test {
 protected:
  std::string dir = ::testing::TempDir();
  std::string tag = std::to_string(getpid());
  std::string ctrPath = dir + "sim_" + tag + ".ctr";
  std::string errPath = dir + "sim_" + tag + ".err";

  void SetUp() override {
    // A floor room with gravity down, and beside it, through an open wall,
    // a room that pulls toward +x.
    ctr::Room a = ctr::boxRoom({-1, 0, -1}, {1, 1, 1});
    ctr::Room b = ctr::boxRoom({1, 0, -1}, {3, 1, 1}, vec3f(1, 0, 0));
    a.faces[1].flags = 1;
    b.faces[0].flags = 1;
    ASSERT_TRUE(ctr::writeFile(ctrPath, ctr::encode({a, b})));
  }
  void TearDown() override {
    std::remove(ctrPath.c_str());
    std::remove(errPath.c_str());
  }

  SimRun run(const std::string& args) { return runCommand(std::string(CHAMBER_SIM) + " " + args); }

  SimRun runCommand(const std::string& commandLine) {
    SimRun r;
    const std::string command = commandLine + " 2>" + errPath;
    FILE* out = popen(command.c_str(), "r");
    if (!out) return r;
    std::string text;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, out)) > 0) text.append(buffer, n);
    const int status = pclose(out);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) r.lines.push_back(line);
    if (FILE* err = std::fopen(errPath.c_str(), "r")) {
      while ((n = std::fread(buffer, 1, sizeof buffer, err)) > 0) r.errors.append(buffer, n);
      std::fclose(err);
    }
    return r;
  }
};

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string f; std::getline(in, f, ',');) out.push_back(f);
  if (!line.empty() && line.back() == ',') out.push_back("");
  return out;
}

TEST_F(ChamberSim, PrintsOneRowPerBodyAndStep) {
  const SimRun r = run("--ctr " + ctrPath + " --steps 300 --body 0.5,0.5,0");
  ASSERT_EQ(r.status, 0) << r.errors;
  EXPECT_EQ(r.errors, "");
  ASSERT_EQ(r.lines.size(), 1u + 2 * 300);
  EXPECT_EQ(r.lines[0], "step,body,x,y,z,vx,vy,vz,gx,gy,gz,containers");
  EXPECT_EQ(r.lines[1], "1,0,0,0.499000013,0,0,-0.000999999931,0,0,-1,0,0");
  EXPECT_EQ(fields(r.lines[2])[1], "1");
  const std::vector<std::string> last = fields(r.lines[599]);
  ASSERT_EQ(last.size(), 12u);
  EXPECT_EQ(last[0], "300");
  EXPECT_NEAR(std::stof(last[3]), 0.02f, 0.001f);  // resting on the floor
  EXPECT_EQ(last[11], "0");
}

TEST_F(ChamberSim, PushCarriesTheBallIntoTheNextRoom) {
  const SimRun r = run("--ctr " + ctrPath + " --steps 400 --start 0,0.02,0 --push 0.052,0,0@1:100");
  ASSERT_EQ(r.status, 0) << r.errors;
  bool inBoth = false;
  for (std::size_t i = 1; i < r.lines.size(); ++i) inBoth = inBoth || fields(r.lines[i])[11] == "0 1";
  EXPECT_TRUE(inBoth);
  const std::vector<std::string> last = fields(r.lines.back());
  EXPECT_EQ(last[11], "1");
  EXPECT_NEAR(std::stof(last[2]), 2.98f, 0.01f);  // against the far wall, pulled by +x gravity
  EXPECT_NEAR(std::stof(last[8]), 1, 0.01f);
}

TEST_F(ChamberSim, StartAndVelocityWithoutRooms) {
  const SimRun r = run("--ctr " + ctrPath + " --steps 2 --start 10,10,10 --velocity 0.5,0,0");
  ASSERT_EQ(r.status, 0) << r.errors;
  ASSERT_EQ(r.lines.size(), 3u);
  EXPECT_EQ(r.lines[1], "1,0,10.5,10,10,0.5,0,0,0,-1,0,");
  EXPECT_EQ(fields(r.lines[2])[2], "10.9997501");  // damped by 0.9995
}

TEST_F(ChamberSim, AnOptionsFileActsAsTheSameOptionsOnTheCommandLine) {
  const std::string argsPath = dir + "sim_" + tag + ".args";
  const std::string options = "--ctr " + ctrPath + "\n--steps 120\n--start 0,0.02,0\n" +
                              "--push 0.052,0,0@1:40\n--push 0,0,0.01@30:60\n" +
                              "--body -0.5,0.1,0,0.02,0,0@50\n--body 0.3,0.5,0\n";
  ASSERT_TRUE(ctr::writeFile(argsPath, std::vector<std::uint8_t>(options.begin(), options.end())));
  std::string flat = options;
  for (char& c : flat)
    if (c == '\n') c = ' ';
  const SimRun fromFile = run("--args " + argsPath);
  const SimRun given = run(flat);
  std::remove(argsPath.c_str());
  ASSERT_EQ(fromFile.status, 0) << fromFile.errors;
  EXPECT_EQ(fromFile.lines, given.lines);
  // The body given without a step is there from the start (body 1); the
  // thrown one joins as body 2 at step 50, with its velocity.
  EXPECT_EQ(fields(fromFile.lines[2])[1], "1");
  EXPECT_EQ(fromFile.lines.size(), 1u + 2 * 49 + 3 * 71);
  const std::vector<std::string> joined = fields(fromFile.lines[1 + 2 * 49 + 2]);
  EXPECT_EQ(joined[0], "50");
  EXPECT_EQ(joined[1], "2");
  EXPECT_EQ(joined[5], "0.0199999996");
}

TEST_F(ChamberSim, AnOptionsFileErrorNamesTheLine) {
  const std::string argsPath = dir + "sim_" + tag + ".args";
  const std::string options = "# two steps\n--steps 2\n--ctr " + ctrPath + ".gone\n";
  ASSERT_TRUE(ctr::writeFile(argsPath, std::vector<std::uint8_t>(options.begin(), options.end())));
  const SimRun r = run("--args " + argsPath);
  std::remove(argsPath.c_str());
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(r.lines.empty());
  EXPECT_EQ(r.errors, "chamber-sim: " + argsPath + ":3: cannot open container file '" + ctrPath +
                          ".gone': No such file or directory\n");
}

TEST_F(ChamberSim, BadInputIsOneLineAndExitCodeTwo) {
  const std::string bad[] = {
      "--steps",          "--steps -1",        "--steps 1e3",
      "--start 1,2",      "--start 1,2,x",     "--velocity 1,2,3,4",
      "--push 1,0,0@3:2", "--push 1,0,0@0:2",  "--push 1,0,0@2",
      "--body nan,0,0",   "--frobnicate",      "--ctr " + ctrPath + ".missing",
      "--ctr " + dir,     "--every 0",         "--every 2.5",
      "--every",
  };
  for (const std::string& args : bad) {
    const SimRun r = run(args);
    SCOPED_TRACE(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.lines.empty());
    ASSERT_FALSE(r.errors.empty());
    EXPECT_EQ(r.errors.find('\n'), r.errors.size() - 1) << r.errors;
  }
  const SimRun help = run("--help");
  EXPECT_EQ(help.status, 0);
  ASSERT_FALSE(help.lines.empty());
  EXPECT_EQ(help.lines[0].rfind("usage: chamber-sim", 0), 0u);
}

TEST_F(ChamberSim, EveryPrintsTheRowsOfEveryNthStepAndOfTheLast) {
  const std::string args = "--ctr " + ctrPath + " --steps 20 --body 0.5,0.5,0";
  const SimRun all = run(args);
  ASSERT_EQ(all.status, 0) << all.errors;
  const struct {
    const char* every;
    std::vector<int> steps;
  } cases[] = {{"7", {7, 14, 20}}, {"5", {5, 10, 15, 20}}, {"1", {}}, {"30", {20}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.every);
    const SimRun some = run(args + " --every " + c.every);
    ASSERT_EQ(some.status, 0) << some.errors;
    std::vector<std::string> expected = {all.lines[0]};
    std::vector<int> steps = c.steps;
    if (steps.empty())
      for (int s = 1; s <= 20; ++s) steps.push_back(s);
    for (int s : steps)
      for (int body = 0; body < 2; ++body) expected.push_back(all.lines[static_cast<std::size_t>(2 * s - 1 + body)]);
    EXPECT_EQ(some.lines, expected);
  }
}

TEST_F(ChamberSim, StatsGoToStandardErrorAndLeaveTheRowsAlone) {
  const std::string args = "--ctr " + ctrPath + " --steps 50 --body 0.5,0.5,0";
  const SimRun plain = run(args);
  const SimRun stats = run(args + " --stats");
  ASSERT_EQ(stats.status, 0) << stats.errors;
  EXPECT_EQ(stats.lines, plain.lines);
  std::istringstream err(stats.errors);
  std::vector<std::string> lines;
  for (std::string line; std::getline(err, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 6u) << stats.errors;
  EXPECT_EQ(lines[0], "stats: steps 50");
  EXPECT_EQ(lines[1], "stats: bodies 2");
  EXPECT_EQ(lines[2], "stats: rooms 2");
  double median = 0, p99 = 0, load = 0;
  ASSERT_EQ(std::sscanf(lines[3].c_str(), "stats: step median %lf us", &median), 1) << lines[3];
  ASSERT_EQ(std::sscanf(lines[4].c_str(), "stats: step p99 %lf us", &p99), 1) << lines[4];
  ASSERT_EQ(std::sscanf(lines[5].c_str(), "stats: load %lf ms", &load), 1) << lines[5];
  EXPECT_GT(median, 0);
  EXPECT_GE(p99, median);
  EXPECT_GT(load, 0);
}

// A container file's problem is one line on stderr, in the words
// chamber-build --describe uses for the same file.
TEST_F(ChamberSim, ContainerFileProblemsAreNamedAsChamberBuildNamesThem) {
  const std::string cut = dir + "sim_" + tag + "_cut.ctr";
  const std::vector<std::uint8_t> whole = ctr::encode({ctr::boxRoom({-1, 0, -1}, {1, 1, 1})});
  ASSERT_TRUE(ctr::writeFile(cut, std::vector<std::uint8_t>(whole.begin(), whole.end() - 5)));
  const struct {
    std::string path;
    int status;  // of chamber-sim
    std::string problem;
  } cases[] = {
      {cut, 0, "container file '" + cut + "' is damaged: it ends after 0 whole rooms of the 1 it lists"},
      {"/dev/null", 0, "container file '/dev/null' holds no rooms: the file is empty"},
      {dir + "gone.ctr", 2, "cannot open container file '" + dir + "gone.ctr': No such file or directory"},
      {"/", 2, "cannot read container file '/': Is a directory"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const SimRun sim = run("--ctr " + c.path + " --steps 1");
    EXPECT_EQ(sim.status, c.status);
    EXPECT_EQ(sim.errors, "chamber-sim: " + std::string(c.status == 0 ? "warning: " : "") + c.problem + "\n");
    const SimRun describe = runCommand(std::string(CHAMBER_BUILD) + " --describe " + c.path);
    EXPECT_NE(describe.errors.find(c.problem), std::string::npos) << describe.errors;
  }
  std::remove(cut.c_str());
  // A whole file says nothing.
  EXPECT_EQ(run("--ctr " + ctrPath + " --steps 1").errors, "");
}

TEST_F(ChamberSim, VersionAndTheOptionsAnOptionsFileTakes) {
  const SimRun version = run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.lines, std::vector<std::string>{std::string("chamber-sim ") + CHAMBER_VERSION});
  // --stats alone on its line, as on the command line.
  const std::string argsPath = dir + "sim_" + tag + ".args";
  const std::string text = "--ctr " + ctrPath + "\n--steps 3\n--stats\n";
  ASSERT_TRUE(ctr::writeFile(argsPath, std::vector<std::uint8_t>(text.begin(), text.end())));
  const SimRun stats = run("--args " + argsPath);
  std::remove(argsPath.c_str());
  EXPECT_EQ(stats.status, 0) << stats.errors;
  EXPECT_EQ(stats.errors.rfind("stats: steps 3\n", 0), 0u) << stats.errors;
  // An options file that is a directory says so.
  const SimRun directory = run("--args /");
  EXPECT_EQ(directory.status, 2);
  EXPECT_EQ(directory.errors, "chamber-sim: cannot read options file '/': Is a directory\n");
  const SimRun unknown = run("--bogus");
  EXPECT_EQ(unknown.errors, "chamber-sim: unknown option '--bogus' (see --help)\n");
}

TEST(StepTimes, QuantilesByNearestRankWithinOnePercent) {
  StepTimes empty;
  EXPECT_EQ(StepTimes_Quantile(empty, 0.5), 0);

  StepTimes small;  // exact below 256 ns
  for (std::uint64_t ns : {5, 1, 3, 2, 4}) StepTimes_Add(small, ns);
  EXPECT_EQ(StepTimes_Quantile(small, 0.5), 3);
  EXPECT_EQ(StepTimes_Quantile(small, 0.99), 5);
  EXPECT_EQ(StepTimes_Quantile(small, 0), 1);

  StepTimes wide;  // 1 us to 1 ms, then one step of a whole second
  for (std::uint64_t i = 1; i <= 1000; ++i) StepTimes_Add(wide, i * 1000);
  StepTimes_Add(wide, 1000000000);
  EXPECT_NEAR(StepTimes_Quantile(wide, 0.5), 501000, 501000 / 100.0);
  EXPECT_NEAR(StepTimes_Quantile(wide, 0.99), 991000, 991000 / 100.0);
  EXPECT_NEAR(StepTimes_Quantile(wide, 1), 1e9, 1e9 / 100);
}

}  // namespace
