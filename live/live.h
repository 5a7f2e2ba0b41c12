// Following the chamber's files while the program runs: the container file,
// the drawn OBJ file and the MTL files it names. When one of them changes on
// disk and has settled, the chamber is read again whole and, if every file is
// usable, replaces the running one: new rooms with their index, the scenery
// compiled again, and the physics started again from the ball's start. The
// window, the camera's angles, the debug values and the instruments stay.
//
// A file that cannot be used (unreadable, a container file that ends inside
// a record, an OBJ without triangles) never replaces a working chamber: the
// old one keeps running and one line, on the console and on screen outside
// the debug panel, says which file and what is wrong until a good one
// arrives. Files missing at start-up are no problem while they stay missing.
//
// With no file changing, nothing here prints, draws or changes a step.
#pragma once

#include <string>
#include <vector>

#include "geometry/model.h"
#include "physics/physics.h"
#include "watch/file_watch.h"

// What a reload reads, and which of those files the running chamber did
// without (missing then, so missing now is what start-up does too).
struct ChamberFiles {
  std::string ctrPath;  // "0.ctr", or the container file a replay names
  std::string objPath;  // the drawn OBJ file; empty when there is none
  bool ctrWasMissing = false;
  bool objWasMissing = false;
  std::vector<std::string> librariesMissing;  // MTL files named but missing
};

// A chamber read from disk and not yet in use. The rooms are owned:
// Live_InstallChamber moves them into the scene, or destroyContainers frees
// them.
struct LoadedChamber {
  Veruruve::Physics::PhysicsWorld rooms;  // rooms and their index, no bodies
  bool ctrPresent = false;
  std::string ctrSha256;  // of the bytes the rooms were read from; empty without a file
  bool hasModel = false;
  Model model;
  std::vector<std::string> librariesMissing;
};

// Reads the chamber's files. False, with problem naming the file and what is
// wrong ("0.ctr ends inside a record"), when one of them cannot be used.
bool Live_LoadChamber(const ChamberFiles& files, LoadedChamber* loaded, std::string* problem);

struct LiveState {
  bool following = false;  // false while a replay plays: its chamber is fixed
  ChamberFiles files;      // as the running chamber was read
  watch::FileWatch ctr;
  bool objFollowed = false;
  watch::FileWatch obj;
  std::vector<watch::FileWatch> libraries;
  bool librariesKnown = false;  // the libraries of the drawn model are followed
  double nextListing = 0;  // without an OBJ: when to look for one again, seconds
  std::string problem;     // why the last change was not taken; empty when none
};

extern LiveState live;

// First thing of every start-up of the scene, before it reads its files:
// follows them as they are now (a change during the start-up is then
// noticed) and gives the session the container file's SHA-256.
void Live_Start();
// Per frame, before the physics step: looks at the files at most twice a
// second and reloads the chamber once one has changed and settled.
void Live_Update();
// Puts a loaded chamber into the scene and starts the physics again.
void Live_InstallChamber(LoadedChamber& loaded);
// The problem line shown outside the debug panel; empty when none.
std::vector<std::string> Live_StatusLines();
// In the overlay projection: the problem line at the bottom left, below the
// debug panel (whose bottom edge stays 100 pixels above the window's).
void Live_DrawOverlay();
