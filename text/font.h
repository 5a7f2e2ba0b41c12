// The one bitmap font: a texture and a display list per character slot, built
// from a TrueType file; text printed with one list call per line. The font
// record lives in the core's state (core.font).
#pragma once

#include <cstdint>

struct GlyphMetrics {
  int32_t texWidth = 0;   // texture size in texels, powers of two, at least 1
  int32_t texHeight = 0;
  int32_t top = 0;        // bitmap top, pixels above the baseline
  int32_t left = 0;       // left bearing in pixels
  int32_t advance = 0;    // horizontal advance in 1/64 pixel
};

struct Font {
  int32_t glyphCount = 0;          // number of slots; 0 when no font exists
  int32_t maxTop = 0;              // largest top over all slots built
  uint32_t* textures = nullptr;    // glyphCount texture names, owned
  uint32_t listBase = 0;           // first of glyphCount display lists
  GlyphMetrics* glyphs = nullptr;  // glyphCount records, owned
};

// Builds the font from the TrueType file at path, at size points (96 dpi),
// destroying any earlier font first. False when the file is not a usable face
// or a glyph fails to render (the slots before it stay usable).
bool Font_Create(int size, const char* path);
// Deletes the lists and textures and frees the arrays; back to "no font".
void Font_Destroy();
// Prints text with its top-left corner at (x, y) in the overlay projection;
// the baseline lies maxTop scaled pixels below y. Bytes without a slot, and
// everything while no font exists, draw nothing.
void Font_PrintScaled(float x, float y, float scaleX, float scaleY, const char* text,
                      const float colour[4]);
void Font_Print(float x, float y, const char* text, const float colour[4]);
// Width of text in whole pixels: each byte's advance truncated, then summed;
// a byte without a slot counts 0.
int Font_TextWidth(const char* text);
// The smallest power of two that is at least size, and at least 1.
int32_t Font_TextureSide(int32_t size);
