// The grid of the compressed legacy encoding: powers of ten and rounding to
// them.
//
// A compressed stream of precision p stores every number x as the integer
// RoundToPowerOf10(x, p), x * 10^p rounded half away from zero; Round snaps x
// to that grid. Integers are kept within 2^53 - 1, so that they and their
// doubles convert into each other exactly.
#pragma once

#include <cstdint>

#include "ostrel/core/export.hpp"

namespace ostrel::LegacySerialization {

// 10^p: the exact double of 1e-10 ... 1e10 from a table when -10 <= p <= 10,
// otherwise pow(10, p).
OSTREL_EXPORT double Power10(std::int8_t p);

// The integer nearest to x * 10^p (the product formed first), halves away
// from zero. std::invalid_argument "x is too large to round via double to
// uint64_t" when |x * 10^p| is above 2^53 - 1 or NaN.
OSTREL_EXPORT double RoundToPowerOf10(double x, std::int8_t p);

// RoundToPowerOf10(x, p) * Power10(-p): x on the grid 10^-p. For p = -128,
// whose negation does not fit a signed byte, the factor is 10^128.
OSTREL_EXPORT double Round(double x, std::int8_t p);

}  // namespace ostrel::LegacySerialization
