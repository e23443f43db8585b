// The indexed join of 10^6 uniform points against the 177 Natural Earth
// countries, in points per second, side by side with the peers' joins over
// the same coordinates:
// - planar: GEOS (an STRtree of the countries' envelopes, then prepared
//   geometry's contains on the candidates) and Boost.Geometry (an rtree of
//   the envelopes, then within);
// - geographic: S2 (a MutableS2ShapeIndex of the countries and a contains-
//   point query per point).
// IndexedIntersects runs on one thread (an inline executor) and on two,
// through a std::thread pool and through oneTBB's parallel_for; GEOS also on
// two threads, each taking half of the points. Every join builds its index
// inside the timed loop (the peers' indexes are built outside it: theirs is
// the cost of answering, ours includes the build, which is small here). Each
// figure reports the pairs found, so the runs can be seen to agree.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "ostrel/core/angle.hpp"
#include "ostrel/operations/basic_services.hpp"
#include "ostrel/operations/indexed_intersects.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/text/owkt.hpp"

#ifdef OSTREL_HAVE_GEOS
#include <geos/geom/Coordinate.h>
#include <geos/geom/Envelope.h>
#include <geos/geom/GeometryFactory.h>
#include <geos/geom/LinearRing.h>
#include <geos/geom/MultiPolygon.h>
#include <geos/geom/Point.h>
#include <geos/geom/Polygon.h>
#include <geos/geom/prep/PreparedGeometry.h>
#include <geos/geom/prep/PreparedGeometryFactory.h>
#include <geos/index/strtree/TemplateSTRtree.h>
#endif

#ifdef OSTREL_HAVE_BOOST
#include <boost/geometry.hpp>
#include <boost/geometry/geometries/multi_polygon.hpp>
#include <boost/geometry/geometries/point_xy.hpp>
#include <boost/geometry/geometries/polygon.hpp>
#include <boost/geometry/index/rtree.hpp>
#endif

#ifdef OSTREL_HAVE_S2
#include <s2/mutable_s2shape_index.h>
#include <s2/s2contains_point_query.h>
#include <s2/s2latlng.h>
#include <s2/s2loop.h>
#include <s2/s2polygon.h>
#endif

#ifdef OSTREL_HAVE_TBB
#include <tbb/blocked_range.h>
#include <tbb/global_control.h>
#include <tbb/parallel_for.h>
#endif

namespace {

using ostrel::CoordinateType;
using ostrel::GeographyCoordinate;
using ostrel::IndexedIntersects;
using ostrel::SpatialPtr;

constexpr std::size_t kPoints = 1000000;

std::vector<SpatialPtr> ReadAll(std::string const& file, CoordinateType kind) {
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + file);
  std::vector<SpatialPtr> values;
  for (std::string line; std::getline(in, line);) values.push_back(ostrel::OWKT::From(line, kind));
  return values;
}

SpatialPtr InteriorLeft(ostrel::Geography const& value) {
  using V = ostrel::DefaultGeography;
  V::Polys polys;
  for (auto const& poly : value.GetPolys()) {
    auto& rings = polys.emplace_back();
    for (auto const& ring : poly) rings.emplace_back(ring.begin(), ring.end());
    for (auto& ring : rings) std::reverse(ring.begin(), ring.end());
  }
  return ostrel::MakeSpatial<V>(V::Points(), V::Lines(), polys);
}

struct JoinData {
  std::vector<SpatialPtr> countries;
  std::vector<SpatialPtr> points;
  std::vector<std::pair<double, double>> lon_lat;  // as the values hold them
};

JoinData const& GetData(bool geographic) {
  static JoinData* const data = [] {
    ostrel::BasicServices::Register();
    auto* d = new JoinData[2];
    d[0].countries = ReadAll("countries.wkt", CoordinateType::Geometry);
    for (auto const& c : ReadAll("countries.wkt", CoordinateType::Geography)) {
      d[1].countries.push_back(InteriorLeft(c->AsGeography()));
    }
    std::mt19937_64 rng(1000000);
    std::uniform_real_distribution<double> lon(-180, 180), lat(-90, 90);
    for (std::size_t i = 0; i < kPoints; ++i) {
      double const x = lon(rng), y = lat(rng);
      auto planar = ostrel::MakeSpatial<ostrel::DefaultGeometry>(
          ostrel::DefaultGeometry::Points{{x, y}}, ostrel::DefaultGeometry::Lines(),
          ostrel::DefaultGeometry::Polys());
      ostrel::GeometryCoordinate const p = planar->AsGeometry().GetPoints()[0];
      d[0].lon_lat.emplace_back(p.GetX(), p.GetY());
      d[0].points.push_back(std::move(planar));
      GeographyCoordinate const g{ostrel::Latitude(ostrel::Degrees(y)),
                                  ostrel::Longitude(ostrel::Degrees(x))};
      d[1].lon_lat.emplace_back(g.GetLongitude().Get().Get(), g.GetLatitude().Get().Get());
      d[1].points.push_back(ostrel::MakeSpatial<ostrel::DefaultGeography>(
          ostrel::DefaultGeography::Points{g}, ostrel::DefaultGeography::Lines(),
          ostrel::DefaultGeography::Polys()));
    }
    return d;
  }();
  return data[geographic ? 1 : 0];
}

