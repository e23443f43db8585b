#include <cctype>
#include <charconv>
#include <string>

#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel::OWKT {

namespace {

// A double exactly as a default-formatted std::ostream writes it: printf's
// %g with precision 6 ("1.23457e+06", "0.5", "-nan"). std::to_chars with the
// general format produces the same characters without a stream.
void AppendNumber(std::string& out, double value) {
  char buffer[32];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  out.append(buffer, result.ptr);
}

// Keywords, enumeration texts and the letters of numbers ("E", "NAN",
// "INF") are all upper case in OWKT.
void UpperCase(std::string& out) {
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// Starts a KEY=VALUE pair: "," before every pair but the first.
void AppendKey(std::string& out, bool& first, char const* key) {
  if (!first) out.push_back(',');
  first = false;
  out += key;
  out.push_back('=');
}

// KEY=AUTHORITY:ID when the SRID differs from the record's default.
void AppendSRID(std::string& out, bool& first, char const* key, SRID srid, SRID default_srid) {
  if (srid == default_srid) return;
  AppendKey(out, first, key);
  out += to_string(srid.GetAuthority());
  out.push_back(':');
  out += std::to_string(srid.GetID());
}

void AppendAttributes(std::string& out, Geometry::Attributes const& a) {
  Geometry::Attributes const defaults;
  bool first = true;
  if (a.bias != defaults.bias) {
    AppendKey(out, first, "BIAS");
    AppendNumber(out, a.bias.GetX());
    out.push_back(':');
    AppendNumber(out, a.bias.GetY());
  }
  AppendSRID(out, first, "ORIGINALSRID", a.original_srid, defaults.original_srid);
  AppendSRID(out, first, "CONVERTEDSRID", a.converted_srid, defaults.converted_srid);
  if (!first) out.push_back(';');
}

void AppendAttributes(std::string& out, Geography::Attributes const& a) {
  Geography::Attributes const defaults;
  bool first = true;
  AppendSRID(out, first, "ORIGINALSRID", a.original_srid, defaults.original_srid);
  AppendSRID(out, first, "CONVERTEDSRID", a.converted_srid, defaults.converted_srid);
  if (a.topological_type != defaults.topological_type) {
    AppendKey(out, first, "TOPOLOGICALTYPE");
    out += to_string(a.topological_type);
  }
  if (a.winding_order != defaults.winding_order) {
    AppendKey(out, first, "WINDINGORDER");
    out += to_string(a.winding_order);
  }
  if (!first) out.push_back(';');
}

void AppendCoordinate(std::string& out, GeometryCoordinate const& c) {
  AppendNumber(out, c.GetX());
  out.push_back(' ');
  AppendNumber(out, c.GetY());
}

void AppendCoordinate(std::string& out, GeographyCoordinate const& c) {
  AppendNumber(out, Degrees(c.GetLongitude().Get()).Get());
  out.push_back(' ');
  AppendNumber(out, Degrees(c.GetLatitude().Get()).Get());
}

template <class Range>
void AppendCoordinates(std::string& out, Range const& coordinates) {
  bool first = true;
  for (auto const& c : coordinates) {
    if (!first) out += ", ";
    first = false;
    AppendCoordinate(out, c);
  }
}

bool IsMulti(ShapeType t) {
  return t == ShapeType::MultiPoint || t == ShapeType::MultiLineString ||
         t == ShapeType::MultiPolygon || t == ShapeType::Mixed;
}

// Writes the body from the shape interface only, so every storage format
// yields the same text for the same content.
template <class V>
void AppendBody(std::string& out, V const& value) {
  ShapeType const type = value.GetShapeType();
  if (type == ShapeType::Empty) {
    out += "POINT EMPTY";
    return;
  }
  out += type == ShapeType::Mixed ? std::string("GEOMETRYCOLLECTION") : to_string(type);

  auto const points = value.GetPoints();
  auto const lines = value.GetLines();
  auto const polys = value.GetPolys();
  if (points.empty() && lines.empty() && polys.empty()) {
    out += " EMPTY";
  } else {
    bool const multi = IsMulti(type);
    bool const mixed = type == ShapeType::Mixed;
    bool first = true;
    auto item = [&](char const* kind, auto&& content) {
      if (!first) out += ", ";
      first = false;
      if (mixed) out += kind;
      if (multi) out.push_back('(');
      content();
      if (multi) out.push_back(')');
    };
    out.push_back('(');
    for (auto const& point : points) item("POINT", [&] { AppendCoordinate(out, point); });
    for (auto const& line : lines) item("LINESTRING", [&] { AppendCoordinates(out, line); });
    for (auto const& poly : polys) {
      item("POLYGON", [&] {
        bool first_ring = true;
        for (auto const& ring : poly) {
          if (!first_ring) out += ", ";
          first_ring = false;
          out.push_back('(');
          AppendCoordinates(out, ring);
          out.push_back(')');
        }
      });
    }
    out.push_back(')');
  }
}

}  // namespace

std::string To(Spatial const& value) {
  std::string out;
  if (value.IsGeography()) {
    Geography const& g = value.AsGeography();
    AppendAttributes(out, g.GetAttributes());
    AppendBody(out, g);
  } else if (value.IsGeometry()) {
    Geometry const& g = value.AsGeometry();
    AppendAttributes(out, g.GetAttributes());
    AppendBody(out, g);
  } else {
    out += to_string(value);
  }
  UpperCase(out);
  return out;
}

}  // namespace ostrel::OWKT
