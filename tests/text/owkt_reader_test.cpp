// OWKT reader: lexical rules, numbers, attribute sections and the choice of
// kind, bodies and their flattening, failures, literals, memory and hostile
// input.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <exception>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ostrel/ostrel.hpp"
#include "support/counting_resource.hpp"

namespace ostrel {
namespace {

using Auth = SRID::Authority;
using CT = CoordinateType;

// A description of a value written from its shape ranges, independent of
// the OWKT writer: "geom Mixed: p(1 2) l(0 0,1 1) y((0 0,1 0,1 1,0 0))".
// Geographic coordinates are longitude and latitude in degrees.
template <class C>
std::string Text(C const& c) {
  std::ostringstream os;
  if constexpr (std::is_same_v<C, GeometryCoordinate>) {
    os << c.GetX() << ' ' << c.GetY();
  } else {
    Degrees const lon = c.GetLongitude();
    Degrees const lat = c.GetLatitude();
    os << lon.Get() << ' ' << lat.Get();
  }
  return os.str();
}

template <class Range>
std::string List(Range const& coordinates) {
  std::string s;
  for (auto const& c : coordinates) s += (s.empty() ? "" : ",") + Text(c);
  return s;
}

template <class G>
std::string DumpShape(G const& g) {
  std::string s = to_string(g.GetShapeType()) + ":";
  for (auto const& p : g.GetPoints()) s += " p(" + Text(p) + ")";
  for (auto const& l : g.GetLines()) s += " l(" + List(l) + ")";
  for (auto const& poly : g.GetPolys()) {
    s += " y(";
    for (auto const& ring : poly) s += "(" + List(ring) + ")";
    s += ")";
  }
  return s;
}

std::string Dump(Spatial const& v) {
  if (v.IsGeometry()) return "geom " + DumpShape(v.AsGeometry());
  if (v.IsGeography()) return "geog " + DumpShape(v.AsGeography());
  return to_string(v);
}

std::string Read(std::string const& text, CT type = CT::Unknown, bool radians = false) {
  SpatialPtr const value = OWKT::From(text, type, radians);
  return value ? Dump(*value) : "null";
}

// ---- numbers ------------------------------------------------------------

// The bias is stored unsnapped, so BIAS=<number>:0 shows a number exactly
// as the lexer produced it.
TEST(OwktReader, Numbers) {
  double const inf = std::numeric_limits<double>::infinity();
  double const nan = std::numeric_limits<double>::quiet_NaN();
  std::string const zeros399(399, '0');
  struct Case {
    std::string number;
    double value;
  } const cases[] = {
      // clang-format off
      {"1", 1}, {"-1", -1}, {"+1", 1}, {"007", 7}, {"1e3", 1000}, {"1E3", 1000}, {"1e+3", 1000},
      {"1e-3", 0.001}, {"1.5e2", 150}, {".5", 0.5}, {"5.", 5}, {"-.5", -0.5}, {"1.e2", 100},
      {"12.25", 12.25}, {"0.1", 0.1}, {".", 0}, {"-", -0.0}, {"+", 0}, {"1e", 1}, {"1e+", 1},
      {"1e400", inf}, {"-1e400", -inf}, {"1e-400", 0}, {"0e400", nan},
      // The integer parts wrap modulo 2^64; 10^399 is a multiple of 2^64.
      {"18446744073709551617", 1}, {"18446744073709551616", 0},
      {"18446744073709551615", 18446744073709551615.0}, {"1e18446744073709551617", 10},
      {"1" + zeros399, 0}, {"0." + zeros399 + "1", 0},  // the divisor overflows: 1 / inf
      // clang-format on
  };
  for (Case const& c : cases) {
    SpatialPtr const v = OWKT::From("BIAS=" + c.number + ":0;POINT(0 0)");
    ASSERT_TRUE(v->IsGeometry()) << c.number;
    double const got = v->AsGeometry().GetAttributes().bias.GetX();
    if (std::isnan(c.value)) {
      EXPECT_TRUE(std::isnan(got)) << c.number;
    } else {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(c.value))
          << c.number << " read as " << got;
    }
  }
  for (char const* bad : {"1.2.3", "1-2", "1e3e3", "1e3.5", "--1", "+-1", "1x", "1e3x", "0x10"}) {
    EXPECT_TRUE(OWKT::From("BIAS=" + std::string(bad) + ":0;POINT(0 0)")->IsUnknown()) << bad;
  }
  // Planar coordinates snap to bias + float, with the bias just read.
  auto x = [](std::string const& text) {
    return OWKT::From(text)->AsGeometry().GetPoints()[0].GetX();
  };
  EXPECT_EQ(x("POINT(1000000.1 0)"), static_cast<double>(1000000.1f));
  EXPECT_EQ(x("BIAS=1000000:0;POINT(1000000.1 0)"), 1e6 + static_cast<double>(0.1f));
  EXPECT_EQ(x("BIAS=0.5:0;POINT(0.75 0)"), 0.75);
}

// ---- bodies -------------------------------------------------------------

TEST(OwktReader, Bodies) {
  std::string const point = "geom Point: p(1 2)";
  struct Case {
    std::string text;
    CT type;
    std::string dump;
  } const cases[] = {
      // Lexical: case, blanks, what ends the input after a complete body.
      {"POINT(1 2)", CT::Unknown, point},
      {"point(1 2)", CT::Unknown, point},
      {"Point(1 2)", CT::Identifying, point},
      {"POINT (1 2)", CT::Unknown, point},
      {"   POINT  (  1    2 )   ", CT::Unknown, point},
      {"POINT(1 2)\t", CT::Unknown, point},
      {"POINT(1 2)\r\nPOINT(3 4)", CT::Unknown, point},
      {"POINT(1 2)#comment", CT::Unknown, point},
      {"POINT(1 2)~;", CT::Unknown, point},
      {std::string("POINT(1 2)\0POINT", 16), CT::Unknown, point},
      {"POINT(- +)", CT::Unknown, "geom Point: p(0 0)"},
      // Dimensions: the extra numbers are read and dropped.
      {"POINT Z (1 2 3)", CT::Unknown, point},
      {"POINT M (1 2 3)", CT::Unknown, point},
      {"POINT ZM (1 2 3 4)", CT::Unknown, point},
      {"point mz(1 2 3 4)", CT::Unknown, point},
      {"LINESTRING Z (0 0 9, 1.5 2 9)", CT::Unknown, "geom LineString: l(0 0,1.5 2)"},
      {"MULTIPOINT ZM ((1 2 8 9), 3 4 8 9)", CT::Unknown, "geom MultiPoint: p(1 2) p(3 4)"},
      // EMPTY keeps the keyword's shape type.
      {"POINT EMPTY", CT::Unknown, "geom Point:"},
      {"POINT Z EMPTY", CT::Unknown, "geom Point:"},
      {"LINESTRING EMPTY", CT::Unknown, "geom LineString:"},
      {"MULTILINESTRING EMPTY", CT::Unknown, "geom MultiLineString:"},
      {"GEOMETRYCOLLECTION EMPTY", CT::Unknown, "geom Mixed:"},
      {"MULTIPOLYGON EMPTY", CT::Geography, "geog MultiPolygon:"},
      // Every element kind.
      {"LINESTRING(0 0, 1.5 2)", CT::Unknown, "geom LineString: l(0 0,1.5 2)"},
      {"POLYGON((0 0, 10 0, 10 10, 0 0), (1 1, 2 1, 2 2, 1 1))", CT::Unknown,
       "geom Polygon: y((0 0,10 0,10 10,0 0)(1 1,2 1,2 2,1 1))"},
      {"MULTIPOINT(1 2, (3 4))", CT::Unknown, "geom MultiPoint: p(1 2) p(3 4)"},
      {"MULTIPOINT((1 2))", CT::Unknown, "geom MultiPoint: p(1 2)"},
      {"MULTILINESTRING((0 0, 1 1), (2 2, 3 3))", CT::Unknown,
       "geom MultiLineString: l(0 0,1 1) l(2 2,3 3)"},
      {"MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5), (5 5, 5.5 5, 5.5 5.5, 5 5)))",
       CT::Unknown,
       "geom MultiPolygon: y((0 0,1 0,1 1,0 0)) y((5 5,6 5,6 6,5 5)(5 5,5.5 5,5.5 5.5,5 5))"},
      // Collections flatten: points in order of appearance, lines and polys
      // numbered consecutively across items.
      {"GEOMETRYCOLLECTION(POINT(9 9), LINESTRING(0 0, 1 1), MULTILINESTRING((2 2, 3 3), "
       "(4 4, 5 5)), POLYGON((0 0, 1 0, 1 1, 0 0)), MULTIPOINT(7 7, (8 8)), "
       "MULTIPOLYGON(((2 2, 3 2, 3 3, 2 2)), ((4 4, 5 4, 5 5, 4 4), (4 4, 4.5 4, 4.5 4.5, 4 4))))",
       CT::Unknown,
       "geom Mixed: p(9 9) p(7 7) p(8 8) l(0 0,1 1) l(2 2,3 3) l(4 4,5 5) y((0 0,1 0,1 1,0 0)) "
       "y((2 2,3 2,3 3,2 2)) y((4 4,5 4,5 5,4 4)(4 4,4.5 4,4.5 4.5,4 4))"},
      {"GEOMETRYCOLLECTION(POINT(1 2), GEOMETRYCOLLECTION(LINESTRING(0 0, 1 1), POINT(3 4)), "
       "LINESTRING(5 5, 6 6))",
       CT::Unknown, "geom Mixed: p(1 2) p(3 4) l(0 0,1 1) l(5 5,6 6)"},
      {"GEOMETRYCOLLECTION(POINT EMPTY, LINESTRING EMPTY, POINT(1 2), GEOMETRYCOLLECTION EMPTY)",
       CT::Unknown, "geom Mixed: p(1 2)"},
      // A collection's dimensions reach its items, not a nested collection.
      {"GEOMETRYCOLLECTION Z (POINT(1 2 3), GEOMETRYCOLLECTION(POINT(4 5)))", CT::Unknown,
       "geom Mixed: p(1 2) p(4 5)"},
      {"GEOMETRYCOLLECTION M (POINT Z (1 2 3), LINESTRING ZM (0 0 1 1, 1 1 1 1))", CT::Unknown,
       "geom Mixed: p(1 2) l(0 0,1 1)"},
      // Geographic: longitude first, degrees unless the radians flag is set.
      {"POINT(1 2)", CT::Geography, "geog Point: p(1 2)"},
      {"POINT(-120 45)", CT::Geography, "geog Point: p(-120 45)"},
      {"LINESTRING(180 -90, -180 90)", CT::Geography, "geog LineString: l(180 -90,-180 90)"},
      {"POINT(190 0)", CT::Geography, "geog Point: p(-170 0)"},
      {"POINT(0 1.6)", CT::Geography, "geog Point: p(0 1.6)"},
  };
  for (Case const& c : cases) EXPECT_EQ(Read(c.text, c.type), c.dump) << c.text;
  EXPECT_EQ(Read("POINT(3.141592653589793 -1.5707963267948966)", CT::Geography, true),
            "geog Point: p(180 -90)");
  EXPECT_EQ(Read("POINT(1 2)", CT::Geometry, true), point);
  EXPECT_EQ(Dump(*OWKT::From("POINT(0.5 1)", true)), "geog Point: p(28.6479 57.2958)");
  EXPECT_EQ(Dump(*OWKT::From("POINT(0.5 1)", false)), "geom Point: p(0.5 1)");
  EXPECT_EQ(Dump(*OWKT::From("POINT(0.5 1)", CT::Geography)), "geog Point: p(0.5 1)");
}

std::string Nested(int depth, std::string const& innermost) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "GEOMETRYCOLLECTION(";
  return text + innermost + std::string(static_cast<std::size_t>(depth), ')');
}

