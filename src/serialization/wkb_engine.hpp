// The element readers and writers of well-known binary, shared by the plain
// form (WkbSerialization) and the extended PostgreSQL form, which differ
// only in how type codes are decoded and whether the outermost value carries
// an SRID.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <utility>

#include "ostrel/core/angle.hpp"
#include "ostrel/core/internal/numerics.hpp"
#include "ostrel/serialization/bias_tracker.hpp"
#include "ostrel/serialization/geographic_input.hpp"
#include "ostrel/serialization/line_builder.hpp"
#include "ostrel/serialization/ring_builder.hpp"
#include "ostrel/serialization/stream_reader.hpp"
#include "ostrel/serialization/stream_writer.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/unknown.hpp"

namespace ostrel::detail::wkb {

enum class Codes { Iso, Extended };

inline constexpr std::uint32_t kZFlag = 0x80000000u;
inline constexpr std::uint32_t kMFlag = 0x40000000u;
inline constexpr std::uint32_t kSridFlag = 0x20000000u;

// Collections nest at most this many levels below the outermost one.
inline constexpr int kMaxDepth = 10;

// A decoded type code: kind 1-7 (the ShapeType numbers, 7 for
// GeometryCollection) or 0 for unknown, and the doubles per coordinate.
struct TypeCode {
  int kind = 0;
  int dimensions = 2;
};

inline TypeCode Kind(std::uint32_t code, int dimensions) {
  return code >= 1 && code <= 7 ? TypeCode{static_cast<int>(code), dimensions} : TypeCode{};
}

inline TypeCode DecodeIso(std::uint32_t code) {
  if ((code & 1000u) == 1000u) return Kind(code & ~1000u, 3);
  if ((code & 2000u) == 2000u) return Kind(code & ~2000u, 3);
  if ((code & 3000u) == 3000u) return Kind(code & ~3000u, 4);
  return Kind(code, 2);
}

// The SRID flag must have been tested and cleared by the caller where it is
// allowed; anywhere else it makes the code unknown.
inline TypeCode DecodeExtended(std::uint32_t code) {
  int dimensions = 2;
  if (code & kZFlag) dimensions = 3;
  if (code & kMFlag) dimensions = dimensions == 3 ? 4 : 3;
  return Kind(code & ~(kZFlag | kMFlag), dimensions);
}

inline TypeCode Decode(Codes codes, std::uint32_t code) {
  return codes == Codes::Iso ? DecodeIso(code) : DecodeExtended(code);
}

// Reads one value into the packed vectors of the default format. G is
// Geometry or Geography.
template <class G>
class Reader {
 public:
  static constexpr bool kPlanar = std::is_same_v<G, Geometry>;
  using C = typename G::Coordinate;
  using Values = DefaultSpatial<G>;

  Reader(StreamReader& stream, Codes codes, bool densify, bool orient)
      : stream_(stream),
        codes_(codes),
        line_(0, densify, false),
        ring_(0, densify, orient),
        tracker_(kPlanar ? &BiasTracker::ForThisThread() : nullptr) {}

  // The outermost value: false when it reads as unknown. With `srid` given
  // (extended codes only), a set SRID flag on the outermost code is cleared
  // and the SRID that follows the code is stored there.
  bool Read(std::optional<std::uint32_t>* srid) {
    stream_.SetByteOrder(stream_.ReadByte());
    std::uint32_t code = stream_.ReadUInt32();
    if (srid != nullptr && (code & kSridFlag)) {
      code &= ~kSridFlag;
      *srid = stream_.ReadUInt32();
    }
    TypeCode const type = Decode(codes_, code);
    outermost_ = type.kind;
    if (type.kind == 0) return false;
    if (type.kind >= 4) return Collection(0);
    Element(type);
    return true;
  }

  // The value read, built from the vectors without further checks.
  SpatialPtr Build(typename G::Attributes const& attributes) {
    using V = std::conditional_t<kPlanar, DefaultGeometry, DefaultGeography>;
    return MakeSpatial<V>(static_cast<ShapeType>(outermost_), std::move(points_), std::move(lines_),
                          std::move(polys_), attributes);
  }

