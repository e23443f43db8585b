#include <gtest/gtest.h>

#include "ostrel/ostrel.hpp"

namespace ostrel {
namespace {

TEST(GeographyGrid, EndCodesEncodeAsDocumented) {
  EXPECT_EQ(GeographyCoordinate::Packed(90_lat, 180_lon).GetEncoded(), 0x3FFFFFFF6C4E092Full);
  EXPECT_EQ(GeographyCoordinate::Packed(-90_lat, -180_lon).GetEncoded(), 0xFFFFFFFF6C4E092Full);
  EXPECT_EQ(GeographyCoordinate::Packed(45_lat, -120_lon).GetEncoded(), 0x60000000309120EAull);
}

}  // namespace
}  // namespace ostrel
