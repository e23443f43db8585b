// Geometry: the abstract planar value.
//
// Coordinates are GeometryCoordinate, stored by formats as Packed float
// offsets from the value's bias (GetBias()); CoordinateForPoint and its
// siblings unpack them with that bias. The attributes are the bias and the
// original and converted SRIDs (the reference system the value was given in,
// and the one its coordinates are held in now).
//
// Hash: the attribute hash, then points, lines and polys (see Shape). Every
// part hash starts with the attribute hash, so values that differ in bias or
// SRIDs never share part hashes; a format may cache part hashes through the
// GetOrDoHashFor... operations, which receive the function that computes the
// part from scratch.
#pragma once

#include <cstdint>
#include <functional>

#include "ostrel/core/export.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/core/srid.hpp"
#include "ostrel/spatial/shape.hpp"
#include "ostrel/spatial/spatial.hpp"

namespace ostrel {
namespace detail {
template <class G>
struct PartHashes;
}

class OSTREL_EXPORT Geometry : public Spatial, public Shape<GeometryCoordinate> {
 public:
  using Coordinate = GeometryCoordinate;

  struct Attributes {
    Attributes() = default;
    Attributes(GeometryCoordinate::Bias bias_, SRID original, SRID converted)
        : bias(bias_), original_srid(original), converted_srid(converted) {}

    GeometryCoordinate::Bias bias = GeometryCoordinate::Bias::None();
    SRID original_srid = SRID::None();
    SRID converted_srid = SRID::None();
  };

  Geometry(Geometry const&) = default;
  Geometry(Geometry&&) = default;
  Geometry& operator=(Geometry const&) = default;
  Geometry& operator=(Geometry&&) = default;

  // { GetBias(), GetOriginalSRID(), GetConvertedSRID() }.
  Attributes GetAttributes() const;

  // Virtuals in the order of the primary table: slots 1-8 are Spatial's,
  // 9-20 are declared here. The overrides of the Shape operations come
  // last, so the extra entries they take in this table follow slot 20.
  CoordinateType GetCoordinateType() const override { return CoordinateType::Geometry; }  // 1
  Geometry const& AsGeometry() const override { return *this; }                           // 4

  virtual GeometryCoordinate::Bias GetBias() const = 0;  // slot 9
  virtual SRID GetOriginalSRID() const = 0;              // slot 10
  virtual SRID GetConvertedSRID() const = 0;             // slot 11

 protected:
  Geometry() = default;

  void DoHash(Hasher& hasher) const override;  // slot 8

  virtual GeometryCoordinate::Packed PackedCoordinateForPoint(unsigned int point) const = 0;  // 12
  virtual GeometryCoordinate::Packed PackedCoordinateInLine(unsigned int line,  // slot 13
                                                            unsigned int point) const = 0;
  virtual GeometryCoordinate::Packed PackedCoordinateInRingOfPoly(unsigned int poly,  // slot 14
                                                                  unsigned int ring,
                                                                  unsigned int point) const = 0;
  virtual unsigned long long HashForAttributes() const;  // slot 15
  virtual unsigned long long GetOrDoHashForPoint(        // slot 16
      std::function<unsigned long long(unsigned int)> fn, unsigned int point) const = 0;
  virtual unsigned long long GetOrDoHashForLine(  // slot 17
      std::function<unsigned long long(unsigned int)> fn, unsigned int line) const = 0;
  virtual unsigned long long GetOrDoHashForRingOfPoly(  // slot 18
      std::function<unsigned long long(unsigned int, unsigned int)> fn, unsigned int poly,
      unsigned int ring) const = 0;
  virtual unsigned long long GetOrDoHashForPoly(  // slot 19
      std::function<unsigned long long(unsigned int)> fn, unsigned int poly) const = 0;
  virtual unsigned long long GetOrDoHashForAttributes(  // slot 20
      std::function<unsigned long long()> fn) const = 0;

  // Shape: coordinates unpacked with GetBias(), and the per-part hashes;
  // protected for planar values (callers use the ranges, or a Shape
  // reference where the part hashes are public).
  GeometryCoordinate CoordinateInLine(unsigned int line, unsigned int point) const override;
  GeometryCoordinate CoordinateForPoint(unsigned int point) const override;
  GeometryCoordinate CoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                            unsigned int point) const override;
  unsigned long long HashForPoint(unsigned int point) const override;
  unsigned long long HashForLine(unsigned int line) const override;
  unsigned long long HashForPoly(unsigned int poly) const override;
  unsigned long long HashForRingOfPoly(unsigned int poly, unsigned int ring) const override;

  void Swap(Geometry& other) { Spatial::Swap(other); }

 private:
  friend struct detail::PartHashes<Geometry>;
};

}  // namespace ostrel
