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
  // The cells come in blocks of 4 x 4 x 4, each holding the first member of
  // its cells (z running fastest), found through an open-addressed table by
  // the block's key. The 27 cells around a sphere lie in one to eight
  // blocks, most often in one or two: a few look-ups in a small table and a
  // few cache lines of heads, where a table of cells would take 27 look-ups
  // spread over a large one.
  struct Block {
    std::uint64_t key;
    std::uint32_t head[64];
  };
  struct Slot {
    std::uint64_t key;    // the block's key
    std::uint32_t block;  // its index in blocks
  };
  std::vector<Block> blocks;  // in the order first used; empty ones stay
  std::vector<Slot> slots;    // a power of two, at most half full
  std::vector<std::uint32_t> large;  // the kLarge spheres, increasing

  // Each kInCell sphere's later neighbours: the spheres k > i in the 27
  // cells around its cell when the list was made, increasing. A pass asks
  // for the partners of every sphere, and mostly none of the spheres
  // around one has changed cell since the pass before, so the walk over
  // the cells is kept. A list stays a superset of those neighbours until a
  // sphere enters one of the 27 cells (moveSphere then drops the lists
  // around it); a sphere that leaves stays on lists it is no longer near,
  // where its test finds nothing.
  struct List {
    std::uint32_t first = 0;  // into listItems
    std::uint32_t count = 0;
    std::uint32_t room = 0;   // items reserved from first on
    bool valid = false;
  };
  std::vector<List> lists;
  std::vector<std::uint32_t> listItems;
  std::size_t abandonedItems = 0;  // items of lists since made elsewhere

  // The bodies the grid was made for: the next step's grid starts from
  // this one when they are the same.
  std::vector<Volume*> bodies;
};

// Places every sphere of objects by its current position, starting from
// the grid of the last call when it was made for the same bodies.
void buildSphereGrid(SphereGrid& grid, const std::vector<Volume*>& objects);

// Re-places sphere i after its position changed.
void moveSphere(SphereGrid& grid, const std::vector<Volume*>& objects, std::uint32_t i);

// The spheres j > after that may touch sphere i now, in increasing order,
// into out (cleared first). Makes i's list of neighbours when it has none.
void spherePartners(SphereGrid& grid, const std::vector<Volume*>& objects, std::uint32_t i,
                    std::uint32_t after, std::vector<std::uint32_t>* out);

// The spheres k with lo < k < hi that may touch sphere j now, in no
// particular order, appended to out: those whose pair with j is tested at
// their own turn of a pass (lo = kNoSphere for none below).
constexpr std::uint32_t kNoSphere = 0xffffffffu;
void sphereNeighbours(const SphereGrid& grid, const std::vector<Volume*>& objects, std::uint32_t j,
                      std::uint32_t lo, std::uint32_t hi, std::vector<std::uint32_t>* out);

}  // namespace Physics
}  // namespace Veruruve
