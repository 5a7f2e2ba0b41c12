// What the instruments draw in the overlay projection, beside the debug
// panel and never inside it: the status lines, the plots (F4) and the help
// screen (F1).
#include <GL/gl.h>

#include <algorithm>
#include <string>

#include "core/core.h"
#include "instruments/help.h"
#include "instruments/instruments.h"
#include "replay/replay.h"
#include "tuning/tuning.h"

namespace {

constexpr float kMargin = 10;       // pixels from the window's edges
constexpr float kLinePitch = 20;    // pixels, as in the debug panel
constexpr float kPlotWidth = 200;   // pixels
constexpr float kPlotHeight = 40;
constexpr float kPlotGap = 22;      // room for each plot's label above it

const float kWhite[4] = {1, 1, 1, 1};
const float kYellow[4] = {1, 1, 0.3f, 1};

float windowWidth() { return static_cast<float>(static_cast<unsigned>(core.width)); }

void drawStatus() {
  // The rewind and replay step line goes under the instruments' own.
  std::vector<std::string> lines = Instruments_StatusLines();
  for (const std::string& line : Replay_StatusLines()) lines.push_back(line);
  for (const std::string& line : Tuning_StatusLines()) lines.push_back(line);
  for (size_t i = 0; i < lines.size(); ++i)
    Font_Print(kMargin, kMargin + kLinePitch * static_cast<float>(i), lines[i].c_str(), kYellow);
}

void drawHelp() {
  const std::vector<std::string> lines = Instruments_HelpLines();
  int widest = 0;
  for (const std::string& line : lines) widest = std::max(widest, Font_TextWidth(line.c_str()));
  const float left = kMargin, top = kMargin + 2 * kLinePitch;
  const float right = left + static_cast<float>(widest) + 2 * kMargin;
  const float bottom = top + kLinePitch * static_cast<float>(lines.size()) + kMargin;
  // A dark, see-through backing keeps the text readable over any wall.
  glColor4f(0, 0, 0, 0.75f);
  glBegin(GL_QUADS);
  glVertex2f(left, top);
  glVertex2f(left, bottom);
  glVertex2f(right, bottom);
  glVertex2f(right, top);
  glEnd();
  for (size_t i = 0; i < lines.size(); ++i)
    Font_Print(left + kMargin, top + kMargin / 2 + kLinePitch * static_cast<float>(i),
               lines[i].c_str(), i == 0 ? kYellow : kWhite);
}

struct Plot {
  const char* label;
  float (*value)(const StepSample&);
};

const Plot kPlots[] = {
    {"Ball speed (units/step)", [](const StepSample& s) { return s.ballSpeed; }},
    {"Contacts per step", [](const StepSample& s) { return static_cast<float>(s.contacts); }},
    {"Gravity turn (degrees/step)", [](const StepSample& s) { return s.gravityTurn; }},
    {"Step time (ms)", [](const StepSample& s) { return s.stepMilliseconds; }},
};

// One strip chart with its top-left corner at (left, top): the last
// kPlotSeconds of steps from left to right, scaled to the largest value.
void drawPlot(const Plot& plot, float left, float top) {
  const std::deque<StepSample>& samples = instruments.samples;
  float largest = 0;
  for (const StepSample& s : samples) largest = std::max(largest, plot.value(s));
  const float scale = largest > 0 ? kPlotHeight / largest : 0;
  const double end = samples.empty() ? 0 : samples.back().time;

  glColor4f(0.5f, 0.5f, 0.5f, 1);
  glBegin(GL_LINE_STRIP);  // the axes: time along the bottom, value up the left
  glVertex2f(left, top);
  glVertex2f(left, top + kPlotHeight);
  glVertex2f(left + kPlotWidth, top + kPlotHeight);
  glEnd();
  glColor4f(0.3f, 1, 0.3f, 1);
  // One vertex per pixel column, at the largest value of its steps, so a
  // single slow step still shows.
  glBegin(GL_LINE_STRIP);
  int column = -1;
  float columnLargest = 0;
  auto emit = [&] {
    glVertex2f(left + static_cast<float>(column), top + kPlotHeight - scale * columnLargest);
  };
  for (const StepSample& s : samples) {
    const int x = static_cast<int>(kPlotWidth * static_cast<float>(1 - (end - s.time) / kPlotSeconds));
    if (x != column) {
      if (column >= 0) emit();
      column = x;
      columnLargest = plot.value(s);
    } else {
      columnLargest = std::max(columnLargest, plot.value(s));
    }
  }
  if (column >= 0) emit();
  glEnd();

  const std::string now = samples.empty() ? "-" : toText(plot.value(samples.back()));
  const std::string label = std::string(plot.label) + ": " + now;
  Font_Print(left, top - kPlotGap + 4, label.c_str(), kWhite);
  const std::string scaleTop = "max " + toText(largest);
  Font_Print(left + kPlotWidth + 4, top - 6, scaleTop.c_str(), kWhite);
  Font_Print(left + kPlotWidth + 4, top + kPlotHeight - 12, "-10 s..now", kWhite);
}

void drawPlots() {
  const float left = windowWidth() - kPlotWidth - 90;
  float top = kMargin + kPlotGap;
  for (const Plot& plot : kPlots) {
    drawPlot(plot, left, top);
    top += kPlotHeight + kPlotGap + 8;
  }
}

}  // namespace

std::vector<std::string> Instruments_StatusLines() {
  std::vector<std::string> lines;
  if (instruments.paused) lines.push_back("PAUSED");
  if (instruments.slowMotion > 0) {
    const int interval = 16 << instruments.slowMotion;
    lines.push_back("Step rate 1/" + std::to_string(1 << instruments.slowMotion) + " (" +
                    std::to_string(interval) + " ms per step)");
  }
  return lines;
}

void Instruments_DrawOverlay() {
  drawStatus();
  if (instruments.plots) {
    // Plain lines: smoothing costs a software renderer dearly per line.
    glDisable(GL_LINE_SMOOTH);
    drawPlots();
    glEnable(GL_LINE_SMOOTH);
  }
  Tuning_DrawPanel();
  if (instruments.help) drawHelp();
}
