// SphericalTrapezoidBounds: construction, containment, overlap and union on
// tables of cases and against brute-force interval arithmetic; the bounds of
// lines against dense samples of their arcs' plane sections; the walk over a
// line against the fold of BoundsOfArc and Union it is defined by; polygons
// with poles, on the Natural Earth countries; the cache.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "kernel/kernel_support.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/operations/basic_services.hpp"

namespace ostrel {
namespace {

using namespace kernel_test;
using STB = SphericalTrapezoidBounds;

STB Box(double south, double west, double north, double east) {
  return STB(Deg(south, west), Deg(north, east));
}

bool Same(STB const& a, STB const& b) {
  auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
  return a.IsValid() == b.IsValid() &&
         bits(a.GetSouthLatitude().Get().Get()) == bits(b.GetSouthLatitude().Get().Get()) &&
         bits(a.GetNorthLatitude().Get().Get()) == bits(b.GetNorthLatitude().Get().Get()) &&
         bits(a.GetWestLongitude().Get().Get()) == bits(b.GetWestLongitude().Get().Get()) &&
         bits(a.GetEastLongitude().Get().Get()) == bits(b.GetEastLongitude().Get().Get());
}

std::string Text(STB const& b) {
  return b.IsValid() ? to_string(b.GetSouthWest()) + "-" + to_string(b.GetNorthEast()) : "invalid";
}

TEST(SphericalTrapezoidBounds, ConstructionAndContainment) {
  EXPECT_FALSE(STB().IsValid());
  EXPECT_FALSE(STB(GeographyCoordinate(), Deg(0, 0)).IsValid());
  // Equal longitudes keep +-pi; differing ones turn west +pi into -pi and
  // east -pi into +pi.
  EXPECT_EQ(Lon(STB(Deg(0, 180)).GetSouthWest()), pi);
  EXPECT_EQ(Lon(STB(Deg(0, -180)).GetNorthEast()), -pi);
  STB const flipped = Box(0, 180, 10, 170);
  EXPECT_EQ(flipped.GetWestLongitude().Get().Get(), -pi);
  EXPECT_FALSE(flipped.CrossesAntimeridian());
  EXPECT_EQ(Box(0, 10, 10, -180).GetEastLongitude().Get().Get(), pi);
  EXPECT_EQ(Message<std::domain_error>([] { Box(10, 0, 0, 1); }),
            "ostrel::SphericalTrapezoidBounds::Southern latitude should not be more northern than "
            "northern latitude in bounds construction.");
  STB const wrap = Box(-10, 170, 10, -170);
  EXPECT_TRUE(wrap.CrossesAntimeridian());
  for (auto const& [lon, inside] : std::vector<std::pair<double, bool>>{
           {180, true}, {-175, true}, {170, true}, {-170, true}, {0, false}, {169, false}}) {
    EXPECT_EQ(wrap.Contains(Deg(0, lon)), inside) << lon;
  }
  EXPECT_FALSE(wrap.Contains(Deg(11, 180)) || wrap.Contains(GeographyCoordinate()));
  EXPECT_TRUE(Box(-90, -180, 90, 180).CoversAllLongitudes());
  EXPECT_TRUE(STB(Deg(0, 0), Rad(1, pi - 1e-10)).Union(Box(0, 170, 1, -180)).IsValid());
  EXPECT_TRUE(STB(Rad(0, -pi + 1e-10), Rad(0, pi)).CoversAllLongitudes());  // snaps onto -pi
  EXPECT_FALSE(STB(Rad(0, -pi + 1e-8), Rad(0, pi)).CoversAllLongitudes());
  EXPECT_FALSE(STB().CoversAllLongitudes());
}

TEST(SphericalTrapezoidBounds, UnionCases) {
  struct Case {
    STB a, b;
    double west, east;
  } const cases[] = {
      {Box(0, 10, 1, 20), Box(0, 30, 1, 40), 10, 40},
      {Box(0, 10, 1, 20), Box(0, -30, 1, -20), -30, 20},
      {Box(0, 170, 1, 175), Box(0, -175, 1, -170), 170, -170},
      {Box(0, -100, 1, 100), Box(0, 90, 1, -90), -180, 180},
      {Box(0, 10, 1, 50), Box(0, 20, 1, 30), 10, 50},
      {Box(0, 20, 1, 30), Box(0, 10, 1, 50), 10, 50},
      {Box(0, 10, 1, 30), Box(0, 20, 1, 50), 10, 50},
      {Box(0, -180, 1, 180), Box(0, 20, 1, 50), -180, 180},
      {Box(0, 0, 1, 0), Box(0, 180, 1, 180), 0, 180},  // a tie: east from the first
  };
  for (auto const& c : cases) {
    STB const u = c.a.Union(c.b);
    EXPECT_NEAR(Lon(u.GetSouthWest()) * 180 / pi, c.west, 1e-7) << Text(c.a) << Text(c.b);
    EXPECT_NEAR(Lon(u.GetNorthEast()) * 180 / pi, c.east, 1e-7) << Text(c.a) << Text(c.b);
  }
  STB const a = Box(-5, 1, 7, 2);
  EXPECT_TRUE(Same(a.Union(STB()), a) && Same(STB().Union(a), a));
  EXPECT_FALSE(STB().Union(STB()).IsValid());
  EXPECT_EQ(Lat(Box(-5, 1, 7, 2).Union(Box(-9, 1, 3, 2)).GetSouthWest()), Lat(Deg(-9, 0)));
}

// Longitude intervals as plain segments of [-pi, pi] (two for a wrapping one).
std::vector<std::pair<double, double>> Segments(STB const& b) {
  double const w = b.GetWestLongitude().Get().Get(), e = b.GetEastLongitude().Get().Get();
  if (w <= e) return {{w, e}};
  return {{w, pi}, {-pi, e}};
}

STB RandomBox(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(0, 1);
  double const s = -90 + 180 * u(rng), n = s + (90 - s) * u(rng) * u(rng);
  double const w = -180 + 360 * u(rng);
  double const e = rng() % 8 == 0 ? w : -180 + 360 * u(rng);
  return Box(s, w, n, e);
}

TEST(SphericalTrapezoidBounds, OverlapsAndUnionAgainstIntervals) {
  std::mt19937_64 rng(31);
  for (int trial = 0; trial < 20000; ++trial) {
    STB const a = RandomBox(rng), b = RandomBox(rng);
    bool lat = std::max(Lat(a.GetSouthWest()), Lat(b.GetSouthWest())) <=
               std::min(Lat(a.GetNorthEast()), Lat(b.GetNorthEast()));
    bool lon = false;
    for (auto const& [lo1, hi1] : Segments(a)) {
      for (auto const& [lo2, hi2] : Segments(b))
        lon = lon || std::max(lo1, lo2) <= std::min(hi1, hi2);
    }
    ASSERT_EQ(a.Overlaps(b), lat && lon) << Text(a) << Text(b);
    // The union holds both, corners and interior points alike.
    STB const u = a.Union(b);
    for (STB const& x : {a, b}) {
      for (double f : {0.0, 0.3, 1.0}) {
        for (auto const& [lo, hi] : Segments(x)) {
          double const la =
              Lat(x.GetSouthWest()) + f * (Lat(x.GetNorthEast()) - Lat(x.GetSouthWest()));
          ASSERT_TRUE(u.Contains(Rad(la, lo + f * (hi - lo)))) << Text(a) << Text(b) << Text(u);
        }
      }
    }
  }
}

// A random line: a walk of arcs of varied length, crossing the antimeridian
// and passing near the poles.
Ring RandomLine(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(-1, 1);
  Ring line{Rad(std::asin(u(rng)), pi * u(rng))};
  int const n = 2 + static_cast<int>(rng() % 8);
  double const scale = std::pow(10.0, -3 + 3 * std::fabs(u(rng)));
  while (static_cast<int>(line.size()) < n) {
    double const lat = std::clamp(Lat(line.back()) + scale * u(rng), -1.55, 1.55);
    line.push_back(Rad(lat, Lon(line.back()) + 1.5 * scale * u(rng)));
  }
  return line;
}

#if OSTREL_HAVE_GEOGRAPHICLIB
TEST(SphericalTrapezoidBounds, LinesHoldTheirSampledArcsTightly) {
  std::mt19937_64 rng(77);
  for (int trial = 0; trial < 600; ++trial) {
    Ring const line = RandomLine(rng);
    STB const b = STB::BoundsOfCoordinates(line);
    ASSERT_TRUE(b.IsValid());
    double const w = b.GetWestLongitude().Get().Get(), e = b.GetEastLongitude().Get().Get();
    double north = -pi, south = pi, near_west = 10, near_east = 10;
    for (std::size_t i = 1; i < line.size(); ++i) {
      if (line[i] == line[i - 1]) continue;
      Section const section(line[i - 1], line[i]);
      for (int k = 0; k <= 64; ++k) {
        auto const [lat, lon] = section.At(section.End() * k / 64);
        EXPECT_LE(lat, Lat(b.GetNorthEast()) + 1e-9) << trial;
        EXPECT_GE(lat, Lat(b.GetSouthWest()) - 1e-9) << trial;
        // Inside [w, e] (eastward), within 1e-9.
        double const from_west = std::fmod(lon - w + 4 * pi, 2 * pi);
        double const to_east = std::fmod(e - lon + 4 * pi, 2 * pi);
        double const span = w <= e ? e - w : e - w + 2 * pi;
        bool const inside = from_west <= span + 1e-9 || from_west >= 2 * pi - 1e-9;
        EXPECT_TRUE(inside || b.CoversAllLongitudes()) << trial << " " << lon << Text(b);
        near_west = std::min({near_west, from_west, 2 * pi - from_west});
        near_east = std::min({near_east, to_east, 2 * pi - to_east});
      }
      north = std::max(north, section.Extreme(0, section.End(), 1).second);
      south = std::min(south, -section.Extreme(0, section.End(), -1).second);
    }
    // No larger than what the arcs reach.
    EXPECT_LE(Lat(b.GetNorthEast()), north + 1e-9) << trial << Text(b);
    EXPECT_GE(Lat(b.GetSouthWest()), south - 1e-9) << trial << Text(b);
    if (!b.CoversAllLongitudes()) {
      EXPECT_LE(near_west, 1e-9) << trial << Text(b);
      EXPECT_LE(near_east, 1e-9) << trial << Text(b);
    }
  }
  // Along a parallel the arc bulges poleward.
  EXPECT_GT(Lat(STB::BoundsOfCoordinates(Ring{Deg(45, 0), Deg(45, 90)}).GetNorthEast()),
            Lat(Deg(45, 0)) + 0.1);
  EXPECT_FALSE(STB::BoundsOfCoordinates(Ring{Deg(45, 0)}).IsValid());
}
#endif

// Coordinates of every kind a walk can meet: regular, NaN, on the poles and
// the antimeridian, repeated, and extended longitudes from raw packed words.
GeographyCoordinate Wild(std::mt19937_64& rng, GeographyCoordinate const& last) {
  std::uniform_real_distribution<double> u(-1, 1);
  switch (rng() % 10) {
    case 0: return GeographyCoordinate();
    case 1: return Deg(rng() % 2 ? 90 : -90, 180 * u(rng));
    case 2: return Deg(80 * u(rng), rng() % 2 ? 180 : -180);
    case 3: return last;
    case 4: {
      std::uint64_t const lat_code = rng() % 1476620780, lon_code = 2953241560 + rng() % 169875424;
      return GeographyCoordinate(GeographyCoordinate::Packed((lat_code * 3123134984ULL + lon_code) |
                                                             (rng() % 2 ? 1ULL << 62 : 0)));
    }
    default: return Rad(std::clamp(Lat(last) + 0.3 * u(rng), -pi / 2, pi / 2), Lon(last) + u(rng));
  }
}

TEST(SphericalTrapezoidBounds, WalkIsTheFoldOfArcBounds) {
  std::mt19937_64 rng(5);
  auto fold = [](Ring const& line) {
    STB running;
    for (std::size_t i = 1; i < line.size(); ++i) {
      running = running.Union(STB::BoundsOfArc(EllipticArc(line[i - 1], line[i])));
    }
    return running;
  };
  int wild = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    Ring line = RandomLine(rng);
    if (trial % 2) {
      for (auto& c : line) {
        if (rng() % 4 == 0) c = Wild(rng, c), ++wild;
        if (!c.IsValid() && rng() % 2) c = Deg(10, 20);
      }
    }
    STB expect;
    try {
      expect = fold(line);
    } catch (std::logic_error const&) {
      EXPECT_THROW(STB::BoundsOfCoordinates(line), std::logic_error);
      continue;
    }
    ASSERT_TRUE(Same(STB::BoundsOfCoordinates(line), expect)) << trial;
  }
  EXPECT_GT(wild, 10000);
  // Arcs whose vertex lies just beyond or just inside an endpoint: on a
  // section with vertex (phi_m, lambda_v), tan(phi) = tan(phi_m) cos(lambda -
  // lambda_v) for geodetic latitudes too.
  std::uniform_real_distribution<double> u(-1, 1);
  for (int trial = 0; trial < 20000; ++trial) {
    double const top = 1.5 * u(rng), lambda_v = pi * u(rng);
    double const near = u(rng) * std::pow(10.0, -12 + 10 * std::fabs(u(rng)));
    double const far = near + (u(rng) < 0 ? -1 : 1) * std::pow(10.0, -5 + 5 * std::fabs(u(rng)));
    auto at = [&](double d) { return Rad(std::atan(std::tan(top) * std::cos(d)), lambda_v + d); };
    Ring const arc{at(near), at(far)};
    ASSERT_TRUE(Same(STB::BoundsOfCoordinates(arc), fold(arc))) << trial << arc[0] << arc[1];
    Ring const back{arc[1], arc[0]};
    ASSERT_TRUE(Same(STB::BoundsOfCoordinates(back), fold(back))) << trial;
  }
  for (char const* file : {"countries", "countries50"}) {
    for (Country const& country : LoadCountries(file)) {
      for (Polygon const& polygon : country.polygons) {
        for (Ring const& ring : polygon) {
          ASSERT_TRUE(Same(STB::BoundsOfCoordinates(ring), fold(ring))) << country.name;
        }
      }
    }
  }
}

TEST(SphericalTrapezoidBounds, PolygonsWithPolesAndTheCountries) {
  BasicServices::Register();
  std::vector<Ring> const rings{
      {Deg(60, 0), Deg(60, 120), Deg(60, -120), Deg(60, 0)},          // around the north pole
      {Deg(-60, 0), Deg(-60, -120), Deg(-60, 120), Deg(-60, 0)},      // around the south pole
      {Deg(0, 0), Deg(0, -10), Deg(10, -10), Deg(10, 0), Deg(0, 0)},  // clockwise: both
  };
  DefaultGeography const value = MakeGeography({{rings[0]}, {rings[1]}, {rings[2]}});
  STB const north = STB::BoundsOfPoly(value, 0), south = STB::BoundsOfPoly(value, 1);
  EXPECT_EQ(Lat(north.GetNorthEast()), pi / 2);
  EXPECT_TRUE(north.CoversAllLongitudes());
  EXPECT_NEAR(Lat(north.GetSouthWest()), pi / 3, 1e-9);
  EXPECT_EQ(Lat(south.GetSouthWest()), -pi / 2);
  EXPECT_TRUE(south.CoversAllLongitudes());
  EXPECT_TRUE(Same(STB::BoundsOfPoly(value, 2), Box(-90, -180, 90, 180)));

  auto countries = LoadCountries("countries");
  for (Country const& country : countries) {
    std::vector<Polygon> reversed;
    for (Polygon const& polygon : country.polygons) {
      Polygon p;
      for (Ring const& ring : polygon) p.push_back(Reversed(ring));
      reversed.push_back(p);
    }
    DefaultGeography const g = MakeGeography(reversed);
    STB all;
    for (unsigned i = 0; i < reversed.size(); ++i) all = all.Union(STB::CachedBoundsOfPoly(g, i));
    if (country.name == "Fiji" || country.name == "Russia") {
      EXPECT_TRUE(all.CrossesAntimeridian()) << country.name << Text(all);
    }
    if (country.name == "Antarctica") {
      EXPECT_EQ(Lat(all.GetSouthWest()), -pi / 2);
      EXPECT_TRUE(all.CoversAllLongitudes());
    } else {
      EXPECT_GT(Lat(all.GetSouthWest()), -pi / 2) << country.name;
    }
  }
}

TEST(SphericalTrapezoidBounds, CachedBoundsGoThroughTheCache) {
  Ring const line{Deg(1, 2), Deg(3, 4)};
  Ring twice;
  for (int k = 0; k <= 16; ++k) twice.push_back(Deg(50, -180 + 45 * k));
  DefaultGeography const value = MakeGeography({{twice}}, {line});
  Shape<GeographyCoordinate> const& shape = value;
  BasicServices::Register();
  auto cache = ServiceRegistry::Instance().Get<SphericalTrapezoidBoundsCache>();
  EXPECT_TRUE(Same(STB::CachedBoundsOfLine(value, 0), Box(1, 2, 3, 4)));
  cache->Store(shape.HashForLine(0), STB());
  EXPECT_FALSE(STB::CachedBoundsOfLine(value, 0).IsValid());
  // A ring around the axis twice: the error propagates, nothing is stored.
  EXPECT_THROW(STB::CachedBoundsOfPoly(value, 0), std::invalid_argument);
  STB out;
  EXPECT_FALSE(cache->Lookup(shape.HashForPoly(0), out));
  BasicServices::Unregister();
  EXPECT_THROW(STB::CachedBoundsOfLine(value, 0), std::runtime_error);
  EXPECT_THROW(STB::BoundsOfPoly(value, 0), std::runtime_error);  // needs the pole cache
  BasicServices::Register();
}

// Many threads take the cached bounds and pole containment of the same
// polygons while the caches are being replaced: every answer equals the one
// computed alone.
TEST(KernelThreads, CachedBoundsFromManyThreads) {
  BasicServices::Register();
  std::vector<Polygon> polygons;
  for (Country const& country : LoadCountries("countries")) {
    for (Polygon const& polygon : country.polygons) polygons.push_back({Reversed(polygon[0])});
  }
  DefaultGeography const value = MakeGeography(polygons);
  std::vector<STB> expect;
  for (unsigned i = 0; i < polygons.size(); ++i) expect.push_back(STB::BoundsOfPoly(value, i));
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 3; ++round) {
        for (unsigned i = 0; i < polygons.size(); ++i) {
          unsigned const p = (i * 7 + static_cast<unsigned>(t) * 31) % polygons.size();
          if (t == 0 && i % 50 == 0) BasicServices::Register();
          if (!Same(STB::CachedBoundsOfPoly(value, p), expect[p])) ++wrong;
          RectangularBounds const box = RectangularBounds::CachedBoundsOfPoly(
              DefaultGeometry(DefaultGeometry::Points(), {},
                              {{{GeometryCoordinate(p, 0), GeometryCoordinate(p + 1, 2),
                                 GeometryCoordinate(p, 1), GeometryCoordinate(p, 0)}}}),
              0);
          if (box.GetMaxX() != p + 1) ++wrong;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
}

}  // namespace
}  // namespace ostrel
