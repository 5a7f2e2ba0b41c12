#include "tuning/tuning.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace Veruruve {
namespace Tuning {
namespace {

// The ranges keep the step meaningful: shares of 0 to 1 where a larger share
// would make a contact add energy, a push-out of at least the depth of the
// contact, and balls no heavier or larger than a chamber can hold (the
// rooms' index bounds spheres up to a radius of 2^20; a ball of 1000 units
// is far larger than any room it could roll in).
const SettingInfo kTable[kSettingCount] = {
    {"gravity", -1, 1, false, false, "a number from -1 to 1"},
    {"integration", 0, 2, false, false, "a number from 0 to 2"},
    {"tangential", 0, 1, false, false, "a number from 0 to 1"},
    {"restitution", 0, 1, false, false, "a number from 0 to 1"},
    {"overcorrection", 1, 2, false, false, "a number from 1 to 2"},
    {"spin", 0, 100, false, false, "a number from 0 to 100"},
    {"damping", 0, 1, false, false, "a number from 0 to 1"},
    {"passes", 1, 64, false, true, "a whole number from 1 to 64"},
    {"mass", 0, 1000000, true, false, "a number above 0 and at most 1000000"},
    {"radius", 0, 1000, true, false, "a number above 0 and at most 1000"},
};

// Decimal text: an optional sign, digits with an optional point, an
// optional exponent. Refuses what strtof would also take (hex, inf, nan,
// leading blanks) so that a value means the same everywhere.
bool isDecimal(const std::string& text) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  if (i < n && text[i] == '.') {
    ++i;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t exponent = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++exponent;
    if (exponent == 0) return false;
  }
  return i == n;
}

bool inRange(const SettingInfo& info, double v) {
  if (info.lowestExcluded ? !(v > info.lowest) : !(v >= info.lowest)) return false;
  return v <= info.highest;
}

std::string quoted(const std::string& text) {
  return "'" + (text.size() > 40 ? text.substr(0, 40) + "..." : text) + "'";
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

const SettingInfo& settingInfo(int setting) { return kTable[setting]; }

int findSetting(const std::string& name) {
  for (int s = 0; s < kSettingCount; ++s)
    if (name == kTable[s].name) return s;
  return -1;
}

float settingValue(const Settings& settings, int setting) {
  switch (setting) {
    case kGravity: return settings.gravity;
    case kIntegration: return settings.integration;
    case kTangential: return settings.tangential;
    case kRestitution: return settings.restitution;
    case kOvercorrection: return settings.overcorrection;
    case kSpin: return settings.spin;
    case kDamping: return settings.damping;
    case kPasses: return static_cast<float>(settings.passes);
    case kMass: return settings.mass;
    case kRadius: return settings.radius;
  }
  return 0;
}

void setSettingValue(Settings& settings, int setting, float value) {
  switch (setting) {
    case kGravity: settings.gravity = value; break;
    case kIntegration: settings.integration = value; break;
    case kTangential: settings.tangential = value; break;
    case kRestitution: settings.restitution = value; break;
    case kOvercorrection: settings.overcorrection = value; break;
    case kSpin: settings.spin = value; break;
    case kDamping: settings.damping = value; break;
    case kPasses: settings.passes = static_cast<int>(value); break;
    case kMass: settings.mass = value; break;
    case kRadius: settings.radius = value; break;
  }
}

bool isDefault(const Settings& settings, int setting) {
  const float a = settingValue(settings, setting);
  const float b = settingValue(kDefaultSettings, setting);
  // Bit for bit: -0 is not the default 0.
  return std::memcmp(&a, &b, sizeof a) == 0;
}

bool allDefault(const Settings& settings) {
  for (int s = 0; s < kSettingCount; ++s)
    if (!isDefault(settings, s)) return false;
  return true;
}

bool parseValue(int setting, const std::string& text, float* value, std::string* error) {
  const SettingInfo& info = kTable[setting];
  const auto refuse = [&]() {
    *error = std::string("bad value ") + quoted(text) + " for " + info.name + " (" +
             info.accepts + ")";
    return false;
  };
  float v = 0;
  if (info.integer) {
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
      return refuse();
    v = static_cast<float>(std::atoi(text.c_str()));
  } else {
    if (!isDecimal(text)) return refuse();
    v = std::strtof(text.c_str(), nullptr);
  }
  if (!std::isfinite(v) || !inRange(info, v)) return refuse();
  *value = v;
  return true;
}

bool parseAssignment(const std::string& text, Change* change, std::string* error) {
  const std::size_t equals = text.find('=');
  if (equals == std::string::npos) {
    *error = "expected NAME=VALUE, got " + quoted(text);
    return false;
  }
  const std::string name = text.substr(0, equals);
  const int setting = findSetting(name);
  if (setting < 0) {
    *error = "unknown setting " + quoted(name) +
             " (gravity, integration, tangential, restitution, overcorrection, spin, damping, "
             "passes, mass or radius)";
    return false;
  }
  float value = 0;
  if (!parseValue(setting, text.substr(equals + 1), &value, error)) return false;
  *change = {setting, value};
  return true;
}

std::string formatValue(int setting, float value) {
  if (kTable[setting].integer) return std::to_string(static_cast<int>(value));
  char buffer[32];
  int digits = 1;
  for (; digits < 9; ++digits) {
    std::snprintf(buffer, sizeof buffer, "%.*g", digits, static_cast<double>(value));
    if (std::strtof(buffer, nullptr) == value) break;
  }
  // Whole numbers and the like as people write them: 10, not 1e+01.
  const double magnitude = std::fabs(static_cast<double>(value));
  if (std::strchr(buffer, 'e') && magnitude >= 1 && magnitude < 1e9) {
    const int whole = static_cast<int>(std::floor(std::log10(magnitude))) + 1;
    std::snprintf(buffer, sizeof buffer, "%.*g", std::max(digits, whole),
                  static_cast<double>(value));
  }
  return buffer;
}

std::string formatExact(int setting, float value) {
  if (kTable[setting].integer) return std::to_string(static_cast<int>(value));
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", static_cast<double>(value));
  return buffer;
}

bool parseSettingsFile(const std::string& text, Settings* settings, std::string* error) {
  std::vector<Change> changes;
  if (!parseSettingsLines(text, &changes, error)) return false;
  Settings read;
  for (const Change& change : changes) setSettingValue(read, change.setting, change.value);
  *settings = read;
  return true;
}

LineKind readNameValueLine(std::string line, std::string* name, std::string* value) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  for (unsigned char c : line)
    if ((c < 0x20 && c != '\t') || c == 0x7f) return LineKind::kControlCharacter;
  std::size_t first = 0;
  while (first < line.size() && isBlank(line[first])) ++first;
  std::size_t last = line.size();
  while (last > first && isBlank(line[last - 1])) --last;
  line = line.substr(first, last - first);
  if (line.empty() || line[0] == '#') return LineKind::kEmpty;

  std::size_t gap = 0;
  while (gap < line.size() && !isBlank(line[gap])) ++gap;
  *name = line.substr(0, gap);
  while (gap < line.size() && isBlank(line[gap])) ++gap;
  *value = line.substr(gap);
  return LineKind::kNameValue;
}

bool parseSettingsLines(const std::string& text, std::vector<Change>* changes, std::string* error) {
  std::vector<Change> read;
  std::size_t begin = 0;
  for (std::uint64_t number = 1; begin < text.size(); ++number) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    const std::string where = "line " + std::to_string(number) + ": ";
    std::string name, value;
    const LineKind kind = readNameValueLine(line, &name, &value);
    if (kind == LineKind::kControlCharacter) {
      *error = where + "control character in the line";
      return false;
    }
    if (kind == LineKind::kEmpty) continue;
    const int setting = findSetting(name);
    if (setting < 0) {
      *error = where + "unknown setting " + quoted(name);
      return false;
    }
    if (value.empty()) {
      *error = where + "expected NAME VALUE, " + name + " has no value";
      return false;
    }
    float v = 0;
    std::string why;
    if (!parseValue(setting, value, &v, &why)) {
      *error = where + why;
      return false;
    }
    read.push_back({setting, v});
  }
  *changes = std::move(read);
  return true;
}

