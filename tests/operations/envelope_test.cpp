// Envelope::Calculate: the order and kind of its boxes, the stored-box
// handlers with their fallback, the service it needs, the Natural Earth
// countries checked against their own vertices, and the planar family
// against an independent min/max pass.
#include "ostrel/operations/envelope.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ostrel/core/angle.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/operations/basic_services.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel {
namespace {

GeographyCoordinate Geo(double lon_degrees, double lat_degrees) {
  return GeographyCoordinate(Latitude(Degrees(lat_degrees)), Longitude(Degrees(lon_degrees)));
}

double DegreesOf(Longitude const& l) { return Degrees(l).Get(); }

class EnvelopeTest : public ::testing::Test {
 protected:
  void SetUp() override { BasicServices::Register(); }
  void TearDown() override { BasicServices::Unregister(); }
};

TEST_F(EnvelopeTest, OneBoxPerPointThenLineThenPolygon) {
  using V = DefaultGeometry;
  V const empty;
  EXPECT_TRUE(Envelope::Calculate(empty).empty());

  V::Points const points = {{1, 2}, {3, 4}};
  V::Lines const lines = {{{0, 0}, {10, -5}, {4, 7}}};
  V::Polys const polys = {{{{0, 0}, {2, 0}, {2, 2}, {0, 0}}, {{5, 5}, {9, 5}, {9, 9}, {5, 5}}}};
  V const mixed(points, lines, polys);
  auto const boxes = Envelope::Calculate(mixed);
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_TRUE(boxes[0].first == GeometryCoordinate(1, 2) && boxes[0].second == boxes[0].first);
  EXPECT_TRUE(boxes[1].first == GeometryCoordinate(3, 4));
  EXPECT_TRUE(boxes[2].first == GeometryCoordinate(0, -5) &&
              boxes[2].second == GeometryCoordinate(10, 7));
  // A polygon's box is that of its exterior ring; the second ring lies outside it.
  EXPECT_TRUE(boxes[3].first == GeometryCoordinate(0, 0) &&
              boxes[3].second == GeometryCoordinate(2, 2));

  // Point boxes are snapped again with the (0, 0) bias, whatever the value's bias.
  V const biased(points, {}, {}, Geometry::Attributes({1000000.1, 0.3}, SRID(), SRID()));
  GeometryCoordinate const stored = biased.GetPoints()[0];
  auto const snapped = Envelope::Calculate(biased);
  EXPECT_TRUE(snapped[0].first == GeometryCoordinate(stored.GetX(), stored.GetY()));
  EXPECT_NE(stored.GetY(), GeometryCoordinate(stored.GetX(), stored.GetY()).GetY());
}

TEST_F(EnvelopeTest, GeographicBoxesCrossTheAntimeridianAndReachThePoles) {
  using V = DefaultGeography;
  V const crossing({}, {{Geo(170, 10), Geo(-170, 12)}}, {});
  auto const boxes = Envelope::Calculate(crossing);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NEAR(DegreesOf(boxes[0].first.GetLongitude()), 170, 1e-6);
  EXPECT_NEAR(DegreesOf(boxes[0].second.GetLongitude()), -170, 1e-6);

  // A ring around the north pole (interior to its left, running east).
  V::Points ring;
  for (int lon = -180; lon <= 180; lon += 45) ring.push_back(Geo(lon == 180 ? -180 : lon, 80));
  ring.back() = ring.front();
  V const cap({}, {}, {{ring}});
  auto const pole = Envelope::Calculate(cap);
  ASSERT_EQ(pole.size(), 1u);
  EXPECT_EQ(pole[0].second.GetLatitude().Get().Get(), M_PI_2);
  SphericalTrapezoidBounds const b(pole[0].first, pole[0].second);
  EXPECT_TRUE(b.CoversAllLongitudes());
}

// A handler that answers stored boxes for one format, NaN for polygon 1.
struct StoredBoxes final : Envelope::GeometryHandler {
  std::atomic<int> calls = 0;
  Envelope::GeometryBox ForLine(Geometry const&, unsigned int line) override {
    ++calls;
    return {GeometryCoordinate(-100.0 - line, -100), GeometryCoordinate(100, 100)};
  }
  Envelope::GeometryBox ForPoly(Geometry const&, unsigned int poly) override {
    ++calls;
    if (poly == 1) return {GeometryCoordinate(), GeometryCoordinate(1, 1)};
    return {GeometryCoordinate(-1, -1), GeometryCoordinate(1, 1)};
  }
};

TEST_F(EnvelopeTest, StoredBoxesComeFromTheFormatsHandlerUnlessTheyHaveNaN) {
  using V = DefaultGeometry;
  V::Polys const polys = {{{{0, 0}, {2, 0}, {2, 2}, {0, 0}}}, {{{5, 5}, {9, 5}, {9, 9}, {5, 5}}}};
  V const value({}, {{{0, 0}, {1, 1}}}, polys);
  unsigned int const format = value.GetFormatInfo().first;
  auto const handler = std::make_shared<StoredBoxes>();
  Envelope::Register(format, handler);
  auto boxes = Envelope::Calculate(value);
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(handler->calls, 3);
  EXPECT_TRUE(boxes[0].first == GeometryCoordinate(-100, -100));  // stored
  EXPECT_TRUE(boxes[1].first == GeometryCoordinate(-1, -1));      // stored
  EXPECT_TRUE(boxes[2].first == GeometryCoordinate(5, 5) &&       // NaN stored: computed
              boxes[2].second == GeometryCoordinate(9, 9));

  // Removing the geography handler of the format leaves the geometry one.
  Envelope::Unregister(format, CoordinateType::Geography);
  Envelope::Unregister(format, CoordinateType::Unknown);
  EXPECT_TRUE(Envelope::Calculate(value)[0].first == GeometryCoordinate(-100, -100));
  Envelope::Unregister(format, CoordinateType::Geometry);
  EXPECT_TRUE(Envelope::Calculate(value)[0].first == GeometryCoordinate(0, 0));
  EXPECT_EQ(handler->calls, 6);
}

TEST(EnvelopeServices, LinesAndPolygonsNeedTheServicesPointsDoNot) {
  BasicServices::Unregister();
  DefaultGeometry const points({{1, 2}}, {}, {});
  EXPECT_EQ(Envelope::Calculate(points).size(), 1u);
  DefaultGeometry const line({}, {{{0, 0}, {1, 1}}}, {});
  try {
    Envelope::Calculate(line);
    ADD_FAILURE() << "no error without services";
  } catch (std::runtime_error const& e) {
    EXPECT_EQ(std::string(e.what()).rfind("no Service for ", 0), 0u) << e.what();
  }
  Envelope::Unregister(7, CoordinateType::Geometry);  // without the service: nothing happens
}

std::vector<SpatialPtr> ReadAll(std::string const& file, CoordinateType kind) {
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + file);
  std::vector<SpatialPtr> values;
  for (std::string line; std::getline(in, line);) values.push_back(OWKT::From(line, kind));
  return values;
}

