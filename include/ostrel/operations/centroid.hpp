// Centroid: the mean direction of a geography's vertices on the unit sphere.
//
// The vertices are every point, every coordinate of every line, and the
// exterior ring of every polygon without its closing coordinate (interior
// rings are not used), each taken as the unit vector (cos lat sin lon,
// cos lat cos lon, sin lat). No vertex gives the invalid (NaN) coordinate,
// one vertex that coordinate unchanged. Otherwise the result is the
// direction of the mean vector; when the mean vanishes (its length within
// GeographyCoordinate::GetMaxTruncationError() of 0) it is the direction of
// the cross product of the first vector and the one at index n / 2 (or
// n / 2 + 1 when those two are antipodal; two antipodal vertices alone give
// the first). The result is snapped to the grid like any coordinate.
#pragma once

#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/spatial/geography.hpp"

namespace ostrel {

struct OSTREL_EXPORT Centroid {
  static GeographyCoordinate Calculate(Geography const& value);
};

}  // namespace ostrel
