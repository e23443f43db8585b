// WKB and WKT readers and writers next to GEOS's (the reader and writer
// users would otherwise pick) and next to a plain pass over the same bytes,
// on the same inputs in the same binary.
//
// Data sets, prepared once outside the timed regions:
//  - countries50: the 241 Natural Earth 1:50m countries (99,566 vertices) as
//    planar values; their WKB is ostrel's (little-endian, 2-D), their WKT the
//    data file's lines (full-precision numbers);
//  - synthetic: 10^4 planar polygons of 64 vertices with random doubles
//    around random centres (a larger, denser set), as WKB and as ostrel's
//    WKT.
// Pairs that read or write the same bytes report those bytes, so their MB/s
// ratio is their time ratio; items are values, or vertices for the
// geographic reads.
//
// Plain passes: for reading WKB, a word-by-word sum over the bytes (what a
// reader that did nothing but touch its input would cost); for writing WKB,
// a copy of the same number of bytes into a fresh vector; for reading WKT,
// every number of the text through std::from_chars; for writing WKT, every
// coordinate through std::to_chars, general format, precision 6.
//
// Geographic reads (countries50 as geographies): the whole read with
// densifying and clean-up (WKB, WKT), without densifying (PostgreSQL binary),
// and the steps alone over the same rings, so that each step's share of the
// whole can be read off: conversion and snapping of the input, densifying,
// the ring clean-up, the winding and orientation.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ostrel/kernel/path_normalizer.hpp"
#include "ostrel/kernel/ring_cleaning.hpp"
#include "ostrel/kernel/winding_order.hpp"
#include "ostrel/ostrel.hpp"
#include "ostrel/serialization/geographic_input.hpp"
#include "ostrel/serialization/postgresql.hpp"
#include "ostrel/serialization/ring_builder.hpp"
#include "ostrel/serialization/wkb.hpp"
#include "ostrel/serialization/wkt.hpp"

#if OSTREL_HAVE_GEOS
#include <geos/geom/Geometry.h>
#include <geos/io/WKBReader.h>
#include <geos/io/WKBWriter.h>
#include <geos/io/WKTReader.h>
#include <geos/io/WKTWriter.h>
#endif

