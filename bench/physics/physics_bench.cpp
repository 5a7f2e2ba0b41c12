// The cost of one physics step as the rooms and the balls grow, each beside
// the plain loops it replaces (reference::step, the same results), and the
// cost of building the rooms' index and loading a large container file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "bench/physics/chambers.h"
#include "physics/physics.h"
#include "sandbox/containers.h"
#include "tests/physics/reference_step.h"

using namespace Veruruve::Physics;

namespace {

enum Layout { kGrid, kRandom };
enum Stepper { kIndexed, kPlain };

std::vector<ctr::Room> rooms(Layout layout, std::size_t count) {
  return layout == kGrid ? chambers::grid(count) : chambers::randomRooms(count);
}

void step(Stepper stepper, PhysicsWorld& world) {
  if (stepper == kIndexed)
    stepPhysics(world);
  else
    reference::step(world);
}

// One step of a ball resting on the floor of room 0, in a world of N rooms.
template <Layout layout, Stepper stepper>
void BM_StepRooms(benchmark::State& state) {
  const auto bytes = ctr::encode(rooms(layout, static_cast<std::size_t>(state.range(0))));
  PhysicsWorld world;
  Containers_LoadMemory(world, bytes.data(), bytes.size());
  std::unique_ptr<CollisionSphere> ball(Sandbox_MakeBall(vec3f(0, 0.5f, 0)));
  world.objects.push_back(ball.get());
  for (int i = 0; i < 300; ++i) stepPhysics(world);  // let it come to rest
  for (auto _ : state) step(stepper, world);
  state.counters["y"] = ball->position.y;
  state.counters["rooms_of_ball"] = static_cast<double>(ball->containerIndices.size());
  destroyContainers(world);
}
BENCHMARK_TEMPLATE(BM_StepRooms, kGrid, kIndexed)->Arg(1)->Arg(100)->Arg(10000)->Arg(100000);
BENCHMARK_TEMPLATE(BM_StepRooms, kGrid, kPlain)->Arg(1)->Arg(100)->Arg(10000)->Arg(100000);
BENCHMARK_TEMPLATE(BM_StepRooms, kRandom, kIndexed)->Arg(1)->Arg(100)->Arg(10000)->Arg(100000);
BENCHMARK_TEMPLATE(BM_StepRooms, kRandom, kPlain)->Arg(1)->Arg(100)->Arg(10000)->Arg(100000);

enum BallRoom { kOneBox, kRoomGrid };

// The balls are timed over one stretch of their settling, the same for every
// count: 20 steps from step 50 after they are let go (falling, the piles
// forming) or from step 400 (at rest), the world put back to the stretch's
// start before every round. Timing one step again and again would time
// different stretches: the benchmark library runs a small world for many
// thousands of steps (long after it has come to rest) and a large one for a
// few dozen (while it is busiest), which says more about the stretch than
// about the count.
constexpr int kTimedSteps = 20;
constexpr int kForming = 50;
constexpr int kAtRest = 400;

// N balls (radius 0.02) in one box room wide enough for them to lie four
// deep, or 50 to a room in a grid of unit rooms, every room starting alike
// (two layers of 5 x 5), so that the work per ball is the same whatever the
// count.
constexpr std::size_t kPerRoom = 50;

template <BallRoom where, Stepper stepper>
void BM_StepBalls(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  std::vector<ctr::Room> layout;
  std::vector<std::unique_ptr<CollisionSphere>> balls;
  if (where == kOneBox) {
    int side = 1;
    while (static_cast<std::size_t>(4 * side * side) < count) ++side;
    const float width = 0.06f * static_cast<float>(side) + 0.1f;
    layout.push_back(ctr::boxRoom({0, 0, 0}, {width, 1, width}));
    balls = chambers::lattice({0.08f, 0.05f, 0.08f}, side, 4, side, count, 7);
  } else {
    layout = chambers::grid((count + kPerRoom - 1) / kPerRoom);
    for (std::size_t room = 0; room * kPerRoom < count; ++room) {
      const vec3f corner = layout[room].faces[0].vertices[0];  // the room's lowest corner
      auto more = chambers::lattice(corner + vec3f(0.35f, 0.05f, 0.35f), 5, 2, 5,
                                    std::min(kPerRoom, count - room * kPerRoom), 0);
      for (auto& b : more) balls.push_back(std::move(b));
    }
  }
  const auto bytes = ctr::encode(layout);
  PhysicsWorld world;
  Containers_LoadMemory(world, bytes.data(), bytes.size());
  for (auto& b : balls) world.objects.push_back(b.get());
  const auto start = static_cast<int>(state.range(1));
  for (int i = 0; i < start; ++i) stepPhysics(world);
  std::vector<CollisionSphere> settled;
  for (auto& b : balls) settled.push_back(*b);

  double passes = 0;
  double touching = 0;
  double contacts = 0;  // of every pass, per step
  for (auto _ : state) {
    state.PauseTiming();
    for (std::size_t k = 0; k < balls.size(); ++k) *balls[k] = settled[k];
    state.ResumeTiming();
    for (int i = 0; i < kTimedSteps; ++i) {
      step(stepper, world);
      passes += world.passes;
      touching += static_cast<double>(world.contacts.size());
      contacts += static_cast<double>(world.stepContacts.size());
    }
  }
  const double steps = kTimedSteps * static_cast<double>(state.iterations());
  // Contacts of a step's last pass, per ball: how crowded the pile is.
  state.counters["touching"] = touching / steps / static_cast<double>(count);
  // The plain loops count neither their passes nor the contacts of every
  // pass; the results are the same.
  if (stepper == kIndexed) {
    state.counters["passes"] = passes / steps;
    state.counters["contacts"] = contacts / steps / static_cast<double>(count);
  }
  state.counters["per_ball"] = benchmark::Counter(
      static_cast<double>(count) * steps, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  destroyContainers(world);
}
void BallCounts(benchmark::internal::Benchmark* b) {
  b->ArgNames({"balls", "from"});
  for (int from : {kForming, kAtRest})
    for (int balls : {1, 100, 1000, 10000}) b->Args({balls, from});
}
BENCHMARK_TEMPLATE(BM_StepBalls, kOneBox, kIndexed)->Apply(BallCounts);
BENCHMARK_TEMPLATE(BM_StepBalls, kOneBox, kPlain)->Apply(BallCounts);
BENCHMARK_TEMPLATE(BM_StepBalls, kRoomGrid, kIndexed)->Apply(BallCounts);
BENCHMARK_TEMPLATE(BM_StepBalls, kRoomGrid, kPlain)->Apply(BallCounts);

// Building the index over N rooms already loaded, and what it holds.
template <Layout layout>
void BM_BuildRoomIndex(benchmark::State& state) {
  const auto bytes = ctr::encode(rooms(layout, static_cast<std::size_t>(state.range(0))));
  PhysicsWorld world;
  Containers_LoadMemory(world, bytes.data(), bytes.size());
  for (auto _ : state) buildRoomIndex(world);
  const RoomIndexStats stats = roomIndexStats(world);
  state.counters["bytes"] = static_cast<double>(stats.bytes);
  state.counters["bytes_per_room"] = static_cast<double>(stats.bytes) / static_cast<double>(state.range(0));
  state.counters["every_step"] = static_cast<double>(stats.alwaysTested);
  destroyContainers(world);
}
BENCHMARK_TEMPLATE(BM_BuildRoomIndex, kGrid)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_BuildRoomIndex, kRandom)->Arg(100000)->Unit(benchmark::kMillisecond);

// Loading a file of N six-faced rooms from disk, index included.
void BM_LoadContainerFile(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  const std::string path = "/tmp/chamber_bench_" + std::to_string(getpid()) + ".ctr";
  const auto bytes = ctr::encode(chambers::grid(count));
  if (!ctr::writeFile(path, bytes)) {
    state.SkipWithError("cannot write the container file");
    return;
  }
  PhysicsWorld world;
  for (auto _ : state) Containers_Load(world, path.c_str());
  state.counters["faces"] = static_cast<double>(count * 6);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  destroyContainers(world);
  std::remove(path.c_str());
}
BENCHMARK(BM_LoadContainerFile)->Arg(16667)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
