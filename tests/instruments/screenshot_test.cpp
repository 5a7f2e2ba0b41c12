// Screenshot files: PNG bytes, free names, never over an existing file.
#include <png.h>
#include <sys/stat.h>

#include <random>

#include "instruments/screenshot.h"
#include "tests/core/core_fixture.h"

namespace {

// Decodes PNG bytes to top-down RGB; false when libpng rejects them.
bool decode(const std::string& png, int* width, int* height, std::vector<unsigned char>* rgb) {
  png_image image = {};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, png.data(), png.size())) return false;
  image.format = PNG_FORMAT_RGB;
  rgb->resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb->data(), 0, nullptr)) return false;
  *width = static_cast<int>(image.width);
  *height = static_cast<int>(image.height);
  return true;
}

TEST(ScreenshotPng, RoundTripsWithTheRowsTurnedTopDown) {
  std::mt19937 random(3);
  for (const auto& size : {std::pair<int, int>{1, 1}, {3, 2}, {7, 5}, {640, 480}}) {
    const int w = size.first, h = size.second;
    std::vector<unsigned char> bottomUp(static_cast<size_t>(w * h * 3));
    for (unsigned char& b : bottomUp) b = static_cast<unsigned char>(random());
    std::string png;
    ASSERT_TRUE(Screenshot_EncodePng(w, h, bottomUp, &png));
    int dw = 0, dh = 0;
    std::vector<unsigned char> topDown;
    ASSERT_TRUE(decode(png, &dw, &dh, &topDown));
    ASSERT_EQ(dw, w);
    ASSERT_EQ(dh, h);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < 3 * w; ++x)
        ASSERT_EQ(topDown[static_cast<size_t>(y * 3 * w + x)],
                  bottomUp[static_cast<size_t>((h - 1 - y) * 3 * w + x)])
            << w << "x" << h << " at " << x << "," << y;
  }
}

TEST(ScreenshotPng, RefusesEmptyImagesAndWrongBuffers) {
  std::string png;
  EXPECT_FALSE(Screenshot_EncodePng(0, 10, {}, &png));
  EXPECT_FALSE(Screenshot_EncodePng(2, 2, std::vector<unsigned char>(11), &png));
  EXPECT_FALSE(Screenshot_EncodePng(-2, -2, std::vector<unsigned char>(12), &png));
}

class ScreenshotFileTest : public CoreTest {};

TEST_F(ScreenshotFileTest, TakesTheFirstFreeNumberAndNeverReplacesAFile) {
  const std::vector<unsigned char> pixel = {255, 0, 0};
  std::string name;
  ASSERT_TRUE(Screenshot_Save(1, 1, pixel, &name));
  EXPECT_EQ(name, "screenshot-0001.png");
  // Taken names: a file, a directory and a dangling link.
  writeFile("screenshot-0002.png", "not mine");
  ASSERT_EQ(mkdir("screenshot-0003.png", 0755), 0);
  ASSERT_EQ(symlink("nowhere", "screenshot-0004.png"), 0);
  ASSERT_TRUE(Screenshot_Save(1, 1, pixel, &name));
  EXPECT_EQ(name, "screenshot-0005.png");
  EXPECT_EQ(readFile("screenshot-0002.png"), "not mine");
  // A gap is filled first.
  ASSERT_EQ(unlink("screenshot-0001.png"), 0);
  EXPECT_EQ(Screenshot_FirstFreeName(), "screenshot-0001.png");
  // Nothing but the screenshots was left behind.
  EXPECT_EQ(Platform_ListDirectory(".").size(), 2u + 4u);
}

TEST_F(ScreenshotFileTest, ADirectoryThatCannotBeWrittenGetsNoFile) {
  // Even root cannot create files in /proc.
  ASSERT_EQ(chdir("/proc"), 0);
  std::string name;
  EXPECT_FALSE(Screenshot_Save(1, 1, {1, 2, 3}, &name));
  EXPECT_EQ(name, "screenshot-0001.png");
  EXPECT_FALSE(exists("screenshot-0001.png"));
}

TEST(ScreenshotName, IsFourDigitsFromOne) {
  EXPECT_EQ(Screenshot_Name(1), "screenshot-0001.png");
  EXPECT_EQ(Screenshot_Name(42), "screenshot-0042.png");
  EXPECT_EQ(Screenshot_Name(kMaxScreenshots), "screenshot-9999.png");
}

}  // namespace
