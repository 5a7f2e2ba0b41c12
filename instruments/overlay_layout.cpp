#include "instruments/overlay_layout.h"

#include <algorithm>

bool ScreenRect_Overlap(const ScreenRect& a, const ScreenRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool ScreenRect_Inside(const ScreenRect& inner, const ScreenRect& outer) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

namespace {

ScreenRect grown(const ScreenRect& r, float by) {
  return {r.left - by, r.top - by, r.right + by, r.bottom + by};
}

// Space already taken: the panel and whatever has been placed so far.
struct Placer {
  ScreenRect area;  // the window less its margins
  std::vector<ScreenRect> taken;

  // The highest free spot at or below top for a box of this size at left,
  // or false when the column has no such spot above the area's bottom.
  bool place(float left, float width, float height, float top, float* placedTop) const {
    float y = top;
    for (;;) {
      const ScreenRect box{left, y, left + width, y + height};
      if (!ScreenRect_Inside(box, area)) return false;
      const ScreenRect* blocker = nullptr;
      for (const ScreenRect& t : taken)
        if (ScreenRect_Overlap(box, t) && (!blocker || t.bottom > blocker->bottom)) blocker = &t;
      if (!blocker) {
        *placedTop = y;
        return true;
      }
      y = blocker->bottom;
    }
  }
};

// Breaks text into lines no wider than width at its blanks; a word wider
// than width stays whole on a line of its own (and fails to place).
std::vector<std::string> wrap(const std::string& text, float width, float indent,
                              const std::function<float(const std::string&)>& measure) {
  std::vector<std::string> lines;
  std::string line;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    const std::string word = text.substr(start, end - start);
    const std::string joined = line.empty() ? word : line + " " + word;
    const float room = lines.empty() ? width : width - indent;
    if (!line.empty() && measure(joined) > room) {
      lines.push_back(line);
      line = word;
    } else {
      line = joined;
    }
    start = end + 1;
  }
  lines.push_back(line);
  return lines;
}

void placeStatus(const OverlayLayoutInput& in, Placer& placer, OverlayLayout& out) {
  float y = kOverlayMargin;
  for (const std::string& text : in.statusLines) {
    const float width = std::max(1.0f, in.textWidth(text));
    float top;
    if (!placer.place(kOverlayMargin, width, in.textHeight, y, &top)) continue;
    out.status.push_back({kOverlayMargin, top, text, true});
    placer.taken.push_back({kOverlayMargin, top, kOverlayMargin + width, top + in.textHeight});
    y = top + kStatusPitch;
  }
}

// Columns from the right edge leftwards, each filled from the top.
void placePlots(const OverlayLayoutInput& in, Placer& placer, OverlayLayout& out) {
  const float blockHeight = kPlotCaptionLines * kPlotCaptionPitch + kPlotChartHeight;
  std::vector<ScreenRect> blocks;
  float left = placer.area.right - kPlotChartWidth, y = placer.area.top;
  while (static_cast<int>(out.plots.size()) < in.plotCount && left >= placer.area.left) {
    float top;
    if (!placer.place(left, kPlotChartWidth, blockHeight, y, &top)) {
      left -= kPlotChartWidth + 3 * kOverlayGap;
      y = placer.area.top;
      continue;
    }
    PlacedPlot plot;
    plot.left = left;
    plot.top = top;
    const float chartTop = top + kPlotCaptionLines * kPlotCaptionPitch;
    plot.chart = {left, chartTop, left + kPlotChartWidth, chartTop + kPlotChartHeight};
    out.plots.push_back(plot);
    // Blocks go in after the column is done, so that they do not push one
    // another; the gap keeps a chart's axis clear of the next caption.
    blocks.push_back({left, top, left + kPlotChartWidth, plot.chart.bottom + kOverlayGap});
    placer.taken.push_back(blocks.back());
    y = plot.chart.bottom + kOverlayGap;
  }
}

struct HelpAttempt {
  std::vector<PlacedLine> lines;
  std::vector<ScreenRect> backing;
  int leftOut = 0;
};

// Flows the help into columns of columnWidth from the left, each from the top.
HelpAttempt flowHelp(const OverlayLayoutInput& in, const Placer& placer, float columnWidth) {
  const float pad = 4;  // backing beyond the text on each side
  const float indent = 16;
  struct Piece {
    std::string text;
    bool heading;
    bool continuation;
  };
  std::vector<Piece> pieces;
  for (size_t i = 0; i < in.helpLines.size(); ++i) {
    const std::vector<std::string> parts =
        wrap(in.helpLines[i], columnWidth - 2 * pad, indent, in.textWidth);
    for (size_t p = 0; p < parts.size(); ++p) pieces.push_back({parts[p], i == 0, p > 0});
  }

  HelpAttempt attempt;
  float left = placer.area.left, y = placer.area.top;
  size_t next = 0;
  bool inRun = false;
  // A line's glyphs may reach further down than the pitch: the room each
  // needs is the larger of the two.
  const float lineRoom = std::max(kHelpPitch, in.textHeight);
  while (next < pieces.size() && left + columnWidth <= placer.area.right) {
    float top;
    if (!placer.place(left, columnWidth, lineRoom, y, &top)) {
      left += columnWidth + kOverlayGap;
      y = placer.area.top;
      inRun = false;
      continue;
    }
    const Piece& piece = pieces[next++];
    const float x = left + pad + (piece.continuation ? indent : 0);
    attempt.lines.push_back({x, top, piece.text, piece.heading});
    if (inRun && attempt.backing.back().bottom == top) {
      attempt.backing.back().bottom = top + kHelpPitch;
    } else {
      attempt.backing.push_back({left, top, left + columnWidth, top + kHelpPitch});
    }
    inRun = true;
    y = top + kHelpPitch;
  }
  attempt.leftOut = static_cast<int>(pieces.size() - next);
  return attempt;
}

void placeHelp(const OverlayLayoutInput& in, Placer& placer, OverlayLayout& out) {
  if (in.helpLines.empty()) return;
  float widest = 0;
  for (const std::string& line : in.helpLines) widest = std::max(widest, in.textWidth(line));
  const float room = placer.area.right - placer.area.left;
  // One wide column when it holds everything, else two or three narrower
  // ones side by side; the first that leaves nothing out wins.
  HelpAttempt best;
  best.leftOut = -1;
  for (int columns = 1; columns <= 3; ++columns) {
    float width = (room - kOverlayGap * static_cast<float>(columns - 1)) / static_cast<float>(columns);
    if (columns == 1) width = std::min(width, widest + 8);
    HelpAttempt attempt = flowHelp(in, placer, width);
    if (best.leftOut < 0 || attempt.leftOut < best.leftOut) best = std::move(attempt);
    if (best.leftOut == 0) break;
  }
  // What does not fit is said on the last line that does.
  if (best.leftOut > 0 && !best.lines.empty()) {
    best.leftOut += 1;
    best.lines.back().text = "(" + std::to_string(best.leftOut) + " more lines: enlarge the window)";
    best.lines.back().heading = true;
  }
  out.help = std::move(best.lines);
  out.helpBacking = std::move(best.backing);
  for (const ScreenRect& r : out.helpBacking) placer.taken.push_back(r);
  out.helpLinesLeftOut = std::max(0, best.leftOut);
}

}  // namespace

