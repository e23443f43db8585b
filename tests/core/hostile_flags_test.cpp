// The inline coordinate code must not change with the consumer's flags: the
// same operations compiled with -O3 -ffast-math -ffp-contract=fast give the
// same bits as under the project's flags, NaN and infinities included, and
// planar snapping equals an independent rounding through a volatile float.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "core/hostile_flags.hpp"

namespace ostrel {
namespace {

std::uint64_t Bits(double d) { return std::bit_cast<std::uint64_t>(d); }

// The coordinate snapped by hand: the offset rounded to float by storing it
// in a volatile float, which no optimiser may elide.
std::pair<double, double> ReferenceSnap(double x, double y, GeometryCoordinate::Bias const& b) {
  float volatile fx = static_cast<float>(x - b.GetX());
  float volatile fy = static_cast<float>(y - b.GetY());
  float const sx = fx, sy = fy;
  if (std::isnan(sx) || std::isnan(sy)) return {std::nan(""), std::nan("")};
  return {static_cast<double>(sx) + b.GetX(), static_cast<double>(sy) + b.GetY()};
}

// Doubles of every kind: ordinary, tiny, huge, subnormal, zero of both
// signs, infinities and NaN.
double Any(std::mt19937_64& rng) {
  switch (rng() % 16) {
    case 0: return std::numeric_limits<double>::quiet_NaN();
    case 1: return (rng() & 1 ? 1 : -1) * std::numeric_limits<double>::infinity();
    case 2: return rng() & 1 ? 0.0 : -0.0;
    case 3: return std::bit_cast<double>(rng() & 0x800FFFFFFFFFFFFF);  // subnormal
    case 4: return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(rng), 120);
    default:
      return std::ldexp(std::uniform_real_distribution<double>(-1, 1)(rng),
                        static_cast<int>(rng() % 60) - 30);
  }
}

TEST(HostileFlags, PlanarSnappingIsExactUnderAnyFlags) {
  std::mt19937_64 rng(0x5EED0010);
  for (int i = 0; i < 1000000; ++i) {
    double const x = Any(rng), y = Any(rng);
    GeometryCoordinate::Bias const bias(i % 3 ? Any(rng) : 0.0, i % 5 ? Any(rng) : 0.0);
    GeometryCoordinate const ours(x, y, bias), theirs = hostile::Snap(x, y, bias);
    auto const [rx, ry] = ReferenceSnap(x, y, bias);
    ASSERT_EQ(Bits(ours.GetX()) == Bits(theirs.GetX()) && Bits(ours.GetY()) == Bits(theirs.GetY()),
              true)
        << x << " " << y;
    // An infinite bias can turn a finite offset into NaN in one axis only.
    bool const valid = !std::isnan(rx) && !std::isnan(ry);
    ASSERT_TRUE(ours.IsValid() == valid && hostile::IsValid(theirs) == valid) << x << " " << y;
    if (!std::isnan(rx)) {
      ASSERT_TRUE(Bits(ours.GetX()) == Bits(rx) && Bits(ours.GetY()) == Bits(ry)) << x << " " << y;
    }
    GeometryCoordinate::Packed const p(x, y, bias), q = hostile::Pack(x, y, bias);
    ASSERT_EQ(p.GetAsUint64(), q.GetAsUint64());
  }
  // The case g++ 12 got wrong at -O2: the float nearest to 0.1, not 0.1.
  EXPECT_EQ(hostile::Snap(0.1, 0.2, GeometryCoordinate::Bias::None()).GetX(), 0.10000000149011612);
  EXPECT_EQ(GeometryCoordinate(0.1, 0.2).GetY(), 0.20000000298023224);
}

TEST(HostileFlags, GeographicGridIsExactUnderAnyFlags) {
  std::mt19937_64 rng(0x5EED0011);
  for (int i = 0; i < 1000000; ++i) {
    double const lat = i % 7 ? std::uniform_real_distribution<double>(-1.6, 1.6)(rng) : Any(rng);
    double const lon = i % 5 ? std::uniform_real_distribution<double>(-7, 7)(rng) : Any(rng);
    Latitude const latitude(lat);  // unchecked: beyond +/-pi/2 must encode as invalid too
    unsigned long long const word =
        GeographyCoordinate::Packed(latitude, Longitude(lon)).GetEncoded();
    ASSERT_EQ(word, hostile::Encode(lat, lon)) << lat << " " << lon;
    GeographyCoordinate const ours(latitude, Longitude(lon)), theirs = hostile::Snap(lat, lon);
    ASSERT_TRUE(Bits(ours.GetLatitude().Get().Get()) == Bits(theirs.GetLatitude().Get().Get()) &&
                Bits(ours.GetLongitude().Get().Get()) == Bits(theirs.GetLongitude().Get().Get()))
        << lat << " " << lon;
    ASSERT_EQ(ours.IsValid(), hostile::IsValid(theirs));
    if (ours.IsValid()) {
      GeographyCoordinate const decoded = hostile::Decode(word);
      ASSERT_TRUE(decoded == ours) << lat << " " << lon;
    }
  }
}

}  // namespace
}  // namespace ostrel
