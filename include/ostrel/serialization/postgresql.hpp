// PostgreSQLSerialization: the extended text and binary forms of PostgreSQL
// spatial columns.
//
// The SRID decides the family: a value carrying one reads as a Geography
// whose original SRID is EPSG:<n>, a value without one as a planar Geometry.
//
// Binary (extended WKB): the WKB layout with a type code whose bit 31 adds
// Z, bit 30 adds M and bit 29 says that a 4-byte SRID follows the code of
// the outermost value; bits 0-28 hold the code 1-7 (anything else, an ISO
// code such as 1001 included, reads as Unknown). The family is chosen from
// the raw bytes before anything is parsed: the SRID flag in the most
// significant byte of the outermost code (byte 4 of little-endian input,
// byte 1 of big-endian input) selects Geography; its absence, or an input of
// 5 bytes or less, Geometry.
//
// Text (extended WKT): an optional prefix SRID=<n>; (the letters in any
// case) before WKT. A text of at least 6 characters starting with SRID reads
// as a Geography and must carry the whole prefix; any other text reads as
// WktSerialization::Read(text, Geometry).
//
// Geographies from either form are cleaned and oriented but not densified.
// Everything else (Z/M dropped, flattening, bias, Unknown for what does not
// parse, the builder failures, "unexpected end of stream") is as for WKB and
// WKT.
//
// Writers: a geography whose original SRID is an EPSG one gets the SRID
// (flag and number, or the SRID=<n>; prefix); any other geography, and every
// planar value, is written exactly as WKB or WKT (so it reads back as a
// planar value). Values that are neither throw std::invalid_argument "can
// only translate Geography or Geometry".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel {

struct OSTREL_EXPORT PostgreSQLSerialization {
  PostgreSQLSerialization() = delete;

  static SpatialPtr ReadBinary(std::vector<std::uint8_t> const& bytes);
  static std::vector<std::uint8_t> WriteBinary(Spatial const& value);
  static SpatialPtr ReadText(std::string const& text);
  static std::string WriteText(Spatial const& value);
};

}  // namespace ostrel
