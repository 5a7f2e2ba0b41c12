// The physics of the chamber: bodies (the ball) moving through static convex
// rooms (containers), each room with its own gravity direction.
//
// Everything is single precision and per step: there is no time argument, a
// velocity is in world units per step. The arithmetic is written in the exact
// order the results depend on; the build forbids fused multiply-adds, so a
// step gives the same bits on every machine.
//
// Ownership: objects are made with new by whoever creates them (the container
// loader, the scene, a tool) and handed to a PhysicsWorld by pointer. The
// world's lists do not own what they point to; destroyContainers() is the one
// place that deletes rooms, used by the container loader when it replaces a
// world's rooms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "geometry/vector.h"
#include "tuning/tuning.h"

namespace Veruruve {
namespace Physics {

// Stored in Volume::shape; the step and overlapsVolume branch on it.
enum VolumeShape : std::int32_t { Box = 0, Sphere = 1 };

// Rigid-body state. No virtual functions: shapes start at Volume.
class PhysicsObject {
 public:
  vec3f position;
  // A zero quaternion: whoever wants the object to rotate sets w = 1.
  quatf orientation;
  // translation(position) x orientation.matrix after updateTransforms; rooms
  // never run it and keep the identity, so their geometry is in world space.
  mat4f worldTransform;
  vec3f velocity;  // world units per step
  vec3f angularVelocity;
  vec3f angularMomentum;
  mat4f inverseInertia;
  // Accumulators for the next integration; the step replaces them by the
  // damping terms at its end.
  vec3f force;
  vec3f torque;
  // A body's current, blended gravity direction; a room's own direction.
  vec3f gravity{0, -1, 0};
  float mass = 1.0f;
  // Indices into PhysicsWorld::containers of the rooms this body reaches
  // into; rebuilt at the start of every step.
  std::vector<std::uint32_t> containerIndices;
};

// One polygon of a box.
struct VolumeFace {
  // (b - a) x (c - a) over the first three vertices, normalised (zero for
  // collinear ones). Room faces are wound counter-clockwise seen from inside,
  // so the normal points into the room.
  vec3f normal;
  vec3f centroid;                    // mean of the vertices
  float colour[4] = {1, 1, 1, 1};    // r, g, b, a
  std::uint32_t vertexCount = 0;
  std::vector<vec3f> vertices;
};

// Flag value of an open face: contact tests let bodies pass through it.
constexpr std::uint32_t kOpenFace = 1;

struct CollisionFace : VolumeFace {
  std::uint32_t flags = 0;  // kOpenFace, or anything else for a solid face
};

using Polygon = std::vector<vec3f>;

// A physics object with a shape and the virtual interface. The shape field
// must match the class (each constructor sets it): the step reads the radius
// or the vertex list through it.
class Volume : public PhysicsObject {
 public:
  std::int32_t shape = Box;

  // Whether the point (world coordinates) lies inside.
  virtual bool containsPoint(float x, float y, float z) const = 0;
  // Rescales the shape to unit size.
  virtual void normalise() = 0;
  virtual void scale(float factor) = 0;
  // Declared after the operations so they keep their places; lets the
  // owner of a body or room delete it through any base pointer.
  virtual ~Volume() = default;
};

class VolumeBox : public Volume {
 public:
  std::vector<VolumeFace> faces;
  // Every distinct vertex of the collision faces, in order of first
  // appearance; filled by CollisionBox::addFace only.
  std::vector<vec3f> vertices;
  vec3f centre;  // mean of the face centroids

  VolumeBox() { shape = Box; }

  bool containsPoint(float x, float y, float z) const override;  // always false
  // Divides all vertices and centroids by the largest vertex distance from
  // the local origin. A box whose vertices all lie at the origin is left as
  // it is.
  void normalise() override;
  // Scales vertices, centroids and the shared vertex list by factor.
  void scale(float factor) override;
  // Appends a face built from the polygon (kept by copy). A polygon of fewer
  // than three vertices has no normal and is ignored.
  virtual void addFace(Polygon polygon);
  // Erases the face at index; an index out of range is ignored.
  virtual void removeFace(std::int32_t index);
  virtual void updateCentre();
};

// A room. Everything works on collisionFaces; the inherited faces list
// stays empty.
class CollisionBox : public VolumeBox {
 public:
  std::vector<CollisionFace> collisionFaces;

  bool containsPoint(float x, float y, float z) const override;
  void normalise() override;
  void scale(float factor) override;
  void addFace(Polygon polygon) override;  // flags 0
  void removeFace(std::int32_t index) override;
  void updateCentre() override;
  // Appends a face and adds its new vertices to the shared vertex list.
  virtual void addFace(Polygon polygon, std::uint32_t flags);
  // Whether the other volume reaches into this room (broad phase).
  virtual bool overlapsVolume(const Volume* other) const;
};

class VolumeSphere : public Volume {
 public:
  float radius = 1.0f;

  VolumeSphere() { shape = Sphere; }

