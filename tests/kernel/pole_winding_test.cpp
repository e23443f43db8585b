// Pole containment against rings whose winding is known by construction
// (and checked independently by summing unwrapped longitude steps), and on
// the Natural Earth countries; DetectWindingOrder against the shoelace sign
// and the data's documented orientation; the ring clean-up on random rings
// snapped to the grid.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "kernel/kernel_support.hpp"
#include "ostrel/kernel/pole_containment.hpp"
#include "ostrel/kernel/ring_cleaning.hpp"
#include "ostrel/kernel/vector.hpp"
#include "ostrel/kernel/winding_order.hpp"
#include "ostrel/operations/basic_services.hpp"

namespace ostrel {
namespace {

using namespace kernel_test;
using Pair = std::pair<bool, bool>;

// A ring that runs `turns` times around the polar axis, eastward or
// westward, between two latitudes, starting anywhere.
Ring Loop(std::mt19937_64& rng, double lat_lo, double lat_hi, bool east, int turns) {
  std::uniform_real_distribution<double> u(0, 1);
  double lon = 2 * pi * u(rng) - pi, travelled = 0;
  Ring ring;
  while (travelled < 2 * pi * turns - 0.7) {
    ring.push_back(Rad(lat_lo + (lat_hi - lat_lo) * u(rng), lon));
    double const step = 0.05 + 0.55 * u(rng);
    lon += east ? step : -step;
    travelled += step;
  }
  ring.push_back(ring.front());
  return ring;
}

// A star-shaped ring around a centre away from the poles, counter-clockwise
// in (longitude, latitude) or not; it may cross the antimeridian.
Ring Star(std::mt19937_64& rng, bool counter_clockwise, int n = 12) {
  std::uniform_real_distribution<double> u(0, 1);
  double const lat0 = (u(rng) - 0.5) * 2.0, lon0 = 2 * pi * u(rng) - pi;
  double const radius = 0.01 + 0.4 * u(rng);
  Ring ring;
  for (int i = 0; i < n; ++i) {
    double const angle = 2 * pi * (i + 0.8 * u(rng)) / n * (counter_clockwise ? 1 : -1);
    double const r = radius * (0.5 + 0.5 * u(rng));
    ring.push_back(Rad(lat0 + r * std::sin(angle), lon0 + r * std::cos(angle)));
  }
  ring.push_back(ring.front());
  return ring;
}

// Turns around the polar axis: the sum of the longitude steps, each taken
// the short way, over 2 pi.
double Turns(Ring const& ring) {
  double sum = 0;
  for (std::size_t i = 1; i < ring.size(); ++i) {
    sum += std::remainder(Lon(ring[i]) - Lon(ring[i - 1]), 2 * pi);
  }
  return sum / (2 * pi);
}

TEST(PoleContainment, RingsOfKnownWinding) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 2000; ++trial) {
    bool const east = trial % 2 == 0, northern = trial % 4 < 2;
    Ring const loop = northern ? Loop(rng, 0.3, 1.5, east, 1) : Loop(rng, -1.5, -0.3, east, 1);
    ASSERT_NEAR(Turns(loop), east ? 1 : -1, 1e-9);
    // Eastward, the interior (on the left) holds the north pole.
    EXPECT_EQ(GetNorthAndSouthPoleContainment(loop), Pair(east, !east)) << trial;

    Ring const star = Star(rng, trial % 3 != 0);
    ASSERT_NEAR(Turns(star), 0, 1e-9);
    // A clockwise ring's interior is everything outside it: both poles.
    bool const both = trial % 3 == 0;
    EXPECT_EQ(GetNorthAndSouthPoleContainment(star), Pair(both, both)) << trial;
    EXPECT_EQ(GetNorthAndSouthPoleContainment(Reversed(star)), Pair(!both, !both)) << trial;

    Ring const twice = Loop(rng, 0.2, 1.2, east, 2);
    EXPECT_THROW(GetNorthAndSouthPoleContainment(twice), std::invalid_argument);
  }
  // Over and back across the antimeridian: no pole.
  Ring const zigzag{Deg(0, 170), Deg(1, -170), Deg(2, 170), Deg(1, 160), Deg(0, 170)};
  EXPECT_EQ(GetNorthAndSouthPoleContainment(zigzag), Pair(false, false));
  // Degenerate rings answer without failing.
  for (Ring const& ring :
       {Ring{}, Ring{Deg(1, 1)}, Ring{Deg(1, 1), Deg(1, 1)}, Ring{Deg(1, 1), Deg(2, 2), Deg(1, 1)},
        Ring{Deg(1, 1), GeographyCoordinate(), Deg(2, 2), Deg(1, 1)},
        Ring{Deg(90, 0), Deg(80, 0), Deg(80, 90), Deg(90, 0)}}) {
    EXPECT_NO_THROW(GetNorthAndSouthPoleContainment(ring)) << ring.size();
  }
  EXPECT_EQ(Message<std::invalid_argument>(
                [&] { GetNorthAndSouthPoleContainment(Loop(rng, 0.2, 1.2, true, 3)); }),
            "ostrel::GetNorthAndSouthPoleContainment: Unhandled polygon winding");
}

