#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <iomanip>
#include <limits>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>

#include "ostrel/ostrel.hpp"

namespace ostrel {
namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kTwoPi = 6.283185307179586;
constexpr double kRadPerDeg = 0.017453292519943295;
constexpr std::uint64_t kNaNBits = 0xFFF8000000000000;

std::uint64_t Bits(double d) { return std::bit_cast<std::uint64_t>(d); }
double Raw(Latitude const& v) { return v.Get().Get(); }
double Raw(Longitude const& v) { return v.Get().Get(); }

// Angles of different kinds do not mix without an explicit conversion.
template <class A, class B>
concept AddAssignable = requires(A a, B b) {
  a += b;
};
static_assert(!AddAssignable<Latitude, Longitude> && !AddAssignable<Longitude, Latitude>);
static_assert(AddAssignable<Degrees, Degrees> && AddAssignable<Latitude, Latitude>);

TEST(Angle, DefaultsAreSignedQuietNaNButUnitDefaultsToZero) {
  for (double v : {Degrees().Get(), Radians().Get(), Raw(Latitude()), Raw(Longitude())}) {
    EXPECT_EQ(Bits(v), kNaNBits);
  }
  EXPECT_FALSE(Degrees().IsValid() || Radians().IsValid() || Latitude().IsValid() ||
               Longitude().IsValid());
  EXPECT_EQ(Bits(Unit<Degrees, double>().Get()), 0u);
  EXPECT_TRUE(Degrees(std::numeric_limits<double>::infinity()).IsValid());
}

TEST(Angle, UnitArithmeticModifiesAndReturnsTheObjectItself) {
  using Op = Degrees const& (*)(Degrees&);
  struct Case {
    Op op;
    double expected;
  } const cases[] = {
      {[](Degrees& d) -> Degrees const& { return d += Degrees(2.5); }, 12.5},
      {[](Degrees& d) -> Degrees const& { return d -= Degrees(12.0); }, -2.0},
      {[](Degrees& d) -> Degrees const& { return d *= 3.0; }, 30.0},
      {[](Degrees& d) -> Degrees const& { return d /= 4.0; }, 2.5},
      {[](Degrees& d) -> Degrees const& { return -d; }, -10.0},  // negates in place
      {[](Degrees& d) -> Degrees const& { return d += Radians(kPi); }, 190.0},
  };
  for (auto const& c : cases) {
    Degrees d(10.0);
    EXPECT_EQ(&c.op(d), &d);
    EXPECT_DOUBLE_EQ(d.Get(), c.expected);
  }
}

TEST(Latitude, RangeCheckRunsAfterTheValueIsStored) {
  struct Case {
    double start;
    void (*op)(Latitude&);
    double after;
    bool throws;
  } const cases[] = {
      {1.5, [](Latitude& l) { l += Latitude(0.1); }, 1.5 + 0.1, true},
      {-1.5, [](Latitude& l) { l -= Latitude(0.1); }, -1.5 - 0.1, true},
      {1.0, [](Latitude& l) { l *= 2.0; }, 2.0, true},
      {-1.0, [](Latitude& l) { l /= 0.5; }, -2.0, true},
      {2.0, [](Latitude& l) { -l; }, -2.0, true},  // the double constructor did not check
      {1.0, [](Latitude& l) { l += Latitude(kHalfPi - 1.0); }, kHalfPi, false},
      {1.5, [](Latitude& l) { -l; }, -1.5, false},
  };
  for (auto const& c : cases) {
    Latitude lat(c.start);
    try {
      c.op(lat);
      EXPECT_FALSE(c.throws) << c.start;
    } catch (std::out_of_range const& e) {
      EXPECT_TRUE(c.throws) << c.start;
      EXPECT_STREQ(e.what(), "Latitude must not exceed +/- pi/2");
    }
    EXPECT_EQ(Raw(lat), c.after) << c.start;
  }
}

TEST(Angle, CheckedConstructionAndAbs) {
  EXPECT_EQ(Raw(Latitude(Radians(-kHalfPi))), -kHalfPi);
  EXPECT_EQ(Raw(Latitude(Degrees(90.0))), kHalfPi);
  EXPECT_THROW(Latitude(Radians(std::nextafter(kHalfPi, 2.0))), std::out_of_range);
  EXPECT_THROW(Latitude(Radians(-std::nextafter(kHalfPi, 2.0))), std::out_of_range);
  EXPECT_THROW(Latitude(Degrees(90.0000001)), std::out_of_range);
  EXPECT_FALSE(Latitude(Radians(std::nan(""))).IsValid());
  EXPECT_EQ(Raw(Latitude(-1.0).Abs()), 1.0);
  EXPECT_THROW(Latitude(-2.0).Abs(), std::out_of_range);  // |v| goes through the check
  EXPECT_EQ(Radians(-2.0).Abs().Get(), 2.0);
  EXPECT_EQ(Raw(Longitude(-4.0).Abs()), 4.0);
  EXPECT_TRUE(std::signbit(Radians(-0.0).Abs().Get()));
  EXPECT_TRUE(std::signbit(Raw(Latitude(-0.0).Abs())));
  EXPECT_EQ(Bits(Radians().Abs().Get()), kNaNBits);
}

TEST(Radians, Normalize) {
  struct Case {
    double in, out;
  } const cases[] = {
      {-4.0, 2.2831853071795862}, {4.0, -2.2831853071795862}, {kPi, kPi}, {-kPi, -kPi}, {1.0, 1.0},
  };
  for (auto const& c : cases) {
    EXPECT_NEAR(Radians(c.in).Normalize().Get(), c.out, 1e-15) << c.in;
    EXPECT_EQ(Raw(Longitude(c.in).Normalize()), Radians(c.in).Normalize().Get());
  }
  EXPECT_TRUE(std::isnan(Radians(std::numeric_limits<double>::infinity()).Normalize().Get()));
  EXPECT_EQ(Bits(Radians().Normalize().Get()), kNaNBits);
}

TEST(Radians, NormalizePropertyOverRandomAngles) {
  std::mt19937_64 rng(0x5EED0001);
  std::uniform_real_distribution<double> wide(-1000.0, 1000.0);
  for (int i = 0; i < 1000000; ++i) {
    double v = i % 4 == 0 ? std::ldexp(wide(rng), static_cast<int>(rng() % 8)) : wide(rng);
    double r = Radians(v).Normalize().Get();
    if (v < -kPi) {
      ASSERT_TRUE(r > -kPi && r <= kPi) << v;
    } else if (v > kPi) {
      ASSERT_TRUE(r >= -kPi && r < kPi) << v;
    } else {
      ASSERT_EQ(Bits(r), Bits(v));
    }
    double turns = (v - r) / kTwoPi;
    ASSERT_NEAR(turns, std::round(turns), 1e-9) << v;
  }
}

TEST(Angle, ConversionsAreSingleMultiplicationsByTheFixedConstants) {
  std::mt19937_64 rng(0x5EED0002);
  std::uniform_real_distribution<double> any(-720.0, 720.0);
  for (int i = 0; i < 100000; ++i) {
    double v = any(rng);
    ASSERT_EQ(Bits(Radians(Degrees(v)).Get()), Bits(v * kRadPerDeg));
    ASSERT_EQ(Bits(Degrees(Radians(v)).Get()), Bits((v * 180.0) * 0.3183098861837907));
    ASSERT_EQ(Bits(Degrees(Latitude(v)).Get()), Bits((v * 180.0) * 0.3183098861837907));
    ASSERT_EQ(Bits(Raw(Longitude(Degrees(v)))), Bits(v * kRadPerDeg));  // not normalized
  }
}

TEST(Longitude, IsBetweenIsOpenAndCrossesTheAntimeridian) {
  struct Case {
    double lo, hi, x;
    bool between;
  } const cases[] = {
      {170, -170, 175, true},   {170, -170, -175, true}, {170, -170, 180, true},
      {170, -170, -180, true},  {170, -170, 0, false},   {170, -170, 170, false},
      {170, -170, -170, false}, {170, -170, 169, false}, {-10, 10, 0, true},
      {-10, 10, 10, false},     {-10, 10, -10, false},   {-10, 10, 360, true},
      {190, 200, -165, true},   {20, 20, 20, false},     {20, 20, 100, false},
      {-180, 180, 0, true},     {-180, 180, 180, false}, {180, -180, 0, false},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(Longitude(Degrees(c.x)).IsBetween(Longitude(Degrees(c.lo)), Longitude(Degrees(c.hi))),
              c.between)
        << c.lo << " " << c.hi << " " << c.x;
  }
  EXPECT_FALSE(Longitude().IsBetween(Longitude(-1.0), Longitude(1.0)));
}

TEST(Angle, TextOutput) {
  struct Case {
    std::string text, expected;
  } const cases[] = {
      {to_string(Latitude(Degrees(-45.0))), "45°S"},
      {to_string(Latitude(0.0)), "0°N"},
      {to_string(Longitude(-0.0)), "0°E"},
      {to_string(Longitude(Degrees(120.5))), "120.5°E"},
      {to_string(Longitude(Degrees(-120.5))), "120.5°W"},
      {to_string(Longitude(Degrees(200.0))), "200°E"},
      {to_string(Radians(1.0)), "1"},
      {to_string(Degrees(1.0 / 3.0)), "0.333333°"},
      {to_string(Longitude()), "nan°E"},
      {to_string(Latitude()).substr(to_string(Latitude()).size() - 3), "°N"},
  };
  for (auto const& c : cases) EXPECT_EQ(c.text, c.expected);
  EXPECT_EQ(Degrees::GetUnitSymbol(), std::string("\xC2\xB0"));  // UTF-8 bytes of the degree sign
  std::ostringstream os;
  os << std::fixed << std::setprecision(2) << Degrees(1.5) << " " << Radians(2.0) << " "
     << Latitude(Degrees(-30.0));
  EXPECT_EQ(os.str(), "1.50° 2.00 30.00°S");
}

TEST(Angle, Literals) {
  struct Case {
    double actual, expected;
  } const cases[] = {
      {(45_deg).Get(), 45.0},
      {(45.5_deg).Get(), 45.5},
      {(2_rad).Get(), 2.0},
      {(0.5_rad).Get(), 0.5},
      {Raw(45_lat), 45 * kRadPerDeg},
      {Raw(45.5_lat), 45.5 * kRadPerDeg},
      {Raw(1_rlat), 1.0},
      {Raw(0.25_rlat), 0.25},
      {Raw(100_lon), 100 * kRadPerDeg},
      {Raw(190.5_lon), 190.5 * kRadPerDeg},
      {Raw(4_rlon), 4.0},
      {Raw(7.5_rlon), 7.5},
  };
  for (auto const& c : cases) EXPECT_EQ(Bits(c.actual), Bits(c.expected)) << c.expected;
  EXPECT_THROW(100_lat, std::out_of_range);
  EXPECT_THROW(90.5_lat, std::out_of_range);
  EXPECT_THROW(2_rlat, std::out_of_range);
  EXPECT_THROW(1.6_rlat, std::out_of_range);
}

}  // namespace
}  // namespace ostrel
