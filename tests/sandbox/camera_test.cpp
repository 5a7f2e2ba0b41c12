// The camera and the overlay without a window: their arithmetic, their
// lines, and the keys and pointer through the scripted window library.
#include <cmath>

#include "sandbox/sandbox.h"
#include "tests/core/core_fixture.h"
#include "tests/support/freetype_reference.h"

namespace {

using Veruruve::Physics::CollisionSphere;
using Veruruve::Physics::Volume;

vec3f column(const mat4f& m, int c) { return vec3f(m[4 * c], m[4 * c + 1], m[4 * c + 2]); }

void expectNear(const vec3f& actual, const vec3f& expected, const char* what) {
  EXPECT_NEAR(actual.x, expected.x, 1e-6) << what;
  EXPECT_NEAR(actual.y, expected.y, 1e-6) << what;
  EXPECT_NEAR(actual.z, expected.z, 1e-6) << what;
}

class SandboxTest : public CoreTest {
 protected:
  void SetUp() override {
    CoreTest::SetUp();
    for (Volume* body : sandbox.world.objects) delete body;
    sandbox.world.objects.clear();
    sandbox.camera = Camera();
    sandbox.cameraBasis = mat4f();
    sandbox.hudLines.clear();
    sandbox.lastMouse = MousePosition();
    sandbox.nextStepTime = 0;
    core.width = 640;
    core.height = 480;
    ball_ = Sandbox_MakeBall(vec3f(0, 0.5f, 0));
    sandbox.world.objects.push_back(ball_);
  }
  void TearDown() override {
    for (Volume* body : sandbox.world.objects) delete body;
    sandbox.world.objects.clear();
    sandbox.hudLines.clear();
    CoreTest::TearDown();
  }
  CollisionSphere* ball_ = nullptr;
};

TEST(CameraAlignment, AnIdentityBasisStaysUnderDownwardGravity) {
  mat4f basis;
  for (int frame = 0; frame < 10; ++frame) Camera_AlignToGravity(basis, vec3f(0, -1, 0), 0.016f);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(basis[i], mat4f()[i]) << i;
}

TEST(CameraAlignment, TheUpAxisTurnsByTheFractionFiveTimesDt) {
  mat4f basis;
  const float dt = 0.02f;  // fraction 0.1 of the remaining way per frame
  Camera_AlignToGravity(basis, vec3f(1, 0, 0), dt);
  // Up is -gravity = (-1, 0, 0); y goes 0.1 of the way there, then is normalised.
  expectNear(column(basis, 1), normalised(vec3f(-0.1f, 0.9f, 0)), "y axis");
  // z is already perpendicular to gravity; x heads for up x z = (0, 1, 0).
  expectNear(column(basis, 2), vec3f(0, 0, 1), "z axis");
  expectNear(column(basis, 0), normalised(vec3f(0.9f, 0.1f, 0)), "x axis");
  // Over many frames the frame rolls onto the wall.
  for (int frame = 0; frame < 200; ++frame) Camera_AlignToGravity(basis, vec3f(1, 0, 0), dt);
  expectNear(column(basis, 1), vec3f(-1, 0, 0), "y axis at rest");
  expectNear(column(basis, 0), vec3f(0, 1, 0), "x axis at rest");
}

TEST(CameraPushes, AreLevelAndFollowTheYaw) {
  struct Case {
    float yaw;
    vec3f forward, left;
  } cases[] = {
      {0, {0, 0, -1}, {-1, 0, 0}},
      {90, {-1, 0, 0}, {0, 0, 1}},
      {180, {0, 0, 1}, {1, 0, 0}},
      {-90, {1, 0, 0}, {0, 0, -1}},
  };
  for (const Case& c : cases) {
    vec3f forward, left;
    Camera_PushDirections(mat4f(), c.yaw, &forward, &left);
    expectNear(forward, c.forward, "forward");
    expectNear(left, c.left, "left");
  }
  // On a wall (up = -x), forward stays in the wall's plane.
  mat4f wall;
  for (int frame = 0; frame < 300; ++frame) Camera_AlignToGravity(wall, vec3f(1, 0, 0), 0.02f);
  vec3f forward, left;
  Camera_PushDirections(wall, 0, &forward, &left);
  EXPECT_NEAR(forward.x, 0, 1e-5);
  EXPECT_NEAR(left.x, 0, 1e-5);
}

TEST_F(SandboxTest, ArrowKeysPushOnlyOnSteppingFrames) {
  fake.keysDown = {GLFW_KEY_UP, GLFW_KEY_LEFT};
  core.frameTimer.total = 1.0;
  sandbox.nextStepTime = 2.0f;  // no step due
  Camera_Update();
  EXPECT_EQ(ball_->force, vec3f(0, 0, 0));
  sandbox.nextStepTime = 0.5f;  // a step is due
  Camera_Update();
  expectNear(ball_->force, vec3f(-0.052f, 0, -0.052f), "force");
  fake.keysDown = {GLFW_KEY_DOWN, GLFW_KEY_RIGHT};
  Camera_Update();
  expectNear(ball_->force, vec3f(0, 0, 0), "force after the opposite keys");
}

TEST_F(SandboxTest, MouseLookTurnsPointFourDegreesPerPixelAndRecentres) {
  core.frameTimer.smoothedDelta = 1.0;  // k capped at 0.8
  core.mouseX = sandbox.lastMouse.x = 320;
  core.mouseY = sandbox.lastMouse.y = 240;
  core.mouseX = 330;  // 10 pixels right
  Camera_Update();
  EXPECT_FLOAT_EQ(sandbox.camera.targetAngles.y, -4.0f);
  EXPECT_FLOAT_EQ(sandbox.camera.cameraAngles.y, -3.2f);  // 0.8 of the way
  core.mouseY = 230;  // 10 pixels up raises the pitch
  Camera_Update();
  EXPECT_FLOAT_EQ(sandbox.camera.targetAngles.x, 4.0f);
  EXPECT_FLOAT_EQ(sandbox.camera.targetAngles.z, 0.0f);

  // Past 80% of the width: the pointer goes back to the centre, lastMouse
  // with it, and the jump turns nothing.
  core.mouseX = 600;
  Camera_Update();
  const float yaw = sandbox.camera.targetAngles.y;
  EXPECT_FLOAT_EQ(yaw, -4.0f - 0.4f * 270);
  EXPECT_EQ(fake.mouseX, 320);
  EXPECT_EQ(core.mouseX, 320);
  EXPECT_EQ(sandbox.lastMouse.x, 320);
  Core_UpdateMouse();
  Camera_Update();
  EXPECT_FLOAT_EQ(sandbox.camera.targetAngles.y, yaw);
}

TEST_F(SandboxTest, MouseLookRecentresEachAxisOnItsOwn) {
  // 640 x 480: the band is 128..512 across and 96..384 down; the centre is
  // (320, 240).
  core.frameTimer.smoothedDelta = 1.0;
  struct Case {
    const char* what;
    int x, y;            // where the pointer goes from the centre
    int pointerX, pointerY;  // where it is afterwards
    float pitch, yaw;    // the turn of that frame
  } cases[] = {
      {"below 80% of the height", 330, 400, 330, 240, -64, -4},
      {"above 20% of the height", 330, 90, 330, 240, 60, -4},
      {"inside the band", 330, 380, 330, 380, -56, -4},
      {"past both edges", 600, 50, 320, 240, 76, -112},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sandbox.camera = Camera();
    fake.mouseX = core.mouseX = sandbox.lastMouse.x = 320;
    fake.mouseY = core.mouseY = sandbox.lastMouse.y = 240;
    fake.mouseX = c.x;
    fake.mouseY = c.y;
    Core_UpdateMouse();
    Camera_Update();
    EXPECT_FLOAT_EQ(sandbox.camera.targetAngles.x, c.pitch);
    EXPECT_FLOAT_EQ(sandbox.camera.targetAngles.y, c.yaw);
    EXPECT_EQ(fake.mouseX, c.pointerX);
    EXPECT_EQ(fake.mouseY, c.pointerY);
    EXPECT_EQ(core.mouseX, c.pointerX);
    EXPECT_EQ(core.mouseY, c.pointerY);
    EXPECT_EQ(sandbox.lastMouse.x, c.pointerX);
    EXPECT_EQ(sandbox.lastMouse.y, c.pointerY);
    // The jump back turns nothing on the next frame.
    Core_UpdateMouse();
    Camera_Update();
    EXPECT_FLOAT_EQ(sandbox.camera.targetAngles.x, c.pitch);
    EXPECT_FLOAT_EQ(sandbox.camera.targetAngles.y, c.yaw);
  }
}

TEST_F(SandboxTest, CameraLinesUseTheVectorTextForm) {
  Camera_Update();
  ASSERT_EQ(sandbox.hudLines.size(), 2u);
  EXPECT_EQ(sandbox.hudLines[0], "Camera Position: vec3f<0, 0, 0>");
  EXPECT_EQ(sandbox.hudLines[1], "Camera Angle: vec3f<0, 0, 0>");
}

TEST_F(SandboxTest, ContainersLineEndsWithASpace) {
  EXPECT_EQ(Sandbox_ContainersLine(*ball_), "Containers: ");
  ball_->containerIndices = {0, 2};
  EXPECT_EQ(Sandbox_ContainersLine(*ball_), "Containers: 0 2 ");
}

TEST_F(SandboxTest, OverlayLinesStartWithTheFixedOnes) {
  core.activeDebug[0].value = 0.5f;
  core.activeDebug[1].value = 1.0f / 3.0f;
  core.activeDebug[2].value = 0;
  core.fps.framesPerSecond = 60;
  sandbox.hudLines = {"Containers: 0 "};
  const std::vector<std::string> lines = Overlay_Lines();
  EXPECT_EQ(lines, std::vector<std::string>({"Debug Data", "Active Debug: (0.5, 0.333333, 0)",
                                             "FPS: 60", "Containers: 0 "}));
}

TEST_F(SandboxTest, OverlayPanelGrowsUpwardsFromAbove100PixelsOffTheBottom) {
  sandbox.hudLines.clear();
  std::vector<std::string> lines = Overlay_Lines();
  ASSERT_EQ(lines.size(), 3u);
  OverlayPanel panel = Overlay_Panel(lines);
  EXPECT_EQ(panel.halfHeight, 40);
  EXPECT_EQ(panel.halfWidth, 10);  // no font: every width is 0
  EXPECT_EQ(panel.centreX, 320);
  EXPECT_EQ(panel.centreY, 480 - 100 - 40);

  const char* vera = "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf";
  ASSERT_TRUE(Font_Create(10, vera));
  const std::string longest = "a much longer line than the others";
  lines.push_back(longest);
  panel = Overlay_Panel(lines);
  EXPECT_EQ(panel.halfHeight, 50);
  // The width in whole pixels from FreeType's own advances, each cut to
  // whole pixels: the longest line sets it.
  const std::vector<ReferenceGlyph> glyphs = ReferenceGlyphs(vera, 10);
  ASSERT_GT(glyphs.size(), 127u);
  long width = 0;
  for (unsigned char c : longest) width += glyphs[c].advance / 64;
  EXPECT_GT(width, 150);
  EXPECT_EQ(panel.halfWidth, static_cast<float>(width) * 0.5f + 10);
  EXPECT_EQ(panel.centreY, 480 - 100 - 50);
  Font_Destroy();
}

}  // namespace
