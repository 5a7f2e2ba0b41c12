// A world that owns its rooms and keeps its bodies at fixed addresses.
#include "python/world.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "sandbox/containers.h"
#include "sandbox/sandbox.h"
#include "tools/chamber-build/chamber.h"

using Veruruve::Physics::CollisionSphere;
using Veruruve::Physics::Contact;
using Veruruve::Physics::Volume;

namespace chamber_python {
namespace {

bool finite(const vec3f& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

std::string quoted(const std::string& text) { return "'" + text + "'"; }

// FNV-1a over the container file: a state names the rooms it belongs to.
std::uint64_t hashBytes(const std::string& bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

// The index of a party of a contact: bodies by their place in the storage,
// rooms by their place in the room list.
std::uint32_t bodyIndex(const World& world, const Volume* body) {
  const auto* sphere = static_cast<const CollisionSphere*>(body);
  return static_cast<std::uint32_t>(sphere - world.firstBody());
}

bool isBody(const World& world, const Volume* party) {
  const auto* first = reinterpret_cast<const char*>(world.firstBody());
  const auto* p = reinterpret_cast<const char*>(party);
  return p >= first && p < first + world.bodyCount() * sizeof(CollisionSphere);
}

std::uint32_t roomIndex(const World& world, const Contact& contact) {
  const auto& rooms = world.physics().containers;
  // The room is among the body's candidates, a handful.
  for (std::uint32_t k : contact.body->containerIndices)
    if (k < rooms.size() && rooms[k] == contact.other) return k;
  for (std::size_t k = 0; k < rooms.size(); ++k)
    if (rooms[k] == contact.other) return static_cast<std::uint32_t>(k);
  return static_cast<std::uint32_t>(rooms.size());
}

}  // namespace

std::string ReadContainerFile(const std::string& path, const std::string& where) {
  const std::string prefix = where.empty() ? "" : where + ": ";
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    WorldError error(WorldError::kOs, prefix + "cannot open container file " + quoted(path));
    error.osError = errno;
    error.filename = path;
    throw error;
  }
  std::string bytes;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, n);
  const int readError = std::ferror(file) ? errno : 0;
  std::fclose(file);
  if (readError) {
    WorldError error(WorldError::kOs, prefix + "cannot read container file " + quoted(path));
    error.osError = readError;
    error.filename = path;
    throw error;
  }
  return bytes;
}

std::string BuildContainerBytes(const std::string& description) {
  std::vector<chamber::Problem> problems;
  const chamber::Chamber built = chamber::ParseDescription(description, problems);
  if (problems.empty()) chamber::CheckChamber(built, problems);
  if (!problems.empty()) {
    // chamber-build's messages, the description standing for its file.
    std::string message;
    for (const chamber::Problem& p : problems) {
      if (!message.empty()) message += '\n';
      message += "description:" + std::to_string(p.line) + ": error: " + p.message;
    }
    throw WorldError(WorldError::kValue, message);
  }
  return chamber::ContainerFileBytes(built);
}

World::World(std::shared_ptr<const Chamber> chamber, const vec3f& start, const vec3f& velocity)
    : chamber_(std::move(chamber)) {
  if (!finite(start) || !finite(velocity))
    throw WorldError(WorldError::kValue, "the ball's start and velocity must be finite");
  load();
  CollisionSphere* ball = Sandbox_MakeBall(start);
  ball->velocity = velocity;
  bodies_.append(*ball);
  delete ball;
  rebuildObjects();
}

World::World(const World& other) : chamber_(other.chamber_) {
  load();
  restore(other.state());
}

World::~World() { Veruruve::Physics::destroyContainers(physics_); }

void World::load() {
  const std::string& bytes = chamber_->bytes;
  const ContainerLoadReport report = Containers_LoadMemory(
      physics_, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  if (report.truncated || report.facesSkipped > 0) {
    const std::size_t rooms = physics_.containers.size();
    Veruruve::Physics::destroyContainers(physics_);
    throw WorldError(WorldError::kValue, quoted(chamber_->name) + " is damaged (" +
                                             (report.truncated ? "ends inside a record; " : "") +
                                             std::to_string(report.facesSkipped) +
                                             " faces of fewer than 3 vertices skipped; " +
                                             std::to_string(rooms) + " rooms read)");
  }
  chamberHash_ = hashBytes(bytes);
}

void World::rebuildObjects() {
  physics_.objects.resize(bodies_.size());
  for (std::size_t i = 0; i < bodies_.size(); ++i) physics_.objects[i] = bodies_.at(i);
}

std::size_t World::addBall(const vec3f& position, const vec3f& velocity) {
  if (!finite(position) || !finite(velocity))
    throw WorldError(WorldError::kValue, "a ball's position and velocity must be finite");
  CollisionSphere* ball = Sandbox_MakeBall(position, physics_.settings);
  ball->velocity = velocity;
  try {
    bodies_.append(*ball);
  } catch (...) {
    delete ball;
    throw;
  }
  delete ball;
  physics_.objects.push_back(bodies_.at(bodies_.size() - 1));
  return bodies_.size() - 1;
}

void World::push(const vec3f& force) {
  if (!finite(force)) throw WorldError(WorldError::kValue, "a push must be finite");
  bodies_.at(0)->force += force;
}

void World::set(const Veruruve::Tuning::Change& change) {
  Veruruve::Tuning::Settings next = physics_.settings;
  Veruruve::Tuning::setSettingValue(next, change.setting, change.value);
  Veruruve::Physics::applySettings(physics_, next);
}

Veruruve::Tuning::Change ParseSetting(const std::string& assignment) {
  Veruruve::Tuning::Change change;
  std::string error;
  if (!Veruruve::Tuning::parseAssignment(assignment, &change, &error))
    throw WorldError(WorldError::kValue, error);
  return change;
}

void World::checkFinite() const {
  // Positions and velocities can be written through arrays; a body that
  // is nowhere would make every later step meaningless.
  for (std::size_t i = 0; i < bodies_.size(); ++i) {
    const CollisionSphere& b = *bodies_.at(i);
    if (!finite(b.position) || !finite(b.velocity))
      throw WorldError(WorldError::kValue, "body " + std::to_string(i) +
                                               " has a position or velocity that is not finite");
  }
}

void World::step(std::uint64_t n) {
  for (std::uint64_t i = 0; i < n; ++i) Veruruve::Physics::stepPhysics(physics_);
  steps_ += n;
}

const std::vector<std::uint32_t>& World::rooms(std::size_t i) const {
  if (i >= bodies_.size())
    throw WorldError(WorldError::kIndex, "body " + std::to_string(i) + " out of range (" +
                                             std::to_string(bodies_.size()) + " bodies)");
  return bodies_.at(i)->containerIndices;
}

std::vector<ContactRow> ContactRows(const World& world, const std::vector<Contact>& contacts) {
  std::vector<ContactRow> rows;
  rows.reserve(contacts.size());
  for (const Contact& contact : contacts) {
    if (!contact.body || !contact.other) continue;
    ContactRow row;
    row.point = contact.point;
    row.correction = contact.correction;
    row.body = bodyIndex(world, contact.body);
    row.otherIsRoom = !isBody(world, contact.other);
    row.other = row.otherIsRoom ? roomIndex(world, contact) : bodyIndex(world, contact.other);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace chamber_python
