// What a contact does to the bodies: position corrections and the bounce.
// Per step units throughout: a share of the tangential velocity is kept
// (settings.tangential, 0.9 by default) and a share of the normal velocity
// is reflected (settings.restitution, 0.175 by default).
#include "physics/physics.h"

namespace Veruruve {
namespace Physics {

void respondSphere(PhysicsObject& body, const vec3f& normal, const vec3f& correction,
                   const Tuning::Settings& settings) {
  const float keep = settings.tangential;
  const float reflect = settings.restitution;
  const vec3f vn = dot(body.velocity, normal) * normal;
  const vec3f vt = body.velocity - vn;
  body.velocity = keep * vt - reflect * vn;
  // Part of the correction is taken off the velocity, so a ball pressed
  // into a wall leaves it a little faster than it came.
  body.velocity -= reflect * correction;
  const vec3f fn = dot(body.force, normal) * normal;
  body.force = keep * (body.force - fn) + fn;
  body.position -= correction;
  updateTransforms(body);
}

void respondBox(PhysicsObject& body, const vec3f& normal, const vec3f& correction,
                const vec3f& worldVertex, const Tuning::Settings& settings) {
  const vec3f origin = transformPoint(body.worldTransform, vec3f());
  vec3f arm = origin - worldVertex;
  const float len = length(arm);
  const vec3f dir = normalised(arm);
  arm = len * dir;

  const vec3f vp = body.velocity + cross(body.angularVelocity, arm);
  const vec3f vn = dot(vp, normal) * normal;
  const vec3f vt = vp - vn;
  const vec3f vnew = settings.tangential * vt - settings.restitution * vn;
  // The part along the arm moves the body; the rest turns it.
  body.velocity = dot(vnew, dir) * dir;
  const vec3f rest = vnew - body.velocity;
  body.angularMomentum = settings.spin * cross(rest, arm);
  body.position -= correction;
  integrate(body, settings);
}

void respondPair(PhysicsObject& o, PhysicsObject& p, const vec3f& normal, const vec3f& correction,
                 const Tuning::Settings& settings) {
  const float keep = settings.tangential;
  const float passOn = settings.restitution;
  o.position += correction;
  p.position -= correction;
  const float a = dot(o.velocity, -normal);
  const float b = dot(p.velocity, normal);
  if (a > 0) {  // o moves toward p
    const vec3f j = a * -normal;
    o.velocity = keep * (o.velocity - j);
    p.velocity += passOn * j;
    o.force = keep * (o.force - j);
    p.force += passOn * j;
  }
  if (b > 0) {  // p moves toward o
    const vec3f j = b * normal;
    p.velocity = keep * (p.velocity - j);
    o.velocity += passOn * j;
    p.force = keep * (p.force - j);
    o.force += passOn * j;
  }
  updateTransforms(o);
  updateTransforms(p);
}

}  // namespace Physics
}  // namespace Veruruve
