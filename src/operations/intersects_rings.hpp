// The exact point-in-ring tests of Intersects, shared by the direct test
// (intersects.cpp, walking a value's rings) and the join's pinned polygons
// (indexed_intersects.cpp, walking unpacked copies with an index over
// them). Both evaluate every edge or arc with the functions below, so the
// two paths give the same answer bit for bit.
#pragma once

#include <cmath>

#include "ostrel/core/angle.hpp"
#include "ostrel/core/constants.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/core/longitude.hpp"
#include "ostrel/kernel/elliptic_arc.hpp"
#include "ostrel/kernel/vector.hpp"

namespace ostrel::detail::rings {

// Even-odd rule, one edge from (ax, ay) to (bx, by): whether it toggles the
// inside flag of the point (px, py). Only edges whose ends lie on different
// sides of the horizontal through the point (b.y > p.y differs from
// a.y > p.y) can toggle. Written without branches: the products are formed
// for every edge (they have no side effects) and the straddle test masks
// the answer, which for points at random is cheaper than a branch that
// goes either way.
inline bool EdgeToggles(double px, double py, double ax, double ay, double bx, double by) {
  bool const straddles = (ay > py) != (by > py);
  double const a = (by - ay) * (px - ax);
  double const b = (bx - ax) * (py - ay);
  return straddles & ((a > b) != (0 > py - ay));
}

// Radians::Normalize without the call for the usual in-range longitude
// (where it is the identity).
inline double NormalizedLongitude(double longitude) {
  if (longitude > kPi || -kPi > longitude) return Radians(longitude).Normalize().Get();
  return longitude;
}

// The antimeridian crossing of the arc from longitude l1 to l2: +1 eastward,
// -1 westward, else 0; a longitude of exactly +pi lies east of the
// antimeridian (the rule of pole containment).
inline int AntimeridianCrossing(double l1, double l2) {
  if (l1 == l2) return 0;
  if (l1 == kPi) return l2 <= 0 ? 1 : 0;
  if (l2 == kPi) return l1 <= 0 ? -1 : 0;
  double const d = l2 - l1;
  if (d > kPi) return -1;
  if (d <= -kPi) return 1;
  return 0;
}

// Whether a vertex of longitude `longitude` lies exactly on the meridian of
// the normalized longitude x; +pi and -pi are the same meridian.
inline bool OnMeridian(double longitude, double x) {
  double const l = NormalizedLongitude(longitude);
  return l == x || (std::fabs(l) == kPi && std::fabs(x) == kPi);
}

// Whether the meridian x (normalized) lies strictly inside the longitude
// range of the arc from l1 to l2, the range running the short way: between
// the two when the arc does not cross the antimeridian, else eastward from
// the western end across it. For in-range longitudes the non-crossing case
// is Longitude::IsBetween written out (Normalize is the identity there).
inline bool ArcSpansMeridian(double l1, double l2, double x) {
  int const crossing = AntimeridianCrossing(l1, l2);
  if (crossing == 0) {
    if (std::fabs(l1) <= kPi && std::fabs(l2) <= kPi) {
      return l1 < l2 ? (x > l1 && l2 > x) : (x > l2 && l1 > x);
    }
    return l1 < l2 ? Longitude(x).IsBetween(Longitude(l1), Longitude(l2))
                   : Longitude(x).IsBetween(Longitude(l2), Longitude(l1));
  }
  return crossing > 0 ? Longitude(x).IsBetween(Longitude(l1), Longitude(l2))
                      : Longitude(x).IsBetween(Longitude(l2), Longitude(l1));
}

// The sign of n . p: the side of the point at earth-centred position p
// relative to the plane of normal n (0 on the plane, and for NaN).
inline int Side(Vector3D const& n, Vector3D const& p) {
  double const d = n.Dot(p);
  return d < 0 ? -1 : (d > 0 ? 1 : 0);
}

inline double LongitudeOf(GeographyCoordinate const& c) { return c.GetLongitude().Get().Get(); }

// The index of the first vertex after `k` that leaves the meridian x,
// walking on past the end of a closed ring of n vertices (the last vertex
// repeats the first, so index n - 1 + j is vertex j). `vertex(i)` gives
// vertex i. Returns k itself when every other vertex lies on the meridian.
template <class VertexAt>
unsigned int NextOffMeridian(unsigned int k, unsigned int n, double x, VertexAt const& vertex) {
  unsigned long long const wrap = n - 1;
  for (unsigned long long step = 1; step < n; ++step) {
    unsigned long long m = k + step;
    if (m >= n) m -= wrap;
    if (!OnMeridian(LongitudeOf(vertex(static_cast<unsigned int>(m))), x)) {
      return static_cast<unsigned int>(m);
    }
  }
  return k;
}

// What the arc from vertex k (s) to vertex k + 1 (e) of a closed ring of n
// vertices adds to the count of the point at meridian x and earth-centred
// position p:
// - an arc that ends exactly on the meridian, coming from off it, is
//   extended through the following vertices on the meridian to the first
//   vertex v that leaves it, and the arc from s to v is tested instead (so a
//   ring that touches the meridian counts nothing, one that passes it once);
// - an arc that starts on the meridian adds nothing (the extension of the
//   arc before it counted that passage);
// - otherwise an arc whose longitude range holds x strictly adds the side of
//   the point relative to the arc's plane.
// `plane(i, j, a, b)` is the plane through the arc from vertex i (a) to
// vertex j (b), as EllipticArc::GetPlaneThroughArc gives it.
template <class VertexAt, class PlaneOf>
int ArcContribution(unsigned int k, unsigned int n, GeographyCoordinate const& s,
                    GeographyCoordinate const& e, double x, Vector3D const& p,
                    VertexAt const& vertex, PlaneOf const& plane) {
  double const ls = LongitudeOf(s);
  double const le = LongitudeOf(e);
  if (OnMeridian(le, x)) {
    if (OnMeridian(ls, x)) return 0;
    unsigned int const m = NextOffMeridian(k + 1, n, x, vertex);
    GeographyCoordinate const v = vertex(m);
    if (!ArcSpansMeridian(ls, LongitudeOf(v), x)) return 0;
    return Side(plane(k, m, s, v), p);
  }
  if (!ArcSpansMeridian(ls, le, x)) return 0;
  return Side(plane(k, k + 1, s, e), p);
}

// The even-odd test of a ring given as a view (size(), operator[]): the
// inside flag after toggling it for every edge.
template <class Ring>
bool PlanarRingContains(Ring const& ring, GeometryCoordinate const& p) {
  unsigned int const n = ring.size();
  if (n == 0) return false;
  double const px = p.GetX(), py = p.GetY();
  bool inside = false;
  GeometryCoordinate previous = ring[0];
  for (unsigned int k = 1; k < n; ++k) {
    GeometryCoordinate const current = ring[k];
    if (EdgeToggles(px, py, previous.GetX(), previous.GetY(), current.GetX(), current.GetY())) {
      inside = !inside;
    }
    previous = current;
  }
  return inside;
}

// The count of the spherical ring test of a ring given as a view, without
// its poles: the sum of the contributions of all its arcs.
template <class Ring>
int SphericalCrossings(Ring const& ring, double x, Vector3D const& position) {
  unsigned int const n = ring.size();
  if (n < 2) return 0;
  auto const vertex = [&ring](unsigned int i) { return ring[i]; };
  auto const plane = [](unsigned int, unsigned int, GeographyCoordinate const& a,
                        GeographyCoordinate const& b) {
    return EllipticArc(a, b).GetPlaneThroughArc();
  };
  int count = 0;
  GeographyCoordinate start = ring[0];
  for (unsigned int k = 0; k + 1 < n; ++k) {
    GeographyCoordinate const end = ring[k + 1];
    count += ArcContribution(k, n, start, end, x, position, vertex, plane);
    start = end;
  }
  return count;
}

}  // namespace ostrel::detail::rings
