// The legacy stream's byte format: the conversions and the header as
// tables, the CRC against a bitwise reference, the grid against its
// definition, and whole streams compared byte for byte with streams built
// by hand (tests/legacy/legacy_support.hpp), not by the writer.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "legacy/legacy_support.hpp"
#include "ostrel/legacy/compressed_spatial_writer.hpp"
#include "ostrel/legacy/crc.hpp"
#include "ostrel/legacy/metadata.hpp"
#include "ostrel/ogr/ogr_format.hpp"
#include "ostrel/spatial/identifying.hpp"
#include "ostrel/spatial/unknown.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel {
namespace {

namespace LS = LegacySerialization;
using test_support::Bytes;
using test_support::CrcBitwise;
using test_support::Stream;
using test_support::ToVector;
using ST = LS::SpatialType;
using Cat = LS::Category;
constexpr double kPi = std::numbers::pi;

// ---- Conversions, over every byte value ---------------------------------------

TEST(LegacyConversions, EveryByteValue) {
  for (int n = 0; n < 256; ++n) {
    auto const s = static_cast<ST>(n);
    auto const c = static_cast<Cat>(n);
    bool const in_shape = n >= 1 && n <= 6;
    EXPECT_EQ(LS::CategoryToCoordinateType(c), n == 0   ? CoordinateType::Geometry
                                               : n == 1 ? CoordinateType::Geography
                                                        : CoordinateType::Unknown);
    EXPECT_EQ(LS::CoordinateTypeToCategory(static_cast<CoordinateType>(n)), n == 2 ? Cat::Geometry
                                                                            : n == 3
                                                                                ? Cat::Geography
                                                                                : Cat::Neither);
    EXPECT_EQ(LS::ShapeTypeToSpatialType(static_cast<ShapeType>(n)),
              in_shape ? static_cast<ST>(n) : ST::Mixed);
    EXPECT_EQ(LS::SpatialTypeToShapeType(s),
              n >= 1 && n <= 7 ? static_cast<ShapeType>(n) : ShapeType::Empty);
    EXPECT_EQ(LS::IsSingular(s), n >= 1 && n <= 3) << n;
    EXPECT_EQ(LS::SingularToMulti(s), n >= 1 && n <= 3 ? static_cast<ST>(n + 3) : s);
    EXPECT_EQ(LS::MultiToSingular(s), n >= 4 && n <= 6 ? static_cast<ST>(n - 3) : s);
  }
  static_assert(sizeof(ST) == 1 && sizeof(Cat) == 1);
  static_assert(LS::Metadata::Signature == 0x07AA);
}

// ---- CRC ------------------------------------------------------------------------

TEST(LegacyCrc, CheckValueNullAndEmpty) {
  std::string const digits = "123456789";
  auto const* p = reinterpret_cast<std::uint8_t const*>(digits.data());
  EXPECT_EQ(LS::CRC(0, p, 9), 0xCBF43926u);
  EXPECT_EQ(LS::CRC(0, nullptr, 9), 0u);
  EXPECT_EQ(LS::CRC(0x12345678, nullptr, 0), 0u);
  EXPECT_EQ(LS::CRC(0, p, 0), 0u);
  EXPECT_EQ(LS::CRC(0xCBF43926u, p, 0), 0xCBF43926u);
}

// Random buffers of every length up to 300 and some long ones, at every
// alignment, each against the bitwise reference; then chaining at every
// split point of a buffer equals the CRC of the whole.
TEST(LegacyCrc, EqualsBitwiseReferenceAndChainsAtEverySplit) {
  std::mt19937_64 rng(7);
  std::vector<std::uint8_t> buffer(70000 + 8);
  for (auto& b : buffer) b = static_cast<std::uint8_t>(rng());
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 300; ++n) lengths.push_back(n);
  for (std::size_t n : {1023u, 4096u, 65537u, 70000u}) lengths.push_back(n);
  for (std::size_t n : lengths) {
    std::size_t const offset = rng() % 8;
    std::uint32_t const seed = rng() % 3 == 0 ? 0 : static_cast<std::uint32_t>(rng());
    ASSERT_EQ(LS::CRC(seed, buffer.data() + offset, n), CrcBitwise(seed, buffer.data() + offset, n))
        << n << " bytes at offset " << offset;
  }
  std::size_t const n = 1000;
  std::uint32_t const whole = LS::CRC(0, buffer.data(), n);
  ASSERT_EQ(whole, CrcBitwise(0, buffer.data(), n));
  for (std::size_t split = 0; split <= n; ++split) {
    std::uint32_t const first = LS::CRC(0, buffer.data(), split);
    ASSERT_EQ(LS::CRC(first, buffer.data() + split, n - split), whole) << split;
  }
}

