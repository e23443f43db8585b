#include "ostrel/legacy/legacy_format.hpp"

#include <utility>

#include "ostrel/core/internal/no_destructor.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "reader.hpp"

namespace ostrel {

LegacyFormat::~LegacyFormat() = default;

FormatInfo const& LegacyFormat::GetRegisteredFormatInfo() {
  static detail::NoDestructor<FormatInfo const> info(FormatInfos::Make("LegacyFormat"));
  return *info;
}

LegacyGeometry::~LegacyGeometry() = default;
LegacyGeography::~LegacyGeography() = default;

LegacyGeometry::LegacyGeometry(Points const& points, Lines const& lines, Polys const& polys)
    : LegacySpatial(StorageFromCoordinates(points, lines, polys)) {}

LegacyGeometry::LegacyGeometry(Points const& points, Lines const& lines, Polys const& polys,
                               Geometry::Attributes const&)
    : LegacySpatial(StorageFromCoordinates(points, lines, polys)) {}

LegacyGeography::LegacyGeography(Points const& points, Lines const& lines, Polys const& polys)
    : LegacySpatial(StorageFromCoordinates(points, lines, polys)) {}

LegacyGeography::LegacyGeography(Points const& points, Lines const& lines, Polys const& polys,
                                 Geography::Attributes const&)
    : LegacySpatial(StorageFromCoordinates(points, lines, polys)) {}

template <class G>
LegacySpatial<G>::LegacySpatial() = default;

template <class G>
LegacySpatial<G>::LegacySpatial(Storage&& storage) {
  storage_.swap(storage);
}

template <class G>
LegacySpatial<G>::LegacySpatial(LegacySpatial const& other)
    : G(other),
      LegacyFormat(other),
      LegacySerialization::BoundingBoxAccessor<G>(other),
      storage_(other.storage_) {}

template <class G>
LegacySpatial<G>::LegacySpatial(LegacySpatial&& other)
    : G(std::move(other)), LegacyFormat(other), LegacySerialization::BoundingBoxAccessor<G>(other) {
  storage_.swap(other.storage_);
}

// Both assignments build the new storage first, then exchange it.
template <class G>
LegacySpatial<G>& LegacySpatial<G>::operator=(LegacySpatial const& other) {
  if (this == &other) return *this;
  Storage copy(other.storage_);
  G::operator=(other);
  storage_.swap(copy);
  return *this;
}

template <class G>
LegacySpatial<G>& LegacySpatial<G>::operator=(LegacySpatial&& other) {
  if (this == &other) return *this;
  Storage taken;
  taken.swap(other.storage_);
  G::operator=(std::move(other));
  storage_.swap(taken);
  return *this;
}

template <class G>
LegacySpatial<G>::~LegacySpatial() = default;

template <class G>
void LegacySpatial<G>::Swap(LegacySpatial& other) {
  G::Swap(other);
  storage_.swap(other.storage_);
}

// A default-format value of the coordinates (validated there), through the
// plain stream.
template <class G>
typename LegacySpatial<G>::Storage LegacySpatial<G>::StorageFromCoordinates(Points const& points,
                                                                            Lines const& lines,
                                                                            Polys const& polys) {
  using Value = std::conditional_t<std::is_same_v<G, Geometry>, DefaultGeometry, DefaultGeography>;
  ResourceVector<std::uint8_t> const stream =
      LegacySerialization::Write(Value(points, lines, polys), LegacySerialization::kPlain, 10);
  LegacySerialization::Metadata const metadata = LegacySerialization::ReadHeader(stream);
  return LegacySerialization::detail::ReadBody<G>(stream, metadata);
}

template <class G>
typename LegacySpatial<G>::Box LegacySpatial<G>::BoundingBoxForLineString(unsigned int line) const {
  return storage_.lines[line].box;
}

template <class G>
typename LegacySpatial<G>::Box LegacySpatial<G>::BoundingBoxForPolygon(unsigned int polygon) const {
  return storage_.polygons[polygon].box;
}

template <class G>
unsigned int LegacySpatial<G>::NumberOfPoints() const {
  return static_cast<unsigned int>(storage_.points.size());
}
template <class G>
unsigned int LegacySpatial<G>::NumberOfLines() const {
  return static_cast<unsigned int>(storage_.lines.size());
}
template <class G>
unsigned int LegacySpatial<G>::NumberOfPolys() const {
  return static_cast<unsigned int>(storage_.polygons.size());
}
template <class G>
unsigned int LegacySpatial<G>::SizeOfLine(unsigned int line) const {
  return storage_.lines[line].count;
}
template <class G>
unsigned int LegacySpatial<G>::SizeOfPoly(unsigned int poly) const {
  return static_cast<unsigned int>(storage_.polygons[poly].rings.size());
}
template <class G>
unsigned int LegacySpatial<G>::SizeOfRingInPoly(unsigned int poly, unsigned int ring) const {
  return storage_.polygons[poly].rings[ring].count;
}

template <class G>
typename LegacySpatial<G>::Packed LegacySpatial<G>::PackedCoordinateForPoint(
    unsigned int point) const {
  return storage_.points[point];
}
template <class G>
typename LegacySpatial<G>::Packed LegacySpatial<G>::PackedCoordinateInLine(
    unsigned int line, unsigned int point) const {
  return GetStorageLineOwner(line)->GetCoordinates()[point];
}
template <class G>
typename LegacySpatial<G>::Packed LegacySpatial<G>::PackedCoordinateInRingOfPoly(
    unsigned int poly, unsigned int ring, unsigned int point) const {
  return GetStorageRingOwner(poly, ring)->GetCoordinates()[point];
}

template <class G>
std::shared_ptr<typename LegacySpatial<G>::LineOwner const> LegacySpatial<G>::GetStorageLineOwner(
    unsigned int line) const {
  return storage_.lines[line].GetOwner();
}
template <class G>
std::shared_ptr<typename LegacySpatial<G>::RingOwner const> LegacySpatial<G>::GetStorageRingOwner(
    unsigned int poly, unsigned int ring) const {
  auto const& polygon = storage_.polygons[poly];
  return polygon.rings[ring].GetOwner(polygon.compressed != 0, polygon.precision);
}

template <class G>
std::shared_ptr<ShapeLineOwner<typename LegacySpatial<G>::Coordinate> const>
LegacySpatial<G>::GetLineOwner(unsigned int line) const {
  return GetStorageLineOwner(line);
}
template <class G>
std::shared_ptr<ShapeRingOwner<typename LegacySpatial<G>::Coordinate> const>
LegacySpatial<G>::GetRingOwner(unsigned int poly, unsigned int ring) const {
  return GetStorageRingOwner(poly, ring);
}

// The decoded array, kept alive by the run for as long as the caller holds it.
template <class G>
detail::PackedRun<typename LegacySpatial<G>::Coordinate> LegacySpatial<G>::GetPackedLine(
    unsigned int line) const {
  auto owner = GetStorageLineOwner(line);
  auto const* data = owner->GetCoordinates().data();
  return {data, GeometryCoordinate::Bias::None(), std::move(owner)};
}
template <class G>
detail::PackedRun<typename LegacySpatial<G>::Coordinate> LegacySpatial<G>::GetPackedRing(
    unsigned int poly, unsigned int ring) const {
  auto owner = GetStorageRingOwner(poly, ring);
  auto const* data = owner->GetCoordinates().data();
  return {data, GeometryCoordinate::Bias::None(), std::move(owner)};
}

namespace {

// A part hash cached in a record's cell; 0 means not computed.
template <class Fn>
unsigned long long Cached(AtomicUInt64& cell, Fn&& compute) {
  unsigned long long const cached = cell.load();
  if (cached != 0) return cached;
  return cell.store(compute());
}

}  // namespace

template <class G>
unsigned long long LegacySpatial<G>::GetOrDoHashForPoint(
    std::function<unsigned long long(unsigned int)> fn, unsigned int point) const {
  return fn(point);
}
template <class G>
unsigned long long LegacySpatial<G>::GetOrDoHashForLine(
    std::function<unsigned long long(unsigned int)> fn, unsigned int line) const {
  return Cached(storage_.lines[line].hash, [&] { return fn(line); });
}
template <class G>
unsigned long long LegacySpatial<G>::GetOrDoHashForRingOfPoly(
    std::function<unsigned long long(unsigned int, unsigned int)> fn, unsigned int poly,
    unsigned int ring) const {
  return Cached(storage_.polygons[poly].rings[ring].hash, [&] { return fn(poly, ring); });
}
template <class G>
unsigned long long LegacySpatial<G>::GetOrDoHashForPoly(
    std::function<unsigned long long(unsigned int)> fn, unsigned int poly) const {
  return Cached(storage_.polygons[poly].hash, [&] { return fn(poly); });
}
template <class G>
unsigned long long LegacySpatial<G>::GetOrDoHashForAttributes(
    std::function<unsigned long long()> fn) const {
  return Cached(storage_.attribute_hash, fn);
}

template class LegacySpatial<Geometry>;
template class LegacySpatial<Geography>;

}  // namespace ostrel
