// chamber-sim: the chamber's physics without a window, for scripted and
// repeatable experiments. Prints the trajectory as CSV on standard output.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "physics/physics.h"
#include "replay/replay.h"
#include "sandbox/containers.h"
#include "sandbox/sandbox.h"
#include "tools/chamber-sim/options.h"

using namespace Veruruve::Physics;

namespace {

void printRow(std::uint64_t step, std::size_t index, const PhysicsObject& body) {
  const std::string row =
      Replay_CsvRow(step, index, body.position, body.velocity, body.gravity,
                    body.containerIndices.data(), body.containerIndices.size());
  std::fputs(row.c_str(), stdout);
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
    return 0;
  }

  PhysicsWorld world;
  const ContainerLoadReport report = Containers_Load(world, options.ctrPath.c_str());
  if (!report.opened || report.readError) {
    destroyContainers(world);
    // Named by the line that gave it, when it came from an options file.
    std::fprintf(stderr, "chamber-sim: %s%scannot %s container file '%s'\n",
                 options.ctrWhere.c_str(), options.ctrWhere.empty() ? "" : ": ",
                 report.opened ? "read" : "open", options.ctrPath.c_str());
    return 2;
  }
  if (report.truncated || report.facesSkipped > 0)
    std::fprintf(stderr,
                 "chamber-sim: warning: '%s' is damaged (%s%u faces of fewer than 3 vertices "
                 "skipped); simulating the %zu rooms it holds\n",
                 options.ctrPath.c_str(), report.truncated ? "ends inside a record; " : "",
                 report.facesSkipped, world.containers.size());

  std::vector<std::unique_ptr<CollisionSphere>> bodies;
  bodies.emplace_back(Sandbox_MakeBall(options.start));
  bodies[0]->velocity = options.velocity;
  world.objects.push_back(bodies[0].get());
  ReplaySchedule schedule;
  ReplaySchedule_Start(schedule, options);
  std::vector<SimBody> joining;
  std::vector<vec3f> pushes;

  std::fputs(Replay_CsvHeader().c_str(), stdout);
  for (std::uint64_t step = 1; step <= options.steps; ++step) {
    // Further bodies join the world just before their step, numbered in the
    // order they join.
    ReplaySchedule_Bodies(schedule, step, &joining);
    for (const SimBody& body : joining) {
      bodies.emplace_back(Sandbox_MakeBall(body.position));
      bodies.back()->velocity = body.velocity;
      world.objects.push_back(bodies.back().get());
    }
    // The arrow keys of the program push the same way: into the force
    // accumulator, just before the step, one push after the other.
    ReplaySchedule_Pushes(schedule, step, &pushes);
    for (const vec3f& force : pushes) bodies[0]->force += force;
    stepPhysics(world);
    for (std::size_t i = 0; i < bodies.size(); ++i) printRow(step, i, *bodies[i]);
  }
  destroyContainers(world);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
