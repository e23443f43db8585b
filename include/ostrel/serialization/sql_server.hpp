// SqlServerSerialization: the spatial binary form of SQL Server geometry and
// geography columns.
//
// Layout (little-endian, unaligned):
//   header   SRID (int32; -1 is a null value and ends the bytes), version
//            (1 or 2), properties (0x01 Z, 0x02 M, 0x04 valid, 0x08 single
//            point, 0x10 single line segment; other bits ignored)
//   body     single point: one point; single segment: two points; otherwise
//            point count, points (two doubles each), the Z and the M block
//            (one double per point, when flagged), figure count, figures
//            (attribute byte, int32 first point), shape count, shapes (int32
//            parent, int32 first figure, type byte). Bytes after the shapes
//            are ignored.
// A point is latitude then longitude in degrees for a geography, x then y
// for a geometry. A figure's points run from its first point to the point
// before the next figure's (a figure whose successor starts at or before it
// keeps its first point alone); a shape's figures run the same way. Shape
// types 1-7 are Point ... MultiPolygon and GeometryCollection (Mixed).
//
// Read decides the family by the SRID: [4120, 5000) is a Geography with
// original and converted SRID EPSG:<srid>, anything else a Geometry with
// both SRIDs <srid> under authority None and the bias of its first
// coordinate. By the root shape's type it takes: a Point the first point of
// its figure; a LineString the points of its figure; a Polygon one ring per
// figure; a MultiPoint every point of the table; a MultiLineString every
// figure; a MultiPolygon every later shape as a polygon; a
// GeometryCollection every later Point, LineString and Polygon shape (the
// nested collection shapes only group them). A first figure of -1 is an
// empty shape. Under version 1 a ring whose figure attribute is 0 is a hole
// and any other ring that is not the shape's first moves to the front of
// its polygon; under version 2 the first ring is the exterior. Z and M are
// skipped. Geographic coordinates are wrapped, clamped and snapped and their
// rings cleaned (not densified, not oriented).
//
// Failures:
//   - an empty input, an SRID of -1, a clear valid bit, a shape type other
//     than 1-7 where the reader walks, a root shape with a parent, a member
//     of a collection whose parent is not an earlier shape, or parts that
//     together take more points than the point table holds (figures or
//     shapes that overlap): an Unknown value;
//   - a version other than 1 or 2: std::invalid_argument "unknown version:"
//     and the number;
//   - a count, table, figure, shape or point beyond the input:
//     std::out_of_range with BufferReader's message (nothing is reserved
//     before the bytes it stands for have been checked);
//   - lines under 2 points, rings under 4, latitudes beyond the poles: the
//     builders' messages.
//
// Write emits version 2, properties 0x04 (+0x08 for a Point with a point,
// +0x10 for a LineString whose first line has exactly 2 points, which are
// then the whole body), the original SRID's number, and otherwise the three
// tables: all points, then the points of every line, then of every ring;
// one figure per point (attribute 0), line (1) and ring (2 for a polygon's
// first, 0 for the others); a shape per point (type 1), line (2) and polygon
// (3), under a root (-1, 0, type) for the collection types, or with parent
// -1 otherwise; a value without figures is the one shape (-1, -1, type).
// Mixed and Empty are written as type 7. Values that are neither Geometry
// nor Geography throw std::invalid_argument "can only translate Geography or
// Geometry".
#pragma once

#include <cstdint>
#include <vector>

#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel {

struct OSTREL_EXPORT SqlServerSerialization {
  SqlServerSerialization() = delete;

  static SpatialPtr Read(std::vector<std::uint8_t> const& bytes);
  static std::vector<std::uint8_t> Write(Spatial const& value);
};

}  // namespace ostrel
