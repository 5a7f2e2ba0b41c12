// Feeds arbitrary bytes to the container loader, checks what it built, and
// steps two balls through the result: damaged files, absurd counts and
// non-finite numbers must neither crash the loader nor the step.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "physics/physics.h"
#include "sandbox/containers.h"
#include "sandbox/sandbox.h"

using namespace Veruruve::Physics;

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  PhysicsWorld world;
  Containers_LoadMemory(world, data, size);

  // Every room needs at least its 16-byte header, every face 60 bytes.
  check(world.containers.size() <= size / 16);
  std::size_t faces = 0;
  for (const CollisionBox* box : world.containers) {
    check(box->faces.empty());
    for (const CollisionFace& f : box->collisionFaces) {
      check(f.vertices.size() >= 3);
      check(f.vertexCount == f.vertices.size());
    }
    faces += box->collisionFaces.size();
    // Gravity was normalised: about unit length (denormal inputs normalise
    // coarsely), or none, or not finite; the step ignores all but exactly 1.
    const float len = length(box->gravity);
    check(!(len >= 2));
  }
  check(faces <= size / 60);

  if (!world.containers.empty()) {
    const CollisionBox& first = *world.containers[0];
    std::unique_ptr<CollisionSphere> a(Sandbox_MakeBall(vec3f(0, 0.5f, 0)));
    std::unique_ptr<CollisionSphere> b(
        Sandbox_MakeBall(first.collisionFaces.empty() ? vec3f(0, 0.51f, 0) : first.centre));
    world.objects = {a.get(), b.get()};
    for (int i = 0; i < 8; ++i) stepPhysics(world);
  }
  destroyContainers(world);
  return 0;
}
