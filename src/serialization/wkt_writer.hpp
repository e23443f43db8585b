// The text of a value as WktSerialization::Write gives it, appended to a
// string; shared with the PostgreSQL text form.
#pragma once

#include <charconv>
#include <string>
#include <type_traits>

#include "ostrel/core/angle.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"

namespace ostrel::detail::wkt {

// A double as a default-formatted stream writes it (printf %g, precision
// 6: to_chars with a precision is specified as that conversion), upper case.
inline void AppendNumber(std::string& out, double value) {
  char buffer[32];
  auto const result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  for (char* c = buffer; c != result.ptr; ++c) {
    if (*c >= 'a' && *c <= 'z') *c = static_cast<char>(*c - 'a' + 'A');
  }
  out.append(buffer, result.ptr);
}

inline void AppendUpper(std::string& out, std::string const& text) {
  for (char c : text) out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
}

template <class G>
void AppendText(std::string& out, G const& value) {
  ShapeType const type = value.GetShapeType();
  if (type == ShapeType::Empty) {
    out += "POINT EMPTY";
    return;
  }
  if (type == ShapeType::Mixed) {
    out += "GEOMETRYCOLLECTION";
  } else {
    AppendUpper(out, to_string(type));
  }
  auto const points = value.GetPoints();
  auto const lines = value.GetLines();
  auto const polys = value.GetPolys();
  if (points.empty() && lines.empty() && polys.empty()) {
    out += " EMPTY";
    return;
  }
  bool const multi = type == ShapeType::MultiPoint || type == ShapeType::MultiLineString ||
                     type == ShapeType::MultiPolygon || type == ShapeType::Mixed;
  bool const mixed = type == ShapeType::Mixed;

  auto coordinate = [&out](auto const& c) {
    if constexpr (std::is_same_v<G, Geometry>) {
      AppendNumber(out, c.GetX());
      out.push_back(' ');
      AppendNumber(out, c.GetY());
    } else {
      AppendNumber(out, Degrees(c.GetLongitude().Get()).Get());
      out.push_back(' ');
      AppendNumber(out, Degrees(c.GetLatitude().Get()).Get());
    }
  };
  auto run = [&](auto const& coordinates) {
    unsigned int const n = coordinates.size();
    for (unsigned int i = 0; i < n; ++i) {
      if (i != 0) out += ", ";
      coordinate(coordinates[i]);
    }
  };
  bool first = true;
  auto item = [&](char const* keyword, auto&& content) {
    if (!first) out += ", ";
    first = false;
    if (mixed) out += keyword;
    if (multi) out.push_back('(');
    content();
    if (multi) out.push_back(')');
  };

  out.push_back('(');
  for (unsigned int i = 0; i < points.size(); ++i) {
    item("POINT", [&] { coordinate(points[i]); });
  }
  for (auto const& line : lines) item("LINESTRING", [&] { run(line); });
  for (auto const& poly : polys) {
    item("POLYGON", [&] {
      bool first_ring = true;
      for (auto const& ring : poly) {
        if (!first_ring) out += ", ";
        first_ring = false;
        out.push_back('(');
        run(ring);
        out.push_back(')');
      }
    });
  }
  out.push_back(')');
}

}  // namespace ostrel::detail::wkt
