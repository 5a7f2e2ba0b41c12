// Writes container files for tests, benchmarks and fuzz seeds: little-endian
// records built from plain descriptions of rooms, plus raw helpers for
// damaged files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "geometry/vector.h"

namespace ctr {

struct Face {
  float colour[4] = {1, 1, 1, 1};
  std::uint32_t flags = 0;
  std::vector<vec3f> vertices;
};

struct Room {
  vec3f gravity{0, -1, 0};
  std::vector<Face> faces;
};

constexpr float kGreen[4] = {0, 1, 0, 1};

inline void putU32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

inline void putF32(std::vector<std::uint8_t>& out, float f) {
  std::uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  putU32(out, bits);
}

inline void putVec(std::vector<std::uint8_t>& out, const vec3f& v) {
  putF32(out, v.x);
  putF32(out, v.y);
  putF32(out, v.z);
}

inline void putFace(std::vector<std::uint8_t>& out, const Face& f) {
  for (float c : f.colour) putF32(out, c);
  putU32(out, static_cast<std::uint32_t>(f.vertices.size()));
  putU32(out, f.flags);
  for (const vec3f& v : f.vertices) putVec(out, v);
}

inline void putRoom(std::vector<std::uint8_t>& out, const Room& r) {
  putVec(out, r.gravity);
  putU32(out, static_cast<std::uint32_t>(r.faces.size()));
  for (const Face& f : r.faces) putFace(out, f);
}

inline std::vector<std::uint8_t> encode(const std::vector<Room>& rooms) {
  std::vector<std::uint8_t> out;
  putU32(out, static_cast<std::uint32_t>(rooms.size()));
  for (const Room& r : rooms) putRoom(out, r);
  return out;
}

// An axis-aligned room from lo to hi, every face wound so that its normal
// points inward. The floor (the face at lo.y) is green, so the room has the
// given gravity.
inline Room boxRoom(vec3f lo, vec3f hi, vec3f gravity = vec3f(0, -1, 0)) {
  Room room;
  room.gravity = gravity;
  const vec3f mid = (lo + hi) * 0.5f;
  // Per axis the two planes, each as a quad around the plane's axis.
  for (int axis = 0; axis < 3; ++axis) {
    for (int side = 0; side < 2; ++side) {
      const int u = (axis + 1) % 3, v = (axis + 2) % 3;
      float plane = side == 0 ? (&lo.x)[axis] : (&hi.x)[axis];
      Face f;
      const float us[4] = {(&lo.x)[u], (&hi.x)[u], (&hi.x)[u], (&lo.x)[u]};
      const float vs[4] = {(&lo.x)[v], (&lo.x)[v], (&hi.x)[v], (&hi.x)[v]};
      for (int i = 0; i < 4; ++i) {
        vec3f p;
        (&p.x)[axis] = plane;
        (&p.x)[u] = us[i];
        (&p.x)[v] = vs[i];
        f.vertices.push_back(p);
      }
      const vec3f n = cross(f.vertices[1] - f.vertices[0], f.vertices[2] - f.vertices[0]);
      if (dot(n, mid - f.vertices[0]) < 0) std::swap(f.vertices[1], f.vertices[3]);
      if (axis == 1 && side == 0) std::memcpy(f.colour, kGreen, sizeof f.colour);
      room.faces.push_back(f);
    }
  }
  return room;
}

inline bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace ctr