class VectorInput final : public IndexedIntersects::Input {
 public:
  explicit VectorInput(std::vector<SpatialPtr> const& values) : values_(values) {}
  ostrel::Spatial const* Get(unsigned i) const override { return values_[i].get(); }
  unsigned Size() const override { return static_cast<unsigned>(values_.size()); }

 private:
  std::vector<SpatialPtr> const& values_;
};

// Matches in a preallocated array, claimed slot by slot with one atomic
// counter.
class ArrayMatches final : public IndexedIntersects::Matches {
 public:
  explicit ArrayMatches(std::size_t capacity) : pairs_(capacity) {}
  std::pair<unsigned, unsigned> Get(unsigned k) const override { return pairs_[k]; }
  void Add(std::pair<unsigned, unsigned> match) override {
    std::size_t const k = size_.fetch_add(1, std::memory_order_relaxed);
    if (k < pairs_.size()) pairs_[k] = match;
  }
  unsigned Size() const override { return static_cast<unsigned>(size_.load()); }

 private:
  std::vector<std::pair<unsigned, unsigned>> pairs_;
  std::atomic<std::size_t> size_ = 0;
};

// A persistent pool: the caller and threads - 1 workers take chunks of the
// index range from one atomic counter; Run returns when all are done.
class Pool {
 public:
  explicit Pool(int threads) : threads_(threads) {
    for (int t = 1; t < threads; ++t) workers_.emplace_back([this] { Work(); });
  }
  ~Pool() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    for (auto& w : workers_) w.join();
  }

  void Run(unsigned n, std::function<void(unsigned)> const& task) {
    {
      std::lock_guard lock(mutex_);
      task_ = &task;
      n_ = n;
      chunk_ = std::max(1u, n / (static_cast<unsigned>(threads_) * 64));
      next_ = 0;
      active_ = workers_.size();
      ++generation_;
    }
    wake_.notify_all();
    Drain();
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return active_ == 0; });
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
  }

 private:
  void Drain() {
    try {
      for (;;) {
        unsigned long long const begin = next_.fetch_add(chunk_);
        if (begin >= n_) return;
        unsigned long long const end = std::min<unsigned long long>(n_, begin + chunk_);
        for (unsigned long long i = begin; i < end; ++i) (*task_)(static_cast<unsigned>(i));
      }
    } catch (...) {
      std::lock_guard lock(mutex_);
      if (!error_) error_ = std::current_exception();
      next_ = n_;
    }
  }
  void Work() {
    unsigned long long seen = 0;
    for (;;) {
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_) return;
        seen = generation_;
      }
      Drain();
      std::lock_guard lock(mutex_);
      if (--active_ == 0) done_.notify_one();
    }
  }

  int const threads_;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::function<void(unsigned)> const* task_ = nullptr;
  unsigned n_ = 0, chunk_ = 1;
  std::atomic<unsigned long long> next_ = 0;
  std::size_t active_ = 0;
  unsigned long long generation_ = 0;
  bool stop_ = false;
  std::exception_ptr error_;
};

void Finish(benchmark::State& state, std::size_t pairs) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kPoints));
  state.counters["pairs"] = static_cast<double>(pairs);
}

enum class Run { kInline, kPool, kTbb };

