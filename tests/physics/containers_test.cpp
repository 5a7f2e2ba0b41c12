// The container file: rooms, faces, colours, the green-face gravity rule, and
// damaged files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <unistd.h>

#include "sandbox/containers.h"
#include "tests/physics/fixtures.h"

namespace {

using namespace Veruruve::Physics;

struct Loaded {
  PhysicsWorld world;
  ContainerLoadReport report;
  ~Loaded() { destroyContainers(world); }
  explicit Loaded(const std::vector<std::uint8_t>& bytes) {
    report = Containers_LoadMemory(world, bytes.data(), bytes.size());
  }
};

ctr::Face square(const float colour[4] = nullptr, std::uint32_t flags = 0) {
  ctr::Face f;
  if (colour) std::memcpy(f.colour, colour, sizeof f.colour);
  f.flags = flags;
  f.vertices = {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}};
  return f;
}

TEST(ContainerFile, GravityAndTheGreenFaceRule) {
  const float white[4] = {1, 1, 1, 1};
  const float halfGreen[4] = {0, 1, 0, 0.5f};
  struct Case {
    const char* what;
    vec3f gravity;
    std::vector<const float*> colours;
    vec3f expected;
  } cases[] = {
      {"green face, gravity normalised", {0, -5, 0}, {white, ctr::kGreen}, {0, -1, 0}},
      {"all white: no gravity", {0, -5, 0}, {white, white}, {0, 0, 0}},
      {"green needs alpha 1 too", {0, -5, 0}, {halfGreen}, {0, 0, 0}},
      {"zero gravity stays zero", {0, 0, 0}, {ctr::kGreen}, {0, 0, 0}},
      {"no faces: no gravity", {0, -1, 0}, {}, {0, 0, 0}},
      {"sideways", {3, 0, 4}, {ctr::kGreen}, {0.6f, 0, 0.8f}},
  };
  for (const Case& c : cases) {
    ctr::Room room;
    room.gravity = c.gravity;
    for (const float* colour : c.colours) room.faces.push_back(square(colour));
    Loaded l(ctr::encode({room}));
    SCOPED_TRACE(c.what);
    ASSERT_EQ(l.world.containers.size(), 1u);
    EXPECT_EQ(l.world.containers[0]->gravity, c.expected);
    EXPECT_EQ(l.world.containers[0]->collisionFaces.size(), c.colours.size());
  }
}

TEST(ContainerFile, FacesKeepColourFlagsAndOrder) {
  const float red[4] = {1, 0, 0, 0.25f};
  ctr::Room first = ctr::boxRoom({0, 0, 0}, {1, 1, 1});
  ctr::Room second;
  second.faces = {square(red, kOpenFace), square(nullptr, 5)};
  Loaded l(ctr::encode({first, second}));
  EXPECT_TRUE(l.report.opened);
  EXPECT_FALSE(l.report.truncated);
  ASSERT_EQ(l.world.containers.size(), 2u);
  const CollisionBox& a = *l.world.containers[0];
  EXPECT_EQ(a.collisionFaces.size(), 6u);
  EXPECT_EQ(a.vertices.size(), 8u);
  EXPECT_EQ(a.collisionFaces[2].colour[1], 1);  // the green floor
  EXPECT_EQ(a.collisionFaces[2].normal, vec3f(0, 1, 0));
  EXPECT_EQ(a.position, vec3f());
  EXPECT_EQ(a.orientation.w, 0);  // rooms keep the defaults
  const CollisionBox& b = *l.world.containers[1];
  ASSERT_EQ(b.collisionFaces.size(), 2u);
  EXPECT_EQ(b.collisionFaces[0].flags, kOpenFace);
  EXPECT_EQ(b.collisionFaces[0].colour[3], 0.25f);
  EXPECT_EQ(b.collisionFaces[0].colour[0], 1);
  EXPECT_EQ(b.collisionFaces[1].flags, 5u);
  EXPECT_EQ(b.collisionFaces[1].vertices[2], vec3f(1, 0, 1));
}

