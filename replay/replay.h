// Rewind and replay: the history of the last physics states, to step back and
// forth through; the record of a session (pushes, bodies that joined, the
// trajectory) and the two files it is saved as; and the schedule that feeds a
// saved session back into a world, in chamber-sim and in the window.
//
// Everything here works without a window. States are copied whole, field by
// field, so that restoring one gives back the same bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "physics/physics.h"
#include "tools/chamber-sim/options.h"

// ---- History ---------------------------------------------------------------

// States kept: a minute of steps at the scene's cadence.
constexpr std::size_t kHistoryCapacity = 3600;

// A contact of the last step, with its parties as indices, so that it can be
// put back into a world whose bodies were re-made.
struct SavedContact {
  vec3f point;
  vec3f correction;
  std::uint32_t body = 0;   // index into the world's objects
  std::uint32_t other = 0;  // index into containers (otherIsRoom) or objects
  bool otherIsRoom = false;
};

// The world's state after one step: every body whole (the object list itself,
// in order) and the contacts the step left (its last pass's, and all of its
// passes'). Rooms never change and are not kept.
struct WorldState {
  std::vector<Veruruve::Physics::CollisionSphere> bodies;
  std::vector<SavedContact> contacts;
  std::vector<SavedContact> stepContacts;
};

// A ring of the last kHistoryCapacity states, numbered by step (0: the state
// before the first step).
struct History {
  std::vector<WorldState> slots;  // grows to capacity, then reused in turn
  std::size_t capacity = kHistoryCapacity;
  std::uint64_t count = 0;    // states held
  std::uint64_t newest = 0;   // step of the newest state held
  std::uint64_t current = 0;  // step of the state the world shows
};

// Forgets every state (the slots keep their memory for reuse).
void History_Clear(History& history);
// Records the world as the state after the next step (step 0 when empty),
// which becomes newest and current; the oldest state goes when the ring is
// full. Every body must be a CollisionSphere; false (nothing recorded) if one
// is not.
bool History_Record(History& history, const Veruruve::Physics::PhysicsWorld& world);
// Step of the oldest state held.
std::uint64_t History_Oldest(const History& history);
// Moves the view by delta steps (negative: back), stopping at the oldest and
// newest states, and restores that state into the world: bodies are assigned
// in place, deleted (with delete) when the state has fewer, made with new when
// it has more. Returns the steps actually moved.
std::int64_t History_Move(History& history, Veruruve::Physics::PhysicsWorld& world,
                          std::int64_t delta);
// Drops the states after the current one, as taking a step from a rewound
// view must.
void History_DiscardFuture(History& history);
// Heap and slot memory the history holds now, in bytes.
std::size_t History_Bytes(const History& history);

// ---- The record of a session ----------------------------------------------

// One body after one step, as the CSV shows it.
struct BodyRow {
  vec3f position, velocity, gravity;
  std::uint64_t containersEnd = 0;  // end of its indices in SessionLog::containers
};

// Rows a session keeps at most: about 200 MB of rows, 18 hours of the ball
// alone or 17 minutes with 64 shot balls. A session that reaches it stops
// being recorded there (replays then end at that step) rather than letting a
// long run exhaust the machine's memory.
constexpr std::size_t kMaxSessionRows = std::size_t(1) << 22;

// Everything a replay file needs, since the session began: unlike the history
// it is not limited to a minute, and it is compact (no whole states).
struct SessionLog {
  std::size_t maxRows = kMaxSessionRows;
  // Set when a step would have gone beyond maxRows: from then on nothing is
  // recorded, until a rewind to a recorded step truncates the log.
  bool full = false;
  vec3f start, velocity;  // the ball before the first step
  // The pushes added to the ball, in the order they were added; per step the
  // end of that step's pushes.
  std::vector<vec3f> pushes;
  std::vector<std::uint64_t> pushesEnd;
  // Per step one row per body; per step the end of that step's rows.
  std::vector<BodyRow> rows;
  std::vector<std::uint64_t> rowsEnd;
  std::vector<std::uint32_t> containers;
  // Bodies that joined the world, with the step they joined before.
  std::vector<SimBody> joined;
  // Pushes added since the last step: they belong to the next one.
  std::vector<vec3f> pending;
};

// Starts a session on the world as it is (its ball, entry 0); keeps maxRows.
void SessionLog_Begin(SessionLog& log, const Veruruve::Physics::PhysicsWorld& world);
// A push added to the ball's force for the coming step.
void SessionLog_NotePush(SessionLog& log, const vec3f& force);
// Just before a step: bodies beyond those of the last step joined now.
void SessionLog_BeforeStep(SessionLog& log, const Veruruve::Physics::PhysicsWorld& world);
// Just after a step: its rows and its pushes.
void SessionLog_AfterStep(SessionLog& log, const Veruruve::Physics::PhysicsWorld& world);
// Keeps only the first steps, and records again if the log was full. Pending
// pushes stay: they belong to the step about to be taken.
void SessionLog_Truncate(SessionLog& log, std::uint64_t steps);
std::uint64_t SessionLog_Steps(const SessionLog& log);

