// BoundingBoxAccessor<G>: the per-item boxes a value can supply without a
// pass over its coordinates (G is Geometry or Geography).
//
// Each query returns (minimum corner, maximum corner). The base answers
// every query with two default-constructed, invalid (NaN) coordinates: "no
// box known". Stored formats that keep boxes (legacy and OGR values) derive
// from it and answer the line-string and polygon queries; every other value
// is served by the one shared default accessor, GetDefault(). The compressed
// legacy writer asks for boxes in emission order, and the envelope handlers
// return them instead of computing bounds.
//
// Virtual slots, in this order and with no destructor among them (the
// destructor is protected and not virtual: accessors are never deleted
// through this interface):
//   0 BoundingBoxForPoint(index)            4 BoundingBoxForMultiLineString(index)
//   1 BoundingBoxForLineString(index)       5 BoundingBoxForMultiPolygon(index)
//   2 BoundingBoxForPolygon(index)          6 BoundingBoxForMixed()
//   3 BoundingBoxForMultiPoint(index)
#pragma once

#include <utility>

#include "ostrel/core/export.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"

namespace ostrel::LegacySerialization {

template <class G>
class OSTREL_EXPORT BoundingBoxAccessor {
 public:
  using Coordinate = typename G::Coordinate;
  using Box = std::pair<Coordinate, Coordinate>;

  virtual Box BoundingBoxForPoint(unsigned int point) const;                 // slot 0
  virtual Box BoundingBoxForLineString(unsigned int line) const;             // slot 1
  virtual Box BoundingBoxForPolygon(unsigned int polygon) const;             // slot 2
  virtual Box BoundingBoxForMultiPoint(unsigned int multi_point) const;      // slot 3
  virtual Box BoundingBoxForMultiLineString(unsigned int multi_line) const;  // slot 4
  virtual Box BoundingBoxForMultiPolygon(unsigned int multi_polygon) const;  // slot 5
  virtual Box BoundingBoxForMixed() const;                                   // slot 6

  // The shared accessor of values that keep no boxes; made once on first
  // use, never destroyed.
  static BoundingBoxAccessor const& GetDefault();

 protected:
  BoundingBoxAccessor() = default;
  BoundingBoxAccessor(BoundingBoxAccessor const&) = default;
  BoundingBoxAccessor& operator=(BoundingBoxAccessor const&) = default;
  ~BoundingBoxAccessor() = default;
};

extern template class BoundingBoxAccessor<Geometry>;
extern template class BoundingBoxAccessor<Geography>;

}  // namespace ostrel::LegacySerialization
