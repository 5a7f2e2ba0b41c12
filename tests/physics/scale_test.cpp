// The rooms' index and the sphere grid against the plain loops they replace
// (tests/physics/reference_step.h): the same rooms, pairs, contacts and bits.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "physics/physics.h"
#include "physics/sphere_grid.h"
#include "sandbox/containers.h"
#include "tests/physics/fixtures.h"
#include "tests/physics/reference_step.h"

namespace {

using namespace Veruruve::Physics;
using fixtures::sameBits;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A convex solid given by its corners and faces (corner indices in order
// around the face); each face is wound so that its normal points inward.
std::unique_ptr<CollisionBox> solid(const std::vector<vec3f>& corners,
                                    const std::vector<std::vector<int>>& faces) {
  vec3f mid;
  for (const vec3f& c : corners) mid += c;
  mid = mid / static_cast<float>(corners.size());
  auto room = std::make_unique<CollisionBox>();
  for (const auto& face : faces) {
    Polygon polygon;
    for (int i : face) polygon.push_back(corners[static_cast<std::size_t>(i)]);
    const vec3f n = cross(polygon[1] - polygon[0], polygon[2] - polygon[0]);
    if (dot(n, mid - polygon[0]) < 0) std::reverse(polygon.begin(), polygon.end());
    room->addFace(polygon, 0);
  }
  room->gravity = vec3f(0, -1, 0);
  return room;
}

const std::vector<std::vector<int>> kCubeFaces = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                                  {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};

// A box of half sizes h, turned by the unit quaternion q, centred at c.
std::unique_ptr<CollisionBox> turnedBox(vec3f c, vec3f h, quatf q) {
  q.updateMatrix();
  std::vector<vec3f> corners;
  for (int i = 0; i < 8; ++i) {
    const vec3f local((i & 4) ? h.x : -h.x, (i & 2) ? h.y : -h.y, (i & 1) ? h.z : -h.z);
    corners.push_back(c + transformPoint(q.matrix, local));
  }
  return solid(corners, kCubeFaces);
}

// A prism over the triangle (0,0), (length, 0), (length, width) in x and y,
// from z0 to z1: a wedge with a sharp edge at the origin when width is small.
std::unique_ptr<CollisionBox> wedge(vec3f at, float length, float width, float depth) {
  std::vector<vec3f> corners = {at, at + vec3f(length, 0, 0), at + vec3f(length, width, 0)};
  for (int i = 0; i < 3; ++i) corners.push_back(corners[static_cast<std::size_t>(i)] + vec3f(0, 0, depth));
  return solid(corners, {{0, 1, 2}, {3, 4, 5}, {0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}});
}

// A square pyramid: four faces meet at the apex.
std::unique_ptr<CollisionBox> pyramid(vec3f at, float half, float height) {
  return solid({at + vec3f(-half, 0, -half), at + vec3f(half, 0, -half), at + vec3f(half, 0, half),
                at + vec3f(-half, 0, half), at + vec3f(0, height, 0)},
               {{0, 1, 2, 3}, {0, 1, 4}, {1, 2, 4}, {2, 3, 4}, {3, 0, 4}});
}

std::unique_ptr<CollisionBox> tetrahedron(const std::vector<vec3f>& corners) {
  return solid(corners, {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}});
}

// Rooms the index must keep in its every-step list, one of each kind.
std::vector<std::unique_ptr<CollisionBox>> oddRooms(std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-3, 3);
  std::vector<std::unique_ptr<CollisionBox>> rooms;
  // A box with one face missing: open toward +y.
  auto open = std::make_unique<CollisionBox>();
  {
    auto full = turnedBox({u(rng), u(rng), u(rng)}, {0.5f, 0.5f, 0.5f}, quatf(1, 0, 0, 0));
    for (std::size_t f = 0; f + 1 < full->collisionFaces.size(); ++f)
      open->addFace(full->collisionFaces[f].vertices, 0);
  }
  rooms.push_back(std::move(open));
  rooms.push_back(std::make_unique<CollisionBox>());  // no faces: holds everything
  // Inside out: every face wound the other way.
  {
    auto full = turnedBox({u(rng), u(rng), u(rng)}, {0.3f, 0.4f, 0.5f}, quatf(1, 0, 0, 0));
    auto inverted = std::make_unique<CollisionBox>();
    for (const CollisionFace& f : full->collisionFaces) {
      Polygon p = f.vertices;
      std::reverse(p.begin(), p.end());
      inverted->addFace(p, 0);
    }
    rooms.push_back(std::move(inverted));
  }
  // A single face, and a box whose faces all have collinear first vertices.
  {
    auto plane = std::make_unique<CollisionBox>();
    plane->addFace({{0, 0, 0}, {1, 0, 0}, {1, 0, 1}}, 0);
    rooms.push_back(std::move(plane));
    auto flat = std::make_unique<CollisionBox>();
    for (int i = 0; i < 6; ++i)
      flat->addFace({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {0, 1, 0}}, 0);
    rooms.push_back(std::move(flat));
  }
  // A box with a NaN corner, a huge box, and one moved by its transform.
  {
    auto bad = turnedBox({u(rng), u(rng), u(rng)}, {0.5f, 0.5f, 0.5f}, quatf(1, 0, 0, 0));
    Polygon p = bad->collisionFaces[0].vertices;
    p[0].x = kNaN;
    bad->addFace(p, 0);
    rooms.push_back(std::move(bad));
    rooms.push_back(turnedBox({0, 0, 0}, {1e7f, 1e7f, 1e7f}, quatf(1, 0, 0, 0)));
    auto moved = turnedBox({u(rng), u(rng), u(rng)}, {0.5f, 0.5f, 0.5f}, quatf(1, 0, 0, 0));
    moved->worldTransform[12] = 0.25f;
    rooms.push_back(std::move(moved));
  }
  return rooms;
}

