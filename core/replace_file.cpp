// Replacing a file whole: the settings file and the message log are always
// either the old or the new complete file, whatever happens mid-write. The
// replacement keeps what a user set up around the old file, as writing it in
// place would: its permission bits (and owner, where allowed), a symbolic
// link in its place, and its refusal to be written when it is read-only.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "core/core.h"

namespace {

// Follows symbolic links from path to the file a write would reach; a
// relative link target counts from the directory of its link. False when the
// links loop or cannot be read.
bool followLinks(std::string& path) {
  for (int hops = 0; hops < 40; ++hops) {  // the kernel's own limit
    struct stat status;
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return true;
    char target[PATH_MAX];
    const ssize_t length = readlink(path.c_str(), target, sizeof target);
    if (length < 0) return false;
    if (static_cast<size_t>(length) >= sizeof target) {
      errno = ENAMETOOLONG;
      return false;
    }
    const std::string link(target, static_cast<size_t>(length));
    const size_t slash = path.rfind('/');
    if (link[0] == '/' || slash == std::string::npos)
      path = link;
    else
      path = path.substr(0, slash + 1) + link;
  }
  errno = ELOOP;
  return false;
}

bool writeAll(int fd, const std::string& bytes) {
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = ENOSPC;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

// Gives the new file the old one's owner and permission bits. The owner goes
// first, since changing it clears the set-id bits; when it cannot be kept,
// those bits are not handed to the new owner.
bool keepOwnerAndMode(int fd, const struct stat& old) {
  mode_t mode = old.st_mode & 07777;
  struct stat now;
  if (fstat(fd, &now) != 0) return false;
  if ((now.st_uid != old.st_uid || now.st_gid != old.st_gid) &&
      fchown(fd, old.st_uid, old.st_gid) != 0)
    mode &= ~static_cast<mode_t>(S_ISUID | S_ISGID);
  return fchmod(fd, mode) == 0;
}

}  // namespace

bool Core_ReplaceFile(const char* path, const std::string& bytes) {
  // Through a symbolic link the link's target is replaced, beside the target,
  // and the link stays.
  std::string target = path;
  if (!followLinks(target)) return false;
  struct stat old;
  const bool hadOld = stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode);
  if (hadOld) {
    // A file that may not be opened for writing is not replaced either.
    const int probe = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (probe < 0) return false;
    close(probe);
  }
  // The process id keeps two programs in one directory from sharing a
  // temporary file.
  const std::string temporary = target + "." + std::to_string(getpid()) + ".tmp";
  const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool ok = writeAll(fd, bytes);
  if (ok && hadOld) ok = keepOwnerAndMode(fd, old);
  int reason = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    reason = errno;
  }
  if (ok && rename(temporary.c_str(), target.c_str()) == 0) return true;
  if (ok) reason = errno;
  unlink(temporary.c_str());
  errno = reason;  // the failure's, not the clean-up's
  return false;
}
