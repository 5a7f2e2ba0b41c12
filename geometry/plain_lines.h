// The loader's fast path: the "v", "vn" and "f" lines that make up nearly
// all of a large OBJ file, in their common forms (plain decimal numbers,
// single spaces, corners "v", "v/t", "v//n" and "v/t/n" in plain digits),
// read in one sweep up to and including their line feed. Each reader returns
// where the next line starts, or nullptr to leave the line to the general
// reading, which then reads it from its start (nothing is stored here).
//
// The text must end in FileText's zero padding: the readers look at the
// byte after a number, a corner or a keyword without checking first whether
// the text has ended, and a zero byte continues no number, corner or line.
#pragma once

#include <cstddef>
#include <cstdint>

#include "geometry/file_text.h"
#include "geometry/number_text.h"
#include "geometry/vector.h"

// One corner of a face, resolved against the lists as they stand.
struct Corner {
  int32_t vertex;  // 0-based; -1 when the corner names no vertex
  int32_t normal;  // 0-based into the normals read so far; -1 for none
};

// Where the line that has reached p ends: the position after its line feed
// (or the end of the text) if p is at the end of the line, else nullptr.
// Lines that must be cut are left to the general reading.
inline const char* PlainLineEnd(const char* p, const char* textEnd, const char* line) {
  if (static_cast<size_t>(p - line) > kMaxLineLength) return nullptr;
  if (p == textEnd) return p;
  if (*p == '\n') return p + 1;
  if (*p == '\r' && p[1] == '\n') return p + 2;  // p[1] is at worst the padding
  return nullptr;
}

// Plain digits at p, read up to the first non-digit; nullptr if there are
// none, or more than 9 (where atoi's int could overflow).
inline const char* ReadPlainDigits(const char* p, uint32_t& value) {
  const char* const first = p;
  uint32_t v = 0;  // wraps past 9 digits, which are refused
  for (unsigned d; (d = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10; ++p) v = v * 10 + d;
  if (p == first || p - first > 9) return nullptr;
  value = v;
  return p;
}

// A corner in one of the usual forms with v > 0, at p: sets v and n (0 for
// no normal) and returns where the corner stopped; nullptr for any other
// form.
inline const char* ReadPlainCorner(const char* p, uint32_t& v, uint32_t& n) {
  p = ReadPlainDigits(p, v);
  if (!p || v == 0) return nullptr;
  n = 0;
  if (*p != '/') return p;                               // "v"
  ++p;
  if (*p == '/') return ReadPlainDigits(p + 1, n);       // "v//n"
  uint32_t t;
  p = ReadPlainDigits(p, t);
  if (!p || *p != '/') return p;                         // "v/t", or no plain form
  return ReadPlainDigits(p + 1, n);                      // "v/t/n"
}

// "f" and three or four plain corners. Sets the corners read and their
// count.
inline const char* ReadPlainFaceLine(const char* line, const char* textEnd, size_t normalCount, Corner c[4],
                                     int& corners) {
  const char* p = line + 2;
  corners = 0;
  for (;;) {
    uint32_t v, n;
    p = ReadPlainCorner(p, v, n);
    if (!p) return nullptr;
    c[corners].vertex = static_cast<int32_t>(v - 1);
    c[corners].normal = n != 0 && n <= normalCount ? static_cast<int32_t>(n - 1) : -1;  // 1-based
    ++corners;
    if (*p != ' ') break;
    if (corners == 4) return nullptr;  // more tokens: the general reading
    ++p;
  }
  return corners >= 3 ? PlainLineEnd(p, textEnd, line) : nullptr;
}

// "v" or "vn" and three plain numbers starting at `numbers`.
inline const char* ReadPlainVectorLine(const char* line, const char* textEnd, const char* numbers, vec3f& value) {
  const char* p = ReadPlainFloat(numbers, textEnd, value.x);
  if (!p || *p != ' ') return nullptr;
  p = ReadPlainFloat(p + 1, textEnd, value.y);
  if (!p || *p != ' ') return nullptr;
  p = ReadPlainFloat(p + 1, textEnd, value.z);
  return p ? PlainLineEnd(p, textEnd, line) : nullptr;
}
