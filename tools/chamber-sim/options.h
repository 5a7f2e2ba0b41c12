// Command line of chamber-sim, and options files (--args) in the same form:
// one option with its value per line, '#' starting a comment line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "geometry/vector.h"
#include "tuning/tuning.h"

// A force added to the ball before each step from `from` to `to` (1-based,
// inclusive).
struct SimPush {
  vec3f force;
  std::uint64_t from = 1;
  std::uint64_t to = UINT64_MAX;
};

// A further sphere made like the ball, with a start velocity, that joins the
// world just before step `step` (1: from the start).
struct SimBody {
  vec3f position;
  vec3f velocity;
  std::uint64_t step = 1;
  std::string where;  // "FILE:LINE" when it came from an options file
};

// A setting that has its value from step `step` on (1: from the start).
struct SimSetting {
  Veruruve::Tuning::Change change;
  std::uint64_t step = 1;
  std::string where;  // "FILE:LINE" when it came from an options file
  std::string text;   // as given, for messages
};

struct SimOptions {
  std::string ctrPath = "0.ctr";
  std::string ctrWhere;  // "FILE:LINE" of the --ctr line of an options file
  // SHA-256 the container file must have (64 lower-case hex digits), from
  // a saved replay; empty: any file.
  std::string ctrSha256;
  std::string ctrSha256Where;  // "FILE:LINE" of its line in an options file
  std::string comparePath;     // --compare: the CSV the run must match row by row
  std::uint64_t steps = 600;
  vec3f start{0, 0.5f, 0};
  vec3f velocity;
  std::vector<SimPush> pushes;      // in the order given
  std::vector<SimBody> extraBodies;  // in the order given
  std::vector<SimSetting> settings;  // --set and --settings, in the order given
  std::uint64_t every = 1;           // print the rows of every Nth step (and the last)
  bool stats = false;                // timing summary on stderr at the end
  bool help = false;
  bool version = false;
};

// Parses argv[1..argc-1]. On a bad argument returns false with a one-line
// message (no trailing newline) in error; a message about a line of an
// options file starts with "FILE:LINE: ".
bool SimOptions_Parse(int argc, const char* const* argv, SimOptions* options, std::string* error);

// Reads the options file at path into options, on top of what they hold.
// The file is untrusted input: any malformed line, unknown option or bad
// value fails with "FILE:LINE: ..." in error. Every option of the command
// line is allowed but --args, --help and --version; --stats stands alone on
// its line.
bool SimOptions_ParseFile(const std::string& path, SimOptions* options, std::string* error);

// The same from the text of an options file; name stands for the file in
// messages.
bool SimOptions_ParseText(const std::string& text, const std::string& name, SimOptions* options,
                          std::string* error);

// Checks what only the whole set of options can tell (a body joining after
// the last step); call once all options are read.
bool SimOptions_Check(const SimOptions& options, std::string* error);

// The text of --help.
const char* SimOptions_Usage();
