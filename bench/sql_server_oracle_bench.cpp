// SQL Server and Oracle readers and writers next to the WKB reader and
// writer on the same values, in the same binary.
//
// Data sets, prepared once outside the timed regions (arg 0-3):
//  0 countries50 planar: the 241 Natural Earth 1:50m countries (99,566
//    vertices), SRID 0;
//  1 countries50 geographic: the same as geographies (SRID 4326);
//  2 synthetic planar: 10^4 polygons of 64 vertices with random doubles
//    around random centres;
//  3 synthetic geographic: 10^4 counter-clockwise polygons of 64 vertices
//    within half a degree of random centres (edges below the densify step,
//    so every reader does the same work but WKB's winding test).
// Every benchmark reads or writes all values of its set per iteration and
// reports values as items and the bytes of its own form; the ratio to WKB is
// the ratio of the times. The geographic WKB reader also densifies and
// orients (countries50's long edges and clockwise rings), which the SQL
// Server and Oracle readers do not: on set 1 the WKB figure includes that
// work, on set 3 almost none of it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ostrel/ostrel.hpp"
#include "ostrel/serialization/oracle.hpp"
#include "ostrel/serialization/sql_server.hpp"
#include "ostrel/serialization/wkb.hpp"

namespace {

using namespace ostrel;
using Bytes = std::vector<std::uint8_t>;

struct Forms {
  std::vector<SpatialPtr> values;
  std::vector<Bytes> sql, ora, wkb;
  std::size_t sql_bytes = 0, ora_bytes = 0, wkb_bytes = 0;
  CoordinateType type = CoordinateType::Geometry;
  std::string error;
};

void Finish(Forms& f) {
  for (SpatialPtr const& v : f.values) {
    f.sql.push_back(SqlServerSerialization::Write(*v));
    f.ora.push_back(OracleSerialization::Write(*v));
    f.wkb.push_back(WkbSerialization::Write(*v));
    f.sql_bytes += f.sql.back().size();
    f.ora_bytes += f.ora.back().size();
    f.wkb_bytes += f.wkb.back().size();
  }
  if (!f.values.empty()) f.type = f.values.front()->GetCoordinateType();
}

Forms* Countries(CoordinateType type) {
  auto* f = new Forms;
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/countries50.wkt");
  std::string line;
  while (std::getline(in, line)) f->values.push_back(OWKT::From(line, type));
  if (f->values.size() != 241) f->error = "countries50.wkt not found";
  Finish(*f);
  return f;
}

Forms* Synthetic(bool geographic) {
  auto* f = new Forms;
  std::mt19937 rng(geographic ? 11 : 7);
  std::uniform_real_distribution<double> unit(0, 1);
  for (int i = 0; i < 10000; ++i) {
    double const cx = geographic ? -179 + 358 * unit(rng) : -1e5 + 2e5 * unit(rng);
    double const cy = geographic ? -80 + 160 * unit(rng) : -1e5 + 2e5 * unit(rng);
    double const r = geographic ? 0.1 + 0.4 * unit(rng) : 10 + 1000 * unit(rng);
    std::vector<std::pair<double, double>> ring;
    for (int k = 0; k < 63; ++k) {
      double const a = 2 * M_PI * k / 63, rr = r * (0.5 + 0.5 * unit(rng));
      ring.emplace_back(cx + rr * std::cos(a), cy + rr * std::sin(a));
    }
    ring.push_back(ring.front());
    if (geographic) {
      DefaultGeography::Points points;
      for (auto [x, y] : ring)
        points.push_back(GeographyCoordinate(Latitude(Degrees(y)), Longitude(Degrees(x))));
      f->values.push_back(
          MakeSpatial<DefaultGeography>(DefaultGeography::Points(), DefaultGeography::Lines(),
                                        DefaultGeography::Polys{DefaultGeography::Lines{points}}));
    } else {
      DefaultGeometry::Points points;
      for (auto [x, y] : ring) points.push_back(GeometryCoordinate(x, y));
      f->values.push_back(
          MakeSpatial<DefaultGeometry>(DefaultGeometry::Points(), DefaultGeometry::Lines(),
                                       DefaultGeometry::Polys{DefaultGeometry::Lines{points}}));
    }
  }
  Finish(*f);
  return f;
}

Forms const& Pick(std::int64_t which) {
  static Forms const* const sets[] = {Countries(CoordinateType::Geometry),
                                      Countries(CoordinateType::Geography), Synthetic(false),
                                      Synthetic(true)};
  return *sets[which];
}

bool Ready(benchmark::State& state, Forms const& f) {
  if (!f.error.empty()) state.SkipWithError(f.error.c_str());
  return f.error.empty();
}

enum Form { kSql, kOra, kWkb };

std::vector<Bytes> const& BytesOf(Forms const& f, Form form) {
  return form == kSql ? f.sql : form == kOra ? f.ora : f.wkb;
}
std::size_t SizeOf(Forms const& f, Form form) {
  return form == kSql ? f.sql_bytes : form == kOra ? f.ora_bytes : f.wkb_bytes;
}

void Read(benchmark::State& state, Form form) {
  Forms const& f = Pick(state.range(0));
  if (!Ready(state, f)) return;
  for (auto _ : state) {
    for (Bytes const& b : BytesOf(f, form)) {
      switch (form) {
        case kSql: benchmark::DoNotOptimize(SqlServerSerialization::Read(b)); break;
        case kOra: benchmark::DoNotOptimize(OracleSerialization::Read(b)); break;
        case kWkb: benchmark::DoNotOptimize(WkbSerialization::Read(b, f.type)); break;
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * SizeOf(f, form)));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * f.values.size()));
}

void Write(benchmark::State& state, Form form) {
  Forms const& f = Pick(state.range(0));
  if (!Ready(state, f)) return;
  for (auto _ : state) {
    for (SpatialPtr const& v : f.values) {
      switch (form) {
        case kSql: benchmark::DoNotOptimize(SqlServerSerialization::Write(*v)); break;
        case kOra: benchmark::DoNotOptimize(OracleSerialization::Write(*v)); break;
        case kWkb: benchmark::DoNotOptimize(WkbSerialization::Write(*v)); break;
      }
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * SizeOf(f, form)));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * f.values.size()));
}

void BM_SqlServerRead(benchmark::State& state) { Read(state, kSql); }
void BM_OracleRead(benchmark::State& state) { Read(state, kOra); }
void BM_WkbReadSameValues(benchmark::State& state) { Read(state, kWkb); }
void BM_SqlServerWrite(benchmark::State& state) { Write(state, kSql); }
void BM_OracleWrite(benchmark::State& state) { Write(state, kOra); }
void BM_WkbWriteSameValues(benchmark::State& state) { Write(state, kWkb); }

BENCHMARK(BM_SqlServerRead)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OracleRead)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WkbReadSameValues)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SqlServerWrite)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OracleWrite)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WkbWriteSameValues)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

}  // namespace