// The countries as geographies with their interior on the left: the data's
// rings run clockwise in the lon/lat plane (interior on the right), so each
// ring is reversed, as the interchange readers orient them.
std::vector<SpatialPtr> CountriesInteriorLeft() {
  std::vector<SpatialPtr> out;
  for (auto const& value : ReadAll("countries.wkt", CoordinateType::Geography)) {
    Geography const& g = value->AsGeography();
    DefaultGeography::Polys polys;
    for (auto const& poly : g.GetPolys()) {
      auto& rings = polys.emplace_back();
      for (auto const& ring : poly) rings.emplace_back(ring.begin(), ring.end());
      for (auto& ring : rings) std::reverse(ring.begin(), ring.end());
    }
    out.push_back(MakeSpatial<DefaultGeography>(DefaultGeography::Points(),
                                                DefaultGeography::Lines(), polys));
  }
  return out;
}

// Every country's boxes contain all of its vertices; Fiji (line 1) and
// Russia (line 19), split at the antimeridian into parts on both sides, have
// a union of boxes across it; Antarctica (line 160) spans all longitudes and
// reaches the south pole.
TEST_F(EnvelopeTest, NaturalEarthCountriesContainTheirVertices) {
  auto const countries = CountriesInteriorLeft();
  ASSERT_EQ(countries.size(), 177u);
  for (std::size_t k = 0; k < countries.size(); ++k) {
    Geography const& g = countries[k]->AsGeography();
    auto const boxes = Envelope::Calculate(g);
    ASSERT_EQ(boxes.size(), g.GetPolys().size());
    for (std::size_t p = 0; p < boxes.size(); ++p) {
      SphericalTrapezoidBounds const box(boxes[p].first, boxes[p].second);
      ASSERT_TRUE(box.IsValid()) << k;
      for (auto const& c : g.GetPolys()[static_cast<unsigned int>(p)][0]) {
        ASSERT_TRUE(box.Contains(c)) << "country line " << k + 1 << " polygon " << p;
      }
    }
  }
  auto west_of_east = [&](std::size_t line) {
    auto const boxes = Envelope::Calculate(countries[line - 1]->AsGeography());
    SphericalTrapezoidBounds whole(boxes[0].first, boxes[0].second);
    for (auto const& b : boxes) whole = whole.Union(SphericalTrapezoidBounds(b.first, b.second));
    return whole.GetWestLongitude().Get().Get() > whole.GetEastLongitude().Get().Get();
  };
  EXPECT_TRUE(west_of_east(1)) << "Fiji";
  EXPECT_TRUE(west_of_east(19)) << "Russia";
  auto const antarctica = Envelope::Calculate(countries[159]->AsGeography());
  bool spans = false;
  for (auto const& b : antarctica) {
    spans |= SphericalTrapezoidBounds(b.first, b.second).CoversAllLongitudes() &&
             b.first.GetLatitude().Get().Get() == -M_PI_2;
  }
  EXPECT_TRUE(spans);
}

