// The ball, made the same way by the scene and by the headless simulator.
#include "sandbox/sandbox.h"

using Veruruve::Physics::CollisionSphere;

CollisionSphere* Sandbox_MakeBall(const vec3f& position) {
  return Sandbox_MakeBall(position, Veruruve::Tuning::kDefaultSettings);
}

CollisionSphere* Sandbox_MakeBall(const vec3f& position,
                                  const Veruruve::Tuning::Settings& settings) {
  CollisionSphere* ball = new CollisionSphere();
  ball->mass = settings.mass;
  ball->position = position;
  // Unit radius first, whatever the class default, then the ball's size.
  ball->normalise();
  ball->scale(settings.radius);
  ball->orientation.w = 1;
  ball->orientation.x = 0;
  ball->orientation.y = 0;
  ball->orientation.z = 0;
  ball->gravity = vec3f(0, -1, 0);
  return ball;
}
