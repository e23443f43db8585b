// Cold hashing of whole values next to the physical limit: the same hash
// folded directly over the packed vectors.
//
// Data: the 241 values of data/countries50.wkt, read once as geographies and
// once as planar values (bias 0). For every value the baseline keeps its
// packed coordinates in plain vectors and computes the value's hash by hand
// with Hasher, in exactly the order the library defines (checked equal to
// GetHash() before timing). The library side hashes fresh copies, whose
// caches are empty: the copies are made outside the timed region (manual
// time), so only GetHash() is measured, cache filling included.
#include <benchmark/benchmark.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "ostrel/spatial/default_format.hpp"
#include "ostrel/text/owkt.hpp"

namespace {

using namespace ostrel;

template <class G>
struct Plain {
  using Packed = typename G::Coordinate::Packed;
  std::vector<Packed> points;
  std::vector<std::vector<Packed>> lines;
  std::vector<std::vector<std::vector<Packed>>> polys;
  unsigned long long attributes = 0;
  unsigned long long type_words[2] = {0, 0};
};

// The hasher's arithmetic on raw words, written out: the baseline needs raw
// adds of integers, which Hasher keeps for the library's own classes.
struct Fold {
  unsigned long long state = Hasher::kSeed;
  void Raw(unsigned long long v) { state = (state ^ Hasher::Mix(v)) * Hasher::kM2; }
  void Unordered(unsigned long long v) { state += Hasher::HashOfWord(v); }
  unsigned long long End() { return Hasher::Mix(state); }
};

inline unsigned long long Word(GeographyCoordinate::Packed p) { return p.GetEncoded(); }
inline unsigned long long Word(GeometryCoordinate::Packed p) { return p.GetAsUint64(); }

template <class P>
unsigned long long RunHash(unsigned long long a, std::vector<P> const& run) {
  Fold f;
  f.Raw(a);
  f.Raw(run.size());
  for (P const& p : run) f.Raw(Word(p));
  return f.End();
}

template <class G>
unsigned long long PlainHash(Plain<G> const& v) {
  Fold f;
  f.Raw(v.type_words[0]);
  f.Raw(v.type_words[1]);
  unsigned long long const a = v.attributes;
  f.Raw(a);
  f.Raw(v.points.size());
  for (auto const& p : v.points) {
    Fold point;
    point.Raw(a);
    point.Raw(Word(p));
    f.Unordered(point.End());
  }
  f.Raw(v.lines.size());
  for (auto const& line : v.lines) f.Unordered(RunHash(a, line));
  f.Raw(v.polys.size());
  for (auto const& poly : v.polys) {
    Fold p;
    p.Raw(a);
    p.Raw(poly.size());
    for (auto const& ring : poly) p.Raw(RunHash(a, ring));
    f.Unordered(p.End());
  }
  return f.End();
}

inline void AddSRID(Fold& f, SRID s) {
  f.Raw(static_cast<unsigned long long>(s.GetAuthority()));
  f.Raw(s.GetID());
}

// Bias x and y (planar), both SRIDs, and the topological type (geographic).
template <class G>
unsigned long long AttributeHash(G const& g) {
  Fold f;
  if constexpr (std::is_same_v<G, Geometry>) {
    f.Raw(Hasher::ToUint64(g.GetBias().GetX()));
    f.Raw(Hasher::ToUint64(g.GetBias().GetY()));
  }
  AddSRID(f, g.GetOriginalSRID());
  AddSRID(f, g.GetConvertedSRID());
  if constexpr (std::is_same_v<G, Geography>) {
    f.Raw(static_cast<unsigned long long>(g.GetTopologicalType()));
  }
  return f.End();
}

template <class G>
auto Pack(typename G::Coordinate const& c) {
  if constexpr (std::is_same_v<G, Geometry>) {
    return GeometryCoordinate::Packed(c.GetX(), c.GetY(), GeometryCoordinate::Bias::None());
  } else {
    return GeographyCoordinate::Packed(c.GetLatitude(), c.GetLongitude());
  }
}

template <class G>
struct Data {
  using Value = std::conditional_t<std::is_same_v<G, Geometry>, DefaultGeometry, DefaultGeography>;
  std::vector<Value> values;
  std::vector<Plain<G>> plain;
  std::size_t coordinates = 0;
  std::string error;
};

template <class G>
Data<G> const& Countries50() {
  static Data<G> const* data = [] {
    auto* d = new Data<G>;
    std::ifstream in(OSTREL_DATA_DIR "/countries50.wkt");
    constexpr auto kind =
        std::is_same_v<G, Geometry> ? CoordinateType::Geometry : CoordinateType::Geography;
    for (std::string line; std::getline(in, line);) {
      SpatialPtr p = OWKT::From(line, kind);
      auto const* value = dynamic_cast<typename Data<G>::Value const*>(p.get());
      if (value == nullptr) continue;
      Plain<G> plain;
      G const& g = *value;
      plain.type_words[0] = static_cast<unsigned long long>(g.GetCoordinateType());
      plain.type_words[1] = static_cast<unsigned long long>(g.GetShapeType());
      plain.attributes = AttributeHash(g);
      for (auto const& c : g.GetPoints()) plain.points.push_back(Pack<G>(c));
      for (auto const& l : g.GetLines()) {
        auto& out = plain.lines.emplace_back();
        for (auto const& c : l) out.push_back(Pack<G>(c));
        d->coordinates += out.size();
      }
      for (auto const& poly : g.GetPolys()) {
        auto& rings = plain.polys.emplace_back();
        for (auto const& ring : poly) {
          auto& out = rings.emplace_back();
          for (auto const& c : ring) out.push_back(Pack<G>(c));
          d->coordinates += out.size();
        }
      }
      d->values.push_back(*value);
      d->plain.push_back(std::move(plain));
    }
    for (std::size_t i = 0; i < d->values.size(); ++i) {
      typename Data<G>::Value copy = d->values[i];
      if (copy.GetHash() != PlainHash(d->plain[i])) {
        d->error = "baseline hash differs from GetHash() for value " + std::to_string(i);
      }
    }
    if (d->values.empty()) d->error = "no values read from countries50.wkt";
    return d;
  }();
  return *data;
}

template <class G>
void BM_Baseline_PlainHashCountries50(benchmark::State& state) {
  auto const& data = Countries50<G>();
  if (!data.error.empty()) return state.SkipWithError(data.error.c_str());
  for (auto _ : state) {
    for (auto const& v : data.plain) benchmark::DoNotOptimize(PlainHash(v));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long long>(data.coordinates));
}

template <class G>
void BM_HashColdCountries50(benchmark::State& state) {
  auto const& data = Countries50<G>();
  if (!data.error.empty()) return state.SkipWithError(data.error.c_str());
  for (auto _ : state) {
    auto copies = data.values;  // fresh caches, outside the timed region
    auto start = std::chrono::steady_clock::now();
    for (auto const& v : copies) benchmark::DoNotOptimize(v.GetHash());
    auto stop = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<long long>(data.coordinates));
}

BENCHMARK_TEMPLATE(BM_Baseline_PlainHashCountries50, Geography);
BENCHMARK_TEMPLATE(BM_HashColdCountries50, Geography)->UseManualTime();
BENCHMARK_TEMPLATE(BM_Baseline_PlainHashCountries50, Geometry);
BENCHMARK_TEMPLATE(BM_HashColdCountries50, Geometry)->UseManualTime();

}  // namespace
