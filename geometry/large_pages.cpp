#include "geometry/large_pages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

constexpr uintptr_t kLargePage = uintptr_t{2} << 20;
constexpr uintptr_t kSmallPage = 4096;

uintptr_t RoundDown(uintptr_t address, uintptr_t page) { return address & ~(page - 1); }
uintptr_t RoundUp(uintptr_t address, uintptr_t page) { return RoundDown(address + page - 1, page); }

}  // namespace

void PrepareForFilling(void* data, std::size_t bytes, Filling filling) {
#if defined(__linux__) && defined(MADV_HUGEPAGE) && defined(MADV_POPULATE_WRITE)
  const uintptr_t begin = reinterpret_cast<uintptr_t>(data);
  const uintptr_t end = begin + bytes;
  const uintptr_t largeBegin = RoundUp(begin, kLargePage);
  const uintptr_t largeEnd = RoundDown(end, kLargePage);
  if (largeEnd <= largeBegin) return;  // too small for a large page: left as it is
  madvise(reinterpret_cast<void*>(largeBegin), largeEnd - largeBegin, MADV_HUGEPAGE);
  // The small pages around the large ones. Failure (an older kernel) only
  // means that they fault in one by one.
  const uintptr_t headBegin = RoundDown(begin, kSmallPage);
  if (largeBegin > headBegin) madvise(reinterpret_cast<void*>(headBegin), largeBegin - headBegin, MADV_POPULATE_WRITE);
  const uintptr_t tailEnd = RoundUp(end, kSmallPage);
  if (filling == Filling::kWhole && tailEnd > largeEnd)
    madvise(reinterpret_cast<void*>(largeEnd), tailEnd - largeEnd, MADV_POPULATE_WRITE);
#else
  (void)data;
  (void)bytes;
  (void)filling;
#endif
}

char* AllocateForFilling(std::size_t bytes) {
  // From a quarter of a large page on, one large page (zeroed by the kernel
  // in one go) costs less than the small pages' faults.
  if (bytes < kLargePage / 4) return static_cast<char*>(std::malloc(std::max<std::size_t>(bytes, 1)));
  if (bytes > SIZE_MAX - kLargePage) return nullptr;
  const std::size_t rounded = RoundUp(bytes, kLargePage);
  char* data = static_cast<char*>(std::aligned_alloc(kLargePage, rounded));
  if (data) PrepareForFilling(data, rounded, Filling::kWhole);
  return data;
}
