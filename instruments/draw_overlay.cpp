// What the instruments draw in the overlay projection, beside the debug
// panel and never inside it: the status lines, the plots (F4) and the help
// screen (F1).
#include <GL/gl.h>

#include <algorithm>
#include <string>

#include "core/core.h"
#include "instruments/help.h"
#include "instruments/instruments.h"
#include "instruments/overlay_layout.h"
#include "live/live.h"
#include "sandbox/notices.h"
#include "sandbox/sandbox.h"
#include "replay/replay.h"
#include "tuning/tuning.h"

namespace {

const float kWhite[4] = {1, 1, 1, 1};
const float kYellow[4] = {1, 1, 0.3f, 1};

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
constexpr int kPlotCount = static_cast<int>(sizeof kPlots / sizeof kPlots[0]);

void fillRect(const ScreenRect& r) {
  glBegin(GL_QUADS);
  glVertex2f(r.left, r.top);
  glVertex2f(r.left, r.bottom);
  glVertex2f(r.right, r.bottom);
  glVertex2f(r.right, r.top);
  glEnd();
}

void drawHelp(const OverlayLayout& layout) {
  // A dark, see-through backing keeps the text readable over any wall.
  glColor4f(0, 0, 0, 0.75f);
  for (const ScreenRect& r : layout.helpBacking) fillRect(r);
  for (const PlacedLine& line : layout.help)
    Font_Print(line.x, line.y, line.text.c_str(), line.heading ? kYellow : kWhite);
}

// One strip chart: its captions (the label, the latest value, the largest of
// the last kPlotSeconds) and the chart, the steps from left to right scaled
// to the largest value.
void drawPlot(const Plot& plot, const PlacedPlot& place) {
  const std::deque<StepSample>& samples = instruments.samples;
  float largest = 0;
  for (const StepSample& s : samples) largest = std::max(largest, plot.value(s));
  const ScreenRect& chart = place.chart;
  const float width = chart.right - chart.left, height = chart.bottom - chart.top;
  const float scale = largest > 0 ? height / largest : 0;
  const double end = samples.empty() ? 0 : samples.back().time;

  glColor4f(0.5f, 0.5f, 0.5f, 1);
  glBegin(GL_LINE_STRIP);  // the axes: time along the bottom, value up the left
  glVertex2f(chart.left, chart.top);
  glVertex2f(chart.left, chart.bottom);
  glVertex2f(chart.right, chart.bottom);
  glEnd();
  glColor4f(0.3f, 1, 0.3f, 1);
  // One vertex per pixel column, at the largest value of its steps, so a
  // single slow step still shows.
  glBegin(GL_LINE_STRIP);
  int column = -1;
  float columnLargest = 0;
  auto emit = [&] {
    glVertex2f(chart.left + static_cast<float>(column), chart.bottom - scale * columnLargest);
  };
  for (const StepSample& s : samples) {
    const int x = static_cast<int>(width * static_cast<float>(1 - (end - s.time) / kPlotSeconds));
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

  const std::string now = "now " + (samples.empty() ? std::string("-") : toText(plot.value(samples.back())));
  const std::string top = "max " + toText(largest);
  Font_Print(place.left, place.top, plot.label, kWhite);
  Font_Print(place.left, place.top + kPlotCaptionPitch, now.c_str(), kWhite);
  Font_Print(place.left, place.top + 2 * kPlotCaptionPitch, top.c_str(), kWhite);
}

float textWidth(const std::string& text) { return static_cast<float>(Font_TextWidth(text.c_str())); }

}  // namespace

OverlayLayoutInput Instruments_OverlayLayoutInput() {
  OverlayLayoutInput input;
  input.windowWidth = static_cast<float>(static_cast<unsigned>(core.width));
  input.windowHeight = static_cast<float>(static_cast<unsigned>(core.height));
  const OverlayPanel& panel = sandbox.panel;
  input.panel = {panel.centreX - panel.halfWidth, panel.centreY - panel.halfHeight,
                 panel.centreX + panel.halfWidth, panel.centreY + panel.halfHeight};
  // The rewind and replay step line goes under the instruments' own.
  input.statusLines = Instruments_StatusLines();
  for (const std::string& line : Replay_StatusLines()) input.statusLines.push_back(line);
  for (const std::string& line : Tuning_StatusLines()) input.statusLines.push_back(line);
  if (instruments.plots) input.plotCount = kPlotCount;
  if (instruments.help) input.helpLines = Instruments_HelpLines();
  // The settings panel takes the strip under the debug panel, and the
  // notices the window's bottom-left lines: the instruments keep off both.
  const float bottomLines =
      static_cast<float>(Notices_Lines().size() + Live_StatusLines().size());
  float reservedTop = input.windowHeight;
  if (Tuning_PanelShown()) reservedTop = input.windowHeight - 100;
  if (bottomLines > 0)
    reservedTop = std::min(reservedTop, input.windowHeight - 10 - 20 * bottomLines);
  if (reservedTop < input.windowHeight)
    input.reserved.push_back({0, reservedTop, input.windowWidth, input.windowHeight});
  input.textWidth = textWidth;
  // Below its top-left corner a line reaches the font's tallest glyph and
  // its descenders (about a third of that).
  const float ascent = static_cast<float>(core.font.maxTop);
  input.textHeight = ascent + ascent / 3 + 1;
  return input;
}

std::vector<std::string> Instruments_StatusLines() {
  std::vector<std::string> lines;
  if (instruments.paused) lines.push_back("PAUSED");
  if (instruments.slowMotion > 0) {
    const int interval = 16 << instruments.slowMotion;
    lines.push_back("Step rate 1/" + std::to_string(1 << instruments.slowMotion) + " (" +
                    std::to_string(interval) + " ms per step)");
  }
  if (core.frameTimer.total < instruments.ballLimitNoticeUntil)
    lines.push_back("No ball shot: " + std::to_string(kMaxShotBalls) + " balls is the most");
  return lines;
}

void Instruments_DrawOverlay() {
  const OverlayLayout layout = OverlayLayout_Compute(Instruments_OverlayLayoutInput());
  for (const PlacedLine& line : layout.status) Font_Print(line.x, line.y, line.text.c_str(), kYellow);
  if (instruments.plots) {
    // Plain lines: smoothing costs a software renderer dearly per line.
    glDisable(GL_LINE_SMOOTH);
    for (size_t i = 0; i < layout.plots.size(); ++i) drawPlot(kPlots[i], layout.plots[i]);
    glEnable(GL_LINE_SMOOTH);
  }
  Tuning_DrawPanel();
  if (instruments.help) drawHelp(layout);
}
