// The step written out from its arithmetic with every constant a setting:
// gravity, the integration share, the kept tangential share, restitution,
// overcorrection, spin, damping and the number of passes. Nothing here calls
// the physics module's tests, responses or integration.
#include "tests/physics/reference_step.h"

namespace reference {

using namespace Veruruve::Physics;
using Veruruve::Tuning::Settings;

namespace {

void integrateBody(PhysicsObject& body, const Settings& s) {
  body.velocity += s.integration * (body.force / body.mass);
  body.position += body.velocity;
  body.angularMomentum += body.torque;
  quatf& q = body.orientation;
  q.updateMatrix();
  const mat4f& r = q.matrix;
  mat4f m = r;
  m.transpose();
  m.multiply(body.inverseInertia);
  m.multiply(r);
  const vec3f& l = body.angularMomentum;
  const vec3f w(m[0] * l.x + m[4] * l.y + m[8] * l.z + m[12],
                m[1] * l.x + m[5] * l.y + m[9] * l.z + m[13],
                m[2] * l.x + m[6] * l.y + m[10] * l.z + m[14]);
  body.angularVelocity = w;
  const quatf d = quatf(0, w.x, w.y, w.z) * q;
  q.w = q.w + s.integration * d.w;
  q.x = q.x + s.integration * d.x;
  q.y = q.y + s.integration * d.y;
  q.z = q.z + s.integration * d.z;
  const float mag = q.magnitude();
  if (mag > 0) {
    q.w /= mag;
    q.x /= mag;
    q.y /= mag;
    q.z /= mag;
  }
  updateTransforms(body);
}

bool sphereFace(const VolumeSphere& body, const CollisionBox& room, const CollisionFace& face,
                const Settings& s, ContactInfo* contact) {
  const vec3f& c = face.centroid;
  const vec3f& p = body.position;
  const float r = body.radius;
  const vec3f n = (c + face.normal) - c;
  const vec3f q = p - r * n;
  const float d = dot(q - c, n);
  if (!(d < 0)) return false;
  const vec3f pen = d * n;
  const vec3f cp = ((q - c) + c) - s.overcorrection * pen;
  if (room.containsPoint(cp.x, cp.y, cp.z)) {
    *contact = {n, pen, cp};
    return true;
  }
  const std::size_t count = face.vertices.size();
  for (std::size_t j = 0; j < count; ++j) {
    const vec3f& a = face.vertices[j];
    const vec3f e = normalised(face.vertices[(j + 1) % count] - a);
    const vec3f proj = a + dot(p - a, e) * e;
    const vec3f diff = proj - p;
    const float dist = length(diff);
    if (dist < r) {
      const vec3f dir = normalised(diff);
      *contact = {dir, r * dir - diff, proj};
      return true;
    }
  }
  return false;
}

bool vertexFace(const VolumeBox& body, const vec3f& vertex, const CollisionFace& face,
                const Settings& s, ContactInfo* contact) {
  const vec3f& c = face.centroid;
  const vec3f w = transformPoint(body.worldTransform, vertex);
  const vec3f n = (c + face.normal) - c;
  const float d = dot(w - c, n);
  if (!(d < 0)) return false;
  const vec3f correction = s.overcorrection * (d * n);
  *contact = {n, correction, w - s.overcorrection * correction};
  return true;
}

bool spherePair(const VolumeSphere& o, const VolumeSphere& p, const Settings& s,
                ContactInfo* contact) {
  const float R = p.radius + o.radius;
  const vec3f diff = o.position - p.position;
  if (diff.x > R || diff.y > R || diff.z > R) return false;
  const float dist = length(diff);
  if (!(dist < R)) return false;
  const vec3f n = dist > 0 ? diff * (1 / dist) : vec3f();
  const vec3f correction = (diff * (1 - dist / R)) * s.overcorrection;
  *contact = {n, correction, o.position + normalised(diff) * o.radius};
  return true;
}

void bounceSphere(PhysicsObject& body, const vec3f& normal, const vec3f& correction,
                  const Settings& s) {
  const vec3f vn = dot(body.velocity, normal) * normal;
  const vec3f vt = body.velocity - vn;
  body.velocity = s.tangential * vt - s.restitution * vn;
  body.velocity -= s.restitution * correction;
  const vec3f fn = dot(body.force, normal) * normal;
  body.force = s.tangential * (body.force - fn) + fn;
  body.position -= correction;
  updateTransforms(body);
}

void bounceBox(PhysicsObject& body, const vec3f& normal, const vec3f& correction,
               const vec3f& worldVertex, const Settings& s) {
  const vec3f origin = transformPoint(body.worldTransform, vec3f());
  vec3f arm = origin - worldVertex;
  const float len = length(arm);
  const vec3f dir = normalised(arm);
  arm = len * dir;
  const vec3f vp = body.velocity + cross(body.angularVelocity, arm);
  const vec3f vn = dot(vp, normal) * normal;
  const vec3f vnew = s.tangential * (vp - vn) - s.restitution * vn;
  body.velocity = dot(vnew, dir) * dir;
  body.angularMomentum = s.spin * cross(vnew - body.velocity, arm);
  body.position -= correction;
  integrateBody(body, s);
}

void bouncePair(PhysicsObject& o, PhysicsObject& p, const vec3f& normal, const vec3f& correction,
                const Settings& s) {
  o.position += correction;
  p.position -= correction;
  const float a = dot(o.velocity, -normal);
  const float b = dot(p.velocity, normal);
  if (a > 0) {
    const vec3f j = a * -normal;
    o.velocity = s.tangential * (o.velocity - j);
    p.velocity += s.restitution * j;
    o.force = s.tangential * (o.force - j);
    p.force += s.restitution * j;
  }
  if (b > 0) {
    const vec3f j = b * normal;
    p.velocity = s.tangential * (p.velocity - j);
    o.velocity += s.restitution * j;
    p.force = s.tangential * (p.force - j);
    o.force += s.restitution * j;
  }
  updateTransforms(o);
  updateTransforms(p);
}

void gravityOf(PhysicsWorld& world, Volume& body, const Settings& s) {
  body.containerIndices = roomsOf(world, body);
  if (body.containerIndices.empty()) return;
  vec3f sum = body.gravity;
  float n = 1;
  for (std::uint32_t k : body.containerIndices) {
    const CollisionBox& room = *world.containers[k];
    if (room.gravity == vec3f() || length(room.gravity) != 1.0f) continue;
    sum += transformPoint(room.worldTransform, room.gravity);
    n += 1;
  }
  const vec3f average = sum / n;
  body.force += s.gravity * average;
  body.gravity = average;
}

void visit(PhysicsWorld& world, std::size_t i, const Settings& s) {
  Volume* body = world.objects[i];
  ContactInfo contact;
  if (body->shape == Box) {
    auto& box = static_cast<VolumeBox&>(*body);
    for (std::uint32_t k : body->containerIndices) {
      CollisionBox* room = world.containers[k];
      for (const CollisionFace& face : room->collisionFaces) {
        if (face.flags == kOpenFace) continue;
        for (const vec3f& v : box.vertices) {
          if (!vertexFace(box, v, face, s, &contact)) continue;
          bounceBox(box, contact.normal, contact.correction,
                    transformPoint(box.worldTransform, v), s);
          world.contacts.push_back({contact.point, contact.correction, body, room});
        }
      }
    }
    return;
  }
  if (body->shape != Sphere) return;
  auto& ball = static_cast<VolumeSphere&>(*body);
  for (std::uint32_t k : body->containerIndices) {
    CollisionBox* room = world.containers[k];
    for (const CollisionFace& face : room->collisionFaces) {
      if (face.flags == kOpenFace) continue;
      if (!sphereFace(ball, *room, face, s, &contact)) continue;
      bounceSphere(ball, contact.normal, contact.correction, s);
      world.contacts.push_back({contact.point, contact.correction, body, room});
    }
  }
  for (std::size_t j = i + 1; j < world.objects.size(); ++j) {
    Volume* other = world.objects[j];
    if (other->shape != Sphere) continue;
    auto& p = static_cast<VolumeSphere&>(*other);
    if (!spherePair(ball, p, s, &contact)) continue;
    bouncePair(ball, p, contact.normal, contact.correction, s);
    world.contacts.push_back({contact.point, contact.correction, body, other});
  }
}

}  // namespace

void tunedStep(PhysicsWorld& world, const Settings& s) {
  if (world.containers.empty()) return;
  for (Volume* body : world.objects) {
    gravityOf(world, *body, s);
    integrateBody(*body, s);
  }
  int pass = 0;
  do {
    world.contacts.clear();
    for (std::size_t i = 0; i < world.objects.size(); ++i) visit(world, i, s);
    ++pass;
  } while (!world.contacts.empty() && pass < s.passes);
  for (Volume* body : world.objects) {
    body->force = -s.damping * body->velocity;
    body->torque = -s.damping * body->angularMomentum;
  }
}

}  // namespace reference
