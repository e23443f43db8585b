// OWKT writer: worked examples, attribute sections, and a proof over a
// million doubles that numbers come out exactly as a default-formatted
// std::ostream writes them.
#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ostrel/ostrel.hpp"

namespace ostrel {
namespace {

using Auth = SRID::Authority;
using Bias = GeometryCoordinate::Bias;

// (x, y) for planar values, (longitude, latitude) in degrees for geographic.
struct XY {
  double x, y;
};
using Ring = std::vector<XY>;
using Poly = std::vector<Ring>;

template <class V>
typename V::Coordinate Coordinate(XY c) {
  if constexpr (std::is_same_v<V, DefaultGeometry>) {
    return GeometryCoordinate(c.x, c.y);
  } else {
    return GeographyCoordinate(Latitude(Degrees(c.y)), Longitude(Radians(Degrees(c.x))));
  }
}

template <class V>
std::shared_ptr<Spatial> Make(ShapeType type, Ring const& points, std::vector<Ring> const& lines,
                              std::vector<Poly> const& polys,
                              typename V::Attributes const& attributes) {
  typename V::Points p;
  for (XY c : points) p.push_back(Coordinate<V>(c));
  typename V::Lines l;
  for (Ring const& line : lines) {
    l.emplace_back();
    for (XY c : line) l.back().push_back(Coordinate<V>(c));
  }
  typename V::Polys y;
  for (Poly const& poly : polys) {
    y.emplace_back();
    for (Ring const& ring : poly) {
      y.back().emplace_back();
      for (XY c : ring) y.back().back().push_back(Coordinate<V>(c));
    }
  }
  return std::make_shared<V>(type, p, l, y, attributes);
}
auto const Geom = Make<DefaultGeometry>;
auto const Geog = Make<DefaultGeography>;

Ring const kSquare{{0, 0}, {10, 0}, {10, 10}, {0, 0}};

struct WriterCase {
  std::shared_ptr<Spatial> value;
  std::string text;
};

void ExpectTexts(std::vector<WriterCase> const& cases) {
  for (WriterCase const& c : cases) EXPECT_EQ(OWKT::To(*c.value), c.text);
}

TEST(OwktWriter, WorkedExamplesAndBodies) {
  using S = ShapeType;
  Geometry::Attributes const epsg(Bias::None(), SRID(Auth::EPSG, 3857), SRID::None());
  Geometry::Attributes const biased(Bias(0.5, -2), SRID(Auth::EPSG, 3857), SRID(Auth::EPSG, 3857));
  Geography::Attributes const flat(SRID::WGS84(), SRID::WGS84(), TopologicalType::Flat,
                                   WindingOrder::InteriorLeft);
  Poly const unit{{{0, 0}, {1, 0}, {1, 1}, {0, 0}}};
  Poly const five{{{5, 5}, {6, 5}, {6, 6}, {5, 5}}};
  Poly const holed{kSquare, {{1, 1}, {2, 1}, {2, 2}, {1, 1}}};
  ExpectTexts({
      {Geom(S::Point, {{1, 2}}, {}, {}, {}), "POINT(1 2)"},
      {Geom(S::LineString, {}, {{{0, 0}, {1.5, 2}}}, {}, {}), "LINESTRING(0 0, 1.5 2)"},
      {Geom(S::Polygon, {}, {}, {{kSquare}}, epsg),
       "ORIGINALSRID=EPSG:3857;POLYGON((0 0, 10 0, 10 10, 0 0))"},
      {Geom(S::Point, {{1, 2}}, {}, {}, biased),
       "BIAS=0.5:-2,ORIGINALSRID=EPSG:3857,CONVERTEDSRID=EPSG:3857;POINT(1 2)"},
      {Geog(S::Point, {{-120, 45}}, {}, {}, flat), "TOPOLOGICALTYPE=FLAT;POINT(-120 45)"},
      {Geom(S::MultiPoint, {{1, 2}, {3, 4}}, {}, {}, {}), "MULTIPOINT((1 2), (3 4))"},
      {Geom(S::MultiPolygon, {}, {}, {unit, five}, {}),
       "MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))"},
      {Geom(S::Mixed, {{1, 2}}, {{{0, 0}, {1, 1}}}, {}, {}),
       "GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))"},
      {std::make_shared<DefaultGeometry>(), "POINT EMPTY"},
      {std::make_shared<DefaultGeography>(), "POINT EMPTY"},
      {Geom(S::MultiLineString, {}, {}, {}, {}), "MULTILINESTRING EMPTY"},
      {Geom(S::MultiPoint, {{1, 2}}, {}, {}, {}), "MULTIPOINT((1 2))"},
      // Beyond the worked examples: every keyword with EMPTY, rings of a
      // single polygon, and a collection of every item kind (points, then
      // lines, then polygons).
      {Geom(S::Point, {}, {}, {}, {}), "POINT EMPTY"},
      {Geom(S::LineString, {}, {}, {}, {}), "LINESTRING EMPTY"},
      {Geog(S::Polygon, {}, {}, {}, {}), "POLYGON EMPTY"},
      {Geom(S::MultiPolygon, {}, {}, {}, {}), "MULTIPOLYGON EMPTY"},
      {Geog(S::MultiPoint, {}, {}, {}, {}), "MULTIPOINT EMPTY"},
      {Geom(S::Mixed, {}, {}, {}, {}), "GEOMETRYCOLLECTION EMPTY"},
      {Geom(S::Polygon, {}, {}, {holed}, {}),
       "POLYGON((0 0, 10 0, 10 10, 0 0), (1 1, 2 1, 2 2, 1 1))"},
      {Geom(S::MultiLineString, {}, {{{0, 0}, {1, 1}}, {{2, 2}, {3, 3}}}, {}, {}),
       "MULTILINESTRING((0 0, 1 1), (2 2, 3 3))"},
      {Geom(S::MultiLineString, {}, {{{0, 0}, {1, 1}}}, {}, {}), "MULTILINESTRING((0 0, 1 1))"},
      {Geom(S::Mixed, {{1, 2}, {3, 4}}, {{{0, 0}, {1, 1}}, {{2, 2}, {3, 3}}}, {holed, unit}, {}),
       "GEOMETRYCOLLECTION(POINT(1 2), POINT(3 4), LINESTRING(0 0, 1 1), LINESTRING(2 2, 3 3), "
       "POLYGON((0 0, 10 0, 10 10, 0 0), (1 1, 2 1, 2 2, 1 1)), POLYGON((0 0, 1 0, 1 1, 0 0)))"},
      {Geom(S::Mixed, {}, {}, {unit}, {}), "GEOMETRYCOLLECTION(POLYGON((0 0, 1 0, 1 1, 0 0)))"},
      {Geog(S::MultiPolygon, {}, {}, {{{{-10, -10}, {10, -10}, {10, 10}, {-10, -10}}}}, {}),
       "MULTIPOLYGON(((-10 -10, 10 -10, 10 10, -10 -10)))"},
      // Degrees survive the grid to six digits; the poles and the
      // antimeridian come out exactly.
      {Geog(S::LineString, {}, {{{180, -90}, {-180, 90}, {-0.5, 12.3457}}}, {}, {}),
       "LINESTRING(180 -90, -180 90, -0.5 12.3457)"},
      // Six significant digits, upper-case exponent.
      {Geom(S::Point, {{123456.7, 1234567}}, {}, {}, {}), "POINT(123457 1.23457E+06)"},
      {Geom(S::Point, {{0.00001, -0.5}}, {}, {}, {}), "POINT(1E-05 -0.5)"},
      {Geom(S::Point, {{2, 1e20}}, {}, {}, {}), "POINT(2 1E+20)"},
  });
}

TEST(OwktWriter, AttributeSections) {
  using T = TopologicalType;
  using W = WindingOrder;
  auto geog = [](SRID original, SRID converted, T t, W w) {
    return Geog(ShapeType::Point, {{1, 2}}, {}, {},
                Geography::Attributes(original, converted, t, w));
  };
  auto geom = [](Bias bias, SRID original, SRID converted, XY point = {1, 2}) {
    return Geom(ShapeType::Point, {point}, {}, {}, Geometry::Attributes(bias, original, converted));
  };
  SRID const wgs = SRID::WGS84();
  SRID const none = SRID::None();
  ExpectTexts({
      // A geography compares against WGS84 twice, spheroidal, interior-left.
      {geog(wgs, wgs, T::Spheroidal, W::InteriorLeft), "POINT(1 2)"},
      {geog(SRID(Auth::EPSG, 3857), wgs, T::Spheroidal, W::InteriorLeft),
       "ORIGINALSRID=EPSG:3857;POINT(1 2)"},
      {geog(wgs, SRID(Auth::SR_ORG, 6), T::Spheroidal, W::InteriorLeft),
       "CONVERTEDSRID=SR-ORG:6;POINT(1 2)"},
      {geog(wgs, wgs, T::Spheroidal, W::InteriorRight), "WINDINGORDER=INTERIOR-RIGHT;POINT(1 2)"},
      {geog(wgs, wgs, T::Spheroidal, W::Ambiguous), "WINDINGORDER=AMBIGUOUS;POINT(1 2)"},
      {geog(SRID(Auth::ESRI, 102100), SRID(Auth::IAU2000, 30100), T::Flat, W::Ambiguous),
       "ORIGINALSRID=ESRI:102100,CONVERTEDSRID=IAU2000:30100,TOPOLOGICALTYPE=FLAT,"
       "WINDINGORDER=AMBIGUOUS;POINT(1 2)"},
      {geog(none, none, T::Spheroidal, W::InteriorLeft),
       "ORIGINALSRID=UNKNOWN:0,CONVERTEDSRID=UNKNOWN:0;POINT(1 2)"},
      {geog(SRID(Auth::ORACLE, 16777215), SRID(Auth::MS, 0), T::Spheroidal, W::InteriorLeft),
       "ORIGINALSRID=ORACLE:16777215,CONVERTEDSRID=MS:0;POINT(1 2)"},
      {geog(wgs, wgs, static_cast<T>(5), static_cast<W>(9)),
       "TOPOLOGICALTYPE=<UNSUPPORTED>,WINDINGORDER=<UNSUPPORTED>;POINT(1 2)"},
      // A planar value compares against (0, 0) and none twice; -0.0 equals 0.
      {geom(Bias(), none, none), "POINT(1 2)"},
      {geom(Bias(-0.0, 0.0), none, none), "POINT(1 2)"},
      {geom(Bias(1000, -2000), none, none, {1000.5, -2000}), "BIAS=1000:-2000;POINT(1000.5 -2000)"},
      {geom(Bias(1e-7, 1e7), none, none), "BIAS=1E-07:1E+07;POINT(1 2)"},
      {geom(Bias(), wgs, none), "ORIGINALSRID=EPSG:4326;POINT(1 2)"},
      {geom(Bias(), none, SRID(Auth::MS, 7)), "CONVERTEDSRID=MS:7;POINT(1 2)"},
      {geom(Bias(), SRID(static_cast<Auth>(9), 5), none), "ORIGINALSRID=UNKNOWN:5;POINT(1 2)"},
      {geom(Bias(), SRID(Auth::EPSG, 0), none), "ORIGINALSRID=EPSG:0;POINT(1 2)"},
  });
}

TEST(OwktWriter, UnknownAndIdentifying) {
  EXPECT_EQ(OWKT::To(Unknown()), "UNKNOWN");
  EXPECT_EQ(OWKT::To(Identifying(42)), "IDENTIFYING:42");
  EXPECT_EQ(OWKT::To(Identifying(UINT64_MAX)), "IDENTIFYING:18446744073709551615");
}

// ---- number formatting --------------------------------------------------

std::string Streamed(std::ostringstream& os, double d) {
  os.str("");
  os << d;
  std::string s = os.str();
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Doubles that stress %g: every class of the binary format, decimals of
// every magnitude, exact ties at the seventh digit, and the neighbours of
// the values where the notation or the digit count changes.
std::vector<double> NumberCorpus(std::size_t count) {
  double const inf = std::numeric_limits<double>::infinity();
  double const nan = std::numeric_limits<double>::quiet_NaN();
  // clang-format off
  std::vector<double> v = {0.0, -0.0, inf, -inf, nan, -nan, DBL_MIN, -DBL_MIN, DBL_MAX, -DBL_MAX,
                           5e-324, -5e-324, 1e-4, 9.99995e-5, 9.999949999e-5, 999999.5,
                           999999.4999999, 123456.5, 123457.5, 1234565, 1234575, 0.5, 0.1, 1e15,
                           1e16, 1e17, 1e21, 1e22, 1e23,
                           std::bit_cast<double>(UINT64_C(0x7FF0000000000001)),   // signalling
                           std::bit_cast<double>(UINT64_C(0xFFF4000000000000))};  // payload
  // clang-format on
  for (double d : {1e-4, 999999.5, 9.999995, 0.1, 1e6, 100000.0}) {
    v.push_back(std::nextafter(d, 0.0));
    v.push_back(std::nextafter(d, inf));
  }
  std::mt19937_64 rng(0x0a47f1e5);
  char buffer[64];
  while (v.size() < count) {
    std::uint64_t const r = rng();
    double const sign = (r >> 63) ? -1.0 : 1.0;
    switch (r % 5) {
      case 0: v.push_back(std::bit_cast<double>(rng())); break;
      case 1: {  // every exponent alike: zeros, subnormals, infinities, NaNs
        std::uint64_t mantissa = rng() >> 12;
        if (rng() % 4 == 0) mantissa &= UINT64_C(0xFFFF000000000);  // short mantissas
        v.push_back(
            std::bit_cast<double>(((r >> 11) % 2048) << 52 | mantissa | (r & (UINT64_C(1) << 63))));
        break;
      }
      case 2: {  // 1 to 17 significant decimal digits, any decimal exponent
        unsigned const digits = 1 + static_cast<unsigned>(rng() % 17);
        std::uint64_t mantissa = rng() % static_cast<std::uint64_t>(std::pow(10.0, digits));
        int const exponent = static_cast<int>(rng() % 650) - 330;
        std::snprintf(buffer, sizeof buffer, "%llue%d", static_cast<unsigned long long>(mantissa),
                      exponent);
        v.push_back(sign * std::strtod(buffer, nullptr));
        break;
      }
      case 3: {  // exact ties at the seventh significant digit
        std::uint64_t const k = 100000 + rng() % 900000;
        int const shift = static_cast<int>(rng() % 9);  // stays below 2^53
        v.push_back(rng() % 2
                        ? sign * static_cast<double>((k * 10 + 5) * static_cast<std::uint64_t>(
                                                                        std::pow(10.0, shift)))
                        : sign * (static_cast<double>(k) + 0.5));
        break;
      }
      default: {  // a few ulps around a decimal halfway point
        std::uint64_t const k = rng() % 1000000;
        int const exponent = static_cast<int>(rng() % 640) - 320;
        std::snprintf(buffer, sizeof buffer, "%llu5e%d", static_cast<unsigned long long>(k),
                      exponent);
        double d = sign * std::strtod(buffer, nullptr);
        for (int steps = static_cast<int>(rng() % 7) - 3; steps != 0; steps += steps > 0 ? -1 : 1) {
          d = std::nextafter(d, steps > 0 ? inf : -inf);
        }
        v.push_back(d);
      }
    }
  }
  return v;
}

// Each pair (x, y) becomes a planar point whose stored coordinate is exactly
// (x, y): a packed zero of the same sign plus the bias (x, y). The writer
// then prints each double twice, once in BIAS=x:y and once in the body.
TEST(OwktWriter, NumbersAreThoseOfADefaultStream) {
  std::vector<double> const numbers = NumberCorpus(1'000'000);
  std::ostringstream os;
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i + 1 < numbers.size(); i += 2) {
    double const x = numbers[i];
    double const y = numbers[i + 1];
    DefaultGeometry::PackedPoints points{
        GeometryCoordinate::Packed(std::copysign(0.0, x), std::copysign(0.0, y), Bias::None())};
    DefaultGeometry const value(ShapeType::Point, std::move(points), {}, {},
                                Geometry::Attributes(Bias(x, y), SRID::None(), SRID::None()));
    std::string const sx = Streamed(os, x);
    std::string const sy = Streamed(os, y);
    std::string expected = "POINT(" + sx + " " + sy + ")";
    if (!(x == 0 && y == 0)) expected = "BIAS=" + sx + ":" + sy + ";" + expected;
    std::string const actual = OWKT::To(value);
    if (actual != expected && ++mismatches <= 10) {
      ADD_FAILURE() << std::hex << std::bit_cast<std::uint64_t>(x) << " "
                    << std::bit_cast<std::uint64_t>(y) << ": " << actual << " vs " << expected;
    }
  }
  EXPECT_EQ(mismatches, 0u);
}

}  // namespace
}  // namespace ostrel
