// Numbers in OBJ and MTL text: ReadFloat and ReadIndex against the C
// library's atof and atoi themselves, on a table of the forms they accept and
// on many random texts, compared bit for bit.
#include "geometry/number_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

// atof's result as the loader stores it, as a bit pattern.
uint32_t AtofBits(const std::string& text) {
  const float value = static_cast<float>(std::atof(text.c_str()));
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

uint32_t ReadFloatBits(const std::string& text) {
  const float value = ReadFloat(text.data(), text.data() + text.size());
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(ReadFloat, GivesWhatAtofGives) {
  const char* const texts[] = {
      // plain decimals, the loader's fast path
      "0", "-0", "1", "-1", "0.5", ".5", "-.5", "5.", "12.250000", "-0.034512", "0.1", "3.4028235e38",
      "123456789012345678", "1234567890123456789", "12345678901234567890", "9007199254740993", "0.1000000000000000055511151231257827",
      "1.00000005960464477550", "0.000000000000000000000001", "4.9406564584124654e-324", "2.4703282292062327e-324",
      // exponents, overflow and underflow
      "1e5", "1E-5", "1e+5", "1.5e", "1e+", "1e-", "2e308", "-2e308", "1e-400", "-1e-400", "1e999999999999999999",
      "3.4028236e38", "3.40282357e38", "1e-46", "7e-46", "1.4e-45",
      // what atof accepts beyond plain decimals
      "+1.5", "+-1", "-+1", " 1", "\t2.5", "\v\f\r 3", "0x10", "0X1p4", "-0x.8", "0x", "0xg", "inf", "-INF", "infinity",
      "infinit", "nan", "-nan", "NaN(123)", "nan(", "1abc", "1.5.3", "1,5", "1e5e5", "..5",
      // nothing that converts
      "", "-", "+", ".", "-.", "abc", "e5", "\t", "--1", "- 1",
  };
  for (const char* text : texts) EXPECT_EQ(ReadFloatBits(text), AtofBits(text)) << "'" << text << "'";
}

// The in-place path must stop where atof stops or hand over: wherever it
// returns a stop, what it read is atof's value of the text up to the stop.
TEST(ReadFloat, ThePlainPathAgreesWithAtofOnRandomText) {
  std::mt19937 random(11);
  const std::string alphabet = "0123456789000000000.-+eExXinaf \t";
  for (int i = 0; i < 200000; ++i) {
    std::string text;
    const int length = std::uniform_int_distribution<int>(0, 28)(random);
    const int style = i % 4;
    for (int k = 0; k < length; ++k) {
      if (style == 0) {  // mostly digits, one point, sometimes a sign: the fast path
        text += static_cast<char>('0' + random() % 10);
        if (k == 2 && random() % 2) text += '.';
      } else {
        text += alphabet[random() % alphabet.size()];
      }
    }
    if (style == 0 && random() % 2) text.insert(0, "-");
    ASSERT_EQ(ReadFloatBits(text), AtofBits(text)) << "'" << text << "'";
    float value;
    const char* stop = ReadPlainFloat(text.data(), text.data() + text.size(), value);
    if (stop) {
      const std::string read(text.c_str(), stop);
      uint32_t bits;
      std::memcpy(&bits, &value, sizeof bits);
      ASSERT_EQ(bits, AtofBits(read)) << "'" << text << "' read as '" << read << "'";
      ASSERT_EQ(AtofBits(read), AtofBits(text)) << "'" << text << "' stops early at '" << read << "'";
    }
  }
}

// Random doubles printed in the forms exporters use, shortest and long.
TEST(ReadFloat, PrintedNumbersReadBack) {
  std::mt19937_64 random(7);
  char text[64];
  for (int i = 0; i < 100000; ++i) {
    uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (!std::isfinite(value)) continue;
    const char* const formats[] = {"%.6f", "%.9g", "%.17g", "%a", "%.3e"};
    int exponent;
    const double scaled = i % 2 ? value : std::ldexp(std::frexp(value, &exponent), static_cast<int>(random() % 40) - 20);
    std::snprintf(text, sizeof text, formats[i % 5], scaled);
    ASSERT_EQ(ReadFloatBits(text), AtofBits(text)) << text;
  }
}

TEST(ReadIndex, GivesWhatAtoiGives) {
  const char* const texts[] = {
      "0", "1", "-1", "17", "2147483647", "-2147483648", "+5", "+-5", "-+5", " 7", "\t\v\f\r8", "9x", "3.9", "3//4",
      "0x10", "", "-", "+", "abc", " ", "007", "1e3",
  };
  for (const char* text : texts)
    EXPECT_EQ(ReadIndex(text, text + std::strlen(text)), std::atoi(text)) << "'" << text << "'";
}

// Beyond int, where atoi has no defined result, the index stays beyond any
// list's range, with its sign.
TEST(ReadIndex, HugeValuesStayOutOfRange) {
  const char* const texts[] = {"2147483648", "99999999999999999999", "-2147483649", "-99999999999999999999999"};
  for (const char* text : texts) {
    const int64_t value = ReadIndex(text, text + std::strlen(text));
    EXPECT_GT(value < 0 ? -value : value, int64_t{INT32_MAX}) << text;
    EXPECT_EQ(value < 0, text[0] == '-') << text;
  }
}

}  // namespace
