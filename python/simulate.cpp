// chamber-sim's run, with the rows it would print collected instead.
#include <cerrno>
#include <cstdio>
#include <memory>

#include "python/world.h"
#include "replay/replay.h"
#include "sandbox/containers.h"
#include "sandbox/sandbox.h"

using Veruruve::Physics::PhysicsWorld;
using Veruruve::Physics::Volume;

namespace chamber_python {
namespace {

// Deletes the bodies and rooms of a run however it ends.
struct OwnedWorld {
  PhysicsWorld world;
  ~OwnedWorld() {
    for (Volume* body : world.objects) delete body;
    Veruruve::Physics::destroyContainers(world);
  }
};

}  // namespace

SimOptions ParseSimArguments(const std::vector<std::string>& arguments, SimOptions options) {
  std::vector<const char*> argv{"chamber-sim"};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  std::string error;
  if (!SimOptions_Parse(static_cast<int>(argv.size()), argv.data(), &options, &error))
    throw WorldError(WorldError::kValue, error);
  return options;
}

SimOptions ParseSimFile(const std::string& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    WorldError error(WorldError::kOs, "cannot open options file '" + path + "'");
    error.osError = errno;
    error.filename = path;
    throw error;
  }
  std::string text;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  const int readError = std::ferror(file) ? errno : 0;
  std::fclose(file);
  if (readError) {
    WorldError error(WorldError::kOs, "cannot read options file '" + path + "'");
    error.osError = readError;
    error.filename = path;
    throw error;
  }
  SimOptions options;
  std::string message;
  if (!SimOptions_ParseText(text, path, &options, &message))
    throw WorldError(WorldError::kValue, message);
  return options;
}

SimRun RunSimulation(const SimOptions& options) {
  SimRun run;
  const std::string bytes = ReadContainerFile(options.ctrPath, options.ctrWhere);
  // A replay recorded on another container file is refused, as chamber-sim
  // refuses it (the file it reads is the one checked).
  std::string mismatch;
  if (!Replay_CheckContainer(options, &mismatch)) throw WorldError(WorldError::kValue, mismatch);
  OwnedWorld owned;
  PhysicsWorld& world = owned.world;
  const ContainerLoadReport report = Containers_LoadMemory(
      world, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  if (report.truncated || report.facesSkipped > 0)
    run.warning = "'" + options.ctrPath + "' is damaged (" +
                  (report.truncated ? "ends inside a record; " : "") +
                  std::to_string(report.facesSkipped) +
                  " faces of fewer than 3 vertices skipped); simulating the " +
                  std::to_string(world.containers.size()) + " rooms it holds";

  // As chamber-sim runs: the ball, then before each step the bodies that
  // join and the pushes, then the step and its rows.
  Veruruve::Physics::CollisionSphere* ball = Sandbox_MakeBall(options.start);
  ball->velocity = options.velocity;
  world.objects.push_back(ball);
  ReplaySchedule schedule;
  ReplaySchedule_Start(schedule, options);
  std::vector<vec3f> pushes;
  for (std::uint64_t step = 1; step <= options.steps; ++step) {
    ReplaySchedule_Feed(schedule, step, world, &pushes);
    Veruruve::Physics::stepPhysics(world);
    if (step % options.every != 0 && step != options.steps) continue;
    for (std::size_t i = 0; i < world.objects.size(); ++i) {
      const Volume& body = *world.objects[i];
      run.rows.push_back({step, static_cast<std::uint32_t>(i), body.position.x, body.position.y,
                          body.position.z, body.velocity.x, body.velocity.y, body.velocity.z,
                          body.gravity.x, body.gravity.y, body.gravity.z});
      run.rooms.push_back(body.containerIndices);
    }
  }
  return run;
}

}  // namespace chamber_python
