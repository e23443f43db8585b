#include <ostream>

#include "detail/stream_text.hpp"
#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/srid.hpp"

namespace ostrel {

SRID const& SRID::None() {
  static SRID const srid;
  return srid;
}
SRID const& SRID::WGS84() {
  static SRID const srid(Authority::EPSG, 4326);
  return srid;
}
SRID const& SRID::NAD27() {
  static SRID const srid(Authority::EPSG, 2029);
  return srid;
}
SRID const& SRID::NAD83() {
  static SRID const srid(Authority::EPSG, 4269);
  return srid;
}
SRID const& SRID::ETRS89() {
  static SRID const srid(Authority::EPSG, 4258);
  return srid;
}

namespace {

constexpr char const* kUnsupported = "<unsupported>";

char const* Text(CoordinateType value) {
  switch (value) {
    case CoordinateType::Unknown: return "Unknown";
    case CoordinateType::Identifying: return "Identifying";
    case CoordinateType::Geometry: return "Geometry";
    case CoordinateType::Geography: return "Geography";
  }
  return kUnsupported;
}

char const* Text(ShapeType value) {
  switch (value) {
    case ShapeType::Empty: return "Empty";
    case ShapeType::Point: return "Point";
    case ShapeType::LineString: return "LineString";
    case ShapeType::Polygon: return "Polygon";
    case ShapeType::MultiPoint: return "MultiPoint";
    case ShapeType::MultiLineString: return "MultiLineString";
    case ShapeType::MultiPolygon: return "MultiPolygon";
    case ShapeType::Mixed: return "Mixed";
  }
  return kUnsupported;
}

char const* Text(TopologicalType value) {
  switch (value) {
    case TopologicalType::Spheroidal: return "Spheroidal";
    case TopologicalType::Flat: return "Flat";
  }
  return kUnsupported;
}

char const* Text(WindingOrder value) {
  switch (value) {
    case WindingOrder::InteriorLeft: return "interior-left";
    case WindingOrder::InteriorRight: return "interior-right";
    case WindingOrder::Ambiguous: return "ambiguous";
  }
  return kUnsupported;
}

// Unlike the enumerations, an authority outside the table reads "Unknown".
char const* Text(SRID::Authority value) {
  switch (value) {
    case SRID::Authority::None: return "Unknown";
    case SRID::Authority::EPSG: return "EPSG";
    case SRID::Authority::SR_ORG: return "SR-ORG";
    case SRID::Authority::ESRI: return "ESRI";
    case SRID::Authority::ORACLE: return "ORACLE";
    case SRID::Authority::MS: return "MS";
    case SRID::Authority::IAU2000: return "IAU2000";
  }
  return "Unknown";
}

}  // namespace

std::ostream& operator<<(std::ostream& os, CoordinateType const& value) {
  return os << Text(value);
}
std::ostream& operator<<(std::ostream& os, ShapeType const& value) { return os << Text(value); }
std::ostream& operator<<(std::ostream& os, TopologicalType const& value) {
  return os << Text(value);
}
std::ostream& operator<<(std::ostream& os, WindingOrder const& value) { return os << Text(value); }
std::ostream& operator<<(std::ostream& os, SRID::Authority const& value) {
  return os << Text(value);
}

std::ostream& operator<<(std::ostream& os, SRID const& value) {
  return os << Text(value.GetAuthority()) << ":" << value.GetID();
}

std::string to_string(CoordinateType value) { return Text(value); }
std::string to_string(ShapeType value) { return Text(value); }
std::string to_string(TopologicalType value) { return Text(value); }
std::string to_string(WindingOrder value) { return Text(value); }
std::string to_string(SRID::Authority value) { return Text(value); }

std::string to_string(SRID value) { return detail::StreamText(value); }

}  // namespace ostrel
