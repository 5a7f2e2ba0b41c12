// A run compared with a saved CSV: identical rows pass, and the first
// difference is named by its line, step, body and column.
#include <gtest/gtest.h>

#include <sstream>

#include "replay/replay.h"
#include "tools/chamber-sim/compare.h"
#include "tools/chamber-sim/options.h"

namespace {

const std::uint32_t kRooms[] = {0, 3};

std::string row(std::uint64_t step, std::size_t body, float vy) {
  return Replay_CsvRow(step, body, vec3f(0, 0.5f, 0), vec3f(0, vy, 0), vec3f(0, -1, 0), kRooms, 2);
}

// The run's rows against the saved text: true when identical, else the
// message.
std::pair<bool, std::string> compare(const std::vector<std::string>& run, const std::string& saved) {
  std::istringstream in(saved);
  CsvComparison comparison;
  comparison.saved = &in;
  comparison.name = "saved.csv";
  std::string error;
  for (const std::string& line : run)
    if (!CsvComparison_Row(comparison, line, &error)) return {false, error};
  if (!CsvComparison_End(comparison, &error)) return {false, error};
  return {true, ""};
}

TEST(CsvComparison, IdenticalRowsPassAndTheFirstDifferenceIsNamed) {
  const std::vector<std::string> run = {Replay_CsvHeader(), row(1, 0, -0.001f), row(1, 1, 0.25f),
                                        row(2, 0, -0.002f)};
  std::string saved;
  for (const std::string& line : run) saved += line;
  std::string changed = saved;
  changed.replace(changed.find("0.25"), 4, "0.26");
  std::string fewerRooms = saved;
  fewerRooms.replace(fewerRooms.rfind(",0 3\n"), 5, ",0\n");

  const struct {
    const char* what;
    std::string saved;
    const char* says;  // null: identical
  } cases[] = {
      {"identical", saved, nullptr},
      {"with CRLF line ends", [&] {
         std::string crlf;
         for (const std::string& line : run) crlf += line.substr(0, line.size() - 1) + "\r\n";
         return crlf;
       }(), nullptr},
      {"one value", changed,
       "saved.csv:3: step 1, body 1, column vy: the run gives '0.25', the file has '0.26'"},
      {"the rooms", fewerRooms,
       "saved.csv:4: step 2, body 0, column containers: the run gives '0 3', the file has '0'"},
      {"a shorter file", saved.substr(0, saved.size() - run.back().size()),
       "saved.csv ends after line 3; the run goes on with step 2, body 0"},
      {"a longer file", saved + row(2, 1, 0), "saved.csv:5: the run has ended, the file goes on"},
      {"another header", "step,body,x\n" + saved.substr(Replay_CsvHeader().size()),
       "saved.csv:1: not the header of chamber-sim's CSV"},
      {"an empty file", "", "saved.csv ends after line 0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto [same, error] = compare(run, c.saved);
    EXPECT_EQ(same, c.says == nullptr);
    EXPECT_EQ(error, c.says ? c.says : "");
  }
}

TEST(ContainerDigestOption, SixtyFourHexDigitsKeptInLowerCase) {
  const std::string upper(64, 'A');
  const char* argv[] = {"chamber-sim", "--ctr-sha256", upper.c_str(), "--compare", "run.csv"};
  SimOptions options;
  std::string error;
  ASSERT_TRUE(SimOptions_Parse(5, argv, &options, &error)) << error;
  EXPECT_EQ(options.ctrSha256, std::string(64, 'a'));
  EXPECT_EQ(options.comparePath, "run.csv");
  for (const std::string& bad : {std::string(63, 'a'), std::string(65, 'a'), std::string(64, 'g')}) {
    SimOptions other;
    EXPECT_FALSE(SimOptions_ParseText("--ctr-sha256 " + bad + "\n", "r.txt", &other, &error));
    EXPECT_EQ(error, "r.txt:1: bad value '" + bad.substr(0, 64) + (bad.size() > 64 ? "..." : "") +
                         "' for --ctr-sha256 (64 hexadecimal digits)");
  }
}

TEST(ContainerDigestOption, WrittenIntoASavedReplayOnlyWhenKnown) {
  SessionLog log;
  EXPECT_EQ(Replay_OptionsText(log, 0, "0.ctr").find("--ctr-sha256"), std::string::npos);
  log.ctrSha256 = std::string(64, 'b');
  SimOptions options;
  std::string error;
  ASSERT_TRUE(SimOptions_ParseText(Replay_OptionsText(log, 0, "0.ctr"), "r.txt", &options, &error))
      << error;
  EXPECT_EQ(options.ctrSha256, log.ctrSha256);
  EXPECT_EQ(options.ctrSha256Where, "r.txt:5");
}

}  // namespace
