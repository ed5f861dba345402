#pragma once

// Numbers of a coordinates text read and written fast: the projected export parses two fields
// and writes two numbers for every vertex.

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace decimal_text {

// Eight bytes that are all digits, the first in the lowest byte, as their value.
inline uint64_t EightDigits(uint64_t bytes) {
  bytes -= 0x3030303030303030;
  bytes = bytes * 10 + (bytes >> 8);
  constexpr uint64_t kMask = 0x000000FF000000FF;
  constexpr uint64_t kHundredAndMillion = 100 + (uint64_t{1000000} << 32);
  constexpr uint64_t kOneAndTenThousand = 1 + (uint64_t{10000} << 32);
  return ((bytes & kMask) * kHundredAndMillion + ((bytes >> 16) & kMask) * kOneAndTenThousand) >> 32;
}

inline bool AllDigits(uint64_t bytes) {
  return ((bytes & 0xF0F0F0F0F0F0F0F0) | (((bytes + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4)) ==
         0x3333333333333333;
}

// The digits after a point, [p, end), at most 16 of them, with 8 bytes readable past each
// group of eight: their value as digits * 10^-decimals, padded with zeros to whole groups.
inline bool Decimals(const char* p, const char* end, uint64_t* digits, int* decimals) {
  while (p < end) {
    uint64_t bytes;
    std::memcpy(&bytes, p, 8);
    if (end - p < 8) {  // the bytes past the field count as zeros
      const uint64_t kept = ~uint64_t{0} >> (8 * (8 - (end - p)));
      bytes = (bytes & kept) | (0x3030303030303030 & ~kept);
    }
    if (!AllDigits(bytes)) return false;
    *digits = *digits * 100000000 + EightDigits(bytes);
    *decimals += 8;
    p += 8;
  }
  return true;
}

// A field as a number: an optional sign, digits with a point or an exponent; false for text,
// for infinities and NaN. `readable_end` is the end of the memory that may be read.
inline bool ParseNumber(const char* begin, const char* end, const char* readable_end, double* value) {
  if (begin != end && *begin == '+') ++begin;
  if constexpr (std::endian::native == std::endian::little) {
    // Coordinates as nearly every program writes them: 1 to 3 digits, a point and up to 16
    // decimals, read eight at a time. Rounding twice costs a unit of the 16th digit at most,
    // nanometres on the ground.
    static constexpr double kTenths[] = {1, 1e-8, 1e-16};
    const bool negative = begin != end && *begin == '-';
    const char* const p = begin + negative;
    if (end - p >= 2 && readable_end - end >= 8) {
      uint64_t head;
      std::memcpy(&head, p, 8);
      const uint64_t dots = head ^ 0x2E2E2E2E2E2E2E2E;
      const uint64_t found = (dots - 0x0101010101010101) & ~dots & 0x8080808080808080;
      const int point = found ? std::countr_zero(found) / 8 : 8;
      // The whole digits moved to the last bytes, after zeros.
      const uint64_t whole =
          point >= 1 && point <= 3 ? head << (8 * (8 - point)) | 0x3030303030303030 >> (8 * point) : 0;
      uint64_t digits = 0;
      int decimals = 0;
      if (whole && p + point < end && end - (p + point) <= 17 && AllDigits(whole)) {
        digits = EightDigits(whole);
        if (Decimals(p + point + 1, end, &digits, &decimals)) {
          const double magnitude = static_cast<double>(digits) * kTenths[decimals / 8];
          *value = negative ? -magnitude : magnitude;
          return true;
        }
      }
    }
  }
  auto [stop, error] = std::from_chars(begin, end, *value);
  return error == std::errc() && stop == end && begin != end && std::isfinite(*value);
}

// The eight digits of n < 10^8, with leading zeros, as text: the first in the lowest byte.
inline uint64_t EightDigitText(uint32_t n) {
  uint64_t x = (n / 10000) | uint64_t{n % 10000} << 32;         // two lanes of four digits
  uint64_t y = ((x * 10486) >> 20) & 0x0000007F0000007F;        // their first two
  x = y | (x - y * 100) << 16;                                  // four lanes of two digits
  y = ((x * 103) >> 10) & 0x000F000F000F000F;                   // their tens
  x = y | (x - y * 10) << 8;                                    // eight lanes of one digit
  return x + 0x3030303030303030;
}

// A value below 10^15 in magnitude with 3 decimals, rounded half away from zero, without
// "-0.000"; stores up to 8 bytes past the number's end.
inline char* PutThousandths(char* p, double value) {
  static constexpr char kPairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  // The whole metres and the thousandths apart, so that rounding the decimals adds no error.
  const double magnitude = std::fabs(value);
  uint64_t whole = static_cast<uint64_t>(static_cast<int64_t>(magnitude));
  uint32_t thousandths = static_cast<uint32_t>((magnitude - static_cast<double>(whole)) * 1000.0 + 0.5);
  if (thousandths == 1000) {
    ++whole;
    thousandths = 0;
  }
  if (value < 0 && (whole | thousandths)) *p++ = '-';
  if (whole < 100000000) {
    // Eight digits at once, less their leading zeros but the last.
    // Eastings and northings in metres mostly have 7 or 8 digits: those lengths are known
    // without the digits, others found from them.
    const uint64_t text = EightDigitText(static_cast<uint32_t>(whole));
    const int zeros = whole >= 10000000 ? 0
                      : whole >= 1000000 ? 1
                                         : std::countr_zero((text - 0x3030303030303030) | uint64_t{1} << 56) / 8;
    const uint64_t kept = text >> (8 * zeros);
    std::memcpy(p, &kept, 8);
    p += 8 - zeros;
  } else {
    char* const end = p + 15;
    char* q = end;
    for (; whole > 0; whole /= 100) std::memcpy(q -= 2, kPairs + 2 * (whole % 100), 2);
    q += *q == '0';
    std::memmove(p, q, static_cast<size_t>(end - q));
    p += end - q;
  }
  const uint32_t decimals = '.' | static_cast<uint32_t>('0' + thousandths / 100) << 8 |
                            static_cast<uint32_t>(static_cast<unsigned char>(kPairs[2 * (thousandths % 100)])) << 16 |
                            static_cast<uint32_t>(static_cast<unsigned char>(kPairs[2 * (thousandths % 100) + 1])) << 24;
  std::memcpy(p, &decimals, 4);
  return p + 4;
}

}  // namespace decimal_text
