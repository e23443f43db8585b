// Floating-point machinery that must mean the same under every compiler and
// every optimisation setting, because the header code that uses it is
// compiled with the consumer's flags, not the library's.
//
// - IsNaN tests the bit pattern, so -ffinite-math-only (and -ffast-math,
//   -Ofast) cannot fold "x != x" to false and let NaN through.
// - RoundToFloat rounds a double to the nearest float and forces that float
//   to exist as a float. g++ 12 at -O2/-O3 (its SLP vectorizer) otherwise
//   drops the rounding in snapping code of this shape:
//
//     float fx = (float)(a - s.x), fy = (float)(b - s.y);
//     if (fx == fx && fy == fy) { x = (double)fx + s.x; y = (double)fy + s.y; }
//
//   With a = 0.1, s = (0, 0) it stores 0.1 instead of 0.10000000149011612:
//   it checks the floats for NaN, then stores (a - s.x) + s.x computed in
//   double. clang is not affected. The empty asm below tells the compiler
//   that the float may have been changed in its register, so the value
//   used afterwards must be that float.
#pragma once

#include <bit>
#include <cstdint>

namespace ostrel::detail {

constexpr bool IsNaN(double x) {
  return (std::bit_cast<std::uint64_t>(x) & 0x7FFFFFFFFFFFFFFF) > 0x7FF0000000000000;
}
constexpr bool IsNaN(float x) {
  return (std::bit_cast<std::uint32_t>(x) & 0x7FFFFFFF) > 0x7F800000;
}

// The float nearest to x (round to nearest, ties to even, as the
// conversion does), pinned so that no optimiser can skip the rounding.
inline float RoundToFloat(double x) {
  float f = static_cast<float>(x);
#if defined(__GNUC__) && (defined(__x86_64__) || (defined(__i386__) && defined(__SSE2__)))
  __asm__("" : "+x"(f));
#elif defined(__GNUC__) && defined(__aarch64__)
  __asm__("" : "+w"(f));
#elif defined(__GNUC__)
  __asm__("" : "+m"(f));
#else
  float volatile pinned = f;
  f = pinned;
#endif
  return f;
}

}  // namespace ostrel::detail