TEST(OwktReader, CollectionsNestTenDeep) {
  EXPECT_EQ(Read(Nested(10, "POINT(1 2)")), "geom Mixed: p(1 2)");
  EXPECT_EQ(Read(Nested(9, "GEOMETRYCOLLECTION EMPTY")), "geom Mixed:");
  EXPECT_EQ(Read(Nested(11, "POINT(1 2)")), "Unknown");
  EXPECT_EQ(Read(Nested(10, "GEOMETRYCOLLECTION EMPTY")), "Unknown");
  // Depth is per branch: siblings at depth 9 after a deep branch are fine.
  EXPECT_EQ(
      Read("GEOMETRYCOLLECTION(" + Nested(9, "POINT(1 2)") + ", " + Nested(9, "POINT(3 4)") + ")"),
      "geom Mixed: p(1 2) p(3 4)");
}

// ---- attributes and the kind of the result --------------------------------

// The kind and the attribute record of a value, from the enumeration and
// SRID texts: "geom 1:2 EPSG:4326 Unknown:0", "geog EPSG:4326 EPSG:4326
// Spheroidal interior-left".
std::string Attributes(Spatial const& v) {
  std::ostringstream os;
  if (v.IsGeometry()) {
    Geometry::Attributes const a = v.AsGeometry().GetAttributes();
    os << "geom " << a.bias.GetX() << ':' << a.bias.GetY() << ' ' << a.original_srid << ' '
       << a.converted_srid;
  } else if (v.IsGeography()) {
    Geography::Attributes const a = v.AsGeography().GetAttributes();
    os << "geog " << a.original_srid << ' ' << a.converted_srid << ' ' << a.topological_type << ' '
       << a.winding_order;
  } else {
    os << v;
  }
  return os.str();
}

