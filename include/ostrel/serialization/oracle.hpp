// OracleSerialization: a byte form of Oracle Spatial values, element by
// element: geometry type code (gtype), SRID, element-information triplets
// and ordinates.
//
// Layout (little-endian, unaligned):
//   value    lead byte (ignored; written 1), multi-element flag (0: one
//            element whose ordinates run to the end of the input; otherwise
//            elements in a row, each one's ordinates ended by a NaN), then
//            elements until the input is used up
//   element  gtype (type = gtype % 100, dimensions = gtype / 1000 kept to 8
//            bits), SRID (int32); for type 1 the point (x, y) and nothing
//            more; otherwise triplets of (1-based ordinate offset, element
//            type, interpretation) up to a word 0, then the ordinates
// Types 1-7 are point, line, polygon, collection (Mixed), multipoint,
// multiline and multipolygon; 0 is written for Empty.
//
// Read takes from each element of type 1-7 (other types contribute
// nothing): a type-1 element as a point; triplets (1, 1) as a point, (1, n)
// as a cluster of n points, (2, 1) as a line, (1003, 1) as an exterior ring
// that takes the directly following (2003, 1) interior rings along as one
// polygon. Compound elements (4, 1005, 2005, 1006, 2006, and 1007 unless its
// interpretation is 3) are skipped with the n triplets their interpretation
// counts; any other triplet (arcs, circles, rectangles) is skipped alone. A
// triplet's points run to the next triplet's offset (to the end of the
// ordinates for the last); x and y are the first two ordinates of each point.
// The ShapeType is the one element's type, Mixed for several elements (or
// none), Empty for a single element of another type; a Point takes the first
// point, a LineString the first line, a Polygon the first polygon, the multi
// types all of their kind, Mixed everything. The first element's SRID
// decides the family as for SqlServerSerialization: [4120, 5000) is a
// Geography (SRIDs EPSG:<srid>), anything else a Geometry (SRIDs <srid> with
// authority None, bias of the first coordinate). Geographic coordinates are
// x = longitude, y = latitude in degrees, wrapped, clamped and snapped; rings
// are cleaned (not densified, not oriented).
//
// Failures:
//   - an Unknown value when an element fails validation (a type-1 element
//     needs 2 dimensions and no NaN; any other needs 2-4 dimensions,
//     triplets, and a non-empty ordinate count that the dimensions divide) or
//     a triplet fails its check (its offset within the ordinates and its
//     points too; a point exactly 1 point, a line at least 2, a ring at
//     least 4 with equal first and last x and y, a cluster 2 dimensions), or
//     when the triplets of an element together take more ordinates than it
//     holds (overlapping triplets);
//   - std::out_of_range with BufferReader's message for anything beyond the
//     input (an empty input, a 10-byte header without its point or
//     triplets, a partial double); nothing is reserved before the bytes it
//     stands for have been checked;
//   - the builders' messages for lines, rings and latitudes they reject.
// A multi-element input whose last element has no closing NaN takes its
// ordinates to the end of the input.
//
// Write emits lead byte 1, flag 0, gtype 2000 + type, the original SRID's
// number, and then nothing for a value without coordinates (10 bytes); for
// a Point with a point that point (26 bytes); otherwise one triplet (offset,
// 1, 1) per point, (offset, 2, 1) per line, (offset, 1003, 1) per polygon's
// first ring and (offset, 2003, 1) per further ring, the word 0, and the
// coordinates in that order (14 + 12 triplets + 16 coordinates bytes).
// Values that are neither Geometry nor Geography throw
// std::invalid_argument "can only translate Geography or Geometry".
#pragma once

#include <cstdint>
#include <vector>

#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel {

struct OSTREL_EXPORT OracleSerialization {
  OracleSerialization() = delete;

  static SpatialPtr Read(std::vector<std::uint8_t> const& bytes);
  static std::vector<std::uint8_t> Write(Spatial const& value);
};

}  // namespace ostrel