// Random cases draw one value after another in the order written (braced
// lists and separate statements): the arguments of a call have no set order
// of evaluation, and the cases must be the same with every compiler.
quatf randomTurn(std::mt19937& rng) {
  std::normal_distribution<float> g;
  quatf q{g(rng), g(rng), g(rng), g(rng)};
  const float m = q.magnitude();
  return quatf(q.w / m, q.x / m, q.y / m, q.z / m);
}

// A random chamber of well-formed rooms of every size and shape, with the
// odd rooms mixed in at random places in the list.
std::vector<std::unique_ptr<CollisionBox>> randomChamber(std::mt19937& rng) {
  std::uniform_real_distribution<float> u(-3, 3), unit(0, 1);
  std::vector<std::unique_ptr<CollisionBox>> rooms;
  const int count = 20 + static_cast<int>(rng() % 40);
  for (int i = 0; i < count; ++i) {
    const vec3f at{u(rng), u(rng), u(rng)};
    switch (rng() % 7) {
      case 0:
        rooms.push_back(turnedBox(at, {0.1f + unit(rng), 0.1f + unit(rng), 0.1f + unit(rng)},
                                  quatf(1, 0, 0, 0)));
        break;
      case 1: {
        const vec3f half{0.1f + unit(rng), 0.05f + unit(rng), 0.1f + unit(rng)};
        rooms.push_back(turnedBox(at, half, randomTurn(rng)));
        break;
      }
      case 2: {  // thin wedges, down to a thousandth of a radian
        const float length = 0.5f + 2 * unit(rng);
        rooms.push_back(wedge(at, length, std::pow(10.0f, -3 * unit(rng)), 0.5f));
        break;
      }
      case 3: {
        const float base = 0.2f + unit(rng);
        rooms.push_back(pyramid(at, base, 0.1f + 2 * unit(rng)));
        break;
      }
      case 4: {
        std::vector<vec3f> corners;
        for (int c = 0; c < 4; ++c) corners.push_back(at + vec3f{unit(rng), unit(rng), unit(rng)});
        rooms.push_back(tetrahedron(corners));
        break;
      }
      case 5: {  // tiny rooms
        const vec3f half{1e-4f, 2e-4f, 1e-3f * unit(rng) + 1e-5f};
        rooms.push_back(turnedBox(at, half, randomTurn(rng)));
        break;
      }
      default: {  // large rooms
        const vec3f half{50 * unit(rng) + 1, 20 * unit(rng) + 1, 100};
        rooms.push_back(turnedBox(at, half, randomTurn(rng)));
        break;
      }
    }
  }
  for (auto& odd : oddRooms(rng)) {
    const std::size_t at = rng() % (rooms.size() + 1);
    rooms.insert(rooms.begin() + static_cast<std::ptrdiff_t>(at), std::move(odd));
  }
  return rooms;
}

// A point of interest of the chamber for a body of radius r: somewhere
// random, on a face, or at a corner pushed out by r along its faces'
// normals, sometimes nudged by one unit in the last place.
vec3f probe(std::mt19937& rng, const std::vector<std::unique_ptr<CollisionBox>>& rooms, float r) {
  std::uniform_real_distribution<float> u(-4, 4), unit(0, 1);
  const CollisionBox& room = *rooms[rng() % rooms.size()];
  vec3f p{u(rng), u(rng), u(rng)};
  if (!room.collisionFaces.empty() && rng() % 4 != 0) {
    const CollisionFace& f = room.collisionFaces[rng() % room.collisionFaces.size()];
    const vec3f& corner = f.vertices[rng() % f.vertices.size()];
    switch (rng() % 3) {
      case 0:  // on the face, moved out by r
        p = f.centroid + unit(rng) * (corner - f.centroid) - r * f.normal;
        break;
      case 1:  // on an edge
        p = corner + unit(rng) * (f.vertices[(rng() % f.vertices.size())] - corner) - r * f.normal;
        break;
      default: {  // at a corner, pushed out along every face that has it
        p = corner;
        for (const CollisionFace& g : room.collisionFaces)
          for (const vec3f& v : g.vertices)
            if (v == corner) p = p - r * g.normal;
        break;
      }
    }
  }
  for (float* c : {&p.x, &p.y, &p.z}) {
    const int nudge = static_cast<int>(rng() % 5) - 2;
    for (int i = 0; i < std::abs(nudge); ++i) *c = std::nextafter(*c, nudge > 0 ? kInf : -kInf);
  }
  return p;
}

