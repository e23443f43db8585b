#include "ostrel/operations/intersects.hpp"

#include <memory>
#include <utility>

#include "operations/intersects_rings.hpp"
#include "ostrel/kernel/ellipsoid.hpp"
#include "ostrel/kernel/pole_containment.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/spatial/service_registry.hpp"

namespace ostrel {
namespace {

namespace rings = detail::rings;

bool IsPolygonal(ShapeType t) { return t == ShapeType::Polygon || t == ShapeType::MultiPolygon; }
bool IsPointLike(ShapeType t) { return t == ShapeType::Point || t == ShapeType::MultiPoint; }

// The caches a call reads, each found in the service registry once per call
// (when first needed) rather than once per polygon and ring. A lookup that
// misses computes the entry with the kernel and stores it, as the kernel's
// own cached accessors do.
template <class Cache>
class CacheOfCall {
 public:
  template <class Compute>
  auto Get(unsigned long long key, Compute const& compute) {
    if (!cache_) cache_ = ServiceRegistry::Instance().Get<Cache>();
    decltype(compute()) value;
    if (cache_->Lookup(key, value)) return value;
    value = compute();
    cache_->Store(key, value);
    return value;
  }

 private:
  std::shared_ptr<Cache> cache_;
};

class PlanarTest {
 public:
  bool PolyContainsPoint(Shape<GeometryCoordinate> const& shape, unsigned int poly,
                         GeometryCoordinate const& p) {
    RectangularBounds const bounds = bounds_.Get(
        shape.HashForPoly(poly), [&] { return RectangularBounds::BoundsOfPoly(shape, poly); });
    if (!bounds.Contains(p)) return false;
    auto const ring_views = shape.GetPolys()[poly];
    if (!rings::PlanarRingContains(ring_views[0], p)) return false;
    for (unsigned int r = 1; r < ring_views.size(); ++r) {
      if (rings::PlanarRingContains(ring_views[r], p)) return false;
    }
    return true;
  }

 private:
  CacheOfCall<RectangularBoundsCache> bounds_;
};

class SphericalTest {
 public:
  bool PolyContainsPoint(Shape<GeographyCoordinate> const& shape, unsigned int poly,
                         GeographyCoordinate const& p) {
    SphericalTrapezoidBounds const bounds = bounds_.Get(shape.HashForPoly(poly), [&] {
      return SphericalTrapezoidBounds::BoundsOfPoly(shape, poly);
    });
    if (!bounds.Contains(p)) return false;
    double const x = rings::NormalizedLongitude(rings::LongitudeOf(p));
    Vector3D const position = WGS84::EarthCentredPosition(p);
    auto const ring_views = shape.GetPolys()[poly];
    for (unsigned int r = 0; r < ring_views.size(); ++r) {
      auto const [north, south] = poles_.Get(shape.HashForRingOfPoly(poly, r), [&] {
        return GetNorthAndSouthPoleContainment(shape, poly, r);
      });
      int const count =
          (north ? 1 : 0) + (south ? 1 : 0) + rings::SphericalCrossings(ring_views[r], x, position);
      if (count == 0) return false;
    }
    return true;
  }

 private:
  CacheOfCall<SphericalTrapezoidBoundsCache> bounds_;
  CacheOfCall<PoleContainmentCache> poles_;
};

// Polygon i of `polys` in order, against point j of `points` in order.
template <class Test, class C>
bool AnyPolyContainsAnyPoint(Shape<C> const& polys, Shape<C> const& points) {
  auto const poly_count = polys.GetPolys().size();
  auto const point_range = points.GetPoints();
  if (poly_count == 0 || point_range.empty()) return false;
  Test test;
  for (unsigned int i = 0; i < poly_count; ++i) {
    for (C const& p : point_range) {
      if (test.PolyContainsPoint(polys, i, p)) return true;
    }
  }
  return false;
}

}  // namespace

bool Intersects::Calculate(Spatial const& a, Spatial const& b) {
  // Each kind and shape type is asked once (they are virtual calls, and
  // the values are constant).
  CoordinateType const kind = a.GetCoordinateType();
  if (kind != b.GetCoordinateType()) return false;
  if (kind != CoordinateType::Geography && kind != CoordinateType::Geometry) return false;
  Spatial const* polygonal = &a;
  Spatial const* pointlike = &b;
  ShapeType polygonal_type = a.GetShapeType();
  ShapeType pointlike_type = b.GetShapeType();
  if (IsPointLike(polygonal_type) && IsPolygonal(pointlike_type)) {
    std::swap(polygonal, pointlike);
    std::swap(polygonal_type, pointlike_type);
  }
  if (!IsPolygonal(polygonal_type) || !IsPointLike(pointlike_type)) return false;
  if (kind == CoordinateType::Geography) {
    return AnyPolyContainsAnyPoint<SphericalTest, GeographyCoordinate>(polygonal->AsGeography(),
                                                                       pointlike->AsGeography());
  }
  return AnyPolyContainsAnyPoint<PlanarTest, GeometryCoordinate>(polygonal->AsGeometry(),
                                                                 pointlike->AsGeometry());
}

}  // namespace ostrel
