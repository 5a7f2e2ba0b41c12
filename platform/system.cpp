// Directory listing and sleep, over POSIX, and the retrying of display calls.
#include <dirent.h>
#include <time.h>

#include <cerrno>
#include <cstdio>

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

namespace {
int displayFailuresReported = 0;
}  // namespace

bool Platform_TryDisplayCall(const char* what, const std::function<bool()>& attempt,
                             const std::function<std::string()>& lastError) {
  for (int i = 0; i < Platform_DisplayAttempts; ++i) {
    if (i > 0) Platform_Sleep(Platform_DisplayRetryMilliseconds);
    if (attempt()) return true;
  }
  const std::string error = lastError();
  std::fprintf(stderr, "chamber: %s: %s\n", what, error.empty() ? "no error text" : error.c_str());
  ++displayFailuresReported;
  return false;
}

int Platform_DisplayFailuresReported() { return displayFailuresReported; }