// The pushes of the first steps of the session as runs: consecutive steps
// with bit-for-bit the same push in the same place form one run. Added in the
// order returned (every first push of a step, then every second, ...), they
// give each step its pushes in the order the session added them.
std::vector<SimPush> Replay_PushRuns(const SessionLog& log, std::uint64_t steps);

// ---- Replay files -----------------------------------------------------------

// chamber-sim's CSV: the header line and one body's row, each with its "\n".
std::string Replay_CsvHeader();
std::string Replay_CsvRow(std::uint64_t step, std::size_t body, const vec3f& position,
                          const vec3f& velocity, const vec3f& gravity,
                          const std::uint32_t* containers, std::size_t containerCount);

// The options file that reproduces the first steps of the session with
// chamber-sim on the container file ctrPath; every number in "%.9g".
std::string Replay_OptionsText(const SessionLog& log, std::uint64_t steps,
                               const std::string& ctrPath);
// The CSV of those steps as the session computed them, header included.
std::string Replay_CsvText(const SessionLog& log, std::uint64_t steps);

// The first number from 1 for which neither "replay-NNNN.txt" nor
// "replay-NNNN.csv" exists in directory.
unsigned Replay_FreeNumber(const std::string& directory);
// "replay-NNNN" for a number.
std::string Replay_BaseName(unsigned number);

// Writes the two files of the first steps of the session into directory
// under the first free number, each through a temporary file renamed into
// place. On success names holds the two file names; on failure error says
// which file could not be written (and none of the two is left behind).
bool Replay_Save(const SessionLog& log, std::uint64_t steps, const std::string& ctrPath,
                 const std::string& directory, std::vector<std::string>* names,
                 std::string* error);

// ---- Feeding a replay back --------------------------------------------------

// Walks the pushes and bodies of a set of options step by step. Steps must be
// asked for in increasing order, each at most once.
struct ReplaySchedule {
  std::vector<SimPush> pushes;          // as given
  std::vector<std::size_t> pushOrder;   // indices by first step
  std::size_t nextPush = 0;             // into pushOrder
  std::vector<std::size_t> active;      // indices of the pushes in range, ascending
  std::vector<SimBody> bodies;          // by step, then as given
  std::size_t nextBody = 0;
};

void ReplaySchedule_Start(ReplaySchedule& schedule, const SimOptions& options);
// The pushes to add to the ball before step, in the order given.
void ReplaySchedule_Pushes(ReplaySchedule& schedule, std::uint64_t step, std::vector<vec3f>* out);
// The bodies that join just before step, in the order they join.
void ReplaySchedule_Bodies(ReplaySchedule& schedule, std::uint64_t step,
                           std::vector<SimBody>* out);
// Everything the schedule gives the world just before step, as chamber-sim
// and the window's playback both feed it: the bodies that join (balls made
// like the ball, with their velocity, appended to world.objects in the order
// they join; the caller deletes them with the world's other bodies), then the
// pushes, added one after the other to the force of the ball, entry 0.
// pushes receives the pushes added, for a caller that records them.
void ReplaySchedule_Feed(ReplaySchedule& schedule, std::uint64_t step,
                         Veruruve::Physics::PhysicsWorld& world, std::vector<vec3f>* pushes);

// ---- In the window -----------------------------------------------------------
// The scene and the instruments enter here through a few calls; with none of
// the rewind keys pressed and no --replay, nothing here changes a step, a
// frame or a file.

// Most bodies a played-back file may add, as many as B can shoot.
constexpr std::size_t kMaxReplayBodies = 64;

struct ReplayWindowState {
  History history;
  SessionLog log;
  bool playing = false;  // chamber --replay: the session comes from a file
  // The user took the played-back session over (T, or a step beyond the
  // file's last): from then on it goes on live, until a reset plays the
  // file again.
  bool takenOver = false;
  std::string playbackPath;
  SimOptions playback;   // the file's options
  ReplaySchedule schedule;
  std::uint64_t scheduledStep = 0;  // last step fed from the file
  std::vector<int> keysDown;        // rewind keys down in the previous frame
};

extern ReplayWindowState replay;

// Reads and checks a replay file for chamber --replay, before any window
// opens: options, step ranges, bodies, and the container file it names. On
// success the program plays it; on failure error is one line naming the file
// and line.
bool Replay_LoadPlayback(const std::string& path, std::string* error);
bool Replay_Playing();
// The container file the scene loads: "0.ctr", or the one a replay names.
const char* Replay_ContainerPath();

// At the end of every start-up of the scene: a new session, recorded from
// the world as it is (a played-back file first sets the ball's start).
void Replay_BeginSession();
// A push the arrow keys add to the ball's force for the coming step.
void Replay_NotePush(const vec3f& force);
// Around every physics step of the scene. In playback, the file's bodies
// and pushes for the step go into the world just before it.
void Replay_BeforeStep();
void Replay_AfterStep();
// Per frame, after the instrument keys and before the camera's pushes: ","
// and "." (with Shift, 10 steps) while paused, T while paused in a replay,
// F8; and a step due beyond a replay's last takes the session over.
void Replay_Update();
// The step line shown outside the debug panel; none while the physics runs
// at the newest step of a live session.
std::vector<std::string> Replay_StatusLines();
// Writes the session up to the step in view as "replay-NNNN.txt" and
// "replay-NNNN.csv" in the working directory, with one console line.
void Replay_SaveSession();
