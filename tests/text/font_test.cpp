// The font's FreeType side and its measurements, without a window: the GL
// calls of Font_Create then go nowhere, but the glyph records are real.
#include <gtest/gtest.h>

#include <fstream>

#include "core/core.h"
#include "tests/support/freetype_reference.h"

namespace {

const char* veraPath() {
  const char* path = getenv("CHAMBER_TEST_FONT");
  return path ? path : "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf";
}

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override { core = CoreState(); }
  void TearDown() override { Font_Destroy(); }
};

TEST(FontTextureSide, IsTheSmallestPowerOfTwoNotBelowTheSize) {
  const int32_t cases[][2] = {{0, 1}, {1, 1}, {2, 2}, {3, 4}, {9, 16}, {13, 16}, {16, 16},
                              {17, 32}};
  for (const auto& c : cases) EXPECT_EQ(Font_TextureSide(c[0]), c[1]) << c[0];
}

TEST_F(FontTest, BuildsEveryGlyphOfTheFace) {
  ASSERT_TRUE(Font_Create(10, veraPath()));
  const Font& font = core.font;
  EXPECT_EQ(font.glyphCount, 268);  // Vera's glyph count, not a fixed 256
  // The space has an empty bitmap: a 1 x 1 texture, and still an advance.
  const GlyphMetrics& space = font.glyphs[static_cast<unsigned char>(' ')];
  EXPECT_EQ(space.texWidth, 1);
  EXPECT_EQ(space.texHeight, 1);
  EXPECT_GT(space.advance, 0);
  // Size 10 at 96 dpi is a 13.3-pixel em: capitals about 10 pixels tall.
  const GlyphMetrics& a = font.glyphs[static_cast<unsigned char>('A')];
  EXPECT_GE(a.top, 9);
  EXPECT_LE(a.top, 11);
  EXPECT_GE(font.maxTop, a.top);
  for (int i = 0; i < font.glyphCount; ++i) {
    const GlyphMetrics& g = font.glyphs[i];
    EXPECT_EQ(g.texWidth, Font_TextureSide(g.texWidth)) << i;
    EXPECT_EQ(g.texHeight, Font_TextureSide(g.texHeight)) << i;
    EXPECT_LE(g.top, font.maxTop) << i;
  }
}

TEST_F(FontTest, GlyphRecordsHoldFreeTypesMetrics) {
  ASSERT_TRUE(Font_Create(10, veraPath()));
  const std::vector<ReferenceGlyph> reference = ReferenceGlyphs(veraPath(), 10);
  ASSERT_EQ(static_cast<int>(reference.size()), core.font.glyphCount);
  for (int i = 0; i < core.font.glyphCount; ++i) {
    const GlyphMetrics& g = core.font.glyphs[i];
    const ReferenceGlyph& r = reference[static_cast<size_t>(i)];
    EXPECT_EQ(g.advance, r.advance) << i;
    EXPECT_EQ(g.left, r.left) << i;
    EXPECT_EQ(g.top, r.top) << i;
    EXPECT_EQ(g.texWidth, Font_TextureSide(static_cast<int32_t>(r.width))) << i;
    EXPECT_EQ(g.texHeight, Font_TextureSide(static_cast<int32_t>(r.rows))) << i;
  }
}

TEST_F(FontTest, TextWidthTruncatesEachAdvance) {
  ASSERT_TRUE(Font_Create(10, veraPath()));
  const std::vector<ReferenceGlyph> reference = ReferenceGlyphs(veraPath(), 10);
  ASSERT_GT(reference.size(), size_t{'B'});
  // Vera at 10 points and 96 dpi, hinted: "A" advances 9 whole pixels.
  EXPECT_EQ(reference['A'].advance, 9 * 64);
  EXPECT_EQ(Font_TextWidth("AB"), reference['A'].advance / 64 + reference['B'].advance / 64);
  EXPECT_EQ(Font_TextWidth(""), 0);
  EXPECT_EQ(Font_TextWidth("vec3f<1, 2.5, -3>"),
            Font_TextWidth("vec3f<1, ") + Font_TextWidth("2.5, -3>"));
}

TEST_F(FontTest, BytesWithoutASlotMeasureZero) {
  // A face with only four slots: codes 4 and up, and all bytes above 127,
  // have no glyph record to read.
  GlyphMetrics* glyphs = new GlyphMetrics[4]();
  glyphs[1].advance = 64 * 7 + 63;
  core.font.glyphCount = 4;
  core.font.glyphs = glyphs;
  EXPECT_EQ(Font_TextWidth("\x01\x01"), 14);
  EXPECT_EQ(Font_TextWidth("\x01\x05\xff A"), 7);
}

TEST_F(FontTest, AFileThatIsNoFontLeavesNoFont) {
  ASSERT_TRUE(Font_Create(10, veraPath()));
  const std::string notAFont = testing::TempDir() + "not-a-font.ttf";
  std::ofstream(notAFont) << "not a font at all";
  const std::string empty = testing::TempDir() + "empty.ttf";
  std::ofstream(empty).flush();
  for (const std::string& path : {notAFont, empty, std::string("/nonexistent/vera.ttf")}) {
    EXPECT_FALSE(Font_Create(10, path.c_str())) << path;
    EXPECT_EQ(core.font.glyphCount, 0) << path;
    EXPECT_EQ(core.font.glyphs, nullptr) << path;
    EXPECT_EQ(Font_TextWidth("AB"), 0) << path;
  }
  // Printing without a font draws nothing and must not touch the arrays.
  const float white[4] = {1, 1, 1, 1};
  Font_Print(0, 0, "AB", white);
}

TEST_F(FontTest, CreatingTwiceKeepsOneFont) {
  ASSERT_TRUE(Font_Create(10, veraPath()));
  ASSERT_TRUE(Font_Create(10, veraPath()));
  EXPECT_EQ(core.font.glyphCount, 268);
  Font_Destroy();
  EXPECT_EQ(core.font.glyphCount, 0);
  EXPECT_EQ(core.font.listBase, 0u);
  EXPECT_EQ(core.font.maxTop, 0);
}

}  // namespace
