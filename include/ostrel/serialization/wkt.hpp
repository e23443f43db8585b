// WktSerialization: values as well-known text.
//
// Grammar (keywords case-insensitive, blanks between tokens optional):
//   text       = shape End
//   shape      = keyword [Z | M | ZM | MZ] (EMPTY | "(" contents ")")
//   POINT: coordinate          LINESTRING: coordinate {"," coordinate}
//   POLYGON: ring {"," ring}, ring = "(" coordinate {"," coordinate} ")"
//   MULTIPOINT: member {"," member}, member = coordinate | "(" coordinate ")"
//   MULTILINESTRING: "(" line ")" {...}   MULTIPOLYGON: "(" polygon ")" {...}
//   GEOMETRYCOLLECTION: shape {"," shape}, at most 9 collections deep below
//   coordinate = number number, plus the extra numbers Z/M/ZM require
//   (required, then dropped); members inherit their collection's dimension
//   marker unless they name their own, a nested collection starts from none.
// The tokenizer is the library's WKT tokenizer (see OWKT): only the blank
// separates tokens, and a character it does not know ends the input.
//
// Read builds a DefaultGeometry (Geometry) or DefaultGeography (Geography);
// any other type throws std::invalid_argument "can only translate Geography
// or Geometry" before the text is looked at. Collections flatten into the
// value's points, lines and polygons; the ShapeType is the top keyword's
// (GEOMETRYCOLLECTION is Mixed, POINT EMPTY a Point without coordinates).
// Planar coordinates share the bias of the first one; geographic ones are
// longitude, latitude in degrees, wrapped, clamped and snapped, with edges
// densified and rings cleaned and oriented. Rings are closed when open. Text
// that does not parse (a token out of place, text after the shape, nesting
// too deep) reads as Unknown; builder failures throw their messages
// ("line has less than 2 coordinates", "ring has less than 4 coordinates",
// "Latitude must not exceed +/- 90").
//
// Extract parses the same grammar into plain (x, y) pairs, y clamped as a
// latitude, lines and rings densified as geographic edges (midpoints in
// degrees), rings closed and oriented but not otherwise cleaned. It returns
// the ShapeType, or Empty when the text does not parse; the three vectors
// are replaced only on success.
//
// Write gives the text with numbers as a default-formatted stream writes
// them (6 significant digits) and everything upper case, for example
// POINT(1 2), MULTIPOINT((1 2), (3 4)),
// GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1)), POINT EMPTY for a
// value of ShapeType Empty; geographic coordinates as longitude latitude in
// degrees.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel {

struct OSTREL_EXPORT WktSerialization {
  WktSerialization() = delete;

  static SpatialPtr Read(std::string const& text, CoordinateType type);
  static std::string Write(Spatial const& value);
  static ShapeType Extract(
      std::string const& text, std::vector<std::pair<double, double>>& points,
      std::vector<std::vector<std::pair<double, double>>>& lines,
      std::vector<std::vector<std::vector<std::pair<double, double>>>>& polygons);
};

}  // namespace ostrel
