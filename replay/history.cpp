// The ring of the last physics states.
#include "replay/replay.h"

using Veruruve::Physics::CollisionBox;
using Veruruve::Physics::CollisionSphere;
using Veruruve::Physics::Contact;
using Veruruve::Physics::PhysicsWorld;
using Veruruve::Physics::Volume;

namespace {

std::size_t slotOf(const History& history, std::uint64_t step) {
  return static_cast<std::size_t>(step % history.capacity);
}

// Index of a pointer in a list; the list's size when it is not there.
template <typename T>
std::uint32_t indexOf(const std::vector<T*>& list, const void* item) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i] == item) return static_cast<std::uint32_t>(i);
  return static_cast<std::uint32_t>(list.size());
}

// Index of a room a body touched. The room is among the body's candidate
// rooms, a handful, so the search does not grow with the chamber; the whole
// list is the fall-back.
std::uint32_t roomIndexOf(const PhysicsWorld& world, const Volume* body, const void* room) {
  if (body)
    for (std::uint32_t k : body->containerIndices)
      if (k < world.containers.size() && world.containers[k] == room) return k;
  return indexOf(world.containers, room);
}

void saveContacts(const PhysicsWorld& world, const std::vector<Contact>& contacts,
                  std::vector<SavedContact>& saved) {
  saved.clear();
  for (const Contact& contact : contacts) {
    SavedContact c;
    c.point = contact.point;
    c.correction = contact.correction;
    c.body = indexOf(world.objects, contact.body);
    const std::uint32_t asBody = indexOf(world.objects, contact.other);
    c.otherIsRoom = asBody == world.objects.size();
    c.other = c.otherIsRoom ? roomIndexOf(world, contact.body, contact.other) : asBody;
    saved.push_back(c);
  }
}

// A party that is no longer in the world comes back as null.
void restoreContacts(const std::vector<SavedContact>& saved, PhysicsWorld& world,
                     std::vector<Contact>& contacts) {
  contacts.clear();
  for (const SavedContact& c : saved) {
    Contact contact;
    contact.point = c.point;
    contact.correction = c.correction;
    contact.body = c.body < world.objects.size() ? world.objects[c.body] : nullptr;
    if (c.otherIsRoom)
      contact.other = c.other < world.containers.size() ? world.containers[c.other] : nullptr;
    else
      contact.other = c.other < world.objects.size() ? world.objects[c.other] : nullptr;
    contacts.push_back(contact);
  }
}

void capture(const PhysicsWorld& world, WorldState& state) {
  // Copy-assigning into the slot's bodies reuses their memory.
  state.bodies.resize(world.objects.size());
  for (std::size_t i = 0; i < world.objects.size(); ++i)
    state.bodies[i] = *static_cast<const CollisionSphere*>(world.objects[i]);
  saveContacts(world, world.contacts, state.contacts);
  saveContacts(world, world.stepContacts, state.stepContacts);
  state.settings = world.settings;
}

void restore(const WorldState& state, PhysicsWorld& world) {
  while (world.objects.size() > state.bodies.size()) {
    delete world.objects.back();
    world.objects.pop_back();
  }
  for (std::size_t i = 0; i < state.bodies.size(); ++i) {
    if (i == world.objects.size()) {
      world.objects.push_back(new CollisionSphere(state.bodies[i]));
    } else if (auto* sphere = dynamic_cast<CollisionSphere*>(world.objects[i])) {
      *sphere = state.bodies[i];
    } else {
      delete world.objects[i];
      world.objects[i] = new CollisionSphere(state.bodies[i]);
    }
  }
  restoreContacts(state.contacts, world, world.contacts);
  restoreContacts(state.stepContacts, world, world.stepContacts);
  // The bodies came back with their own mass and radius: the settings are
  // put back as they were, not applied to them.
  world.settings = state.settings;
}

}  // namespace

void History_NoteSettings(History& history, const PhysicsWorld& world) {
  if (history.count == 0) return;
  for (const Volume* body : world.objects)
    if (!dynamic_cast<const CollisionSphere*>(body)) return;
  capture(world, history.slots[slotOf(history, history.current)]);
}

void History_Clear(History& history) {
  history.count = 0;
  history.newest = 0;
  history.current = 0;
}

bool History_Record(History& history, const PhysicsWorld& world) {
  // Every body of the scene is a sphere; anything else cannot be kept.
  for (const Volume* body : world.objects)
    if (!dynamic_cast<const CollisionSphere*>(body)) return false;
  const std::uint64_t step = history.count == 0 ? 0 : history.newest + 1;
  const std::size_t slot = slotOf(history, step);
  if (history.slots.size() <= slot) history.slots.resize(slot + 1);
  capture(world, history.slots[slot]);
  history.newest = step;
  history.current = step;
  if (history.count < history.capacity) ++history.count;
  return true;
}

std::uint64_t History_Oldest(const History& history) {
  return history.count == 0 ? 0 : history.newest + 1 - history.count;
}

std::int64_t History_Move(History& history, PhysicsWorld& world, std::int64_t delta) {
  if (history.count == 0) return 0;
  const std::uint64_t oldest = History_Oldest(history);
  std::uint64_t target = history.current;
  if (delta < 0) {
    const std::uint64_t back = static_cast<std::uint64_t>(-(delta + 1)) + 1;
    target = history.current - oldest < back ? oldest : history.current - back;
  } else {
    const std::uint64_t ahead = static_cast<std::uint64_t>(delta);
    target = history.newest - history.current < ahead ? history.newest : history.current + ahead;
  }
  restore(history.slots[slotOf(history, target)], world);
  const std::int64_t moved =
      static_cast<std::int64_t>(target) - static_cast<std::int64_t>(history.current);
  history.current = target;
  return moved;
}

void History_DiscardFuture(History& history) {
  history.count -= history.newest - history.current;
  history.newest = history.current;
}

std::size_t History_Bytes(const History& history) {
  std::size_t bytes = history.slots.capacity() * sizeof(WorldState);
  for (const WorldState& state : history.slots) {
    bytes += state.bodies.capacity() * sizeof(CollisionSphere);
    bytes += (state.contacts.capacity() + state.stepContacts.capacity()) * sizeof(SavedContact);
    for (const CollisionSphere& body : state.bodies)
      bytes += body.containerIndices.capacity() * sizeof(std::uint32_t);
  }
  return bytes;
}
