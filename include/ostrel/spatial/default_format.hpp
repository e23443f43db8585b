// The default format: the plain in-memory representation of planar and
// geographic values, three vectors of packed coordinates (points, lines,
// polys) plus the value's attributes and a cache of part hashes.
//
// Readers and operations that make new values build them here, either from
// coordinate vectors, which are validated and packed, or from vectors that
// are already packed, which are moved in unchecked. Every vector carries the
// memory resource current when it was made.
//
// Invariants after construction from coordinates: every line has at least 2
// coordinates; every poly at least one ring; every ring at least 4
// coordinates, its first equal to its last. Validation runs in points-lines-
// polys order and reports the first offender with std::invalid_argument
// ("line 1 has less than 2 coordinates", "poly 2 is empty", "ring 1 of poly 0
// has less than 4 coordinates", "ring 0 of poly 3 is not closed"). A value
// built from packed vectors carries whatever it was given. The shape type is
// stored as given, or inferred from the counts when not given.
//
// A moved-from value is Empty, with default attributes and no content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "ostrel/core/export.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/spatial/shape_hashes.hpp"

namespace ostrel {

namespace detail {
// The shape type of a value with these part counts: Mixed when more than one
// kind is present, else Point/MultiPoint, LineString/MultiLineString or
// Polygon/MultiPolygon by the count of the one kind, Empty when none.
OSTREL_EXPORT ShapeType InferShapeType(std::size_t points, std::size_t lines, std::size_t polys);
}  // namespace detail

// Marks a value as being in the default format.
class OSTREL_EXPORT DefaultFormat {
 public:
  DefaultFormat() = default;
  DefaultFormat(DefaultFormat const&) = default;
  DefaultFormat& operator=(DefaultFormat const&) = default;
  virtual ~DefaultFormat();

  // ("DefaultFormat:n"), made once on first use.
  static FormatInfo const& GetRegisteredFormatInfo();
};

// G is Geometry or Geography.
template <class G>
class OSTREL_EXPORT DefaultSpatial : public G, public DefaultFormat {
 public:
  using Coordinate = typename G::Coordinate;
  using Packed = typename Coordinate::Packed;
  using Attributes = typename G::Attributes;

  using Points = ResourceVector<Coordinate>;
  using Lines = ResourceVector<Points>;
  using Polys = ResourceVector<Lines>;
  using PackedPoints = ResourceVector<Packed>;
  using PackedLines = ResourceVector<PackedPoints>;
  using PackedPolys = ResourceVector<PackedLines>;

  DefaultSpatial();
  DefaultSpatial(Points const& points, Lines const& lines, Polys const& polys);
  DefaultSpatial(Points const& points, Lines const& lines, Polys const& polys,
                 Attributes const& attributes);
  DefaultSpatial(ShapeType shape_type, Points const& points, Lines const& lines,
                 Polys const& polys);
  DefaultSpatial(ShapeType shape_type, Points const& points, Lines const& lines, Polys const& polys,
                 Attributes const& attributes);
  // Takes the packed vectors with their allocators, unchecked; the sources
  // are left empty.
  DefaultSpatial(ShapeType shape_type, PackedPoints&& points, PackedLines&& lines,
                 PackedPolys&& polys, Attributes const& attributes);

  // A copy allocates its vectors and part hashes from the current memory
  // resource; a moved-to value takes the source's storage with the
  // resources it came from, allocating nothing. Both assignments give the
  // strong guarantee (they build the new content, then swap it in), and
  // none of these is noexcept because the cached hashes lock.
  DefaultSpatial(DefaultSpatial const& other);
  DefaultSpatial(DefaultSpatial&& other);
  DefaultSpatial& operator=(DefaultSpatial const& other);
  DefaultSpatial& operator=(DefaultSpatial&& other);
  ~DefaultSpatial() override;

  ShapeType GetShapeType() const override { return shape_type_; }
  SRID GetOriginalSRID() const override { return attributes_.original_srid; }
  SRID GetConvertedSRID() const override { return attributes_.converted_srid; }

 protected:
  // The shape's coordinates straight from the packed vectors (one virtual
  // call instead of two). Public again in DefaultGeography, as in Geography.
  Coordinate CoordinateInLine(unsigned int line, unsigned int point) const final;
  Coordinate CoordinateForPoint(unsigned int point) const final;
  Coordinate CoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                    unsigned int point) const final;

