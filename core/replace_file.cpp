// Replacing a file whole: the settings file and the message log are always
// either the old or the new complete file, whatever happens mid-write.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/core.h"

bool Core_ReplaceFile(const char* path, const std::string& bytes) {
  // The process id keeps two programs in one directory from sharing a
  // temporary file.
  const std::string temporary = std::string(path) + "." + std::to_string(getpid()) + ".tmp";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  size_t written = 0;
  bool ok = true;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    written += static_cast<size_t>(n);
  }
  if (close(fd) != 0) ok = false;
  if (ok && rename(temporary.c_str(), path) == 0) return true;
  unlink(temporary.c_str());
  return false;
}
