// The instruments' layout at the window sizes users run: nothing on the debug
// panel, nothing outside the window, no two instruments on top of each other,
// and the help whole wherever the window leaves it room.
#include "instruments/overlay_layout.h"

#include <gtest/gtest.h>

#include <string>

#include "instruments/help.h"

namespace {

// About the shipped font's widths (6.4 pixels a character on average in the
// help), lines reaching 15 pixels below their top.
float measure(const std::string& text) { return 6.5f * static_cast<float>(text.size()); }

// The debug panel as the scene places it: centred, bottom edge 100 pixels
// above the window's, 20 pixels a line plus 20, width from its widest line.
ScreenRect panelFor(float width, float height, int lines, float widest = 340) {
  const float halfHeight = 10.0f * static_cast<float>(lines) + 10;
  const float bottom = height - 100;
  return {width / 2 - widest / 2, bottom - 2 * halfHeight, width / 2 + widest / 2, bottom};
}

OverlayLayoutInput input(float width, float height, int panelLines, int statusLines, bool plots,
                         bool help) {
  OverlayLayoutInput in;
  in.windowWidth = width;
  in.windowHeight = height;
  in.panel = panelFor(width, height, panelLines);
  for (int i = 0; i < statusLines; ++i)
    in.statusLines.push_back(i == 0 ? "PAUSED" : "Step 1200 of 3000 (replay), 34 back");
  in.plotCount = plots ? 4 : 0;
  if (help) in.helpLines = Instruments_HelpLines();
  in.textWidth = measure;
  in.textHeight = 15;
  return in;
}

struct Size {
  float width, height;
};

const Size kSizes[] = {{640, 480}, {641, 481}, {800, 600}, {1024, 768}, {1280, 720}, {1920, 1080}};

TEST(OverlayLayout, KeepsOffThePanelAndInsideTheWindow) {
  for (const Size& size : kSizes) {
    const int mostLines = static_cast<int>(size.height - 100) / 20 - 1;
    for (int panelLines : {8, 12, mostLines}) {
      for (int status = 0; status <= 3; ++status) {
        for (int what = 0; what < 4; ++what) {
          const OverlayLayoutInput in =
              input(size.width, size.height, panelLines, status, what & 1, what & 2);
          const OverlayLayout layout = OverlayLayout_Compute(in);
          const ScreenRect window{0, 0, size.width, size.height};
          const std::string where = std::to_string(static_cast<int>(size.width)) + "x" +
                                    std::to_string(static_cast<int>(size.height)) + ", " +
                                    std::to_string(panelLines) + " panel lines, " +
                                    std::to_string(status) + " status lines, case " +
                                    std::to_string(what);
          const std::vector<ScreenRect> boxes = OverlayLayout_Boxes(layout, in);
          for (const ScreenRect& box : boxes) {
            EXPECT_FALSE(ScreenRect_Overlap(box, in.panel)) << where;
            EXPECT_TRUE(ScreenRect_Inside(box, window)) << where;
          }
          // Plots apart from each other, from the status lines and from the help.
          for (size_t i = 0; i < layout.plots.size(); ++i) {
            const PlacedPlot& p = layout.plots[i];
            const ScreenRect block{p.left, p.top, p.chart.right, p.chart.bottom};
            for (size_t j = i + 1; j < layout.plots.size(); ++j) {
              const PlacedPlot& q = layout.plots[j];
              EXPECT_FALSE(ScreenRect_Overlap(block, {q.left, q.top, q.chart.right, q.chart.bottom}))
                  << where;
            }
            for (const ScreenRect& r : layout.helpBacking)
              EXPECT_FALSE(ScreenRect_Overlap(block, r)) << where;
            for (const PlacedLine& l : layout.status)
              EXPECT_FALSE(ScreenRect_Overlap(block, {l.x, l.y, l.x + measure(l.text), l.y + 15}))
                  << where;
          }
          for (const PlacedLine& l : layout.status)
            for (const ScreenRect& r : layout.helpBacking)
              EXPECT_FALSE(ScreenRect_Overlap({l.x, l.y, l.x + measure(l.text), l.y + 15}, r))
                  << where;
        }
      }
    }
  }
}

TEST(OverlayLayout, EverythingFitsWithTheUsualPanel) {
  // The panel's eight lines without shot balls; paused in a replay, so with
  // two status lines.
  for (const Size& size : kSizes) {
    const OverlayLayout layout =
        OverlayLayout_Compute(input(size.width, size.height, 8, 2, false, true));
    EXPECT_EQ(layout.helpLinesLeftOut, 0) << size.width;
    EXPECT_EQ(layout.status.size(), 2u) << size.width;
    const OverlayLayout plots = OverlayLayout_Compute(input(size.width, size.height, 8, 2, true, false));
    EXPECT_EQ(plots.plots.size(), 4u) << size.width;
    if (size.width >= 1024) {
      // Room for the help and the plots side by side.
      const OverlayLayout both = OverlayLayout_Compute(input(size.width, size.height, 8, 2, true, true));
      EXPECT_EQ(both.plots.size(), 4u) << size.width;
      EXPECT_EQ(both.helpLinesLeftOut, 0) << size.width;
    }
  }
}

TEST(OverlayLayout, HelpWrapsAtBlanksAndSaysWhatItLeftOut) {
  OverlayLayoutInput in = input(640, 480, 8, 0, false, false);
  // A panel over nearly the whole window leaves room for three lines.
  in.panel = {20, 62, 620, 470};
  std::string words;
  for (int i = 0; i < 30; ++i) words += " word";
  in.helpLines = {"Keys", "A:" + words, "B: short", "C: short", "D: short", "E: short"};
  const OverlayLayout layout = OverlayLayout_Compute(in);
  ASSERT_FALSE(layout.help.empty());
  EXPECT_EQ(layout.help[0].text, "Keys");
  EXPECT_TRUE(layout.help[0].heading);
  EXPECT_GT(layout.helpLinesLeftOut, 0);
  EXPECT_EQ(layout.help.back().text,
            "(" + std::to_string(layout.helpLinesLeftOut) + " more lines: enlarge the window)");

  in.panel = panelFor(640, 480, 8);
  const OverlayLayout roomy = OverlayLayout_Compute(in);
  EXPECT_EQ(roomy.helpLinesLeftOut, 0);
  // The long line was broken at a blank, its rest indented below it.
  ASSERT_GE(roomy.help.size(), 3u);
  EXPECT_EQ(roomy.help[1].text.rfind("A: ", 0), 0u);
  EXPECT_GT(roomy.help[2].x, roomy.help[1].x);
  EXPECT_EQ(roomy.help[1].text + " " + roomy.help[2].text, in.helpLines[1]);
}

}  // namespace

namespace {

// The settings panel's strip under the debug panel, and the notices at the
// bottom left, are kept free at every size, with the help and plots on.
TEST(OverlayLayout, KeepsOffTheReservedStrips) {
  for (const Size& size : kSizes) {
    for (float stripHeight : {30.0f, 100.0f}) {
      OverlayLayoutInput in = input(size.width, size.height, 8, 2, true, true);
      const ScreenRect strip{0, size.height - stripHeight, size.width, size.height};
      in.reserved.push_back(strip);
      const OverlayLayout layout = OverlayLayout_Compute(in);
      for (const ScreenRect& box : OverlayLayout_Boxes(layout, in))
        EXPECT_FALSE(ScreenRect_Overlap(box, strip))
            << size.width << "x" << size.height << ", strip " << stripHeight;
    }
  }
}

}  // namespace
