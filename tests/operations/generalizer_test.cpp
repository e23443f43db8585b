// Generalizers against brute-force references written here from the algorithms' definitions: a
// recursive Douglas-Peucker, and a quadratic Visvalingam-Whyatt that recomputes every area at
// every step from a plain vector of survivors (ties by the time an area was last computed).
// Thousands of random open and closed runs (continuous, integer grid with many ties and
// duplicates, NaN and infinite points, every kind of tolerance) must give the same masks and the
// same removal order; GEOS cross-checks Douglas-Peucker; stated outcomes and errors are tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ostrel/operations/generalizer.hpp"
#include "ostrel/operations/generalizer_area.hpp"
#include "ostrel/operations/generalizer_douglas_peucker.hpp"
#include "ostrel/operations/generalizer_point_array.hpp"
#include "ostrel/operations/generalizer_visvalingam_whyatt.hpp"
#include "ostrel/operations/visval_manager.hpp"

#ifdef OSTREL_HAVE_GEOS
#include <geos/geom/Coordinate.h>
#include <geos/simplify/DouglasPeuckerLineSimplifier.h>
#endif

using namespace ostrel;

namespace {

using Point = std::pair<double, double>;
using Points = std::vector<Point>;
using Mask = std::vector<bool>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Serves a vector; fails the test on a point read twice. With `unreadable` set it stands for a
// run of that many points, none of which may be read.
class VectorPoints final : public PointArrayAccessAdapter {
 public:
  explicit VectorPoints(Points const& run, std::size_t unreadable = 0)
      : run_(run), reads_(run.size(), 0), unreadable_(unreadable) {}
  std::pair<double, double> GetPoint(std::size_t index) const override {
    if (unreadable_ != 0 || index >= run_.size()) throw std::logic_error("test: bad read");
    EXPECT_EQ(++reads_[index], 1) << "point " << index << " read twice";
    return run_[index];
  }
  std::size_t GetSize() const override { return unreadable_ != 0 ? unreadable_ : run_.size(); }

