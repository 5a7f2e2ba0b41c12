#include "tools/chamber-sim/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Upper bound on --steps, so that a typo cannot start a run of centuries.
constexpr std::uint64_t kMaxSteps = 1000000000;

bool parseFloat(const std::string& text, float* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const float v = std::strtof(text.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool parseCount(const std::string& text, std::uint64_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  if (text.size() > 12) return false;
  *value = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

// "X,Y,Z", three finite numbers.
bool parseVector(const std::string& text, vec3f* v) {
  const std::size_t a = text.find(',');
  if (a == std::string::npos) return false;
  const std::size_t b = text.find(',', a + 1);
  if (b == std::string::npos || text.find(',', b + 1) != std::string::npos) return false;
  return parseFloat(text.substr(0, a), &v->x) && parseFloat(text.substr(a + 1, b - a - 1), &v->y) &&
         parseFloat(text.substr(b + 1), &v->z);
}

// "X,Y,Z" or "X,Y,Z@FROM:TO".
bool parsePush(const std::string& text, SimPush* push) {
  const std::size_t at = text.find('@');
  if (!parseVector(text.substr(0, at), &push->force)) return false;
  if (at == std::string::npos) return true;
  const std::string range = text.substr(at + 1);
  const std::size_t colon = range.find(':');
  if (colon == std::string::npos) return false;
  return parseCount(range.substr(0, colon), &push->from) &&
         parseCount(range.substr(colon + 1), &push->to) && push->from >= 1 &&
         push->from <= push->to;
}

}  // namespace

const char* SimOptions_Usage() {
  return "usage: chamber-sim [--ctr FILE] [--steps N] [--start X,Y,Z] [--velocity X,Y,Z]\n"
         "                   [--push X,Y,Z[@FROM:TO]]... [--body X,Y,Z]... [--every N]\n"
         "                   [--stats] [--help]\n"
         "Loads a container file, drops the ball and prints one CSV row per body and step:\n"
         "step,body,x,y,z,vx,vy,vz,gx,gy,gz,containers\n"
         "  --ctr FILE          container file (default 0.ctr)\n"
         "  --steps N           number of physics steps (default 600)\n"
         "  --start X,Y,Z       the ball's start position (default 0,0.5,0)\n"
         "  --velocity X,Y,Z    the ball's start velocity, units per step (default 0,0,0)\n"
         "  --push X,Y,Z[@A:B]  force added to the ball before steps A to B (1-based,\n"
         "                      inclusive; every step without a range); repeatable\n"
         "  --body X,Y,Z        another sphere like the ball at that position; repeatable\n"
         "  --every N           print only the rows of every Nth step and of the last step\n"
         "  --stats             print on stderr at the end: steps, bodies, rooms, physics\n"
         "                      time per step (median, 99th percentile) and load time\n"
         "  --help              this text\n";
}

bool SimOptions_Parse(int argc, const char* const* argv, SimOptions* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      options->help = true;
      continue;
    }
    if (name == "--stats") {
      options->stats = true;
      continue;
    }
    const bool takesValue = name == "--ctr" || name == "--steps" || name == "--start" ||
                            name == "--velocity" || name == "--push" || name == "--body" ||
                            name == "--every";
    if (!takesValue) {
      *error = "unknown argument '" + name + "' (see --help)";
      return false;
    }
    if (i + 1 >= argc) {
      *error = name + " needs a value";
      return false;
    }
    const std::string value = argv[++i];
    bool ok = true;
    if (name == "--ctr") {
      ok = !value.empty();
      options->ctrPath = value;
    } else if (name == "--steps") {
      ok = parseCount(value, &options->steps) && options->steps <= kMaxSteps;
    } else if (name == "--every") {
      ok = parseCount(value, &options->every) && options->every >= 1;
    } else if (name == "--start") {
      ok = parseVector(value, &options->start);
    } else if (name == "--velocity") {
      ok = parseVector(value, &options->velocity);
    } else if (name == "--push") {
      SimPush push;
      ok = parsePush(value, &push);
      options->pushes.push_back(push);
    } else {
      vec3f position;
      ok = parseVector(value, &position);
      options->extraBodies.push_back(position);
    }
    if (!ok) {
      *error = "bad value '" + value + "' for " + name;
      if (name == "--steps") *error += " (a whole number from 0 to 1000000000)";
      else if (name == "--every") *error += " (a whole number from 1)";
      else if (name == "--push") *error += " (X,Y,Z or X,Y,Z@FROM:TO with 1 <= FROM <= TO)";
      else if (name != "--ctr") *error += " (three finite numbers X,Y,Z)";
      return false;
    }
  }
  return true;
}
