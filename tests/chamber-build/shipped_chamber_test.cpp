// The chamber that ships with the program, checked from the files the build
// makes: the container file's rooms and gravity, and the model that must
// draw exactly their solid walls.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <tuple>

#include "geometry/model.h"
#include "tools/chamber-build/chamber.h"

namespace {

using chamber::ContainerFace;
using chamber::ContainerRoom;

vec3f Normal(const ContainerFace& f) {
  return normalised(cross(f.corners[1] - f.corners[0], f.corners[2] - f.corners[0]));
}

vec3f Centroid(const std::vector<vec3f>& points) {
  vec3f sum;
  for (const vec3f& p : points) sum += p;
  return sum / static_cast<float>(points.size());
}

// The room test of the physics: on the inner side of every face plane, open
// faces included.
bool Contains(const ContainerRoom& room, vec3f p, float slack = 0) {
  for (const ContainerFace& f : room.faces)
    if (dot(p - Centroid(f.corners), Normal(f)) < -slack) return false;
  return true;
}

bool AllOpen(const ContainerRoom& room) {
  for (const ContainerFace& f : room.faces)
    if (f.flags != 1) return false;
  return true;
}

// The gravity the program takes from a room: normalised, and only when a
// face carries the exact colour (0, 1, 0, 1); otherwise zero.
vec3f EffectiveGravity(const ContainerRoom& room) {
  for (const ContainerFace& f : room.faces)
    if (f.colour[0] == 0 && f.colour[1] == 1 && f.colour[2] == 0 && f.colour[3] == 1)
      return normalised(room.gravity);
  return vec3f();
}

float PolygonArea(const std::vector<vec3f>& p) {
  float area = 0;
  for (size_t k = 1; k + 1 < p.size(); ++k) area += 0.5f * length(cross(p[k] - p[0], p[k + 1] - p[0]));
  return area;
}

// Whether q, on the plane of the convex face, lies inside its outline.
bool InsideOutline(const ContainerFace& f, vec3f q) {
  const vec3f n = Normal(f);
  for (size_t i = 0; i < f.corners.size(); ++i) {
    const vec3f a = f.corners[i], b = f.corners[(i + 1) % f.corners.size()];
    if (dot(cross(b - a, q - a), n) < -1e-5f) return false;
  }
  return true;
}

class ShippedChamber : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::ifstream in(std::string(CHAMBER_DATA_DIR) + "/0.ctr", std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    std::string reason;
    ASSERT_TRUE(chamber::ReadContainerFile(bytes.str(), rooms_, reason)) << reason;
    ::testing::internal::CaptureStdout();
    const bool loaded = model_.Load(std::string(CHAMBER_DATA_DIR) + "/chamber.obj");
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_TRUE(loaded);
    ASSERT_NE(out.find("Loading MTL File"), std::string::npos);
  }
  static const Material* MaterialOf(const Triangle& t) {
    const Material* found = nullptr;
    for (const Material& m : model_.materials)
      if (m.name == t.material) found = &m;
    return found;
  }
  static std::vector<ContainerRoom> rooms_;
  static Model model_;
};
std::vector<ContainerRoom> ShippedChamber::rooms_;
Model ShippedChamber::model_;

TEST_F(ShippedChamber, HasFourRoomsAndGravityOntoFloorWallAndCeiling) {
  EXPECT_GE(rooms_.size(), 4u);
  std::set<std::tuple<float, float, float>> directions;
  bool down = false, up = false, sideways = false;
  for (const ContainerRoom& room : rooms_) {
    const vec3f g = EffectiveGravity(room);
    if (g == vec3f()) continue;
    EXPECT_EQ(length(g), 1.0f) << "the physics ignores a direction whose length is not exactly 1";
    directions.insert({g.x, g.y, g.z});
    down = down || g == vec3f(0, -1, 0);
    up = up || g == vec3f(0, 1, 0);
    sideways = sideways || g.y == 0;
  }
  EXPECT_GE(directions.size(), 3u);
  EXPECT_TRUE(down && up && sideways);
}

TEST_F(ShippedChamber, TheStartRestsAboveAFloorUnderDownwardGravity) {
  const vec3f start(0, 0.5f, 0);
  bool found = false;
  for (const ContainerRoom& room : rooms_) {
    if (!Contains(room, start)) continue;
    EXPECT_EQ(EffectiveGravity(room), vec3f(0, -1, 0)) << "every room at the start pulls down";
    if (AllOpen(room)) continue;
    for (const ContainerFace& f : room.faces) {
      if (f.flags == 1 || Normal(f) != vec3f(0, 1, 0)) continue;
      const vec3f below(start.x, f.corners[0].y, start.z);
      found = found || (below.y < start.y && InsideOutline(f, below));
    }
  }
  EXPECT_TRUE(found) << "no solid floor under the start";
}

TEST_F(ShippedChamber, HasAPureGravityZoneInsideOtherRooms) {
  bool found = false;
  for (size_t z = 0; z < rooms_.size(); ++z) {
    if (!AllOpen(rooms_[z]) || EffectiveGravity(rooms_[z]) == vec3f()) continue;
    std::vector<vec3f> centroids;
    for (const ContainerFace& f : rooms_[z].faces) centroids.push_back(Centroid(f.corners));
    for (size_t r = 0; r < rooms_.size(); ++r)
      found = found || (r != z && !AllOpen(rooms_[r]) && Contains(rooms_[r], Centroid(centroids)));
  }
  EXPECT_TRUE(found);
}

