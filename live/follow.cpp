// Following the chamber's files from the frame loop, and putting a chamber
// read again into the running scene.
#include <GL/gl.h>

#include <cstdio>
#include <utility>

#include "core/core.h"
#include "live/live.h"
#include "sandbox/notices.h"
#include "platform/platform.h"
#include "replay/replay.h"
#include "sandbox/sandbox.h"

LiveState live;

namespace {

// How often the directory is listed while it has no OBJ file, seconds.
constexpr double kListingInterval = 0.5;

// The OBJ file the scene draws: the first in the directory's listing order.
std::string firstObjFile() {
  for (const std::string& name : Platform_ListDirectory(".")) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".obj") == 0) return name;
  }
  return std::string();
}

// A file that has just appeared: reported once it has settled, like any
// other change.
watch::FileWatch watchFromMissing(const std::string& path) {
  watch::FileWatch watch;
  watch.path = path;
  return watch;
}

watch::FileWatch watchLibrary(const std::string& path, double now) {
  return watch::stampOf(path).exists ? watch::startWatching(path, now) : watchFromMissing(path);
}

// Follows the libraries model names, keeping the watches of those it named
// before.
void followLibraries(const Model& model, double now) {
  std::vector<watch::FileWatch> next;
  for (const std::string& path : model.libraries) {
    bool kept = false;
    for (watch::FileWatch& old : live.libraries) {
      if (old.path == path && !kept) {
        next.push_back(std::move(old));
        old.path.clear();
        kept = true;
      }
    }
    if (!kept) next.push_back(watchLibrary(path, now));
  }
  live.libraries = std::move(next);
}

void followObj(const std::string& path, double now) {
  live.objFollowed = !path.empty();
  live.files.objPath = path;
  live.files.objWasMissing = false;
  if (live.objFollowed) live.obj = watch::startWatching(path, now);
}

void compileChamber() {
  if (sandbox.chamberList != 0) glDeleteLists(sandbox.chamberList, 1);
  sandbox.chamberList = glGenLists(1);
  glNewList(sandbox.chamberList, GL_COMPILE);
  if (!sandbox.modelList.empty()) Sandbox_DrawModel(sandbox.modelList[0]);
  glEndList();
}

std::string counted(std::size_t count, const char* noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

// "0.ctr: 9 rooms" and the like, for the files that changed.
std::string changeSummary(const std::vector<std::string>& changed, const LoadedChamber& loaded) {
  std::string summary;
  for (const std::string& path : changed) {
    if (!summary.empty()) summary += ", ";
    summary += path;
    if (path == live.files.ctrPath)
      summary += ": " + counted(loaded.rooms.containers.size(), "room");
    else if (path == live.files.objPath && loaded.hasModel)
      summary += ": " + counted(static_cast<std::size_t>(loaded.model.triangleCount), "triangle");
  }
  return summary;
}

void reload(const std::vector<std::string>& changed, double now) {
  LoadedChamber loaded;
  std::string problem;
  const bool usable = Live_LoadChamber(live.files, &loaded, &problem);
  // A new OBJ may name libraries that are still being written: follow them
  // either way, so that their arrival is noticed.
  if (!loaded.model.libraries.empty() || loaded.hasModel) {
    followLibraries(loaded.model, now);
    live.librariesKnown = true;
  }
  if (!usable) {
    Veruruve::Physics::destroyContainers(loaded.rooms);
    live.problem = "Not reloaded: " + problem + "; the chamber stays as it was";
    printf("%s\n", live.problem.c_str());
    return;
  }
  const std::string summary = changeSummary(changed, loaded);
  const bool roomsInUse = !loaded.rooms.containers.empty();
  Live_InstallChamber(loaded);
  live.problem.clear();
  // The start-up line about a missing or damaged container file goes once
  // rooms from a good one are in use.
  if (roomsInUse) Notices_RoomsReloaded();
  printf("Reloaded %s\n", summary.c_str());
}

}  // namespace

void Live_Start() {
  const double now = glfwGetTime();
  live = LiveState();
  // A played-back session keeps the chamber it was recorded on, also once
  // the user has taken it over.
  live.following = !replay.playing;
  live.files.ctrPath = Replay_ContainerPath();
  live.ctr = watch::startWatching(live.files.ctrPath, now);
  live.files.ctrWasMissing = !live.ctr.known.exists;
  replay.ctrSha256 = live.ctr.knownDigest;
  followObj(firstObjFile(), now);
  live.nextListing = now + kListingInterval;
  // The libraries are known once the scene has read the OBJ: the first look
  // at the files follows them.
}

void Live_Update() {
  if (!live.following) return;
  const double now = glfwGetTime();
  // The libraries the scene's model names, once it has loaded one.
  if (!live.librariesKnown && !sandbox.modelList.empty()) {
    live.librariesKnown = true;
    followLibraries(sandbox.modelList[0], now);
    for (const watch::FileWatch& library : live.libraries)
      if (!library.known.exists) live.files.librariesMissing.push_back(library.path);
  }

  std::vector<std::string> changed;
  if (watch::fileChanged(live.ctr, now)) changed.push_back(live.ctr.path);
  if (live.objFollowed) {
    if (watch::fileChanged(live.obj, now)) changed.push_back(live.obj.path);
  } else if (now >= live.nextListing) {
    live.nextListing = now + kListingInterval;
    const std::string appeared = firstObjFile();
    if (!appeared.empty()) {
      live.objFollowed = true;
      live.files.objPath = appeared;
      live.files.objWasMissing = false;
      live.obj = watchFromMissing(appeared);
    }
  }
  for (watch::FileWatch& library : live.libraries)
    if (watch::fileChanged(library, now)) changed.push_back(library.path);
  if (!changed.empty()) reload(changed, now);
}

void Live_InstallChamber(LoadedChamber& loaded) {
  Veruruve::Physics::PhysicsWorld& world = sandbox.world;
  std::swap(world.containers, loaded.rooms.containers);
  std::swap(world.roomIndex, loaded.rooms.roomIndex);
  Veruruve::Physics::destroyContainers(loaded.rooms);
  if (loaded.hasModel) {
    if (sandbox.modelList.empty())
      sandbox.modelList.push_back(std::move(loaded.model));
    else
      sandbox.modelList[0] = std::move(loaded.model);
  }
  compileChamber();
  live.files.ctrWasMissing = !loaded.ctrPresent;
  live.files.librariesMissing = loaded.librariesMissing;
  replay.ctrSha256 = loaded.ctrSha256;
  // The bodies and the session begin again on the new rooms, as at start-up;
  // the instruments keep their settings.
  Sandbox_StartBall();
  Replay_BeginSession();
}

std::vector<std::string> Live_StatusLines() {
  if (live.problem.empty()) return {};
  return {live.problem};
}

void Live_DrawOverlay() {
  const float orange[4] = {1, 0.55f, 0.3f, 1};
  const std::vector<std::string> lines = Live_StatusLines();
  // Above the start-up notices, which end at the window's bottom-left corner.
  const float bottom = static_cast<float>(static_cast<unsigned>(core.height)) - 10 -
                       20 * static_cast<float>(Notices_Lines().size());
  for (size_t i = 0; i < lines.size(); ++i)
    Font_Print(10, bottom - 20 * static_cast<float>(lines.size() - i), lines[i].c_str(), orange);
}
