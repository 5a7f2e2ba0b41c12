#include "physics/physics.h"

namespace Veruruve {
namespace Physics {

void destroyContainers(PhysicsWorld& world) {
  for (CollisionBox* box : world.containers) delete box;
  world.containers.clear();
}

}  // namespace Physics
}  // namespace Veruruve