// Rooms meet through whole open faces with the same outline on both sides,
// and no open face leads out of every room: a ball that left them all would
// get no gravity and no walls.
TEST_F(ShippedChamber, OpenFacesAreWholeDoorwaysIntoOtherRooms) {
  auto cornerSet = [](const ContainerFace& f) {
    std::set<std::tuple<float, float, float>> set;
    for (const vec3f& p : f.corners) set.insert({p.x, p.y, p.z});
    return set;
  };
  for (size_t r = 0; r < rooms_.size(); ++r)
    for (const ContainerFace& f : rooms_[r].faces) {
      if (f.flags != 1) continue;
      const vec3f n = Normal(f), c = Centroid(f.corners);
      SCOPED_TRACE("open face at " + c.toString() + " of room " + std::to_string(r));
      if (!AllOpen(rooms_[r])) {
        bool matched = false;
        for (size_t o = 0; o < rooms_.size(); ++o)
          for (const ContainerFace& g : rooms_[o].faces)
            matched = matched || (o != r && g.flags == 1 && Normal(g) == -n && cornerSet(g) == cornerSet(f));
        EXPECT_TRUE(matched) << "no matching doorway on the other side";
      }
      std::vector<vec3f> samples{c};
      for (const vec3f& p : f.corners) samples.push_back(p + (c - p) * 0.05f);
      for (const vec3f& p : samples) {
        bool leads = false;
        for (size_t o = 0; o < rooms_.size() && !leads; ++o) {
          if (o == r) continue;
          leads = Contains(rooms_[o], p - n * 0.01f);
          // Or a solid wall of another room covers this spot.
          for (const ContainerFace& g : rooms_[o].faces)
            leads = leads || (g.flags != 1 && Contains(rooms_[o], p, 1e-5f) &&
                              std::fabs(dot(p - g.corners[0], Normal(g))) < 1e-5f);
        }
        EXPECT_TRUE(leads) << "leads out of every room at " << p.toString();
      }
    }
}

// Every triangle of the model lies on a solid face of a room and faces into
// that room (counter-clockwise seen from inside, normals inward), the
// non-emissive triangles cover every solid face except the lights, and no
// open face is drawn.
TEST_F(ShippedChamber, ModelDrawsExactlyTheSolidWallsFacingIn) {
  std::vector<std::vector<float>> drawn(rooms_.size()), lit(rooms_.size());
  for (size_t r = 0; r < rooms_.size(); ++r) {
    drawn[r].assign(rooms_[r].faces.size(), 0);
    lit[r].assign(rooms_[r].faces.size(), 0);
  }
  std::vector<std::set<std::tuple<float, float, float>>> colours(rooms_.size());
  for (const Triangle& t : model_.triangles) {
    const vec3f a = model_.vertices[t.vertexIndex[0]], b = model_.vertices[t.vertexIndex[1]],
                c = model_.vertices[t.vertexIndex[2]];
    const vec3f n = normalised(cross(b - a, c - a)), centre = (a + b + c) / 3.0f;
    const Material* m = MaterialOf(t);
    ASSERT_NE(m, nullptr) << t.material;
    bool onFace = false;
    for (size_t r = 0; r < rooms_.size() && !onFace; ++r)
      for (size_t f = 0; f < rooms_[r].faces.size() && !onFace; ++f) {
        const ContainerFace& face = rooms_[r].faces[f];
        if (face.flags == 1 || dot(n, Normal(face)) < 0.9999f) continue;
        if (std::fabs(dot(centre - face.corners[0], Normal(face))) > 1e-5f || !InsideOutline(face, centre)) continue;
        onFace = true;
        const float area = 0.5f * length(cross(b - a, c - a));
        const bool light = m->emissive[0] + m->emissive[1] + m->emissive[2] > 0;
        (light ? lit : drawn)[r][f] += area;
        if (!light) colours[r].insert({m->diffuse[0], m->diffuse[1], m->diffuse[2]});
        for (int k = 0; k < 3; ++k) EXPECT_EQ(t.normal[k], Normal(face));
      }
    EXPECT_TRUE(onFace) << "triangle at " << centre.toString() << " lies on no solid face, or faces out";
  }
  float lights = 0;
  for (size_t r = 0; r < rooms_.size(); ++r)
    for (size_t f = 0; f < rooms_[r].faces.size(); ++f) {
      const ContainerFace& face = rooms_[r].faces[f];
      if (face.flags == 1) continue;
      lights += lit[r][f];
      EXPECT_NEAR(drawn[r][f] + lit[r][f], PolygonArea(face.corners), 1e-3f)
          << "room " << r << " face " << f << " is not covered exactly once";
    }
  EXPECT_GT(lights, 0) << "no emissive light face";

  // Each room's colours are its own, so a person knows where they are.
  for (size_t r = 0; r < rooms_.size(); ++r)
    for (size_t o = r + 1; o < rooms_.size(); ++o)
      for (const auto& colour : colours[r]) EXPECT_EQ(colours[o].count(colour), 0u) << r << " and " << o;
}

}  // namespace
