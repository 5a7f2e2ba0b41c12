// Worlds to record and compare, for the rewind and replay tests.
#pragma once

#include <cstring>
#include <memory>
#include <vector>

#include "replay/replay.h"
#include "sandbox/containers.h"
#include "sandbox/sandbox.h"
#include "tests/physics/container_writer.h"

namespace replay_fixtures {

using namespace Veruruve::Physics;

template <typename T>
bool sameBits(const T& a, const T& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Every field of two bodies, bit for bit.
inline bool sameBody(const CollisionSphere& a, const CollisionSphere& b) {
  return sameBits(a.position, b.position) && sameBits(a.orientation.w, b.orientation.w) &&
         sameBits(a.orientation.x, b.orientation.x) && sameBits(a.orientation.y, b.orientation.y) &&
         sameBits(a.orientation.z, b.orientation.z) &&
         sameBits(a.orientation.matrix.m, b.orientation.matrix.m) &&
         sameBits(a.worldTransform.m, b.worldTransform.m) && sameBits(a.velocity, b.velocity) &&
         sameBits(a.angularVelocity, b.angularVelocity) &&
         sameBits(a.angularMomentum, b.angularMomentum) &&
         sameBits(a.inverseInertia.m, b.inverseInertia.m) && sameBits(a.force, b.force) &&
         sameBits(a.torque, b.torque) && sameBits(a.gravity, b.gravity) &&
         sameBits(a.mass, b.mass) && a.containerIndices == b.containerIndices &&
         a.shape == b.shape && sameBits(a.radius, b.radius);
}

// Copies of the world's bodies.
inline std::vector<CollisionSphere> snapshot(const PhysicsWorld& world) {
  std::vector<CollisionSphere> bodies;
  for (const Volume* body : world.objects) bodies.push_back(*static_cast<const CollisionSphere*>(body));
  return bodies;
}

inline bool sameBodies(const std::vector<CollisionSphere>& a, const PhysicsWorld& world) {
  if (a.size() != world.objects.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!sameBody(a[i], *static_cast<const CollisionSphere*>(world.objects[i]))) return false;
  return true;
}

// Two rooms side by side, the second pulling toward +x, joined by an open
// wall; as container file bytes, so that chamber-sim can load the same.
inline std::vector<std::uint8_t> twoRoomsFile() {
  ctr::Room a = ctr::boxRoom({-1, 0, -1}, {1, 1, 1});
  ctr::Room b = ctr::boxRoom({1, 0, -1}, {3, 1, 1}, vec3f(1, 0, 0));
  a.faces[1].flags = 1;
  b.faces[0].flags = 1;
  return ctr::encode({a, b});
}

// A world of those rooms and the scene's ball, which owns its bodies.
struct TestWorld {
  PhysicsWorld world;
  TestWorld() {
    const std::vector<std::uint8_t> bytes = twoRoomsFile();
    Containers_LoadMemory(world, bytes.data(), bytes.size());
    world.objects.push_back(Sandbox_MakeBall(vec3f(0, 0.5f, 0)));
  }
  ~TestWorld() {
    for (Volume* body : world.objects) delete body;
    destroyContainers(world);
  }
  void addBall(vec3f position, vec3f velocity) {
    CollisionSphere* ball = Sandbox_MakeBall(position);
    ball->velocity = velocity;
    world.objects.push_back(ball);
  }
};

// A small deterministic generator, the same on every machine.
struct Random {
  std::uint64_t state;
  explicit Random(std::uint64_t seed) : state(seed * 2654435761u + 1) {}
  std::uint32_t next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(state >> 33);
  }
  std::uint32_t below(std::uint32_t n) { return next() % n; }
  float unit() { return static_cast<float>(next() % 2001) / 1000.0f - 1.0f; }  // [-1, 1]
};

// The pushes the arrow keys might give the ball before a step: up to four
// level pushes of the keys' size, often the same as the step before.
inline std::vector<vec3f> randomPushes(Random& random) {
  std::vector<vec3f> pushes;
  const std::uint32_t count = random.below(5);
  for (std::uint32_t i = 0; i < count; ++i)
    pushes.push_back(vec3f(0.052f * static_cast<float>(random.below(3)) - 0.052f, 0,
                           random.below(4) == 0 ? 0.052f * random.unit() : 0.0f));
  return pushes;
}

// What chamber-sim prints for a set of options, on the rooms of a container
// file given as bytes.
inline std::string simulate(const SimOptions& options, const std::vector<std::uint8_t>& rooms) {
  PhysicsWorld world;
  Containers_LoadMemory(world, rooms.data(), rooms.size());
  CollisionSphere* ball = Sandbox_MakeBall(options.start);
  ball->velocity = options.velocity;
  world.objects.push_back(ball);
  ReplaySchedule schedule;
  ReplaySchedule_Start(schedule, options);
  std::vector<vec3f> pushes;
  std::string csv = Replay_CsvHeader();
  for (std::uint64_t step = 1; step <= options.steps; ++step) {
    ReplaySchedule_Feed(schedule, step, world, &pushes);
    stepPhysics(world);
    for (std::size_t i = 0; i < world.objects.size(); ++i) {
      const Volume& body = *world.objects[i];
      csv += Replay_CsvRow(step, i, body.position, body.velocity, body.gravity,
                           body.containerIndices.data(), body.containerIndices.size());
    }
  }
  for (Volume* body : world.objects) delete body;
  destroyContainers(world);
  return csv;
}

}  // namespace replay_fixtures
