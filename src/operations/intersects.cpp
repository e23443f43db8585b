#include "ostrel/operations/intersects.hpp"

#include <utility>

#include "operations/intersects_rings.hpp"
#include "ostrel/kernel/ellipsoid.hpp"
#include "ostrel/kernel/pole_containment.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"

namespace ostrel {
namespace {

namespace rings = detail::rings;

bool IsPolygonal(ShapeType t) { return t == ShapeType::Polygon || t == ShapeType::MultiPolygon; }
bool IsPointLike(ShapeType t) { return t == ShapeType::Point || t == ShapeType::MultiPoint; }

bool PolyContainsPoint(Shape<GeometryCoordinate> const& shape, unsigned int poly,
                       GeometryCoordinate const& p) {
  if (!RectangularBounds::CachedBoundsOfPoly(shape, poly).Contains(p)) return false;
  auto const ring_views = shape.GetPolys()[poly];
  if (!rings::PlanarRingContains(ring_views[0], p)) return false;
  for (unsigned int r = 1; r < ring_views.size(); ++r) {
    if (rings::PlanarRingContains(ring_views[r], p)) return false;
  }
  return true;
}

bool PolyContainsPoint(Shape<GeographyCoordinate> const& shape, unsigned int poly,
                       GeographyCoordinate const& p) {
  if (!SphericalTrapezoidBounds::CachedBoundsOfPoly(shape, poly).Contains(p)) return false;
  double const x = rings::NormalizedLongitude(rings::LongitudeOf(p));
  Vector3D const position = WGS84::EarthCentredPosition(p);
  auto const ring_views = shape.GetPolys()[poly];
  for (unsigned int r = 0; r < ring_views.size(); ++r) {
    auto const [north, south] = GetCachedNorthAndSouthPoleContainment(shape, poly, r);
    int const count =
        (north ? 1 : 0) + (south ? 1 : 0) + rings::SphericalCrossings(ring_views[r], x, position);
    if (count == 0) return false;
  }
  return true;
}

// Polygon i of `polys` in order, against point j of `points` in order.
template <class C>
bool AnyPolyContainsAnyPoint(Shape<C> const& polys, Shape<C> const& points) {
  auto const poly_count = polys.GetPolys().size();
  auto const point_range = points.GetPoints();
  if (poly_count == 0 || point_range.empty()) return false;
  for (unsigned int i = 0; i < poly_count; ++i) {
    for (C const& p : point_range) {
      if (PolyContainsPoint(polys, i, p)) return true;
    }
  }
  return false;
}

}  // namespace

bool Intersects::Calculate(Spatial const& a, Spatial const& b) {
  bool const geography = a.IsGeography() && b.IsGeography();
  if (!geography && !(a.IsGeometry() && b.IsGeometry())) return false;
  Spatial const* polygonal = &a;
  Spatial const* pointlike = &b;
  if (IsPointLike(a.GetShapeType()) && IsPolygonal(b.GetShapeType()))
    std::swap(polygonal, pointlike);
  if (!IsPolygonal(polygonal->GetShapeType()) || !IsPointLike(pointlike->GetShapeType())) {
    return false;
  }
  if (geography) {
    return AnyPolyContainsAnyPoint<GeographyCoordinate>(polygonal->AsGeography(),
                                                        pointlike->AsGeography());
  }
  return AnyPolyContainsAnyPoint<GeometryCoordinate>(polygonal->AsGeometry(),
                                                     pointlike->AsGeometry());
}

}  // namespace ostrel