void BM_Join_Ostrel(benchmark::State& state, bool geographic, Run run) {
  JoinData const& d = GetData(geographic);
  int const threads = static_cast<int>(state.range(0));
  std::unique_ptr<Pool> pool;
  IndexedIntersects::Executor executor;
  if (run == Run::kInline) {
    executor = [](unsigned n, std::function<void(unsigned)> task) {
      for (unsigned i = 0; i < n; ++i) task(i);
    };
  } else if (run == Run::kPool) {
    pool = std::make_unique<Pool>(threads);
    executor = [p = pool.get()](unsigned n, std::function<void(unsigned)> task) {
      p->Run(n, task);
    };
  }
#ifdef OSTREL_HAVE_TBB
  std::unique_ptr<tbb::global_control> control;
  if (run == Run::kTbb) {
    control = std::make_unique<tbb::global_control>(tbb::global_control::max_allowed_parallelism,
                                                    static_cast<std::size_t>(threads));
    executor = [](unsigned n, std::function<void(unsigned)> task) {
      tbb::parallel_for(tbb::blocked_range<unsigned>(0, n),
                        [&](tbb::blocked_range<unsigned> const& r) {
                          for (unsigned i = r.begin(); i != r.end(); ++i) task(i);
                        });
    };
  }
#endif
  IndexedIntersects const join(executor);
  VectorInput const countries(d.countries), points(d.points);
  std::size_t pairs = 0;
  for (auto _ : state) {
    ArrayMatches out(kPoints);
    join(countries, points, out);
    pairs = out.Size();
  }
  Finish(state, pairs);
}
BENCHMARK_CAPTURE(BM_Join_Ostrel, PlanarInline, false, Run::kInline)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Join_Ostrel, PlanarPool, false, Run::kPool)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Join_Ostrel, GeographicInline, true, Run::kInline)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Join_Ostrel, GeographicPool, true, Run::kPool)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#ifdef OSTREL_HAVE_TBB
BENCHMARK_CAPTURE(BM_Join_Ostrel, PlanarTbb, false, Run::kTbb)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Join_Ostrel, GeographicTbb, true, Run::kTbb)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

#ifdef OSTREL_HAVE_GEOS
namespace gg = geos::geom;

std::unique_ptr<gg::LinearRing> GeosRing(
    ostrel::detail::ShapeRing<ostrel::GeometryCoordinate> const& ring) {
  std::vector<gg::Coordinate> coordinates;
  for (auto const& c : ring) coordinates.emplace_back(c.GetX(), c.GetY());
  return gg::GeometryFactory::getDefaultInstance()->createLinearRing(std::move(coordinates));
}

std::unique_ptr<gg::Geometry> GeosCountry(ostrel::Geometry const& value) {
  auto const* factory = gg::GeometryFactory::getDefaultInstance();
  std::vector<std::unique_ptr<gg::Polygon>> polygons;
  for (auto const& poly : value.GetPolys()) {
    std::vector<std::unique_ptr<gg::LinearRing>> holes;
    for (unsigned int r = 1; r < poly.size(); ++r) holes.push_back(GeosRing(poly[r]));
    polygons.push_back(factory->createPolygon(GeosRing(poly[0]), std::move(holes)));
  }
  return factory->createMultiPolygon(std::move(polygons));
}

// An STRtree of the countries' envelopes and their prepared geometries,
// built once; every prepared geometry has answered once (its point locator
// is made on first use, which is not thread-safe).
struct GeosJoin {
  std::vector<std::unique_ptr<gg::Geometry>> countries;
  std::vector<std::unique_ptr<gg::prep::PreparedGeometry>> prepared;
  geos::index::strtree::TemplateSTRtree<std::size_t> tree;
  std::vector<std::unique_ptr<gg::Point>> points;

  GeosJoin() {
    JoinData const& d = GetData(false);
    auto const* factory = gg::GeometryFactory::getDefaultInstance();
    for (std::size_t c = 0; c < d.countries.size(); ++c) {
      countries.push_back(GeosCountry(d.countries[c]->AsGeometry()));
      prepared.push_back(gg::prep::PreparedGeometryFactory::prepare(countries.back().get()));
      tree.insert(*countries.back()->getEnvelopeInternal(), c);
      auto const inside = countries.back()->getInteriorPoint();
      prepared.back()->contains(inside.get());
    }
    tree.build();
    for (auto const& [x, y] : d.lon_lat)
      points.emplace_back(factory->createPoint(gg::Coordinate(x, y)));
  }

  std::size_t Count(std::size_t begin, std::size_t end) {
    std::size_t pairs = 0;
    for (std::size_t i = begin; i < end; ++i) {
      gg::Point const* p = points[i].get();
      tree.query(*p->getEnvelopeInternal(),
                 [&](std::size_t c) { pairs += prepared[c]->contains(p); });
    }
    return pairs;
  }
};

void BM_Join_GeosStrtreePrepared(benchmark::State& state) {
  static GeosJoin* const join = new GeosJoin;
  int const threads = static_cast<int>(state.range(0));
  std::size_t pairs = 0;
  for (auto _ : state) {
    if (threads == 1) {
      pairs = join->Count(0, kPoints);
      continue;
    }
    std::vector<std::size_t> found(static_cast<std::size_t>(threads));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
      pool.emplace_back(
          [&, t] { found[t] = join->Count(kPoints * t / threads, kPoints * (t + 1) / threads); });
    }
    for (auto& t : pool) t.join();
    pairs = 0;
    for (std::size_t f : found) pairs += f;
  }
  Finish(state, pairs);
}
BENCHMARK(BM_Join_GeosStrtreePrepared)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
#endif

