// Asking Linux for 2 MiB pages for large blocks that are about to be filled.
//
// Linux backs memory with 4 KiB pages by default, and on a virtual machine
// the first touch of each page is a costly fault: for a large model, writing
// the file text and the triangle list page by page would be much of the load
// time. With this machine's setting ("madvise") large pages are used only
// where asked for.
#pragma once

#include <cstddef>

// Marks the whole 2 MiB pages inside [data, data + bytes) for large pages.
// Only memory not touched yet benefits. Does nothing elsewhere than Linux.
void PreferLargePages(const void* data, std::size_t bytes);