TEST(OwktReader, AttributesChooseTheKind) {
  std::string const geom = "geom 0:0 Unknown:0 Unknown:0";
  std::string const geog = "geog EPSG:4326 EPSG:4326 Spheroidal interior-left";
  struct Case {
    std::string attributes;
    CT forced;
    std::string expected;
  } const cases[] = {
      {"", CT::Unknown, geom},
      {";", CT::Identifying, geom},
      {"", CT::Geography, geog},
      // SRID= sets the original SRID only, and always means EPSG.
      {"SRID=4326;", CT::Unknown, geog},
      {"SRID=3857;", CT::Identifying, "geog EPSG:3857 EPSG:4326 Spheroidal interior-left"},
      {"SRID=4326;", CT::Geometry, "geom 0:0 EPSG:4326 Unknown:0"},
      // Topological type and winding order decide before the bias, the bias
      // before any SRID.
      {"BIAS=1:2,SRID=4326;", CT::Unknown, "geom 1:2 EPSG:4326 Unknown:0"},
      {"BIAS=1:2;", CT::Geography, geog},
      {"TOPOLOGICALTYPE=SPHEROIDAL;", CT::Unknown, geog},
      {"BIAS=1:2,TOPOLOGICALTYPE=FLAT;", CT::Unknown,
       "geog EPSG:4326 EPSG:4326 Flat interior-left"},
      {"WINDINGORDER=RIGHT,BIAS=1:2;", CT::Unknown,
       "geog EPSG:4326 EPSG:4326 Spheroidal interior-right"},
      {"windingorder=ambiguous;", CT::Unknown, "geog EPSG:4326 EPSG:4326 Spheroidal ambiguous"},
      {"WINDINGORDER=LEFT;", CT::Unknown, geog},
      {"TOPOLOGICALTYPE=FLAT;", CT::Geometry, geom},
      // A converted SRID with a real authority means geography; otherwise
      // the original SRID decides.
      {"CONVERTEDSRID=EPSG:3857;", CT::Unknown,
       "geog EPSG:4326 EPSG:3857 Spheroidal interior-left"},
      {"CONVERTEDSRID=UNKNOWN:5;", CT::Unknown, "geom 0:0 Unknown:0 Unknown:5"},
      {"CONVERTEDSRID=UNKNOWN:5,ORIGINALSRID=ESRI:1;", CT::Unknown,
       "geog ESRI:1 Unknown:5 Spheroidal interior-left"},
      {"ORIGINALSRID=UNKNOWN:7;", CT::Unknown, "geom 0:0 Unknown:7 Unknown:0"},
      {"ORIGINALSRID=NONE;", CT::Unknown, geom},
      {"ORIGINALSRID=WGS84;", CT::Unknown, geog},
      {"ORIGINALSRID=NAD27,CONVERTEDSRID=NONE;", CT::Unknown,
       "geog EPSG:2029 Unknown:0 Spheroidal interior-left"},
      {"ORIGINALSRID=4269;", CT::Unknown, "geog EPSG:4269 EPSG:4326 Spheroidal interior-left"},
      {"ORIGINALSRID=SRORG:6,CONVERTEDSRID=IAU2000:30100;", CT::Unknown,
       "geog SR-ORG:6 IAU2000:30100 Spheroidal interior-left"},
      {"originalsrid=oracle:8307,convertedsrid=ms:4326;", CT::Unknown,
       "geog ORACLE:8307 MS:4326 Spheroidal interior-left"},
      // A later key overrides an earlier one.
      {"SRID=4326,ORIGINALSRID=ESRI:9;", CT::Unknown,
       "geog ESRI:9 EPSG:4326 Spheroidal interior-left"},
      {"ORIGINALSRID=ESRI:9,SRID=3857,BIAS=1:1,BIAS=3:4;", CT::Unknown,
       "geom 3:4 EPSG:3857 Unknown:0"},
      {"TOPOLOGICALTYPE=FLAT,TOPOLOGICALTYPE=SPHEROIDAL;", CT::Unknown, geog},
      // Identifiers truncate and keep 24 bits.
      {"SRID=4326.9;", CT::Unknown, geog},
      {"SRID=16777217;", CT::Geometry, "geom 0:0 EPSG:1 Unknown:0"},
      {"SRID = 4326 , BIAS = -0.5 : 1e3 ;", CT::Unknown, "geom -0.5:1000 EPSG:4326 Unknown:0"},
  };
  for (Case const& c : cases) {
    std::string const text = c.attributes + "POINT(1 2)";
    SpatialPtr const v = OWKT::From(text, c.forced);
    EXPECT_EQ(Attributes(*v), c.expected) << text;
    EXPECT_EQ(Dump(*v).substr(5), "Point: p(1 2)") << text;
  }
}

