// What the SQL Server and Oracle readers share: the choice of family by SRID,
// the attributes that SRID gives, and the packed parts of the value being
// read, fed through the builders and moved into a default-format value.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <type_traits>
#include <utility>
#include <vector>

#include "ostrel/core/angle.hpp"
#include "ostrel/serialization/bias_tracker.hpp"
#include "ostrel/serialization/geographic_input.hpp"
#include "ostrel/serialization/line_builder.hpp"
#include "ostrel/serialization/ring_builder.hpp"
#include "ostrel/serialization/stream_writer.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/unknown.hpp"
#include "serialization/wrong_kind.hpp"

namespace ostrel::detail::sqlserver {

// Both engines keep their geodetic reference systems in this range.
inline bool IsGeographySrid(std::int32_t srid) { return srid >= 4120 && srid < 5000; }

// The packed points, lines and polygons of one value of family G. Input is
// (x, y): planar x and y, or geographic longitude and latitude in degrees.
// Lines and rings are neither densified nor oriented; geographic rings are
// cleaned.
template <class G>
class Parts {
 public:
  static constexpr bool kPlanar = std::is_same_v<G, Geometry>;
  using Value = std::conditional_t<kPlanar, DefaultGeometry, DefaultGeography>;
  using C = typename G::Coordinate;
  using PackedLines = typename Value::PackedLines;

  Parts() : line_(0, false, false), ring_(0, false, false) {
    if constexpr (kPlanar) tracker_ = &BiasTracker::ForThisThread();
  }

  void SetShapeType(ShapeType type) { type_ = type; }

  // Callers reserve only what the input has been checked to hold.
  void ReservePoints(std::size_t more) { points_.reserve(points_.size() + more); }
  void Point(double x, double y) {
    if constexpr (kPlanar) {
      points_.emplace_back(x, y, tracker_->Get(x, y));
    } else {
      points_.emplace_back(Latitude(Radians(Degrees(ClampLatitude(y)))),
                           Longitude(Radians(Degrees(WrapLongitude(x)))));
    }
  }

  void BeginLine(std::uint64_t count) { line_.Reserve(count); }
  void LinePoint(double x, double y) { Add(line_, x, y); }
  void EndLine() { lines_.push_back(line_.FinishLine()); }

  void BeginRing(std::uint64_t count) { ring_.Reserve(count); }
  void RingPoint(double x, double y) { Add(ring_, x, y); }
  typename Value::PackedPoints EndRing(bool is_hole) {
    if constexpr (kPlanar) {
      return ring_.FinishPlanarRing();
    } else {
      return ring_.FinishGeographicRing(is_hole);
    }
  }
  void Polygon(PackedLines&& rings) { polys_.push_back(std::move(rings)); }
  void ReservePolygons(std::size_t more) { polys_.reserve(polys_.size() + more); }

  SpatialPtr Build(typename G::Attributes const& attributes) {
    return MakeSpatial<Value>(type_, std::move(points_), std::move(lines_), std::move(polys_),
                              attributes);
  }

 private:
  template <class B>
  void Add(B& builder, double x, double y) {
    if constexpr (kPlanar) {
      builder.AddPlanar(GeometryCoordinate(x, y, tracker_->Get(x, y)));
    } else {
      builder.AddGeographic(x, y);
    }
  }

  ShapeType type_ = ShapeType::Empty;
  LineBuilder<C> line_;
  RingBuilder<C> ring_;
  BiasTracker* tracker_ = nullptr;
  typename Value::PackedPoints points_;
  typename Value::PackedLines lines_;
  typename Value::PackedPolys polys_;
};

// Runs read(parts) for the family the SRID selects and builds the value, or
// an Unknown when read returns false. A geography gets EPSG:<srid> as both
// SRIDs; a geometry <srid> under authority None and the bias of its first
// coordinate (the bias tracker is active for the whole planar read).
template <class Read>
SpatialPtr ReadFamily(std::int32_t srid, Read&& read) {
  auto const id = static_cast<unsigned int>(srid);
  if (IsGeographySrid(srid)) {
    Parts<Geography> parts;
    if (!read(parts)) return MakeSpatial<Unknown>();
    SRID const s(SRID::Authority::EPSG, id);
    return parts.Build(
        Geography::Attributes(s, s, TopologicalType::Spheroidal, WindingOrder::InteriorLeft));
  }
  Geometry::Attributes attributes;
  BiasTracker& tracker = BiasTracker::ForThisThread();
  BiasTracker::Scope scope(tracker, attributes.bias);
  Parts<Geometry> parts;
  if (!read(parts)) return MakeSpatial<Unknown>();
  // The scope delivers the bias when it ends; the value needs it now.
  attributes.bias = tracker.GetBias();
  attributes.original_srid = attributes.converted_srid = SRID(SRID::Authority::None, id);
  return parts.Build(attributes);
}

// The bytes `write` gives for a geography or a geometry (called with the
// writer and the value as Geography or Geometry); any other kind is refused.
template <class Write>
std::vector<std::uint8_t> WriteFamily(Spatial const& value, Write&& write) {
  StreamWriter out;
  switch (value.GetCoordinateType()) {
    case CoordinateType::Geography: write(out, value.AsGeography()); break;
    case CoordinateType::Geometry: write(out, value.AsGeometry()); break;
    default: ThrowWrongKind();
  }
  return out.Take();
}

}  // namespace ostrel::detail::sqlserver
