// Oracle element form: byte vectors laid out by hand (single and multiple
// elements, gtypes, every triplet kind, clusters, compound elements skipped
// with their sub-triplets, what validation turns into Unknown), the family
// chosen by the SRID, the writer's exact bytes against an independent
// encoder, round trips of random values of every shape type and both
// families, and hostile bytes: truncation, offsets beyond the ordinates,
// overlapping triplets, random corruption under an allocation budget.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "ostrel/serialization/oracle.hpp"
#include "ostrel/serialization/wkt.hpp"
#include "serialization/serialization_support.hpp"

namespace ostrel {
namespace {

using namespace serialization_test;
using Bytes = std::vector<std::uint8_t>;
using S = ShapeType;
using ORA = OracleSerialization;
using Triplets = std::vector<std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>>;

std::string Show(SpatialPtr const& v) {
  if (v->IsUnknown()) return "Unknown";
  if (v->IsGeography()) {
    return "geog " + to_string(v->AsGeography().GetOriginalSRID()) + " " +
           WktSerialization::Write(*v);
  }
  return "geom " + to_string(v->AsGeometry().GetOriginalSRID()) + " " + WktSerialization::Write(*v);
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Hand-laid element form.
struct Ora {
  explicit Ora(std::uint8_t multi = 0) { b.Byte(1).Byte(multi); }
  Ora& Element(std::uint32_t gtype, std::int32_t srid = 0) {
    b.U32(gtype).U32(static_cast<std::uint32_t>(srid));
    return *this;
  }
  Ora& Info(Triplets const& triplets) {
    for (auto [offset, type, interpretation] : triplets)
      b.U32(offset).U32(type).U32(interpretation);
    b.U32(0);
    return *this;
  }
  Ora& Ordinates(std::vector<double> const& values) {
    for (double v : values) b.F64(v);
    return *this;
  }
  Ora& XY(Path const& path) {
    for (auto [x, y] : path) b.F64(x).F64(y);
    return *this;
  }
  Bytes Done() const { return b.Bytes(); }
  WkbBuilder b;
};

Path const kSquare{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}};
Path const kHole{{1, 1}, {1, 2}, {2, 2}, {2, 1}, {1, 1}};

TEST(OracleReader, Vectors) {
  std::string const square = "(0 0, 4 0, 4 4, 0 4, 0 0)", hole = "(1 1, 1 2, 2 2, 2 1, 1 1)";
  struct {
    char const* what;
    Bytes bytes;
    std::string read;
  } const cases[] = {
      {"point element", Ora().Element(2001).XY({{1, 2}}).Done(), "geom Unknown:0 POINT(1 2)"},
      {"line", Ora().Element(2002, 8307).Info({{1, 2, 1}}).XY({{0, 0}, {1, 1}, {2, 0}}).Done(),
       "geom Unknown:8307 LINESTRING(0 0, 1 1, 2 0)"},
      {"hundreds digit unused, dimensions kept to 8 bits",
       Ora().Element(258302).Info({{1, 2, 1}}).XY({{0, 0}, {1, 1}}).Done(),
       "geom Unknown:0 LINESTRING(0 0, 1 1)"},
      {"three dimensions: the third dropped",
       Ora().Element(3002).Info({{1, 2, 1}}).Ordinates({0, 0, 9, 1, 1, 9}).Done(),
       "geom Unknown:0 LINESTRING(0 0, 1 1)"},
      {"polygon with a hole",
       Ora().Element(2003).Info({{1, 1003, 1}, {11, 2003, 1}}).XY(kSquare).XY(kHole).Done(),
       "geom Unknown:0 POLYGON(" + square + ", " + hole + ")"},
      {"arc ring: no polygon", Ora().Element(2003).Info({{1, 1003, 2}}).XY(kSquare).Done(),
       "geom Unknown:0 POLYGON EMPTY"},
      {"interior ring without exterior: left out",
       Ora().Element(2003).Info({{1, 2003, 1}}).XY(kHole).Done(), "geom Unknown:0 POLYGON EMPTY"},
      {"compound line skipped with its two sub-triplets",
       Ora()
           .Element(2002)
           .Info({{1, 4, 2}, {1, 2, 1}, {3, 2, 2}, {7, 2, 1}})
           .XY({{0, 0}, {1, 1}, {2, 0}, {5, 5}, {6, 6}})
           .Done(),
       "geom Unknown:0 LINESTRING(5 5, 6 6)"},
      {"solid (1007, 1) is compound, (1007, 3) stands alone",
       Ora()
           .Element(2006)
           .Info({{1, 1007, 1}, {1, 2, 1}, {5, 1007, 3}, {5, 2, 1}})
           .XY({{0, 0}, {1, 1}, {2, 2}, {3, 3}})
           .Done(),
       "geom Unknown:0 MULTILINESTRING((2 2, 3 3))"},
      {"unsupported pairs skipped",
       Ora()
           .Element(2005)
           .Info({{1, 1, 0}, {3, 8, 8}, {5, 1, 1}})
           .XY({{0, 0}, {1, 1}, {2, 2}})
           .Done(),
       "geom Unknown:0 MULTIPOINT((2 2))"},
      {"point entries first, then the clusters' points",
       Ora().Element(2005).Info({{1, 1, 2}, {5, 1, 1}}).XY({{1, 1}, {2, 2}, {3, 3}}).Done(),
       "geom Unknown:0 MULTIPOINT((3 3), (1 1), (2 2))"},
      {"a LineString takes the first line",
       Ora().Element(2002).Info({{1, 2, 1}, {5, 2, 1}}).XY({{0, 0}, {1, 1}, {2, 2}, {3, 3}}).Done(),
       "geom Unknown:0 LINESTRING(0 0, 1 1)"},
      {"collection: points, lines, polygons",
       Ora()
           .Element(2004)
           .Info({{1, 1003, 1}, {11, 2, 1}, {15, 1, 1}})
           .XY(kSquare)
           .XY({{7, 7}, {8, 8}, {9, 9}})
           .Done(),
       "geom Unknown:0 GEOMETRYCOLLECTION(POINT(9 9), LINESTRING(7 7, 8 8), POLYGON(" + square +
           "))"},
      {"several elements: a collection",
       Ora(1)
           .Element(2001, 27700)
           .XY({{9, 9}})
           .Element(2002)
           .Info({{1, 2, 1}})
           .XY({{0, 0}, {1, 1}})
           .Ordinates({kNaN})
           .Done(),
       "geom Unknown:27700 GEOMETRYCOLLECTION(POINT(9 9), LINESTRING(0 0, 1 1))"},
      {"the last element's ordinates may run to the end",
       Ora(1).Element(2002).Info({{1, 2, 1}}).XY({{0, 0}, {1, 1}}).Done(),
       "geom Unknown:0 LINESTRING(0 0, 1 1)"},
      {"no elements", Ora(1).Done(), "geom Unknown:0 GEOMETRYCOLLECTION EMPTY"},
      {"types outside 1-7 contribute nothing",
       Ora(1)
           .Element(2009)
           .Info({{1, 2, 1}})
           .XY({{0, 0}, {1, 1}})
           .Ordinates({kNaN})
           .Element(2000)
           .Info({{1, 2, 1}})
           .XY({{0, 0}, {1, 1}})
           .Ordinates({kNaN})
           .Element(2001)
           .XY({{3, 4}})
           .Done(),
       "geom Unknown:0 GEOMETRYCOLLECTION(POINT(3 4))"},
      {"a single element of another type",
       Ora().Element(2042).Info({{1, 2, 1}}).XY({{0, 0}, {1, 1}}).Done(),
       "geom Unknown:0 POINT EMPTY"},
      // Validation.
      {"3-D point element", Ora().Element(3001).XY({{1, 2}}).Done(), "Unknown"},
      {"NaN point element", Ora().Element(2001).Ordinates({1, kNaN}).Done(), "Unknown"},
      {"5 dimensions", Ora().Element(5002).Info({{1, 2, 1}}).Ordinates({0, 0, 0, 0, 0}).Done(),
       "Unknown"},
      {"no triplets", Ora().Element(2002).Info({}).XY({{0, 0}, {1, 1}}).Done(), "Unknown"},
      {"no ordinates", Ora().Element(2002).Info({{1, 2, 1}}).Done(), "Unknown"},
      {"ordinates not a multiple of the dimensions",
       Ora().Element(3002).Info({{1, 2, 1}}).Ordinates({0, 0, 0, 1}).Done(), "Unknown"},
      {"an invalid element ends the reading",
       Ora(1).Element(3001).XY({{1, 2}}).Element(2002).Done(), "Unknown"},
      {"offset beyond the ordinates",
       Ora().Element(2002).Info({{9, 2, 1}}).XY({{0, 0}, {1, 1}}).Done(), "Unknown"},
      {"points beyond the ordinates",
       Ora().Element(2002).Info({{1, 2, 1}, {99, 8, 8}}).XY({{0, 0}, {1, 1}}).Done(), "Unknown"},
      {"next offset before this one",
       Ora().Element(2002).Info({{3, 2, 1}, {1, 8, 8}}).XY({{0, 0}, {1, 1}, {2, 2}}).Done(),
       "Unknown"},
      {"point of two points", Ora().Element(2005).Info({{1, 1, 1}}).XY({{0, 0}, {1, 1}}).Done(),
       "Unknown"},
      {"line of one point", Ora().Element(2002).Info({{1, 2, 1}}).XY({{0, 0}}).Done(), "Unknown"},
      {"ring of three points",
       Ora().Element(2003).Info({{1, 1003, 1}}).XY({{0, 0}, {1, 0}, {0, 0}}).Done(), "Unknown"},
      {"ring not closed",
       Ora().Element(2003).Info({{1, 1003, 1}}).XY({{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 1}}).Done(),
       "Unknown"},
      {"bad hole",
       Ora()
           .Element(2003)
           .Info({{1, 1003, 1}, {11, 2003, 1}})
           .XY(kSquare)
           .XY({{1, 1}, {1, 2}, {2, 2}, {2, 1}, {1, 1.5}})
           .Done(),
       "Unknown"},
      {"3-D cluster", Ora().Element(3005).Info({{1, 1, 2}}).Ordinates({0, 0, 0, 1, 1, 1}).Done(),
       "Unknown"},
      {"cluster beyond the ordinates",
       Ora().Element(2005).Info({{1, 1, 3}}).XY({{0, 0}, {1, 1}}).Done(), "Unknown"},
      {"overlapping triplets",
       Ora()
           .Element(2006)
           .Info({{1, 2, 1}, {5, 8, 8}, {1, 2, 1}, {5, 8, 8}})
           .XY({{0, 0}, {1, 1}})
           .Done(),
       "Unknown"},
  };
  for (auto const& c : cases) EXPECT_EQ(Show(ORA::Read(c.bytes)), c.read) << c.what;
}

TEST(OracleReader, FamilyAndFailures) {
  for (std::int32_t srid : {4120, 4326, 4999}) {
    EXPECT_EQ(Show(ORA::Read(Ora().Element(2001, srid).XY({{20, 10}}).Done())),
              "geog EPSG:" + std::to_string(srid) + " POINT(20 10)");
  }
  for (std::int32_t srid : {0, 4119, 5000, 8307, -3}) {
    SpatialPtr const v = ORA::Read(Ora().Element(2001, srid).XY({{20, 10}}).Done());
    EXPECT_EQ(v->AsGeometry().GetConvertedSRID(), SRID(SRID::Authority::None, srid));
    EXPECT_EQ(v->AsGeometry().GetBias(), GeometryCoordinate::Bias(20, 10));
  }
  // The first element's SRID decides.
  EXPECT_TRUE(
      ORA::Read(Ora(1).Element(2001, 4326).XY({{1, 2}}).Element(2001, 0).XY({{3, 4}}).Done())
          ->IsGeography());
  auto geo = [](double x, double y) {
    return Show(ORA::Read(Ora().Element(2001, 4326).XY({{x, y}}).Done()));
  };
  EXPECT_EQ(geo(190, 10), geo(-170, 10));
  EXPECT_EQ(geo(5, -90.000005), geo(5, -90));
  EXPECT_EQ(Throws<std::out_of_range>([&] { geo(5, 95); }), "Latitude must not exceed +/- 90");

  struct {
    char const* what;
    Bytes bytes;
    std::string message;
  } const cases[] = {
      {"empty input", {}, "overflow; len:0, pos:0, newPos:1"},
      {"no flag", Hex("01"), "overflow; len:1, pos:1, newPos:2"},
      {"partial gtype", Hex("0100 D10700"), "overflow; len:5, pos:2, newPos:6"},
      {"a header without its point", Ora().Element(2001).Done(),
       "overflow; len:10, pos:10, newPos:26"},
      {"triplets without their end", Hex("0100 D2070000 00000000 01000000 02000000 01000000"),
       "overflow; len:22, pos:22, newPos:26"},
      {"partial double", Hex("0100 D2070000 00000000 01000000 02000000 01000000 00000000 0000"),
       "overflow; len:28, pos:26, newPos:34"},
      {"partial double, several elements",
       Hex("0101 D2070000 00000000 01000000 02000000 01000000 00000000 0000000000000000 00"),
       "overflow; len:35, pos:34, newPos:42"},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(Throws<std::out_of_range>([&] { ORA::Read(c.bytes); }), c.message) << c.what;
  }
}

// The independent encoder of the writer's triplet form.
Bytes Expected(Model const& m, std::uint32_t srid) {
  static constexpr std::uint32_t kTypes[] = {0, 1, 2, 3, 5, 6, 7, 4};
  Ora o;
  o.Element(2000 + kTypes[static_cast<int>(m.type)], static_cast<std::int32_t>(srid));
  if (m.points.empty() && m.lines.empty() && m.polys.empty()) return o.Done();
  if (m.type == S::Point) return o.XY({m.points[0]}).Done();
  Triplets triplets;
  Path ordinates;
  auto add = [&](std::uint32_t type, Path const& path) {
    triplets.emplace_back(2 * ordinates.size() + 1, type, 1);
    ordinates.insert(ordinates.end(), path.begin(), path.end());
  };
  for (XY const& p : m.points) add(1, {p});
  for (Path const& l : m.lines) add(2, l);
  for (Rings const& poly : m.polys) {
    for (std::size_t r = 0; r < poly.size(); ++r) add(r == 0 ? 1003 : 2003, poly[r]);
  }
  return o.Info(triplets).XY(ordinates).Done();
}

TEST(OracleWriter, Vectors) {
  auto write = [](Model const& m, std::uint32_t srid = 0) {
    SRID const s(SRID::Authority::None, srid);
    return ORA::Write(MakeValue<DefaultGeometry>(m, {{}, s, s}));
  };
  Bytes const empty_point = write({S::Point, {}, {}, {}});
  EXPECT_EQ(ToHex(empty_point), "0100D107000000000000");
  EXPECT_EQ(Throws<std::out_of_range>([&] { ORA::Read(empty_point); }),
            "overflow; len:10, pos:10, newPos:26");
  EXPECT_EQ(ToHex(write({S::LineString, {}, {}, {}})), "0100D207000000000000");
  EXPECT_EQ(ToHex(ORA::Write(DefaultGeometry())), "0100D007000000000000");
  EXPECT_EQ(ToHex(write({S::Point, {{1, 2}}, {}, {}}, 8307)),
            "0100D107000073200000000000000000F03F0000000000000040");
  Bytes const multipoint = write({S::MultiPoint, {{1, 2}}, {}, {}});
  EXPECT_EQ(ToHex(multipoint),
            "0100D507000000000000"
            "010000000100000001000000"
            "00000000"
            "000000000000F03F0000000000000040");
  EXPECT_EQ(Show(ORA::Read(multipoint)), "geom Unknown:0 MULTIPOINT((1 2))");
  Model const polygon{S::Polygon, {}, {}, {{kSquare, kHole}}};
  Bytes const p = write(polygon);
  EXPECT_EQ(p.size(), 14u + 12 * 2 + 16 * 10);
  EXPECT_EQ(ToHex(Bytes(p.begin(), p.begin() + 38)),
            "0100D307000000000000"
            "01000000EB03000001000000"
            "0B000000D307000001000000"
            "00000000");
  Model const mixed{S::Mixed, {{9, 9}}, {{{0, 0}, {1, 1}}}, {{kSquare, kHole}}};
  EXPECT_EQ(write(mixed, 3857), Expected(mixed, 3857));

  // Geographic coordinates: longitude then latitude in degrees.
  SpatialPtr const g = ORA::Read(Ora().Element(2001, 4326).XY({{-120, 45}}).Done());
  Bytes const bytes = ORA::Write(*g);
  ASSERT_EQ(bytes.size(), 26u);
  EXPECT_EQ(ORA::Read(bytes)->GetHash(), g->GetHash());
  EXPECT_EQ(Show(ORA::Read(bytes)), "geog EPSG:4326 POINT(-120 45)");

  EXPECT_EQ(Throws<std::invalid_argument>([] { ORA::Write(Unknown()); }),
            "can only translate Geography or Geometry");
  EXPECT_EQ(Throws<std::invalid_argument>([] { ORA::Write(Identifying(1)); }),
            "can only translate Geography or Geometry");
}

TEST(OracleRoundTrip, RandomValuesOfEveryShape) {
  BinaryRoundTrips(
      51, {0, 8307, 4119, 5000, 262152}, {4120, 4326, 4999},
      [](Spatial const& v) { return ORA::Write(v); }, [](Bytes const& b) { return ORA::Read(b); },
      [](Model const& m, std::uint32_t srid, bool) { return Expected(m, srid); });
}

// Triplets that reuse many ordinates: 12 bytes each, each would be a
// thousand coordinates.
TEST(OracleHostile, OverlapsDoNotAmplify) {
  Path points;
  for (int k = 0; k < 1000; ++k) points.push_back({double(k), double(-k)});
  Triplets clusters, lines;
  for (int t = 0; t < 5000; ++t) {
    clusters.emplace_back(1, 1, 1000);
    lines.emplace_back(t % 2 == 0 ? 1 : 2000, t % 2 == 0 ? 2 : 8, 1);
  }
  for (Bytes const& b : {Ora().Element(2005).Info(clusters).XY(points).Done(),
                         Ora().Element(2006).Info(lines).XY(points).Done()}) {
    LimitedResource budget(SIZE_MAX, 64 * b.size());
    test_support::ScopedMemoryResource scope(&budget);
    EXPECT_EQ(Show(ORA::Read(b)), "Unknown");
  }
  // A cluster's count beyond 32 bits of ordinates is no overflow.
  EXPECT_EQ(Show(ORA::Read(Ora().Element(2005).Info({{1, 1, 0xFFFFFFFF}}).XY({{0, 0}}).Done())),
            "Unknown");
  EXPECT_EQ(Show(ORA::Read(
                Ora().Element(2005).Info({{1, 4, 0xFFFFFFFF}, {1, 1, 1}}).XY({{0, 0}}).Done())),
            "geom Unknown:0 MULTIPOINT EMPTY");
}

// Every prefix of a value either fails with a BufferReader message (a cut
// header, triplet list or double) or reads as something shorter: a
// multi-line string whose last line lost points.
TEST(OracleHostile, Truncation) {
  Model const m{S::MultiLineString, {}, {{{0, 0}, {1, 1}}, {{2, 2}, {3, 3}, {4, 4}, {5, 5}}}, {}};
  for (bool geographic : {false, true}) {
    Bytes const full = ORA::Write(*ReadersValue(m, geographic, geographic ? 4326 : 0));
    std::size_t const ordinates = full.size() - 16 * 6;
    EXPECT_EQ(Show(ORA::Read(Bytes(full.begin(), full.begin() + 2))),
              "geom Unknown:0 GEOMETRYCOLLECTION EMPTY");
    std::string shorter;
    for (std::size_t n = 3; n < full.size(); ++n) {
      Bytes const prefix(full.begin(), full.begin() + static_cast<long>(n));
      if (n < ordinates || (n - ordinates) % 8 != 0) {
        EXPECT_EQ(Throws<std::out_of_range>([&] { ORA::Read(prefix); }).substr(0, 9), "overflow;")
            << n;
      } else {
        SpatialPtr const v = ORA::Read(prefix);
        if (!v->IsUnknown()) shorter += WktSerialization::Write(*v) + ";";
      }
    }
    // Ordinates 8 and 10 of 12: the last line keeps 2 and 3 points.
    EXPECT_EQ(shorter,
              "MULTILINESTRING((0 0, 1 1), (2 2, 3 3));MULTILINESTRING((0 0, 1 1), (2 2, 3 3, 4 "
              "4));");
  }
}

TEST(OracleHostile, CorruptedBytes) {
  CorruptionTally tally;
  std::mt19937 rng(78);
  for (int i = 0; i < 3000; ++i) {
    bool const geographic = i % 2 == 0;
    Model const m = Generator(static_cast<unsigned>(i), geographic).Make(kAllShapes[i % 7], false);
    Bytes bytes = ORA::Write(*ReadersValue(m, geographic, geographic ? 4326 : 0));
    if (i % 5 == 0) bytes[1] = 1;  // several elements: NaN-ended ordinates
    Corrupt(bytes, rng, 1 + i % 4);
    tally.Run([&] { return ORA::Read(bytes); }, i);
  }
  EXPECT_GT(tally.values, 500);
  EXPECT_GT(tally.unknowns, 300);
  EXPECT_GT(tally.errors, 100);
}

}  // namespace
}  // namespace ostrel
