// Gravity directions as the program uses them. Its loader normalises a
// room's gravity and its step ignores any direction whose single-precision
// length is not exactly 1, which rounding leaves for many diagonals (the
// normalised (1, 1, 0) has length 0.99999994). So the direction written is
// one of the floats next to the rounded unit vector whose length is exactly 1.
#include <cmath>

#include "tools/chamber-build/chamber.h"

namespace chamber {
namespace {

// The float `steps` representable values away from value (towards +inf for
// positive steps).
float StepAway(float value, int steps) {
  for (int i = 0; i < steps; ++i) value = std::nextafter(value, INFINITY);
  for (int i = 0; i > steps; --i) value = std::nextafter(value, -INFINITY);
  return value;
}

}  // namespace

bool GravityUsable(vec3f gravity) {
  const vec3f unit = normalised(gravity);  // as the loader does
  return unit != vec3f() && length(unit) == 1.0f;
}

bool UnitGravity(vec3f direction, vec3f& unit, int radius) {
  const double d[3] = {direction.x, direction.y, direction.z};
  const double norm = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  if (!(norm > 0) || !std::isfinite(norm)) return false;
  const double exact[3] = {d[0] / norm, d[1] / norm, d[2] / norm};
  const float rounded[3] = {static_cast<float>(exact[0]), static_cast<float>(exact[1]),
                            static_cast<float>(exact[2])};
  // Zero components stay zero, so the vector stays in the plane or on the
  // axis the direction names; the others try every neighbour within radius.
  int reach[3];
  for (int k = 0; k < 3; ++k) reach[k] = rounded[k] == 0 ? 0 : radius;
  bool found = false;
  double bestAngle = 0;  // 1 - cosine to the exact direction, smaller is closer
  for (int a = -reach[0]; a <= reach[0]; ++a)
    for (int b = -reach[1]; b <= reach[1]; ++b)
      for (int c = -reach[2]; c <= reach[2]; ++c) {
        const vec3f candidate(StepAway(rounded[0], a), StepAway(rounded[1], b), StepAway(rounded[2], c));
        // Of length exactly 1, the loader's normalising leaves it as it is.
        if (length(candidate) != 1.0f) continue;
        const double cosine =
            (exact[0] * candidate.x + exact[1] * candidate.y + exact[2] * candidate.z);
        if (!found || 1 - cosine < bestAngle) {
          found = true;
          bestAngle = 1 - cosine;
          unit = candidate;
        }
      }
  return found;
}

}  // namespace chamber