// ---- The grid ---------------------------------------------------------------------

TEST(LegacyRounding, PowersAndRounding) {
  for (int p = -10; p <= 10; ++p) {
    double const expected = std::stod("1e" + std::to_string(p));  // the exact literal
    EXPECT_EQ(LS::Power10(static_cast<std::int8_t>(p)), expected) << p;
  }
  for (int p : {-128, -40, -11, 11, 17, 127}) {
    EXPECT_EQ(LS::Power10(static_cast<std::int8_t>(p)), std::pow(10.0, p)) << p;
  }
  struct Case {
    double x;
    int p;
    double expected;
  };
  Case const cases[] = {{2.5, 0, 3},
                        {-2.5, 0, -3},
                        {0.49999999999999994, 0, 0},
                        {1.23456, 2, 123},
                        {-0.0, 3, 0},
                        {9007199254740991.0, 0, 9007199254740991.0},
                        {4503599627370495.5, 0, 4503599627370496},
                        {-1e-3, 3, -1},
                        {0.0015, 3, 2},
                        {1e10, -10, 1},
                        {-4.5e3, -3, -5}};
  for (Case const& c : cases) {
    EXPECT_EQ(LS::RoundToPowerOf10(c.x, static_cast<std::int8_t>(c.p)), c.expected)
        << c.x << " p=" << c.p;
  }
  EXPECT_EQ(LS::Round(1.23456, 2), 1.23);
  // -(-128) does not fit a signed byte: the step is still 10^128.
  EXPECT_EQ(LS::Round(4e127, -128), 0.0);
  EXPECT_EQ(LS::Round(7e128, -128), 7.0 * std::pow(10.0, 128));
  for (double bad : {1e300, 9007199254740992.0, -9007199254740992.0, std::nan(""), HUGE_VAL}) {
    EXPECT_THROW(
        {
          try {
            LS::RoundToPowerOf10(bad, 0);
          } catch (std::invalid_argument const& e) {
            EXPECT_STREQ(e.what(), "x is too large to round via double to uint64_t");
            throw;
          }
        },
        std::invalid_argument);
  }
  EXPECT_THROW(LS::Round(1, 16), std::invalid_argument);  // 1e16 > 2^53
}

// Against llround-free arithmetic: for random x and p the result is an
// integer within 1/2 of x * 10^p, and exactly halfway only away from zero.
TEST(LegacyRounding, NearestIntegerHalvesAwayFromZero) {
  std::mt19937_64 rng(3);
  for (int i = 0; i < 200000; ++i) {
    int const p = static_cast<int>(rng() % 21) - 10;
    double const x = std::ldexp(std::uniform_real_distribution(-1.0, 1.0)(rng),
                                static_cast<int>(rng() % 40) - 20);
    double const v = x * LS::Power10(static_cast<std::int8_t>(p));
    double const r = LS::RoundToPowerOf10(x, static_cast<std::int8_t>(p));
    ASSERT_EQ(r, std::round(v)) << x << " " << p;
  }
  // Halves and their neighbours at every magnitude up to 2^53, where the
  // spacing of doubles reaches 1/2 and then 1.
  for (int e = 0; e <= 53; ++e) {
    for (int i = 0; i < 2000; ++i) {
      double const k = std::floor(std::ldexp(std::uniform_real_distribution(0.5, 1.0)(rng), e));
      for (double x : {k + 0.5, std::nextafter(k + 0.5, 0.0), std::nextafter(k + 0.5, HUGE_VAL), k,
                       -(k + 0.5), -std::nextafter(k + 0.5, 0.0)}) {
        if (!(std::fabs(x) <= 9007199254740991.0)) continue;
        ASSERT_EQ(LS::RoundToPowerOf10(x, 0), std::round(x)) << std::hexfloat << x;
      }
    }
  }
}

// ---- Header ---------------------------------------------------------------------------

std::string Message(std::vector<std::uint8_t> const& bytes) {
  try {
    LS::ReadHeader(bytes);
    return "ok";
  } catch (std::length_error const& e) {
    return std::string("length: ") + e.what();
  } catch (std::invalid_argument const& e) {
    return std::string("invalid: ") + e.what();
  }
}

TEST(LegacyHeader, FieldsAndFailures) {
  struct Case {
    std::vector<std::uint8_t> bytes;
    char const* outcome;
    int version = 0, serializer = 0, spatial = 0, category = 0, precision = 0;
    std::uint32_t crc = 0;
  };
  // clang-format off
  Case const cases[] = {
      {{0x07, 0xAA, 0x00, 1, 2, 3, 4, 0, 1}, "ok", 0, 0, 1, 0, 0, 0x01020304},
      {{0x07, 0xAA, 0x32, 0, 0, 0, 0, 1, 7, 0xF6}, "ok", 3, 2, 7, 1, -10, 0},
      {{0x07, 0xAA, 0x02, 0, 0, 0, 0, 2, 7}, "ok", 0, 2, 7, 2, 0, 0},       // no precision byte
      {{0x07, 0xAA, 0x02, 0, 0, 0, 0, 0, 9, 5}, "ok", 0, 2, 0, 2, 0, 0},    // type 9 reads as 0
      {{0x07, 0xAA, 0x02, 0, 0, 0, 0, 1, 0}, "ok", 0, 2, 0, 2, 0, 0},       // type 0: category 2
      {{0x07, 0xAA, 0x00, 0, 0, 0, 0, 1, 8}, "ok", 0, 0, 8, 1, 0, 0},
      {{0x07, 0xAA, 0xF5, 0, 0, 0, 0, 0, 255}, "ok", 15, 5, 0, 2, 0, 0},
      {{0x07, 0xAA, 0x02, 0, 0, 0, 0, 0, 1}, "length: unexpected end of stream"},
      {{0x07, 0xAA, 0x00, 0, 0, 0, 0, 0}, "length: unexpected end of stream"},
      {{}, "length: unexpected end of stream"},
      {{0xAA, 0x07, 0x00, 0, 0, 0, 0, 0, 1}, "invalid: not a spatial stream"},
      {{0x07, 0xAB, 0x00, 0, 0, 0, 0, 0, 1}, "invalid: not a spatial stream"},
      {{0x07, 0xAA, 0x00, 0, 0, 0, 0, 3, 1}, "invalid: corrupt spatial stream"},
      {{0x07, 0xAA, 0x02, 0, 0, 0, 0, 0xFF, 1}, "invalid: corrupt spatial stream"},
  };
  // clang-format on
  for (Case const& c : cases) {
    std::string const outcome = Message(c.bytes);
    EXPECT_EQ(outcome, c.outcome) << ::testing::PrintToString(c.bytes);
    if (outcome != "ok") continue;
    LS::Metadata const m = LS::ReadHeader(c.bytes);
    EXPECT_EQ(m.version, static_cast<std::uint32_t>(c.version));
    EXPECT_EQ(m.serializer_type, c.serializer);
    EXPECT_EQ(static_cast<int>(m.spatial_type), c.spatial);
    EXPECT_EQ(static_cast<int>(m.category), c.category);
    EXPECT_EQ(m.precision, c.precision);
    EXPECT_EQ(m.crc, c.crc);
    EXPECT_EQ(LS::HeaderSize(m), c.serializer == 2 && c.category != 2 ? 10u : 9u);
  }
}

// ---- Whole streams, byte for byte ------------------------------------------------------

template <class V>
V Value(std::vector<std::vector<double>> const& points,
        std::vector<std::vector<std::vector<double>>> const& lines = {},
        std::vector<std::vector<std::vector<std::vector<double>>>> const& polys = {}) {
  using C = typename V::Coordinate;
  auto make = [](std::vector<double> const& xy) {
    if constexpr (std::is_same_v<C, GeometryCoordinate>) {
      return C(xy[0], xy[1]);
    } else {
      return C(Latitude(Radians(xy[0])), Longitude(xy[1]));
    }
  };
  typename V::Points p;
  typename V::Lines l;
  typename V::Polys q;
  for (auto const& xy : points) p.push_back(make(xy));
  for (auto const& line : lines) {
    l.emplace_back();
    for (auto const& xy : line) l.back().push_back(make(xy));
  }
  for (auto const& poly : polys) {
    q.emplace_back();
    for (auto const& ring : poly) {
      q.back().emplace_back();
      for (auto const& xy : ring) q.back().back().push_back(make(xy));
    }
  }
  return V(p, l, q);
}

