// Numbers in OBJ and MTL text, read exactly as the C library's atof and atoi
// read a token on its own, but without copying the token into a string.
#pragma once

#include <cstdint>

// The float atof gives for the token [begin, end): leading blanks skipped, an
// optional sign, decimal or hexadecimal digits, "inf" or "nan"; conversion
// stops at the first character that does not fit, and 0 when nothing
// converts. atof's double is rounded to float afterwards, as assigning it to
// a float would (parsing straight to float could round differently).
float ReadFloat(const char* begin, const char* end);

// atoi on the token [begin, end) (leading blanks, an optional sign, decimal
// digits up to the first other character), widened to 64 bits. Values beyond
// what atoi can hold, where atoi itself is undefined, saturate near ±2^40
// instead of wrapping: such an index is out of range either way.
int64_t ReadIndex(const char* begin, const char* end);

// The decimal path of ReadFloat, for the loader's inner loop: reads the
// number at begin when it starts with a digit, a '.', or a '-' followed by
// one of those (and is not hexadecimal), and returns where it stopped, which
// may be before end: the caller checks that the token ends there. Returns
// nullptr when the number needs ReadFloat's general path.
const char* ReadDecimalFloat(const char* begin, const char* end, float& value);

// The commonest form of all, "[-]digits[.digits]" with at most 15 digits
// and no exponent, read in place; otherwise ReadDecimalFloat. The digits make
// an exact integer m and the result is m / 10^k for k digits after the point:
// when m <= 2^53 and k <= 22 both are exact doubles, so the one division
// rounds correctly, as strtod does (Clinger's fast path, which fast_float
// takes for these numbers too).
//
// The text must go on past end with a byte that cannot continue a number (a
// zero byte, as after a std::string or a FileText): the digits are read up
// to the first non-digit without comparing each position with end.
inline const char* ReadPlainFloat(const char* begin, const char* end, float& value) {
  static const double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = begin;
  const bool negative = *p == '-';
  p += negative;
  uint64_t mantissa = 0;  // wraps harmlessly past 19 digits, which are refused
  const char* const digits = p;
  for (unsigned d; (d = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10; ++p) mantissa = mantissa * 10 + d;
  const char* const point = p;
  int64_t fraction = 0;
  if (*p == '.') {
    ++p;
    const char* const first = p;
    for (unsigned d; (d = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10; ++p) mantissa = mantissa * 10 + d;
    fraction = p - first;
  }
  const int64_t digitCount = (point - digits) + fraction;
  // Anything else: no digits at all, more than 15 digits (up to 15, m is
  // below 2^53 and k at most 15), an exponent or hexadecimal number going on
  // after the digits, or a number that runs past end.
  const char next = static_cast<char>(*p | 0x20);  // lower case, for letters
  if (static_cast<uint64_t>(digitCount - 1) >= 15 || p > end || next == 'e' || next == 'x')
    return ReadDecimalFloat(begin, end, value);
  const double number = static_cast<double>(mantissa) / kPowersOfTen[fraction];
  value = static_cast<float>(negative ? -number : number);
  return p;
}
