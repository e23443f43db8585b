#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "ostrel/ostrel.hpp"

using namespace ostrel;

using Packed = GeographyCoordinate::Packed;
constexpr double kPi = 3.141592653589793, kHalfPi = 1.5707963267948966;
constexpr std::uint64_t kLatSign = std::uint64_t{1} << 63, kLonSign = kLatSign >> 1;

static auto Bits(std::pair<double, double> p) {
  return std::pair{std::bit_cast<std::uint64_t>(p.first), std::bit_cast<std::uint64_t>(p.second)};
}
static auto Bits(GeographyCoordinate c) {
  return Bits(std::pair{c.GetLatitude().Get().Get(), c.GetLongitude().Get().Get()});
}

// The reference grid, from its defining numbers: 1476620779 latitude steps up to pi/2 and
// 3123134983 = ceil(1476620779 * 3.3223214976338054 / (pi/2)) longitude steps up to
// 3.3223214976338054 rad; codes rounded by the C library's llround, not the library's helpers.
double const kLatUnits = 1476620779.0 * 0.6366197723675814;
double const kLonUnits = 3123134983.0 / 3.3223214976338054;
double const kLatStep = 1.0 / kLatUnits, kLonStep = 1.0 / kLonUnits;  // decoding multiplies
std::uint64_t const kRadix = 3123134984, kLonCodeOfPi = std::llround(kLonUnits * kPi);

static std::uint64_t RefEncode(double lat, double lon) {
  double turn = lon > 0 ? kPi : -kPi;
  if (std::fabs(lon) > kPi) lon = std::fmod(lon + turn, 2 * kPi) - turn;
  std::uint64_t lat_code = std::llround(kLatUnits * std::fabs(lat));
  std::uint64_t lon_code = std::llround(kLonUnits * std::fabs(lon));
  return (lat_code * kRadix + lon_code) | (lat < 0 && lat_code != 0 ? kLatSign : 0) |
         (lon < 0 && lon_code != 0 ? kLonSign : 0);
}
static std::pair<double, double> RefDecode(std::uint64_t word) {
  std::uint64_t code = word & ~(kLatSign | kLonSign), lat_code = code / kRadix;
  double lat = lat_code == 1476620779 ? kHalfPi : static_cast<double>(lat_code) * kLatStep;
  double lon = code % kRadix == kLonCodeOfPi ? kPi : static_cast<double>(code % kRadix) * kLonStep;
  return {(word & kLatSign) ? -lat : lat, (word & kLonSign) ? -lon : lon};
}

// Documented words (no sign bit on code 0, either argument order), their decodings, rejected raw
// words, NaN as the invalid value that equals nothing, the literals ("lon lat") and the texts.
TEST(GeographyGrid, DocumentedValues) {
  std::tuple<Latitude, Longitude, std::uint64_t> const cases[] = {
      {Latitude(-0.0), Longitude(-0.0), 0},
      {90_lat, 180_lon, 0x3FFFFFFF6C4E092F},
      {-90_lat, -180_lon, 0xFFFFFFFF6C4E092F},
      {45_lat, -120_lon, 0x60000000309120EA},
      {0_lat, 190_lon, Packed(0_lat, -170_lon).GetEncoded()},
      {Latitude(-0.4 * kLatStep), Longitude(-0.4 * kLonStep), 0},
      {Latitude(-1.2 * kLatStep), Longitude(-0.0), kLatSign | kRadix},
      {Latitude(-0.0), Longitude(-1.2 * kLonStep), kLonSign | 1},
  };
  for (auto [lat, lon, word] : cases) {
    EXPECT_TRUE(Packed(lat, lon).GetEncoded() == word && Packed(lon, lat).GetEncoded() == word);
    EXPECT_EQ(Bits(GeographyCoordinate(lon, lat)), Bits(RefDecode(word)));
  }
  GeographyCoordinate def;
  EXPECT_EQ(Bits(GeographyCoordinate(Packed(0x3FFFFFFF766E675F))),
            Bits(std::pair{kHalfPi, 3.3223214976338054}));
  EXPECT_EQ(Bits(GeographyCoordinate(Packed(0xC000000000000000))), Bits(std::pair{-0.0, -0.0}));
  for (std::uint64_t word : {0x3FFFFFFF766E6760u, 0xBFFFFFFF766E6760u, ~std::uint64_t{0}})
    EXPECT_THAT([word] { return Packed(word); },
                testing::ThrowsMessage<std::invalid_argument>(
                    "an invalid bit pattern is being used to reconstitute a "
                    "GeographyCoordinate::Packed"));
  EXPECT_EQ(Bits(def), std::pair(0xFFF8000000000000u, 0xFFF8000000000000u));
  EXPECT_TRUE(Packed().GetEncoded() == ~std::uint64_t{0} && !Packed().GetLatLon().first.IsValid());
  EXPECT_FALSE(Packed(Latitude(NAN), 1_lon).IsValid() || GeographyCoordinate(1_lat, NAN).IsValid());
  EXPECT_FALSE(GeographyCoordinate(Packed()).IsValid() || def == def);
  EXPECT_TRUE("190 0"_geog == GeographyCoordinate(0_lat, -170_lon) && !""_geog.IsValid());
  EXPECT_TRUE("0.5 0.25"_rgeog == GeographyCoordinate(Latitude(0.25), Longitude(0.5)));
  EXPECT_THROW("0 91"_geog, std::out_of_range);
  EXPECT_EQ(to_string("-120 45"_geog) + to_string(Packed(-45_lat, 120_lon)),
            "(45°N, 120°W)(45°S, 120°E)");
}

