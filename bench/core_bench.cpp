// Throughput of the core value types: geographic encode, decode and snap,
// planar snap, and the two hasher adds.
//
// Every benchmark makes one pass per iteration over a large array of random
// inputs (generated once, with a fixed seed, outside the timed region) and
// folds each result into a checksum that escapes through DoNotOptimize, so no
// work can be dropped. Each figure has a baseline that reads the very same
// array and folds its raw bits the same way: the ratio of the two is the cost
// of the operation over a plain memory pass.
//
// The baselines sum bit patterns as integers rather than adding doubles: a
// floating-point sum may not be reassociated, so it would be one serial chain
// of FP-add latencies and would measure the adder, not the memory.
#include <benchmark/benchmark.h>

#include <bit>
#include <cstddef>
#include <cstdint>
#include <random>
#include <vector>

#include "ostrel/core/constants.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/core/hasher.hpp"
#include "ostrel/core/latitude.hpp"
#include "ostrel/core/longitude.hpp"

namespace {

using ostrel::GeographyCoordinate;
using ostrel::GeometryCoordinate;
using ostrel::Hasher;
using ostrel::Latitude;
using ostrel::Longitude;

// 16 MiB of pairs and 8 MiB of words: past the private caches (a large
// shared L3 may still hold them, so the baselines are cache-speed passes).
constexpr std::size_t kCount = std::size_t{1} << 20;

struct Pair {
  double a;
  double b;
};

// A planar origin of the size met in projected systems; the offsets from it
// span +/-100 km, so the float rounding is real work, not a no-op.
constexpr GeometryCoordinate::Bias kBias(500000.0, 4000000.0);

struct Inputs {
  std::vector<Pair> lat_lon;  // radians, lat in [-pi/2, pi/2], lon in [-pi, pi]
  std::vector<Pair> xy;       // planar, around kBias
  std::vector<GeographyCoordinate::Packed> packed;  // valid encodings of lat_lon
  std::vector<double> doubles;                      // random finite doubles to hash

  Inputs() {
    std::mt19937_64 rng(0x05E1F00DULL);
    std::uniform_real_distribution<double> lat(-ostrel::detail::kHalfPi, ostrel::detail::kHalfPi);
    std::uniform_real_distribution<double> lon(-ostrel::detail::kPi, ostrel::detail::kPi);
    std::uniform_real_distribution<double> offset(-100000.0, 100000.0);
    std::uniform_real_distribution<double> wide(-1e6, 1e6);
    for (std::size_t i = 0; i < kCount; ++i) {
      Pair p{lat(rng), lon(rng)};
      lat_lon.push_back(p);
      packed.emplace_back(Latitude(p.a), Longitude(p.b));
      xy.push_back({kBias.GetX() + offset(rng), kBias.GetY() + offset(rng)});
      doubles.push_back(wide(rng));
    }
  }
};

Inputs const& GetInputs() {
  static Inputs const inputs;
  return inputs;
}

std::uint64_t Bits(double d) { return std::bit_cast<std::uint64_t>(d); }
std::uint64_t Word(double d) { return Bits(d); }
std::uint64_t Word(GeographyCoordinate::Packed p) { return p.GetEncoded(); }

void Report(benchmark::State& state, std::size_t bytes_per_item) {
  auto items = static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(kCount);
  state.SetItemsProcessed(items);
  state.SetBytesProcessed(items * static_cast<std::int64_t>(bytes_per_item));
}

// --- Baselines -------------------------------------------------------------

// The data set is named by a member pointer, so that the inputs are built on
// first run rather than during static initialisation.
void BM_Baseline_SumDoublePairs(benchmark::State& state, std::vector<Pair> Inputs::*set) {
  auto const& data = GetInputs().*set;
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (Pair const& p : data) sum += Bits(p.a) + Bits(p.b);
    benchmark::DoNotOptimize(sum);
  }
  Report(state, sizeof(Pair));
}
BENCHMARK_CAPTURE(BM_Baseline_SumDoublePairs, lat_lon, &Inputs::lat_lon);
BENCHMARK_CAPTURE(BM_Baseline_SumDoublePairs, xy, &Inputs::xy);

template <class T>
void BM_Baseline_SumWords(benchmark::State& state, std::vector<T> Inputs::*set) {
  auto const& data = GetInputs().*set;
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (T const& w : data) sum += Word(w);
    benchmark::DoNotOptimize(sum);
  }
  Report(state, sizeof(T));
}
BENCHMARK_CAPTURE(BM_Baseline_SumWords, packed, &Inputs::packed);
BENCHMARK_CAPTURE(BM_Baseline_SumWords, doubles, &Inputs::doubles);

// --- Geographic coordinates ------------------------------------------------

void BM_GeographyEncode(benchmark::State& state) {
  auto const& data = GetInputs().lat_lon;
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (Pair const& p : data) {
      sum += GeographyCoordinate::Packed(Latitude(p.a), Longitude(p.b)).GetEncoded();
    }
    benchmark::DoNotOptimize(sum);
  }
  Report(state, sizeof(Pair));
}
BENCHMARK(BM_GeographyEncode);

void BM_GeographyDecode(benchmark::State& state) {
  auto const& data = GetInputs().packed;
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (auto const& p : data) {
      auto [lat, lon] = p.GetLatLon();
      sum += Bits(lat.Get().Get()) + Bits(lon.Get().Get());
    }
    benchmark::DoNotOptimize(sum);
  }
  Report(state, sizeof(GeographyCoordinate::Packed));
}
BENCHMARK(BM_GeographyDecode);

void BM_GeographySnap(benchmark::State& state) {
  auto const& data = GetInputs().lat_lon;
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (Pair const& p : data) {
      GeographyCoordinate c(Latitude(p.a), Longitude(p.b));
      sum += Bits(c.GetLatitude().Get().Get()) + Bits(c.GetLongitude().Get().Get());
    }
    benchmark::DoNotOptimize(sum);
  }
  Report(state, sizeof(Pair));
}
BENCHMARK(BM_GeographySnap);

// --- Planar coordinates ----------------------------------------------------

void BM_GeometrySnap(benchmark::State& state) {
  auto const& data = GetInputs().xy;
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (Pair const& p : data) {
      GeometryCoordinate c(p.a, p.b, kBias);
      sum += Bits(c.GetX()) + Bits(c.GetY());
    }
    benchmark::DoNotOptimize(sum);
  }
  Report(state, sizeof(Pair));
}
BENCHMARK(BM_GeometrySnap);

// --- Hasher ----------------------------------------------------------------

// One serial chain: each add multiplies the state, so this measures latency.
void BM_HasherAdd(benchmark::State& state) {
  auto const& data = GetInputs().doubles;
  for (auto _ : state) {
    Hasher h;
    for (double d : data) h.Add(d);
    std::uint64_t hash = h.End();
    benchmark::DoNotOptimize(hash);
  }
  Report(state, sizeof(double));
}
BENCHMARK(BM_HasherAdd);

// The terms are independent and only summed, so this measures throughput.
void BM_HasherAddOrderIndependent(benchmark::State& state) {
  auto const& data = GetInputs().doubles;
  for (auto _ : state) {
    Hasher h;
    for (double d : data) h.AddOrderIndependent(d);
    std::uint64_t hash = h.End();
    benchmark::DoNotOptimize(hash);
  }
  Report(state, sizeof(double));
}
BENCHMARK(BM_HasherAddOrderIndependent);

}  // namespace