// The planar boxes of countries50 equal an independent min/max pass over
// each exterior ring (and each line of a random set).
TEST_F(EnvelopeTest, PlanarBoxesEqualAMinMaxPass) {
  auto const countries = ReadAll("countries50.wkt", CoordinateType::Geometry);
  ASSERT_EQ(countries.size(), 241u);
  for (auto const& value : countries) {
    Geometry const& g = value->AsGeometry();
    auto const boxes = Envelope::Calculate(g);
    auto const polys = g.GetPolys();
    ASSERT_EQ(boxes.size(), polys.size());
    for (unsigned int p = 0; p < polys.size(); ++p) {
      double lo_x = INFINITY, lo_y = INFINITY, hi_x = -INFINITY, hi_y = -INFINITY;
      for (auto const& c : polys[p][0]) {
        lo_x = std::min(lo_x, c.GetX()), hi_x = std::max(hi_x, c.GetX());
        lo_y = std::min(lo_y, c.GetY()), hi_y = std::max(hi_y, c.GetY());
      }
      ASSERT_TRUE(boxes[p].first == GeometryCoordinate(lo_x, lo_y) &&
                  boxes[p].second == GeometryCoordinate(hi_x, hi_y));
    }
  }
}

// Calculate, Register and Unregister from many threads at once.
TEST_F(EnvelopeTest, ConcurrentUse) {
  auto const countries = ReadAll("countries.wkt", CoordinateType::Geography);
  unsigned int const format = countries[0]->GetFormatInfo().first;
  std::vector<std::thread> threads;
  std::atomic<int> errors = 0;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        if (t == 0) {
          Envelope::Register(format + 1000, std::make_shared<StoredBoxes>());
          Envelope::Unregister(format + 1000, CoordinateType::Geometry);
        } else {
          auto const& g = countries[static_cast<std::size_t>(i * 7 + t) % countries.size()];
          if (Envelope::Calculate(g->AsGeography()).empty()) ++errors;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(errors, 0);
}

}  // namespace
}  // namespace ostrel
