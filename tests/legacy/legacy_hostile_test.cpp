// Hostile streams: every failure of the reader's table with its exception
// type and message; every prefix and many single-byte corruptions of valid
// streams (each either reads or throws a documented exception, and a value
// that reads also decodes and hashes); counts that promise more than the
// stream holds fail at once, without allocating for the promise.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "legacy/legacy_support.hpp"
#include "ostrel/text/owkt.hpp"
#include "support/counting_resource.hpp"

namespace ostrel {
namespace {

namespace LS = LegacySerialization;
using test_support::Bytes;
using test_support::CountingMemoryResource;
using test_support::RandomContent;
using test_support::ScopedMemoryResource;
using test_support::Stream;
using test_support::ToVector;

// The outcome of reading: "ok <kind> <shape>" or "<exception>: <message>".
// Exceptions other than the documented ones escape and fail the test.
std::string Outcome(std::vector<std::uint8_t> const& bytes) {
  try {
    SpatialPtr const value = LS::Read(bytes);
    // A value that reads must decode: hashing visits every line and ring.
    value->GetHash();
    OWKT::To(*value);
    return "ok " + to_string(value->GetCoordinateType()) + " " + to_string(value->GetShapeType());
  } catch (std::length_error const& e) {
    return std::string("length: ") + e.what();
  } catch (std::out_of_range const& e) {
    return std::string("range: ") + e.what();
  } catch (std::invalid_argument const& e) {
    return std::string("invalid: ") + e.what();
  } catch (std::logic_error const& e) {
    return std::string("logic: ") + e.what();
  }
}

constexpr int P = 0, Z = 2;  // serializer types: plain, compressed

TEST(LegacyHostile, EveryFailureOfTheTable) {
  Bytes const pt = Bytes().F64(0.5).F64(0.25);
  Bytes const list = Bytes().Section(Bytes{1, 2, 4});  // one compressed coordinate
  struct Case {
    std::vector<std::uint8_t> bytes;
    char const* outcome;
  };
  // clang-format off
  Case const cases[] = {
      {Stream(P, 0, 1, {}, pt), "ok Geometry Point"},
      {Stream(P, 1, 1, {}, pt), "ok Geography Point"},
      {Stream(P, 2, 1, {}, pt), "ok Unknown Empty"},  // category 2 reads as Unknown
      {Stream(Z, 2, 7, {}, Bytes{0}), "ok Unknown Empty"},
      {{0x07, 0xAA, 0, 0, 0, 0, 0, 0}, "length: unexpected end of stream"},
      {{0x07, 0xAA, 0x02, 0, 0, 0, 0, 0, 1}, "length: unexpected end of stream"},  // no precision
      {Stream(P, 0, 1, {}, Bytes().F64(1)), "length: unexpected end of stream"},
      {{0x7A, 0xA0, 0, 0, 0, 0, 0, 0, 1}, "invalid: not a spatial stream"},
      {{0x07, 0xAA, 0, 0, 0, 0, 0, 3, 1}, "invalid: corrupt spatial stream"},
      {Stream(1, 0, 1, {}, pt), "invalid: unknown serializer type"},
      {Stream(3, 2, 1, {}, pt), "invalid: unknown serializer type"},
      {Stream(P, 0, 0, {}, pt), "logic: unknown spatial type"},
      {Stream(P, 0, 8, {}, pt), "logic: unknown spatial type"},
      {Stream(P, 0, 9, {}, pt), "logic: unknown spatial type"},   // reads as type 0
      {Stream(P, 2, 200, {}, pt), "logic: unknown spatial type"},
      {Stream(Z, 1, 0, {}, pt), "logic: unknown spatial type"},   // category 2: no precision byte
      // Mixed items: multis rejected, 0/8/9 unknown, above 9 an empty item.
      {Stream(P, 0, 7, {}, Bytes().U32(1).U8(4)), "logic: spatial stream can't have multis within mixed"},
      {Stream(P, 0, 7, {}, Bytes().U32(1).U8(7)), "logic: spatial stream can't have multis within mixed"},
      {Stream(Z, 0, 7, 0, Bytes().U8(0).U8(1).U8(5)), "logic: spatial stream can't have multis within mixed"},
      {Stream(P, 0, 7, {}, Bytes().U32(1).U8(0)), "logic: unknown spatial type"},
      {Stream(P, 0, 7, {}, Bytes().U32(1).U8(8)), "logic: unknown spatial type"},
      {Stream(Z, 0, 7, 0, Bytes().U8(0).U8(1).U8(9)), "logic: unknown spatial type"},
      {Stream(P, 0, 7, {}, Bytes().U32(3).U8(10).U8(255).U8(1).Add(pt)), "ok Geometry Mixed"},
      {Stream(Z, 1, 7, 3, Bytes().U8(0).U8(2).U8(77).U8(1).U8(0).U8(0)), "ok Geography Mixed"},
      // A geographic latitude is range-checked: points at once, lines too.
      {Stream(P, 1, 1, {}, Bytes().F64(1.6).F64(0)), "range: Latitude must not exceed +/- pi/2"},
      {Stream(P, 1, 2, {}, Bytes().U32(2).F64(0).F64(0).F64(-1.6).F64(0)),
       "range: Latitude must not exceed +/- pi/2"},
      {Stream(P, 1, 1, {}, Bytes().F64(1.5707963267948966).F64(1e300)), "ok Geography Point"},
      // Compressed: clamped within 2 steps beyond the pole, refused beyond that.
      {Stream(Z, 1, 1, 0, Bytes().U8(0).Zigzag(3).Zigzag(0)), "ok Geography Point"},
      {Stream(Z, 1, 1, 0, Bytes().U8(0).Zigzag(4).Zigzag(0)), "range: Latitude must not exceed +/- pi/2"},
      {Stream(Z, 1, 1, 1, Bytes().U8(0).Zigzag(16).Zigzag(32)), "ok Geography Point"},
      {Stream(Z, 1, 1, 1, Bytes().U8(0).Zigzag(-16).Zigzag(-32)), "ok Geography Point"},
      {Stream(Z, 1, 1, 1, Bytes().U8(0).Zigzag(18).Zigzag(0)), "range: Latitude must not exceed +/- pi/2"},
      // Sections.
      {Stream(Z, 0, 2, 0, Bytes().U8(0).Section(Bytes{1, 2, 4, 0})), "logic: malformed section"},
      {Stream(Z, 0, 2, 0, Bytes().U8(0).Section(Bytes{2, 2, 4})), "length: unexpected end of stream"},
      {Stream(Z, 0, 2, 0, Bytes().U8(0).U8(9).U8(1)), "length: unexpected end of stream"},
      {Stream(Z, 0, 2, 0, Bytes().Section(Bytes().Section(Bytes{4, 0, 0, 0, 0})).Add(list)),
       "logic: malformed section"},
      {Stream(Z, 0, 2, 0, Bytes().Section(Bytes().Section(Bytes{3, 0, 0, 0, 0, 0})).Add(list)),
       "logic: malformed section"},
      {Stream(Z, 0, 2, 0, Bytes().Section(Bytes().Section(Bytes{3, 0, 0, 0, 0}).U8(0)).Add(list)),
       "logic: malformed section"},
      {Stream(Z, 0, 2, 0, Bytes().Section(Bytes().Section(Bytes{3, 0, 0, 0})).Add(list)),
       "length: unexpected end of stream"},
      {Stream(Z, 0, 2, 0, Bytes().Section(Bytes().Section(Bytes{3, 0, 0, 0, 0})).Add(list)),
       "ok Geometry LineString"},
      // Varints: ten bytes at most, the tenth carrying only the 64th bit.
      {Stream(Z, 0, 1, 0, Bytes{0, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0}),
       "logic: varint longer than 10 bytes"},
      {Stream(Z, 0, 1, 0, Bytes{0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x02}),
       "logic: varint overflows 64 bits"},
      {Stream(Z, 0, 1, 0, Bytes{0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}),
       "logic: quantised value out of range"},
      {Stream(Z, 0, 1, 0, Bytes{0, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00, 0}),
       "ok Geometry Point"},  // a long zero is still zero
      {Stream(Z, 0, 1, 0, Bytes().U8(0).Varint((std::uint64_t{1} << 54) - 1).U8(0)),
       "logic: quantised value out of range"},
      {Stream(Z, 0, 1, 0, Bytes().U8(0).Varint((std::uint64_t{1} << 54) - 2).U8(0)),
       "ok Geometry Point"},  // 2^53 - 1 itself
      // A planar position beyond the grid's range when snapped.
      {Stream(Z, 0, 2, 0, Bytes().U8(0).Section(Bytes().U8(2).Zigzag(9007199254740991).U8(0)
                                                         .Zigzag(9007199254740991).U8(0))),
       "invalid: x is too large to round via double to uint64_t"},
      // Rings: an encoded count of 0 is an empty ring.
      {Stream(Z, 0, 3, 0, Bytes().U8(0).U8(1).Section(Bytes{0})), "ok Geometry Polygon"},
  };
  // clang-format on
  for (Case const& c : cases) {
    EXPECT_EQ(Outcome(c.bytes), c.outcome) << ::testing::PrintToString(c.bytes);
  }
}

// Counts far beyond what the stream holds fail at once with "unexpected
// end of stream", and the reader allocates nothing in proportion to them.
TEST(LegacyHostile, HugeCountsFailAtOnceWithoutAllocating) {
  std::vector<std::vector<std::uint8_t>> const streams = {
      Stream(P, 0, 4, {}, Bytes().U32(0xFFFFFFFF).F64(1).F64(2)),  // multi-point
      Stream(P, 1, 2, {}, Bytes().U32(0xFFFFFFFF).F64(0).F64(0)),  // line
      Stream(P, 0, 3, {}, Bytes().U32(0xFFFFFFFF).U32(0)),         // rings
      Stream(P, 0, 5, {}, Bytes().U32(0xFFFFFFFF).U32(0)),         // lines
      Stream(P, 0, 6, {}, Bytes().U32(0xFFFFFFFF).U32(0)),         // polygons
      Stream(P, 0, 7, {}, Bytes().U32(0xFFFFFFFF).U8(1)),          // mixed items
      Stream(P, 0, 6, {}, Bytes().U32(2).U32(0x40000000).U32(0)),  // rings of a member
      Stream(Z, 0, 4, 0, Bytes().U8(0).Section(Bytes().Varint(1ULL << 40).U8(0).U8(0))),
      Stream(Z, 0, 3, 0, Bytes().U8(0).Varint(1ULL << 62).U8(0)),
      Stream(Z, 0, 5, 0, Bytes().U8(0).Varint(~0ULL).U8(0)),
      Stream(Z, 0, 6, 0, Bytes().U8(0).Varint(1ULL << 33).U8(0)),
      Stream(Z, 0, 7, 0, Bytes().U8(0).Varint(1ULL << 50).U8(10)),
      Stream(Z, 1, 2, 9, Bytes().U8(0).U8(0x10).Varint(1ULL << 60)),  // a section of 16, short
      Stream(Z, 1, 2, 9, Bytes().U8(0).Section(Bytes().Varint(0xFFFFFFFF).U8(0).U8(0))),
  };
  CountingMemoryResource counting;
  for (auto const& bytes : streams) {
    std::size_t const before = counting.Allocations();
    {
      ScopedMemoryResource scope(&counting);
      EXPECT_EQ(Outcome(bytes), "length: unexpected end of stream")
          << ::testing::PrintToString(bytes);
    }
    EXPECT_LT(counting.Allocations() - before, 4u) << ::testing::PrintToString(bytes);
    EXPECT_TRUE(counting.Balanced());
  }
}

// Streams of every shape type in both encodings and both families, each
// cut at every length and with single bytes changed: reading either succeeds
// or throws a documented exception; what reads also decodes and hashes.
// Allocation stays within a bound proportional to the input.
template <class G>
void Corrupted(std::uint64_t seed) {
  RandomContent<G> random(seed);
  std::mt19937_64& rng = random.Engine();
  CountingMemoryResource counting;
  int outcomes_ok = 0;
  int outcomes_failed = 0;
  for (ShapeType type : test_support::kShapeTypes) {
    for (int serializer : {P, Z}) {
      auto const precision = static_cast<std::int8_t>(serializer == Z ? 6 : 0);
      auto const c = random.Make(type, serializer == Z ? std::optional(precision) : std::nullopt);
      test_support::DefaultOf<G> const value(c.points, c.lines, c.polys);
      std::vector<std::uint8_t> const valid =
          ToVector(LS::Write(value, static_cast<std::uint8_t>(serializer), precision));
      ASSERT_EQ(Outcome(valid).substr(0, 2), "ok");
      auto check = [&](std::vector<std::uint8_t> const& bytes) {
        std::size_t const before = counting.LiveBytes();
        {
          ScopedMemoryResource scope(&counting);
          std::string const outcome = Outcome(bytes);
          (outcome.substr(0, 2) == "ok" ? outcomes_ok : outcomes_failed) += 1;
        }
        EXPECT_EQ(counting.LiveBytes(), before);
      };
      for (std::size_t n = 0; n < valid.size(); ++n) {
        check(std::vector<std::uint8_t>(valid.begin(), valid.begin() + n));
      }
      for (int i = 0; i < 400; ++i) {
        std::vector<std::uint8_t> bytes = valid;
        bytes[9 + rng() % (bytes.size() - 9)] ^= static_cast<std::uint8_t>(1 + rng() % 255);
        if (rng() % 4 == 0) bytes[9 + rng() % (bytes.size() - 9)] = 0xFF;
        check(bytes);
      }
    }
  }
  EXPECT_GT(outcomes_ok, 100);
  EXPECT_GT(outcomes_failed, 1000);
  EXPECT_TRUE(counting.Balanced());
}

TEST(LegacyHostile, TruncatedAndCorruptedPlanarStreams) { Corrupted<Geometry>(21); }
TEST(LegacyHostile, TruncatedAndCorruptedGeographicStreams) { Corrupted<Geography>(22); }

// The memory a read takes is bounded by a small multiple of its input,
// whatever the stream promises: a stream of many tiny items (the worst case
// per byte) is measured.
TEST(LegacyHostile, AllocationIsProportionalToTheInput) {
  Bytes body;
  std::uint32_t const n = 10000;
  body.U32(n);
  for (std::uint32_t i = 0; i < n; ++i) body.U8(2).U32(0);  // empty line strings, 5 bytes each
  auto const bytes = Stream(P, 0, 7, {}, body);
  CountingMemoryResource counting;
  std::size_t peak = 0;
  {
    ScopedMemoryResource scope(&counting);
    SpatialPtr const value = LS::Read(bytes);
    peak = counting.LiveBytes();
    EXPECT_EQ(value->GetShapeType(), ShapeType::Mixed);
  }
  EXPECT_LT(peak, 64 * bytes.size());
  EXPECT_TRUE(counting.Balanced());
}

}  // namespace
}  // namespace ostrel
