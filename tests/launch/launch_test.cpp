#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launch/launch.h"

namespace {

struct Parsed {
  bool ok;
  LaunchOptions options;
  std::string error;
};

Parsed parse(std::vector<const char*> arguments) {
  arguments.insert(arguments.begin(), "chamber");
  Parsed parsed;
  parsed.ok = Launch_ParseArguments(static_cast<int>(arguments.size()), arguments.data(),
                                    parsed.options, parsed.error);
  return parsed;
}

TEST(LaunchArguments, AcceptedCommandLines) {
  struct Case {
    std::vector<const char*> arguments;
    std::string directory, replayPath;
    bool help, version;
  };
  const Case cases[] = {
      {{}, "", "", false, false},
      {{"some/dir"}, "some/dir", "", false, false},
      {{"--replay", "replay-0001.txt"}, "", "replay-0001.txt", false, false},
      {{"dir", "--replay", "r.txt"}, "dir", "r.txt", false, false},
      {{"--replay", "r.txt", "dir"}, "dir", "r.txt", false, false},
      // A file name that looks like an option is still the option's value.
      {{"--replay", "--help"}, "", "--help", false, false},
      {{"--help"}, "", "", true, false},
      {{"-h"}, "", "", true, false},
      {{"--version"}, "", "", false, true},
      // "--" ends the options, so a directory may start with a dash.
      {{"--", "-odd"}, "-odd", "", false, false},
      {{"-"}, "-", "", false, false},
  };
  for (const Case& c : cases) {
    const Parsed parsed = parse(c.arguments);
    SCOPED_TRACE(c.arguments.empty() ? "(none)" : c.arguments[0]);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.options.directory, c.directory);
    EXPECT_EQ(parsed.options.replayPath, c.replayPath);
    EXPECT_EQ(parsed.options.help, c.help);
    EXPECT_EQ(parsed.options.version, c.version);
  }
}

TEST(LaunchArguments, RejectedCommandLinesSayWhy) {
  struct Case {
    std::vector<const char*> arguments;
    std::string error;
  };
  const Case cases[] = {
      {{"--fullscreen"}, "unknown option '--fullscreen'"},
      {{"-x"}, "unknown option '-x'"},
      {{"dir", "--replay"}, "option '--replay' needs a file name"},
      {{"--replay", ""}, "option '--replay' needs a file name"},
      {{"a", "b"}, "more than one directory given ('a' and 'b')"},
      {{""}, "empty directory name"},
      {{"--replay", "a.txt", "--replay", "b.txt"},
       "option '--replay' given twice ('a.txt' and 'b.txt'): a window plays one replay"},
  };
  for (const Case& c : cases) {
    const Parsed parsed = parse(c.arguments);
    EXPECT_FALSE(parsed.ok) << c.arguments[0];
    EXPECT_EQ(parsed.error, c.error);
    EXPECT_EQ(parsed.error.find('\n'), std::string::npos);
  }
}

TEST(LaunchHelp, StartsWithTheUsageAndListsEveryKey) {
  const std::string help = Launch_HelpText();
  EXPECT_EQ(help.rfind(Launch_UsageText(), 0), 0u);
  EXPECT_NE(help.find(Launch_KeyTable()), std::string::npos);
  EXPECT_NE(help.find("--help, -h "), std::string::npos) << "the short form is named";
  for (const char* key : {"ESC", "F9", "F11", "Alt + Enter", "Q", "F / S", "E / D", "R / W",
                          "left Ctrl", "Up / Down / Left / Right", "mouse"})
    EXPECT_NE(Launch_KeyTable().find(key), std::string::npos) << key;
}

}  // namespace