struct Chamber {
  std::vector<std::unique_ptr<CollisionBox>> owned;
  PhysicsWorld world;
  explicit Chamber(std::vector<std::unique_ptr<CollisionBox>> rooms) : owned(std::move(rooms)) {
    for (auto& r : owned) world.containers.push_back(r.get());
    buildRoomIndex(world);
  }
  std::vector<std::uint32_t> rooms(const Volume& body) const {
    std::vector<std::uint32_t> out;
    findRooms(world, body, &out);
    return out;
  }
};

TEST(RoomIndex, GivesExactlyTheRoomsOfTheFullScanInRandomChambers) {
  std::mt19937 rng(20261210);
  const float radii[] = {0, 1e-3f, 0.02f, 0.25f, 1, 5, -0.05f, 300};
  for (int trial = 0; trial < 40; ++trial) {
    Chamber chamber(randomChamber(rng));
    const RoomIndexStats stats = roomIndexStats(chamber.world);
    ASSERT_EQ(stats.alwaysTested, 8u) << "the odd rooms, and only those, are tested every step";
    ASSERT_EQ(stats.indexedRooms + stats.alwaysTested, chamber.world.containers.size());

    for (int b = 0; b < 100; ++b) {
      CollisionSphere ball;
      ball.radius = radii[rng() % (sizeof radii / sizeof radii[0])];
      ball.position = probe(rng, chamber.owned, ball.radius);
      const auto expected = reference::roomsOf(chamber.world, ball);
      ASSERT_EQ(chamber.rooms(ball), expected)
          << "trial " << trial << " ball " << b << " r " << ball.radius << " at " << ball.position.x
          << "," << ball.position.y << "," << ball.position.z;
    }
    // A small box body, turned: each of its corners is tested as a point.
    for (int b = 0; b < 20; ++b) {
      auto box = turnedBox(vec3f(), {0.05f, 0.1f, 0.02f}, quatf(1, 0, 0, 0));
      box->position = probe(rng, chamber.owned, 0);
      box->orientation = randomTurn(rng);
      updateTransforms(*box);
      ASSERT_EQ(chamber.rooms(*box), reference::roomsOf(chamber.world, *box)) << trial << " " << b;
    }
  }
}

// Rooms inside rooms, each a little larger: a tree split by area leans to
// one side here, and must still find every room (and stay within its
// search's bounds).
TEST(RoomIndex, FindsEveryRoomOfADeepNest) {
  std::vector<std::unique_ptr<CollisionBox>> rooms;
  float half = 0.01f;
  for (int i = 0; i < 400; ++i, half *= 1.05f)
    rooms.push_back(turnedBox({half * 0.5f, 0, 0}, {half, half, half}, quatf(1, 0, 0, 0)));
  Chamber chamber(std::move(rooms));
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-1, 1);
  for (int b = 0; b < 300; ++b) {
    CollisionSphere ball;
    ball.radius = 0.02f;
    const float reach = std::pow(10.0f, 3 * u(rng));
    ball.position = vec3f{u(rng), u(rng), u(rng)} * reach;
    ASSERT_EQ(chamber.rooms(ball), reference::roomsOf(chamber.world, ball)) << b;
  }
}

TEST(RoomIndex, BodiesThatAreNotFiniteGetWhatTheFullScanGives) {
  std::mt19937 rng(7);
  Chamber chamber(randomChamber(rng));
  const vec3f positions[] = {{kNaN, 0, 0}, {0, kInf, 0}, {-kInf, 0, 0}, {1e30f, 0, 0}};
  for (const vec3f& p : positions)
    for (float r : {0.02f, kNaN, kInf, 1e30f}) {
      CollisionSphere ball;
      ball.position = p;
      ball.radius = r;
      EXPECT_EQ(chamber.rooms(ball), reference::roomsOf(chamber.world, ball)) << p.x << " " << r;
    }
  for (float r : {kNaN, kInf, 1e30f}) {
    CollisionSphere ball;
    ball.position = vec3f(0, 0, 0);
    ball.radius = r;
    EXPECT_EQ(chamber.rooms(ball), reference::roomsOf(chamber.world, ball)) << r;
  }
}

