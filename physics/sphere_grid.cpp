// The sphere pairs' grid (see sphere_grid.h).
//
// Why two cells apart never touch: testSphereSphere reports a contact only
// when the single precision distance is below R = r1 + r2, and then every
// true coordinate difference is below R by more than the rounding of the
// difference, the squares and the square root (a few 2^-24 of R). Cells are
// 2 (1 + 2^-8) times the largest radius in them, so spheres that touch are
// in the same or neighbouring cells. Differences under 2^-50 never reach the
// grid's resolution (cells are at least that large), so the underflow of
// their squares changes nothing either.
#include <algorithm>
#include <cmath>

#include "physics/sphere_grid.h"

namespace Veruruve {
namespace Physics {
namespace {

constexpr std::uint32_t kNone = kNoSphere;  // the end of a list; no block
constexpr std::uint64_t kEmptySlot = ~std::uint64_t(0);
constexpr double kMinCell = 1.0 / 1125899906842624.0;  // 2^-50
// Cell coordinates fit 21 bits each; a sphere farther out is kLarge.
constexpr double kMaxCellCoordinate = 1048000.0;
constexpr std::int64_t kCellOffset = 1 << 20;
// A sphere larger than this many times the median radius is kLarge, so that
// one giant does not make every cell huge.
constexpr float kLargeFactor = 8;

const VolumeSphere* asSphere(const Volume* v) {
  return v->shape == Sphere ? static_cast<const VolumeSphere*>(v) : nullptr;
}

std::uint64_t packCell(std::int64_t x, std::int64_t y, std::int64_t z) {
  return static_cast<std::uint64_t>(x + kCellOffset) << 42 |
         static_cast<std::uint64_t>(y + kCellOffset) << 21 |
         static_cast<std::uint64_t>(z + kCellOffset);
}

constexpr std::uint64_t kCoordinateMask = 0x1fffff;

// A cell key's block and its place in the block.
std::uint64_t blockKey(std::uint64_t key) {
  return (key >> 42) >> 2 << 42 | (key >> 21 & kCoordinateMask) >> 2 << 21 | (key & kCoordinateMask) >> 2;
}
unsigned placeInBlock(std::uint64_t key) {
  return static_cast<unsigned>((key >> 42 & 3) << 4 | (key >> 21 & 3) << 2 | (key & 3));
}

std::size_t slotOf(const SphereGrid& grid, std::uint64_t block) {
  const std::size_t mask = grid.slots.size() - 1;
  // Mixes every bit of the three coordinates into the low bits taken.
  std::uint64_t h = block * 0x9E3779B97F4A7C15ull;
  h ^= h >> 32;
  std::size_t s = static_cast<std::size_t>(h) & mask;
  while (grid.slots[s].key != block && grid.slots[s].key != kEmptySlot) s = (s + 1) & mask;
  return s;
}

// The block of the given block key, or nullptr when it has none.
const SphereGrid::Block* findBlock(const SphereGrid& grid, std::uint64_t block) {
  const SphereGrid::Slot& slot = grid.slots[slotOf(grid, block)];
  return slot.key == kEmptySlot ? nullptr : &grid.blocks[slot.block];
}

// Rebuilds the table with the given number of slots (a power of two) over
// the blocks there are.
void resizeTable(SphereGrid& grid, std::size_t slots) {
  grid.slots.assign(slots, {kEmptySlot, kNone});
  for (std::uint32_t b = 0; b < grid.blocks.size(); ++b)
    grid.slots[slotOf(grid, grid.blocks[b].key)] = {grid.blocks[b].key, b};
}

// The head of the cell's members, making its block when it has none.
std::uint32_t& headOf(SphereGrid& grid, std::uint64_t key) {
  const std::uint64_t block = blockKey(key);
  std::size_t s = slotOf(grid, block);
  if (grid.slots[s].key == kEmptySlot) {
    if (2 * (grid.blocks.size() + 1) > grid.slots.size()) {
      resizeTable(grid, 2 * grid.slots.size());
      s = slotOf(grid, block);
    }
    SphereGrid::Block made;
    made.key = block;
    std::fill(std::begin(made.head), std::end(made.head), kNone);
    grid.slots[s] = {block, static_cast<std::uint32_t>(grid.blocks.size())};
    grid.blocks.push_back(made);
  }
  return grid.blocks[grid.slots[s].block].head[placeInBlock(key)];
}

// Where sphere i belongs now, and its cell when it goes in one.
SphereGrid::Place classify(const SphereGrid& grid, const VolumeSphere& s, std::uint64_t* key) {
  const float r = s.radius;
  const vec3f& p = s.position;
  if (std::isnan(r) || !std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
    return SphereGrid::kAbsent;
  if (!(std::fabs(r) <= grid.cellRadius)) return SphereGrid::kLarge;
  const double c[3] = {std::floor(p.x * grid.inverseCell), std::floor(p.y * grid.inverseCell),
                       std::floor(p.z * grid.inverseCell)};
  for (double v : c)
    if (std::fabs(v) > kMaxCellCoordinate) return SphereGrid::kLarge;
  *key = packCell(static_cast<std::int64_t>(c[0]), static_cast<std::int64_t>(c[1]),
                  static_cast<std::int64_t>(c[2]));
  return SphereGrid::kInCell;
}

void linkInCell(SphereGrid& grid, std::uint32_t i, std::uint64_t key) {
  std::uint32_t& head = headOf(grid, key);
  grid.key[i] = key;
  grid.prev[i] = kNone;
  grid.next[i] = head;
  if (grid.next[i] != kNone) grid.prev[grid.next[i]] = i;
  head = i;
}

void unlinkFromCell(SphereGrid& grid, std::uint32_t i) {
  if (grid.prev[i] != kNone) {
    grid.next[grid.prev[i]] = grid.next[i];
  } else {
    headOf(grid, grid.key[i]) = grid.next[i];  // empty blocks stay
  }
  if (grid.next[i] != kNone) grid.prev[grid.next[i]] = grid.prev[i];
}

void place(SphereGrid& grid, std::uint32_t i, SphereGrid::Place where, std::uint64_t key) {
  if (where == SphereGrid::kInCell) linkInCell(grid, i, key);
  grid.place[i] = where;
  if (where == SphereGrid::kLarge)
    grid.large.insert(std::lower_bound(grid.large.begin(), grid.large.end(), i), i);
}

// Calls visit(k) for every member of the 27 cells around the cell key, block
// by block.
template <typename Visit>
void forEachNear(const SphereGrid& grid, std::uint64_t key, Visit visit) {
  // Per axis: the cells u - 1 to u + 1, in one block or two. Coordinates
  // stay within 0 .. 2^21 - 1 (classify keeps the cells well inside).
  std::uint64_t lo[3], hi[3];
  for (int a = 0; a < 3; ++a) {
    const std::uint64_t u = key >> (42 - 21 * a) & kCoordinateMask;
    lo[a] = u - 1;
    hi[a] = u + 1;
  }
  for (std::uint64_t bx = lo[0] >> 2; bx <= hi[0] >> 2; ++bx)
    for (std::uint64_t by = lo[1] >> 2; by <= hi[1] >> 2; ++by)
      for (std::uint64_t bz = lo[2] >> 2; bz <= hi[2] >> 2; ++bz) {
        const SphereGrid::Block* block = findBlock(grid, bx << 42 | by << 21 | bz);
        if (!block) continue;
        const std::uint64_t x0 = std::max(lo[0], bx << 2), x1 = std::min(hi[0], bx << 2 | 3);
        const std::uint64_t y0 = std::max(lo[1], by << 2), y1 = std::min(hi[1], by << 2 | 3);
        const std::uint64_t z0 = std::max(lo[2], bz << 2), z1 = std::min(hi[2], bz << 2 | 3);
        for (std::uint64_t x = x0; x <= x1; ++x)
          for (std::uint64_t y = y0; y <= y1; ++y)
            for (std::uint64_t z = z0; z <= z1; ++z)
              for (std::uint32_t j = block->head[(x & 3) << 4 | (y & 3) << 2 | (z & 3)]; j != kNone;
                   j = grid.next[j])
                visit(j);
      }
}

// Makes sphere i's list of later neighbours from the cells around it, in
// place when the list had room for it.
void makeList(SphereGrid& grid, std::uint32_t i) {
  const auto first = static_cast<std::uint32_t>(grid.listItems.size());
  forEachNear(grid, grid.key[i], [&](std::uint32_t k) {
    if (k > i) grid.listItems.push_back(k);
  });
  std::sort(grid.listItems.begin() + first, grid.listItems.end());
  SphereGrid::List& list = grid.lists[i];
  const auto count = static_cast<std::uint32_t>(grid.listItems.size()) - first;
  if (count <= list.room) {
    std::copy(grid.listItems.begin() + first, grid.listItems.end(),
              grid.listItems.begin() + list.first);
    grid.listItems.resize(first);
  } else {
    grid.abandonedItems += list.room;
    list.first = first;
    list.room = count;
  }
  list.count = count;
  list.valid = true;
}

// Forgets every sphere's list; each is made again when next asked for.
void clearLists(SphereGrid& grid, std::size_t spheres) {
  grid.lists.assign(spheres, SphereGrid::List());
  grid.listItems.clear();
  grid.abandonedItems = 0;
}

}  // namespace

void buildSphereGrid(SphereGrid& grid, const std::vector<Volume*>& objects) {
  const std::size_t n = objects.size();
  std::vector<float> radii;
  for (const Volume* v : objects)
    if (const VolumeSphere* s = asSphere(v))
      if (std::isfinite(s->radius)) radii.push_back(std::fabs(s->radius));
  float cap = 0;
  if (!radii.empty()) {
    const auto mid = radii.begin() + static_cast<std::ptrdiff_t>(radii.size() / 2);
    std::nth_element(radii.begin(), mid, radii.end());
    const float largest = *std::max_element(radii.begin(), radii.end());
    cap = std::min(largest, kLargeFactor * *mid);
  }

  // The same bodies with cells of the same size as last time: the spheres
  // are moved to where they are now, and the lists of the spheres around
  // the ones that changed cell are dropped. Blocks left empty by spheres
  // that went elsewhere stay, so a grid that has far more blocks than
  // spheres is made afresh, as is a list store mostly of abandoned lists.
  bool keep = grid.bodies == objects && grid.cellRadius == cap &&
              grid.blocks.size() <= 4 * radii.size() + 64;
  for (std::uint32_t i = 0; keep && i < n; ++i)
    keep = asSphere(objects[i]) || grid.place[i] == SphereGrid::kAbsent;
  if (keep) {
    for (std::uint32_t i = 0; i < n; ++i) moveSphere(grid, objects, i);
    if (grid.abandonedItems > grid.listItems.size() / 2) clearLists(grid, n);
    return;
  }

  grid.bodies = objects;
  grid.cellRadius = cap;
  grid.cellSize = std::max(2.0 * cap * (1 + 1.0 / 256), kMinCell);
  grid.inverseCell = 1 / grid.cellSize;

  grid.place.assign(n, SphereGrid::kAbsent);
  grid.key.assign(n, 0);
  grid.next.assign(n, kNone);
  grid.prev.assign(n, kNone);
  grid.large.clear();
  clearLists(grid, n);
  // Sized for as many blocks as the last grid used: the grid of one step
  // is much like that of the step before.
  std::size_t slots = 16;
  while (slots < 2 * (grid.blocks.size() + 1)) slots *= 2;
  grid.blocks.clear();
  resizeTable(grid, slots);
  for (std::uint32_t i = 0; i < n; ++i) {
    const VolumeSphere* s = asSphere(objects[i]);
    if (!s) continue;
    std::uint64_t key = 0;
    const SphereGrid::Place where = classify(grid, *s, &key);
    place(grid, i, where, key);
  }
}

void moveSphere(SphereGrid& grid, const std::vector<Volume*>& objects, std::uint32_t i) {
  const VolumeSphere* s = asSphere(objects[i]);
  if (!s) return;
  std::uint64_t key = 0;
  const SphereGrid::Place where = classify(grid, *s, &key);
  const SphereGrid::Place was = grid.place[i];
  if (where == was && (where != SphereGrid::kInCell || key == grid.key[i])) return;
  if (was == SphereGrid::kInCell) unlinkFromCell(grid, i);
  if (was == SphereGrid::kLarge)
    grid.large.erase(std::lower_bound(grid.large.begin(), grid.large.end(), i));
  place(grid, i, where, key);
  // The spheres around the cell entered may now touch i: their lists (and
  // i's own) are made again when next asked for.
  if (where == SphereGrid::kInCell)
    forEachNear(grid, key, [&](std::uint32_t k) {
      if (k <= i) grid.lists[k].valid = false;
    });
}

void spherePartners(SphereGrid& grid, const std::vector<Volume*>& objects, std::uint32_t i,
                    std::uint32_t after, std::vector<std::uint32_t>* out) {
  out->clear();
  const auto n = static_cast<std::uint32_t>(objects.size());
  if (grid.place[i] == SphereGrid::kAbsent) return;
  if (grid.place[i] == SphereGrid::kLarge) {
    for (std::uint32_t j = after + 1; j < n; ++j)
      if (grid.place[j] != SphereGrid::kAbsent) out->push_back(j);
    return;
  }
  SphereGrid::List& list = grid.lists[i];
  if (!list.valid) makeList(grid, i);
  const std::uint32_t* begin = grid.listItems.data() + list.first;
  const std::uint32_t* end = begin + list.count;
  out->assign(std::upper_bound(begin, end, after), end);
  const auto large = std::upper_bound(grid.large.begin(), grid.large.end(), after);
  if (large == grid.large.end()) return;
  // A sphere may be on a list and large now: each is tested once.
  const auto listed = static_cast<std::ptrdiff_t>(out->size());
  out->insert(out->end(), large, grid.large.end());
  std::inplace_merge(out->begin(), out->begin() + listed, out->end());
  out->erase(std::unique(out->begin(), out->end()), out->end());
}

void sphereNeighbours(const SphereGrid& grid, const std::vector<Volume*>& objects, std::uint32_t j,
                      std::uint32_t lo, std::uint32_t hi, std::vector<std::uint32_t>* out) {
  const auto from = lo == kNoSphere ? 0 : lo + 1;
  if (from >= hi || grid.place[j] == SphereGrid::kAbsent) return;
  if (grid.place[j] == SphereGrid::kLarge) {
    for (std::uint32_t k = from; k < hi && k < objects.size(); ++k)
      if (grid.place[k] != SphereGrid::kAbsent) out->push_back(k);
    return;
  }
  forEachNear(grid, grid.key[j], [&](std::uint32_t k) {
    if (k >= from && k < hi) out->push_back(k);
  });
  for (auto it = std::lower_bound(grid.large.begin(), grid.large.end(), from);
       it != grid.large.end() && *it < hi; ++it)
    out->push_back(*it);
}

}  // namespace Physics
}  // namespace Veruruve
