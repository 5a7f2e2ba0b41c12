// Reloading the chamber while the program runs: which files may replace the
// running chamber, and what a reload keeps and starts again in the scene.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

#include "instruments/instruments.h"
#include "live/live.h"
#include "sandbox/notices.h"
#include "replay/replay.h"
#include "sandbox/sandbox.h"
#include "tests/core/core_fixture.h"
#include "tests/physics/container_writer.h"
#include "watch/file_watch.h"

namespace {

using Veruruve::Physics::destroyContainers;

std::string bytesOf(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::string roomsFile(int rooms) {
  std::vector<ctr::Room> list;
  for (int k = 0; k < rooms; ++k)
    list.push_back(ctr::boxRoom({-1 + 4.0f * k, 0, -1}, {1 + 4.0f * k, 1, 1}));
  return bytesOf(ctr::encode(list));
}

const char kObj[] =
    "mtllib room.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\nusemtl red\nf 1//1 2//1 3//1\n";
const char kMtl[] = "newmtl red\nKd 1 0 0\n";

class LiveLoad : public CoreTest {
 protected:
  ChamberFiles files;
  void SetUp() override {
    CoreTest::SetUp();
    writeFile("0.ctr", roomsFile(2));
    writeFile("room.obj", kObj);
    writeFile("room.mtl", kMtl);
    files.ctrPath = "0.ctr";
    files.objPath = "room.obj";
  }
};

TEST_F(LiveLoad, WholeFilesAreTakenAndDamagedOnesNamed) {
  const std::string good = roomsFile(2);
  const struct {
    const char* what;
    std::function<void(ChamberFiles&)> change;
    const char* problem;  // null: usable
    std::size_t rooms;
  } cases[] = {
      {"unchanged", [](ChamberFiles&) {}, nullptr, 2},
      {"rooms cut inside a face",
       [&](ChamberFiles&) { writeFile("0.ctr", good.substr(0, good.size() - 7)); },
       "0.ctr ends inside a record", 0},
      {"rooms cut inside the count", [&](ChamberFiles&) { writeFile("0.ctr", good.substr(0, 2)); },
       "0.ctr ends inside a record", 0},
      {"rooms emptied", [](ChamberFiles&) { writeFile("0.ctr", ""); }, "0.ctr is empty", 0},
      {"rooms removed", [](ChamberFiles&) { std::remove("0.ctr"); }, "0.ctr cannot be read", 0},
      {"rooms missing as at start-up",
       [](ChamberFiles& f) {
         std::remove("0.ctr");
         f.ctrWasMissing = true;
       },
       nullptr, 0},
      {"no rooms at all", [](ChamberFiles&) { writeFile("0.ctr", roomsFile(0)); }, nullptr, 0},
      {"model without triangles", [](ChamberFiles&) { writeFile("room.obj", "v 0 0 0\n"); },
       "room.obj holds no triangles", 2},
      {"model removed", [](ChamberFiles&) { std::remove("room.obj"); }, "room.obj cannot be read",
       2},
      {"model missing as at start-up",
       [](ChamberFiles& f) {
         std::remove("room.obj");
         f.objWasMissing = true;
       },
       nullptr, 2},
      {"library removed", [](ChamberFiles&) { std::remove("room.mtl"); },
       "room.mtl cannot be read", 2},
      {"library missing as at start-up",
       [](ChamberFiles& f) {
         std::remove("room.mtl");
         f.librariesMissing = {"room.mtl"};
       },
       nullptr, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();  // the files afresh
    ChamberFiles chamber = files;
    c.change(chamber);
    LoadedChamber loaded;
    std::string problem;
    const bool usable = Live_LoadChamber(chamber, &loaded, &problem);
    if (c.problem) {
      EXPECT_FALSE(usable);
      EXPECT_EQ(problem, c.problem);
    } else {
      ASSERT_TRUE(usable) << problem;
      EXPECT_EQ(loaded.rooms.containers.size(), c.rooms);
      // The digest is of the bytes the rooms came from.
      EXPECT_EQ(loaded.ctrSha256, loaded.ctrPresent ? *watch::fileSha256Hex("0.ctr") : "");
    }
    destroyContainers(loaded.rooms);
  }
}

TEST_F(LiveLoad, AUsableModelKeepsItsMaterialsAndNamesItsLibraries) {
  LoadedChamber loaded;
  std::string problem;
  ASSERT_TRUE(Live_LoadChamber(files, &loaded, &problem)) << problem;
  EXPECT_TRUE(loaded.hasModel);
  EXPECT_EQ(loaded.model.triangleCount, 1);
  ASSERT_EQ(loaded.model.materials.size(), 1u);
  EXPECT_EQ(loaded.model.libraries, std::vector<std::string>{"room.mtl"});
  destroyContainers(loaded.rooms);
}

// The scene with its instruments, driven frame by frame.
class LiveScene : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    core.width = 640;
    core.height = 480;
    writeFile("0.ctr", roomsFile(2));
    fake.windowOpen = true;
    fake.mouseX = 320;
    fake.mouseY = 240;
    Sandbox_Initialize();
    core.screen = Screen_Sandbox;
  }
  void TearDown() override {
    Sandbox_Destroy();
    sandbox = SandboxState();
    instruments = InstrumentsState();
    replay = ReplayWindowState();
    live = LiveState();
    CoreTest::TearDown();
  }
  void frame(std::set<int> keys = {}) {
    fake.keysDown = std::move(keys);
    fake.time += 0.020;
    Core_Update();
    sandbox.hudLines.clear();
  }
  // Replaced as an editor saves: a new file renamed over the old one.
  void replace(const std::string& name, const std::string& bytes) {
    writeFile(name + ".new", bytes);
    ASSERT_EQ(std::rename((name + ".new").c_str(), name.c_str()), 0);
  }
  // Frames for up to two seconds, until done() holds.
  bool framesUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 100 && !done(); ++i) frame();
    return done();
  }
};

