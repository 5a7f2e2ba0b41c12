// Parsing the command line and acting on it before the program starts.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "launch/launch.h"

LaunchOptions launchOptions;

const char* const Launch_Version = CHAMBER_VERSION;

bool Launch_ParseArguments(int argc, const char* const* argv, LaunchOptions& options,
                           std::string& error) {
  bool optionsEnded = false;  // after "--" every argument is a directory
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!optionsEnded && argument == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (argument == "--help" || argument == "-h")) {
      options.help = true;
    } else if (!optionsEnded && argument == "--version") {
      options.version = true;
    } else if (!optionsEnded && argument == "--replay") {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') {
        error = "option '--replay' needs a file name";
        return false;
      }
      if (!options.replayPath.empty()) {
        error = "option '--replay' given twice ('" + options.replayPath + "' and '" + argv[i + 1] +
                "'): a window plays one replay";
        return false;
      }
      options.replayPath = argv[++i];
    } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
      error = "unknown option '" + argument + "'";
      return false;
    } else if (argument.empty()) {
      error = "empty directory name";
      return false;
    } else if (!options.directory.empty()) {
      error = "more than one directory given ('" + options.directory + "' and '" + argument + "')";
      return false;
    } else {
      options.directory = argument;
    }
  }
  return true;
}

std::string Launch_UsageText() {
  return "usage: chamber [DIRECTORY] [--replay FILE]\n"
         "       chamber --help | --version\n";
}

std::string Launch_HelpText() {
  return Launch_UsageText() +
         "Opens the test chamber window. Its files (\"vera.ttf\", \"config.dat\", \"0.ctr\",\n"
         "the OBJ and MTL files, \"messages.txt\") are read and written in the working\n"
         "directory, or in DIRECTORY when one is given.\n"
         "  DIRECTORY      run in this directory, as if started in it\n"
         "  --replay FILE  play a recorded session (replay-NNNN.txt) in the window;\n"
         "                 a relative FILE is found in DIRECTORY\n"
         "  --help, -h     this text\n"
         "  --version      the version\n"
         "\n" +
         Launch_KeyTable();
}

namespace {

int refuse(const std::string& message) {
  fprintf(stderr, "chamber: %s\n%s", message.c_str(), Launch_UsageText().c_str());
  return 2;
}

}  // namespace

int Launch_Prepare(int argc, const char* const* argv) {
  LaunchOptions options;
  std::string error;
  if (!Launch_ParseArguments(argc, argv, options, error)) return refuse(error);
  if (options.help) {
    fputs(Launch_HelpText().c_str(), stdout);
    return fflush(stdout) == 0 ? 0 : 1;
  }
  if (options.version) {
    printf("chamber %s\n", Launch_Version);
    return fflush(stdout) == 0 ? 0 : 1;
  }
  if (!options.directory.empty()) {
    struct stat status;
    const char* name = options.directory.c_str();
    if (stat(name, &status) != 0) {
      const int reason = errno;
      return refuse("directory '" + options.directory + "' " +
                    (reason == ENOENT ? "does not exist" : strerror(reason)));
    }
    if (!S_ISDIR(status.st_mode)) return refuse("'" + options.directory + "' is not a directory");
    if (chdir(name) != 0) {
      const int reason = errno;
      return refuse("cannot enter directory '" + options.directory + "': " + strerror(reason));
    }
  }
  launchOptions = options;
  return Launch_Continue;
}
