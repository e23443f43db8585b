// The geometric kernel next to its baselines, on the same coordinates:
// - RectangularBounds of a planar line of 10^6 vertices against a plain
//   min/max pass over its packed floats (checked equal);
// - SphericalTrapezoidBounds of the countries50 exterior rings and of 10^4
//   random 64-gons against S2's S2LatLngRectBounder over the same vertices
//   (S2 points made outside the timed region; S2 bounds great circles on a
//   sphere, these bounds great ellipses on the ellipsoid);
// - pole containment and DetectWindingOrder per vertex on countries50;
// - a polygon's bounds from a warm cache against computing them.
// Items are vertices (for the cached lookup, polygons).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "ostrel/kernel/pole_containment.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/kernel/winding_order.hpp"
#include "ostrel/operations/basic_services.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/text/owkt.hpp"

#if OSTREL_HAVE_S2
#include <s2/s2latlng.h>
#include <s2/s2latlng_rect_bounder.h>
#endif

namespace {

using ostrel::DefaultGeography;
using ostrel::DefaultGeometry;
using ostrel::GeographyCoordinate;
using ostrel::Latitude;
using ostrel::Longitude;
using ostrel::Radians;
using STB = ostrel::SphericalTrapezoidBounds;

constexpr double kPi = 3.141592653589793;

// Polygons (exterior rings only, interior on the left) as one value.
struct PolygonSet {
  DefaultGeography::Polys rings;
  std::vector<std::vector<std::pair<double, double>>> lat_lon;
  std::size_t vertices = 0;
  DefaultGeography value;

  void Add(DefaultGeography::Points ring) {
    vertices += ring.size();
    std::vector<std::pair<double, double>> ll;
    for (auto const& c : ring) {
      ll.emplace_back(c.GetLatitude().Get().Get(), c.GetLongitude().Get().Get());
    }
    lat_lon.push_back(std::move(ll));
    rings.push_back(DefaultGeography::Lines{std::move(ring)});
  }
  void Finish() { value = DefaultGeography(DefaultGeography::Points(), {}, rings); }
};

struct Inputs {
  DefaultGeometry::PackedPoints planar_packed;
  ostrel::GeometryCoordinate::Bias bias{500000.0, 4000000.0};
  DefaultGeometry planar;
  PolygonSet countries, gons;

  Inputs() {
    std::mt19937_64 rng(0xB0D5);
    std::uniform_real_distribution<double> u(-1, 1);
    for (int i = 0; i < 1000000; ++i) {
      planar_packed.emplace_back(bias.GetX() + 1e5 * u(rng), bias.GetY() + 1e5 * u(rng), bias);
    }
    planar = DefaultGeometry(
        ostrel::ShapeType::LineString, DefaultGeometry::PackedPoints(),
        DefaultGeometry::PackedLines{planar_packed}, DefaultGeometry::PackedPolys(),
        DefaultGeometry::Attributes(bias, ostrel::SRID::None(), ostrel::SRID::None()));

    std::ifstream wkt(std::string(OSTREL_DATA_DIR) + "/countries50.wkt");
    std::string line;
    while (std::getline(wkt, line)) {
      auto const v = ostrel::OWKT::From(line, ostrel::CoordinateType::Geography);
      for (auto const& poly : v->AsGeography().GetPolys()) {
        auto const ring = poly[0];
        DefaultGeography::Points points(ring.begin(), ring.end());
        countries.Add(DefaultGeography::Points(points.rbegin(), points.rend()));
      }
    }
    countries.Finish();

    for (int p = 0; p < 10000; ++p) {
      double const lat0 = std::asin(0.95 * u(rng)), lon0 = kPi * u(rng);
      double const radius = 0.01 + 0.15 * (u(rng) + 1);
      DefaultGeography::Points ring;
      for (int k = 0; k < 64; ++k) {
        double const angle = 2 * kPi * (k + 0.5 * (u(rng) + 1) * 0.9) / 64;
        double const r = radius * (0.6 + 0.2 * u(rng));
        ring.emplace_back(Latitude(Radians(lat0 + r * std::sin(angle))),
                          Longitude(lon0 + r * std::cos(angle) / std::cos(lat0)));
      }
      ring.push_back(ring.front());
      gons.Add(std::move(ring));
    }
    gons.Finish();
    ostrel::BasicServices::Register();
  }
};

Inputs const& In() {
  static Inputs const inputs;
  return inputs;
}

void Items(benchmark::State& state, std::size_t n) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}

// --- Planar bounds ---------------------------------------------------------

ostrel::RectangularBounds PlainPass(DefaultGeometry::PackedPoints const& packed,
                                    ostrel::GeometryCoordinate::Bias const& bias) {
  double min_x = INFINITY, min_y = INFINITY, max_x = -INFINITY, max_y = -INFINITY;
  for (auto const& p : packed) {
    double const x = static_cast<double>(p.GetX()) + bias.GetX();
    double const y = static_cast<double>(p.GetY()) + bias.GetY();
    min_x = min_x < x ? min_x : x;
    min_y = min_y < y ? min_y : y;
    max_x = max_x > x ? max_x : x;
    max_y = max_y > y ? max_y : y;
  }
  return {min_x, min_y, max_x, max_y};
}

