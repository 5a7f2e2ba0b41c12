// The record of a session: what a replay file needs, step by step.
#include <cstring>

#include "replay/replay.h"

using Veruruve::Physics::PhysicsWorld;
using Veruruve::Physics::Volume;

namespace {

std::uint64_t lastEnd(const std::vector<std::uint64_t>& ends) { return ends.empty() ? 0 : ends.back(); }

// Bodies in the world after the last step logged (the ball alone before the
// first): any beyond them joined since.
std::size_t knownBodies(const SessionLog& log) {
  const std::size_t steps = log.rowsEnd.size();
  if (steps == 0) return 1;
  return static_cast<std::size_t>(log.rowsEnd[steps - 1] - (steps > 1 ? log.rowsEnd[steps - 2] : 0));
}

bool sameBits(const vec3f& a, const vec3f& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Keeps the setting changes of the first steps; the settings in force are
// then those at the start with the changes kept.
void keepSettingChanges(SessionLog& log, std::uint64_t steps) {
  std::vector<SimSetting> kept;
  log.settings = log.startSettings;
  for (const SimSetting& setting : log.settingChanges) {
    if (setting.step > steps) continue;
    kept.push_back(setting);
    Veruruve::Tuning::setSettingValue(log.settings, setting.change.setting, setting.change.value);
  }
  log.settingChanges.swap(kept);
}

}  // namespace

void SessionLog_Begin(SessionLog& log, const PhysicsWorld& world) {
  const std::size_t maxRows = log.maxRows;
  log = SessionLog();
  log.maxRows = maxRows;
  log.startSettings = world.settings;
  log.settings = world.settings;
  if (!world.objects.empty()) {
    log.start = world.objects[0]->position;
    log.velocity = world.objects[0]->velocity;
  }
}

void SessionLog_NotePush(SessionLog& log, const vec3f& force) {
  if (!log.full) log.pending.push_back(force);
}

void SessionLog_BeforeStep(SessionLog& log, const PhysicsWorld& world) {
  if (log.full) return;
  const std::uint64_t step = SessionLog_Steps(log) + 1;
  for (int changed : Veruruve::Tuning::changedSettings(log.settings, world.settings)) {
    SimSetting setting;
    setting.change = {changed, Veruruve::Tuning::settingValue(world.settings, changed)};
    setting.step = step;
    log.settingChanges.push_back(setting);
  }
  log.settings = world.settings;
  for (std::size_t i = knownBodies(log); i < world.objects.size(); ++i) {
    SimBody body;
    body.position = world.objects[i]->position;
    body.velocity = world.objects[i]->velocity;
    body.step = step;
    log.joined.push_back(body);
  }
}

void SessionLog_AfterStep(SessionLog& log, const PhysicsWorld& world) {
  if (log.full) return;
  if (log.rows.size() + world.objects.size() > log.maxRows) {
    log.full = true;
    log.pending.clear();
    // Bodies that joined for this step never got a row.
    while (!log.joined.empty() && log.joined.back().step > SessionLog_Steps(log))
      log.joined.pop_back();
    keepSettingChanges(log, SessionLog_Steps(log));
    return;
  }
  log.pushes.insert(log.pushes.end(), log.pending.begin(), log.pending.end());
  log.pushesEnd.push_back(log.pushes.size());
  log.pending.clear();
  for (const Volume* body : world.objects) {
    log.containers.insert(log.containers.end(), body->containerIndices.begin(),
                          body->containerIndices.end());
    log.rows.push_back({body->position, body->velocity, body->gravity, log.containers.size()});
  }
  log.rowsEnd.push_back(log.rows.size());
}

void SessionLog_Truncate(SessionLog& log, std::uint64_t steps) {
  if (steps >= SessionLog_Steps(log)) return;
  log.full = false;
  log.pushesEnd.resize(steps);
  log.pushes.resize(lastEnd(log.pushesEnd));
  log.rowsEnd.resize(steps);
  log.rows.resize(lastEnd(log.rowsEnd));
  log.containers.resize(log.rows.empty() ? 0 : log.rows.back().containersEnd);
  std::vector<SimBody> kept;
  for (const SimBody& body : log.joined)
    if (body.step <= steps) kept.push_back(body);
  log.joined.swap(kept);
  keepSettingChanges(log, steps);
}

std::uint64_t SessionLog_Steps(const SessionLog& log) { return log.rowsEnd.size(); }

std::vector<SimPush> Replay_PushRuns(const SessionLog& log, std::uint64_t steps) {
  if (steps > SessionLog_Steps(log)) steps = SessionLog_Steps(log);
  // One list of runs per place in a step's order of pushes.
  std::vector<std::vector<SimPush>> places;
  std::uint64_t begin = 0;
  for (std::uint64_t step = 1; step <= steps; ++step) {
    const std::uint64_t stepEnd = log.pushesEnd[step - 1];
    for (std::uint64_t k = begin; k < stepEnd; ++k) {
      const std::size_t place = static_cast<std::size_t>(k - begin);
      if (places.size() <= place) places.resize(place + 1);
      std::vector<SimPush>& runs = places[place];
      const vec3f& force = log.pushes[k];
      if (!runs.empty() && runs.back().to == step - 1 && sameBits(runs.back().force, force)) {
        runs.back().to = step;
      } else {
        SimPush run;
        run.force = force;
        run.from = step;
        run.to = step;
        runs.push_back(run);
      }
    }
    begin = stepEnd;
  }
  std::vector<SimPush> all;
  for (const std::vector<SimPush>& runs : places) all.insert(all.end(), runs.begin(), runs.end());
  return all;
}