std::string settingsFileText(const Settings& settings) {
  std::string text = "# Physics settings of the chamber: NAME VALUE, one a line.\n";
  for (int s = 0; s < kSettingCount; ++s)
    if (!isDefault(settings, s))
      text += std::string(kTable[s].name) + " " + formatValue(s, settingValue(settings, s)) + "\n";
  return text;
}

std::vector<int> changedSettings(const Settings& before, const Settings& after) {
  std::vector<int> changed;
  for (int s = 0; s < kSettingCount; ++s) {
    const float a = settingValue(before, s);
    const float b = settingValue(after, s);
    if (std::memcmp(&a, &b, sizeof a) != 0) changed.push_back(s);
  }
  return changed;
}

float steppedValue(int setting, float value, bool up, bool fine) {
  const SettingInfo& info = kTable[setting];
  double v = value;
  if (info.integer) {
    v += up ? 1 : -1;
  } else {
    // A value of 0 steps by the same share of its default, so that it can
    // leave 0 at all.
    const double base = v != 0 ? std::fabs(v) : std::fabs(settingValue(kDefaultSettings, setting));
    const double step = base * (fine ? 0.01 : 0.1);
    v += up ? step : -step;
  }
  // Kept to six significant digits, so that ten steps up from 0.9 read
  // 0.99 rather than the float next to it.
  char rounded[32];
  std::snprintf(rounded, sizeof rounded, "%.6g", v);
  v = std::strtod(rounded, nullptr);
  if (v > info.highest) v = info.highest;
  if (v < info.lowest) v = info.lowest;
  // Mass and radius stop short of 0 (a step down by a share never reaches it).
  if (info.lowestExcluded && !(static_cast<float>(v) > info.lowest)) return value;
  return static_cast<float>(v);
}

}  // namespace Tuning
}  // namespace Veruruve
