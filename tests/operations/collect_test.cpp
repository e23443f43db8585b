// Collect and Distinct: the shape types and order of collected values, every
// failure message, reuse after Finish, the switch from a specialised handler
// to the general one, the 177 countries against a collection built directly
// from their vectors, and Distinct's first occurrences.
#include "ostrel/operations/collect.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ostrel/operations/basic_services.hpp"
#include "ostrel/operations/default_collect.hpp"
#include "ostrel/operations/distinct.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/identifying.hpp"
#include "ostrel/spatial/unknown.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel {
namespace {

class CollectTest : public ::testing::Test {
 protected:
  void SetUp() override { BasicServices::Register(); }
  void TearDown() override { BasicServices::Unregister(); }
};

SpatialPtr Read(char const* text) { return OWKT::From(text); }

std::string Collected(std::vector<char const*> const& texts) {
  Collect collect;
  for (char const* t : texts) collect.Add(*Read(t));
  return OWKT::To(*collect.Finish());
}

TEST_F(CollectTest, ShapeTypeAndOrderFollowTheCounts) {
  struct Case {
    std::vector<char const*> in;
    char const* out;
  };
  Case const cases[] = {
      {{"POINT(1 2)"}, "POINT (1 2)"},
      {{"POINT(1 2)", "POINT(3 4)"}, "MULTIPOINT ((1 2), (3 4))"},
      {{"POINT(1 2)", "LINESTRING(0 0, 1 1)"},
       "GEOMETRYCOLLECTION (POINT (1 2), LINESTRING (0 0, 1 1))"},
      {{"MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))",
        "POLYGON((9 9, 8 9, 8 8, 9 9))"},
       "MULTIPOLYGON (((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)), ((9 9, 8 9, 8 8, 9 9)))"},
      {{"LINESTRING(0 0, 1 1)", "MULTILINESTRING((2 2, 3 3), (4 4, 5 5))"},
       "MULTILINESTRING ((0 0, 1 1), (2 2, 3 3), (4 4, 5 5))"},
  };
  for (Case const& c : cases) {
    std::string const expected = OWKT::To(*Read(c.out));
    EXPECT_EQ(Collected(c.in), expected) << c.out;
  }
}

TEST_F(CollectTest, EmptyValuesCollectToAnEmptyValue) {
  Collect collect;
  collect.Add(*Read("POINT EMPTY"));
  collect.Add(*Read("LINESTRING EMPTY"));
  SpatialPtr empty = collect.Finish();
  EXPECT_TRUE(empty->IsGeometry() && empty->GetShapeType() == ShapeType::Empty);
}

TEST_F(CollectTest, EveryFailureHasItsMessage) {
  struct Case {
    std::vector<char const*> in;
    char const* message;
  };
  Case const cases[] = {
      {{"POINT(1 2)", "garbage"}, "can not collect Unknown or Identifying"},
      {{"POINT(1 2)", "TOPOLOGICALTYPE=FLAT;POINT(1 2)"},
       "collect can not mix Geometry and Geography"},
      {{"ORIGINALSRID=EPSG:4326,BIAS=0:0;POINT(1 2)", "POINT(1 2)"}, "original SRID mismatch"},
      {{"BIAS=0:0,CONVERTEDSRID=EPSG:3857;POINT(1 2)", "POINT(1 2)"}, "converted SRID mismatch"},
      {{"TOPOLOGICALTYPE=FLAT;POINT(1 2)", "ORIGINALSRID=EPSG:4326;POINT(1 2)"},
       "topological type mismatch"},
  };
  for (Case const& c : cases) {
    Collect collect;
    collect.Add(*Read(c.in[0]));
    try {
      collect.Add(*Read(c.in[1]));
      ADD_FAILURE() << "accepted: " << c.in[1];
    } catch (std::invalid_argument const& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
    // The failed Add changed nothing.
    EXPECT_EQ(OWKT::To(*collect.Finish()), OWKT::To(*Read(c.in[0])));
  }
  Collect first;
  EXPECT_THROW(first.Add(Identifying(42)), std::invalid_argument);
  EXPECT_THROW(first.Add(Unknown()), std::invalid_argument);
  // Different biases are accepted.
  EXPECT_NO_THROW(Collected({"BIAS=5:5;POINT(1 2)", "BIAS=7:1;POINT(3 4)"}));
}

TEST_F(CollectTest, FinishWithoutValuesIsUnknownAndCollectsAfresh) {
  Collect collect;
  EXPECT_TRUE(collect.Finish()->IsUnknown());
  collect.Add(*Read("POINT(1 2)"));
  EXPECT_TRUE(collect.Finish()->IsGeometry());
  collect.Add(*Read("TOPOLOGICALTYPE=FLAT;POINT(1 2)"));  // another kind after Finish
  EXPECT_TRUE(collect.Finish()->IsGeography());
  Collect moved(std::move(collect));
  EXPECT_TRUE(moved.Finish()->IsUnknown());
}

TEST(CollectServices, TheFirstValueNeedsTheService) {
  BasicServices::Unregister();
  Collect collect;
  EXPECT_THROW(collect.Add(*Read("POINT(1 2)")), std::runtime_error);
}

// A specialised handler for the default format that takes points only: a
// line makes Collect hand its partial result to the general handler once.
struct PointsOnly final : Collect::GeometryHandler {
  explicit PointsOnly(Geometry const& first, int& made) : made_(made) {
    ++made_;
    Add(first);
  }
  bool Accepts(Spatial const& v) override { return v.GetShapeType() == ShapeType::Point; }
  SpatialPtr Finish() override {
    return MakeSpatial<DefaultGeometry>(points_, DefaultGeometry::Lines(),
                                        DefaultGeometry::Polys());
  }
  void Add(Geometry const& v) override {
    for (auto const& c : v.GetPoints()) points_.push_back(c);
  }
  SRID GetOriginalSRID() override { return SRID(); }
  SRID GetConvertedSRID() override { return SRID(); }
  DefaultGeometry::Points points_;
  int& made_;
};

TEST_F(CollectTest, ASpecialisedHandlerHandsOverToTheGeneralOne) {
  unsigned int const format = DefaultFormat::GetRegisteredFormatInfo().first;
  int made = 0;
  Collect::Register(format, [&made](Spatial const& first) -> std::unique_ptr<Collect::Handler> {
    if (!first.IsGeometry()) return nullptr;  // declines: the general handler is used
    return std::make_unique<PointsOnly>(first.AsGeometry(), made);
  });
  EXPECT_EQ(Collected({"POINT(1 2)", "POINT(3 4)", "LINESTRING(0 0, 1 1)", "POINT(5 6)"}),
            OWKT::To(*Read("GEOMETRYCOLLECTION(POINT(1 2), POINT(3 4), POINT(5 6), "
                           "LINESTRING(0 0, 1 1))")));
  EXPECT_EQ(made, 1);
  EXPECT_EQ(Collected({"TOPOLOGICALTYPE=FLAT;POINT(1 2)", "TOPOLOGICALTYPE=FLAT;POINT(3 4)"}),
            OWKT::To(*Read("TOPOLOGICALTYPE=FLAT;MULTIPOINT((1 2), (3 4))")));
  Collect::Unregister(format);
  Collect::Unregister(format);  // absent: ignored
  EXPECT_EQ(made, 1);
}

// All 177 countries collected give the value built directly from all their
// polygons.
TEST_F(CollectTest, CountriesCollectToTheDirectCollection) {
  for (CoordinateType kind : {CoordinateType::Geometry, CoordinateType::Geography}) {
    std::ifstream in(std::string(OSTREL_DATA_DIR) + "/countries.wkt");
    Collect collect;
    DefaultGeometry::Polys planar;
    DefaultGeography::Polys geographic;
    for (std::string line; std::getline(in, line);) {
      SpatialPtr v = OWKT::From(line, kind);
      collect.Add(*v);
      auto add = [](auto const& g, auto& polys) {
        for (auto const& poly : g.GetPolys()) {
          auto& rings = polys.emplace_back();
          for (auto const& ring : poly) rings.emplace_back(ring.begin(), ring.end());
        }
      };
      if (v->IsGeometry()) add(v->AsGeometry(), planar);
      if (v->IsGeography()) add(v->AsGeography(), geographic);
    }
    SpatialPtr collected = collect.Finish();
    unsigned long long const direct = kind == CoordinateType::Geometry
                                          ? DefaultGeometry({}, {}, planar).GetHash()
                                          : DefaultGeography({}, {}, geographic).GetHash();
    EXPECT_EQ(collected->GetHash(), direct);
    EXPECT_EQ(collected->GetShapeType(), ShapeType::MultiPolygon);
  }
}

TEST(Distinct, KeepsFirstOccurrencesOfMixedValuesOnly) {
  struct Case {
    char const* in;
    char const* out;  // nullptr: nothing to remove
  };
  Case const cases[] = {
      {"GEOMETRYCOLLECTION(POINT(1 2), POINT(1 2), LINESTRING(0 0, 1 1))",
       "GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))"},
      {"GEOMETRYCOLLECTION(LINESTRING(0 0, 1 1), POINT(3 3), LINESTRING(1 1, 0 0), "
       "LINESTRING(0 0, 1 1), POINT(4 4), POINT(3 3))",
       "GEOMETRYCOLLECTION(POINT(3 3), POINT(4 4), LINESTRING(0 0, 1 1), LINESTRING(1 1, 0 0))"},
      {"BIAS=10:20,ORIGINALSRID=EPSG:3857;GEOMETRYCOLLECTION(POLYGON((0 0, 1 0, 1 1, 0 0)), "
       "POINT(1 1), POLYGON((0 0, 1 0, 1 1, 0 0)))",
       "BIAS=10:20,ORIGINALSRID=EPSG:3857;GEOMETRYCOLLECTION(POINT(1 1), "
       "POLYGON((0 0, 1 0, 1 1, 0 0)))"},
      {"TOPOLOGICALTYPE=FLAT;GEOMETRYCOLLECTION(POINT(1 2), POINT(1 2), POINT(2 2))",
       "TOPOLOGICALTYPE=FLAT;GEOMETRYCOLLECTION(POINT(1 2), POINT(2 2))"},
      {"GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))", nullptr},
      {"MULTIPOINT((1 2), (1 2))", nullptr},
      {"garbage", nullptr},
  };
  for (Case const& c : cases) {
    SpatialPtr in = Read(c.in);
    SpatialPtr out = Distinct::Make(*in);
    if (c.out == nullptr) {
      EXPECT_FALSE(out) << c.in;
      Spatial const* before = in.get();
      EXPECT_EQ(Distinct::Make(std::move(in)).get(), before);
      continue;
    }
    ASSERT_TRUE(out) << c.in;
    SpatialPtr expected = OWKT::From(OWKT::To(*Read(c.out)), in->GetCoordinateType());
    EXPECT_EQ(out->GetShapeType(), ShapeType::Mixed);
    EXPECT_EQ(OWKT::To(*out), OWKT::To(*expected)) << c.in;
    EXPECT_EQ(out->GetHash(), Distinct::Make(std::move(in))->GetHash());
  }
}

}  // namespace
}  // namespace ostrel
