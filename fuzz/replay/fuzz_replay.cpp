// Feeds arbitrary bytes to the reader of replay files, as chamber-sim --args
// and chamber --replay read them, and walks what it accepted through the
// schedule that feeds a replay back: it must give every step exactly the
// pushes a scan of every push gives, and bodies never out of step order.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "replay/replay.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Steps walked per input, whatever --steps says.
constexpr std::uint64_t kMaxWalk = 2000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  SimOptions options;
  std::string error;
  if (!SimOptions_ParseText(text, "fuzz.txt", &options, &error) ||
      !SimOptions_Check(options, &error)) {
    // One line, naming the file.
    check(!error.empty() && error.find('\n') == std::string::npos);
    check(error.rfind("fuzz.txt:", 0) == 0);
    return 0;
  }
  for (const SimPush& push : options.pushes) check(push.from >= 1 && push.from <= push.to);
  for (const SimBody& body : options.extraBodies) check(body.step >= 1 && body.step <= options.steps);

  ReplaySchedule schedule;
  ReplaySchedule_Start(schedule, options);
  std::vector<vec3f> pushes;
  std::vector<SimBody> joining;
  std::size_t joined = 0;
  const std::uint64_t walk = options.steps < kMaxWalk ? options.steps : kMaxWalk;
  for (std::uint64_t step = 1; step <= walk; ++step) {
    ReplaySchedule_Pushes(schedule, step, &pushes);
    std::size_t k = 0;
    for (const SimPush& push : options.pushes) {
      if (step < push.from || step > push.to) continue;
      check(k < pushes.size() && std::memcmp(&pushes[k], &push.force, sizeof(vec3f)) == 0);
      ++k;
    }
    check(k == pushes.size());
    ReplaySchedule_Bodies(schedule, step, &joining);
    for (const SimBody& body : joining) check(body.step == step);
    joined += joining.size();
  }
  if (walk == options.steps) check(joined == options.extraBodies.size());
  return 0;
}