void BM_Baseline_PlainMinMaxPass(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(PlainPass(In().planar_packed, In().bias));
  Items(state, In().planar_packed.size());
}
BENCHMARK(BM_Baseline_PlainMinMaxPass);

void BM_RectangularBoundsOfLine(benchmark::State& state) {
  auto const ours = ostrel::RectangularBounds::BoundsOfLine(In().planar, 0);
  auto const plain = PlainPass(In().planar_packed, In().bias);
  if (ours.GetMinX() != plain.GetMinX() || ours.GetMaxY() != plain.GetMaxY()) {
    state.SkipWithError("boxes differ");
  }
  for (auto _ : state)
    benchmark::DoNotOptimize(ostrel::RectangularBounds::BoundsOfLine(In().planar, 0));
  Items(state, In().planar_packed.size());
}
BENCHMARK(BM_RectangularBoundsOfLine);

// --- Spherical bounds ------------------------------------------------------

void BM_SphericalBoundsOfRings(benchmark::State& state, PolygonSet Inputs::*set) {
  PolygonSet const& s = In().*set;
  auto const n = static_cast<unsigned>(s.rings.size());
  for (auto _ : state) {
    for (unsigned p = 0; p < n; ++p) benchmark::DoNotOptimize(STB::BoundsOfRing(s.value, p, 0));
  }
  Items(state, s.vertices);
}
BENCHMARK_CAPTURE(BM_SphericalBoundsOfRings, countries50, &Inputs::countries);
BENCHMARK_CAPTURE(BM_SphericalBoundsOfRings, gons64, &Inputs::gons);

#if OSTREL_HAVE_S2
void BM_Peer_S2LatLngRectBounder(benchmark::State& state, PolygonSet Inputs::*set) {
  PolygonSet const& s = In().*set;
  std::vector<std::vector<S2Point>> points;
  for (auto const& ring : s.lat_lon) {
    points.emplace_back();
    for (auto const& [lat, lon] : ring)
      points.back().push_back(S2LatLng::FromRadians(lat, lon).ToPoint());
  }
  for (auto _ : state) {
    for (auto const& ring : points) {
      S2LatLngRectBounder bounder;
      for (S2Point const& p : ring) bounder.AddPoint(p);
      benchmark::DoNotOptimize(bounder.GetBound());
    }
  }
  Items(state, s.vertices);
}
BENCHMARK_CAPTURE(BM_Peer_S2LatLngRectBounder, countries50, &Inputs::countries);
BENCHMARK_CAPTURE(BM_Peer_S2LatLngRectBounder, gons64, &Inputs::gons);
#endif

// --- Pole containment and winding --------------------------------------------

void BM_PoleContainment(benchmark::State& state, PolygonSet Inputs::*set) {
  PolygonSet const& s = In().*set;
  auto const n = static_cast<unsigned>(s.rings.size());
  for (auto _ : state) {
    for (unsigned p = 0; p < n; ++p) {
      benchmark::DoNotOptimize(ostrel::GetNorthAndSouthPoleContainment(s.value, p, 0));
    }
  }
  Items(state, s.vertices);
}
BENCHMARK_CAPTURE(BM_PoleContainment, countries50, &Inputs::countries);
BENCHMARK_CAPTURE(BM_PoleContainment, gons64, &Inputs::gons);

void BM_DetectWindingOrder(benchmark::State& state) {
  PolygonSet const& s = In().countries;
  for (auto _ : state) {
    for (auto const& ring : s.lat_lon) {
      benchmark::DoNotOptimize(ostrel::DetectWindingOrder(
          [&](unsigned i) { return std::make_pair(ring[i].second, ring[i].first); },
          static_cast<unsigned>(ring.size())));
    }
  }
  Items(state, s.vertices);
}
BENCHMARK(BM_DetectWindingOrder);

// --- Cache -----------------------------------------------------------------

void BM_BoundsOfPoly_Computed(benchmark::State& state) {
  PolygonSet const& s = In().countries;
  auto const n = static_cast<unsigned>(s.rings.size());
  for (auto _ : state) {
    for (unsigned p = 0; p < n; ++p) benchmark::DoNotOptimize(STB::BoundsOfPoly(s.value, p));
  }
  Items(state, n);
}
BENCHMARK(BM_BoundsOfPoly_Computed);

void BM_BoundsOfPoly_CachedLookup(benchmark::State& state) {
  PolygonSet const& s = In().countries;
  auto const n = static_cast<unsigned>(s.rings.size());
  for (unsigned p = 0; p < n; ++p) STB::CachedBoundsOfPoly(s.value, p);
  for (auto _ : state) {
    for (unsigned p = 0; p < n; ++p) benchmark::DoNotOptimize(STB::CachedBoundsOfPoly(s.value, p));
  }
  Items(state, n);
}
BENCHMARK(BM_BoundsOfPoly_CachedLookup);

}  // namespace
