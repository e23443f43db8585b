// Throughput of the generalizers on one line of 10^6 vertices, in vertices
// per second, side by side with the peers' Douglas-Peucker simplifiers
// (Boost.Geometry's simplify, GEOS's DouglasPeuckerSimplifier) on the same
// vertices and tolerance, and with a plain pass that reads every vertex
// through the same adapter (the floor: what any generalizer pays to see its
// input).
//
// The line is a random walk with normally distributed steps of unit spread (a
// noisy track, generated once with a fixed seed). The argument is the
// tolerance: at 10 Douglas-Peucker keeps about 1% of the vertices and the
// farthest-point searches go deep; at 1 it keeps about a quarter. The
// peers build their simplified geometry, the generalizers only the keep mask;
// the "output" variant adds building the simplified vector of points from
// the mask, for a like-for-like comparison. Each figure reports the number of
// kept vertices as a counter, so the runs can be seen to do the same work.
#include <benchmark/benchmark.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <random>
#include <utility>
#include <vector>

#include "ostrel/operations/generalizer.hpp"
#include "ostrel/operations/generalizer_douglas_peucker.hpp"
#include "ostrel/operations/generalizer_point_array.hpp"
#include "ostrel/operations/generalizer_visvalingam_whyatt.hpp"

#ifdef OSTREL_HAVE_BOOST
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/linestring.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#endif

#ifdef OSTREL_HAVE_GEOS
#include <geos/geom/Coordinate.h>
#include <geos/geom/GeometryFactory.h>
#include <geos/geom/LineString.h>
#include <geos/simplify/DouglasPeuckerSimplifier.h>
#endif

namespace {

using Point = std::pair<double, double>;

constexpr std::size_t kVertices = 1000000;

std::vector<Point> const& GetLine() {
  static std::vector<Point> const line = [] {
    std::mt19937_64 rng(0x6E4E7A1ULL);
    std::normal_distribution<double> step(0.0, 1.0);
    std::vector<Point> points;
    points.reserve(kVertices);
    double x = 500000.0, y = 4000000.0;
    for (std::size_t i = 0; i < kVertices; ++i) {
      points.emplace_back(x, y);
      x += step(rng);
      y += step(rng);
    }
    return points;
  }();
  return line;
}

class LinePoints final : public ostrel::PointArrayAccessAdapter {
 public:
  explicit LinePoints(std::vector<Point> const& points) : points_(points) {}
  std::pair<double, double> GetPoint(std::size_t index) const override { return points_[index]; }
  std::size_t GetSize() const override { return points_.size(); }

 private:
  std::vector<Point> const& points_;
};

void Finish(benchmark::State& state, std::size_t kept) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kVertices));
  state.counters["kept"] = static_cast<double>(kept);
}

std::size_t CountKept(std::vector<bool> const& keep) {
  std::size_t kept = 0;
  for (bool k : keep) kept += k ? 1 : 0;
  return kept;
}

// Reads every vertex through the adapter's virtual call and folds its bits,
// as the generalizers' first pass does.
void BM_GeneralizerPlainPass(benchmark::State& state) {
  LinePoints const points(GetLine());
  // Hidden from the optimizer, so the calls stay virtual as in a generalizer.
  ostrel::PointArrayAccessAdapter const* adapter = &points;
  benchmark::DoNotOptimize(adapter);
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0, n = adapter->GetSize(); i < n; ++i) {
      auto const [x, y] = adapter->GetPoint(i);
      sum += std::bit_cast<std::uint64_t>(x) ^ std::bit_cast<std::uint64_t>(y);
    }
    benchmark::DoNotOptimize(sum);
  }
  Finish(state, kVertices);
}
BENCHMARK(BM_GeneralizerPlainPass)->Unit(benchmark::kMillisecond);

void BM_GeneralizerDouglasPeucker(benchmark::State& state) {
  LinePoints const points(GetLine());
  auto generalizer = ostrel::MakeDouglasPeuckerGeneralizer();
  std::vector<bool> keep;
  for (auto _ : state) {
    generalizer->Generalize(points, keep, static_cast<double>(state.range(0)));
    benchmark::ClobberMemory();
    benchmark::DoNotOptimize(keep.size());
  }
  Finish(state, CountKept(keep));
}
BENCHMARK(BM_GeneralizerDouglasPeucker)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

void BM_GeneralizerDouglasPeuckerOutput(benchmark::State& state) {
  std::vector<Point> const& line = GetLine();
  LinePoints const points(line);
  auto generalizer = ostrel::MakeDouglasPeuckerGeneralizer();
  std::vector<bool> keep;
  std::vector<Point> simplified;
  for (auto _ : state) {
    generalizer->Generalize(points, keep, static_cast<double>(state.range(0)));
    simplified.clear();
    auto point = line.begin();
    for (bool const k : keep) {
      if (k) simplified.push_back(*point);
      ++point;
    }
    benchmark::DoNotOptimize(simplified.data());
  }
  Finish(state, simplified.size());
}
BENCHMARK(BM_GeneralizerDouglasPeuckerOutput)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

#ifdef OSTREL_HAVE_BOOST
void BM_GeneralizerDouglasPeuckerBoost(benchmark::State& state) {
  namespace bg = boost::geometry;
  using BoostPoint = bg::model::d2::point_xy<double>;
  bg::model::linestring<BoostPoint> line;
  for (auto [x, y] : GetLine()) line.emplace_back(x, y);
  bg::model::linestring<BoostPoint> simplified;
  for (auto _ : state) {
    simplified.clear();
    bg::simplify(line, simplified, static_cast<double>(state.range(0)));
    benchmark::DoNotOptimize(simplified.data());
  }
  Finish(state, simplified.size());
}
BENCHMARK(BM_GeneralizerDouglasPeuckerBoost)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
#endif

#ifdef OSTREL_HAVE_GEOS
void BM_GeneralizerDouglasPeuckerGeos(benchmark::State& state) {
  auto const factory = geos::geom::GeometryFactory::create();
  std::vector<geos::geom::Coordinate> coordinates;
  for (auto [x, y] : GetLine()) coordinates.emplace_back(x, y);
  std::unique_ptr<geos::geom::LineString> const line =
      factory->createLineString(std::move(coordinates));
  std::size_t kept = 0;
  for (auto _ : state) {
    auto simplified = geos::simplify::DouglasPeuckerSimplifier::simplify(
        line.get(), static_cast<double>(state.range(0)));
    kept = simplified->getNumPoints();
    benchmark::DoNotOptimize(simplified.get());
  }
  Finish(state, kept);
}
BENCHMARK(BM_GeneralizerDouglasPeuckerGeos)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);
#endif

void BM_GeneralizerVisvalingamWhyatt(benchmark::State& state) {
  LinePoints const points(GetLine());
  auto generalizer = ostrel::MakeVisvalingamWhyattGeneralizer();
  std::vector<bool> keep;
  for (auto _ : state) {
    generalizer->Generalize(points, keep, static_cast<double>(state.range(0)));
    benchmark::ClobberMemory();
    benchmark::DoNotOptimize(keep.size());
  }
  Finish(state, CountKept(keep));
}
BENCHMARK(BM_GeneralizerVisvalingamWhyatt)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace
