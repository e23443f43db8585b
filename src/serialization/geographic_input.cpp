#include "ostrel/serialization/geographic_input.hpp"

#include <cmath>
#include <stdexcept>

namespace ostrel {

double WrapLongitude(double x) {
  if (x < -180) return std::fmod(x - 180, 360) + 180;
  if (x > 180) return std::fmod(x + 180, 360) - 180;
  return x;
}

double ClampLatitude(double y) {
  if (y > 90) {
    if (y < 90.00001) return 90;
    throw std::out_of_range("Latitude must not exceed +/- 90");
  }
  if (y < -90) {
    if (y > -90.00001) return -90;
    throw std::out_of_range("Latitude must not exceed +/- 90");
  }
  return y;
}

void Densify(GeographyCoordinate const& from, GeographyCoordinate const& to, Radians tolerance,
             bool same_side, PathNormalizer::Emit const& emit) {
  PathNormalizer const normalizer(tolerance);
  normalizer(from, to, same_side ? TopologicalType::Flat : TopologicalType::Spheroidal, emit);
}

}  // namespace ostrel