OverlayLayout OverlayLayout_Compute(const OverlayLayoutInput& input) {
  Placer placer;
  placer.area = {kOverlayMargin, kOverlayMargin, input.windowWidth - kOverlayMargin,
                 input.windowHeight - kOverlayMargin};
  placer.taken.push_back(grown(input.panel, kOverlayGap));
  for (const ScreenRect& r : input.reserved) placer.taken.push_back(grown(r, kOverlayGap));
  OverlayLayout out;
  placeStatus(input, placer, out);
  // The help is read and put away again: while it shows, it goes first and
  // the plots take what room it leaves.
  placeHelp(input, placer, out);
  placePlots(input, placer, out);
  return out;
}

std::vector<ScreenRect> OverlayLayout_Boxes(const OverlayLayout& layout,
                                           const OverlayLayoutInput& input) {
  std::vector<ScreenRect> boxes;
  auto text = [&](const PlacedLine& l) {
    boxes.push_back({l.x, l.y, l.x + input.textWidth(l.text), l.y + input.textHeight});
  };
  for (const PlacedLine& l : layout.status) text(l);
  for (const PlacedLine& l : layout.help) text(l);
  for (const PlacedPlot& p : layout.plots)
    boxes.push_back({p.left, p.top, p.chart.right, p.chart.bottom});
  for (const ScreenRect& r : layout.helpBacking) boxes.push_back(r);
  return boxes;
}
