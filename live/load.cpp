// Reading the chamber's files for a reload, and deciding whether they can
// replace the running chamber.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "live/live.h"
#include "sandbox/containers.h"
#include "watch/file_watch.h"

namespace {

bool exists(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

bool readWhole(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool contains(const std::vector<std::string>& list, const std::string& item) {
  for (const std::string& entry : list)
    if (entry == item) return true;
  return false;
}

// The rooms, read from the very bytes whose digest the session's replays
// name.
bool loadRooms(const ChamberFiles& files, LoadedChamber* loaded, std::string* problem) {
  const std::string& path = files.ctrPath;
  if (!exists(path) && files.ctrWasMissing) return true;  // as at start-up: no rooms
  std::string bytes;
  if (!readWhole(path, &bytes)) {
    *problem = path + " cannot be read";
    return false;
  }
  // Shorter than the room count: a file cut short, most likely one that is
  // being written, never an empty chamber.
  if (bytes.size() < 4) {
    *problem = path + (bytes.empty() ? " is empty" : " ends inside a record");
    return false;
  }
  const ContainerLoadReport report = Containers_LoadMemory(
      loaded->rooms, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  if (report.truncated) {
    *problem = path + " ends inside a record";
    return false;
  }
  loaded->ctrPresent = true;
  loaded->ctrSha256 = watch::sha256Hex(bytes);
  return true;
}

bool loadModel(const ChamberFiles& files, LoadedChamber* loaded, std::string* problem) {
  const std::string& path = files.objPath;
  if (path.empty() || (!exists(path) && files.objWasMissing)) return true;
  if (!loaded->model.Load(path)) {
    *problem = path + " cannot be read";
    return false;
  }
  if (loaded->model.triangleCount == 0) {
    *problem = path + " holds no triangles";
    return false;
  }
  // The loader passes over a missing library; one that was there and has
  // gone (or cannot be opened) is a problem, one that never was is not.
  for (const std::string& library : loaded->model.libraries) {
    std::ifstream in(library, std::ios::binary);
    if (in) continue;
    if (!exists(library) && contains(files.librariesMissing, library)) {
      loaded->librariesMissing.push_back(library);
      continue;
    }
    *problem = library + " cannot be read";
    return false;
  }
  loaded->hasModel = true;
  return true;
}

}  // namespace

bool Live_LoadChamber(const ChamberFiles& files, LoadedChamber* loaded, std::string* problem) {
  return loadRooms(files, loaded, problem) && loadModel(files, loaded, problem);
}