TEST(ContainerFile, EmptyFiles) {
  for (const std::vector<std::uint8_t>& bytes :
       {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0, 0, 0, 0},
        std::vector<std::uint8_t>{0, 0}}) {
    Loaded l(bytes);
    EXPECT_TRUE(l.world.containers.empty());
  }
}

// Every kind of damage in the one wording the program and both tools use.
TEST(ContainerFile, ProblemsAreNamedInOneWording) {
  const std::vector<std::uint8_t> two = ctr::encode({ctr::boxRoom({-1, 0, -1}, {1, 1, 1}),
                                                     ctr::boxRoom({1, 0, -1}, {3, 1, 1})});
  std::vector<std::uint8_t> withPoorFaces = ctr::encode({ctr::boxRoom({-1, 0, -1}, {1, 1, 1})});
  {
    ctr::Room poor = ctr::boxRoom({-1, 0, -1}, {1, 1, 1});
    poor.faces.push_back(ctr::Face());
    poor.faces.push_back(ctr::Face());
    poor.faces[6].vertices = {{0, 0, 0}, {1, 0, 0}};
    withPoorFaces = ctr::encode({poor});
  }
  std::vector<std::uint8_t> trailing = two;
  trailing.push_back(7);
  const std::vector<std::uint8_t> zeroRooms = {0, 0, 0, 0};
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::string says;
  } cases[] = {
      {"a whole file", two, ""},
      {"no byte at all", {}, "container file 'c.ctr' holds no rooms: the file is empty"},
      {"a room count of 0", zeroRooms, "container file 'c.ctr' holds no rooms"},
      {"less than a room count", {1, 0}, "container file 'c.ctr' is damaged: it ends inside its room count, so it holds no rooms"},
      {"cut inside the first room", std::vector<std::uint8_t>(two.begin(), two.begin() + 30),
       "container file 'c.ctr' is damaged: it ends after 0 whole rooms of the 2 it lists"},
      {"cut inside the second room", std::vector<std::uint8_t>(two.begin(), two.end() - 1),
       "container file 'c.ctr' is damaged: it ends after 1 whole room of the 2 it lists"},
      {"faces of fewer than three corners", withPoorFaces,
       "container file 'c.ctr' is damaged: 2 faces have fewer than 3 corners and are left out"},
      {"data after the last room", trailing,
       "container file 'c.ctr' is damaged: data follows its last room (it lists 2 rooms)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Loaded l(c.bytes);
    EXPECT_EQ(Containers_Problem(l.report, "c.ctr"), c.says);
  }
  // Files that cannot be read give the system's reason.
  PhysicsWorld world;
  ContainerLoadReport report = Containers_Load(world, "/nonexistent/c.ctr");
  EXPECT_EQ(Containers_Problem(report, "/nonexistent/c.ctr"),
            "cannot open container file '/nonexistent/c.ctr': No such file or directory");
  report = Containers_Load(world, "/");
  EXPECT_EQ(Containers_Problem(report, "/"), "cannot read container file '/': Is a directory");
  destroyContainers(world);
}

TEST(ContainerFile, CountsAreNeverTrusted) {
  // Four billion rooms claimed, eight bytes of one given: nothing is made.
  // A loader that trusted the count would exhaust memory or run into the
  // test's time-out; the speed itself is measured in the benchmarks.
  std::vector<std::uint8_t> huge;
  ctr::putU32(huge, 0xffffffffu);
  ctr::putF32(huge, 0);
  ctr::putF32(huge, -1);
  Loaded l(huge);
  EXPECT_TRUE(l.world.containers.empty());
  EXPECT_TRUE(l.report.truncated);

  // Two rooms claimed, one given: one room.
  std::vector<std::uint8_t> two = ctr::encode({ctr::boxRoom({0, 0, 0}, {1, 1, 1})});
  two[0] = 2;
  Loaded l2(two);
  EXPECT_EQ(l2.world.containers.size(), 1u);
  EXPECT_TRUE(l2.report.truncated);

  // A face claiming four billion vertices and holding three.
  ctr::Room room;
  room.faces = {square(ctr::kGreen)};
  room.faces[0].vertices.pop_back();
  std::vector<std::uint8_t> bytes = ctr::encode({room});
  const std::size_t vertexCountAt = 4 + 16 + 16;
  for (int i = 0; i < 4; ++i) bytes[vertexCountAt + i] = 0xff;
  Loaded l3(bytes);
  ASSERT_EQ(l3.world.containers.size(), 1u);
  EXPECT_TRUE(l3.world.containers[0]->collisionFaces.empty());
  EXPECT_EQ(l3.world.containers[0]->gravity, vec3f());  // its green face never came
}

