#include "sandbox/notices.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/core.h"

namespace {

std::vector<std::string> lines;
std::string roomsLine;  // the container file's problem among them; empty when none

constexpr float kMargin = 10;     // pixels from the window's edges
constexpr float kLinePitch = 20;  // pixels, as in the debug panel
const float kOrange[4] = {1, 0.6f, 0.2f, 1};

}  // namespace

void Notices_Clear() {
  lines.clear();
  roomsLine.clear();
}

void Notices_Add(const std::string& line) {
  std::fprintf(stderr, "chamber: %s\n", line.c_str());
  lines.push_back(line);
}

void Notices_AddRooms(const std::string& line) {
  Notices_Add(line);
  roomsLine = line;
}

void Notices_RoomsReloaded() {
  if (roomsLine.empty()) return;
  for (auto it = lines.begin(); it != lines.end(); ++it)
    if (*it == roomsLine) {
      lines.erase(it);
      break;
    }
  roomsLine.clear();
}

const std::vector<std::string>& Notices_Lines() { return lines; }

void Notices_FontFailed(const char* path) {
  const std::string name = std::string("font file '") + path + "'";
  errno = 0;
  if (std::FILE* file = std::fopen(path, "rb")) {
    std::fclose(file);
    Notices_Add(core.font.glyphCount > 0
                    ? name + " could not be read whole: some characters will not show"
                    : name + " is not a font the program can read: no text will show");
  } else {
    Notices_Add("cannot open " + name + ": " + std::strerror(errno) + ": no text will show");
  }
}

void Notices_Draw() {
  const float bottom = static_cast<float>(static_cast<unsigned>(core.height)) - kMargin;
  const size_t count = lines.size();
  for (size_t i = 0; i < count; ++i)
    Font_Print(kMargin, bottom - kLinePitch * static_cast<float>(count - i), lines[i].c_str(), kOrange);
}