 private:
  Points const& run_;
  mutable std::vector<int> reads_;
  std::size_t unreadable_;
};

bool IsClosed(Points const& run) {
  return run.size() > 3 && run.front().first == run.back().first &&
         run.front().second == run.back().second;
}

std::string Show(Mask const& mask) {
  std::string s;
  for (bool b : mask) s += b ? '1' : '0';
  return s;
}

std::string Indices(std::size_t n, std::vector<std::size_t> const& kept) {
  Mask mask(n, false);
  for (std::size_t i : kept) mask[i] = true;
  return Show(mask);
}

template <class G>
Mask Generalize(Points const& run, double tolerance) {
  Mask keep(7, true);  // stale content that must be replaced
  VectorPoints points(run);
  G().Generalize(points, keep, tolerance);
  return keep;
}

// ---- References -------------------------------------------------------------------------------

double SquaredDistance(Point p, Point a, Point b) {
  double ux = b.first - a.first, uy = b.second - a.second;
  double const length = std::sqrt(ux * ux + uy * uy);
  length == 0 ? (ux = 0, uy = 0) : (ux /= length, uy /= length);
  double const vx = p.first - a.first, vy = p.second - a.second;
  if (ux * vx + uy * vy < 0) return vx * vx + vy * vy;
  double const wx = p.first - b.first, wy = p.second - b.second, along = ux * wx + uy * wy;
  return -along < 0 ? wx * wx + wy * wy : std::abs(wx * wx + wy * wy - along * along);
}

void Section(Points const& run, std::size_t first, std::size_t last, double t2, Mask& keep) {
  std::size_t farthest = first + 1;
  double largest = 0;
  for (std::size_t i = first + 1; i < last; ++i) {
    double const d = SquaredDistance(run[i], run[first], run[last]);
    if (d > largest) largest = d, farthest = i;
  }
  if (last - first < 2 || t2 >= largest) return void(keep[first] = keep[last] = true);
  Section(run, first, farthest, t2, keep);
  Section(run, farthest, last, t2, keep);
}

Mask ReferenceDouglasPeucker(Points const& run, double tolerance) {
  std::size_t const n = run.size();
  Mask keep(n, false);
  if (n > 0) Section(run, 0, n - 1, tolerance * tolerance, keep);
  if (IsClosed(run) && std::count(keep.begin(), keep.end(), true) < 4) {
    std::size_t const i = std::min(std::max<std::size_t>(n / 3, 1), n - 3);
    std::size_t const j = std::max(i + 1, std::min(2 * n / 3, n - 2));
    keep.assign(n, false);
    keep[0] = keep[i] = keep[j] = keep[n - 1] = true;
  }
  return keep;
}

using AreaOf = double (*)(Point, Point, Point);

double DoubledArea(Point a, Point b, Point c) {
  return std::abs((b.second - c.second) * a.first + (c.second - a.second) * b.first +
                  (a.second - b.second) * c.first);
}

struct Removals {
  std::vector<std::size_t> order;
  Mask keep;
};

// NaN areas come after every number; equal areas by stamp (time of last computation).
Removals ReferenceVisvalingamWhyatt(Points const& run, double tolerance,
                                    AreaOf area = DoubledArea) {
  std::size_t const n = run.size();
  Removals result{{}, Mask(n, true)};
  if (n < 3) return result;
  bool const closed = IsClosed(run);
  std::size_t const m = closed ? n - 1 : n;
  std::vector<std::size_t> alive(m);
  std::vector<long> stamp(m, -1);
  long clock = 0;
  for (std::size_t i = 0; i < m; ++i) alive[i] = i;
  if (closed) stamp[0] = clock++, stamp[m - 1] = clock++;
  for (std::size_t i = 1; i + 1 < m; ++i) stamp[i] = clock++;
  for (;;) {
    std::size_t const k = alive.size();
    std::size_t best = k;
    double low = 0;
    for (std::size_t pos = closed ? 0 : 1; (closed ? pos < k : pos + 1 < k); ++pos) {
      std::size_t const node = alive[pos];
      double const a = area(run[alive[(pos + k - 1) % k]], run[node], run[alive[(pos + 1) % k]]);
      bool const better =
          best == k || (std::isnan(a) != std::isnan(low)
                            ? std::isnan(low)
                            : a < low || (!(a > low) && stamp[node] < stamp[alive[best]]));
      if (better) best = pos, low = a;
    }
    if (best == k || !(low < tolerance * tolerance)) break;
    std::size_t const prev = alive[(best + k - 1) % k], next = alive[(best + 1) % k];
    result.order.push_back(alive[best]);
    alive.erase(alive.begin() + static_cast<long>(best));
    std::size_t const left = alive.size();
    if (closed && left > 0) stamp[prev] = clock++, stamp[next] = clock++;
    if (!closed && best > 1) stamp[prev] = clock++;         // prev is now at best - 1
    if (!closed && best + 1 < left) stamp[next] = clock++;  // next is now at best
    if (!closed && left == 2) alive.clear();
  }
  Mask& keep = result.keep;
  keep.assign(n, false);
  for (std::size_t node : alive) keep[node] = true;
  if (closed) keep[n - 1] = keep[0];
  auto const kept = std::count(keep.begin(), keep.end(), true);
  if (kept < 4 && (closed || kept < 2)) keep.assign(n, false);
  return result;
}

// ---- Random runs ------------------------------------------------------------------------------

enum class Kind { kContinuous, kGrid, kWalk, kStar, kHostile };

Points RandomRun(std::mt19937_64& rng, Kind kind, std::size_t n, bool closed) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  static constexpr double kOdd[] = {kNaN, kInf, -kInf, 0.0, -0.0, 1e308, -1e308, 1e-320};
  auto cell = [&] { return double(rng() % 5); };
  auto hostile = [&] { return rng() % 3 == 0 ? kOdd[rng() % 8] : cell(); };
  Points run;
  double x = 0, y = 0;
  for (std::size_t i = 0; i < n; ++i) {
    double const angle = 6.283185307179586 * double(i) / double(n), radius = 10 + 5 * unit(rng);
    switch (kind) {
      case Kind::kContinuous: run.emplace_back(100 * unit(rng), 100 * unit(rng)); break;
      case Kind::kGrid: run.emplace_back(cell(), cell()); break;
      case Kind::kWalk: run.emplace_back(x += 1 + unit(rng), y += 3 * unit(rng)); break;
      case Kind::kStar: run.emplace_back(radius * std::cos(angle), radius * std::sin(angle)); break;
      case Kind::kHostile: run.emplace_back(hostile(), hostile()); break;
    }
  }
  if (closed && n > 0) run.push_back(run.front());
  return run;
}

