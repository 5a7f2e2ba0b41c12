#include "physics/physics.h"

namespace Veruruve {
namespace Physics {

void destroyContainers(PhysicsWorld& world) {
  for (CollisionBox* box : world.containers) delete box;
  world.containers.clear();
  world.roomIndex.reset();
}

}  // namespace Physics
}  // namespace Veruruve