  unsigned int NumberOfPoints() const override;
  unsigned int NumberOfLines() const override;
  unsigned int NumberOfPolys() const override;
  unsigned int SizeOfLine(unsigned int line) const override;
  unsigned int SizeOfPoly(unsigned int poly) const override;
  unsigned int SizeOfRingInPoly(unsigned int poly, unsigned int ring) const override;

  Packed PackedCoordinateForPoint(unsigned int point) const override { return points_[point]; }
  Packed PackedCoordinateInLine(unsigned int line, unsigned int point) const override {
    return lines_[line][point];
  }
  Packed PackedCoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                      unsigned int point) const override {
    return polys_[poly][ring][point];
  }

  detail::PackedRun<Coordinate> GetPackedLine(unsigned int line) const override;
  detail::PackedRun<Coordinate> GetPackedRing(unsigned int poly, unsigned int ring) const override;

  unsigned long long GetOrDoHashForPoint(std::function<unsigned long long(unsigned int)> fn,
                                         unsigned int point) const override;
  unsigned long long GetOrDoHashForLine(std::function<unsigned long long(unsigned int)> fn,
                                        unsigned int line) const override;
  unsigned long long GetOrDoHashForRingOfPoly(
      std::function<unsigned long long(unsigned int, unsigned int)> fn, unsigned int poly,
      unsigned int ring) const override;
  unsigned long long GetOrDoHashForPoly(std::function<unsigned long long(unsigned int)> fn,
                                        unsigned int poly) const override;
  unsigned long long GetOrDoHashForAttributes(
      std::function<unsigned long long()> fn) const override;

  // The whole value's hash straight from the vectors, with the part-hash
  // cache consulted and filled under one lock each; the same hash as the
  // part-by-part protocol of Geometry and Geography.
  void DoHash(Hasher& hasher) const override;

  Attributes const& GetStoredAttributes() const { return attributes_; }

  // Exchanges everything: cached hash, shape type, vectors with their
  // allocators, attributes, part hashes. Allocates nothing.
  void Swap(DefaultSpatial& other);

 private:
  void Build(Points const& points, Lines const& lines, Polys const& polys);
  Packed Pack(Coordinate const& c) const;
  GeometryCoordinate::Bias Bias() const;
  void Clear();
  // Installs storage built by an assignment, exchanging it with the old.
  void Adopt(ShapeType shape_type, PackedPoints& points, PackedLines& lines, PackedPolys& polys,
             Attributes const& attributes, ShapeHashes& hashes);

  ShapeType shape_type_ = ShapeType::Empty;
  PackedPoints points_;
  PackedLines lines_;
  PackedPolys polys_;
  Attributes attributes_;
  ShapeHashes shape_hashes_;
};

extern template class DefaultSpatial<Geometry>;
extern template class DefaultSpatial<Geography>;

class OSTREL_EXPORT DefaultGeometry final : public DefaultSpatial<Geometry> {
 public:
  using DefaultSpatial<Geometry>::DefaultSpatial;
  DefaultGeometry(DefaultGeometry const&) = default;
  DefaultGeometry(DefaultGeometry&&) = default;
  DefaultGeometry& operator=(DefaultGeometry const&) = default;
  DefaultGeometry& operator=(DefaultGeometry&&) = default;
  ~DefaultGeometry() override;

  GeometryCoordinate::Bias GetBias() const override { return GetStoredAttributes().bias; }
  FormatInfo const& GetFormatInfo() const override { return GetRegisteredFormatInfo(); }

  void swap(DefaultGeometry& other) { Swap(other); }
};

class OSTREL_EXPORT DefaultGeography final : public DefaultSpatial<Geography> {
 public:
  using DefaultSpatial<Geography>::DefaultSpatial;
  DefaultGeography(DefaultGeography const&) = default;
  DefaultGeography(DefaultGeography&&) = default;
  DefaultGeography& operator=(DefaultGeography const&) = default;
  DefaultGeography& operator=(DefaultGeography&&) = default;
  ~DefaultGeography() override;

  TopologicalType GetTopologicalType() const override {
    return GetStoredAttributes().topological_type;
  }
  WindingOrder GetWindingOrder() const override { return GetStoredAttributes().winding_order; }
  FormatInfo const& GetFormatInfo() const override { return GetRegisteredFormatInfo(); }

  using DefaultSpatial<Geography>::CoordinateForPoint;
  using DefaultSpatial<Geography>::CoordinateInLine;
  using DefaultSpatial<Geography>::CoordinateInRingOfPoly;

  void swap(DefaultGeography& other) { Swap(other); }
};

}  // namespace ostrel
