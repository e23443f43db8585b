// The WGS84 ellipsoid: its constants, the earth-centred position of a
// geographic coordinate, and the reduced (auxiliary-sphere) latitude.
//
// Positions are in metres at height 0, X towards (0, 0), Y towards (0, 90E),
// Z towards the north pole.
#pragma once

#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/latitude.hpp"
#include "ostrel/kernel/vector.hpp"

namespace ostrel {

struct WGS84 {
  static constexpr double kSemiMajorAxis = 6378137.0;
  static constexpr double kSemiMinorAxis = 6356752.314245179;
  // First eccentricity squared, and 1 minus it (b^2 / a^2).
  static constexpr double kEccentricitySquared = 0.0066943799901413165;
  static constexpr double kOneMinusEccentricitySquared = 0.9933056200098587;

  // N = a / sqrt(1 - e^2 sin^2 phi); (N cos phi cos lambda, N cos phi sin
  // lambda, N (1 - e^2) sin phi). NaN components for an invalid coordinate.
  OSTREL_EXPORT static Vector3D EarthCentredPosition(GeographyCoordinate const& coordinate);

  // atan(tan phi * b / a), range-checked as a Latitude.
  OSTREL_EXPORT static Latitude ReducedLatitude(Latitude const& latitude);
};

}  // namespace ostrel