// A body to place anywhere: a ball of the given radius, or for a negative
// one a box of one vertex, which the rooms test as a point.
struct EdgeProbe {
  CollisionSphere ball;
  VolumeBox point;
  bool asPoint = false;
  explicit EdgeProbe(float radius) : asPoint(radius < 0) {
    ball.radius = radius;
    point.vertices.resize(1);
  }
  const Volume& at(const vec3f& p) {
    if (asPoint) {
      point.vertices[0] = p;
      return point;
    }
    ball.position = p;
    return ball;
  }
  float radius() const { return asPoint ? 0.0f : ball.radius; }
};

// A face plane as a room's test sees it for a body of radius r, in single
// precision: through s = c - r n, with the normal (s + n) - s. Far from the
// origin that normal is n turned by its rounding, and the planes' corners
// move by far more than a unit in the last place: there the index's bound
// is tested hardest.
struct TestedPlane {
  double at[3], normal[3];
};

TestedPlane testedPlane(const CollisionFace& f, float r) {
  const vec3f s = f.centroid - r * f.normal;
  const vec3f n = (s + f.normal) - s;
  return {{s.x, s.y, s.z}, {n.x, n.y, n.z}};
}

double det3(const double a[3], const double b[3], const double c[3]) {
  return a[0] * (b[1] * c[2] - b[2] * c[1]) - a[1] * (b[0] * c[2] - b[2] * c[0]) +
         a[2] * (b[0] * c[1] - b[1] * c[0]);
}

// The point where three planes meet (Cramer's rule); false when they meet in
// no single point.
bool planesMeet(const TestedPlane* p[3], double out[3]) {
  double rhs[3];
  for (int i = 0; i < 3; ++i)
    rhs[i] = p[i]->normal[0] * p[i]->at[0] + p[i]->normal[1] * p[i]->at[1] +
             p[i]->normal[2] * p[i]->at[2];
  const double det = det3(p[0]->normal, p[1]->normal, p[2]->normal);
  if (std::fabs(det) < 1e-12) return false;
  for (int k = 0; k < 3; ++k) {
    double m[3][3];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) m[i][j] = j == k ? rhs[i] : p[i]->normal[j];
    out[k] = det3(m[0], m[1], m[2]) / det;
  }
  return true;
}

// Where the lines are aimed: the corners where the tested planes of three
// faces that share a vertex meet, and the middles of the faces.
std::vector<std::array<double, 3>> edgeTargets(const CollisionBox& room, float r) {
  std::vector<TestedPlane> planes;
  for (const CollisionFace& f : room.collisionFaces) planes.push_back(testedPlane(f, r));
  std::vector<std::array<double, 3>> targets;
  for (const vec3f& v : room.vertices) {
    std::vector<const TestedPlane*> at;
    for (std::size_t f = 0; f < planes.size(); ++f) {
      const Polygon& face = room.collisionFaces[f].vertices;
      if (std::find(face.begin(), face.end(), v) != face.end()) at.push_back(&planes[f]);
    }
    for (std::size_t i = 0; i < at.size(); ++i)
      for (std::size_t j = i + 1; j < at.size(); ++j)
        for (std::size_t k = j + 1; k < at.size(); ++k) {
          const TestedPlane* three[3] = {at[i], at[j], at[k]};
          std::array<double, 3> p;
          if (planesMeet(three, p.data())) targets.push_back(p);
        }
  }
  for (const TestedPlane& p : planes) targets.push_back({p.at[0], p.at[1], p.at[2]});
  return targets;
}

vec3f nudged(vec3f p, int dx, int dy, int dz) {
  float* c[3] = {&p.x, &p.y, &p.z};
  const int by[3] = {dx, dy, dz};
  for (int k = 0; k < 3; ++k)
    if (by[k] != 0) *c[k] = std::nextafter(*c[k], by[k] > 0 ? kInf : -kInf);
  return p;
}

