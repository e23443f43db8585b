#include <ostream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "detail/stream_text.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"

namespace ostrel {

GeometryCoordinate::Bias const& GeometryCoordinate::Bias::None() {
  static Bias const none;
  return none;
}

void GeographyCoordinate::Packed::ThrowInvalidBitPattern() {
  throw std::invalid_argument(
      "an invalid bit pattern is being used to reconstitute a GeographyCoordinate::Packed");
}

namespace {

std::ostream& WritePlanar(std::ostream& os, double x, double y) {
  return os << "(" << x << ", " << y << ")";
}

// Reads two doubles (preset to NaN) by stream extraction, as the coordinate
// literals do; the stream state is deliberately not inspected.
std::pair<double, double> ReadTwoNumbers(char const* text) {
  double first = detail::kNaN;
  double second = detail::kNaN;
  std::istringstream is{std::string(text)};
  is >> first >> second;
  return {first, second};
}

GeographyCoordinate GeographyFromText(char const* text, std::size_t length, bool degrees) {
  if (length == 0) return GeographyCoordinate();
  auto [lon, lat] = ReadTwoNumbers(text);
  Radians lat_radians = degrees ? Radians(Degrees(lat)) : Radians(lat);
  Radians lon_radians = degrees ? Radians(Degrees(lon)) : Radians(lon);
  return GeographyCoordinate(Latitude(lat_radians), Longitude(lon_radians));
}

}  // namespace

std::ostream& operator<<(std::ostream& os, GeometryCoordinate const& c) {
  return WritePlanar(os, c.GetX(), c.GetY());
}

std::ostream& operator<<(std::ostream& os,
                         std::pair<GeometryCoordinate::Packed, GeometryCoordinate::Bias> const& c) {
  auto [x, y] = c.first.GetXY(c.second);
  return WritePlanar(os, x, y);
}

std::string to_string(GeometryCoordinate const& c) { return detail::StreamText(c); }

std::string to_string(std::pair<GeometryCoordinate::Packed, GeometryCoordinate::Bias> const& c) {
  return detail::StreamText(c);
}

std::string to_string(GeometryCoordinate::Packed const& packed, GeometryCoordinate::Bias bias) {
  return detail::StreamText(std::make_pair(packed, bias));
}

std::ostream& operator<<(std::ostream& os, GeographyCoordinate const& c) {
  return os << "(" << c.GetLatitude() << ", " << c.GetLongitude() << ")";
}

std::ostream& operator<<(std::ostream& os, GeographyCoordinate::Packed const& p) {
  auto [lat, lon] = p.GetLatLon();
  return os << "(" << lat << ", " << lon << ")";
}

std::string to_string(GeographyCoordinate const& c) { return detail::StreamText(c); }
std::string to_string(GeographyCoordinate::Packed const& p) { return detail::StreamText(p); }

}  // namespace ostrel

ostrel::GeometryCoordinate operator""_geom(char const* text, std::size_t length) {
  if (length == 0) return ostrel::GeometryCoordinate();
  auto [x, y] = ostrel::ReadTwoNumbers(text);
  return ostrel::GeometryCoordinate(x, y);
}

ostrel::GeographyCoordinate operator""_geog(char const* text, std::size_t length) {
  return ostrel::GeographyFromText(text, length, true);
}

ostrel::GeographyCoordinate operator""_rgeog(char const* text, std::size_t length) {
  return ostrel::GeographyFromText(text, length, false);
}
