// SQL Server spatial binary: byte vectors laid out by hand (header, implied
// single point and segment, the three tables and their run rules, version-1
// ring attributes, collections), the family chosen by the SRID, the writer's
// exact tables against an independent encoder, round trips of random values
// of every shape type and both families, and hostile tables: truncation at
// every offset, counts beyond the bytes, indexes out of range, shapes that
// overlap or whose parents loop, random corruption under an allocation
// budget.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "ostrel/serialization/buffer_reader.hpp"
#include "ostrel/serialization/sql_server.hpp"
#include "ostrel/serialization/wkt.hpp"
#include "serialization/serialization_support.hpp"

namespace ostrel {
namespace {

using namespace serialization_test;
using Bytes = std::vector<std::uint8_t>;
using S = ShapeType;
using SQL = SqlServerSerialization;

// Family, SRIDs and the WKT of what was read.
std::string Show(SpatialPtr const& v) {
  if (v->IsUnknown()) return "Unknown";
  auto srids = [](auto const& g) {
    return to_string(g.GetOriginalSRID()) + "/" + to_string(g.GetConvertedSRID()) + " ";
  };
  if (v->IsGeography()) return "geog " + srids(v->AsGeography()) + WktSerialization::Write(*v);
  return "geom " + srids(v->AsGeometry()) + WktSerialization::Write(*v);
}

// Hand-laid SQL Server bytes. Geographic points are given as they are
// stored, latitude first.
struct Sql {
  Sql(std::int32_t srid, std::uint8_t version, std::uint8_t properties) {
    b.U32(static_cast<std::uint32_t>(srid)).Byte(version).Byte(properties);
  }
  Sql& Points(Path const& points) {
    b.U32(points.size());
    return Doubles(points);
  }
  Sql& Doubles(Path const& pairs) {
    for (XY const& p : pairs) b.F64(p.first).F64(p.second);
    return *this;
  }
  Sql& Figures(std::vector<std::pair<int, int>> const& figures) {
    b.U32(figures.size());
    for (auto [attribute, first] : figures)
      b.Byte(attribute).U32(static_cast<std::uint32_t>(first));
    return *this;
  }
  Sql& Shapes(std::vector<std::tuple<int, int, int>> const& shapes) {
    b.U32(shapes.size());
    for (auto [parent, first, type] : shapes) {
      b.U32(static_cast<std::uint32_t>(parent)).U32(static_cast<std::uint32_t>(first)).Byte(type);
    }
    return *this;
  }
  Bytes Done() const { return b.Bytes(); }
  WkbBuilder b;
};

Path const kSquare{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}};
Path const kHole{{1, 1}, {1, 2}, {2, 2}, {2, 1}, {1, 1}};
Path Cat(Path a, Path const& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(SqlServerReader, Vectors) {
  std::string const square = "(0 0, 4 0, 4 4, 0 4, 0 0)", hole = "(1 1, 1 2, 2 2, 2 1, 1 1)";
  struct {
    char const* what;
    Bytes bytes;
    std::string read;
  } const cases[] = {
      {"single point", Sql(0, 2, 0x0C).Doubles({{1, 2}}).Done(),
       "geom Unknown:0/Unknown:0 POINT(1 2)"},
      {"single point, version 1", Sql(3857, 1, 0x0C).Doubles({{1, 2}}).Done(),
       "geom Unknown:3857/Unknown:3857 POINT(1 2)"},
      {"single segment", Sql(0, 2, 0x14).Doubles({{1, 2}, {3, 4}}).Done(),
       "geom Unknown:0/Unknown:0 LINESTRING(1 2, 3 4)"},
      {"single point wins over segment", Sql(0, 2, 0x1C).Doubles({{1, 2}}).Done(),
       "geom Unknown:0/Unknown:0 POINT(1 2)"},
      {"other property bits ignored", Sql(0, 2, 0xEC).Doubles({{1, 2}}).Done(),
       "geom Unknown:0/Unknown:0 POINT(1 2)"},
      {"line",
       Sql(0, 2, 4).Points({{0, 0}, {1, 1}, {2, 0}}).Figures({{1, 0}}).Shapes({{-1, 0, 2}}).Done(),
       "geom Unknown:0/Unknown:0 LINESTRING(0 0, 1 1, 2 0)"},
      {"Z and M blocks skipped, trailing bytes ignored",
       Sql(0, 1, 7)
           .Points({{0, 0}, {1, 1}})
           .Doubles({{9, 9}, {8, 8}})
           .Figures({{1, 0}})
           .Shapes({{-1, 0, 2}})
           .Doubles({{7, 7}})
           .Done(),
       "geom Unknown:0/Unknown:0 LINESTRING(0 0, 1 1)"},
      {"empty point", Sql(0, 2, 4).Points({}).Figures({}).Shapes({{-1, -1, 1}}).Done(),
       "geom Unknown:0/Unknown:0 POINT EMPTY"},
      {"empty line", Sql(0, 2, 4).Points({}).Figures({}).Shapes({{-1, -1, 2}}).Done(),
       "geom Unknown:0/Unknown:0 LINESTRING EMPTY"},
      {"point takes the first point of its figure",
       Sql(0, 2, 4).Points({{1, 2}, {3, 4}}).Figures({{1, 0}}).Shapes({{-1, 0, 1}}).Done(),
       "geom Unknown:0/Unknown:0 POINT(1 2)"},
      {"polygon, version 2: first figure exterior",
       Sql(0, 2, 4)
           .Points(Cat(kSquare, kHole))
           .Figures({{2, 0}, {0, 5}})
           .Shapes({{-1, 0, 3}})
           .Done(),
       "geom Unknown:0/Unknown:0 POLYGON(" + square + ", " + hole + ")"},
      {"version 2 keeps stored order whatever the attributes",
       Sql(0, 2, 4)
           .Points(Cat(kHole, kSquare))
           .Figures({{0, 0}, {2, 5}})
           .Shapes({{-1, 0, 3}})
           .Done(),
       "geom Unknown:0/Unknown:0 POLYGON(" + hole + ", " + square + ")"},
      {"version 1 moves a late exterior ring to the front",
       Sql(0, 1, 4)
           .Points(Cat(kHole, kSquare))
           .Figures({{0, 0}, {2, 5}})
           .Shapes({{-1, 0, 3}})
           .Done(),
       "geom Unknown:0/Unknown:0 POLYGON(" + square + ", " + hole + ")"},
      {"open ring closed",
       Sql(0, 2, 4).Points({{0, 0}, {1, 0}, {1, 1}}).Figures({{2, 0}}).Shapes({{-1, 0, 3}}).Done(),
       "geom Unknown:0/Unknown:0 POLYGON((0 0, 1 0, 1 1, 0 0))"},
      {"multipoint: every point of the table",
       Sql(0, 2, 4)
           .Points({{1, 2}, {3, 4}, {5, 6}})
           .Figures({{1, 0}})
           .Shapes({{-1, 0, 4}, {0, 0, 1}})
           .Done(),
       "geom Unknown:0/Unknown:0 MULTIPOINT((1 2), (3 4), (5 6))"},
      {"multilinestring: every figure",
       Sql(0, 2, 4)
           .Points({{0, 0}, {1, 1}, {2, 2}, {3, 3}})
           .Figures({{1, 0}, {1, 2}})
           .Shapes({{-1, 0, 5}, {0, 0, 2}, {0, 1, 2}})
           .Done(),
       "geom Unknown:0/Unknown:0 MULTILINESTRING((0 0, 1 1), (2 2, 3 3))"},
      {"multipolygon: later shapes, an empty one skipped, a backward one keeps one figure",
       Sql(0, 2, 4)
           .Points(Cat(kSquare, kHole))
           .Figures({{2, 0}, {2, 5}})
           .Shapes({{-1, 0, 6}, {0, 0, 3}, {0, -1, 3}, {0, 1, 3}})
           .Done(),
       "geom Unknown:0/Unknown:0 MULTIPOLYGON((" + square + "), (" + hole + "))"},
      {"collection: nested collections only group their members",
       Sql(0, 2, 4)
           .Points(Cat({{9, 9}, {0, 0}, {1, 1}}, kSquare))
           .Figures({{1, 0}, {1, 1}, {2, 3}})
           .Shapes({{-1, 0, 7}, {0, 0, 1}, {0, 1, 5}, {2, 1, 2}, {0, 2, 6}, {4, 2, 3}, {0, -1, 2}})
           .Done(),
       "geom Unknown:0/Unknown:0 GEOMETRYCOLLECTION(POINT(9 9), LINESTRING(0 0, 1 1), POLYGON(" +
           square + "))"},
      {"empty collection", Sql(0, 2, 4).Points({}).Figures({}).Shapes({{-1, -1, 7}}).Done(),
       "geom Unknown:0/Unknown:0 GEOMETRYCOLLECTION EMPTY"},
      // What reads as Unknown.
      {"empty input", {}, "Unknown"},
      {"null", Hex("FFFFFFFF"), "Unknown"},
      {"null, whatever follows", Hex("FFFFFFFF 09 00 1234"), "Unknown"},
      {"valid bit clear, header alone", Sql(4326, 2, 0x08).Done(), "Unknown"},
      {"valid bit clear",
       Sql(0, 2, 0).Points({{1, 2}}).Figures({{1, 0}}).Shapes({{-1, 0, 1}}).Done(), "Unknown"},
      {"root type 0", Sql(0, 2, 4).Points({}).Figures({}).Shapes({{-1, -1, 0}}).Done(), "Unknown"},
      {"root type 8 (a curve)", Sql(0, 2, 4).Points({}).Figures({}).Shapes({{-1, -1, 8}}).Done(),
       "Unknown"},
      {"member type 9",
       Sql(0, 2, 4).Points({{1, 2}}).Figures({{1, 0}}).Shapes({{-1, 0, 7}, {0, 0, 9}}).Done(),
       "Unknown"},
      {"root with a parent",
       Sql(0, 2, 4).Points({{1, 2}}).Figures({{1, 0}}).Shapes({{0, 0, 1}}).Done(), "Unknown"},
      {"member's parent is itself",
       Sql(0, 2, 4).Points({{1, 2}}).Figures({{1, 0}}).Shapes({{-1, 0, 4}, {1, 0, 1}}).Done(),
       "Unknown"},
      {"member's parent lies ahead",
       Sql(0, 2, 4)
           .Points({{1, 2}, {3, 4}})
           .Figures({{1, 0}, {1, 1}})
           .Shapes({{-1, 0, 7}, {2, 0, 1}, {0, 1, 1}})
           .Done(),
       "Unknown"},
      {"two shapes over one ring",
       Sql(0, 2, 4)
           .Points(kSquare)
           .Figures({{2, 0}})
           .Shapes({{-1, 0, 6}, {0, 0, 3}, {0, 0, 3}})
           .Done(),
       "Unknown"},
      {"two line shapes over one figure",
       Sql(0, 2, 4)
           .Points({{0, 0}, {1, 1}})
           .Figures({{1, 0}})
           .Shapes({{-1, 0, 7}, {0, 0, 2}, {0, 0, 2}})
           .Done(),
       "Unknown"},
  };
  for (auto const& c : cases) EXPECT_EQ(Show(SQL::Read(c.bytes)), c.read) << c.what;
}

TEST(SqlServerReader, FamilyBySrid) {
  for (std::int32_t srid : {4120, 4326, 4269, 4999}) {
    SpatialPtr const v = SQL::Read(Sql(srid, 2, 0x0C).Doubles({{10, 20}}).Done());
    std::string const s = "EPSG:" + std::to_string(srid);
    EXPECT_EQ(Show(v), "geog " + s + "/" + s + " POINT(20 10)") << srid;
    EXPECT_EQ(v->AsGeography().GetTopologicalType(), TopologicalType::Spheroidal);
  }
  for (std::int32_t srid : {0, 3857, 4119, 5000, 27700}) {
    std::string const s = "Unknown:" + std::to_string(srid);
    EXPECT_EQ(Show(SQL::Read(Sql(srid, 2, 0x0C).Doubles({{10, 20}}).Done())),
              "geom " + s + "/" + s + " POINT(10 20)")
        << srid;
  }
  // A negative SRID is planar and keeps the low 24 bits of its number.
  EXPECT_EQ(Show(SQL::Read(Sql(-2, 2, 0x0C).Doubles({{1, 2}}).Done())),
            "geom Unknown:16777214/Unknown:16777214 POINT(1 2)");

  // Latitude first; longitudes wrapped, latitudes clamped at the poles.
  auto geo = [](double lat, double lon) {
    return Show(SQL::Read(Sql(4326, 2, 0x0C).Doubles({{lat, lon}}).Done()));
  };
  EXPECT_EQ(geo(10, 190), geo(10, -170));
  EXPECT_EQ(geo(90.000005, 5), geo(90, 5));
  EXPECT_EQ(Throws<std::out_of_range>([&] { geo(90.0001, 5); }), "Latitude must not exceed +/- 90");

  // Planar values take the bias of their first coordinate.
  SpatialPtr const v = SQL::Read(Sql(0, 2, 0x14).Doubles({{1000.5, -3}, {1001, -4}}).Done());
  EXPECT_EQ(v->AsGeometry().GetBias(), GeometryCoordinate::Bias(1000.5, -3));

  // Geographic rings are neither oriented nor densified: a clockwise ring
  // of long edges reads as stored (WKB would reverse and densify it).
  Path const cw{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}};  // (lon, lat)
  Path stored;
  for (XY const& p : cw) stored.push_back({p.second, p.first});
  SpatialPtr const ring =
      SQL::Read(Sql(4326, 2, 4).Points(stored).Figures({{2, 0}}).Shapes({{-1, 0, 3}}).Done());
  EXPECT_EQ(ModelOf(*ring), ModelOf(MakeValue<DefaultGeography>({S::Polygon, {}, {}, {{cw}}})));
}

TEST(SqlServerReader, Failures) {
  struct {
    char const* what;
    Bytes bytes;
    std::string message;
  } const out_of_range[] = {
      {"short SRID", Hex("E610"), "overflow; len:2, pos:0, newPos:4"},
      {"no properties", Hex("E6100000 02"), "overflow; len:5, pos:5, newPos:6"},
      {"single point cut short", Hex("00000000 020C 0000000000000000 0000"),
       "overflow; len:16, pos:14, newPos:22"},
      {"no point count", Sql(0, 2, 4).Done(), "overflow; len:6, pos:6, newPos:10"},
      {"points beyond the bytes", WkbBuilder().U32(0).Byte(2).Byte(4).U32(1).Bytes(),
       "overflow; len:10, pos:10, newPos:26"},
      {"100 million points", WkbBuilder().U32(0).Byte(2).Byte(4).U32(100000000).Bytes(),
       "overflow; len:10, pos:10, newPos:1600000010"},
      {"point count past 32-bit offsets",
       WkbBuilder().U32(0).Byte(2).Byte(4).U32(0x10000000).Bytes(),
       "size_t overflow; (pos:10 + amt:4294967296) > max:4294967295"},
      {"Z block beyond the bytes", Sql(0, 2, 5).Points({{1, 2}}).Done(),
       "overflow; len:26, pos:26, newPos:34"},
      {"no shapes", Sql(0, 2, 4).Points({}).Figures({}).Shapes({}).Done(), "pos:0 >= size:0"},
      {"first figure out of range",
       Sql(0, 2, 4).Points({{1, 2}}).Figures({{1, 0}}).Shapes({{-1, 5, 1}}).Done(),
       "pos:5 >= size:1"},
      {"negative first figure other than -1",
       Sql(0, 2, 4).Points({{1, 2}}).Figures({{1, 0}}).Shapes({{-1, -2, 1}}).Done(),
       "pos:4294967294 >= size:1"},
      {"first point out of range",
       Sql(0, 2, 4).Points({{1, 2}}).Figures({{1, 7}}).Shapes({{-1, 0, 1}}).Done(),
       "pos:7 >= size:1"},
      {"figure's run ends beyond the points",
       Sql(0, 2, 4).Points({{1, 2}, {3, 4}}).Figures({{1, 0}, {1, 9}}).Shapes({{-1, 0, 5}}).Done(),
       "pos:8 >= size:2"},
      {"shape's figures end beyond the table",
       Sql(0, 2, 4)
           .Points(kSquare)
           .Figures({{2, 0}})
           .Shapes({{-1, 0, 6}, {0, 0, 3}, {0, 3, 3}})
           .Done(),
       "pos:2 >= size:1"},
  };
  for (auto const& c : out_of_range) {
    EXPECT_EQ(Throws<std::out_of_range>([&] { SQL::Read(c.bytes); }), c.message) << c.what;
  }
  for (int version : {0, 3, 255}) {
    EXPECT_EQ(Throws<std::invalid_argument>(
                  [&] { SQL::Read(Sql(0, static_cast<std::uint8_t>(version), 0).Done()); }),
              "unknown version:" + std::to_string(version));
  }
  struct {
    char const* what;
    Bytes bytes;
    std::string message;
  } const invalid[] = {
      {"one-point line",
       Sql(0, 2, 4).Points({{1, 2}}).Figures({{1, 0}}).Shapes({{-1, 0, 2}}).Done(),
       "line has less than 2 coordinates"},
      {"a figure whose successor starts before it keeps its first point",
       Sql(0, 2, 4)
           .Points({{0, 0}, {1, 1}, {2, 2}})
           .Figures({{1, 1}, {1, 0}})
           .Shapes({{-1, 0, 5}})
           .Done(),
       "line has less than 2 coordinates"},
      {"ring A B A",
       Sql(0, 2, 4).Points({{0, 0}, {1, 1}, {0, 0}}).Figures({{2, 0}}).Shapes({{-1, 0, 3}}).Done(),
       "ring has less than 4 coordinates"},
  };
  for (auto const& c : invalid) {
    EXPECT_EQ(Throws<std::invalid_argument>([&] { SQL::Read(c.bytes); }), c.message) << c.what;
  }
}

// The independent encoder: the writer's tables from a model (geographic
// points given as (longitude, latitude), stored latitude first).
Bytes Expected(Model const& m, std::uint32_t srid, bool geographic) {
  auto const type = static_cast<int>(m.type);
  auto xy = [geographic](XY p) { return geographic ? XY{p.second, p.first} : p; };
  if (m.type == S::Point && !m.points.empty()) {
    return Sql(static_cast<std::int32_t>(srid), 2, 0x0C).Doubles({xy(m.points[0])}).Done();
  }
  if (m.type == S::LineString && !m.lines.empty() && m.lines[0].size() == 2) {
    return Sql(static_cast<std::int32_t>(srid), 2, 0x14)
        .Doubles({xy(m.lines[0][0]), xy(m.lines[0][1])})
        .Done();
  }
  Path points;
  std::vector<std::pair<int, int>> figures;
  std::vector<std::tuple<int, int, int>> shapes;
  bool const collection = type >= 4;
  int const parent = collection ? 0 : -1;
  if (collection) shapes.emplace_back(-1, 0, type);
  auto figure = [&](int attribute, Path const& path) {
    figures.emplace_back(attribute, static_cast<int>(points.size()));
    for (XY const& p : path) points.push_back(xy(p));
  };
  for (XY const& p : m.points) {
    shapes.emplace_back(parent, static_cast<int>(figures.size()), 1);
    figure(0, {p});
  }
  for (Path const& l : m.lines) {
    shapes.emplace_back(parent, static_cast<int>(figures.size()), 2);
    figure(1, l);
  }
  for (Rings const& poly : m.polys) {
    shapes.emplace_back(parent, static_cast<int>(figures.size()), 3);
    for (std::size_t r = 0; r < poly.size(); ++r) figure(r == 0 ? 2 : 0, poly[r]);
  }
  if (figures.empty()) shapes = {{-1, -1, type >= 1 && type <= 6 ? type : 7}};
  return Sql(static_cast<std::int32_t>(srid), 2, 4)
      .Points(points)
      .Figures(figures)
      .Shapes(shapes)
      .Done();
}

TEST(SqlServerWriter, Vectors) {
  auto write = [](Model const& m, std::uint32_t srid = 0) {
    return ToHex(SQL::Write(MakeValue<DefaultGeometry>(
        m, Geometry::Attributes({}, SRID(SRID::Authority::None, srid), SRID()))));
  };
  EXPECT_EQ(write({S::Point, {{1, 2}}, {}, {}}, 3857),
            "110F0000020C000000000000F03F0000000000000040");
  EXPECT_EQ(write({S::LineString, {}, {{{1, 2}, {3, 4}}}, {}}),
            "000000000214"
            "000000000000F03F"
            "0000000000000040"
            "0000000000000840"
            "0000000000001040");
  // Empty values: no points, no figures, the one shape (-1, -1, type).
  std::string const empty =
      "000000000204"
      "00000000"
      "00000000"
      "01000000"
      "FFFFFFFF"
      "FFFFFFFF";
  EXPECT_EQ(write({S::LineString, {}, {}, {}}), empty + "02");
  EXPECT_EQ(write({S::Point, {}, {}, {}}), empty + "01");
  EXPECT_EQ(ToHex(SQL::Write(DefaultGeometry())), empty + "07");
  // A line of three points: one stroke figure, the shape without a parent.
  EXPECT_EQ(write({S::LineString, {}, {{{0, 0}, {1, 1}, {2, 0}}}, {}}),
            "000000000204"
            "03000000"
            "00000000000000000000000000000000"
            "000000000000F03F000000000000F03F"
            "00000000000000400000000000000000"
            "01000000"
            "0100000000"
            "01000000"
            "FFFFFFFF"
            "00000000"
            "02");
  // A collection: points, then lines, then rings; exterior rings 2, holes
  // 0; the members under a root.
  Model const mixed{S::Mixed, {{9, 9}}, {{{0, 0}, {1, 1}}}, {{kSquare, kHole}}};
  EXPECT_EQ(write(mixed), ToHex(Expected(mixed, 0, false)));
  EXPECT_EQ(write(mixed).substr(12 + 8 + 13 * 32),
            "04000000"
            "0000000000"
            "0101000000"
            "0203000000"
            "0008000000"
            "04000000"
            "FFFFFFFF00000000"
            "07"
            "0000000000000000"
            "01"
            "0000000001000000"
            "02"
            "0000000002000000"
            "03");
  Model const multi{S::MultiPolygon, {}, {}, {{kSquare}, {kHole}}};
  EXPECT_EQ(write(multi), ToHex(Expected(multi, 0, false)));

  // Geographic points: latitude then longitude in degrees.
  SpatialPtr const g = SQL::Read(Sql(4326, 2, 0x0C).Doubles({{10, 20}}).Done());
  Bytes const bytes = SQL::Write(*g);
  ASSERT_EQ(bytes.size(), 22u);
  EXPECT_EQ(ToHex(Bytes(bytes.begin(), bytes.begin() + 6)), "E6100000020C");
  EXPECT_EQ(SQL::Read(bytes)->GetHash(), g->GetHash());
  BufferReader r(bytes);
  r.SeekTo(6);
  EXPECT_NEAR(r.ReadDouble(), 10, 1e-7);
  EXPECT_NEAR(r.ReadDouble(), 20, 1e-7);

  EXPECT_EQ(Throws<std::invalid_argument>([] { SQL::Write(Unknown()); }),
            "can only translate Geography or Geometry");
  EXPECT_EQ(Throws<std::invalid_argument>([] { SQL::Write(Identifying(7)); }),
            "can only translate Geography or Geometry");
}

TEST(SqlServerRoundTrip, RandomValuesOfEveryShape) {
  BinaryRoundTrips(
      41, {0, 3857, 4119, 5000, 27700, 16777215}, {4120, 4269, 4326, 4999},
      [](Spatial const& v) { return SQL::Write(v); }, [](Bytes const& b) { return SQL::Read(b); },
      Expected);
}

// Tables that reuse a large ring many times: each shape or figure is a few
// bytes, each would be thousands of coordinates.
TEST(SqlServerHostile, OverlapsDoNotAmplify) {
  Path ring;
  for (int k = 0; k < 1000; ++k) ring.push_back({std::cos(k * 0.00628), std::sin(k * 0.00628)});
  ring.push_back(ring.front());
  std::vector<std::tuple<int, int, int>> shapes{{-1, 0, 6}};
  for (int s = 0; s < 5000; ++s) shapes.emplace_back(0, 0, 3);
  std::vector<std::pair<int, int>> figures;
  for (int f = 0; f < 5000; ++f) figures.emplace_back(f % 2 == 0 ? 1 : 2, f % 2 == 0 ? 0 : 1000);
  Bytes const polygons = Sql(0, 2, 4).Points(ring).Figures({{2, 0}}).Shapes(shapes).Done();
  Bytes const lines = Sql(0, 2, 4).Points(ring).Figures(figures).Shapes({{-1, 0, 5}}).Done();
  std::vector<std::tuple<int, int, int>> members{{-1, 0, 7}};
  for (int s = 0; s < 5000; ++s) members.emplace_back(0, 0, 2);
  Bytes const collection = Sql(0, 2, 4).Points(ring).Figures({{1, 0}}).Shapes(members).Done();
  for (Bytes const* b : {&polygons, &collection}) {
    LimitedResource budget(SIZE_MAX, 64 * b->size());
    test_support::ScopedMemoryResource scope(&budget);
    EXPECT_EQ(Show(SQL::Read(*b)), "Unknown");
  }
  // Figures that alternate forward and back fail as one-point lines.
  EXPECT_EQ(Throws<std::invalid_argument>([&] { SQL::Read(lines); }),
            "line has less than 2 coordinates");
}

TEST(SqlServerHostile, TruncationAtEveryOffset) {
  for (bool geographic : {false, true}) {
    Model const m = Generator(geographic ? 5 : 6, geographic).Make(S::Mixed);
    Bytes const full = SQL::Write(*ReadersValue(m, geographic, geographic ? 4326 : 0));
    EXPECT_EQ(Show(SQL::Read({})), "Unknown");
    for (std::size_t n = 1; n < full.size(); ++n) {
      Bytes const prefix(full.begin(), full.begin() + static_cast<long>(n));
      EXPECT_EQ(Throws<std::out_of_range>([&] { SQL::Read(prefix); }).substr(0, 9), "overflow;")
          << n;
    }
  }
}

TEST(SqlServerHostile, CorruptedBytes) {
  CorruptionTally tally;
  std::mt19937 rng(77);
  for (int i = 0; i < 3000; ++i) {
    bool const geographic = i % 2 == 0;
    Model const m = Generator(static_cast<unsigned>(i), geographic).Make(kAllShapes[i % 7], false);
    Bytes bytes = SQL::Write(*ReadersValue(m, geographic, geographic ? 4326 : 0));
    Corrupt(bytes, rng, 1 + i % 4);
    tally.Run([&] { return SQL::Read(bytes); }, i);
  }
  EXPECT_GT(tally.values, 500);
  EXPECT_GT(tally.unknowns, 100);
  EXPECT_GT(tally.errors, 500);
}

}  // namespace
}  // namespace ostrel
