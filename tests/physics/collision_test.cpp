// Containment and the contact tests.
#include <gtest/gtest.h>

#include <cmath>

#include "tests/physics/fixtures.h"

namespace {

using namespace Veruruve::Physics;

TEST(CollisionBox, ContainsPoint) {
  auto cube = fixtures::room({0, 0, 0}, {1, 1, 1});
  cube->collisionFaces[3].flags = kOpenFace;  // open faces reject like any other
  struct Case {
    vec3f p;
    bool inside;
  } cases[] = {
      {{0.5f, 0.5f, 0.5f}, true},  {{0, 0.5f, 0.5f}, true},  // on a plane: not rejected
      {{1, 1, 1}, true},           {{-0.001f, 0.5f, 0.5f}, false},
      {{0.5f, 1.001f, 0.5f}, false},  // through the open face
      {{0.5f, 0.5f, 1.001f}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(cube->containsPoint(c.p.x, c.p.y, c.p.z), c.inside) << c.p.toString();
  EXPECT_TRUE(CollisionBox().containsPoint(1e9f, 0, 0));  // no faces, no rejection
}

TEST(VolumeSphere, ContainsPointRelativeToItsCentre) {
  CollisionSphere s;
  s.position = vec3f(5, 5, 5);  // not used: the point is relative
  EXPECT_TRUE(s.containsPoint(1, 0, 0));
  EXPECT_FALSE(s.containsPoint(1.0001f, 0, 0));
  EXPECT_TRUE(s.containsPoint(0, -0.6f, 0.8f));
}

TEST(CollisionBox, OverlapsSphereWithinOneRadiusOutside) {
  auto cube = fixtures::room({0, 0, 0}, {1, 1, 1});
  auto b = fixtures::ball({1.015f, 0.5f, 0.5f});
  EXPECT_TRUE(cube->overlapsVolume(b.get()));
  b->position = vec3f(1.025f, 0.5f, 0.5f);
  EXPECT_FALSE(cube->overlapsVolume(b.get()));
  b->position = vec3f(0.5f, -0.015f, 0.5f);
  EXPECT_TRUE(cube->overlapsVolume(b.get()));
}

TEST(CollisionBox, OverlapsBoxBodyByItsVertices) {
  auto cube = fixtures::room({0, 0, 0}, {1, 1, 1});
  CollisionBox body;
  EXPECT_FALSE(cube->overlapsVolume(&body));  // no vertices
  body.addFace({{0, 0, 0}, {0.1f, 0, 0}, {0, 0.1f, 0}});
  body.orientation.w = 1;
  body.position = vec3f(2, 2, 2);
  updateTransforms(body);  // the vertices are moved by the body's transform
  EXPECT_FALSE(cube->overlapsVolume(&body));
  body.position = vec3f(0.95f, 0.95f, 0.5f);  // one corner pokes in
  updateTransforms(body);
  EXPECT_TRUE(cube->overlapsVolume(&body));
}

class SphereFace : public ::testing::Test {
 protected:
  std::unique_ptr<CollisionBox> cube = fixtures::room({-1, 0, -1}, {1, 2, 1});
  const CollisionFace& floor() { return cube->collisionFaces[2]; }
};

TEST_F(SphereFace, RestingExactlyOnTheFloorIsNoContact) {
  auto b = fixtures::ball({0.3f, 0.02f, 0.3f});
  ContactInfo c;
  EXPECT_FALSE(testSphereFace(*b, *cube, floor(), &c));
}

TEST_F(SphereFace, BelowTheFloorIsAFaceContact) {
  auto b = fixtures::ball({0.3f, 0.019f, 0.3f});
  ContactInfo c;
  ASSERT_TRUE(testSphereFace(*b, *cube, floor(), &c));
  EXPECT_EQ(c.normal, vec3f(0, 1, 0));
  EXPECT_NEAR(c.correction.y, -0.001f, 1e-7f);
  EXPECT_EQ(c.correction.x, 0);
  EXPECT_NEAR(c.point.y, 0.0001f, 1e-7f);  // the deepest point moved back 1.1 times the depth

  CollisionFace open = floor();
  open.flags = kOpenFace;
  EXPECT_FALSE(testSphereFace(*b, *cube, open, &c));
}

TEST_F(SphereFace, NearACornerFallsBackToTheFirstEdgeLineWithinReach) {
  // Centre just outside the wall x = 1 and 0.01 below the floor plane: the
  // floor's contact point lies outside the room.
  auto b = fixtures::ball({1.005f, 0.01f, 0.5f});
  ContactInfo c;
  ASSERT_TRUE(testSphereFace(*b, *cube, floor(), &c));
  // The floor's edges run through x = -1, z = -1, x = 1, z = 1 in some order;
  // only the line x = 1 (y = 0) passes within 0.02 of the centre.
  EXPECT_NEAR(c.point.x, 1, 1e-6f);
  EXPECT_NEAR(c.point.y, 0, 1e-6f);
  EXPECT_NEAR(c.point.z, 0.5f, 1e-6f);
  const float dist = std::sqrt(0.005f * 0.005f + 0.01f * 0.01f);
  EXPECT_NEAR(c.normal.x, -0.005f / dist, 1e-5f);
  EXPECT_NEAR(c.normal.y, -0.01f / dist, 1e-5f);
  EXPECT_NEAR(length(c.correction), 0.02f - dist, 1e-6f);
  EXPECT_GT(dot(c.correction, c.normal), 0);  // subtracted, it moves the ball away
}

TEST_F(SphereFace, EveryEdgeOfTheFaceIsTried) {
  // Just past each of the floor's four edges, 0.01 below its plane: the
  // floor's own contact point lies outside the room, and only the edge line
  // the ball hangs over passes within its radius. One of the four is the
  // closing edge, from the last vertex back to the first.
  struct Case {
    vec3f centre, foot;
  } cases[] = {
      {{1.005f, 0.01f, 0.5f}, {1, 0, 0.5f}},
      {{-1.005f, 0.01f, 0.5f}, {-1, 0, 0.5f}},
      {{0.5f, 0.01f, 1.005f}, {0.5f, 0, 1}},
      {{0.5f, 0.01f, -1.005f}, {0.5f, 0, -1}},
  };
  const float dist = std::sqrt(0.005f * 0.005f + 0.01f * 0.01f);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.centre.toString());
    auto b = fixtures::ball(k.centre);
    ContactInfo c;
    ASSERT_TRUE(testSphereFace(*b, *cube, floor(), &c));
    EXPECT_NEAR(c.point.x, k.foot.x, 1e-6f);
    EXPECT_NEAR(c.point.y, k.foot.y, 1e-6f);
    EXPECT_NEAR(c.point.z, k.foot.z, 1e-6f);
    // From the centre toward the edge line, (r - dist) long.
    const vec3f toward = (k.foot - k.centre) * (1 / dist);
    EXPECT_NEAR(c.normal.x, toward.x, 1e-5f);
    EXPECT_NEAR(c.normal.y, toward.y, 1e-5f);
    EXPECT_NEAR(c.normal.z, toward.z, 1e-5f);
    EXPECT_NEAR(dot(c.correction, c.normal), 0.02f - dist, 1e-6f);
  }
}

TEST_F(SphereFace, EdgeLinesAreInfinite) {
  // Far beyond the corner along the edge line x = 1, y = 0: the foot of the
  // perpendicular lies past the edge's end, and it still counts.
  auto b = fixtures::ball({1.005f, 0.01f, 5});
  ContactInfo c;
  ASSERT_TRUE(testSphereFace(*b, *cube, floor(), &c));
  EXPECT_NEAR(c.point.z, 5, 1e-5f);
  // Out of reach of every edge line: no contact with this face at all.
  b->position = vec3f(1.1f, 0.01f, 5);
  EXPECT_FALSE(testSphereFace(*b, *cube, floor(), &c));
}

TEST(VertexFace, BelowTheFloor) {
  auto cube = fixtures::room({-1, 0, -1}, {1, 2, 1});
  CollisionBox body;
  body.addFace({{0, -0.5f, 0}, {1, -0.5f, 0}, {0, -0.5f, 1}});
  body.orientation.w = 1;
  body.position = vec3f(0, 0.49f, 0);
  updateTransforms(body);
  ContactInfo c;
  ASSERT_TRUE(testVertexFace(body, body.vertices[0], cube->collisionFaces[2], &c));
  EXPECT_EQ(c.normal, vec3f(0, 1, 0));
  EXPECT_NEAR(c.correction.y, -0.011f, 1e-6f);  // 1.1 times the depth
  EXPECT_NEAR(c.point.y, -0.01f + 1.21f * 0.01f, 1e-6f);
  body.position = vec3f(0, 0.5f, 0);
  updateTransforms(body);
  EXPECT_FALSE(testVertexFace(body, body.vertices[0], cube->collisionFaces[2], &c));
}

TEST(SphereSphere, Table) {
  struct Case {
    vec3f o, p;
    bool contact;
    vec3f correction;
  } cases[] = {
      {{0.03f, 0, 0}, {0, 0, 0}, true, {0.00825f, 0, 0}},  // R = 0.04, (1 - 0.75) * 0.03 * 1.1
      {{0, 0, 0}, {0.03f, 0, 0}, true, {-0.00825f, 0, 0}},
      {{0.05f, 0, 0}, {0, 0, 0}, false, {}},  // rejected early: diff.x > R
      {{0, 0, 0}, {0, 0.04f, 0}, false, {}},  // touching: dist = R is no contact
      {{0.03f, 0.03f, 0}, {0, 0, 0}, false, {}},
      {{1, 1, 1}, {1, 1, 1}, true, {0, 0, 0}},  // coincident: found, zero correction
  };
  for (const Case& k : cases) {
    auto o = fixtures::ball(k.o);
    auto p = fixtures::ball(k.p);
    ContactInfo c;
    SCOPED_TRACE(k.o.toString() + " " + k.p.toString());
    ASSERT_EQ(testSphereSphere(*o, *p, &c), k.contact);
    if (!k.contact) continue;
    EXPECT_NEAR(c.correction.x, k.correction.x, 1e-8f);
    EXPECT_NEAR(c.correction.y, k.correction.y, 1e-8f);
    EXPECT_FALSE(std::isnan(c.normal.x));
  }
}

TEST(SphereSphere, CoincidentCentresChangeNoVelocity) {
  auto o = fixtures::ball({1, 1, 1});
  auto p = fixtures::ball({1, 1, 1});
  o->velocity = vec3f(0.01f, 0, 0);
  p->velocity = vec3f(0, -0.01f, 0);
  ContactInfo c;
  ASSERT_TRUE(testSphereSphere(*o, *p, &c));
  respondPair(*o, *p, c.normal, c.correction);
  EXPECT_EQ(o->velocity, vec3f(0.01f, 0, 0));
  EXPECT_EQ(p->velocity, vec3f(0, -0.01f, 0));
  EXPECT_EQ(o->position, vec3f(1, 1, 1));
}

TEST(SphereSphere, PairResponsePushesApartAndPassesOnAShare) {
  auto o = fixtures::ball({0.03f, 0, 0});
  auto p = fixtures::ball({0, 0, 0});
  o->velocity = vec3f(-0.01f, 0, 0);  // o runs into p
  ContactInfo c;
  ASSERT_TRUE(testSphereSphere(*o, *p, &c));
  respondPair(*o, *p, c.normal, c.correction);
  EXPECT_NEAR(o->position.x, 0.03825f, 1e-7f);
  EXPECT_NEAR(p->position.x, -0.00825f, 1e-7f);
  EXPECT_NEAR(o->velocity.x, 0, 1e-9f);         // 0.9 of what is left after the push
  EXPECT_NEAR(p->velocity.x, -0.00175f, 1e-9f);  // 0.175 of the push
  EXPECT_EQ(p->worldTransform[12], p->position.x);
}

// The pair response from either side: o at x = 0.03 and p at the origin, so
// the normal is (1, 0, 0) and each moves 0.00825 apart. Whichever moves
// toward the other keeps 0.9 of what is left after its approach is taken
// off, and passes 0.175 of the approach on; both approaches are measured
// before either is applied.
TEST(SphereSphere, PairResponseFromEitherSide) {
  struct Case {
    const char* what;
    vec3f o, p;                  // velocities before
    vec3f oAfter, pAfter;        // velocities after
    vec3f oForce, pForce;        // forces after, both zero before
  } cases[] = {
      {"o runs into p", {-0.01f, 0, 0}, {0, 0, 0},
       {0, 0, 0}, {-0.00175f, 0, 0}, {0.009f, 0, 0}, {-0.00175f, 0, 0}},
      {"p runs into o", {0, 0.005f, 0}, {0.01f, 0, 0},
       {0.00175f, 0.005f, 0}, {0, 0, 0}, {0.00175f, 0, 0}, {-0.009f, 0, 0}},
      // o: 0.9 x (0, 0.005, 0), then + 0.175 x 0.02 from p.
      // p: (0.02 - 0.00175, 0, 0.004) from o's push, then 0.9 x that minus 0.02.
      {"both run in", {-0.01f, 0.005f, 0}, {0.02f, 0, 0.004f},
       {0.0035f, 0.0045f, 0}, {-0.001575f, 0, 0.0036f}, {0.0125f, 0, 0}, {-0.019575f, 0, 0}},
      {"both move apart", {0.01f, 0, 0}, {-0.01f, 0.003f, 0},
       {0.01f, 0, 0}, {-0.01f, 0.003f, 0}, {0, 0, 0}, {0, 0, 0}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    auto o = fixtures::ball({0.03f, 0, 0});
    auto p = fixtures::ball({0, 0, 0});
    o->velocity = k.o;
    p->velocity = k.p;
    ContactInfo c;
    ASSERT_TRUE(testSphereSphere(*o, *p, &c));
    respondPair(*o, *p, c.normal, c.correction);
    const std::pair<vec3f, vec3f> checks[] = {{o->velocity, k.oAfter}, {p->velocity, k.pAfter},
                                              {o->force, k.oForce}, {p->force, k.pForce}};
    for (const auto& check : checks) {
      EXPECT_NEAR(check.first.x, check.second.x, 1e-8f) << check.second.toString();
      EXPECT_NEAR(check.first.y, check.second.y, 1e-8f) << check.second.toString();
      EXPECT_NEAR(check.first.z, check.second.z, 1e-8f) << check.second.toString();
    }
    EXPECT_NEAR(o->position.x, 0.03825f, 1e-7f);
    EXPECT_NEAR(p->position.x, -0.00825f, 1e-7f);
  }
}

}  // namespace
