// Containment (is a point or a body inside a room) and the contact tests of
// the step. A test only finds and describes a contact; responses.cpp acts on
// it. Room normals point into the room, so "inside" is the normal side of
// every face plane.
#include "physics/physics.h"

namespace Veruruve {
namespace Physics {

bool CollisionBox::containsPoint(float x, float y, float z) const {
  const vec3f p(x, y, z);
  for (const CollisionFace& f : collisionFaces) {
    const vec3f cw = transformPoint(worldTransform, f.centroid);
    const vec3f nw = transformPoint(worldTransform, f.centroid + f.normal) - cw;
    if (dot(p - cw, nw) < 0) return false;
  }
  return true;
}

bool CollisionBox::overlapsVolume(const Volume* other) const {
  if (other->shape == Box) {
    const auto* box = static_cast<const VolumeBox*>(other);
    for (const vec3f& v : box->vertices) {
      const vec3f w = transformPoint(box->worldTransform, v);
      if (containsPoint(w.x, w.y, w.z)) return true;
    }
    return false;
  }
  if (other->shape == Sphere) {
    // Each face plane is pushed out by the radius: the ball counts as soon
    // as its centre is within one radius of the room, which is what lets it
    // pass through an open face into the next room.
    const float r = static_cast<const VolumeSphere*>(other)->radius;
    const vec3f& p = other->position;
    for (const CollisionFace& f : collisionFaces) {
      const vec3f s = f.centroid - r * f.normal;
      const vec3f sw = transformPoint(worldTransform, s);
      const vec3f nw = transformPoint(worldTransform, s + f.normal) - sw;
      if (dot(p - sw, nw) < 0) return false;
    }
    return true;
  }
  return false;
}

bool testSphereFace(const VolumeSphere& body, const CollisionBox& room, const CollisionFace& face,
                    ContactInfo* contact, const Tuning::Settings& settings) {
  if (face.flags == kOpenFace) return false;
  const vec3f& c = face.centroid;
  const vec3f& p = body.position;
  const float r = body.radius;
  const vec3f n = (c + face.normal) - c;
  const vec3f q = p - r * n;  // the point of the ball deepest toward the face
  const float d = dot(q - c, n);
  if (!(d < 0)) return false;

  const vec3f pen = d * n;  // points out of the room
  const vec3f cp = ((q - c) + c) - settings.overcorrection * pen;
  if (room.containsPoint(cp.x, cp.y, cp.z)) {
    *contact = {n, pen, cp};
    return true;
  }

  // The contact point lies outside the room (the ball is over a corner or an
  // edge): the first edge line, in vertex order, that passes within the
  // radius gives the contact. Lines are infinite: the foot is not clamped.
  const std::uint32_t count = static_cast<std::uint32_t>(face.vertices.size());
  for (std::uint32_t j = 0; j < count; ++j) {
    const std::uint32_t k = j + 1 == count ? 0 : j + 1;
    const vec3f& a = face.vertices[j];
    const vec3f e = normalised(face.vertices[k] - a);
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

bool testVertexFace(const VolumeBox& body, const vec3f& vertex, const CollisionFace& face,
                    ContactInfo* contact, const Tuning::Settings& settings) {
  if (face.flags == kOpenFace) return false;
  const vec3f& c = face.centroid;
  const vec3f w = transformPoint(body.worldTransform, vertex);
  const vec3f n = (c + face.normal) - c;
  const float d = dot(w - c, n);
  if (!(d < 0)) return false;
  const vec3f correction = settings.overcorrection * (d * n);
  *contact = {n, correction, w - settings.overcorrection * correction};
  return true;
}

bool testSphereSphere(const VolumeSphere& o, const VolumeSphere& p, ContactInfo* contact,
                      const Tuning::Settings& settings) {
  const float R = p.radius + o.radius;
  const vec3f diff = o.position - p.position;
  // One-sided early out; the distance test below decides.
  if (diff.x > R || diff.y > R || diff.z > R) return false;
  const float dist = length(diff);
  // Coincident centres have no direction between them: a zero normal, so
  // the response changes no velocity.
  const vec3f n = dist > 0 ? diff * (1 / dist) : vec3f();
  if (!(dist < R)) return false;
  const vec3f correction = (diff * (1 - dist / R)) * settings.overcorrection;
  *contact = {n, correction, o.position + normalised(diff) * o.radius};
  return true;
}

}  // namespace Physics
}  // namespace Veruruve