// Where a room's own test changes its answer, its rounding decides, and the
// index's bounds must be widened enough for it (random places almost never
// come that close). Such places are found on purpose: the line from a
// room's middle through a corner or a face middle of the region its test
// accepts is bisected down to two neighbouring points, one accepted and one
// not. There, and one unit in the last place around them, the index must
// give the scan's rooms.
TEST(RoomIndex, GivesTheScansRoomsWhereARoomsTestChangesItsAnswer) {
  std::mt19937 rng(22);
  struct Case {
    const char* what;
    std::unique_ptr<CollisionBox> room;
  };
  std::vector<Case> cases;
  cases.push_back({"unit cube", turnedBox({0.5f, 0.5f, 0.5f}, {0.5f, 0.5f, 0.5f}, quatf(1, 0, 0, 0))});
  cases.push_back({"turned", turnedBox({0.3f, -0.2f, 0.7f}, {1, 0.8f, 0.6f}, randomTurn(rng))});
  cases.push_back({"stretched", turnedBox({10, -5, 3}, {40, 0.5f, 3}, randomTurn(rng))});
  cases.push_back({"large", turnedBox({0, 0, 0}, {300, 200, 100}, randomTurn(rng))});
  cases.push_back({"small", turnedBox({0.5f, 0.5f, 0.5f}, {1e-3f, 2e-3f, 5e-4f}, randomTurn(rng))});
  cases.push_back({"thin wedge", wedge({1, 2, 3}, 2, 1e-3f, 0.5f)});
  cases.push_back({"long thin wedge, far", wedge({500, 0, -300}, 50, 0.05f, 10)});
  cases.push_back({"pyramid", pyramid({-3, 1, 2}, 1, 2)});
  cases.push_back({"far", turnedBox({1000, -2000, 500}, {2, 1, 3}, randomTurn(rng))});
  cases.push_back({"farther", turnedBox({1e5f, 3e4f, -2e5f}, {200, 50, 100}, randomTurn(rng))});
  cases.push_back({"at the index's limit",
                   turnedBox({3e6f, -1e6f, 2e6f}, {2000, 1000, 3000}, randomTurn(rng))});
  cases.push_back({"far tetrahedron",
                   tetrahedron({{-7e4f, 100, 2e3f}, {-6.9e4f, 300, 2.1e3f}, {-7e4f, 900, 2.5e3f},
                                {-6.95e4f, 200, 3e3f}})});
  const float radii[] = {-1 /* a point */, 0, 0.02f, 0.03125f, 0.05f, 0.7f, 25};

  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    double middle[3] = {0, 0, 0};
    for (const vec3f& v : c.room->vertices) {
      middle[0] += v.x;
      middle[1] += v.y;
      middle[2] += v.z;
    }
    for (double& m : middle) m /= static_cast<double>(c.room->vertices.size());
    std::vector<std::unique_ptr<CollisionBox>> rooms;
    rooms.push_back(std::move(c.room));
    Chamber chamber(std::move(rooms));
    ASSERT_EQ(roomIndexStats(chamber.world).indexedRooms, 1u);
    const CollisionBox& room = *chamber.owned[0];

    for (float r : radii) {
      SCOPED_TRACE(r);
      EdgeProbe probe(r);
      std::size_t edges = 0, mismatches = 0;
      std::string first;
      for (const auto& target : edgeTargets(room, probe.radius())) {
        // The line's point at lambda: the middle at 0, the target at 1.
        auto along = [&](double lambda) {
          return vec3f(static_cast<float>(middle[0] + lambda * (target[0] - middle[0])),
                       static_cast<float>(middle[1] + lambda * (target[1] - middle[1])),
                       static_cast<float>(middle[2] + lambda * (target[2] - middle[2])));
        };
        auto accepts = [&](const vec3f& p) { return room.overlapsVolume(&probe.at(p)); };
        double in = 0, out = 2;
        if (!accepts(along(in)) || accepts(along(out))) continue;
        for (int i = 0; i < 200; ++i) {
          const double mid = 0.5 * (in + out);
          const vec3f p = along(mid);
          if (p == along(in) || p == along(out)) break;
          (accepts(p) ? in : out) = mid;
        }
        ++edges;
        for (const vec3f& end : {along(in), along(out)})
          for (int d = 0; d < 27; ++d) {
            const vec3f p = nudged(end, d % 3 - 1, d / 3 % 3 - 1, d / 9 - 1);
            const Volume& body = probe.at(p);
            if (chamber.rooms(body) == reference::roomsOf(chamber.world, body)) continue;
            if (mismatches++ == 0)
              first = "at " + std::to_string(p.x) + "," + std::to_string(p.y) + "," +
                      std::to_string(p.z);
          }
      }
      EXPECT_GT(edges, room.collisionFaces.size()) << "the bisection found the room's edges";
      EXPECT_EQ(mismatches, 0u) << first;
    }
  }
}

TEST(RoomIndex, IsUsedOnlyForTheListItWasBuiltFor) {
  PhysicsWorld world;
  auto a = fixtures::room({-1, 0, -1}, {1, 1, 1});
  auto b = fixtures::room({-1, 0, -1}, {1, 1, 1});
  world.containers.push_back(a.get());
  buildRoomIndex(world);
  EXPECT_EQ(roomIndexStats(world).indexedRooms, 1u);
  // A room added after the index was built is still found.
  world.containers.push_back(b.get());
  auto ball = fixtures::ball({0, 0.5f, 0});
  std::vector<std::uint32_t> rooms;
  findRooms(world, *ball, &rooms);
  EXPECT_EQ(rooms, (std::vector<std::uint32_t>{0, 1}));
  world.containers.clear();
}

