// The serialization primitives: byte cursors against bytes laid out by hand,
// the BufferReader's composed messages, the BiasTracker protocol (also under
// many threads, one value each), the longitude and latitude conversions, and
// the builders against independent checks: densified midpoints on the edge
// and within the step, cleaned rings without consecutive duplicates, ring
// orientation against the shoelace sign.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "ostrel/kernel/ring_cleaning.hpp"
#include "ostrel/serialization/bias_tracker.hpp"
#include "ostrel/serialization/buffer_reader.hpp"
#include "ostrel/serialization/geographic_input.hpp"
#include "ostrel/serialization/line_builder.hpp"
#include "ostrel/serialization/ring_builder.hpp"
#include "ostrel/serialization/stream_reader.hpp"
#include "ostrel/serialization/stream_writer.hpp"
#include "ostrel/serialization/wkt.hpp"
#include "serialization/serialization_support.hpp"

namespace ostrel {
namespace {

using namespace serialization_test;
using Bytes = std::vector<std::uint8_t>;
using Bias = GeometryCoordinate::Bias;

constexpr double kStep = 1.0637777479053722e-09;  // the grid step, radians

// ---------------------------------------------------------------- streams

TEST(StreamReader, ByteOrdersAndTruncation) {
  Bytes const bytes = Hex("01020304 0000000000000840 4008000000000000 FF");
  StreamReader le(bytes);
  EXPECT_EQ(le.ReadUInt32(), 0x04030201u);
  EXPECT_EQ(le.ReadDouble(), 3.0);
  le.SetByteOrder(0);
  EXPECT_TRUE(le.IsBigEndian());
  EXPECT_EQ(le.ReadDouble(), 3.0);
  EXPECT_EQ(le.ReadByte(), 0xFF);
  EXPECT_EQ(Throws<std::length_error>([&] { le.ReadByte(); }), "unexpected end of stream");

  StreamReader be(bytes);
  be.SetByteOrder(0);
  EXPECT_EQ(be.ReadUInt32(), 0x01020304u);
  for (std::uint8_t order : {1, 2, 0xFF}) {
    be.SetByteOrder(order);
    EXPECT_FALSE(be.IsBigEndian()) << int(order);
  }

  // A value is consumed whole or not at all, also in the middle of a double.
  for (std::size_t size = 0; size < 8; ++size) {
    Bytes const part(size, 0x40);
    StreamReader r(part);
    EXPECT_EQ(Throws<std::length_error>([&] { r.ReadDouble(); }), "unexpected end of stream");
    EXPECT_EQ(r.Remaining(), size);
    if (size < 4) {
      EXPECT_EQ(Throws<std::length_error>([&] { r.ReadUInt32(); }), "unexpected end of stream");
    }
  }
  // Counts are checked against what is left without overflowing.
  StreamReader r(bytes);
  EXPECT_NO_THROW(r.Require(1, 21));
  EXPECT_EQ(Throws<std::length_error>([&] { r.Require(2, 11); }), "unexpected end of stream");
  EXPECT_EQ(Throws<std::length_error>([&] { r.Require(0xFFFFFFFFFFFFFFFFull, 16); }),
            "unexpected end of stream");
}

TEST(StreamWriter, LittleEndianAlways) {
  StreamWriter w;
  w.WriteByte(7);
  w.WriteUInt32(0x01020304);
  w.WriteDouble(-2.5);
  w.WriteDouble(std::bit_cast<double>(std::uint64_t{0x7FF8000000000000}));
  EXPECT_EQ(w.Size(), 21u);
  EXPECT_EQ(ToHex(w.Take()),
            "07"
            "04030201"
            "00000000000004C0"
            "000000000000F87F");
  EXPECT_EQ(w.Size(), 0u);
  // Growth beyond a reservation keeps what was written.
  w.Reserve(2);
  for (std::uint32_t i = 0; i < 1000; ++i) w.WriteUInt32(i);
  Bytes const out = w.Take();
  ASSERT_EQ(out.size(), 4000u);
  StreamReader r(out);
  for (std::uint32_t i = 0; i < 1000; ++i) ASSERT_EQ(r.ReadUInt32(), i);
}

TEST(BufferReader, ReadsAndComposedMessages) {
  Bytes const bytes = Hex("FF FEFFFFFF 0000000000000840 01 0203");  // 16 bytes
  BufferReader r(bytes);
  EXPECT_EQ(r.ReadByte(), 0xFF);
  EXPECT_EQ(r.ReadInt32(), -2);  // unaligned at 1
  EXPECT_EQ(r.ReadDouble(), 3.0);
  EXPECT_EQ(r.GetPos(), 13u);
  EXPECT_EQ(Throws<std::out_of_range>([&] { r.ReadUInt32(); }),
            "overflow; len:16, pos:13, newPos:17");
  EXPECT_EQ(r.GetPos(), 13u);
  r.SeekTo(1);
  EXPECT_EQ(r.ReadUInt32(), 0xFFFFFFFEu);
  EXPECT_EQ(Throws<std::out_of_range>([&] { r.SeekTo(17); }), "overflow; len:16, pos:5, newPos:17");
  r.SeekTo(16);
  EXPECT_EQ(Throws<std::out_of_range>([&] { r.ReadByte(); }),
            "overflow; len:16, pos:16, newPos:17");

  // The example of the documentation: 10 bytes, pos 8, a 4-byte value.
  Bytes const ten(10, 0);
  BufferReader t(ten);
  t.Skip(8);
  EXPECT_EQ(Throws<std::out_of_range>([&] { t.ReadUInt32(); }),
            "overflow; len:10, pos:8, newPos:12");
  EXPECT_EQ(Throws<std::out_of_range>([&] { t.Skip(4294967295ull); }),
            "size_t overflow; (pos:8 + amt:4294967295) > max:4294967295");
  EXPECT_EQ(Throws<std::out_of_range>([&] { t.Skip(3); }), "overflow; len:10, pos:8, newPos:11");
  t.Skip(2);
  EXPECT_EQ(t.GetPos(), 10u);
  EXPECT_EQ(Throws<std::out_of_range>([] { BufferReader::CheckIndex(5, 5); }), "pos:5 >= size:5");
  EXPECT_NO_THROW(BufferReader::CheckIndex(4, 5));
}

// ---------------------------------------------------------------- bias tracker

TEST(BiasTracker, Protocol) {
  BiasTracker tracker;  // a private one: the thread's own is left alone
  using S = BiasTracker::State;
  Bias target(9, 9);
  EXPECT_EQ(Throws<std::runtime_error>([&] { tracker.Get(1, 2); }),
            "bias tracker is not activated");
  tracker.Activate(&target);
  EXPECT_EQ(tracker.GetState(), S::Armed);
  EXPECT_EQ(Throws<std::runtime_error>([&] { tracker.Activate(&target); }),
            "bias tracker was not reset after use");
  EXPECT_EQ(tracker.Get(1.5, -2.25), Bias(1.5, -2.25));
  EXPECT_EQ(tracker.GetState(), S::Set);
  EXPECT_EQ(tracker.Get(100, 200), Bias(1.5, -2.25));  // the first coordinate decides
  EXPECT_EQ(Throws<std::runtime_error>([&] { tracker.Activate(&target); }),
            "bias tracker was not reset after use");
  tracker.Deactivate();
  EXPECT_EQ(target, Bias(1.5, -2.25));
  EXPECT_EQ(tracker.GetState(), S::Inactive);
  EXPECT_EQ(tracker.GetBias(), Bias::None());

  // A read without coordinates delivers Bias::None().
  tracker.Activate(&target);
  tracker.Deactivate();
  EXPECT_EQ(target, Bias::None());

  // Fixed: every activation keeps the fixed bias, until Unfix.
  tracker.Fix(Bias(7, 8));
  for (int i = 0; i < 2; ++i) {
    tracker.Activate(&target);
    EXPECT_EQ(tracker.Get(1, 2), Bias(7, 8));
    tracker.Deactivate();
    EXPECT_EQ(target, Bias(7, 8));
    EXPECT_EQ(tracker.GetState(), S::Fixed);
  }
  tracker.Unfix();
  EXPECT_EQ(tracker.GetState(), S::Inactive);

  // The scope deactivates on the way out of an exception; a scope whose
  // activation fails leaves the active read alone.
  Bias outer, inner;
  try {
    BiasTracker::Scope scope(tracker, outer);
    tracker.Get(3, 4);
    EXPECT_EQ(Throws<std::runtime_error>([&] { BiasTracker::Scope nested(tracker, inner); }),
              "bias tracker was not reset after use");
    EXPECT_EQ(tracker.GetState(), S::Set);
    throw std::logic_error("abandon the read");
  } catch (std::logic_error const&) {
  }
  EXPECT_EQ(outer, Bias(3, 4));
  EXPECT_EQ(tracker.GetState(), S::Inactive);
}

TEST(BiasTracker, ReadersLeaveItInactiveWhateverHappens) {
  BiasTracker& tracker = BiasTracker::ForThisThread();
  EXPECT_EQ(&tracker, &BiasTracker::ForThisThread());
  auto const check = [&] { EXPECT_EQ(tracker.GetState(), BiasTracker::State::Inactive); };
  WktSerialization::Read("LINESTRING(5 6, 7 8)", CoordinateType::Geometry);
  check();
  EXPECT_THROW(WktSerialization::Read("LINESTRING(5 6)", CoordinateType::Geometry),
               std::invalid_argument);
  check();
  WktSerialization::Read("LINESTRING(5 6, 7 8) x", CoordinateType::Geometry);
  check();
  // A fixed bias is kept by a reader, and given to its value.
  tracker.Fix(Bias(1, 1));
  auto const v = WktSerialization::Read("POINT(5 6)", CoordinateType::Geometry);
  EXPECT_EQ(v->AsGeometry().GetBias(), Bias(1, 1));
  EXPECT_EQ(tracker.GetState(), BiasTracker::State::Fixed);
  tracker.Unfix();
}

// Many threads read at once, each its own values: every value's bias is
// its own first coordinate, never another thread's.
TEST(BiasTracker, EachThreadsValueGetsItsOwnBias) {
  constexpr int kThreads = 8, kReads = 300;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &wrong] {
      for (int i = 0; i < kReads; ++i) {
        double const x = t * 1000 + i, y = -x;
        std::string const text = "MULTIPOINT(" + std::to_string(x) + " " + std::to_string(y) +
                                 ", 0.5 0.25, " + std::to_string(t) + " 3)";
        auto const v = WktSerialization::Read(text, CoordinateType::Geometry);
        Geometry const& g = v->AsGeometry();
        if (g.GetBias() != Bias(x, y)) ++wrong;
        Model const m = ModelOf(g);
        if (m.points.size() != 3 || m.points[1] != XY(0.5, 0.25) || m.points[0] != XY(x, y))
          ++wrong;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(wrong.load(), 0);
}

// ---------------------------------------------------------------- conversions

TEST(GeographicInput, WrapAndClamp) {
  struct {
    double in, out;
  } const wraps[] = {{-190, 170}, {190, -170}, {540, -180}, {181, -179}, {-180, -180},
                     {180, 180},  {0, 0},      {-540, 180}, {725, 5},    {-0.0, -0.0}};
  for (auto const& w : wraps) EXPECT_EQ(WrapLongitude(w.in), w.out) << w.in;
  EXPECT_TRUE(std::isnan(WrapLongitude(NAN)));
  EXPECT_TRUE(std::isnan(WrapLongitude(INFINITY)));

  struct {
    double in, out;
  } const clamps[] = {{90.000005, 90}, {-90.000005, -90}, {90, 90},
                      {-90, -90},      {45.5, 45.5},      {90.0000099, 90}};
  for (auto const& c : clamps) EXPECT_EQ(ClampLatitude(c.in), c.out) << c.in;
  EXPECT_TRUE(std::isnan(ClampLatitude(NAN)));
  for (double bad : {90.0001, -90.0001, 90.00001, -90.00001, 1e300, -HUGE_VAL}) {
    EXPECT_EQ(Throws<std::out_of_range>([bad] { ClampLatitude(bad); }),
              "Latitude must not exceed +/- 90")
        << bad;
  }
  // A clamped pole is exactly the pole of the grid (its radians pass the
  // latitude check).
  LineBuilder<GeographyCoordinate> b(2, false, false);
  b.AddGeographic(10, 90.000009);
  b.AddGeographic(181, -90.000009);
  auto const line = b.FinishLine();
  EXPECT_EQ(GeographyCoordinate(line[0]).GetLatitude().Get().Get(), 1.5707963267948966);
  EXPECT_EQ(GeographyCoordinate(line[1]).GetLatitude().Get().Get(), -1.5707963267948966);
  EXPECT_NEAR(Degrees(GeographyCoordinate(line[1]).GetLongitude().Get()).Get(), -179, 1e-7);
}

// ---------------------------------------------------------------- builders

TEST(Builders, CountsClosingAndFailures) {
  EXPECT_NO_THROW(LineBuilder<GeographyCoordinate>::CheckCount(268435455));
  EXPECT_EQ(
      Throws<std::length_error>([] { LineBuilder<GeometryCoordinate>(268435456, false, false); }),
      "vector<T> too long");
  EXPECT_EQ(
      Throws<std::length_error>([] { RingBuilder<GeographyCoordinate>(1ull << 40, true, true); }),
      "vector<T> too long");

  LineBuilder<GeometryCoordinate> line(1, false, false);
  line.AddPlanar(GeometryCoordinate(1, 2));
  EXPECT_EQ(Throws<std::invalid_argument>([&] { line.FinishLine(); }),
            "line has less than 2 coordinates");

  RingBuilder<GeometryCoordinate> ring(4, false, false);
  for (XY p : {XY(0, 0), XY(1, 0), XY(1, 1)}) ring.AddPlanar(GeometryCoordinate(p.first, p.second));
  EXPECT_EQ(ring.FinishPlanarRing().size(), 4u);  // closed
  EXPECT_TRUE(ring.Empty());
  for (XY p : {XY(0, 0), XY(1, 0), XY(0, 0)}) ring.AddPlanar(GeometryCoordinate(p.first, p.second));
  EXPECT_EQ(Throws<std::invalid_argument>([&] { ring.FinishPlanarRing(); }),
            "ring has less than 4 coordinates");
  EXPECT_EQ(Throws<std::invalid_argument>([&] { ring.FinishPlanarRing(); }),
            "ring has less than 4 coordinates");  // the failed ring was kept: still 3

  RingBuilder<GeographyCoordinate> geo(0, true, true);
  EXPECT_EQ(Throws<std::invalid_argument>([&] { geo.FinishGeographicRing(false); }),
            "ring has less than 4 coordinates");
  geo.AddGeographic(0, 0);
  geo.AddGeographic(1, 0);
  EXPECT_EQ(Throws<std::out_of_range>([&] { geo.AddGeographic(1, 91); }),
            "Latitude must not exceed +/- 90");
}

// The edge values are the raw-plane directions, float-rounded; midpoints of
// a densified edge carry their edge's value; Close adds the closing edge's.
TEST(Builders, EdgeValues) {
  RingBuilder<GeographyCoordinate> ring(8, true, false);
  XY const pts[] = {{10, 10}, {10.05, 10}, {10.05, 10.05}, {10.05, 10.05}, {10, 10.5}};
  for (XY p : pts) ring.AddGeographic(p.first, p.second);
  ring.Close();
  auto const& e = ring.GetEdgeValues();
  auto const& c = ring.GetCoordinates();
  ASSERT_EQ(e.size() + 1, c.size());
  auto f = [](double dy, double dx) { return double(float(std::atan2(dy, dx))); };
  std::vector<double> expected = {0.0, f(0.05, 0), 0.0};
  // The edge (10.05, 10.05) -> (10, 10.5) spans 0.45 degrees of latitude:
  // densified into 8 pieces of at most 0.0016 rad (0.0917 degrees).
  for (int i = 0; i < 8; ++i) expected.push_back(f(0.45, -0.05));
  expected.push_back(f(-0.5, 0));  // the closing edge, added by Close
  ASSERT_EQ(e.size(), expected.size());
  for (std::size_t i = 0; i < e.size(); ++i) EXPECT_EQ(e[i], expected[i]) << i;
}

double Lat(GeographyCoordinate const& c) { return c.GetLatitude().Get().Get(); }
double Lon(GeographyCoordinate const& c) { return c.GetLongitude().Get().Get(); }

// Densified edges: the midpoints lie on the edge (linear in latitude and in
// longitude, the longitude unwrapped across the antimeridian when the ends
// lie in different zones), come in order, and every piece is within the
// step (latitude difference, and longitude difference scaled by the cosine
// band factor of its start) up to the grid.
TEST(Builders, DensifiedEdgesLieOnTheEdgeWithinTheStep) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<double> u(0, 1);
  double const r = kDensifyTolerance;
  int edges_checked = 0, midpoints = 0;
  for (int trial = 0; trial < 400; ++trial) {
    double const x1 = -200 + 400 * u(rng), y1 = -85 + 170 * u(rng);
    double const span = trial % 4 == 0 ? 60 : 8;
    double const x2 = x1 + span * (u(rng) - 0.5),
                 y2 = std::clamp(y1 + span * (u(rng) - 0.5), -89.0, 89.0);
    LineBuilder<GeographyCoordinate> b(2, true, false);
    b.AddGeographic(x1, y1);
    b.AddGeographic(x2, y2);
    auto const& c = b.GetCoordinates();
    ASSERT_GE(c.size(), 2u);
    bool const same_side = LongitudeZone(x1) == LongitudeZone(x2);
    GeographyCoordinate const a = c.front(), z = c.back();
    double dlon = Lon(z) - Lon(a);
    if (!same_side) dlon = Radians(dlon).Normalize().Get();
    double const dlat = Lat(z) - Lat(a);
    double previous_t = 0;
    for (std::size_t i = 1; i < c.size(); ++i) {
      // Position along the edge by the larger of the two differences.
      double lon = Lon(c[i]) - Lon(a);
      if (!same_side) lon = Radians(lon).Normalize().Get();
      double const t = std::fabs(dlat) > std::fabs(dlon) ? (Lat(c[i]) - Lat(a)) / dlat : lon / dlon;
      ASSERT_GT(t, previous_t) << trial;
      EXPECT_NEAR(Lat(a) + t * dlat, Lat(c[i]), 4 * kStep) << trial << " " << i;
      EXPECT_NEAR(t * dlon, lon, 4 * kStep) << trial << " " << i;
      previous_t = t;
      // The piece ending here.
      double const plat = Lat(c[i]) - Lat(c[i - 1]);
      double plon = Lon(c[i]) - Lon(c[i - 1]);
      if (!same_side) plon = Radians(plon).Normalize().Get();
      plon *= PathNormalizer::BandFactor(Lat(c[i - 1]), same_side);
      EXPECT_LE(std::fabs(plat), r + 4 * kStep) << trial;
      EXPECT_LE(std::fabs(plon), r + 4 * kStep) << trial;
    }
    EXPECT_NEAR(previous_t, 1.0, 1e-12);
    midpoints += static_cast<int>(c.size()) - 2;
    ++edges_checked;
  }
  EXPECT_EQ(edges_checked, 400);
  EXPECT_GT(midpoints, 400 * 20);  // the check above saw real subdivisions
  // Without densify nothing is added.
  LineBuilder<GeographyCoordinate> plain(2, false, false);
  plain.AddGeographic(0, 0);
  plain.AddGeographic(50, 50);
  EXPECT_EQ(plain.Size(), 2u);
}

// Twice the signed area in (longitude, latitude): positive counter-
// clockwise, that is interior-left.
double Shoelace(std::vector<GeographyCoordinate> const& ring) {
  double s = 0;
  for (std::size_t i = 0; i + 1 < ring.size(); ++i) {
    s += Lon(ring[i]) * Lat(ring[i + 1]) - Lon(ring[i + 1]) * Lat(ring[i]);
  }
  return s;
}

// Random star rings in either orientation, with duplicated vertices and
// near-duplicates a few grid steps apart: the result is closed, has no
// consecutive duplicates, keeps every distinct input vertex, and runs
// counter-clockwise as an exterior ring and clockwise as a hole.
TEST(Builders, CleanedOrientedRings) {
  Generator gen(17, true);
  for (int trial = 0; trial < 500; ++trial) {
    XY const centre = gen.Centre();
    Path ring = gen.Ring(centre, gen.Radius(), gen.Int(0, 1) == 1);
    Path input;
    std::size_t near = 0;
    for (std::size_t i = 0; i < ring.size(); ++i) {
      input.push_back(ring[i]);
      if (i + 1 < ring.size() && gen.Int(0, 3) == 0) input.push_back(ring[i]);  // duplicate
      if (i + 1 < ring.size() && gen.Int(0, 5) == 0) {
        // A few grid steps along the edge to the next vertex (off it, the
        // ring would zigzag and no longer be simple).
        double const t = 1e-7 / std::hypot(ring[i + 1].first - ring[i].first,
                                           ring[i + 1].second - ring[i].second);
        input.push_back({ring[i].first + t * (ring[i + 1].first - ring[i].first),
                         ring[i].second + t * (ring[i + 1].second - ring[i].second)});
        ++near;
      }
    }
    if (gen.Int(0, 1) == 1) input.pop_back();  // left open: closed by the builder
    bool const hole = trial % 2 == 1;
    RingBuilder<GeographyCoordinate> b(input.size(), false, true);
    for (XY p : input) b.AddGeographic(p.first, p.second);
    auto const packed = b.FinishGeographicRing(hole);
    std::vector<GeographyCoordinate> out(packed.begin(), packed.end());
    ASSERT_GE(out.size(), 4u);
    EXPECT_EQ(out.front(), out.back());
    for (std::size_t i = 1; i < out.size(); ++i) EXPECT_NE(out[i], out[i - 1]) << trial << " " << i;
    // Exact duplicates go; a near-duplicate goes only where snapping
    // reversed a turn, so at most those stay.
    EXPECT_GE(out.size(), ring.size()) << trial;
    EXPECT_LE(out.size(), ring.size() + near) << trial;
    double const area = Shoelace(out);
    EXPECT_TRUE(hole ? area < 0 : area > 0) << trial;
    // Every vertex of the ring is still there (to within the merge distance).
    for (XY p : ring) {
      GeographyCoordinate const want{Latitude(Degrees(p.second)), Longitude(Degrees(p.first))};
      bool found = false;
      for (auto const& c : out) {
        found = found || (std::fabs(Lat(c) - Lat(want)) <= 30 * kStep &&
                          std::fabs(Lon(c) - Lon(want)) <= 30 * kStep);
      }
      EXPECT_TRUE(found) << trial;
    }
  }
}

// A ring that collapses under snapping is rebuilt, not rejected; a ring with
// a spike loses it.
TEST(Builders, CollapsedRingsAndSpikes) {
  RingBuilder<GeographyCoordinate> b(8, false, true);
  for (XY p : {XY(10, 10), XY(10 + 1e-9, 10), XY(10, 10 + 1e-9), XY(10, 10)}) {
    b.AddGeographic(p.first, p.second);
  }
  auto const packed = b.FinishGeographicRing(false);
  std::vector<GeographyCoordinate> out(packed.begin(), packed.end());
  ASSERT_EQ(out.size(), 4u);
  EXPECT_GT(Shoelace(out), 0);

  // 0 0 -> 1 0 -> 1 1 -> 1 2 -> 1 1 (spike back) -> 0 1 -> 0 0
  for (XY p : {XY(0, 0), XY(0.01, 0), XY(0.01, 0.01), XY(0.01, 0.02), XY(0.01, 0.01), XY(0, 0.01),
               XY(0, 0)}) {
    b.AddGeographic(p.first, p.second);
  }
  auto const cleaned = b.FinishGeographicRing(false);
  EXPECT_EQ(cleaned.size(), 5u);
}

// Densifying makes long spikes cheap to ask for (an input edge out along a
// meridian or the equator and back gives up to 4095 midpoints each way), so a
// clean-up that removed a spike one vertex per pass over the ring would let a
// few kilobytes of hostile WKB or WKT keep a geographic reader busy for hours.
// This measures the growth directly on the clean-up: a spike eight times as
// long must cost well under the 64 times a quadratic pass would (the best of
// five runs, in thread CPU time, so a busy machine does not fail it).

// CPU time of the calling thread: unlike the wall clock, it does not grow
// when other processes share the cores.
double ThreadSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double CleanUpSeconds(int spike) {
  auto point = [](double lat, double lon) {
    return GeographyCoordinate(Latitude(Degrees(lat)), Longitude(Degrees(lon)));
  };
  double best = 1e300;
  for (int repeat = 0; repeat < 5; ++repeat) {
    std::vector<GeographyCoordinate> ring{point(0, 0)};
    for (int i = 1; i <= spike; ++i) ring.push_back(point(0, i * 0.01));
    for (int i = spike - 1; i >= 0; --i) ring.push_back(point(0, i * 0.01));
    for (XY p : {XY(-1, -1), XY(1, -1), XY(0, 0)}) ring.push_back(point(p.first, p.second));
    double const start = ThreadSeconds();
    CleanRingAndRemoveIntroducedSelfIntersections(ring, [](unsigned) { return Radians(0.0); });
    best = std::min(best, ThreadSeconds() - start);
    EXPECT_EQ(ring.size(), 4u);
  }
  return best;
}

TEST(KernelCleanUp, SpikeRemovalIsLinearInTheSpikesLength) {
  double const small = CleanUpSeconds(500), large = CleanUpSeconds(4000);
  EXPECT_LT(large / small, 24.0) << "500 vertices: " << small << " s, 4000 vertices: " << large
                                 << " s";
}

}  // namespace
}  // namespace ostrel
