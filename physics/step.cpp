// Integration, transforms and the fixed step over a world.
#include "physics/physics.h"
#include "physics/pass_visits.h"
#include "physics/sphere_grid.h"

namespace Veruruve {
namespace Physics {
namespace {

// Candidate rooms of the body, and its gravity blended with theirs: the mean
// of its own direction and every candidate's unit direction. Rooms whose
// direction is not exactly of unit length (no gravity, or a bad file) are
// left out. The gravity setting is the force per step along that mean.
void broadPhase(PhysicsWorld& world, Volume& body) {
  body.containerIndices.clear();
  findRooms(world, body, &body.containerIndices);
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
  body.force += world.settings.gravity * average;
  body.gravity = average;
}

// The contact passes' state: the sphere grid, the bodies each pass visits,
// and scratch reused from body to body.
struct PassState {
  SphereGrid grid;
  bool pairs = false;  // at least two spheres: pairs are possible
  PassVisits visits;
  std::vector<std::uint32_t> partners;
};

void noteResponse(PhysicsWorld& world, PassState& state, std::uint32_t b) {
  noteResponse(state.visits, state.grid, state.pairs, world.objects, b);
}

// Sphere i against the later spheres that touch it, in the order of the
// whole list. A response moves i and the partner, which is behind in the
// list; the partners ahead have not moved, so the list found stays a
// superset of those that touch as long as i stays in its cell. When i
// changes cell, the partners left are looked up again.
void resolvePairs(PhysicsWorld& world, PassState& state, std::uint32_t i) {
  auto& ball = static_cast<VolumeSphere&>(*world.objects[i]);
  ContactInfo contact;
  std::uint32_t after = i;
  bool lookUp = true;
  while (lookUp) {
    lookUp = false;
    spherePartners(state.grid, world.objects, i, after, &state.partners);
    for (std::uint32_t j : state.partners) {
      // Pairs with a box body are skipped: only sphere against sphere is
      // defined (the grid holds spheres only).
      auto& p = static_cast<VolumeSphere&>(*world.objects[j]);
      if (!testSphereSphere(ball, p, &contact, world.settings)) continue;
      respondPair(ball, p, contact.normal, contact.correction, world.settings);
      world.contacts.push_back({contact.point, contact.correction, &ball, &p});
      const SphereGrid::Place place = state.grid.place[i];
      const std::uint64_t cell = state.grid.key[i];
      moveSphere(state.grid, world.objects, i);
      moveSphere(state.grid, world.objects, j);
      noteResponse(world, state, i);
      noteResponse(world, state, j);
      if (state.grid.place[i] != place || state.grid.key[i] != cell) {
        after = j;
        lookUp = true;
        break;
      }
    }
  }
}

// One contact pass over one body: rooms first, then the later spheres.
void resolveBody(PhysicsWorld& world, PassState& state, std::uint32_t i) {
  Volume* body = world.objects[i];
  ContactInfo contact;
  if (body->shape == Box) {
    auto& box = static_cast<VolumeBox&>(*body);
    for (std::uint32_t k : body->containerIndices) {
      CollisionBox* room = world.containers[k];
      for (const CollisionFace& face : room->collisionFaces) {
        if (face.flags == kOpenFace) continue;
        for (const vec3f& v : box.vertices) {
          if (!testVertexFace(box, v, face, &contact, world.settings)) continue;
          respondBox(box, contact.normal, contact.correction,
                     transformPoint(box.worldTransform, v), world.settings);
          world.contacts.push_back({contact.point, contact.correction, body, room});
          noteResponse(world, state, i);
        }
      }
    }
  } else if (body->shape == Sphere) {
    auto& ball = static_cast<VolumeSphere&>(*body);
    bool moved = false;
    for (std::uint32_t k : body->containerIndices) {
      CollisionBox* room = world.containers[k];
      for (const CollisionFace& face : room->collisionFaces) {
        if (face.flags == kOpenFace) continue;
        if (!testSphereFace(ball, *room, face, &contact, world.settings)) continue;
        respondSphere(ball, contact.normal, contact.correction, world.settings);
        world.contacts.push_back({contact.point, contact.correction, body, room});
        noteResponse(world, state, i);
        moved = true;
      }
    }
    if (!state.pairs) return;
    if (moved) moveSphere(state.grid, world.objects, i);
    resolvePairs(world, state, i);
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

void integrate(PhysicsObject& body, const Tuning::Settings& settings) {
  const float share = settings.integration;
  body.velocity += share * (body.force / body.mass);
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
  q.w = q.w + share * d.w;
  q.x = q.x + share * d.x;
  q.y = q.y + share * d.y;
  q.z = q.z + share * d.z;
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
  world.passes = 0;
  if (world.containers.empty()) return;

  for (Volume* body : world.objects) {
    broadPhase(world, *body);
    integrate(*body, world.settings);
  }

  // Each response moves its body at once, so later tests of the same pass
  // see the corrected state. Candidate rooms stay as the broad phase found
  // them.
  thread_local PassState state;
  std::size_t spheres = 0;
  for (const Volume* body : world.objects) spheres += body->shape == Sphere ? 1 : 0;
  state.pairs = spheres >= 2;
  if (state.pairs) buildSphereGrid(state.grid, world.objects);
  const auto count = static_cast<std::uint32_t>(world.objects.size());
  int pass = 0;
  world.stepContacts.clear();
  startVisits(state.visits, count);
  for (;;) {
    world.contacts.clear();
    for (std::uint32_t i = 0; i < count; ++i) {
      if (!mustVisit(state.visits, i)) continue;
      state.visits.turn = i;
      resolveBody(world, state, i);
    }
    world.stepContacts.insert(world.stepContacts.end(), world.contacts.begin(),
                              world.contacts.end());
    ++pass;
    if (world.contacts.empty() || pass >= world.settings.passes) break;
    planNextPass(state.visits, state.grid, state.pairs, world.objects);
  }
  world.passes = pass;

  // Damping for the next step; replaces whatever the passes added.
  const float damping = -world.settings.damping;
  for (Volume* body : world.objects) {
    body->force = damping * body->velocity;
    body->torque = damping * body->angularMomentum;
  }
}

void applySettings(PhysicsWorld& world, const Tuning::Settings& settings) {
  const bool mass = settings.mass != world.settings.mass;
  const bool radius = settings.radius != world.settings.radius;
  world.settings = settings;
  if (!mass && !radius) return;
  for (Volume* body : world.objects) {
    if (body->shape != Sphere) continue;
    if (mass) body->mass = settings.mass;
    if (radius) static_cast<VolumeSphere*>(body)->radius = settings.radius;
  }
}

}  // namespace Physics
}  // namespace Veruruve
