// Envelope and collect next to their baselines, on the same coordinates:
// - the envelope of every polygon of countries50 and of 10^4 synthetic
//   polygons of 100 vertices, planar and geographic: cold (fresh, empty
//   bounds caches every iteration), warm (every box cached), and through the
//   stored boxes of OGR and legacy values; against a plain min/max pass over
//   the packed coordinates and, planar, against GEOS computing the envelopes
//   of the same exterior rings;
// - collecting 10^5 small polygons held in the default format against the
//   same polygons held as legacy values, whose records are concatenated
//   without decoding.
// Items are polygons (collect: values).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "ostrel/legacy/legacy_format.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/ogr/ogr_format.hpp"
#include "ostrel/operations/basic_services.hpp"
#include "ostrel/operations/collect.hpp"
#include "ostrel/operations/envelope.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/text/owkt.hpp"

#ifdef OSTREL_HAVE_GEOS
#include <geos/geom/CoordinateArraySequence.h>
#include <geos/geom/CoordinateSequence.h>
#include <geos/geom/Envelope.h>
#include <geos/geom/GeometryFactory.h>
#include <geos/geom/LinearRing.h>
#endif

namespace {

using namespace ostrel;

template <class V>
using GOf = std::conditional_t<std::is_same_v<V, DefaultGeometry>, Geometry, Geography>;

// One data set in every form the benchmarks need. Geographic rings run with
// the interior on the left (Natural Earth's are reversed on reading).
template <class V>
struct Set {
  using Coordinate = typename V::Coordinate;
  using Packed = typename Coordinate::Packed;
  std::vector<typename V::Points> rings;  // exterior rings, decoded
  std::vector<std::vector<Packed>> packed;
  std::vector<SpatialPtr> defaults, ogrs, legacies;
  std::size_t polygons = 0;
};

template <class V>
void Add(Set<V>& set, typename V::Points ring) {
  typename V::Polys polys(1);
  polys[0].push_back(ring);
  set.defaults.push_back(MakeSpatial<V>(typename V::Points(), typename V::Lines(), polys));
  std::vector<typename Set<V>::Packed> packed;
  for (auto const& c : ring) {
    if constexpr (std::is_same_v<V, DefaultGeometry>) {
      packed.emplace_back(c.GetX(), c.GetY(), GeometryCoordinate::Bias::None());
    } else {
      packed.emplace_back(c.GetLatitude(), c.GetLongitude());
    }
  }
  set.packed.push_back(std::move(packed));
  set.rings.push_back(std::move(ring));
  ++set.polygons;
}

// The OGR and legacy forms carry the computed boxes, as a producer that
// knows them would store them.
template <class V, class Ogr, class Legacy>
void Finish(Set<V>& set) {
  BasicServices::Register();
  for (SpatialPtr const& v : set.defaults) {
    auto const& value = static_cast<GOf<V> const&>(*v);
    auto const boxes = Envelope::Calculate(value);
    typename Ogr::PackedPolys polys;
    typename Ogr::PackedRings rings;
    typename Ogr::PackedPoints ring;
    for (auto const& c : value.GetPolys()[0][0]) {
      if constexpr (std::is_same_v<V, DefaultGeometry>) {
        ring.emplace_back(c.GetX(), c.GetY(), GeometryCoordinate::Bias::None());
      } else {
        ring.emplace_back(c.GetLatitude(), c.GetLongitude());
      }
    }
    rings.push_back(std::move(ring));
    polys.emplace_back(std::move(rings), boxes[0]);
    set.ogrs.push_back(MakeSpatial<Ogr>(ShapeType::Polygon, typename Ogr::PackedPoints(),
                                        typename Ogr::PackedLines(), std::move(polys),
                                        typename Ogr::Attributes()));
    auto const bytes = LegacySerialization::Write(*v, LegacySerialization::kPlain, 0);
    auto read = LegacySerialization::Read(bytes);
    LegacySerialization::Storage<GOf<V>> storage;
    auto const& legacy = dynamic_cast<Legacy const&>(*read);
    storage.shape_type = legacy.GetShapeType();
    storage.polygons = legacy.GetStorage().polygons;
    storage.polygons[0].box = boxes[0];
    set.legacies.push_back(MakeSpatial<Legacy>(std::move(storage)));
  }
}

std::vector<std::string> Lines(char const* name) {
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + name);
  std::vector<std::string> out;
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

Set<DefaultGeometry> const& Planar(int which) {
  static auto* sets = [] {
    auto* s = new Set<DefaultGeometry>[2];
    for (auto const& line : Lines("countries50.wkt")) {
      auto const v = OWKT::From(line, CoordinateType::Geometry);
      for (auto const& poly : v->AsGeometry().GetPolys()) {
        Add(s[0], DefaultGeometry::Points(poly[0].begin(), poly[0].end()));
      }
    }
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int p = 0; p < 10000; ++p) {
      double const cx = 170 * u(rng), cy = 80 * u(rng);
      DefaultGeometry::Points ring;
      for (int i = 0; i < 99; ++i) ring.emplace_back(cx + u(rng), cy + u(rng));
      ring.push_back(ring.front());
      Add(s[1], std::move(ring));
    }
    Finish<DefaultGeometry, OgrGeometry, LegacyGeometry>(s[0]);
    Finish<DefaultGeometry, OgrGeometry, LegacyGeometry>(s[1]);
    return s;
  }();
  return sets[which];
}

