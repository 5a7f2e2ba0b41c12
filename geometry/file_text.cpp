#include "geometry/file_text.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "geometry/large_pages.h"

bool ReadWholeFile(const std::string& path, FileText& text) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  // The size of a regular file tells how much to allocate; the reading
  // below does not rely on it, since a file can change size. Other files
  // have no size to trust (seeking to the end of a directory gives a huge
  // position on some file systems), so their buffer grows as they are read.
  size_t capacity = 4096;
  struct stat status;
  if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) && status.st_size > 0)
    capacity = static_cast<size_t>(status.st_size) + 1;  // +1: the end is seen in one go
  std::unique_ptr<char[]> data(new char[capacity]);
  PreferLargePages(data.get(), capacity);
  size_t size = 0;
  for (;;) {
    if (size == capacity) {
      std::unique_ptr<char[]> larger(new char[2 * capacity]);
      std::memcpy(larger.get(), data.get(), size);
      data = std::move(larger);
      capacity *= 2;
    }
    const size_t got = std::fread(data.get() + size, 1, capacity - size, file);
    size += got;
    if (got == 0) break;
  }
  std::fclose(file);
  text.data = std::move(data);
  text.size = size;
  return true;
}