// ---- failures -------------------------------------------------------------

TEST(OwktReader, TextThatDoesNotParseIsUnknown) {
  // clang-format off
  std::vector<std::string> cases = {
      "", " ", "POINT", "POINT(", "POINT(1", "POINT(1 2", "POINT()", "POINT(1)", "POINT(1 2 3)",
      "POINT(1, 2)", "POINT(1 2, 3 4)", "POINT((1 2))", "POINT Z (1 2)", "POINT ZM (1 2 3)",
      "POINT Z M (1 2 3)", "POINT EMPTY EMPTY", "POINTEMPTY", "POINT(1 2) extra", "POINT(1 2);",
      "POINT(1 2) 3", "POINT(1 2)POINT(3 4)", "POINT(1 2),POINT(3 4)", "POINT(1 2) (",
      "POINT(1 2){", "\tPOINT(1 2)", "POINT(1\t2)", "POINT(1 2\n)", "POINT\r\n(1 2)",
      "POINT(1x 2)", "POINT(1.2.3 4)", "POINT(1-2 3)", "POINT(1_2 3)", "POINT(-)", "{POINT(1 2)}",
      "POINT{1 2}", "POINT(1 2}", "LINESTRING()", "MULTIPOINT()", "MULTILINESTRING()",
      "POLYGON(0 0, 1 1)", "POLYGON((0 0, 1 0, 1 1, 0 0),)", "MULTIPOLYGON((0 0, 1 0, 1 1, 0 0))",
      "MULTILINESTRING((0 0, 1 1), EMPTY)", "MULTIPOINT(EMPTY)", "GEOMETRYCOLLECTION()",
      "GEOMETRYCOLLECTION(1 2)", "GEOMETRYCOLLECTION(POINT(1 2),)", "GEOMETRYCOLLECTION(EMPTY)",
      "GEOMETRYCOLLECTION Z (GEOMETRYCOLLECTION(POINT(4 5 6)))", "TRIANGLE((0 0, 1 0, 1 1, 0 0))",
      "EMPTY", "UNKNOWN", "IDENTIFYING:42", "(1 2)", ",POINT(1 2)", "SRID=4326", "SRID=4326;"};
  // Attribute sections in front of a good body; the first two are the
  // writer's own spellings.
  for (char const* section : {
      "WINDINGORDER=INTERIOR-RIGHT;", "ORIGINALSRID=SR-ORG:6;", "WINDINGORDER=INTERIOR-LEFT;",
      "CONVERTEDSRID=SR-ORG:6;", "WINDINGORDER=INTERIORLEFT;", "WINDINGORDER=1;", "WINDINGORDER=;",
      "TOPOLOGICALTYPE=ROUND;", "TOPOLOGICALTYPE=FLAT ", "SRID=4326 ", "SRID=4326,;",
      "SRID=4326;;", "SRID=4326;SRID=1;", "SRID 4326;", "SRID=EPSG:4326;", "SRID=;", "BIAS=1;",
      "BIAS=1:;", "BIAS=1:2:3;", "BIAS=:2;", "FOO=1;", "POINT=1;", "SRID=4326,,BIAS=1:2;",
      "ORIGINALSRID=EPSG;", "ORIGINALSRID=EPSG:;", "ORIGINALSRID=EPSG:3857:1;",
      "ORIGINALSRID=FOO:1;", "ORIGINALSRID=NAD83;", "ORIGINALSRID=EMPTY;",
      "ORIGINALSRID=WGS84:4326;", "ORIGINALSRID=:4326;", "{SRID=4326};", "UNKNOWN;"}) {
    cases.push_back(std::string(section) + "POINT(1 2)");
  }
  // clang-format on
  for (std::string const& text : cases) {
    for (CT type : {CT::Unknown, CT::Geometry, CT::Geography}) {
      SpatialPtr const v = OWKT::From(text, type);
      ASSERT_TRUE(v) << text;
      EXPECT_TRUE(v->IsUnknown()) << text << " read as " << Dump(*v);
    }
  }
}