// The loader indexes what it reads.
TEST(RoomIndex, IsBuiltWhenTheContainerFileIsLoaded) {
  const auto bytes = ctr::encode({ctr::boxRoom({0, 0, 0}, {1, 1, 1}), ctr::boxRoom({1, 0, 0}, {2, 1, 1}),
                                  ctr::Room()});
  PhysicsWorld world;
  Containers_LoadMemory(world, bytes.data(), bytes.size());
  const RoomIndexStats stats = roomIndexStats(world);
  EXPECT_EQ(stats.indexedRooms, 2u);
  EXPECT_EQ(stats.alwaysTested, 1u);  // the room without faces
  EXPECT_GT(stats.bytes, 0u);
  destroyContainers(world);
  EXPECT_EQ(roomIndexStats(world).bytes, 0u);
}

// The grid's two queries against every pair: each sphere that touches j is
// among the partners found for the earlier one and among the neighbours
// found for j, whatever the radii and places, before and after moves.
TEST(SphereGrid, FindsEveryTouchingPairWithinTheRangeAsked) {
  std::mt19937 rng(14);
  std::uniform_real_distribution<float> u(-0.3f, 0.3f), unit(0, 1);
  const float odd[] = {0.4f, kNaN, 0.02f, 1e30f, -0.03f, 0};
  std::vector<std::unique_ptr<CollisionSphere>> balls;
  std::vector<Volume*> objects;
  for (int i = 0; i < 300; ++i) {
    auto b = fixtures::ball({u(rng), u(rng), u(rng)});
    b->radius = i % 29 == 5 ? odd[(i / 29) % 6] : 0.01f + 0.03f * unit(rng);
    if (i % 71 == 3) b->position.x = i % 2 ? kInf : kNaN;
    objects.push_back(b.get());
    balls.push_back(std::move(b));
  }
  objects.insert(objects.begin() + 100, new CollisionBox);  // not a sphere: never in a pair
  std::unique_ptr<Volume> box(objects[100]);
  const auto n = static_cast<std::uint32_t>(objects.size());
  auto touch = [&](std::uint32_t a, std::uint32_t b) {
    if (objects[a]->shape != Sphere || objects[b]->shape != Sphere) return false;
    ContactInfo contact;
    return testSphereSphere(static_cast<VolumeSphere&>(*objects[a]),
                            static_cast<VolumeSphere&>(*objects[b]), &contact);
  };
  SphereGrid grid;
  buildSphereGrid(grid, objects);
  std::vector<std::uint32_t> near, partners;
  for (int round = 0; round < 6; ++round) {
    std::size_t pairs = 0;
    for (std::uint32_t j = 0; j < n; ++j) {
      const std::uint32_t lo = j % 3 == 0 ? kNoSphere : j / 3;  // none below, or some
      near.clear();
      sphereNeighbours(grid, objects, j, lo, j, &near);
      for (std::uint32_t k : near) EXPECT_TRUE(k < j && (lo == kNoSphere || k > lo));
      std::sort(near.begin(), near.end());
      for (std::uint32_t k = lo == kNoSphere ? 0 : lo + 1; k < j; ++k) {
        if (!touch(k, j)) continue;
        ++pairs;
        EXPECT_TRUE(std::binary_search(near.begin(), near.end(), k)) << k << " near " << j;
        // From k itself, and from a sphere between k and j.
        for (std::uint32_t after : {k, k + (j - k) / 2}) {
          spherePartners(grid, objects, k, after, &partners);
          // Strictly increasing: a partner found twice would be tested twice.
          EXPECT_TRUE(std::adjacent_find(partners.begin(), partners.end(),
                                         std::greater_equal<std::uint32_t>()) == partners.end());
          EXPECT_TRUE(partners.empty() || partners.front() > after);
          EXPECT_TRUE(std::binary_search(partners.begin(), partners.end(), j)) << j << " after " << k;
        }
      }
    }
    EXPECT_GT(pairs, 200u);
    // Half of them move, reported one by one as during a pass, or unreported
    // until the grid is made again for the next step, with a few sent beyond
    // the cells and brought back, and a few (during a pass) stepping into
    // the next cell and back, which must leave no list holding them twice.
    const bool duringAPass = round % 2 == 0;
    for (std::uint32_t i = 0; i < n; i += 2) {
      vec3f& p = objects[i]->position;
      if (i % 34 == 0) {
        p.x = std::fabs(p.x) > 1e6f ? u(rng) : 3e6f;
      } else if (duringAPass && i % 10 == 4) {
        const float step = static_cast<float>(grid.cellSize);
        p.y += step;
        moveSphere(grid, objects, i);
        p.y -= step;
      } else {
        p += vec3f{0.1f * u(rng), 0.1f * u(rng), 0.1f * u(rng)};
      }
      if (duringAPass) moveSphere(grid, objects, i);
    }
    if (!duringAPass) buildSphereGrid(grid, objects);
  }
}

