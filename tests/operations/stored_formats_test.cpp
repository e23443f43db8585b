// Envelope and collect over the formats that store items: the stored boxes
// of legacy and OGR values, the legacy collect handlers that concatenate
// records without decoding, and agreement with the default format.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ostrel/legacy/legacy_format.hpp"
#include "ostrel/legacy/metadata.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/ogr/ogr_format.hpp"
#include "ostrel/operations/basic_services.hpp"
#include "ostrel/operations/collect.hpp"
#include "ostrel/operations/envelope.hpp"
#include "ostrel/operations/legacy_collect.hpp"
#include "ostrel/operations/stored_envelope.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/unknown.hpp"
#include "ostrel/text/owkt.hpp"
#include "support/counting_resource.hpp"

namespace ostrel {
namespace {

namespace LS = LegacySerialization;
using test_support::CountingMemoryResource;
using test_support::ScopedMemoryResource;
using GBox = Envelope::GeometryBox;

class StoredFormats : public ::testing::Test {
 protected:
  void SetUp() override { BasicServices::Register(); }
  void TearDown() override { BasicServices::Unregister(); }
};

bool SameBox(GBox const& a, GBox const& b) { return a.first == b.first && a.second == b.second; }
bool SameBox(Envelope::GeographyBox const& a, Envelope::GeographyBox const& b) {
  return a.first == b.first && a.second == b.second;
}

unsigned int LegacyId() { return LegacyFormat::GetRegisteredFormatInfo().first; }
unsigned int OgrId() { return OgrFormat::GetRegisteredFormatInfo().first; }

// A planar value with two lines and two polygons, in the default format.
DefaultGeometry Sample() {
  using V = DefaultGeometry;
  V::Polys const polys = {{{{0, 0}, {2, 0}, {2, 2}, {0, 0}}}, {{{5, 5}, {9, 5}, {9, 9}, {5, 5}}}};
  return V({{7, 7}}, {{{0, 0}, {1, 3}}, {{-4, 2}, {-1, -6}}}, polys);
}

// A legacy copy of `value` whose line 0 and polygon 1 carry made-up boxes,
// which no computation could give, so only the handler can answer them.
LegacyGeometry WithFakeBoxes(LegacyGeometry const& value, GBox const& line, GBox const& poly) {
  LS::Storage<Geometry> storage;
  storage.shape_type = value.GetShapeType();
  storage.points = value.GetStorage().points;
  storage.lines = value.GetStorage().lines;
  storage.polygons = value.GetStorage().polygons;
  storage.lines[0].box = line;
  storage.polygons[1].box = poly;
  return LegacyGeometry(std::move(storage));
}

TEST_F(StoredFormats, LegacyAndOgrEnvelopesAnswerTheStoredBoxes) {
  DefaultGeometry const plain = Sample();
  auto const computed = Envelope::Calculate(plain);
  ASSERT_EQ(computed.size(), 5u);

  GBox const fake_line{GeometryCoordinate(-100, -100), GeometryCoordinate(100, 100)};
  GBox const fake_poly{GeometryCoordinate(-50, -50), GeometryCoordinate(50, 50)};

  // Legacy: values built from coordinates or read from a stream keep no
  // boxes, so every box is computed and equals the default format's.
  LegacyGeometry const legacy(
      DefaultGeometry::Points{{7, 7}}, {{{0, 0}, {1, 3}}, {{-4, 2}, {-1, -6}}},
      {{{{0, 0}, {2, 0}, {2, 2}, {0, 0}}}, {{{5, 5}, {9, 5}, {9, 9}, {5, 5}}}});
  auto const legacy_boxes = Envelope::Calculate(legacy);
  ASSERT_EQ(legacy_boxes.size(), computed.size());
  for (std::size_t k = 0; k < computed.size(); ++k)
    EXPECT_TRUE(SameBox(legacy_boxes[k], computed[k]));

  auto const faked = WithFakeBoxes(legacy, fake_line, fake_poly);
  auto const faked_boxes = Envelope::Calculate(faked);
  EXPECT_TRUE(SameBox(faked_boxes[1], fake_line));    // stored
  EXPECT_TRUE(SameBox(faked_boxes[2], computed[2]));  // not stored: computed
  EXPECT_TRUE(SameBox(faked_boxes[3], computed[3]));
  EXPECT_TRUE(SameBox(faked_boxes[4], fake_poly));

  // OGR: boxes handed in are answered as given; a NaN box is recomputed.
  using O = OgrGeometry;
  auto pack = [](std::vector<GeometryCoordinate> const& cs) {
    O::PackedPoints out;
    for (auto const& c : cs) out.emplace_back(c.GetX(), c.GetY(), GeometryCoordinate::Bias::None());
    return out;
  };
  O::PackedLines lines;
  lines.emplace_back(pack({{0, 0}, {1, 3}}), fake_line);
  lines.emplace_back(pack({{-4, 2}, {-1, -6}}), GBox());
  O::PackedPolys polys;
  polys.emplace_back(O::PackedRings{pack({{0, 0}, {2, 0}, {2, 2}, {0, 0}})},
                     GBox(GeometryCoordinate(), GeometryCoordinate(1, 1)));
  polys.emplace_back(O::PackedRings{pack({{5, 5}, {9, 5}, {9, 9}, {5, 5}})}, fake_poly);
  O const ogr(ShapeType::Mixed, pack({{7, 7}}), std::move(lines), std::move(polys),
              O::Attributes());
  auto const ogr_boxes = Envelope::Calculate(ogr);
  ASSERT_EQ(ogr_boxes.size(), 5u);
  EXPECT_TRUE(SameBox(ogr_boxes[0], computed[0]));
  EXPECT_TRUE(SameBox(ogr_boxes[1], fake_line));
  EXPECT_TRUE(SameBox(ogr_boxes[2], computed[2]));
  EXPECT_TRUE(SameBox(ogr_boxes[3], computed[3]));  // half-NaN stored box
  EXPECT_TRUE(SameBox(ogr_boxes[4], fake_poly));

  // Unregistering the planar handlers leaves the stored boxes unused.
  Envelope::Unregister(OgrId(), CoordinateType::Geometry);
  Envelope::Unregister(LegacyId(), CoordinateType::Geometry);
  EXPECT_TRUE(SameBox(Envelope::Calculate(ogr)[1], computed[1]));
  EXPECT_TRUE(SameBox(Envelope::Calculate(faked)[4], computed[4]));
}

TEST_F(StoredFormats, GeographicOgrBoxesAndTheHandlerOfTheOtherKind) {
  using O = OgrGeography;
  auto geo = [](double lon, double lat) {
    return GeographyCoordinate(Latitude(Degrees(lat)), Longitude(Degrees(lon)));
  };
  Envelope::GeographyBox const fake{geo(-30, -30), geo(30, 30)};
  O::PackedLines lines;
  lines.emplace_back(O::PackedPoints{O::Packed(Latitude(Degrees(0)), Longitude(Degrees(0))),
                                     O::Packed(Latitude(Degrees(5)), Longitude(Degrees(10)))},
                     fake);
  O const value(ShapeType::LineString, O::PackedPoints(), std::move(lines), O::PackedPolys(),
                O::Attributes());
  EXPECT_TRUE(SameBox(Envelope::Calculate(value)[0], fake));
  // The geography handler outlives the removal of the planar one.
  Envelope::Unregister(OgrId(), CoordinateType::Geometry);
  EXPECT_TRUE(SameBox(Envelope::Calculate(value)[0], fake));
  Envelope::Unregister(OgrId(), CoordinateType::Geography);
  auto const computed = Envelope::Calculate(value)[0];
  EXPECT_FALSE(SameBox(computed, fake));
  EXPECT_NEAR(Degrees(computed.second.GetLongitude()).Get(), 10, 1e-7);  // the grid
}

TEST_F(StoredFormats, AHandlerOnAValueThatKeepsNoBoxesAnswersNone) {
  LegacyEnvelope::GeometryHandler handler;
  auto const box = handler.ForLine(Sample(), 0);
  EXPECT_FALSE(box.first.IsValid());
  EXPECT_FALSE(box.second.IsValid());
  OgrEnvelope::GeographyHandler geo;
  DefaultGeography const line({},
                              {{GeographyCoordinate(Latitude(Degrees(1)), Longitude(Degrees(2))),
                                GeographyCoordinate(Latitude(Degrees(3)), Longitude(Degrees(4)))}},
                              {});
  EXPECT_FALSE(geo.ForPoly(line, 0).first.IsValid());
}

std::vector<SpatialPtr> ReadLines(char const* name, CoordinateType kind) {
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + name);
  std::vector<SpatialPtr> out;
  for (std::string line; std::getline(in, line);) out.push_back(OWKT::From(line, kind));
  return out;
}

// The values of `values` held in the legacy format, through a plain stream.
std::vector<SpatialPtr> AsLegacy(std::vector<SpatialPtr> const& values, std::uint8_t type,
                                 std::int8_t precision) {
  std::vector<SpatialPtr> out;
  for (auto const& v : values) {
    auto const bytes = LS::Write(*v, type, precision);
    out.push_back(LS::Read(bytes));
  }
  return out;
}

std::vector<SpatialPtr> One(char const* text, CoordinateType kind = CoordinateType::Unknown) {
  std::vector<SpatialPtr> out;
  out.push_back(kind == CoordinateType::Unknown ? OWKT::From(text) : OWKT::From(text, kind));
  return out;
}

SpatialPtr CollectAll(std::vector<SpatialPtr> const& values) {
  Collect collect;
  for (auto const& v : values) collect.Add(*v);
  return collect.Finish();
}

// Collecting legacy values concatenates their records: the result is a
// legacy value holding the same content as collecting the decoded values in
// the default format, so it has the same hash and text.
TEST_F(StoredFormats, LegacyCollectKeepsTheFormatAndTheContent) {
  for (CoordinateType kind : {CoordinateType::Geometry, CoordinateType::Geography}) {
    for (std::uint8_t type : {LS::kPlain, LS::kCompressed}) {
      auto const legacy = AsLegacy(ReadLines("cities.wkt", kind), type, 7);
      // The decoded reference: each legacy value copied into the default format.
      std::vector<SpatialPtr> decoded;
      for (auto const& v : legacy)
        decoded.push_back(OWKT::From(OWKT::To(*v, OWKT::WriteOptions::Lossless())));
      auto const from_legacy = CollectAll(legacy);
      auto const from_default = CollectAll(decoded);
      EXPECT_EQ(from_legacy->GetFormatInfo().first, LegacyId());
      EXPECT_NE(from_default->GetFormatInfo().first, LegacyId());
      EXPECT_EQ(from_legacy->GetShapeType(), ShapeType::MultiPoint);
      EXPECT_EQ(from_legacy->GetHash(), from_default->GetHash())
          << to_string(kind) << " serializer " << int(type);
    }
  }
  // Countries: polygons and multi-polygons, compressed at precision 9.
  auto const countries =
      AsLegacy(ReadLines("countries.wkt", CoordinateType::Geometry), LS::kCompressed, 9);
  auto const collected = CollectAll(countries);
  ASSERT_EQ(collected->GetFormatInfo().first, LegacyId());
  std::vector<SpatialPtr> decoded;
  for (auto const& v : countries)
    decoded.push_back(OWKT::From(OWKT::To(*v, OWKT::WriteOptions::Lossless())));
  EXPECT_EQ(collected->GetHash(), CollectAll(decoded)->GetHash());
  EXPECT_EQ(collected->GetShapeType(), ShapeType::MultiPolygon);
}

TEST_F(StoredFormats, LegacyCollectHandsOverToTheGeneralHandler) {
  std::vector<SpatialPtr> inputs = One("POINT(1 2)");
  inputs.push_back(OWKT::From("LINESTRING(0 0, 1 1)"));
  auto const legacy = AsLegacy(inputs, LS::kPlain, 0);
  Collect collect;
  collect.Add(*legacy[0]);
  collect.Add(*OWKT::From("POINT(3 4)"));  // default format: the general handler takes over
  collect.Add(*legacy[1]);
  auto const result = collect.Finish();
  EXPECT_NE(result->GetFormatInfo().first, LegacyId());
  EXPECT_EQ(
      result->GetHash(),
      OWKT::From("GEOMETRYCOLLECTION(POINT(1 2), POINT(3 4), LINESTRING(0 0, 1 1))")->GetHash());
}

TEST_F(StoredFormats, LegacyCollectFailures) {
  EXPECT_THROW(
      {
        try {
          LegacyCollect::GeometryHandler handler(Sample());
        } catch (std::invalid_argument const& e) {
          EXPECT_STREQ(e.what(), "spatial is not a LegacyFormat");
          throw;
        }
      },
      std::invalid_argument);
  // The registered factory refuses values of no family.
  auto const handlers = ServiceRegistry::Instance().Get<CollectHandlers>();
  try {
    handlers->Make(LegacyId(), Unknown());
    ADD_FAILURE() << "no exception";
  } catch (std::invalid_argument const& e) {
    EXPECT_EQ(std::string(e.what()), "can't handle " + to_string(Unknown()));
  }
  // Legacy values of both families cannot be mixed, as for any format.
  auto const planar = AsLegacy(One("POINT(1 2)"), LS::kPlain, 0);
  auto const geographic = AsLegacy(One("POINT(1 2)", CoordinateType::Geography), LS::kPlain, 0);
  Collect collect;
  collect.Add(*planar[0]);
  EXPECT_THROW(collect.Add(*geographic[0]), std::invalid_argument);
  EXPECT_EQ(collect.Finish()->GetHash(), planar[0]->GetHash());
}

// The fast paths decode nothing: a record's decoded coordinates are
// allocated on the resource of its bytes, so with the values' bytes on one
// counting resource and the operations running on another, collecting legacy
// values and taking envelopes through stored boxes must not allocate on the
// first at all, while visiting a line there does.
TEST_F(StoredFormats, FastPathsDecodeNoLineOrRing) {
  CountingMemoryResource source, work;
  std::vector<SpatialPtr> values;
  {
    ScopedMemoryResource scope(&source);
    for (auto const& v : ReadLines("countries50.wkt", CoordinateType::Geometry)) {
      auto const bytes = LS::Write(*v, LS::kCompressed, 7);
      auto read = LS::Read(bytes);
      // Stored boxes, as a producer that knows them keeps them.
      auto const& legacy = dynamic_cast<LegacyGeometry const&>(*read);
      LS::Storage<Geometry> storage;
      storage.shape_type = legacy.GetShapeType();
      storage.polygons = legacy.GetStorage().polygons;
      for (auto& poly : storage.polygons) {
        poly.box = {GeometryCoordinate(-180, -90), GeometryCoordinate(180, 90)};
      }
      values.push_back(MakeSpatial<LegacyGeometry>(std::move(storage)));
    }
  }
  std::size_t const before = source.Allocations();
  {
    ScopedMemoryResource scope(&work);
    Collect collect;
    for (auto const& v : values) collect.Add(*v);
    auto const collected = collect.Finish();
    for (auto const& v : values) {
      for (auto const& box : Envelope::Calculate(v->AsGeometry())) {
        EXPECT_TRUE(box.first == GeometryCoordinate(-180, -90));
      }
    }
    EXPECT_EQ(source.Allocations(), before) << "a record of the inputs was decoded";
    // The collected value's records decode on visit, on their own resource.
    std::size_t const work_before = work.Allocations();
    EXPECT_GT(collected->AsGeometry().GetPolys()[0][0].size(), 3u);
    EXPECT_GT(work.Allocations(), work_before);
  }
  // And a visit of an input does allocate where the test looks.
  EXPECT_GT(values[0]->AsGeometry().GetPolys()[0][0].size(), 3u);
  EXPECT_GT(source.Allocations(), before);
}

// After Unregister no legacy handler is left: a legacy collection is made by
// the general handler and an envelope computes every box.
TEST(StoredFormatsServices, UnregisterRemovesTheStoredFormatsHandlers) {
  BasicServices::Register();
  auto const legacy = AsLegacy(One("MULTIPOINT(1 2, 3 4)"), LS::kPlain, 0);
  EXPECT_EQ(CollectAll(legacy)->GetFormatInfo().first, LegacyId());
  Collect::Unregister(LegacyId());
  EXPECT_NE(CollectAll(legacy)->GetFormatInfo().first, LegacyId());
  BasicServices::Unregister();
  BasicServices::Register();
  EXPECT_EQ(CollectAll(legacy)->GetFormatInfo().first, LegacyId());
  BasicServices::Unregister();
}

}  // namespace
}  // namespace ostrel