TEST(OwktReader, ValidationAndLatitudeErrorsPropagate) {
  struct Case {
    char const* text;
    CT type;
    bool radians;
    bool out_of_range;
    char const* message;
  } const cases[] = {
      {"POLYGON((0 0, 1 1, 0 0))", CT::Unknown, false, false,
       "ring 0 of poly 0 has less than 4 coordinates"},
      {"LINESTRING(1 2)", CT::Unknown, false, false, "line 0 has less than 2 coordinates"},
      {"MULTILINESTRING((0 0, 1 1), (2 2))", CT::Geography, false, false,
       "line 1 has less than 2 coordinates"},
      {"POLYGON((0 0, 1 0, 1 1, 0 1))", CT::Unknown, false, false,
       "ring 0 of poly 0 is not closed"},
      {"MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((0 0, 1 0, 1 1, 0 0), (0 0, 1 1, 0 0)))", CT::Unknown,
       false, false, "ring 1 of poly 1 has less than 4 coordinates"},
      {"GEOMETRYCOLLECTION(LINESTRING(0 0, 1 1), MULTILINESTRING((2 2, 3 3), (5 5)))", CT::Unknown,
       false, false, "line 2 has less than 2 coordinates"},
      {"GEOMETRYCOLLECTION(POLYGON((0 0, 1 0, 1 1, 0 0)), MULTIPOLYGON(((0 0, 1 0, 1 1, 0 1))))",
       CT::Unknown, false, false, "ring 0 of poly 1 is not closed"},
      // Lines are checked before polys, whatever the order in the text.
      {"GEOMETRYCOLLECTION(POLYGON((0 0, 1 1, 0 0)), LINESTRING(1 2))", CT::Unknown, false, false,
       "line 0 has less than 2 coordinates"},
      {"POINT(0 91)", CT::Geography, false, true, "Latitude must not exceed +/- pi/2"},
      {"SRID=4326;POINT(0 -90.0001)", CT::Unknown, false, true,
       "Latitude must not exceed +/- pi/2"},
      {"POINT(0 1.6)", CT::Geography, true, true, "Latitude must not exceed +/- pi/2"},
      {"POINT(0 1e400)", CT::Geography, false, true, "Latitude must not exceed +/- pi/2"},
      {"LINESTRING(0 0, 0 -1.5708)", CT::Geography, true, true,
       "Latitude must not exceed +/- pi/2"},
  };
  for (Case const& c : cases) {
    try {
      SpatialPtr const v = OWKT::From(c.text, c.type, c.radians);
      ADD_FAILURE() << c.text << " read as " << Dump(*v);
    } catch (std::out_of_range const& e) {
      EXPECT_TRUE(c.out_of_range) << c.text;
      EXPECT_STREQ(e.what(), c.message) << c.text;
    } catch (std::invalid_argument const& e) {
      EXPECT_FALSE(c.out_of_range) << c.text;
      EXPECT_STREQ(e.what(), c.message) << c.text;
    }
  }
  EXPECT_THROW("POINT(0 1.6)"_rgeogowkt, std::out_of_range);
  EXPECT_EQ(Dump(*"POINT(0 91)"_owkt), "geom Point: p(0 91)");  // planar: no latitude check
  EXPECT_EQ(Dump(*"POINT(0 90)"_geogowkt), "geog Point: p(0 90)");
}

