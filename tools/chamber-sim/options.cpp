#include "tools/chamber-sim/options.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>

namespace {

// Upper bound on --steps, so that a typo cannot start a run of centuries.
constexpr std::uint64_t kMaxSteps = 1000000000;
// Options files are small text; anything larger is not one.
constexpr std::size_t kMaxFileBytes = 256u << 20;

// The options that take a value, and what a bad value should have looked like.
struct KnownOption {
  const char* name;
  const char* form;  // appended to "bad value" messages; null: nothing to add
};
const KnownOption kOptions[] = {
    {"--ctr", nullptr},
    {"--steps", "a whole number from 0 to 1000000000"},
    {"--start", "three finite numbers X,Y,Z"},
    {"--velocity", "three finite numbers X,Y,Z"},
    {"--push", "X,Y,Z or X,Y,Z@FROM:TO with 1 <= FROM <= TO"},
    {"--body", "X,Y,Z or X,Y,Z,VX,VY,VZ, optionally @STEP with STEP >= 1"},
    {"--args", nullptr},
    {"--every", "a whole number from 1"},
    {"--set", nullptr},
    {"--settings", nullptr},
    {"--ctr-sha256", "64 hexadecimal digits"},
    {"--compare", nullptr},
};

const KnownOption* findOption(const std::string& name) {
  for (const KnownOption& option : kOptions)
    if (name == option.name) return &option;
  return nullptr;
}

// A value quoted for a message, cut short if long.
std::string quoted(const std::string& value) {
  return "'" + (value.size() > 64 ? value.substr(0, 64) + "..." : value) + "'";
}

bool parseFloat(const std::string& text, float* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const float v = std::strtof(text.c_str(), &end);
  if (*end != '\0' || errno == ERANGE || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

// 64 hexadecimal digits, kept in lower case.
bool parseSha256(const std::string& text, std::string* value) {
  if (text.size() != 64 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
    return false;
  value->clear();
  for (char c : text) value->push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  return true;
}

bool parseCount(const std::string& text, std::uint64_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
  if (text.size() > 12) return false;
  *value = std::strtoull(text.c_str(), nullptr, 10);
  return true;
}

// Exactly count comma-separated finite numbers.
bool parseFloats(const std::string& text, float* values, int count) {
  std::size_t begin = 0;
  for (int i = 0; i < count; ++i) {
    const std::size_t comma = text.find(',', begin);
    const bool last = i == count - 1;
    if (last != (comma == std::string::npos)) return false;
    const std::size_t end = last ? text.size() : comma;
    if (!parseFloat(text.substr(begin, end - begin), &values[i])) return false;
    begin = end + 1;
  }
  return true;
}

// "X,Y,Z", three finite numbers.
bool parseVector(const std::string& text, vec3f* v) {
  float f[3];
  if (!parseFloats(text, f, 3)) return false;
  *v = vec3f(f[0], f[1], f[2]);
  return true;
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

// "X,Y,Z" or "X,Y,Z,VX,VY,VZ", either optionally followed by "@STEP".
bool parseBody(const std::string& text, SimBody* body) {
  const std::size_t at = text.find('@');
  const std::string numbers = text.substr(0, at);
  float f[6] = {};
  const bool withVelocity = std::count(numbers.begin(), numbers.end(), ',') == 5;
  if (!parseFloats(numbers, f, withVelocity ? 6 : 3)) return false;
  body->position = vec3f(f[0], f[1], f[2]);
  body->velocity = vec3f(f[3], f[4], f[5]);
  if (at == std::string::npos) return true;
  return parseCount(text.substr(at + 1), &body->step) && body->step >= 1;
}

bool readWholeFile(const std::string& path, std::string* text, std::string* error,
                   const char* kind);

// "NAME=VALUE" or "NAME=VALUE@STEP" with STEP >= 1.
bool parseSet(const std::string& text, SimSetting* setting, std::string* error) {
  const std::size_t at = text.find('@');
  if (!Veruruve::Tuning::parseAssignment(text.substr(0, at), &setting->change, error))
    return false;
  setting->text = text;
  if (at == std::string::npos) return true;
  if (!parseCount(text.substr(at + 1), &setting->step) || setting->step < 1) {
    *error = "bad step " + quoted(text.substr(at + 1)) + " (a whole number from 1)";
    return false;
  }
  return true;
}

// A settings file: its lines as settings from step 1, in line order.
bool readSettingsFile(const std::string& path, const std::string& where, SimOptions* options,
                      std::string* error) {
  std::string text, why;
  std::vector<Veruruve::Tuning::Change> changes;
  if (!readWholeFile(path, &text, &why, "settings")) {
    *error = why;
    return false;
  }
  if (!Veruruve::Tuning::parseSettingsLines(text, &changes, &why)) {
    *error = quoted(path) + " " + why;
    return false;
  }
  for (const Veruruve::Tuning::Change& change : changes) {
    SimSetting setting;
    setting.change = change;
    setting.where = where;
    setting.text = std::string(Veruruve::Tuning::settingInfo(change.setting).name) + "=" +
                   Veruruve::Tuning::formatValue(change.setting, change.value);
    options->settings.push_back(setting);
  }
  return true;
}

// One option with its value; where is "FILE:LINE" for a line of an options
// file, empty on the command line.
bool applyOption(const std::string& name, const std::string& value, const std::string& where,
                 SimOptions* options, std::string* error) {
  const std::string prefix = where.empty() ? "" : where + ": ";
  bool ok = true;
  if (name == "--ctr") {
    ok = !value.empty();
    options->ctrPath = value;
    options->ctrWhere = where;
  } else if (name == "--ctr-sha256") {
    ok = parseSha256(value, &options->ctrSha256);
    options->ctrSha256Where = where;
  } else if (name == "--compare") {
    ok = !value.empty();
    options->comparePath = value;
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
  } else if (name == "--body") {
    SimBody body;
    ok = parseBody(value, &body);
    body.where = where;
    options->extraBodies.push_back(body);
  } else if (name == "--set" || name == "--settings") {
    std::string why;
    SimSetting setting;
    setting.where = where;
    if (name == "--set" ? parseSet(value, &setting, &why)
                        : readSettingsFile(value, where, options, &why)) {
      if (name == "--set") options->settings.push_back(setting);
      return true;
    }
    *error = prefix + name + ": " + why;
    return false;
  } else if (name == "--args") {
    if (!where.empty()) {
      *error = prefix + "--args cannot be used inside an options file";
      return false;
    }
    return SimOptions_ParseFile(value, options, error);
  }
  if (!ok) {
    *error = prefix + "bad value " + quoted(value) + " for " + name;
    if (const char* form = findOption(name)->form) *error += std::string(" (") + form + ")";
  }
  return ok;
}

bool readWholeFile(const std::string& path, std::string* text, std::string* error,
                   const char* kind) {
  errno = 0;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    *error = std::string("cannot open ") + kind + " file " + quoted(path) + ": " +
             std::strerror(errno);
    return false;
  }
  char buffer[65536];
  std::size_t n;
  bool ok = true;
  errno = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    if (text->size() + n > kMaxFileBytes) {
      *error = std::string(kind) + " file " + quoted(path) + " is too large";
      ok = false;
      break;
    }
    text->append(buffer, n);
  }
  if (ok && std::ferror(file)) {
    *error = std::string("cannot read ") + kind + " file " + quoted(path) + ": " + std::strerror(errno);
    ok = false;
  }
  std::fclose(file);
  return ok;
}

}  // namespace

const char* SimOptions_Usage() {
  return "usage: chamber-sim [--ctr FILE] [--steps N] [--start X,Y,Z] [--velocity X,Y,Z]\n"
         "                   [--push X,Y,Z[@FROM:TO]]... [--body X,Y,Z[,VX,VY,VZ][@S]]...\n"
         "                   [--set NAME=VALUE[@S]]... [--settings FILE]\n"
         "                   [--every N] [--stats] [--ctr-sha256 HEX] [--compare CSV]\n"
         "                   [--args FILE]... [--help] [--version]\n"
         "Loads a container file, drops the ball and prints one CSV row per body and step:\n"
         "step,body,x,y,z,vx,vy,vz,gx,gy,gz,containers\n"
         "  --ctr FILE          container file (default 0.ctr)\n"
         "  --steps N           number of physics steps (default 600)\n"
         "  --start X,Y,Z       the ball's start position (default 0,0.5,0)\n"
         "  --velocity X,Y,Z    the ball's start velocity, units per step (default 0,0,0)\n"
         "  --push X,Y,Z[@A:B]  force added to the ball before steps A to B (1-based,\n"
         "                      inclusive; every step without a range); repeatable\n"
         "  --body X,Y,Z[,VX,VY,VZ][@S]\n"
         "                      another sphere like the ball at that position, with that\n"
         "                      velocity, joining just before step S (default 1); repeatable\n"
         "  --set NAME=VALUE[@S] the physics setting NAME has VALUE from step S (default 1)\n"
         "                      on: gravity, integration, tangential, restitution,\n"
         "                      overcorrection, spin, damping, passes, mass, radius;\n"
         "                      repeatable, applied in the order given\n"
         "  --settings FILE     the settings of a settings file (NAME VALUE lines, like\n"
         "                      physics.txt) from step 1\n"
         "  --every N           print only the rows of every Nth step and of the last step\n"
         "  --ctr-sha256 HEX    refuse (exit 2) unless the container file has this SHA-256;\n"
         "                      saved replays name the file they were recorded on\n"
         "  --compare CSV       compare every row with CSV (a saved replay's trajectory)\n"
         "                      instead of printing it: exit 0 when all are identical,\n"
         "                      else one line naming the first step, body and column that\n"
         "                      differ, exit 1\n"
         "  --stats             print on stderr at the end: steps, bodies, rooms, physics\n"
         "                      time per step (median, 99th percentile) and load time\n"
         "  --args FILE         read options from FILE, one per line, '#' comment lines;\n"
         "                      options after it on the command line still apply; every\n"
         "                      option but --args, --help and --version may be in it\n"
         "  --help              this text\n"
         "  --version           the version\n";
}

bool SimOptions_Parse(int argc, const char* const* argv, SimOptions* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      options->help = true;
      continue;
    }
    if (name == "--version") {
      options->version = true;
      continue;
    }
    if (name == "--stats") {
      options->stats = true;
      continue;
    }
    if (!findOption(name)) {
      *error = "unknown option " + quoted(name) + " (see --help)";
      return false;
    }
    if (i + 1 >= argc) {
      *error = name + " needs a value";
      return false;
    }
    if (!applyOption(name, argv[++i], "", options, error)) return false;
  }
  return SimOptions_Check(*options, error);
}

