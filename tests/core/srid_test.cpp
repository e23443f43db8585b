#include <gtest/gtest.h>

#include "ostrel/ostrel.hpp"

using namespace ostrel;

// The texts of the values 0 to n - 1 of the enumeration E, each followed by a comma.
template <class E>
static std::string Texts(unsigned n) {
  std::string all;
  for (unsigned i = 0; i < n; ++i) all += to_string(E(i)) + ",";
  return all;
}

// Each enumeration's texts, "<unsupported>" for any other number (for an authority "Unknown");
// predefined SRIDs; equality of the whole word; identifiers keep only their low 24 bits.
TEST(Enumerations, TextsAndSRID) {
  EXPECT_EQ(Texts<CoordinateType>(5), "Unknown,Identifying,Geometry,Geography,<unsupported>,");
  EXPECT_EQ(Texts<ShapeType>(9),
            "Empty,Point,LineString,Polygon,MultiPoint,MultiLineString,MultiPolygon,Mixed,"
            "<unsupported>,");
  EXPECT_EQ(Texts<TopologicalType>(3), "Spheroidal,Flat,<unsupported>,");
  EXPECT_EQ(Texts<WindingOrder>(4), "interior-left,interior-right,ambiguous,<unsupported>,");
  EXPECT_EQ(Texts<SRID::Authority>(8), "Unknown,EPSG,SR-ORG,ESRI,ORACLE,MS,IAU2000,Unknown,");
  EXPECT_EQ(to_string(ShapeType(255)) + to_string(SRID::Authority(255)), "<unsupported>Unknown");
  using A = SRID::Authority;
  std::string all;
  for (SRID s : {SRID::None(), SRID::WGS84(), SRID::NAD27(), SRID::NAD83(), SRID::ETRS89(),
                 SRID(A::SR_ORG, ~0u), SRID(A(9), (1 << 24) + 5)})
    all += to_string(s) + ",";
  EXPECT_EQ(all, "Unknown:0,EPSG:4326,EPSG:2029,EPSG:4269,EPSG:4258,SR-ORG:16777215,Unknown:5,");
  EXPECT_TRUE(SRID(A::EPSG, 4326) == SRID::WGS84() && SRID(A::ESRI, 4326) != SRID::WGS84());
  EXPECT_TRUE(SRID(A::EPSG, (1 << 24) + 4326) == SRID::WGS84() &&
              SRID(A(9), 5).GetAuthority() == A(9));
}
