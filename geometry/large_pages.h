// Memory for large blocks that are about to be filled, on 2 MiB pages.
//
// Linux backs memory with 4 KiB pages by default, and on a virtual machine
// the first touch of each page is a costly fault (about 13 µs each on the
// machines this was measured on): for a large model, writing the file text
// and the triangle list page by page would be most of the load time. With
// the usual setting ("madvise") large pages are used only where asked for,
// and only for whole 2 MiB pages inside a block.
#pragma once

#include <cstddef>

// How much of a block will be written.
enum class Filling {
  kWhole,         // all of it
  kFromTheStart,  // from its start, for a length only bounded by its size
};

// Marks the whole 2 MiB pages inside [data, data + bytes) for large pages.
// The 4 KiB pages before the first of them, and after the last when the
// block will be written whole, are faulted in with one call each instead of
// one fault per page as they are written. Only memory not touched yet
// benefits. Does nothing elsewhere than Linux.
void PrepareForFilling(void* data, std::size_t bytes, Filling filling);

// Allocates bytes (which may be 0) for a buffer about to be filled: blocks
// of 512 KiB and more are rounded up to whole 2 MiB pages, on large pages.
// Returns nullptr when memory runs out. Release with std::free.
char* AllocateForFilling(std::size_t bytes);
