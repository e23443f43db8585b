// Storage<G>: the parsed records of a legacy stream, the storage of a legacy
// value (G is Geometry or Geography, C its coordinate class).
//
// Points are decoded into packed coordinates when the stream is read. Every
// line string (SerializedLine) and every polygon ring (SerializedRing) keeps
// its encoded coordinates: plain, count * 16 bytes of big-endian doubles
// (x, y; or latitude, longitude in radians), or compressed, zigzag varint
// pairs on the grid 10^-precision, the first pair absolute and every further
// pair a delta. A compressed ring stores count - 1 pairs and repeats its
// first coordinate at the end. A polygon (SerializedPoly) carries one
// compressed flag and one precision for all its rings.
//
// Decoding happens on the first visit of a line or ring: GetOwner locks the
// record's own mutex, returns the decoded owner if someone still holds it,
// and otherwise decodes into a new owner, keeps a weak reference to it and
// returns it. So concurrent visitors share one owner while any of them
// holds it, and a visit after all have let go decodes again. Owners, with
// their shared-pointer control blocks, come from the memory resource of the
// record's bytes.
//
// Decoding (precision p, s = 10^-p): planar sums are snapped with Round(v, p)
// and packed with Bias::None(); geographic sums are clamped to exactly
// +/-pi/2 (latitude) or +/-pi (longitude) when they lie beyond by less than
// 2s, then packed, the latitude range-checked. A record that cannot be
// decoded (bytes short of its count, a malformed varint, a latitude beyond
// the poles) throws the stream reader's exceptions when visited; records made
// by LegacySerialization::Read have been checked and always decode.
//
// Boxes are the item's (minimum, maximum) corners, invalid when not known.
// The hash cells cache the part hashes of the value (0: not computed).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>

#include "ostrel/core/atomic_uint64.hpp"
#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/spatial/shape.hpp"

namespace ostrel::LegacySerialization {
namespace detail {

// The decoded coordinates of one line.
template <class C>
class OSTREL_EXPORT LegacyLineOwner final : public ShapeLineOwner<C> {
 public:
  using Packed = typename C::Packed;

  explicit LegacyLineOwner(ResourceVector<Packed>&& coordinates)
      : coordinates_(std::move(coordinates)) {}
  ~LegacyLineOwner() override;

  // Coordinate `point`; the line index is that of the record, whatever is passed.
  C CoordinateInLine(unsigned int line, unsigned int point) const override;

  ResourceVector<Packed> const& GetCoordinates() const { return coordinates_; }

 private:
  ResourceVector<Packed> coordinates_;
};

// The decoded coordinates of one ring, closing coordinate included.
template <class C>
class OSTREL_EXPORT LegacyRingOwner final : public ShapeRingOwner<C> {
 public:
  using Packed = typename C::Packed;

  explicit LegacyRingOwner(ResourceVector<Packed>&& coordinates)
      : coordinates_(std::move(coordinates)) {}
  ~LegacyRingOwner() override;

  C CoordinateInRingOfPoly(unsigned int poly, unsigned int ring, unsigned int point) const override;

  ResourceVector<Packed> const& GetCoordinates() const { return coordinates_; }

 private:
  ResourceVector<Packed> coordinates_;
};

// A range over the coordinates of a decoded owner that keeps it alive:
// for (C c : LegacyIteratorOwner<LegacyLineOwner<C>, C>(owner)) ...
template <class Owner, class C>
class LegacyIteratorOwner : public ostrel::detail::IndexedRange<LegacyIteratorOwner<Owner, C>, C> {
 public:
  LegacyIteratorOwner() = default;
  explicit LegacyIteratorOwner(std::shared_ptr<Owner const> owner)
      : ostrel::detail::IndexedRange<LegacyIteratorOwner, C>(
            owner ? static_cast<unsigned int>(owner->GetCoordinates().size()) : 0),
        owner_(std::move(owner)) {}

  C At(unsigned int point) const {
    return ostrel::detail::Unpack(owner_->GetCoordinates()[point],
                                  GeometryCoordinate::Bias::None());
  }
  Owner const* GetOwner() const { return owner_.get(); }

