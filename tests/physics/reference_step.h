// The physics step as it was first written, with the plain loops: every room
// tested for every body, every sphere against every later sphere. Kept as the
// reference the broad phase and the sphere grid must match bit for bit (in
// the tests) and as the baseline of the benchmarks.
//
// tunedStep is the same step written out once more with its own contact
// tests, responses and integration, each constant taken from the settings
// where the step's arithmetic has it, so that the step's settings are checked
// against an independent copy of that arithmetic.
#pragma once

#include <cstdint>
#include <vector>

#include "physics/physics.h"

namespace reference {

// The rooms whose overlapsVolume accepts the body, by testing every room.
std::vector<std::uint32_t> roomsOf(const Veruruve::Physics::PhysicsWorld& world,
                                   const Veruruve::Physics::Volume& body);

// One step of the world with the plain loops; same effects as stepPhysics
// with the default settings (world.settings is not read).
void step(Veruruve::Physics::PhysicsWorld& world);

// One step with the plain loops and the given settings, every contact test
// and response written out here; same effects as stepPhysics with
// world.settings = settings.
void tunedStep(Veruruve::Physics::PhysicsWorld& world,
               const Veruruve::Tuning::Settings& settings);

}  // namespace reference