TEST(ContainerFile, StopsAtTheLastCompleteFace) {
  ctr::Room room = ctr::boxRoom({0, 0, 0}, {1, 1, 1});
  const std::vector<std::uint8_t> whole = ctr::encode({room, room});
  const std::size_t roomBytes = (whole.size() - 4) / 2;
  const std::size_t faceBytes = (roomBytes - 16) / 6;
  struct Case {
    std::size_t cut;  // bytes kept
    std::size_t rooms, facesInLast;
  } cases[] = {
      {whole.size(), 2, 6},
      {whole.size() - 1, 2, 5},
      {4 + roomBytes + 16 + faceBytes + 3, 2, 1},
      {4 + roomBytes + 16, 2, 0},
      {4 + roomBytes + 15, 1, 6},
      {4 + 16 + 3 * faceBytes + 24, 1, 3},  // inside the fourth face's vertices
  };
  for (const Case& c : cases) {
    Loaded l(std::vector<std::uint8_t>(whole.begin(), whole.begin() + c.cut));
    SCOPED_TRACE(c.cut);
    ASSERT_EQ(l.world.containers.size(), c.rooms);
    EXPECT_EQ(l.world.containers.back()->collisionFaces.size(), c.facesInLast);
    EXPECT_EQ(l.report.truncated, c.cut != whole.size());
  }
}

TEST(ContainerFile, FacesOfFewerThanThreeVerticesAreSkipped) {
  ctr::Room room;
  ctr::Face line = square(ctr::kGreen);
  line.vertices.resize(2);
  ctr::Face none = square();
  none.vertices.clear();
  room.faces = {line, square(), none};
  Loaded l(ctr::encode({room}));
  ASSERT_EQ(l.world.containers.size(), 1u);
  const CollisionBox& box = *l.world.containers[0];
  ASSERT_EQ(box.collisionFaces.size(), 1u);
  EXPECT_EQ(box.collisionFaces[0].colour[1], 1);
  EXPECT_EQ(box.collisionFaces[0].colour[0], 1);  // the white square, not the green line
  EXPECT_EQ(box.gravity, vec3f());
  EXPECT_EQ(l.report.facesSkipped, 2u);
}

TEST(ContainerFile, NonFiniteNumbersLoadAndStepWithoutHarm) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  ctr::Room room = ctr::boxRoom({-1, 0, -1}, {1, 1, 1}, vec3f(inf, 0, 0));
  room.faces[0].vertices[1] = vec3f(nan, 0, 0);
  room.faces[4].colour[2] = nan;
  ctr::Room other = ctr::boxRoom({-inf, 0, -1}, {1, 1, inf}, vec3f(nan, nan, nan));
  Loaded l(ctr::encode({room, other}));
  ASSERT_EQ(l.world.containers.size(), 2u);
  auto ball = fixtures::ball({0, 0.5f, 0});
  l.world.objects.push_back(ball.get());
  for (int i = 0; i < 100; ++i) stepPhysics(l.world);
  l.world.objects.clear();
  // Neither room has gravity (the first one's direction cannot be
  // normalised, the second one's is not a number), and nothing touches the
  // ball: it keeps its place, finite.
  const vec3f& p = ball->position;
  ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) << p.toString();
  EXPECT_TRUE(std::fabs(p.x) <= 1 && std::fabs(p.z) <= 1 && p.y >= 0 && p.y <= 1) << p.toString();
}

