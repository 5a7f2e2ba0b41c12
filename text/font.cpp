#include "text/font.h"

#include <GL/gl.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstring>
#include <vector>

#include "core/core.h"

int32_t Font_TextureSide(int32_t size) {
  int32_t side = 1;
  while (side < size) side *= 2;
  return side;
}

// Coverage (0 to 255) of row r, column c of a rendered glyph bitmap; 0 for
// pixel formats other than 8-bit grey and 1-bit mono, which a bitmap-only
// face may produce.
static unsigned char coverage(const FT_Bitmap& bitmap, unsigned r, unsigned c) {
  // A negative pitch means the rows are stored bottom-up.
  const int pitch = bitmap.pitch;
  const unsigned char* row = pitch >= 0 ? bitmap.buffer + static_cast<size_t>(r) * pitch
                                        : bitmap.buffer + static_cast<size_t>(bitmap.rows - 1 - r) *
                                                              static_cast<size_t>(-pitch);
  switch (bitmap.pixel_mode) {
    case FT_PIXEL_MODE_GRAY: return row[c];
    case FT_PIXEL_MODE_MONO: return (row[c / 8] >> (7 - c % 8)) & 1 ? 255 : 0;
    default: return 0;
  }
}

static void buildSlot(Font& font, int i, const FT_GlyphSlot slot) {
  const FT_Bitmap& bitmap = slot->bitmap;
  GlyphMetrics& glyph = font.glyphs[i];
  glyph.top = slot->bitmap_top;
  glyph.left = slot->bitmap_left;
  glyph.advance = static_cast<int32_t>(slot->advance.x);
  if (glyph.top > font.maxTop) font.maxTop = glyph.top;
  glyph.texWidth = Font_TextureSide(static_cast<int32_t>(bitmap.width));
  glyph.texHeight = Font_TextureSide(static_cast<int32_t>(bitmap.rows));

  // White texels whose alpha is the glyph's coverage, stored upside down.
  std::vector<unsigned char> texels(static_cast<size_t>(glyph.texWidth) * glyph.texHeight * 4, 0);
  if (bitmap.width > 0 && bitmap.rows > 0 && bitmap.pitch != 0 && bitmap.buffer) {
    for (unsigned r = 0; r < bitmap.rows; ++r) {
      for (unsigned c = 0; c < bitmap.width; ++c) {
        unsigned char* texel =
            &texels[(static_cast<size_t>(glyph.texHeight - 1 - r) * glyph.texWidth + c) * 4];
        texel[0] = texel[1] = texel[2] = 255;
        texel[3] = coverage(bitmap, r, c);
      }
    }
  }
  glBindTexture(GL_TEXTURE_2D, font.textures[i]);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, glyph.texWidth, glyph.texHeight, 0, GL_RGBA,
               GL_UNSIGNED_BYTE, texels.data());

  // One quad with the baseline at y = 0 and y growing downwards; the corner
  // order is counter-clockwise on screen, so it survives back-face culling.
  const float left = static_cast<float>(glyph.left);
  const float top = static_cast<float>(glyph.top);
  const float width = static_cast<float>(glyph.texWidth);
  const float height = static_cast<float>(glyph.texHeight);
  glNewList(font.listBase + i, GL_COMPILE);
  glBindTexture(GL_TEXTURE_2D, font.textures[i]);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 1);
  glVertex2f(left, -top);
  glTexCoord2f(0, 0);
  glVertex2f(left, height - top);
  glTexCoord2f(1, 0);
  glVertex2f(left + width, height - top);
  glTexCoord2f(1, 1);
  glVertex2f(left + width, -top);
  glEnd();
  // Move on by the advance (26.6 fixed point) for the next character.
  glTranslatef(static_cast<float>(glyph.advance) * 0.015625f, 0, 0);
  glEndList();
}

bool Font_Create(int size, const char* path) {
  Font& font = core.font;
  if (font.glyphCount > 0) Font_Destroy();
  FT_Library library;
  if (FT_Init_FreeType(&library) != 0) return false;
  FT_Face face;
  if (FT_New_Face(library, path, 0, &face) != 0) {
    FT_Done_FreeType(library);
    return false;
  }
  FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(size) * 64, 96, 96);

  font.glyphCount = face->num_glyphs > 0 ? static_cast<int32_t>(face->num_glyphs) : 0;
  font.glyphs = new GlyphMetrics[font.glyphCount]();
  font.textures = new uint32_t[font.glyphCount]();
  font.listBase = glGenLists(font.glyphCount);
  glGenTextures(font.glyphCount, font.textures);
  font.maxTop = 0;

  glEnable(GL_TEXTURE_2D);
  bool result = true;
  for (int i = 0; i < font.glyphCount; ++i) {
    if (FT_Load_Char(face, static_cast<FT_ULong>(i), FT_LOAD_RENDER) != 0) {
      result = false;  // the slots before this one stay usable
      break;
    }
    buildSlot(font, i, face->glyph);
  }
  glDisable(GL_TEXTURE_2D);
  FT_Done_Face(face);
  FT_Done_FreeType(library);
  return result;
}

void Font_Destroy() {
  Font& font = core.font;
  if (font.glyphCount > 0) {
    glDeleteLists(font.listBase, font.glyphCount);
    glDeleteTextures(font.glyphCount, font.textures);
  }
  delete[] font.textures;
  delete[] font.glyphs;
  font = Font();
}

void Font_PrintScaled(float x, float y, float scaleX, float scaleY, const char* text,
                      const float colour[4]) {
  const Font& font = core.font;
  if (font.glyphCount == 0 || !text) return;
  const size_t length = strlen(text);
  // A byte without a slot of its own would call whatever list happens to
  // follow the font's (the chamber's, say): such bytes are left out.
  std::vector<unsigned char> codes;
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
  if (font.glyphCount < 256) {
    for (size_t i = 0; i < length; ++i)
      if (bytes[i] < font.glyphCount) codes.push_back(bytes[i]);
    bytes = codes.data();
  }
  const GLsizei count = static_cast<GLsizei>(font.glyphCount < 256 ? codes.size() : length);

  glEnable(GL_TEXTURE_2D);
  glPushMatrix();
  glTranslatef(x, y, 0);
  glTranslatef(0, static_cast<float>(font.maxTop) * scaleY, 0);
  if (scaleX != 1.0f || scaleY != 1.0f) glScalef(scaleX, scaleY, 1);
  glColor4fv(colour);
  glListBase(font.listBase);
  glCallLists(count, GL_UNSIGNED_BYTE, bytes);
  glPopMatrix();
  glDisable(GL_TEXTURE_2D);
}

void Font_Print(float x, float y, const char* text, const float colour[4]) {
  Font_PrintScaled(x, y, 1.0f, 1.0f, text, colour);
}

int Font_TextWidth(const char* text) {
  const Font& font = core.font;
  if (!text) return 0;
  int width = 0;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
    if (*p < font.glyphCount) width += font.glyphs[*p].advance / 64;
  return width;
}
