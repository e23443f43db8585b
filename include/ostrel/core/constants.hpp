// Numeric constants shared by the core types.
//
// The angle constants are the double values the whole library computes with;
// the NaN constants carry the exact bit patterns that mark "no value" in
// default-constructed angles and coordinates.
#pragma once

#include <bit>
#include <cstdint>

namespace ostrel::detail {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kHalfPi = 1.5707963267948966;
inline constexpr double kTwoPi = 6.283185307179586;

// Multipliers of the degree/radian conversions; each conversion is a single
// multiplication (after a multiplication by 180 for radians to degrees).
inline constexpr double kRadiansPerDegree = 0.017453292519943295;
inline constexpr double kInversePi = 0.3183098861837907;

// The quiet NaN with the sign bit set: 0xFFF8000000000000 and 0xFFC00000.
inline constexpr double kNaN = std::bit_cast<double>(std::uint64_t{0xFFF8000000000000});
inline constexpr float kNaNf = std::bit_cast<float>(std::uint32_t{0xFFC00000});

}  // namespace ostrel::detail
