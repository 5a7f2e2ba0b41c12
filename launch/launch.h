// The program's command line: `chamber [DIRECTORY] [--replay FILE]`, plus
// --help and --version. Everything here happens before the first window
// opens; with no arguments nothing here changes what the program does.
#pragma once

#include <string>

struct LaunchOptions {
  std::string directory;   // run in this directory; empty: stay where started
  std::string replayPath;  // --replay FILE, as given (read after the move to
                           // `directory`); empty when absent
  bool help = false;
  bool version = false;
};

// The options the program was started with; filled by Launch_Prepare.
extern LaunchOptions launchOptions;

// The program's version, "MAJOR.MINOR.PATCH".
extern const char* const Launch_Version;

// Parses argv[1..argc-1]. On a bad command line returns false with a
// one-line message (no trailing newline) in error; options is then partly
// filled and must not be used.
bool Launch_ParseArguments(int argc, const char* const* argv, LaunchOptions& options,
                           std::string& error);

// The usage lines, then the table of keys: the text of --help.
std::string Launch_HelpText();
// The usage lines alone, printed after a command-line error.
std::string Launch_UsageText();
// The keys and what they do, one row per line, as the window binds them.
std::string Launch_KeyTable();

// Returned by Launch_Prepare when the program should go on and open its window.
constexpr int Launch_Continue = -1;

// Does what the command line asks before the program starts: prints the
// help or the version (exit code 0), reports a bad command line or a
// directory it cannot enter with one line and the usage on stderr (exit code
// 2), or moves into DIRECTORY and fills launchOptions (Launch_Continue).
int Launch_Prepare(int argc, const char* const* argv);
