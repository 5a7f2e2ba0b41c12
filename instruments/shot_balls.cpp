// Balls shot into the scene with B: spheres like the player's ball, in the
// same world, so they meet the rooms and each other.
#include <cmath>

#include "instruments/instruments.h"
#include "sandbox/sandbox.h"

using Veruruve::Physics::Volume;

int Instruments_ShotBallCount() {
  // Entry 0 is the player's ball; every later body was shot.
  const size_t bodies = sandbox.world.objects.size();
  return bodies > 1 ? static_cast<int>(bodies - 1) : 0;
}

Volume* Instruments_ShootBall(const vec3f& position, const vec3f& velocity) {
  if (!Sandbox_Ball() || Instruments_ShotBallCount() >= kMaxShotBalls) return nullptr;
  Volume* ball = Sandbox_MakeBall(position, sandbox.world.settings);
  ball->velocity = velocity;
  Veruruve::Physics::updateTransforms(*ball);
  sandbox.world.objects.push_back(ball);  // the scene deletes it with the others
  return ball;
}

vec3f Instruments_ViewDirection() {
  // The view turns the world by pitch, then yaw, then the inverse basis; the
  // eye's forward (0, 0, -1) turned back through basis x yaw x pitch.
  const Camera& camera = sandbox.camera;
  const double pitch = static_cast<double>(camera.cameraAngles.x) * M_PI / 180.0;
  const double yaw = static_cast<double>(camera.cameraAngles.y) * M_PI / 180.0;
  const vec3f eye(static_cast<float>(-std::sin(yaw) * std::cos(pitch)),
                  static_cast<float>(std::sin(pitch)),
                  static_cast<float>(-std::cos(yaw) * std::cos(pitch)));
  const mat4f& b = sandbox.cameraBasis;
  return vec3f(b[0] * eye.x + b[4] * eye.y + b[8] * eye.z,
               b[1] * eye.x + b[5] * eye.y + b[9] * eye.z,
               b[2] * eye.x + b[6] * eye.y + b[10] * eye.z);
}

void Instruments_ShootFromCamera() {
  const Volume* player = Sandbox_Ball();
  if (!player) return;
  const vec3f direction = normalised(Instruments_ViewDirection());
  Instruments_ShootBall(player->position + kShotStartDistance * direction, kShotSpeed * direction);
}