double RandomTolerance(std::mt19937_64& rng, Kind kind) {
  static constexpr double kSpecial[] = {0.0, -0.0, kInf, -kInf, kNaN, 1e200, -2.0, 1e-300};
  if (rng() % 8 == 0) return kSpecial[rng() % 8];
  double const scale = kind == Kind::kContinuous ? 60.0 : kind == Kind::kStar ? 8.0 : 2.5;
  return scale * std::uniform_real_distribution<double>(0.0, 1.0)(rng);
}

// Every fiftieth run is long, giving the vectorized search long segments.
template <class Check>
void ForRandomRuns(unsigned long long seed, int count, Check check) {
  std::mt19937_64 rng(seed);
  for (int t = 0; t < count; ++t) {
    auto const kind = static_cast<Kind>(t % 5);
    std::size_t const n = t % 50 == 0 ? 200 + rng() % 800 : rng() % 40;
    Points const run = RandomRun(rng, kind, n, rng() % 2 == 0);
    check(run, RandomTolerance(rng, kind), t);
  }
}

std::string Describe(Points const& run, double tolerance) {
  std::string s = "tolerance " + std::to_string(tolerance) + ", points";
  for (auto [x, y] : run) s += " (" + std::to_string(x) + " " + std::to_string(y) + ")";
  return s;
}

// ---- Douglas-Peucker --------------------------------------------------------------------------

TEST(DouglasPeucker, MatchesTheRecursiveReference) {
  int differences = 0;
  ForRandomRuns(0xD0061A5ULL, 6000, [&](Points const& run, double tolerance, int) {
    Mask const expected = ReferenceDouglasPeucker(run, tolerance);
    Mask const actual = Generalize<DouglasPeuckerGeneralizer>(run, tolerance);
    if (actual != expected && ++differences <= 3) {
      ADD_FAILURE() << Describe(run, tolerance) << "\n  " << Show(expected) << " expected\n  "
                    << Show(actual) << " actual";
    }
  });
  EXPECT_EQ(differences, 0);
}

// Equally distant interior points: the earliest must win across vector lanes and the tail.
TEST(DouglasPeucker, EqualDistancesPickTheEarliestPoint) {
  for (std::size_t n : {17u, 18u, 19u, 20u, 21u, 64u, 101u, 1000u}) {
    for (std::size_t hump : {1u, 2u, 5u, 16u}) {
      Points run;
      for (std::size_t i = 0; i < n; ++i) run.emplace_back(i, i % hump == 0 && i + 1 < n);
      for (double tolerance : {0.0, 0.5, 2.0}) {
        EXPECT_EQ(Show(Generalize<DouglasPeuckerGeneralizer>(run, tolerance)),
                  Show(ReferenceDouglasPeucker(run, tolerance)))
            << n << " " << hump << " " << tolerance;
      }
    }
  }
}

