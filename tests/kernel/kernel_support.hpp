// Shared by the kernel tests: the Natural Earth countries as geographies and
// as plain rings, values built from coordinate vectors, and an independent
// model of the plane section of an arc computed with GeographicLib.
#pragma once

#include <cmath>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ostrel/ostrel.hpp"

#if OSTREL_HAVE_GEOGRAPHICLIB
#include <GeographicLib/Geocentric.hpp>
#endif

namespace ostrel::kernel_test {

using std::numbers::pi;
using Ring = std::vector<GeographyCoordinate>;
using Polygon = std::vector<Ring>;

inline GeographyCoordinate Deg(double lat, double lon) {
  return {Latitude(Degrees(lat)), Longitude(Degrees(lon))};
}
inline GeographyCoordinate Rad(double lat, double lon) {
  return {Latitude(Radians(lat)), Longitude(lon)};
}
inline double Lat(GeographyCoordinate const& c) { return c.GetLatitude().Get().Get(); }
inline double Lon(GeographyCoordinate const& c) { return c.GetLongitude().Get().Get(); }

// One country: its name and its polygons, each a list of rings as stored.
struct Country {
  std::string name;
  std::vector<Polygon> polygons;
};

inline std::vector<Country> LoadCountries(std::string const& file) {
  std::ifstream wkt(std::string(OSTREL_DATA_DIR) + "/" + file + ".wkt");
  std::ifstream names(std::string(OSTREL_DATA_DIR) + "/" + file + ".names");
  std::vector<Country> countries;
  std::string line, name;
  while (std::getline(wkt, line) && std::getline(names, name)) {
    SpatialPtr const value = OWKT::From(line, CoordinateType::Geography);
    Country country{name, {}};
    for (auto const& poly : value->AsGeography().GetPolys()) {
      Polygon rings;
      for (auto const& ring : poly) rings.emplace_back(ring.begin(), ring.end());
      country.polygons.push_back(std::move(rings));
    }
    countries.push_back(std::move(country));
  }
  return countries;
}

// The polygons of each line of a countries file exactly as written (x = lon,
// y = lat in degrees), read without the library.
using RawRing = std::vector<std::pair<double, double>>;
inline std::vector<std::vector<std::vector<RawRing>>> LoadRawPolygons(std::string const& file) {
  std::ifstream wkt(std::string(OSTREL_DATA_DIR) + "/" + file + ".wkt");
  std::vector<std::vector<std::vector<RawRing>>> out;
  std::string line;
  while (std::getline(wkt, line)) {
    int const ring_depth = line.rfind("MULTIPOLYGON", 0) == 0 ? 3 : 2;
    std::vector<std::vector<RawRing>> polygons(1);
    RawRing ring;
    int depth = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
      char const c = line[i];
      if (c == '(') {
        ++depth;
      } else if (c == ')') {
        if (depth == ring_depth) polygons.back().push_back(std::move(ring)), ring.clear();
        if (depth == ring_depth - 1) polygons.emplace_back();
        --depth;
      } else if (depth == ring_depth && c != ',' && c != ' ') {
        std::size_t used = 0;
        double const x = std::stod(line.substr(i), &used);
        i += used;
        std::size_t used_y = 0;
        double const y = std::stod(line.substr(i), &used_y);
        i += used_y - 1;
        ring.emplace_back(x, y);
      }
    }
    polygons.pop_back();
    out.push_back(std::move(polygons));
  }
  return out;
}

// A geographic value of polygons (and lines), in the default format.
inline DefaultGeography MakeGeography(std::vector<Polygon> const& polygons,
                                      std::vector<Ring> const& lines = {}) {
  DefaultGeography::Polys polys;
  for (auto const& polygon : polygons) {
    DefaultGeography::Lines rings;
    for (auto const& ring : polygon) rings.emplace_back(ring.begin(), ring.end());
    polys.push_back(std::move(rings));
  }
  DefaultGeography::Lines out_lines;
  for (auto const& line : lines) out_lines.emplace_back(line.begin(), line.end());
  return DefaultGeography(DefaultGeography::Points(), out_lines, polys);
}

// The message of the E that f throws, or "no exception"; anything else
// thrown escapes and fails the test.
template <class E = std::exception, class F>
std::string Message(F f) {
  try {
    f();
  } catch (E const& e) {
    return e.what();
  }
  return "no exception";
}

