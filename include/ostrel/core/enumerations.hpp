// The one-byte enumerations every value carries, with their texts.
//
// Their numbers are part of the interface: stored formats and hashes use
// them, so they never change. A stored value outside an enumeration's range
// has the text "<unsupported>".
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "ostrel/core/export.hpp"

namespace ostrel {

// The kind of a value.
enum class CoordinateType : std::uint8_t {
  Unknown = 0,
  Identifying = 1,
  Geometry = 2,
  Geography = 3
};

// How a value's content is organised into points, lines and polygons.
enum class ShapeType : std::uint8_t {
  Empty = 0,
  Point = 1,
  LineString = 2,
  Polygon = 3,
  MultiPoint = 4,
  MultiLineString = 5,
  MultiPolygon = 6,
  Mixed = 7,
};

// How the edges of a geography run between its vertices.
enum class TopologicalType : std::uint8_t { Spheroidal = 0, Flat = 1 };

// On which side of a ring's direction its interior lies.
enum class WindingOrder : std::uint8_t { InteriorLeft = 0, InteriorRight = 1, Ambiguous = 2 };

OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, CoordinateType const& value);
OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, ShapeType const& value);
OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, TopologicalType const& value);
OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, WindingOrder const& value);
OSTREL_EXPORT std::string to_string(CoordinateType value);
OSTREL_EXPORT std::string to_string(ShapeType value);
OSTREL_EXPORT std::string to_string(TopologicalType value);
OSTREL_EXPORT std::string to_string(WindingOrder value);

}  // namespace ostrel
