// Feeds arbitrary bytes to the settings file reader and, line by line, to
// the NAME=VALUE reader: they must never crash, a refused file must leave
// the settings as they were, and whatever is accepted must lie in its range
// and come back bit for bit through the text the program writes.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tuning/tuning.h"

using namespace Veruruve::Tuning;

namespace {

void check(bool condition) {
  if (!condition) abort();
}

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void checkInRange(const Settings& settings) {
  for (int s = 0; s < kSettingCount; ++s) {
    const SettingInfo& info = settingInfo(s);
    const float v = settingValue(settings, s);
    check(std::isfinite(v));
    check(info.lowestExcluded ? v > info.lowest : v >= info.lowest);
    check(v <= info.highest);
    if (info.integer) check(v == std::floor(v));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Settings settings;
  settings.spin = 42;  // a mark: a refused file leaves it
  std::string error;
  if (parseSettingsFile(text, &settings, &error)) {
    checkInRange(settings);
    Settings back;
    check(parseSettingsFile(settingsFileText(settings), &back, &error));
    check(changedSettings(settings, back).empty());
  } else {
    check(settings.spin == 42);
    check(error.rfind("line ", 0) == 0);
  }
  // The same bytes as one --set value after each name.
  const std::size_t newline = text.find('\n');
  const std::string value = text.substr(0, newline);
  for (int s = 0; s < kSettingCount; ++s) {
    Change change;
    if (!parseAssignment(std::string(settingInfo(s).name) + "=" + value, &change, &error)) continue;
    check(change.setting == s);
    Settings one;
    setSettingValue(one, s, change.value);
    checkInRange(one);
    Change again;
    check(parseAssignment(std::string(settingInfo(s).name) + "=" +
                              formatExact(s, change.value), &again, &error));
    check(sameBits(again.value, change.value));
  }
  return 0;
}
