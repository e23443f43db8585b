// The legacy stream and view next to their physical limits, on two data
// sets: the 241 Natural Earth countries50 values (geographic, 99,566
// vertices) and a synthetic set of 100 geographic polygons of 10,000
// vertices each (random walks of ~600 m steps, 1,000,000 vertices).
//
//   Write/{Plain,Compressed}  whole streams of every value, MB/s of output;
//                             baseline Memcpy of the same number of bytes.
//   Read/{Plain,Compressed}   streams into values (checked to decode), MB/s
//                             of input; baseline BytePass, a plain pass that
//                             sums the same bytes 8 at a time.
//   Visit/{First,Again,Held}  every coordinate of every ring through the
//                             ranges: of freshly read values (decoding), of
//                             values whose owners were let go (decoding
//                             again), and with the owners held; baseline
//                             Visit/Default, the same default values.
//   Crc                       CRC over the plain streams; baseline BytePass.
//   StreamSize                bytes per vertex of the plain stream and of
//                             compressed streams at precision 5, 7 and 9,
//                             against the 16 of WKB's doubles (counters).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ostrel/legacy/crc.hpp"
#include "ostrel/legacy/legacy_format.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/text/owkt.hpp"

namespace {

using namespace ostrel;
namespace LS = LegacySerialization;
using Stream = ResourceVector<std::uint8_t>;

struct Data {
  std::vector<SpatialPtr> values;  // default geographic values
  std::vector<Stream> plain;
  std::vector<Stream> compressed;  // precision 7
  std::size_t vertices = 0;
  std::size_t plain_bytes = 0;
  std::size_t compressed_bytes = 0;

  void Add(SpatialPtr value) {
    for (auto const& poly : value->AsGeography().GetPolys()) {
      for (auto const& ring : poly) vertices += ring.size();
    }
    for (auto const& line : value->AsGeography().GetLines()) vertices += line.size();
    plain.push_back(LS::Write(*value, LS::kPlain, 0));
    compressed.push_back(LS::Write(*value, LS::kCompressed, 7));
    plain_bytes += plain.back().size();
    compressed_bytes += compressed.back().size();
    values.push_back(std::move(value));
  }
};

Data const& Countries50() {
  static Data const* data = [] {
    auto* d = new Data;
    std::ifstream in(OSTREL_DATA_DIR "/countries50.wkt");
    for (std::string line; std::getline(in, line);) {
      d->Add(OWKT::From(line, CoordinateType::Geography));
    }
    return d;
  }();
  return *data;
}

// 100 closed random walks of 10,000 vertices around random centres.
Data const& Synthetic() {
  static Data const* data = [] {
    auto* d = new Data;
    std::mt19937_64 rng(2024);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int p = 0; p < 100; ++p) {
      double lat = unit(rng) * 1.2;
      double lon = unit(rng) * 3.0;
      DefaultGeography::Points ring;
      for (int i = 0; i < 9999; ++i) {
        lat = std::clamp(lat + unit(rng) * 1e-4, -1.5, 1.5);
        lon = std::clamp(lon + unit(rng) * 1e-4, -3.1, 3.1);
        ring.push_back(GeographyCoordinate(Latitude(lat), Longitude(lon)));
      }
      ring.push_back(ring.front());
      DefaultGeography::Polys polys(1);
      polys[0].push_back(std::move(ring));
      d->Add(MakeSpatial<DefaultGeography>(DefaultGeography::Points(), DefaultGeography::Lines(),
                                           polys));
    }
    return d;
  }();
  return *data;
}

Data const& Set(benchmark::State const& state) {
  return state.range(0) == 0 ? Countries50() : Synthetic();
}
void Label(benchmark::State& state) {
  state.SetLabel(state.range(0) == 0 ? "countries50" : "synthetic1M");
}

// ---- Writing ------------------------------------------------------------------------

