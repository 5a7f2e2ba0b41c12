// The bound of the region a room accepts bodies in (see room_bound.h): the
// room's face planes, pushed outward, intersected in double precision.
#include <algorithm>
#include <cmath>

#include "physics/room_bound.h"

namespace Veruruve {
namespace Physics {
namespace {

// Rooms with more faces are tested every step: the corner search below
// tries every three faces, so its cost grows with the cube of the count.
constexpr std::size_t kMaxBoundedFaces = 32;

// n.p >= b - t, in double: exact copies of the single precision normal and
// n.c computed with one rounding per operation.
struct Plane {
  double n[3];
  double b;
};

double dot3(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

void cross3(const double a[3], const double b[3], double out[3]) {
  out[0] = a[1] * b[2] - a[2] * b[1];
  out[1] = a[2] * b[0] - a[0] * b[2];
  out[2] = a[0] * b[1] - a[1] * b[0];
}

double norm3(const double a[3]) { return std::sqrt(dot3(a, a)); }

bool isIdentity(const mat4f& m) {
  for (int i = 0; i < 16; ++i)
    if (m[i] != (i % 5 == 0 ? 1.0f : 0.0f)) return false;
  return true;
}

// Whether the planes bound a finite region: some three normals are
// independent and no direction u has n.u >= 0 for every normal (else the
// region runs off along u). Such a direction, if any, lies along the line
// where two planes meet, so trying every pair finds it; near misses count
// as open, which only sends the room to the every-step list.
bool isBounded(const std::vector<Plane>& planes) {
  const std::size_t n = planes.size();
  bool independent = false;
  for (std::size_t i = 0; i < n && !independent; ++i)
    for (std::size_t j = i + 1; j < n && !independent; ++j) {
      double u[3];
      cross3(planes[i].n, planes[j].n, u);
      for (std::size_t k = j + 1; k < n; ++k)
        if (std::fabs(dot3(u, planes[k].n)) > 1e-9) {
          independent = true;
          break;
        }
    }
  if (!independent) return false;

  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j) {
      double u[3];
      cross3(planes[i].n, planes[j].n, u);
      const double len = norm3(u);
      if (len == 0) continue;  // parallel planes meet in no line
      const double tolerance = 1e-9 + 1e-15 / len;
      for (double sign : {1.0, -1.0}) {
        bool open = true;
        for (const Plane& p : planes)
          if (sign * dot3(p.n, u) / len < -tolerance) {
            open = false;
            break;
          }
        if (open) return false;
      }
    }
  return true;
}

// The bounding boxes of R(t) at each of the given t from its corners:
// every three planes that meet in one point give a corner of R(t) when that
// point satisfies all the planes. The point moves linearly with t, so each
// triple is solved once. Returns false when some R(t) has no corner (it is
// empty) or when a nearly singular triple might hide a corner whose place
// cannot be computed reliably.
struct CornerBox {
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
  double hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  bool any = false;
};

bool cornerBoxes(const std::vector<Plane>& planes, const double (&ts)[2], CornerBox (&boxes)[2]) {
  const std::size_t n = planes.size();
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = i + 1; j < n; ++j) {
      const Plane& a = planes[i];
      const Plane& b = planes[j];
      double ab[3];
      cross3(a.n, b.n, ab);
      for (std::size_t k = j + 1; k < n; ++k) {
        const Plane& c = planes[k];
        const double det = dot3(ab, c.n);  // (a x b) . c
        if (std::fabs(det) < 1e-300) continue;
        double bc[3], ca[3];
        cross3(b.n, c.n, bc);
        cross3(c.n, a.n, ca);
        // The corner at t: (sum of (plane.b - t) times the opposite cross
        // product) / det = base - t * move.
        double base[3], move[3];
        for (int m = 0; m < 3; ++m) {
          base[m] = (a.b * bc[m] + b.b * ca[m] + c.b * ab[m]) / det;
          move[m] = (bc[m] + ca[m] + ab[m]) / det;
        }
        const double crossSizes = norm3(bc) + norm3(ca) + norm3(ab);
        const double bSize = std::max({std::fabs(a.b), std::fabs(b.b), std::fabs(c.b)});
        for (int q = 0; q < 2; ++q) {
          const double t = ts[q];
          double v[3];
          for (int m = 0; m < 3; ++m) v[m] = base[m] - t * move[m];
          // How far the computed point may be from the true one.
          const double error = 1e-15 * (bSize + std::fabs(t)) * crossSizes / std::fabs(det);
          const double vmax = std::max({std::fabs(v[0]), std::fabs(v[1]), std::fabs(v[2])});
          const double strict = 1e-10 * (1 + vmax + std::fabs(t));
          const bool wellPlaced = 4 * error < strict;
          const double tolerance = wellPlaced ? strict : strict + 4 * error;
          bool inside = std::isfinite(vmax);
          for (std::size_t m = 0; m < n && inside; ++m)
            if (dot3(planes[m].n, v) - (planes[m].b - t) < -tolerance) inside = false;
          if (!inside) continue;
          if (!wellPlaced) return false;  // a corner too sharp to place
          CornerBox& box = boxes[q];
          box.any = true;
          for (int m = 0; m < 3; ++m) {
            box.lo[m] = std::min(box.lo[m], v[m]);
            box.hi[m] = std::max(box.hi[m], v[m]);
          }
        }
      }
    }
  return boxes[0].any && boxes[1].any;
}

float roundDown(double v) {
  float f = static_cast<float>(v);
  if (static_cast<double>(f) > v) f = std::nextafter(f, -HUGE_VALF);
  return f;
}

float roundUp(double v) {
  float f = static_cast<float>(v);
  if (static_cast<double>(f) < v) f = std::nextafter(f, HUGE_VALF);
  return f;
}

}  // namespace

bool boundRoom(const CollisionBox& room, RoomBound* bound) {
  if (!isIdentity(room.worldTransform)) return false;
  std::vector<Plane> planes;
  double scale = 0;
  double centroidLo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
  double centroidHi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
  for (const CollisionFace& f : room.collisionFaces) {
    const double c[3] = {f.centroid.x, f.centroid.y, f.centroid.z};
    const double n[3] = {f.normal.x, f.normal.y, f.normal.z};
    for (int k = 0; k < 3; ++k) {
      if (!std::isfinite(c[k]) || !std::isfinite(n[k])) return false;
      scale = std::max(scale, std::fabs(c[k]));
      centroidLo[k] = std::min(centroidLo[k], c[k]);
      centroidHi[k] = std::max(centroidHi[k], c[k]);
    }
    // A zero normal (collinear first vertices) rejects nothing: the moved
    // normal is zero too, and so is the product the test compares.
    if (n[0] == 0 && n[1] == 0 && n[2] == 0) continue;
    // The margin assumes unit normals, as normalising leaves them.
    if (std::fabs(dot3(n, n) - 1) > 1.0 / 1048576) return false;
    planes.push_back({{n[0], n[1], n[2]}, dot3(n, c)});
  }
  if (scale > kMaxIndexedCoordinate) return false;
  if (planes.size() < 4 || planes.size() > kMaxBoundedFaces) return false;
  if (!isBounded(planes)) return false;

  CornerBox boxes[2];
  if (!cornerBoxes(planes, {kReachSmall, kReachLarge}, boxes)) return false;
  const double* smallLo = boxes[0].lo;
  const double* smallHi = boxes[0].hi;
  const double* lo = boxes[1].lo;
  const double* hi = boxes[1].hi;

  double slope = 0, extent = 0;
  for (int k = 0; k < 3; ++k) {
    slope = std::max(slope, (hi[k] - smallHi[k]) / (kReachLarge - kReachSmall));
    slope = std::max(slope, (smallLo[k] - lo[k]) / (kReachLarge - kReachSmall));
    extent = std::max({extent, std::fabs(lo[k]), std::fabs(hi[k])});
  }
  // Corners beyond the coordinates the index works in (a corner sharp
  // enough to reach that far) leave the room to the every-step list.
  if (extent > kMaxIndexedCoordinate * 1024) return false;
  // The corners carry the double rounding of their planes; a pad of a
  // millionth of the magnitudes covers it many times over.
  const double pad = 1e-6 * (1 + extent + slope * kReachLarge);
  slope = slope * (1 + 1e-6) + 1e-6;
  for (int k = 0; k < 3; ++k) {
    bound->box.lo[k] = roundDown(lo[k] - pad);
    bound->box.hi[k] = roundUp(hi[k] + pad);
    bound->reach.centroidLo[k] = roundDown(centroidLo[k]);
    bound->reach.centroidHi[k] = roundUp(centroidHi[k]);
  }
  bound->box.slope = roundUp(slope);
  bound->reach.scale = roundUp(scale);
  return std::isfinite(bound->box.slope);
}

double reachMargin(double r, const float p[3], const RoomReach& reach) {
  // D: the largest coordinate difference between p and a moved centroid.
  double d = 0;
  for (int k = 0; k < 3; ++k)
    d = std::max({d, std::fabs(p[k] - static_cast<double>(reach.centroidLo[k])),
                  std::fabs(p[k] - static_cast<double>(reach.centroidHi[k]))});
  const double ar = std::fabs(r);
  d += ar + 1;
  return (static_cast<double>(reach.scale) + ar + 9) * (2 + d) / 1048576.0;
}

}  // namespace Physics
}  // namespace Veruruve