TEST(PoleContainment, CountriesOnlyAntarcticaEnclosesAPole) {
  for (char const* file : {"countries", "countries50"}) {
    bool const fine = std::string(file) == "countries50";
    int mainland = 0;
    for (Country const& country : LoadCountries(file)) {
      for (Polygon const& polygon : country.polygons) {
        // The data's exterior rings are clockwise: reversed, the interior
        // lies on their left.
        Ring const ring = Reversed(polygon[0]);
        bool const south =
            country.name == "Antarctica" && !fine &&
            std::any_of(ring.begin(), ring.end(), [](auto const& c) { return Lat(c) == -pi / 2; });
        mainland += south;
        EXPECT_EQ(GetNorthAndSouthPoleContainment(ring), Pair(false, south))
            << file << " " << country.name;
        if (country.name == "Antarctica" && fine) {
          // At 1:50m the ring turns back along 89.9989 S, about 120 m short
          // of the pole, and runs both ways along the antimeridian: the
          // pole lies in the cap it leaves out.
          double lowest = 0;
          for (auto const& c : ring) lowest = std::min(lowest, Lat(c));
          EXPECT_GT(lowest, -pi / 2);
          EXPECT_NEAR(Turns(ring), 0, 1e-9);
        }
      }
    }
    EXPECT_EQ(mainland, fine ? 0 : 1);
  }
}

TEST(PoleContainment, CachedPerRingHash) {
  std::mt19937_64 rng(3);
  Ring const north = Loop(rng, 0.5, 1.0, true, 1), twice = Loop(rng, 0.5, 1.0, true, 2);
  DefaultGeography const value = MakeGeography({{north}, {twice}});
  BasicServices::Register();
  auto cache = ServiceRegistry::Instance().Get<PoleContainmentCache>();
  Shape<GeographyCoordinate> const& shape = value;
  EXPECT_EQ(GetCachedNorthAndSouthPoleContainment(value, 0, 0), Pair(true, false));
  Pair stored;
  EXPECT_TRUE(cache->Lookup(shape.HashForRingOfPoly(0, 0), stored) && stored == Pair(true, false));
  cache->Store(shape.HashForRingOfPoly(0, 0), Pair(true, true));
  EXPECT_EQ(GetCachedNorthAndSouthPoleContainment(value, 0, 0), Pair(true, true));
  EXPECT_THROW(GetCachedNorthAndSouthPoleContainment(value, 1, 0), std::invalid_argument);
  EXPECT_FALSE(cache->Lookup(shape.HashForRingOfPoly(1, 0), stored));
  BasicServices::Unregister();
  EXPECT_THROW(GetCachedNorthAndSouthPoleContainment(value, 0, 0), std::runtime_error);
  BasicServices::Register();
}

WindingOrder Winding(std::vector<std::pair<double, double>> const& points) {
  return DetectWindingOrder([&](unsigned i) { return points.at(i); },
                            static_cast<unsigned>(points.size()));
}