  // Distance of the point from the sphere's centre at most radius; the
  // point is taken relative to the centre.
  bool containsPoint(float x, float y, float z) const override;
  void normalise() override;  // radius := 1
  void scale(float factor) override;
};

// The ball.
class CollisionSphere : public VolumeSphere {};

struct Contact {
  vec3f point;
  vec3f correction;
  Volume* body = nullptr;
  Volume* other = nullptr;  // the room, or the second sphere of a pair
};

// The rooms' broad phase: a tree over bounds of the rooms (room_index.cpp).
struct RoomIndex;

struct PhysicsWorld {
  // Rooms, each made with new: destroyContainers() deletes them.
  std::vector<CollisionBox*> containers;
  // Bodies; entry 0 is the ball. Not owned.
  std::vector<Volume*> objects;
  // Contacts of the last contact pass that ran.
  std::vector<Contact> contacts;
  // The constants the step runs with (defaults: the chamber's own).
  // Change them through applySettings, which also sizes the balls.
  Tuning::Settings settings;
  // Contact passes run by the last step (0 to settings.passes), for
  // measurements.
  int passes = 0;
  // Built by buildRoomIndex (the container loader calls it). The step uses
  // it only while it matches the container list it was built for (same
  // count, same storage); otherwise every room is tested, as for a world put
  // together by hand.
  std::shared_ptr<const RoomIndex> roomIndex;
  // Contacts of every pass of the last step, in the order they were found;
  // the step itself never reads them (the testbed drawings and plots do).
  std::vector<Contact> stepContacts;
};

// Deletes every room of the world and empties the list (and drops the index).
void destroyContainers(PhysicsWorld& world);

// Builds the rooms' index over world.containers, to be called once the rooms
// are complete: rooms do not change after loading, and a room changed in
// place afterwards needs a new index. With the index a body's candidate
// rooms cost about the logarithm of the room count instead of one test per
// room, and are exactly the rooms whose overlapsVolume is true, in
// increasing index order.
void buildRoomIndex(PhysicsWorld& world);

// The rooms the body reaches into (overlapsVolume true), in increasing index
// order, appended to out: through the world's index when it matches the
// container list, else by testing every room.
void findRooms(const PhysicsWorld& world, const Volume& body, std::vector<std::uint32_t>* out);

// What the index holds, for benchmarks and tests.
struct RoomIndexStats {
  std::size_t indexedRooms = 0;  // rooms found through the tree
  std::size_t alwaysTested = 0;  // open, degenerate or unusual rooms tested every step
  std::size_t bytes = 0;         // memory held by the index
};
RoomIndexStats roomIndexStats(const PhysicsWorld& world);

// What a contact test found. The correction is subtracted from the body's
// position (added to the first sphere's in a pair).
struct ContactInfo {
  vec3f normal;
  vec3f correction;
  vec3f point;
};

// Sphere against one face of a room, with the fallback to the face's edge
// lines when the face's own contact point lies outside the room. Open faces
// never touch.
bool testSphereFace(const VolumeSphere& body, const CollisionBox& room, const CollisionFace& face,
                    ContactInfo* contact,
                    const Tuning::Settings& settings = Tuning::kDefaultSettings);
// One vertex of a box body (from its shared vertex list, local coordinates)
// against one face of a room.
bool testVertexFace(const VolumeBox& body, const vec3f& vertex, const CollisionFace& face,
                    ContactInfo* contact,
                    const Tuning::Settings& settings = Tuning::kDefaultSettings);
// Sphere o against sphere p; the normal points from p toward o.
bool testSphereSphere(const VolumeSphere& o, const VolumeSphere& p, ContactInfo* contact,
                      const Tuning::Settings& settings = Tuning::kDefaultSettings);

// Responses to a contact: move the body out and change its velocity.
void respondSphere(PhysicsObject& body, const vec3f& normal, const vec3f& correction,
                   const Tuning::Settings& settings = Tuning::kDefaultSettings);
void respondBox(PhysicsObject& body, const vec3f& normal, const vec3f& correction,
                const vec3f& worldVertex,
                const Tuning::Settings& settings = Tuning::kDefaultSettings);
void respondPair(PhysicsObject& o, PhysicsObject& p, const vec3f& normal, const vec3f& correction,
                 const Tuning::Settings& settings = Tuning::kDefaultSettings);

// One integration step of unit length; ends with updateTransforms.
void integrate(PhysicsObject& body, const Tuning::Settings& settings = Tuning::kDefaultSettings);
// worldTransform := translation(position) x orientation.matrix, after
// refreshing the matrix from the quaternion.
void updateTransforms(PhysicsObject& body);

// Advances the world by one fixed step with world.settings: broad phase and
// gravity, integration, up to settings.passes contact passes, damping. A
// world without rooms is left as it is.
void stepPhysics(PhysicsWorld& world);

// Puts settings in force from the next step: world.settings, and when the
// mass or the radius changed, that mass or radius for every sphere of the
// world (balls made later take them from the settings too).
void applySettings(PhysicsWorld& world, const Tuning::Settings& settings);

}  // namespace Physics
}  // namespace Veruruve
