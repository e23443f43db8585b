// Point in polygon, in tests per second: every (country, point) pair of the
// 177 Natural Earth countries against the 243 cities and against 10^5
// uniform points, side by side with the peers on the same coordinates:
// GEOS prepared geometry (planar, each country prepared once) and S2Polygon
// (geographic, each country built and indexed once).
//
// Intersects::Calculate is the library's direct test: each call finds the
// bounds cache in the service registry and reads the polygon's bounds (and,
// past them, the rings' pole containment) from the process-wide caches,
// under their locks, before any ring is walked. The join (IndexedIntersects,
// one thread) reads them once per polygon and join instead, the library's
// counterpart of a prepared geometry. Each figure counts the pairs found
// inside, so the runs can be seen to answer alike.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "ostrel/core/angle.hpp"
#include "ostrel/operations/basic_services.hpp"
#include "ostrel/operations/indexed_intersects.hpp"
#include "ostrel/operations/intersects.hpp"
#include "ostrel/spatial/default_format.hpp"
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
#include <s2/s2latlng.h>
#include <s2/s2loop.h>
#include <s2/s2polygon.h>
#endif

namespace {

using ostrel::CoordinateType;
using ostrel::GeographyCoordinate;
using ostrel::SpatialPtr;

std::vector<SpatialPtr> ReadAll(std::string const& file, CoordinateType kind) {
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + file);
  std::vector<SpatialPtr> values;
  for (std::string line; std::getline(in, line);) values.push_back(ostrel::OWKT::From(line, kind));
  return values;
}

// The countries with each ring reversed: interior on the left, as a
// geography's rings run (the data's run clockwise in the lon/lat plane).
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

struct Data {
  std::vector<SpatialPtr> planar_countries, geographic_countries;
  // [0]: the cities, [1]: 10^5 uniform points.
  std::vector<SpatialPtr> planar_points[2], geographic_points[2];
};

Data const& GetData() {
  static Data const* const data = [] {
    ostrel::BasicServices::Register();
    auto* d = new Data;
    d->planar_countries = ReadAll("countries.wkt", CoordinateType::Geometry);
    for (auto const& c : ReadAll("countries.wkt", CoordinateType::Geography)) {
      d->geographic_countries.push_back(InteriorLeft(c->AsGeography()));
    }
    d->planar_points[0] = ReadAll("cities.wkt", CoordinateType::Geometry);
    d->geographic_points[0] = ReadAll("cities.wkt", CoordinateType::Geography);
    std::mt19937_64 rng(20240601);
    std::uniform_real_distribution<double> lon(-180, 180), lat(-90, 90);
    for (int i = 0; i < 100000; ++i) {
      double const x = lon(rng), y = lat(rng);
      d->planar_points[1].push_back(ostrel::MakeSpatial<ostrel::DefaultGeometry>(
          ostrel::DefaultGeometry::Points{{x, y}}, ostrel::DefaultGeometry::Lines(),
          ostrel::DefaultGeometry::Polys()));
      d->geographic_points[1].push_back(ostrel::MakeSpatial<ostrel::DefaultGeography>(
          ostrel::DefaultGeography::Points{GeographyCoordinate(
              ostrel::Latitude(ostrel::Degrees(y)), ostrel::Longitude(ostrel::Degrees(x)))},
          ostrel::DefaultGeography::Lines(), ostrel::DefaultGeography::Polys()));
    }
    return d;
  }();
  return *data;
}

void Finish(benchmark::State& state, std::size_t countries, std::size_t points, long inside) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(countries * points));
  state.counters["inside"] = static_cast<double>(inside);
}

void BM_PointInPolygon_Ostrel(benchmark::State& state, bool geographic) {
  Data const& d = GetData();
  auto const& countries = geographic ? d.geographic_countries : d.planar_countries;
  auto const& points = (geographic ? d.geographic_points : d.planar_points)[state.range(0)];
  long inside = 0;
  for (auto _ : state) {
    inside = 0;
    for (auto const& country : countries) {
      for (auto const& point : points) inside += ostrel::Intersects::Calculate(*country, *point);
    }
    benchmark::DoNotOptimize(inside);
  }
  Finish(state, countries.size(), points.size(), inside);
}
BENCHMARK_CAPTURE(BM_PointInPolygon_Ostrel, Planar, false)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PointInPolygon_Ostrel, Geographic, true)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

// The same pairs answered by the join on one thread (index built, polygons
// pinned and every candidate verified inside the timed loop): the library's
// counterpart of a prepared geometry, which reads each polygon's bounds and
// pole containment once.
class VectorInput final : public ostrel::IndexedIntersects::Input {
 public:
  explicit VectorInput(std::vector<SpatialPtr> const& values) : values_(values) {}
  ostrel::Spatial const* Get(unsigned i) const override { return values_[i].get(); }
  unsigned Size() const override { return static_cast<unsigned>(values_.size()); }

