// The vertex of an arc as bounds and pole containment need it: a cheap,
// conservative test that proves, without any trigonometry, that an arc
// cannot bulge poleward beyond its endpoints, in front of the full
// EllipticArc::GetExtremalPointIfHas.
//
// Why it is exact. On the plane section of an arc, with t = tan(latitude)
// and c = cos(longitude difference), the arc heads north at an endpoint of
// latitude phi_a towards one of latitude phi_b exactly when t_b > t_a c (the
// factor 1 - e^2 between geodetic and geocentric tangents cancels). For two
// endpoints on one side of the equator, lo and hi their distances from it,
// the vertex lies beyond the endpoint farther from the equator when
// t_hi c - t_lo > 0, and by at least asin(eps) in longitude when
// t_hi c - t_lo >= 2 eps t_hi. Since t_hi - t_lo >= hi - lo and
// 1 - c <= d^2 / 2, the test hi - lo > T (d^2 / 2 + 2 eps) with T >= t_hi
// suffices. With eps = 1e-9 the computed vertex of GetExtremalPointIfHas,
// whose errors are orders of magnitude smaller, is judged outside the arc,
// or, where its longitude is ill-conditioned, lies within far less than a
// grid step of the endpoint it would have to pass and snaps onto it, which
// changes neither bounds nor the highest point of a ring. An arc that
// crosses the equator with |d| <= 1.5 has its vertices at least pi/2 - 1.5
// outside it. The longitude difference is kept at least 3e-6 and both
// latitudes within 1.5 rad of the equator so that the meridian test of
// GetExtremalPointIfHas (azimuths within 1e-7 of north) cannot fire:
// there |tan beta| < 14.11, so an azimuth is at least
// atan(sin(3e-6) / 15.11) > 1.25e-7 away from north. Equal longitudes
// never have a vertex. Everything else goes to GetExtremalPointIfHas.
#pragma once

#include <cmath>
#include <utility>

#include "ostrel/core/constants.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/kernel/elliptic_arc.hpp"

namespace ostrel::detail {

// True when the arc between two valid coordinates provably has no vertex
// that GetExtremalPointIfHas would report with any effect.
inline bool ArcHasNoVertex(double phi1, double lambda1, double phi2, double lambda2) {
  if (lambda1 == lambda2) return true;
  if (!(std::fabs(lambda1) <= kPi && std::fabs(lambda2) <= kPi && std::fabs(phi1) <= 1.5 &&
        std::fabs(phi2) <= 1.5)) {
    return false;
  }
  double d = lambda2 - lambda1;
  if (d > kPi) d -= kTwoPi;
  if (d < -kPi) d += kTwoPi;
  double const ad = std::fabs(d);
  if (!(ad >= 3e-6 && ad <= 1.5)) return false;
  if ((phi1 > 0 && phi2 < 0) || (phi1 < 0 && phi2 > 0)) return true;
  // One side of the equator (or on it): distances from the equator.
  double a = std::fabs(phi1), b = std::fabs(phi2);
  double const lo = a < b ? a : b;
  double const hi = a < b ? b : a;
  // tan(hi) <= hi / cos_lower(hi), cos bounded below by its Taylor
  // polynomial up to x^6 (positive on [0, 1.5]).
  double const h2 = hi * hi;
  double const cos_lower = 1.0 - h2 / 2 + h2 * h2 / 24 - h2 * h2 * h2 / 720;
  double const tan_upper = 1.0001 * hi / cos_lower;
  return hi - lo > tan_upper * (ad * ad * 0.5 + 2e-9) + 1e-12;
}

// GetExtremalPointIfHas of the arc, or "none" where ArcHasNoVertex proves it
// irrelevant.
inline std::pair<bool, GeographyCoordinate> ArcVertex(GeographyCoordinate const& a,
                                                      GeographyCoordinate const& b) {
  if (a.IsValid() && b.IsValid() &&
      ArcHasNoVertex(a.GetLatitude().Get().Get(), a.GetLongitude().Get().Get(),
                     b.GetLatitude().Get().Get(), b.GetLongitude().Get().Get())) {
    return {false, GeographyCoordinate()};
  }
  return EllipticArc(a, b).GetExtremalPointIfHas();
}

}  // namespace ostrel::detail
