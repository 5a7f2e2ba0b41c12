// What rewind and replay cost the window: the memory the history of 3,600
// states holds with the ball alone and with 64 shot balls, the time one
// recorded step adds to the step itself (side by side), the record of a
// session per step, and feeding pushes back through the schedule against a
// scan of every push.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <vector>

#include "replay/replay.h"
#include "sandbox/containers.h"
#include "sandbox/sandbox.h"
#include "tests/physics/container_writer.h"

using namespace Veruruve::Physics;

namespace {

// A 4 x 2 x 4 room with a floor at y = 0, the ball and `shot` balls spread
// over it, moving, so that they fall, roll and meet.
struct Scene {
  PhysicsWorld world;
  explicit Scene(int shot) {
    const auto bytes = ctr::encode({ctr::boxRoom({-2, 0, -2}, {2, 2, 2})});
    Containers_LoadMemory(world, bytes.data(), bytes.size());
    world.objects.push_back(Sandbox_MakeBall(vec3f(0, 0.5f, 0)));
    for (int i = 0; i < shot; ++i) {
      CollisionSphere* ball = Sandbox_MakeBall(
          vec3f(-1.5f + 0.375f * static_cast<float>(i % 8), 0.3f + 0.05f * static_cast<float>(i % 3),
                -1.5f + 0.375f * static_cast<float>(i / 8)));
      ball->velocity = vec3f(0.01f * static_cast<float>(i % 5 - 2), 0, 0.005f);
      world.objects.push_back(ball);
    }
  }
  ~Scene() {
    for (Volume* body : world.objects) delete body;
    destroyContainers(world);
  }
};

std::size_t heapInUse() { return mallinfo2().uordblks; }

// The history after 3,600 recorded steps: its own count of bytes, and what
// the heap grew by while it filled.
void BM_HistoryMemory(benchmark::State& state) {
  const int shot = static_cast<int>(state.range(0));
  std::size_t counted = 0, heap = 0;
  for (auto _ : state) {
    Scene scene(shot);
    const std::size_t before = heapInUse();
    auto history = std::make_unique<History>();
    History_Record(*history, scene.world);
    for (std::size_t i = 0; i < kHistoryCapacity; ++i) {
      stepPhysics(scene.world);
      History_Record(*history, scene.world);
    }
    counted = History_Bytes(*history);
    heap = heapInUse() - before;
  }
  state.counters["bodies"] = 1 + shot;
  state.counters["counted_MB"] = static_cast<double>(counted) / 1e6;
  state.counters["heap_MB"] = static_cast<double>(heap) / 1e6;
  state.counters["heap_B_per_body_state"] =
      static_cast<double>(heap) / static_cast<double>(kHistoryCapacity * (1 + shot));
}
BENCHMARK(BM_HistoryMemory)->Arg(0)->Arg(64)->Iterations(1)->Unit(benchmark::kMillisecond);

// One step alone (the baseline) and one step with everything the window
// records after it.
void BM_Step(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  for (auto _ : state) stepPhysics(scene.world);
}
BENCHMARK(BM_Step)->Arg(0)->Arg(64);

void BM_StepRecorded(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  auto history = std::make_unique<History>();
  SessionLog log;
  SessionLog_Begin(log, scene.world);
  History_Record(*history, scene.world);
  for (auto _ : state) {
    SessionLog_BeforeStep(log, scene.world);
    stepPhysics(scene.world);
    SessionLog_AfterStep(log, scene.world);
    History_Record(*history, scene.world);
  }
  const double steps = static_cast<double>(SessionLog_Steps(log));
  state.counters["log_B_per_step"] =
      static_cast<double>(log.rows.capacity() * sizeof(BodyRow) +
                          log.rowsEnd.capacity() * sizeof(std::uint64_t) +
                          log.pushesEnd.capacity() * sizeof(std::uint64_t) +
                          log.containers.capacity() * sizeof(std::uint32_t)) /
      steps;
}
BENCHMARK(BM_StepRecorded)->Arg(0)->Arg(64);

// An hour of steps (216,000) whose pushes change every 20 steps: 10,800 runs.
SimOptions longSession() {
  SimOptions options;
  options.steps = 216000;
  for (std::uint64_t from = 1; from <= options.steps; from += 20) {
    SimPush push;
    push.force = vec3f(0.052f * static_cast<float>(from % 3), 0, 0);
    push.from = from;
    push.to = from + 19;
    options.pushes.push_back(push);
  }
  return options;
}

// Pushes for every step of the session, through the schedule.
void BM_PushesBySchedule(benchmark::State& state) {
  const SimOptions options = longSession();
  std::vector<vec3f> pushes;
  for (auto _ : state) {
    ReplaySchedule schedule;
    ReplaySchedule_Start(schedule, options);
    for (std::uint64_t step = 1; step <= options.steps; step += 1) {
      ReplaySchedule_Pushes(schedule, step, &pushes);
      benchmark::DoNotOptimize(pushes.data());
    }
  }
}
BENCHMARK(BM_PushesBySchedule)->Unit(benchmark::kMillisecond);

// The same by scanning every push at every step, as chamber-sim did; a
// tenth of the session, as the whole would take minutes.
void BM_PushesByScan(benchmark::State& state) {
  const SimOptions options = longSession();
  std::vector<vec3f> pushes;
  for (auto _ : state) {
    for (std::uint64_t step = 1; step <= options.steps / 10; step += 1) {
      pushes.clear();
      for (const SimPush& push : options.pushes)
        if (step >= push.from && step <= push.to) pushes.push_back(push.force);
      benchmark::DoNotOptimize(pushes.data());
    }
  }
}
BENCHMARK(BM_PushesByScan)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