TEST_F(LiveScene, AReloadStartsThePhysicsAgainAndKeepsTheRest) {
  for (int i = 0; i < 30; ++i) frame({GLFW_KEY_UP});
  frame({'B'});
  frame({GLFW_KEY_F4});
  core.activeDebug[0].value = 1.5f;
  fake.mouseX += 40;
  frame();
  ASSERT_EQ(sandbox.world.objects.size(), 2u);
  const vec3f angles = sandbox.camera.targetAngles;
  ASSERT_GT(replay.history.newest, 30u);

  const std::string three = roomsFile(3);
  replace("0.ctr", three);
  ASSERT_TRUE(framesUntil([] { return sandbox.world.containers.size() == 3; }));
  EXPECT_EQ(sandbox.world.objects.size(), 1u) << "the shot ball is gone";
  EXPECT_LE(replay.history.newest, 2u) << "a new session";
  EXPECT_LT(std::fabs(Sandbox_Ball()->position.x), 0.01f) << "the ball from its start";
  EXPECT_EQ(replay.log.ctrSha256, watch::sha256Hex(three));
  EXPECT_TRUE(instruments.plots);
  EXPECT_EQ(core.activeDebug[0].value, 1.5f);
  EXPECT_EQ(sandbox.camera.targetAngles.y, angles.y);
  EXPECT_TRUE(Live_StatusLines().empty());

  // A damaged file leaves the chamber running, and says so until a good one.
  replace("0.ctr", three.substr(0, three.size() / 2));
  const std::string says = "Not reloaded: 0.ctr ends inside a record; the chamber stays as it was";
  ASSERT_TRUE(framesUntil([&] { return !Live_StatusLines().empty(); }));
  EXPECT_EQ(Live_StatusLines(), std::vector<std::string>{says});
  EXPECT_EQ(sandbox.world.containers.size(), 3u);
  const std::uint64_t stepsBefore = replay.history.newest;
  for (int i = 0; i < 10; ++i) frame();
  EXPECT_GT(replay.history.newest, stepsBefore) << "the old chamber runs on";
  EXPECT_EQ(Live_StatusLines(), std::vector<std::string>{says});

  replace("0.ctr", roomsFile(1));
  ASSERT_TRUE(framesUntil([] { return sandbox.world.containers.size() == 1; }));
  EXPECT_TRUE(Live_StatusLines().empty());
}

TEST_F(LiveScene, AContainerFileThatAppearsLaterIsLoaded) {
  Sandbox_Destroy();
  sandbox = SandboxState();
  std::remove("0.ctr");
  Sandbox_Initialize();
  EXPECT_TRUE(sandbox.world.containers.empty());
  EXPECT_TRUE(replay.log.ctrSha256.empty());
  for (int i = 0; i < 40; ++i) frame();
  EXPECT_TRUE(Live_StatusLines().empty()) << "missing, as at start-up, is no problem";
  ASSERT_EQ(Notices_Lines().size(), 1u) << "the start-up line says it is missing";
  replace("0.ctr", roomsFile(2));
  ASSERT_TRUE(framesUntil([] { return sandbox.world.containers.size() == 2; }));
  EXPECT_FALSE(replay.log.ctrSha256.empty());
  EXPECT_TRUE(Notices_Lines().empty()) << "the start-up line goes once the rooms are in use";
}

TEST_F(LiveScene, APlayedBackReplayKeepsItsChamber) {
  replay.playing = true;
  replay.playback.ctrPath = "0.ctr";
  replay.playback.steps = 1000;
  Sandbox_Initialize();
  replace("0.ctr", roomsFile(3));
  for (int i = 0; i < 100; ++i) frame();
  EXPECT_EQ(sandbox.world.containers.size(), 2u);
}

}  // namespace
