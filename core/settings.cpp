// The settings file "config.dat": width, height, colour depth and window
// mode, one unsigned decimal number per line.
#include <cstdio>

#include "core/core.h"

void Core_Initialize_LoadConfig() {
  Core_LogMessage("Core_Initialize_LoadConfig");
  unsigned width = 0, height = 0, depth = 0, mode = 0;
  if (FILE* file = fopen("config.dat", "r")) {
    // A value that cannot be read stays 0, and so do the ones after it.
    for (unsigned* field : {&width, &height, &depth, &mode})
      if (fscanf(file, "%u", field) != 1) break;
    fclose(file);
  }
  // Only the colour depth is checked; a file with any other depth is ignored
  // whole, so the defaults stay.
  if (depth == 16 || depth == 32) {
    core.width = static_cast<int>(width);
    core.height = static_cast<int>(height);
    core.bitDepth = static_cast<int>(depth);
    core.windowMode = static_cast<int>(mode);
  }
}

void Core_Initialize_SaveConfig() {
  Core_LogMessage("Core_Initialize_SaveConfig");
  char text[64];
  snprintf(text, sizeof text, "%u\n%u\n%u\n%u\n", static_cast<unsigned>(core.width),
           static_cast<unsigned>(core.height), static_cast<unsigned>(core.bitDepth),
           static_cast<unsigned>(core.windowMode));
  // When the file cannot be written the old one stays as it was, and the
  // display-mode change that asked for the save reopens with its values.
  Core_ReplaceFile("config.dat", text);
}