 private:
  std::shared_ptr<Owner const> owner_;
};

// One line string of the stream.
template <class C>
class OSTREL_EXPORT SerializedLine {
 public:
  using Box = std::pair<C, C>;

  SerializedLine() = default;
  // Copies and moves take the bytes, count, box, cached hash, flag and
  // precision, and share the decoded owner if one is alive; never noexcept,
  // because they lock.
  SerializedLine(SerializedLine const& other);
  SerializedLine(SerializedLine&& other);
  SerializedLine& operator=(SerializedLine const& other);
  SerializedLine& operator=(SerializedLine&& other);
  ~SerializedLine();

  // The decoded coordinates, shared with every other current holder.
  std::shared_ptr<LegacyLineOwner<C> const> GetOwner() const;

  ResourceVector<std::uint8_t> bytes;
  std::uint32_t count = 0;
  Box box;
  mutable AtomicUInt64 hash;
  std::uint8_t compressed = 1;
  std::int8_t precision = 0;

 private:
  mutable std::weak_ptr<LegacyLineOwner<C> const> decoded_;
  mutable std::mutex mutex_;
};

// One ring of a polygon; its encoding is given by the polygon.
template <class C>
class OSTREL_EXPORT SerializedRing {
 public:
  using Box = std::pair<C, C>;

  SerializedRing() = default;
  SerializedRing(SerializedRing const& other);
  SerializedRing(SerializedRing&& other);
  SerializedRing& operator=(SerializedRing const& other);
  SerializedRing& operator=(SerializedRing&& other);
  ~SerializedRing();

  std::shared_ptr<LegacyRingOwner<C> const> GetOwner(bool is_compressed,
                                                     std::int8_t grid_precision) const;

  ResourceVector<std::uint8_t> bytes;
  std::uint32_t count = 0;  // closing coordinate included
  Box box;
  mutable AtomicUInt64 hash;

 private:
  mutable std::weak_ptr<LegacyRingOwner<C> const> decoded_;
  mutable std::mutex mutex_;
};

// One polygon of the stream.
template <class C>
struct SerializedPoly {
  using Box = std::pair<C, C>;

  ResourceVector<SerializedRing<C>> rings;
  Box box;
  mutable AtomicUInt64 hash;
  std::uint8_t compressed = 0;
  std::int8_t precision = 0;
};

// The coordinate classes are not exported themselves, so instantiations on
// them would be hidden: the instantiations carry the export explicitly.
extern template class OSTREL_EXPORT LegacyLineOwner<GeometryCoordinate>;
extern template class OSTREL_EXPORT LegacyLineOwner<GeographyCoordinate>;
extern template class OSTREL_EXPORT LegacyRingOwner<GeometryCoordinate>;
extern template class OSTREL_EXPORT LegacyRingOwner<GeographyCoordinate>;
extern template class OSTREL_EXPORT SerializedLine<GeometryCoordinate>;
extern template class OSTREL_EXPORT SerializedLine<GeographyCoordinate>;
extern template class OSTREL_EXPORT SerializedRing<GeometryCoordinate>;
extern template class OSTREL_EXPORT SerializedRing<GeographyCoordinate>;

}  // namespace detail

template <class G>
struct Storage {
  using Coordinate = typename G::Coordinate;
  using Packed = typename Coordinate::Packed;

  ShapeType shape_type = ShapeType::Empty;  // SpatialTypeToShapeType of the stream's
  ResourceVector<Packed> points;
  ResourceVector<detail::SerializedLine<Coordinate>> lines;
  ResourceVector<detail::SerializedPoly<Coordinate>> polygons;
  mutable AtomicUInt64 attribute_hash;

  void swap(Storage& other) {
    std::swap(shape_type, other.shape_type);
    points.swap(other.points);
    lines.swap(other.lines);
    polygons.swap(other.polygons);
    attribute_hash.swap(other.attribute_hash);
  }
};

}  // namespace ostrel::LegacySerialization
