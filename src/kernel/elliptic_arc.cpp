#include "ostrel/kernel/elliptic_arc.hpp"

#include <cmath>
#include <stdexcept>

#include "ostrel/core/constants.hpp"
#include "ostrel/kernel/azimuth.hpp"
#include "ostrel/kernel/ellipsoid.hpp"
#include "ostrel/kernel/point_on_elliptic_arc.hpp"

namespace ostrel {
namespace {

constexpr double kMeridianTolerance = 1e-7;

double Normalized(double radians) { return Radians(radians).Normalize().Get(); }

// Whether an azimuth lies within the meridian tolerance of north (of 0 or
// 2pi).
bool NearNorth(double azimuth) { return std::fabs(Normalized(azimuth)) <= kMeridianTolerance; }

[[noreturn]] void ThrowNoExtremalPoint() {
  throw std::logic_error("EllipticArc::GetExtremalPointIfHas: Unable to find extremal point");
}

}  // namespace

Vector3D EllipticArc::GetPlaneThroughArc() const {
  if (start_ == end_) {
    throw std::logic_error(
        "EllipticArc::GetPlaneThroughArc: Unable to create plane through zero-length arc.");
  }
  return WGS84::EarthCentredPosition(start_).Cross(WGS84::EarthCentredPosition(end_));
}

Latitude EllipticArc::GetExtremalLatitude() const {
  return GetExtremalLatitude(GetPlaneThroughArc());
}

Latitude EllipticArc::GetExtremalLatitude(Vector3D const& n) const {
  double const lambda0 = std::atan2(-n.y, -n.x);
  double const h = std::fabs(-n.y * std::sin(lambda0) - n.x * std::cos(lambda0));
  double const v = std::fabs(WGS84::kOneMinusEccentricitySquared * n.z);
  double latitude = std::atan2(h, v);
  if (start_.GetLatitude().Get().Get() < 0 && end_.GetLatitude().Get().Get() < 0) {
    latitude = -latitude;
  }
  return Latitude(Radians(latitude));
}

std::pair<bool, GeographyCoordinate> EllipticArc::GetExtremalPointIfHas() const {
  std::pair<bool, GeographyCoordinate> const none(false, GeographyCoordinate());
  // An arc with a missing endpoint has no geometry, hence no vertex.
  if (!start_.IsValid() || !end_.IsValid() || start_ == end_) return none;
  double const phi1 = start_.GetLatitude().Get().Get();
  double const phi2 = end_.GetLatitude().Get().Get();
  double const lambda1 = start_.GetLongitude().Get().Get();
  double const lambda2 = end_.GetLongitude().Get().Get();

  // Both on the equator: the arc runs along it, unless the endpoints are
  // antipodal and the plane is left to rounding.
  if (phi1 == 0 && phi2 == 0) {
    double const tolerance = GeographyCoordinate::GetMaxTruncationError().Get();
    double const dlat = phi1 + phi2;
    double const dlon = Normalized(Normalized(lambda1 + detail::kPi) - Normalized(lambda2));
    if (!(dlat * dlat <= tolerance * tolerance && dlon * dlon <= tolerance * tolerance)) {
      return none;
    }
  }
  // An endpoint on a pole is the arc's extreme.
  if (std::fabs(phi1) == detail::kHalfPi || std::fabs(phi2) == detail::kHalfPi) return none;

  // Along a meridian (heading due north at the start, or due north at the
  // end in the direction of travel): no vertex, or the pole it passes over.
  double const start_azimuth = Azimuth::OfArc(start_, end_).Get();
  double const end_azimuth = Azimuth::OfArc(end_, start_).Get() + detail::kPi;
  if (NearNorth(start_azimuth) || NearNorth(end_azimuth)) {
    if (std::fabs(Normalized(lambda2 - lambda1)) <= kMeridianTolerance) return none;
    bool const heads_north = std::cos(start_azimuth) > 0;
    return {true,
            GeographyCoordinate(Latitude(Radians(heads_north ? detail::kHalfPi : -detail::kHalfPi)),
                                Longitude(0.0))};
  }

  // The vertex of the plane section on the side the arc can reach: the
  // northern one unless both endpoints are south of the equator, or the arc
  // crosses the equator and its southern endpoint is the farther from it.
  Vector3D const n = GetPlaneThroughArc();
  if (n.x == 0 && n.y == 0 && n.z == 0) ThrowNoExtremalPoint();
  double latitude = GetExtremalLatitude(n).Get().Get();
  bool const crosses = (phi1 > 0 && phi2 < 0) || (phi1 < 0 && phi2 > 0);
  if (crosses) {
    double const north = phi1 > 0 ? phi1 : phi2;
    double const south = phi1 > 0 ? phi2 : phi1;
    if (-south > north) latitude = -latitude;
  }
  // The section's highest point lies where -(nx cos l + ny sin l) / nz is
  // largest; its lowest point on the opposite meridian.
  double longitude = n.z >= 0 ? std::atan2(-n.y, -n.x) : std::atan2(n.y, n.x);
  if (latitude < 0) longitude += detail::kPi;
  GeographyCoordinate const vertex{Latitude(Radians(latitude)), Longitude(longitude)};
  if (!vertex.IsValid()) ThrowNoExtremalPoint();

  // Strictly inside the arc, along its direction of travel.
  Longitude const at = vertex.GetLongitude();
  bool const east = Normalized(lambda2 - lambda1) > 0;
  bool const inside = east ? at.IsBetween(start_.GetLongitude(), end_.GetLongitude())
                           : at.IsBetween(end_.GetLongitude(), start_.GetLongitude());
  if (!inside) return none;
  return {true, vertex};
}

PointOnEllipticArc::PointOnEllipticArc(GeographyCoordinate const& start,
                                       GeographyCoordinate const& end)
    : start_(start), end_(end) {
  Vector3D const n = EllipticArc(start, end).GetPlaneThroughArc();
  normal_x_ = n.x;
  negated_normal_y_ = -n.y;
  normal_z_ = n.z;
  one_minus_e2_ = WGS84::kOneMinusEccentricitySquared;
}

GeographyCoordinate PointOnEllipticArc::operator()(double t) const {
  double const phi1 = start_.GetLatitude().Get().Get();
  double const phi2 = end_.GetLatitude().Get().Get();
  double const lambda1 = start_.GetLongitude().Get().Get();
  double const lambda2 = end_.GetLongitude().Get().Get();
  if (t <= 0) return GeographyCoordinate(Latitude(phi1), Longitude(Normalized(lambda1)));
  if (t >= 1) return GeographyCoordinate(Latitude(phi2), Longitude(Normalized(lambda2)));

  if (lambda1 == lambda2) {
    return GeographyCoordinate(Latitude(Radians(phi1 + t * (phi2 - phi1))), Longitude(lambda1));
  }

  if (std::fabs(Normalized(lambda2 - lambda1 - detail::kPi)) <
      2 * GeographyCoordinate::GetMaxTruncationError().Get()) {
    // Over the pole: start -> pole along the start meridian, pole -> end
    // along the end meridian, the latitude linear in the path length.
    bool const north = phi2 + detail::kPi >= detail::kPi - phi2;
    double const pole = north ? detail::kHalfPi : -detail::kHalfPi;
    double const first = std::fabs(pole - phi1);
    double const second = std::fabs(pole - phi2);
    double const s = t * (first + second);
    double latitude;
    double longitude;
    if (s <= first) {
      latitude = north ? phi1 + s : phi1 - s;
      longitude = lambda1;
    } else {
      latitude = north ? pole - (s - first) : pole + (s - first);
      longitude = lambda2;
    }
    // Rounding must not carry the path past the pole.
    latitude = std::fmin(std::fmax(latitude, -detail::kHalfPi), detail::kHalfPi);
    return GeographyCoordinate(Latitude(Radians(latitude)), Longitude(longitude));
  }

  double end_lambda = lambda2;
  if (end_lambda - lambda1 > detail::kPi) {
    end_lambda -= detail::kTwoPi;
  } else if (lambda1 - end_lambda > detail::kPi) {
    end_lambda += detail::kTwoPi;
  }
  double const lambda = lambda1 + t * (end_lambda - lambda1);
  // tan(phi) = q / ((1 - e^2) nz) on the plane section.
  double const q = negated_normal_y_ * std::sin(lambda) - normal_x_ * std::cos(lambda);
  double const d = one_minus_e2_ * normal_z_;
  double const sign_q = q > 0 ? 1.0 : (q < 0 ? -1.0 : 0.0);
  double const sign_d = d > 0 ? 1.0 : (d < 0 ? -1.0 : 0.0);
  double const latitude = std::atan2(std::fabs(q) * (sign_q * sign_d), std::fabs(d));
  return GeographyCoordinate(Latitude(Radians(latitude)), Longitude(Normalized(lambda)));
}

}  // namespace ostrel
