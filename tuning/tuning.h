// The tunable constants of the physics step and of the balls: the record the
// step reads them from, the table of their names, defaults and accepted
// ranges, and the text forms they take (NAME=VALUE options, the settings
// file "physics.txt", replay lines).
//
// With every value at its default the step computes exactly what it always
// has: each value stands where its constant stood, in the same operation.
// A velocity is in units per step, a force in units per step squared times
// mass.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Veruruve {
namespace Tuning {

struct Settings {
  float gravity = 0.02f;        // force per step along the blended gravity direction
  float integration = 0.5f;     // share of force/mass added to the velocity per step
  float tangential = 0.9f;      // share of tangential velocity and force a contact keeps
  float restitution = 0.175f;   // share of normal velocity a contact reflects
  float overcorrection = 1.1f;  // how far past the surface a contact pushes a body out
  float spin = 10.0f;           // a box contact's factor to angular momentum
  float damping = 0.01f;        // force := -damping x velocity after each step
  int passes = 4;               // most contact passes per step
  float mass = 10.0f;           // of every ball
  float radius = 0.02f;         // of every ball, units
};

inline const Settings kDefaultSettings{};

// The settings in the order of the table (and of the panel and files).
enum Setting : int {
  kGravity,
  kIntegration,
  kTangential,
  kRestitution,
  kOvercorrection,
  kSpin,
  kDamping,
  kPasses,
  kMass,
  kRadius,
  kSettingCount
};

struct SettingInfo {
  const char* name;
  double lowest, highest;  // accepted range, inclusive unless lowestExcluded
  bool lowestExcluded;
  bool integer;
  const char* accepts;  // what the range is, in words, for messages
};

// The table entry of a setting; setting must be below kSettingCount.
const SettingInfo& settingInfo(int setting);
// The setting of that name, or -1.
int findSetting(const std::string& name);

// A setting's value as a float (passes converted exactly), and back.
float settingValue(const Settings& settings, int setting);
void setSettingValue(Settings& settings, int setting, float value);
bool isDefault(const Settings& settings, int setting);
// Whether every value is its default (bit for bit).
bool allDefault(const Settings& settings);

// Reads the value of one setting from text: decimal text read as the
// nearest float (strtof), a whole number for passes, in the accepted range.
// On failure error names the setting and what it accepts.
bool parseValue(int setting, const std::string& text, float* value, std::string* error);

// One change of one setting.
struct Change {
  int setting = 0;
  float value = 0;
};

// "NAME=VALUE".
bool parseAssignment(const std::string& text, Change* change, std::string* error);

// The shortest decimal text that reads back as the same float (whole
// numbers for passes): for people, the panel and "physics.txt".
std::string formatValue(int setting, float value);
// "%.9g" (whole numbers for passes): what replay files write.
std::string formatExact(int setting, float value);

// ---- The settings file ------------------------------------------------------

// The name of the settings file in the chamber's directory.
constexpr const char* kSettingsFileName = "physics.txt";

// Reads the text of a settings file: "NAME VALUE" a line, blank lines and
// lines starting with '#' ignored. The result starts from the defaults, so a
// setting the file leaves out has its default. On failure error is
// "line N: ..." and settings is left as it was.
bool parseSettingsFile(const std::string& text, Settings* settings, std::string* error);
// One line of a NAME VALUE text, as settings files and chamber-sim's options
// files are written: a CR before the line feed dropped, blanks (spaces and
// tabs) around the line ignored, NAME up to the first blank and VALUE the
// rest after the blanks that follow it (possibly empty).
enum class LineKind {
  kEmpty,             // blank, or a '#' comment
  kControlCharacter,  // a control character other than a tab: refused whole
  kNameValue,
};
LineKind readNameValueLine(std::string line, std::string* name, std::string* value);

// A settings file's lines as the changes they make, in line order (a setting
// may come more than once; the last one stands).
bool parseSettingsLines(const std::string& text, std::vector<Change>* changes, std::string* error);
// The file text that gives these settings: every value that differs from
// its default, one a line, after a comment line.
std::string settingsFileText(const Settings& settings);

// What changed between two records, in table order.
std::vector<int> changedSettings(const Settings& before, const Settings& after);

// The panel's step of a setting: up (or down) by 10 %, or 1 % when fine;
// passes by 1. Kept within the accepted range.
float steppedValue(int setting, float value, bool up, bool fine);

}  // namespace Tuning
}  // namespace Veruruve

// ---- In the window -------------------------------------------------------------
// The scene enters here through a few calls. With no "physics.txt" in the
// working directory and none of F5, F6 pressed, nothing here changes a step,
// a frame, a console line or a file.

struct TuningWindowState {
  bool panel = false;  // F5: the settings panel shows
  int selected = 0;    // the panel's row
  std::vector<int> keysDown;  // keys down in the previous frame
  bool watching = false;      // physics.txt is followed (not in playback)
};

extern TuningWindowState tuningWindow;

// At every start-up of the scene, before the ball is made: the panel hidden,
// the world's settings from "physics.txt" (defaults when it is missing or
// bad, and in playback, where the replay file gives them), one console line
// per value that differs from its default, or one naming the bad line.
void Tuning_Start();
// Per frame, with the instrument keys: F5, and while the panel shows Tab,
// Shift+Tab, = or +, -, Backspace and F6; then a look at "physics.txt".
void Tuning_Update();
// Rereads "physics.txt" now and puts it in force when it is good.
void Tuning_ReloadFile();
// Puts settings in force from the next step (the scene's world, and the
// state in view of the history).
void Tuning_Apply(const Veruruve::Tuning::Settings& settings);
// Writes every value that differs from its default to "physics.txt" (F6),
// with one console line.
void Tuning_SaveFile();
// The panel's lines: a title, then one row per setting.
std::vector<std::string> Tuning_PanelLines();
// While the panel is hidden and some value differs from its default: the
// one line that lists them.
std::vector<std::string> Tuning_StatusLines();
// True while the settings panel shows (F5).
bool Tuning_PanelShown();
// In the overlay projection: the panel when it shows, in columns in the
// strip under the debug panel (one column at the left in a narrow window).
void Tuning_DrawPanel();
