// Integration, transforms and the fixed step over a world.
#include "physics/physics.h"

namespace Veruruve {
namespace Physics {
namespace {

constexpr float kGravityPerStep = 0.02f;
constexpr float kHalf = 0.5f;
constexpr float kDamping = -0.01f;
constexpr int kMaxContactPasses = 4;

// Candidate rooms of the body, and its gravity blended with theirs: the mean
// of its own direction and every candidate's unit direction. Rooms whose
// direction is not exactly of unit length (no gravity, or a bad file) are
// left out.
void broadPhase(PhysicsWorld& world, Volume& body) {
  body.containerIndices.clear();
  const auto count = static_cast<std::uint32_t>(world.containers.size());
  for (std::uint32_t k = 0; k < count; ++k)
    if (world.containers[k]->overlapsVolume(&body)) body.containerIndices.push_back(k);
  if (body.containerIndices.empty()) return;

  vec3f sum = body.gravity;
  float n = 1;
  for (std::uint32_t k : body.containerIndices) {
    const CollisionBox& room = *world.containers[k];
    const vec3f& g = room.gravity;
    if (g == vec3f() || length(g) != 1.0f) continue;
    sum += transformPoint(room.worldTransform, g);
    n += 1;
  }
  const vec3f average = sum / n;
  body.force += kGravityPerStep * average;
  body.gravity = average;
}

// One contact pass over one body: rooms first, then the later spheres.
void resolveBody(PhysicsWorld& world, std::size_t i) {
  Volume* body = world.objects[i];
  ContactInfo contact;
  if (body->shape == Box) {
    auto& box = static_cast<VolumeBox&>(*body);
    for (std::uint32_t k : body->containerIndices) {
      CollisionBox* room = world.containers[k];
      for (const CollisionFace& face : room->collisionFaces) {
        if (face.flags == kOpenFace) continue;
        for (const vec3f& v : box.vertices) {
          if (!testVertexFace(box, v, face, &contact)) continue;
          respondBox(box, contact.normal, contact.correction,
                     transformPoint(box.worldTransform, v));
          world.contacts.push_back({contact.point, contact.correction, body, room});
        }
      }
    }
  } else if (body->shape == Sphere) {
    auto& ball = static_cast<VolumeSphere&>(*body);
    for (std::uint32_t k : body->containerIndices) {
      CollisionBox* room = world.containers[k];
      for (const CollisionFace& face : room->collisionFaces) {
        if (face.flags == kOpenFace) continue;
        if (!testSphereFace(ball, *room, face, &contact)) continue;
        respondSphere(ball, contact.normal, contact.correction);
        world.contacts.push_back({contact.point, contact.correction, body, room});
      }
    }
    // Pairs with a box body are skipped: only sphere against sphere is
    // defined.
    for (std::size_t j = i + 1; j < world.objects.size(); ++j) {
      Volume* other = world.objects[j];
      if (other->shape != Sphere) continue;
      auto& p = static_cast<VolumeSphere&>(*other);
      if (!testSphereSphere(ball, p, &contact)) continue;
      respondPair(ball, p, contact.normal, contact.correction);
      world.contacts.push_back({contact.point, contact.correction, body, other});
    }
  }
}

}  // namespace

void updateTransforms(PhysicsObject& body) {
  body.orientation.updateMatrix();
  // The product glTranslatef then glMultMatrixf would leave on an identity
  // model-view matrix, computed here so that no GL context is needed.
  mat4f m;
  m[12] = body.position.x;
  m[13] = body.position.y;
  m[14] = body.position.z;
  m.multiply(body.orientation.matrix);
  body.worldTransform = m;
}

void integrate(PhysicsObject& body) {
  body.velocity += kHalf * (body.force / body.mass);
  body.position += body.velocity;
  body.angularMomentum += body.torque;  // the accumulators are not cleared

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
  q.w = q.w + kHalf * d.w;
  q.x = q.x + kHalf * d.x;
  q.y = q.y + kHalf * d.y;
  q.z = q.z + kHalf * d.z;
  const float mag = q.magnitude();
  if (mag > 0) {
    q.w /= mag;
    q.x /= mag;
    q.y /= mag;
    q.z /= mag;
  }
  updateTransforms(body);
}

void stepPhysics(PhysicsWorld& world) {
  if (world.containers.empty()) return;

  for (Volume* body : world.objects) {
    broadPhase(world, *body);
    integrate(*body);
  }

  // Each response moves its body at once, so later tests of the same pass
  // see the corrected state. Candidate rooms stay as the broad phase found
  // them.
  int pass = 0;
  world.stepContacts.clear();
  do {
    world.contacts.clear();
    for (std::size_t i = 0; i < world.objects.size(); ++i) resolveBody(world, i);
    world.stepContacts.insert(world.stepContacts.end(), world.contacts.begin(),
                              world.contacts.end());
    ++pass;
  } while (!world.contacts.empty() && pass < kMaxContactPasses);

  // Damping for the next step; replaces whatever the passes added.
  for (Volume* body : world.objects) {
    body->force = kDamping * body->velocity;
    body->torque = kDamping * body->angularMomentum;
  }
}

}  // namespace Physics
}  // namespace Veruruve
