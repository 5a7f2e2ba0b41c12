// The settings in the window: "physics.txt" read at start-up and whenever it
// changes, the settings panel (F5) and its keys, F6, and the line that says
// what the physics runs with.
#include <GL/gl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/core.h"
#include "platform/platform.h"
#include "replay/replay.h"
#include "sandbox/sandbox.h"
#include "tuning/tuning.h"
#include "watch/file_watch.h"

using namespace Veruruve::Tuning;

TuningWindowState tuningWindow;

namespace {

constexpr float kMargin = 10;     // pixels from the window's edges
constexpr float kLinePitch = 20;  // pixels, as in the debug panel
// The strip under the debug panel, and the lines it holds per column.
constexpr float kStripHeight = 100;
constexpr std::size_t kRowsInStrip = 4;
// A settings file is a few lines; anything this large is not one.
constexpr long kMaxFileBytes = 1 << 20;

watch::FileWatch fileWatch;

bool shiftHeld() {
  return glfwGetKey(GLFW_KEY_LSHIFT) == GLFW_PRESS || glfwGetKey(GLFW_KEY_RSHIFT) == GLFW_PRESS;
}

// True in the frame in which key goes down.
bool pressed(int key, std::vector<int>& downNow) {
  if (glfwGetKey(key) != GLFW_PRESS) return false;
  downNow.push_back(key);
  const std::vector<int>& before = tuningWindow.keysDown;
  return std::find(before.begin(), before.end(), key) == before.end();
}

// The file's text; false with why when it cannot be read. A missing file
// is not an error: missing is set and the text is empty.
bool readFile(std::string* text, bool* missing, std::string* why) {
  *missing = false;
  FILE* file = std::fopen(kSettingsFileName, "rb");
  if (!file) {
    if (errno == ENOENT) {
      *missing = true;
      return true;
    }
    *why = std::string("cannot read it: ") + std::strerror(errno);
    return false;
  }
  char buffer[4096];
  std::size_t n;
  bool ok = true;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text->append(buffer, n);
    if (text->size() > static_cast<std::size_t>(kMaxFileBytes)) {
      *why = "larger than 1 MB, not a settings file";
      ok = false;
      break;
    }
  }
  if (ok && std::ferror(file)) {
    *why = std::string("cannot read it: ") + std::strerror(errno);
    ok = false;
  }
  std::fclose(file);
  return ok;
}

// Reads the file into settings; false (settings untouched) with one
// console line when it is bad.
bool readSettings(Settings* settings) {
  std::string text, why;
  bool missing = false;
  if (!readFile(&text, &missing, &why)) {
    printf("%s: %s; the settings in force stay\n", kSettingsFileName, why.c_str());
    return false;
  }
  if (missing) {
    *settings = Settings();
    return true;
  }
  if (!parseSettingsFile(text, settings, &why)) {
    printf("%s: %s; the settings in force stay\n", kSettingsFileName, why.c_str());
    return false;
  }
  return true;
}

// One console line per value that changed, e.g.
// "physics.txt: gravity 0.03 (was 0.02)".
void reportChanges(const Settings& before, const Settings& after) {
  for (int s : changedSettings(before, after))
    printf("%s: %s %s (was %s)\n", kSettingsFileName, settingInfo(s).name,
           formatValue(s, settingValue(after, s)).c_str(),
           formatValue(s, settingValue(before, s)).c_str());
}

void changeSelected(int delta) {
  tuningWindow.selected = (tuningWindow.selected + delta + kSettingCount) % kSettingCount;
}

void adjustSelected(bool up, bool fine) {
  Settings next = sandbox.world.settings;
  const int s = tuningWindow.selected;
  setSettingValue(next, s, steppedValue(s, settingValue(next, s), up, fine));
  Tuning_Apply(next);
}

void resetSelected() {
  Settings next = sandbox.world.settings;
  const int s = tuningWindow.selected;
  setSettingValue(next, s, settingValue(kDefaultSettings, s));
  Tuning_Apply(next);
}

double now() { return core.frameTimer.total; }

}  // namespace

void Tuning_Apply(const Settings& settings) {
  Veruruve::Physics::applySettings(sandbox.world, settings);
  History_NoteSettings(replay.history, sandbox.world);
}

void Tuning_Start() {
  tuningWindow.panel = false;
  tuningWindow.selected = 0;
  tuningWindow.watching = false;
  // A reset starts from the defaults and reads the file again; a replay
  // (played again from its start by a reset, even after it was taken over)
  // takes its settings from its own file alone.
  Veruruve::Physics::applySettings(sandbox.world, Settings());
  if (replay.playing) return;
  Settings read;
  if (readSettings(&read)) {
    reportChanges(Settings(), read);
    Veruruve::Physics::applySettings(sandbox.world, read);
  }
  fileWatch = watch::startWatching(kSettingsFileName, now());
  tuningWindow.watching = true;
}

