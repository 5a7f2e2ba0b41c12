// Spheres: containment, unit size and scale.
#include "physics/physics.h"

namespace Veruruve {
namespace Physics {

bool VolumeSphere::containsPoint(float x, float y, float z) const {
  return length(vec3f(x, y, z)) <= radius;
}

void VolumeSphere::normalise() { radius = 1.0f; }

void VolumeSphere::scale(float factor) { radius = radius * factor; }

}  // namespace Physics
}  // namespace Veruruve
