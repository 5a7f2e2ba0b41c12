// The cost of one physics step as the number of rooms grows, and of loading a
// large container file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "physics/physics.h"
#include "sandbox/containers.h"
#include "sandbox/sandbox.h"
#include "tests/physics/container_writer.h"

using namespace Veruruve::Physics;

namespace {

// Unit cubes on a square grid, two units apart, room 0 at the origin.
std::vector<ctr::Room> grid(std::size_t count) {
  std::vector<ctr::Room> rooms;
  std::size_t side = 1;
  while (side * side < count) ++side;
  for (std::size_t i = 0; i < count; ++i) {
    const float x = 2.0f * static_cast<float>(i % side);
    const float z = 2.0f * static_cast<float>(i / side);
    rooms.push_back(ctr::boxRoom({x - 0.5f, 0, z - 0.5f}, {x + 0.5f, 1, z + 0.5f}));
  }
  return rooms;
}

// One step of a ball resting on the floor of room 0, in a world of N rooms.
void BM_StepRestingBall(benchmark::State& state) {
  const auto bytes = ctr::encode(grid(static_cast<std::size_t>(state.range(0))));
  PhysicsWorld world;
  Containers_LoadMemory(world, bytes.data(), bytes.size());
  std::unique_ptr<CollisionSphere> owned(Sandbox_MakeBall(vec3f(0, 0.5f, 0)));
  CollisionSphere& ball = *owned;
  world.objects.push_back(&ball);
  for (int i = 0; i < 300; ++i) stepPhysics(world);  // let it come to rest
  for (auto _ : state) stepPhysics(world);
  state.SetComplexityN(state.range(0));
  state.counters["y"] = ball.position.y;
  destroyContainers(world);
}
BENCHMARK(BM_StepRestingBall)->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Arg(10000)->Complexity(benchmark::oN);

// Loading a file of 16,667 six-faced rooms (100,002 faces) from disk.
void BM_LoadContainerFile(benchmark::State& state) {
  const std::string path = "/tmp/chamber_bench_" + std::to_string(getpid()) + ".ctr";
  const auto bytes = ctr::encode(grid(16667));
  if (!ctr::writeFile(path, bytes)) {
    state.SkipWithError("cannot write the container file");
    return;
  }
  PhysicsWorld world;
  for (auto _ : state) Containers_Load(world, path.c_str());
  state.counters["faces"] = 16667 * 6;
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  destroyContainers(world);
  std::remove(path.c_str());
}
BENCHMARK(BM_LoadContainerFile)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
