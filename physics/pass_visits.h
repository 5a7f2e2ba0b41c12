// Inside the physics module: which bodies a contact pass after the first
// must visit (pass_visits.cpp), used by step.cpp.
//
// A visit's tests read only the positions and orientations of the bodies
// they involve, and a test that finds nothing has no effect. So a body's
// room tests can be skipped when it has had no response since its last
// visit, and its pair with a later sphere when neither sphere has had one:
// the tests would find nothing again. Every body has moved before the
// first pass, which visits them all. After a pass the bodies that had a
// response are visited again, and with each sphere among them every
// earlier sphere that may touch it (its pair is tested at the earlier
// one's turn). A response during a pass to a body whose turn is still to
// come adds it, and the earlier-sphere neighbours still to come, to that
// same pass. Visiting more than needed changes nothing, so when many
// bodies responded the next pass simply visits all.
#pragma once

#include "physics/sphere_grid.h"

namespace Veruruve {
namespace Physics {

struct PassVisits {
  bool everyBody = true;   // the current pass visits every body
  std::uint32_t turn = 0;  // the body being visited
  std::vector<std::uint8_t> visit;      // per body: to visit in the current pass
  std::vector<std::uint8_t> responded;  // per body: had a response in the current pass
  std::vector<std::uint32_t> respondedList;
  std::vector<std::uint32_t> near;  // scratch
};

// The first pass of a step: every body, nothing responded yet.
void startVisits(PassVisits& visits, std::size_t bodies);

inline bool mustVisit(const PassVisits& visits, std::uint32_t i) {
  return visits.everyBody || visits.visit[i] != 0;
}

// A response was applied to body b (and the grid already knows where b
// now is, when it holds spheres: pairs is true).
void noteResponse(PassVisits& visits, const SphereGrid& grid, bool pairs,
                  const std::vector<Volume*>& objects, std::uint32_t b);

// After a pass: the bodies the next one must visit.
void planNextPass(PassVisits& visits, const SphereGrid& grid, bool pairs,
                  const std::vector<Volume*>& objects);

}  // namespace Physics
}  // namespace Veruruve
