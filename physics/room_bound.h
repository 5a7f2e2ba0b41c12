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
// kReachLarge is above the reach of the chamber's ball (radius 0.02 plus the
// margin), so for it the tree's bounds are plain boxes.
constexpr double kReachSmall = 1.0 / 64;
constexpr double kReachLarge = 1.0 / 32;

// Rooms are indexed only within these magnitudes, where the rounding margin
// stays small; anything larger is tested every step (or scanned, for bodies).
constexpr double kMaxIndexedCoordinate = 4194304.0;  // 2^22, centroids
constexpr double kMaxIndexedRadius = 1048576.0;      // 2^20

// Single precision bounds, rounded outward from the exact values, in two
// parts: the box the tree tests at every node, and what the rounding margin
// needs, read only when a body is far out or large (see RoomReach).
struct RoomBox {
  float lo[3], hi[3];  // box of R(kReachLarge)
  float slope = 0;     // largest growth of a box side per unit of t
};
struct RoomReach {
  float centroidLo[3], centroidHi[3];  // box of the face centroids
  float scale = 0;                     // largest |coordinate| of a centroid
};
struct RoomBound {
  RoomBox box;
  RoomReach reach;
};

// Computes the room's bound. False when the room has none the index can use:
// its region is open or empty, it has a corner too sharp to bound reliably,
// more faces than the bound's search handles, a moved transform, or values
// that are not finite or beyond kMaxIndexedCoordinate. Such rooms are tested
// every step.
bool boundRoom(const CollisionBox& room, RoomBound* bound);

// The rounding margin m for a body of radius r at point p, against rooms
// within the given reach. Derived from the single precision steps of the
// face test (s = c - r n, the moved normal (s + n) - s, the dot product):
// every one of them errs by at most 2^-24 of the magnitudes involved; the
// margin takes 2^-20 of their product, a factor of 16 over the sum of those
// errors. It only grows with the reach, so the margin for the reach of all
// rooms holds for each.
double reachMargin(double r, const float p[3], const RoomReach& reach);

// Whether p can lie in R(t) of a room (or of any room of a subtree) with
// this box.
inline bool boxMayHold(const RoomBox& b, const float p[3], double t) {
  const double grow = t > kReachLarge ? static_cast<double>(b.slope) * (t - kReachLarge) : 0.0;
  for (int k = 0; k < 3; ++k) {
    if (p[k] < b.lo[k] - grow || p[k] > b.hi[k] + grow) return false;
  }
  return true;
}

}  // namespace Physics
}  // namespace Veruruve
