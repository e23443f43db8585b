// PathNormalizer: densifies a segment between two coordinates into steps no
// longer than a given angle.
//
// The segment is halved recursively until each piece is short enough: its
// latitude difference and its longitude difference, scaled by the cosine
// band factor of the piece's starting latitude, are both within the step.
// The midpoints come out in order from `from` to `to`; the endpoints are
// never emitted. For spheroidal segments longitude differences are
// normalized and a midpoint of a segment crossing the antimeridian lies on
// the antimeridian side; flat segments are halved in plain (latitude,
// longitude) numbers. A step of 0 or NaN, equal endpoints, or an invalid
// endpoint emit nothing, and halving stops when a midpoint no longer differs
// from the piece's ends.
#pragma once

#include <array>
#include <functional>
#include <utility>

#include "ostrel/core/angle.hpp"
#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/latitude.hpp"
#include "ostrel/core/longitude.hpp"

namespace ostrel {

class OSTREL_EXPORT PathNormalizer {
 public:
  using Emit = std::function<void(std::pair<Latitude, Longitude> const&)>;

  explicit PathNormalizer(Radians step) : step_(step.Get()) {}

  void operator()(GeographyCoordinate const& from, GeographyCoordinate const& to,
                  TopologicalType type, Emit const& emit) const;

  // cos(k * 9 degrees) truncated to six decimals, for latitude bands k = 0
  // (equator) to 10 (pole), tenths of a right angle.
  static constexpr std::array<double, 11> kBandFactors = {1.0,      0.987688, 0.951056, 0.891006,
                                                          0.809016, 0.707106, 0.587785, 0.45399,
                                                          0.309016, 0.156434, 0.0};

  // The band factor of a latitude: band trunc(|lat| * 10 * 2/pi); for flat
  // segments band 10 counts as 9.
  static double BandFactor(double latitude, bool flat);

 private:
  double step_;
};

}  // namespace ostrel
