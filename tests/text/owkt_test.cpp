// OWKT: the writer proved on its own, random round trips, then the reader's
// edge cases, failures and hostile input, each result shown as kind and text.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "ostrel/ostrel.hpp"
#include "support/counting_resource.hpp"

namespace ostrel {
namespace {

using S = ShapeType;
using A = SRID::Authority;
using Bias = GeometryCoordinate::Bias;
using Planar = DefaultGeometry;
using Geo = DefaultGeography;
using XY = std::array<double, 2>;  // planar (x, y); geographic (longitude, latitude) in degrees
using Path = std::vector<XY>;
using CT = CoordinateType;
constexpr CT U = CT::Unknown, I = CT::Identifying, G = CT::Geometry, Y = CT::Geography;

template <class V>
V Make(S type, Path const& points, std::vector<Path> const& lines = {},
       std::vector<std::vector<Path>> const& polys = {}, typename V::Attributes const& a = {}) {
  auto fill = [&](auto const& fill, auto const& in, auto out) {
    for (auto const& item : in) {
      if constexpr (!std::is_same_v<std::decay_t<decltype(item)>, XY>) {
        out.push_back(fill(fill, item, typename decltype(out)::value_type()));
      } else if constexpr (std::is_same_v<V, Planar>) {
        out.push_back(GeometryCoordinate(item[0], item[1], a.bias));
      } else {
        out.push_back(GeographyCoordinate(Latitude(Degrees(item[1])), Longitude(Degrees(item[0]))));
      }
    }
    return out;
  };
  return V(type, fill(fill, points, typename V::Points()), fill(fill, lines, typename V::Lines()),
           fill(fill, polys, typename V::Polys()), a);
}
template <class V>
std::string W(S type, Path const& points, std::vector<Path> const& lines = {},
              std::vector<std::vector<Path>> const& polys = {},
              typename V::Attributes const& a = {}) {
  return OWKT::To(Make<V>(type, points, lines, polys, a));
}
std::string Describe(SpatialPtr const& v) {
  return (v->IsGeography() ? "geog " : v->IsGeometry() ? "geom " : "") + OWKT::To(*v);
}
std::string Read(std::string const& text, CT kind = U, bool radians = false) {
  return Describe(OWKT::From(text, kind, radians));
}
std::string Nested(std::size_t depth, std::string const& inner) {
  std::string text;
  for (std::size_t i = 0; i < depth; ++i) text += "GEOMETRYCOLLECTION(";
  return text + inner + std::string(depth, ')');
}

// Catches wrong keywords, separators, blanks, item and attribute order, and
// attributes written although they equal the record's defaults.
TEST(OwktWriter, Examples) {
  Path const square{{0, 0}, {10, 0}, {10, 10}, {0, 0}}, hole{{1, 1}, {2, 1}, {2, 2}, {1, 1}};
  Path const unit{{0, 0}, {1, 0}, {1, 1}, {0, 0}}, five{{5, 5}, {6, 5}, {6, 6}, {5, 5}}, p{{1, 2}};
  SRID const wgs = SRID::WGS84(), none = SRID::None(), epsg(A::EPSG, 3857);
  auto const sph = TopologicalType::Spheroidal, flat = TopologicalType::Flat;
  auto const left = WindingOrder::InteriorLeft;
  auto geo = [&](auto... a) { return W<Geo>(S::Point, p, {}, {}, {a...}); };
  auto planar = [&](auto... a) { return W<Planar>(S::Point, p, {}, {}, {a...}); };
  // clang-format off
  std::pair<std::string, std::string> const cases[] = {
      {W<Planar>(S::Point, p), "POINT(1 2)"}, {OWKT::To(Planar()), "POINT EMPTY"},
      {W<Planar>(S::LineString, {}, {{{0, 0}, {1.5, 2}}}), "LINESTRING(0 0, 1.5 2)"},
      {W<Planar>(S::Polygon, {}, {}, {{square}}, {Bias::None(), epsg, none}),
       "ORIGINALSRID=EPSG:3857;POLYGON((0 0, 10 0, 10 10, 0 0))"},
      {planar(Bias(0.5, -2), epsg, epsg),
       "BIAS=0.5:-2,ORIGINALSRID=EPSG:3857,CONVERTEDSRID=EPSG:3857;POINT(1 2)"},
      {W<Geo>(S::Point, {{-120, 45}}, {}, {}, {wgs, wgs, flat, left}),
       "TOPOLOGICALTYPE=FLAT;POINT(-120 45)"},
      {W<Planar>(S::MultiPoint, {{1, 2}, {3, 4}}), "MULTIPOINT((1 2), (3 4))"},
      {W<Planar>(S::MultiPolygon, {}, {}, {{unit}, {five}}),
       "MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))"},
      {W<Planar>(S::Mixed, p, {{{0, 0}, {1, 1}}}),
       "GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))"},
      {W<Planar>(S::MultiLineString, {}), "MULTILINESTRING EMPTY"},
      {W<Planar>(S::Polygon, {}, {}, {{square, hole}}),
       "POLYGON((0 0, 10 0, 10 10, 0 0), (1 1, 2 1, 2 2, 1 1))"},
      {W<Geo>(S::LineString, {}, {{{180, -90}, {-180, 90}, {-0.5, 12.3457}}}),
       "LINESTRING(180 -90, -180 90, -0.5 12.3457)"},
      {W<Planar>(S::Point, {{123456.7, 1234567}}), "POINT(123457 1.23457E+06)"},
      {W<Planar>(S::MultiPoint, p), "MULTIPOINT((1 2))"}, {geo(wgs, wgs, sph, left), "POINT(1 2)"},
      {geo(wgs, wgs, sph, WindingOrder::InteriorRight), "WINDINGORDER=INTERIOR-RIGHT;POINT(1 2)"},
      {geo(wgs, SRID(A::SR_ORG, 6), sph, left), "CONVERTEDSRID=SR-ORG:6;POINT(1 2)"},
      {geo(none, SRID(A::IAU2000, 30100), flat, WindingOrder::Ambiguous), "ORIGINALSRID=UNKNOWN:0,"
       "CONVERTEDSRID=IAU2000:30100,TOPOLOGICALTYPE=FLAT,WINDINGORDER=AMBIGUOUS;POINT(1 2)"},
      {geo(wgs, wgs, static_cast<TopologicalType>(5), static_cast<WindingOrder>(9)),
       "TOPOLOGICALTYPE=<UNSUPPORTED>,WINDINGORDER=<UNSUPPORTED>;POINT(1 2)"},
      {planar(Bias(1e-7, 1e7), none, none), "BIAS=1E-07:1E+07;POINT(1 2)"},
      {planar(Bias(), SRID(static_cast<A>(9), 5), none), "ORIGINALSRID=UNKNOWN:5;POINT(1 2)"},
      {planar(Bias(-0.0, 0.0), none, none), "POINT(1 2)"}, {OWKT::To(Unknown()), "UNKNOWN"},
      {OWKT::To(Identifying(42)), "IDENTIFYING:42"}, {OWKT::To(Geo()), "POINT EMPTY"}};
  // clang-format on
  for (auto const& [written, expected] : cases) EXPECT_EQ(written, expected);
}

// A million doubles: any bit pattern, subnormals, decimals of 1 to 20 digits,
// exact ties at the seventh digit, a few ulps around decimal halfway points.
// Each pair (x, y) is a point stored exactly (a packed zero plus the bias).
TEST(OwktWriter, NumbersAreThoseOfADefaultStream) {
  double const inf = HUGE_VAL, nan = std::nan("");
  std::vector<double> v = {0.0,      -0.0,     inf,      -inf, nan,  -nan,       5e-324,  DBL_MIN,
                           -DBL_MAX, 999999.5, 123456.5, 1e23, 1e-4, 9.99995e-5, 1234565, 0.1};
  std::mt19937_64 rng(0x0a47f1e5);
  while (v.size() < 1'000'000) {
    std::uint64_t const r = rng(), k = 100000 + rng() % 900000;
    std::string const digits = r % 2 ? std::to_string(rng() >> r % 64) : std::to_string(k) + "5";
    std::string const e = "e" + std::to_string(static_cast<int>(rng() % 650) - 330);
    double d = std::strtod((digits + e).c_str(), nullptr);
    d = std::bit_cast<double>(std::bit_cast<std::uint64_t>(d) + rng() % 7 - 3);  // +-3 ulps
    if (r % 8 == 0) d = std::bit_cast<double>(r % 3 ? rng() : rng() >> 12);
    if (r % 8 == 2) d = (static_cast<double>(k) + 0.5) * std::pow(10.0, r % 9);
    v.push_back(r >> 63 ? -d : d);
  }
  std::ostringstream os;
  std::size_t mismatches = 0;
  for (std::size_t i = 0; i + 1 < v.size(); i += 2) {
    double const x = v[i], y = v[i + 1];
    Planar::PackedPoints p{
        GeometryCoordinate::Packed(std::copysign(0.0, x), std::copysign(0.0, y), Bias::None())};
    std::string const text =
        OWKT::To(Planar(S::Point, std::move(p), {}, {}, {Bias(x, y), SRID::None(), SRID::None()}));
    os.str("");
    os << "BIAS=" << x << ':' << y << ";POINT(" << x << ' ' << y << ')';
    std::string expected = os.str().substr(x == 0 && y == 0 ? os.str().find(';') + 1 : 0);
    for (char& c : expected) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (text != expected && ++mismatches <= 10) ADD_FAILURE() << text << " is not " << expected;
  }
  EXPECT_EQ(mismatches, 0u);
}

// Random values of every shape type and attributes the reader accepts back
// read back equal, write the same text and hash alike on a second trip. Six
// significant digits survive; Empty is written POINT EMPTY, read as a Point.
template <class V>
void RoundTrip(CoordinateType kind, std::uint64_t seed) {
  std::mt19937_64 rng(seed);
  auto uniform = [&](std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng);
  };
  auto decimal = [&](std::int64_t lo, std::int64_t hi, int k0, int k1) {  // +-m / 10^k, rounded
    double const m = static_cast<double>(uniform(lo, hi) * (uniform(0, 1) ? 1 : -1));
    return m / std::pow(10.0, uniform(k0, k1));
  };
  SRID const srids[] = {SRID::None(),      SRID::WGS84(),     {A::None, 7},       {A::ESRI, 102100},
                        {A::ORACLE, 8307}, {A::MS, 16777215}, {A::IAU2000, 30100}};
  auto srid = [&] { return srids[uniform(0, 6)]; };  // all but SR-ORG, which does not read back
  for (int i = 0; i < 3000; ++i) {
    auto const type = static_cast<S>(i % 8);
    bool const biased = uniform(0, 1) == 1, empty = uniform(0, 7) == 0;
    typename V::Attributes a;
    if constexpr (std::is_same_v<V, Planar>) {
      a = {biased ? Bias{uniform(-201, 201) / 2.0, uniform(-201, 201) / 2.0} : Bias::None(), srid(),
           srid()};
    } else {
      a = {srid(), srid(), static_cast<TopologicalType>(uniform(0, 1)), WindingOrder::InteriorLeft};
    }
    // With a bias (at most 100.5 from the origin), magnitudes of at least 100
    // keep six digits in the float offset; so do three decimals of a degree.
    auto xy = [&]() -> XY {
      if (std::is_same_v<V, Geo>) return {decimal(100, 179999, 3, 3), decimal(100, 89999, 3, 3)};
      if (biased) return {decimal(100000, 999999, 0, 3), decimal(100000, 999999, 0, 3)};
      return {decimal(0, 999999, 0, 10), decimal(0, 999999, 0, 10)};
    };
    auto path = [&](std::size_t size, bool closed) {
      Path path;
      while (size-- > 0) path.push_back(xy());
      if (closed) path.push_back(path.front());
      return path;
    };
    // Single types have one item, multi types one or more; one time in eight none.
    auto count = [&](S single, S multi, std::int64_t most) -> std::size_t {
      if (empty || (type != single && type != multi && type != S::Mixed)) return 0;
      return static_cast<std::size_t>(type == single ? 1 : uniform(type == multi, most));
    };
    std::vector<Path> lines(count(S::LineString, S::MultiLineString, 4));
    std::vector<std::vector<Path>> polys(count(S::Polygon, S::MultiPolygon, 3));
    for (Path& line : lines) line = path(uniform(2, 6), false);
    for (auto& poly : polys) {
      poly.resize(uniform(1, 3));
      for (Path& ring : poly) ring = path(uniform(3, 6), true);
    }
    V const value = Make<V>(type, path(count(S::Point, S::MultiPoint, 5), false), lines, polys, a);
    std::string const text = OWKT::To(value);
    SpatialPtr const once = OWKT::From(text, kind);
    ASSERT_EQ(OWKT::To(*once), text);
    EXPECT_EQ(once->GetHash(), OWKT::From(OWKT::To(*once), kind)->GetHash()) << text;
    EXPECT_EQ(once->GetShapeType(), type == S::Empty ? S::Point : type) << text;
    EXPECT_TRUE(once->GetCoordinateType() == kind && (type == S::Empty || *once == value)) << text;
  }
}

TEST(OwktRoundTrip, PlanarValues) { RoundTrip<Planar>(CT::Geometry, 11); }
TEST(OwktRoundTrip, GeographicValues) { RoundTrip<Geo>(CT::Geography, 12); }

// Numbers, seen unsnapped in a bias (integer parts wrap modulo 2^64, which
// divides 10^400), then the kind: forced, else topological type, winding
// order, bias, converted SRID, original SRID (real authority). POINT EMPTY.
TEST(OwktReader, NumbersAndAttributes) {
  // clang-format off
  std::tuple<std::string, CT, std::string> const cases[] = {  // text, forced kind, expected
      {"BIAS=1e3:.5;", U, "geom BIAS=1000:0.5;"}, {"BIAS=5.:-.5;", U, "geom BIAS=5:-0.5;"},
      {"BIAS=-:1;", U, "geom BIAS=-0:1;"}, {"BIAS=.:+;", U, "geom "}, {"SRID=4326.9;", U, "geog "},
      {"BIAS=+1.5e+2:1e-3;", U, "geom BIAS=150:0.001;"}, {"BIAS=1e400:0;", U, "geom BIAS=INF:0;"},
      {"BIAS=1e18446744073709551617:1" + std::string(400, '0') + ";", U, "geom BIAS=10:0;"},
      {"BIAS=18446744073709551617:18446744073709551615;", U, "geom BIAS=1:1.84467E+19;"},
      {"", Y, "geog "}, {";", I, "geom "}, {"SRID=4326;", U, "geog "}, {"BIAS=1:2;", Y, "geog "},
      {"TOPOLOGICALTYPE=FLAT;", G, "geom "}, {"SRID=16777217;", G, "geom ORIGINALSRID=EPSG:1;"},
      {"BIAS=1:2,SRID=4326;", U, "geom BIAS=1:2,ORIGINALSRID=EPSG:4326;"},
      {"BIAS=1:2,TOPOLOGICALTYPE=FLAT;", U, "geog TOPOLOGICALTYPE=FLAT;"},
      {"WINDINGORDER=RIGHT,BIAS=1:2;", U, "geog WINDINGORDER=INTERIOR-RIGHT;"},
      {"windingorder=ambiguous;", U, "geog WINDINGORDER=AMBIGUOUS;"},
      {"WINDINGORDER=LEFT;", U, "geog "}, {"TOPOLOGICALTYPE=SPHEROIDAL;", U, "geog "},
      {"CONVERTEDSRID=EPSG:3857;", U, "geog CONVERTEDSRID=EPSG:3857;"},
      {"CONVERTEDSRID=NONE,ORIGINALSRID=UNKNOWN:7;", U, "geom ORIGINALSRID=UNKNOWN:7;"},
      {"CONVERTEDSRID=UNKNOWN:5,ORIGINALSRID=ESRI:1;", U,
       "geog ORIGINALSRID=ESRI:1,CONVERTEDSRID=UNKNOWN:5;"},
      {"ORIGINALSRID=NAD27;", U, "geog ORIGINALSRID=EPSG:2029;"},
      {"originalsrid=srorg:6,convertedsrid=wgs84;", U, "geog ORIGINALSRID=SR-ORG:6;"},
      {"SRID=4326,ORIGINALSRID=IAU2000:9;", U, "geog ORIGINALSRID=IAU2000:9;"},  // last key wins
      {"SRID = 3 , BIAS = 5 : 5 , BIAS = -0.5 : 1 ;", U, "geom BIAS=-0.5:1,ORIGINALSRID=EPSG:3;"}};
  // clang-format on
  for (auto const& [text, kind, expected] : cases) {
    EXPECT_EQ(Read(text + "POINT EMPTY", kind), expected + "POINT EMPTY") << text;
  }
}

// Lexical rules, dimension markers, body rules, flattened numbering, nesting
// limit. An expected "geom =" or "geog =" stands for the text itself.
TEST(OwktReader, Bodies) {
  std::string const p = "geom POINT(1 2)";
  // clang-format off
  std::tuple<std::string, CT, std::string> const cases[] = {
      {"POINT(1 2)", U, p}, {"point(1 2)", I, p}, {"   Point  (  1    2 )   ", U, p},
      {"POINT(1 2)\t;", U, p}, {"POINT(1 2)\r\nPOINT(3 4)", U, p}, {"POINT(1 2) 3x;", U, p},
      {std::string("POINT(1 2)\0POINT", 16), U, p}, {"POINT(1 2)#~x", U, p},
      {"POINT Z (1 2 3)", U, p}, {"POINT M (1 2 3)", U, p}, {"point zm(1 2 3 4)", U, p},
      {"POINT MZ (1 2 3 4)", U, p}, {"POINT(0 91)", U, "geom ="}, {"POINT(0 1.6)", Y, "geog ="},
      {"POINT Z EMPTY", U, "geom POINT EMPTY"}, {"MULTILINESTRING EMPTY", U, "geom ="},
      {"MULTIPOLYGON EMPTY", Y, "geog ="}, {"LINESTRING(180 -90, -180 90)", Y, "geog ="},
      {"LINESTRING Z (0 0 9, 1.5 2 9)", U, "geom LINESTRING(0 0, 1.5 2)"},
      {"MULTIPOINT ZM ((1 2 8 9), 3 4 8 9)", U, "geom MULTIPOINT((1 2), (3 4))"},
      {"POLYGON((0 0, 10 0, 10 10, 0 0), (1 1, 2 1, 2 2, 1 1))", U, "geom ="},
      {"MULTILINESTRING((0 0, 1 1), (2 2, 3 3))", G, "geom ="},
      {"MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))", U, "geom ="},
      {"GEOMETRYCOLLECTION(POLYGON((0 0, 1 0, 1 1, 0 0)), LINESTRING(0 0, 1 1), GEOMETRYCOLLECTION("
       "POINT(9 9), POINT EMPTY, GEOMETRYCOLLECTION EMPTY), MULTIPOINT(7 7, (8 8)), "
       "MULTILINESTRING((2 2, 3 3), (4 4, 5 5)), MULTIPOLYGON(((2 2, 3 2, 3 3, 2 2))))", U,
       "geom GEOMETRYCOLLECTION(POINT(9 9), POINT(7 7), POINT(8 8), LINESTRING(0 0, 1 1), "
       "LINESTRING(2 2, 3 3), LINESTRING(4 4, 5 5), POLYGON((0 0, 1 0, 1 1, 0 0)), "
       "POLYGON((2 2, 3 2, 3 3, 2 2)))"},
      // A collection passes its dimensions to its items, not to a nested collection.
      {"GEOMETRYCOLLECTION Z (POINT(1 2 3), GEOMETRYCOLLECTION(POINT(4 5)))", U,
       "geom GEOMETRYCOLLECTION(POINT(1 2), POINT(4 5))"},
      // Ten collections deep is the limit, per branch.
      {Nested(10, "POINT(1 2)"), U, "geom GEOMETRYCOLLECTION(POINT(1 2))"},
      {Nested(11, "POINT(1 2)"), U, "UNKNOWN"},
      {Nested(1, Nested(9, "POINT(1 2)") + ", " + Nested(9, "POINT(3 4)")), U,
       "geom GEOMETRYCOLLECTION(POINT(1 2), POINT(3 4))"}};
  // clang-format on
  for (auto const& [text, kind, e] : cases) {
    EXPECT_EQ(Read(text, kind), e.ends_with('=') ? e.substr(0, 5) + text : e) << text;
  }
}

// Text that does not parse, hostile text included, reads as Unknown whatever
// the kind; latitude and validation errors throw through with their own
// types and messages. Nothing read stays allocated but the Unknown.
TEST(OwktReader, FailuresReleaseEverything) {
  std::string const deep(100000, '('), pt = "POINT(1 2)", lat = "Latitude must not exceed +/- pi/2";
  // clang-format off
  std::string const unknown[] = {
      "", " ", "POINT", "POINT(1 2", "POINT()", "POINT(1 2 3)", "POINT((1 2))", "POINT Z (1 2)",
      "POINT ZM (1 2 3)", "POINTEMPTY", "POINT EMPTY EMPTY", "POINT(1 2) x", "POINT(1 2);",
      "\tPOINT(1 2)", "POINT(1\t2)", "POINT(1 2\n)", "POINT(1x 2)", "POINT(1.2.3 4)",
      "POINT(+-1 0)", "POINT(1-2 3)", "{POINT(1 2)}", "MULTILINESTRING()", "MULTIPOINT()", "EMPTY",
      "POLYGON((0 0, 1 0, 1 1, 0 0),)", "MULTIPOLYGON((0 0, 1 0, 1 1, 0 0))", "MULTIPOINT((1 2)",
      "GEOMETRYCOLLECTION(POINT(1 2)", "MULTILINESTRING((0 0, 1 1), EMPTY)", "UNKNOWN", "-", "+",
      "GEOMETRYCOLLECTION(POINT(1 2),)", "GEOMETRYCOLLECTION Z (GEOMETRYCOLLECTION(POINT(4 5 6)))",
      "TRIANGLE((0 0, 1 0, 1 1, 0 0))", ".", "SRID=4326;", "WINDINGORDER=INTERIOR-RIGHT;" + pt,
      "ORIGINALSRID=SR-ORG:6;" + pt, "WINDINGORDER=1;" + pt, "TOPOLOGICALTYPE=ROUND;" + pt,
      "SRID=4326 " + pt, "SRID=4326,;" + pt, "SRID=4326;;" + pt, "SRID=EPSG:4326;" + pt, deep,
      "BIAS=1;" + pt, "FOO=1;" + pt, "ORIGINALSRID=FOO:1;" + pt, "ORIGINALSRID=NAD83;" + pt,
      "MULTIPOLYGON" + deep, Nested(100000, pt), std::string(100000, ';') + pt,
      std::string(1'000'000, 'A'), std::string(1000, '\0'), std::string("PO\0INT(1 2)", 11)};
  std::tuple<std::string, CT, bool, std::string> const errors[] = {
      {"POLYGON((0 0, 1 1, 0 0))", U, false, "ring 0 of poly 0 has less than 4 coordinates"},
      {"MULTILINESTRING((0 0, 1 1), (2 2))", Y, false, "line 1 has less than 2 coordinates"},
      {"MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((0 0, 1 0, 1 1, 0 1)))", U, false,
       "ring 0 of poly 1 is not closed"},
      {"GEOMETRYCOLLECTION(LINESTRING(0 0, 1 1), MULTILINESTRING((2 2, 3 3), (5 5)))", U, false,
       "line 2 has less than 2 coordinates"},
      {"GEOMETRYCOLLECTION(POLYGON((0 0, 1 1, 0 0)), LINESTRING(1 2))", U, false,
       "line 0 has less than 2 coordinates"},
      {"POINT(0 91)", Y, false, lat}, {"POINT(0 1.6)", Y, true, lat},
      {"LINESTRING(0 0, 0 -1.5708)", Y, true, lat}, {"SRID=4326;POINT(0 -90.0001)", U, false, lat}};
  // clang-format on
  test_support::CountingMemoryResource counting;
  {
    test_support::ScopedMemoryResource scope(&counting);
    for (std::string const& text : unknown) {
      for (CT kind : {U, G, Y}) {
        SpatialPtr const v = OWKT::From(text, kind);
        EXPECT_EQ(Describe(v), "UNKNOWN") << text.substr(0, 40);
        EXPECT_TRUE(v.get_deleter().GetResource() == &counting && counting.LiveBlocks() == 1);
      }
    }
    for (auto const& [text, kind, radians, message] : errors) {
      try {
        ADD_FAILURE() << text << " read as " << Read(text, kind, radians);
      } catch (std::out_of_range const& e) {
        EXPECT_TRUE(e.what() == message && message == lat) << e.what();
      } catch (std::invalid_argument const& e) {
        EXPECT_EQ(e.what(), message);
      }
      EXPECT_EQ(counting.LiveBytes(), 0u) << text;
    }
  }
  EXPECT_TRUE(counting.Balanced());
}

// The literals and overloads; 0.5 and 1 radians are 28.6479 and 57.2958 degrees.
TEST(OwktReader, LiteralsAndOverloads) {
  for (SpatialPtr const& empty : {""_owkt, ""_geomowkt, ""_geogowkt, ""_rgeogowkt}) {
    EXPECT_TRUE(!empty && empty.get_deleter().GetResource() == GetMemoryResource());
  }
  EXPECT_EQ(Describe(OWKT::From("")), "UNKNOWN");
  EXPECT_THROW("POINT(0 1.6)"_rgeogowkt, std::out_of_range);
  EXPECT_EQ(Describe("POINT(0 1.6)"_geogowkt), "geog POINT(0 1.6)");
  EXPECT_EQ(Describe("SRID=4326;POINT(1 2)\0junk"_owkt), "geog POINT(1 2)");
  EXPECT_EQ(Describe("SRID=4326;POINT(1 2)"_geomowkt), "geom ORIGINALSRID=EPSG:4326;POINT(1 2)");
  EXPECT_EQ(Describe(OWKT::From("POINT(0.5 1)", true)), "geog POINT(28.6479 57.2958)");
  EXPECT_EQ(Describe(OWKT::From("POINT(0.5 1)", Y)), "geog POINT(0.5 1)");
  EXPECT_EQ(Read("POINT(0.5 1)", G, true), "geom POINT(0.5 1)");
  EXPECT_EQ(Read("POINT(3.141592653589793 -1.5707963267948966)", Y, true), "geog POINT(180 -90)");
}

// Huge numbers still give a value. (Random token soup is read, in every kind
// and unit, by OwktDiagnosis.NeverChangesWhatFromReturns.)
TEST(OwktReader, HugeNumbers) {
  std::string const nines(1'000'000, '9');
  EXPECT_NE(Read("POINT(" + nines + " 0." + nines + ")", G), "UNKNOWN");
  EXPECT_NE(Read("SRID=-1e400;POINT(1e" + nines + " 1e-400)", G), "UNKNOWN");
}

}  // namespace
}  // namespace ostrel
