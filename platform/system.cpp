// Directory listing and sleep, over POSIX.
#include <dirent.h>
#include <time.h>

#include <cerrno>

#include "platform/platform.h"

std::vector<std::string> Platform_ListDirectory(const char* path) {
  std::vector<std::string> names;
  DIR* dir = opendir(path);
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) names.emplace_back(entry->d_name);
  closedir(dir);
  return names;
}

void Platform_Sleep(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec request{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
  while (nanosleep(&request, &request) == -1 && errno == EINTR) {
  }
}
