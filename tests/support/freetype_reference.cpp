#include "tests/support/freetype_reference.h"

#include <ft2build.h>
#include FT_FREETYPE_H

std::vector<ReferenceGlyph> ReferenceGlyphs(const std::string& path, int size) {
  std::vector<ReferenceGlyph> glyphs;
  FT_Library library;
  if (FT_Init_FreeType(&library) != 0) return glyphs;
  FT_Face face;
  if (FT_New_Face(library, path.c_str(), 0, &face) == 0) {
    FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(size) * 64, 96, 96);
    for (FT_Long code = 0; code < face->num_glyphs; ++code) {
      if (FT_Load_Char(face, static_cast<FT_ULong>(code), FT_LOAD_RENDER) != 0) break;
      const FT_GlyphSlot slot = face->glyph;
      const FT_Bitmap& bitmap = slot->bitmap;
      ReferenceGlyph g;
      g.advance = slot->advance.x;
      g.left = slot->bitmap_left;
      g.top = slot->bitmap_top;
      g.width = bitmap.width;
      g.rows = bitmap.rows;
      // The test font renders 8-bit grey, top row first; anything else
      // ends the list, and the tests that compare with it fail.
      if (bitmap.rows > 0 && (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.pitch < 0)) break;
      for (unsigned r = 0; r < bitmap.rows; ++r)
        for (unsigned c = 0; c < bitmap.width; ++c)
          g.coverage.push_back(bitmap.buffer[static_cast<long>(r) * bitmap.pitch + c]);
      glyphs.push_back(std::move(g));
    }
    FT_Done_Face(face);
  }
  FT_Done_FreeType(library);
  return glyphs;
}
