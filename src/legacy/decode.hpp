// Decoding of encoded coordinates into packed ones, shared by the lazy
// decoding of records and by the reader, which runs the same code with a
// sink that keeps nothing to prove that every record of a stream decodes.
//
// Plain: big-endian double pairs, each packed as a point is (planar with
// Bias::None(); geographic latitude range-checked, longitude normalized by
// the packing). Compressed, precision p: zigzag varint pairs times 10^-p,
// the first absolute, the others deltas; the running sums are kept unsnapped,
// exactly as the writer keeps its position, and each emitted coordinate is
// snapped (planar: Round to the grid) or clamped (geographic: within 2 *
// 10^-p beyond a pole or the antimeridian to exactly +/-pi/2 or +/-pi).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "codec.hpp"
#include "ostrel/core/constants.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"

namespace ostrel::LegacySerialization::codec {

template <class C>
inline constexpr bool kPlanar = std::is_same_v<C, GeometryCoordinate>;

// A coordinate read as two doubles (x, y or latitude, longitude).
template <class C>
typename C::Packed PackPlain(double a, double b) {
  if constexpr (kPlanar<C>) {
    return GeometryCoordinate::Packed(a, b, GeometryCoordinate::Bias::None());
  } else {
    return GeographyCoordinate::Packed(Latitude(Radians(a)), Longitude(b));
  }
}

// The grid of a compressed record.
struct Grid {
  explicit Grid(std::int8_t precision)
      : scale(Power10(precision)), step(Power10(-static_cast<int>(precision))) {}
  double scale;  // 10^p
  double step;   // 10^-p
};

// A coordinate at the running sums (a, b) of a compressed record.
template <class C>
typename C::Packed PackSums(double a, double b, Grid const& grid) {
  if constexpr (kPlanar<C>) {
    return GeometryCoordinate::Packed(Quantise(a, grid.scale) * grid.step,
                                      Quantise(b, grid.scale) * grid.step,
                                      GeometryCoordinate::Bias::None());
  } else {
    constexpr double kHalfPi = ostrel::detail::kHalfPi;
    constexpr double kPi = ostrel::detail::kPi;
    double const tolerance = 2 * grid.step;
    if (a > kHalfPi && a - kHalfPi < tolerance) a = kHalfPi;
    if (-a > kHalfPi && -a - kHalfPi < tolerance) a = -kHalfPi;
    if (b > kPi && b - kPi < tolerance) b = kPi;
    if (-b > kPi && -b - kPi < tolerance) b = -kPi;
    return GeographyCoordinate::Packed(Latitude(Radians(a)), Longitude(b));
  }
}

// `count` plain coordinates from [p, end), each handed to sink(Packed).
template <class C, class Sink>
void DecodePlain(std::uint8_t const* p, std::uint8_t const* end, std::uint64_t count, Sink&& sink) {
  if (count > static_cast<std::size_t>(end - p) / 16) ThrowEndOfStream();
  for (std::uint64_t i = 0; i < count; ++i, p += 16) sink(PackPlain<C>(LoadF64(p), LoadF64(p + 8)));
}

// `pairs` compressed coordinates from [p, end), each handed to sink(Packed);
// returns where they end.
template <class C, class Sink>
std::uint8_t const* DecodeCompressed(std::uint8_t const* p, std::uint8_t const* end,
                                     std::uint64_t pairs, std::int8_t precision, Sink&& sink) {
  if (pairs > static_cast<std::size_t>(end - p) / 2) ThrowEndOfStream();
  Grid const grid(precision);
  double a = 0.0;
  double b = 0.0;
  for (std::uint64_t i = 0; i < pairs; ++i) {
    a += static_cast<double>(GetQuantised(p, end)) * grid.step;
    b += static_cast<double>(GetQuantised(p, end)) * grid.step;
    sink(PackSums<C>(a, b, grid));
  }
  return p;
}

}  // namespace ostrel::LegacySerialization::codec
