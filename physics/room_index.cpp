// The rooms' broad phase: which rooms a body reaches into.
//
// A bounding-volume tree rather than a grid: chambers mix rooms from a
// hundredth of a unit to thousands of units, which no single cell size
// suits, while a tree adapts to any mix and its depth grows with the
// logarithm of the room count. It is split by the surface area of the
// groups' boxes, which keeps overlapping rooms (random convex rooms, thin
// wedges with long reaches) from making the search wander. Each room's bound covers the
// whole region its overlapsVolume accepts (room_bound.h), so the tree only
// picks candidates; the room's own test then decides, and the rooms come
// out exactly as a test of every room would give them, in index order.
#include <algorithm>
#include <cmath>

#include "physics/room_bound.h"

namespace Veruruve {
namespace Physics {

struct RoomIndex {
  // A subtree: the union of its rooms' boxes, with the largest slope. A leaf
  // lists rooms[first, first + count); an inner node (count 0) has its first
  // child right after it and the second at `second`.
  struct Node {
    RoomBox box;
    std::uint32_t first = 0;
    std::uint32_t count = 0;
    std::uint32_t second = 0;
  };
  std::vector<Node> nodes;
  std::vector<RoomReach> nodeReach;  // parallel to nodes: the subtree's reach
  std::vector<std::uint32_t> rooms;  // room indices in leaf order
  std::vector<RoomBox> roomBoxes;    // parallel to rooms
  std::vector<RoomReach> roomReach;  // parallel to rooms
  std::vector<std::uint32_t> alwaysTested;  // increasing room indices
  // The container list it was built for.
  std::size_t roomCount = 0;
  CollisionBox* const* roomData = nullptr;
};

namespace {

constexpr std::uint32_t kLeafRooms = 4;
// Splits by surface area may be lopsided; below this depth the tree halves
// its lists instead, which bounds the depth (and the search's stack) by
// kSurfaceDepth + 32.
constexpr int kSurfaceDepth = 48;
constexpr int kMaxStack = 96;
// Beyond this a position is treated like a non-finite one: every room is
// tested.
constexpr double kMaxIndexedPosition = 1099511627776.0;  // 2^40

void widen(RoomBound& into, const RoomBound& b) {
  for (int k = 0; k < 3; ++k) {
    into.box.lo[k] = std::min(into.box.lo[k], b.box.lo[k]);
    into.box.hi[k] = std::max(into.box.hi[k], b.box.hi[k]);
    into.reach.centroidLo[k] = std::min(into.reach.centroidLo[k], b.reach.centroidLo[k]);
    into.reach.centroidHi[k] = std::max(into.reach.centroidHi[k], b.reach.centroidHi[k]);
  }
  into.box.slope = std::max(into.box.slope, b.box.slope);
  into.reach.scale = std::max(into.reach.scale, b.reach.scale);
}

struct Item {
  std::uint32_t room;
  RoomBound bound;
  float centre[3];
};

float area(const RoomBox& b) {
  const float dx = b.hi[0] - b.lo[0], dy = b.hi[1] - b.lo[1], dz = b.hi[2] - b.lo[2];
  return dx * dy + dy * dz + dz * dx;
}

void widenBox(RoomBox& into, const RoomBox& b) {
  for (int k = 0; k < 3; ++k) {
    into.lo[k] = std::min(into.lo[k], b.lo[k]);
    into.hi[k] = std::max(into.hi[k], b.hi[k]);
  }
}

// Adds b to the box of a group that holds `held` boxes so far: the first box
// of a group becomes its box.
void addToGroup(RoomBox& group, std::size_t held, const RoomBox& b) {
  if (held == 0)
    group = b;
  else
    widenBox(group, b);
}

// Orders items[begin, end) into two groups and returns where the second
// starts. The split is the one of least expected search cost by the surface
// area of the two groups' boxes (weighted by their room counts), among
// kBins planes per axis through the spread of the rooms' centres; the
// median of the widest axis when the centres do not spread.
constexpr int kBins = 16;

std::size_t split(std::vector<Item>& items, std::size_t begin, std::size_t end, const float lo[3],
                  const float hi[3], int depth) {
  int bestAxis = -1, bestBin = 0;
  float bestCost = HUGE_VALF;
  for (int axis = 0; axis < 3 && depth < kSurfaceDepth; ++axis) {
    const float spread = hi[axis] - lo[axis];
    if (!(spread > 0)) continue;
    const float perBin = kBins / spread;
    auto binOf = [&](const Item& it) {
      return std::min(kBins - 1, static_cast<int>((it.centre[axis] - lo[axis]) * perBin));
    };
    RoomBox boxes[kBins];
    std::size_t counts[kBins] = {};
    for (std::size_t i = begin; i < end; ++i) {
      const int b = binOf(items[i]);
      addToGroup(boxes[b], counts[b]++, items[i].bound.box);
    }
    // Cost of the left group of bins [0, b] for each b, then sweep from the right.
    float leftCost[kBins];
    RoomBox acc{};
    std::size_t n = 0;
    for (int b = 0; b < kBins; ++b) {
      if (counts[b] > 0) addToGroup(acc, n, boxes[b]);
      n += counts[b];
      leftCost[b] = n == 0 ? 0 : static_cast<float>(n) * area(acc);
    }
    n = 0;
    for (int b = kBins - 1; b > 0; --b) {
      if (counts[b] > 0) addToGroup(acc, n, boxes[b]);
      n += counts[b];
      const std::size_t left = end - begin - n;
      if (n == 0 || left == 0) continue;
      const float cost = leftCost[b - 1] + static_cast<float>(n) * area(acc);
      if (cost < bestCost) {
        bestCost = cost;
        bestAxis = axis;
        bestBin = b;
      }
    }
  }
  const auto first = items.begin() + static_cast<std::ptrdiff_t>(begin);
  const auto last = items.begin() + static_cast<std::ptrdiff_t>(end);
  if (bestAxis >= 0) {
    const float perBin = kBins / (hi[bestAxis] - lo[bestAxis]);
    const auto middle = std::partition(first, last, [&](const Item& it) {
      return std::min(kBins - 1, static_cast<int>((it.centre[bestAxis] - lo[bestAxis]) * perBin)) <
             bestBin;
    });
    return static_cast<std::size_t>(middle - items.begin());
  }
  // Too deep, or all centres in one point: halve the list along the widest
  // spread of the centres.
  int axis = 0;
  for (int k = 1; k < 3; ++k)
    if (hi[k] - lo[k] > hi[axis] - lo[axis]) axis = k;
  const std::size_t mid = begin + (end - begin) / 2;
  std::nth_element(first, items.begin() + static_cast<std::ptrdiff_t>(mid), last,
                   [axis](const Item& a, const Item& b) {
                     if (a.centre[axis] != b.centre[axis]) return a.centre[axis] < b.centre[axis];
                     return a.room < b.room;
                   });
  return mid;
}

// Builds the subtree over items[begin, end) and returns its node index.
std::uint32_t buildNode(RoomIndex& index, std::vector<Item>& items, std::size_t begin,
                        std::size_t end, int depth) {
  const auto at = static_cast<std::uint32_t>(index.nodes.size());
  index.nodes.emplace_back();
  index.nodeReach.emplace_back();
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
  index.nodes[at].box = bound.box;
  index.nodeReach[at] = bound.reach;
  if (end - begin <= kLeafRooms) {
    index.nodes[at].first = static_cast<std::uint32_t>(index.rooms.size());
    index.nodes[at].count = static_cast<std::uint32_t>(end - begin);
    for (std::size_t i = begin; i < end; ++i) {
      index.rooms.push_back(items[i].room);
      index.roomBoxes.push_back(items[i].bound.box);
      index.roomReach.push_back(items[i].bound.reach);
    }
    return at;
  }
  const std::size_t mid = split(items, begin, end, lo, hi, depth);
  buildNode(index, items, begin, mid, depth + 1);
  const std::uint32_t second = buildNode(index, items, mid, end, depth + 1);
  index.nodes[at].second = second;
  return at;
}

bool isCurrent(const PhysicsWorld& world) {
  const RoomIndex* index = world.roomIndex.get();
  return index && index->roomCount == world.containers.size() &&
         index->roomData == world.containers.data();
}

// Appends to out the tree's rooms whose bound may hold p for a body of
// radius r (0 for a point). The margin for the reach of all rooms holds for
// every room; when with it the body stays within kReachLarge, which is the
// usual case, every test is a plain box test. Otherwise each subtree's own,
// smaller, margin is worked out as the search goes.
void collect(const RoomIndex& index, const float p[3], double r, std::vector<std::uint32_t>* out) {
  if (index.nodes.empty()) return;
  const double tAll = r + reachMargin(r, p, index.nodeReach[0]);
  const bool plain = tAll <= kReachLarge;
  std::uint32_t stack[kMaxStack];
  int depth = 0;
  stack[depth++] = 0;
  while (depth > 0) {
    const std::uint32_t at = stack[--depth];
    const RoomIndex::Node& node = index.nodes[at];
    const double t = plain ? tAll : r + reachMargin(r, p, index.nodeReach[at]);
    if (!boxMayHold(node.box, p, t)) continue;
    if (node.count > 0) {
      for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
        const double ti = plain ? tAll : r + reachMargin(r, p, index.roomReach[i]);
        if (boxMayHold(index.roomBoxes[i], p, ti)) out->push_back(index.rooms[i]);
      }
      continue;
    }
    stack[depth++] = node.second;
    stack[depth++] = at + 1;
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
    for (int a = 0; a < 3; ++a)
      item.centre[a] = 0.5f * item.bound.box.lo[a] + 0.5f * item.bound.box.hi[a];
    items.push_back(item);
  }
  if (!items.empty()) {
    // Leaves hold at least two rooms: fewer nodes than rooms.
    index->nodes.reserve(items.size());
    index->nodeReach.reserve(items.size());
    index->rooms.reserve(items.size());
    index->roomBoxes.reserve(items.size());
    index->roomReach.reserve(items.size());
    buildNode(*index, items, 0, items.size(), 0);
    index->nodes.shrink_to_fit();
    index->nodeReach.shrink_to_fit();
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
                index->nodeReach.capacity() * sizeof(RoomReach) +
                index->rooms.capacity() * sizeof(std::uint32_t) +
                index->roomBoxes.capacity() * sizeof(RoomBox) +
                index->roomReach.capacity() * sizeof(RoomReach) +
                index->alwaysTested.capacity() * sizeof(std::uint32_t);
  return stats;
}

}  // namespace Physics
}  // namespace Veruruve
