// Rooms and balls for the physics tests.
#pragma once

#include <memory>

#include "physics/physics.h"
#include "sandbox/sandbox.h"
#include "tests/physics/container_writer.h"

namespace fixtures {

using namespace Veruruve::Physics;

// An axis-aligned room with inward normals; the floor is face 2 (y = lo.y).
inline std::unique_ptr<CollisionBox> room(vec3f lo, vec3f hi, vec3f gravity = vec3f(0, -1, 0)) {
  auto box = std::make_unique<CollisionBox>();
  for (const ctr::Face& f : ctr::boxRoom(lo, hi).faces) box->addFace(f.vertices, f.flags);
  box->gravity = gravity;
  return box;
}

// A ball made as the scene makes it, with its transform up to date.
inline std::unique_ptr<CollisionSphere> ball(vec3f position) {
  std::unique_ptr<CollisionSphere> b(Sandbox_MakeBall(position));
  updateTransforms(*b);
  return b;
}

// Bit-for-bit equality, NaN included.
inline bool sameBits(const vec3f& a, const vec3f& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

}  // namespace fixtures
