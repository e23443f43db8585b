// The legacy spatial stream as a whole: header, CRC and body (the layout is
// in metadata.hpp and compressed_spatial_writer.hpp).
//
// Write turns any value into a stream, plain (serializer type 0: big-endian
// doubles and 32-bit counts) or compressed (type 2: varints on the grid
// 10^-precision with per-item boxes). Read turns any stream into a value.
//
// Plain body, by spatial type:
//   coordinate        two doubles: x, y; or latitude, longitude in radians
//   point             one coordinate
//   line string       count (32 bits), count coordinates
//   polygon           ring count (32 bits), each ring as a line string,
//                     closing coordinate included
//   multi-*           count (32 bits), that many points / line strings /
//                     polygons
//   mixed             item count (32 bits); every point as the byte 1 and a
//                     coordinate, every line as the byte 2 and a line string,
//                     every polygon as the byte 3 and a polygon
// Unknown and Identifying values write a header only (plus the varint 0 for
// a compressed Unknown).
//
// Reading treats the stream as untrusted: every count is checked against the
// bytes that remain before anything is reserved, every coordinate list is
// checked to decode, and bytes after the body are ignored. A planar stream
// reads as a LegacyGeometry, a geographic one as a LegacyGeography; a
// category-2 stream (an Unknown or Identifying value, which the stream does
// not tell apart) reads as an Unknown. Lines and rings keep their encoded
// bytes (compressed ones with the header's precision, a compressed ring's
// count being its encoded count plus one, or 0 when it encodes none) and are
// decoded on first visit; compressed line and polygon boxes are kept as the
// records' boxes, the other boxes are checked and dropped.
//
// Failures of Read:
//   std::length_error     "unexpected end of stream"  a read or a promised
//                         count beyond the end of the stream or section
//   std::invalid_argument "not a spatial stream"      wrong signature
//   std::invalid_argument "corrupt spatial stream"    category byte above 2
//   std::invalid_argument "unknown serializer type"   neither 0 nor 2
//   std::logic_error      "unknown spatial type"      spatial type 0 or 8, or a
//                         mixed item of type 0, 8 or 9 (a type above 9 is an
//                         item without content)
//   std::logic_error      "spatial stream can't have multis within mixed"
//   std::logic_error      "malformed section"         a section or box whose
//                         content does not fill its length exactly, or a box
//                         whose tag is not 3
//   std::logic_error      "varint longer than 10 bytes"
//   std::logic_error      "varint overflows 64 bits"
//   std::logic_error      "quantised value out of range"  beyond 2^53 - 1
//   std::invalid_argument "x is too large to round via double to uint64_t"
//                         a planar position that leaves the grid's range
//   std::out_of_range     "Latitude must not exceed +/- pi/2"
#pragma once

#include <cstdint>
#include <span>

#include "ostrel/core/export.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/legacy/metadata.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel::LegacySerialization {

// The whole stream of `value`: the header (version 0, the category of its
// coordinate type, the spatial type of its shape type, the precision byte
// when compressed and planar or geographic), the body, and the CRC of the
// body stored at offsets 3-6. A value whose content does not fit its shape
// type is stored as the multi type, or else as mixed, that holds it all (an
// empty Point as an empty multi-point). Planar coordinates are written as
// bias + offset per number, so a half-NaN coordinate keeps its other half.
// A legacy value's records are re-encoded directly: plain records are
// copied into plain streams, compressed ones of the same precision into
// compressed streams. The vector comes from the current memory resource.
// Failures: std::invalid_argument "unknown serializer type" (neither 0 nor
// 2), "unknown shape type" (a value of no known kind), and the compressed
// writer's "x is too large to round via double to uint64_t".
OSTREL_EXPORT ResourceVector<std::uint8_t> Write(Spatial const& value, std::uint8_t serializer_type,
                                                 std::int8_t precision);

// The value held by `bytes` (see above), allocated from the current memory
// resource.
OSTREL_EXPORT SpatialPtr Read(std::span<std::uint8_t const> bytes);

}  // namespace ostrel::LegacySerialization
