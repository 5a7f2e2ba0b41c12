// chamber-build DESCRIPTION [DIRECTORY]
//   Checks a chamber description and writes 0.ctr, chamber.obj and
//   chamber.mtl into DIRECTORY (default: the working directory), creating
//   DIRECTORY and its parents when they do not exist.
// chamber-build --watch DESCRIPTION [DIRECTORY]
//   Builds, then builds again whenever DESCRIPTION changes, until interrupted
//   (Ctrl+C ends it with exit code 0).
// chamber-build --describe FILE.ctr
//   Prints a container file as a description that builds it again.
// chamber-build --help | --version
//   Prints the usage or the version on standard output.
//
// Exit codes: 0 done; 1 a file could not be read or written; 2 the
// description (or container file) is wrong, or the command line is.
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "sandbox/containers.h"
#include "tools/chamber-build/chamber.h"
#include "watch/file_watch.h"

namespace {

// Reads the file at path whole; false, with the system's reason in reason,
// when it cannot.
bool ReadWhole(const std::string& path, std::string& text, std::string& reason) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    reason = std::strerror(errno);
    return false;
  }
  char buffer[65536];
  size_t n;
  errno = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  const bool ok = !std::ferror(file);
  if (!ok) reason = std::strerror(errno);
  std::fclose(file);
  return ok;
}

bool ReadOrSay(const std::string& path, std::string& text) {
  std::string reason;
  if (ReadWhole(path, text, reason)) return true;
  std::fprintf(stderr, "chamber-build: cannot read %s: %s\n", path.c_str(), reason.c_str());
  return false;
}

const char kUsage[] =
    "usage: chamber-build DESCRIPTION [DIRECTORY]   write 0.ctr, chamber.obj, chamber.mtl\n"
    "       chamber-build --watch DESCRIPTION [DIRECTORY]\n"
    "                                               the same, again on every change of\n"
    "                                               DESCRIPTION until Ctrl+C\n"
    "       chamber-build --describe FILE.ctr       print a container file as a description\n"
    "       chamber-build --help                    this text\n"
    "       chamber-build --version                 the version\n";

// Creates directory and its parents when missing, as an output directory.
bool MakeDirectory(const std::string& directory) {
  if (directory.empty()) return true;
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (!error && std::filesystem::is_directory(directory, error)) return true;
  std::fprintf(stderr, "chamber-build: cannot create directory %s: %s\n", directory.c_str(),
               error ? error.message().c_str() : "a file of that name is in the way");
  return false;
}

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

