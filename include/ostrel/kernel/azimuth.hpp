// Azimuth: the direction of an arc at one of its endpoints, clockwise from
// north, computed on the auxiliary sphere of reduced latitudes.
//
// NearAzimuthTangentRatioFromAuxiliarySphereCoordinates takes the two
// endpoints in normalized position (the first on longitude exactly 0, the
// second at a longitude >= 0) and gives the two terms (y, x) of tan(alpha) =
// y / x at the first. FromTangentRatio turns them into an ellipsoidal
// azimuth at a geodetic latitude; OfArc does the whole computation for any
// two coordinates, mirroring westward arcs into normalized position and
// back.
#pragma once

#include <utility>

#include "ostrel/core/angle.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/latitude.hpp"
#include "ostrel/core/longitude.hpp"

namespace ostrel {

struct OSTREL_EXPORT Azimuth {
  // p1 = (beta1, lambda1), p2 = (beta2, lambda2) on the auxiliary sphere:
  // (sin lambda2, tan beta2 cos beta1 - cos lambda2 sin beta1). Throws
  // std::domain_error "Azimuth::NearAzimuthTangentRatioFromAuxiliarySphere
  // Coordinates: Coordinates are not normalized" unless lambda1 is exactly 0
  // and lambda2 >= 0.
  static std::pair<double, double> NearAzimuthTangentRatioFromAuxiliarySphereCoordinates(
      std::pair<Latitude, Longitude> const& p1, std::pair<Latitude, Longitude> const& p2);

  // atan2(y, x sqrt(1 - e^2 cos^2 phi)) for a ratio (y, x) at geodetic
  // latitude phi; pi at phi >= pi/2 and 0 at phi <= -pi/2.
  static Radians FromTangentRatio(std::pair<double, double> const& ratio, Latitude const& latitude);

  // The azimuth at `from` of the arc towards `to`, in [0, 2pi).
  static Radians OfArc(GeographyCoordinate const& from, GeographyCoordinate const& to);
};

}  // namespace ostrel