class ContainerFileOnDisk : public ::testing::Test {
 protected:
  std::string path = ::testing::TempDir() + "containers_test_" + std::to_string(getpid()) + ".ctr";
  void TearDown() override { std::remove(path.c_str()); }
};

TEST_F(ContainerFileOnDisk, LoadingTwiceGivesTheSameRooms) {
  ctr::Room room = ctr::boxRoom({0, 0, 0}, {1, 1, 1});
  ASSERT_TRUE(ctr::writeFile(path, ctr::encode({room, room, room})));
  PhysicsWorld world;
  testing::internal::CaptureStdout();
  Game_File_Load_Containers(world, path.c_str());
  Game_File_Load_Containers(world, path.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Game_File_Load_Containers\nGame_File_Load_Containers\n");
  EXPECT_EQ(world.containers.size(), 3u);
  EXPECT_EQ(world.containers[2]->collisionFaces.size(), 6u);
  destroyContainers(world);
}

// The same cuts as in memory, through a real file: a short read at the end
// of the file is no complete field.
TEST_F(ContainerFileOnDisk, StopsAtTheLastCompleteFace) {
  ctr::Room room = ctr::boxRoom({0, 0, 0}, {1, 1, 1});
  const std::vector<std::uint8_t> whole = ctr::encode({room, room});
  const std::size_t roomBytes = 16 + 6 * (16 + 8 + 4 * 12);
  const std::size_t faceBytes = (roomBytes - 16) / 6;
  ASSERT_EQ(whole.size(), 4 + 2 * roomBytes);
  struct Case {
    const char* what;
    std::size_t cut;  // bytes kept
    std::size_t rooms, facesInLast;
  } cases[] = {
      {"whole", whole.size(), 2, 6},
      {"inside the second room's face count", 4 + roomBytes + 14, 1, 6},
      {"inside the second face's vertex count", 4 + roomBytes + 16 + faceBytes + 18, 2, 1},
      {"inside the fourth face's last vertex", 4 + 16 + 4 * faceBytes - 5, 1, 3},
      {"one byte short", whole.size() - 1, 2, 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(ctr::writeFile(path, std::vector<std::uint8_t>(whole.begin(), whole.begin() + c.cut)));
    PhysicsWorld world;
    testing::internal::CaptureStdout();
    Game_File_Load_Containers(world, path.c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(world.containers.size(), c.rooms);
    if (world.containers.size() == c.rooms) {
      EXPECT_EQ(world.containers.back()->collisionFaces.size(), c.facesInLast);
      EXPECT_EQ(world.containers[0]->gravity, vec3f(0, -1, 0));
    }
    const ContainerLoadReport report = Containers_Load(world, path.c_str());
    EXPECT_TRUE(report.opened);
    EXPECT_FALSE(report.readError);
    EXPECT_EQ(report.truncated, c.cut != whole.size());
    EXPECT_EQ(world.containers.size(), c.rooms);
    destroyContainers(world);
  }
}

TEST_F(ContainerFileOnDisk, MissingFileLeavesNoRooms) {
  PhysicsWorld world;
  world.containers.push_back(new CollisionBox());  // from an earlier load
  testing::internal::CaptureStdout();
  Game_File_Load_Containers(world, (path + ".missing").c_str());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Game_File_Load_Containers\n");
  EXPECT_TRUE(world.containers.empty());
  EXPECT_FALSE(Containers_Load(world, (path + ".missing").c_str()).opened);
  const ContainerLoadReport dir = Containers_Load(world, ::testing::TempDir().c_str());
  EXPECT_TRUE(dir.readError || !dir.opened);
  EXPECT_TRUE(world.containers.empty());
}

}  // namespace