namespace {

using namespace ostrel;
using Bytes = std::vector<std::uint8_t>;

struct DataSet {
  std::vector<std::string> texts;  // WKT
  std::vector<Bytes> wkb;          // ostrel's WKB of the planar values
  std::vector<Bytes> ewkb;         // PostgreSQL binary with SRID 4326 (geographies)
  std::vector<SpatialPtr> values;  // planar values
  std::vector<SpatialPtr> geographies;
  std::size_t text_bytes = 0, wkb_bytes = 0, written_text_bytes = 0, vertices = 0;
  std::vector<double> numbers;  // what the WKT writer formats, in order
  std::string error;
};

std::size_t Vertices(Spatial const& v) {
  std::size_t n = 0;
  auto count = [&n](auto const& g) {
    n += g.GetPoints().size();
    for (auto const& l : g.GetLines()) n += l.size();
    for (auto const& p : g.GetPolys()) {
      for (auto const& r : p) n += r.size();
    }
  };
  if (v.IsGeometry()) count(v.AsGeometry());
  if (v.IsGeography()) count(v.AsGeography());
  return n;
}

void Finish(DataSet& d) {
  for (auto const& v : d.values) {
    d.wkb.push_back(WkbSerialization::Write(*v));
    d.wkb_bytes += d.wkb.back().size();
    d.vertices += Vertices(*v);
    Geometry const& g = v->AsGeometry();
    d.written_text_bytes += WktSerialization::Write(*v).size();
    for (auto const& poly : g.GetPolys()) {
      for (auto const& ring : poly) {
        for (auto const& c : ring) {
          d.numbers.push_back(c.GetX());
          d.numbers.push_back(c.GetY());
        }
      }
    }
  }
  for (auto const& t : d.texts) d.text_bytes += t.size();
}

DataSet const& Countries() {
  static DataSet const& data = *[] {
    auto* d = new DataSet;
    std::ifstream in(std::string(OSTREL_DATA_DIR) + "/countries50.wkt");
    std::string line;
    while (std::getline(in, line)) {
      d->texts.push_back(line);
      d->values.push_back(WktSerialization::Read(line, CoordinateType::Geometry));
      Geography::Attributes const wgs84;
      SpatialPtr geo = PostgreSQLSerialization::ReadText("SRID=4326;" + line);
      d->ewkb.push_back(PostgreSQLSerialization::WriteBinary(*geo));
      d->geographies.push_back(std::move(geo));
    }
    if (d->texts.size() != 241) d->error = "countries50.wkt not found";
    Finish(*d);
    return d;
  }();
  return data;
}

DataSet const& Synthetic() {
  static DataSet const& data = *[] {
    auto* d = new DataSet;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> centre(-1e5, 1e5), unit(0, 1);
    for (int i = 0; i < 10000; ++i) {
      double const cx = centre(rng), cy = centre(rng), r = 10 + 1000 * unit(rng);
      DefaultGeometry::Points ring;
      for (int k = 0; k < 63; ++k) {
        double const a = 2 * M_PI * k / 63, rr = r * (0.5 + 0.5 * unit(rng));
        ring.push_back(GeometryCoordinate(cx + rr * std::cos(a), cy + rr * std::sin(a)));
      }
      ring.push_back(ring.front());
      DefaultGeometry::Lines rings{ring};
      DefaultGeometry::Polys polys{rings};
      d->values.push_back(
          MakeSpatial<DefaultGeometry>(DefaultGeometry::Points(), DefaultGeometry::Lines(), polys));
      d->texts.push_back(WktSerialization::Write(*d->values.back()));
    }
    Finish(*d);
    return d;
  }();
  return data;
}

DataSet const& Pick(int which) { return which == 0 ? Countries() : Synthetic(); }

bool Ready(benchmark::State& state, DataSet const& d) {
  if (!d.error.empty()) state.SkipWithError(d.error.c_str());
  return d.error.empty();
}

// ------------------------------------------------------------------ WKB read

void BM_WkbRead_Ostrel(benchmark::State& state) {
  DataSet const& d = Pick(static_cast<int>(state.range(0)));
  if (!Ready(state, d)) return;
  for (auto _ : state) {
    for (Bytes const& b : d.wkb)
      benchmark::DoNotOptimize(WkbSerialization::Read(b, CoordinateType::Geometry));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.wkb_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.wkb.size()));
}
BENCHMARK(BM_WkbRead_Ostrel)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WkbRead_PlainPass(benchmark::State& state) {
  DataSet const& d = Pick(static_cast<int>(state.range(0)));
  if (!Ready(state, d)) return;
  for (auto _ : state) {
    std::uint64_t sum = 0;
    for (Bytes const& b : d.wkb) {
      std::size_t i = 0;
      for (; i + 8 <= b.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, b.data() + i, 8);
        sum += w;
      }
      for (; i < b.size(); ++i) sum += b[i];
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.wkb_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.wkb.size()));
}
BENCHMARK(BM_WkbRead_PlainPass)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#if OSTREL_HAVE_GEOS
void BM_WkbRead_Geos(benchmark::State& state) {
  DataSet const& d = Pick(static_cast<int>(state.range(0)));
  if (!Ready(state, d)) return;
  geos::io::WKBReader reader;
  for (auto _ : state) {
    for (Bytes const& b : d.wkb) benchmark::DoNotOptimize(reader.read(b.data(), b.size()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.wkb_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.wkb.size()));
}
BENCHMARK(BM_WkbRead_Geos)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
#endif

// ------------------------------------------------------------------ WKB write

void BM_WkbWrite_Ostrel(benchmark::State& state) {
  DataSet const& d = Pick(static_cast<int>(state.range(0)));
  if (!Ready(state, d)) return;
  for (auto _ : state) {
    for (SpatialPtr const& v : d.values) benchmark::DoNotOptimize(WkbSerialization::Write(*v));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.wkb_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.values.size()));
}
BENCHMARK(BM_WkbWrite_Ostrel)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WkbWrite_PlainPass(benchmark::State& state) {
  DataSet const& d = Pick(static_cast<int>(state.range(0)));
  if (!Ready(state, d)) return;
  for (auto _ : state) {
    for (Bytes const& b : d.wkb) benchmark::DoNotOptimize(Bytes(b));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.wkb_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.wkb.size()));
}
BENCHMARK(BM_WkbWrite_PlainPass)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#if OSTREL_HAVE_GEOS
std::vector<std::unique_ptr<geos::geom::Geometry>> const& GeosValues(int which) {
  static auto& countries = *new std::vector<std::unique_ptr<geos::geom::Geometry>>;
  static auto& synthetic = *new std::vector<std::unique_ptr<geos::geom::Geometry>>;
  auto& out = which == 0 ? countries : synthetic;
  if (out.empty()) {
    geos::io::WKBReader reader;
    for (Bytes const& b : Pick(which).wkb) out.push_back(reader.read(b.data(), b.size()));
  }
  return out;
}