// ---- literals -------------------------------------------------------------

TEST(OwktReader, Literals) {
  for (SpatialPtr const& empty : {""_owkt, ""_geomowkt, ""_geogowkt, ""_rgeogowkt}) {
    EXPECT_EQ(empty.get(), nullptr);
    EXPECT_EQ(empty.get_deleter().GetResource(), GetMemoryResource());
  }
  SpatialPtr const unknown = OWKT::From("");
  ASSERT_TRUE(unknown);
  EXPECT_TRUE(unknown->IsUnknown());

  EXPECT_EQ(Dump(*"POINT(1 2)"_owkt), "geom Point: p(1 2)");
  EXPECT_EQ(Dump(*"SRID=4326;POINT(1 2)"_geomowkt), "geom Point: p(1 2)");
  EXPECT_EQ(Dump(*"POINT(1 2)"_geogowkt), "geog Point: p(1 2)");
  EXPECT_EQ(Dump(*"POINT(0 1.6)"_geogowkt), "geog Point: p(0 1.6)");
  EXPECT_EQ(Dump(*"POINT(1 2)\0 junk"_owkt), "geom Point: p(1 2)");
  EXPECT_TRUE(("POINT(1\0 2)"_owkt)->IsUnknown());
  SpatialPtr const radians = "POINT(0.5 1.5)"_rgeogowkt;
  GeographyCoordinate const c = radians->AsGeography().GetPoints()[0];
  EXPECT_NEAR(c.GetLongitude().Get().Get(), 0.5,
              GeographyCoordinate::GetMaxTruncationError().Get());
  EXPECT_NEAR(c.GetLatitude().Get().Get(), 1.5, GeographyCoordinate::GetMaxTruncationError().Get());
  EXPECT_EQ(*radians, *OWKT::From("POINT(0.5 1.5)", true));
}