void Tuning_ReloadFile() {
  Settings read;
  if (!readSettings(&read)) return;
  reportChanges(sandbox.world.settings, read);
  Tuning_Apply(read);
}

void Tuning_SaveFile() {
  if (Core_ReplaceFile(kSettingsFileName, settingsFileText(sandbox.world.settings))) {
    printf("%s written\n", kSettingsFileName);
    // What was written is in force already: not a change to read back.
    fileWatch = watch::startWatching(kSettingsFileName, now());
  } else {
    printf("%s not written: %s\n", kSettingsFileName, std::strerror(errno));
  }
}

void Tuning_Update() {
  std::vector<int> downNow;
  if (pressed(GLFW_KEY_F5, downNow)) tuningWindow.panel = !tuningWindow.panel;
  if (tuningWindow.panel) {
    const bool fine = shiftHeld();
    // A played-back session takes its settings from its file, until it is
    // taken over.
    const bool changes = !Replay_Playing();
    if (pressed(GLFW_KEY_TAB, downNow)) changeSelected(fine ? -1 : 1);
    // Both keys are looked at, so that each is remembered as down.
    const bool equalsKey = pressed('=', downNow);
    const bool plusKey = pressed('+', downNow);
    const bool raise = equalsKey || plusKey;
    if (raise && changes) adjustSelected(true, fine);
    if (pressed('-', downNow) && changes) adjustSelected(false, fine);
    if (pressed(GLFW_KEY_BACKSPACE, downNow) && changes) resetSelected();
    if (pressed(GLFW_KEY_F6, downNow)) Tuning_SaveFile();
  }
  tuningWindow.keysDown = std::move(downNow);
  if (tuningWindow.watching && watch::fileChanged(fileWatch, now())) Tuning_ReloadFile();
}

std::vector<std::string> Tuning_PanelLines() {
  std::vector<std::string> lines = {"Physics (F5):"};
  const Settings& settings = sandbox.world.settings;
  for (int s = 0; s < kSettingCount; ++s) {
    std::string line = s == tuningWindow.selected ? "> " : "  ";
    line += std::string(settingInfo(s).name) + " " + formatValue(s, settingValue(settings, s));
    if (!isDefault(settings, s)) line += " *";
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Tuning_StatusLines() {
  const Settings& settings = sandbox.world.settings;
  if (tuningWindow.panel || allDefault(settings)) return {};
  std::string line = "Physics:";
  for (int s = 0; s < kSettingCount; ++s)
    if (!isDefault(settings, s))
      line += std::string(" ") + settingInfo(s).name + " " +
              formatValue(s, settingValue(settings, s));
  return {line};
}

bool Tuning_PanelShown() { return tuningWindow.panel; }

void Tuning_DrawPanel() {
  if (!tuningWindow.panel) return;
  const std::vector<std::string> lines = Tuning_PanelLines();
  const float windowWidth = static_cast<float>(static_cast<unsigned>(core.width));
  const float windowHeight = static_cast<float>(static_cast<unsigned>(core.height));
  // The debug panel always ends 100 pixels above the window's bottom: the
  // strip below it takes the lines in columns of four, read down the
  // columns. A window too narrow for them gets one column at the left.
  std::vector<float> columnWidths;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i % kRowsInStrip == 0) columnWidths.push_back(0);
    const float width = static_cast<float>(Font_TextWidth(lines[i].c_str())) + 2 * kMargin;
    columnWidths.back() = std::max(columnWidths.back(), width);
  }
  float total = 0;
  for (float w : columnWidths) total += w;
  std::size_t rows = kRowsInStrip;
  float left = kMargin, top = windowHeight - kStripHeight + kMargin / 2;
  if (left + total > windowWidth - kMargin) {
    rows = lines.size();
    total = 0;
    for (const std::string& line : lines)
      total = std::max(total, static_cast<float>(Font_TextWidth(line.c_str())) + 2 * kMargin);
    columnWidths.assign(1, total);
    top = windowHeight - kMargin - kLinePitch * static_cast<float>(rows) - kMargin / 2;
  }
  const float height = kLinePitch * static_cast<float>(rows) + kMargin / 2;
  glColor4f(0, 0, 0, 0.75f);
  glBegin(GL_QUADS);
  glVertex2f(left, top);
  glVertex2f(left, top + height);
  glVertex2f(left + total, top + height);
  glVertex2f(left + total, top);
  glEnd();
  const float white[4] = {1, 1, 1, 1};
  const float yellow[4] = {1, 1, 0.3f, 1};
  float x = left;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0 && i % rows == 0) x += columnWidths[i / rows - 1];
    const bool selected = i == static_cast<std::size_t>(tuningWindow.selected) + 1;
    Font_Print(x + kMargin, top + kMargin / 4 + kLinePitch * static_cast<float>(i % rows),
               lines[i].c_str(), i == 0 || selected ? yellow : white);
  }
}
