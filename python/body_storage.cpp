// Body storage reserved once and committed page by page, so that a body
// never moves while the world lives: arrays viewing the bodies stay valid
// when bodies are added.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <new>

#include "python/world.h"

using Veruruve::Physics::CollisionSphere;

namespace chamber_python {
namespace {

std::size_t pageSize() {
  static const std::size_t size = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return size;
}

std::size_t roundUp(std::size_t bytes, std::size_t unit) {
  return (bytes + unit - 1) / unit * unit;
}

}  // namespace

BodyStorage::BodyStorage() {
  // Address space only: PROT_NONE pages cost no memory and count against no
  // commit limit until they are made writable.
  reservedBytes_ = roundUp(kMaxBodies * sizeof(CollisionSphere), pageSize());
  void* p =
      mmap(nullptr, reservedBytes_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  base_ = static_cast<CollisionSphere*>(p);
}

BodyStorage::~BodyStorage() {
  shrink(0);
  munmap(base_, reservedBytes_);
}

CollisionSphere* BodyStorage::append(const CollisionSphere& body) {
  if (count_ == kMaxBodies)
    throw WorldError(WorldError::kValue,
                     "a world holds at most " + std::to_string(kMaxBodies) + " bodies");
  const std::size_t needed = (count_ + 1) * sizeof(CollisionSphere);
  if (needed > committedBytes_) {
    // Grown by at least a quarter, so that adding balls one by one costs
    // few system calls.
    std::size_t grown =
        roundUp(std::max(needed, committedBytes_ + committedBytes_ / 4), pageSize());
    if (grown > reservedBytes_) grown = reservedBytes_;
    if (mprotect(reinterpret_cast<char*>(base_) + committedBytes_, grown - committedBytes_,
                 PROT_READ | PROT_WRITE) != 0)
      throw std::bad_alloc();
    committedBytes_ = grown;
  }
  CollisionSphere* slot = new (base_ + count_) CollisionSphere(body);
  ++count_;
  return slot;
}

void BodyStorage::shrink(std::size_t count) {
  while (count_ > count) base_[--count_].~CollisionSphere();
}

}  // namespace chamber_python
