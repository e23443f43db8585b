// IndexedIntersects: the join against a brute-force loop over
// Intersects::Calculate (10^5 random points against the countries, planar
// and geographic; mixed inputs of every kind, both sides indexed), the same
// pairs under an inline, a std::thread and a oneTBB executor, the prior-pairs
// overload against the same brute force, the stated edge cases, errors
// (empty executor, refused tree nodes, pole containment raised where the
// direct test raises it) and storage from the memory resource.
#include "ostrel/operations/indexed_intersects.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ostrel/core/angle.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/operations/basic_services.hpp"
#include "ostrel/operations/intersects.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/identifying.hpp"
#include "ostrel/spatial/unknown.hpp"
#include "ostrel/text/owkt.hpp"
#include "support/counting_resource.hpp"
#include "support/global_allocations.hpp"

#ifdef OSTREL_HAVE_TBB
#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#endif

namespace ostrel {
namespace {

using Pair = std::pair<unsigned, unsigned>;
using Pairs = std::vector<Pair>;
using GeoV = DefaultGeography;
using GeomV = DefaultGeometry;
using Executor = IndexedIntersects::Executor;

GeographyCoordinate Geo(double lon_degrees, double lat_degrees) {
  return GeographyCoordinate(Latitude(Degrees(lat_degrees)), Longitude(Degrees(lon_degrees)));
}

// An input over a vector of owning pointers; null pointers are absent
// items.
class VectorInput final : public IndexedIntersects::Input {
 public:
  explicit VectorInput(std::vector<SpatialPtr> const& values) : values_(values) {}
  Spatial const* Get(unsigned i) const override { return values_[i].get(); }
  unsigned Size() const override { return static_cast<unsigned>(values_.size()); }

 private:
  std::vector<SpatialPtr> const& values_;
};

// Matches guarded by a mutex, as concurrent tasks require.
class VectorMatches final : public IndexedIntersects::Matches {
 public:
  VectorMatches() = default;
  explicit VectorMatches(Pairs pairs) : pairs_(std::move(pairs)) {}
  Pair Get(unsigned k) const override {
    std::lock_guard lock(mutex_);
    return pairs_[k];
  }
  void Add(Pair match) override {
    std::lock_guard lock(mutex_);
    pairs_.push_back(match);
  }
  unsigned Size() const override {
    std::lock_guard lock(mutex_);
    return static_cast<unsigned>(pairs_.size());
  }
  void Reserve(std::size_t n) { pairs_.reserve(n); }
  // The pairs sorted; repeats are kept, so a repeated report shows.
  Pairs Sorted() const {
    std::lock_guard lock(mutex_);
    Pairs sorted = pairs_;
    std::sort(sorted.begin(), sorted.end());
    return sorted;
  }

