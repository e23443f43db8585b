#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <thread>
#include <utility>
#include <vector>

#include "ostrel/ostrel.hpp"

namespace ostrel {
namespace {

// The hash function written out from its definition.
constexpr std::uint64_t kSeed = 0x4123EF1D38D7B16C;
constexpr std::uint64_t kM1 = 0x2127599BF4325C37;
constexpr std::uint64_t kM2 = 0x880355F21E6D1965;

constexpr std::uint64_t RefMix(std::uint64_t v) {
  std::uint64_t t = (v ^ (v >> 23)) * kM1;
  return t ^ (t >> 47);
}

struct RefHasher {
  std::uint64_t state = kSeed;
  void Add(std::uint64_t v) { state = (state ^ RefMix(v)) * kM2; }
  void AddOrderIndependent(std::uint64_t v) { state += RefMix((RefMix(v) ^ kSeed) * kM2); }
  std::uint64_t End() { return RefMix(std::exchange(state, kSeed)); }
};

std::uint64_t WordOf(double d) { return d == 0.0 ? 0 : std::bit_cast<std::uint64_t>(d); }
std::uint64_t WordOf(float x, float y) {
  std::uint64_t bx = x == 0.0f ? 0 : std::bit_cast<std::uint32_t>(x);
  std::uint64_t by = y == 0.0f ? 0 : std::bit_cast<std::uint32_t>(y);
  return by << 32 | bx;
}

TEST(Hasher, ConstantsAndFreshState) {
  EXPECT_EQ(Hasher::kSeed, kSeed);
  EXPECT_EQ(Hasher::kM1, kM1);
  EXPECT_EQ(Hasher::kM2, kM2);
  Hasher h;
  EXPECT_EQ(h.End(), RefMix(kSeed));
  EXPECT_EQ(h.End(), RefMix(kSeed));
  h.Add(1.0).Add(2.0f, 3.0f);
  EXPECT_NE(h.End(), RefMix(kSeed));
  EXPECT_EQ(h.End(), RefMix(kSeed));  // End() reset the state
}

TEST(Hasher, ToUint64) {
  struct Case {
    std::uint64_t actual, expected;
  } const cases[] = {
      {Hasher::ToUint64(1.0f, 0.0f), 0x000000003F800000},
      {Hasher::ToUint64(0.0f, 1.0f), 0x3F80000000000000},
      {Hasher::ToUint64(-0.0f, 1.0f), 0x3F80000000000000},
      {Hasher::ToUint64(-0.0f, -0.0f), 0},
      {Hasher::ToUint64(-2.0f, 1.5f), 0x3FC00000C0000000},
      {Hasher::ToUint64(0.0), 0},
      {Hasher::ToUint64(-0.0), 0},
      {Hasher::ToUint64(1.0), 0x3FF0000000000000},
      {Hasher::ToUint64(-1.0), 0xBFF0000000000000},
      {Hasher::ToUint64(std::bit_cast<double>(std::uint64_t{0xFFF8000000000000})),
       0xFFF8000000000000},
  };
  for (auto const& c : cases) EXPECT_EQ(c.actual, c.expected) << std::hex << c.expected;
}

TEST(Hasher, MatchesTheReferenceOnRandomSequences) {
  std::mt19937_64 rng(0x5EED0006);
  std::uniform_real_distribution<double> dist(-1e6, 1e6);
  for (int round = 0; round < 2000; ++round) {
    Hasher h;
    RefHasher ref;
    for (int i = 0, n = static_cast<int>(rng() % 12); i < n; ++i) {
      double d = rng() % 5 == 0 ? (rng() % 2 ? 0.0 : -0.0) : dist(rng);
      auto x = static_cast<float>(dist(rng)), y = rng() % 4 == 0 ? -0.0f : static_cast<float>(d);
      switch (rng() % 4) {
        case 0:
          h.Add(d);
          ref.Add(WordOf(d));
          break;
        case 1:
          h.Add(x, y);
          ref.Add(WordOf(x, y));
          break;
        case 2:
          h.AddOrderIndependent(d);
          ref.AddOrderIndependent(WordOf(d));
          break;
        default:
          h.AddOrderIndependent(x, y);
          ref.AddOrderIndependent(WordOf(x, y));
          break;
      }
    }
    ASSERT_EQ(h.End(), ref.End()) << round;
  }
}

TEST(Hasher, ZeroFoldingAndArgumentOrder) {
  EXPECT_EQ(Hasher().Add(0.0).End(), Hasher().Add(-0.0).End());
  EXPECT_EQ(Hasher().Add(-0.0f, 2.0f).End(), Hasher().Add(0.0f, 2.0f).End());
  EXPECT_NE(Hasher().Add(1.0f, 2.0f).End(), Hasher().Add(2.0f, 1.0f).End());
  EXPECT_NE(Hasher().Add(0.0f, 1.0f).End(), Hasher().Add(1.0f, 0.0f).End());
  EXPECT_NE(Hasher().Add(1.0).Add(2.0).End(), Hasher().Add(2.0).Add(1.0).End());
}

TEST(Hasher, OrderIndependentAddIsTheSumOfSingleWordHashes) {
  std::mt19937_64 rng(0x5EED0007);
  std::uniform_real_distribution<double> dist(-180.0, 180.0);
  std::vector<double> values(1000000);
  for (auto& v : values) v = dist(rng);
  values[0] = 0.0, values[1] = -0.0;
  Hasher forward;
  std::uint64_t sum = kSeed;
  for (double v : values) {
    forward.AddOrderIndependent(v);
    sum += Hasher().Add(v).End();  // what a fresh hasher gives for v alone
  }
  std::uint64_t expected = RefMix(sum);
  EXPECT_EQ(forward.End(), expected);
  std::shuffle(values.begin(), values.end(), rng);
  Hasher shuffled;
  for (double v : values) shuffled.AddOrderIndependent(v);
  EXPECT_EQ(shuffled.End(), expected);
  // Pairs of floats commute the same way.
  EXPECT_EQ(Hasher().AddOrderIndependent(1.0f, 2.0f).AddOrderIndependent(3.0f, -0.0f).End(),
            Hasher().AddOrderIndependent(3.0f, 0.0f).AddOrderIndependent(1.0f, 2.0f).End());
}

TEST(Hasher, CoreValuesFeedTheirWords) {
  using Bias = GeometryCoordinate::Bias;
  auto ref = [](std::vector<std::uint64_t> const& words) {
    RefHasher r;
    for (auto w : words) r.Add(w);
    return r.End();
  };
  Hasher h;
  EXPECT_EQ(SRID::WGS84().Hash(h).End(), ref({1, 4326}));
  EXPECT_EQ(Bias(2.0, -0.0).Hash(h).End(), ref({0x4000000000000000, 0}));
  EXPECT_EQ(GeometryCoordinate::Packed(1.0, 2.0, Bias()).Hash(h).End(), ref({0x400000003F800000}));
  EXPECT_EQ(GeographyCoordinate::Packed(90_lat, 180_lon).Hash(h).End(), ref({0x3FFFFFFF6C4E092F}));
}

TEST(AtomicUInt64, CopyMoveAndSwap) {
  AtomicUInt64 a(42), b(7), c(9), d(5);
  AtomicUInt64 copy(a);
  AtomicUInt64 moved(std::move(a));
  b = c;
  AtomicUInt64& alias = b;
  b = alias;  // self-assignment keeps the value
  d = std::move(c);
  struct Case {
    AtomicUInt64 const& cell;
    std::uint64_t expected;
  } const cases[] = {{copy, 42}, {moved, 42}, {a, 0}, {b, 9}, {c, 0}, {d, 9}};  // moved-from: 0
  for (auto const& k : cases) EXPECT_EQ(k.cell.load(), k.expected);
  d.store(3);
  b.swap(d);
  EXPECT_EQ(b.load(), 3u);
  EXPECT_EQ(d.load(), 9u);
  EXPECT_EQ(b.store(77, std::memory_order_relaxed), 77u);
  EXPECT_EQ(b.load(std::memory_order_relaxed), 77u);
  EXPECT_EQ(AtomicUInt64().load(), 0u);
}

TEST(AtomicUInt64, ConcurrentStoresAreNeverTorn) {
  // Each writer stores words whose two halves repeat a per-thread pattern; a
  // torn read would show different halves.
  AtomicUInt64 cell(0x0000000100000001);
  std::vector<char> torn(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&cell, &torn, t] {
      std::uint64_t half = 0x01010101u * static_cast<std::uint64_t>(t + 1);
      for (int i = 0; i < 20000; ++i) {
        cell.store(half << 32 | half);
        std::uint64_t seen = cell.load();
        if ((seen >> 32) != (seen & 0xFFFFFFFF)) torn[t] = 1;
      }
    });
  }
  for (auto& th : threads) th.join();
  for (char t : torn) EXPECT_FALSE(t);
}

}  // namespace
}  // namespace ostrel