// ---- memory ---------------------------------------------------------------

// A read that throws leaves nothing behind; one that fails leaves only its
// Unknown; every value goes back to the resource it came from.
TEST(OwktReader, ReadsReleaseWhatTheyAllocated) {
  test_support::CountingMemoryResource counting;
  {
    test_support::ScopedMemoryResource scope(&counting);
    std::string const long_line = "LINESTRING(" + std::string(2000, '1') + " 2, 3 4, 5 6, 7 8)";
    struct Case {
      std::string text;
      CT type;
      bool radians;
      char outcome;  // 'T' throws, 'U' Unknown, 'V' a value
    } const cases[] = {
        {"MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((0 0, 1 0, 1 1, 0 1)))", CT::Unknown, false, 'T'},
        {"GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1), LINESTRING(5 5))", CT::Unknown,
         false, 'T'},
        {"MULTIPOINT(1 2, 3 4, 5 6, 0 95)", CT::Geography, false, 'T'},
        {"LINESTRING(0 0, 1 1, 2 2, 0 2)", CT::Geography, true, 'T'},
        {"GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1), POLYGON((0 0, 1 0, 1 1, 0 0)) x",
         CT::Unknown, false, 'U'},
        {"MULTIPOINT(1 2, 3 4, 5 6", CT::Geography, false, 'U'},
        {Nested(11, "POINT(1 2)"), CT::Unknown, false, 'U'},
        {long_line, CT::Geometry, false, 'V'},
        {"SRID=4326;GEOMETRYCOLLECTION(POINT(1 2), POLYGON((0 0, 1 0, 1 1, 0 0)))", CT::Unknown,
         false, 'V'},
    };
    for (Case const& c : cases) {
      char outcome = 'T';
      try {
        SpatialPtr v = OWKT::From(c.text, c.type, c.radians);
        outcome = v->IsUnknown() ? 'U' : 'V';
        EXPECT_EQ(v.get_deleter().GetResource(), &counting) << c.text;
        if (outcome == 'U') {
          EXPECT_EQ(counting.LiveBytes(), v.get_deleter().GetBytes()) << c.text;
          EXPECT_EQ(counting.LiveBlocks(), 1u) << c.text;
        }
      } catch (std::exception const&) {
      }
      EXPECT_EQ(outcome, c.outcome) << c.text;
      EXPECT_EQ(counting.LiveBytes(), 0u) << c.text;
    }
  }
  EXPECT_TRUE(counting.Balanced());
  EXPECT_GT(counting.Allocations(), 0u);
}

// ---- hostile input ----------------------------------------------------------

