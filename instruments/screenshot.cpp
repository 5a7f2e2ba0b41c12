// F12: the frame just drawn, saved as the first free "screenshot-NNNN.png"
// of the working directory. The file is written whole under a temporary name
// and renamed, so a reader never sees half an image.
#include <GL/gl.h>
#include <png.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/core.h"
#include "instruments/instruments.h"
#include "instruments/screenshot.h"

namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::string*>(png_get_io_ptr(png));
  out->append(reinterpret_cast<const char*>(data), size);
}

void noFlush(png_structp) {}

}  // namespace

bool Screenshot_EncodePng(int width, int height, const std::vector<unsigned char>& rgbBottomUp,
                          std::string* png) {
  if (width <= 0 || height <= 0 ||
      rgbBottomUp.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3)
    return false;
  png_structp writer = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!writer) return false;
  png_infop info = png_create_info_struct(writer);
  // The rows outlive the longjmp below; libpng reports its errors through it.
  std::vector<png_bytep> rows(static_cast<size_t>(height));
  std::string encoded;
  if (!info || setjmp(png_jmpbuf(writer))) {
    png_destroy_write_struct(&writer, info ? &info : nullptr);
    return false;
  }
  png_set_write_fn(writer, &encoded, appendBytes, noFlush);
  png_set_IHDR(writer, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  // OpenGL hands the rows bottom first; a PNG starts at the top.
  const size_t stride = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y)
    rows[static_cast<size_t>(y)] = const_cast<png_bytep>(
        rgbBottomUp.data() + stride * static_cast<size_t>(height - 1 - y));
  png_set_rows(writer, info, rows.data());
  png_write_png(writer, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_destroy_write_struct(&writer, &info);
  *png = std::move(encoded);
  return true;
}

std::string Screenshot_Name(int number) {
  char name[32];
  snprintf(name, sizeof name, "screenshot-%04d.png", number);
  return name;
}

std::string Screenshot_FirstFreeName() {
  for (int number = 1; number <= kMaxScreenshots; ++number) {
    const std::string name = Screenshot_Name(number);
    struct stat entry;
    // Any entry counts as taken, a dangling link included.
    if (lstat(name.c_str(), &entry) != 0) return name;
  }
  return "";
}

bool Screenshot_Save(int width, int height, const std::vector<unsigned char>& rgbBottomUp,
                     std::string* savedAs) {
  std::string png;
  const std::string name = Screenshot_FirstFreeName();
  *savedAs = name;
  if (name.empty() || !Screenshot_EncodePng(width, height, rgbBottomUp, &png)) return false;
  return Core_ReplaceFile(name.c_str(), png);
}

void Instruments_EndFrame() {
  if (!instruments.screenshotRequested) return;
  instruments.screenshotRequested = false;
  const int width = core.width, height = core.height;
  std::vector<unsigned char> rgb;
  if (width > 0 && height > 0) {
    rgb.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    GLint alignment = 4;
    glGetIntegerv(GL_PACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb.data());
    glPixelStorei(GL_PACK_ALIGNMENT, alignment);
  }
  std::string name;
  if (Screenshot_Save(width, height, rgb, &name))
    printf("Screenshot saved: %s\n", name.c_str());
  else if (name.empty())
    printf("Screenshot not saved: no free name from %s to %s\n", Screenshot_Name(1).c_str(),
           Screenshot_Name(kMaxScreenshots).c_str());
  else
    printf("Screenshot not saved: cannot write %s\n", name.c_str());
}
