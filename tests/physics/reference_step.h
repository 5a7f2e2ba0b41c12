// The physics step as it was first written, with the plain loops: every room
// tested for every body, every sphere against every later sphere. Kept as the
// reference the broad phase and the sphere grid must match bit for bit (in
// the tests) and as the baseline of the benchmarks.
#pragma once

#include <cstdint>
#include <vector>

#include "physics/physics.h"

namespace reference {

// The rooms whose overlapsVolume accepts the body, by testing every room.
std::vector<std::uint32_t> roomsOf(const Veruruve::Physics::PhysicsWorld& world,
                                   const Veruruve::Physics::Volume& body);

// One step of the world with the plain loops; same effects as stepPhysics.
void step(Veruruve::Physics::PhysicsWorld& world);

}  // namespace reference
