#include <cmath>
#include <stdexcept>

#include "ostrel/core/constants.hpp"
#include "ostrel/kernel/azimuth.hpp"
#include "ostrel/kernel/ellipsoid.hpp"

namespace ostrel {

Vector3D WGS84::EarthCentredPosition(GeographyCoordinate const& coordinate) {
  double const phi = coordinate.GetLatitude().Get().Get();
  double const lambda = coordinate.GetLongitude().Get().Get();
  double const sin_phi = std::sin(phi);
  double const n = kSemiMajorAxis / std::sqrt(1.0 - kEccentricitySquared * (sin_phi * sin_phi));
  double const horizontal = n * std::cos(phi);
  return {horizontal * std::cos(lambda), horizontal * std::sin(lambda),
          n * kOneMinusEccentricitySquared * sin_phi};
}

Latitude WGS84::ReducedLatitude(Latitude const& latitude) {
  double const phi = latitude.Get().Get();
  return Latitude(Radians(std::atan(std::tan(phi) * kSemiMinorAxis / kSemiMajorAxis)));
}

std::pair<double, double> Azimuth::NearAzimuthTangentRatioFromAuxiliarySphereCoordinates(
    std::pair<Latitude, Longitude> const& p1, std::pair<Latitude, Longitude> const& p2) {
  double const lambda1 = p1.second.Get().Get();
  double const lambda2 = p2.second.Get().Get();
  if (lambda1 != 0 || lambda2 < 0) {
    throw std::domain_error(
        "Azimuth::NearAzimuthTangentRatioFromAuxiliarySphereCoordinates: Coordinates are not "
        "normalized");
  }
  double const beta1 = p1.first.Get().Get();
  double const beta2 = p2.first.Get().Get();
  return {std::sin(lambda2),
          std::tan(beta2) * std::cos(beta1) - std::cos(lambda2) * std::sin(beta1)};
}

Radians Azimuth::FromTangentRatio(std::pair<double, double> const& ratio,
                                  Latitude const& latitude) {
  double const phi = latitude.Get().Get();
  if (phi >= detail::kHalfPi) return Radians(detail::kPi);
  if (phi <= -detail::kHalfPi) return Radians(0.0);
  double const cos_phi = std::cos(phi);
  return Radians(std::atan2(
      ratio.first,
      ratio.second * std::sqrt(1.0 - WGS84::kEccentricitySquared * (cos_phi * cos_phi))));
}

Radians Azimuth::OfArc(GeographyCoordinate const& from, GeographyCoordinate const& to) {
  // Move `from` onto longitude 0 and, for a westward arc, mirror the pair so
  // that `to` lies east of it; mirror the azimuth back afterwards.
  double const difference =
      Radians(to.GetLongitude().Get().Get() - from.GetLongitude().Get().Get()).Normalize().Get();
  bool const west = difference < 0;
  std::pair<Latitude, Longitude> const p1(WGS84::ReducedLatitude(from.GetLatitude()),
                                          Longitude(0.0));
  std::pair<Latitude, Longitude> const p2(WGS84::ReducedLatitude(to.GetLatitude()),
                                          Longitude(west ? -difference : difference));
  double azimuth = FromTangentRatio(NearAzimuthTangentRatioFromAuxiliarySphereCoordinates(p1, p2),
                                    from.GetLatitude())
                       .Get();
  if (west) azimuth = -azimuth;
  if (azimuth < 0) azimuth += detail::kTwoPi;
  return Radians(azimuth);
}

}  // namespace ostrel