std::vector<std::uint8_t> Written(Spatial const& value, int serializer, int precision = 0) {
  return ToVector(
      LS::Write(value, static_cast<std::uint8_t>(serializer), static_cast<std::int8_t>(precision)));
}

TEST(LegacyWriter, PlainPointIsTheHeaderTheCrcAndTwoDoubles) {
  // 1.5 = 3FF8000000000000, -2 = C000000000000000; CRC-32 of those 16 bytes.
  Bytes const body{0x3F, 0xF8, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0};
  std::uint32_t const crc = CrcBitwise(0, body.v.data(), 16);
  Bytes expected{0x07, 0xAA, 0x00};
  expected.U32(crc).U8(0x00).U8(0x01).Add(body);
  auto const written = Written(Value<DefaultGeometry>({{1.5, -2}}), 0);
  EXPECT_EQ(written, expected.v);
  EXPECT_EQ(written.size(), 25u);
}

TEST(LegacyWriter, PlainStreamsOfEveryType) {
  double const hp = kPi / 2;
  std::vector<std::vector<double>> const square{{0, 0}, {4, 0}, {4, 4}, {0, 0}};
  std::vector<std::vector<double>> const hole{{1, 1}, {2, 1}, {2, 2}, {1, 1}};
  Bytes ring_square;
  ring_square.U32(4);
  for (auto const& xy : square) ring_square.F64(xy[0]).F64(xy[1]);
  Bytes ring_hole;
  ring_hole.U32(4);
  for (auto const& xy : hole) ring_hole.F64(xy[0]).F64(xy[1]);
  struct Case {
    std::vector<std::uint8_t> written;
    std::vector<std::uint8_t> expected;
  };
  Case const cases[] = {
      // A geographic line: latitude, then longitude, in radians.
      {Written(Value<DefaultGeography>({}, {{{hp, kPi}, {0, 0}, {-hp, -kPi}}}), 0),
       Stream(0, 1, 2, {}, Bytes().U32(3).F64(hp).F64(kPi).F64(0).F64(0).F64(-hp).F64(-kPi))},
      // A polygon keeps the closing coordinate of each ring.
      {Written(Value<DefaultGeometry>({}, {}, {{square, hole}}), 0),
       Stream(0, 0, 3, {}, Bytes().U32(2).Add(ring_square).Add(ring_hole))},
      {Written(Value<DefaultGeometry>({{1, 2}, {3, 4}}), 0),
       Stream(0, 0, 4, {}, Bytes().U32(2).F64(1).F64(2).F64(3).F64(4))},
      {Written(Value<DefaultGeometry>({}, {{{1, 2}, {3, 4}}, {{5, 6}, {7, 8}}}), 0),
       Stream(0, 0, 5, {},
              Bytes().U32(2).U32(2).F64(1).F64(2).F64(3).F64(4).U32(2).F64(5).F64(6).F64(7).F64(
                  8))},
      {Written(Value<DefaultGeometry>({}, {}, {{square}, {hole}}), 0),
       Stream(0, 0, 6, {}, Bytes().U32(2).U32(1).Add(ring_square).U32(1).Add(ring_hole))},
      // Mixed: the item count, then points, lines and polygons behind type bytes.
      {Written(Value<DefaultGeometry>({{9, 9}}, {{{1, 2}, {3, 4}}}, {{square}}), 0),
       Stream(0, 0, 7, {},
              Bytes()
                  .U32(3)
                  .U8(1)
                  .F64(9)
                  .F64(9)
                  .U8(2)
                  .U32(2)
                  .F64(1)
                  .F64(2)
                  .F64(3)
                  .F64(4)
                  .U8(3)
                  .U32(1)
                  .Add(ring_square))},
      // Empty: an empty mixed body; Unknown and Identifying: the header only.
      {Written(DefaultGeometry(), 0), Stream(0, 0, 7, {}, Bytes().U32(0))},
      {Written(Unknown(), 0), Stream(0, 2, 7, {}, Bytes())},
      {Written(Identifying(42), 0), Stream(0, 2, 7, {}, Bytes())},
      {Written(Identifying(42), 2, 5), Stream(2, 2, 7, {}, Bytes())},
      // A compressed Unknown: the varint 0 and no precision byte.
      {Written(Unknown(), 2, 5), Stream(2, 2, 7, {}, Bytes{0})},
  };
  for (Case const& c : cases) EXPECT_EQ(c.written, c.expected);
  // The CRC of a header-only stream is 0; of the compressed Unknown's
  // single zero byte, the standard CRC of one zero byte.
  EXPECT_EQ(cases[7].expected[3] | cases[7].expected[6], 0);
  EXPECT_EQ(LS::CRC(0, cases[10].written.data() + 9, 1), 0xD202EF8Du);
}

// Compressed: the precision byte at offset 9 (not for category 2), absent
// boxes as the varint 0, deltas along lines, rings without their closing
// coordinate; all written out by hand.
TEST(LegacyWriter, CompressedStreamsByHand) {
  struct Case {
    std::vector<std::uint8_t> written;
    std::vector<std::uint8_t> expected;
  };
  double const hp = kPi / 2;
  Case const cases[] = {
      // (1, 2), (1.5, 2.25), (0.5, 2) at precision 2: 100 200, +50 +25, -100 -25.
      {Written(Value<DefaultGeometry>({}, {{{1, 2}, {1.5, 2.25}, {0.5, 2}}}), 2, 2),
       Stream(2, 0, 2, 2,
              Bytes{0x00, 0x0A, 0x03, 0xC8, 0x01, 0x90, 0x03, 0x64, 0x32, 0xC7, 0x01, 0x31})},
      // A ring of 4 coordinates holds 3 pairs.
      {Written(Value<DefaultGeometry>({}, {}, {{{{0, 0}, {1, 0}, {1, 1}, {0, 0}}}}), 2, 0),
       Stream(2, 0, 3, 0, Bytes{0x00, 0x01, 0x07, 0x03, 0x00, 0x00, 0x02, 0x00, 0x00, 0x02})},
      // A point: absent box, then Q(x), Q(y) at precision -1 (tens): 30, -10 -> 3, -1.
      {Written(Value<DefaultGeometry>({{30, -10}}), 2, -1),
       Stream(2, 0, 1, 0xFF, Bytes{0x00, 0x06, 0x01})},
      // A multi-point is one delta-coded list.
      {Written(Value<DefaultGeometry>({{1, 1}, {2, 3}}), 2, 0),
       Stream(2, 0, 4, 0, Bytes{0x00, 0x05, 0x02, 0x02, 0x02, 0x02, 0x04})},
      // Mixed: whole box, item count, absolute points, then line strings.
      {Written(Value<DefaultGeometry>({{-1, 2}}, {{{0, 0}, {0, 1}}}), 2, 0),
       Stream(2, 0, 7, 0,
              Bytes{0x00, 0x02, 0x01, 0x01, 0x04, 0x02, 0x00, 0x05, 0x02, 0x00, 0x00, 0x00, 0x02})},
      // Geographic, precision 9: the pole and the antimeridian quantised.
      {Written(Value<DefaultGeography>({{hp, -kPi}}), 2, 9),
       Stream(2, 1, 1, 9, Bytes().U8(0).Zigzag(1570796327).Zigzag(-3141592654))},
      {Written(Value<DefaultGeography>({}, {{{0, 0}, {1e-9, -2e-9}}}), 2, 9),
       Stream(2, 1, 2, 9, Bytes().U8(0).Section(Bytes().U8(2).U8(0).U8(0).Zigzag(1).Zigzag(-2)))},
  };
  for (Case const& c : cases) EXPECT_EQ(c.written, c.expected);
}

