// One load in a fresh process, as the program does it at start-up: no
// memory is left over from an earlier load for either loader to reuse.
// Prints the CPU time of the load in milliseconds.
//
//   build/bench/loader/load_once chamber|tinyobj FILE.obj
#include <tiny_obj_loader.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "geometry/model.h"

namespace {

double CpuMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

bool LoadWithTinyObj(const std::string& path) {
  tinyobj::ObjReader reader;
  tinyobj::ObjReaderConfig config;
  config.triangulate = true;
  return reader.ParseFromFile(path, config);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "chamber") != 0 && std::strcmp(argv[1], "tinyobj") != 0)) {
    std::fprintf(stderr, "usage: load_once chamber|tinyobj FILE.obj\n");
    return 2;
  }
  // The loader reports every file it opens on standard output.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  const std::string path = argv[2];
  const double start = CpuMilliseconds();
  Model model;
  const bool loaded = std::strcmp(argv[1], "chamber") == 0 ? model.Load(path) : LoadWithTinyObj(path);
  const double elapsed = CpuMilliseconds() - start;
  if (!loaded) {
    std::fprintf(stderr, "cannot load %s\n", path.c_str());
    return 1;
  }
  std::fprintf(stderr, "%.1f\n", elapsed);
  return 0;
}
