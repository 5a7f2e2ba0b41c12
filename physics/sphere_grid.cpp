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

constexpr std::uint32_t kNone = 0xffffffffu;
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

std::size_t slotOf(const SphereGrid& grid, std::uint64_t key) {
  const std::size_t mask = grid.slots.size() - 1;
  // Mixes every bit of the three coordinates into the low bits taken.
  std::uint64_t h = key * 0x9E3779B97F4A7C15ull;
  h ^= h >> 32;
  std::size_t s = static_cast<std::size_t>(h) & mask;
  while (grid.slots[s].key != key && grid.slots[s].key != kEmptySlot) s = (s + 1) & mask;
  return s;
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

void resizeTable(SphereGrid& grid, std::size_t slots);

void linkInCell(SphereGrid& grid, std::uint32_t i, std::uint64_t key) {
  if (2 * (grid.slotsUsed + 1) > grid.slots.size()) resizeTable(grid, 2 * grid.slots.size());
  const std::size_t s = slotOf(grid, key);
  if (grid.slots[s].key == kEmptySlot) {
    grid.slots[s] = {key, kNone};
    ++grid.slotsUsed;
  }
  grid.key[i] = key;
  grid.prev[i] = kNone;
  grid.next[i] = grid.slots[s].head;
  if (grid.next[i] != kNone) grid.prev[grid.next[i]] = i;
  grid.slots[s].head = i;
}

void unlinkFromCell(SphereGrid& grid, std::uint32_t i) {
  if (grid.prev[i] != kNone) {
    grid.next[grid.prev[i]] = grid.next[i];
  } else {
    grid.slots[slotOf(grid, grid.key[i])].head = grid.next[i];  // empty cells keep their slot
  }
  if (grid.next[i] != kNone) grid.prev[grid.next[i]] = grid.prev[i];
}

// Rebuilds the table with the given number of slots (a power of two),
// relinking every sphere in a cell.
void resizeTable(SphereGrid& grid, std::size_t slots) {
  grid.slots.assign(slots, {kEmptySlot, kNone});
  grid.slotsUsed = 0;
  for (std::uint32_t i = 0; i < grid.place.size(); ++i)
    if (grid.place[i] == SphereGrid::kInCell) linkInCell(grid, i, grid.key[i]);
}

void place(SphereGrid& grid, std::uint32_t i, SphereGrid::Place where, std::uint64_t key) {
  // Out of the cells while linking: a table rebuild on the way relinks only
  // the spheres already in a cell.
  grid.place[i] = SphereGrid::kAbsent;
  if (where == SphereGrid::kInCell) linkInCell(grid, i, key);
  grid.place[i] = where;
  if (where == SphereGrid::kLarge)
    grid.large.insert(std::lower_bound(grid.large.begin(), grid.large.end(), i), i);
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
  grid.cellRadius = cap;
  grid.cellSize = std::max(2.0 * cap * (1 + 1.0 / 256), kMinCell);
  grid.inverseCell = 1 / grid.cellSize;

  grid.place.assign(n, SphereGrid::kAbsent);
  grid.key.assign(n, 0);
  grid.next.assign(n, kNone);
  grid.prev.assign(n, kNone);
  grid.large.clear();
  std::size_t slots = 16;
  while (slots < 2 * n) slots *= 2;
  grid.slots.assign(slots, {kEmptySlot, kNone});
  grid.slotsUsed = 0;
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
}

void spherePartners(const SphereGrid& grid, const std::vector<Volume*>& objects, std::uint32_t i,
                    std::uint32_t after, std::vector<std::uint32_t>* out) {
  out->clear();
  const auto n = static_cast<std::uint32_t>(objects.size());
  if (grid.place[i] == SphereGrid::kAbsent) return;
  if (grid.place[i] == SphereGrid::kLarge) {
    for (std::uint32_t j = after + 1; j < n; ++j)
      if (grid.place[j] != SphereGrid::kAbsent) out->push_back(j);
    return;
  }
  const std::uint64_t key = grid.key[i];
  const auto x = static_cast<std::int64_t>(key >> 42) - kCellOffset;
  const auto y = static_cast<std::int64_t>((key >> 21) & 0x1fffff) - kCellOffset;
  const auto z = static_cast<std::int64_t>(key & 0x1fffff) - kCellOffset;
  for (std::int64_t dx = -1; dx <= 1; ++dx)
    for (std::int64_t dy = -1; dy <= 1; ++dy)
      for (std::int64_t dz = -1; dz <= 1; ++dz) {
        const std::uint64_t k = packCell(x + dx, y + dy, z + dz);
        const std::size_t s = slotOf(grid, k);
        if (grid.slots[s].key == kEmptySlot) continue;
        for (std::uint32_t j = grid.slots[s].head; j != kNone; j = grid.next[j])
          if (j > after) out->push_back(j);
      }
  for (auto it = std::upper_bound(grid.large.begin(), grid.large.end(), after);
       it != grid.large.end(); ++it)
    out->push_back(*it);
  std::sort(out->begin(), out->end());
}

}  // namespace Physics
}  // namespace Veruruve
