#include "ostrel/spatial/default_format.hpp"

#include <stdexcept>
#include <string>
#include <type_traits>

namespace ostrel {

DefaultFormat::~DefaultFormat() = default;
DefaultGeometry::~DefaultGeometry() = default;
DefaultGeography::~DefaultGeography() = default;

namespace {

ShapeType InferShapeType(std::size_t points, std::size_t lines, std::size_t polys) {
  int collections = (points != 0) + (lines != 0) + (polys != 0);
  if (collections > 1) return ShapeType::Mixed;
  if (points != 0) return points == 1 ? ShapeType::Point : ShapeType::MultiPoint;
  if (lines != 0) return lines == 1 ? ShapeType::LineString : ShapeType::MultiLineString;
  if (polys != 0) return polys == 1 ? ShapeType::Polygon : ShapeType::MultiPolygon;
  return ShapeType::Empty;
}

[[noreturn]] void Reject(std::string const& message) { throw std::invalid_argument(message); }

}  // namespace

template <class G>
DefaultSpatial<G>::DefaultSpatial() = default;

template <class G>
DefaultSpatial<G>::DefaultSpatial(Points const& points, Lines const& lines, Polys const& polys)
    : DefaultSpatial(InferShapeType(points.size(), lines.size(), polys.size()), points, lines,
                     polys, Attributes()) {}

template <class G>
DefaultSpatial<G>::DefaultSpatial(Points const& points, Lines const& lines, Polys const& polys,
                                  Attributes const& attributes)
    : DefaultSpatial(InferShapeType(points.size(), lines.size(), polys.size()), points, lines,
                     polys, attributes) {}

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
DefaultSpatial<G>::DefaultSpatial(DefaultSpatial&& other) noexcept
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

template <class G>
DefaultSpatial<G>& DefaultSpatial<G>::operator=(DefaultSpatial const& other) = default;

template <class G>
DefaultSpatial<G>& DefaultSpatial<G>::operator=(DefaultSpatial&& other) noexcept {
  if (this == &other) return *this;
  G::operator=(std::move(other));
  shape_type_ = other.shape_type_;
  points_ = std::move(other.points_);
  lines_ = std::move(other.lines_);
  polys_ = std::move(other.polys_);
  attributes_ = other.attributes_;
  shape_hashes_ = std::move(other.shape_hashes_);
  other.Clear();
  return *this;
}

template <class G>
DefaultSpatial<G>::~DefaultSpatial() = default;

template <class G>
void DefaultSpatial<G>::Swap(DefaultSpatial& other) noexcept {
  G::Swap(other);
  std::swap(shape_type_, other.shape_type_);
  points_.swap(other.points_);
  lines_.swap(other.lines_);
  polys_.swap(other.polys_);
  std::swap(attributes_, other.attributes_);
  shape_hashes_.swap(other.shape_hashes_);
}

// The moved-from state: Empty, default attributes, no content. With unequal
// allocators a vector's move assignment moves element by element and leaves
// the source's elements in place, so they are cleared here explicitly.
template <class G>
void DefaultSpatial<G>::Clear() noexcept {
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
    if (line.size() < 2) {
      Reject("line " + std::to_string(lines_.size()) + " has less than 2 coordinates");
    }
    PackedPoints packed;
    packed.reserve(line.size());
    for (Coordinate const& c : line) packed.push_back(Pack(c));
    lines_.push_back(std::move(packed));
  }

  polys_.reserve(polys.size());
  for (Lines const& poly : polys) {
    std::string const poly_number = std::to_string(polys_.size());
    if (poly.empty()) Reject("poly " + poly_number + " is empty");
    PackedLines rings;
    rings.reserve(poly.size());
    for (Points const& ring : poly) {
      std::string const where = "ring " + std::to_string(rings.size()) + " of poly " + poly_number;
      if (ring.size() < 4) Reject(where + " has less than 4 coordinates");
      if (ring.front() != ring.back()) Reject(where + " is not closed");
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
  return {lines_[line].data(), Bias()};
}

template <class G>
detail::PackedRun<typename DefaultSpatial<G>::Coordinate> DefaultSpatial<G>::GetPackedRing(
    unsigned int poly, unsigned int ring) const {
  return {polys_[poly][ring].data(), Bias()};
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
std::uint64_t DefaultSpatial<G>::GetOrDoHashForPoint(std::function<std::uint64_t(unsigned int)> fn,
                                                     unsigned int point) const {
  return shape_hashes_.GetOrDoHashForPoint(fn, point);
}
template <class G>
std::uint64_t DefaultSpatial<G>::GetOrDoHashForLine(std::function<std::uint64_t(unsigned int)> fn,
                                                    unsigned int line) const {
  return shape_hashes_.GetOrDoHashForLine(fn, line);
}
template <class G>
std::uint64_t DefaultSpatial<G>::GetOrDoHashForRingOfPoly(
    std::function<std::uint64_t(unsigned int, unsigned int)> fn, unsigned int poly,
    unsigned int ring) const {
  return shape_hashes_.GetOrDoHashForRingOfPoly(fn, poly, ring);
}
template <class G>
std::uint64_t DefaultSpatial<G>::GetOrDoHashForPoly(std::function<std::uint64_t(unsigned int)> fn,
                                                    unsigned int poly) const {
  return shape_hashes_.GetOrDoHashForPoly(fn, poly);
}
template <class G>
std::uint64_t DefaultSpatial<G>::GetOrDoHashForAttributes(std::function<std::uint64_t()> fn) const {
  return shape_hashes_.GetOrDoHashForAttributes(fn);
}

template class DefaultSpatial<Geometry>;
template class DefaultSpatial<Geography>;

}  // namespace ostrel
