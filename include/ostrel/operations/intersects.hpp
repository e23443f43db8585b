// Intersects: whether two values intersect, for the one combination the
// library supports: polygons against points, in either argument order,
// both planar or both geographic. Every other combination (two polygons,
// two points, lines, mixed values, a geometry with a geography, unknown or
// identifying values) answers false; it is not an error.
//
// The answer is true when some polygon of the polygonal value contains some
// point of the point-like one. A polygon is first rejected by its cached
// bounds (RectangularBoundsCache or SphericalTrapezoidBoundsCache, keyed by
// the polygon's hash), so BasicServices::Register must have run ("no
// Service for ..." otherwise); the exact test runs only on points inside
// those bounds:
// - planar: the even-odd rule on the exterior ring, and the point must not
//   lie inside any interior ring by the same rule;
// - geographic: the point must lie inside every ring (rings run with the
//   polygon's interior on their left, so a hole's ring excludes the hole).
//   A ring's test counts the poles it encloses (PoleContainmentCache) plus,
//   for every arc that passes strictly over the point's meridian, the side
//   of the point relative to the plane of the arc (+1, 0, -1); an arc that
//   ends exactly on the meridian is extended through the following vertices
//   on it, so a ring that touches the meridian there counts nothing and one
//   that passes through it counts once. The point is inside when the count
//   is not 0.
// Points on a boundary may fall either way.
//
// Errors of the bounds and pole caches ("ostrel::GetNorthAndSouthPoleContain
// ment: Unhandled polygon winding" for a ring that winds twice around the
// axis) propagate. Thread-safe: the caches lock themselves.
#pragma once

#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"

namespace ostrel {

struct OSTREL_EXPORT Intersects {
  static bool Calculate(Spatial const& a, Spatial const& b);
};

}  // namespace ostrel
