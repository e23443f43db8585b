// The OGR-shaped format: packed coordinate vectors like the default format,
// but every line string and every polygon carries its own bounding box, and
// the value keeps its full attribute record.
//
// OgrSpatial<G> (G is Geometry or Geography, C its coordinate class) derives
// from G, OgrFormat and BoundingBoxAccessor<G>. A box is (minimum corner,
// maximum corner) of C; an invalid box (NaN corners) means "not known".
//
// Built from packed vectors with boxes, a value takes everything as given,
// unchecked: a producer that already knows the boxes hands them in, and
// BoundingBoxForLineString / BoundingBoxForPolygon return them as they are.
// Built from coordinate vectors, a value is first built in the default format
// (whose validation and exceptions apply, and whose inferred shape type and
// attributes it takes); its coordinates are packed as the default format
// packs them and every box is invalid. The other five box queries always
// return invalid boxes.
//
// An OgrGeometry reports the bias and SRIDs it was given; an OgrGeography
// its SRIDs, topological type and winding order (by default WGS84,
// Spheroidal, interior-left). Part hashes are cached in a ShapeHashes; a
// value is otherwise immutable and safe for concurrent readers.
#pragma once

#include <functional>
#include <utility>

#include "ostrel/core/export.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/legacy/bounding_box_accessor.hpp"
#include "ostrel/spatial/format_info.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/spatial/shape_hashes.hpp"

namespace ostrel {

// Marks a value as being in the OGR-shaped format.
class OSTREL_EXPORT OgrFormat {
 public:
  OgrFormat() = default;
  OgrFormat(OgrFormat const&) = default;
  OgrFormat& operator=(OgrFormat const&) = default;
  virtual ~OgrFormat();

  // ("OgrFormat:n"), made once on first use.
  static FormatInfo const& GetRegisteredFormatInfo();
};

template <class G>
class OSTREL_EXPORT OgrSpatial : public G,
                                 public OgrFormat,
                                 public LegacySerialization::BoundingBoxAccessor<G> {
 public:
  using Coordinate = typename G::Coordinate;
  using Packed = typename Coordinate::Packed;
  using Attributes = typename G::Attributes;
  using Box = std::pair<Coordinate, Coordinate>;

  using Points = ResourceVector<Coordinate>;
  using Lines = ResourceVector<Points>;
  using Polys = ResourceVector<Lines>;

  using PackedPoints = ResourceVector<Packed>;
  using PackedRings = ResourceVector<PackedPoints>;
  using PackedLines = ResourceVector<std::pair<PackedPoints, Box>>;
  using PackedPolys = ResourceVector<std::pair<PackedRings, Box>>;

  OgrSpatial();
  // Moves the vectors in with their allocators, unchecked; the sources are
  // left empty.
  OgrSpatial(ShapeType shape_type, PackedPoints&& points, PackedLines&& lines, PackedPolys&& polys,
             Attributes const& attributes);
  // A copy allocates on the current memory resource; a move takes the
  // source's storage and leaves it Empty with default attributes.
  // Assignments give the strong guarantee; none is noexcept (hash caches lock).
  OgrSpatial(OgrSpatial const& other);
  OgrSpatial(OgrSpatial&& other);
  OgrSpatial& operator=(OgrSpatial const& other);
  OgrSpatial& operator=(OgrSpatial&& other);
  ~OgrSpatial() override;

  ShapeType GetShapeType() const override { return shape_type_; }
  SRID GetOriginalSRID() const override { return attributes_.original_srid; }
  SRID GetConvertedSRID() const override { return attributes_.converted_srid; }

  Box BoundingBoxForLineString(unsigned int line) const override;
  Box BoundingBoxForPolygon(unsigned int polygon) const override;

 protected:
  // Built from coordinates (see above); the concrete classes expose it.
  OgrSpatial(Points const& points, Lines const& lines, Polys const& polys,
             Attributes const& attributes);

  unsigned int NumberOfPoints() const override;
  unsigned int NumberOfLines() const override;
  unsigned int NumberOfPolys() const override;
  unsigned int SizeOfLine(unsigned int line) const override;
  unsigned int SizeOfPoly(unsigned int poly) const override;
  unsigned int SizeOfRingInPoly(unsigned int poly, unsigned int ring) const override;

  Packed PackedCoordinateForPoint(unsigned int point) const override { return points_[point]; }
  Packed PackedCoordinateInLine(unsigned int line, unsigned int point) const override {
    return lines_[line].first[point];
  }
  Packed PackedCoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                      unsigned int point) const override {
    return polys_[poly].first[ring][point];
  }

  ostrel::detail::PackedRun<Coordinate> GetPackedLine(unsigned int line) const override;
  ostrel::detail::PackedRun<Coordinate> GetPackedRing(unsigned int poly,
                                                      unsigned int ring) const override;

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

  Attributes const& GetStoredAttributes() const { return attributes_; }

  // Exchanges everything, allocators included; allocates nothing.
  void Swap(OgrSpatial& other);

 private:
  void Clear();
  // Installs content built by an assignment, exchanging it with the old.
  void Adopt(ShapeType shape_type, PackedPoints& points, PackedLines& lines, PackedPolys& polys,
             Attributes const& attributes, ShapeHashes& hashes);

  ShapeType shape_type_ = ShapeType::Empty;
  PackedPoints points_;
  PackedLines lines_;
  PackedPolys polys_;
  Attributes attributes_;
  ShapeHashes hashes_;
};

extern template class OgrSpatial<Geometry>;
extern template class OgrSpatial<Geography>;

class OSTREL_EXPORT OgrGeometry final : public OgrSpatial<Geometry> {
 public:
  using OgrSpatial<Geometry>::OgrSpatial;
  OgrGeometry(Points const& points, Lines const& lines, Polys const& polys)
      : OgrSpatial(points, lines, polys, Attributes()) {}
  OgrGeometry(Points const& points, Lines const& lines, Polys const& polys,
              Attributes const& attributes)
      : OgrSpatial(points, lines, polys, attributes) {}
  OgrGeometry(OgrGeometry const&) = default;
  OgrGeometry(OgrGeometry&&) = default;
  OgrGeometry& operator=(OgrGeometry const&) = default;
  OgrGeometry& operator=(OgrGeometry&&) = default;
  ~OgrGeometry() override;

  GeometryCoordinate::Bias GetBias() const override { return GetStoredAttributes().bias; }
  FormatInfo const& GetFormatInfo() const override { return GetRegisteredFormatInfo(); }

  void swap(OgrGeometry& other) { Swap(other); }
};

class OSTREL_EXPORT OgrGeography final : public OgrSpatial<Geography> {
 public:
  using OgrSpatial<Geography>::OgrSpatial;
  OgrGeography(Points const& points, Lines const& lines, Polys const& polys)
      : OgrSpatial(points, lines, polys, Attributes()) {}
  OgrGeography(Points const& points, Lines const& lines, Polys const& polys,
               Attributes const& attributes)
      : OgrSpatial(points, lines, polys, attributes) {}
  OgrGeography(OgrGeography const&) = default;
  OgrGeography(OgrGeography&&) = default;
  OgrGeography& operator=(OgrGeography const&) = default;
  OgrGeography& operator=(OgrGeography&&) = default;
  ~OgrGeography() override;

  TopologicalType GetTopologicalType() const override {
    return GetStoredAttributes().topological_type;
  }
  WindingOrder GetWindingOrder() const override { return GetStoredAttributes().winding_order; }
  FormatInfo const& GetFormatInfo() const override { return GetRegisteredFormatInfo(); }

  void swap(OgrGeography& other) { Swap(other); }
};

}  // namespace ostrel
