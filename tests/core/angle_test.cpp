#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "ostrel/ostrel.hpp"

using namespace ostrel;

constexpr double kPi = 3.141592653589793, kHalfPi = 1.5707963267948966;
static std::uint64_t Bits(double d) { return std::bit_cast<std::uint64_t>(d); }
static double Raw(Latitude const& v) { return v.Get().Get(); }
static double Raw(Longitude const& v) { return v.Get().Get(); }

// "No value" is the signed quiet NaN (the bare Unit base is 0.0); modifiers, unary minus
// included, change the object itself and return it; texts take the hemisphere from the sign.
TEST(Angle, DefaultsModifiersAndText) {
  for (double v : {Degrees().Get(), Radians().Get(), Raw(Latitude()), Raw(Longitude())})
    EXPECT_EQ(Bits(v), 0xFFF8000000000000u);
  EXPECT_FALSE(Longitude().IsValid() || (Unit<Degrees, double>().Get() != 0));
  Degrees d(10.0);
  EXPECT_TRUE(&(d += 2.5) == &d && &(d /= 0.5) == &d && &(-d) == &d && d.Get() == -25.0);
  EXPECT_EQ(to_string(Latitude(Degrees(-45.0))) + to_string(Latitude(0.0)), "45°S0°N");
  EXPECT_EQ(to_string(Longitude(-0.0)) + to_string(Longitude(Degrees(-120.5))), "0°E120.5°W");
  EXPECT_EQ(to_string(200_lon) + to_string(Degrees(1.0 / 3)), "200°E0.333333°");
}

// The latitude check runs after the store, so a throwing modifier leaves the new value behind;
// exactly +/-pi/2 and NaN pass.
TEST(Latitude, RangeCheckAfterTheStore) {
  std::tuple<double, void (*)(Latitude&), double> const cases[] = {
      {1.5, [](Latitude& l) { l += Latitude(0.1); }, 1.5 + 0.1},
      {1.0, [](Latitude& l) { l *= 2.0; }, 2.0},
      {2.0, [](Latitude& l) { -l; }, -2.0},  // the double constructor did not check
  };
  for (auto [start, op, after] : cases) {
    Latitude lat(start);
    EXPECT_THAT(([&lat, op = op] { op(lat); }),
                testing::ThrowsMessage<std::out_of_range>("Latitude must not exceed +/- pi/2"));
    EXPECT_EQ(Raw(lat), after) << start;
  }
  EXPECT_TRUE(Raw(Latitude(1.0) += Latitude(kHalfPi - 1.0)) == kHalfPi && Raw(-90_lat) == -kHalfPi);
  EXPECT_TRUE(Raw(Latitude(-1.0).Abs()) == 1.0 && !Latitude(Radians(NAN)).IsValid());
  EXPECT_THROW(100_lat, std::out_of_range);
}

// Over 10^6 angles, Normalize moves values outside [-pi, pi] inside ((-pi, pi] from below,
// [-pi, pi) from above) by whole turns and keeps the others bit for bit; degrees convert by one
// multiplication, without normalizing. IsBetween is open and unwraps across the antimeridian.
TEST(Longitude, NormalizeAndIsBetween) {
  std::mt19937_64 rng(0x5EED0001);
  std::uniform_real_distribution<double> wide(-1000.0, 1000.0);
  for (int i = 0; i < 1000000; ++i) {
    double v = i % 4 == 0 ? std::ldexp(wide(rng), static_cast<int>(rng() % 8)) : wide(rng);
    v = i % 100 == 0 ? kPi * (static_cast<int>(rng() % 5) - 2) / 2 : v;  // includes +/-pi
    double r = Raw(Longitude(v).Normalize()), turns = (v - r) / (2 * kPi);
    ASSERT_TRUE(std::fabs(v) > kPi || Bits(r) == Bits(v)) << v;
    ASSERT_TRUE(v >= -kPi || (r > -kPi && r <= kPi)) << v;
    ASSERT_TRUE(v <= kPi || (r >= -kPi && r < kPi)) << v;
    ASSERT_NEAR(turns, std::round(turns), 1e-9) << v;
    ASSERT_EQ(Bits(Raw(Longitude(Degrees(v)))), Bits(v * 0.017453292519943295));
  }
  EXPECT_NEAR(Radians(-4.0).Normalize().Get(), 2.2831853071795862, 1e-15);
  EXPECT_TRUE(std::isnan(Radians(INFINITY).Normalize().Get()));
  std::tuple<double, double, double, bool> const cases[] = {
      {170, -170, 175, true},  {170, -170, -175, true},  {170, -170, 0, false},
      {170, -170, 170, false}, {170, -170, -170, false}, {170, 100, 90, true},
      {-10, 10, 360, true},    {-10, 10, -10, false},    {190, 200, -165, true},
      {20, 20, 100, false},
  };
  auto lon = [](double degrees) { return Longitude(Degrees(degrees)); };
  for (auto [lo, hi, x, between] : cases)
    EXPECT_EQ(lon(x).IsBetween(lon(lo), lon(hi)), between) << lo << " " << hi << " " << x;
}