 private:
  mutable std::mutex mutex_;
  Pairs pairs_;
};

Executor Inline() {
  return [](unsigned n, std::function<void(unsigned)> task) {
    for (unsigned i = 0; i < n; ++i) task(i);
  };
}

Executor Backwards() {
  return [](unsigned n, std::function<void(unsigned)> task) {
    for (unsigned i = n; i > 0; --i) task(i - 1);
  };
}

// `threads` std::threads (the caller among them) take chunks of 37 indices;
// the first error stops the others and is rethrown.
Executor Threads(int threads) {
  return [threads](unsigned n, std::function<void(unsigned)> task) {
    std::atomic<unsigned long long> next = 0;
    std::exception_ptr error;
    std::mutex error_mutex;
    auto work = [&] {
      try {
        for (;;) {
          unsigned long long const begin = next.fetch_add(37);
          if (begin >= n) return;
          unsigned long long const end = std::min<unsigned long long>(n, begin + 37);
          for (unsigned long long i = begin; i < end; ++i) task(static_cast<unsigned>(i));
        }
      } catch (...) {
        std::lock_guard lock(error_mutex);
        if (!error) error = std::current_exception();
        next = n;
      }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (auto& t : pool) t.join();
    if (error) std::rethrow_exception(error);
  };
}

#ifdef OSTREL_HAVE_TBB
Executor Tbb() {
  return [](unsigned n, std::function<void(unsigned)> task) {
    tbb::parallel_for(tbb::blocked_range<unsigned>(0, n),
                      [&](tbb::blocked_range<unsigned> const& r) {
                        for (unsigned i = r.begin(); i != r.end(); ++i) task(i);
                      });
  };
}
#endif

Pairs Join(Executor executor, std::vector<SpatialPtr> const& a, std::vector<SpatialPtr> const& b) {
  VectorMatches out;
  IndexedIntersects(std::move(executor))(VectorInput(a), VectorInput(b), out);
  return out.Sorted();
}

Pairs Join(Executor executor, std::vector<SpatialPtr> const& a, std::vector<SpatialPtr> const& b,
           Pairs const& prior) {
  VectorMatches out;
  VectorMatches const given(prior);
  IndexedIntersects(std::move(executor))(VectorInput(a), VectorInput(b), out, given);
  return out.Sorted();
}

// Every pair of a brute-force loop over Calculate.
Pairs BruteForce(std::vector<SpatialPtr> const& a, std::vector<SpatialPtr> const& b) {
  Pairs pairs;
  for (unsigned i = 0; i < a.size(); ++i) {
    for (unsigned j = 0; j < b.size(); ++j) {
      if (a[i] && b[j] && Intersects::Calculate(*a[i], *b[j])) pairs.emplace_back(i, j);
    }
  }
  return pairs;
}

class IndexedIntersectsTest : public ::testing::Test {
 protected:
  void SetUp() override { BasicServices::Register(); }
  void TearDown() override { BasicServices::Unregister(); }
};

template <class V, class... Args>
SpatialPtr Make(Args&&... args) {
  return MakeSpatial<V>(std::forward<Args>(args)...);
}

SpatialPtr GeoPoint(double lon, double lat) {
  return Make<GeoV>(GeoV::Points{Geo(lon, lat)}, GeoV::Lines(), GeoV::Polys());
}
SpatialPtr GeoPolygon(std::initializer_list<std::pair<double, double>> lon_lat) {
  GeoV::Points ring;
  for (auto const& [lon, lat] : lon_lat) ring.push_back(Geo(lon, lat));
  return Make<GeoV>(GeoV::Points(), GeoV::Lines(), GeoV::Polys{{ring}});
}
SpatialPtr PlanarPoint(double x, double y) {
  return Make<GeomV>(GeomV::Points{{x, y}}, GeomV::Lines(), GeomV::Polys());
}

TEST_F(IndexedIntersectsTest, StatedCases) {
  std::vector<SpatialPtr> const none;
  EXPECT_TRUE(Join(Inline(), none, none).empty());

  // A triangle whose box holds (8, 8) but whose ring does not.
  std::vector<SpatialPtr> polygons;
  polygons.push_back(Make<GeomV>(GeomV::Points(), GeomV::Lines(),
                                 GeomV::Polys{{{{0, 0}, {10, 0}, {0, 10}, {0, 0}}}}));
  std::vector<SpatialPtr> points;
  points.push_back(PlanarPoint(8, 8));
  points.push_back(PlanarPoint(2, 2));
  points.push_back(PlanarPoint(20, 20));
  // Pairs are (index in a, index in b) whichever side is indexed (the
  // smaller one).
  EXPECT_EQ(Join(Inline(), polygons, points), (Pairs{{0, 1}}));
  EXPECT_EQ(Join(Inline(), points, polygons), (Pairs{{1, 0}}));

  // Absent items report nothing.
  std::vector<SpatialPtr> absent(3);
  EXPECT_TRUE(Join(Inline(), absent, points).empty());
  EXPECT_TRUE(Join(Inline(), polygons, absent).empty());

  // A polygon across the antimeridian is found from both sides of it.
  std::vector<SpatialPtr> fiji;
  fiji.push_back(GeoPolygon({{170, -20}, {-170, -20}, {-170, -10}, {170, -10}, {170, -20}}));
  std::vector<SpatialPtr> around;
  for (double lon : {175.0, -175.0, 0.0, 180.0, -165.0}) around.push_back(GeoPoint(lon, -15));
  EXPECT_EQ(Join(Inline(), fiji, around), (Pairs{{0, 0}, {0, 1}, {0, 3}}));
  EXPECT_EQ(Join(Inline(), around, fiji), (Pairs{{0, 0}, {1, 0}, {3, 0}}));

  // Prior pairs: only those that intersect are reported, pairs beyond
  // either input are ignored, and an empty prior does nothing at all (not
  // even call the executor).
  EXPECT_EQ(Join(Inline(), polygons, points, Pairs{{0, 0}, {0, 2}, {0, 1}, {1, 1}, {0, 7}}),
            (Pairs{{0, 1}}));
  EXPECT_TRUE(Join(Inline(), polygons, points, Pairs{{0, 0}, {0, 2}}).empty());
  EXPECT_TRUE(Join(Executor(), polygons, points, Pairs{}).empty());
  EXPECT_EQ(Join(Inline(), fiji, around, Pairs{{0, 1}, {0, 1}, {0, 2}}), (Pairs{{0, 1}}));
}

TEST_F(IndexedIntersectsTest, EmptyExecutorThrows) {
  std::vector<SpatialPtr> const none;
  EXPECT_THROW(Join(Executor(), none, none), std::bad_function_call);
  EXPECT_THROW(Join(Executor(), none, none, Pairs{{0, 0}}), std::bad_function_call);
}

// Values of every kind, some absent, in one input: planar and geographic
// polygons, multi-polygons, points, multi-points, lines, mixed values,
// empty, unknown and identifying values.
std::vector<SpatialPtr> Mixture(std::mt19937_64& rng, std::size_t n) {
  std::uniform_real_distribution<double> x(-20, 20), size(0.5, 6);
  std::uniform_int_distribution<int> kind(0, 13);
  std::vector<SpatialPtr> values;
  auto square = [&](double cx, double cy, double s) {
    return GeomV::Lines{
        {{cx - s, cy - s}, {cx + s, cy - s}, {cx + s, cy + s}, {cx - s, cy + s}, {cx - s, cy - s}}};
  };
  auto geo_square = [&](double cx, double cy, double s) {
    return GeoV::Lines{{Geo(cx - s, cy - s), Geo(cx + s, cy - s), Geo(cx + s, cy + s),
                        Geo(cx - s, cy + s), Geo(cx - s, cy - s)}};
  };
  for (std::size_t i = 0; i < n; ++i) {
    double const cx = x(rng), cy = x(rng), s = size(rng);
    switch (kind(rng)) {
      case 0: values.push_back(nullptr); break;
      case 1:
        values.push_back(
            Make<GeomV>(GeomV::Points(), GeomV::Lines(), GeomV::Polys{square(cx, cy, s)}));
        break;
      case 2: {
        // A square with a hole.
        GeomV::Lines rings = square(cx, cy, s);
        GeomV::Lines hole = square(cx, cy, s / 2);
        std::reverse(hole[0].begin(), hole[0].end());
        rings.push_back(hole[0]);
        values.push_back(Make<GeomV>(GeomV::Points(), GeomV::Lines(), GeomV::Polys{rings}));
        break;
      }
      case 3:
        values.push_back(Make<GeomV>(GeomV::Points(), GeomV::Lines(),
                                     GeomV::Polys{square(cx, cy, s), square(cx + 3, cy, s)}));
        break;
      case 4: values.push_back(PlanarPoint(cx, cy)); break;
      case 5:
        values.push_back(Make<GeomV>(GeomV::Points{{cx, cy}, {cx + 1, cy}, {cx, cy + 2}},
                                     GeomV::Lines(), GeomV::Polys()));
        break;
      case 6:
        values.push_back(Make<GeomV>(GeomV::Points(), GeomV::Lines{{{cx, cy}, {cx + s, cy + s}}},
                                     GeomV::Polys()));
        break;
      case 7:
        values.push_back(
            Make<GeomV>(GeomV::Points{{cx, cy}}, GeomV::Lines(), GeomV::Polys{square(cx, cy, s)}));
        break;
      case 8:
        values.push_back(
            Make<GeoV>(GeoV::Points(), GeoV::Lines(), GeoV::Polys{geo_square(cx, cy, s)}));
        break;
      case 9:
        values.push_back(
            Make<GeoV>(GeoV::Points(), GeoV::Lines(),
                       GeoV::Polys{geo_square(cx, cy, s), geo_square(cx, cy + 4, s / 2)}));
        break;
      case 10: values.push_back(GeoPoint(cx, cy)); break;
      case 11:
        values.push_back(Make<GeoV>(GeoV::Points{Geo(cx, cy), Geo(cx + 2, cy - 1)}, GeoV::Lines(),
                                    GeoV::Polys()));
        break;
      case 12: values.push_back(Make<GeomV>()); break;
      default:
        values.push_back(i % 2 ? MakeSpatial<Unknown>() : MakeSpatial<Identifying>(i));
        break;
    }
  }
  return values;
}

TEST_F(IndexedIntersectsTest, MixedInputsEqualTheBruteForceOnEitherSideIndexed) {
  std::mt19937_64 rng(5);
  for (auto const& [na, nb] : {std::pair{300, 400}, std::pair{400, 300}, std::pair{350, 350}}) {
    auto const a = Mixture(rng, static_cast<std::size_t>(na));
    auto const b = Mixture(rng, static_cast<std::size_t>(nb));
    Pairs const expected = BruteForce(a, b);
    EXPECT_GT(expected.size(), 200u);
    EXPECT_EQ(Join(Inline(), a, b), expected);
    EXPECT_EQ(Join(Backwards(), a, b), expected);
    EXPECT_EQ(Join(Threads(3), a, b), expected);
    // Prior pairs: every other true pair, some false ones, some beyond
    // either input, some repeated.
    Pairs prior;
    for (std::size_t k = 0; k < expected.size(); k += 2) prior.push_back(expected[k]);
    std::uniform_int_distribution<unsigned> ia(0, a.size() + 5), ib(0, b.size() + 5);
    for (int k = 0; k < 2000; ++k) prior.emplace_back(ia(rng), ib(rng));
    prior.push_back(prior.front());
    std::shuffle(prior.begin(), prior.end(), rng);
    Pairs wanted;
    std::set<Pair> const truth(expected.begin(), expected.end());
    for (Pair const& p : std::set<Pair>(prior.begin(), prior.end())) {
      if (truth.count(p)) wanted.push_back(p);
    }
    EXPECT_EQ(Join(Inline(), a, b, prior), wanted);
    EXPECT_EQ(Join(Threads(2), a, b, prior), wanted);
  }
}

std::vector<SpatialPtr> ReadAll(std::string const& file, CoordinateType kind) {
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + file);
  std::vector<SpatialPtr> values;
  for (std::string line; std::getline(in, line);) values.push_back(OWKT::From(line, kind));
  return values;
}

// The countries as geographies with their interior on the left (the data's
// rings run clockwise in the lon/lat plane).
std::vector<SpatialPtr> CountriesInteriorLeft() {
  std::vector<SpatialPtr> out;
  for (auto const& value : ReadAll("countries.wkt", CoordinateType::Geography)) {
    GeoV::Polys polys;
    for (auto const& poly : value->AsGeography().GetPolys()) {
      auto& rings = polys.emplace_back();
      for (auto const& ring : poly) rings.emplace_back(ring.begin(), ring.end());
      for (auto& ring : rings) std::reverse(ring.begin(), ring.end());
    }
    out.push_back(Make<GeoV>(GeoV::Points(), GeoV::Lines(), polys));
  }
  return out;
}

std::vector<SpatialPtr> RandomPoints(std::size_t n, bool geography, unsigned long long seed) {
  std::mt19937_64 rng(seed);
  std::uniform_real_distribution<double> lon(-180, 180), lat(-90, 90);
  std::vector<SpatialPtr> points;
  points.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    double const x = lon(rng), y = lat(rng);
    points.push_back(geography ? GeoPoint(x, y) : PlanarPoint(x, y));
  }
  return points;
}

// Brute force over Calculate for polygons against single points, asked only
// where some polygon's cached bounds hold the point: Calculate rejects every
// other point by those very bounds, so this is the full brute force.
Pairs BruteForceByBounds(std::vector<SpatialPtr> const& polygons,
                         std::vector<SpatialPtr> const& points, bool polygons_first) {
  Pairs pairs;
  for (unsigned i = 0; i < polygons.size(); ++i) {
    Spatial const& value = *polygons[i];
    std::vector<SphericalTrapezoidBounds> spherical;
    std::vector<RectangularBounds> planar;
    unsigned const n = value.IsGeography() ? value.AsGeography().GetPolys().size()
                                           : value.AsGeometry().GetPolys().size();
    for (unsigned p = 0; p < n; ++p) {
      if (value.IsGeography()) {
        spherical.push_back(SphericalTrapezoidBounds::CachedBoundsOfPoly(value.AsGeography(), p));
      } else {
        planar.push_back(RectangularBounds::CachedBoundsOfPoly(value.AsGeometry(), p));
      }
    }
    for (unsigned j = 0; j < points.size(); ++j) {
      Spatial const& point = *points[j];
      bool in_bounds = false;
      if (point.IsGeography()) {
        GeographyCoordinate const c = point.AsGeography().GetPoints()[0];
        for (auto const& b : spherical) in_bounds = in_bounds || b.Contains(c);
      } else {
        GeometryCoordinate const c = point.AsGeometry().GetPoints()[0];
        for (auto const& b : planar) in_bounds = in_bounds || b.Contains(c);
      }
      if (!in_bounds || !Intersects::Calculate(value, point)) continue;
      pairs.push_back(polygons_first ? Pair{i, j} : Pair{j, i});
    }
  }
  std::sort(pairs.begin(), pairs.end());
  return pairs;
}

// The 177 countries, planar or geographic (with their rings made interior-
// left) as the parameter says.
class CountriesJoin : public IndexedIntersectsTest, public ::testing::WithParamInterface<bool> {
 protected:
  static std::vector<SpatialPtr> Countries() {
    return GetParam() ? CountriesInteriorLeft()
                      : ReadAll("countries.wkt", CoordinateType::Geometry);
  }
};

// 10^5 uniform points against the 177 countries: the same pairs under every
// executor, in both argument orders (the countries indexed both times), and
// the prior-pairs overload.
TEST_P(CountriesJoin, EqualsTheBruteForceUnderEveryExecutor) {
  bool const geography = GetParam();
  auto const countries = Countries();
  auto const points = RandomPoints(100000, geography, 77);
  Pairs const expected = BruteForceByBounds(countries, points, true);
  EXPECT_NEAR(expected.size() / 100000.0, 0.33, 0.02);
  EXPECT_EQ(Join(Inline(), countries, points), expected);
  EXPECT_EQ(Join(Threads(3), countries, points), expected);
#ifdef OSTREL_HAVE_TBB
  EXPECT_EQ(Join(Tbb(), countries, points), expected);
#endif
  Pairs swapped;
  for (auto const& [i, j] : expected) swapped.emplace_back(j, i);
  std::sort(swapped.begin(), swapped.end());
  EXPECT_EQ(Join(Threads(2), points, countries), swapped);

  // Prior pairs: every third true pair and as many of their neighbours,
  // which mostly do not intersect.
  Pairs prior;
  for (std::size_t k = 0; k < expected.size(); k += 3) {
    prior.push_back(expected[k]);
    prior.emplace_back(expected[k].first, (expected[k].second + 1) % points.size());
    prior.emplace_back((expected[k].first + 1) % countries.size(), expected[k].second);
  }
  Pairs wanted;
  std::set<Pair> const truth(expected.begin(), expected.end());
  for (Pair const& p : std::set<Pair>(prior.begin(), prior.end())) {
    if (truth.count(p)) wanted.push_back(p);
  }
  EXPECT_GT(wanted.size(), expected.size() / 3);
  EXPECT_EQ(Join(Threads(2), countries, points, prior), wanted);
}

// Whether a point lies in one of the index boxes of a polygonal value: the
// closed box of each polygon's cached bounds, split in two at the
// antimeridian for a geography (longitude and latitude in radians).
bool InSomeBox(Spatial const& polygons, Spatial const& point) {
  if (polygons.IsGeography()) {
    Geography const& g = polygons.AsGeography();
    GeographyCoordinate const c = point.AsGeography().GetPoints()[0];
    double const lon = c.GetLongitude().Get().Get(), lat = c.GetLatitude().Get().Get();
    for (unsigned p = 0; p < g.GetPolys().size(); ++p) {
      SphericalTrapezoidBounds const b = SphericalTrapezoidBounds::CachedBoundsOfPoly(g, p);
      double const west = b.GetWestLongitude().Get().Get(), east = b.GetEastLongitude().Get().Get();
      bool const in_lon =
          b.CrossesAntimeridian() ? (lon >= west || lon <= east) : (lon >= west && lon <= east);
      if (in_lon && lat >= b.GetSouthLatitude().Get().Get() &&
          lat <= b.GetNorthLatitude().Get().Get()) {
        return true;
      }
    }
    return false;
  }
  Shape<GeometryCoordinate> const& g = polygons.AsGeometry();
  GeometryCoordinate const c = point.AsGeometry().GetPoints()[0];
  for (unsigned p = 0; p < g.GetPolys().size(); ++p) {
    RectangularBounds const b = RectangularBounds::CachedBoundsOfPoly(g, p);
    if (c.GetX() >= b.GetMinX() && c.GetX() <= b.GetMaxX() && c.GetY() >= b.GetMinY() &&
        c.GetY() <= b.GetMaxY()) {
      return true;
    }
  }
  return false;
}

// The join makes three executor calls: the build over the indexed items,
// the query over the other side's items, and the verification over the
// candidate pairs, each pair once (a country with several polygons whose
// boxes hold the point is one candidate). With prior pairs the phases run
// over the items the prior pairs name, and only prior pairs are candidates.
TEST_P(CountriesJoin, PhasesAreBuildQueryAndVerifyOverTheCandidates) {
  bool const geography = GetParam();
  auto const countries = Countries();
  auto const points = RandomPoints(20000, geography, 91);
  Pairs boxed;
  for (unsigned i = 0; i < countries.size(); ++i) {
    for (unsigned j = 0; j < points.size(); ++j) {
      if (InSomeBox(*countries[i], *points[j])) boxed.emplace_back(i, j);
    }
  }
  std::vector<unsigned> calls;
  std::atomic<unsigned> tasks = 0;
  Executor const recording = [&](unsigned n, std::function<void(unsigned)> task) {
    calls.push_back(n);
    Threads(2)(n, [&](unsigned i) {
      ++tasks;
      task(i);
    });
  };
  IndexedIntersects const join(recording);
  VectorMatches out;
  join(VectorInput(countries), VectorInput(points), out);
  EXPECT_EQ(calls, (std::vector<unsigned>{static_cast<unsigned>(countries.size()),
                                          static_cast<unsigned>(points.size()),
                                          static_cast<unsigned>(boxed.size())}));
  EXPECT_EQ(tasks, countries.size() + points.size() + boxed.size());
  EXPECT_EQ(out.Sorted(), BruteForceByBounds(countries, points, true));

  // Prior pairs: every other boxed pair and pairs of items no box holds.
  Pairs prior;
  std::set<unsigned> prior_countries, prior_points;
  for (std::size_t k = 0; k < boxed.size(); k += 2) prior.push_back(boxed[k]);
  prior.emplace_back(0, 1);
  prior.emplace_back(1, 0);
  for (auto const& [i, j] : prior) prior_countries.insert(i), prior_points.insert(j);
  std::set<Pair> const boxed_set(boxed.begin(), boxed.end());
  unsigned const prior_boxed = static_cast<unsigned>(std::count_if(
      prior.begin(), prior.end(), [&](Pair const& p) { return boxed_set.count(p) != 0; }));
  calls.clear();
  VectorMatches restricted;
  join(VectorInput(countries), VectorInput(points), restricted, VectorMatches(prior));
  EXPECT_EQ(calls,
            (std::vector<unsigned>{static_cast<unsigned>(prior_countries.size()),
                                   static_cast<unsigned>(prior_points.size()), prior_boxed}));
}

// A few points per country (fewer than the join needs to unpack the short
// rings): the short rings are walked through the values' views, the long
// ones through their band index, and the pairs are the same.
TEST_P(CountriesJoin, FewPointsPerCountryEqualTheBruteForce) {
  bool const geography = GetParam();
  auto const countries = Countries();
  auto const points = RandomPoints(1000, geography, 78);
  Pairs const expected = BruteForceByBounds(countries, points, true);
  EXPECT_NEAR(expected.size() / 1000.0, 0.33, 0.06);
  EXPECT_EQ(Join(Inline(), countries, points), expected);
  EXPECT_EQ(Join(Threads(2), countries, points), expected);
}

INSTANTIATE_TEST_SUITE_P(PlanarAndGeographic, CountriesJoin, ::testing::Values(false, true),
                         [](auto const& info) { return info.param ? "Geographic" : "Planar"; });

// Points level with vertices (planar: the same y; geographic: the same
// longitude, where the meridian rule extends arcs) and on the antimeridian,
// where the join's band index and its whole-ring fallback must count exactly
// the arcs the direct test counts.
TEST_P(CountriesJoin, PointsOnVertexMeridiansEqualTheBruteForce) {
  bool const geography = GetParam();
  auto const countries = Countries();
  std::vector<SpatialPtr> points;
  std::size_t k = 0;
  for (auto const& country : countries) {
    if (geography) {
      for (auto const& poly : country->AsGeography().GetPolys()) {
        for (auto const& ring : poly) {
          for (GeographyCoordinate const& c : ring) {
            if (k++ % 5 != 0) continue;
            for (double dlat : {-0.3, -1e-4, 1e-4, 0.3}) {
              double const lat =
                  std::clamp(c.GetLatitude().Get().Get() + dlat * M_PI / 180, -M_PI_2, M_PI_2);
              points.push_back(
                  Make<GeoV>(GeoV::Points{GeographyCoordinate(Latitude(lat), c.GetLongitude())},
                             GeoV::Lines(), GeoV::Polys()));
            }
          }
        }
      }
    } else {
      Shape<GeometryCoordinate> const& shape = country->AsGeometry();
      for (auto const& poly : shape.GetPolys()) {
        for (auto const& ring : poly) {
          for (GeometryCoordinate const& c : ring) {
            if (k++ % 5 != 0) continue;
            for (double dx : {-0.3, -1e-4, 1e-4, 0.3})
              points.push_back(PlanarPoint(c.GetX() + dx, c.GetY()));
          }
        }
      }
    }
  }
  for (double lat = -89.5; lat < 90; lat += 0.5) {
    for (double lon : {-180.0, 180.0})
      points.push_back(geography ? GeoPoint(lon, lat) : PlanarPoint(lon, lat));
  }
  Pairs const expected = BruteForceByBounds(countries, points, false);
  EXPECT_GT(expected.size(), points.size() / 4);
  EXPECT_EQ(Join(Inline(), points, countries), expected);
  EXPECT_EQ(Join(Threads(2), points, countries), expected);
}

// The full-size join, run by hand: OSTREL_JOIN_POINTS points (10^6 when
// unset) against the countries, on two threads, against the brute force.
TEST_F(IndexedIntersectsTest, DISABLED_MillionPointsAgainstTheCountries) {
  char const* env = std::getenv("OSTREL_JOIN_POINTS");
  std::size_t const n = env != nullptr ? std::strtoull(env, nullptr, 10) : 1000000;
  for (bool geography : {false, true}) {
    auto const countries =
        geography ? CountriesInteriorLeft() : ReadAll("countries.wkt", CoordinateType::Geometry);
    auto const points = RandomPoints(n, geography, 1000000);
    Pairs const expected = BruteForceByBounds(countries, points, true);
    Pairs const got = Join(Threads(2), countries, points);
    std::cout << (geography ? "geographic" : "planar") << ": " << got.size() << " pairs of " << n
              << " points\n";
    EXPECT_EQ(got, expected);
  }
}

// A pole containment error of a hole is raised by the join exactly where
// Calculate raises it: for a point inside the exterior ring, not for one
// outside it (the join pins the error and keeps it for that ring).
TEST_F(IndexedIntersectsTest, ErrorsSurfaceWhereCalculateRaisesThem) {
  GeoV::Points twice;
  for (int turn = 0; turn < 2; ++turn) {
    for (int lon = 0; lon < 360; lon += 90) twice.push_back(Geo(lon > 180 ? lon - 360 : lon, 80));
  }
  twice.push_back(twice.front());
  GeoV::Points square = {Geo(0, 0), Geo(10, 0), Geo(10, 10), Geo(0, 10), Geo(0, 0)};
  std::vector<SpatialPtr> holed;
  holed.push_back(Make<GeoV>(GeoV::Points(), GeoV::Lines(), GeoV::Polys{{square, twice}}));
  std::vector<SpatialPtr> outside, inside;
  outside.push_back(GeoPoint(9.99, 10.5));  // in the box's corner? no: above it
  outside.push_back(GeoPoint(20, 5));
  inside.push_back(GeoPoint(5, 5));
  EXPECT_TRUE(Join(Inline(), holed, outside).empty());
  EXPECT_THROW(Intersects::Calculate(*holed[0], *inside[0]), std::invalid_argument);
  for (Executor executor : {Inline(), Threads(2)}) {
    try {
      Join(executor, holed, inside);
      ADD_FAILURE() << "no error";
    } catch (std::invalid_argument const& e) {
      EXPECT_STREQ(e.what(), "ostrel::GetNorthAndSouthPoleContainment: Unhandled polygon winding");
    }
  }
  // An exterior ring that winds twice fails when its bounds are read, in
  // the build phase, whatever the points.
  std::vector<SpatialPtr> wound;
  wound.push_back(Make<GeoV>(GeoV::Points(), GeoV::Lines(), GeoV::Polys{{twice}}));
  EXPECT_THROW(Join(Inline(), wound, outside), std::invalid_argument);
  // Without the services the bounds cannot be read.
  BasicServices::Unregister();
  EXPECT_THROW(Join(Inline(), holed, inside), std::runtime_error);
}

// Every allocation of a join comes from the memory resource current at the
// call (none from the global heap on the calling thread), all of it is
// returned, and a refused allocation surfaces either as std::bad_alloc or,
// for a tree node, as the tree's own error, leaving nothing behind.
TEST_F(IndexedIntersectsTest, StorageComesFromTheMemoryResource) {
  std::mt19937_64 rng(11);
  auto const a = Mixture(rng, 60);
  auto const b = Mixture(rng, 80);
  Pairs const expected = BruteForce(a, b);
  VectorInput const in_a(a), in_b(b);
  IndexedIntersects const join(Inline());
  test_support::CountingMemoryResource counting;
  {
    VectorMatches warm_up;
    join(in_a, in_b, warm_up);  // fills the caches and the thread's slots
    VectorMatches out;
    out.Reserve(expected.size());
    test_support::ScopedMemoryResource const scope(&counting);
    test_support::GlobalAllocationCounter const global;
    join(in_a, in_b, out);
    EXPECT_EQ(global.Count(), 0u);
    EXPECT_EQ(out.Sorted(), expected);
  }
  EXPECT_GT(counting.Allocations(), 10u);
  EXPECT_TRUE(counting.Balanced());

  int node_failures = 0, bad_allocs = 0, successes = 0;
  for (std::size_t k = 0; k < 400 && successes == 0; ++k) {
    test_support::CountingMemoryResource failing;
    failing.FailAfter(k);
    VectorMatches out;
    try {
      test_support::ScopedMemoryResource const scope(&failing);
      join(in_a, in_b, out);
      ++successes;
      EXPECT_EQ(out.Sorted(), expected);
    } catch (std::bad_alloc const&) {
      ++bad_allocs;
    } catch (std::runtime_error const& e) {
      EXPECT_STREQ(e.what(), "boost::geometry::index::rtree node creation failed");
      ++node_failures;
    }
    EXPECT_TRUE(failing.Balanced()) << k;
  }
  EXPECT_EQ(successes, 1);
  EXPECT_GT(node_failures, 0);
  EXPECT_GT(bad_allocs, 0);
}

// One join object serves concurrent joins, and a join may run inside a task
// of another (nested on the same threads).
TEST_F(IndexedIntersectsTest, ConcurrentAndNestedJoins) {
  std::mt19937_64 rng(21);
  auto const a = Mixture(rng, 200);
  auto const b = Mixture(rng, 150);
  Pairs const expected = BruteForce(a, b);
  IndexedIntersects const join(Threads(2));
  std::atomic<int> wrong = 0;
  std::vector<std::thread> callers;
  for (int t = 0; t < 3; ++t) {
    callers.emplace_back([&] {
      VectorMatches out;
      join(VectorInput(a), VectorInput(b), out);
      if (out.Sorted() != expected) ++wrong;
    });
  }
  for (auto& t : callers) t.join();
  EXPECT_EQ(wrong, 0);

  // Every build task of the outer join runs a whole inner join.
  std::atomic<int> inner_wrong = 0;
  Executor const nesting = [&](unsigned n, std::function<void(unsigned)> task) {
    Threads(2)(n, [&](unsigned i) {
      VectorMatches inner;
      join(VectorInput(b), VectorInput(a), inner);
      if (inner.Size() != expected.size()) ++inner_wrong;
      task(i);
    });
  };
  std::vector<SpatialPtr> few;
  for (int i = 0; i < 3; ++i) few.push_back(PlanarPoint(i, i));
  std::vector<SpatialPtr> square;
  square.push_back(Make<GeomV>(GeomV::Points(), GeomV::Lines(),
                               GeomV::Polys{{{{-1, -1}, {5, -1}, {5, 5}, {-1, 5}, {-1, -1}}}}));
  EXPECT_EQ(Join(nesting, square, few), (Pairs{{0, 0}, {0, 1}, {0, 2}}));
  EXPECT_EQ(inner_wrong, 0);
}

}  // namespace
}  // namespace ostrel
