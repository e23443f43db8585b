#include "ostrel/operations/distinct.hpp"

#include <type_traits>
#include <unordered_set>

#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/spatial/default_format.hpp"

namespace ostrel {
namespace {

// A set of part hashes on the current memory resource, sized up front.
class HashSet {
 public:
  explicit HashSet(std::size_t expected) { set_.reserve(expected); }
  // Whether `hash` is new (and now remembered).
  bool Insert(unsigned long long hash) { return set_.insert(hash).second; }

 private:
  std::unordered_set<unsigned long long, std::hash<unsigned long long>,
                     std::equal_to<unsigned long long>, ResourceAllocator<unsigned long long>>
      set_;
};

template <class G>
SpatialPtr MakeDistinct(G const& value) {
  using C = typename G::Coordinate;
  using V = std::conditional_t<std::is_same_v<G, Geometry>, DefaultGeometry, DefaultGeography>;
  Shape<C> const& shape = value;
  auto const points = shape.GetPoints();
  auto const lines = shape.GetLines();
  auto const polys = shape.GetPolys();

  // First occurrences, in input order.
  typename V::Points kept_points;
  typename V::Lines kept_lines;
  typename V::Polys kept_polys;
  bool dropped = false;
  HashSet seen_points(points.size()), seen_lines(lines.size()), seen_polys(polys.size());
  for (unsigned int i = 0; i < points.size(); ++i) {
    if (seen_points.Insert(shape.HashForPoint(i))) {
      kept_points.push_back(points[i]);
    } else {
      dropped = true;
    }
  }
  for (unsigned int i = 0; i < lines.size(); ++i) {
    if (seen_lines.Insert(shape.HashForLine(i))) {
      auto const line = lines[i];
      kept_lines.emplace_back(line.begin(), line.end());
    } else {
      dropped = true;
    }
  }
  for (unsigned int i = 0; i < polys.size(); ++i) {
    if (seen_polys.Insert(shape.HashForPoly(i))) {
      auto& rings = kept_polys.emplace_back();
      for (auto const& ring : polys[i]) rings.emplace_back(ring.begin(), ring.end());
    } else {
      dropped = true;
    }
  }
  if (!dropped) return SpatialPtr();
  return MakeSpatial<V>(ShapeType::Mixed, kept_points, kept_lines, kept_polys,
                        value.GetAttributes());
}

}  // namespace

SpatialPtr Distinct::Make(Spatial const& value) {
  if (value.GetShapeType() != ShapeType::Mixed) return SpatialPtr();
  if (value.IsGeometry()) return MakeDistinct(value.AsGeometry());
  if (value.IsGeography()) return MakeDistinct(value.AsGeography());
  return SpatialPtr();
}

SpatialPtr Distinct::Make(SpatialPtr value) {
  if (!value) return value;
  SpatialPtr distinct = Make(static_cast<Spatial const&>(*value));
  return distinct ? std::move(distinct) : std::move(value);
}

}  // namespace ostrel
