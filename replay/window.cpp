// Rewind and replay in the window: recording every step of the scene,
// stepping back and forth while paused, saving with F8, and playing a saved
// session back.
#include <cstdio>

#include "instruments/instruments.h"
#include "platform/platform.h"
#include "replay/replay.h"
#include "sandbox/containers.h"
#include "sandbox/sandbox.h"

using Veruruve::Physics::PhysicsWorld;
using Veruruve::Physics::Volume;

ReplayWindowState replay;

namespace {

// Steps moved by one press of "," or "." with Shift held.
constexpr std::int64_t kShiftSteps = 10;

// True in the frame in which key goes down.
bool pressed(int key, std::vector<int>& downNow) {
  if (glfwGetKey(key) != GLFW_PRESS) return false;
  downNow.push_back(key);
  for (int before : replay.keysDown)
    if (before == key) return false;
  return true;
}

bool shiftHeld() {
  return glfwGetKey(GLFW_KEY_LSHIFT) == GLFW_PRESS || glfwGetKey(GLFW_KEY_RSHIFT) == GLFW_PRESS;
}

// The step about to be taken.
std::uint64_t nextStep() { return replay.history.current + 1; }

// Adds what the file gives the world just before step: the bodies that
// join, and the pushes, the last thing before the step as in chamber-sim.
void feedFromFile(std::uint64_t step) {
  if (step > replay.playback.steps) return;
  // Steps come in order, except after a rewind: then the schedule starts
  // again from the file, past the bodies that are already in the world.
  std::vector<SimBody> joining;
  if (step != replay.scheduledStep + 1) {
    ReplaySchedule_Start(replay.schedule, replay.playback);
    if (step > 1) ReplaySchedule_Bodies(replay.schedule, step - 1, &joining);
  }
  replay.scheduledStep = step;
  // The scene deletes the joining bodies with the others.
  std::vector<vec3f> pushes;
  ReplaySchedule_Feed(replay.schedule, step, sandbox.world, &pushes);
  for (const vec3f& force : pushes) Replay_NotePush(force);
}

}  // namespace

bool Replay_LoadPlayback(const std::string& path, std::string* error) {
  SimOptions options;
  if (!SimOptions_ParseFile(path, &options, error) || !SimOptions_Check(options, error))
    return false;
  if (options.extraBodies.size() > kMaxReplayBodies) {
    *error = options.extraBodies[kMaxReplayBodies].where + ": more than " +
             std::to_string(kMaxReplayBodies) + " bodies";
    return false;
  }
  // The rooms must be there; what they hold is the scene's business.
  PhysicsWorld rooms;
  const ContainerLoadReport report = Containers_Load(rooms, options.ctrPath.c_str());
  Veruruve::Physics::destroyContainers(rooms);
  if (!report.opened || report.readError) {
    const std::string where = options.ctrWhere.empty() ? path : options.ctrWhere;
    *error = where + ": cannot " + (report.opened ? "read" : "open") + " container file '" +
             options.ctrPath + "'";
    return false;
  }
  replay.playing = true;
  replay.playbackPath = path;
  replay.playback = options;
  return true;
}

bool Replay_Playing() { return replay.playing && !replay.takenOver; }

void Replay_TakeOver() {
  if (!Replay_Playing()) return;
  replay.takenOver = true;
  printf("Replay taken over at step %llu\n",
         static_cast<unsigned long long>(replay.history.current));
}

const char* Replay_ContainerPath() {
  return replay.playing ? replay.playback.ctrPath.c_str() : "0.ctr";
}

void Replay_BeginSession() {
  PhysicsWorld& world = sandbox.world;
  if (replay.playing && !world.objects.empty()) {
    world.objects[0]->position = replay.playback.start;
    world.objects[0]->velocity = replay.playback.velocity;
    ReplaySchedule_Start(replay.schedule, replay.playback);
    replay.scheduledStep = 0;
  }
  // A reset plays the file again from its start.
  replay.takenOver = false;
  History_Clear(replay.history);
  History_Record(replay.history, world);
  SessionLog_Begin(replay.log, world);
  if (replay.playing && replay.playback.steps == 0) {
    Instruments_SetPaused(true);
    printf("Replay ended at step 0\n");
  }
}

void Replay_NotePush(const vec3f& force) { SessionLog_NotePush(replay.log, force); }

void Replay_BeforeStep() {
  // A step from a rewound view: the recorded future is gone, as after an
  // undo.
  if (replay.history.current < replay.history.newest) {
    History_DiscardFuture(replay.history);
    SessionLog_Truncate(replay.log, replay.history.current);
  }
  // The file has nothing for a step beyond its last: that step is live.
  if (Replay_Playing() && nextStep() > replay.playback.steps) Replay_TakeOver();
  if (Replay_Playing() && !sandbox.world.objects.empty()) feedFromFile(nextStep());
  SessionLog_BeforeStep(replay.log, sandbox.world);
}

void Replay_AfterStep() {
  const bool wasFull = replay.log.full;
  SessionLog_AfterStep(replay.log, sandbox.world);
  if (replay.log.full && !wasFull)
    printf("Replay record full: F8 saves the first %llu steps\n",
           static_cast<unsigned long long>(SessionLog_Steps(replay.log)));
  History_Record(replay.history, sandbox.world);
  // The end of a played-back session: everything stops there to be looked at.
  if (Replay_Playing() && replay.history.current == replay.playback.steps) {
    Instruments_SetPaused(true);
    printf("Replay ended at step %llu\n", static_cast<unsigned long long>(replay.playback.steps));
  }
}

void Replay_Update() {
  std::vector<int> downNow;
  const bool back = pressed(',', downNow), forward = pressed('.', downNow);
  if (Instruments_Paused() && (back || forward)) {
    const std::int64_t steps = shiftHeld() ? kShiftSteps : 1;
    History_Move(replay.history, sandbox.world, back ? -steps : steps);
    // Pushes noted for a step that will now start from elsewhere.
    replay.log.pending.clear();
  }
  if (pressed('T', downNow) && Instruments_Paused()) Replay_TakeOver();
  // A step beyond the file's last (P or O at the end of a replay) goes on
  // live: taken over now, so that the camera's pushes of this frame count.
  if (Replay_Playing() && nextStep() > replay.playback.steps && Instruments_StepDue())
    Replay_TakeOver();
  if (pressed(GLFW_KEY_F8, downNow)) Replay_SaveSession();
  replay.keysDown = downNow;
}

std::vector<std::string> Replay_StatusLines() {
  const History& history = replay.history;
  const bool rewound = history.current < history.newest;
  if (!Replay_Playing() && !Instruments_Paused() && !rewound) return {};
  std::string line = "Step " + std::to_string(history.current);
  if (Replay_Playing()) line += " of " + std::to_string(replay.playback.steps) + " (replay)";
  if (rewound) line += ", " + std::to_string(history.newest - history.current) + " back";
  return {line};
}

void Replay_SaveSession() {
  std::vector<std::string> names;
  std::string failed;
  if (Replay_Save(replay.log, replay.history.current, Replay_ContainerPath(), ".", &names,
                  &failed))
    printf("Replay saved: %s and %s\n", names[0].c_str(), names[1].c_str());
  else
    printf("Replay not saved: cannot write %s in the working directory\n", failed.c_str());
}
