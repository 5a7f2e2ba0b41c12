// What FreeType itself says about a face's glyphs, read straight from the
// library: the oracle the font's records and GL lists are checked against.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ReferenceGlyph {
  long advance = 0;  // horizontal advance in 1/64 pixel
  int left = 0, top = 0;
  unsigned width = 0, rows = 0;
  // rows x width coverage values, top row first, 0 to 255.
  std::vector<std::uint8_t> coverage;
};

// Every character code from 0 up to the face's glyph count, rendered at
// size points and 96 dpi. Empty when the file is no usable face.
std::vector<ReferenceGlyph> ReferenceGlyphs(const std::string& path, int size);
