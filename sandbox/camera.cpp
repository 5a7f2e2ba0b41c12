// The camera: it rides on the ball, turns with the mouse, keeps its up along
// the ball's gravity, and turns the arrow keys into pushes.
#include <GL/gl.h>

#include <cmath>

#include "core/core.h"
#include "instruments/instruments.h"
#include "platform/platform.h"
#include "replay/replay.h"
#include "sandbox/sandbox.h"

// Force added to the ball per held arrow key on a stepping frame.
static const float kPushForce = 0.052f;

static vec3f column(const mat4f& m, int c) { return vec3f(m[4 * c], m[4 * c + 1], m[4 * c + 2]); }

static void setColumn(mat4f& m, int c, const vec3f& v) {
  m[4 * c] = v.x;
  m[4 * c + 1] = v.y;
  m[4 * c + 2] = v.z;
}

// The matrix glRotatef(degrees, 0, 1, 0) multiplies by.
static mat4f rotationAboutY(float degrees) {
  const double radians = static_cast<double>(degrees) * M_PI / 180.0;
  const float c = static_cast<float>(std::cos(radians));
  const float s = static_cast<float>(std::sin(radians));
  mat4f r;
  r[0] = c;
  r[2] = -s;
  r[8] = s;
  r[10] = c;
  return r;
}

void Camera_PushDirections(const mat4f& basis, float yawDegrees, vec3f* forward, vec3f* left) {
  mat4f m = basis;
  m.multiply(rotationAboutY(yawDegrees));
  // Pitch plays no part: the pushes stay level with the camera's floor.
  *forward = -column(m, 2);
  *left = -column(m, 0);
}

void Camera_AlignToGravity(mat4f& basis, const vec3f& gravity, float dt) {
  const vec3f b = column(basis, 2);
  const vec3f z = normalised(b - dot(b, gravity) * gravity);
  const vec3f up = -gravity;
  const vec3f x = normalised(cross(up, z));
  const vec3f targets[3] = {x, up, z};
  // Each axis moves a fraction 5 x dt of its way and is normalised on its
  // own; the frame is not re-orthogonalised.
  for (int c = 0; c < 3; ++c) {
    const vec3f current = column(basis, c);
    setColumn(basis, c, normalised(current + (targets[c] - current) * dt * 5.0f));
  }
}

// Each push is noted, so that a saved session gives chamber-sim the same
// additions in the same order.
static void addPush(Veruruve::Physics::Volume& ball, const vec3f& force) {
  ball.force += force;
  Replay_NotePush(force);
}

static void push(Veruruve::Physics::Volume& ball) {
  // A played-back session takes its pushes from its file.
  if (Replay_Playing()) return;
  vec3f forward, left;
  Camera_PushDirections(sandbox.cameraBasis, sandbox.camera.cameraAngles.y, &forward, &left);
  if (glfwGetKey(GLFW_KEY_UP) == GLFW_PRESS) addPush(ball, kPushForce * forward);
  if (glfwGetKey(GLFW_KEY_DOWN) == GLFW_PRESS) addPush(ball, -kPushForce * forward);
  if (glfwGetKey(GLFW_KEY_LEFT) == GLFW_PRESS) addPush(ball, kPushForce * left);
  if (glfwGetKey(GLFW_KEY_RIGHT) == GLFW_PRESS) addPush(ball, -kPushForce * left);
}

static void mouseLook() {
  Camera& camera = sandbox.camera;
  const int mx = core.mouseX, my = core.mouseY;
  const int dx = sandbox.lastMouse.x - mx;
  const int dy = sandbox.lastMouse.y - my;
  sandbox.lastMouse.x = mx;
  sandbox.lastMouse.y = my;
  // 0.4 degree per pixel: right lowers the yaw, down lowers the pitch.
  camera.targetAngles.y += 0.4f * static_cast<float>(dx);
  camera.targetAngles.x += 0.4f * static_cast<float>(dy);

  // Near an edge the pointer goes back to the centre; lastMouse takes the
  // centre too, so the jump turns nothing.
  const double width = static_cast<unsigned>(core.width);
  const double height = static_cast<unsigned>(core.height);
  if (mx > 0.8 * width || mx < 0.2 * width) {
    sandbox.lastMouse.x = static_cast<int>(static_cast<unsigned>(core.width) / 2);
    glfwSetMousePos(sandbox.lastMouse.x, my);
    Core_UpdateMouse();
  }
  if (core.mouseY > 0.8 * height || core.mouseY < 0.2 * height) {
    sandbox.lastMouse.y = static_cast<int>(static_cast<unsigned>(core.height) / 2);
    glfwSetMousePos(core.mouseX, sandbox.lastMouse.y);
    Core_UpdateMouse();
  }
}

void Camera_Update() {
  Veruruve::Physics::Volume* ball = Sandbox_Ball();
  if (!ball) return;
  if (Instruments_StepDue()) push(*ball);
  const float dt = static_cast<float>(core.frameTimer.smoothedDelta);
  Camera_AlignToGravity(sandbox.cameraBasis, ball->gravity, dt);
  mouseLook();

  Camera& camera = sandbox.camera;
  float k = dt * 20.0f;
  if (k > 0.8f) k = 0.8f;
  camera.cameraAngles += k * (camera.targetAngles - camera.cameraAngles);
  camera.cameraPosition += k * (camera.cameraRestPosition - camera.cameraPosition);

  sandbox.hudLines.push_back("Camera Position: " + camera.cameraPosition.toString());
  sandbox.hudLines.push_back("Camera Angle: " + camera.cameraAngles.toString());
}

void Camera_ApplyView() {
  Camera& camera = sandbox.camera;
  Instruments_ApplyOutsideView();
  glRotatef(-camera.cameraAngles.x, 1, 0, 0);
  glRotatef(-camera.cameraAngles.y, 0, 1, 0);
  glTranslatef(0, core.activeDebug[1].value, core.activeDebug[2].value);
  // The basis is a rotation: its transpose is its inverse.
  mat4f inverse = sandbox.cameraBasis;
  inverse.transpose();
  glMultMatrixf(inverse.m);
  if (const Veruruve::Physics::Volume* ball = Sandbox_Ball()) camera.cameraPosition = ball->position;
  glTranslatef(-camera.cameraPosition.x, -camera.cameraPosition.y, -camera.cameraPosition.z);
}
