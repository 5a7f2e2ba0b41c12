// chamber-sim: the chamber's physics without a window, for scripted and
// repeatable experiments. Prints the trajectory as CSV on standard output.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "physics/physics.h"
#include "replay/replay.h"
#include "sandbox/containers.h"
#include "sandbox/sandbox.h"
#include "tools/chamber-sim/options.h"
#include "tools/chamber-sim/step_times.h"

using namespace Veruruve::Physics;

namespace {

void printRow(std::uint64_t step, std::size_t index, const PhysicsObject& body) {
  const std::string row =
      Replay_CsvRow(step, index, body.position, body.velocity, body.gravity,
                    body.containerIndices.data(), body.containerIndices.size());
  std::fputs(row.c_str(), stdout);
}

using Clock = std::chrono::steady_clock;

std::uint64_t nanosecondsSince(Clock::time_point start) {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
}

void printStats(std::uint64_t steps, std::size_t bodies, std::size_t rooms,
                const StepTimes& times, std::uint64_t loadNanoseconds) {
  std::fprintf(stderr, "stats: steps %llu\n", static_cast<unsigned long long>(steps));
  std::fprintf(stderr, "stats: bodies %zu\n", bodies);
  std::fprintf(stderr, "stats: rooms %zu\n", rooms);
  std::fprintf(stderr, "stats: step median %.3f us\n", StepTimes_Quantile(times, 0.5) / 1e3);
  std::fprintf(stderr, "stats: step p99 %.3f us\n", StepTimes_Quantile(times, 0.99) / 1e3);
  std::fprintf(stderr, "stats: load %.3f ms\n", static_cast<double>(loadNanoseconds) / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
  SimOptions options;
  std::string error;
  if (!SimOptions_Parse(argc, argv, &options, &error)) {
    std::fprintf(stderr, "chamber-sim: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(SimOptions_Usage(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (options.version) {
    std::printf("chamber-sim %s\n", CHAMBER_VERSION);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }

  PhysicsWorld world;
  const Clock::time_point loadStart = Clock::now();
  const ContainerLoadReport report = Containers_Load(world, options.ctrPath.c_str());
  const std::uint64_t loadNanoseconds = nanosecondsSince(loadStart);
  const std::string problem = Containers_Problem(report, options.ctrPath);
  if (!report.opened || report.readError) {
    destroyContainers(world);
    // Named by the line that gave it, when it came from an options file.
    std::fprintf(stderr, "chamber-sim: %s%s%s\n", options.ctrWhere.c_str(),
                 options.ctrWhere.empty() ? "" : ": ", problem.c_str());
    return 2;
  }
  if (!problem.empty()) std::fprintf(stderr, "chamber-sim: warning: %s\n", problem.c_str());

  // The bodies are the world's objects, the ball first; deleted at the end.
  CollisionSphere* ball = Sandbox_MakeBall(options.start);
  ball->velocity = options.velocity;
  world.objects.push_back(ball);
  ReplaySchedule schedule;
  ReplaySchedule_Start(schedule, options);
  std::vector<vec3f> pushes;

  std::fputs(Replay_CsvHeader().c_str(), stdout);
  StepTimes times;
  for (std::uint64_t step = 1; step <= options.steps; ++step) {
    // Further bodies join the world just before their step, numbered in the
    // order they join; then the pushes go into the ball's force accumulator,
    // as the program's arrow keys push, one after the other.
    ReplaySchedule_Feed(schedule, step, world, &pushes);
    const Clock::time_point stepStart = Clock::now();
    stepPhysics(world);
    if (options.stats) StepTimes_Add(times, nanosecondsSince(stepStart));
    if (step % options.every != 0 && step != options.steps) continue;
    for (std::size_t i = 0; i < world.objects.size(); ++i) printRow(step, i, *world.objects[i]);
  }
  if (options.stats)
    printStats(options.steps, world.objects.size(), world.containers.size(), times,
               loadNanoseconds);
  for (Volume* body : world.objects) delete body;
  destroyContainers(world);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