int Describe(const std::string& path) {
  // The program's own reader judges the file, so that its problems are
  // named as the program and chamber-sim name them.
  Veruruve::Physics::PhysicsWorld world;
  const ContainerLoadReport report = Containers_Load(world, path.c_str());
  Veruruve::Physics::destroyContainers(world);
  const std::string problem = Containers_Problem(report, path);
  if (!report.opened || report.readError) {
    std::fprintf(stderr, "chamber-build: %s\n", problem.c_str());
    return 1;
  }
  std::string bytes;
  if (!ReadOrSay(path, bytes)) return 1;
  std::vector<chamber::ContainerRoom> rooms;
  std::string reason;
  if (!chamber::ReadContainerFile(bytes, rooms, reason) || report.facesSkipped > 0) {
    std::fprintf(stderr, "chamber-build: %s\n", problem.empty() ? reason.c_str() : problem.c_str());
    return 2;
  }
  if (!problem.empty()) std::fprintf(stderr, "chamber-build: warning: %s\n", problem.c_str());
  std::fputs(chamber::DescribeContainerFile(rooms).c_str(), stdout);
  return 0;
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

int Build(const std::string& path, std::string directory) {
  std::string text;
  if (!ReadOrSay(path, text)) return 1;
  std::vector<chamber::Problem> problems;
  const chamber::Chamber chamber = chamber::ParseDescription(text, problems);
  if (problems.empty()) chamber::CheckChamber(chamber, problems);
  for (const chamber::Problem& p : problems) {
    if (p.line > 0)
      std::fprintf(stderr, "%s:%d: error: %s\n", path.c_str(), p.line, p.message.c_str());
    else
      std::fprintf(stderr, "%s: error: %s\n", path.c_str(), p.message.c_str());
  }
  if (!problems.empty()) return 2;
  if (!chamber::HoldsBallStart(chamber))
    std::fprintf(stderr, "%s: warning: no room holds the ball's start (0, 0.5, 0): the ball will float there\n",
                 path.c_str());

  if (!MakeDirectory(directory)) return 1;
  if (!directory.empty() && directory.back() != '/') directory += '/';
  // The library before the model that names it, the rooms last.
  const std::vector<chamber::OutputFile> outputs = {
      {directory + "chamber.mtl", chamber::MtlText(chamber)},
      {directory + "chamber.obj", chamber::ObjText(chamber, "chamber.mtl")},
      {directory + "0.ctr", chamber::ContainerFileBytes(chamber)}};
  std::string error;
  if (!chamber::WriteOutputFiles(outputs, &error)) {
    std::fprintf(stderr, "chamber-build: %s\n", error.c_str());
    return 1;
  }
  size_t faces = 0, open = 0;
  for (const chamber::Room& room : chamber.rooms)
    for (const chamber::Face& face : room.faces) {
      ++faces;
      open += face.open ? 1 : 0;
    }
  std::printf("chamber-build: %s, %s (%zu open) from %s\n", Count(chamber.rooms.size(), "room", "rooms").c_str(),
              Count(faces, "face", "faces").c_str(), open, path.c_str());
  return 0;
}

int Refuse(const std::string& message) {
  std::fprintf(stderr, "chamber-build: %s\n", message.c_str());
  return Usage();
}

volatile sig_atomic_t interrupted = 0;

void onInterrupt(int) { interrupted = 1; }

double secondsNow() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Builds, then again after every settled change of the description, until
// SIGINT or SIGTERM. A build that fails (a wrong description) writes nothing,
// so the outputs stay those of the last good one.
int Watch(const std::string& path, const std::string& directory) {
  // Each line as it is printed, also into a pipe.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  struct sigaction action = {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // Followed from before the first build: an edit saved during it counts.
  watch::FileWatch description = watch::startWatching(path, secondsNow());
  // Ten looks a second: a saved edit is built a quarter of a second after
  // it settles, and the program following the outputs adds its own half
  // second or so.
  description.pollInterval = 0.1;
  Build(path, directory);
  std::printf("chamber-build: watching %s (Ctrl+C ends)\n", path.c_str());
  while (!interrupted) {
    // Well under the watch's own half-second look at the disk.
    const struct timespec pause = {0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
    if (!interrupted && watch::fileChanged(description, secondsNow())) Build(path, directory);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::fputs(kUsage, stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (args.size() == 1 && args[0] == "--version") {
    std::printf("chamber-build %s\n", CHAMBER_VERSION);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (!args.empty() && args[0] == "--describe") {
    if (args.size() == 2) return Describe(args[1]);
    return Refuse(args.size() < 2 ? "--describe needs a container file" : "--describe takes one container file");
  }
  if (!args.empty() && args[0] == "--watch") {
    if (args.size() < 2 || args[1].empty() || args[1][0] == '-') return Refuse("--watch needs a description");
    if (args.size() > 3) return Refuse("more than a description and a directory given");
    return Watch(args[1], args.size() == 3 ? args[2] : std::string());
  }
  for (const std::string& arg : args)
    if (arg.size() > 1 && arg[0] == '-') return Refuse("unknown option '" + arg + "'");
  if (args.empty()) return Refuse("no description given");
  if (args.size() > 2) return Refuse("more than a description and a directory given");
  if (args[0].empty()) return Refuse("empty description name");
  return Build(args[0], args.size() == 2 ? args[1] : std::string());
}
