// Inside the physics module: the bound of the region in which a room
// accepts a body, shared by room_bound.cpp (which computes it) and
// room_index.cpp (which builds the tree over it and queries it).
#pragma once

#include "physics/physics.h"

namespace Veruruve {
namespace Physics {

// A room's face planes pushed outward by t: R(t) = { p : n.p >= n.c - t } over
// its faces (n the face normal as stored, c the centroid). overlapsVolume
// accepts a sphere of radius r only inside R(r + m), m a small rounding
// margin (see reachMargin), and containsPoint only inside R(m).
//
// The bound is exact arithmetic on two facts: R(t) grows with t, and each
// side of its bounding box is a concave function of t (a mix of two points
// of R(a) and R(b) lies in R of the mixed t). So with the box at
// kReachSmall and kReachLarge known:
//   t <= kReachLarge: R(t) lies in the box at kReachLarge;
//   t >  kReachLarge: each side moves out by at most slope * (t - kReachLarge),
//   the slope being the side's growth from kReachSmall to kReachLarge.
constexpr double kReachSmall = 1.0 / 256;
constexpr double kReachLarge = 1.0 / 128;

// Rooms are indexed only within these magnitudes, where the rounding margin
// stays small; anything larger is tested every step (or scanned, for bodies).
constexpr double kMaxIndexedCoordinate = 4194304.0;  // 2^22, centroids
constexpr double kMaxIndexedRadius = 1048576.0;      // 2^20

// Single precision bounds, rounded outward from the exact values.
struct RoomBound {
  float lo[3], hi[3];                  // box of R(kReachLarge)
  float centroidLo[3], centroidHi[3];  // box of the face centroids
  float slope = 0;                     // largest growth of a box side per unit of t
  float scale = 0;                     // largest |coordinate| of a centroid
};

// Computes the room's bound. False when the room has none the index can use:
// its region is open or empty, it has a corner too sharp to bound reliably,
// more faces than the bound's search handles, a moved transform, or values
// that are not finite or beyond kMaxIndexedCoordinate. Such rooms are tested
// every step.
bool boundRoom(const CollisionBox& room, RoomBound* bound);

// The rounding margin m for a body of radius r at point p, against rooms of
// centroid magnitude at most scale whose centroids lie in [centroidLo,
// centroidHi]. Derived from the single precision steps of the face test
// (s = c - r n, the moved normal (s + n) - s, the dot product): every one of
// them errs by at most 2^-24 of the magnitudes involved; the margin takes
// 2^-20 of their product, a factor of 16 over the sum of those errors.
double reachMargin(double r, const float p[3], float scale, const float centroidLo[3],
                   const float centroidHi[3]);

// Whether p can lie in R(t) for a bound (node or room) with these fields.
inline bool boundMayHold(const RoomBound& b, const float p[3], double t) {
  const double grow = t > kReachLarge ? static_cast<double>(b.slope) * (t - kReachLarge) : 0.0;
  for (int k = 0; k < 3; ++k) {
    if (p[k] < b.lo[k] - grow || p[k] > b.hi[k] + grow) return false;
  }
  return true;
}

}  // namespace Physics
}  // namespace Veruruve
