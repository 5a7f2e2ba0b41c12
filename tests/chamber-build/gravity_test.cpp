// Room gravity as chamber-build writes it: every direction reaches the ball.
// The program's step ignores a room direction whose single-precision length
// is not exactly 1, which plain normalising leaves for many diagonals.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "physics/physics.h"
#include "sandbox/containers.h"
#include "sandbox/sandbox.h"
#include "tools/chamber-build/chamber.h"

namespace {

using Veruruve::Physics::PhysicsWorld;

std::string OneRoom(const std::string& gravity) {
  return "room a\n  gravity " + gravity + "\n  box -2 0 -2  2 3 2\nend\n";
}

std::string RunShell(const std::string& command, int& status) {
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  std::string out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int raw = pclose(pipe);
  status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return out;
}

vec3f Unit(double x, double y, double z) {
  const double n = std::sqrt(x * x + y * y + z * z);
  return vec3f(static_cast<float>(x / n), static_cast<float>(y / n), static_cast<float>(z / n));
}

// The ball's gravity after some steps in a one-room chamber built from
// description, through the loader and the step the tools and the program use.
vec3f BallGravityAfterSteps(const std::string& description, int steps, std::string& problems) {
  std::vector<chamber::Problem> found;
  const chamber::Chamber c = chamber::ParseDescription(description, found);
  if (found.empty()) chamber::CheckChamber(c, found);
  for (const chamber::Problem& p : found) problems += std::to_string(p.line) + ": " + p.message + "\n";
  if (!found.empty()) return vec3f();
  const std::string bytes = chamber::ContainerFileBytes(c);
  PhysicsWorld world;
  Containers_LoadMemory(world, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  world.objects.push_back(Sandbox_MakeBall(vec3f(0, 0.5f, 0)));
  for (int i = 0; i < steps; ++i) Veruruve::Physics::stepPhysics(world);
  const vec3f g = world.objects[0]->gravity;
  for (auto* body : world.objects) delete body;
  Veruruve::Physics::destroyContainers(world);
  return g;
}

TEST(RoomGravity, EveryListedDirectionReachesTheBallThroughChamberSim) {
  const struct {
    const char* gravity;
    double x, y, z;
  } cases[] = {
      {"1 1 0", 1, 1, 0},    {"1 -1 0", 1, -1, 0}, {"1 -2 0", 1, -2, 0},      {"0.3 -1 0", 0.3, -1, 0},
      {"1 1 1", 1, 1, 1},    {"1 -2 3", 1, -2, 3}, {"0 0 -5", 0, 0, -5},      {"-7 0 0", -7, 0, 0},
  };
  const std::string dir = ::testing::TempDir() + "room_gravity";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.gravity);
    std::ofstream(dir + ".txt") << OneRoom(c.gravity);
    int status;
    const std::string built = RunShell(std::string(CHAMBER_BUILD_TOOL) + " " + dir + ".txt " + dir, status);
    ASSERT_EQ(status, 0) << built;
    const std::string csv =
        RunShell(std::string(CHAMBER_SIM_TOOL) + " --ctr " + dir + "/0.ctr --steps 40 --every 40", status);
    ASSERT_EQ(status, 0) << csv;
    // The last row: step,body,x,y,z,vx,vy,vz,gx,gy,gz,containers
    std::istringstream rows(csv);
    std::string row, last;
    while (std::getline(rows, row)) last = row;
    std::vector<float> fields;
    std::istringstream in(last);
    std::string field;
    while (std::getline(in, field, ',')) fields.push_back(field.empty() ? 0 : std::stof(field));
    ASSERT_GE(fields.size(), 11u) << csv;
    const vec3f expected = Unit(c.x, c.y, c.z);
    EXPECT_NEAR(fields[8], expected.x, 1e-5) << last;
    EXPECT_NEAR(fields[9], expected.y, 1e-5) << last;
    EXPECT_NEAR(fields[10], expected.z, 1e-5) << last;
  }
}

