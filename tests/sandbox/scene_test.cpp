// The scene's set-up and reset against a working directory of its own,
// without a window.
#include "sandbox/sandbox.h"
#include "tests/core/core_fixture.h"
#include "tests/physics/container_writer.h"

namespace {

using Veruruve::Physics::Volume;

class SceneTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    core.width = 640;
    core.height = 480;
    const std::vector<std::uint8_t> bytes =
        ctr::encode({ctr::boxRoom(vec3f(-1, 0, -1), vec3f(1, 2, 1)),
                     ctr::boxRoom(vec3f(1, 0, -1), vec3f(3, 2, 1), vec3f(1, 0, 0))});
    writeFile("0.ctr", std::string(bytes.begin(), bytes.end()));
    ::testing::internal::CaptureStdout();
  }
  void TearDown() override {
    output_ = ::testing::internal::GetCapturedStdout();
    for (Volume* body : sandbox.world.objects) delete body;
    sandbox.world.objects.clear();
    Veruruve::Physics::destroyContainers(sandbox.world);
    sandbox = SandboxState();
    CoreTest::TearDown();
  }
  std::string output_;
};

TEST_F(SceneTest, InitializeMakesTheBallAndLoadsTheRooms) {
  fake.windowOpen = true;
  Sandbox_Initialize();
  ASSERT_EQ(sandbox.world.objects.size(), 1u);
  const Volume* ball = Sandbox_Ball();
  EXPECT_EQ(ball->position, vec3f(0, 0.5f, 0));
  EXPECT_EQ(ball->mass, 10.0f);
  EXPECT_EQ(ball->gravity, vec3f(0, -1, 0));
  EXPECT_EQ(ball->orientation.w, 1.0f);
  EXPECT_EQ(sandbox.world.containers.size(), 2u);
  EXPECT_EQ(sandbox.camera.cameraPosition, vec3f(-1, 0.15f, 0));
  EXPECT_EQ(sandbox.camera.cameraRestPosition, vec3f(-1, 0.15f, 0));
  // The pointer was centred and the camera remembers it.
  EXPECT_EQ(fake.mouseX, 320);
  EXPECT_EQ(fake.mouseY, 240);
  EXPECT_EQ(sandbox.lastMouse.x, 320);
  EXPECT_EQ(sandbox.lastMouse.y, 240);
  EXPECT_EQ(sandbox.nextStepTime, 0);
}

TEST_F(SceneTest, AResetStartsAgainWithOneBallAtTheStart) {
  Sandbox_Initialize();
  Sandbox_Ball()->position = vec3f(0.7f, 0.02f, 0.3f);
  sandbox.camera.cameraAngles = vec3f(10, 20, 0);
  Sandbox_Initialize();
  ASSERT_EQ(sandbox.world.objects.size(), 1u);
  EXPECT_EQ(Sandbox_Ball()->position, vec3f(0, 0.5f, 0));
  EXPECT_EQ(sandbox.world.containers.size(), 2u);
  EXPECT_EQ(sandbox.camera.targetAngles, vec3f(10, 20, 0));
}

TEST_F(SceneTest, UpdateStepsAtMostOncePerFrameAndSixteenMillisecondsApart) {
  Sandbox_Initialize();
  const float y0 = Sandbox_Ball()->position.y;
  core.frameTimer.total = 0.001;
  Sandbox_Update();  // nextStepTime 0: steps
  const float y1 = Sandbox_Ball()->position.y;
  EXPECT_LT(y1, y0);
  EXPECT_FLOAT_EQ(sandbox.nextStepTime, 0.001f + 0.016f);
  core.frameTimer.total = 0.010;
  Sandbox_Update();  // not due
  EXPECT_EQ(Sandbox_Ball()->position.y, y1);
  core.frameTimer.total = 0.5;
  Sandbox_Update();  // due once, however late
  EXPECT_LT(Sandbox_Ball()->position.y, y1);
  EXPECT_FLOAT_EQ(sandbox.nextStepTime, 0.516f);
  // Every update adds the ball's "Containers: " line.
  ASSERT_EQ(sandbox.hudLines.size(), 3u);
  EXPECT_EQ(sandbox.hudLines[2], "Containers: 0 ");
}

TEST_F(SceneTest, ModelsAreLoadedInListingOrderAndGrowWithEachRebuild) {
  writeFile("room.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  writeFile(".obj", "v 0 0 0\n");        // the suffix alone is no model
  writeFile("other.OBJ", "v 0 0 0\n");   // nor is an upper-case suffix
  Sandbox_Initialize();
  ASSERT_EQ(sandbox.modelList.size(), 1u);
  EXPECT_EQ(sandbox.modelList[0].name, "room.obj");
  EXPECT_EQ(sandbox.modelList[0].triangleCount, 1);
  Sandbox_LoadTextures();
  EXPECT_EQ(sandbox.modelList.size(), 2u);
}

TEST_F(SceneTest, AResetDrawsTheModelItFindsNowAndARebuildKeepsIt) {
  writeFile("room.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  Sandbox_Initialize();
  // The chamber is rebuilt with another model, then the program reset.
  writeFile("room.obj", "v 0 0 0\nv 2 0 0\nv 0 2 0\nv 2 2 0\nf 1 2 3\nf 3 2 4\n");
  Sandbox_Initialize();
  ASSERT_EQ(sandbox.modelList.size(), 1u);
  EXPECT_EQ(sandbox.modelList[0].triangleCount, 2);
  EXPECT_EQ(sandbox.modelList[0].vertices[1], vec3f(2, 0, 0));
  // A rebuilt window draws the same chamber as before.
  writeFile("room.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
  Sandbox_LoadTextures();
  EXPECT_EQ(sandbox.modelList[0].triangleCount, 2);
  // Without a model now, a reset draws none.
  unlink("room.obj");
  Sandbox_Initialize();
  EXPECT_TRUE(sandbox.modelList.empty());
}

TEST_F(SceneTest, NoContainerFileLeavesNoRoomsAndTheBallDrifts) {
  unlink("0.ctr");
  Sandbox_Initialize();
  EXPECT_TRUE(sandbox.world.containers.empty());
  core.frameTimer.total = 1;
  Sandbox_Update();
  EXPECT_EQ(Sandbox_Ball()->position, vec3f(0, 0.5f, 0));
  EXPECT_EQ(sandbox.hudLines.back(), "Containers: ");
}

}  // namespace
