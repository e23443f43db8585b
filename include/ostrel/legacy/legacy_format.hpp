// The legacy format: a planar or geographic value held as the parsed records
// of a legacy stream (see storage.hpp), its lines and rings decoded only when
// visited.
//
// LegacySpatial<G> derives from G, LegacyFormat and BoundingBoxAccessor<G>,
// and holds one Storage<G>. LegacyGeometry and LegacyGeography are its
// concrete forms. The format carries no attributes: a LegacyGeometry has
// Bias::None() and SRID::None() for both SRIDs; a LegacyGeography has WGS84
// for both SRIDs, Spheroidal edges and interior-left winding, whatever it
// was built from.
//
// Built from coordinate vectors, a value is first built in the default
// format (whose validation and exceptions apply), written as a plain stream
// with precision 10 and read back; so its coordinates are those the plain
// stream carries (planar ones re-packed with Bias::None()), and an empty
// value reads as an empty Mixed one. A default-constructed value is Empty.
//
// Boxes: BoundingBoxForLineString and BoundingBoxForPolygon return the
// records' boxes (known when the stream was compressed and carried them);
// the other five box queries return invalid boxes.
//
// Part hashes are cached in the records; a value is otherwise immutable.
// Concurrent readers are safe: each record guards its decoded owner with its
// own mutex. Reading one coordinate through PackedCoordinateInLine or
// PackedCoordinateInRingOfPoly obtains and releases the decoded owner each
// time; the ranges of Shape hold it for a whole line or ring.
#pragma once

#include <functional>
#include <memory>

#include "ostrel/core/export.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/legacy/bounding_box_accessor.hpp"
#include "ostrel/legacy/storage.hpp"
#include "ostrel/spatial/format_info.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"

namespace ostrel {

// Marks a value as being in the legacy format.
class OSTREL_EXPORT LegacyFormat {
 public:
  LegacyFormat() = default;
  LegacyFormat(LegacyFormat const&) = default;
  LegacyFormat& operator=(LegacyFormat const&) = default;
  virtual ~LegacyFormat();

  // ("LegacyFormat:n"), made once on first use.
  static FormatInfo const& GetRegisteredFormatInfo();
};

template <class G>
class OSTREL_EXPORT LegacySpatial : public G,
                                    public LegacyFormat,
                                    public LegacySerialization::BoundingBoxAccessor<G> {
 public:
  using Coordinate = typename G::Coordinate;
  using Packed = typename Coordinate::Packed;
  using Storage = LegacySerialization::Storage<G>;
  using Box = std::pair<Coordinate, Coordinate>;
  using LineOwner = LegacySerialization::detail::LegacyLineOwner<Coordinate>;
  using RingOwner = LegacySerialization::detail::LegacyRingOwner<Coordinate>;

  using Points = ResourceVector<Coordinate>;
  using Lines = ResourceVector<Points>;
  using Polys = ResourceVector<Lines>;

  LegacySpatial();
  explicit LegacySpatial(Storage&& storage);
  // A copy copies the records (on the current memory resource); a move
  // takes them and leaves the source Empty. Assignments give the strong
  // guarantee. None is noexcept: the cached hashes lock.
  LegacySpatial(LegacySpatial const& other);
  LegacySpatial(LegacySpatial&& other);
  LegacySpatial& operator=(LegacySpatial const& other);
  LegacySpatial& operator=(LegacySpatial&& other);
  ~LegacySpatial() override;

  ShapeType GetShapeType() const override { return storage_.shape_type; }

  Storage const& GetStorage() const { return storage_; }

  Box BoundingBoxForLineString(unsigned int line) const override;
  Box BoundingBoxForPolygon(unsigned int polygon) const override;

 protected:
  // The storage of a value built from coordinates (see above).
  static Storage StorageFromCoordinates(Points const& points, Lines const& lines,
                                        Polys const& polys);

  unsigned int NumberOfPoints() const override;
  unsigned int NumberOfLines() const override;
  unsigned int NumberOfPolys() const override;
  unsigned int SizeOfLine(unsigned int line) const override;
  unsigned int SizeOfPoly(unsigned int poly) const override;
  unsigned int SizeOfRingInPoly(unsigned int poly, unsigned int ring) const override;

  Packed PackedCoordinateForPoint(unsigned int point) const override;
  Packed PackedCoordinateInLine(unsigned int line, unsigned int point) const override;
  Packed PackedCoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                      unsigned int point) const override;

  std::shared_ptr<ShapeLineOwner<Coordinate> const> GetLineOwner(unsigned int line) const override;
  std::shared_ptr<ShapeRingOwner<Coordinate> const> GetRingOwner(unsigned int poly,
                                                                 unsigned int ring) const override;
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

  // Exchanges the cached hashes and the storages; allocates nothing.
  void Swap(LegacySpatial& other);

 private:
  std::shared_ptr<LineOwner const> GetStorageLineOwner(unsigned int line) const;
  std::shared_ptr<RingOwner const> GetStorageRingOwner(unsigned int poly, unsigned int ring) const;

  Storage storage_;
};

extern template class LegacySpatial<Geometry>;
extern template class LegacySpatial<Geography>;

class OSTREL_EXPORT LegacyGeometry final : public LegacySpatial<Geometry> {
 public:
  LegacyGeometry() = default;
  explicit LegacyGeometry(Storage&& storage) : LegacySpatial(std::move(storage)) {}
  LegacyGeometry(Points const& points, Lines const& lines, Polys const& polys);
  // The attributes are accepted and not stored.
  LegacyGeometry(Points const& points, Lines const& lines, Polys const& polys,
                 Geometry::Attributes const& attributes);
  LegacyGeometry(LegacyGeometry const&) = default;
  LegacyGeometry(LegacyGeometry&&) = default;
  LegacyGeometry& operator=(LegacyGeometry const&) = default;
  LegacyGeometry& operator=(LegacyGeometry&&) = default;
  ~LegacyGeometry() override;

  GeometryCoordinate::Bias GetBias() const override { return GeometryCoordinate::Bias::None(); }
  SRID GetOriginalSRID() const override { return SRID::None(); }
  SRID GetConvertedSRID() const override { return SRID::None(); }
  FormatInfo const& GetFormatInfo() const override { return GetRegisteredFormatInfo(); }

  void swap(LegacyGeometry& other) { Swap(other); }
};

class OSTREL_EXPORT LegacyGeography final : public LegacySpatial<Geography> {
 public:
  LegacyGeography() = default;
  explicit LegacyGeography(Storage&& storage) : LegacySpatial(std::move(storage)) {}
  LegacyGeography(Points const& points, Lines const& lines, Polys const& polys);
  // The attributes are accepted and not stored.
  LegacyGeography(Points const& points, Lines const& lines, Polys const& polys,
                  Geography::Attributes const& attributes);
  LegacyGeography(LegacyGeography const&) = default;
  LegacyGeography(LegacyGeography&&) = default;
  LegacyGeography& operator=(LegacyGeography const&) = default;
  LegacyGeography& operator=(LegacyGeography&&) = default;
  ~LegacyGeography() override;

  SRID GetOriginalSRID() const override { return SRID::WGS84(); }
  SRID GetConvertedSRID() const override { return SRID::WGS84(); }
  TopologicalType GetTopologicalType() const override { return TopologicalType::Spheroidal; }
  WindingOrder GetWindingOrder() const override { return WindingOrder::InteriorLeft; }
  FormatInfo const& GetFormatInfo() const override { return GetRegisteredFormatInfo(); }

  void swap(LegacyGeography& other) { Swap(other); }
};

}  // namespace ostrel
