// The rooms' broad phase: which rooms a body reaches into.
//
// A bounding-volume tree rather than a grid: chambers mix rooms from a
// hundredth of a unit to thousands of units, which no single cell size
// suits, while a tree split at the median adapts to any mix and its depth
// grows with the logarithm of the room count. Each room's bound covers the
// whole region its overlapsVolume accepts (room_bound.h), so the tree only
// picks candidates; the room's own test then decides, and the rooms come
// out exactly as a test of every room would give them, in index order.
#include <algorithm>
#include <cmath>

#include "physics/room_bound.h"

namespace Veruruve {
namespace Physics {

struct RoomIndex {
  // A subtree: the union of its rooms' bounds (the largest slope and scale,
  // the widest boxes). A leaf lists rooms[first, first + count); an inner
  // node (count 0) has its first child right after it and the second at
  // `second`.
  struct Node {
    RoomBound bound;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint32_t second = 0;
  };
  std::vector<Node> nodes;
  std::vector<std::uint32_t> rooms;     // room indices in leaf order
  std::vector<RoomBound> roomBounds;    // parallel to rooms
  std::vector<std::uint32_t> alwaysTested;  // increasing room indices
  // The container list it was built for.
  std::size_t roomCount = 0;
  CollisionBox* const* roomData = nullptr;
};

namespace {

constexpr std::uint32_t kLeafRooms = 4;
// Beyond this a position is treated like a non-finite one: every room is
// tested.
constexpr double kMaxIndexedPosition = 1099511627776.0;  // 2^40

void widen(RoomBound& into, const RoomBound& b) {
  for (int k = 0; k < 3; ++k) {
    into.lo[k] = std::min(into.lo[k], b.lo[k]);
    into.hi[k] = std::max(into.hi[k], b.hi[k]);
    into.centroidLo[k] = std::min(into.centroidLo[k], b.centroidLo[k]);
    into.centroidHi[k] = std::max(into.centroidHi[k], b.centroidHi[k]);
  }
  into.slope = std::max(into.slope, b.slope);
  into.scale = std::max(into.scale, b.scale);
}

struct Item {
  std::uint32_t room;
  RoomBound bound;
  float centre[3];
};

// Builds the subtree over items[begin, end) and returns its node index.
std::uint32_t buildNode(RoomIndex& index, std::vector<Item>& items, std::size_t begin,
                        std::size_t end) {
  const auto at = static_cast<std::uint32_t>(index.nodes.size());
  index.nodes.emplace_back();
  RoomBound bound = items[begin].bound;
  float lo[3], hi[3];
  for (int k = 0; k < 3; ++k) lo[k] = hi[k] = items[begin].centre[k];
  for (std::size_t i = begin + 1; i < end; ++i) {
    widen(bound, items[i].bound);
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], items[i].centre[k]);
      hi[k] = std::max(hi[k], items[i].centre[k]);
    }
  }
  index.nodes[at].bound = bound;
  if (end - begin <= kLeafRooms) {
    index.nodes[at].first = static_cast<std::uint32_t>(index.rooms.size());
    index.nodes[at].count = static_cast<std::uint32_t>(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
      index.rooms.push_back(items[i].room);
      index.roomBounds.push_back(items[i].bound);
    }
    return at;
  }
  // Split at the median centre along the axis where the centres spread most.
  int axis = 0;
  for (int k = 1; k < 3; ++k)
    if (hi[k] - lo[k] > hi[axis] - lo[axis]) axis = k;
  const std::size_t mid = begin + (end - begin) / 2;
  std::nth_element(items.begin() + static_cast<std::ptrdiff_t>(begin),
                   items.begin() + static_cast<std::ptrdiff_t>(mid),
                   items.begin() + static_cast<std::ptrdiff_t>(end),
                   [axis](const Item& a, const Item& b) {
                     if (a.centre[axis] != b.centre[axis]) return a.centre[axis] < b.centre[axis];
                     return a.room < b.room;
                   });
  buildNode(index, items, begin, mid);
  const std::uint32_t second = buildNode(index, items, mid, end);
  index.nodes[at].second = second;
  return at;
}

bool isCurrent(const PhysicsWorld& world) {
  const RoomIndex* index = world.roomIndex.get();
  return index && index->roomCount == world.containers.size() &&
         index->roomData == world.containers.data();
}

