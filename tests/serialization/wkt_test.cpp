// WKT: the writer's exact text (numbers against a default-formatted stream),
// the reader's grammar, dimensions, nesting and running indexes, the
// geographic conversions, Extract, a differential run against the OWKT
// reader (whose tokenizer and body grammar WKT shares) on random token
// strings, round trips of random values, the Natural Earth countries and
// hostile text.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ostrel/serialization/wkt.hpp"
#include "serialization/serialization_support.hpp"

namespace ostrel {
namespace {

using namespace serialization_test;
using CT = CoordinateType;
using S = ShapeType;

SpatialPtr Planar(std::string const& t) { return WktSerialization::Read(t, CT::Geometry); }
SpatialPtr Geo(std::string const& t) { return WktSerialization::Read(t, CT::Geography); }
// What was read, written back; "UNKNOWN" for an Unknown.
std::string Again(SpatialPtr const& v) {
  return v->IsUnknown() ? "UNKNOWN" : WktSerialization::Write(*v);
}

// A double as a default std::ostream writes it, upper case: the oracle of
// the writer's numbers.
std::string StreamNumber(double d) {
  std::ostringstream os;
  os << d;
  std::string s = os.str();
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

TEST(WktWriter, ExactText) {
  auto planar = [](Model const& m) {
    return WktSerialization::Write(MakeValue<DefaultGeometry>(m));
  };
  Path const tri{{0, 0}, {1, 0}, {1, 1}, {0, 0}};
  struct {
    Model model;
    std::string text;
  } const cases[] = {
      {{S::Point, {{1, 2}}, {}, {}}, "POINT(1 2)"},
      {{S::LineString, {}, {{{0, 0}, {1, 1}}}, {}}, "LINESTRING(0 0, 1 1)"},
      {{S::Polygon, {}, {}, {{tri}}}, "POLYGON((0 0, 1 0, 1 1, 0 0))"},
      {{S::Polygon, {}, {}, {{tri, tri}}}, "POLYGON((0 0, 1 0, 1 1, 0 0), (0 0, 1 0, 1 1, 0 0))"},
      {{S::MultiPoint, {{1, 2}, {3, 4}}, {}, {}}, "MULTIPOINT((1 2), (3 4))"},
      {{S::MultiPoint, {{1, 2}}, {}, {}}, "MULTIPOINT((1 2))"},
      {{S::MultiLineString, {}, {{{0, 0}, {1, 1}}, {{2, 2}, {3, 3}}}, {}},
       "MULTILINESTRING((0 0, 1 1), (2 2, 3 3))"},
      {{S::MultiPolygon, {}, {}, {{tri}, {tri}}},
       "MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((0 0, 1 0, 1 1, 0 0)))"},
      {{S::Mixed, {{1, 2}}, {{{0, 0}, {1, 1}}}, {}},
       "GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))"},
      {{S::Mixed, {}, {}, {{tri}}}, "GEOMETRYCOLLECTION(POLYGON((0 0, 1 0, 1 1, 0 0)))"},
      {{S::Point, {{1234567.5, 0.5}}, {}, {}}, "POINT(1.23457E+06 0.5)"},
      {{S::Point, {{-0.00001, 123456.7}}, {}, {}}, "POINT(-1E-05 123457)"},
      {{S::Empty, {}, {}, {}}, "POINT EMPTY"},
      {{S::Point, {}, {}, {}}, "POINT EMPTY"},
      {{S::LineString, {}, {}, {}}, "LINESTRING EMPTY"},
      {{S::MultiPolygon, {}, {}, {}}, "MULTIPOLYGON EMPTY"},
      {{S::Mixed, {}, {}, {}}, "GEOMETRYCOLLECTION EMPTY"},
  };
  for (auto const& c : cases) EXPECT_EQ(planar(c.model), c.text);

  // Geographic: longitude then latitude, degrees.
  EXPECT_EQ(WktSerialization::Write(MakeValue<DefaultGeography>({S::Point, {{-120, 45}}, {}, {}})),
            "POINT(-120 45)");
  EXPECT_EQ(WktSerialization::Write(MakeValue<DefaultGeography>({S::Point, {{180, -90}}, {}, {}})),
            "POINT(180 -90)");
  // Attributes are not part of WKT.
  Geometry::Attributes const biased(GeometryCoordinate::Bias(0.5, -2), SRID::WGS84(),
                                    SRID::WGS84());
  EXPECT_EQ(
      WktSerialization::Write(MakeValue<DefaultGeometry>({S::Point, {{1, 2}}, {}, {}}, biased)),
      "POINT(1 2)");

  EXPECT_EQ(Throws<std::invalid_argument>([] { WktSerialization::Write(Unknown()); }),
            "can only translate Geography or Geometry");

  // Numbers: exactly what a default stream writes, upper-cased.
  std::mt19937_64 rng(4);
  std::uniform_int_distribution<int> exponent(-12, 12);
  for (int i = 0; i < 3000; ++i) {
    double const x = std::ldexp(static_cast<double>(rng() >> 11) * 0x1p-53, exponent(rng) * 3) *
                     (i % 2 ? -1 : 1);
    double const y = i % 100 == 0 ? 0.0 : static_cast<double>(static_cast<float>(x));
    EXPECT_EQ(planar({S::Point, {{x, y}}, {}, {}}),
              "POINT(" + StreamNumber(GeometryCoordinate(x, y).GetX()) + " " +
                  StreamNumber(GeometryCoordinate(x, y).GetY()) + ")");
  }
  double const inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(planar({S::Point, {{inf, -inf}}, {}, {}}),
            "POINT(" + StreamNumber(inf) + " " + StreamNumber(-inf) + ")");
}

TEST(WktReader, Grammar) {
  struct {
    char const* text;
    char const* read;  // written back, or UNKNOWN
  } const cases[] = {
      {"POINT(1 2)", "POINT(1 2)"},
      {"point (1 2)", "POINT(1 2)"},
      {"  Point  (  1   2  )  ", "POINT(1 2)"},
      {"POINT EMPTY", "POINT EMPTY"},
      {"POINT Z (1 2 3)", "POINT(1 2)"},
      {"POINT M (1 2 3)", "POINT(1 2)"},
      {"POINT ZM (1 2 3 4)", "POINT(1 2)"},
      {"POINT MZ (1 2 3 4)", "POINT(1 2)"},
      {"POINT Z (1 2)", "UNKNOWN"},
      {"POINT (1 2 3)", "UNKNOWN"},
      {"POINTZ (1 2 3)", "UNKNOWN"},
      {"POINT(1 2) x", "UNKNOWN"},
      {"POINT(1 2);", "UNKNOWN"},
      {"POINT(1 2)\t", "POINT(1 2)"},  // a character outside the tokens ends the text
      {"POINT(1 2)\nPOINT(3 4)", "POINT(1 2)"},
      {"POINT(1x 2)", "UNKNOWN"},
      {"POINT(1e3 .5)", "POINT(1000 0.5)"},
      {"POINT(5. -.25)", "POINT(5 -0.25)"},
      {"POINT(1.2.3 4)", "UNKNOWN"},
      {"LINESTRING(0 0, 1 1)", "LINESTRING(0 0, 1 1)"},
      {"LINESTRING EMPTY", "LINESTRING EMPTY"},
      {"LINESTRING()", "UNKNOWN"},
      {"POLYGON ((0 0, 1 0, 1 1))", "POLYGON((0 0, 1 0, 1 1, 0 0))"},
      {"POLYGON ((0 0, 1 0, 1 1, 0 0)) ", "POLYGON((0 0, 1 0, 1 1, 0 0))"},
      {"POLYGON (0 0, 1 0, 1 1, 0 0)", "UNKNOWN"},
      {"MULTIPOINT (1 2, 3 4)", "MULTIPOINT((1 2), (3 4))"},
      {"MULTIPOINT ((1 2), (3 4))", "MULTIPOINT((1 2), (3 4))"},
      {"MULTIPOINT ((1 2), 3 4)", "MULTIPOINT((1 2), (3 4))"},
      {"MULTIPOINT (EMPTY)", "UNKNOWN"},
      {"MULTIPOINT EMPTY", "MULTIPOINT EMPTY"},
      {"MULTILINESTRING((0 0, 1 1), (2 2, 3 3))", "MULTILINESTRING((0 0, 1 1), (2 2, 3 3))"},
      {"MULTILINESTRING()", "UNKNOWN"},
      {"MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5), (5 5, 6 5, 6 6, 5 5)))",
       "MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5), (5 5, 6 5, 6 6, 5 5)))"},
      {"GEOMETRYCOLLECTION (POINT (1 2), LINESTRING (0 0, 1 1))",
       "GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))"},
      {"GEOMETRYCOLLECTION (LINESTRING (0 0, 1 1), POINT (1 2))",
       "GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))"},
      {"GEOMETRYCOLLECTION EMPTY", "GEOMETRYCOLLECTION EMPTY"},
      {"GEOMETRYCOLLECTION (POINT EMPTY, LINESTRING EMPTY)", "GEOMETRYCOLLECTION EMPTY"},
      {"GEOMETRYCOLLECTION Z (POINT (1 2 3))", "GEOMETRYCOLLECTION(POINT(1 2))"},
      {"GEOMETRYCOLLECTION Z (POINT (1 2))", "UNKNOWN"},
      {"GEOMETRYCOLLECTION Z (POINT ZM (1 2 3 4))", "GEOMETRYCOLLECTION(POINT(1 2))"},
      {"GEOMETRYCOLLECTION Z (GEOMETRYCOLLECTION (POINT (1 2)))", "GEOMETRYCOLLECTION(POINT(1 2))"},
      {"GEOMETRYCOLLECTION Z (GEOMETRYCOLLECTION (POINT (1 2 3)))", "UNKNOWN"},
      {"GEOMETRYCOLLECTION (MULTIPOINT (1 2), GEOMETRYCOLLECTION (MULTIPOLYGON (((0 0, 1 0, 1 1, 0 "
       "0)))))",
       "GEOMETRYCOLLECTION(POINT(1 2), POLYGON((0 0, 1 0, 1 1, 0 0)))"},
      {"GEOMETRYCOLLECTION (SRID)", "UNKNOWN"},
      {"SRID=4326;POINT(1 2)", "UNKNOWN"},
      {"", "UNKNOWN"},
      {"CIRCLE(1 2)", "UNKNOWN"},
  };
  for (auto const& c : cases) EXPECT_EQ(Again(Planar(c.text)), c.read) << c.text;

  // Ten collections (the innermost at depth 9) are read; eleven are not.
  auto nested = [](int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s += "GEOMETRYCOLLECTION(";
    s += "POINT(1 2)";
    for (int i = 0; i < n; ++i) s += ")";
    return s;
  };
  EXPECT_EQ(Again(Planar(nested(10))), "GEOMETRYCOLLECTION(POINT(1 2))");
  EXPECT_EQ(Again(Planar(nested(11))), "UNKNOWN");
  EXPECT_EQ(Again(Planar(nested(200000))), "UNKNOWN");  // no deep recursion

  for (CT bad : {CT::Unknown, CT::Identifying}) {
    EXPECT_EQ(Throws<std::invalid_argument>([bad] { WktSerialization::Read("garbage", bad); }),
              "can only translate Geography or Geometry");
  }
}

// Lines and polygons are numbered through the whole text, also across
// collection members; a line or ring is finished when the next coordinate
// belongs to another one, so a bad line throws even when a later token would
// have made the text unparsable, while a bad last line does not.
TEST(WktReader, RunningIndexes) {
  Model const m = ModelOf(*Planar(
      "GEOMETRYCOLLECTION(LINESTRING(0 0, 1 1), MULTILINESTRING((2 2, 3 3), (4 4, 5 5, 6 6)), "
      "POLYGON((0 0, 4 0, 4 4, 0 0), (1 1, 2 1, 2 2, 1 1)), MULTIPOLYGON(((0 0, 1 0, 1 1)), "
      "((9 9, 8 9, 8 8, 9 9))), POINT(7 7), MULTIPOINT(8 8, 9 9))"));
  EXPECT_EQ(m.type, S::Mixed);
  ASSERT_EQ(m.lines.size(), 3u);
  EXPECT_EQ(m.lines[2].size(), 3u);
  ASSERT_EQ(m.polys.size(), 3u);
  EXPECT_EQ(m.polys[0].size(), 2u);
  EXPECT_EQ(m.polys[1].size(), 1u);
  EXPECT_EQ(m.polys[1][0].size(), 4u);  // closed
  EXPECT_EQ(m.points, (Path{{7, 7}, {8, 8}, {9, 9}}));

  EXPECT_EQ(Throws<std::invalid_argument>([] { Planar("MULTILINESTRING((1 2), (3 4, 5 6)) x"); }),
            "line has less than 2 coordinates");
  EXPECT_EQ(Again(Planar("MULTILINESTRING((3 4, 5 6), (1 2)) x")), "UNKNOWN");
  EXPECT_EQ(Throws<std::invalid_argument>([] { Planar("MULTILINESTRING((3 4, 5 6), (1 2))"); }),
            "line has less than 2 coordinates");
  EXPECT_EQ(
      Throws<std::invalid_argument>([] { Planar("POLYGON((0 0, 1 1, 0 0), (0 0, 1 0, 1 1))"); }),
      "ring has less than 4 coordinates");
  EXPECT_EQ(Throws<std::invalid_argument>([] { Planar("POLYGON((0 0, 1 0, 1 1),(0 0, 1 1))"); }),
            "ring has less than 4 coordinates");
}

TEST(WktReader, Geographic) {
  EXPECT_EQ(Again(Geo("POINT(181 90.000005)")), Again(Geo("POINT(-179 90)")));
  EXPECT_EQ(Throws<std::out_of_range>([] { Geo("POINT(0 -90.0001)"); }),
            "Latitude must not exceed +/- 90");
  // Edges are densified, rings oriented: exterior counter-clockwise, holes
  // clockwise.
  Model const line = ModelOf(*Geo("LINESTRING(0 0, 0 10)"));
  EXPECT_EQ(line.lines[0].size(), 129u);
  for (char const* text : {"POLYGON((0 0, 0.05 0, 0.05 0.05, 0 0.05, 0 0), (0.01 0.01, 0.01 0.02, "
                           "0.02 0.02, 0.01 0.01))",
                           "POLYGON((0 0, 0 0.05, 0.05 0.05, 0.05 0, 0 0), (0.01 0.01, 0.02 0.02, "
                           "0.01 0.02, 0.01 0.01))"}) {
    Model const m = ModelOf(*Geo(text));
    auto area = [](Path const& r) {
      double s = 0;
      for (std::size_t i = 0; i + 1 < r.size(); ++i)
        s += r[i].first * r[i + 1].second - r[i + 1].first * r[i].second;
      return s;
    };
    EXPECT_GT(area(m.polys[0][0]), 0) << text;
    EXPECT_LT(area(m.polys[0][1]), 0) << text;
  }
}

// Extract: pairs, y clamped and x as written, densified, rings closed and
// oriented but not cleaned; the vectors change only on success.
TEST(WktExtract, PairsAndFailures) {
  std::vector<XY> points{{-1, -1}};
  std::vector<Path> lines{{{-1, -1}}};
  std::vector<Rings> polys;
  EXPECT_EQ(WktSerialization::Extract("POINT(1 2) x", points, lines, polys), S::Empty);
  EXPECT_EQ(points, (std::vector<XY>{{-1, -1}}));
  EXPECT_EQ(lines.size(), 1u);

  EXPECT_EQ(WktSerialization::Extract("MULTIPOINT(190 90.000001, 1 2)", points, lines, polys),
            S::MultiPoint);
  EXPECT_EQ(points, (std::vector<XY>{{190, 90}, {1, 2}}));
  EXPECT_TRUE(lines.empty());

  EXPECT_EQ(WktSerialization::Extract("LINESTRING(0 0, 0 1)", points, lines, polys), S::LineString);
  ASSERT_EQ(lines.size(), 1u);
  ASSERT_EQ(lines[0].size(), 17u);  // 1 degree in 16 steps of at most 0.0917
  for (std::size_t i = 0; i < lines[0].size(); ++i) {
    EXPECT_NEAR(lines[0][i].second, i / 16.0, 1e-7);
    EXPECT_EQ(lines[0][i].first, 0);
  }

  // Clockwise exterior with a duplicate vertex: reversed, closed, the
  // duplicate kept.
  EXPECT_EQ(WktSerialization::Extract("POLYGON((0 0, 0 0.05, 0.05 0.05, 0.05 0.05, 0.05 0))",
                                      points, lines, polys),
            S::Polygon);
  ASSERT_EQ(polys.size(), 1u);
  EXPECT_EQ(polys[0][0], (Path{{0, 0}, {0.05, 0}, {0.05, 0.05}, {0.05, 0.05}, {0, 0.05}, {0, 0}}));

  EXPECT_EQ(Throws<std::invalid_argument>(
                [&] { WktSerialization::Extract("LINESTRING(1 1)", points, lines, polys); }),
            "line has less than 2 coordinates");
  EXPECT_EQ(Throws<std::invalid_argument>([&] {
              WktSerialization::Extract("POLYGON((1 1, 1.01 1.01, 1 1))", points, lines, polys);
            }),
            "ring has less than 4 coordinates");
  EXPECT_EQ(Throws<std::out_of_range>(
                [&] { WktSerialization::Extract("POINT(1 100)", points, lines, polys); }),
            "Latitude must not exceed +/- 90");
  EXPECT_EQ(polys.size(), 1u);  // untouched by the failures
}

// A random text of the body grammar's tokens (starting with a shape
// keyword, so that the OWKT reader has no attribute section to parse).
std::string RandomBody(std::mt19937& rng) {
  static char const* const kTokens[] = {"POINT",
                                        "LINESTRING",
                                        "POLYGON",
                                        "MULTIPOINT",
                                        "MULTILINESTRING",
                                        "MULTIPOLYGON",
                                        "GEOMETRYCOLLECTION",
                                        "EMPTY",
                                        "Z",
                                        "M",
                                        "ZM",
                                        "(",
                                        ")",
                                        "(",
                                        ")",
                                        ",",
                                        ",",
                                        "1",
                                        "2.5",
                                        "-3",
                                        "1e2",
                                        "0",
                                        "4",
                                        "(0 0, 1 0, 1 1, 0 0)",
                                        "1 2",
                                        "(1 2, 3 4)",
                                        "x",
                                        ";"};
  static char const* const kStarts[] = {
      "POINT",           "LINESTRING",   "POLYGON",           "MULTIPOINT",
      "MULTILINESTRING", "MULTIPOLYGON", "GEOMETRYCOLLECTION"};
  std::string s = kStarts[rng() % 7];
  int const n = 1 + static_cast<int>(rng() % 14);
  for (int i = 0; i < n; ++i) {
    s += rng() % 3 == 0 ? " " : "";
    s += kTokens[rng() % (sizeof kTokens / sizeof kTokens[0])];
  }
  return s;
}

// The same token strings parse or fail alike under WKT and OWKT, and when
// they parse they hold the same shape, counts and coordinates (OWKT packs
// planar coordinates against no bias, WKT against the first one: equal
// within float snapping).
TEST(WktReader, AgreesWithTheOwktBodyGrammar) {
  std::mt19937 rng(21);
  int parsed = 0, failed = 0;
  Generator gen(22, false, 0);
  for (int i = 0; i < 20000; ++i) {
    std::string text = RandomBody(rng);
    if (i % 2 == 0) {
      // A valid text with a few characters deleted, doubled or swapped.
      text = WktSerialization::Write(MakeValue<DefaultGeometry>(gen.Make(kAllShapes[i % 7])));
      for (int k = static_cast<int>(rng() % 3); k > 0; --k) {
        std::size_t const at = rng() % text.size();
        switch (rng() % 3) {
          case 0: text.erase(at, 1); break;
          case 1: text.insert(at, 1, text[at]); break;
          default: std::swap(text[at], text[rng() % text.size()]); break;
        }
      }
    }
    SpatialPtr a, b;
    try {
      a = OWKT::From(text, CT::Geometry);
      b = Planar(text);
    } catch (std::invalid_argument const&) {
      continue;  // the two validate structures differently (WKT closes rings)
    }
    ASSERT_EQ(a->IsUnknown(), b->IsUnknown()) << text;
    if (a->IsUnknown()) {
      ++failed;
      continue;
    }
    ++parsed;
    Model const ma = ModelOf(*a), mb = ModelOf(*b);
    ASSERT_EQ(ma.type, mb.type) << text;
    ASSERT_EQ(ma.points.size(), mb.points.size()) << text;
    ASSERT_EQ(ma.lines.size(), mb.lines.size()) << text;
    ASSERT_EQ(ma.polys.size(), mb.polys.size()) << text;
    for (std::size_t k = 0; k < ma.points.size(); ++k) {
      // Float snapping: of the coordinate itself (OWKT) and of its offset from
      // the first coordinate, the bias (WKT).
      double const a = ma.points[k].first, offset = a - mb.points[0].first;
      double const tolerance = std::ldexp(std::fabs(a) + std::fabs(offset), -23);
      EXPECT_NEAR(ma.points[k].first, mb.points[k].first, tolerance) << text;
    }
  }
  EXPECT_GT(parsed, 3000);
  EXPECT_GT(failed, 5000);
}

// Random values with coordinates that six digits hold: the text reads back
// to the same content and writes back to the same text.
TEST(WktRoundTrip, RandomValuesOfEveryShape) {
  for (bool geographic : {false, true}) {
    Generator gen(geographic ? 41 : 42, geographic, 4);
    for (int i = 0; i < 700; ++i) {
      Model const m = gen.Make(kAllShapes[i % 7]);
      SpatialPtr const v = geographic
                               ? MakeSpatial<DefaultGeography>(MakeValue<DefaultGeography>(m))
                               : MakeSpatial<DefaultGeometry>(MakeValue<DefaultGeometry>(m));
      std::string const text = WktSerialization::Write(*v);
      SpatialPtr const back = WktSerialization::Read(text, v->GetCoordinateType());
      ASSERT_FALSE(back->IsUnknown()) << text;
      EXPECT_EQ(ModelOf(*back), ModelOf(*v)) << text;
      EXPECT_EQ(WktSerialization::Write(*back), text);
    }
  }
}

// The countries as WKT: planar values keep every coordinate within float
// snapping of what the OWKT reader makes of the same text; geographic
// values keep every vertex of the OWKT reading in order or reversed, apart
// from the consecutive duplicates the clean-up drops.
TEST(WktRoundTrip, NaturalEarthCountries) {
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/countries50.wkt");
  std::string line;
  int values = 0, vertices = 0;
  while (std::getline(in, line)) {
    vertices +=
        ExpectPolysNear(ModelOf(*Planar(line)), ModelOf(*OWKT::From(line, CT::Geometry)), 2e-5);
    Model const geo_owkt = ModelOf(*OWKT::From(line, CT::Geography));
    Model const geo = ModelOf(*Geo(line));
    ASSERT_EQ(geo.polys.size(), geo_owkt.polys.size());
    for (std::size_t p = 0; p < geo.polys.size(); ++p) {
      for (std::size_t r = 0; r < geo.polys[p].size(); ++r) {
        Path const orig = WithoutRepeats(geo_owkt.polys[p][r]), rev(orig.rbegin(), orig.rend());
        EXPECT_TRUE(Subsequence(orig, geo.polys[p][r]) || Subsequence(rev, geo.polys[p][r]))
            << values;
      }
    }
    ++values;
  }
  EXPECT_EQ(values, 241);
  EXPECT_EQ(vertices, 99566);
}

// Hostile text: whatever the characters, a value, an Unknown or a
// documented exception.
TEST(WktHostile, RandomText) {
  std::mt19937 rng(77);
  std::string const alphabet = "POINTLESGMYCR()(),, 0123456789.-+eE ZM\t;=";
  Generator gen(78, true, 4);
  int values = 0, unknowns = 0;
  for (int i = 0; i < 8000; ++i) {
    std::string text =
        i % 2 ? RandomBody(rng)
              : WktSerialization::Write(MakeValue<DefaultGeography>(gen.Make(kAllShapes[i % 7])));
    int const n = static_cast<int>(rng() % 4);
    for (int k = 0; k < n; ++k) {
      text.insert(text.begin() + static_cast<long>(rng() % (text.size() + 1)),
                  alphabet[rng() % alphabet.size()]);
    }
    for (CT type : {CT::Geometry, CT::Geography}) {
      try {
        SpatialPtr const v = WktSerialization::Read(text, type);
        v->IsUnknown() ? ++unknowns : ++values;
      } catch (std::invalid_argument const&) {
      } catch (std::out_of_range const&) {
      }
    }
  }
  EXPECT_GT(values, 800);
  EXPECT_GT(unknowns, 3000);
  // Numbers beyond the double range: an infinite first coordinate is an
  // infinite bias, and every offset from it is NaN.
  EXPECT_EQ(Again(Planar("POINT(1e999 -1e999)")), "POINT(-NAN -NAN)");
  EXPECT_EQ(Again(Planar("LINESTRING(1 1, 1e999 -1e999)")), "LINESTRING(1 1, INF -INF)");
  EXPECT_FALSE(Planar("POINT(0e999 1)")->IsUnknown());
  EXPECT_EQ(Throws<std::out_of_range>([] { Geo("POINT(0 1e999)"); }),
            "Latitude must not exceed +/- 90");
}

}  // namespace
}  // namespace ostrel
