// The debug overlay: a bracketed panel of text lines over the scene.
#include <GL/gl.h>

#include "core/core.h"
#include "sandbox/sandbox.h"

std::vector<std::string> Overlay_Lines() {
  const DebugValue* debug = core.activeDebug;
  std::vector<std::string> lines = {
      "Debug Data",
      "Active Debug: (" + toText(debug[0].value) + ", " + toText(debug[1].value) + ", " +
          toText(debug[2].value) + ")",
      "FPS: " + toText(core.fps.framesPerSecond)};
  lines.insert(lines.end(), sandbox.hudLines.begin(), sandbox.hudLines.end());
  return lines;
}

OverlayPanel Overlay_Panel(const std::vector<std::string>& lines) {
  int maxWidth = 0;
  for (const std::string& line : lines) {
    const int width = Font_TextWidth(line.c_str());
    if (width > maxWidth) maxWidth = width;
  }
  OverlayPanel panel;
  panel.halfWidth = static_cast<float>(maxWidth) * 0.5f + 10;
  panel.halfHeight = static_cast<float>(lines.size()) * 10 + 10;
  // Centred across, its bottom edge 100 pixels above the window's bottom,
  // growing upwards with the lines. (Below 100 pixels of height the panel
  // simply sits higher than the window's top.)
  panel.centreX = static_cast<float>(static_cast<unsigned>(core.width)) * 0.5f;
  panel.centreY = (static_cast<float>(static_cast<unsigned>(core.height)) - 100) - panel.halfHeight;
  return panel;
}

void Overlay_Draw() {
  const std::vector<std::string> lines = Overlay_Lines();
  const OverlayPanel panel = Overlay_Panel(lines);
  const float w = panel.halfWidth, h = panel.halfHeight;

  glPushMatrix();
  glTranslatef(panel.centreX, panel.centreY, 0);
  // Four corner brackets with 20-pixel arms.
  glColor3f(1, 1, 1);
  glBegin(GL_LINES);
  const float segments[8][4] = {
      {w, h, w - 20, h},   {w, h, w, h - 20},   {-w, h, 20 - w, h},   {-w, h, -w, h - 20},
      {-w, -h, 20 - w, -h}, {-w, -h, -w, 20 - h}, {w, -h, w - 20, -h}, {w, -h, w, 20 - h}};
  for (const auto& s : segments) {
    glVertex2f(s[0], s[1]);
    glVertex2f(s[2], s[3]);
  }
  glEnd();
  const float white[4] = {1, 1, 1, 1};
  for (size_t i = 0; i < lines.size(); ++i)
    Font_Print(10 - w, (10 - h) + 20 * static_cast<float>(i), lines[i].c_str(), white);
  glPopMatrix();
  sandbox.hudLines.clear();
}
