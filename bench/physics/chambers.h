// Chambers and bodies for the physics benchmarks.
#pragma once

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "physics/physics.h"
#include "sandbox/sandbox.h"
#include "tests/physics/container_writer.h"

namespace chambers {

using namespace Veruruve::Physics;

// Unit cubes on a square grid, two units apart, room 0 at the origin.
inline std::vector<ctr::Room> grid(std::size_t count) {
  std::vector<ctr::Room> rooms;
  std::size_t side = 1;
  while (side * side < count) ++side;
  for (std::size_t i = 0; i < count; ++i) {
    const float x = 2.0f * static_cast<float>(i % side);
    const float z = 2.0f * static_cast<float>(i / side);
    rooms.push_back(ctr::boxRoom({x - 0.5f, 0, z - 0.5f}, {x + 0.5f, 1, z + 0.5f}));
  }
  return rooms;
}

// A convex room from its corners and faces (corner indices around each
// face), every face wound so that its normal points inward; the first face
// is green.
inline ctr::Room solid(const std::vector<vec3f>& corners, const std::vector<std::vector<int>>& faces) {
  vec3f mid;
  for (const vec3f& c : corners) mid += c;
  mid = mid / static_cast<float>(corners.size());
  ctr::Room room;
  for (const auto& indices : faces) {
    ctr::Face f;
    for (int i : indices) f.vertices.push_back(corners[static_cast<std::size_t>(i)]);
    const vec3f n = cross(f.vertices[1] - f.vertices[0], f.vertices[2] - f.vertices[0]);
    if (dot(n, mid - f.vertices[0]) < 0) std::reverse(f.vertices.begin(), f.vertices.end());
    room.faces.push_back(f);
  }
  std::copy(ctr::kGreen, ctr::kGreen + 4, room.faces[0].colour);
  return room;
}

inline quatf randomTurn(std::mt19937& rng) {
  std::normal_distribution<float> gauss;
  // Drawn last to first, one by one: the order of a call's arguments is not
  // set (gcc takes them last to first, clang first to last), and the figures
  // in BENCHMARKS.md were made with gcc's order.
  const float z = gauss(rng), y = gauss(rng), x = gauss(rng), w = gauss(rng);
  quatf q(w, x, y, z);
  const float m = q.magnitude();
  q = quatf(q.w / m, q.x / m, q.y / m, q.z / m);
  q.updateMatrix();
  return q;
}

// Random convex rooms of 0.2 to 2 units scattered through a cube that grows
// with the count, so that a room overlaps a few others whatever the count:
// turned boxes of uneven sides, wedges of 10 to 40 degrees, turned and
// stretched tetrahedra, and one room in a thousand a wedge of half a
// degree, whose sharp edge reaches far. Room 0 is an upright box around
// the origin, where the ball starts.
inline std::vector<ctr::Room> randomRooms(std::size_t count, unsigned seed = 1) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> unit(0, 1);
  const float side = 2.0f * std::cbrt(static_cast<float>(count));
  std::vector<ctr::Room> rooms;
  rooms.push_back(ctr::boxRoom({-0.5f, 0, -0.5f}, {0.5f, 1, 0.5f}));
  const std::vector<std::vector<int>> boxFaces = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                                  {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
  while (rooms.size() < count) {
    const float atZ = side * unit(rng), atY = side * unit(rng) - side / 2;  // last to first
    const vec3f at(side * unit(rng), atY, atZ);
    const float size = 0.2f + 1.8f * unit(rng);
    const quatf q = randomTurn(rng);
    auto place = [&](const vec3f& local) { return at + transformPoint(q.matrix, local); };
    if (rng() % 1000 == 0) {  // a thin wedge
      std::vector<vec3f> c = {place({0, 0, 0}), place({size, 0, 0}), place({size, size * 0.01f, 0})};
      for (int i = 0; i < 3; ++i) c.push_back(c[static_cast<std::size_t>(i)] + vec3f(0, 0, size / 2));
      rooms.push_back(solid(c, {{0, 1, 2}, {3, 4, 5}, {0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}}));
      continue;
    }
    switch (rng() % 3) {
      case 0: {
        const float halfZ = size * (0.1f + 0.4f * unit(rng));  // last to first
        const vec3f half(size / 2, size * (0.1f + 0.4f * unit(rng)), halfZ);
        std::vector<vec3f> corners;
        for (int i = 0; i < 8; ++i)
          corners.push_back(place({(i & 4) ? half.x : -half.x, (i & 2) ? half.y : -half.y,
                                   (i & 1) ? half.z : -half.z}));
        rooms.push_back(solid(corners, boxFaces));
        break;
      }
      case 1: {
        const float angle = (10 + 30 * unit(rng)) * 3.14159265f / 180;
        std::vector<vec3f> c = {place({0, 0, 0}), place({size, 0, 0}),
                                place({size, size * std::tan(angle), 0})};
        for (int i = 0; i < 3; ++i)
          c.push_back(place(vec3f(0, 0, size / 2)) - at + c[static_cast<std::size_t>(i)]);
        rooms.push_back(solid(c, {{0, 1, 2}, {3, 4, 5}, {0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}}));
        break;
      }
      default: {
        const float stretch = 0.5f + 1.5f * unit(rng);
        std::vector<vec3f> c;
        for (const vec3f& v : {vec3f(1, 1, 1), vec3f(1, -1, -1), vec3f(-1, 1, -1), vec3f(-1, -1, 1)})
          c.push_back(place(vec3f(v.x * stretch, v.y, v.z) * (size / 2)));
        rooms.push_back(solid(c, {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}}));
        break;
      }
    }
  }
  return rooms;
}

// Balls of radius 0.02 on a lattice 0.06 apart, filling a box of the given
// corner and size (x, y, z counts), with small random velocities.
inline std::vector<std::unique_ptr<CollisionSphere>> lattice(vec3f corner, int nx, int ny, int nz,
                                                             std::size_t count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> v(-0.002f, 0.002f);
  std::vector<std::unique_ptr<CollisionSphere>> balls;
  for (int y = 0; y < ny && balls.size() < count; ++y)
    for (int z = 0; z < nz && balls.size() < count; ++z)
      for (int x = 0; x < nx && balls.size() < count; ++x) {
        const vec3f p = corner + 0.06f * vec3f(static_cast<float>(x), static_cast<float>(y),
                                               static_cast<float>(z));
        std::unique_ptr<CollisionSphere> b(Sandbox_MakeBall(p));
        const float vz = v(rng), vy = v(rng);  // last to first
        b->velocity = vec3f(v(rng), vy, vz);
        updateTransforms(*b);
        balls.push_back(std::move(b));
      }
  return balls;
}

}  // namespace chambers