 private:
  void Element(TypeCode type) {
    switch (type.kind) {
      case 1: Point(type.dimensions); break;
      case 2: Line(type.dimensions); break;
      default: Polygon(type.dimensions); break;
    }
  }

  bool Allowed(int kind) const {
    if (outermost_ == 7) return true;
    return (kind == 1 && outermost_ == 4) || (kind == 2 && outermost_ == 5) ||
           (kind == 3 && outermost_ == 6);
  }

  // Members are read iteratively; only nested collections recurse, at most
  // kMaxDepth deep.
  bool Collection(int depth) {
    std::uint32_t const count = stream_.ReadUInt32();
    for (std::uint32_t i = 0; i < count; ++i) {
      stream_.SetByteOrder(stream_.ReadByte());
      TypeCode const type = Decode(codes_, stream_.ReadUInt32());
      if (type.kind == 0 || !Allowed(type.kind)) return false;
      if (type.kind >= 4) {
        if (depth + 1 >= kMaxDepth || !Collection(depth + 1)) return false;
      } else {
        Element(type);
      }
    }
    return true;
  }

  std::size_t TupleBytes(int dimensions) const { return 8 * static_cast<std::size_t>(dimensions); }

  // x and y of the next tuple, its further dimensions skipped.
  std::pair<double, double> Tuple(int dimensions) {
    double const x = stream_.ReadDouble();
    double const y = stream_.ReadDouble();
    if (dimensions > 2) stream_.Skip(8 * static_cast<std::size_t>(dimensions - 2));
    return {x, y};
  }

  void Point(int dimensions) {
    auto const [x, y] = Tuple(dimensions);
    if (IsNaN(x) && IsNaN(y)) return;
    if constexpr (kPlanar) {
      points_.emplace_back(x, y, tracker_->Get(x, y));
    } else {
      points_.emplace_back(Latitude(Radians(Degrees(ClampLatitude(y)))),
                           Longitude(Radians(Degrees(WrapLongitude(x)))));
    }
  }

  // The point count of a line or ring, checked against the bytes left.
  std::uint32_t PointCount(int dimensions) {
    std::uint32_t const count = stream_.ReadUInt32();
    LineBuilder<C>::CheckCount(count);
    stream_.Require(count, TupleBytes(dimensions));
    return count;
  }

  template <class B>
  void Feed(B& builder, std::uint32_t count, int dimensions) {
    for (std::uint32_t i = 0; i < count; ++i) {
      auto const [x, y] = Tuple(dimensions);
      if constexpr (kPlanar) {
        builder.AddPlanar(GeometryCoordinate(x, y, tracker_->Get(x, y)));
      } else {
        builder.AddGeographic(x, y);
      }
    }
  }

  void Line(int dimensions) {
    std::uint32_t const count = PointCount(dimensions);
    if (count == 0) return;
    line_.Reserve(count);
    Feed(line_, count, dimensions);
    lines_.push_back(line_.FinishLine());
  }

  void Polygon(int dimensions) {
    std::uint32_t const count = stream_.ReadUInt32();
    if (count == 0) return;
    stream_.Require(count, 4);
    typename Values::PackedLines rings;
    rings.reserve(count);
    for (std::uint32_t r = 0; r < count; ++r) {
      std::uint32_t const points = PointCount(dimensions);
      ring_.Reserve(points);
      Feed(ring_, points, dimensions);
      if constexpr (kPlanar) {
        rings.push_back(ring_.FinishPlanarRing());
      } else {
        rings.push_back(ring_.FinishGeographicRing(r != 0));
      }
    }
    polys_.push_back(std::move(rings));
  }

