// Generalizers, checked against brute-force references written here from the
// algorithms' definitions: a recursive Douglas-Peucker and a quadratic
// Visvalingam-Whyatt that recomputes every area at every step from a plain
// vector of the remaining points. Thousands of random open and closed runs
// (continuous, integer-grid with many ties and duplicates, with NaN and
// infinite points, all kinds of tolerances) must give the same masks; GEOS
// cross-checks Douglas-Peucker on generic lines; the stated outcomes and the
// working structure's tie order and errors are tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
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

// Serves a vector and fails the test on an index past the end or on a point
// read twice.
class VectorPoints final : public PointArrayAccessAdapter {
 public:
  explicit VectorPoints(Points const& run) : run_(run), reads_(run.size(), 0) {}
  std::pair<double, double> GetPoint(std::size_t index) const override {
    if (index >= run_.size()) throw std::out_of_range("test adapter: index past end");
    EXPECT_EQ(++reads_[index], 1) << "point " << index << " read twice";
    return run_[index];
  }
  std::size_t GetSize() const override { return run_.size(); }

 private:
  Points const& run_;
  mutable std::vector<int> reads_;
};

// A run of any size whose points must not be read.
class UnreadablePoints final : public PointArrayAccessAdapter {
 public:
  explicit UnreadablePoints(std::size_t size) : size_(size) {}
  std::pair<double, double> GetPoint(std::size_t) const override {
    throw std::logic_error("test adapter: point read");
  }
  std::size_t GetSize() const override { return size_; }

 private:
  std::size_t size_;
};

bool IsClosed(Points const& run) {
  return run.size() > 3 && run.front().first == run.back().first &&
         run.front().second == run.back().second;
}

Mask Indices(std::size_t n, std::vector<std::size_t> const& kept) {
  Mask mask(n, false);
  for (std::size_t i : kept) mask[i] = true;
  return mask;
}

std::string Show(Mask const& mask) {
  std::string s;
  for (bool b : mask) s += b ? '1' : '0';
  return s;
}

Mask Generalize(Generalizer& generalizer, Points const& run, double tolerance) {
  Mask keep(7, true);  // stale content that must be replaced
  VectorPoints points(run);
  generalizer.Generalize(points, keep, tolerance);
  return keep;
}

Mask DouglasPeucker(Points const& run, double tolerance) {
  DouglasPeuckerGeneralizer g;
  return Generalize(g, run, tolerance);
}

Mask VisvalingamWhyatt(Points const& run, double tolerance) {
  VisvalingamWhyattGeneralizer g;
  return Generalize(g, run, tolerance);
}

// ---- Reference Douglas-Peucker: recursion over (first, last) ---------------

double ReferenceSquaredDistance(Point p, Point a, Point b) {
  double ux = b.first - a.first, uy = b.second - a.second;
  double const length = std::sqrt(ux * ux + uy * uy);
  if (length == 0) {
    ux = 0, uy = 0;
  } else {
    ux /= length, uy /= length;
  }
  double const vx = p.first - a.first, vy = p.second - a.second;
  if (ux * vx + uy * vy < 0) return vx * vx + vy * vy;
  double const wx = p.first - b.first, wy = p.second - b.second;
  double const projection = ux * wx + uy * wy;
  if (-projection < 0) return wx * wx + wy * wy;
  return std::abs(wx * wx + wy * wy - projection * projection);
}

void ReferenceSection(Points const& run, std::size_t first, std::size_t last, double t2,
                      Mask& keep) {
  std::size_t farthest = first + 1;
  double largest = 0;
  for (std::size_t i = first + 1; i < last; ++i) {
    double const d = ReferenceSquaredDistance(run[i], run[first], run[last]);
    if (d > largest) largest = d, farthest = i;
  }
  if (last - first < 2 || t2 >= largest) {
    keep[first] = keep[last] = true;
    return;
  }
  ReferenceSection(run, first, farthest, t2, keep);
  ReferenceSection(run, farthest, last, t2, keep);
}

Mask ReferenceDouglasPeucker(Points const& run, double tolerance) {
  std::size_t const n = run.size();
  Mask keep(n, false);
  if (n == 0) return keep;
  ReferenceSection(run, 0, n - 1, tolerance * tolerance, keep);
  if (IsClosed(run) && std::count(keep.begin(), keep.end(), true) < 4) {
    std::size_t const i = std::min(std::max<std::size_t>(n / 3, 1), n - 3);
    std::size_t const j = std::max(i + 1, std::min(2 * n / 3, n - 2));
    keep = Indices(n, {0, i, j, n - 1});
  }
  return keep;
}