TEST(DouglasPeucker, StatedOutcomes) {
  struct Case {
    char const* name;
    Points run;
    double tolerance;
    std::vector<std::size_t> kept;
  } const cases[] = {
      {"empty", {}, 1, {}},
      {"one point", {{3, 4}}, 1, {0}},
      {"two equal points", {{1, 1}, {1, 1}}, 0, {0, 1}},
      {"within tolerance: the ends", {{0, 0}, {1, 0.1}, {2, -0.1}, {3, 0}}, 1, {0, 3}},
      {"collinear dropped at 0", {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}}, 0, {0, 2, 4}},
      {"off-segment kept at 0", {{0, 0}, {1, 0.5}, {2, 0}, {3, 0}}, 0, {0, 1, 2, 3}},
      // |w|^2 - (d.w)^2 cancels: a diagonal leaves a residue of 4e-16, an offset of 1e-9 is lost.
      {"diagonal residue kept at 0", {{2, 0}, {3, 1}, {4, 2}}, 0, {0, 1, 2}},
      {"diagonal dropped above 0", {{2, 0}, {3, 1}, {4, 2}}, 1e-6, {0, 2}},
      {"tiny offset cancels", {{0, 0}, {1, 1e-9}, {3, 0}}, 0, {0, 2}},
      {"distance equal to tolerance", {{0, 0}, {1, 2}, {2, 0}}, 2, {0, 2}},
      {"distance above tolerance", {{0, 0}, {1, 2}, {2, 0}}, 1.999, {0, 1, 2}},
      {"before the start", {{0, 0}, {-3, 0}, {1, 0}}, 2.9, {0, 1, 2}},
      {"beyond the end", {{0, 0}, {4, 0}, {1, 0}}, 2.9, {0, 1, 2}},
      {"zero-length segment", {{0, 0}, {3, 4}, {0, 0}}, 4.9, {0, 1, 2}},
      {"closed square of 4", {{0, 0}, {1, 0}, {1, 1}, {0, 0}}, 1e6, {0, 1, 2, 3}},
      {"closed square of 5", {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}, 1e6, {0, 1, 3, 4}},
      {"closed run of 10",
       {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {3, 2}, {2, 2}, {1, 2}, {0, 1}, {0, 0}},
       1e6,
       {0, 3, 6, 9}},
      {"closed, 5 kept", {{0, 0}, {5, 0}, {5, 0.1}, {5, 5}, {0, 5}, {0, 0}}, 1, {0, 1, 3, 4, 5}},
      {"3 points are never closed", {{0, 0}, {5, 5}, {0, 0}}, 1e6, {0, 2}},
      {"NaN point never wins", {{0, 0}, {kNaN, 1}, {1, 0}}, 0, {0, 2}},
      {"NaN tolerance keeps all", {{0, 0}, {1, 0}, {2, 0}}, kNaN, {0, 1, 2}},
      {"negative tolerance", {{0, 0}, {1, 0.5}, {2, 0}}, -1, {0, 2}},
      {"infinite tolerance", {{0, 0}, {1, 1e300}, {2, 0}}, kInf, {0, 2}},
      {"infinite point, oblique segment", {{0, 0}, {1, kInf}, {2, 1}}, 1e100, {0, 1, 2}},
      {"infinite point, axis: 0 * inf", {{0, 0}, {1, kInf}, {2, 0}}, 1e100, {0, 2}},
  };
  for (Case const& c : cases) {
    EXPECT_EQ(Show(Generalize<DouglasPeuckerGeneralizer>(c.run, c.tolerance)),
              Indices(c.run.size(), c.kept))
        << c.name;
  }
  // A NaN tolerance splits down to single steps (all kept), without peeling NaN points one by one.
  Points const nans(1000000, {kNaN, kNaN});
  Mask const all_nan = Generalize<DouglasPeuckerGeneralizer>(nans, kNaN);
  EXPECT_TRUE(all_nan.size() == nans.size() && all_nan == Mask(nans.size(), true));
  static Points const none;
  VectorPoints const overlong(none, 1000000001);  // kept whole, unread
  Mask keep;
  DouglasPeuckerGeneralizer().Generalize(overlong, keep, 1.0);
  ASSERT_EQ(keep.size(), 1000000001u);
  bool all = keep.back();
  for (std::size_t i = 0; i < keep.size(); i += 997) all = all && keep[i];
  EXPECT_TRUE(all);
}

#ifdef OSTREL_HAVE_GEOS
// GEOS measures unsquared distances via a projection factor; on generic lines no distance sits on
// a rounding boundary, so the kept points agree.
TEST(DouglasPeucker, AgreesWithGeos) {
  std::mt19937_64 rng(0x6E05);
  int differences = 0;
  for (int t = 0; t < 1500; ++t) {
    auto const kind = t % 2 == 0 ? Kind::kContinuous : Kind::kWalk;
    Points const run = RandomRun(rng, kind, 2 + rng() % 300, false);
    double const tolerance = 0.01 + (kind == Kind::kWalk ? 2.5 : 60.0) * (rng() % 1000) / 1000.0;
    geos::simplify::DouglasPeuckerLineSimplifier::CoordsVect coordinates;
    for (auto [x, y] : run) coordinates.emplace_back(x, y);
    Points expected, actual;
    auto const simplified =
        geos::simplify::DouglasPeuckerLineSimplifier::simplify(coordinates, tolerance);
    for (auto const& c : *simplified) expected.emplace_back(c.x, c.y);
    Mask const keep = Generalize<DouglasPeuckerGeneralizer>(run, tolerance);
    for (std::size_t i = 0; i < run.size(); ++i) {
      if (keep[i]) actual.push_back(run[i]);
    }
    differences += actual != expected ? 1 : 0;
  }
  EXPECT_EQ(differences, 0);
}
#endif

