#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "ostrel/ostrel.hpp"

using namespace ostrel;

// The hash function written out from its definition, independent of the library's helpers.
constexpr std::uint64_t kSeed = 0x4123EF1D38D7B16C;
static constexpr std::uint64_t Mix(std::uint64_t v) {
  std::uint64_t t = (v ^ (v >> 23)) * 0x2127599BF4325C37;
  return t ^ (t >> 47);
}
static std::uint64_t State(std::vector<std::uint64_t> const& raw_words) {
  std::uint64_t state = kSeed;
  for (auto w : raw_words) state = (state ^ Mix(w)) * 0x880355F21E6D1965;
  return state;
}
static std::uint64_t Hash(std::vector<std::uint64_t> const& w) { return Mix(State(w)); }

// Each overload and core value feeds its documented word (zeros folded, y above x); End() resets;
// 10^6 order-independent adds sum the words' single hashes onto the seed, in any order.
TEST(Hasher, MatchesTheReference) {
  Hasher h;
  EXPECT_EQ(h.End(), Mix(kSeed));
  EXPECT_EQ(h.Add(-0.0).Add(1.5).Add(-0.0f, 3.0f).AddOrderIndependent(2.0f, -0.0f).End(),
            Mix(State({0, 0x3FF8000000000000, 0x4040000000000000}) + Hash({0x40000000})));
  EXPECT_EQ(Hasher::ToUint64(1.0f, 0.0f) + Hasher::ToUint64(-0.0f, 1.0f), 0x3F8000003F800000u);
  EXPECT_EQ(SRID::WGS84().Hash(h).End(), Hash({1, 4326}));
  EXPECT_EQ(GeometryCoordinate::Bias(2.0, -0.0).Hash(h).End(), Hash({0x4000000000000000, 0}));
  EXPECT_EQ(GeometryCoordinate::Packed(1.0, 2.0, {}).Hash(h).End(), Hash({0x400000003F800000}));
  EXPECT_EQ(GeographyCoordinate::Packed(90_lat, 180_lon).Hash(h).End(), Hash({0x3FFFFFFF6C4E092F}));
  std::mt19937_64 rng(0x5EED0007);
  std::uniform_real_distribution<double> dist(-180.0, 180.0);
  std::vector<double> values(1000000);
  for (auto& v : values) v = rng() % 64 == 0 ? (rng() % 2 ? 0.0 : -0.0) : dist(rng);
  std::uint64_t sum = kSeed;
  for (double v : values) h.AddOrderIndependent(v), sum += Hash({Hasher::ToUint64(v)});
  EXPECT_EQ(h.End(), Mix(sum));
  std::shuffle(values.begin(), values.end(), rng);
  for (double v : values) h.AddOrderIndependent(v);
  EXPECT_EQ(h.End(), Mix(sum));
}

// A copy copies, a moved-from cell holds 0, swap exchanges.
TEST(AtomicUInt64, CopyMoveAndSwap) {
  AtomicUInt64 a(42), moved(std::move(a)), copy(moved);
  copy.swap(a);
  EXPECT_TRUE(a.load() == 42 && copy.load() == 0 && moved.load() == 42);
}
