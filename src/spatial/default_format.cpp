#include "ostrel/spatial/default_format.hpp"

#include "detail/scratch.hpp"
#include "part_hashes.hpp"

#include <stdexcept>
#include <string>
#include <type_traits>

namespace ostrel {

DefaultFormat::~DefaultFormat() = default;
DefaultGeometry::~DefaultGeometry() = default;
DefaultGeography::~DefaultGeography() = default;

ShapeType detail::InferShapeType(std::size_t points, std::size_t lines, std::size_t polys) {
  int collections = (points != 0) + (lines != 0) + (polys != 0);
  if (collections > 1) return ShapeType::Mixed;
  if (points != 0) return points == 1 ? ShapeType::Point : ShapeType::MultiPoint;
  if (lines != 0) return lines == 1 ? ShapeType::LineString : ShapeType::MultiLineString;
  if (polys != 0) return polys == 1 ? ShapeType::Polygon : ShapeType::MultiPolygon;
  return ShapeType::Empty;
}

namespace {

// The validation messages, built only when a value is rejected.
[[noreturn]] void RejectLine(std::size_t line) {
  throw std::invalid_argument("line " + std::to_string(line) + " has less than 2 coordinates");
}
[[noreturn]] void RejectEmptyPoly(std::size_t poly) {
  throw std::invalid_argument("poly " + std::to_string(poly) + " is empty");
}
[[noreturn]] void RejectRing(std::size_t ring, std::size_t poly, char const* problem) {
  throw std::invalid_argument("ring " + std::to_string(ring) + " of poly " + std::to_string(poly) +
                              problem);
}

}  // namespace

template <class G>
DefaultSpatial<G>::DefaultSpatial() = default;

template <class G>
DefaultSpatial<G>::DefaultSpatial(Points const& points, Lines const& lines, Polys const& polys)
    : DefaultSpatial(detail::InferShapeType(points.size(), lines.size(), polys.size()), points,
                     lines, polys, Attributes()) {}

template <class G>
DefaultSpatial<G>::DefaultSpatial(Points const& points, Lines const& lines, Polys const& polys,
                                  Attributes const& attributes)
    : DefaultSpatial(detail::InferShapeType(points.size(), lines.size(), polys.size()), points,
                     lines, polys, attributes) {}

template <class G>
DefaultSpatial<G>::DefaultSpatial(ShapeType shape_type, Points const& points, Lines const& lines,
                                  Polys const& polys)
    : DefaultSpatial(shape_type, points, lines, polys, Attributes()) {}

template <class G>
DefaultSpatial<G>::DefaultSpatial(ShapeType shape_type, Points const& points, Lines const& lines,
                                  Polys const& polys, Attributes const& attributes)
    : shape_type_(shape_type), attributes_(attributes) {
  Build(points, lines, polys);
}

template <class G>
DefaultSpatial<G>::DefaultSpatial(ShapeType shape_type, PackedPoints&& points, PackedLines&& lines,
                                  PackedPolys&& polys, Attributes const& attributes)
    : shape_type_(shape_type),
      points_(std::move(points)),
      lines_(std::move(lines)),
      polys_(std::move(polys)),
      attributes_(attributes) {}

template <class G>
DefaultSpatial<G>::DefaultSpatial(DefaultSpatial const& other) = default;

template <class G>
DefaultSpatial<G>::DefaultSpatial(DefaultSpatial&& other)
    : G(std::move(other)),
      DefaultFormat(other),
      shape_type_(other.shape_type_),
      points_(std::move(other.points_)),
      lines_(std::move(other.lines_)),
      polys_(std::move(other.polys_)),
      attributes_(other.attributes_),
      shape_hashes_(std::move(other.shape_hashes_)) {
  other.Clear();
}

// Both assignments build the new storage first; only then is anything of
// this value changed, by steps that allocate nothing.
template <class G>
DefaultSpatial<G>& DefaultSpatial<G>::operator=(DefaultSpatial const& other) {
  if (this == &other) return *this;
  PackedPoints points(other.points_);
  PackedLines lines(other.lines_);
  PackedPolys polys(other.polys_);
  ShapeHashes hashes(other.shape_hashes_);
  G::operator=(other);
  Adopt(other.shape_type_, points, lines, polys, other.attributes_, hashes);
  return *this;
}

template <class G>
DefaultSpatial<G>& DefaultSpatial<G>::operator=(DefaultSpatial&& other) {
  if (this == &other) return *this;
  PackedPoints points(std::move(other.points_));
  PackedLines lines(std::move(other.lines_));
  PackedPolys polys(std::move(other.polys_));
  ShapeHashes hashes(std::move(other.shape_hashes_));
  G::operator=(std::move(other));
  Adopt(other.shape_type_, points, lines, polys, other.attributes_, hashes);
  other.Clear();
  return *this;
}

template <class G>
void DefaultSpatial<G>::Adopt(ShapeType shape_type, PackedPoints& points, PackedLines& lines,
                              PackedPolys& polys, Attributes const& attributes,
                              ShapeHashes& hashes) {
  shape_type_ = shape_type;
  points_.swap(points);
  lines_.swap(lines);
  polys_.swap(polys);
  attributes_ = attributes;
  shape_hashes_.swap(hashes);
}

template <class G>
DefaultSpatial<G>::~DefaultSpatial() = default;

template <class G>
void DefaultSpatial<G>::Swap(DefaultSpatial& other) {
  G::Swap(other);
  std::swap(shape_type_, other.shape_type_);
  points_.swap(other.points_);
  lines_.swap(other.lines_);
  polys_.swap(other.polys_);
  std::swap(attributes_, other.attributes_);
  shape_hashes_.swap(other.shape_hashes_);
}

// The moved-from state: Empty, default attributes, no content (a
// move-constructed vector leaves its source empty already).
template <class G>
void DefaultSpatial<G>::Clear() {
  shape_type_ = ShapeType::Empty;
  points_.clear();
  lines_.clear();
  polys_.clear();
  attributes_ = Attributes();
}

// The origin of planar coordinates; geographic ones have none.
template <class G>
GeometryCoordinate::Bias DefaultSpatial<G>::Bias() const {
  if constexpr (std::is_same_v<G, Geometry>) {
    return attributes_.bias;
  } else {
    return GeometryCoordinate::Bias::None();
  }
}

template <class G>
typename DefaultSpatial<G>::Packed DefaultSpatial<G>::Pack(Coordinate const& c) const {
  if constexpr (std::is_same_v<G, Geometry>) {
    return Packed(c.GetX(), c.GetY(), attributes_.bias);
  } else {
    return Packed(c.GetLatitude(), c.GetLongitude());
  }
}

template <class G>
void DefaultSpatial<G>::Build(Points const& points, Lines const& lines, Polys const& polys) {
  points_.reserve(points.size());
  for (Coordinate const& c : points) points_.push_back(Pack(c));

  lines_.reserve(lines.size());
  for (Points const& line : lines) {
    if (line.size() < 2) RejectLine(lines_.size());
    PackedPoints packed;
    packed.reserve(line.size());
    for (Coordinate const& c : line) packed.push_back(Pack(c));
    lines_.push_back(std::move(packed));
  }

  polys_.reserve(polys.size());
  for (Lines const& poly : polys) {
    if (poly.empty()) RejectEmptyPoly(polys_.size());
    PackedLines rings;
    rings.reserve(poly.size());
    for (Points const& ring : poly) {
      if (ring.size() < 4) RejectRing(rings.size(), polys_.size(), " has less than 4 coordinates");
      if (ring.front() != ring.back()) RejectRing(rings.size(), polys_.size(), " is not closed");
      PackedPoints packed;
      packed.reserve(ring.size());
      for (Coordinate const& c : ring) packed.push_back(Pack(c));
      rings.push_back(std::move(packed));
    }
    polys_.push_back(std::move(rings));
  }
}

template <class G>
typename DefaultSpatial<G>::Coordinate DefaultSpatial<G>::CoordinateInLine(
    unsigned int line, unsigned int point) const {
  return detail::Unpack(lines_[line][point], Bias());
}

template <class G>
typename DefaultSpatial<G>::Coordinate DefaultSpatial<G>::CoordinateForPoint(
    unsigned int point) const {
  return detail::Unpack(points_[point], Bias());
}

template <class G>
typename DefaultSpatial<G>::Coordinate DefaultSpatial<G>::CoordinateInRingOfPoly(
    unsigned int poly, unsigned int ring, unsigned int point) const {
  return detail::Unpack(polys_[poly][ring][point], Bias());
}

template <class G>
detail::PackedRun<typename DefaultSpatial<G>::Coordinate> DefaultSpatial<G>::GetPackedLine(
    unsigned int line) const {
  return {lines_[line].data(), Bias(), nullptr};
}

template <class G>
detail::PackedRun<typename DefaultSpatial<G>::Coordinate> DefaultSpatial<G>::GetPackedRing(
    unsigned int poly, unsigned int ring) const {
  return {polys_[poly][ring].data(), Bias(), nullptr};
}

template <class G>
unsigned int DefaultSpatial<G>::NumberOfPoints() const {
  return static_cast<unsigned int>(points_.size());
}
template <class G>
unsigned int DefaultSpatial<G>::NumberOfLines() const {
  return static_cast<unsigned int>(lines_.size());
}
template <class G>
unsigned int DefaultSpatial<G>::NumberOfPolys() const {
  return static_cast<unsigned int>(polys_.size());
}
template <class G>
unsigned int DefaultSpatial<G>::SizeOfLine(unsigned int line) const {
  return static_cast<unsigned int>(lines_[line].size());
}
template <class G>
unsigned int DefaultSpatial<G>::SizeOfPoly(unsigned int poly) const {
  return static_cast<unsigned int>(polys_[poly].size());
}
template <class G>
unsigned int DefaultSpatial<G>::SizeOfRingInPoly(unsigned int poly, unsigned int ring) const {
  return static_cast<unsigned int>(polys_[poly][ring].size());
}

template <class G>
unsigned long long DefaultSpatial<G>::GetOrDoHashForPoint(
    std::function<unsigned long long(unsigned int)> fn, unsigned int point) const {
  return shape_hashes_.GetOrDoHashForPoint(fn, point);
}
template <class G>
unsigned long long DefaultSpatial<G>::GetOrDoHashForLine(
    std::function<unsigned long long(unsigned int)> fn, unsigned int line) const {
  return shape_hashes_.GetOrDoHashForLine(fn, line);
}
template <class G>
unsigned long long DefaultSpatial<G>::GetOrDoHashForRingOfPoly(
    std::function<unsigned long long(unsigned int, unsigned int)> fn, unsigned int poly,
    unsigned int ring) const {
  return shape_hashes_.GetOrDoHashForRingOfPoly(fn, poly, ring);
}
template <class G>
unsigned long long DefaultSpatial<G>::GetOrDoHashForPoly(
    std::function<unsigned long long(unsigned int)> fn, unsigned int poly) const {
  return shape_hashes_.GetOrDoHashForPoly(fn, poly);
}
template <class G>
unsigned long long DefaultSpatial<G>::GetOrDoHashForAttributes(
    std::function<unsigned long long()> fn) const {
  return shape_hashes_.GetOrDoHashForAttributes(fn);
}

template <class G>
void DefaultSpatial<G>::DoHash(Hasher& hasher) const {
  using detail::HasherAccess;
  using detail::PartHash;
  unsigned long long const a = this->HashForAttributes();
  HasherAccess::Add(hasher, a);

  HasherAccess::Add(hasher, NumberOfPoints());
  for (Packed const& p : points_) HasherAccess::AddOrderIndependent(hasher, PartHash::Point(a, p));

  // Every line, ring and poly hash, in the order lines, then per poly its
  // rings followed by the poly itself.
  std::size_t parts = lines_.size() + polys_.size();
  for (PackedLines const& poly : polys_) parts += poly.size();
  MemoryResource* const resource = shape_hashes_.GetResource();
  detail::Scratch<ShapeHashes::Key, 64> keys(parts, resource);
  detail::Scratch<unsigned long long, 64> hashes(parts, resource);
  std::size_t k = 0;
  for (unsigned int l = 0; l < lines_.size(); ++l) keys[k++] = ShapeHashes::Key::Line(l);
  for (unsigned int p = 0; p < polys_.size(); ++p) {
    for (unsigned int r = 0; r < polys_[p].size(); ++r) keys[k++] = ShapeHashes::Key::Ring(p, r);
    keys[k++] = ShapeHashes::Key::Poly(p);
  }
  if (parts != 0) shape_hashes_.Find(keys.data(), parts, hashes.data());

  bool computed = false;
  auto run = [&](PackedPoints const& v, unsigned long long& hash) {
    if (hash != 0) return;
    hash = PartHash::Run(a, v.data(), static_cast<unsigned int>(v.size()));
    computed = true;
  };
  k = 0;
  for (PackedPoints const& line : lines_) run(line, hashes[k++]);
  for (PackedLines const& poly : polys_) {
    std::size_t const first_ring = k;
    for (PackedPoints const& ring : poly) run(ring, hashes[k++]);
    if (hashes[k] == 0) {
      hashes[k] = PartHash::Sequence(
          a, static_cast<unsigned int>(poly.size()),
          [&](Hasher& h, unsigned int r) { HasherAccess::Add(h, hashes[first_ring + r]); });
      computed = true;
    }
    ++k;
  }
  if (computed) shape_hashes_.Store(keys.data(), hashes.data(), parts);

  HasherAccess::Add(hasher, NumberOfLines());
  for (std::size_t l = 0; l < lines_.size(); ++l) {
    HasherAccess::AddOrderIndependent(hasher, hashes[l]);
  }
  HasherAccess::Add(hasher, NumberOfPolys());
  k = lines_.size();
  for (PackedLines const& poly : polys_) {
    k += poly.size();
    HasherAccess::AddOrderIndependent(hasher, hashes[k++]);
  }
}

template class DefaultSpatial<Geometry>;
template class DefaultSpatial<Geography>;

}  // namespace ostrel
