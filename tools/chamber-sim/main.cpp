// chamber-sim: the chamber's physics without a window, for scripted and
// repeatable experiments. Prints the trajectory as CSV on standard output.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "physics/physics.h"
#include "replay/replay.h"
#include "sandbox/containers.h"
#include "sandbox/sandbox.h"
#include "tools/chamber-sim/compare.h"
#include "tools/chamber-sim/options.h"
#include "tools/chamber-sim/step_times.h"

using namespace Veruruve::Physics;

namespace {

// Where the rows go: standard output, or a comparison with a saved CSV.
struct RowSink {
  CsvComparison* comparison = nullptr;
  bool differs = false;
};

// False once a compared row differs (the message is printed then).
bool emit(RowSink& sink, const std::string& row) {
  if (!sink.comparison) {
    std::fputs(row.c_str(), stdout);
    return true;
  }
  std::string error;
  if (CsvComparison_Row(*sink.comparison, row, &error)) return true;
  std::fprintf(stderr, "chamber-sim: %s\n", error.c_str());
  sink.differs = true;
  return false;
}

bool printRow(RowSink& sink, std::uint64_t step, std::size_t index, const PhysicsObject& body) {
  return emit(sink, Replay_CsvRow(step, index, body.position, body.velocity, body.gravity,
                                  body.containerIndices.data(), body.containerIndices.size()));
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
  if (!Replay_CheckContainer(options, &error)) {
    destroyContainers(world);
    std::fprintf(stderr, "chamber-sim: %s\n", error.c_str());
    return 2;
  }
  std::ifstream saved;
  CsvComparison comparison;
  RowSink sink;
  if (!options.comparePath.empty()) {
    saved.open(options.comparePath, std::ios::binary);
    if (!saved) {
      destroyContainers(world);
      std::fprintf(stderr, "chamber-sim: cannot open '%s' to compare with\n",
                   options.comparePath.c_str());
      return 2;
    }
    comparison.saved = &saved;
    comparison.name = options.comparePath;
    sink.comparison = &comparison;
  }

  // The bodies are the world's objects, the ball first; deleted at the end.
  CollisionSphere* ball = Sandbox_MakeBall(options.start);
  ball->velocity = options.velocity;
  world.objects.push_back(ball);
  ReplaySchedule schedule;
  ReplaySchedule_Start(schedule, options);
  std::vector<vec3f> pushes;

  bool same = emit(sink, Replay_CsvHeader());
  StepTimes times;
  for (std::uint64_t step = 1; same && step <= options.steps; ++step) {
    // Further bodies join the world just before their step, numbered in the
    // order they join; then the pushes go into the ball's force accumulator,
    // as the program's arrow keys push, one after the other.
    ReplaySchedule_Feed(schedule, step, world, &pushes);
    const Clock::time_point stepStart = Clock::now();
    stepPhysics(world);
    if (options.stats) StepTimes_Add(times, nanosecondsSince(stepStart));
    if (step % options.every != 0 && step != options.steps) continue;
    for (std::size_t i = 0; same && i < world.objects.size(); ++i)
      same = printRow(sink, step, i, *world.objects[i]);
  }
  if (same && sink.comparison) {
    std::string error;
    if (CsvComparison_End(comparison, &error)) {
      std::printf("chamber-sim: all %llu rows identical to %s\n",
                  static_cast<unsigned long long>(comparison.rows - 1), comparison.name.c_str());
    } else {
      std::fprintf(stderr, "chamber-sim: %s\n", error.c_str());
      sink.differs = true;
    }
  }
  if (options.stats)
    printStats(options.steps, world.objects.size(), world.containers.size(), times,
               loadNanoseconds);
  for (Volume* body : world.objects) delete body;
  destroyContainers(world);
  if (sink.differs) return 1;
  return std::fflush(stdout) == 0 ? 0 : 1;
}