TEST(RoomGravity, ThousandsOfRandomDirectionsReachTheBall) {
  std::mt19937 random(23);
  std::normal_distribution<double> normal;
  for (int i = 0; i < 3000; ++i) {
    const double x = normal(random), y = normal(random), z = normal(random);
    char gravity[128];
    std::snprintf(gravity, sizeof gravity, "%.9g %.9g %.9g", x, y, z);
    SCOPED_TRACE(gravity);
    std::string problems;
    const vec3f g = BallGravityAfterSteps(OneRoom(gravity), 30, problems);
    ASSERT_EQ(problems, "");
    // The direction of the floats the description reads.
    std::istringstream in(gravity);
    float f[3];
    in >> f[0] >> f[1] >> f[2];
    const vec3f unit = Unit(f[0], f[1], f[2]);
    ASSERT_NEAR(g.x, unit.x, 2e-6);
    ASSERT_NEAR(g.y, unit.y, 2e-6);
    ASSERT_NEAR(g.z, unit.z, 2e-6);
  }
}

TEST(RoomGravity, TheWrittenDirectionIsAUnitNeighbourOfTheRoundedOne) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> uniform(-10, 10);
  for (int i = 0; i < 20000; ++i) {
    // Every third direction lies in a coordinate plane: its zero stays zero.
    const vec3f d(uniform(random), i % 3 == 0 ? 0.0f : uniform(random), uniform(random));
    vec3f unit;
    ASSERT_TRUE(chamber::UnitGravity(d, unit)) << d.toString();
    EXPECT_EQ(length(unit), 1.0f);
    EXPECT_TRUE(chamber::GravityUsable(unit));
    EXPECT_EQ(normalised(unit), unit) << "the program's loader keeps it as written";
    const vec3f rounded = Unit(d.x, d.y, d.z);
    for (float k : {0.0f, 1.0f, 2.0f}) {
      const float a = k == 0 ? unit.x : k == 1 ? unit.y : unit.z;
      const float b = k == 0 ? rounded.x : k == 1 ? rounded.y : rounded.z;
      EXPECT_LE(std::fabs(a - b), chamber::kGravitySearchUlps * std::fabs(std::nextafter(b, 2.0f) - b) + 1e-30f)
          << d.toString();
      if (b == 0) {
        EXPECT_EQ(a, 0.0f);
      }
    }
  }
  // No neighbour searched: (1, 1, 0) rounds to a vector of length 0.99999994.
  vec3f unit;
  EXPECT_FALSE(chamber::UnitGravity(vec3f(1, 1, 0), unit, 0));
  EXPECT_TRUE(chamber::UnitGravity(vec3f(0, -3, 0), unit, 0));
  EXPECT_EQ(unit, vec3f(0, -1, 0));
  EXPECT_FALSE(chamber::UnitGravity(vec3f(0, 0, 0), unit));
}

TEST(RoomGravity, DescribeMarksARoomWhoseGravityTheStepIgnores) {
  // Written as given, (1, 1, 0): the program's loader normalises it to a
  // vector of length 0.99999994, which its step ignores. The second room's
  // straight down is fine.
  std::string description = OneRoom("0 -1 0");
  std::vector<chamber::Problem> problems;
  chamber::Chamber c = chamber::ParseDescription(description + "room b\n gravity 0 -1 0\n box 3 0 -2 5 3 2\nend\n",
                                                 problems);
  ASSERT_TRUE(problems.empty());
  c.rooms[0].gravity = vec3f(1, 1, 0);
  ASSERT_FALSE(chamber::GravityUsable(c.rooms[0].gravity));
  std::vector<chamber::ContainerRoom> rooms;
  std::string reason;
  ASSERT_TRUE(chamber::ReadContainerFile(chamber::ContainerFileBytes(c), rooms, reason)) << reason;
  const std::string text = chamber::DescribeContainerFile(rooms);
  const size_t second = text.find("room r1");
  ASSERT_NE(second, std::string::npos);
  EXPECT_NE(text.substr(0, second).find("IGNORED"), std::string::npos) << text;
  EXPECT_EQ(text.substr(second).find("IGNORED"), std::string::npos) << text;
  // Built again, the description gives the room a gravity the step uses.
  problems.clear();
  const chamber::Chamber again = chamber::ParseDescription(text, problems);
  ASSERT_TRUE(problems.empty());
  EXPECT_TRUE(chamber::GravityUsable(again.rooms[0].gravity));
}

}  // namespace
