// The geographic grid, checked against a reference encoder rebuilt here from
// the grid's defining numbers (1476620779 latitude steps up to pi/2, a maximum
// extended longitude of 3.3223214976338054 rad) with its own integer rounding
// of the scaled angle, never through the library's grid helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <utility>

#include "ostrel/ostrel.hpp"

namespace ostrel {
namespace {

using Packed = GeographyCoordinate::Packed;

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTwoPi = 6.283185307179586;
constexpr std::uint64_t kLatSign = std::uint64_t{1} << 63;
constexpr std::uint64_t kLonSign = std::uint64_t{1} << 62;
constexpr std::uint64_t kInvalid = ~std::uint64_t{0};

std::uint64_t Bits(double d) { return std::bit_cast<std::uint64_t>(d); }

// Rounds a non-negative double half away from zero by integer arithmetic on
// its 53-bit mantissa.
std::uint64_t RoundHalfAway(double p) {
  if (p == 0.0) return 0;
  int exponent = 0;
  auto mantissa = static_cast<std::uint64_t>(std::ldexp(std::frexp(p, &exponent), 53));
  int shift = 53 - exponent;  // p == mantissa * 2^-shift
  if (shift <= 0) return mantissa << -shift;
  return shift > 60 ? 0 : (mantissa + (std::uint64_t{1} << (shift - 1))) >> shift;
}

struct ReferenceGrid {
  std::uint64_t lat_steps = 1476620779;
  double max_lon = 3.3223214976338054;
  double lat_units = 1476620779.0 * 0.6366197723675814;
  std::uint64_t lon_steps =
      static_cast<std::uint64_t>(std::ceil(1476620779.0L * 3.3223214976338054L / kHalfPi));
  double lon_units = static_cast<double>(lon_steps) / max_lon;
  std::uint64_t radix = lon_steps + 1;
  double lat_step = 1.0 / lat_units, lon_step = 1.0 / lon_units;
  std::uint64_t lon_code_of_pi = RoundHalfAway(lon_units * kPi);
  std::uint64_t lat_code_of_half_pi = RoundHalfAway(lat_units * kHalfPi);