void BM_WkbWrite_Geos(benchmark::State& state) {
  int const which = static_cast<int>(state.range(0));
  DataSet const& d = Pick(which);
  if (!Ready(state, d)) return;
  auto const& geoms = GeosValues(which);
  geos::io::WKBWriter writer;
  writer.setByteOrder(1);
  std::ostringstream os;
  for (auto _ : state) {
    for (auto const& g : geoms) {
      os.str(std::string());
      writer.write(*g, os);
      benchmark::DoNotOptimize(os.str());
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.wkb_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * geoms.size()));
}
BENCHMARK(BM_WkbWrite_Geos)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
#endif

// ------------------------------------------------------------------ WKT read

void BM_WktRead_Ostrel(benchmark::State& state) {
  DataSet const& d = Pick(static_cast<int>(state.range(0)));
  if (!Ready(state, d)) return;
  for (auto _ : state) {
    for (std::string const& t : d.texts)
      benchmark::DoNotOptimize(WktSerialization::Read(t, CoordinateType::Geometry));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.text_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.texts.size()));
}
BENCHMARK(BM_WktRead_Ostrel)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WktRead_PlainPass(benchmark::State& state) {
  DataSet const& d = Pick(static_cast<int>(state.range(0)));
  if (!Ready(state, d)) return;
  for (auto _ : state) {
    double sum = 0;
    for (std::string const& t : d.texts) {
      char const* p = t.data();
      char const* end = p + t.size();
      while (p < end) {
        char const c = *p;
        if ((c >= '0' && c <= '9') || c == '-' || c == '.') {
          double value = 0;
          auto const r = std::from_chars(p, end, value);
          sum += value;
          p = r.ptr == p ? p + 1 : r.ptr;
        } else {
          ++p;
        }
      }
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.text_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.texts.size()));
}
BENCHMARK(BM_WktRead_PlainPass)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#if OSTREL_HAVE_GEOS
void BM_WktRead_Geos(benchmark::State& state) {
  DataSet const& d = Pick(static_cast<int>(state.range(0)));
  if (!Ready(state, d)) return;
  geos::io::WKTReader reader;
  for (auto _ : state) {
    for (std::string const& t : d.texts) benchmark::DoNotOptimize(reader.read(t));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.text_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.texts.size()));
}
BENCHMARK(BM_WktRead_Geos)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
#endif

// ------------------------------------------------------------------ WKT write

void BM_WktWrite_Ostrel(benchmark::State& state) {
  DataSet const& d = Pick(static_cast<int>(state.range(0)));
  if (!Ready(state, d)) return;
  for (auto _ : state) {
    for (SpatialPtr const& v : d.values) benchmark::DoNotOptimize(WktSerialization::Write(*v));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.written_text_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.values.size()));
}
BENCHMARK(BM_WktWrite_Ostrel)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_WktWrite_PlainPass(benchmark::State& state) {
  DataSet const& d = Pick(static_cast<int>(state.range(0)));
  if (!Ready(state, d)) return;
  std::string out;
  for (auto _ : state) {
    out.clear();
    char buffer[32];
    for (double x : d.numbers) {
      auto const r =
          std::to_chars(buffer, buffer + sizeof buffer, x, std::chars_format::general, 6);
      out.append(buffer, r.ptr);
      out.push_back(' ');
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.written_text_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * d.values.size()));
}
BENCHMARK(BM_WktWrite_PlainPass)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

