// The two files of a saved session: the chamber-sim options that reproduce
// it and the trajectory the session computed.
#include <sys/stat.h>

#include <cstdio>

#include "replay/replay.h"

namespace {

std::string number(float value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.9g", value);
  return buffer;
}

std::string vector(const vec3f& v) { return number(v.x) + "," + number(v.y) + "," + number(v.z); }

bool exists(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0;
}

// The settings that differ from the defaults at the start, then every later
// change with its step.
std::string settingLines(const SessionLog& log, std::uint64_t steps) {
  using namespace Veruruve::Tuning;
  std::string text;
  for (int s = 0; s < kSettingCount; ++s)
    if (!isDefault(log.startSettings, s))
      text += std::string("--set ") + settingInfo(s).name + "=" +
              formatExact(s, settingValue(log.startSettings, s)) + "\n";
  for (const SimSetting& change : log.settingChanges)
    if (change.step <= steps)
      text += std::string("--set ") + settingInfo(change.change.setting).name + "=" +
              formatExact(change.change.setting, change.change.value) + "@" +
              std::to_string(change.step) + "\n";
  return text;
}

}  // namespace

std::string Replay_OptionsText(const SessionLog& log, std::uint64_t steps,
                               const std::string& ctrPath) {
  if (steps > SessionLog_Steps(log)) steps = SessionLog_Steps(log);
  std::string text =
      "# A session of the chamber, " + std::to_string(steps) + " physics steps.\n"
      "# chamber-sim --args THIS_FILE prints the trajectory saved beside it;\n"
      "# chamber --replay THIS_FILE plays it in the window.\n";
  text += "--ctr " + ctrPath + "\n";
  if (!log.ctrSha256.empty()) text += "--ctr-sha256 " + log.ctrSha256 + "\n";
  text += "--steps " + std::to_string(steps) + "\n";
  text += "--start " + vector(log.start) + "\n";
  text += "--velocity " + vector(log.velocity) + "\n";
  text += settingLines(log, steps);
  for (const SimPush& push : Replay_PushRuns(log, steps))
    text += "--push " + vector(push.force) + "@" + std::to_string(push.from) + ":" +
            std::to_string(push.to) + "\n";
  for (const SimBody& body : log.joined)
    if (body.step <= steps)
      text += "--body " + vector(body.position) + "," + vector(body.velocity) + "@" +
              std::to_string(body.step) + "\n";
  return text;
}

std::string Replay_CsvText(const SessionLog& log, std::uint64_t steps) {
  if (steps > SessionLog_Steps(log)) steps = SessionLog_Steps(log);
  std::string text = Replay_CsvHeader();
  std::uint64_t row = 0;
  std::uint64_t containersBegin = 0;
  for (std::uint64_t step = 1; step <= steps; ++step) {
    for (std::size_t body = 0; row < log.rowsEnd[step - 1]; ++row, ++body) {
      const BodyRow& r = log.rows[row];
      text += Replay_CsvRow(step, body, r.position, r.velocity, r.gravity,
                            log.containers.data() + containersBegin,
                            static_cast<std::size_t>(r.containersEnd - containersBegin));
      containersBegin = r.containersEnd;
    }
  }
  return text;
}

std::string Replay_BaseName(unsigned number) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "replay-%04u", number);
  return buffer;
}

unsigned Replay_FreeNumber(const std::string& directory) {
  for (unsigned n = 1;; ++n) {
    const std::string base = directory + "/" + Replay_BaseName(n);
    if (!exists(base + ".txt") && !exists(base + ".csv")) return n;
  }
}
