// What a contact does to the bodies: position corrections and the bounce.
// Per step units throughout: 0.9 of the tangential velocity is kept and
// 0.175 of the normal velocity is reflected.
#include "physics/physics.h"

namespace Veruruve {
namespace Physics {
namespace {

constexpr float kKeepTangential = 0.9f;
constexpr float kReflectNormal = 0.175f;
constexpr float kSpinFromResidual = 10.0f;

}  // namespace

void respondSphere(PhysicsObject& body, const vec3f& normal, const vec3f& correction) {
  const vec3f vn = dot(body.velocity, normal) * normal;
  const vec3f vt = body.velocity - vn;
  body.velocity = kKeepTangential * vt - kReflectNormal * vn;
  // Part of the correction is taken off the velocity, so a ball pressed
  // into a wall leaves it a little faster than it came.
  body.velocity -= kReflectNormal * correction;
  const vec3f fn = dot(body.force, normal) * normal;
  body.force = kKeepTangential * (body.force - fn) + fn;
  body.position -= correction;
  updateTransforms(body);
}

void respondBox(PhysicsObject& body, const vec3f& normal, const vec3f& correction,
                const vec3f& worldVertex) {
  const vec3f origin = transformPoint(body.worldTransform, vec3f());
  vec3f arm = origin - worldVertex;
  const float len = length(arm);
  const vec3f dir = normalised(arm);
  arm = len * dir;

  const vec3f vp = body.velocity + cross(body.angularVelocity, arm);
  const vec3f vn = dot(vp, normal) * normal;
  const vec3f vt = vp - vn;
  const vec3f vnew = kKeepTangential * vt - kReflectNormal * vn;
  // The part along the arm moves the body; the rest turns it.
  body.velocity = dot(vnew, dir) * dir;
  const vec3f rest = vnew - body.velocity;
  body.angularMomentum = kSpinFromResidual * cross(rest, arm);
  body.position -= correction;
  integrate(body);
}

void respondPair(PhysicsObject& o, PhysicsObject& p, const vec3f& normal, const vec3f& correction) {
  o.position += correction;
  p.position -= correction;
  const float a = dot(o.velocity, -normal);
  const float b = dot(p.velocity, normal);
  if (a > 0) {  // o moves toward p
    const vec3f j = a * -normal;
    o.velocity = kKeepTangential * (o.velocity - j);
    p.velocity += kReflectNormal * j;
    o.force = kKeepTangential * (o.force - j);
    p.force += kReflectNormal * j;
  }
  if (b > 0) {  // p moves toward o
    const vec3f j = b * normal;
    p.velocity = kKeepTangential * (p.velocity - j);
    o.velocity += kReflectNormal * j;
    p.force = kKeepTangential * (p.force - j);
    o.force += kReflectNormal * j;
  }
  updateTransforms(o);
  updateTransforms(p);
}

}  // namespace Physics
}  // namespace Veruruve