Set<DefaultGeography> const& Geographic(int which) {
  static auto* sets = [] {
    auto* s = new Set<DefaultGeography>[2];
    for (auto const& line : Lines("countries50.wkt")) {
      auto const v = OWKT::From(line, CoordinateType::Geography);
      for (auto const& poly : v->AsGeography().GetPolys()) {
        DefaultGeography::Points ring(poly[0].begin(), poly[0].end());
        std::reverse(ring.begin(), ring.end());
        Add(s[0], std::move(ring));
      }
    }
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int p = 0; p < 10000; ++p) {
      double const lat = 80 * u(rng), lon = 175 * u(rng);
      // A star-shaped 99-gon, counter-clockwise: interior on the left.
      DefaultGeography::Points ring;
      for (int i = 0; i < 99; ++i) {
        double const a = 2 * 3.141592653589793 * i / 99, r = 0.5 + 0.4 * u(rng);
        ring.emplace_back(Latitude(Degrees(lat + r * std::sin(a))),
                          Longitude(Degrees(lon + r * std::cos(a))));
      }
      ring.push_back(ring.front());
      Add(s[1], std::move(ring));
    }
    Finish<DefaultGeography, OgrGeography, LegacyGeography>(s[0]);
    Finish<DefaultGeography, OgrGeography, LegacyGeography>(s[1]);
    return s;
  }();
  return sets[which];
}

void Label(benchmark::State& state, std::size_t polygons) {
  state.SetLabel(state.range(0) == 0 ? "countries50" : "synthetic 10^4 x 100");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * polygons));
}

enum class Form { kCold, kWarm, kOgr, kLegacy };

template <class V>
void Envelopes(benchmark::State& state, Set<V> const& set, Form form) {
  using G = GOf<V>;
  auto const& values = form == Form::kOgr      ? set.ogrs
                       : form == Form::kLegacy ? set.legacies
                                               : set.defaults;
  BasicServices::Register();
  for (SpatialPtr const& v : values) Envelope::Calculate(static_cast<G const&>(*v));
  for (auto _ : state) {
    if (form == Form::kCold) {
      state.PauseTiming();
      BasicServices::Register();  // fresh, empty caches
      state.ResumeTiming();
    }
    for (SpatialPtr const& v : values) {
      benchmark::DoNotOptimize(Envelope::Calculate(static_cast<G const&>(*v)).data());
    }
  }
  Label(state, set.polygons);
}

void BM_EnvelopePlanar(benchmark::State& state, Form form) {
  Envelopes(state, Planar(static_cast<int>(state.range(0))), form);
}
void BM_EnvelopeGeographic(benchmark::State& state, Form form) {
  Envelopes(state, Geographic(static_cast<int>(state.range(0))), form);
}

// The physical limit: one min/max pass over each ring's packed coordinates.
void BM_MinMaxPassPlanar(benchmark::State& state) {
  auto const& set = Planar(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    for (auto const& ring : set.packed) {
      float lx = ring[0].GetX(), ly = ring[0].GetY(), hx = lx, hy = ly;
      for (auto const& p : ring) {
        lx = std::min(lx, p.GetX()), hx = std::max(hx, p.GetX());
        ly = std::min(ly, p.GetY()), hy = std::max(hy, p.GetY());
      }
      benchmark::DoNotOptimize(lx + ly + hx + hy);
    }
  }
  Label(state, set.polygons);
}

void BM_MinMaxPassGeographic(benchmark::State& state) {
  auto const& set = Geographic(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    for (auto const& ring : set.packed) {
      double lo_lat = 9, hi_lat = -9, lo_lon = 9, hi_lon = -9;
      for (auto const& p : ring) {
        GeographyCoordinate const c(p);
        double const lat = c.GetLatitude().Get().Get(), lon = c.GetLongitude().Get().Get();
        lo_lat = std::min(lo_lat, lat), hi_lat = std::max(hi_lat, lat);
        lo_lon = std::min(lo_lon, lon), hi_lon = std::max(hi_lon, lon);
      }
      benchmark::DoNotOptimize(lo_lat + hi_lat + lo_lon + hi_lon);
    }
  }
  Label(state, set.polygons);
}

