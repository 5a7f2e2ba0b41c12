// A file's stamp, from stat().
#include <sys/stat.h>

#include "watch/file_watch.h"

namespace watch {

bool operator==(const FileStamp& a, const FileStamp& b) {
  return a.exists == b.exists && a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.modifiedNs == b.modifiedNs && a.changedNs == b.changedNs;
}

bool operator!=(const FileStamp& a, const FileStamp& b) { return !(a == b); }

FileStamp stampOf(const std::string& path) {
  FileStamp stamp;
  struct stat status;
  // stat, not lstat: a link is followed to the file it names, which is what
  // a reader opens.
  if (stat(path.c_str(), &status) != 0) return stamp;
  stamp.exists = true;
  stamp.device = static_cast<uint64_t>(status.st_dev);
  stamp.inode = static_cast<uint64_t>(status.st_ino);
  stamp.size = static_cast<int64_t>(status.st_size);
  stamp.modifiedNs = static_cast<int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
  stamp.changedNs = static_cast<int64_t>(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;
  return stamp;
}

}  // namespace watch