bool SimOptions_ParseFile(const std::string& path, SimOptions* options, std::string* error) {
  std::string text;
  return readWholeFile(path, &text, error, "options") &&
         SimOptions_ParseText(text, path, options, error);
}

bool SimOptions_ParseText(const std::string& text, const std::string& path, SimOptions* options,
                          std::string* error) {
  std::size_t begin = 0;
  for (std::uint64_t number = 1; begin < text.size(); ++number) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    const std::string where = path + ":" + std::to_string(number);
    std::string name, value;
    const Veruruve::Tuning::LineKind kind = Veruruve::Tuning::readNameValueLine(line, &name, &value);
    if (kind == Veruruve::Tuning::LineKind::kControlCharacter) {
      *error = where + ": control character in the line";
      return false;
    }
    if (kind == Veruruve::Tuning::LineKind::kEmpty) continue;
    // The options without a value: --stats applies as on the command line;
    // what --help and --version print belongs on the command line alone.
    if (name == "--stats") {
      if (!value.empty()) {
        *error = where + ": --stats takes no value";
        return false;
      }
      options->stats = true;
      continue;
    }
    if (name == "--help" || name == "-h" || name == "--version") {
      *error = where + ": " + name + " cannot be used inside an options file (it only prints, on the command line)";
      return false;
    }
    if (!findOption(name)) {
      *error = where + ": unknown option " + quoted(name);
      return false;
    }
    if (value.empty()) {
      *error = where + ": " + name + " needs a value on the same line";
      return false;
    }
    if (!applyOption(name, value, where, options, error)) return false;
  }
  return true;
}

bool SimOptions_Check(const SimOptions& options, std::string* error) {
  for (const SimSetting& setting : options.settings) {
    if (setting.step > options.steps) {
      *error = (setting.where.empty() ? "" : setting.where + ": ") + "--set " +
               quoted(setting.text) + ": step " + std::to_string(setting.step) +
               " is beyond --steps " + std::to_string(options.steps);
      return false;
    }
  }
  for (const SimBody& body : options.extraBodies) {
    if (body.step > options.steps) {
      *error = (body.where.empty() ? "" : body.where + ": ") + "--body joins before step " +
               std::to_string(body.step) + ", beyond --steps " + std::to_string(options.steps);
      return false;
    }
  }
  return true;
}