// Two copies of a world over the same rooms: one stepped by stepPhysics,
// the other by the plain loops; every body, contact and candidate list is
// compared bit for bit after every step.
struct Twin {
  std::vector<std::unique_ptr<CollisionBox>> rooms;
  std::vector<std::unique_ptr<Volume>> fast, plain;
  PhysicsWorld fastWorld, plainWorld;

  void addRoom(std::unique_ptr<CollisionBox> room) {
    fastWorld.containers.push_back(room.get());
    plainWorld.containers.push_back(room.get());
    rooms.push_back(std::move(room));
  }
  void addBall(vec3f position, float radius, vec3f velocity) {
    for (auto* list : {&fast, &plain}) {
      std::unique_ptr<CollisionSphere> b(Sandbox_MakeBall(position));
      b->radius = radius;
      b->velocity = velocity;
      updateTransforms(*b);
      list->push_back(std::move(b));
    }
  }
  void addBox(vec3f position) {
    for (auto* list : {&fast, &plain}) {
      auto box = turnedBox(vec3f(), {0.05f, 0.05f, 0.05f}, quatf(1, 0, 0, 0));
      box->position = position;
      box->orientation = quatf(1, 0, 0, 0);
      box->mass = 5;
      updateTransforms(*box);
      list->push_back(std::move(box));
    }
  }
  void start() {
    for (auto& b : fast) fastWorld.objects.push_back(b.get());
    for (auto& b : plain) plainWorld.objects.push_back(b.get());
    buildRoomIndex(fastWorld);
  }
  // Runs the steps; returns the number of sphere pairs among the contacts
  // left by the last pass of each step, failing at the first difference.
  std::size_t run(int steps) {
    std::size_t contacts = 0;
    for (int s = 0; s < steps; ++s) {
      stepPhysics(fastWorld);
      reference::step(plainWorld);
      for (std::size_t i = 0; i < fast.size(); ++i) {
        const Volume& a = *fast[i];
        const Volume& b = *plain[i];
        const bool same = sameBits(a.position, b.position) && sameBits(a.velocity, b.velocity) &&
                          sameBits(a.force, b.force) && sameBits(a.gravity, b.gravity) &&
                          sameBits(a.angularMomentum, b.angularMomentum) &&
                          std::memcmp(&a.worldTransform, &b.worldTransform, sizeof(mat4f)) == 0 &&
                          a.containerIndices == b.containerIndices;
        if (!same) {
          ADD_FAILURE() << "step " << s << " body " << i << ": position "
                        << a.position.x << "," << a.position.y << "," << a.position.z << " expected "
                        << b.position.x << "," << b.position.y << "," << b.position.z
                        << ", rooms " << a.containerIndices.size() << " expected "
                        << b.containerIndices.size();
          return contacts;
        }
      }
      const auto& fc = fastWorld.contacts;
      const auto& pc = plainWorld.contacts;
      if (fc.size() != pc.size()) {
        ADD_FAILURE() << "step " << s << ": " << fc.size() << " contacts, expected " << pc.size();
        return contacts;
      }
      for (std::size_t c = 0; c < fc.size(); ++c) {
        if (!sameBits(fc[c].point, pc[c].point) || !sameBits(fc[c].correction, pc[c].correction) ||
            indexOf(fastWorld, fc[c].body) != indexOf(plainWorld, pc[c].body) ||
            indexOf(fastWorld, fc[c].other) != indexOf(plainWorld, pc[c].other)) {
          ADD_FAILURE() << "step " << s << " contact " << c;
          return contacts;
        }
      }
      for (const Contact& c : fc) contacts += indexOf(fastWorld, c.other) >= 0 ? 1 : 0;
    }
    return contacts;
  }
  // A body as its index in objects, a room as -1 - its index.
  static long indexOf(const PhysicsWorld& w, const Volume* v) {
    for (std::size_t i = 0; i < w.objects.size(); ++i)
      if (w.objects[i] == v) return static_cast<long>(i);
    for (std::size_t k = 0; k < w.containers.size(); ++k)
      if (w.containers[k] == v) return -1 - static_cast<long>(k);
    return 1 << 30;
  }
};

TEST(StepAtScale, ARainOfBallsInOneRoomMatchesThePlainLoops) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-0.13f, 0.13f), h(0.02f, 0.98f), v(-0.01f, 0.01f);
  Twin twin;
  twin.addRoom(fixtures::room({-0.15f, 0, -0.15f}, {0.15f, 1, 0.15f}));
  for (int i = 0; i < 300; ++i) {
    const vec3f at{u(rng), h(rng), u(rng)};
    twin.addBall(at, 0.02f, {v(rng), v(rng), v(rng)});
  }
  twin.start();
  EXPECT_GT(twin.run(150), 200u) << "the balls should pile up and touch";
}

