// RectangularBounds: the construction and comparison rules on a table of
// edge cases; the box of a line against the Union fold it is defined by
// (bit for bit, NaN and infinities included) and against Boost.Geometry's
// envelope; the cache in front of it.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <stdexcept>
#include <vector>

#include "kernel/kernel_support.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/operations/basic_services.hpp"
#include "ostrel/spatial/default_format.hpp"

#if OSTREL_HAVE_BOOST
#include <boost/geometry.hpp>
#endif

namespace ostrel {
namespace {

using kernel_test::Message;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using Points = DefaultGeometry::Points;

bool Same(RectangularBounds const& a, RectangularBounds const& b) {
  auto bits = [](double x) { return std::bit_cast<std::uint64_t>(x); };
  return a.IsValid() == b.IsValid() && bits(a.GetMinX()) == bits(b.GetMinX()) &&
         bits(a.GetMinY()) == bits(b.GetMinY()) && bits(a.GetMaxX()) == bits(b.GetMaxX()) &&
         bits(a.GetMaxY()) == bits(b.GetMaxY());
}

TEST(RectangularBounds, ConstructionValidity) {
  struct Case {
    double v[4];
    bool valid;
  } const cases[] = {
      {{0, 0, 1, 1}, true},
      {{kNaN, 0, 0, 0}, false},
      {{-kInf, 0, kInf, 1}, false},
      {{0, 0, kInf, kInf}, true},
      {{-kInf, -kInf, 0, 0}, true},
      {{0, -kInf, 0, kInf}, false},
      {{-1e308, -1e308, 1e308, kInf}, false},  // the sum overflows to -inf before +inf
  };
  for (auto const& c : cases) {
    EXPECT_EQ(RectangularBounds(c.v[0], c.v[1], c.v[2], c.v[3]).IsValid(), c.valid) << c.v[0];
  }
  EXPECT_FALSE(RectangularBounds().IsValid());
  EXPECT_EQ(Message<std::domain_error>([] { RectangularBounds(1, 2, 0, 3); }),
            "max value should not be less than min value in bounds construction.");
  EXPECT_THROW(RectangularBounds(0, 3, 1, 2), std::domain_error);
  GeometryCoordinate const p(1.5, -2.25);
  RectangularBounds const point(p);
  EXPECT_TRUE(point.IsValid() && point.Contains(p) && point.GetMin() == p && point.GetMax() == p);
}

// Another planar bounds class (a SphericalTrapezoidBounds is geographic and
// cannot even be passed).
struct OtherBounds : GeometryBounds {
  bool IsValid() const override { return true; }
  bool Contains(GeometryCoordinate const&) const override { return true; }
  bool Overlaps(GeometryBounds const&) const override { return true; }
};

TEST(RectangularBounds, ContainsOverlapsUnion) {
  RectangularBounds const box(0, 0, 2, 2), invalid;
  // Closed containment; NaN is never inside.
  EXPECT_TRUE(box.Contains({2, 0}) && box.Contains({1, 1}));
  EXPECT_FALSE(box.Contains({2.5, 1}) || box.Contains(GeometryCoordinate()));
  struct Case {
    RectangularBounds other;
    bool overlaps;
  } const cases[] = {
      {{2, 2, 3, 3}, true},   {{2, -1, 3, 0}, true},   {{0.5, 0.5, 1, 1}, true},
      {{-1, -1, 3, 3}, true}, {{2.1, 0, 3, 1}, false}, {{0, 2.1, 1, 3}, false},
      {invalid, false},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(box.Overlaps(c.other), c.overlaps) << c.other.GetMinX();
    EXPECT_EQ(c.other.Overlaps(box), c.overlaps) << c.other.GetMinX();
  }
  EXPECT_EQ(Message<std::invalid_argument>([&] { box.Overlaps(OtherBounds()); }),
            "ostrel::RectangularBounds::Overlaps: operating on two different bounds types");
  EXPECT_TRUE(Same(box.Union(invalid), box) && Same(invalid.Union(box), box));
  EXPECT_FALSE(invalid.Union(invalid).IsValid());
  EXPECT_TRUE(Same(box.Union({-1, 1, 1, 5}), {-1, 0, 2, 5}));
  // Equal operands of opposite zero sign: the second one wins, like fmin.
  RectangularBounds const zeros = RectangularBounds(0.0, 0.0, 0.0, 0.0).Union({-0.0, -0.0, 0, 0});
  EXPECT_TRUE(std::signbit(zeros.GetMinX()) && std::signbit(zeros.GetMinY()));
}

// Random lines whose coordinates sometimes are NaN, infinite, huge or signed
// zeros, and whose planar values therefore sometimes reset the running box.
Points RandomLine(std::mt19937_64& rng, GeometryCoordinate::Bias const& bias) {
  Points line;
  // Mostly short, sometimes several blocks of the scan long.
  int const n = static_cast<int>(rng() % 50 == 0 ? 200 + rng() % 1000 : rng() % 40);
  for (int i = 0; i < n; ++i) {
    auto pick = [&]() -> double {
      switch (rng() % 12) {
        case 0: return kNaN;
        case 1: return kInf;
        case 2: return -kInf;
        case 3: return -0.0;
        case 4: return 0.0;
        case 5: return 3e38 * ((rng() % 3) - 1.0);
        default: return std::uniform_real_distribution(-1000.0, 1000.0)(rng);
      }
    };
    int const odds = n > 100 ? 400 : 5;
    double const x = rng() % odds ? std::uniform_real_distribution(-10.0, 10.0)(rng) : pick();
    double const y = rng() % odds ? std::uniform_real_distribution(-10.0, 10.0)(rng) : pick();
    line.emplace_back(x + bias.GetX(), y, bias);
  }
  return line;
}

TEST(RectangularBounds, LineIsTheUnionFoldOfItsCoordinates) {
  std::mt19937_64 rng(42);
  int valid = 0;
  for (int trial = 0; trial < 20000; ++trial) {
    GeometryCoordinate::Bias const bias(rng() % 2 ? 0.0 : 1e300 * (rng() % 3 ? 1 : -1), 0.0);
    Points const line = RandomLine(rng, bias);
    RectangularBounds fold;
    for (auto const& c : line) fold = fold.Union(RectangularBounds(c));
    RectangularBounds const walked = RectangularBounds::BoundsOfCoordinates(line);
    ASSERT_TRUE(Same(walked, fold)) << trial;
    valid += walked.IsValid();
    if (line.size() >= 2) {
      DefaultGeometry const value(Points(), DefaultGeometry::Lines{line}, DefaultGeometry::Polys(),
                                  DefaultGeometry::Attributes(bias, SRID::None(), SRID::None()));
      ASSERT_TRUE(Same(RectangularBounds::BoundsOfLine(value, 0), fold)) << trial;
    }
  }
  EXPECT_GT(valid, 10000);
}

TEST(RectangularBounds, PolygonUsesTheExteriorRingOnly) {
  Points const outer{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}};
  Points const hole{{1, 1}, {9, 1}, {9, 2}, {1, 1}};  // reaches outside
  DefaultGeometry const value(Points(), DefaultGeometry::Lines(),
                              DefaultGeometry::Polys{{outer, hole}});
  EXPECT_TRUE(Same(RectangularBounds::BoundsOfPoly(value, 0), {0, 0, 4, 4}));
}

#if OSTREL_HAVE_BOOST
TEST(RectangularBounds, EqualsBoostEnvelopeOnFiniteInput) {
  namespace bg = boost::geometry;
  using BPoint = bg::model::d2::point_xy<double>;
  std::mt19937_64 rng(7);
  for (int trial = 0; trial < 5000; ++trial) {
    GeometryCoordinate::Bias const bias(std::uniform_real_distribution(-1e7, 1e7)(rng), 3.5);
    Points ring;
    bg::model::ring<BPoint> boost_ring;
    int const n = 3 + static_cast<int>(rng() % 200);
    for (int i = 0; i < n; ++i) {
      GeometryCoordinate const c(bias.GetX() + std::normal_distribution(0.0, 1e4)(rng),
                                 std::normal_distribution(0.0, 1e4)(rng), bias);
      ring.push_back(c);
      bg::append(boost_ring, BPoint(c.GetX(), c.GetY()));
    }
    ring.push_back(ring.front());
    bg::append(boost_ring, BPoint(ring.front().GetX(), ring.front().GetY()));
    bg::model::box<BPoint> envelope;
    bg::envelope(boost_ring, envelope);
    DefaultGeometry const value(Points(), DefaultGeometry::Lines(), DefaultGeometry::Polys{{ring}},
                                DefaultGeometry::Attributes(bias, SRID::None(), SRID::None()));
    RectangularBounds const box = RectangularBounds::BoundsOfPoly(value, 0);
    ASSERT_EQ(box.GetMinX(), envelope.min_corner().x());
    ASSERT_EQ(box.GetMinY(), envelope.min_corner().y());
    ASSERT_EQ(box.GetMaxX(), envelope.max_corner().x());
    ASSERT_EQ(box.GetMaxY(), envelope.max_corner().y());
  }
}
#endif

TEST(RectangularBounds, CachedBoundsGoThroughTheCache) {
  Points const line{{0, 0}, {1, 1}};
  DefaultGeometry const value(Points(), DefaultGeometry::Lines{line, Points{{2, 2}, {3, 5}}},
                              DefaultGeometry::Polys());
  Shape<GeometryCoordinate> const& shape = value;
  BasicServices::Register();
  auto cache = ServiceRegistry::Instance().Get<RectangularBoundsCache>();
  EXPECT_TRUE(Same(RectangularBounds::CachedBoundsOfLine(value, 1), {2, 2, 3, 5}));
  RectangularBounds stored;
  EXPECT_TRUE(cache->Lookup(shape.HashForLine(1), stored) && Same(stored, {2, 2, 3, 5}));
  // A stored entry is what comes back, even an invalid one.
  cache->Store(shape.HashForLine(0), RectangularBounds());
  EXPECT_FALSE(RectangularBounds::CachedBoundsOfLine(value, 0).IsValid());
  BasicServices::Unregister();
  EXPECT_THROW(RectangularBounds::CachedBoundsOfLine(value, 0), std::runtime_error);
  BasicServices::Register();
}

}  // namespace
}  // namespace ostrel
