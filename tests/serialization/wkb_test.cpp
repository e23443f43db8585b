// WKB: byte-exact vectors laid out by hand, the decimal bit tests of the type
// codes, collections and what they may hold, the geographic conversions,
// round trips of random values of every shape type and both families (the
// bytes against an independent encoder), the Natural Earth countries, and
// hostile bytes: truncation at every offset, counts that promise more than
// the bytes hold, deep nesting, random corruption.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "ostrel/serialization/stream_reader.hpp"
#include "ostrel/serialization/wkb.hpp"
#include "serialization/serialization_support.hpp"

namespace ostrel {
namespace {

using namespace serialization_test;
using Bytes = std::vector<std::uint8_t>;
using CT = CoordinateType;
using S = ShapeType;

SpatialPtr Planar(Bytes const& b) { return WkbSerialization::Read(b, CT::Geometry); }
SpatialPtr Geo(Bytes const& b) { return WkbSerialization::Read(b, CT::Geography); }

// A model of what was read, or "Unknown".
std::string Show(SpatialPtr const& v) {
  if (v->IsUnknown()) return "Unknown";
  Model const m = ModelOf(*v);
  std::string s = to_string(m.type) + ":";
  auto xy = [](XY p) { return " " + std::to_string(p.first) + " " + std::to_string(p.second); };
  for (XY p : m.points) s += " P" + xy(p);
  for (Path const& l : m.lines) {
    s += " L";
    for (XY p : l) s += xy(p);
  }
  for (Rings const& poly : m.polys) {
    s += " G";
    for (Path const& r : poly) {
      s += " R";
      for (XY p : r) s += xy(p);
    }
  }
  return s;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(WkbReader, Vectors) {
  struct Case {
    char const* what;
    Bytes bytes;
    std::string planar;
  };
  Path const sq{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}};
  Case const cases[] = {
      {"point", WkbBuilder().Header(1).F64(1).F64(2).Bytes(), "Point: P 1.000000 2.000000"},
      {"big-endian point", WkbBuilder(true).Header(1).F64(1).F64(2).Bytes(),
       "Point: P 1.000000 2.000000"},
      {"empty point", WkbBuilder().Header(1).F64(kNaN).F64(kNaN).Bytes(), "Point:"},
      {"point Z", WkbBuilder().Header(1001).F64(1).F64(2).F64(3).Bytes(),
       "Point: P 1.000000 2.000000"},
      {"point M", WkbBuilder().Header(2001).F64(1).F64(2).F64(3).Bytes(),
       "Point: P 1.000000 2.000000"},
      {"point ZM", WkbBuilder().Header(3001).F64(1).F64(2).F64(3).F64(4).Bytes(),
       "Point: P 1.000000 2.000000"},
      {"empty line", WkbBuilder().Header(2).U32(0).Bytes(), "LineString:"},
      {"line Z", WkbBuilder().Header(1002).U32(2).Coordinates({{1, 2}, {3, 4}}, 1).Bytes(),
       "LineString: L 1.000000 2.000000 3.000000 4.000000"},
      {"empty polygon", WkbBuilder().Header(3).U32(0).Bytes(), "Polygon:"},
      {"open ring closed",
       WkbBuilder().Header(3).U32(1).U32(3).Coordinates({{0, 0}, {1, 0}, {1, 1}}).Bytes(),
       "Polygon: G R 0.000000 0.000000 1.000000 0.000000 1.000000 1.000000 0.000000 0.000000"},
      {"multipoint of empty and ZM",
       WkbBuilder()
           .Header(4)
           .U32(2)
           .Header(1)
           .F64(kNaN)
           .F64(kNaN)
           .Header(3001)
           .F64(5)
           .F64(6)
           .F64(7)
           .F64(8)
           .Bytes(),
       "MultiPoint: P 5.000000 6.000000"},
      {"mixed orders inside",
       WkbBuilder()
           .Header(5)
           .U32(2)
           .Header(2)
           .U32(2)
           .Coordinates({{1, 1}, {2, 2}})
           .Order(true)
           .Header(2)
           .U32(2)
           .Coordinates({{3, 3}, {4, 4}})
           .Bytes(),
       "MultiLineString: L 1.000000 1.000000 2.000000 2.000000 L 3.000000 3.000000 4.000000 "
       "4.000000"},
      {"collection flattens nested",
       WkbBuilder()
           .Header(7)
           .U32(3)
           .Header(2)
           .U32(2)
           .Coordinates({{1, 1}, {2, 2}})
           .Header(6)
           .U32(1)
           .Header(3)
           .U32(1)
           .U32(5)
           .Coordinates(sq)
           .Header(1)
           .F64(9)
           .F64(9)
           .Bytes(),
       "Mixed: P 9.000000 9.000000 L 1.000000 1.000000 2.000000 2.000000 G R 0.000000 0.000000 "
       "4.000000 0.000000 4.000000 4.000000 0.000000 4.000000 0.000000 0.000000"},
      {"empty collection", WkbBuilder().Header(7).U32(0).Bytes(), "Mixed:"},
      {"trailing bytes ignored", WkbBuilder().Header(1).F64(1).F64(2).U32(99).Bytes(),
       "Point: P 1.000000 2.000000"},
      {"unknown code 0", WkbBuilder().Header(0).F64(1).F64(2).Bytes(), "Unknown"},
      {"unknown code 8", WkbBuilder().Header(8).Bytes(), "Unknown"},
      {"unknown code 4001", WkbBuilder().Header(4001).Bytes(), "Unknown"},
      {"extended SRID flag", WkbBuilder().Header(0x20000001).U32(4326).F64(1).F64(2).Bytes(),
       "Unknown"},
      {"extended Z flag", WkbBuilder().Header(0x80000001).F64(1).F64(2).F64(3).Bytes(), "Unknown"},
      {"multipoint holding a line",
       WkbBuilder().Header(4).U32(1).Header(2).U32(2).Coordinates({{1, 1}, {2, 2}}).Bytes(),
       "Unknown"},
      {"multipolygon holding a multipolygon",
       WkbBuilder().Header(6).U32(1).Header(6).U32(0).Bytes(), "Unknown"},
      {"unknown member", WkbBuilder().Header(7).U32(1).Header(9).Bytes(), "Unknown"},
  };
  for (Case const& c : cases) {
    EXPECT_EQ(Show(Planar(c.bytes)), c.planar) << c.what;
  }
  // Every code and dimension marker, member by member in a collection.
  for (std::uint32_t kind = 1; kind <= 3; ++kind) {
    for (std::uint32_t dims = 0; dims < 4; ++dims) {
      WkbBuilder b;
      b.Header(7).U32(1).Header(kind + 1000 * dims);
      int const extra = dims == 0 ? 0 : (dims == 3 ? 2 : 1);
      if (kind == 1) b.Coordinates({{1, 2}}, extra);
      if (kind == 2) b.U32(2).Coordinates({{1, 2}, {3, 4}}, extra);
      if (kind == 3) b.U32(1).U32(4).Coordinates({{0, 0}, {1, 0}, {0, 1}, {0, 0}}, extra);
      b.F64(12345);  // trailing
      Model const m = ModelOf(*Planar(b.Bytes()));
      EXPECT_EQ(m.points.size() + m.lines.size() + m.polys.size(), 1u) << kind << " " << dims;
      EXPECT_EQ(m.type, S::Mixed);
    }
  }
}

TEST(WkbReader, Geographic) {
  // x is the longitude, wrapped; y the latitude, clamped at the poles.
  auto point = [](double x, double y) {
    return Show(Geo(WkbBuilder().Header(1).F64(x).F64(y).Bytes()));
  };
  EXPECT_EQ(point(181, 10), point(-179, 10));
  EXPECT_EQ(point(10, 90.000005), point(10, 90));
  EXPECT_EQ(point(-540, -90.000005), point(180, -90));
  EXPECT_EQ(
      Throws<std::out_of_range>([] { Geo(WkbBuilder().Header(1).F64(0).F64(90.0001).Bytes()); }),
      "Latitude must not exceed +/- 90");
  EXPECT_EQ(Show(Geo(WkbBuilder().Header(1).F64(kNaN).F64(kNaN).Bytes())), "Point:");

  // A long edge is densified, planar input is not.
  Bytes const line = WkbBuilder().Header(2).U32(2).Coordinates({{0, 0}, {10, 0}}).Bytes();
  EXPECT_EQ(ModelOf(*Planar(line)).lines[0].size(), 2u);
  Model const dense = ModelOf(*Geo(line));
  ASSERT_EQ(dense.lines.size(), 1u);
  EXPECT_EQ(dense.lines[0].size(), 129u);  // 10 degrees in steps of at most 0.0917: 128 pieces

  // Exterior rings come out counter-clockwise, holes clockwise, whatever
  // the input says.
  Path const ccw{{0, 0}, {0.05, 0}, {0.05, 0.05}, {0, 0.05}, {0, 0}};
  Path const cw(ccw.rbegin(), ccw.rend());
  Path const hole_ccw{{0.01, 0.01}, {0.02, 0.01}, {0.02, 0.02}, {0.01, 0.02}, {0.01, 0.01}};
  Path const hole_cw(hole_ccw.rbegin(), hole_ccw.rend());
  for (bool reversed : {false, true}) {
    Bytes const b = WkbBuilder()
                        .Header(3)
                        .U32(2)
                        .U32(5)
                        .Coordinates(reversed ? cw : ccw)
                        .U32(5)
                        .Coordinates(reversed ? hole_ccw : hole_cw)
                        .Bytes();
    Model const m = ModelOf(*Geo(b));
    Model const wanted =
        ModelOf(MakeValue<DefaultGeography>(Model{S::Polygon, {}, {}, {{ccw, hole_cw}}}));
    EXPECT_EQ(m, wanted) << reversed;
    // Planar rings keep their order.
    Model const planar{S::Polygon, {}, {}, {{reversed ? cw : ccw, reversed ? hole_ccw : hole_cw}}};
    EXPECT_EQ(ModelOf(*Planar(b)), ModelOf(MakeValue<DefaultGeometry>(planar)));
  }
}

TEST(WkbReader, BuilderFailures) {
  EXPECT_EQ(Throws<std::invalid_argument>(
                [] { Planar(WkbBuilder().Header(2).U32(1).F64(1).F64(2).Bytes()); }),
            "line has less than 2 coordinates");
  EXPECT_EQ(
      Throws<std::invalid_argument>([] { Planar(WkbBuilder().Header(3).U32(1).U32(0).Bytes()); }),
      "ring has less than 4 coordinates");
  EXPECT_EQ(Throws<std::invalid_argument>([] {
              Geo(WkbBuilder()
                      .Header(3)
                      .U32(1)
                      .U32(3)
                      .Coordinates({{0, 0}, {0.01, 0.01}, {0, 0}})
                      .Bytes());
            }),
            "ring has less than 4 coordinates");
  for (CT bad : {CT::Unknown, CT::Identifying, CoordinateType(9)}) {
    EXPECT_EQ(Throws<std::invalid_argument>([bad] { WkbSerialization::Read({}, bad); }),
              "can only translate Geography or Geometry");
  }
  EXPECT_EQ(Throws<std::length_error>([] { Planar({}); }), "unexpected end of stream");
}

TEST(WkbWriter, Vectors) {
  auto write = [](Model const& m) {
    return ToHex(WkbSerialization::Write(MakeValue<DefaultGeometry>(m)));
  };
  EXPECT_EQ(write({S::Point, {}, {}, {}}), "0101000000000000000000F87F000000000000F87F");
  EXPECT_EQ(write({S::Point, {{1, 2}}, {}, {}}), "0101000000000000000000F03F0000000000000040");
  EXPECT_EQ(write({S::LineString, {}, {}, {}}), "010200000000000000");
  EXPECT_EQ(write({S::MultiPolygon, {}, {}, {}}), "010600000000000000");
  // A Mixed value: its points, then lines, then polygons, each with a header.
  EXPECT_EQ(write({S::Mixed, {{1, 2}}, {{{0, 0}, {1, 1}}}, {}}),
            "0107000000"
            "02000000"
            "0101000000"
            "000000000000F03F"
            "0000000000000040"
            "0102000000"
            "02000000"
            "0000000000000000"
            "0000000000000000"
            "000000000000F03F"
            "000000000000F03F");
  EXPECT_EQ(write({S::MultiPoint, {{1, 2}}, {}, {}}),
            "010400000001000000"
            "0101000000000000000000F03F0000000000000040");
  // Geographic coordinates: longitude, latitude in degrees.
  Model const g{S::Point, {{-120, 45}}, {}, {}};
  Bytes const bytes = WkbSerialization::Write(MakeValue<DefaultGeography>(g));
  StreamReader r(bytes);
  r.Skip(5);
  EXPECT_NEAR(r.ReadDouble(), -120, 1e-7);
  EXPECT_NEAR(r.ReadDouble(), 45, 1e-7);

  EXPECT_EQ(Throws<std::invalid_argument>([] { WkbSerialization::Write(DefaultGeometry()); }),
            "unable to handle Empty");
  EXPECT_EQ(Throws<std::invalid_argument>([] { WkbSerialization::Write(Unknown()); }),
            "can only translate Geography or Geometry");
  EXPECT_EQ(Throws<std::invalid_argument>([] { WkbSerialization::Write(Identifying(7)); }),
            "can only translate Geography or Geometry");
}

// Random values of every shape type: the bytes are those of the independent
// encoder, they read back to the same content and hash, and a second round
// trip is byte-identical. Planar values keep their coordinates exactly (they
// lie on a grid whose differences are floats, and a reader biases them on
// their first coordinate); geographic ones are small, oriented and clean, so
// reading adds and changes nothing.
TEST(WkbRoundTrip, RandomValuesOfEveryShape) {
  for (bool geographic : {false, true}) {
    Generator gen(geographic ? 31 : 32, geographic);
    for (int i = 0; i < 700; ++i) {
      Model const m = gen.Make(kAllShapes[i % 7]);
      SpatialPtr const v =
          geographic ? SpatialPtr(MakeSpatial<DefaultGeography>(MakeValue<DefaultGeography>(m)))
                     : ReadersValue(m, false, 0);
      Bytes const bytes = WkbSerialization::Write(*v);
      Model const written = ModelOf(*v);  // the snapped content
      ASSERT_EQ(bytes, ExpectedWkb(written)) << i;
      SpatialPtr const back = WkbSerialization::Read(bytes, v->GetCoordinateType());
      ASSERT_EQ(ModelOf(*back), written) << geographic << " " << i;
      EXPECT_EQ(back->GetHash(), v->GetHash()) << geographic << " " << i;
      EXPECT_EQ(WkbSerialization::Write(*back), bytes) << i;
    }
  }
}

// The countries: planar values keep every coordinate within float snapping
// (they are re-biased on their first coordinate); geographic values keep
// every vertex, in reversed order (the data's exterior rings run clockwise),
// with densified midpoints between them.
TEST(WkbRoundTrip, NaturalEarthCountries) {
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/countries50.wkt");
  std::string line;
  int values = 0, midpoints = 0, reversed = 0, duplicates = 0;
  while (std::getline(in, line)) {
    SpatialPtr const planar = OWKT::From(line, CT::Geometry);
    ExpectPolysNear(
        ModelOf(*WkbSerialization::Read(WkbSerialization::Write(*planar), CT::Geometry)),
        ModelOf(*planar), 0x1p-24 * 400);

    SpatialPtr const geo = OWKT::From(line, CT::Geography);
    Model const gm = ModelOf(*geo);
    Model const gback =
        ModelOf(*WkbSerialization::Read(WkbSerialization::Write(*geo), CT::Geography));
    ASSERT_EQ(gback.polys.size(), gm.polys.size());
    for (std::size_t p = 0; p < gm.polys.size(); ++p) {
      ASSERT_EQ(gback.polys[p].size(), gm.polys[p].size());
      for (std::size_t r = 0; r < gm.polys[p].size(); ++r) {
        // The clean-up drops consecutive duplicates (the data has a few);
        // the original vertices are a subsequence of what was read, in one
        // of the two directions.
        Path const orig = WithoutRepeats(gm.polys[p][r]), rev(orig.rbegin(), orig.rend());
        duplicates += static_cast<int>(gm.polys[p][r].size() - orig.size());
        Path const& read = gback.polys[p][r];
        bool const forward = Subsequence(orig, read), backward = Subsequence(rev, read);
        EXPECT_TRUE(forward || backward) << values << " " << p << " " << r;
        reversed += backward && !forward;
        midpoints += static_cast<int>(read.size() - orig.size());
      }
    }
    ++values;
  }
  EXPECT_EQ(values, 241);
  EXPECT_GT(reversed, 1500);   // nearly all 1629 rings run clockwise in the data
  EXPECT_GT(midpoints, 1000);  // long edges (Antarctica, straight borders) were densified
  EXPECT_EQ(duplicates, 4);    // Sudan and South Sudan repeat two vertices of their border
}

TEST(WkbHostile, CountsAreCheckedAgainstTheBytesLeft) {
  // No single allocation above 1 MiB.
  LimitedResource capped(1u << 20, SIZE_MAX);
  test_support::ScopedMemoryResource scope(&capped);
  struct {
    char const* what;
    Bytes bytes;
    std::string message;
  } const cases[] = {
      {"20 bytes promising 268 million points",
       WkbBuilder().Header(2).U32(268000000).F64(1).F64(2).U32(0).Bytes(),
       "unexpected end of stream"},
      {"the largest count", WkbBuilder().Header(2).U32(268435455).F64(1).Bytes(),
       "unexpected end of stream"},
      {"beyond the builders' limit", WkbBuilder().Header(2).U32(268435456).F64(1).Bytes(),
       "vector<T> too long"},
      {"all ones", WkbBuilder().Header(3).U32(1).U32(0xFFFFFFFF).Bytes(), "vector<T> too long"},
      {"ring count", WkbBuilder().Header(3).U32(0xFFFFFFF0).U32(4).Bytes(),
       "unexpected end of stream"},
      {"Z points", WkbBuilder().Header(1002).U32(3).Coordinates({{1, 2}, {3, 4}}).Bytes(),
       "unexpected end of stream"},
      {"elements", WkbBuilder().Header(7).U32(0xFFFFFFFF).Bytes(), "unexpected end of stream"},
  };
  for (auto const& c : cases) {
    for (CT type : {CT::Geometry, CT::Geography}) {
      EXPECT_EQ(Throws<std::length_error>([&] { WkbSerialization::Read(c.bytes, type); }),
                c.message)
          << c.what;
    }
  }
}

TEST(WkbHostile, NestingIsBounded) {
  // n collections, each inside the previous one, the innermost holding a point.
  auto nested = [](int n) {
    WkbBuilder b;
    for (int i = 0; i < n; ++i) b.Header(7).U32(1);
    b.Header(1).F64(1).F64(2);
    return b.Bytes();
  };
  EXPECT_EQ(Show(Planar(nested(10))), "Mixed: P 1.000000 2.000000");  // 9 below the outermost
  EXPECT_EQ(Show(Planar(nested(11))), "Unknown");
  EXPECT_EQ(Show(Geo(nested(100000))), "Unknown");  // no recursion beyond the limit
}

// Every strict prefix of a valid value is truncated somewhere; so is every
// prefix of it read through the other family.
TEST(WkbHostile, TruncationAtEveryOffset) {
  Generator gen(8, false);
  Model const m = gen.Make(S::Mixed);
  Bytes const full = WkbSerialization::Write(MakeValue<DefaultGeometry>(m));
  for (std::size_t n = 0; n < full.size(); ++n) {
    Bytes const prefix(full.begin(), full.begin() + static_cast<long>(n));
    EXPECT_EQ(Throws<std::length_error>([&] { Planar(prefix); }), "unexpected end of stream") << n;
  }
  EXPECT_EQ(ModelOf(*Planar(full)), ModelOf(MakeValue<DefaultGeometry>(m)));
}

TEST(WkbHostile, CorruptedBytes) {
  CorruptionTally tally;
  std::mt19937 rng(99);
  Generator gen(9, true);
  for (int i = 0; i < 3000; ++i) {
    Bytes bytes = WkbSerialization::Write(MakeValue<DefaultGeography>(gen.Make(kAllShapes[i % 7])));
    Corrupt(bytes, rng, 1 + i % 4);
    for (CT type : {CT::Geometry, CT::Geography})
      tally.Run([&] { return WkbSerialization::Read(bytes, type); }, i);
  }
  EXPECT_GT(tally.values, 500);
  EXPECT_GT(tally.unknowns, 100);
  EXPECT_GT(tally.errors, 500);
}

}  // namespace
}  // namespace ostrel
