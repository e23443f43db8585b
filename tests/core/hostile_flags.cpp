// The coordinate code of the public headers compiled as a careless consumer
// might compile it: -O3 -ffast-math -ffp-contract=fast (see tests/CMakeLists.txt).
// hostile_flags_test.cpp checks that it computes exactly what the same code
// computes under the project's own flags.
#include "hostile_flags.hpp"

namespace ostrel::hostile {

GeometryCoordinate Snap(double x, double y, GeometryCoordinate::Bias const& bias) {
  return GeometryCoordinate(x, y, bias);
}

GeometryCoordinate::Packed Pack(double x, double y, GeometryCoordinate::Bias const& bias) {
  return GeometryCoordinate::Packed(x, y, bias);
}

bool IsValid(GeometryCoordinate const& c) { return c.IsValid(); }

GeographyCoordinate Snap(double latitude, double longitude) {
  return GeographyCoordinate(Latitude(latitude), Longitude(longitude));
}

unsigned long long Encode(double latitude, double longitude) {
  return GeographyCoordinate::Packed(Latitude(latitude), Longitude(longitude)).GetEncoded();
}

GeographyCoordinate Decode(unsigned long long word) {
  return GeographyCoordinate(GeographyCoordinate::Packed(word));
}

bool IsValid(GeographyCoordinate const& c) { return c.IsValid(); }

}  // namespace ostrel::hostile