#if OSTREL_HAVE_GEOS
// GEOS writes every digit a double needs (its default), so its text is
// longer than ostrel's six-digit text: compare times (values per second).
void BM_WktWrite_Geos(benchmark::State& state) {
  int const which = static_cast<int>(state.range(0));
  DataSet const& d = Pick(which);
  if (!Ready(state, d)) return;
  auto const& geoms = GeosValues(which);
  geos::io::WKTWriter writer;
  for (auto _ : state) {
    for (auto const& g : geoms) benchmark::DoNotOptimize(writer.write(g.get()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.written_text_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * geoms.size()));
}
BENCHMARK(BM_WktWrite_Geos)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The same, with GEOS's text cut to six decimals and trimmed (closer to
// ostrel's amount of text).
void BM_WktWrite_GeosSixDecimals(benchmark::State& state) {
  int const which = static_cast<int>(state.range(0));
  DataSet const& d = Pick(which);
  if (!Ready(state, d)) return;
  auto const& geoms = GeosValues(which);
  geos::io::WKTWriter writer;
  writer.setRoundingPrecision(6);
  writer.setTrim(true);
  for (auto _ : state) {
    for (auto const& g : geoms) benchmark::DoNotOptimize(writer.write(g.get()));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * d.written_text_bytes));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * geoms.size()));
}
BENCHMARK(BM_WktWrite_GeosSixDecimals)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
#endif

// ------------------------------------------------------------------ geographic reads

void Vertices(benchmark::State& state, std::size_t per_iteration) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * per_iteration));
}

void BM_GeoRead_Wkb(benchmark::State& state) {
  DataSet const& d = Countries();
  if (!Ready(state, d)) return;
  for (auto _ : state) {
    for (Bytes const& b : d.wkb)
      benchmark::DoNotOptimize(WkbSerialization::Read(b, CoordinateType::Geography));
  }
  Vertices(state, d.vertices);
}
BENCHMARK(BM_GeoRead_Wkb)->Unit(benchmark::kMillisecond);

void BM_GeoRead_Wkt(benchmark::State& state) {
  DataSet const& d = Countries();
  if (!Ready(state, d)) return;
  for (auto _ : state) {
    for (std::string const& t : d.texts)
      benchmark::DoNotOptimize(WktSerialization::Read(t, CoordinateType::Geography));
  }
  Vertices(state, d.vertices);
}
BENCHMARK(BM_GeoRead_Wkt)->Unit(benchmark::kMillisecond);

void BM_GeoRead_PostgreSQLBinary(benchmark::State& state) {
  DataSet const& d = Countries();
  if (!Ready(state, d)) return;
  for (auto _ : state) {
    for (Bytes const& b : d.ewkb) benchmark::DoNotOptimize(PostgreSQLSerialization::ReadBinary(b));
  }
  Vertices(state, d.vertices);
}
BENCHMARK(BM_GeoRead_PostgreSQLBinary)->Unit(benchmark::kMillisecond);

// The rings of the countries, as the steps see them.
struct Rings {
  std::vector<std::vector<std::pair<double, double>>> raw;  // degrees, as in the bytes
  std::vector<ResourceVector<GeographyCoordinate>> snapped;
  std::vector<ResourceVector<double>> edges;  // per snapped ring
  std::vector<ResourceVector<GeographyCoordinate>> densified;
  std::vector<ResourceVector<double>> densified_edges;
  std::vector<ResourceVector<GeographyCoordinate>> cleaned;
};

Rings const& CountryRings() {
  static Rings const& rings = *[] {
    auto* r = new Rings;
    for (SpatialPtr const& v : Countries().values) {
      for (auto const& poly : v->AsGeometry().GetPolys()) {
        for (auto const& ring : poly) {
          std::vector<std::pair<double, double>> raw;
          for (auto const& c : ring) raw.emplace_back(c.GetX(), c.GetY());
          r->raw.push_back(raw);
          for (bool densify : {false, true}) {
            RingBuilder<GeographyCoordinate> b(raw.size(), densify, false);
            for (auto const& [x, y] : raw) b.AddGeographic(x, y);
            (densify ? r->densified : r->snapped).push_back(b.GetCoordinates());
            (densify ? r->densified_edges : r->edges).push_back(b.GetEdgeValues());
          }
          auto cleaned = r->densified.back();
          auto const& e = r->densified_edges.back();
          CleanRingAndRemoveIntroducedSelfIntersections(cleaned,
                                                        [&e](unsigned k) { return Radians(e[k]); });
          r->cleaned.push_back(cleaned);
        }
      }
    }
    return r;
  }();
  return rings;
}