// Boxes come from legacy and OGR values only, fetched in emission order,
// and are written as a section of a section of the tag 3 and min, size.
TEST(LegacyWriter, BoxesOfOgrValuesInEmissionOrder) {
  using P = GeometryCoordinate::Packed;
  using Box = std::pair<GeometryCoordinate, GeometryCoordinate>;
  auto const none = GeometryCoordinate::Bias::None();
  OgrGeometry::PackedLines lines;
  OgrGeometry::PackedPoints line;
  line.push_back(P(0, 0, none));
  line.push_back(P(1, 1, none));
  lines.emplace_back(line, Box({0, 0}, {2, 3}));
  lines.emplace_back(line, Box());  // unknown: the varint 0
  lines.emplace_back(line, Box({-1, -2}, {0.5, 0}));
  OgrGeometry const ogr(ShapeType::MultiLineString, {}, std::move(lines), {},
                        Geometry::Attributes());
  Bytes const list{0x05, 0x02, 0x00, 0x00, 0x14, 0x14};  // 2 points at precision 1: 0 0, +10 +10
  Bytes body;
  body.U8(0).U8(3);  // no box for the whole; three lines
  body.Add(Bytes{0x06, 0x05, 0x03, 0x00, 0x00, 0x28, 0x3C}).Add(list);
  body.U8(0).Add(list);
  body.Add(Bytes{0x06, 0x05, 0x03, 0x13, 0x27, 0x1E, 0x28}).Add(list);
  EXPECT_EQ(Written(ogr, 2, 1), Stream(2, 0, 5, 1, body));
  // The same content held as a default value has no boxes at all.
  OgrGeometry::PackedLines plain_lines;
  for (int i = 0; i < 3; ++i) plain_lines.emplace_back(line, Box());
  Bytes unboxed;
  unboxed.U8(0).U8(3);
  for (int i = 0; i < 3; ++i) unboxed.U8(0).Add(list);
  EXPECT_EQ(Written(OgrGeometry(ShapeType::MultiLineString, {}, std::move(plain_lines), {},
                                Geometry::Attributes()),
                    2, 1),
            Stream(2, 0, 5, 1, unboxed));

  // The writer asks the accessor in emission order, one counter per kind.
  struct Recorder final : LS::BoundingBoxAccessor<Geometry> {
    mutable std::vector<std::string> calls;
    Box BoundingBoxForLineString(unsigned int i) const override {
      calls.push_back("line " + std::to_string(i));
      return {};
    }
    Box BoundingBoxForPolygon(unsigned int i) const override {
      calls.push_back("polygon " + std::to_string(i));
      return {};
    }
    Box BoundingBoxForMixed() const override {
      calls.push_back("mixed");
      return {};
    }
  } recorder;
  DefaultGeometry const mixed = Value<DefaultGeometry>(
      {{1, 1}}, {{{0, 0}, {1, 1}}, {{2, 2}, {3, 3}}},
      {{{{0, 0}, {1, 0}, {1, 1}, {0, 0}}}, {{{0, 0}, {1, 0}, {1, 1}, {0, 0}}}});
  LS::CompressedSpatialWriter<Geometry> writer(3, mixed, recorder);
  ResourceVector<std::uint8_t> body_only;
  writer.Write(body_only);
  EXPECT_EQ(recorder.calls,
            (std::vector<std::string>{"mixed", "line 0", "line 1", "polygon 0", "polygon 1"}));
  auto const whole = LS::Write(mixed, 2, 3);
  EXPECT_EQ(ToVector(body_only), std::vector<std::uint8_t>(whole.begin() + 10, whole.end()));
}

TEST(LegacyWriter, CreateCompressedWriterTakesBoxesFromStoredFormatsOnly) {
  DefaultGeometry const plain = Value<DefaultGeometry>({}, {{{0, 0}, {1, 1}}});
  OgrGeometry const ogr = Value<OgrGeometry>({}, {{{0, 0}, {1, 1}}});
  LegacyGeometry const legacy = Value<LegacyGeometry>({}, {{{0, 0}, {1, 1}}});
  LegacyGeography const legacy_geo = Value<LegacyGeography>({}, {{{0, 0}, {1, 1}}});
  // Each writer writes what Write writes after the header; values of no
  // stored format get the shared default accessor.
  for (Geometry const* g :
       {static_cast<Geometry const*>(&plain), static_cast<Geometry const*>(&ogr),
        static_cast<Geometry const*>(&legacy)}) {
    auto writer = LS::detail::CreateCompressedWriter(*g, 4);
    EXPECT_EQ(writer.GetPrecision(), 4);
    ResourceVector<std::uint8_t> body;
    writer.Write(body);
    auto const whole = LS::Write(*g, 2, 4);
    EXPECT_EQ(ToVector(body), std::vector<std::uint8_t>(whole.begin() + 10, whole.end()));
  }
  auto geo_writer = LS::detail::CreateCompressedWriter(legacy_geo, 7);
  ResourceVector<std::uint8_t> body;
  geo_writer.Write(body);
  EXPECT_EQ(body.size() + 10, LS::Write(legacy_geo, 2, 7).size());
  auto const box = LS::BoundingBoxAccessor<Geography>::GetDefault().BoundingBoxForMixed();
  EXPECT_FALSE(box.first.IsValid() || box.second.IsValid());
}