// ---- Reference Visvalingam-Whyatt: quadratic, from a list of survivors ----

using AreaOf = double (*)(Point, Point, Point);

double DoubledArea(Point a, Point b, Point c) {
  return std::abs((b.second - c.second) * a.first + (c.second - a.second) * b.first +
                  (a.second - b.second) * c.first);
}

// The points in the order they are removed, and the final keep mask. Every
// point with two neighbours has an area, recomputed from scratch each step;
// the stamp of a point is the time its area was last (re)computed after a
// neighbour changed, and among equal areas the oldest stamp goes first. NaN
// areas come after every number.
struct ReferenceResult {
  std::vector<std::size_t> removed;
  Mask keep;
};

ReferenceResult ReferenceVisvalingamWhyatt(Points const& run, double tolerance,
                                           AreaOf area = DoubledArea) {
  std::size_t const n = run.size();
  ReferenceResult result{{}, Mask(n, true)};
  if (n < 3) return result;
  bool const closed = IsClosed(run);
  std::size_t const m = closed ? n - 1 : n;
  std::vector<std::size_t> alive(m);
  std::vector<long> stamp(m, -1);
  long clock = 0;
  for (std::size_t i = 0; i < m; ++i) alive[i] = i;
  if (closed) stamp[0] = clock++, stamp[m - 1] = clock++;
  for (std::size_t i = 1; i + 1 < m; ++i) stamp[i] = clock++;

  double const t2 = tolerance * tolerance;
  for (;;) {
    std::size_t const k = alive.size();
    std::size_t best = k;
    double best_area = 0;
    for (std::size_t pos = 0; pos < k; ++pos) {
      if (!closed && (pos == 0 || pos + 1 == k)) continue;
      std::size_t const node = alive[pos];
      double const a = area(run[alive[(pos + k - 1) % k]], run[node], run[(alive[(pos + 1) % k])]);
      bool better = best == k;
      if (!better && std::isnan(a) != std::isnan(best_area)) {
        better = std::isnan(best_area);
      } else if (!better) {
        better = a < best_area || (!(a > best_area) && stamp[node] < stamp[alive[best]]);
      }
      if (better) best = pos, best_area = a;
    }
    if (best == k || !(best_area < t2)) break;
    std::size_t const prev = alive[(best + k - 1) % k];
    std::size_t const next = alive[(best + 1) % k];
    result.removed.push_back(alive[best]);
    alive.erase(alive.begin() + static_cast<long>(best));
    std::size_t const left = alive.size();
    if (closed) {
      if (left > 0) stamp[prev] = clock++, stamp[next] = clock++;
    } else {
      // prev now sits at best - 1, next at best; interior ones have areas.
      if (best - 1 > 0 && best - 1 + 1 < left) stamp[prev] = clock++;
      if (best > 0 && best + 1 < left) stamp[next] = clock++;
      if (left == 2) alive.clear();
    }
  }
  Mask& keep = result.keep;
  keep.assign(n, false);
  for (std::size_t node : alive) keep[node] = true;
  if (closed) keep[n - 1] = keep[0];
  std::size_t const kept = static_cast<std::size_t>(std::count(keep.begin(), keep.end(), true));
  if (kept < 4 && (closed || kept < 2)) keep.assign(n, false);
  return result;
}

// ---- Random runs ----------------------------------------------------------

enum class Kind { kContinuous, kGrid, kWalk, kStar, kHostile };

