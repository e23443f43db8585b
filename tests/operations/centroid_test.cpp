// Centroid::Calculate: the stated cases (no vertex, one vertex, antipodal
// pairs, vanishing means, the closing vertex of a ring), which vertices
// count, and random collections against the normalized mean of S2's unit
// vectors over the same vertices.
#include "ostrel/operations/centroid.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "ostrel/core/angle.hpp"
#include "ostrel/spatial/default_format.hpp"

#ifdef OSTREL_HAVE_S2
#include <s2/s2latlng.h>
#include <s2/s2point.h>
#endif

namespace ostrel {
namespace {

using V = DefaultGeography;

GeographyCoordinate Geo(double lon_degrees, double lat_degrees) {
  return GeographyCoordinate(Latitude(Degrees(lat_degrees)), Longitude(Degrees(lon_degrees)));
}

double Lat(GeographyCoordinate const& c) { return c.GetLatitude().Get().Get(); }
double Lon(GeographyCoordinate const& c) { return c.GetLongitude().Get().Get(); }

// Within a grid step and a little (the result is snapped to the grid).
constexpr double kTolerance = 2e-9;

TEST(Centroid, StatedCases) {
  EXPECT_FALSE(Centroid::Calculate(V()).IsValid());

  // One vertex: that coordinate, bit for bit (also near a pole, where the
  // round trip through a vector would not be exact).
  for (GeographyCoordinate const& c : {Geo(12.5, -33.25), Geo(-179.999, 89.999), Geo(180, 0)}) {
    GeographyCoordinate const got = Centroid::Calculate(V({c}, {}, {}));
    EXPECT_EQ(Lat(got), Lat(c));
    EXPECT_EQ(Lon(got), Lon(c));
  }

  // Two antipodal points: the first one.
  GeographyCoordinate const first = Geo(10, 20), antipode = Geo(-170, -20);
  GeographyCoordinate const pair = Centroid::Calculate(V({first, antipode}, {}, {}));
  EXPECT_NEAR(Lat(pair), Lat(first), kTolerance);
  EXPECT_NEAR(Lon(pair), Lon(first), kTolerance);
  GeographyCoordinate const swapped = Centroid::Calculate(V({antipode, first}, {}, {}));
  EXPECT_NEAR(Lat(swapped), Lat(antipode), kTolerance);
  EXPECT_NEAR(Lon(swapped), Lon(antipode), kTolerance);

  // Four points around the equator cancel out; the first and the middle one
  // (index 2) are antipodal, so the plane of the first and index 3 is taken:
  // (0, 1, 0) x (-1, 0, 0) points to the north pole.
  GeographyCoordinate const quad =
      Centroid::Calculate(V({Geo(0, 0), Geo(90, 0), Geo(180, 0), Geo(-90, 0)}, {}, {}));
  EXPECT_EQ(Lat(quad), M_PI_2);
  // Three points 120 degrees apart: the first and index 1 span the equator's
  // plane, and their cross product points south.
  GeographyCoordinate const tri =
      Centroid::Calculate(V({Geo(0, 0), Geo(120, 0), Geo(-120, 0)}, {}, {}));
  EXPECT_EQ(Lat(tri), -M_PI_2);

  // The closing vertex of a ring is not counted twice: a triangle's centroid
  // is that of its three corners.
  V::Points const corners = {Geo(0, 0), Geo(30, 0), Geo(0, 30)};
  V::Points ring = corners;
  ring.push_back(corners.front());
  GeographyCoordinate const of_ring = Centroid::Calculate(V({}, {}, {{ring}}));
  GeographyCoordinate const of_corners = Centroid::Calculate(V(corners, {}, {}));
  EXPECT_EQ(Lat(of_ring), Lat(of_corners));
  EXPECT_EQ(Lon(of_ring), Lon(of_corners));
  // Counting the closing vertex would pull it towards (0, 0).
  GeographyCoordinate const with_closing = Centroid::Calculate(V(ring, {}, {}));
  EXPECT_GT(std::fabs(Lat(with_closing) - Lat(of_ring)), 1e-3);

  // Interior rings do not count; line vertices all do, the last included.
  V::Points hole = {Geo(5, 5), Geo(5, 10), Geo(10, 5), Geo(5, 5)};
  GeographyCoordinate const holed = Centroid::Calculate(V({}, {}, {{ring, hole}}));
  EXPECT_EQ(Lat(holed), Lat(of_ring));
  EXPECT_EQ(Lon(holed), Lon(of_ring));
  GeographyCoordinate const line = Centroid::Calculate(V({}, {corners}, {}));
  EXPECT_EQ(Lat(line), Lat(of_corners));
  EXPECT_EQ(Lon(line), Lon(of_corners));
}

#ifdef OSTREL_HAVE_S2
// The normalized mean of S2's unit vectors (x towards (0, 0), z north: a
// different component order from the library's) over the vertices the
// centroid counts, collected from the input vectors themselves.
TEST(Centroid, RandomCollectionsAgreeWithTheMeanOfS2Points) {
  std::mt19937_64 rng(4242);
  std::uniform_real_distribution<double> lon(-180, 180), lat(-60, 60), spread(0.5, 40);
  std::uniform_int_distribution<int> count(1, 12);
  for (int trial = 0; trial < 400; ++trial) {
    double const clon = lon(rng), clat = lat(rng), s = spread(rng);
    std::uniform_real_distribution<double> dx(-s, s), dy(-s / 2, s / 2);
    auto near = [&] {
      double x = clon + dx(rng);
      x = x > 180 ? x - 360 : (x < -180 ? x + 360 : x);
      return Geo(x, std::clamp(clat + dy(rng), -89.0, 89.0));
    };
    V::Points points;
    V::Lines lines;
    V::Polys polys;
    std::vector<GeographyCoordinate> counted;
    for (int i = trial % 3 == 0 ? count(rng) : 0; i > 0; --i) {
      points.push_back(near());
      counted.push_back(points.back());
    }
    for (int l = trial % 2; l > 0; --l) {
      V::Points line;
      for (int i = count(rng) + 1; i > 0; --i) line.push_back(near());
      counted.insert(counted.end(), line.begin(), line.end());
      lines.push_back(line);
    }
    for (int p = trial % 4 == 1 ? 2 : 1; p > 0; --p) {
      V::Points exterior;
      for (int i = count(rng) + 2; i > 0; --i) exterior.push_back(near());
      counted.insert(counted.end(), exterior.begin(), exterior.end());
      exterior.push_back(exterior.front());
      V::Points hole = {near(), near(), near()};
      hole.push_back(hole.front());
      polys.push_back({exterior, hole});
    }
    S2Point sum(0, 0, 0);
    for (GeographyCoordinate const& c : counted)
      sum += S2LatLng::FromRadians(Lat(c), Lon(c)).ToPoint();
    S2LatLng const expected(sum.Normalize());
    GeographyCoordinate const got = Centroid::Calculate(V(points, lines, polys));
    ASSERT_NEAR(Lat(got), expected.lat().radians(), kTolerance) << trial;
    double dlon = Lon(got) - expected.lng().radians();
    dlon = std::remainder(dlon, 2 * M_PI);
    ASSERT_NEAR(dlon * std::cos(Lat(got)), 0.0, kTolerance) << trial;
  }
}
#endif

}  // namespace
}  // namespace ostrel