TEST(DetectWindingOrder, AgainstTheShoelaceSign) {
  using W = WindingOrder;
  using P = std::vector<std::pair<double, double>>;
  P const square{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}};
  EXPECT_EQ(Winding(square), W::InteriorLeft);
  EXPECT_EQ(Winding(P(square.rbegin(), square.rend())), W::InteriorRight);
  EXPECT_EQ(Winding({{0, 0}, {2, 2}, {1, 1}, {0, 0}}), W::Ambiguous);
  EXPECT_EQ(Winding({{0, 0}, {1, 0}}), W::Ambiguous);
  // Nearly collinear edges at the lowest vertex still order correctly.
  EXPECT_EQ(Winding({{0, 0}, {1, 1e-9}, {1, 2e-9}, {0, 0}}), W::InteriorLeft);
  EXPECT_EQ(Winding({{0, 0}, {1, 2e-9}, {1, 1e-9}, {0, 0}}), W::InteriorRight);
  EXPECT_EQ(Winding({{0, 0}, {-1, 2e-9}, {-1, 1e-9}, {0, 0}}), W::InteriorLeft);
  EXPECT_EQ(Winding({{0, 0}, {1e-10, 1}, {2e-10, 1}, {0, 0}}), W::InteriorRight);
  EXPECT_THROW(DetectWindingOrder({}, 4), std::bad_function_call);

  std::mt19937_64 rng(8);
  std::uniform_real_distribution<double> u(0, 1);
  for (int trial = 0; trial < 5000; ++trial) {
    int const n = 3 + static_cast<int>(rng() % 30);
    double const x0 = 1e3 * (u(rng) - 0.5), y0 = 1e3 * (u(rng) - 0.5),
                 scale = std::pow(10, 6 * u(rng) - 4);
    P ring;
    for (int i = 0; i < n; ++i) {
      double const angle = 2 * pi * (i + 0.9 * u(rng)) / n;
      double const r = scale * (0.2 + u(rng));
      ring.emplace_back(x0 + r * std::cos(angle), y0 + r * std::sin(angle));
    }
    if (trial % 2) std::reverse(ring.begin(), ring.end());
    ring.push_back(ring.front());
    double area = 0;
    for (std::size_t i = 1; i < ring.size(); ++i) {
      area += (ring[i - 1].first - x0) * (ring[i].second - y0) -
              (ring[i].first - x0) * (ring[i - 1].second - y0);
    }
    EXPECT_EQ(Winding(ring), area > 0 ? W::InteriorLeft : W::InteriorRight) << trial;
  }
}

TEST(DetectWindingOrder, CountriesFollowTheirReadme) {
  // Exterior rings clockwise in the lon/lat plane, holes counter-clockwise,
  // for the numbers as written.
  for (char const* file : {"countries", "countries50"}) {
    int holes = 0;
    for (auto const& polygons : LoadRawPolygons(file)) {
      for (auto const& polygon : polygons) {
        for (std::size_t r = 0; r < polygon.size(); ++r) {
          EXPECT_EQ(Winding(polygon[r]),
                    r == 0 ? WindingOrder::InteriorRight : WindingOrder::InteriorLeft)
              << file << " ring " << r;
          holes += r > 0;
        }
      }
    }
    EXPECT_EQ(holes, std::string(file) == "countries" ? 1 : 11);
  }
  // Snapped to the grid, one ring turns the other way at its lowest vertex:
  // Sudan's, whose two edges there differ in direction by about 2e-13 rad
  // (the README's edges 1 and 79), far below the grid's 1e-9.
  std::vector<std::string> turned;
  for (Country const& country : LoadCountries("countries")) {
    for (Polygon const& polygon : country.polygons) {
      Ring const& ring = polygon[0];
      WindingOrder const w =
          DetectWindingOrder([&](unsigned i) { return std::make_pair(Lon(ring[i]), Lat(ring[i])); },
                             static_cast<unsigned>(ring.size()));
      if (w != WindingOrder::InteriorRight) turned.push_back(country.name);
    }
  }
  EXPECT_EQ(turned, std::vector<std::string>{"Sudan"});
}

double const kStep = GeographyCoordinate::GetMaxTruncationError().Get();

// The clean-up's spikes, measured independently in long double: c lies
// within one grid step of the line through a and b, behind b as seen from a.
bool Spike(GeographyCoordinate const& a, GeographyCoordinate const& b,
           GeographyCoordinate const& c) {
  if (a == b || b == c) return false;
  long double const bx = Lon(b) - Lon(a), by = Lat(b) - Lat(a);
  long double const cx = Lon(c) - Lon(a), cy = Lat(c) - Lat(a);
  long double const len = std::sqrt(bx * bx + by * by);
  long double const along = (cx * bx + cy * by) / len, off = (cx * by - cy * bx) / len;
  return std::fabs(off) < 0.999L * kStep && along < 0.999L * len;
}

TEST(RingCleaning, RandomSnappedRings) {
  std::mt19937_64 rng(17);
  std::uniform_real_distribution<double> u(-1, 1);
  int changed = 0, unclosed = 0;
  for (int trial = 0; trial < 3000; ++trial) {
    // Unsnapped vertices with clusters a few grid steps wide, and spikes.
    double const lat0 = 1.4 * u(rng), lon0 = pi * u(rng);
    std::vector<std::pair<double, double>> raw;
    int const n = 4 + static_cast<int>(rng() % 12);
    for (int i = 0; i < n; ++i) {
      double const angle = 2 * pi * i / n, r = (rng() % 4 ? 1e-6 : 1e-3) * (1 + u(rng) * 0.5);
      raw.emplace_back(lat0 + r * std::sin(angle), lon0 + r * std::cos(angle));
      if (rng() % 3 == 0)
        raw.emplace_back(raw.back().first + 8 * kStep * u(rng),
                         raw.back().second + 8 * kStep * u(rng));
      if (rng() % 5 == 0 && raw.size() >= 2) raw.push_back(raw[raw.size() - 2]);
    }
    raw.push_back(raw.front());
    Ring ring;
    for (auto const& [lat, lon] : raw) ring.push_back(Rad(lat, lon));
    Ring const before = ring;
    bool const result = CleanRingAndRemoveIntroducedSelfIntersections(ring, [&](unsigned k) {
      return Radians(
          std::atan2(raw.at(k + 1).first - raw[k].first, raw[k + 1].second - raw[k].second));
    });
    changed += result;
    EXPECT_EQ(result, ring != before) << trial;
    ASSERT_GE(ring.size(), 4u) << trial;
    unclosed += ring.front() != ring.back();
    for (std::size_t i = 1; i < ring.size(); ++i) {
      ASSERT_NE(ring[i], ring[i - 1]) << trial << " at " << i;
      GeographyCoordinate const& next = ring[i + 1 < ring.size() ? i + 1 : 1];
      EXPECT_FALSE(Spike(ring[i - 1], ring[i], next) || Spike(next, ring[i], ring[i - 1]))
          << trial << " at " << i;
    }
  }
  EXPECT_GT(changed, 300);
  std::printf("clean-up changed %d of 3000 rings; %d left unclosed\n", changed, unclosed);
}

// The spike pass as literally defined: whole rounds of "drop consecutive
// duplicates, then sweep 1 .. n-1" until a round changes nothing.
bool TurnsBackModel(GeographyCoordinate const& a, GeographyCoordinate const& b,
                    GeographyCoordinate const& c) {
  if (a == b || b == c) return false;
  Vector2D const ab(Lon(b) - Lon(a), Lat(b) - Lat(a)), ac(Lon(c) - Lon(a), Lat(c) - Lat(a));
  Vector2D const u = ab.UnitLength();
  double const t = ac.Dot(u);
  if ((ac - u * t).LengthSquared() > kStep * kStep) return false;
  return t <= 0 || ab.LengthSquared() >= t * t;
}

void SpikeRoundsModel(Ring& ring) {
  for (bool changed = true; changed;) {
    changed = false;
    if (ring.size() >= 2) {
      Ring kept{ring[0]};
      for (std::size_t i = 1; i < ring.size(); ++i) {
        if (ring[i] != kept.back()) kept.push_back(ring[i]);
      }
      changed = kept.size() != ring.size();
      ring = kept;
    }
    std::size_t const n = ring.size();
    if (n < 3) continue;
    for (std::size_t i = 1; i < n; ++i) {
      GeographyCoordinate const next = ring[i == n - 1 ? 1 : i + 1];
      if (TurnsBackModel(ring[i - 1], ring[i], next) ||
          TurnsBackModel(next, ring[i], ring[i - 1])) {
        ring[i] = ring[i - 1];
        changed = true;
      }
    }
  }
}

// Rings of spikes, zigzags, straight runs and repeated vertices, all more
// than 30 grid steps apart (so the first pass leaves them alone), against
// the rounds as defined.
TEST(RingCleaning, SpikePassEqualsItsRounds) {
  std::mt19937_64 rng(23);
  std::uniform_real_distribution<double> u(-1, 1);
  int compared = 0;
  for (int trial = 0; trial < 4000; ++trial) {
    double const step = 1e-7 * (1 + 1000 * std::fabs(u(rng)));
    Ring ring{Rad(0.5 * u(rng), pi * u(rng))};
    int const pieces = 1 + static_cast<int>(rng() % 6);
    for (int piece = 0; piece < pieces; ++piece) {
      double const angle = pi * u(rng), dx = std::cos(angle) * step, dy = std::sin(angle) * step;
      int const k = 1 + static_cast<int>(rng() % 12);
      GeographyCoordinate const from = ring.back();
      auto at = [&](double j) { return Rad(Lat(from) + j * dy, Lon(from) + j * dx); };
      switch (rng() % 4) {
        case 0:  // out and back
          for (int j = 1; j <= k; ++j) ring.push_back(at(j));
          for (int j = k - 1; j >= 0; --j) ring.push_back(at(j));
          break;
        case 1:  // out and partly back
          for (int j = 1; j <= k; ++j) ring.push_back(at(j));
          for (int j = k - 1; j >= k / 2; --j) ring.push_back(at(j));
          break;
        case 2:  // a straight run with a repeated vertex
          for (int j = 1; j <= k; ++j) ring.push_back(at(j));
          ring.push_back(ring.back());
          break;
        default: ring.push_back(Rad(Lat(from) + 5 * step * u(rng), Lon(from) + 5 * step * u(rng)));
      }
    }
    ring.push_back(ring.front());
    Ring expect = ring;
    SpikeRoundsModel(expect);
    if (expect.size() < 4) continue;
    CleanRingAndRemoveIntroducedSelfIntersections(ring, [](unsigned) { return Radians(0.0); });
    ASSERT_EQ(ring, expect) << trial;
    ++compared;
  }
  EXPECT_GT(compared, 2500);
}

TEST(RingCleaning, MergesFlippedNeighboursAndRebuildsCollapsedRings) {
  // The turn at v1 was to the right before snapping (directions 0, then
  // -0.5) but v2, five grid steps away, now lies up and to the left.
  GeographyCoordinate const v0 = Rad(0, 0), v1 = Rad(0, 1e-3),
                            v2 = Rad(5 * kStep, 1e-3 - 5 * kStep);
  Ring ring{v0, v1, v2, Rad(1e-3, 1e-3), Rad(1e-3, 0), v0};
  std::vector<double> const directions{0, -0.5, pi / 2, pi, -pi / 2};
  EXPECT_TRUE(CleanRingAndRemoveIntroducedSelfIntersections(
      ring, [&](unsigned k) { return Radians(directions.at(k)); }));
  EXPECT_EQ(ring, (Ring{v0, v1, Rad(1e-3, 1e-3), Rad(1e-3, 0), v0}));

  auto unchanged = [](unsigned) { return Radians(0.0); };
  Ring two{Deg(10, 20), Deg(10, 20.0000001), Deg(10, 20)};
  EXPECT_TRUE(CleanRingAndRemoveIntroducedSelfIntersections(two, unchanged));
  ASSERT_EQ(two.size(), 4u);
  EXPECT_TRUE(two[0] == Deg(10, 20) && two[1] == Deg(10, 20.0000001) && two[3] == two[0]);
  EXPECT_GT(Lat(two[2]), Lat(two[0]));  // to the left of an eastward step
  for (auto const& c : two) EXPECT_TRUE(c.IsValid());

  ResourceVector<GeographyCoordinate> one{Deg(-90, 40)};
  EXPECT_TRUE(CleanRingAndRemoveIntroducedSelfIntersections(one, unchanged));
  EXPECT_EQ(one.size(), 4u);
  EXPECT_EQ(one.front(), one.back());
  Ring pole{Deg(90, 0), Deg(90, 0)};
  EXPECT_TRUE(CleanRingAndRemoveIntroducedSelfIntersections(pole, unchanged));
  EXPECT_EQ(Lat(pole[1]), Lat(pole[2]));
  Ring near_pole{Rad(pi / 2 - kStep, 0)};
  EXPECT_THROW(CleanRingAndRemoveIntroducedSelfIntersections(near_pole, unchanged),
               std::out_of_range);
  Ring empty;
  EXPECT_FALSE(CleanRingAndRemoveIntroducedSelfIntersections(empty, unchanged));
}

}  // namespace
}  // namespace ostrel