Points RandomRun(std::mt19937_64& rng, Kind kind, std::size_t n, bool closed) {
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_int_distribution<int> cell(0, 4);
  Points run;
  double x = 0, y = 0;
  for (std::size_t i = 0; i < n; ++i) {
    switch (kind) {
      case Kind::kContinuous: run.emplace_back(100 * unit(rng), 100 * unit(rng)); break;
      case Kind::kGrid: run.emplace_back(cell(rng), cell(rng)); break;
      case Kind::kWalk:
        x += 1 + unit(rng), y += 3 * unit(rng);
        run.emplace_back(x, y);
        break;
      case Kind::kStar: {
        double const angle = 6.283185307179586 * static_cast<double>(i) / static_cast<double>(n);
        double const radius = 10 + 5 * unit(rng);
        run.emplace_back(radius * std::cos(angle), radius * std::sin(angle));
        break;
      }
      case Kind::kHostile: {
        static constexpr double kOdd[] = {kNaN, kInf, -kInf, 0.0, -0.0, 1e308, -1e308, 1e-320};
        auto pick = [&] { return rng() % 3 == 0 ? kOdd[rng() % 8] : double(cell(rng)); };
        run.emplace_back(pick(), pick());
        break;
      }
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

struct Trial {
  Points run;
  double tolerance;
};

// Short runs of every kind, open and closed, plus some long ones that give
// the vectorized search long segments with many equal distances.
std::vector<Trial> RandomTrials(unsigned long long seed, int count) {
  std::mt19937_64 rng(seed);
  std::vector<Trial> trials;
  for (int t = 0; t < count; ++t) {
    auto const kind = static_cast<Kind>(t % 5);
    bool const closed = rng() % 2 == 0;
    std::size_t n = t % 50 == 0 ? 200 + rng() % 800 : rng() % 40;
    trials.push_back({RandomRun(rng, kind, n, closed), RandomTolerance(rng, kind)});
  }
  return trials;
}

std::string Describe(Trial const& trial) {
  std::string s = "tolerance " + std::to_string(trial.tolerance) + ", points";
  for (auto [x, y] : trial.run) s += " (" + std::to_string(x) + " " + std::to_string(y) + ")";
  return s;
}

// ---- Douglas-Peucker ------------------------------------------------------

TEST(DouglasPeucker, MatchesTheRecursiveReference) {
  int differences = 0;
  for (Trial const& trial : RandomTrials(0xD0061A5ULL, 6000)) {
    Mask const expected = ReferenceDouglasPeucker(trial.run, trial.tolerance);
    Mask const actual = DouglasPeucker(trial.run, trial.tolerance);
    if (actual != expected && ++differences <= 3) {
      ADD_FAILURE() << Describe(trial) << "\n  expected " << Show(expected) << "\n  actual   "
                    << Show(actual);
    }
  }
  EXPECT_EQ(differences, 0);
}

// Long lines where every interior point of a segment is equally far: the
// earliest must win across the four vector lanes and the scalar tail.
TEST(DouglasPeucker, EqualDistancesPickTheEarliestPoint) {
  for (std::size_t n : {17u, 18u, 19u, 20u, 21u, 64u, 101u, 1000u}) {
    for (std::size_t hump : {1u, 2u, 5u, 16u}) {
      Points run;
      for (std::size_t i = 0; i < n; ++i) {
        bool const up = i > 0 && i + 1 < n && (i % hump == 0);
        run.emplace_back(static_cast<double>(i), up ? 1.0 : 0.0);
      }
      for (double tolerance : {0.0, 0.5, 2.0}) {
        EXPECT_EQ(Show(DouglasPeucker(run, tolerance)),
                  Show(ReferenceDouglasPeucker(run, tolerance)))
            << "n " << n << " hump " << hump << " tolerance " << tolerance;
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
  };
  double const big = 1e6;
  Case const cases[] = {
      {"empty", {}, 1, {}},
      {"one point", {{3, 4}}, 1, {0}},
      {"two points", {{0, 0}, {1, 1}}, big, {0, 1}},
      {"two equal points", {{1, 1}, {1, 1}}, 0, {0, 1}},
      {"all within tolerance keeps the ends", {{0, 0}, {1, 0.1}, {2, -0.1}, {3, 0}}, 1, {0, 3}},
      {"collinear interior dropped at tolerance 0",
       {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}},
       0,
       {0, 2, 4}},
      {"off-segment points kept at tolerance 0",
       {{0, 0}, {1, 0.5}, {2, 0}, {3, 0}},
       0,
       {0, 1, 2, 3}},
      {"distance equal to tolerance does not split", {{0, 0}, {1, 2}, {2, 0}}, 2, {0, 2}},
      {"distance above tolerance splits", {{0, 0}, {1, 2}, {2, 0}}, 1.999, {0, 1, 2}},
      {"before the start counts from the start", {{0, 0}, {-3, 0}, {1, 0}}, 2.9, {0, 1, 2}},
      {"beyond the end counts from the end", {{0, 0}, {4, 0}, {1, 0}}, 2.9, {0, 1, 2}},
      {"zero-length segment measures from the point", {{0, 0}, {3, 4}, {0, 0}}, 4.9, {0, 1, 2}},
      {"closed square of 4", {{0, 0}, {1, 0}, {1, 1}, {0, 0}}, big, {0, 1, 2, 3}},
      {"closed square of 5", {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}, big, {0, 1, 3, 4}},
      {"closed run of 10",
       {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {3, 1}, {3, 2}, {2, 2}, {1, 2}, {0, 1}, {0, 0}},
       big,
       {0, 3, 6, 9}},
      {"closed run keeping 4 stands",
       {{0, 0}, {5, 0}, {5, 0.1}, {5, 5}, {0, 5}, {0, 0}},
       1,
       {0, 1, 3, 4, 5}},
      {"three points equal at the ends are not closed", {{0, 0}, {5, 5}, {0, 0}}, big, {0, 2}},
      {"NaN point never wins", {{0, 0}, {kNaN, 1}, {1, 0}}, 0, {0, 2}},
      {"NaN tolerance keeps everything", {{0, 0}, {1, 0}, {2, 0}}, kNaN, {0, 1, 2}},
      {"negative tolerance acts as its magnitude", {{0, 0}, {1, 0.5}, {2, 0}}, -1, {0, 2}},
      {"infinite tolerance", {{0, 0}, {1, 1e300}, {2, 0}}, kInf, {0, 2}},
      {"infinite point off an oblique segment wins", {{0, 0}, {1, kInf}, {2, 1}}, 1e100, {0, 1, 2}},
      {"infinite point off an axis gives NaN (0 * inf), never wins",
       {{0, 0}, {1, kInf}, {2, 0}},
       1e100,
       {0, 2}},
  };
  for (Case const& c : cases) {
    EXPECT_EQ(Show(DouglasPeucker(c.run, c.tolerance)), Show(Indices(c.run.size(), c.kept)))
        << c.name;
  }
}

// Collinear points are dropped at tolerance 0 only when their squared
// distance rounds to 0: on a diagonal the rounding leaves a residue of about
// 1e-16 and the point stays, as the reference formula says.
TEST(DouglasPeucker, ToleranceZeroFollowsTheRoundedDistance) {
  Points const diagonal = {{2, 0}, {3, 1}, {4, 2}};
  EXPECT_GT(ReferenceSquaredDistance(diagonal[1], diagonal[0], diagonal[2]), 0.0);
  EXPECT_EQ(Show(DouglasPeucker(diagonal, 0)), "111");
  EXPECT_EQ(Show(DouglasPeucker(diagonal, 1e-6)), "101");
  // The same cancellation hides an offset of 1e-9 on a segment of length 3.
  EXPECT_EQ(Show(DouglasPeucker({{0, 0}, {1, 1e-9}, {3, 0}}, 0)), "101");
}

TEST(DouglasPeucker, OverlongRunsAreKeptWithoutReadingPoints) {
  UnreadablePoints points(1000000001);
  Mask keep;
  DouglasPeuckerGeneralizer().Generalize(points, keep, 1.0);
  ASSERT_EQ(keep.size(), 1000000001u);
  bool all = keep.back();
  for (std::size_t i = 0; i < keep.size(); i += 997) all = all && keep[i];
  EXPECT_TRUE(all);
}

#ifdef OSTREL_HAVE_GEOS
// GEOS computes point-to-segment distances another way (projection factor,
// unsquared); on generic random lines no distance sits on a rounding
// boundary, so the kept points must agree.
TEST(DouglasPeucker, AgreesWithGeosOnGenericLines) {
  std::mt19937_64 rng(0x6E05);
  int differences = 0;
  for (int t = 0; t < 1500; ++t) {
    auto const kind = t % 2 == 0 ? Kind::kContinuous : Kind::kWalk;
    Points const run = RandomRun(rng, kind, 2 + rng() % 300, false);
    double const tolerance = 0.01 + RandomTolerance(rng, kind);
    if (!(tolerance > 0) || std::isinf(tolerance)) continue;
    geos::simplify::DouglasPeuckerLineSimplifier::CoordsVect coordinates;
    for (auto [x, y] : run) coordinates.emplace_back(x, y);
    auto const simplified =
        geos::simplify::DouglasPeuckerLineSimplifier::simplify(coordinates, tolerance);
    Points expected;
    for (auto const& c : *simplified) expected.emplace_back(c.x, c.y);
    Mask const keep = DouglasPeucker(run, tolerance);
    Points actual;
    for (std::size_t i = 0; i < run.size(); ++i) {
      if (keep[i]) actual.push_back(run[i]);
    }
    differences += actual != expected ? 1 : 0;
  }
  EXPECT_EQ(differences, 0);
}
#endif

// ---- Visvalingam-Whyatt ---------------------------------------------------

TEST(VisvalingamWhyatt, MatchesTheQuadraticReference) {
  int differences = 0;
  for (Trial const& trial : RandomTrials(0x5157A1ULL, 6000)) {
    Mask const expected = ReferenceVisvalingamWhyatt(trial.run, trial.tolerance).keep;
    Mask const actual = VisvalingamWhyatt(trial.run, trial.tolerance);
    if (actual != expected && ++differences <= 3) {
      ADD_FAILURE() << Describe(trial) << "\n  expected " << Show(expected) << "\n  actual   "
                    << Show(actual);
    }
  }
  EXPECT_EQ(differences, 0);
}

TEST(VisvalingamWhyatt, StatedOutcomes) {
  struct Case {
    char const* name;
    Points run;
    double tolerance;
    std::vector<std::size_t> kept;
  };
  double const big = 1e6;
  Case const cases[] = {
      {"empty", {}, 1, {}},
      {"one point", {{3, 4}}, big, {0}},
      {"two points", {{0, 0}, {1, 1}}, big, {0, 1}},
      {"three points, small middle", {{0, 0}, {1, 0.1}, {2, 0}}, 1, {}},
      {"three points, large middle", {{0, 0}, {1, 1}, {2, 0}}, 1, {0, 1, 2}},
      {"area equal to squared tolerance stays", {{0, 0}, {1, 2}, {2, 0}}, 2, {0, 1, 2}},
      {"open line drops small interior, keeps ends",
       {{0, 0}, {1, 0.01}, {2, 0}, {3, 3}, {4, 0}, {5, 0.01}, {6, 0}},
       1,
       {0, 2, 3, 4, 6}},
      {"open line reduced to its ends is dropped", {{0, 0}, {1, 0.01}, {2, -0.01}, {3, 0}}, 1, {}},
      {"closed square of 5, large tolerance", {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}, big, {}},
      {"closed square of 5, small tolerance",
       {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}},
       0.5,
       {0, 1, 2, 3, 4}},
      // The collinear corner points go first (area 0), leaving a triangle.
      {"closed ring reduced to a triangle through node 0",
       {{0, 0}, {1, 0}, {2, 0}, {1, 1}, {0, 0}},
       0.5,
       {0, 2, 3, 4}},
      {"closed ring losing node 0 below 4 points is cleared",
       {{1, 0}, {2, 0}, {1, 1}, {0, 0}, {1, 0}},
       0.5,
       {}},
      {"zero tolerance removes nothing", {{0, 0}, {1, 0}, {2, 0}}, 0, {0, 1, 2}},
      {"negative tolerance acts as its magnitude", {{0, 0}, {1, 0.1}, {2, 0}}, -1, {}},
      {"NaN tolerance keeps everything", {{0, 0}, {1, 0}, {2, 0}, {3, 0}}, kNaN, {0, 1, 2, 3}},
      {"NaN areas are never removed", {{0, 0}, {kNaN, 0}, {2, 0}}, big, {0, 1, 2}},
      {"infinite tolerance with duplicates", {{1, 1}, {1, 1}, {1, 1}, {1, 1}}, kInf, {}},
  };
  for (Case const& c : cases) {
    EXPECT_EQ(Show(VisvalingamWhyatt(c.run, c.tolerance)), Show(Indices(c.run.size(), c.kept)))
        << c.name;
  }
}

// The working structure removes, step by step, the same points in the same
// order as the reference, also under area functions that produce negative,
// NaN and constant areas (ordering and ties only).
TEST(VisvalManager, RemovalOrderMatchesTheReference) {
  struct Function {
    char const* name;
    AreaOf reference;
  };
  static Function const functions[] = {
      {"doubled area", DoubledArea},
      {"constant", [](Point, Point, Point) { return 1.0; }},
      {"signed", [](Point a, Point b, Point c) { return b.first - (a.first + c.first) / 2; }},
      {"NaN for negative y", [](Point, Point b, Point) { return b.second < 0 ? kNaN : b.second; }},
  };
  class Adapter final : public AreaFunction {
   public:
    explicit Adapter(AreaOf f) : f_(f) {}
    double Area(Point const& a, Point const& b, Point const& c) const override {
      return f_(a, b, c);
    }

   private:
    AreaOf f_;
  };
  std::mt19937_64 rng(0x715A1);
  int differences = 0;
  for (int t = 0; t < 4000; ++t) {
    Function const& function = functions[t % 4];
    auto const kind = static_cast<Kind>(rng() % 5);
    Points const run = RandomRun(rng, kind, rng() % 30, rng() % 2 == 0);
    double const tolerance = RandomTolerance(rng, kind);
    Adapter const area(function.reference);
    VectorPoints points(run);
    VisvalManager manager(points, area);
    std::vector<std::size_t> removed;
    while (!manager.IsEmpty() && manager.GetSmallestArea() < tolerance * tolerance) {
      removed.push_back(manager.GetSmallest());
      manager.Unlink(manager.GetSmallest());
    }
    auto const expected = ReferenceVisvalingamWhyatt(run, tolerance, function.reference).removed;
    if (removed != expected && ++differences <= 3) {
      ADD_FAILURE() << function.name << ": " << Describe({run, tolerance});
    }
  }
  EXPECT_EQ(differences, 0);
}

// Equal areas leave in the order they entered the map; a recomputed entry
// goes after the existing ones of the same area even when its area did not
// change. Closed runs insert node 0 and the last node first.
TEST(VisvalManager, StableTieOrder) {
  SimpleArea const area;
  {
    // Interior areas all 2; unlinking node 1 recomputes node 2 to 2 again,
    // which puts it behind node 3.
    Points const zigzag = {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}};
    VectorPoints points(zigzag);
    VisvalManager manager(points, area);
    std::vector<unsigned int> order;
    std::vector<double> areas;
    while (!manager.IsEmpty()) {
      areas.push_back(manager.GetSmallestArea());
      order.push_back(manager.GetSmallest());
      manager.Unlink(order.back());
    }
    EXPECT_EQ(order, (std::vector<unsigned int>{1, 3, 2}));
    EXPECT_EQ(areas, (std::vector<double>{2, 2, 0}));
  }
  {
    // A closed ring of collinear points: every area 0. Node 0 and node 4
    // entered first; unlinking 0 pushes 4 and then 1 behind 2 and 3, and
    // unlinking 2 pushes 1 and then 3 behind 4.
    Points const ring = {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {0, 0}};
    VectorPoints points(ring);
    VisvalManager manager(points, area);
    EXPECT_TRUE(manager.IsClosed());
    EXPECT_EQ(manager.GetNodeCount(), 5u);
    std::vector<unsigned int> order;
    for (int step = 0; step < 3; ++step) {
      order.push_back(manager.GetSmallest());
      manager.Unlink(order.back());
    }
    EXPECT_EQ(order, (std::vector<unsigned int>{0, 2, 4}));
    // A cycle of two: each node is both neighbours of the other.
    EXPECT_EQ(manager.GetPrevious(1), 3u);
    EXPECT_EQ(manager.GetNext(1), 3u);
    EXPECT_EQ(manager.GetArea(3), 0.0);
    EXPECT_EQ(manager.GetEntryCount(), 2u);
  }
}

TEST(VisvalManager, LinksAndEntriesOfOpenAndClosedRuns) {
  SimpleArea const area;
  Points const open = {{0, 0}, {1, 3}, {2, 0}, {3, 3}};
  VectorPoints open_points(open);
  VisvalManager line(open_points, area);
  EXPECT_FALSE(line.IsClosed());
  EXPECT_EQ(line.GetNodeCount(), 4u);
  EXPECT_EQ(line.GetPrevious(0), VisvalManager::kUndefined);
  EXPECT_EQ(line.GetNext(3), VisvalManager::kUndefined);
  EXPECT_FALSE(line.HasEntry(0));
  EXPECT_FALSE(line.HasEntry(3));
  EXPECT_TRUE(std::isnan(line.GetArea(0)));
  EXPECT_EQ(line.GetArea(1), 6.0);
  EXPECT_EQ(line.GetEntryCount(), 2u);
  EXPECT_EQ(line.GetPoint(2), (Point{2, 0}));
  line.Unlink(1);
  EXPECT_EQ(line.GetNext(0), 2u);
  EXPECT_EQ(line.GetPrevious(2), 0u);
  EXPECT_FALSE(line.IsLinked(1));
  EXPECT_EQ(line.GetArea(2), 6.0);  // (0,0) (2,0) (3,3)
  // Only the two ends are left: they let go of each other.
  line.Unlink(2);
  for (unsigned int i = 0; i < 4; ++i) EXPECT_FALSE(line.IsLinked(i)) << i;
  EXPECT_TRUE(line.IsEmpty());
  EXPECT_EQ(line.GetSmallest(), VisvalManager::kUndefined);
  EXPECT_THROW(line.GetPrevious(4), std::out_of_range);

  // A closed triangle shrinks to a cycle of two, then one, then nothing.
  Points const ring = {{0, 0}, {4, 0}, {0, 4}, {0, 0}};
  VectorPoints ring_points(ring);
  VisvalManager cycle(ring_points, area);
  EXPECT_EQ(cycle.GetNodeCount(), 3u);
  EXPECT_EQ(cycle.GetPrevious(0), 2u);
  EXPECT_EQ(cycle.GetNext(2), 0u);
  EXPECT_EQ(cycle.GetEntryCount(), 3u);
  for (unsigned int step = 0; step < 3; ++step) {
    EXPECT_EQ(cycle.GetEntryCount(), 3u - step);
    cycle.Unlink(cycle.GetSmallest());
  }
  EXPECT_TRUE(cycle.IsEmpty());
  for (unsigned int i = 0; i < 3; ++i) EXPECT_FALSE(cycle.IsLinked(i)) << i;
}

TEST(VisvalManager, UnlinkRejectsNodesItCannotRemove) {
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
    EXPECT_EQ(manager.GetEntryCount(), 2u) << index;
    EXPECT_EQ(manager.GetNext(1), 3u) << index;
  }
}

TEST(VisvalManager, RefusesRunsBeyondItsIndexRange) {
  SimpleArea const area;
  UnreadablePoints points(std::size_t{0xFFFFFFFF});
  EXPECT_THROW(VisvalManager(points, area), std::length_error);
}

// ---- Both -----------------------------------------------------------------

// Hostile runs: no crash, no hang, masks of the right size, identical on a
// second call (nothing left over between calls of one object).
TEST(Generalizers, HostileRunsAreHandledAndRepeatable) {
  std::unique_ptr<Generalizer> const generalizers[] = {MakeDouglasPeuckerGeneralizer(),
                                                       MakeVisvalingamWhyattGeneralizer()};
  std::mt19937_64 rng(0xBAD5EED);
  for (int t = 0; t < 2000; ++t) {
    Points const run = RandomRun(rng, Kind::kHostile, rng() % 25, rng() % 2 == 0);
    double const tolerance = RandomTolerance(rng, Kind::kHostile);
    for (auto const& g : generalizers) {
      Mask const first = Generalize(*g, run, tolerance);
      ASSERT_EQ(first.size(), run.size());
      EXPECT_EQ(first, Generalize(*g, run, tolerance));
    }
  }
}

// Douglas-Peucker never drops an end point of a non-empty run; Visvalingam-
// Whyatt keeps an open run's ends whenever it keeps anything, and both keep
// the first and last point of a closed run together or not at all.
TEST(Generalizers, EndPointInvariants) {
  std::mt19937_64 rng(0xE4D5);
  for (int t = 0; t < 3000; ++t) {
    auto const kind = static_cast<Kind>(rng() % 4);
    bool const closed = rng() % 2 == 0;
    Points const run = RandomRun(rng, kind, 1 + rng() % 40, closed);
    double const tolerance = RandomTolerance(rng, kind);
    Mask const dp = DouglasPeucker(run, tolerance);
    EXPECT_TRUE(dp.front() && dp.back());
    Mask const vw = VisvalingamWhyatt(run, tolerance);
    bool const any = std::find(vw.begin(), vw.end(), true) != vw.end();
    if (IsClosed(run)) {
      EXPECT_EQ(vw.front(), vw.back());
    } else if (any) {
      EXPECT_TRUE(vw.front() && vw.back());
    }
  }
}

}  // namespace
