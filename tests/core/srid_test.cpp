#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "ostrel/ostrel.hpp"

namespace ostrel {
namespace {

static_assert(sizeof(CoordinateType) == 1 && sizeof(ShapeType) == 1);
static_assert(sizeof(TopologicalType) == 1 && sizeof(WindingOrder) == 1);
static_assert(sizeof(SRID::Authority) == 1 && sizeof(SRID) == 4);

template <class E>
std::string Streamed(E value) {
  std::ostringstream os;
  os << value;
  return os.str();
}

// texts[i] is the text of the enumerator with the number i; the numbers after
// the table and the largest byte read "<unsupported>" (or `other`).
template <class E>
void ExpectTexts(std::vector<std::string> const& texts, std::string const& other) {
  std::vector<unsigned> numbers;
  for (unsigned i = 0; i < texts.size() + 3; ++i) numbers.push_back(i);
  numbers.push_back(255);
  for (unsigned n : numbers) {
    std::string const& expected = n < texts.size() ? texts[n] : other;
    auto value = static_cast<E>(n);
    EXPECT_EQ(to_string(value), expected) << n;
    EXPECT_EQ(Streamed(value), expected) << n;
  }
}

TEST(Enumerations, TextOfEveryNumber) {
  ExpectTexts<CoordinateType>({"Unknown", "Identifying", "Geometry", "Geography"}, "<unsupported>");
  ExpectTexts<ShapeType>({"Empty", "Point", "LineString", "Polygon", "MultiPoint",
                          "MultiLineString", "MultiPolygon", "Mixed"},
                         "<unsupported>");
  ExpectTexts<TopologicalType>({"Spheroidal", "Flat"}, "<unsupported>");
  ExpectTexts<WindingOrder>({"interior-left", "interior-right", "ambiguous"}, "<unsupported>");
  ExpectTexts<SRID::Authority>({"Unknown", "EPSG", "SR-ORG", "ESRI", "ORACLE", "MS", "IAU2000"},
                               "Unknown");
  EXPECT_EQ(static_cast<int>(ShapeType::Mixed), 7);
  EXPECT_EQ(static_cast<int>(CoordinateType::Geography), 3);
  EXPECT_EQ(static_cast<int>(WindingOrder::Ambiguous), 2);
  EXPECT_EQ(static_cast<int>(SRID::Authority::IAU2000), 6);
}

TEST(SRID, PredefinedIdentifiers) {
  struct Case {
    SRID const& (*get)();
    SRID::Authority authority;
    unsigned id;
    char const* text;
  };
  Case const cases[] = {
      {&SRID::None, SRID::Authority::None, 0, "Unknown:0"},
      {&SRID::WGS84, SRID::Authority::EPSG, 4326, "EPSG:4326"},
      {&SRID::NAD27, SRID::Authority::EPSG, 2029, "EPSG:2029"},
      {&SRID::NAD83, SRID::Authority::EPSG, 4269, "EPSG:4269"},
      {&SRID::ETRS89, SRID::Authority::EPSG, 4258, "EPSG:4258"},
  };
  for (auto const& c : cases) {
    SRID const& s = c.get();
    EXPECT_EQ(&s, &c.get()) << c.text;  // one static instance
    EXPECT_EQ(s.GetAuthority(), c.authority) << c.text;
    EXPECT_EQ(s.GetID(), c.id) << c.text;
    EXPECT_TRUE(s == SRID(c.authority, c.id)) << c.text;
    EXPECT_EQ(to_string(s), c.text);
    EXPECT_EQ(Streamed(s), c.text);
  }
  EXPECT_TRUE(SRID() == SRID::None());
  EXPECT_TRUE(SRID(SRID::Authority::ESRI, 4326) != SRID::WGS84());
  EXPECT_TRUE(SRID(SRID::Authority::EPSG, 4327) != SRID::WGS84());
}

TEST(SRID, IdentifierIsTruncatedTo24Bits) {
  struct Case {
    SRID::Authority authority;
    unsigned id, read_back;
    char const* text;
  };
  Case const cases[] = {
      {SRID::Authority::EPSG, 16777215, 16777215, "EPSG:16777215"},
      {SRID::Authority::EPSG, 16777216, 0, "EPSG:0"},
      {SRID::Authority::MS, 16777217, 1, "MS:1"},
      {SRID::Authority::SR_ORG, 0xFFFFFFFF, 0xFFFFFF, "SR-ORG:16777215"},
      {static_cast<SRID::Authority>(9), 5, 5, "Unknown:5"},
      {static_cast<SRID::Authority>(255), 7, 7, "Unknown:7"},
  };
  for (auto const& c : cases) {
    SRID s(c.authority, c.id);
    EXPECT_EQ(s.GetAuthority(), c.authority) << c.text;  // the identifier never spills into it
    EXPECT_EQ(s.GetID(), c.read_back) << c.text;
    EXPECT_EQ(to_string(s), c.text);
  }
  EXPECT_TRUE(SRID(SRID::Authority::EPSG, 16777216 + 4326) == SRID::WGS84());
}

}  // namespace
}  // namespace ostrel
