// chamber-sim's CSV, shared by the tool and the replay files the window saves.
#include <cstdio>

#include "replay/replay.h"

std::string Replay_CsvHeader() { return "step,body,x,y,z,vx,vy,vz,gx,gy,gz,containers\n"; }

std::string Replay_CsvRow(std::uint64_t step, std::size_t body, const vec3f& position,
                          const vec3f& velocity, const vec3f& gravity,
                          const std::uint32_t* containers, std::size_t containerCount) {
  // %.9g: every float reads back as the same bits.
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%llu,%zu,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,%.9g,",
                static_cast<unsigned long long>(step), body, position.x, position.y, position.z,
                velocity.x, velocity.y, velocity.z, gravity.x, gravity.y, gravity.z);
  std::string row = buffer;
  for (std::size_t i = 0; i < containerCount; ++i) {
    if (i > 0) row += ' ';
    row += std::to_string(containers[i]);
  }
  row += '\n';
  return row;
}
