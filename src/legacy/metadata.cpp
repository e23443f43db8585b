#include "ostrel/legacy/metadata.hpp"

#include <stdexcept>

#include "codec.hpp"

namespace ostrel::LegacySerialization {

CoordinateType CategoryToCoordinateType(Category category) {
  switch (category) {
    case Category::Geometry: return CoordinateType::Geometry;
    case Category::Geography: return CoordinateType::Geography;
    default: return CoordinateType::Unknown;
  }
}

Category CoordinateTypeToCategory(CoordinateType type) {
  switch (type) {
    case CoordinateType::Geometry: return Category::Geometry;
    case CoordinateType::Geography: return Category::Geography;
    default: return Category::Neither;
  }
}

SpatialType ShapeTypeToSpatialType(ShapeType type) {
  auto const n = static_cast<std::uint8_t>(type);
  return n >= 1 && n <= 6 ? static_cast<SpatialType>(n) : SpatialType::Mixed;
}

ShapeType SpatialTypeToShapeType(SpatialType type) {
  auto const n = static_cast<std::uint8_t>(type);
  return n >= 1 && n <= 7 ? static_cast<ShapeType>(n) : ShapeType::Empty;
}

bool IsSingular(SpatialType type) {
  return type == SpatialType::Point || type == SpatialType::LineString ||
         type == SpatialType::Polygon;
}

SpatialType SingularToMulti(SpatialType type) {
  return IsSingular(type) ? static_cast<SpatialType>(static_cast<std::uint8_t>(type) + 3) : type;
}

SpatialType MultiToSingular(SpatialType type) {
  auto const n = static_cast<std::uint8_t>(type);
  return n >= 4 && n <= 6 ? static_cast<SpatialType>(n - 3) : type;
}

Metadata ReadHeader(std::span<std::uint8_t const> stream) {
  if (stream.size() < kHeaderSize) codec::ThrowEndOfStream();
  std::uint8_t const* h = stream.data();
  if (((h[0] << 8) | h[1]) != Metadata::Signature) {
    throw std::invalid_argument("not a spatial stream");
  }
  if (h[7] > 2) throw std::invalid_argument("corrupt spatial stream");
  Metadata m;
  m.spatial_type = h[8] < 9 ? static_cast<SpatialType>(h[8]) : SpatialType::Unknown;
  bool const typed = m.spatial_type != SpatialType::Unknown;
  m.category = typed && h[7] < 2 ? static_cast<Category>(h[7]) : Category::Neither;
  m.version = h[2] >> 4;
  m.serializer_type = h[2] & 15;
  m.crc = codec::LoadU32(h + 3);
  if (HeaderSize(m) > kHeaderSize) {
    if (stream.size() <= kHeaderSize) codec::ThrowEndOfStream();
    m.precision = static_cast<std::int8_t>(h[9]);
  }
  return m;
}

std::size_t HeaderSize(Metadata const& metadata) {
  return metadata.serializer_type == kCompressed && metadata.category != Category::Neither
             ? kHeaderSize + 1
             : kHeaderSize;
}

}  // namespace ostrel::LegacySerialization
