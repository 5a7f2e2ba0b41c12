// Inside the physics module: the spatial grid that finds the sphere pairs of
// a contact pass (sphere_grid.cpp), used by step.cpp.
//
// A pass tests each sphere against every later sphere, and each response
// moves both spheres at once. The grid gives, for sphere i and a position
// in that list, the later spheres that can touch i where they stand now: a
// superset of those whose testSphereSphere is true, in increasing order.
// Skipping a sphere whose test is false changes nothing (the test has no
// effect of its own), so the step tests exactly the pairs that touch, in
// the order of the full loop, provided every move is reported (moveSphere).
#pragma once

#include "physics/physics.h"

namespace Veruruve {
namespace Physics {

struct SphereGrid {
  // Where each object of the world stands in the grid.
  enum Place : std::uint8_t {
    kAbsent,  // not a sphere, or one that can touch nothing (NaN radius,
              // position not finite)
    kInCell,  // in the cell of its position
    kLarge,   // too large or too far for the cells: checked with everyone
  };
  double cellSize = 1;  // at least the largest diameter in the cells
  double inverseCell = 1;
  float cellRadius = 0;  // largest |radius| kept in cells
  std::vector<Place> place;
  std::vector<std::uint64_t> key;  // cell of each kInCell sphere
  // Members of one cell, doubly linked through the sphere indices.
  std::vector<std::uint32_t> next, prev;
  // Open-addressed table from cell key to the first member; key and head
  // side by side, so that a look-up reads one place.
  struct Slot {
    std::uint64_t key;
    std::uint32_t head;
  };
  std::vector<Slot> slots;
  std::size_t slotsUsed = 0;
  std::vector<std::uint32_t> large;  // the kLarge spheres, increasing
};

// Places every sphere of objects by its current position.
void buildSphereGrid(SphereGrid& grid, const std::vector<Volume*>& objects);

// Re-places sphere i after its position changed.
void moveSphere(SphereGrid& grid, const std::vector<Volume*>& objects, std::uint32_t i);

// The spheres j > after that may touch sphere i now, in increasing order,
// into out (cleared first).
void spherePartners(const SphereGrid& grid, const std::vector<Volume*>& objects, std::uint32_t i,
                    std::uint32_t after, std::vector<std::uint32_t>* out);

}  // namespace Physics
}  // namespace Veruruve
