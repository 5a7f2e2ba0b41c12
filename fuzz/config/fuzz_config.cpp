// Feeds arbitrary bytes to the settings reader as "config.dat": it must keep
// a usable colour depth and aspect ratio, and never crash.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "core/core.h"
#include "platform/platform.h"

namespace {

void check(bool condition) {
  if (!condition) abort();
}

// A private working directory, and a quiet console: the reader logs a label
// on every call.
bool prepare() {
  char pattern[] = "/tmp/chamber-fuzz-config-XXXXXX";
  if (!mkdtemp(pattern) || chdir(pattern) != 0) abort();
  if (!freopen("/dev/null", "w", stdout)) abort();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = prepare();
  (void)ready;
  if (FILE* file = fopen("config.dat", "wb")) {
    fwrite(data, 1, size, file);
    fclose(file);
  }
  core = CoreState();
  core.width = 640;
  core.height = 480;
  core.bitDepth = 32;
  core.windowMode = GLFW_WINDOW;
  Core_Initialize_LoadConfig();
  // Only a depth of 16 or 32 is ever taken from the file.
  check(core.bitDepth == 16 || core.bitDepth == 32);
  const double aspect = Core_AspectRatio();
  check(aspect == aspect && aspect >= 0);  // never NaN, never negative
  check(aspect <= 4294967295.0);           // finite: a height of 0 gives 1
  return 0;
}
