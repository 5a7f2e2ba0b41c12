// Where the instruments' text and plots go in the overlay: around the debug
// panel and never on it, inside the window, at any window size.
//
// Pure arithmetic on rectangles, so that it can be tested without a window:
// the caller measures the text (its width in pixels and the height of a line)
// and draws what comes out.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Overlay pixels, y downwards; right and bottom are exclusive.
struct ScreenRect {
  float left = 0, top = 0, right = 0, bottom = 0;
};

bool ScreenRect_Overlap(const ScreenRect& a, const ScreenRect& b);
bool ScreenRect_Inside(const ScreenRect& inner, const ScreenRect& outer);

// One line of text to print, with the top-left corner Font_Print takes.
struct PlacedLine {
  float x = 0, y = 0;
  std::string text;
  bool heading = false;  // drawn in the heading colour
};

// A strip chart of the plots: its caption lines above it, its chart below.
struct PlacedPlot {
  float left = 0, top = 0;  // the block's top-left corner (the first caption line)
  ScreenRect chart;
};

struct OverlayLayoutInput {
  float windowWidth = 0, windowHeight = 0;
  ScreenRect panel;  // the debug panel's brackets
  std::vector<std::string> statusLines;
  int plotCount = 0;  // 0: plots off
  std::vector<std::string> helpLines;  // empty: help off; the first is its title
  std::function<float(const std::string&)> textWidth;  // pixels
  float textHeight = 16;  // pixels a printed line reaches below its y
  // Room other parts of the overlay draw in (the settings panel, the notices
  // at the bottom left): nothing is placed on it.
  std::vector<ScreenRect> reserved;
};

struct OverlayLayout {
  std::vector<PlacedLine> status;
  std::vector<PlacedPlot> plots;  // as many as asked for, or fewer when the window has no room
  std::vector<PlacedLine> help;
  // The help's dark backing, one rectangle per run of lines in a column.
  std::vector<ScreenRect> helpBacking;
  int helpLinesLeftOut = 0;  // help lines the window had no room for
};

// Pixels between the window's edges and what the instruments draw.
constexpr float kOverlayMargin = 10;
// The status lines' pitch, as the debug panel's.
constexpr float kStatusPitch = 20;
// The help's line pitch.
constexpr float kHelpPitch = 15;
// A plot: caption lines of kPlotCaptionPitch, then the chart.
constexpr float kPlotChartWidth = 180;
constexpr float kPlotChartHeight = 30;
constexpr float kPlotCaptionPitch = 16;
constexpr int kPlotCaptionLines = 3;  // the label, the latest value, the largest
// Free space kept around the panel and between the instruments' blocks.
constexpr float kOverlayGap = 6;

// Status lines at the top left; the help in columns from the left, wrapped
// at word boundaries to the column's width, continuation lines indented;
// the plots in columns from the top right over what is left (fewer plots,
// or none, when the window has no more room). Nothing overlaps the panel or
// another block, and nothing leaves the window.
OverlayLayout OverlayLayout_Compute(const OverlayLayoutInput& input);

// The rectangles a layout draws into (for its tests): every status and help
// line's text box, each plot block and each help backing.
std::vector<ScreenRect> OverlayLayout_Boxes(const OverlayLayout& layout,
                                           const OverlayLayoutInput& input);
