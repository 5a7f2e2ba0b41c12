// The ball, made the same way by the scene and by the headless simulator.
#include "sandbox/sandbox.h"

using Veruruve::Physics::CollisionSphere;

CollisionSphere* Sandbox_MakeBall(const vec3f& position) {
  CollisionSphere* ball = new CollisionSphere();
  ball->mass = 10.0f;
  ball->position = position;
  // Unit radius first, whatever the class default, then the ball's size.
  ball->normalise();
  ball->scale(0.02f);
  ball->orientation.w = 1;
  ball->orientation.x = 0;
  ball->orientation.y = 0;
  ball->orientation.z = 0;
  ball->gravity = vec3f(0, -1, 0);
  return ball;
}
