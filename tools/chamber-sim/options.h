// Command line of chamber-sim.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/vector.h"

// A force added to the ball before each step from `from` to `to` (1-based,
// inclusive).
struct SimPush {
  vec3f force;
  std::uint64_t from = 1;
  std::uint64_t to = UINT64_MAX;
};

struct SimOptions {
  std::string ctrPath = "0.ctr";
  std::uint64_t steps = 600;
  vec3f start{0, 0.5f, 0};
  vec3f velocity;
  std::vector<SimPush> pushes;
  std::vector<vec3f> extraBodies;  // positions of further spheres
  std::uint64_t every = 1;         // print the rows of every Nth step (and the last)
  bool stats = false;              // timing summary on stderr at the end
  bool help = false;
};

// Parses argv[1..argc-1]. On a bad argument returns false with a one-line
// message (no trailing newline) in error.
bool SimOptions_Parse(int argc, const char* const* argv, SimOptions* options, std::string* error);

// The text of --help.
const char* SimOptions_Usage();
