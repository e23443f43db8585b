// OWKT: the library's own text form of a spatial value.
//
// A familiar well-known-text body (keyword, parenthesised coordinates)
// preceded by an optional attribute section that carries what plain WKT
// cannot: the bias of a planar value, its original and converted SRIDs, and
// the topological type and winding order of a geographic value. Only
// attributes that differ from the defaults are written:
//
//   BIAS=0.5:-2,ORIGINALSRID=EPSG:3857;POINT(1 2)
//   TOPOLOGICALTYPE=FLAT;MULTIPOINT((-120 45), (3 4))
//
// Numbers are written as a default-formatted stream writes a double (six
// significant digits, general notation) and upper-cased, so values that need
// more digits do not survive a round trip exactly. Geographic coordinates
// are written longitude first, in degrees.
//
// The reader accepts the writer's output except for two spellings it does
// not know (the winding-order texts INTERIOR-LEFT/INTERIOR-RIGHT, where it
// expects LEFT/RIGHT/AMBIGUOUS, and the authority SR-ORG, where it expects
// SRORG). Text that does not parse reads as an Unknown value; a latitude
// beyond +/-90 degrees throws std::out_of_range, and structures the default
// format rejects (a one-point line, an unclosed ring) throw
// std::invalid_argument.
//
// Extensions that leave these functions as they are: OWKT::To with
// WriteOptions (owkt_write_options.hpp: more digits, a lossless mode, the
// reader's spellings) and a diagnosing OWKT::From / OWKT::Diagnose
// (owkt_diagnosis.hpp: where and why a text does not read, or loses
// something). Both headers are included here.
#pragma once

#include <cstddef>
#include <string>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"
#include "ostrel/text/owkt_diagnosis.hpp"
#include "ostrel/text/owkt_write_options.hpp"

namespace ostrel::OWKT {

// The OWKT text of any value, of any storage format. Unknown and Identifying
// values give their upper-cased to_string text ("UNKNOWN", "IDENTIFYING:42").
OSTREL_EXPORT std::string To(Spatial const& value);

// Reads one value. `type` forces the kind when it is Geometry or Geography;
// Unknown or Identifying let the attribute section decide (any SRID with a
// real authority means Geography unless a bias is given; plain WKT reads as
// Geometry). `radians` says geographic coordinates are in radians rather
// than degrees.
OSTREL_EXPORT SpatialPtr From(std::string const& text, CoordinateType type, bool radians);
OSTREL_EXPORT SpatialPtr From(std::string const& text);
OSTREL_EXPORT SpatialPtr From(std::string const& text, CoordinateType type);
// true: geographic, in radians; false: as From(text).
OSTREL_EXPORT SpatialPtr From(std::string const& text, bool radians);

}  // namespace ostrel::OWKT

// OWKT literals; an empty literal gives an empty pointer.
OSTREL_EXPORT ostrel::SpatialPtr operator""_owkt(char const* text, std::size_t length);
OSTREL_EXPORT ostrel::SpatialPtr operator""_geomowkt(char const* text, std::size_t length);
OSTREL_EXPORT ostrel::SpatialPtr operator""_geogowkt(char const* text, std::size_t length);
OSTREL_EXPORT ostrel::SpatialPtr operator""_rgeogowkt(char const* text, std::size_t length);
