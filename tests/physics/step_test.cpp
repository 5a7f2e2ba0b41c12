// The step: integration, transforms, gravity blending, contact passes and
// damping, and a dropped ball coming to rest.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "tests/physics/fixtures.h"

namespace {

using namespace Veruruve::Physics;
using fixtures::sameBits;

// A world that deletes its rooms and keeps its bodies alive.
struct World {
  PhysicsWorld world;
  std::vector<std::unique_ptr<CollisionSphere>> balls;

  ~World() { destroyContainers(world); }
  void addRoom(vec3f lo, vec3f hi, vec3f gravity = vec3f(0, -1, 0)) {
    world.containers.push_back(fixtures::room(lo, hi, gravity).release());
  }
  CollisionSphere& addBall(vec3f position) {
    balls.push_back(fixtures::ball(position));
    world.objects.push_back(balls.back().get());
    return *balls.back();
  }
};

TEST(UpdateTransforms, IsTranslationTimesRotation) {
  CollisionSphere b;
  b.position = vec3f(1, 2, 3);
  const float h = std::sqrt(0.5f);
  b.orientation = quatf(h, 0, h, 0);
  updateTransforms(b);
  const mat4f& r = b.orientation.matrix;
  for (int i = 0; i < 12; ++i) EXPECT_EQ(b.worldTransform[i], r[i]) << "index " << i;
  EXPECT_EQ(b.worldTransform[12], 1);
  EXPECT_EQ(b.worldTransform[13], 2);
  EXPECT_EQ(b.worldTransform[14], 3);
  EXPECT_EQ(b.worldTransform[15], 1);
  // A point on the body's x axis ends up along z, moved by the position.
  const vec3f p = transformPoint(b.worldTransform, vec3f(1, 0, 0));
  EXPECT_NEAR(p.x, 1, 1e-6f);
  EXPECT_NEAR(p.z, 4, 1e-6f);
}

TEST(Integrate, ForceVelocityAndSpin) {
  CollisionSphere b;
  b.mass = 10;
  b.orientation.w = 1;
  b.force = vec3f(0.2f, 0, 0);
  b.velocity = vec3f(0, 0.1f, 0);
  b.torque = vec3f(0, 0, 0.5f);
  integrate(b);
  EXPECT_EQ(b.velocity, vec3f(0.01f, 0.1f, 0));
  EXPECT_EQ(b.position, vec3f(0.01f, 0.1f, 0));
  EXPECT_EQ(b.force, vec3f(0.2f, 0, 0));  // accumulators are not cleared
  EXPECT_EQ(b.angularMomentum, vec3f(0, 0, 0.5f));
  EXPECT_EQ(b.angularVelocity, vec3f(0, 0, 0.5f));  // identity inertia and rotation
  // q + 0.5 (0, w) q = (1, 0, 0, 0.25), normalised.
  const float m = std::sqrt(1.0625f);
  EXPECT_FLOAT_EQ(b.orientation.w, 1 / m);
  EXPECT_FLOAT_EQ(b.orientation.z, 0.25f / m);
  EXPECT_EQ(b.worldTransform[12], 0.01f);

  PhysicsObject still;  // a zero quaternion stays zero: nothing to divide by
  integrate(still);
  EXPECT_EQ(still.orientation.w, 0);
  EXPECT_FALSE(std::isnan(still.worldTransform[0]));
}

TEST(StepPhysics, WorldWithoutRoomsChangesNothing) {
  World w;
  CollisionSphere& b = w.addBall({0, 0.5f, 0});
  b.velocity = vec3f(0.1f, 0, 0);
  b.force = vec3f(0, 3, 0);
  b.torque = vec3f(1, 0, 0);
  stepPhysics(w.world);
  EXPECT_EQ(b.position, vec3f(0, 0.5f, 0));
  EXPECT_EQ(b.velocity, vec3f(0.1f, 0, 0));
  EXPECT_EQ(b.force, vec3f(0, 3, 0));
  EXPECT_EQ(b.torque, vec3f(1, 0, 0));
}

TEST(StepPhysics, BallOutsideEveryRoomOnlyCoasts) {
  World w;
  w.addRoom({-1, 0, -1}, {1, 1, 1});
  CollisionSphere& b = w.addBall({5, 5, 5});
  b.velocity = vec3f(0.001f, 0, 0);
  stepPhysics(w.world);  // no gravity; the damping force is set for the next step
  EXPECT_EQ(b.velocity, vec3f(0.001f, 0, 0));
  EXPECT_TRUE(b.containerIndices.empty());
  stepPhysics(w.world);
  EXPECT_FLOAT_EQ(b.velocity.x, 0.001f * 0.9995f);
  EXPECT_EQ(b.velocity.y, 0);
  EXPECT_EQ(b.gravity, vec3f(0, -1, 0));
}

TEST(StepPhysics, FirstStepOfABallAtRest) {
  World w;
  w.addRoom({-1, 0, -1}, {1, 1, 1});
  CollisionSphere& b = w.addBall({0, 0.5f, 0});
  stepPhysics(w.world);
  EXPECT_EQ(b.containerIndices, std::vector<std::uint32_t>{0});
  EXPECT_FLOAT_EQ(b.velocity.y, -0.001f);
  EXPECT_FLOAT_EQ(b.position.y, 0.5f - 0.001f);
  EXPECT_EQ(b.position.x, 0);
  EXPECT_EQ(b.gravity, vec3f(0, -1, 0));
  EXPECT_FLOAT_EQ(b.force.y, 0.00001f);  // the damping for the next step
  EXPECT_EQ(b.force.x, 0);
  EXPECT_TRUE(w.world.contacts.empty());
}

TEST(StepPhysics, GravityBlendsTowardTheRoom) {
  World w;
  w.addRoom({-1, -1, -1}, {1, 1, 1}, vec3f(1, 0, 0));
  CollisionSphere& b = w.addBall({0, 0, 0});
  stepPhysics(w.world);
  EXPECT_EQ(b.gravity, vec3f(0.5f, -0.5f, 0));
  stepPhysics(w.world);
  EXPECT_EQ(b.gravity, vec3f(0.75f, -0.25f, 0));
}

TEST(StepPhysics, RoomsWithoutUnitGravityAreLeftOutOfTheBlend) {
  const vec3f ignored[] = {{0, 0, 0}, {0, -2, 0}, {1, 1, 0}, {std::nanf(""), 0, 0}};
  for (const vec3f& g : ignored) {
    World w;
    w.addRoom({-1, -1, -1}, {1, 1, 1}, g);
    w.addRoom({-1, -1, -1}, {1, 1, 1}, vec3f(1, 0, 0));
    CollisionSphere& b = w.addBall({0, 0, 0});
    stepPhysics(w.world);
    EXPECT_EQ(b.gravity, vec3f(0.5f, -0.5f, 0)) << g.toString();
    EXPECT_EQ(b.containerIndices.size(), 2u);
  }
}

TEST(SphereResponse, FloorContactWorkedExample) {
  auto room = fixtures::room({-1, 0, -1}, {1, 1, 1});
  auto b = fixtures::ball({0, 0.019f, 0});
  b->velocity = vec3f(0.01f, -0.02f, 0);
  ContactInfo c;
  ASSERT_TRUE(testSphereFace(*b, *room, room->collisionFaces[2], &c));
  const float y = b->position.y;
  respondSphere(*b, c.normal, c.correction);
  EXPECT_NEAR(c.correction.y, -0.001f, 1e-8f);
  EXPECT_FLOAT_EQ(b->velocity.x, 0.009f);
  EXPECT_NEAR(b->velocity.y, 0.003675f, 1e-9f);
  EXPECT_EQ(b->velocity.z, 0);
  EXPECT_NEAR(b->position.y - y, 0.001f, 1e-8f);
  EXPECT_EQ(b->worldTransform[13], b->position.y);
}

void expectNear(const vec3f& actual, const vec3f& expected, float tolerance, const char* what) {
  EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
  EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
  EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

// One vertex contact of a box body on a floor (normal (0, 1, 0), correction
// 1.1 times a depth of 0.001), worked by hand: the bounce at the vertex, its
// part along the arm from the vertex to the centre kept as velocity, the rest
// turned into spin, then one whole integration step.
TEST(BoxResponse, WorkedExamples) {
  struct Case {
    const char* what;
    vec3f position, vertex, velocity, angularVelocity, force;
    float mass, inverseInertia;
    // Expected after the response.
    vec3f velocityAfter, angularMomentum, positionAfter, angularVelocityAfter;
  } cases[] = {
      // arm (0, 0.1, 0); spin x arm = (-0.01, 0, 0), so the vertex moves at
      // (0.01, -0.04, 0); bounce (0.009, 0.007, 0): 0.007 along the arm,
      // L = 10 x (0.009, 0, 0) x (0, 0.1, 0) = (0, 0, 0.009).
      {"vertex below the centre, spinning", {0, 0.1f, 0}, {0, 0, 0}, {0.02f, -0.04f, 0},
       {0, 0, 0.1f}, {0, 0, 0}, 1, 1,
       {0, 0.007f, 0}, {0, 0, 0.009f}, {0, 0.1f + 0.0011f + 0.007f, 0}, {0, 0, 0.009f}},
      // arm (0.1, 0.1, 0); bounce (0, 0.007, 0): half of it along the arm,
      // (0.0035, 0.0035, 0), the rest (-0.0035, 0.0035, 0) turns the box:
      // L = 10 x (-0.0035, 0.0035, 0) x (0.1, 0.1, 0) = (0, 0, -0.007).
      // The integration adds 0.5 x force / mass = (0, -0.001, 0).
      {"corner vertex, with gravity", {0.1f, 0.1f, 0}, {0, 0, 0}, {0, -0.04f, 0}, {0, 0, 0},
       {0, -0.02f, 0}, 10, 0.5f,
       {0.0035f, 0.0025f, 0}, {0, 0, -0.007f}, {0.1035f, 0.1036f, 0}, {0, 0, -0.0035f}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    CollisionBox box;
    box.position = k.position;
    box.orientation.w = 1;
    box.velocity = k.velocity;
    box.angularVelocity = k.angularVelocity;
    box.force = k.force;
    box.mass = k.mass;
    for (int i : {0, 5, 10}) box.inverseInertia[i] = k.inverseInertia;
    updateTransforms(box);
    respondBox(box, vec3f(0, 1, 0), vec3f(0, -0.0011f, 0), k.vertex);
    expectNear(box.velocity, k.velocityAfter, 1e-8f, "velocity");
    expectNear(box.angularMomentum, k.angularMomentum, 1e-8f, "angular momentum");
    expectNear(box.position, k.positionAfter, 1e-7f, "position");
    expectNear(box.angularVelocity, k.angularVelocityAfter, 1e-8f, "angular velocity");
    // The spin turns the orientation about z by half the angular velocity.
    const float w = k.angularVelocityAfter.z * 0.5f;
    const float m = std::sqrt(1 + w * w);
    EXPECT_FLOAT_EQ(box.orientation.w, 1 / m);
    EXPECT_NEAR(box.orientation.z, w / m, 1e-9f);
    EXPECT_EQ(box.worldTransform[12], box.position.x);
    EXPECT_EQ(box.worldTransform[13], box.position.y);
  }
}

// A ball squeezed between floor and ceiling touches one of them in every
// pass: the step must stop after four passes.
TEST(StepPhysics, ContactPassesStopAfterTheFourth) {
  auto squeeze = [] {
    auto w = std::make_unique<World>();
    w->addRoom({-1, 0, -1}, {1, 0.03f, 1});
    w->addBall({0, 0.015f, 0});
    return w;
  };
  auto stepped = squeeze();
  stepPhysics(stepped->world);
  EXPECT_FALSE(stepped->world.contacts.empty());

  // The same by hand: phase 1, then n passes of sphere-face contacts. The
  // position alternates between two values, the velocity keeps changing.
  auto byHand = [&](int passes) {
    auto w = squeeze();
    CollisionSphere& b = *w->balls[0];
    CollisionBox& room = *w->world.containers[0];
    b.force += 0.02f * vec3f(0, -1, 0);
    b.containerIndices = {0};
    integrate(b);
    for (int pass = 0; pass < passes; ++pass)
      for (const CollisionFace& f : room.collisionFaces) {
        ContactInfo c;
        if (testSphereFace(b, room, f, &c)) respondSphere(b, c.normal, c.correction);
      }
    return std::make_pair(b.position, b.velocity);
  };
  const auto four = byHand(4);
  EXPECT_TRUE(sameBits(stepped->balls[0]->position, four.first));
  EXPECT_TRUE(sameBits(stepped->balls[0]->velocity, four.second));
  EXPECT_FALSE(sameBits(four.second, byHand(5).second));
  EXPECT_FALSE(sameBits(four.second, byHand(3).second));
}

TEST(StepPhysics, DroppedBallSettlesOnTheFloorAndStays) {
  World w;
  w.addRoom({-1, 0, -1}, {1, 1, 1});
  CollisionSphere& b = w.addBall({0.2f, 0.5f, -0.3f});
  for (int i = 0; i < 200; ++i) stepPhysics(w.world);
  EXPECT_NEAR(b.position.y, 0.02f, 0.0005f);
  for (int i = 0; i < 1000; ++i) {
    stepPhysics(w.world);
    ASSERT_NEAR(b.position.y, 0.02f, 0.0005f) << "step " << i;
  }
  EXPECT_EQ(b.position.x, 0.2f);
  EXPECT_EQ(b.position.z, -0.3f);
  EXPECT_LT(length(b.velocity), 0.001f);
}

TEST(StepPhysics, BallPassesThroughAnOpenFaceIntoTheNextRoom) {
  World w;
  // Two rooms side by side; the shared wall x = 1 is open in both.
  w.addRoom({-1, 0, -1}, {1, 1, 1});
  w.addRoom({1, 0, -1}, {3, 1, 1}, vec3f(1, 0, 0));
  w.world.containers[0]->collisionFaces[1].flags = kOpenFace;
  w.world.containers[1]->collisionFaces[0].flags = kOpenFace;
  CollisionSphere& b = w.addBall({0.5f, 0.5f, 0});
  b.velocity = vec3f(0.02f, 0, 0);
  bool sawBoth = false;
  for (int i = 0; i < 200; ++i) {
    stepPhysics(w.world);
    sawBoth = sawBoth || b.containerIndices.size() == 2;
  }
  EXPECT_TRUE(sawBoth);
  EXPECT_GT(b.position.x, 1);
  EXPECT_EQ(b.containerIndices, std::vector<std::uint32_t>{1});
  // The second room pulls toward +x: the ball ends on its far wall.
  EXPECT_NEAR(b.position.x, 3 - 0.02f, 0.001f);
}

TEST(StepPhysics, TwoBallsDoNotOverlap) {
  World w;
  w.addRoom({-1, 0, -1}, {1, 1, 1});
  CollisionSphere& a = w.addBall({0, 0.02f, 0});
  CollisionSphere& b = w.addBall({0.03f, 0.02f, 0});
  for (int i = 0; i < 100; ++i) stepPhysics(w.world);
  EXPECT_GE(length(a.position - b.position), 0.039f);
}

TEST(StepPhysics, BoxBodyRestsOnTheFloorAndSkipsThePairTest) {
  World w;
  w.addRoom({-1, 0, -1}, {1, 1, 1});
  CollisionSphere& ball = w.addBall({0, 0.3f, 0});
  CollisionBox cube;
  for (const ctr::Face& f : ctr::boxRoom({-0.05f, -0.05f, -0.05f}, {0.05f, 0.05f, 0.05f}).faces)
    cube.addFace(f.vertices);
  cube.position = vec3f(0, 0.3f, 0);  // right on the ball: only sphere pairs collide
  cube.orientation.w = 1;
  cube.mass = 10;
  updateTransforms(cube);
  w.world.objects.push_back(&cube);
  for (int i = 0; i < 300; ++i) stepPhysics(w.world);
  EXPECT_NEAR(ball.position.y, 0.02f, 0.001f);
  EXPECT_FALSE(std::isnan(cube.position.y));
  EXPECT_GT(cube.position.y, 0);
  EXPECT_LT(cube.position.y, 0.3f);
}

// A room's non-finite face and a second room made of infinities and NaNs
// give no contact and no gravity: the balls fall in the sound room as they
// would without them and stay inside it.
TEST(StepPhysics, NonFiniteRoomsLeaveTheBallsFiniteAndInside) {
  const float inf = std::numeric_limits<float>::infinity();
  World w;
  w.addRoom({-1, 0, -1}, {1, 1, 1});
  w.world.containers[0]->addFace({{std::nanf(""), 0, 0}, {inf, 1, 0}, {0, -inf, 1}}, 0);
  w.addRoom({-inf, 0, -1}, {1, std::nanf(""), 1}, vec3f(inf, 0, 0));
  CollisionSphere& a = w.addBall({0, 0.5f, 0});
  CollisionSphere& b = w.addBall({0, 0.5f, 0});
  for (int i = 0; i < 300; ++i) stepPhysics(w.world);
  for (const CollisionSphere* ball : {&a, &b}) {
    const vec3f& p = ball->position;
    ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << p.toString();
    EXPECT_TRUE(std::fabs(p.x) <= 1 && std::fabs(p.z) <= 1 && p.y >= 0 && p.y <= 1)
        << p.toString();
    EXPECT_TRUE(std::isfinite(ball->velocity.y));
  }
  // They part and come to rest, one of them on the floor.
  EXPECT_NEAR(std::min(a.position.y, b.position.y), 0.02f, 0.001f);
  EXPECT_GE(length(a.position - b.position), 0.039f);
}

}  // namespace
