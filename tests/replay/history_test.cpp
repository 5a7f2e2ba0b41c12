// The ring of states: stepping back and forth gives back the recorded states
// bit for bit, a rewound world steps on exactly as the original did, taking
// a step from a rewound view forgets the future, and the ring keeps the last
// 3,600 states.
#include <gtest/gtest.h>

#include "tests/replay/replay_fixtures.h"

namespace {

using namespace replay_fixtures;

// Pushes of a step, the same whenever that step is taken again.
void pushFor(PhysicsWorld& world, std::uint64_t step) {
  Random random(step);
  for (const vec3f& push : randomPushes(random)) world.objects[0]->force += push;
}

// Steps a world with pushes and balls joining now and then, recording every
// state in the history and keeping a copy of each as the reference.
struct Session {
  TestWorld test;
  History history;
  std::vector<std::vector<CollisionSphere>> states;

  Session() {
    History_Record(history, test.world);
    states.push_back(snapshot(test.world));
  }
  void step() {
    const std::uint64_t next = states.size();
    if (next % 37 == 5) test.addBall(vec3f(0.1f * static_cast<float>(next % 7), 0.6f, 0.05f),
                                     vec3f(0.003f, 0, -0.002f));
    pushFor(test.world, next);
    stepPhysics(test.world);
    ASSERT_TRUE(History_Record(history, test.world));
    states.push_back(snapshot(test.world));
  }
};

TEST(History, BackAndForthGiveTheRecordedStatesBitForBit) {
  for (int steps : {0, 1, 36, 37, 150}) {
    SCOPED_TRACE(steps);
    Session s;
    for (int i = 0; i < steps; ++i) s.step();
    for (int n : {1, 10, 5, 36, 149}) {
      const int back = std::min(n, steps);
      EXPECT_EQ(History_Move(s.history, s.test.world, -n), -back);
      EXPECT_EQ(s.history.current, static_cast<std::uint64_t>(steps - back));
      EXPECT_TRUE(sameBodies(s.states[steps - back], s.test.world));
      EXPECT_EQ(History_Move(s.history, s.test.world, n), back);
      EXPECT_TRUE(sameBodies(s.states[steps], s.test.world));
    }
  }
}

TEST(History, ARewoundWorldStepsOnAsTheOriginalDid) {
  Session s;
  for (int i = 0; i < 120; ++i) s.step();
  // Back before two balls joined; the restored state alone must carry all
  // the step needs.
  History_Move(s.history, s.test.world, -80);
  History_DiscardFuture(s.history);
  for (std::uint64_t step = 41; step <= 120; ++step) {
    if (step % 37 == 5) s.test.addBall(vec3f(0.1f * static_cast<float>(step % 7), 0.6f, 0.05f),
                                       vec3f(0.003f, 0, -0.002f));
    pushFor(s.test.world, step);
    stepPhysics(s.test.world);
    ASSERT_TRUE(sameBodies(s.states[step], s.test.world)) << "step " << step;
  }
}

TEST(History, ContactsComeBackWithTheirParties) {
  Session s;
  s.test.addBall(vec3f(0.5f, 0.5f, 0), vec3f());
  // The step keeps only the last pass's contacts, often none: set some.
  PhysicsWorld& world = s.test.world;
  // A room is looked up among its body's candidate rooms, and in the whole
  // list when it is not one of them.
  world.objects[1]->containerIndices = {0, 1};
  world.objects[0]->containerIndices = {0};
  world.contacts = {{vec3f(1, 2, 3), vec3f(0, -0.001f, 0), world.objects[1], world.containers[1]},
                    {vec3f(4, 5, 6), vec3f(0.002f, 0, 0), world.objects[0], world.objects[1]},
                    {vec3f(7, 8, 9), vec3f(0, 0, 0.003f), world.objects[0], world.containers[1]}};
  History_Record(s.history, world);
  const std::vector<Contact> contacts = world.contacts;
  History_Move(s.history, world, -1);
  EXPECT_TRUE(world.contacts.empty());
  History_Move(s.history, world, 1);
  ASSERT_EQ(world.contacts.size(), contacts.size());
  for (std::size_t i = 0; i < contacts.size(); ++i) {
    EXPECT_TRUE(sameBits(contacts[i].point, world.contacts[i].point));
    EXPECT_TRUE(sameBits(contacts[i].correction, world.contacts[i].correction));
  }
  // The second ball was deleted and made again: the contacts point at the new one.
  EXPECT_EQ(world.contacts[0].body, world.objects[1]);
  EXPECT_EQ(world.contacts[0].other, world.containers[1]);
  EXPECT_EQ(world.contacts[1].body, world.objects[0]);
  EXPECT_EQ(world.contacts[1].other, world.objects[1]);
  EXPECT_EQ(world.contacts[2].other, world.containers[1]);
}

TEST(History, AStepFromARewoundViewForgetsTheFuture) {
  Session s;
  for (int i = 0; i < 50; ++i) s.step();
  History_Move(s.history, s.test.world, -20);
  History_DiscardFuture(s.history);
  EXPECT_EQ(s.history.newest, 30u);
  EXPECT_EQ(History_Move(s.history, s.test.world, 5), 0);
  stepPhysics(s.test.world);
  History_Record(s.history, s.test.world);
  EXPECT_EQ(s.history.newest, 31u);
  EXPECT_EQ(History_Move(s.history, s.test.world, -100), -31);
  EXPECT_TRUE(sameBodies(s.states[0], s.test.world));
}

TEST(History, TheRingKeepsTheLast3600States) {
  Session s;
  for (int i = 0; i < 3700; ++i) s.step();
  EXPECT_EQ(s.history.count, kHistoryCapacity);
  EXPECT_EQ(History_Oldest(s.history), 101u);
  EXPECT_EQ(History_Move(s.history, s.test.world, -100000), -3599);
  EXPECT_TRUE(sameBodies(s.states[101], s.test.world));
  EXPECT_EQ(History_Move(s.history, s.test.world, 3599), 3599);
  EXPECT_TRUE(sameBodies(s.states[3700], s.test.world));
}

TEST(History, ABodyThatIsNotASphereIsNotRecorded) {
  TestWorld test;
  History history;
  CollisionBox box;
  test.world.objects.push_back(&box);
  EXPECT_FALSE(History_Record(history, test.world));
  EXPECT_EQ(history.count, 0u);
  test.world.objects.pop_back();
}

}  // namespace