// Appends to out the tree's rooms whose bound may hold p for a body of
// radius r (0 for a point).
void collect(const RoomIndex& index, const float p[3], double r, std::vector<std::uint32_t>* out) {
  if (index.nodes.empty()) return;
  std::uint32_t stack[64];
  int depth = 0;
  stack[depth++] = 0;
  while (depth > 0) {
    const RoomIndex::Node& node = index.nodes[stack[--depth]];
    const RoomBound& b = node.bound;
    if (!boundMayHold(b, p, r + reachMargin(r, p, b.scale, b.centroidLo, b.centroidHi))) continue;
    if (node.count > 0) {
      for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
        const RoomBound& rb = index.roomBounds[i];
        if (boundMayHold(rb, p, r + reachMargin(r, p, rb.scale, rb.centroidLo, rb.centroidHi)))
          out->push_back(index.rooms[i]);
      }
      continue;
    }
    const auto self = static_cast<std::uint32_t>(&node - index.nodes.data());
    stack[depth++] = node.second;
    stack[depth++] = self + 1;
  }
}

bool indexable(const vec3f& p) {
  return std::fabs(p.x) <= kMaxIndexedPosition && std::fabs(p.y) <= kMaxIndexedPosition &&
         std::fabs(p.z) <= kMaxIndexedPosition;  // false for NaN too
}

// The candidate rooms of the body through the tree, sorted and unique,
// without the every-step list. False when the body is outside what the
// tree's bounds cover (not finite, too far, too large): then every room
// is a candidate.
bool treeCandidates(const RoomIndex& index, const Volume& body, std::vector<std::uint32_t>* out) {
  if (body.shape == Sphere) {
    const double r = static_cast<const VolumeSphere&>(body).radius;
    if (!(std::fabs(r) <= kMaxIndexedRadius) || !indexable(body.position)) return false;
    const float p[3] = {body.position.x, body.position.y, body.position.z};
    collect(index, p, r, out);
  } else if (body.shape == Box) {
    // The box is in a room when one of its vertices is, each tested as a
    // point where overlapsVolume places it.
    const auto& box = static_cast<const VolumeBox&>(body);
    for (const vec3f& v : box.vertices) {
      const vec3f w = transformPoint(box.worldTransform, v);
      if (!indexable(w)) return false;
      const float p[3] = {w.x, w.y, w.z};
      collect(index, p, 0.0, out);
    }
  }
  std::sort(out->begin(), out->end());
  out->erase(std::unique(out->begin(), out->end()), out->end());
  return true;
}

}  // namespace

void buildRoomIndex(PhysicsWorld& world) {
  auto index = std::make_shared<RoomIndex>();
  index->roomCount = world.containers.size();
  index->roomData = world.containers.data();
  std::vector<Item> items;
  for (std::size_t k = 0; k < world.containers.size(); ++k) {
    Item item;
    item.room = static_cast<std::uint32_t>(k);
    if (!boundRoom(*world.containers[k], &item.bound)) {
      index->alwaysTested.push_back(item.room);
      continue;
    }
    for (int a = 0; a < 3; ++a) item.centre[a] = 0.5f * item.bound.lo[a] + 0.5f * item.bound.hi[a];
    items.push_back(item);
  }
  if (!items.empty()) {
    index->nodes.reserve(2 * items.size());
    index->rooms.reserve(items.size());
    index->roomBounds.reserve(items.size());
    buildNode(*index, items, 0, items.size());
  }
  world.roomIndex = std::move(index);
}

void findRooms(const PhysicsWorld& world, const Volume& body, std::vector<std::uint32_t>* out) {
  const auto count = static_cast<std::uint32_t>(world.containers.size());
  // Reused from call to call: the step asks once per body.
  thread_local std::vector<std::uint32_t> candidates;
  candidates.clear();
  if (!isCurrent(world) || !treeCandidates(*world.roomIndex, body, &candidates)) {
    for (std::uint32_t k = 0; k < count; ++k)
      if (world.containers[k]->overlapsVolume(&body)) out->push_back(k);
    return;
  }
  // Merge the tree's candidates with the every-step list, in index order.
  const std::vector<std::uint32_t>& always = world.roomIndex->alwaysTested;
  std::size_t a = 0, c = 0;
  while (a < always.size() || c < candidates.size()) {
    std::uint32_t k;
    if (c == candidates.size() || (a < always.size() && always[a] < candidates[c]))
      k = always[a++];
    else
      k = candidates[c++];
    if (world.containers[k]->overlapsVolume(&body)) out->push_back(k);
  }
}

RoomIndexStats roomIndexStats(const PhysicsWorld& world) {
  RoomIndexStats stats;
  const RoomIndex* index = world.roomIndex.get();
  if (!index) return stats;
  stats.indexedRooms = index->rooms.size();
  stats.alwaysTested = index->alwaysTested.size();
  stats.bytes = sizeof(RoomIndex) + index->nodes.capacity() * sizeof(RoomIndex::Node) +
                index->rooms.capacity() * sizeof(std::uint32_t) +
                index->roomBounds.capacity() * sizeof(RoomBound) +
                index->alwaysTested.capacity() * sizeof(std::uint32_t);
  return stats;
}

}  // namespace Physics
}  // namespace Veruruve