inline Ring Reversed(Ring ring) { return Ring(ring.rbegin(), ring.rend()); }

#if OSTREL_HAVE_GEOGRAPHICLIB
// The plane section through the centre and two points, parametrized by the
// angle theta of its direction from the first point towards the second
// (the arc is theta in [0, end]); latitudes and longitudes of its points on
// the ellipsoid come from GeographicLib's geocentric conversion.
class Section {
 public:
  Section(GeographyCoordinate const& a, GeographyCoordinate const& b) {
    Position(a, p_);
    double q[3];
    Position(b, q);
    double n[3] = {p_[1] * q[2] - p_[2] * q[1], p_[2] * q[0] - p_[0] * q[2],
                   p_[0] * q[1] - p_[1] * q[0]};
    Unit(n);
    Unit(p_);
    // e2 = n x e1 points from the first point towards the second.
    e2_[0] = n[1] * p_[2] - n[2] * p_[1];
    e2_[1] = n[2] * p_[0] - n[0] * p_[2];
    e2_[2] = n[0] * p_[1] - n[1] * p_[0];
    end_ = std::atan2(Dot(q, e2_), Dot(q, p_));
    for (int i = 0; i < 3; ++i) normal_[i] = n[i];
  }

  double End() const { return end_; }
  double const* Normal() const { return normal_; }

  // (latitude, longitude) in radians of the section's point at theta.
  std::pair<double, double> At(double theta) const {
    double d[3];
    for (int i = 0; i < 3; ++i) d[i] = std::cos(theta) * p_[i] + std::sin(theta) * e2_[i];
    auto const& e = GeographicLib::Geocentric::WGS84();
    double const a = e.EquatorialRadius(), b = a * (1 - e.Flattening());
    double const r = 1 / std::sqrt((d[0] * d[0] + d[1] * d[1]) / (a * a) + d[2] * d[2] / (b * b));
    double lat, lon, h;
    e.Reverse(r * d[0], r * d[1], r * d[2], lat, lon, h);
    return {lat * pi / 180, lon * pi / 180};
  }

  // The largest value of side * latitude over theta in [lo, hi]: dense
  // samples, then a golden-section search around the best one. The whole
  // section (hi - lo = 2 pi) is searched across its seam.
  std::pair<double, double> Extreme(double lo, double hi, double side, int samples = 256) const {
    bool const periodic = hi - lo >= 2 * pi;
    int best = 0;
    double best_value = -10;
    for (int i = 0; i <= samples; ++i) {
      double const v = side * At(lo + (hi - lo) * i / samples).first;
      if (v > best_value) best_value = v, best = i;
    }
    double x0 = lo + (hi - lo) * (periodic ? best - 1 : std::max(best - 1, 0)) / samples;
    double x3 = lo + (hi - lo) * (periodic ? best + 1 : std::min(best + 1, samples)) / samples;
    double const g = (std::sqrt(5.0) - 1) / 2;
    for (int i = 0; i < 80; ++i) {
      double const x1 = x3 - g * (x3 - x0), x2 = x0 + g * (x3 - x0);
      if (side * At(x1).first < side * At(x2).first) {
        x0 = x1;
      } else {
        x3 = x2;
      }
    }
    double const theta = (x0 + x3) / 2;
    return {theta, std::max(best_value, side * At(theta).first)};
  }

  // Distance of a point from the plane, relative to its distance from the
  // centre.
  double OffPlane(GeographyCoordinate const& c) const {
    double x[3];
    Position(c, x);
    return std::fabs(Dot(x, normal_)) / std::sqrt(Dot(x, x));
  }

  static void Position(GeographyCoordinate const& c, double* x) {
    GeographicLib::Geocentric::WGS84().Forward(Lat(c) * 180 / pi, Lon(c) * 180 / pi, 0, x[0], x[1],
                                               x[2]);
  }

 private:
  static double Dot(double const* a, double const* b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  }
  static void Unit(double* v) {
    double const l = std::sqrt(Dot(v, v));
    for (int i = 0; i < 3; ++i) v[i] /= l;
  }

  double p_[3];
  double e2_[3];
  double normal_[3];
  double end_;
};
#endif

}  // namespace ostrel::kernel_test