// 10^6 random angles (a quarter exact ties n + 0.5, where rounding half to even differs; an
// eighth with longitudes to +/-4pi) encode like the reference and snap to its decoding.
TEST(GeographyGrid, MatchesTheReferenceOnRandomInputs) {
  std::mt19937_64 rng(0x5EED0004);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  int ties = 0;
  for (int i = 0; i < 1000000; ++i) {
    double lat = unit(rng) * kHalfPi, lon = unit(rng) * kPi * (i % 8 == 0 ? 4 : 1);
    if (i % 4 == 1) lat = (static_cast<double>(rng() % 1476620779) + 0.5) / kLatUnits;
    if (i % 4 == 1) lon = -(static_cast<double>(rng() % kLonCodeOfPi) + 0.5) / kLonUnits;
    ties += kLatUnits * lat - std::floor(kLatUnits * lat) == 0.5;
    std::uint64_t word = Packed(Latitude(lat), Longitude(lon)).GetEncoded();
    ASSERT_EQ(word, RefEncode(lat, lon)) << lat << " " << lon;
    GeographyCoordinate snapped{Latitude(lat), Longitude(lon)};
    ASSERT_EQ(Bits(snapped), Bits(RefDecode(word)));
    ASSERT_TRUE(GeographyCoordinate(snapped.GetLatitude(), snapped.GetLongitude()) == snapped);
  }
  EXPECT_GT(ties, 100000);
}

// Over 10^6 random points and biases, snapping (the offset rounded to float) is idempotent and
// packing returns the same doubles; NaN in one axis voids both; packed words fold -0.0 to +0.0.
TEST(GeometryCoordinate, Snapping) {
  std::mt19937_64 rng(0x5EED0003);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  auto scaled = [&](int lo, int n) { return std::ldexp(unit(rng), lo + int(rng() % n)); };
  for (int i = 0; i < 1000000; ++i) {
    GeometryCoordinate::Bias bias(i % 3 ? scaled(0, 40) : 0.0, i % 5 ? scaled(0, 40) : 0.0);
    double x = bias.GetX() + scaled(-30, 61), y = bias.GetY() + scaled(-30, 61);
    GeometryCoordinate c(x, y, bias);
    ASSERT_TRUE(GeometryCoordinate(c.GetX(), c.GetY(), bias) == c) << x << " " << y;
    ASSERT_EQ(GeometryCoordinate::Packed(c.GetX(), c.GetY(), bias).GetXY(bias),
              std::pair(c.GetX(), c.GetY()));
    for (auto [v, b, snapped] : {std::tuple{x, bias.GetX(), c.GetX()}, {y, bias.GetY(), c.GetY()}})
      ASSERT_LE(std::fabs(snapped - v),
                std::fabs(v - b) * 0x1p-24 + std::fmax(std::fabs(v), std::fabs(b)) * 0x1p-51);
  }
  GeometryCoordinate c(0.1, 0.2), nan_x(NAN, 5.0);
  EXPECT_TRUE(c.GetX() == 0.10000000149011612 && c.GetY() == 0.20000000298023224);
  EXPECT_TRUE(std::isnan(nan_x.GetY()) && !(nan_x == nan_x) && !GeometryCoordinate().IsValid());
  EXPECT_EQ(GeometryCoordinate::Packed(-0.0, 1.0, {}).GetAsUint64(), 0x3F80000000000000u);
  EXPECT_EQ(GeometryCoordinate::Packed(11.5, 18.0, {10, 20}).GetAsUint64(), 0xC00000003FC00000u);
  EXPECT_EQ(to_string(c) + to_string(GeometryCoordinate(1.5, -2)), "(0.1, 0.2)(1.5, -2)");
  EXPECT_TRUE("1.5 -2"_geom == GeometryCoordinate(1.5, -2.0) && !""_geom.IsValid());
}
