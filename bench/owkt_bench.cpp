// Throughput of the OWKT writer and reader, each next to a bare number pass
// over the same input in the same binary.
//
// Two data sets, prepared once outside the timed regions:
//  - countries: the 177 lines of data/countries.wkt (full-precision degrees),
//    read as geographic values;
//  - synthetic: 10^4 planar polygons of 64 vertices (63 distinct and the
//    closing one) with 6-digit coordinates, made with a fixed seed; their
//    text is the writer's own.
//
// To writes every value; its baseline writes the same doubles (the ones To
// formats, in the same order) with std::to_chars, general format, precision
// 6, one blank after each, into a reused buffer. From reads every text; its
// baseline scans the same text bytes, skips every character that cannot
// start a number and converts each number with std::from_chars (checked, at
// preparation, to find exactly the numbers the reader does). Both members of
// a pair report the bytes of the same OWKT text, so their MB/s ratio is
// their time ratio; items are values.
#include <benchmark/benchmark.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "ostrel/core/angle.hpp"
#include "ostrel/core/constants.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/text/owkt.hpp"

namespace {

using ostrel::CoordinateType;
using ostrel::SpatialPtr;
namespace OWKT = ostrel::OWKT;

struct DataSet {
  CoordinateType kind = CoordinateType::Unknown;
  std::vector<std::string> texts;  // read by From
  std::vector<SpatialPtr> values;  // written by To: From of texts
  std::vector<double> numbers;     // what To formats, in order
  std::size_t text_bytes = 0;      // of texts
  std::size_t written_bytes = 0;   // of To of values
  std::string error;               // set when the data set could not be made
};

// The doubles To writes for a value: x y, or longitude latitude in degrees,
// for every point, then every line, then every ring of every polygon.
template <class G>
void AppendNumbers(G const& g, std::vector<double>& out) {
  auto add = [&](auto const& c) {
    if constexpr (std::is_same_v<G, ostrel::Geometry>) {
      out.push_back(c.GetX());
      out.push_back(c.GetY());
    } else {
      out.push_back(ostrel::Degrees(c.GetLongitude()).Get());
      out.push_back(ostrel::Degrees(c.GetLatitude()).Get());
    }
  };
  for (auto const& c : g.GetPoints()) add(c);
  for (auto const& line : g.GetLines()) {
    for (auto const& c : line) add(c);
  }
  for (auto const& poly : g.GetPolys()) {
    for (auto const& ring : poly) {
      for (auto const& c : ring) add(c);
    }
  }
}

bool StartsNumber(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.'; }

// The From baseline's scan: every number of the text through from_chars,
// folded by its bits. `count` receives how many numbers were found.
std::uint64_t ScanNumbers(std::string const& text, std::size_t& count) {
  std::uint64_t sum = 0;
  char const* p = text.data();
  char const* const end = p + text.size();
  while (p != end) {
    if (!StartsNumber(*p)) {
      ++p;
      continue;
    }
    if (*p == '+') ++p;  // from_chars takes no leading '+'
    double value = 0;
    auto [next, ec] = std::from_chars(p, end, value);
    if (ec == std::errc()) {
      sum += std::bit_cast<std::uint64_t>(value);
      ++count;
      p = next;
    } else {
      ++p;
    }
  }
  return sum;
}

void Finish(DataSet& set) {
  std::size_t found = 0;
  for (std::string const& text : set.texts) {
    set.text_bytes += text.size();
    SpatialPtr value = OWKT::From(text, set.kind);
    if (value->GetCoordinateType() != set.kind) {
      set.error = "a text does not read as the data set's kind: " + text.substr(0, 60);
      return;
    }
    ScanNumbers(text, found);
    set.values.push_back(std::move(value));
  }
  for (SpatialPtr const& value : set.values) {
    set.written_bytes += OWKT::To(*value).size();
    if (value->IsGeometry()) {
      AppendNumbers(value->AsGeometry(), set.numbers);
    } else {
      AppendNumbers(value->AsGeography(), set.numbers);
    }
  }
  // Both texts hold two numbers per coordinate, so the baseline scan must
  // meet exactly as many numbers as the values hold.
  if (found != set.numbers.size()) {
    set.error = "the number scan found " + std::to_string(found) + " numbers, the values hold " +
                std::to_string(set.numbers.size());
  }
}

DataSet MakeCountries() {
  DataSet set;
  set.kind = CoordinateType::Geography;
  std::ifstream in(OSTREL_DATA_DIR "/countries.wkt");
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) set.texts.push_back(line);
  }
  if (set.texts.empty()) {
    set.error = "cannot read " OSTREL_DATA_DIR "/countries.wkt";
    return set;
  }
  Finish(set);
  return set;
}

