// The physics of one chamber as a Python module sees it: a world that owns
// its rooms and its bodies, with the bodies kept at fixed addresses so that
// arrays can view them in place; its state as bytes; and chamber-sim's run
// collected into rows instead of printed.
//
// Nothing here knows Python: the bindings (module.cpp) translate errors and
// arrays. Every failure is a WorldError with the message the user sees.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "physics/physics.h"
#include "tools/chamber-sim/options.h"

namespace chamber_python {

// What went wrong, and which Python exception says it.
struct WorldError : std::runtime_error {
  enum Kind { kValue, kOs, kIndex };
  Kind kind;
  int osError = 0;  // errno, for kOs
  std::string filename;
  WorldError(Kind kind, const std::string& message) : std::runtime_error(message), kind(kind) {}
};

// The most bodies a world holds: its body storage is reserved once, so that
// bodies never move (about 340 bytes each: 340 MB of address space, of which
// only the pages in use take memory).
constexpr std::size_t kMaxBodies = std::size_t(1) << 20;

// Bodies at fixed addresses, one after the other: body i lives at
// base + i * sizeof(CollisionSphere) for as long as the storage lives, even
// after it is dropped (its memory then keeps its last values). Pages are
// committed as the count grows and given back only when the storage goes.
class BodyStorage {
 public:
  BodyStorage();
  ~BodyStorage();
  BodyStorage(const BodyStorage&) = delete;
  BodyStorage& operator=(const BodyStorage&) = delete;

  std::size_t size() const { return count_; }
  Veruruve::Physics::CollisionSphere* at(std::size_t i) const { return base_ + i; }
  // Appends a copy of body; throws WorldError past kMaxBodies.
  Veruruve::Physics::CollisionSphere* append(const Veruruve::Physics::CollisionSphere& body);
  // Drops the bodies from count on.
  void shrink(std::size_t count);

 private:
  Veruruve::Physics::CollisionSphere* base_ = nullptr;
  std::size_t reservedBytes_ = 0;
  std::size_t committedBytes_ = 0;
  std::size_t count_ = 0;
};

// The rooms of a world, from the bytes of a container file.
struct Chamber {
  std::string bytes;  // the container file, for copies and pickles
  std::string name;   // its path, or a stand-in, for messages
};

// Reads a container file whole. Throws WorldError: kOs with errno when it
// cannot be opened or read.
std::string ReadContainerFile(const std::string& path, const std::string& where);
// The container file chamber-build makes from a description, checked as
// chamber-build checks it; throws WorldError (kValue) with its messages.
std::string BuildContainerBytes(const std::string& description);

class World {
 public:
  // Loads the rooms and makes the ball as the program does. A damaged
  // container file (one that ends inside a record or has faces of fewer than
  // three vertices) is refused with chamber-sim's warning as the message.
  World(std::shared_ptr<const Chamber> chamber, const vec3f& start, const vec3f& velocity);
  // A world of the same rooms in the state of other.
  World(const World& other);
  ~World();
  World& operator=(const World&) = delete;

  const std::shared_ptr<const Chamber>& chamber() const { return chamber_; }
  std::size_t bodyCount() const { return bodies_.size(); }
  std::size_t roomCount() const { return physics_.containers.size(); }
  std::uint64_t steps() const { return steps_; }
  const Veruruve::Physics::CollisionSphere& body(std::size_t i) const { return *bodies_.at(i); }
  // The first body, for arrays over all of them.
  Veruruve::Physics::CollisionSphere* firstBody() const { return bodies_.at(0); }

  // A ball made like the program's ball; its index.
  std::size_t addBall(const vec3f& position, const vec3f& velocity);
  // Adds to the ball's force for the next step, as a push does.
  void push(const vec3f& force);
  // Puts one setting in force from the next step as chamber-sim's --set
  // does (applySettings: a new mass or radius goes to every ball).
  void set(const Veruruve::Tuning::Change& change);
  const Veruruve::Tuning::Settings& settings() const { return physics_.settings; }
  // Refuses (WorldError) a body whose position or velocity is not finite.
  void checkFinite() const;
  // n steps; call checkFinite first.
  void step(std::uint64_t n);

  // The rooms body i reached into in the last step.
  const std::vector<std::uint32_t>& rooms(std::size_t i) const;
  const Veruruve::Physics::PhysicsWorld& physics() const { return physics_; }

  // The whole state: bytes that restore() puts back bit for bit into a world
  // of the same rooms.
  std::string state() const;
  void restore(const std::string& bytes);

  // Held by whoever steps or changes the world, so that two threads never do
  // at once.
  std::mutex mutex;

 private:
  void load();
  void rebuildObjects();

  std::shared_ptr<const Chamber> chamber_;
  std::uint64_t chamberHash_ = 0;
  Veruruve::Physics::PhysicsWorld physics_;
  BodyStorage bodies_;
  std::uint64_t steps_ = 0;
};

// A contact with its parties as indices.
struct ContactRow {
  vec3f point, correction;
  std::uint32_t body = 0;
  std::uint32_t other = 0;
  bool otherIsRoom = false;
};
// Contacts of the world with their parties as indices; contacts whose
// parties are gone are left out.
std::vector<ContactRow> ContactRows(const World& world,
                                    const std::vector<Veruruve::Physics::Contact>& contacts);

// "NAME=VALUE" read as --set reads it; throws WorldError (kValue) with its
// message.
Veruruve::Tuning::Change ParseSetting(const std::string& assignment);

// ---- chamber-sim's run ----------------------------------------------------

// One printed row: a body after a step.
struct SimRow {
  std::uint64_t step;
  std::uint32_t body;
  float x, y, z, vx, vy, vz, gx, gy, gz;
};
struct SimRun {
  std::vector<SimRow> rows;
  std::vector<std::vector<std::uint32_t>> rooms;  // per row
  std::string warning;                            // chamber-sim's warning about a damaged file
};
// Parses chamber-sim's arguments (without the program name) as chamber-sim
// does, on top of options; throws WorldError with its message.
SimOptions ParseSimArguments(const std::vector<std::string>& arguments, SimOptions options);
// Reads an options file (--args) as chamber-sim does; throws WorldError
// (kOs when it cannot be read).
SimOptions ParseSimFile(const std::string& path);
// Runs them as chamber-sim does, collecting the rows it would print.
SimRun RunSimulation(const SimOptions& options);

}  // namespace chamber_python
