// WkbSerialization: values as well-known binary.
//
// Layout: a byte-order byte (0 big-endian, anything else little-endian),
// a 32-bit type code, then the body: a point's coordinates; a line's point
// count and points; a polygon's ring count, and per ring its point count and
// points; a collection's element count and complete member values, each
// with its own byte order and code. Codes 1-7 are Point, LineString,
// Polygon, MultiPoint, MultiLineString, MultiPolygon and GeometryCollection;
// +1000, +2000 and +3000 add Z, M and both (found by decimal bit tests:
// code & 1000 == 1000, code & 2000 == 2000, code & 3000 == 3000).
//
// Reading, for the family the caller names (Geometry or Geography; anything
// else throws std::invalid_argument "can only translate Geography or
// Geometry"):
// - only x and y are kept; Z and M are read and dropped;
// - collections are flattened into the value's points, lines and polygons
//   in input order; the result has the outermost kind's ShapeType
//   (GeometryCollection is Mixed). A MultiPoint holds Points, a
//   MultiLineString LineStrings, a MultiPolygon Polygons; a
//   GeometryCollection holds anything, nested at most 9 collections below
//   itself;
// - a point whose x and y are both NaN is empty and dropped, as are empty
//   lines and polygons;
// - an unknown code, a member the outermost kind does not allow, or nesting
//   too deep reads as an Unknown value, not an error;
// - planar coordinates get the bias of the first one (BiasTracker);
//   geographic ones are x = longitude, y = latitude in degrees, wrapped,
//   clamped and snapped, edges densified and rings cleaned and oriented
//   (LineBuilder, RingBuilder);
// - truncated input throws std::length_error "unexpected end of stream";
//   every count is checked against the bytes left before anything is
//   reserved for it; bytes after the value are ignored. Builder failures
//   throw their messages (a one-point line, a ring under 4 points, a
//   latitude beyond the pole's tolerance).
// Writing emits little-endian, plain codes 1-7, two dimensions, geographic
// coordinates as longitude then latitude in degrees, an empty Point as two
// NaNs, and a Mixed value as a GeometryCollection of its points, then its
// lines, then its polygons. A value of ShapeType Empty throws
// std::invalid_argument "unable to handle Empty".
#pragma once

#include <cstdint>
#include <vector>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel {

struct OSTREL_EXPORT WkbSerialization {
  WkbSerialization() = delete;

  static SpatialPtr Read(std::vector<std::uint8_t> const& bytes, CoordinateType type);
  static std::vector<std::uint8_t> Write(Spatial const& value);
};

}  // namespace ostrel
