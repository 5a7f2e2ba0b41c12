#include <malloc.h>

#include <cstdio>

#include "core/core.h"
#include "launch/launch.h"
#include "replay/replay.h"

int main(int argc, char** argv) {
  // --help, --version, a bad command line, and the move into DIRECTORY, all
  // before anything else.
  const int exitCode = Launch_Prepare(argc, argv);
  if (exitCode != Launch_Continue) return exitCode;
  // A replay file is someone else's: it is checked whole before any window
  // opens.
  if (!launchOptions.replayPath.empty()) {
    std::string error;
    if (!Replay_LoadPlayback(launchOptions.replayPath, &error)) {
      fprintf(stderr, "chamber: %s\n", error.c_str());
      return 2;
    }
  }
  // The software OpenGL driver builds each frame in freshly allocated blocks
  // and frees them again; with glibc's default trimming the heap shrinks
  // after every frame and each new frame page-faults its memory back in,
  // which costs several times the drawing itself. Keep the memory instead.
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  mallopt(M_TOP_PAD, 64 << 20);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  return Core_Run();
}