TEST(StepAtScale, MixedBodiesInAGridOfOpenRoomsMatchThePlainLoops) {
  std::mt19937 rng(12);
  std::uniform_real_distribution<float> u(0, 1), v(-0.02f, 0.02f);
  Twin twin;
  // 3 x 3 rooms, neighbours joined through open walls, gravity turning.
  for (int i = 0; i < 9; ++i) {
    const float x = 0.3f * static_cast<float>(i % 3), z = 0.3f * static_cast<float>(i / 3);
    auto room = fixtures::room({x, 0, z}, {x + 0.3f, 1, z + 0.3f},
                               i % 2 ? vec3f(0, -1, 0) : vec3f(0.6f, -0.8f, 0));
    for (CollisionFace& f : room->collisionFaces) {
      const bool innerX = (f.normal.x > 0.5f && i % 3 > 0) || (f.normal.x < -0.5f && i % 3 < 2);
      const bool innerZ = (f.normal.z > 0.5f && i / 3 > 0) || (f.normal.z < -0.5f && i / 3 < 2);
      if (innerX || innerZ) f.flags = kOpenFace;
    }
    twin.addRoom(std::move(room));
  }
  const float radii[] = {0.01f, 0.02f, 0.04f, 0.03f};
  for (int i = 0; i < 150; ++i) {
    const vec3f at{0.05f + 0.8f * u(rng), 0.05f + 0.9f * u(rng), 0.05f + 0.8f * u(rng)};
    twin.addBall(at, radii[i % 4], {v(rng), v(rng), v(rng)});
  }
  twin.addBall({0.45f, 0.5f, 0.45f}, 0.12f, {0.01f, 0, 0});  // one large ball among them
  twin.addBall({kNaN, 0.5f, 0.45f}, 0.02f, {});               // a lost one touches nothing
  twin.addBox({0.4f, 0.5f, 0.1f});
  twin.start();
  EXPECT_GT(twin.run(100), 20u);
}

// Between steps a tool or the user may move bodies, resize them, or add
// one: the next step starts from the world as it is then.
TEST(StepAtScale, ChangesBetweenStepsMatchThePlainLoops) {
  std::mt19937 rng(15);
  std::uniform_real_distribution<float> u(-0.13f, 0.13f), h(0.02f, 0.5f);
  Twin twin;
  twin.addRoom(fixtures::room({-0.15f, 0, -0.15f}, {0.15f, 1, 0.15f}));
  for (int i = 0; i < 200; ++i) twin.addBall({u(rng), h(rng), u(rng)}, 0.02f, {});
  twin.start();
  // The same change to both copies.
  auto change = [&](auto&& what) {
    for (auto* list : {&twin.fast, &twin.plain})
      for (std::size_t i = 0; i < list->size(); ++i)
        what(i, static_cast<VolumeSphere&>(*(*list)[i]));
  };
  twin.run(30);
  std::vector<vec3f> places;  // dropped anew onto the pile
  for (int i = 0; i < 20; ++i) places.push_back({u(rng), h(rng), u(rng)});
  change([&](std::size_t i, VolumeSphere& b) {
    if (i % 10 == 0) b.position = places[i / 10];
  });
  twin.run(10);
  change([](std::size_t i, VolumeSphere& b) {  // out beyond the cells and back
    if (i == 7) b.position.x = 3e6f;
  });
  twin.run(3);
  change([](std::size_t i, VolumeSphere& b) {
    if (i == 7) b.position.x = 0.01f;
  });
  twin.run(10);
  change([](std::size_t i, VolumeSphere& b) {  // larger ones, then all alike again
    if (i % 50 == 1) b.radius = 0.05f;
  });
  twin.run(10);
  change([](std::size_t, VolumeSphere& b) { b.radius = 0.02f; });
  twin.run(10);
  twin.addBall({0, 0.3f, 0}, 0.02f, {});  // one more body
  twin.fastWorld.objects.push_back(twin.fast.back().get());
  twin.plainWorld.objects.push_back(twin.plain.back().get());
  EXPECT_GT(twin.run(20), 100u);
}

// Radii and places the cells cannot hold: each is checked against every
// other sphere, or never touches anything.
TEST(StepAtScale, OddSpheresMatchThePlainLoops) {
  const float radii[] = {0, -0.02f, kNaN, kInf, 1e30f, 0.02f};
  for (float odd : radii) {
    Twin twin;
    twin.addRoom(fixtures::room({-0.5f, 0, -0.5f}, {0.5f, 1, 0.5f}));
    for (int i = 0; i < 12; ++i)
      twin.addBall({-0.3f + 0.05f * static_cast<float>(i), 0.2f, 0}, 0.03f, {0.004f, 0, 0});
    twin.addBall({0, 0.21f, 0.01f}, odd, {});
    twin.addBall({0.1f, 0.2f, 0}, 0.03f, {});
    twin.addBall({3e6f, 0.2f, 0}, 0.03f, {});  // far beyond the cells
    twin.start();
    twin.run(30);
  }
}

}  // namespace
