// Placeholder until the font is built: no glyphs, nothing drawn.
#include "text/font.h"

bool Font_Create(int, const char*) {
  Font_Destroy();
  return false;
}

void Font_Destroy() {}

void Font_PrintScaled(float, float, float, float, const char*, const float*) {}

void Font_Print(float x, float y, const char* text, const float colour[4]) {
  Font_PrintScaled(x, y, 1.0f, 1.0f, text, colour);
}

int Font_TextWidth(const char*) { return 0; }
