#include "ostrel/operations/centroid.hpp"

#include <algorithm>
#include <cmath>

#include "ostrel/core/angle.hpp"
#include "ostrel/core/latitude.hpp"
#include "ostrel/core/longitude.hpp"
#include "ostrel/kernel/vector.hpp"

namespace ostrel {
namespace {

// (cos lat sin lon, cos lat cos lon, sin lat).
Vector3D UnitVector(GeographyCoordinate const& c) {
  double const phi = c.GetLatitude().Get().Get();
  double const lambda = c.GetLongitude().Get().Get();
  double const cos_phi = std::cos(phi);
  return {cos_phi * std::sin(lambda), cos_phi * std::cos(lambda), std::sin(phi)};
}

// The coordinate in the direction of v. A vector that is not exactly of
// length 1 has x and y scaled to it and z rebuilt from them with its sign,
// so the latitude's asin never sees a value beyond 1.
GeographyCoordinate FromDirection(Vector3D v) {
  if (v.x * v.x + v.y * v.y + v.z * v.z != 1.0) {
    double const scale = 1.0 / v.Length();
    v.x *= scale;
    v.y *= scale;
    v.z = (v.z < 0 ? -1.0 : 1.0) * std::sqrt(std::max(0.0, 1.0 - v.x * v.x - v.y * v.y));
  }
  return GeographyCoordinate(Latitude(Radians(std::asin(v.z))), Longitude(std::atan2(v.x, v.y)));
}

// Visits the centroid's vertices in their order: the points, the lines'
// coordinates, each polygon's exterior ring without its closing coordinate.
// `visit` returns false to stop the walk.
template <class Visit>
void ForEachVertex(Geography const& value, Visit&& visit) {
  for (GeographyCoordinate const& c : value.GetPoints()) {
    if (!visit(c)) return;
  }
  for (auto const& line : value.GetLines()) {
    for (GeographyCoordinate const& c : line) {
      if (!visit(c)) return;
    }
  }
  for (auto const& poly : value.GetPolys()) {
    if (poly.empty()) continue;
    auto const exterior = poly[0];
    for (unsigned int k = 0; k + 1 < exterior.size(); ++k) {
      if (!visit(exterior[k])) return;
    }
  }
}

// The unit vector of vertex `index` (second pass, only for a vanishing mean).
Vector3D VertexVector(Geography const& value, unsigned long long index) {
  Vector3D found;
  unsigned long long k = 0;
  ForEachVertex(value, [&](GeographyCoordinate const& c) {
    if (k++ != index) return true;
    found = UnitVector(c);
    return false;
  });
  return found;
}

}  // namespace

GeographyCoordinate Centroid::Calculate(Geography const& value) {
  unsigned long long n = 0;
  Vector3D sum, first;
  GeographyCoordinate last;
  ForEachVertex(value, [&](GeographyCoordinate const& c) {
    Vector3D const v = UnitVector(c);
    if (n == 0) first = v;
    sum = sum + v;
    last = c;
    ++n;
    return true;
  });
  if (n == 0) return GeographyCoordinate();
  if (n == 1) return last;

  double const count = static_cast<double>(n);
  Vector3D const mean(sum.x / count, sum.y / count, sum.z / count);
  double const epsilon = GeographyCoordinate::GetMaxTruncationError().Get();
  double const epsilon2 = epsilon * epsilon;
  double const length = mean.Length();
  if (!((length - 0) * (length - 0) <= epsilon2)) return FromDirection(mean);

  // The vertices cancel out: take the plane of the first one and one from
  // the middle, or the next when those two are antipodal.
  Vector3D const u = first;
  Vector3D w = VertexVector(value, n / 2);
  auto const near = [epsilon2](double a, double b) { return (a - b) * (a - b) <= epsilon2; };
  if (near(u.x, -w.x) && near(u.y, -w.y) && near(u.z, -w.z)) {
    if (n == 2) return FromDirection(u);
    w = VertexVector(value, n / 2 + 1);
  }
  return FromDirection(u.Cross(w));
}

}  // namespace ostrel
