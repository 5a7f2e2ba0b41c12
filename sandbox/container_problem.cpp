// The one wording of a container file's problems, shared by the window,
// chamber-sim and chamber-build --describe, so that each names a file's
// trouble in the same words.
#include <cstring>

#include "sandbox/containers.h"

namespace {

std::string count(std::uint32_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string Containers_Problem(const ContainerLoadReport& report, const std::string& path) {
  const std::string file = "container file '" + path + "'";
  if (!report.opened || report.readError) {
    const char* reason = report.systemError != 0 ? std::strerror(report.systemError) : "unknown error";
    return std::string(report.opened ? "cannot read " : "cannot open ") + file + ": " + reason;
  }
  if (report.empty) return file + " holds no rooms: the file is empty";
  if (!report.countRead) return file + " is damaged: it ends inside its room count, so it holds no rooms";

  std::string damage;
  auto add = [&damage](const std::string& part) { damage += (damage.empty() ? "" : "; ") + part; };
  if (report.truncated)
    add("it ends after " + count(report.wholeRooms, "whole room", "whole rooms") + " of the " +
        std::to_string(report.roomsListed) + " it lists");
  if (report.facesSkipped > 0)
    add(count(report.facesSkipped, "face has", "faces have") + " fewer than 3 corners and " +
        (report.facesSkipped == 1 ? "is" : "are") + " left out");
  if (report.trailingData)
    add("data follows its last room (it lists " + count(report.roomsListed, "room)", "rooms)"));
  if (!damage.empty()) return file + " is damaged: " + damage;
  if (report.roomsListed == 0) return file + " holds no rooms";
  return "";
}