#ifdef OSTREL_HAVE_GEOS
// GEOS computing the envelope of each exterior ring from its coordinates
// (the ring's own envelope is cached inside it, so the sequence is asked).
void BM_GeosEnvelopePlanar(benchmark::State& state) {
  auto const& set = Planar(static_cast<int>(state.range(0)));
  auto factory = geos::geom::GeometryFactory::create();
  std::vector<std::unique_ptr<geos::geom::LinearRing>> rings;
  for (auto const& ring : set.rings) {
    auto seq = std::make_unique<geos::geom::CoordinateArraySequence>();
    for (auto const& c : ring) seq->add(geos::geom::Coordinate(c.GetX(), c.GetY()));
    rings.push_back(factory->createLinearRing(std::move(seq)));
  }
  for (auto _ : state) {
    for (auto const& ring : rings) {
      geos::geom::Envelope env;
      ring->getCoordinatesRO()->expandEnvelope(env);
      benchmark::DoNotOptimize(env.getMinX());
    }
  }
  Label(state, set.polygons);
}
BENCHMARK(BM_GeosEnvelopePlanar)->Arg(0)->Arg(1);
#endif

BENCHMARK(BM_MinMaxPassPlanar)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_EnvelopePlanar, cold, Form::kCold)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_EnvelopePlanar, warm, Form::kWarm)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_EnvelopePlanar, ogr_stored, Form::kOgr)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_EnvelopePlanar, legacy_stored, Form::kLegacy)->Arg(0)->Arg(1);
BENCHMARK(BM_MinMaxPassGeographic)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_EnvelopeGeographic, cold, Form::kCold)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_EnvelopeGeographic, warm, Form::kWarm)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_EnvelopeGeographic, ogr_stored, Form::kOgr)->Arg(0)->Arg(1);
BENCHMARK_CAPTURE(BM_EnvelopeGeographic, legacy_stored, Form::kLegacy)->Arg(0)->Arg(1);

// ---- Collect of 10^5 small values ------------------------------------------------

std::vector<SpatialPtr> const& SmallValues(bool legacy) {
  static auto* sets = [] {
    auto* s = new std::vector<SpatialPtr>[2];
    std::mt19937_64 rng(13);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < 100000; ++i) {
      double const x = 100 * u(rng), y = 50 * u(rng);
      DefaultGeometry::Polys polys(1);
      polys[0].push_back({{x, y}, {x + 1, y}, {x + 1, y + 1}, {x, y + 1}, {x, y}});
      auto v =
          MakeSpatial<DefaultGeometry>(DefaultGeometry::Points(), DefaultGeometry::Lines(), polys);
      auto const bytes = LegacySerialization::Write(*v, LegacySerialization::kPlain, 0);
      s[1].push_back(LegacySerialization::Read(bytes));
      s[0].push_back(std::move(v));
    }
    return s;
  }();
  return sets[legacy ? 1 : 0];
}

void BM_Collect(benchmark::State& state, bool legacy) {
  auto const& values = SmallValues(legacy);
  BasicServices::Register();
  for (auto _ : state) {
    Collect collect;
    for (SpatialPtr const& v : values) collect.Add(*v);
    benchmark::DoNotOptimize(collect.Finish().get());
  }
  state.SetLabel("10^5 polygons of 5 vertices");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}
BENCHMARK_CAPTURE(BM_Collect, default_format, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Collect, legacy_records, true)->Unit(benchmark::kMillisecond);

// Large items: the countries50 polygons (geographic, compressed streams at
// precision 7, whose records decode only when visited).
void BM_CollectCountries(benchmark::State& state, bool legacy) {
  auto const& set = Geographic(0);
  std::vector<SpatialPtr> values;
  for (SpatialPtr const& v : set.defaults) {
    auto const bytes = LegacySerialization::Write(*v, LegacySerialization::kCompressed, 7);
    values.push_back(legacy ? LegacySerialization::Read(bytes)
                            : OWKT::From(OWKT::To(*LegacySerialization::Read(bytes),
                                                  OWKT::WriteOptions::Lossless())));
  }
  BasicServices::Register();
  for (auto _ : state) {
    Collect collect;
    for (SpatialPtr const& v : values) collect.Add(*v);
    benchmark::DoNotOptimize(collect.Finish().get());
  }
  state.SetLabel("countries50 polygons");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * values.size()));
}
BENCHMARK_CAPTURE(BM_CollectCountries, default_format, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_CollectCountries, legacy_records, true)->Unit(benchmark::kMillisecond);

}  // namespace
