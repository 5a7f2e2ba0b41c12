// Feeding the pushes and bodies of a set of options into a world, step by
// step, without scanning every push at every step: a long session has many
// thousands of push runs, of which a handful are in range at any step.
#include <algorithm>

#include "replay/replay.h"
#include "sandbox/sandbox.h"

void ReplaySchedule_Start(ReplaySchedule& schedule, const SimOptions& options) {
  schedule = ReplaySchedule();
  schedule.pushes = options.pushes;
  schedule.pushOrder.resize(schedule.pushes.size());
  for (std::size_t i = 0; i < schedule.pushOrder.size(); ++i) schedule.pushOrder[i] = i;
  std::stable_sort(schedule.pushOrder.begin(), schedule.pushOrder.end(),
                   [&](std::size_t a, std::size_t b) {
                     return schedule.pushes[a].from < schedule.pushes[b].from;
                   });
  schedule.bodies = options.extraBodies;
  std::stable_sort(schedule.bodies.begin(), schedule.bodies.end(),
                   [](const SimBody& a, const SimBody& b) { return a.step < b.step; });
  schedule.settings = options.settings;
  std::stable_sort(schedule.settings.begin(), schedule.settings.end(),
                   [](const SimSetting& a, const SimSetting& b) { return a.step < b.step; });
}

void ReplaySchedule_Pushes(ReplaySchedule& schedule, std::uint64_t step, std::vector<vec3f>* out) {
  out->clear();
  std::vector<std::size_t>& active = schedule.active;
  // Pushes that start by this step come in, in their place in the given order.
  while (schedule.nextPush < schedule.pushOrder.size() &&
         schedule.pushes[schedule.pushOrder[schedule.nextPush]].from <= step) {
    const std::size_t index = schedule.pushOrder[schedule.nextPush++];
    active.insert(std::lower_bound(active.begin(), active.end(), index), index);
  }
  // Those that ended before it go.
  active.erase(std::remove_if(active.begin(), active.end(),
                              [&](std::size_t i) { return schedule.pushes[i].to < step; }),
               active.end());
  for (std::size_t index : active) out->push_back(schedule.pushes[index].force);
}

void ReplaySchedule_Bodies(ReplaySchedule& schedule, std::uint64_t step,
                           std::vector<SimBody>* out) {
  out->clear();
  // Bodies whose step has passed unasked for join at the first step asked.
  while (schedule.nextBody < schedule.bodies.size() &&
         schedule.bodies[schedule.nextBody].step <= step)
    out->push_back(schedule.bodies[schedule.nextBody++]);
}

void ReplaySchedule_Feed(ReplaySchedule& schedule, std::uint64_t step,
                         Veruruve::Physics::PhysicsWorld& world, std::vector<vec3f>* pushes) {
  while (schedule.nextSetting < schedule.settings.size() &&
         schedule.settings[schedule.nextSetting].step <= step) {
    const Veruruve::Tuning::Change& change = schedule.settings[schedule.nextSetting++].change;
    Veruruve::Tuning::Settings next = world.settings;
    Veruruve::Tuning::setSettingValue(next, change.setting, change.value);
    Veruruve::Physics::applySettings(world, next);
  }
  std::vector<SimBody> joining;
  ReplaySchedule_Bodies(schedule, step, &joining);
  for (const SimBody& body : joining) {
    Veruruve::Physics::CollisionSphere* ball = Sandbox_MakeBall(body.position, world.settings);
    ball->velocity = body.velocity;
    world.objects.push_back(ball);
  }
  ReplaySchedule_Pushes(schedule, step, pushes);
  for (const vec3f& force : *pushes) world.objects[0]->force += force;
}