  static double Normalize(double lon) {
    if (-kPi > lon) return std::fmod(lon - kPi, kTwoPi) + kPi;
    return lon > kPi ? std::fmod(lon + kPi, kTwoPi) - kPi : lon;
  }
  std::uint64_t Encode(double lat, double lon) const {
    if (std::isnan(lat) || std::isnan(lon)) return kInvalid;
    lon = Normalize(lon);
    std::uint64_t lat_code = RoundHalfAway(lat_units * std::fabs(lat));
    std::uint64_t lon_code = RoundHalfAway(lon_units * std::fabs(lon));
    return (lat_code * radix + lon_code) | (lat < 0 && lat_code != 0 ? kLatSign : 0) |
           (lon < 0 && lon_code != 0 ? kLonSign : 0);
  }
  std::pair<double, double> Decode(std::uint64_t word) const {
    std::uint64_t code = word & ~(kLatSign | kLonSign);
    std::uint64_t lat_code = code / radix, lon_code = code % radix;
    double lat =
        lat_code == lat_code_of_half_pi ? kHalfPi : static_cast<double>(lat_code) * lat_step;
    double lon = lon_code == lon_code_of_pi ? kPi : static_cast<double>(lon_code) * lon_step;
    return {(word & kLatSign) ? -lat : lat, (word & kLonSign) ? -lon : lon};
  }
};

ReferenceGrid const kGrid;

double Lat(GeographyCoordinate const& c) { return c.GetLatitude().Get().Get(); }
double Lon(GeographyCoordinate const& c) { return c.GetLongitude().Get().Get(); }
std::uint64_t Encode(double lat, double lon) {
  return Packed(Latitude(lat), Longitude(lon)).GetEncoded();
}
// Whether the coordinate holds exactly (bit for bit) the given pair.
::testing::AssertionResult Holds(GeographyCoordinate const& c, std::pair<double, double> ll) {
  if (Bits(Lat(c)) == Bits(ll.first) && Bits(Lon(c)) == Bits(ll.second)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "(" << Lat(c) << ", " << Lon(c) << ") instead of ("
                                       << ll.first << ", " << ll.second << ")";
}

TEST(GeographyGrid, ConstantsMatchTheirDefinitions) {
  using G = detail::GeographyGrid;
  // Library value, reference value, documented value.
  auto check = [](char const* name, long double library, long double reference,
                  long double documented) {
    EXPECT_EQ(library, documented) << name;
    EXPECT_EQ(reference, documented) << name;
  };
  check("latitude steps", G::kLatitudeSteps, kGrid.lat_steps, 1476620779);
  check("latitude units/rad", G::kLatitudeUnitsPerRadian, kGrid.lat_units, 940045984.2002207);
  check("maximum extended longitude", GeographyCoordinate::GetMaxExtendedLongitude().Get().Get(),
        kGrid.max_lon, 3.3223214976338054);
  check("longitude steps", G::kLongitudeSteps, kGrid.lon_steps, 3123134983);
  check("longitude units/rad", G::kLongitudeUnitsPerRadian, kGrid.lon_units, 940045984.4793262);
  check("radix", G::kLongitudeRadix, kGrid.radix, 3123134984);
  check("code count", G::kCodeCount, kGrid.radix * (kGrid.lat_steps + 1), 4611686016119367520);
  check("rad/latitude unit", G::kRadiansPerLatitudeUnit, kGrid.lat_step, 1.0637777479053722e-09);
  check("rad/longitude unit", G::kRadiansPerLongitudeUnit, kGrid.lon_step, 1.06377774758953e-09);
  check("longitude code of pi", G::kLongitudeCodeOfPi, kGrid.lon_code_of_pi, 2953241559);
  check("latitude code of pi/2", G::kLatitudeCodeOfHalfPi, kGrid.lat_code_of_half_pi, 1476620779);
  check("maximum truncation error", GeographyCoordinate::GetMaxTruncationError().Get(),
        std::max(kGrid.lat_step, kGrid.lon_step), 1.0637777479053722e-09);
}

TEST(GeographyGrid, DocumentedEncodings) {
  struct Case {
    Latitude lat;
    Longitude lon;
    std::uint64_t word;
  } const cases[] = {
      {Latitude(0.0), Longitude(0.0), 0},     {Latitude(-0.0), Longitude(-0.0), 0},
      {90_lat, 180_lon, 0x3FFFFFFF6C4E092F},  {-90_lat, -180_lon, 0xFFFFFFFF6C4E092F},
      {90_lat, -180_lon, 0x7FFFFFFF6C4E092F}, {45_lat, -120_lon, 0x60000000309120EA},
  };
  for (auto const& c : cases) {
    Packed p(c.lat, c.lon);
    EXPECT_EQ(p.GetEncoded(), c.word) << std::hex << c.word;
    EXPECT_EQ(kGrid.Encode(c.lat.Get().Get(), c.lon.Get().Get()), c.word) << std::hex << c.word;
    EXPECT_EQ(Packed(c.lon, c.lat).GetEncoded(), c.word);
    EXPECT_TRUE(Holds(GeographyCoordinate(p), kGrid.Decode(c.word)));
    EXPECT_TRUE(Holds(GeographyCoordinate(c.lat, c.lon), kGrid.Decode(c.word)));
    EXPECT_TRUE(Holds(GeographyCoordinate(c.lon, c.lat), kGrid.Decode(c.word)));
  }
  // The end codes decode to exactly +/-pi/2 and +/-pi, which plain scaling would miss.
  EXPECT_TRUE(Holds(GeographyCoordinate(-90_lat, -180_lon), {-kHalfPi, -kPi}));
  EXPECT_NE(2953241559.0 * kGrid.lon_step, kPi);
  GeographyCoordinate c(45_lat, -120_lon);
  EXPECT_NEAR(Degrees(c.GetLatitude()).Get(), 45.0000000305, 1e-9);
  EXPECT_NEAR(Degrees(c.GetLongitude()).Get(), -120.000000005, 1e-9);
}

TEST(GeographyGrid, RoundsHalfAwayFromZero) {
  // Angles whose scaled value is exactly n + 0.5 with n even, where rounding
  // half to even would differ; found by stepping through neighbouring doubles.
  for (bool latitude : {true, false}) {
    double units = latitude ? kGrid.lat_units : kGrid.lon_units;
    auto code_of = [&](double a) {
      std::uint64_t word = latitude ? Encode(a, 0.0) : Encode(0.0, a);
      EXPECT_EQ((word & (latitude ? kLatSign : kLonSign)) != 0, a < 0);
      return latitude ? (word & ~kLatSign) / kGrid.radix : word & ~kLonSign;
    };
    int found = 0;
    for (std::uint64_t n = 1000000000; n < 1000002000 && found < 3; n += 2) {
      double tie = static_cast<double>(n) + 0.5, a = tie / units;
      for (int k = 0; k < 8 && units * a != tie; ++k) {
        a = std::nextafter(a, units * a > tie ? 0.0 : 4.0);
      }
      if (units * a != tie) continue;
      ++found;
      EXPECT_EQ(code_of(a), n + 1);
      EXPECT_EQ(code_of(-a), n + 1);
      EXPECT_EQ(code_of(std::nextafter(a, 0.0)), n);
    }
    EXPECT_GT(found, 0) << "no exact tie found";
  }
}

TEST(GeographyGrid, SignBitsNeverSetOnCodeZero) {
  double tiny_lat = 0.4 * kGrid.lat_step, tiny_lon = 0.4 * kGrid.lon_step;
  struct Case {
    double lat, lon;
    std::uint64_t word;
  } const cases[] = {
      {-tiny_lat, 0.0, 0},
      {0.0, -tiny_lon, 0},
      {-tiny_lat, -tiny_lon, 0},
      {-3 * tiny_lat, -0.0, kLatSign | kGrid.radix},
      {-0.0, -3 * tiny_lon, kLonSign | 1},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(Encode(c.lat, c.lon), c.word) << c.lat << " " << c.lon;
    EXPECT_TRUE(
        Holds(GeographyCoordinate(Latitude(c.lat), Longitude(c.lon)), kGrid.Decode(c.word)));
  }
}

TEST(GeographyGrid, Reconstitution) {
  struct Case {
    std::uint64_t word;
    bool accepted;
  } const cases[] = {
      {0x3FFFFFFF766E675F, true},  {0x7FFFFFFF766E675F, true},  {0xC000000000000000, true},
      {0x0000000000000000, true},  {0x3FFFFFFF766E6760, false}, {0xBFFFFFFF766E6760, false},
      {0xFFFFFFFFFFFFFFFF, false}, {0x3FFFFFFFFFFFFFFF, false},
  };
  for (auto const& c : cases) {
    try {
      EXPECT_EQ(Packed(c.word).GetEncoded(), c.word);
      EXPECT_TRUE(c.accepted) << std::hex << c.word;
    } catch (std::invalid_argument const& e) {
      EXPECT_FALSE(c.accepted) << std::hex << c.word;
      EXPECT_STREQ(e.what(),
                   "an invalid bit pattern is being used to reconstitute a "
                   "GeographyCoordinate::Packed");
    }
  }
  EXPECT_TRUE(
      Holds(GeographyCoordinate(Packed(0x3FFFFFFF766E675F)), {kHalfPi, 3.3223214976338054}));
  EXPECT_TRUE(
      Holds(GeographyCoordinate(Packed(0x7FFFFFFF766E675F)), {kHalfPi, -3.3223214976338054}));
  EXPECT_TRUE(Holds(GeographyCoordinate(Packed(0xC000000000000000)), {-0.0, -0.0}));
}

TEST(GeographyGrid, InvalidValues) {
  Packed p;
  EXPECT_FALSE(p.IsValid());
  EXPECT_EQ(p.GetEncoded(), kInvalid);
  EXPECT_FALSE(p.GetLatLon().first.IsValid() || p.GetLatLon().second.IsValid());
  GeographyCoordinate def, from_packed(p);
  double const nan_bits = std::bit_cast<double>(std::uint64_t{0xFFF8000000000000});
  EXPECT_TRUE(Holds(def, {nan_bits, nan_bits}));
  EXPECT_FALSE(from_packed.IsValid());
  EXPECT_FALSE(def == def);
  EXPECT_TRUE(def != def);
  EXPECT_EQ(Encode(std::nan(""), 1.0), kInvalid);
  EXPECT_EQ(Encode(1.0, std::nan("")), kInvalid);
  GeographyCoordinate half_nan(Latitude(1.0), Longitude(std::nan("")));
  EXPECT_TRUE(std::isnan(Lat(half_nan)) && std::isnan(Lon(half_nan)));
}

TEST(GeographyGrid, TextLiteralsAndNormalization) {
  EXPECT_EQ(Packed(0_lat, 190_lon).GetEncoded(), Packed(0_lat, -170_lon).GetEncoded());
  EXPECT_NE(Packed(0_lat, 190_lon).GetEncoded() & kLonSign, 0u);
  EXPECT_EQ(Packed(10_lat, -190_lon).GetEncoded(), Packed(10_lat, 170_lon).GetEncoded());
  EXPECT_TRUE("190 0"_geog == GeographyCoordinate(0_lat, -170_lon));
  EXPECT_EQ(to_string(GeographyCoordinate(45_lat, -120_lon)), "(45°N, 120°W)");
  EXPECT_EQ(to_string(Packed(-45_lat, 120_lon)), "(45°S, 120°E)");
  EXPECT_TRUE("10 20"_geog == GeographyCoordinate(20_lat, 10_lon));
  EXPECT_TRUE("0.5 0.25"_rgeog == GeographyCoordinate(Latitude(0.25), Longitude(0.5)));
  EXPECT_THROW("0 91"_geog, std::out_of_range);
  EXPECT_THROW("0 -1.6"_rgeog, std::out_of_range);
  EXPECT_FALSE(""_geog.IsValid() || ""_rgeog.IsValid() || "10"_geog.IsValid());
}

TEST(GeographyGrid, EncodingPropertyOverRandomCoordinates) {
  std::mt19937_64 rng(0x5EED0004);
  std::uniform_real_distribution<double> lat_dist(-kHalfPi, kHalfPi), lon_dist(-kPi, kPi);
  std::uniform_real_distribution<double> wide_lon(-4 * kPi, 4 * kPi);
  for (int i = 0; i < 1000000; ++i) {
    double lat = lat_dist(rng), lon = i % 8 == 0 ? wide_lon(rng) : lon_dist(rng);
    std::uint64_t word = Encode(lat, lon);
    ASSERT_EQ(word, kGrid.Encode(lat, lon)) << lat << " " << lon;
    // The latitude code is within half a step of the exactly scaled angle.
    long double scaled = static_cast<long double>(kGrid.lat_units) * std::fabs(lat);
    long double code = static_cast<long double>((word & ~(kLatSign | kLonSign)) / kGrid.radix);
    ASSERT_LE(std::fabs(code - scaled), 0.5L + 1e-6L);
    GeographyCoordinate snapped{Latitude(lat), Longitude(lon)};
    ASSERT_TRUE(Holds(snapped, kGrid.Decode(word)));
    ASSERT_TRUE(Holds(GeographyCoordinate(Packed(word)), kGrid.Decode(word)));
    // Snapping is idempotent, on the doubles and on the word.
    ASSERT_TRUE(Holds(GeographyCoordinate(snapped.GetLatitude(), snapped.GetLongitude()),
                      {Lat(snapped), Lon(snapped)}));
    ASSERT_EQ(Packed(snapped.GetLatitude(), snapped.GetLongitude()).GetEncoded(), word);
  }
}

TEST(GeographyGrid, RandomWordsDecodeAndReencode) {
  std::mt19937_64 rng(0x5EED0005);
  for (int i = 0; i < 200000; ++i) {
    std::uint64_t lat_code = rng() % (kGrid.lat_steps + 1);
    std::uint64_t lon_code = rng() % (kGrid.lon_code_of_pi + 1);
    std::uint64_t word = lat_code * kGrid.radix + lon_code;
    if (lat_code != 0 && rng() % 2) word |= kLatSign;
    if (lon_code != 0 && rng() % 2) word |= kLonSign;
    Packed p(word);
    ASSERT_TRUE(Holds(GeographyCoordinate(p), kGrid.Decode(word)));
    auto [lat, lon] = p.GetLatLon();
    ASSERT_EQ(Packed(lat, lon).GetEncoded(), word) << std::hex << word;
  }
}

}  // namespace
}  // namespace ostrel
