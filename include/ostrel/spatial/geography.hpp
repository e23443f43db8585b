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

  // { GetOriginalSRID(), GetConvertedSRID(), GetTopologicalType(),
  //   GetWindingOrder() }.
  Attributes GetAttributes() const;

  // Virtuals in the order of the primary table: slots 1-8 are Spatial's,
  // 9-21 are declared here (the order differs from Geometry's). The
  // overrides of the Shape operations come last, so the extra entries they
  // take in this table follow slot 21.
  CoordinateType GetCoordinateType() const override { return CoordinateType::Geography; }  // 1
  Geography const& AsGeography() const override { return *this; }                          // 5

 protected:
  void DoHash(Hasher& hasher) const override;  // slot 8

 public:
  virtual unsigned long long HashForAttributes() const;  // slot 9

 protected:
  virtual GeographyCoordinate::Packed PackedCoordinateForPoint(unsigned int point) const = 0;  // 10
  virtual GeographyCoordinate::Packed PackedCoordinateInLine(unsigned int line,  // slot 11
                                                             unsigned int point) const = 0;
  virtual GeographyCoordinate::Packed PackedCoordinateInRingOfPoly(unsigned int poly,  // slot 12
                                                                   unsigned int ring,
                                                                   unsigned int point) const = 0;

 public:
  virtual SRID GetOriginalSRID() const = 0;                // slot 13
  virtual SRID GetConvertedSRID() const = 0;               // slot 14
  virtual TopologicalType GetTopologicalType() const = 0;  // slot 15
  virtual WindingOrder GetWindingOrder() const = 0;        // slot 16

 protected:
  virtual unsigned long long GetOrDoHashForPoint(  // slot 17
      std::function<unsigned long long(unsigned int)> fn, unsigned int point) const = 0;
  virtual unsigned long long GetOrDoHashForLine(  // slot 18
      std::function<unsigned long long(unsigned int)> fn, unsigned int line) const = 0;
  virtual unsigned long long GetOrDoHashForRingOfPoly(  // slot 19
      std::function<unsigned long long(unsigned int, unsigned int)> fn, unsigned int poly,
      unsigned int ring) const = 0;
  virtual unsigned long long GetOrDoHashForPoly(  // slot 20
      std::function<unsigned long long(unsigned int)> fn, unsigned int poly) const = 0;
  virtual unsigned long long GetOrDoHashForAttributes(  // slot 21
      std::function<unsigned long long()> fn) const = 0;

 public:
  // Shape: coordinates decoded from the packed encodings, and the per-part
  // hashes; public for geographic values.
  GeographyCoordinate CoordinateInLine(unsigned int line, unsigned int point) const override;
  GeographyCoordinate CoordinateForPoint(unsigned int point) const override;
  GeographyCoordinate CoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                             unsigned int point) const override;
  unsigned long long HashForPoint(unsigned int point) const override;
  unsigned long long HashForLine(unsigned int line) const override;
  unsigned long long HashForPoly(unsigned int poly) const override;
  unsigned long long HashForRingOfPoly(unsigned int poly, unsigned int ring) const override;

 protected:
  Geography() = default;

  void Swap(Geography& other) { Spatial::Swap(other); }

 private:
  friend struct detail::PartHashes<Geography>;
};

}  // namespace ostrel
