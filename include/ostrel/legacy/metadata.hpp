// The header of the legacy spatial stream: the spatial type and category
// bytes, the decoded header (Metadata), the conversions between them and the
// value model's enumerations, and reading a header from bytes.
//
// Header layout (multi-byte numbers big-endian):
//   offset 0  2 bytes  signature 0x07AA
//   offset 2  1 byte   version * 16 + serializer type (0 plain, 2 compressed)
//   offset 3  4 bytes  CRC-32 (seed 0) of bytes 9 to the end; 0 if none
//   offset 7  1 byte   category (0 planar, 1 geographic, 2 neither)
//   offset 8  1 byte   spatial type (1 point ... 7 mixed)
//   offset 9  1 byte   precision (signed power of ten of the compressed
//                      grid), only when the serializer type is 2 and the
//                      category is not 2
// Writers emit version 0; readers neither check the version nor verify the
// CRC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"

namespace ostrel::LegacySerialization {

// The stream's kind of value. 0 and 8 are invalid in a stream; a header
// byte of 9 or more reads as 0.
enum class SpatialType : std::uint8_t {
  Unknown = 0,
  Point = 1,
  LineString = 2,
  Polygon = 3,
  MultiPoint = 4,
  MultiLineString = 5,
  MultiPolygon = 6,
  Mixed = 7,
  Sentinel = 8,
};

// The stream's coordinate family.
enum class Category : std::uint8_t { Geometry = 0, Geography = 1, Neither = 2 };

// Serializer types of header byte 2 (low nibble).
inline constexpr std::uint8_t kPlain = 0;
inline constexpr std::uint8_t kCompressed = 2;

// The fixed part of the header; a compressed planar or geographic stream
// has one more byte, the precision.
inline constexpr std::size_t kHeaderSize = 9;

// The decoded header.
struct Metadata {
  static constexpr std::uint16_t Signature = 0x07AA;

  std::uint32_t version = 0;         // high nibble of byte 2
  std::uint8_t serializer_type = 0;  // low nibble of byte 2
  SpatialType spatial_type = SpatialType::Unknown;
  Category category = Category::Neither;
  std::uint32_t crc = 0;      // bytes 3-6
  std::int8_t precision = 0;  // byte 9 when present, else 0
};

// 0 -> Geometry, 1 -> Geography, any other -> Unknown.
OSTREL_EXPORT CoordinateType CategoryToCoordinateType(Category category);
// Geometry -> 0, Geography -> 1, any other -> 2.
OSTREL_EXPORT Category CoordinateTypeToCategory(CoordinateType type);
// Point..MultiPolygon -> the same number; Empty, Mixed and any other -> 7,
// so an empty value is stored as an empty mixed one.
OSTREL_EXPORT SpatialType ShapeTypeToSpatialType(ShapeType type);
// 1..7 -> the shape type of the same number; any other -> Empty.
OSTREL_EXPORT ShapeType SpatialTypeToShapeType(SpatialType type);
// True for point, line string and polygon.
OSTREL_EXPORT bool IsSingular(SpatialType type);
// 1 -> 4, 2 -> 5, 3 -> 6; any other unchanged.
OSTREL_EXPORT SpatialType SingularToMulti(SpatialType type);
// 4 -> 1, 5 -> 2, 6 -> 3; any other unchanged.
OSTREL_EXPORT SpatialType MultiToSingular(SpatialType type);

// Decodes the header at the start of `stream`:
//   - fewer than 9 bytes (10 when the precision byte is due):
//     std::length_error "unexpected end of stream";
//   - signature other than 0x07AA: std::invalid_argument "not a spatial stream";
//   - category byte above 2: std::invalid_argument "corrupt spatial stream".
// The spatial type is byte 8 when it is below 9, else 0; the category is
// that of byte 7 unless the spatial type is 0, which makes it 2.
OSTREL_EXPORT Metadata ReadHeader(std::span<std::uint8_t const> stream);

// Where the body starts: 10 when the header carries the precision byte, else 9.
OSTREL_EXPORT std::size_t HeaderSize(Metadata const& metadata);

}  // namespace ostrel::LegacySerialization
