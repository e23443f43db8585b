// The OWKT number grammar, shared by the reader's tokenizer and by the
// lossless writer, which must predict exactly what the reader makes of a
// text it writes.
//
// A number is the longest run of digits, ".", "e", "E", "-" and "+". Its
// value is computed as the grammar defines it, deliberately not by strtod:
// the integer part wraps modulo 2^64, the fraction is numerator / divisor
// accumulated digit by digit, the exponent multiplies by pow(10, e). Leftover
// characters of the run (a second "." or sign, a second exponent) or a
// letter right after it make the number malformed.
#pragma once

#include <cmath>
#include <cstdint>

namespace ostrel::detail::owkt {

inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool InNumberRun(char c) {
  return IsDigit(c) || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
}

// What the grammar does to a number beyond giving its value: the digits of
// the integer part or of the exponent that exceed 2^64 - 1 (and wrap).
struct NumberFlags {
  bool integer_wrapped = false;
  bool exponent_wrapped = false;
  bool underflowed = false;  // digits that are not all zero, read as 0
};

// Digits into a wrapping 64-bit integer; `wrapped` is set when the true
// value does not fit.
inline std::uint64_t Digits(char const*& p, char const* end, bool& wrapped) {
  std::uint64_t value = 0;
  for (; p != end && IsDigit(*p); ++p) {
    bool const over = __builtin_mul_overflow(value, std::uint64_t{10}, &value);
    wrapped |= over | __builtin_add_overflow(value, static_cast<std::uint64_t>(*p - '0'), &value);
  }
  return value;
}

// numerator / divisor, both accumulated digit by digit in doubles. While
// they stay below 2^53 (15 digits) every step is exact, so the first 15
// digits are gathered as an integer and the divisor taken from a table: the
// same doubles, without a chain of floating-point multiplications.
inline double Fraction(char const*& p, char const* end) {
  static constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                            1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  std::uint64_t digits = 0;
  int count = 0;
  for (; p != end && IsDigit(*p) && count < 15; ++p, ++count) {
    digits = digits * 10 + static_cast<std::uint64_t>(*p - '0');
  }
  double numerator = static_cast<double>(digits);
  double divisor = kPowersOfTen[count];
  for (; p != end && IsDigit(*p); ++p) {
    numerator = numerator * 10 + (*p - '0');
    divisor = divisor * 10;
  }
  return numerator / divisor;
}

// Reads the number that starts at `p` (a digit, "-", "+" or "."). On success
// returns true, stores the value and leaves `p` after the number; a
// malformed number returns false and leaves `p` where the grammar stopped.
inline bool ParseNumber(char const*& p, char const* end, double& out, NumberFlags& flags) {
  bool const negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  double value = 0.0;
  if (p == end || *p != '.') value = static_cast<double>(Digits(p, end, flags.integer_wrapped));
  if (p != end && *p == '.') value += Fraction(++p, end);
  if (p != end && (*p == 'e' || *p == 'E')) {
    ++p;
    bool const negative_exponent = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    double const exponent = static_cast<double>(Digits(p, end, flags.exponent_wrapped));
    double const scaled = value * std::pow(10.0, negative_exponent ? -exponent : exponent);
    flags.underflowed = value != 0 && scaled == 0;
    value = scaled;
  }
  if (p != end && (InNumberRun(*p) || IsLetter(*p))) return false;
  out = negative ? -value : value;
  return true;
}

}  // namespace ostrel::detail::owkt
