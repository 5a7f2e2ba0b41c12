#include "tests/physics/reference_step.h"

namespace reference {

using namespace Veruruve::Physics;

namespace {

void broadPhase(PhysicsWorld& world, Volume& body) {
  body.containerIndices = roomsOf(world, body);
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
  body.force += 0.02f * average;
  body.gravity = average;
}

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

std::vector<std::uint32_t> roomsOf(const PhysicsWorld& world, const Volume& body) {
  std::vector<std::uint32_t> rooms;
  const auto count = static_cast<std::uint32_t>(world.containers.size());
  for (std::uint32_t k = 0; k < count; ++k)
    if (world.containers[k]->overlapsVolume(&body)) rooms.push_back(k);
  return rooms;
}

void step(PhysicsWorld& world) {
  if (world.containers.empty()) return;
  for (Volume* body : world.objects) {
    broadPhase(world, *body);
    integrate(*body);
  }
  int pass = 0;
  do {
    world.contacts.clear();
    for (std::size_t i = 0; i < world.objects.size(); ++i) resolveBody(world, i);
    ++pass;
  } while (!world.contacts.empty() && pass < 4);
  for (Volume* body : world.objects) {
    body->force = -0.01f * body->velocity;
    body->torque = -0.01f * body->angularMomentum;
  }
}

}  // namespace reference
