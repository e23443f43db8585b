// Default-format values: building, hashing, and reading coordinates through
// the shape views. Inputs (a geographic LineString of 10^6 vertices, a
// geographic MultiPoint of 10^5 points, a planar LineString of 10^6 vertices)
// are generated once, with a fixed seed, outside the timed regions. Each
// figure has a baseline doing the same work without the value's interfaces:
// building vs a plain copy of the input vectors; a cold GetHash() vs the warm
// one and vs the same hash folded straight over the packed vectors (checked
// equal); GetLines() iteration vs a loop decoding the packed vector in place.
// Items are coordinates. As in core_bench, decoded doubles are folded by their
// bits, so no serial FP-add chain hides the costs.
#include <benchmark/benchmark.h>

#include <bit>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>

#include "ostrel/core/constants.hpp"
#include "ostrel/core/hasher.hpp"
#include "ostrel/spatial/default_format.hpp"

namespace {

using ostrel::DefaultGeometry;
using ostrel::GeographyCoordinate;
using ostrel::GeometryCoordinate;
using ostrel::ShapeType;
using Geo = ostrel::DefaultGeography;
using HA = ostrel::detail::HasherAccess;

constexpr GeometryCoordinate::Bias kBias(500000.0, 4000000.0);

// One geographic input as coordinates and packed, and a value made from it.
struct GeoSet {
  Geo::Points points;
  Geo::Lines lines;
  Geo::PackedPoints packed_points;
  Geo::PackedLines packed_lines;
  ShapeType type = ShapeType::Empty;
  std::size_t count = 0;
  std::optional<Geo> value;

  // A fresh value, caches empty; the packed vectors are copied first.
  Geo FromPacked() const {
    return Geo(type, Geo::PackedPoints(packed_points), Geo::PackedLines(packed_lines),
               Geo::PackedPolys(), Geo::Attributes());
  }
};

struct Inputs {
  GeoSet line, points;
  DefaultGeometry::PackedPoints planar_line;  // offsets from kBias, up to 100 km
  std::optional<DefaultGeometry> planar_value;
  Geo::Polys no_polys;

  Inputs() {
    std::mt19937_64 rng(0x5EA7B0A7ULL);
    std::uniform_real_distribution<double> lat(-ostrel::detail::kHalfPi, ostrel::detail::kHalfPi);
    std::uniform_real_distribution<double> lon(-ostrel::detail::kPi, ostrel::detail::kPi);
    std::uniform_real_distribution<double> offset(-100000.0, 100000.0);
    auto fill = [&](GeoSet& s, Geo::Points& coords, Geo::PackedPoints& packed, std::size_t n) {
      for (std::size_t i = 0; i < n; ++i) {
        coords.emplace_back(ostrel::Latitude(lat(rng)), ostrel::Longitude(lon(rng)));
        packed.emplace_back(coords.back().GetLatitude(), coords.back().GetLongitude());
      }
      s.count = n;
      s.value.emplace(s.FromPacked());
    };
    line.type = ShapeType::LineString;
    line.lines.emplace_back();
    line.packed_lines.emplace_back();
    fill(line, line.lines[0], line.packed_lines[0], 1000000);
    points.type = ShapeType::MultiPoint;
    fill(points, points.points, points.packed_points, 100000);
    for (std::size_t i = 0; i < 1000000; ++i) {
      planar_line.emplace_back(kBias.GetX() + offset(rng), kBias.GetY() + offset(rng), kBias);
    }
    DefaultGeometry::PackedLines lines(1, planar_line);
    DefaultGeometry::Attributes attributes(kBias, ostrel::SRID::None(), ostrel::SRID::None());
    planar_value.emplace(ShapeType::LineString, DefaultGeometry::PackedPoints(), std::move(lines),
                         DefaultGeometry::PackedPolys(), attributes);
  }
};

Inputs const& GetInputs() {
  static Inputs const inputs;
  return inputs;
}

void Report(benchmark::State& state, std::size_t count) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}

// --- Building --------------------------------------------------------------

// The same allocations as the validated constructor, without packing or checks.
void BM_Baseline_CopyCoordinates(benchmark::State& state, GeoSet Inputs::*set) {
  GeoSet const& s = GetInputs().*set;
  for (auto _ : state) {
    Geo::Points points(s.points);
    Geo::Lines lines(s.lines);
    benchmark::DoNotOptimize(points.data());
    benchmark::DoNotOptimize(lines.data());
  }
  Report(state, s.count);
}
BENCHMARK_CAPTURE(BM_Baseline_CopyCoordinates, line, &Inputs::line);
BENCHMARK_CAPTURE(BM_Baseline_CopyCoordinates, points, &Inputs::points);

void BM_BuildFromCoordinates(benchmark::State& state, GeoSet Inputs::*set) {
  GeoSet const& s = GetInputs().*set;
  for (auto _ : state) {
    Geo value(s.points, s.lines, GetInputs().no_polys);
    benchmark::DoNotOptimize(&value);
  }
  Report(state, s.count);
}
BENCHMARK_CAPTURE(BM_BuildFromCoordinates, line, &Inputs::line);
BENCHMARK_CAPTURE(BM_BuildFromCoordinates, points, &Inputs::points);

