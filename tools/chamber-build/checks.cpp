// The geometry checks of a chamber, and the small face helpers they share
// with the writers.
#include <cmath>
#include <cstdio>
#include <map>
#include <tuple>

#include "tools/chamber-build/chamber.h"

namespace chamber {
namespace {

// Distances below this are taken as lying on a plane. Chambers are a few
// units across, and floats carry about seven digits.
constexpr float kFlat = 1e-4f;

std::string Point(vec3f p) {
  char text[96];
  std::snprintf(text, sizeof text, "(%g, %g, %g)", p.x, p.y, p.z);
  return text;
}

void CheckFace(const Face& face, std::vector<Problem>& problems) {
  const vec3f n = FaceNormal(face);
  if (n == vec3f()) {
    problems.push_back({face.line, "the first three corners of the face lie on one line, so it has no direction"});
    return;
  }
  const vec3f a = face.corners[0];
  for (const vec3f& p : face.corners)
    if (std::fabs(dot(p - a, n)) > kFlat) {
      problems.push_back({face.line, "the face is not flat: corner " + Point(p) + " is off its plane"});
      return;
    }
  const size_t count = face.corners.size();
  for (size_t i = 0; i < count; ++i) {
    const vec3f p = face.corners[i], q = face.corners[(i + 1) % count], r = face.corners[(i + 2) % count];
    if (dot(cross(q - p, r - q), n) < -kFlat * kFlat) {
      problems.push_back({face.line, "the face is not convex, or its corners cross, at corner " + Point(q)});
      return;
    }
  }
}

void CheckRoom(const Room& room, std::vector<Problem>& problems) {
  if (room.faces.empty()) {
    problems.push_back({room.line, "room '" + room.name + "' has no faces"});
    return;
  }
  const size_t before = problems.size();
  for (const Face& face : room.faces) CheckFace(face, problems);
  if (problems.size() != before) return;

  // Every corner of the room must lie on the inner side of every face. A
  // face with corners only on its outer side is wound the wrong way; one
  // with corners on both sides makes the room non-convex.
  for (const Face& face : room.faces) {
    const vec3f n = FaceNormal(face), c = FaceCentroid(face);
    const vec3f* outside = nullptr;
    bool inside = false;
    for (const Face& other : room.faces)
      for (const vec3f& p : other.corners) {
        const float d = dot(p - c, n);
        if (d < -kFlat && !outside) outside = &p;
        if (d > kFlat) inside = true;
      }
    if (outside && !inside)
      problems.push_back({face.line, "the face is wound the wrong way: list its corners counter-clockwise "
                                     "as seen from inside room '" + room.name + "'"});
    else if (outside)
      problems.push_back({face.line, "room '" + room.name + "' is not convex: corner " + Point(*outside) +
                                         " lies outside the plane of this face"});
  }
  if (problems.size() != before) return;

  // Closed: every edge is shared with a face that runs it the other way.
  std::map<std::tuple<float, float, float, float, float, float>, int> edges;
  for (const Face& face : room.faces)
    for (size_t i = 0; i < face.corners.size(); ++i) {
      const vec3f a = face.corners[i], b = face.corners[(i + 1) % face.corners.size()];
      edges[{a.x, a.y, a.z, b.x, b.y, b.z}] = face.line;
    }
  for (const auto& [edge, line] : edges) {
    const auto& [ax, ay, az, bx, by, bz] = edge;
    if (!edges.count({bx, by, bz, ax, ay, az})) {
      problems.push_back({line, "room '" + room.name + "' is not closed: the edge from " +
                                    Point({ax, ay, az}) + " to " + Point({bx, by, bz}) +
                                    " borders no other face of the room"});
      return;
    }
  }
}

// Whether a point on an open face of room `from` is safe: just beyond the
// face it is inside another room, or it lies on a solid face of another room
// that covers it.
bool Covered(const Chamber& chamber, const Room& from, vec3f p, vec3f inward) {
  const vec3f beyond = p - inward * 1e-3f;
  for (const Room& room : chamber.rooms) {
    if (&room == &from) continue;
    if (RoomContains(room, beyond)) return true;
    if (!RoomContains(room, p, kFlat)) continue;
    for (const Face& face : room.faces)
      if (!face.open && std::fabs(dot(p - FaceCentroid(face), FaceNormal(face))) < kFlat) return true;
  }
  return false;
}

}  // namespace

vec3f FaceNormal(const Face& face) {
  const vec3f a = face.corners[0], b = face.corners[1], c = face.corners[2];
  return normalised(cross(b - a, c - a));
}

vec3f FaceCentroid(const Face& face) {
  vec3f sum;
  for (const vec3f& p : face.corners) sum += p;
  return sum / static_cast<float>(face.corners.size());
}

bool RoomContains(const Room& room, vec3f p, float slack) {
  for (const Face& face : room.faces)
    if (dot(p - FaceCentroid(face), FaceNormal(face)) < -slack) return false;
  return true;
}

bool HoldsBallStart(const Chamber& chamber) {
  for (const Room& room : chamber.rooms)
    if (RoomContains(room, vec3f(0, 0.5f, 0))) return true;
  return false;
}

void CheckChamber(const Chamber& chamber, std::vector<Problem>& problems) {
  if (chamber.rooms.empty()) problems.push_back({0, "the chamber has no rooms"});
  const size_t before = problems.size();
  for (const Room& room : chamber.rooms) CheckRoom(room, problems);
  if (problems.size() != before) return;

  // Open faces: the centre and a point near each corner must lead on.
  for (const Room& room : chamber.rooms)
    for (const Face& face : room.faces) {
      if (!face.open) continue;
      const vec3f c = FaceCentroid(face), n = FaceNormal(face);
      std::vector<vec3f> samples{c};
      for (const vec3f& p : face.corners) samples.push_back(p + (c - p) * 0.1f);
      for (const vec3f& p : samples)
        if (!Covered(chamber, room, p, n)) {
          problems.push_back({face.line, "this open face of room '" + room.name + "' leads out of every room near " +
                                             Point(p) + ": a ball would leave the chamber there"});
          break;
        }
    }
}

}  // namespace chamber
