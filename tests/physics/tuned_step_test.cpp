// The step with settings other than the defaults: worked examples changed
// by one setting, and random worlds with random settings against the step
// written out independently (reference::tunedStep), bit for bit.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "physics/physics.h"
#include "tests/physics/fixtures.h"
#include "tests/physics/reference_step.h"

namespace {

using namespace Veruruve::Physics;
using Veruruve::Tuning::Settings;
using fixtures::sameBits;

struct World {
  PhysicsWorld world;
  std::vector<std::unique_ptr<CollisionSphere>> balls;

  ~World() { destroyContainers(world); }
  void addRoom(vec3f lo, vec3f hi) { world.containers.push_back(fixtures::room(lo, hi).release()); }
  CollisionSphere& addBall(vec3f position) {
    balls.push_back(fixtures::ball(position));
    world.objects.push_back(balls.back().get());
    return *balls.back();
  }
};

// The floor contact of the worked example (velocity (0.01, -0.02, 0), the
// ball 0.001 into the floor) with other shares kept and reflected.
TEST(TunedResponse, FloorContactWithOtherRestitutionAndTangential) {
  struct Case {
    float restitution, tangential;
    float vx, vy;  // 0.01 t, 0.02 r + 0.001 r
  };
  const Case cases[] = {
      {0.175f, 0.9f, 0.009f, 0.003675f},
      {0.5f, 0.9f, 0.009f, 0.0105f},
      {0.0f, 0.9f, 0.009f, 0.0f},
      {1.0f, 0.5f, 0.005f, 0.021f},
  };
  for (const Case& c : cases) {
    Settings s;
    s.restitution = c.restitution;
    s.tangential = c.tangential;
    auto room = fixtures::room({-1, 0, -1}, {1, 1, 1});
    auto b = fixtures::ball({0, 0.019f, 0});
    b->velocity = vec3f(0.01f, -0.02f, 0);
    ContactInfo contact;
    ASSERT_TRUE(testSphereFace(*b, *room, room->collisionFaces[2], &contact, s));
    respondSphere(*b, contact.normal, contact.correction, s);
    EXPECT_NEAR(b->velocity.x, c.vx, 1e-9f) << c.restitution;
    EXPECT_NEAR(b->velocity.y, c.vy, 1e-9f) << c.restitution;
    EXPECT_NEAR(b->position.y, 0.02f, 1e-8f);
  }
}

// The first step of the resting ball, with other gravity, integration and
// damping: force g, velocity -g i / mass, damping force -d v.
TEST(TunedStep, FirstStepOfABallAtRest) {
  struct Case {
    float gravity, integration, damping, mass;
  };
  const Case cases[] = {{0.02f, 0.5f, 0.01f, 10}, {0.04f, 0.5f, 0.01f, 10},
                        {0.02f, 1.0f, 0.1f, 10},  {0.02f, 0.5f, 0.01f, 2},
                        {-0.02f, 0.5f, 0, 10}};
  for (const Case& c : cases) {
    World w;
    w.addRoom({-1, 0, -1}, {1, 1, 1});
    CollisionSphere& b = w.addBall({0, 0.5f, 0});
    Settings s;
    s.gravity = c.gravity;
    s.integration = c.integration;
    s.damping = c.damping;
    s.mass = c.mass;
    applySettings(w.world, s);
    EXPECT_EQ(b.mass, c.mass);
    stepPhysics(w.world);
    const float v = -(c.integration * (c.gravity / c.mass));
    EXPECT_EQ(b.velocity.y, v) << c.gravity;
    EXPECT_EQ(b.position.y, 0.5f + v);
    EXPECT_EQ(b.force.y, -c.damping * v);
  }
}

// Two spheres of radius 0.02 whose centres are 0.03 apart: each moves by
// (1 - 0.75) 0.03 times the overcorrection.
TEST(TunedPair, OvercorrectionScalesThePairCorrection) {
  for (float over : {1.1f, 1.5f, 1.0f, 2.0f}) {
    Settings s;
    s.overcorrection = over;
    auto o = fixtures::ball({0.03f, 0.5f, 0});
    auto p = fixtures::ball({0, 0.5f, 0});
    ContactInfo contact;
    ASSERT_TRUE(testSphereSphere(*o, *p, &contact, s));
    EXPECT_NEAR(contact.correction.x, 0.0075f * over, 1e-8f) << over;
    EXPECT_EQ(contact.correction.y, 0);
  }
}

TEST(TunedStep, PassesBoundTheContactPasses) {
  // A ball pressed deep into a corner stays in contact pass after pass.
  for (int passes : {1, 2, 4, 9}) {
    World w;
    w.addRoom({-1, 0, -1}, {1, 1, 1});
    for (int i = 0; i < 12; ++i) w.addBall({-0.99f + 0.001f * static_cast<float>(i), 0.005f, -0.99f});
    Settings s;
    s.passes = passes;
    applySettings(w.world, s);
    stepPhysics(w.world);
    EXPECT_EQ(w.world.passes, passes);
  }
}

TEST(ApplySettings, MassAndRadiusReachEverySphereOnlyWhenTheyChange) {
  World w;
  w.addRoom({-1, 0, -1}, {1, 1, 1});
  CollisionSphere& a = w.addBall({0, 0.5f, 0});
  CollisionSphere& b = w.addBall({0.5f, 0.5f, 0});
  b.radius = 0.05f;  // set by hand: kept while the radius setting stays
  Settings s;
  s.gravity = 0.03f;
  applySettings(w.world, s);
  EXPECT_EQ(b.radius, 0.05f);
  s.mass = 4;
  applySettings(w.world, s);
  EXPECT_EQ(a.mass, 4);
  EXPECT_EQ(b.mass, 4);
  EXPECT_EQ(b.radius, 0.05f);
  s.radius = 0.03f;
  applySettings(w.world, s);
  EXPECT_EQ(a.radius, 0.03f);
  EXPECT_EQ(b.radius, 0.03f);
  std::unique_ptr<CollisionSphere> made(Sandbox_MakeBall(vec3f(), w.world.settings));
  EXPECT_EQ(made->radius, 0.03f);
  EXPECT_EQ(made->mass, 4);
}

// Random settings within their ranges, the same world stepped by the step
// and by the written-out reference; everything compared after every step.
Settings randomSettings(std::mt19937& rng) {
  std::uniform_real_distribution<float> share(0, 1), near(0.5f, 1.5f);
  Settings s;
  s.gravity = 0.02f * near(rng) * (share(rng) < 0.1f ? -1.0f : 1.0f);
  s.integration = 0.5f * near(rng);
  s.tangential = share(rng);
  s.restitution = share(rng);
  s.overcorrection = 1 + share(rng);
  s.spin = 20 * share(rng);
  s.damping = 0.05f * share(rng);
  s.passes = 1 + static_cast<int>(rng() % 8);
  s.mass = 10 * near(rng);
  s.radius = 0.02f * near(rng);
  return s;
}

struct Pair {
  std::vector<std::unique_ptr<CollisionBox>> rooms;
  std::vector<std::unique_ptr<Volume>> fast, plain;
  PhysicsWorld fastWorld, plainWorld;
};

bool sameBody(const Volume& a, const Volume& b) {
  return sameBits(a.position, b.position) && sameBits(a.velocity, b.velocity) &&
         sameBits(a.force, b.force) && sameBits(a.torque, b.torque) &&
         sameBits(a.gravity, b.gravity) && sameBits(a.angularMomentum, b.angularMomentum) &&
         sameBits(a.angularVelocity, b.angularVelocity) &&
         std::memcmp(&a.worldTransform, &b.worldTransform, sizeof(mat4f)) == 0 &&
         a.containerIndices == b.containerIndices;
}

TEST(TunedStep, RandomSettingsMatchTheWrittenOutStep) {
  std::mt19937 rng(19);
  std::uniform_real_distribution<float> u(0, 1), v(-0.02f, 0.02f);
  std::size_t contacts = 0;
  for (int round = 0; round < 40; ++round) {
    Pair pair;
    const Settings s = randomSettings(rng);
    // Two rooms side by side, joined through an open wall, gravity turning.
    auto left = fixtures::room({0, 0, 0}, {0.3f, 0.6f, 0.3f});
    auto right = fixtures::room({0.3f, 0, 0}, {0.6f, 0.6f, 0.3f}, vec3f(0.6f, -0.8f, 0));
    for (CollisionFace& f : left->collisionFaces)
      if (f.normal.x < -0.5f) f.flags = kOpenFace;
    for (CollisionFace& f : right->collisionFaces)
      if (f.normal.x > 0.5f) f.flags = kOpenFace;
    for (PhysicsWorld* w : {&pair.fastWorld, &pair.plainWorld}) {
      w->containers.push_back(left.get());
      w->containers.push_back(right.get());
    }
    pair.rooms.push_back(std::move(left));
    pair.rooms.push_back(std::move(right));
    const int balls = 2 + static_cast<int>(rng() % 30);
    for (int i = 0; i < balls; ++i) {
      const vec3f at{0.03f + 0.54f * u(rng), 0.03f + 0.5f * u(rng), 0.03f + 0.24f * u(rng)};
      const vec3f velocity{v(rng), v(rng), v(rng)};
      for (auto* list : {&pair.fast, &pair.plain}) {
        std::unique_ptr<CollisionSphere> b(Sandbox_MakeBall(at, s));
        b->velocity = velocity;
        updateTransforms(*b);
        list->push_back(std::move(b));
      }
    }
    // A box body among them, for the spin and the vertex contacts.
    for (auto* list : {&pair.fast, &pair.plain}) {
      auto box = std::make_unique<CollisionBox>();
      for (const auto& f : ctr::boxRoom({-0.03f, -0.03f, -0.03f}, {0.03f, 0.03f, 0.03f}).faces)
        box->addFace(f.vertices, f.flags);
      box->position = vec3f(0.15f, 0.1f, 0.15f);
      box->orientation = quatf(1, 0, 0, 0);
      box->mass = 5;
      box->velocity = vec3f(0.003f, -0.01f, 0.002f);
      box->inverseInertia[0] = box->inverseInertia[5] = box->inverseInertia[10] = 0.5f;
      updateTransforms(*box);
      list->push_back(std::move(box));
    }
    for (auto& b : pair.fast) pair.fastWorld.objects.push_back(b.get());
    for (auto& b : pair.plain) pair.plainWorld.objects.push_back(b.get());
    buildRoomIndex(pair.fastWorld);
    pair.fastWorld.settings = s;
    for (int step = 0; step < 60; ++step) {
      stepPhysics(pair.fastWorld);
      reference::tunedStep(pair.plainWorld, s);
      for (std::size_t i = 0; i < pair.fast.size(); ++i)
        ASSERT_TRUE(sameBody(*pair.fast[i], *pair.plain[i]))
            << "round " << round << " step " << step << " body " << i;
      ASSERT_EQ(pair.fastWorld.contacts.size(), pair.plainWorld.contacts.size());
      for (std::size_t c = 0; c < pair.fastWorld.contacts.size(); ++c) {
        ASSERT_TRUE(sameBits(pair.fastWorld.contacts[c].point, pair.plainWorld.contacts[c].point));
        ASSERT_TRUE(sameBits(pair.fastWorld.contacts[c].correction,
                             pair.plainWorld.contacts[c].correction));
      }
      contacts += pair.fastWorld.contacts.size();
    }
  }
  EXPECT_GT(contacts, 1000u) << "the worlds should have touched often";
}

// With the defaults the written-out step is the plain step: the reference
// itself is checked against the step's fixed constants.
TEST(TunedStep, DefaultsOfTheWrittenOutStepAreThePlainStep) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> u(-0.13f, 0.13f), h(0.02f, 0.9f);
  auto room = fixtures::room({-0.15f, 0, -0.15f}, {0.15f, 1, 0.15f});
  std::vector<std::unique_ptr<Volume>> a, b;
  PhysicsWorld wa, wb;
  wa.containers.push_back(room.get());
  wb.containers.push_back(room.get());
  for (int i = 0; i < 60; ++i) {
    const vec3f at{u(rng), h(rng), u(rng)};
    a.push_back(fixtures::ball(at));
    b.push_back(fixtures::ball(at));
    wa.objects.push_back(a.back().get());
    wb.objects.push_back(b.back().get());
  }
  for (int step = 0; step < 100; ++step) {
    reference::step(wa);
    reference::tunedStep(wb, Settings());
    for (std::size_t i = 0; i < a.size(); ++i) ASSERT_TRUE(sameBody(*a[i], *b[i])) << step;
  }
}

}  // namespace