// The points, lines and polys of a planar value as text.
std::string Content(Geometry const& g) {
  std::string out;
  for (auto const& c : g.GetPoints()) out += to_string(c);
  for (auto const& line : g.GetLines()) {
    out += " line";
    for (auto const& c : line) out += to_string(c);
  }
  for (auto const& poly : g.GetPolys()) {
    out += " poly";
    for (auto const& ring : poly) {
      out += " ring";
      for (auto const& c : ring) out += to_string(c);
    }
  }
  return out;
}

TEST(LegacyWriter, Failures) {
  auto const message = [](auto&& f) { return test_support::InvalidArgument(f); };
  DefaultGeometry const point = Value<DefaultGeometry>({{1, 2}});
  EXPECT_EQ(message([&] { LS::Write(point, 1, 0); }), "unknown serializer type");
  EXPECT_EQ(message([&] { LS::Write(point, 3, 0); }), "unknown serializer type");
  EXPECT_EQ(message([&] { LS::Write(Unknown(), 255, 0); }), "unknown serializer type");
  EXPECT_EQ(message([&] {
              LS::Write(Value<DefaultGeometry>({{1e30, 0}}), 2, 0);
            }),
            "x is too large to round via double to uint64_t");
  EXPECT_EQ(message([&] {
              LS::Write(Value<DefaultGeometry>({{1, 0}}), 2, 16);
            }),
            "x is too large to round via double to uint64_t");
  // A NaN coordinate cannot be quantised; plain streams carry it.
  GeometryCoordinate::Packed const nan;
  DefaultGeometry const with_nan(ShapeType::Point, {nan}, {}, {}, Geometry::Attributes());
  EXPECT_EQ(message([&] { LS::Write(with_nan, 2, 0); }),
            "x is too large to round via double to uint64_t");
  EXPECT_EQ(message([&] { LS::Write(with_nan, 0, 0); }), "ok");

  // A value whose content does not fit its shape type is stored as the
  // multi type that holds it, or else as mixed; nothing is dropped, and the
  // stream reads back to the same content.
  using Points = DefaultGeometry::PackedPoints;
  using Lines = DefaultGeometry::PackedLines;
  auto const p = GeometryCoordinate::Packed(1, 2, GeometryCoordinate::Bias::None());
  auto packed = [](ShapeType type, Points points, Lines lines) {
    return DefaultGeometry(type, std::move(points), std::move(lines), {}, {});
  };
  Lines one_line(1);
  one_line[0] = {p, p};
  struct Stored {
    DefaultGeometry value;
    ST type;
  };
  Stored const stored[] = {
      {packed(ShapeType::Point, {p, p}, {}), ST::MultiPoint},
      {packed(ShapeType::Point, {}, {}), ST::MultiPoint},
      {packed(ShapeType::LineString, {p}, one_line), ST::Mixed},
      {packed(ShapeType::MultiPoint, {p}, one_line), ST::Mixed},
      {packed(ShapeType::Polygon, {}, {}), ST::MultiPolygon},
      {packed(ShapeType::MultiPolygon, {p}, {}), ST::Mixed},
      {packed(ShapeType::LineString, {}, one_line), ST::LineString},
      {packed(ShapeType::Empty, {p}, one_line), ST::Mixed},
      {packed(ShapeType::Mixed, {}, {}), ST::Mixed},
      {packed(static_cast<ShapeType>(42), {p}, {}), ST::Mixed},
  };
  for (Stored const& s : stored) {
    for (int serializer : {0, 2}) {
      auto const bytes = LS::Write(s.value, static_cast<std::uint8_t>(serializer), 0);
      EXPECT_EQ(static_cast<ST>(bytes[8]), s.type) << to_string(s.value.GetShapeType());
      SpatialPtr const back = LS::Read(bytes);
      EXPECT_EQ(back->GetShapeType(), LS::SpatialTypeToShapeType(s.type));
      EXPECT_EQ(Content(back->AsGeometry()), Content(s.value));
    }
  }

  // A value of no known kind.
  struct Strange final : Unknown {
    CoordinateType GetCoordinateType() const override { return static_cast<CoordinateType>(4); }
  };
  EXPECT_EQ(message([&] { LS::Write(Strange(), 0, 0); }), "unknown shape type");
}

}  // namespace
}  // namespace ostrel