// Moving packed vectors in costs the same at any length, less than the clock
// reads of Pause/ResumeTiming; so only the constructor is timed, by hand (one
// clock read included), while preparing the vectors and destroying the value
// stay outside. Fixed iteration counts, as each copy costs milliseconds.
void BM_BuildFromPacked(benchmark::State& state, GeoSet Inputs::*set) {
  GeoSet const& s = GetInputs().*set;
  for (auto _ : state) {
    Geo::PackedPoints points(s.packed_points);
    Geo::PackedLines lines(s.packed_lines);
    auto start = std::chrono::steady_clock::now();
    Geo value(s.type, std::move(points), std::move(lines), Geo::PackedPolys(), Geo::Attributes());
    benchmark::DoNotOptimize(&value);
    auto stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
  Report(state, s.count);
}
BENCHMARK_CAPTURE(BM_BuildFromPacked, line, &Inputs::line)->UseManualTime()->Iterations(300);
BENCHMARK_CAPTURE(BM_BuildFromPacked, points, &Inputs::points)->UseManualTime()->Iterations(3000);

// --- Hashing ---------------------------------------------------------------

// GetHash() of a geographic value folded straight over its packed vectors,
// with the attribute hash `a` given.
std::uint64_t PlainHash(GeoSet const& s, std::uint64_t a) {
  ostrel::Hasher h, part;
  HA::Add(h, static_cast<std::uint64_t>(ostrel::CoordinateType::Geography));
  HA::Add(HA::Add(h, static_cast<std::uint64_t>(s.type)), a);
  HA::Add(h, s.packed_points.size());
  for (auto p : s.packed_points) HA::AddOrderIndependent(h, p.Hash(HA::Add(part, a)).End());
  HA::Add(h, s.packed_lines.size());
  for (auto const& line : s.packed_lines) {
    HA::Add(HA::Add(part, a), line.size());
    for (auto p : line) p.Hash(part);
    HA::AddOrderIndependent(h, part.End());
  }
  return HA::Add(h, 0).End();  // no polys
}

void BM_Baseline_PlainHash(benchmark::State& state, GeoSet Inputs::*set) {
  GeoSet const& s = GetInputs().*set;
  std::uint64_t a = s.value->HashForAttributes();
  if (PlainHash(s, a) != s.value->GetHash()) state.SkipWithError("PlainHash differs");
  for (auto _ : state) {
    std::uint64_t hash = PlainHash(s, a);
    benchmark::DoNotOptimize(hash);
  }
  Report(state, s.count);
}
BENCHMARK_CAPTURE(BM_Baseline_PlainHash, line, &Inputs::line);
BENCHMARK_CAPTURE(BM_Baseline_PlainHash, points, &Inputs::points);

// A fresh value per iteration (a copy would carry the caches over); making and
// destroying it is paused, microseconds of overhead against milliseconds.
void BM_HashCold(benchmark::State& state, GeoSet Inputs::*set) {
  GeoSet const& s = GetInputs().*set;
  std::optional<Geo> value;
  for (auto _ : state) {
    state.PauseTiming();
    value.emplace(s.FromPacked());
    state.ResumeTiming();
    std::uint64_t hash = value->GetHash();
    benchmark::DoNotOptimize(hash);
    state.PauseTiming();
    value.reset();
    state.ResumeTiming();
  }
  Report(state, s.count);
}
BENCHMARK_CAPTURE(BM_HashCold, line, &Inputs::line);
BENCHMARK_CAPTURE(BM_HashCold, points, &Inputs::points);

void BM_HashWarm(benchmark::State& state, GeoSet Inputs::*set) {
  GeoSet const& s = GetInputs().*set;
  s.value->GetHash();
  for (auto _ : state) {
    std::uint64_t hash = s.value->GetHash();
    benchmark::DoNotOptimize(hash);
  }
  Report(state, s.count);
}
BENCHMARK_CAPTURE(BM_HashWarm, line, &Inputs::line);
BENCHMARK_CAPTURE(BM_HashWarm, points, &Inputs::points);

// --- Reading coordinates ---------------------------------------------------

std::uint64_t Bits(double d) { return std::bit_cast<std::uint64_t>(d); }
std::uint64_t Fold(GeographyCoordinate const& c) {
  return Bits(c.GetLatitude().Get().Get()) + Bits(c.GetLongitude().Get().Get());
}
std::uint64_t Fold(GeometryCoordinate const& c) { return Bits(c.GetX()) + Bits(c.GetY()); }

// Nested range-for, the way callers walk a value.
template <class Value>
void BM_LinesView(benchmark::State& state, Value const& (*get)()) {
  Value const& value = get();
  std::size_t count = 0;
  for (auto const& line : value.GetLines()) count += line.size();
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (auto const& line : value.GetLines()) {
      for (auto const& c : line) sum += Fold(c);
    }
    benchmark::DoNotOptimize(sum);
  }
  Report(state, count);
}

// The same coordinates, decoded as CoordinateInLine does, without the view.
void BM_Baseline_DecodeLoop(benchmark::State& state, bool planar) {
  Inputs const& in = GetInputs();
  auto const& packed = in.line.packed_lines[0];
  for (auto _ : state) {
    std::uint64_t sum = 0;
    if (planar) {
      for (auto p : in.planar_line) sum += Fold(GeometryCoordinate(p, kBias));
    } else {
      for (auto p : packed) sum += Fold(GeographyCoordinate(p));
    }
    benchmark::DoNotOptimize(sum);
  }
  Report(state, planar ? in.planar_line.size() : packed.size());
}

Geo const& GeographyLine() { return *GetInputs().line.value; }
DefaultGeometry const& PlanarLine() { return *GetInputs().planar_value; }
BENCHMARK_CAPTURE(BM_LinesView, geography, &GeographyLine);
BENCHMARK_CAPTURE(BM_Baseline_DecodeLoop, geography, false);
BENCHMARK_CAPTURE(BM_LinesView, geometry, &PlanarLine);
BENCHMARK_CAPTURE(BM_Baseline_DecodeLoop, geometry, true);

}  // namespace