// ---- Visvalingam-Whyatt -----------------------------------------------------------------------

TEST(VisvalingamWhyatt, MatchesTheQuadraticReference) {
  int differences = 0;
  ForRandomRuns(0x5157A1ULL, 6000, [&](Points const& run, double tolerance, int) {
    Mask const expected = ReferenceVisvalingamWhyatt(run, tolerance).keep;
    Mask const actual = Generalize<VisvalingamWhyattGeneralizer>(run, tolerance);
    if (actual != expected && ++differences <= 3) {
      ADD_FAILURE() << Describe(run, tolerance) << "\n  " << Show(expected) << " expected\n  "
                    << Show(actual) << " actual";
    }
  });
  EXPECT_EQ(differences, 0);
}

TEST(VisvalingamWhyatt, StatedOutcomes) {
  struct Case {
    char const* name;
    Points run;
    double tolerance;
    std::vector<std::size_t> kept;
  } const cases[] = {
      {"empty", {}, 1, {}},
      {"one point", {{3, 4}}, 1e6, {0}},
      {"two points", {{0, 0}, {1, 1}}, 1e6, {0, 1}},
      {"three, small middle", {{0, 0}, {1, 0.1}, {2, 0}}, 1, {}},
      {"three, large middle", {{0, 0}, {1, 1}, {2, 0}}, 1, {0, 1, 2}},
      {"area equal to tolerance squared", {{0, 0}, {1, 2}, {2, 0}}, 2, {0, 1, 2}},
      {"small interior dropped",
       {{0, 0}, {1, 0.01}, {2, 0}, {3, 3}, {4, 0}, {5, 0.01}, {6, 0}},
       1,
       {0, 2, 3, 4, 6}},
      {"reduced to its ends: dropped", {{0, 0}, {1, 0.01}, {2, -0.01}, {3, 0}}, 1, {}},
      {"closed square, large tolerance", {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}, 1e6, {}},
      {"closed square, small tolerance",
       {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}},
       0.5,
       {0, 1, 2, 3, 4}},
      {"closed: triangle with node 0", {{0, 0}, {1, 0}, {2, 0}, {1, 1}, {0, 0}}, 0.5, {0, 2, 3, 4}},
      {"closed: node 0 gone, 3 left", {{1, 0}, {2, 0}, {1, 1}, {0, 0}, {1, 0}}, 0.5, {}},
      {"zero tolerance", {{0, 0}, {1, 0}, {2, 0}}, 0, {0, 1, 2}},
      {"negative tolerance", {{0, 0}, {1, 0.1}, {2, 0}}, -1, {}},
      {"NaN tolerance", {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, kNaN, {0, 1, 2, 3}},
      {"NaN area never removed", {{0, 0}, {kNaN, 0}, {2, 0}}, 1e6, {0, 1, 2}},
      {"duplicates, infinite tolerance", {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, kInf, {}},
  };
  for (Case const& c : cases) {
    EXPECT_EQ(Show(Generalize<VisvalingamWhyattGeneralizer>(c.run, c.tolerance)),
              Indices(c.run.size(), c.kept))
        << c.name;
  }
}

// Step by step the same removals as the reference, also under area functions giving negative,
// NaN and constant (all tied) areas.
TEST(VisvalManager, RemovalOrderMatchesTheReference) {
  static AreaOf const functions[] = {
      DoubledArea,
      [](Point, Point, Point) { return 1.0; },
      [](Point a, Point b, Point c) { return b.first - (a.first + c.first) / 2; },
      [](Point, Point b, Point) { return b.second < 0 ? kNaN : b.second; },
  };
  struct Function final : AreaFunction {
    AreaOf f;
    double Area(Point const& a, Point const& b, Point const& c) const override {
      return f(a, b, c);
    }
  };
  int differences = 0;
  ForRandomRuns(0x715A1ULL, 4000, [&](Points const& run, double tolerance, int t) {
    Function area;
    area.f = functions[(t / 5) % 4];
    VectorPoints points(run);
    VisvalManager manager(points, area);
    std::vector<std::size_t> order;
    while (!manager.IsEmpty() && manager.GetSmallestArea() < tolerance * tolerance) {
      order.push_back(manager.GetSmallest());
      manager.Unlink(manager.GetSmallest());
    }
    if (order != ReferenceVisvalingamWhyatt(run, tolerance, area.f).order && ++differences <= 3) {
      ADD_FAILURE() << "function " << (t / 5) % 4 << ": " << Describe(run, tolerance);
    }
  });
  EXPECT_EQ(differences, 0);
}

// Equal areas leave in the order they entered; a recomputed entry goes behind the existing ones
// of its area even when the area is unchanged. Closed runs insert node 0 and the last node first.
TEST(VisvalManager, StableTieOrderAndShrinkingCycles) {
  SimpleArea const area;
  auto drain = [&](Points const& run, std::size_t steps, std::vector<double>* areas = nullptr) {
    VectorPoints points(run);
    VisvalManager manager(points, area);
    std::vector<unsigned int> order;
    for (; steps > 0 && !manager.IsEmpty(); --steps) {
      if (areas != nullptr) areas->push_back(manager.GetSmallestArea());
      order.push_back(manager.GetSmallest());
      manager.Unlink(order.back());
    }
    return std::make_pair(order, manager);
  };
  std::vector<double> areas;
  auto const [zigzag, line] = drain({{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}}, 9, &areas);
  EXPECT_EQ(zigzag, (std::vector<unsigned int>{1, 3, 2}));
  EXPECT_EQ(areas, (std::vector<double>{2, 2, 0}));
  for (unsigned int i = 0; i < 5; ++i) EXPECT_FALSE(line.IsLinked(i)) << i;  // ends let go
  EXPECT_EQ(line.GetPrevious(0), VisvalManager::kUndefined);

  // A collinear ring, all areas 0: unlinking 0 queues 4 then 1 behind 2 and 3.
  auto const [collinear, ring] = drain({{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {0, 0}}, 3);
  EXPECT_TRUE(ring.IsClosed());
  EXPECT_EQ(ring.GetNodeCount(), 5u);
  EXPECT_EQ(collinear, (std::vector<unsigned int>{0, 2, 4}));
  EXPECT_EQ(ring.GetPrevious(1), 3u);  // a cycle of two: each is both neighbours of the other
  EXPECT_EQ(ring.GetNext(1), 3u);
  EXPECT_EQ(ring.GetEntryCount(), 2u);
  EXPECT_EQ(ring.GetArea(3), 0.0);

  // A triangle shrinks to a cycle of two, one node linked to itself, then nothing.
  auto const [triangle, gone] = drain({{0, 0}, {4, 0}, {0, 4}, {0, 0}}, 9);
  EXPECT_EQ(triangle, (std::vector<unsigned int>{0, 2, 1}));
  EXPECT_TRUE(gone.IsEmpty());
  EXPECT_EQ(gone.GetSmallest(), VisvalManager::kUndefined);
  for (unsigned int i = 0; i < 3; ++i) EXPECT_FALSE(gone.IsLinked(i) || gone.HasEntry(i)) << i;
}

TEST(VisvalManager, RejectsWhatItCannotHold) {
  SimpleArea const area;
  Points const open = {{0, 0}, {1, 3}, {2, 0}, {3, 3}, {4, 0}};
  VectorPoints points(open);
  VisvalManager manager(points, area);
  manager.Unlink(2);
  for (unsigned int index : {0u, 4u, 2u, 5u, VisvalManager::kUndefined}) {
    try {
      manager.Unlink(index);
      ADD_FAILURE() << "node " << index << " was unlinked";
    } catch (std::logic_error const& e) {
      EXPECT_STREQ(e.what(),
                   "VisvalManager::Unlink: Index not defined or past end of priority map");
    }
    EXPECT_TRUE(manager.GetEntryCount() == 2 && manager.GetNext(1) == 3) << index;
  }
  EXPECT_THROW(manager.GetPrevious(5), std::out_of_range);
  static Points const none;
  VectorPoints const huge(none, 0x55555557);
  EXPECT_THROW(VisvalManager(huge, area), std::length_error);
}

}  // namespace
