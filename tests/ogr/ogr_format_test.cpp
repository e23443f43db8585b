// The OGR-shaped format: boxes handed in are returned unchecked, boxes of
// values built from coordinates are unknown, packed input is not validated,
// attributes are kept (bias included), and the value hashes, writes and reads
// like the default value of the same content; copies, moves and swaps, with
// failure injection.
#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <random>
#include <string>
#include <utility>

#include "legacy/legacy_support.hpp"
#include "ostrel/ogr/ogr_format.hpp"
#include "ostrel/text/owkt.hpp"
#include "support/counting_resource.hpp"

namespace ostrel {
namespace {

namespace LS = LegacySerialization;
using test_support::CountingMemoryResource;
using test_support::RandomContent;
using test_support::ScopedMemoryResource;
using GBox = std::pair<GeometryCoordinate, GeometryCoordinate>;

template <class Box>
bool Invalid(Box const& box) {
  return !box.first.IsValid() && !box.second.IsValid();
}

TEST(OgrFormat, BoxesHandedInAreReturnedUnchecked) {
  auto const none = GeometryCoordinate::Bias::None();
  GeometryCoordinate::Packed const p(1, 2, none);
  OgrGeometry::PackedLines lines;
  lines.emplace_back(OgrGeometry::PackedPoints{p}, GBox({5, 5}, {-5, -5}));  // one coordinate
  lines.emplace_back(OgrGeometry::PackedPoints{p, p}, GBox({0, 1}, {2, 3}));
  OgrGeometry::PackedPolys polys;
  polys.emplace_back(OgrGeometry::PackedRings{{p, p}}, GBox({-1, -1}, {1, 1}));  // unclosed
  OgrGeometry const value(ShapeType::Point, {p}, std::move(lines), std::move(polys),
                          Geometry::Attributes({10, 20}, SRID::WGS84(), SRID::None()));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(value.GetShapeType(), ShapeType::Point);  // stored as given
  EXPECT_EQ(value.GetLines().size(), 2u);
  EXPECT_EQ(value.GetLines()[0].size(), 1u);
  EXPECT_EQ(value.GetPolys()[0][0].size(), 2u);
  EXPECT_EQ(value.GetPoints()[0], GeometryCoordinate(11, 22));  // bias + offsets
  EXPECT_EQ(value.BoundingBoxForLineString(0).first, GeometryCoordinate(5, 5));
  EXPECT_EQ(value.BoundingBoxForLineString(1).second, GeometryCoordinate(2, 3));
  EXPECT_EQ(value.BoundingBoxForPolygon(0).first, GeometryCoordinate(-1, -1));
  LS::BoundingBoxAccessor<Geometry> const& boxes = value;
  EXPECT_TRUE(Invalid(boxes.BoundingBoxForPoint(0)));
  EXPECT_TRUE(Invalid(boxes.BoundingBoxForMultiPoint(0)));
  EXPECT_TRUE(Invalid(boxes.BoundingBoxForMultiLineString(0)));
  EXPECT_TRUE(Invalid(boxes.BoundingBoxForMultiPolygon(0)));
  EXPECT_TRUE(Invalid(boxes.BoundingBoxForMixed()));
  EXPECT_EQ(value.GetBias(), GeometryCoordinate::Bias(10, 20));
  EXPECT_EQ(value.GetOriginalSRID(), SRID::WGS84());
}

TEST(OgrFormat, BuiltFromCoordinatesLikeTheDefaultFormat) {
  for (std::uint64_t seed = 1; seed <= 40; ++seed) {
    RandomContent<Geometry> random(seed);
    Geometry::Attributes const attributes({random.Unit() * 1e6, random.Unit() * 1e3},
                                          SRID(SRID::Authority::EPSG, 3857), SRID::None());
    for (ShapeType type : {ShapeType::Mixed, ShapeType::MultiPolygon, ShapeType::LineString}) {
      auto const c = random.Make(type);
      DefaultGeometry const reference(c.points, c.lines, c.polys, attributes);
      OgrGeometry const ogr(c.points, c.lines, c.polys, attributes);
      ASSERT_EQ(ogr.GetHash(), reference.GetHash());
      ASSERT_EQ(OWKT::To(ogr), OWKT::To(reference));
      ASSERT_EQ(ogr.GetShapeType(), type);
      for (unsigned int l = 0; l < ogr.GetLines().size(); ++l) {
        ASSERT_TRUE(Invalid(ogr.BoundingBoxForLineString(l)));
      }
      for (unsigned int q = 0; q < ogr.GetPolys().size(); ++q) {
        ASSERT_TRUE(Invalid(ogr.BoundingBoxForPolygon(q)));
      }
      // Through a plain stream the bias is lost, so only the default's own
      // stream is comparable.
      ASSERT_EQ(test_support::ToVector(LS::Write(ogr, LS::kPlain, 0)),
                test_support::ToVector(LS::Write(reference, LS::kPlain, 0)));
    }
  }
  RandomContent<Geography> random(9);
  Geography::Attributes const flat(SRID::NAD83(), SRID::WGS84(), TopologicalType::Flat,
                                   WindingOrder::Ambiguous);
  auto const c = random.Make(ShapeType::Mixed);
  OgrGeography const ogr(c.points, c.lines, c.polys, flat);
  EXPECT_EQ(ogr.GetHash(), DefaultGeography(c.points, c.lines, c.polys, flat).GetHash());
  EXPECT_EQ(ogr.GetWindingOrder(), WindingOrder::Ambiguous);
  EXPECT_EQ(ogr.GetHash(),
            OgrGeography(c.points, c.lines, c.polys,
                         Geography::Attributes(SRID::NAD83(), SRID::WGS84(), TopologicalType::Flat,
                                               WindingOrder::InteriorLeft))
                .GetHash());  // the winding order is not hashed
  OgrGeography const defaults;
  EXPECT_EQ(defaults.GetShapeType(), ShapeType::Empty);
  EXPECT_EQ(defaults.GetTopologicalType(), TopologicalType::Spheroidal);
  EXPECT_EQ(defaults.GetWindingOrder(), WindingOrder::InteriorLeft);
  EXPECT_EQ(defaults.GetOriginalSRID(), SRID::WGS84());
}

TEST(OgrFormat, CopiesMovesSwapsAndFailedAssignments) {
  CountingMemoryResource counting;
  {
    ScopedMemoryResource scope(&counting);
    RandomContent<Geography> random(4);
    auto const a = random.Make(ShapeType::MultiPolygon);
    auto const b = random.Make(ShapeType::MultiPoint);
    OgrGeography const original(a.points, a.lines, a.polys);
    OgrGeography const other(b.points, b.lines, b.polys);
    unsigned long long const hash = original.GetHash();
    unsigned long long const other_hash = other.GetHash();

    OgrGeography copy(original);
    EXPECT_EQ(copy.GetHash(), hash);
    OgrGeography moved(std::move(copy));
    EXPECT_EQ(moved.GetHash(), hash);
    EXPECT_EQ(copy.GetShapeType(), ShapeType::Empty);
    EXPECT_EQ(copy.GetPolys().size(), 0u);
    OgrGeography swapped(other);
    swapped.swap(moved);
    EXPECT_EQ(swapped.GetHash(), hash);
    EXPECT_EQ(moved.GetHash(), other_hash);

    for (std::size_t n = 0;; ++n) {
      OgrGeography target(other);
      counting.FailAfter(n);
      bool done = false;
      try {
        target = original;
        done = true;
      } catch (std::bad_alloc const&) {
      }
      counting.FailAfter(CountingMemoryResource::kNever);
      if (done) {
        EXPECT_EQ(target.GetHash(), hash);
        EXPECT_EQ(OWKT::To(target), OWKT::To(original));
        break;
      }
      EXPECT_EQ(OWKT::To(target), OWKT::To(other)) << n;
      ASSERT_LT(n, 1000u);
    }
    OgrGeography assigned;
    assigned = std::move(swapped);
    EXPECT_EQ(assigned.GetHash(), hash);
    EXPECT_EQ(swapped.GetShapeType(), ShapeType::Empty);
    EXPECT_EQ(swapped.GetAttributes().original_srid, SRID::WGS84());
  }
  EXPECT_TRUE(counting.Balanced());
}

// Compressed streams carry an OGR value's boxes; read back, they are the
// legacy value's line and polygon boxes, quantised to the precision.
TEST(OgrFormat, BoxesTravelThroughCompressedStreams) {
  auto const none = GeometryCoordinate::Bias::None();
  std::mt19937_64 rng(8);
  for (int i = 0; i < 200; ++i) {
    auto unit = [&] { return std::uniform_real_distribution(-100.0, 100.0)(rng); };
    OgrGeometry::PackedLines lines;
    GBox const box({unit(), unit()}, {unit(), unit()});
    lines.emplace_back(OgrGeometry::PackedPoints{GeometryCoordinate::Packed(0, 0, none),
                                                 GeometryCoordinate::Packed(1, 1, none)},
                       box);
    OgrGeometry const ogr(ShapeType::LineString, {}, std::move(lines), {}, {});
    auto const precision = static_cast<std::int8_t>(rng() % 5);
    SpatialPtr const read = LS::Read(LS::Write(ogr, LS::kCompressed, precision));
    auto const& legacy = static_cast<LegacyGeometry const&>(read->AsGeometry());
    auto const got = legacy.BoundingBoxForLineString(0);
    double const step = LS::Power10(static_cast<std::int8_t>(-precision));
    // Corner: half a step; far corner: a step (the size is quantised too),
    // plus float snapping.
    EXPECT_NEAR(got.first.GetX(), box.first.GetX(), step / 2 + 1e-5);
    EXPECT_NEAR(got.first.GetY(), box.first.GetY(), step / 2 + 1e-5);
    EXPECT_NEAR(got.second.GetX(), box.second.GetX(), step + 1e-5);
    EXPECT_NEAR(got.second.GetY(), box.second.GetY(), step + 1e-5);
  }
}

}  // namespace
}  // namespace ostrel