  StreamReader& stream_;
  Codes codes_;
  LineBuilder<C> line_;
  RingBuilder<C> ring_;
  BiasTracker* tracker_;
  int outermost_ = 0;
  typename Values::PackedPoints points_;
  typename Values::PackedLines lines_;
  typename Values::PackedPolys polys_;
};

// Reads one value of family G from the stream: activates the bias tracker
// for a planar read, and builds the value or an Unknown.
template <class G>
SpatialPtr ReadValue(StreamReader& stream, Codes codes, bool densify, bool orient,
                     typename G::Attributes attributes, std::optional<std::uint32_t>* srid) {
  if constexpr (std::is_same_v<G, Geometry>) {
    BiasTracker::Scope scope(BiasTracker::ForThisThread(), attributes.bias);
    Reader<G> reader(stream, codes, densify, orient);
    if (!reader.Read(srid)) return MakeSpatial<Unknown>();
    // The scope delivers the bias when it ends; the value needs it now.
    attributes.bias = BiasTracker::ForThisThread().GetBias();
    return reader.Build(attributes);
  } else {
    Reader<G> reader(stream, codes, densify, orient);
    if (!reader.Read(srid)) return MakeSpatial<Unknown>();
    if (srid != nullptr && srid->has_value()) {
      attributes.original_srid = SRID(SRID::Authority::EPSG, **srid);
    }
    return reader.Build(attributes);
  }
}

// The WKB code of a value's ShapeType; Empty (and anything beyond Mixed)
// cannot be written.
inline std::uint32_t CodeOf(ShapeType type) {
  auto const code = static_cast<std::uint32_t>(type);
  if (code < 1 || code > 7) throw std::invalid_argument("unable to handle " + to_string(type));
  return code;
}

inline bool IsCollection(ShapeType type) {
  return type == ShapeType::MultiPoint || type == ShapeType::MultiLineString ||
         type == ShapeType::MultiPolygon || type == ShapeType::Mixed;
}

// Writes one value of family G (any storage format): the header with
// `code` (the plain code, possibly with the SRID flag), the SRID when given,
// then the body.
template <class G>
void WriteValue(StreamWriter& out, G const& value, std::optional<std::uint32_t> srid) {
  ShapeType const type = value.GetShapeType();
  std::uint32_t const code = CodeOf(type);
  auto const points = value.GetPoints();
  auto const lines = value.GetLines();
  auto const polys = value.GetPolys();
  std::uint32_t const p = points.size(), l = lines.size(), g = polys.size();
  bool const collection = IsCollection(type);
  bool const counted = collection || (type == ShapeType::LineString && l == 0) ||
                       (type == ShapeType::Polygon && g == 0);
  bool const empty_point = !counted && type == ShapeType::Point && p == 0;

  // The exact size, so that the buffer is allocated once.
  std::size_t const header = collection ? 5 : 0;
  std::size_t size = 5 + (srid ? 4 : 0) + (counted ? 4 : 0) + (empty_point ? 16 : 0);
  size += std::size_t{p} * (header + 16);
  for (auto const& line : lines) size += header + 4 + 16 * std::size_t{line.size()};
  for (auto const& poly : polys) {
    size += header + 4;
    for (auto const& ring : poly) size += 4 + 16 * std::size_t{ring.size()};
  }
  out.Reserve(size);

  out.WriteByte(1);
  out.WriteUInt32(srid ? code | kSridFlag : code);
  if (srid) out.WriteUInt32(*srid);
  if (counted) out.WriteUInt32(p + l + g);
  if (empty_point) {
    double const nan = std::bit_cast<double>(std::uint64_t{0x7FF8000000000000});
    out.WriteDouble(nan);
    out.WriteDouble(nan);
  }

  auto coordinate = [&out](auto const& c) {
    if constexpr (std::is_same_v<G, Geometry>) {
      out.WriteDouble(c.GetX());
      out.WriteDouble(c.GetY());
    } else {
      out.WriteDouble(Degrees(c.GetLongitude().Get()).Get());
      out.WriteDouble(Degrees(c.GetLatitude().Get()).Get());
    }
  };
  auto member = [&out, collection](std::uint32_t member_code) {
    if (!collection) return;
    out.WriteByte(1);
    out.WriteUInt32(member_code);
  };
  auto run = [&](auto const& coordinates) {
    std::uint32_t const n = coordinates.size();
    out.WriteUInt32(n);
    for (std::uint32_t i = 0; i < n; ++i) coordinate(coordinates[i]);
  };

  for (std::uint32_t i = 0; i < p; ++i) {
    member(1);
    coordinate(points[i]);
  }
  for (auto const& line : lines) {
    member(2);
    run(line);
  }
  for (auto const& poly : polys) {
    member(3);
    out.WriteUInt32(poly.size());
    for (auto const& ring : poly) run(ring);
  }
}

}  // namespace ostrel::detail::wkb
