// The bodies a contact pass visits (see pass_visits.h).
#include <algorithm>

#include "physics/pass_visits.h"

namespace Veruruve {
namespace Physics {
namespace {

// Past this share of bodies with a response, finding their neighbours costs
// about as much as visiting every body.
constexpr std::size_t kEveryBodyShare = 8;

void markNeighbours(PassVisits& visits, const SphereGrid& grid, const std::vector<Volume*>& objects,
                    std::uint32_t b, std::uint32_t lo) {
  visits.near.clear();
  sphereNeighbours(grid, objects, b, lo, b, &visits.near);
  for (std::uint32_t k : visits.near) visits.visit[k] = 1;
}

}  // namespace

void startVisits(PassVisits& visits, std::size_t bodies) {
  visits.everyBody = true;
  visits.turn = 0;
  visits.visit.assign(bodies, 0);
  visits.responded.assign(bodies, 0);
  visits.respondedList.clear();
}

void noteResponse(PassVisits& visits, const SphereGrid& grid, bool pairs,
                  const std::vector<Volume*>& objects, std::uint32_t b) {
  if (!visits.responded[b]) {
    visits.responded[b] = 1;
    visits.respondedList.push_back(b);
  }
  if (visits.everyBody || b <= visits.turn) return;
  // Its turn is still to come in this pass, and so is that of every
  // earlier sphere between the current body and it.
  visits.visit[b] = 1;
  if (pairs && objects[b]->shape == Sphere) markNeighbours(visits, grid, objects, b, visits.turn);
}

void planNextPass(PassVisits& visits, const SphereGrid& grid, bool pairs,
                  const std::vector<Volume*>& objects) {
  std::fill(visits.visit.begin(), visits.visit.end(), 0);
  visits.turn = 0;
  visits.everyBody = visits.respondedList.size() * kEveryBodyShare > objects.size();
  for (std::uint32_t b : visits.respondedList) {
    visits.responded[b] = 0;
    if (visits.everyBody) continue;
    visits.visit[b] = 1;
    if (pairs && objects[b]->shape == Sphere) markNeighbours(visits, grid, objects, b, kNoSphere);
  }
  visits.respondedList.clear();
}

}  // namespace Physics
}  // namespace Veruruve