#ifdef OSTREL_HAVE_BOOST
namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;
using BPoint = bg::model::d2::point_xy<double>;
using BPolygon = bg::model::polygon<BPoint>;  // clockwise, closed: as the data
using BMultiPolygon = bg::model::multi_polygon<BPolygon>;
using BBox = bg::model::box<BPoint>;

void BM_Join_BoostRtreeWithin(benchmark::State& state) {
  JoinData const& d = GetData(false);
  std::vector<BMultiPolygon> countries;
  std::vector<std::pair<BBox, std::size_t>> boxes;
  for (std::size_t c = 0; c < d.countries.size(); ++c) {
    BMultiPolygon& multi = countries.emplace_back();
    double lo_x = INFINITY, lo_y = INFINITY, hi_x = -INFINITY, hi_y = -INFINITY;
    for (auto const& poly : d.countries[c]->AsGeometry().GetPolys()) {
      BPolygon& polygon = multi.emplace_back();
      for (unsigned int r = 0; r < poly.size(); ++r) {
        auto& ring = r == 0 ? polygon.outer() : polygon.inners().emplace_back();
        for (auto const& p : poly[r]) {
          ring.emplace_back(p.GetX(), p.GetY());
          lo_x = std::min(lo_x, p.GetX()), hi_x = std::max(hi_x, p.GetX());
          lo_y = std::min(lo_y, p.GetY()), hi_y = std::max(hi_y, p.GetY());
        }
      }
    }
    boxes.emplace_back(BBox(BPoint(lo_x, lo_y), BPoint(hi_x, hi_y)), c);
  }
  bgi::rtree<std::pair<BBox, std::size_t>, bgi::quadratic<16>> const tree(boxes);
  std::vector<BPoint> points;
  for (auto const& [x, y] : d.lon_lat) points.emplace_back(x, y);
  std::size_t pairs = 0;
  for (auto _ : state) {
    pairs = 0;
    for (BPoint const& p : points) {
      for (auto it = tree.qbegin(bgi::intersects(p)); it != tree.qend(); ++it) {
        pairs += bg::within(p, countries[it->second]);
      }
    }
    benchmark::DoNotOptimize(pairs);
  }
  Finish(state, pairs);
}
BENCHMARK(BM_Join_BoostRtreeWithin)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

#ifdef OSTREL_HAVE_S2
S2Point ToS2(double lon, double lat) { return S2LatLng::FromRadians(lat, lon).ToPoint(); }

// S2 points compared by coordinates (S2's own operator== is ambiguous in
// C++20 with its reversed candidates).
bool Same(S2Point const& a, S2Point const& b) {
  return a.x() == b.x() && a.y() == b.y() && a.z() == b.z();
}

std::unique_ptr<S2Polygon> S2Country(ostrel::Geography const& value) {
  std::vector<std::unique_ptr<S2Loop>> loops;
  for (auto const& poly : value.GetPolys()) {
    for (unsigned int r = 0; r < poly.size(); ++r) {
      auto const ring = poly[r];
      std::vector<S2Point> v;
      for (unsigned int k = 0; k + 1 < ring.size(); ++k) {
        S2Point const p =
            ToS2(ring[k].GetLongitude().Get().Get(), ring[k].GetLatitude().Get().Get());
        if (!v.empty() && Same(v.back(), p)) continue;
        v.push_back(p);
        while (v.size() >= 3 && Same(v[v.size() - 3], v.back())) v.resize(v.size() - 2);
      }
      while (v.size() > 1 && Same(v.front(), v.back())) v.pop_back();
      loops.push_back(std::make_unique<S2Loop>(v, S2Debug::DISABLE));
      if (r == 0) loops.back()->Normalize();  // see intersects_bench.cpp
    }
  }
  auto polygon = std::make_unique<S2Polygon>();
  polygon->set_s2debug_override(S2Debug::DISABLE);
  polygon->InitOriented(std::move(loops));
  return polygon;
}

void BM_Join_S2ShapeIndex(benchmark::State& state) {
  JoinData const& d = GetData(true);
  MutableS2ShapeIndex index;
  for (auto const& c : d.countries) {
    index.Add(std::make_unique<S2Polygon::OwningShape>(S2Country(c->AsGeography())));
  }
  index.ForceBuild();
  std::vector<S2Point> points;
  for (auto const& [lon, lat] : d.lon_lat) points.push_back(ToS2(lon, lat));
  std::size_t pairs = 0;
  for (auto _ : state) {
    pairs = 0;
    auto query = MakeS2ContainsPointQuery(&index);
    for (S2Point const& p : points) {
      query.VisitContainingShapes(p, [&](S2Shape*) {
        ++pairs;
        return true;
      });
    }
    benchmark::DoNotOptimize(pairs);
  }
  Finish(state, pairs);
}
BENCHMARK(BM_Join_S2ShapeIndex)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace
