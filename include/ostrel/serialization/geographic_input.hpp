// The conversions every geographic coordinate of an interchange reader goes
// through, and the subdivision of its edges.
//
// Input is x = longitude, y = latitude in degrees.
// - WrapLongitude brings x into [-180, 180]: below -180 it becomes
//   fmod(x - 180, 360) + 180, above 180 fmod(x + 180, 360) - 180 (so -190 is
//   170, 190 is -170, 540 is -180); NaN stays NaN, infinities become NaN.
// - ClampLatitude accepts [-90, 90] unchanged and pulls values less than
//   0.00001 beyond a pole onto it; anything further throws std::out_of_range
//   "Latitude must not exceed +/- 90". NaN passes.
// - Densify subdivides the edge between two snapped coordinates as
//   PathNormalizer does, with steps of at most `tolerance` radians, emitting
//   the midpoints in order from `from` to `to` (never the ends). sameSide
//   says that the raw longitudes of both ends lie in the same one of the
//   zones x < -180, [-180, 180], x > 180: the edge then runs in plain
//   (latitude, longitude) numbers (the flat rules); otherwise across the
//   antimeridian the short way. An edge emits at most 4095 midpoints (the
//   steps halve a longitude span of at most 2 pi and a latitude span of at
//   most pi down to 0.0016 radians), which bounds what densified input can
//   cost per input coordinate.
#pragma once

#include "ostrel/core/angle.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/kernel/path_normalizer.hpp"

namespace ostrel {

// The step of densified edges, in radians (about 0.0917 degrees).
inline constexpr double kDensifyTolerance = 0.0016;

OSTREL_EXPORT double WrapLongitude(double x);
OSTREL_EXPORT double ClampLatitude(double y);

OSTREL_EXPORT void Densify(GeographyCoordinate const& from, GeographyCoordinate const& to,
                           Radians tolerance, bool same_side, PathNormalizer::Emit const& emit);

// The zone of a raw longitude in degrees: -1 below -180, 0 within, 1 above.
inline int LongitudeZone(double x) { return x < -180 ? -1 : (x > 180 ? 1 : 0); }

}  // namespace ostrel
