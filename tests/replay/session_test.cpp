// The record of a session: pushes as runs, the schedule that feeds them back,
// and the replay text that reproduces the recorded trajectory bit for bit.
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

#include "tests/replay/replay_fixtures.h"

namespace {

using namespace replay_fixtures;

const vec3f U(0.052f, 0, 0), L(0, 0, 0.052f), D(-0.052f, 0, 0);

// A session of the given pushes per step, without bodies.
SessionLog logOfPushes(const std::vector<std::vector<vec3f>>& steps) {
  TestWorld test;
  SessionLog log;
  SessionLog_Begin(log, test.world);
  for (const std::vector<vec3f>& pushes : steps) {
    for (const vec3f& push : pushes) SessionLog_NotePush(log, push);
    SessionLog_BeforeStep(log, test.world);
    SessionLog_AfterStep(log, test.world);
  }
  return log;
}

std::string runsText(const std::vector<SimPush>& runs) {
  std::string text;
  for (const SimPush& run : runs) {
    char buffer[96];
    std::snprintf(buffer, sizeof buffer, "%g,%g,%g@%llu:%llu ", run.force.x, run.force.y,
                  run.force.z, static_cast<unsigned long long>(run.from),
                  static_cast<unsigned long long>(run.to));
    text += buffer;
  }
  return text;
}

TEST(PushRuns, ConsecutiveEqualPushesInTheSamePlaceFormOneRun) {
  const vec3f minusZero(-0.0f, 0, 0), zero(0, 0, 0);
  struct Case {
    const char* what;
    std::vector<std::vector<vec3f>> steps;
    const char* runs;
  } cases[] = {
      {"none", {{}, {}}, ""},
      {"one key held", {{U}, {U}, {U}}, "0.052,0,0@1:3 "},
      {"released and held again", {{U}, {}, {U}}, "0.052,0,0@1:1 0.052,0,0@3:3 "},
      {"direction changes", {{U}, {U}, {D}}, "0.052,0,0@1:2 -0.052,0,0@3:3 "},
      {"second key joins and leaves",
       {{U}, {U, L}, {U, L}, {U}},
       "0.052,0,0@1:4 0,0,0.052@2:3 "},
      {"second key alone moves to the first place",
       {{U, L}, {L}},
       "0.052,0,0@1:1 0,0,0.052@2:2 0,0,0.052@1:1 "},
      {"minus zero is not zero", {{zero}, {minusZero}}, "0,0,0@1:1 -0,0,0@2:2 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SessionLog log = logOfPushes(c.steps);
    EXPECT_EQ(runsText(Replay_PushRuns(log, c.steps.size())), c.runs);
  }
}

// The straightforward schedule: every push in range, in the order given.
std::vector<vec3f> pushesByScan(const std::vector<SimPush>& pushes, std::uint64_t step) {
  std::vector<vec3f> out;
  for (const SimPush& push : pushes)
    if (step >= push.from && step <= push.to) out.push_back(push.force);
  return out;
}

bool samePushes(const std::vector<vec3f>& a, const std::vector<vec3f>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (!sameBits(a[i], b[i])) return false;
  return true;
}

TEST(PushRuns, FedBackThroughTheScheduleEveryStepGetsItsPushesInOrder) {
  for (std::uint64_t seed = 1; seed <= 50; ++seed) {
    Random random(seed);
    std::vector<std::vector<vec3f>> steps(1 + random.below(300));
    std::vector<vec3f> held;
    for (std::vector<vec3f>& pushes : steps) {
      if (random.below(8) == 0) held = randomPushes(random);  // keys change now and then
      pushes = held;
    }
    SimOptions options;
    options.pushes = Replay_PushRuns(logOfPushes(steps), steps.size());
    ReplaySchedule schedule;
    ReplaySchedule_Start(schedule, options);
    std::vector<vec3f> got;
    for (std::uint64_t step = 1; step <= steps.size(); ++step) {
      ReplaySchedule_Pushes(schedule, step, &got);
      ASSERT_TRUE(samePushes(got, steps[step - 1])) << "seed " << seed << " step " << step;
    }
  }
}

TEST(ReplaySchedule, GivesWhatAScanOfEveryPushGives) {
  for (std::uint64_t seed = 1; seed <= 200; ++seed) {
    Random random(seed);
    SimOptions options;
    const std::uint32_t count = random.below(40);
    for (std::uint32_t i = 0; i < count; ++i) {
      SimPush push;
      push.force = vec3f(random.unit(), random.unit(), random.unit());
      if (random.below(6) != 0) {  // some without a range: every step
        push.from = 1 + random.below(100);
        push.to = push.from + random.below(30);
      }
      options.pushes.push_back(push);
    }
    ReplaySchedule schedule;
    ReplaySchedule_Start(schedule, options);
    std::vector<vec3f> got;
    for (std::uint64_t step = 1; step <= 140; ++step) {
      ReplaySchedule_Pushes(schedule, step, &got);
      ASSERT_TRUE(samePushes(got, pushesByScan(options.pushes, step)))
          << "seed " << seed << " step " << step;
    }
  }
}

TEST(ReplaySchedule, BodiesJoinByStepThenInTheOrderGiven) {
  SimOptions options;
  for (std::uint64_t step : {3, 1, 3, 2}) {
    SimBody body;
    body.position = vec3f(static_cast<float>(options.extraBodies.size()), 0, 0);
    body.step = step;
    options.extraBodies.push_back(body);
  }
  ReplaySchedule schedule;
  ReplaySchedule_Start(schedule, options);
  std::vector<SimBody> joining;
  std::vector<float> order;
  for (std::uint64_t step = 1; step <= 4; ++step) {
    ReplaySchedule_Bodies(schedule, step, &joining);
    for (const SimBody& body : joining) order.push_back(body.position.x);
  }
  EXPECT_EQ(order, (std::vector<float>{1, 3, 0, 2}));
}

// A session with held keys, balls joining and a rewind resumed, recorded
// as the window records it; returns its log.
SessionLog recordSession(std::uint64_t seed) {
  TestWorld test;
  History history;
  SessionLog log;
  SessionLog_Begin(log, test.world);
  History_Record(history, test.world);
  Random random(seed);
  std::vector<vec3f> held;
  for (int i = 0; i < 400; ++i) {
    if (i == 250) {  // rewind 60 steps, then go on from there
      History_Move(history, test.world, -60);
      History_DiscardFuture(history);
      SessionLog_Truncate(log, history.current);
    }
    if (random.below(10) == 0) held = randomPushes(random);
    if (random.below(90) == 0)
      test.addBall(vec3f(random.unit() * 0.5f, 0.3f, random.unit() * 0.5f),
                   vec3f(random.unit() * 0.01f, 0, random.unit() * 0.01f));
    for (const vec3f& push : held) {
      test.world.objects[0]->force += push;
      SessionLog_NotePush(log, push);
    }
    SessionLog_BeforeStep(log, test.world);
    stepPhysics(test.world);
    SessionLog_AfterStep(log, test.world);
    History_Record(history, test.world);
  }
  return log;
}

TEST(SessionLog, AFullLogStopsAtItsLastWholeStepAndRecordsAgainAfterARewind) {
  TestWorld test;
  SessionLog log;
  log.maxRows = 7;  // the ball alone: 7 steps; ball and a shot ball: 3 more
  SessionLog_Begin(log, test.world);
  auto step = [&](const vec3f& push) {
    test.world.objects[0]->force += push;
    SessionLog_NotePush(log, push);
    SessionLog_BeforeStep(log, test.world);
    stepPhysics(test.world);
    SessionLog_AfterStep(log, test.world);
  };
  for (int i = 0; i < 5; ++i) step(U);
  test.addBall(vec3f(0.2f, 0.3f, 0), vec3f(0, 0, 0));  // joins before step 6
  step(L);  // rows 6 and 7
  EXPECT_FALSE(log.full);
  test.addBall(vec3f(-0.2f, 0.3f, 0), vec3f(0, 0, 0));  // would need 3 rows
  step(D);
  step(D);
  EXPECT_TRUE(log.full);
  EXPECT_EQ(SessionLog_Steps(log), 6u);
  EXPECT_EQ(log.rows.size(), 7u);
  ASSERT_EQ(log.joined.size(), 1u);  // the ball that never got a row is not kept
  EXPECT_EQ(Replay_PushRuns(log, 100).size(), 2u);  // U@1:5, L@6:6; nothing of D
  // The saved text names only what was recorded, and reproduces it.
  SimOptions options;
  std::string error;
  ASSERT_TRUE(SimOptions_ParseText(Replay_OptionsText(log, 8, "0.ctr"), "saved", &options, &error))
      << error;
  EXPECT_EQ(options.steps, 6u);
  EXPECT_TRUE(Replay_CsvText(log, 8) == simulate(options, twoRoomsFile()));

  SessionLog_Truncate(log, 4);  // a rewind to step 4, resumed
  EXPECT_FALSE(log.full);
  EXPECT_EQ(log.joined.size(), 0u);
}

TEST(ReplayText, ReadBackItReproducesTheRecordedTrajectory) {
  const std::string path = ::testing::TempDir() + "replay_text_" + std::to_string(getpid());
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE(seed);
    const SessionLog log = recordSession(seed);
    ASSERT_EQ(SessionLog_Steps(log), 340u);
    for (std::uint64_t steps : {340u, 200u, 0u}) {  // all, or up to a rewound view
      FILE* file = std::fopen(path.c_str(), "w");
      ASSERT_NE(file, nullptr);
      std::fputs(Replay_OptionsText(log, steps, "0.ctr").c_str(), file);
      std::fclose(file);
      SimOptions options;
      std::string error;
      ASSERT_TRUE(SimOptions_ParseFile(path, &options, &error)) << error;
      ASSERT_TRUE(SimOptions_Check(options, &error)) << error;
      EXPECT_EQ(options.ctrPath, "0.ctr");
      EXPECT_EQ(options.steps, steps);
      const std::string csv = Replay_CsvText(log, steps);
      EXPECT_EQ(csv.size(), simulate(options, twoRoomsFile()).size());
      EXPECT_TRUE(csv == simulate(options, twoRoomsFile()));
    }
  }
  std::remove(path.c_str());
}

TEST(ReplayText, CsvRowsLookLikeChamberSims) {
  const std::uint32_t rooms[] = {0, 2};
  EXPECT_EQ(Replay_CsvRow(7, 1, vec3f(0.5f, -0.0f, 1e-7f), vec3f(), vec3f(0, -1, 0), rooms, 2),
            "7,1,0.5,-0,1.00000001e-07,0,0,0,0,-1,0,0 2\n");
  EXPECT_EQ(Replay_CsvRow(1, 0, vec3f(), vec3f(), vec3f(), nullptr, 0), "1,0,0,0,0,0,0,0,0,0,0,\n");
}

}  // namespace
