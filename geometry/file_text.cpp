#include "geometry/file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "geometry/large_pages.h"

namespace {

// Room for `capacity` bytes of text and the padding after them.
char* AllocateText(std::size_t capacity) {
  char* data = AllocateForFilling(capacity + kTextPadding);
  if (!data) throw std::bad_alloc();
  return data;
}

}  // namespace

bool ReadWholeFile(const std::string& path, FileText& text) {
  const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  // The size of a regular file tells how much to allocate; the reading
  // below does not rely on it, since a file can change size. Other files
  // have no size to trust (seeking to the end of a directory gives a huge
  // position on some file systems), so their buffer grows as they are read.
  std::size_t capacity = 4096;
  struct stat status;
  if (fstat(file, &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
    capacity = static_cast<std::size_t>(status.st_size) + 1;  // +1: the end is seen in one go
  std::unique_ptr<char, FileText::Free> data(AllocateText(capacity));
  std::size_t size = 0;
  for (;;) {
    if (size == capacity) {
      std::unique_ptr<char, FileText::Free> larger(AllocateText(2 * capacity));
      std::memcpy(larger.get(), data.get(), size);
      data = std::move(larger);
      capacity *= 2;
    }
    const ssize_t got = read(file, data.get() + size, capacity - size);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    size += static_cast<std::size_t>(got);
  }
  close(file);
  std::memset(data.get() + size, 0, kTextPadding);
  text.data = std::move(data);
  text.size = size;
  return true;
}
