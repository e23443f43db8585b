#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <utility>

#include "ostrel/ostrel.hpp"

namespace ostrel {
namespace {

using Bias = GeometryCoordinate::Bias;
using Packed = GeometryCoordinate::Packed;

std::uint64_t Bits(double d) { return std::bit_cast<std::uint64_t>(d); }

TEST(GeometryCoordinate, SnapsToBiasPlusFloat) {
  GeometryCoordinate c(0.1, 0.2);
  EXPECT_EQ(c.GetX(), 0.10000000149011612);
  EXPECT_EQ(c.GetY(), 0.20000000298023224);
  // Without a bias the float spacing at 1e6 is 1/16 and at 2e6 it is 1/8.
  GeometryCoordinate far(1000000.1, 2000000.2);
  EXPECT_EQ(far.GetX(), 1000000.125);
  EXPECT_EQ(far.GetY(), 2000000.25);
  Bias bias(1000000, 2000000);
  GeometryCoordinate near(1000000.1, 2000000.2, bias);
  EXPECT_NEAR(near.GetX(), 1000000.1, 1e-8);
  EXPECT_NEAR(near.GetY(), 2000000.2, 1e-8);
  EXPECT_NE(near.GetX(), 1000000.1);  // still only float precision in the offset
}

TEST(GeometryCoordinate, InvalidAndNaNHandling) {
  for (auto [x, y] : {std::pair{std::nan(""), 5.0}, std::pair{5.0, std::nan("")}}) {
    GeometryCoordinate c(x, y);
    EXPECT_FALSE(c.IsValid());
    EXPECT_TRUE(std::isnan(c.GetX()) && std::isnan(c.GetY()));
  }
  GeometryCoordinate def;
  EXPECT_TRUE(Bits(def.GetX()) == 0xFFF8000000000000u && Bits(def.GetY()) == 0xFFF8000000000000u);
  EXPECT_TRUE(!(def == def) && def != def);
  EXPECT_TRUE(GeometryCoordinate(-0.0, 1.0) == GeometryCoordinate(0.0, 1.0));
  EXPECT_TRUE(GeometryCoordinate(1.0, 2.0) != GeometryCoordinate(2.0, 1.0));
  Packed p;
  EXPECT_FALSE(p.IsValid());
  EXPECT_EQ(std::bit_cast<std::uint32_t>(p.GetX()), 0xFFC00000u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(p.GetY()), 0xFFC00000u);
  EXPECT_FALSE(GeometryCoordinate(p, Bias(1, 2)).IsValid());
  auto [x, y] = p.GetXY(Bias(1, 2));
  EXPECT_TRUE(std::isnan(x) && std::isnan(y));
  EXPECT_FALSE(Packed(1.0, std::nan(""), Bias()).IsValid());
  // No range check: an offset beyond the float range becomes an infinity.
  Packed huge(1e39, -1e39, Bias());
  EXPECT_TRUE(huge.IsValid());
  EXPECT_EQ(huge.GetX(), std::numeric_limits<float>::infinity());
  EXPECT_EQ(huge.GetY(), -std::numeric_limits<float>::infinity());
}

TEST(GeometryCoordinate, PackedWordFoldsSignedZero) {
  struct Case {
    double x, y;
    std::uint64_t word;
  };
  Case const cases[] = {
      {-0.0, 1.0, 0x3F80000000000000}, {0.0, 1.0, 0x3F80000000000000},
      {1.0, -0.0, 0x000000003F800000}, {-0.0, -0.0, 0},
      {1.5, -2.0, 0xC00000003FC00000}, {-1.0, 0.5, 0x3F000000BF800000},
  };
  for (auto const& c : cases) {
    EXPECT_EQ(Packed(c.x, c.y, Bias()).GetAsUint64(), c.word) << c.x << " " << c.y;
  }
  // The offset from the bias is what is packed.
  EXPECT_EQ(Packed(11.0, 21.0, Bias(10, 20)).GetAsUint64(), 0x3F8000003F800000u);
  EXPECT_EQ(Packed(10.0, 20.0, Bias(10, 20)).GetAsUint64(), 0u);
}

TEST(GeometryCoordinate, BiasTextAndLiteral) {
  EXPECT_EQ(&Bias::None(), &Bias::None());
  EXPECT_TRUE(Bias::None() == Bias(0, 0) && Bias(1, 2) != Bias(2, 1));
  EXPECT_EQ(to_string(GeometryCoordinate(1.5, -2)), "(1.5, -2)");
  EXPECT_EQ(to_string(Packed(101.5, 198.0, Bias(100, 200)), Bias(100, 200)), "(101.5, 198)");
  EXPECT_EQ(to_string(std::make_pair(Packed(1.25, 3.0, Bias()), Bias(1, 1))), "(2.25, 4)");
  EXPECT_EQ(to_string(GeometryCoordinate()).back(), ')');
  GeometryCoordinate c = "1.5 -2"_geom;
  EXPECT_TRUE(c.GetX() == 1.5 && c.GetY() == -2.0);
  EXPECT_TRUE("0.1 0.2"_geom == GeometryCoordinate(0.1, 0.2));
  EXPECT_FALSE(""_geom.IsValid() || "1.5"_geom.IsValid() || "abc"_geom.IsValid());
}

TEST(GeometryCoordinate, SnappingPropertyOverRandomInputs) {
  std::mt19937_64 rng(0x5EED0003);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  auto bias_axis = [&](std::uint64_t pick) {
    switch (pick % 4) {
      case 0: return 0.0;
      case 1: return unit(rng) * 1e3;
      case 2: return unit(rng) * 1e7;
      default: return std::ldexp(unit(rng), static_cast<int>(rng() % 40));
    }
  };
  for (int i = 0; i < 1000000; ++i) {
    Bias bias(bias_axis(rng()), bias_axis(rng()));
    double x = bias.GetX() + std::ldexp(unit(rng), static_cast<int>(rng() % 61) - 30);
    double y = bias.GetY() + std::ldexp(unit(rng), static_cast<int>(rng() % 61) - 30);
    GeometryCoordinate c(x, y, bias);
    ASSERT_TRUE(c.IsValid());
    GeometryCoordinate again(c.GetX(), c.GetY(), bias);
    ASSERT_EQ(Bits(again.GetX()), Bits(c.GetX())) << x << " " << bias.GetX();
    ASSERT_EQ(Bits(again.GetY()), Bits(c.GetY())) << y << " " << bias.GetY();
    Packed p(c.GetX(), c.GetY(), bias);
    auto [px, py] = p.GetXY(bias);
    ASSERT_EQ(Bits(px), Bits(c.GetX()));
    ASSERT_EQ(Bits(py), Bits(c.GetY()));
    ASSERT_TRUE(GeometryCoordinate(p, bias) == c);
    // Only the offset is rounded to float: relative error 2^-24 of the offset,
    // plus the double roundings of the subtraction and the sum.
    double scale_x = std::max(std::fabs(x), std::fabs(bias.GetX()));
    double scale_y = std::max(std::fabs(y), std::fabs(bias.GetY()));
    ASSERT_LE(std::fabs(c.GetX() - x), std::fabs(x - bias.GetX()) * 0x1p-24 + scale_x * 0x1p-51);
    ASSERT_LE(std::fabs(c.GetY() - y), std::fabs(y - bias.GetY()) * 0x1p-24 + scale_y * 0x1p-51);
  }
}

}  // namespace
}  // namespace ostrel
