// Geography: the abstract value on the WGS84 ellipsoid.
//
// Coordinates are GeographyCoordinate, stored by formats as 64-bit Packed
// grid encodings. The attributes are the original and converted SRIDs, the
// topological type (whether edges are ellipsoidal arcs or flat) and the
// winding order (on which side of a ring its interior lies).
//
// Hash: as for Geometry, with the attribute hash made of the two SRIDs and
// the topological type. The winding order is not part of the hash: two
// geographies that differ only in it are equal.
#pragma once

#include <cstdint>
#include <functional>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/srid.hpp"
#include "ostrel/spatial/shape.hpp"
#include "ostrel/spatial/spatial.hpp"

namespace ostrel {
namespace detail {
template <class G>
struct PartHashes;
}

class OSTREL_EXPORT Geography : public Spatial, public Shape<GeographyCoordinate> {
 public:
  using Coordinate = GeographyCoordinate;

  struct Attributes {
    Attributes() = default;
    Attributes(SRID original, SRID converted, TopologicalType topological, WindingOrder winding)
        : original_srid(original),
          converted_srid(converted),
          topological_type(topological),
          winding_order(winding) {}

    SRID original_srid = SRID::WGS84();
    SRID converted_srid = SRID::WGS84();
    TopologicalType topological_type = TopologicalType::Spheroidal;
    WindingOrder winding_order = WindingOrder::InteriorLeft;
  };

  Geography(Geography const&) = default;
  Geography(Geography&&) = default;
  Geography& operator=(Geography const&) = default;
  Geography& operator=(Geography&&) = default;

  CoordinateType GetCoordinateType() const override { return CoordinateType::Geography; }
  Geography const& AsGeography() const override { return *this; }

  virtual std::uint64_t HashForAttributes() const;

 protected:
  // Declared between the public getters to keep the table's slot order.
  virtual GeographyCoordinate::Packed PackedCoordinateForPoint(unsigned int point) const = 0;
  virtual GeographyCoordinate::Packed PackedCoordinateInLine(unsigned int line,
                                                             unsigned int point) const = 0;
  virtual GeographyCoordinate::Packed PackedCoordinateInRingOfPoly(unsigned int poly,
                                                                   unsigned int ring,
                                                                   unsigned int point) const = 0;

 public:
  virtual SRID GetOriginalSRID() const = 0;
  virtual SRID GetConvertedSRID() const = 0;
  virtual TopologicalType GetTopologicalType() const = 0;
  virtual WindingOrder GetWindingOrder() const = 0;

  // { GetOriginalSRID(), GetConvertedSRID(), GetTopologicalType(),
  //   GetWindingOrder() }.
  Attributes GetAttributes() const;

  // Shape: coordinates decoded from the packed encodings, and the per-part
  // hashes; public for geographic values.
  GeographyCoordinate CoordinateInLine(unsigned int line, unsigned int point) const override;
  GeographyCoordinate CoordinateForPoint(unsigned int point) const override;
  GeographyCoordinate CoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                             unsigned int point) const override;
  std::uint64_t HashForPoint(unsigned int point) const override;
  std::uint64_t HashForLine(unsigned int line) const override;
  std::uint64_t HashForPoly(unsigned int poly) const override;
  std::uint64_t HashForRingOfPoly(unsigned int poly, unsigned int ring) const override;

 protected:
  Geography() = default;

  void DoHash(Hasher& hasher) const override;

  virtual std::uint64_t GetOrDoHashForPoint(std::function<std::uint64_t(unsigned int)> fn,
                                            unsigned int point) const = 0;
  virtual std::uint64_t GetOrDoHashForLine(std::function<std::uint64_t(unsigned int)> fn,
                                           unsigned int line) const = 0;
  virtual std::uint64_t GetOrDoHashForRingOfPoly(
      std::function<std::uint64_t(unsigned int, unsigned int)> fn, unsigned int poly,
      unsigned int ring) const = 0;
  virtual std::uint64_t GetOrDoHashForPoly(std::function<std::uint64_t(unsigned int)> fn,
                                           unsigned int poly) const = 0;
  virtual std::uint64_t GetOrDoHashForAttributes(std::function<std::uint64_t()> fn) const = 0;

  void Swap(Geography& other) { Spatial::Swap(other); }

 private:
  friend struct detail::PartHashes<Geography>;
};

}  // namespace ostrel