 private:
  std::vector<SpatialPtr> const& values_;
};

class CountingMatches final : public ostrel::IndexedIntersects::Matches {
 public:
  std::pair<unsigned, unsigned> Get(unsigned) const override { return {}; }
  void Add(std::pair<unsigned, unsigned>) override { ++count_; }
  unsigned Size() const override { return count_; }

 private:
  unsigned count_ = 0;
};

void BM_PointInPolygon_OstrelJoin(benchmark::State& state, bool geographic) {
  Data const& d = GetData();
  auto const& countries = geographic ? d.geographic_countries : d.planar_countries;
  auto const& points = (geographic ? d.geographic_points : d.planar_points)[state.range(0)];
  ostrel::IndexedIntersects const join([](unsigned n, std::function<void(unsigned)> task) {
    for (unsigned i = 0; i < n; ++i) task(i);
  });
  long inside = 0;
  for (auto _ : state) {
    CountingMatches out;
    join(VectorInput(countries), VectorInput(points), out);
    inside = out.Size();
  }
  Finish(state, countries.size(), points.size(), inside);
}
BENCHMARK_CAPTURE(BM_PointInPolygon_OstrelJoin, Planar, false)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PointInPolygon_OstrelJoin, Geographic, true)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond);

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

void BM_PointInPolygon_GeosPrepared(benchmark::State& state) {
  Data const& d = GetData();
  auto const* factory = gg::GeometryFactory::getDefaultInstance();
  std::vector<std::unique_ptr<gg::Geometry>> countries;
  std::vector<std::unique_ptr<gg::prep::PreparedGeometry>> prepared;
  for (auto const& c : d.planar_countries) {
    countries.push_back(GeosCountry(c->AsGeometry()));
    prepared.push_back(gg::prep::PreparedGeometryFactory::prepare(countries.back().get()));
  }
  std::vector<std::unique_ptr<gg::Point>> points;
  for (auto const& p : d.planar_points[state.range(0)]) {
    ostrel::GeometryCoordinate const c = p->AsGeometry().GetPoints()[0];
    points.emplace_back(factory->createPoint(gg::Coordinate(c.GetX(), c.GetY())));
  }
  long inside = 0;
  for (auto _ : state) {
    inside = 0;
    for (auto const& country : prepared) {
      for (auto const& point : points) inside += country->contains(point.get());
    }
    benchmark::DoNotOptimize(inside);
  }
  Finish(state, prepared.size(), points.size(), inside);
}
BENCHMARK(BM_PointInPolygon_GeosPrepared)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
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

// The same rings in S2; vertices that coincide on the sphere are merged and
// the spikes that leaves removed (S2 loops repeat no vertex). Shared with
// join_bench.cpp.
std::unique_ptr<S2Polygon> S2Country(ostrel::Geography const& value) {
  std::vector<std::unique_ptr<S2Loop>> loops;
  for (auto const& poly : value.GetPolys()) {
    for (unsigned int r = 0; r < poly.size(); ++r) {
      auto const ring = poly[r];
      std::vector<S2Point> v;
      for (unsigned int k = 0; k + 1 < ring.size(); ++k) {
        S2Point const p = ToS2(ring[k]);
        if (!v.empty() && Same(v.back(), p)) continue;
        v.push_back(p);
        while (v.size() >= 3 && Same(v[v.size() - 3], v.back())) v.resize(v.size() - 2);
      }
      while (v.size() > 1 && Same(v.front(), v.back())) v.pop_back();
      loops.push_back(std::make_unique<S2Loop>(v, S2Debug::DISABLE));
      // Two countries (Sudan, Mozambique) cross themselves with great-circle
      // edges, which leaves S2 unsure of their inside: a shell is taken to
      // be the smaller side.
      if (r == 0) loops.back()->Normalize();
    }
  }
  auto polygon = std::make_unique<S2Polygon>();
  polygon->set_s2debug_override(S2Debug::DISABLE);
  polygon->InitOriented(std::move(loops));
  return polygon;
}

void BM_PointInPolygon_S2Polygon(benchmark::State& state) {
  Data const& d = GetData();
  std::vector<std::unique_ptr<S2Polygon>> countries;
  for (auto const& c : d.geographic_countries) countries.push_back(S2Country(c->AsGeography()));
  std::vector<S2Point> points;
  for (auto const& p : d.geographic_points[state.range(0)]) {
    points.push_back(ToS2(p->AsGeography().GetPoints()[0]));
  }
  long inside = 0;
  for (auto _ : state) {
    inside = 0;
    for (auto const& country : countries) {
      for (S2Point const& point : points) inside += country->Contains(point);
    }
    benchmark::DoNotOptimize(inside);
  }
  Finish(state, countries.size(), points.size(), inside);
}
BENCHMARK(BM_PointInPolygon_S2Polygon)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
#endif

}  // namespace
