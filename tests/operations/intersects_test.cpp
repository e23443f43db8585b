// Intersects::Calculate: the stated cases in a table, the meridian rule of
// the spherical ring test (touching, passing, running along the meridian,
// any starting vertex), errors, and cross-checks of point in polygon against
// independent implementations: GEOS prepared geometry in the plane (the
// Natural Earth countries and random polygons with holes) and S2 on the
// sphere (the countries, the poles, the antimeridian), where great ellipses
// and great circles may disagree only near an edge.
#include "ostrel/operations/intersects.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ostrel/core/angle.hpp"
#include "ostrel/kernel/ellipsoid.hpp"
#include "ostrel/kernel/elliptic_arc.hpp"
#include "ostrel/kernel/pole_containment.hpp"
#include "ostrel/operations/basic_services.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/identifying.hpp"
#include "ostrel/spatial/service_registry.hpp"
#include "ostrel/spatial/unknown.hpp"
#include "ostrel/text/owkt.hpp"

#ifdef OSTREL_HAVE_GEOS
#include <geos/geom/Coordinate.h>
#include <geos/geom/GeometryFactory.h>
#include <geos/geom/LinearRing.h>
#include <geos/geom/MultiPolygon.h>
#include <geos/geom/Point.h>
#include <geos/geom/Polygon.h>
#include <geos/geom/prep/PreparedGeometry.h>
#include <geos/geom/prep/PreparedGeometryFactory.h>
#endif

#ifdef OSTREL_HAVE_S2
#include <s2/s1angle.h>
#include <s2/s2edge_distances.h>
#include <s2/s2error.h>
#include <s2/s2latlng.h>
#include <s2/s2latlng_rect.h>
#include <s2/s2loop.h>
#include <s2/s2polygon.h>
#endif

namespace ostrel {
namespace {

using GeoV = DefaultGeography;
using GeomV = DefaultGeometry;

GeographyCoordinate Geo(double lon_degrees, double lat_degrees) {
  return GeographyCoordinate(Latitude(Degrees(lat_degrees)), Longitude(Degrees(lon_degrees)));
}

class IntersectsTest : public ::testing::Test {
 protected:
  void SetUp() override { BasicServices::Register(); }
  void TearDown() override { BasicServices::Unregister(); }
};

GeomV::Lines Ring(std::initializer_list<GeometryCoordinate> ring) { return {GeomV::Points(ring)}; }

// Calculate in both argument orders, which must agree.
bool Both(Spatial const& a, Spatial const& b) {
  bool const ab = Intersects::Calculate(a, b);
  EXPECT_EQ(ab, Intersects::Calculate(b, a)) << "argument order changes the answer";
  return ab;
}

TEST_F(IntersectsTest, PlanarCasesAndUnsupportedCombinations) {
  GeomV const square({}, {}, {Ring({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}})});
  // The square with a hole (4,4)-(6,6).
  GeomV const holed(
      {}, {},
      {{{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, {{4, 4}, {6, 4}, {6, 6}, {4, 6}, {4, 4}}}});
  GeomV const two_squares({}, {},
                          {Ring({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}),
                           Ring({{20, 0}, {30, 0}, {30, 10}, {20, 10}, {20, 0}})});
  struct Case {
    GeometryCoordinate point;
    bool square, holed, two;
  };
  Case const cases[] = {
      {{5, 5}, true, false, true},        {{5, 2}, true, true, true},
      {{19.5, 5}, false, false, false},   {{25, 5}, false, false, true},
      {{5, -1}, false, false, false},     {{4.5, 5.5}, true, false, true},
      {{15, 5}, false, false, false},     {{9.999, 0.001}, true, true, true},
      {{-0.001, 5}, false, false, false},
  };
  for (Case const& c : cases) {
    GeomV const point({c.point}, {}, {});
    EXPECT_EQ(Both(square, point), c.square) << to_string(c.point);
    EXPECT_EQ(Both(holed, point), c.holed) << to_string(c.point);
    EXPECT_EQ(Both(two_squares, point), c.two) << to_string(c.point);
  }
  // A multi-point intersects when any of its points lies inside.
  GeomV const outside_then_inside({{20, 5}, {5, 5}}, {}, {});
  GeomV const outside_only({{20, 5}, {5, -1}}, {}, {});
  EXPECT_TRUE(Both(square, outside_then_inside));
  EXPECT_FALSE(Both(square, outside_only));
  EXPECT_FALSE(Both(holed, GeomV({{5, 5}, {4.5, 4.5}}, {}, {})));

  // Everything but polygons against points is false, never an error.
  GeomV const point({{5, 5}}, {}, {});
  GeomV const line({}, {{{0, 0}, {10, 10}}}, {});
  GeomV const mixed({{5, 5}}, {}, {Ring({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}})});
  GeoV const geo_point({Geo(5, 5)}, {}, {});
  GeoV const geo_square({}, {}, {{{Geo(0, 0), Geo(10, 0), Geo(10, 10), Geo(0, 10), Geo(0, 0)}}});
  GeomV const empty;
  EXPECT_FALSE(Both(square, square));
  EXPECT_FALSE(Both(point, point));
  EXPECT_FALSE(Both(line, point));
  EXPECT_FALSE(Both(square, line));
  EXPECT_FALSE(Both(mixed, point));
  EXPECT_FALSE(Both(square, mixed));
  EXPECT_FALSE(Both(square, empty));
  EXPECT_FALSE(Both(square, geo_point));
  EXPECT_FALSE(Both(geo_square, point));
  EXPECT_TRUE(Both(geo_square, geo_point));
  EXPECT_FALSE(Both(Unknown(), point));
  EXPECT_FALSE(Both(Identifying(7), square));
}

TEST_F(IntersectsTest, PlanarBiasAndEdges) {
  // A biased value: coordinates are bias + float offsets, the test sees the
  // unpacked doubles.
  Geometry::Attributes const biased({1e6, 2e6}, SRID(), SRID());
  GeomV const square(
      {}, {}, {Ring({{1e6, 2e6}, {1e6 + 1, 2e6}, {1e6 + 1, 2e6 + 1}, {1e6, 2e6 + 1}, {1e6, 2e6}})},
      biased);
  EXPECT_TRUE(Both(square, GeomV({{1e6 + 0.5, 2e6 + 0.5}}, {}, {}, biased)));
  EXPECT_FALSE(Both(square, GeomV({{1e6 + 1.5, 2e6 + 0.5}}, {}, {}, biased)));
  // Horizontal edges and vertices level with the point are counted once: a
  // diamond and a polygon with a horizontal edge at the point's height.
  GeomV const diamond({}, {}, {Ring({{0, -2}, {2, 0}, {0, 2}, {-2, 0}, {0, -2}})});
  EXPECT_TRUE(Both(diamond, GeomV({{0, 0}}, {}, {})));
  EXPECT_TRUE(Both(diamond, GeomV({{1, 0}}, {}, {})));
  EXPECT_FALSE(Both(diamond, GeomV({{3, 0}}, {}, {})));
  EXPECT_FALSE(Both(diamond, GeomV({{-3, 0}}, {}, {})));
  GeomV const step({}, {}, {Ring({{0, 0}, {4, 0}, {4, 2}, {2, 2}, {2, 4}, {0, 4}, {0, 0}})});
  EXPECT_TRUE(Both(step, GeomV({{1, 2}}, {}, {})));
  EXPECT_FALSE(Both(step, GeomV({{3, 3}}, {}, {})));
  EXPECT_FALSE(Both(step, GeomV({{5, 2}}, {}, {})));
  EXPECT_FALSE(Both(step, GeomV({{-1, 2}}, {}, {})));
}

// A ring of geographic coordinates given as (lon, lat) degrees.
GeoV::Points GeoRing(std::initializer_list<std::pair<double, double>> lon_lat) {
  GeoV::Points ring;
  for (auto const& [lon, lat] : lon_lat) ring.push_back(Geo(lon, lat));
  return ring;
}

GeoV Polygon(GeoV::Points const& ring) { return GeoV({}, {}, {{ring}}); }

bool GeoContains(GeoV const& polygon, double lon, double lat) {
  return Both(polygon, GeoV({Geo(lon, lat)}, {}, {}));
}

TEST_F(IntersectsTest, GeographicCases) {
  // A counter-clockwise square (interior on the left).
  GeoV const square = Polygon(GeoRing({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}));
  EXPECT_TRUE(GeoContains(square, 5, 5));
  EXPECT_FALSE(GeoContains(square, 15, 5));
  EXPECT_FALSE(GeoContains(square, 5, -5));
  EXPECT_FALSE(GeoContains(square, -175, 5));
  // The same ring clockwise is the rest of the sphere; its bounds cover
  // everything, so the ring test decides.
  GeoV::Points reversed = GeoRing({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});
  std::reverse(reversed.begin(), reversed.end());
  GeoV const complement = Polygon(reversed);
  EXPECT_FALSE(GeoContains(complement, 5, 5));
  EXPECT_TRUE(GeoContains(complement, 15, 5));
  EXPECT_TRUE(GeoContains(complement, -175, -80));
  EXPECT_TRUE(GeoContains(complement, 5, 89.5));

  // A cap around the north pole, running east.
  GeoV::Points cap;
  for (int lon = -180; lon < 180; lon += 30) cap.push_back(Geo(lon, 80));
  cap.push_back(cap.front());
  GeoV const north = Polygon(cap);
  for (double lon = -180; lon <= 180; lon += 22.5) {
    EXPECT_TRUE(GeoContains(north, lon, 89)) << lon;
    EXPECT_TRUE(GeoContains(north, lon, 90)) << lon;
    EXPECT_FALSE(GeoContains(north, lon, 70)) << lon;
  }
  // A hole: the cap without a smaller cap around the pole (the hole's ring
  // runs west, keeping the polygon's interior on its left).
  GeoV::Points hole;
  for (int lon = 180; lon > -180; lon -= 30) hole.push_back(Geo(lon, 85));
  hole.push_back(hole.front());
  GeoV const ring_band({}, {}, {{cap, hole}});
  EXPECT_TRUE(GeoContains(ring_band, 10, 82));
  EXPECT_FALSE(GeoContains(ring_band, 10, 88));
  EXPECT_FALSE(GeoContains(ring_band, 10, 75));

  // A polygon across the antimeridian, found on both sides of it.
  GeoV const fiji_like =
      Polygon(GeoRing({{170, -20}, {-170, -20}, {-170, -10}, {170, -10}, {170, -20}}));
  EXPECT_TRUE(GeoContains(fiji_like, 175, -15));
  EXPECT_TRUE(GeoContains(fiji_like, -175, -15));
  EXPECT_TRUE(GeoContains(fiji_like, 180, -15));
  EXPECT_TRUE(GeoContains(fiji_like, -180, -15));
  EXPECT_FALSE(GeoContains(fiji_like, 0, -15));
  EXPECT_FALSE(GeoContains(fiji_like, 165, -15));
  EXPECT_FALSE(GeoContains(fiji_like, -165, -15));
}

// The meridian rule: a ring that reaches the point's meridian exactly at a
// vertex counts a passage once and a touch not at all, whichever vertex the
// ring starts with.
TEST_F(IntersectsTest, VerticesOnThePointsMeridian) {
  struct Case {
    std::vector<std::pair<double, double>> ring;  // closed, interior left
    std::vector<std::pair<double, double>> inside, outside;
  };
  std::vector<Case> const cases = {
      // The bottom passes the meridian 5 at a vertex.
      {{{0, 0}, {5, -1}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}, {{5, 5}, {5, 9}}, {{5, -3}, {5, 11}}},
      // A spike touches the meridian 5 from the west at its tip (5, 12).
      {{{0, 0}, {10, 0}, {10, 10}, {4, 10}, {5, 12}, {3, 10}, {0, 10}, {0, 0}},
       {{5, 5}, {4, 10.5}},
       {{5, 11}, {5, 12.5}, {5, -1}}},
      // The bottom runs along the meridian 5 from (5, -1) to (5, -3).
      {{{0, 0}, {5, -1}, {5, -3}, {10, -2}, {10, 10}, {0, 10}, {0, 0}},
       {{5, 5}, {7, -1}},
       {{5, -4}, {5, 11}}},
      // Both the bottom and the top pass the meridian 5 at vertices.
      {{{0, 0}, {5, -1}, {10, 0}, {10, 10}, {5, 11}, {0, 10}, {0, 0}},
       {{5, 5}, {5, 9}},
       {{5, 12}, {5, -2}}},
  };
  for (std::size_t c = 0; c < cases.size(); ++c) {
    auto const& ring = cases[c].ring;
    std::size_t const n = ring.size() - 1;  // distinct vertices
    for (std::size_t start = 0; start < n; ++start) {
      GeoV::Points rotated;
      for (std::size_t k = 0; k <= n; ++k) {
        auto const& [lon, lat] = ring[(start + k) % n];
        rotated.push_back(Geo(lon, lat));
      }
      GeoV const polygon = Polygon(rotated);
      for (auto const& [lon, lat] : cases[c].inside) {
        EXPECT_TRUE(GeoContains(polygon, lon, lat)) << c << " start " << start << " " << lon;
      }
      for (auto const& [lon, lat] : cases[c].outside) {
        EXPECT_FALSE(GeoContains(polygon, lon, lat)) << c << " start " << start << " " << lon;
      }
    }
  }
}

// The side of a point whose meridian holds a vertex is taken against the
// plane of the extended arc (from the arc's start to the first vertex off
// the meridian), not against the vertex itself. A point between that plane
// and the vertex is therefore judged by the plane: (5, -0.5) lies inside the
// ring below (the ring's bottom at longitude 5 is the vertex (5, -1)), yet
// the extended arc from (0, 0) to (10, 0) runs along the equator, north of
// it, so the rule counts it outside. Points off the vertex's meridian are
// unaffected.
TEST_F(IntersectsTest, ExtendedArcDecidesOnTheVertexMeridian) {
  GeoV const polygon = Polygon(GeoRing({{0, 0}, {5, -1}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}));
  EXPECT_FALSE(GeoContains(polygon, 5, -0.5));
  EXPECT_TRUE(GeoContains(polygon, 5, 0.5));
  EXPECT_TRUE(GeoContains(polygon, 5.001, -0.5));
  EXPECT_TRUE(GeoContains(polygon, 4.999, -0.5));
}

TEST_F(IntersectsTest, ErrorsOfTheCachesPropagate) {
  // A ring that winds twice around the polar axis.
  GeoV::Points twice;
  for (int turn = 0; turn < 2; ++turn) {
    for (int lon = 0; lon < 360; lon += 90) twice.push_back(Geo(lon > 180 ? lon - 360 : lon, 80));
  }
  twice.push_back(twice.front());
  GeoV const wound = Polygon(twice);
  GeoV const point({Geo(0, 85)}, {}, {});
  try {
    Intersects::Calculate(wound, point);
    ADD_FAILURE() << "no error";
  } catch (std::invalid_argument const& e) {
    EXPECT_STREQ(e.what(), "ostrel::GetNorthAndSouthPoleContainment: Unhandled polygon winding");
  }
  // As a hole, the ring is only reached by points inside the exterior.
  GeoV const holed({}, {}, {{GeoRing({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}), twice}});
  EXPECT_FALSE(Intersects::Calculate(holed, GeoV({Geo(20, 5)}, {}, {})));
  EXPECT_THROW(Intersects::Calculate(holed, GeoV({Geo(5, 5)}, {}, {})), std::invalid_argument);

  // Without the services a polygon cannot be tested; other combinations
  // answer without them.
  BasicServices::Unregister();
  GeomV const square({}, {}, {Ring({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}})});
  try {
    Intersects::Calculate(square, GeomV({{5, 5}}, {}, {}));
    ADD_FAILURE() << "no error";
  } catch (std::runtime_error const& e) {
    EXPECT_EQ(std::string(e.what()).rfind("no Service for ", 0), 0u) << e.what();
  }
  EXPECT_FALSE(Intersects::Calculate(square, square));
  EXPECT_FALSE(Intersects::Calculate(square, GeomV()));
}

std::vector<SpatialPtr> ReadAll(std::string const& file, CoordinateType kind) {
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + file);
  std::vector<SpatialPtr> values;
  for (std::string line; std::getline(in, line);) values.push_back(OWKT::From(line, kind));
  return values;
}

// The countries as geographies with their interior on the left: the data's
// rings run clockwise in the lon/lat plane, so each ring is reversed.
std::vector<SpatialPtr> CountriesInteriorLeft() {
  std::vector<SpatialPtr> out;
  for (auto const& value : ReadAll("countries.wkt", CoordinateType::Geography)) {
    GeoV::Polys polys;
    for (auto const& poly : value->AsGeography().GetPolys()) {
      auto& rings = polys.emplace_back();
      for (auto const& ring : poly) rings.emplace_back(ring.begin(), ring.end());
      for (auto& ring : rings) std::reverse(ring.begin(), ring.end());
    }
    out.push_back(MakeSpatial<GeoV>(GeoV::Points(), GeoV::Lines(), polys));
  }
  return out;
}

// Uniform longitude and latitude in degrees, with a fixed seed.
std::vector<std::pair<double, double>> RandomLonLat(std::size_t n, unsigned long long seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> lon(-180, 180), lat(-90, 90);
  std::vector<std::pair<double, double>> points(n);
  for (auto& p : points) p = {lon(rng), lat(rng)};
  return points;
}

// Concurrent calls share the bounds and pole caches.
TEST_F(IntersectsTest, ConcurrentCallsAgreeWithASequentialPass) {
  auto const countries = CountriesInteriorLeft();
  auto const points = RandomLonLat(2000, 7);
  std::vector<SpatialPtr> values;
  for (auto const& [lon, lat] : points)
    values.push_back(MakeSpatial<GeoV>(GeoV::Points{Geo(lon, lat)}, GeoV::Lines(), GeoV::Polys()));
  std::vector<int> expected(values.size(), -1);
  std::atomic<int> mismatches = 0;
  auto work = [&](int offset, bool record) {
    for (std::size_t j = 0; j < values.size(); ++j) {
      std::size_t const jj = (j + static_cast<std::size_t>(offset) * 97) % values.size();
      int found = -1;
      for (std::size_t c = 0; c < countries.size() && found < 0; ++c) {
        if (Intersects::Calculate(*countries[c], *values[jj])) found = static_cast<int>(c);
      }
      if (record) {
        expected[jj] = found;
      } else if (found != expected[jj]) {
        ++mismatches;
      }
    }
  };
  work(0, true);
  BasicServices::Register();  // fresh, empty caches
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(work, t, false);
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(std::count_if(expected.begin(), expected.end(), [](int c) { return c >= 0; }), 400);
}

#ifdef OSTREL_HAVE_GEOS
namespace gg = geos::geom;

std::unique_ptr<gg::LinearRing> GeosRing(detail::ShapeRing<GeometryCoordinate> const& ring) {
  std::vector<gg::Coordinate> coordinates;
  for (GeometryCoordinate const& c : ring) coordinates.emplace_back(c.GetX(), c.GetY());
  return gg::GeometryFactory::getDefaultInstance()->createLinearRing(std::move(coordinates));
}

// The same polygons in GEOS, from the value's own (float-snapped)
// coordinates.
std::unique_ptr<gg::Geometry> GeosPolygons(Geometry const& value) {
  auto const* factory = gg::GeometryFactory::getDefaultInstance();
  std::vector<std::unique_ptr<gg::Polygon>> polygons;
  for (auto const& poly : value.GetPolys()) {
    std::vector<std::unique_ptr<gg::LinearRing>> holes;
    for (unsigned int r = 1; r < poly.size(); ++r) holes.push_back(GeosRing(poly[r]));
    polygons.push_back(factory->createPolygon(GeosRing(poly[0]), std::move(holes)));
  }
  return factory->createMultiPolygon(std::move(polygons));
}

// Calculate against GEOS contains on every (polygon, point) pair whose point
// lies in the GEOS envelope (outside it both say no). Differences must lie
// on a boundary (distance 0 to it, as GEOS measures); they are listed.
void CrossCheckWithGeos(std::vector<SpatialPtr> const& polygons,
                        std::vector<SpatialPtr> const& points, int* tested, int* inside) {
  auto const* factory = gg::GeometryFactory::getDefaultInstance();
  for (auto const& value : polygons) {
    auto const geos = GeosPolygons(value->AsGeometry());
    auto const prepared = gg::prep::PreparedGeometryFactory::prepare(geos.get());
    gg::Envelope const* envelope = geos->getEnvelopeInternal();
    for (auto const& point : points) {
      GeometryCoordinate const p = point->AsGeometry().GetPoints()[0];
      if (!envelope->covers(p.GetX(), p.GetY())) continue;
      std::unique_ptr<gg::Point> const gp(factory->createPoint(gg::Coordinate(p.GetX(), p.GetY())));
      bool const expected = prepared->contains(gp.get());
      bool const got = Intersects::Calculate(*value, *point);
      ++*tested;
      *inside += got ? 1 : 0;
      if (got != expected) {
        double const distance = geos->getBoundary()->distance(gp.get());
        std::cout << "boundary case " << to_string(p) << " ostrel " << got << " GEOS " << expected
                  << " distance to boundary " << distance << "\n";
        EXPECT_EQ(distance, 0.0) << to_string(p);
      }
    }
  }
}

TEST_F(IntersectsTest, PlanarCountriesAgreeWithGeos) {
  auto const countries = ReadAll("countries.wkt", CoordinateType::Geometry);
  ASSERT_EQ(countries.size(), 177u);
  std::vector<SpatialPtr> points;
  for (auto const& [lon, lat] : RandomLonLat(100000, 20240601)) {
    points.push_back(MakeSpatial<GeomV>(GeomV::Points{{lon, lat}}, GeomV::Lines(), GeomV::Polys()));
  }
  int tested = 0, inside = 0;
  CrossCheckWithGeos(countries, points, &tested, &inside);
  EXPECT_GT(tested, 80000);
  // About a third of the uniform points fall inside a country.
  EXPECT_NEAR(inside / 100000.0, 0.33, 0.02);
}

// A star-shaped ring of k vertices around (cx, cy) with radii in [r0, r1].
GeomV::Points StarRing(std::mt19937_64& rng, double cx, double cy, double r0, double r1, int k) {
  std::uniform_real_distribution<double> radius(r0, r1), jitter(0, 1);
  std::vector<double> angles;
  for (int i = 0; i < k; ++i) angles.push_back((i + jitter(rng) * 0.9) * 2 * M_PI / k);
  GeomV::Points ring;
  for (double a : angles) {
    double const r = radius(rng);
    ring.emplace_back(cx + r * std::cos(a), cy + r * std::sin(a));
  }
  ring.push_back(ring.front());
  return ring;
}

TEST_F(IntersectsTest, RandomPolygonsWithHolesAgreeWithGeos) {
  std::mt19937_64 rng(99);
  std::vector<SpatialPtr> polygons;
  for (int i = 0; i < 60; ++i) {
    double const cx = (i % 10) * 30.0, cy = (i / 10) * 30.0;
    GeomV::Polys polys(1);
    polys[0].push_back(StarRing(rng, cx, cy, 8, 14, 8 + i * 3));
    // Holes in three sectors between radii 2 and 7, not touching.
    for (int h = 0; h < i % 4; ++h) {
      double const a = h * 2 * M_PI / 3;
      polys[0].push_back(
          StarRing(rng, cx + 4.5 * std::cos(a), cy + 4.5 * std::sin(a), 0.8, 2.0, 5 + h));
    }
    // Some multipolygons: a second part to the side.
    if (i % 5 == 0) polys.push_back({StarRing(rng, cx + 15, cy + 15, 1, 3, 12)});
    polygons.push_back(MakeSpatial<GeomV>(GeomV::Points(), GeomV::Lines(), polys));
  }
  std::uniform_real_distribution<double> x(-20, 300), y(-20, 180);
  std::vector<SpatialPtr> points;
  for (int j = 0; j < 20000; ++j) {
    points.push_back(
        MakeSpatial<GeomV>(GeomV::Points{{x(rng), y(rng)}}, GeomV::Lines(), GeomV::Polys()));
  }
  int tested = 0, inside = 0;
  CrossCheckWithGeos(polygons, points, &tested, &inside);
  EXPECT_GT(tested, 5000);
  EXPECT_GT(inside, 1000);
}
#endif

#ifdef OSTREL_HAVE_S2
S2Point ToS2(GeographyCoordinate const& c) {
  return S2LatLng::FromRadians(c.GetLatitude().Get().Get(), c.GetLongitude().Get().Get()).ToPoint();
}

// S2 points compared by coordinates (S2's own operator== is ambiguous in
// C++20 with its reversed candidates).
bool Same(S2Point const& a, S2Point const& b) {
  return a.x() == b.x() && a.y() == b.y() && a.z() == b.z();
}

// A country in S2, from the same (grid-snapped) coordinates with interior on
// the left; vertices that coincide on the sphere (the ends of an edge along
// a pole or the antimeridian) are merged and the spikes that leaves are
// removed, as S2 loops allow no repeated vertex.
std::unique_ptr<S2Polygon> S2Country(Geography const& value) {
  std::vector<std::unique_ptr<S2Loop>> loops;
  for (auto const& poly : value.GetPolys()) {
    for (auto const& ring : poly) {
      std::vector<S2Point> v;
      for (unsigned int k = 0; k + 1 < ring.size(); ++k) {
        S2Point const p = ToS2(ring[k]);
        if (!v.empty() && Same(v.back(), p)) continue;
        v.push_back(p);
        while (v.size() >= 3 && Same(v[v.size() - 3], v.back())) v.resize(v.size() - 2);
      }
      while (v.size() > 1 && Same(v.front(), v.back())) v.pop_back();
      loops.push_back(std::make_unique<S2Loop>(v, S2Debug::DISABLE));
    }
  }
  auto polygon = std::make_unique<S2Polygon>();
  polygon->set_s2debug_override(S2Debug::DISABLE);
  polygon->InitOriented(std::move(loops));
  return polygon;
}

constexpr double kEarthRadiusKm = 6371.0088;

GeographyCoordinate FromS2(S2Point const& p) {
  S2LatLng const ll(p);
  return GeographyCoordinate(Latitude(Radians(ll.lat().radians())),
                             Longitude(Radians(ll.lng().radians())));
}

// The point at angle t (radians) from m across the great circle of normal u.
S2Point Across(S2Point const& m, S2Point const& u, double t) {
  return (m * std::cos(t) + u * std::sin(t)).Normalize();
}

// How far ostrel's edge (the plane section of the ellipsoid through the two
// vertices and the centre, Calculate's side test n . P) lies from S2's (the
// great circle through the same latitudes and longitudes on a sphere), at a
// point of the great-circle edge given as a fraction of it: the root of the
// side test along the great circle perpendicular to the edge, by bisection
// within 20 km, in km (0 when the side does not change there).
double SeparationKm(GeographyCoordinate const& s, GeographyCoordinate const& e, double fraction) {
  S2Point const a = ToS2(s), b = ToS2(e);
  S2Point const m = S2::Interpolate(a, b, fraction);
  S2Point const u = a.CrossProd(b).Normalize();
  Vector3D const n = EllipticArc(s, e).GetPlaneThroughArc();
  auto const side = [&](double t) {
    return n.Dot(WGS84::EarthCentredPosition(FromS2(Across(m, u, t))));
  };
  double lo = -20 / kEarthRadiusKm, hi = 20 / kEarthRadiusKm;
  if ((side(lo) > 0) == (side(hi) > 0)) return 0;
  bool const lo_positive = side(lo) > 0;
  for (int i = 0; i < 60; ++i) {
    double const mid = (lo + hi) / 2;
    ((side(mid) > 0) == lo_positive ? lo : hi) = mid;
  }
  return std::fabs(lo) * kEarthRadiusKm;
}

struct Separation {
  double km = 0;
  std::size_t line = 0;
};

// The largest separation over the edges of the countries valid in S2, at a
// quarter, half and three quarters of each edge longer than 1 km.
Separation const& MaximumSeparation() {
  static Separation const maximum = [] {
    Separation found;
    auto const countries = CountriesInteriorLeft();
    for (std::size_t c = 0; c < countries.size(); ++c) {
      if (c == 14 || c == 72) continue;
      for (auto const& poly : countries[c]->AsGeography().GetPolys()) {
        for (auto const& ring : poly) {
          for (unsigned int k = 0; k + 1 < ring.size(); ++k) {
            GeographyCoordinate const s = ring[k], e = ring[k + 1];
            if (s.GetLongitude().Get().Get() == e.GetLongitude().Get().Get()) continue;
            if (ToS2(s).Angle(ToS2(e)) * kEarthRadiusKm < 1) continue;
            for (double f : {0.25, 0.5, 0.75}) {
              double const km = SeparationKm(s, e, f);
              if (km > found.km) found = {km, c + 1};
            }
          }
        }
      }
    }
    return found;
  }();
  return maximum;
}

// The plane section of the ellipsoid through two vertices and the centre
// is the image of the great circle through the same latitudes and
// longitudes on the unit sphere: with D = diag(1, 1, 1 - e^2) a position is
// P = N(lat) D U, and (D a) x (D b) = det(D) D^-1 (a x b), so the side test
// n . P has the sign of (U_s x U_e) . U, S2's own edge test. The two differ
// only by rounding; the separation measured along the perpendicular of every
// edge is at the scale of the coordinate grid (about 7 mm), and one metre
// from the middle of any edge the two tests agree.
TEST_F(IntersectsTest, EllipseAndCircleEdgesCoincideUpToRounding) {
  Separation const& maximum = MaximumSeparation();
  std::cout << "largest separation of ostrel's and S2's edges: " << maximum.km * 1000
            << " m (country line " << maximum.line << ")\n";
  EXPECT_LT(maximum.km, 0.01);

  auto const countries = CountriesInteriorLeft();
  int tested = 0, disagree_metre = 0, disagree_centimetre = 0;
  for (std::size_t c = 0; c < countries.size(); ++c) {
    if (c == 14 || c == 72) continue;
    Geography const& country = countries[c]->AsGeography();
    auto const s2 = S2Country(country);
    for (auto const& poly : country.GetPolys()) {
      for (auto const& ring : poly) {
        for (unsigned int k = 0; k + 1 < ring.size(); k += 3) {
          S2Point const a = ToS2(ring[k]), b = ToS2(ring[k + 1]);
          if (a.Angle(b) * kEarthRadiusKm < 1) continue;
          S2Point const m = S2::Interpolate(a, b, 0.5);
          S2Point const u = a.CrossProd(b).Normalize();
          for (double t : {-1.0, 1.0, -0.01, 1e-2}) {
            GeoV const point({FromS2(Across(m, u, t / 1000 / kEarthRadiusKm))}, {}, {});
            bool const differ =
                Intersects::Calculate(country, point) != s2->Contains(ToS2(point.GetPoints()[0]));
            if (std::fabs(t) == 1.0) {
              ++tested, disagree_metre += differ ? 1 : 0;
            } else {
              disagree_centimetre += differ ? 1 : 0;
            }
          }
        }
      }
    }
  }
  std::cout << tested << " points one metre from an edge, " << disagree_metre
            << " disagreements; at one centimetre " << disagree_centimetre << "\n";
  EXPECT_GT(tested, 4000);
  EXPECT_EQ(disagree_metre, 0);
}

TEST_F(IntersectsTest, GeographicCountriesAgreeWithS2AwayFromEdges) {
  auto const countries = CountriesInteriorLeft();
  std::vector<std::unique_ptr<S2Polygon>> s2;
  std::vector<S2LatLngRect> rects;
  std::vector<bool> valid;
  for (std::size_t c = 0; c < countries.size(); ++c) {
    s2.push_back(S2Country(countries[c]->AsGeography()));
    rects.push_back(s2.back()->GetRectBound().ExpandedByDistance(S1Angle::Degrees(1)));
    // Sudan (line 15) and Mozambique (line 73) cross themselves with
    // great-circle edges: S2 has no meaningful interior for them.
    S2Error error;
    valid.push_back(!s2.back()->FindValidationError(&error));
    if (!valid.back()) std::cout << "line " << c + 1 << " is not valid in S2: " << error << "\n";
  }
  EXPECT_EQ(std::count(valid.begin(), valid.end(), false), 2);
  EXPECT_FALSE(valid[14]);
  EXPECT_FALSE(valid[72]);
  auto const lon_lat = RandomLonLat(100000, 20240601);
  int tested = 0, inside = 0, disagreements = 0;
  double farthest_km = 0;
  for (auto const& [lon, lat] : lon_lat) {
    GeoV const point({Geo(lon, lat)}, {}, {});
    GeographyCoordinate const p = point.GetPoints()[0];
    S2Point const sp = ToS2(p);
    S2LatLng const ll(sp);
    for (std::size_t c = 0; c < countries.size(); ++c) {
      if (!valid[c] || !rects[c].Contains(ll)) continue;
      bool const expected = s2[c]->Contains(sp);
      bool const got = Intersects::Calculate(*countries[c], point);
      ++tested;
      inside += got ? 1 : 0;
      if (got == expected) continue;
      ++disagreements;
      double const km = s2[c]->GetDistanceToBoundary(sp).radians() * kEarthRadiusKm;
      farthest_km = std::max(farthest_km, km);
      std::cout << "S2 disagrees at " << to_string(p) << " country line " << c + 1 << ": ostrel "
                << got << ", " << km << " km from an edge\n";
    }
  }
  std::cout << tested << " pairs tested, " << inside << " inside, " << disagreements
            << " disagreements with S2, farthest " << farthest_km << " km from an edge\n";
  EXPECT_GT(tested, 90000);
  EXPECT_NEAR(inside / 100000.0, 0.33, 0.02);
  EXPECT_LE(disagreements, 10);
  EXPECT_LE(farthest_km, 0.01);
}

TEST_F(IntersectsTest, PolesAndAntimeridianAgreeWithS2) {
  auto const countries = CountriesInteriorLeft();
  auto check = [&](std::size_t line, double lon, double lat, bool expected) {
    Geography const& country = countries[line - 1]->AsGeography();
    GeoV const point({Geo(lon, lat)}, {}, {});
    EXPECT_EQ(Intersects::Calculate(country, point), expected) << line << " " << lon << " " << lat;
    EXPECT_EQ(S2Country(country)->Contains(ToS2(point.GetPoints()[0])), expected)
        << "S2 " << line << " " << lon << " " << lat;
  };
  // Antarctica (line 160) encloses the south pole. Its ring runs down the
  // antimeridian to the pole and back (a cut of zero width), so points on
  // the antimeridian itself lie on its boundary and are not asked.
  for (double lon = -180; lon <= 180; lon += 15) {
    check(160, lon, -90, true);
    check(160, lon, -55, false);
    check(160, lon, 0, false);
    if (std::fabs(lon) == 180) continue;
    check(160, lon, -89, true);
    check(160, lon, -87, true);
  }
  // Fiji (line 1) on both sides of the antimeridian, Russia (line 19) in
  // Chukotka east of it and in Siberia west of it.
  check(1, 179.8, -16.3, true);
  check(1, -179.95, -16.3, true);
  check(1, 179.8, -15.5, false);
  check(19, -175, 66.5, true);
  check(19, 178, 68, true);
  check(19, -170, 60, false);
  check(19, 100, 62, true);
}
#endif

}  // namespace
}  // namespace ostrel
