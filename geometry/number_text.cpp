#include "geometry/number_text.h"

#include <fast_float/fast_float.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The blanks isspace() knows in the C locale, which atof and atoi skip.
bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

const char* ReadDecimalFloat(const char* begin, const char* end, float& value) {
  const char* s = begin;
  if (s < end && *s == '-') ++s;
  if (s == end || !(IsDigit(*s) || *s == '.')) return nullptr;
  // "0x" starts a hexadecimal number for atof; fast_float would stop at 'x'.
  if (*s == '0' && s + 1 < end && (s[1] == 'x' || s[1] == 'X')) return nullptr;
  // fast_float reads the sign itself. For decimal text it gives the
  // correctly rounded double, as glibc's strtod does, infinities and
  // subnormals included.
  double number;
  const fast_float::from_chars_result result = fast_float::from_chars(begin, end, number);
  if (result.ec != std::errc()) return nullptr;  // "." or "-.": atof decides
  value = static_cast<float>(number);
  return result.ptr;
}

float ReadFloat(const char* begin, const char* end) {
  float value;
  if (ReadDecimalFloat(begin, end, value)) return value;
  // Everything else (leading blanks, '+', hexadecimal, "inf", "nan", text
  // that is no number) goes to atof itself, on a terminated copy. Lines are
  // at most 1023 characters, so the copy is small.
  const std::string copy(begin, end);
  return static_cast<float>(std::atof(copy.c_str()));
}

int64_t ReadIndex(const char* begin, const char* end) {
  while (begin < end && IsBlank(*begin)) ++begin;
  bool negative = false;
  if (begin < end && (*begin == '+' || *begin == '-')) negative = *begin++ == '-';
  int64_t value = 0;
  for (; begin < end && IsDigit(*begin); ++begin) {
    if (value < (int64_t{1} << 40)) value = value * 10 + (*begin - '0');
  }
  return negative ? -value : value;
}