void BM_Write(benchmark::State& state, std::uint8_t serializer) {
  Data const& d = Set(state);
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (SpatialPtr const& v : d.values) {
      Stream s = LS::Write(*v, serializer, 7);
      bytes += s.size();
      benchmark::DoNotOptimize(s.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  Label(state);
}
void BM_WritePlain(benchmark::State& state) { BM_Write(state, LS::kPlain); }
void BM_WriteCompressed(benchmark::State& state) { BM_Write(state, LS::kCompressed); }

// Copies the same number of bytes in the same chunks into fresh buffers.
void BM_Memcpy(benchmark::State& state, bool compressed) {
  Data const& d = Set(state);
  auto const& streams = compressed ? d.compressed : d.plain;
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (Stream const& s : streams) {
      Stream copy(s.size());
      std::memcpy(copy.data(), s.data(), s.size());
      bytes += copy.size();
      benchmark::DoNotOptimize(copy.data());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  Label(state);
}
void BM_MemcpyPlainSize(benchmark::State& state) { BM_Memcpy(state, false); }
void BM_MemcpyCompressedSize(benchmark::State& state) { BM_Memcpy(state, true); }

// ---- Reading ------------------------------------------------------------------------

void BM_Read(benchmark::State& state, bool compressed) {
  Data const& d = Set(state);
  auto const& streams = compressed ? d.compressed : d.plain;
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (Stream const& s : streams) {
      SpatialPtr v = LS::Read(s);
      bytes += s.size();
      benchmark::DoNotOptimize(v.get());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  Label(state);
}
void BM_ReadPlain(benchmark::State& state) { BM_Read(state, false); }
void BM_ReadCompressed(benchmark::State& state) { BM_Read(state, true); }

std::uint64_t Pass(std::uint8_t const* p, std::size_t n) {
  std::uint64_t sum = 0;
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    std::uint64_t w;
    std::memcpy(&w, p + i, 8);
    sum += w;
  }
  for (; i < n; ++i) sum += p[i];
  return sum;
}

void BM_BytePass(benchmark::State& state, bool compressed) {
  Data const& d = Set(state);
  auto const& streams = compressed ? d.compressed : d.plain;
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (Stream const& s : streams) {
      benchmark::DoNotOptimize(Pass(s.data(), s.size()));
      bytes += s.size();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  Label(state);
}
void BM_BytePassPlain(benchmark::State& state) { BM_BytePass(state, false); }
void BM_BytePassCompressed(benchmark::State& state) { BM_BytePass(state, true); }

// ---- Visiting ------------------------------------------------------------------------

double SumOf(Geography const& g) {
  double sum = 0;
  for (auto const& poly : g.GetPolys()) {
    for (auto const& ring : poly) {
      for (GeographyCoordinate const c : ring) sum += c.GetLatitude().Get().Get();
    }
  }
  return sum;
}

void BM_VisitDefault(benchmark::State& state) {
  Data const& d = Set(state);
  for (auto _ : state) {
    for (SpatialPtr const& v : d.values) benchmark::DoNotOptimize(SumOf(v->AsGeography()));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.vertices));
  Label(state);
}

// CPU time of this thread: the machine is shared, so wall time would count
// other people's work.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// First visits of freshly read values; the reading is outside the timing,
// which is this thread's CPU time.
void BM_VisitFirst(benchmark::State& state) {
  Data const& d = Set(state);
  auto const& streams = state.range(1) == 0 ? d.plain : d.compressed;
  for (auto _ : state) {
    std::vector<SpatialPtr> fresh;
    for (Stream const& s : streams) fresh.push_back(LS::Read(s));
    double const start = ThreadSeconds();
    for (SpatialPtr const& v : fresh) benchmark::DoNotOptimize(SumOf(v->AsGeography()));
    state.SetIterationTime(ThreadSeconds() - start);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.vertices));
  state.SetLabel(std::string(state.range(0) == 0 ? "countries50" : "synthetic1M") +
                 (state.range(1) == 0 ? " plain" : " compressed"));
}

// Later visits with nobody holding the owners: each decodes again.
void BM_VisitAgain(benchmark::State& state) {
  Data const& d = Set(state);
  auto const& streams = state.range(1) == 0 ? d.plain : d.compressed;
  std::vector<SpatialPtr> values;
  for (Stream const& s : streams) values.push_back(LS::Read(s));
  for (SpatialPtr const& v : values) SumOf(v->AsGeography());
  for (auto _ : state) {
    for (SpatialPtr const& v : values) benchmark::DoNotOptimize(SumOf(v->AsGeography()));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.vertices));
  state.SetLabel(std::string(state.range(0) == 0 ? "countries50" : "synthetic1M") +
                 (state.range(1) == 0 ? " plain" : " compressed"));
}

// Later visits while the owners are held (one range per ring kept alive).
void BM_VisitHeld(benchmark::State& state) {
  Data const& d = Set(state);
  auto const& streams = state.range(1) == 0 ? d.plain : d.compressed;
  std::vector<SpatialPtr> values;
  for (Stream const& s : streams) values.push_back(LS::Read(s));
  std::vector<detail::ShapeRing<GeographyCoordinate>> held;
  for (SpatialPtr const& v : values) {
    for (auto const& poly : v->AsGeography().GetPolys()) {
      for (auto const& ring : poly) held.push_back(ring);
    }
  }
  for (auto _ : state) {
    for (SpatialPtr const& v : values) benchmark::DoNotOptimize(SumOf(v->AsGeography()));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.vertices));
  state.SetLabel(std::string(state.range(0) == 0 ? "countries50" : "synthetic1M") +
                 (state.range(1) == 0 ? " plain" : " compressed"));
}

// ---- CRC ----------------------------------------------------------------------------------

void BM_Crc(benchmark::State& state) {
  Data const& d = Set(state);
  for (auto _ : state) {
    for (Stream const& s : d.plain) benchmark::DoNotOptimize(LS::CRC(0, s.data(), s.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.plain_bytes));
  Label(state);
}

// ---- Sizes --------------------------------------------------------------------------------

void BM_StreamSize(benchmark::State& state) {
  Data const& d = Set(state);
  std::size_t sizes[3] = {0, 0, 0};
  for (auto _ : state) {
    int k = 0;
    for (std::int8_t p : {5, 7, 9}) {
      sizes[k] = 0;
      for (SpatialPtr const& v : d.values) sizes[k] += LS::Write(*v, LS::kCompressed, p).size();
      ++k;
    }
  }
  double const n = static_cast<double>(d.vertices);
  state.counters["plain_B_per_vertex"] = static_cast<double>(d.plain_bytes) / n;
  state.counters["p5_B_per_vertex"] = static_cast<double>(sizes[0]) / n;
  state.counters["p7_B_per_vertex"] = static_cast<double>(sizes[1]) / n;
  state.counters["p9_B_per_vertex"] = static_cast<double>(sizes[2]) / n;
  state.counters["wkb_B_per_vertex"] = 16;
  Label(state);
}

}  // namespace

BENCHMARK(BM_WritePlain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyPlainSize)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteCompressed)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MemcpyCompressedSize)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadPlain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BytePassPlain)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadCompressed)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BytePassCompressed)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisitDefault)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisitFirst)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisitAgain)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VisitHeld)->ArgsProduct({{0, 1}, {0, 1}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crc)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamSize)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);
