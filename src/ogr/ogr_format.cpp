#include "ostrel/ogr/ogr_format.hpp"

#include <type_traits>
#include <utility>

#include "ostrel/core/internal/no_destructor.hpp"
#include "ostrel/spatial/default_format.hpp"

namespace ostrel {

OgrFormat::~OgrFormat() = default;

FormatInfo const& OgrFormat::GetRegisteredFormatInfo() {
  static detail::NoDestructor<FormatInfo const> info(FormatInfos::Make("OgrFormat"));
  return *info;
}

OgrGeometry::~OgrGeometry() = default;
OgrGeography::~OgrGeography() = default;

template <class G>
OgrSpatial<G>::OgrSpatial() = default;

template <class G>
OgrSpatial<G>::OgrSpatial(ShapeType shape_type, PackedPoints&& points, PackedLines&& lines,
                          PackedPolys&& polys, Attributes const& attributes)
    : shape_type_(shape_type),
      points_(std::move(points)),
      lines_(std::move(lines)),
      polys_(std::move(polys)),
      attributes_(attributes) {}

namespace {

template <class G>
using DefaultOf =
    std::conditional_t<std::is_same_v<G, Geometry>, DefaultGeometry, DefaultGeography>;

// Packed as the default format packs: planar offsets from the attributes'
// bias, geographic grid encodings.
template <class G>
typename G::Coordinate::Packed Pack(typename G::Coordinate const& c,
                                    typename G::Attributes const& attributes) {
  if constexpr (std::is_same_v<G, Geometry>) {
    return GeometryCoordinate::Packed(c.GetX(), c.GetY(), attributes.bias);
  } else {
    return GeographyCoordinate::Packed(c.GetLatitude(), c.GetLongitude());
  }
}

}  // namespace

// The default format validates the coordinates and infers the shape type;
// its attribute record is the one given. Every box is unknown.
template <class G>
OgrSpatial<G>::OgrSpatial(Points const& points, Lines const& lines, Polys const& polys,
                          Attributes const& attributes) {
  {
    DefaultOf<G> const validated(points, lines, polys, attributes);
    shape_type_ = validated.GetShapeType();
    attributes_ = validated.GetAttributes();
  }
  auto pack = [this](Points const& in) {
    PackedPoints out;
    out.reserve(in.size());
    for (Coordinate const& c : in) out.push_back(Pack<G>(c, attributes_));
    return out;
  };
  points_ = pack(points);
  lines_.reserve(lines.size());
  for (Points const& line : lines) lines_.emplace_back(pack(line), Box());
  polys_.reserve(polys.size());
  for (Lines const& poly : polys) {
    PackedRings rings;
    rings.reserve(poly.size());
    for (Points const& ring : poly) rings.push_back(pack(ring));
    polys_.emplace_back(std::move(rings), Box());
  }
}

template <class G>
OgrSpatial<G>::OgrSpatial(OgrSpatial const& other) = default;

template <class G>
OgrSpatial<G>::OgrSpatial(OgrSpatial&& other)
    : G(std::move(other)),
      OgrFormat(other),
      LegacySerialization::BoundingBoxAccessor<G>(other),
      shape_type_(other.shape_type_),
      points_(std::move(other.points_)),
      lines_(std::move(other.lines_)),
      polys_(std::move(other.polys_)),
      attributes_(other.attributes_),
      hashes_(std::move(other.hashes_)) {
  other.Clear();
}

// Both assignments build the new content first; only then is anything of
// this value changed, by steps that allocate nothing.
template <class G>
OgrSpatial<G>& OgrSpatial<G>::operator=(OgrSpatial const& other) {
  if (this == &other) return *this;
  PackedPoints points(other.points_);
  PackedLines lines(other.lines_);
  PackedPolys polys(other.polys_);
  ShapeHashes hashes(other.hashes_);
  G::operator=(other);
  Adopt(other.shape_type_, points, lines, polys, other.attributes_, hashes);
  return *this;
}

template <class G>
OgrSpatial<G>& OgrSpatial<G>::operator=(OgrSpatial&& other) {
  if (this == &other) return *this;
  PackedPoints points(std::move(other.points_));
  PackedLines lines(std::move(other.lines_));
  PackedPolys polys(std::move(other.polys_));
  ShapeHashes hashes(std::move(other.hashes_));
  G::operator=(std::move(other));
  Adopt(other.shape_type_, points, lines, polys, other.attributes_, hashes);
  other.Clear();
  return *this;
}

template <class G>
void OgrSpatial<G>::Adopt(ShapeType shape_type, PackedPoints& points, PackedLines& lines,
                          PackedPolys& polys, Attributes const& attributes, ShapeHashes& hashes) {
  shape_type_ = shape_type;
  points_.swap(points);
  lines_.swap(lines);
  polys_.swap(polys);
  attributes_ = attributes;
  hashes_.swap(hashes);
}

template <class G>
OgrSpatial<G>::~OgrSpatial() = default;

template <class G>
void OgrSpatial<G>::Swap(OgrSpatial& other) {
  G::Swap(other);
  std::swap(shape_type_, other.shape_type_);
  points_.swap(other.points_);
  lines_.swap(other.lines_);
  polys_.swap(other.polys_);
  std::swap(attributes_, other.attributes_);
  hashes_.swap(other.hashes_);
}

template <class G>
void OgrSpatial<G>::Clear() {
  shape_type_ = ShapeType::Empty;
  points_.clear();
  lines_.clear();
  polys_.clear();
  attributes_ = Attributes();
}

template <class G>
typename OgrSpatial<G>::Box OgrSpatial<G>::BoundingBoxForLineString(unsigned int line) const {
  return lines_[line].second;
}
template <class G>
typename OgrSpatial<G>::Box OgrSpatial<G>::BoundingBoxForPolygon(unsigned int polygon) const {
  return polys_[polygon].second;
}

template <class G>
unsigned int OgrSpatial<G>::NumberOfPoints() const {
  return static_cast<unsigned int>(points_.size());
}
template <class G>
unsigned int OgrSpatial<G>::NumberOfLines() const {
  return static_cast<unsigned int>(lines_.size());
}
template <class G>
unsigned int OgrSpatial<G>::NumberOfPolys() const {
  return static_cast<unsigned int>(polys_.size());
}
template <class G>
unsigned int OgrSpatial<G>::SizeOfLine(unsigned int line) const {
  return static_cast<unsigned int>(lines_[line].first.size());
}
template <class G>
unsigned int OgrSpatial<G>::SizeOfPoly(unsigned int poly) const {
  return static_cast<unsigned int>(polys_[poly].first.size());
}
template <class G>
unsigned int OgrSpatial<G>::SizeOfRingInPoly(unsigned int poly, unsigned int ring) const {
  return static_cast<unsigned int>(polys_[poly].first[ring].size());
}

template <class G>
detail::PackedRun<typename OgrSpatial<G>::Coordinate> OgrSpatial<G>::GetPackedLine(
    unsigned int line) const {
  GeometryCoordinate::Bias bias;
  if constexpr (std::is_same_v<G, Geometry>) bias = attributes_.bias;
  return {lines_[line].first.data(), bias, nullptr};
}
template <class G>
detail::PackedRun<typename OgrSpatial<G>::Coordinate> OgrSpatial<G>::GetPackedRing(
    unsigned int poly, unsigned int ring) const {
  GeometryCoordinate::Bias bias;
  if constexpr (std::is_same_v<G, Geometry>) bias = attributes_.bias;
  return {polys_[poly].first[ring].data(), bias, nullptr};
}

template <class G>
unsigned long long OgrSpatial<G>::GetOrDoHashForPoint(
    std::function<unsigned long long(unsigned int)> fn, unsigned int point) const {
  return hashes_.GetOrDoHashForPoint(fn, point);
}
template <class G>
unsigned long long OgrSpatial<G>::GetOrDoHashForLine(
    std::function<unsigned long long(unsigned int)> fn, unsigned int line) const {
  return hashes_.GetOrDoHashForLine(fn, line);
}
template <class G>
unsigned long long OgrSpatial<G>::GetOrDoHashForRingOfPoly(
    std::function<unsigned long long(unsigned int, unsigned int)> fn, unsigned int poly,
    unsigned int ring) const {
  return hashes_.GetOrDoHashForRingOfPoly(fn, poly, ring);
}
template <class G>
unsigned long long OgrSpatial<G>::GetOrDoHashForPoly(
    std::function<unsigned long long(unsigned int)> fn, unsigned int poly) const {
  return hashes_.GetOrDoHashForPoly(fn, poly);
}
template <class G>
unsigned long long OgrSpatial<G>::GetOrDoHashForAttributes(
    std::function<unsigned long long()> fn) const {
  return hashes_.GetOrDoHashForAttributes(fn);
}

template class OgrSpatial<Geometry>;
template class OgrSpatial<Geography>;

}  // namespace ostrel
