// A text file read whole into memory, and the lines in it as the OBJ and MTL
// readers see them.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

// Zero bytes kept after the text: a reader may look this far past a number
// or a line without checking for the end of the text first, and finds a
// byte that is neither a digit nor a blank nor a line feed.
constexpr std::size_t kTextPadding = 16;

struct FileText {
  struct Free {
    void operator()(char* bytes) const { std::free(bytes); }
  };
  // The bytes of the file followed by kTextPadding zero bytes; owned.
  std::unique_ptr<char, Free> data;
  std::size_t size = 0;  // without the padding

  const char* begin() const { return data.get(); }
  const char* end() const { return data.get() + size; }
};

// Reads the file at path whole and closes it. False if it cannot be opened;
// a read error ends the text where it happened, like the end of the file
// (so a directory opens and reads as empty).
bool ReadWholeFile(const std::string& path, FileText& text);

// The longest line kept, as by a 1024-byte line buffer with its terminator.
constexpr std::size_t kMaxLineLength = 1023;

// Walks the lines of a text. A line ends at a line feed, which is dropped
// together with a carriage return right before it; a last line without a
// line feed counts too. A line longer than kMaxLineLength is given cut to
// that length and is the last one: nothing after it is read.
struct LineCursor {
  const char* at;
  const char* end;
  bool stopped = false;

  LineCursor(const char* begin, const char* end_) : at(begin), end(end_) {}

  bool next(const char*& lineBegin, const char*& lineEnd);
};

inline bool LineCursor::next(const char*& lineBegin, const char*& lineEnd) {
  if (stopped || at >= end) return false;
  const char* lf = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
  lineBegin = at;
  lineEnd = lf ? lf : end;
  if (lf && lineEnd > lineBegin && lineEnd[-1] == '\r') --lineEnd;
  at = lf ? lf + 1 : end;
  if (static_cast<std::size_t>(lineEnd - lineBegin) > kMaxLineLength) {
    lineEnd = lineBegin + kMaxLineLength;
    stopped = true;
  }
  return true;
}
