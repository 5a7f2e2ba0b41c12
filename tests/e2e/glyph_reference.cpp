// Prints FreeType's own view of every glyph slot of a face, for the
// end-to-end tests to compare the program's GL lists and textures with.
// Usage: glyph_reference FONT SIZE. One line per character code, from 0:
// "advance left top width rows coverage", the advance in 1/64 pixel and the
// coverage as hexadecimal bytes, top row first ("-" when the bitmap is empty).
#include <cstdio>
#include <cstdlib>

#include "tests/support/freetype_reference.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: glyph_reference FONT SIZE\n");
    return 2;
  }
  const std::vector<ReferenceGlyph> glyphs = ReferenceGlyphs(argv[1], std::atoi(argv[2]));
  if (glyphs.empty()) {
    std::fprintf(stderr, "glyph_reference: no glyphs in %s\n", argv[1]);
    return 1;
  }
  for (const ReferenceGlyph& g : glyphs) {
    std::printf("%ld %d %d %u %u ", g.advance, g.left, g.top, g.width, g.rows);
    if (g.coverage.empty()) std::printf("-");
    for (std::uint8_t v : g.coverage) std::printf("%02x", v);
    std::printf("\n");
  }
  return 0;
}