// Step 1: wrap, clamp, convert to radians, snap, and the edge values (into
// a builder made per ring, as the readers do).
void BM_GeoStep_ConvertAndSnap(benchmark::State& state) {
  Rings const& r = CountryRings();
  for (auto _ : state) {
    for (auto const& raw : r.raw) {
      RingBuilder<GeographyCoordinate> b(raw.size(), false, false);
      for (auto const& [x, y] : raw) b.AddGeographic(x, y);
      benchmark::DoNotOptimize(b.GetCoordinates().data());
    }
  }
  Vertices(state, Countries().vertices);
}
BENCHMARK(BM_GeoStep_ConvertAndSnap)->Unit(benchmark::kMillisecond);

// Step 2: densifying every edge.
void BM_GeoStep_Densify(benchmark::State& state) {
  Rings const& r = CountryRings();
  std::vector<GeographyCoordinate> out;
  PathNormalizer::Emit const emit = [&out](std::pair<Latitude, Longitude> const& m) {
    out.push_back(GeographyCoordinate(m.first, m.second));
  };
  for (auto _ : state) {
    for (std::size_t i = 0; i < r.snapped.size(); ++i) {
      auto const& ring = r.snapped[i];
      auto const& raw = r.raw[i];
      out.clear();
      for (std::size_t k = 1; k < ring.size(); ++k) {
        Densify(ring[k - 1], ring[k], Radians(kDensifyTolerance),
                LongitudeZone(raw[k - 1].first) == LongitudeZone(raw[k].first), emit);
      }
      benchmark::DoNotOptimize(out.data());
    }
  }
  Vertices(state, Countries().vertices);
}
BENCHMARK(BM_GeoStep_Densify)->Unit(benchmark::kMillisecond);

// Step 3: the clean-up of the densified rings (each copied first; the copy
// alone is BM_GeoStep_CopyOnly).
void BM_GeoStep_CleanUp(benchmark::State& state) {
  Rings const& r = CountryRings();
  for (auto _ : state) {
    for (std::size_t i = 0; i < r.densified.size(); ++i) {
      auto ring = r.densified[i];
      auto const& e = r.densified_edges[i];
      benchmark::DoNotOptimize(CleanRingAndRemoveIntroducedSelfIntersections(
          ring, [&e](unsigned k) { return Radians(e[k]); }));
    }
  }
  Vertices(state, Countries().vertices);
}
BENCHMARK(BM_GeoStep_CleanUp)->Unit(benchmark::kMillisecond);

void BM_GeoStep_CopyOnly(benchmark::State& state) {
  Rings const& r = CountryRings();
  for (auto _ : state) {
    for (auto const& ring : r.densified) {
      auto copy = ring;
      benchmark::DoNotOptimize(copy.data());
    }
  }
  Vertices(state, Countries().vertices);
}
BENCHMARK(BM_GeoStep_CopyOnly)->Unit(benchmark::kMillisecond);

// Step 4: the winding of every cleaned ring (the reversal is a pass of
// std::reverse over the rings that need it).
void BM_GeoStep_Winding(benchmark::State& state) {
  Rings const& r = CountryRings();
  for (auto _ : state) {
    for (auto const& ring : r.cleaned) {
      benchmark::DoNotOptimize(DetectWindingOrder(
          [&ring](unsigned i) {
            return std::pair<double, double>(ring[i].GetLongitude().Get().Get(),
                                             ring[i].GetLatitude().Get().Get());
          },
          static_cast<unsigned>(ring.size())));
    }
  }
  Vertices(state, Countries().vertices);
}
BENCHMARK(BM_GeoStep_Winding)->Unit(benchmark::kMillisecond);

}  // namespace