// Irregular 63-gons around random centres, coordinates rounded to 6
// significant digits before the text is made, then written by To.
DataSet MakeSynthetic() {
  constexpr int kPolygons = 10000;
  constexpr int kDistinct = 63;
  DataSet set;
  set.kind = CoordinateType::Geometry;
  std::mt19937_64 rng(0x0A11CE5EEDULL);
  std::uniform_real_distribution<double> centre(100.0, 900.0);
  std::uniform_real_distribution<double> radius(10.0, 90.0);
  std::uniform_real_distribution<double> jitter(0.7, 1.0);
  auto six_digits = [](double v) {
    char buffer[32];
    auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 6);
    return std::string(buffer, r.ptr);
  };
  for (int i = 0; i < kPolygons; ++i) {
    double const cx = centre(rng);
    double const cy = centre(rng);
    double const r = radius(rng);
    std::string ring;
    std::string first;
    for (int k = 0; k < kDistinct; ++k) {
      double const angle = 2 * ostrel::detail::kPi * k / kDistinct;
      double const d = r * jitter(rng);
      std::string const c =
          six_digits(cx + d * std::cos(angle)) + " " + six_digits(cy + d * std::sin(angle));
      if (k == 0) first = c;
      ring += c + ", ";
    }
    ring += first;
    SpatialPtr value = OWKT::From("POLYGON((" + ring + "))", set.kind);
    set.texts.push_back(OWKT::To(*value));
  }
  Finish(set);
  return set;
}

DataSet const& Countries() {
  static DataSet const set = MakeCountries();
  return set;
}

DataSet const& Synthetic() {
  static DataSet const set = MakeSynthetic();
  return set;
}

using Getter = DataSet const& (*)();

void Report(benchmark::State& state, DataSet const& set, std::size_t bytes) {
  auto const iterations = static_cast<std::int64_t>(state.iterations());
  state.SetItemsProcessed(iterations * static_cast<std::int64_t>(set.values.size()));
  state.SetBytesProcessed(iterations * static_cast<std::int64_t>(bytes));
}

bool Ready(benchmark::State& state, DataSet const& set) {
  if (set.error.empty()) return true;
  state.SkipWithError(set.error.c_str());
  return false;
}

// --- Writer ----------------------------------------------------------------

void BM_OwktTo(benchmark::State& state, Getter get) {
  DataSet const& set = get();
  if (!Ready(state, set)) return;
  for (auto _ : state) {
    std::size_t bytes = 0;
    for (SpatialPtr const& value : set.values) bytes += OWKT::To(*value).size();
    benchmark::DoNotOptimize(bytes);
  }
  Report(state, set, set.written_bytes);
}
BENCHMARK_CAPTURE(BM_OwktTo, countries, &Countries)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OwktTo, synthetic, &Synthetic)->Unit(benchmark::kMillisecond);

void BM_Baseline_ToChars(benchmark::State& state, Getter get) {
  DataSet const& set = get();
  if (!Ready(state, set)) return;
  std::vector<char> buffer(set.numbers.size() * 32);
  for (auto _ : state) {
    char* p = buffer.data();
    char* const end = p + buffer.size();
    for (double v : set.numbers) {
      p = std::to_chars(p, end, v, std::chars_format::general, 6).ptr;
      *p++ = ' ';
    }
    benchmark::DoNotOptimize(p);
    benchmark::ClobberMemory();
  }
  Report(state, set, set.written_bytes);
}
BENCHMARK_CAPTURE(BM_Baseline_ToChars, countries, &Countries)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Baseline_ToChars, synthetic, &Synthetic)->Unit(benchmark::kMillisecond);

// --- Reader ----------------------------------------------------------------

void BM_OwktFrom(benchmark::State& state, Getter get) {
  DataSet const& set = get();
  if (!Ready(state, set)) return;
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (std::string const& text : set.texts) {
      SpatialPtr value = OWKT::From(text, set.kind);
      sum += static_cast<std::uint64_t>(value->GetShapeType());
    }
    benchmark::DoNotOptimize(sum);
  }
  Report(state, set, set.text_bytes);
}
BENCHMARK_CAPTURE(BM_OwktFrom, countries, &Countries)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_OwktFrom, synthetic, &Synthetic)->Unit(benchmark::kMillisecond);

void BM_Baseline_FromChars(benchmark::State& state, Getter get) {
  DataSet const& set = get();
  if (!Ready(state, set)) return;
  for (auto _ : state) {
    std::uint64_t sum = 0;
    std::size_t count = 0;
    for (std::string const& text : set.texts) sum += ScanNumbers(text, count);
    benchmark::DoNotOptimize(sum);
    benchmark::DoNotOptimize(count);
  }
  Report(state, set, set.text_bytes);
}
BENCHMARK_CAPTURE(BM_Baseline_FromChars, countries, &Countries)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Baseline_FromChars, synthetic, &Synthetic)->Unit(benchmark::kMillisecond);

}  // namespace
