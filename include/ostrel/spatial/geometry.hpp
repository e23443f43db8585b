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

  CoordinateType GetCoordinateType() const override { return CoordinateType::Geometry; }
  Geometry const& AsGeometry() const override { return *this; }

  virtual GeometryCoordinate::Bias GetBias() const = 0;
  virtual SRID GetOriginalSRID() const = 0;
  virtual SRID GetConvertedSRID() const = 0;

  // { GetBias(), GetOriginalSRID(), GetConvertedSRID() }.
  Attributes GetAttributes() const;

 protected:
  Geometry() = default;

  void DoHash(Hasher& hasher) const override;

  virtual GeometryCoordinate::Packed PackedCoordinateForPoint(unsigned int point) const = 0;
  virtual GeometryCoordinate::Packed PackedCoordinateInLine(unsigned int line,
                                                            unsigned int point) const = 0;
  virtual GeometryCoordinate::Packed PackedCoordinateInRingOfPoly(unsigned int poly,
                                                                  unsigned int ring,
                                                                  unsigned int point) const = 0;
  virtual std::uint64_t HashForAttributes() const;
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

  // Shape: coordinates unpacked with GetBias(), and the per-part hashes.
  GeometryCoordinate CoordinateInLine(unsigned int line, unsigned int point) const override;
  GeometryCoordinate CoordinateForPoint(unsigned int point) const override;
  GeometryCoordinate CoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                            unsigned int point) const override;
  std::uint64_t HashForPoint(unsigned int point) const override;
  std::uint64_t HashForLine(unsigned int line) const override;
  std::uint64_t HashForPoly(unsigned int poly) const override;
  std::uint64_t HashForRingOfPoly(unsigned int poly, unsigned int ring) const override;

  void Swap(Geometry& other) { Spatial::Swap(other); }

 private:
  friend struct detail::PartHashes<Geometry>;
};

}  // namespace ostrel