TEST(OwktReader, HostileInputEndsInAValueUnknownOrADocumentedError) {
  auto repeat = [](std::string const& s, std::size_t n) {
    std::string r;
    for (std::size_t i = 0; i < n; ++i) r += s;
    return r;
  };
  std::string const nines(1'000'000, '9');
  struct Case {
    std::string text;
    char expect;  // 'U' Unknown, 'V' a value, '*' either or a documented exception
  } const cases[] = {
      {"((((((((", 'U'},
      {repeat("(", 100000), 'U'},
      {"POINT" + repeat("(", 100000), 'U'},
      {"MULTIPOLYGON" + repeat("(", 100000), 'U'},
      {repeat("GEOMETRYCOLLECTION(", 100000), 'U'},
      {repeat("GEOMETRYCOLLECTION(", 100000) + "POINT(1 2)" + repeat(")", 100000), 'U'},
      {repeat(")", 1000), 'U'},
      {repeat(";", 100000) + "POINT(1 2)", 'U'},
      {repeat("SRID=4326,", 100000) + "SRID=1;POINT(1 2)", 'V'},
      {"LINESTRING(" + repeat("1 1, ", 100000) + "2 2)", 'V'},
      {"POINT(" + nines + " 0)", 'V'},
      {"POINT(0." + nines + " 0)", 'V'},
      {"POINT(1e" + nines + " 0)", 'V'},
      {"POINT(1e-" + nines + " 0)", 'V'},
      {"BIAS=1e400:-1e400;POINT(0 0)", 'V'},
      {"SRID=1e400;POINT(0 0)", 'V'},
      {"SRID=-1;POINT(0 0)", 'V'},
      {"ORIGINALSRID=EPSG:-1e300;POINT(0 0)", 'V'},
      {"POINT(1e400 -1e400)", 'V'},
      {"POINT(" + repeat("1", 400) + " " + repeat("7", 400) + ")", 'V'},
      {repeat("A", 1'000'000), 'U'},
      {std::string(1000, '\0'), 'U'},
      {std::string("PO\0INT(1 2)", 11), 'U'},
      {std::string("POINT(1 2\0)", 11), 'U'},
      // clang-format off
      {"-", 'U'}, {"+", 'U'}, {".", 'U'}, {"POINT(+ -", 'U'}, {"MULTIPOINT((1 2), (3 4)", 'U'},
      {"POLYGON((0 0, 1 0, 1 1, 0 0)", 'U'}, {"GEOMETRYCOLLECTION(POINT(1 2)", 'U'},
      // clang-format on
      {"SRID=4326;POINT(1e400 0)", '*'},
      {"POINT(1e400 1e400)", '*'},
  };
  for (Case const& c : cases) {
    std::string const label = c.text.substr(0, 40);
    for (CT type : {CT::Unknown, CT::Geography}) {
      try {
        SpatialPtr const v = OWKT::From(c.text, type);
        ASSERT_TRUE(v) << label;
        EXPECT_TRUE(c.expect == '*' || v->IsUnknown() == (c.expect == 'U')) << label;
        EXPECT_FALSE(OWKT::To(*v).empty()) << label;
      } catch (std::out_of_range const&) {
        EXPECT_TRUE(c.expect == '*' || type == CT::Geography) << label;
      } catch (std::invalid_argument const&) {
        EXPECT_NE(c.expect, 'U') << label;
      }
    }
  }
}

// Random token soup: every outcome is a value, an Unknown or a documented
// exception, and every value can be written again.
TEST(OwktReader, RandomTokenSoup) {
  // clang-format off
  char const* const pieces[] = {
      "POINT", "LINESTRING", "POLYGON", "MULTIPOINT", "MULTILINESTRING", "MULTIPOLYGON",
      "GEOMETRYCOLLECTION", "EMPTY", "Z", "ZM", "(", ")", "(", ")", ",", ";", ":", "=", "{", "1",
      "-2.5", "3e2", ".", "-", "SRID", "BIAS", "ORIGINALSRID", "EPSG", "WGS84", " ", "\t", "x",
      "0 0", "1 1, 2 2", "(0 0, 1 0, 1 1, 0 0)"};
  // clang-format on
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (int n = static_cast<int>(rng() % 24); n > 0; --n)
      text += pieces[rng() % std::size(pieces)];
    try {
      SpatialPtr const v = OWKT::From(text, static_cast<CT>(rng() % 4), rng() % 2 == 0);
      ASSERT_TRUE(v) << text;
      EXPECT_FALSE(OWKT::To(*v).empty()) << text;
    } catch (std::out_of_range const&) {
    } catch (std::invalid_argument const&) {
    }
  }
}

}  // namespace
}  // namespace ostrel
