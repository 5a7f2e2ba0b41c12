// chamber-sim's --set and --settings: when each setting starts, what a
// settings file gives, and every fault as one line with exit code 2.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/physics/container_writer.h"

namespace {

struct SimRun {
  int status = -1;
  std::vector<std::string> lines;
  std::string errors;
};

class ChamberSimSettings : public ::testing::Test {
 protected:
  std::string dir = ::testing::TempDir();
  std::string tag = std::to_string(getpid());
  std::string ctrPath = dir + "simset_" + tag + ".ctr";
  std::string errPath = dir + "simset_" + tag + ".err";
  std::string filePath = dir + "simset_" + tag + ".txt";

  void SetUp() override {
    ASSERT_TRUE(ctr::writeFile(ctrPath, ctr::encode({ctr::boxRoom({-1, 0, -1}, {1, 1, 1})})));
  }
  void TearDown() override {
    std::remove(ctrPath.c_str());
    std::remove(errPath.c_str());
    std::remove(filePath.c_str());
  }
  void write(const std::string& text) {
    ASSERT_TRUE(ctr::writeFile(filePath, std::vector<std::uint8_t>(text.begin(), text.end())));
  }
  SimRun run(const std::string& args) {
    SimRun r;
    const std::string command = std::string(CHAMBER_SIM) + " --ctr " + ctrPath + " " + args +
                                " 2>" + errPath;
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

TEST_F(ChamberSimSettings, ASettingChangesTheRowsFromItsStepOn) {
  const SimRun plain = run("--steps 6");
  ASSERT_EQ(plain.status, 0) << plain.errors;
  EXPECT_EQ(plain.lines, run("--steps 6 --set gravity=0.02 --set passes=4").lines)
      << "the defaults given change nothing";
  const SimRun tuned = run("--steps 6 --set gravity=0.04@3");
  ASSERT_EQ(tuned.status, 0) << tuned.errors;
  ASSERT_EQ(tuned.lines.size(), plain.lines.size());
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(tuned.lines[i], plain.lines[i]);
  for (std::size_t i = 3; i < 7; ++i) EXPECT_NE(tuned.lines[i], plain.lines[i]);
  // The later of two settings of one step stands.
  EXPECT_EQ(run("--steps 6 --set gravity=0.04@3 --set gravity=0.02@3").lines, plain.lines);
}

TEST_F(ChamberSimSettings, ASettingsFileIsItsLinesFromStepOne) {
  write("# lighter, bouncier\nrestitution 0.6\n\nmass 2\n");
  const SimRun fromFile = run("--steps 200 --settings " + filePath);
  const SimRun given = run("--steps 200 --set restitution=0.6 --set mass=2");
  ASSERT_EQ(fromFile.status, 0) << fromFile.errors;
  EXPECT_EQ(fromFile.lines, given.lines);
  EXPECT_NE(fromFile.lines, run("--steps 200").lines);
  // In an options file, --set and --settings act as on the command line.
  write("--steps 200\n--set restitution=0.6\n--set mass=2@1\n");
  EXPECT_EQ(run("--args " + filePath).lines, given.lines);
}

TEST_F(ChamberSimSettings, EveryFaultIsOneLineNamingTheOption) {
  struct Case {
    std::string args, file, says;
  };
  const Case cases[] = {
      {"--set speed=1", "", "chamber-sim: --set: unknown setting 'speed'"},
      {"--set gravity", "", "chamber-sim: --set: expected NAME=VALUE"},
      {"--set gravity=fast", "", "chamber-sim: --set: bad value 'fast' for gravity (a number"},
      {"--set mass=0", "", "chamber-sim: --set: bad value '0' for mass (a number above 0"},
      {"--set radius=-1", "", "chamber-sim: --set: bad value '-1' for radius"},
      {"--set passes=65", "", "chamber-sim: --set: bad value '65' for passes (a whole number"},
      {"--set gravity=inf", "", "chamber-sim: --set: bad value 'inf' for gravity"},
      {"--set gravity=0.1@0", "", "chamber-sim: --set: bad step '0'"},
      {"--steps 5 --set gravity=0.1@6", "", "chamber-sim: --set 'gravity=0.1@6': step 6 is beyond --steps 5"},
      {"--set", "", "chamber-sim: --set needs a value"},
      {"--settings FILE.gone", "", "chamber-sim: --settings: cannot open settings file"},
      {"--settings FILE", "gravity 0.03\nspin lots\n",
       "chamber-sim: --settings: 'FILE' line 2: bad value 'lots' for spin"},
      {"--args FILE", "--steps 3\n--set gravity=2\n",
       "chamber-sim: FILE:2: --set: bad value '2' for gravity (a number from -1 to 1)"},
      {"--args FILE", "--steps 3\n--set gravity=0.1@4\n",
       "chamber-sim: FILE:2: --set 'gravity=0.1@4': step 4 is beyond --steps 3"},
  };
  for (const Case& c : cases) {
    if (!c.file.empty()) write(c.file);
    std::string args = c.args, says = c.says;
    for (std::string* text : {&args, &says})
      for (std::size_t at; (at = text->find("FILE")) != std::string::npos;)
        text->replace(at, 4, filePath);
    const SimRun r = run(args);
    SCOPED_TRACE(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_TRUE(r.lines.empty());
    EXPECT_EQ(r.errors.rfind(says, 0), 0u) << r.errors;
    EXPECT_EQ(r.errors.find('\n'), r.errors.size() - 1) << r.errors;
  }
}

}  // namespace
