// A world's state as bytes: every body whole and the contacts of the last
// step, as the rewind history keeps them, so that restoring gives back the
// same bits. The bytes are untrusted when restored: every count and index
// is checked before anything in the world changes.
#include <cstring>

#include "python/world.h"

using Veruruve::Physics::CollisionSphere;
using Veruruve::Physics::Contact;

namespace chamber_python {
namespace {

constexpr char kMagic[8] = {'C', 'H', 'M', 'S', 'T', 'A', 'T', '2'};

struct Writer {
  std::string out;
  template <typename T>
  void put(const T& value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
  }
  void put(const vec3f& v) { put(v.x), put(v.y), put(v.z); }
  void put(const mat4f& m) {
    for (float f : m.m) put(f);
  }
};

struct Reader {
  const std::string& in;
  std::size_t at = 0;
  template <typename T>
  void get(T* value) {
    if (in.size() - at < sizeof *value) bad("it ends early");
    std::memcpy(value, in.data() + at, sizeof *value);
    at += sizeof *value;
  }
  void get(vec3f* v) { get(&v->x), get(&v->y), get(&v->z); }
  void get(mat4f* m) {
    for (float& f : m->m) get(&f);
  }
  // A count of items of at least itemBytes each that the rest can hold.
  std::uint32_t count(std::size_t itemBytes, std::size_t limit, const char* what) {
    std::uint32_t n = 0;
    get(&n);
    if (n > limit || n > (in.size() - at) / itemBytes) bad(std::string("bad count of ") + what);
    return n;
  }
  [[noreturn]] static void bad(const std::string& why) {
    throw WorldError(WorldError::kValue, "not a state of this world: " + why);
  }
};

void putBody(Writer& w, const CollisionSphere& b) {
  w.put(b.position);
  w.put(b.orientation.w), w.put(b.orientation.x), w.put(b.orientation.y), w.put(b.orientation.z);
  w.put(b.orientation.matrix);
  w.put(b.worldTransform);
  w.put(b.velocity);
  w.put(b.angularVelocity);
  w.put(b.angularMomentum);
  w.put(b.inverseInertia);
  w.put(b.force);
  w.put(b.torque);
  w.put(b.gravity);
  w.put(b.mass);
  w.put(b.radius);
  w.put(static_cast<std::uint32_t>(b.containerIndices.size()));
  for (std::uint32_t k : b.containerIndices) w.put(k);
}

void getBody(Reader& r, CollisionSphere* b, std::size_t rooms) {
  r.get(&b->position);
  r.get(&b->orientation.w), r.get(&b->orientation.x), r.get(&b->orientation.y),
      r.get(&b->orientation.z);
  r.get(&b->orientation.matrix);
  r.get(&b->worldTransform);
  r.get(&b->velocity);
  r.get(&b->angularVelocity);
  r.get(&b->angularMomentum);
  r.get(&b->inverseInertia);
  r.get(&b->force);
  r.get(&b->torque);
  r.get(&b->gravity);
  r.get(&b->mass);
  r.get(&b->radius);
  const std::uint32_t n = r.count(sizeof(std::uint32_t), rooms, "rooms");
  b->containerIndices.resize(n);
  for (std::uint32_t& k : b->containerIndices) {
    r.get(&k);
    // The step indexes the room list with these.
    if (k >= rooms) Reader::bad("room index out of range");
  }
}

constexpr std::size_t kContactBytes = 6 * sizeof(float) + 2 * sizeof(std::uint32_t) + 1;

void putContacts(Writer& w, const std::vector<ContactRow>& contacts) {
  w.put(static_cast<std::uint32_t>(contacts.size()));
  for (const ContactRow& c : contacts) {
    w.put(c.point);
    w.put(c.correction);
    w.put(c.body);
    w.put(c.other);
    w.put(static_cast<std::uint8_t>(c.otherIsRoom));
  }
}

std::vector<ContactRow> getContacts(Reader& r, std::size_t bodies, std::size_t rooms) {
  std::vector<ContactRow> contacts(r.count(kContactBytes, SIZE_MAX, "contacts"));
  for (ContactRow& c : contacts) {
    std::uint8_t isRoom = 0;
    r.get(&c.point);
    r.get(&c.correction);
    r.get(&c.body);
    r.get(&c.other);
    r.get(&isRoom);
    if (isRoom > 1 || c.body >= bodies || c.other >= (isRoom ? rooms : bodies))
      Reader::bad("contact out of range");
    c.otherIsRoom = isRoom == 1;
  }
  return contacts;
}

// The settings in force, in table order: passes as a 32-bit whole number,
// the others as floats.
void putSettings(Writer& w, const Veruruve::Tuning::Settings& settings) {
  for (int s = 0; s < Veruruve::Tuning::kSettingCount; ++s) {
    if (Veruruve::Tuning::settingInfo(s).integer)
      w.put(static_cast<std::int32_t>(Veruruve::Tuning::settingValue(settings, s)));
    else
      w.put(Veruruve::Tuning::settingValue(settings, s));
  }
}

// Each value must be one --set accepts: the step relies on their ranges.
Veruruve::Tuning::Settings getSettings(Reader& r) {
  Veruruve::Tuning::Settings settings;
  for (int s = 0; s < Veruruve::Tuning::kSettingCount; ++s) {
    float value = 0;
    if (Veruruve::Tuning::settingInfo(s).integer) {
      std::int32_t whole = 0;
      r.get(&whole);
      if (whole < 0 || whole > 1000) Reader::bad("setting out of range");
      value = static_cast<float>(whole);
    } else {
      r.get(&value);
    }
    float read = 0;
    std::string why;
    if (!Veruruve::Tuning::parseValue(s, Veruruve::Tuning::formatExact(s, value), &read, &why) ||
        !(read == value))
      Reader::bad("setting out of range");
    Veruruve::Tuning::setSettingValue(settings, s, value);
  }
  return settings;
}

// Floats and the room count of one body: the least it takes.
constexpr std::size_t kBodyBytes = 75 * sizeof(float) + sizeof(std::uint32_t);

}  // namespace

std::string World::state() const {
  Writer w;
  w.out.append(kMagic, sizeof kMagic);
  w.put(chamberHash_);
  w.put(static_cast<std::uint32_t>(roomCount()));
  w.put(steps_);
  putSettings(w, physics_.settings);
  w.put(static_cast<std::uint32_t>(bodies_.size()));
  for (std::size_t i = 0; i < bodies_.size(); ++i) putBody(w, *bodies_.at(i));
  putContacts(w, ContactRows(*this, physics_.contacts));
  putContacts(w, ContactRows(*this, physics_.stepContacts));
  return w.out;
}

void World::restore(const std::string& bytes) {
  Reader r{bytes};
  if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0)
    Reader::bad("it does not start as one");
  r.at = sizeof kMagic;
  std::uint64_t hash = 0;
  std::uint32_t rooms = 0;
  r.get(&hash);
  r.get(&rooms);
  if (hash != chamberHash_ || rooms != roomCount()) Reader::bad("it is of other rooms");
  std::uint64_t steps = 0;
  r.get(&steps);
  const Veruruve::Tuning::Settings settings = getSettings(r);
  const std::uint32_t count = r.count(kBodyBytes, kMaxBodies, "bodies");
  if (count == 0) Reader::bad("it has no ball");
  std::vector<CollisionSphere> bodies(count);
  for (CollisionSphere& body : bodies) getBody(r, &body, rooms);
  std::vector<ContactRow> contacts = getContacts(r, count, rooms);
  std::vector<ContactRow> stepContacts = getContacts(r, count, rooms);
  if (r.at != bytes.size()) Reader::bad("bytes left over");

  // Bodies assigned in place, so arrays taken before keep viewing them.
  bodies_.shrink(std::min<std::size_t>(bodies_.size(), count));
  for (std::size_t i = 0; i < count; ++i) {
    if (i < bodies_.size())
      *bodies_.at(i) = bodies[i];
    else
      bodies_.append(bodies[i]);
  }
  rebuildObjects();
  const auto toContacts = [&](const std::vector<ContactRow>& rows, std::vector<Contact>* out) {
    out->clear();
    for (const ContactRow& row : rows) {
      Contact c;
      c.point = row.point;
      c.correction = row.correction;
      c.body = bodies_.at(row.body);
      c.other = row.otherIsRoom
                    ? static_cast<Veruruve::Physics::Volume*>(physics_.containers[row.other])
                    : bodies_.at(row.other);
      out->push_back(c);
    }
  };
  toContacts(contacts, &physics_.contacts);
  toContacts(stepContacts, &physics_.stepContacts);
  // The bodies carry their own mass and radius, as the history's states do.
  physics_.settings = settings;
  steps_ = steps;
}

}  // namespace chamber_python
