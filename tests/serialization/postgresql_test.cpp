// PostgreSQL extended text and binary: the family decided by the SRID, the
// extended type codes and their flags, the SRID prefix, densifying off for
// geographies, writers against an independent encoder, round trips of random
// values in both forms.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "ostrel/serialization/postgresql.hpp"
#include "ostrel/serialization/wkt.hpp"
#include "serialization/serialization_support.hpp"

namespace ostrel {
namespace {

using namespace serialization_test;
using Bytes = std::vector<std::uint8_t>;
using S = ShapeType;
using PG = PostgreSQLSerialization;

// Kind, original SRID and the WKT of what was read.
std::string Show(SpatialPtr const& v) {
  if (v->IsGeography())
    return "geog " + to_string(v->AsGeography().GetOriginalSRID()) + " " +
           WktSerialization::Write(*v);
  if (v->IsGeometry()) return "geom " + WktSerialization::Write(*v);
  return "Unknown";
}

TEST(PostgreSQLBinary, FamilyAndCodes) {
  struct {
    char const* what;
    Bytes bytes;
    std::string read;
  } const cases[] = {
      {"SRID flag", Hex("01 01000020 E6100000 000000000000F03F 0000000000000040"),
       "geog EPSG:4326 POINT(1 2)"},
      {"no SRID", Hex("01 01000000 000000000000F03F 0000000000000040"), "geom POINT(1 2)"},
      {"big-endian SRID", WkbBuilder(true).Header(0x20000001).U32(4269).F64(1).F64(2).Bytes(),
       "geog EPSG:4269 POINT(1 2)"},
      {"Z", WkbBuilder().Header(0x80000001).F64(1).F64(2).F64(3).Bytes(), "geom POINT(1 2)"},
      {"M", WkbBuilder().Header(0x40000001).F64(1).F64(2).F64(3).Bytes(), "geom POINT(1 2)"},
      {"ZM with SRID",
       WkbBuilder().Header(0xE0000001).U32(4326).F64(1).F64(2).F64(3).F64(4).Bytes(),
       "geog EPSG:4326 POINT(1 2)"},
      {"ISO code", WkbBuilder().Header(1001).F64(1).F64(2).F64(3).Bytes(), "Unknown"},
      {"SRID flag on a member",
       WkbBuilder()
           .Header(0x20000004)
           .U32(4326)
           .U32(1)
           .Header(0x20000001)
           .U32(4326)
           .F64(1)
           .F64(2)
           .Bytes(),
       "Unknown"},
      {"members with flags",
       WkbBuilder()
           .Header(0x20000007)
           .U32(4326)
           .U32(2)
           .Header(0x80000001)
           .F64(1)
           .F64(2)
           .F64(3)
           .Header(0x40000002)
           .U32(2)
           .Coordinates({{0, 0}, {0.01, 0.01}}, 1)
           .Bytes(),
       "geog EPSG:4326 GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 0.01 0.01))"},
      {"SRID kept to 24 bits",
       WkbBuilder().Header(0x20000001).U32(0x01000010).F64(1).F64(2).Bytes(),
       "geog EPSG:16 POINT(1 2)"},
      {"empty collection", WkbBuilder().Header(0x20000007).U32(4326).U32(0).Bytes(),
       "geog EPSG:4326 GEOMETRYCOLLECTION EMPTY"},
  };
  for (auto const& c : cases) EXPECT_EQ(Show(PG::ReadBinary(c.bytes)), c.read) << c.what;

  // The family is chosen from the raw bytes: five bytes or less are planar,
  // whatever the flag says (and a planar code with the flag is unknown).
  EXPECT_EQ(Show(PG::ReadBinary(Hex("01 01000020"))), "Unknown");
  EXPECT_EQ(Throws<std::length_error>([] { PG::ReadBinary(Hex("01 01000000")); }),
            "unexpected end of stream");
  EXPECT_EQ(Throws<std::length_error>([] { PG::ReadBinary(Hex("01 01000020 E6")); }),
            "unexpected end of stream");
  EXPECT_EQ(Throws<std::length_error>([] { PG::ReadBinary({}); }), "unexpected end of stream");
  // A geography from this form is not densified (plain WKB geography is).
  Bytes const line =
      WkbBuilder().Header(0x20000002).U32(4326).U32(2).Coordinates({{0, 0}, {10, 0}}).Bytes();
  EXPECT_EQ(Show(PG::ReadBinary(line)), "geog EPSG:4326 LINESTRING(0 0, 10 0)");
  // But rings are still oriented.
  Bytes const cw = WkbBuilder()
                       .Header(0x20000003)
                       .U32(4326)
                       .U32(1)
                       .U32(5)
                       .Coordinates({{0, 0}, {0, 1}, {1, 1}, {1, 0}, {0, 0}})
                       .Bytes();
  EXPECT_EQ(Show(PG::ReadBinary(cw)), "geog EPSG:4326 POLYGON((0 0, 1 0, 1 1, 0 1, 0 0))");
}

TEST(PostgreSQLBinary, Writer) {
  Model const point{S::Point, {{1, 2}}, {}, {}};
  Geography::Attributes epsg(SRID(SRID::Authority::EPSG, 4269), SRID::WGS84(),
                             TopologicalType::Spheroidal, WindingOrder::InteriorLeft);
  Geography::Attributes esri(SRID(SRID::Authority::ESRI, 4269), SRID::WGS84(),
                             TopologicalType::Spheroidal, WindingOrder::InteriorLeft);
  Model const m = ModelOf(MakeValue<DefaultGeography>(point));
  EXPECT_EQ(PG::WriteBinary(MakeValue<DefaultGeography>(point, epsg)),
            ExpectedWkb(m, 0x20000000, 4269));
  // Not an EPSG SRID: no flag, and so it reads back as planar.
  Bytes const unflagged = PG::WriteBinary(MakeValue<DefaultGeography>(point, esri));
  EXPECT_EQ(unflagged, ExpectedWkb(m));
  EXPECT_TRUE(PG::ReadBinary(unflagged)->IsGeometry());
  // Planar values never carry an SRID.
  Geometry::Attributes const planar_srid(GeometryCoordinate::Bias(), SRID::WGS84(), SRID::WGS84());
  EXPECT_EQ(PG::WriteBinary(MakeValue<DefaultGeometry>(point, planar_srid)), ExpectedWkb(point));
  // Collections: members with plain codes.
  Model const multi{S::MultiPoint, {{1, 2}, {3, 4}}, {}, {}};
  EXPECT_EQ(PG::WriteBinary(MakeValue<DefaultGeography>(multi, epsg)),
            ExpectedWkb(ModelOf(MakeValue<DefaultGeography>(multi)), 0x20000000, 4269));
  EXPECT_EQ(Throws<std::invalid_argument>([] { PG::WriteBinary(Unknown()); }),
            "can only translate Geography or Geometry");
  EXPECT_EQ(Throws<std::invalid_argument>([] { PG::WriteBinary(DefaultGeography()); }),
            "unable to handle Empty");
}

TEST(PostgreSQLText, ReadAndWrite) {
  struct {
    char const* text;
    std::string read;
  } const cases[] = {
      {"SRID=4326;POINT(1 2)", "geog EPSG:4326 POINT(1 2)"},
      {"srid=4269;POINT(1 2)", "geog EPSG:4269 POINT(1 2)"},
      {"SRID = 4326 ; POINT(1 2)", "geog EPSG:4326 POINT(1 2)"},
      {"SRID=4326.9;POINT(1 2)", "geog EPSG:4326 POINT(1 2)"},
      {"POINT(1 2)", "geom POINT(1 2)"},
      {"SRID=4326", "Unknown"},
      {"SRID=4326;", "Unknown"},
      {"SRID:4326;POINT(1 2)", "Unknown"},
      {"SRID=;POINT(1 2)", "Unknown"},
      {"SRIDX=4326;POINT(1 2)", "Unknown"},
      {"SRID", "Unknown"},
      {"SRID=4326;POINT(1 2) x", "Unknown"},
      {"SRID=4326;LINESTRING(0 0, 10 0)", "geog EPSG:4326 LINESTRING(0 0, 10 0)"},
      {"SRID=4326;POLYGON((0 0, 0 1, 1 1, 1 0, 0 0))",
       "geog EPSG:4326 POLYGON((0 0, 1 0, 1 1, 0 1, 0 0))"},
      {"SRID=4326;POINT Z (181 -90.000001 7)", "geog EPSG:4326 POINT(-179 -90)"},
  };
  for (auto const& c : cases) EXPECT_EQ(Show(PG::ReadText(c.text)), c.read) << c.text;
  // A planar text with an SRID is a geography, so its coordinates must be
  // degrees.
  EXPECT_EQ(Throws<std::out_of_range>([] { PG::ReadText("SRID=3857;POINT(1000000 2000000)"); }),
            "Latitude must not exceed +/- 90");

  Geography::Attributes epsg(SRID(SRID::Authority::EPSG, 4326), SRID::WGS84(),
                             TopologicalType::Spheroidal, WindingOrder::InteriorLeft);
  Geography::Attributes none(SRID(), SRID::WGS84(), TopologicalType::Spheroidal,
                             WindingOrder::InteriorLeft);
  Model const mixed{S::Mixed, {{1, 2}}, {{{0, 0}, {1, 1}}}, {}};
  EXPECT_EQ(PG::WriteText(MakeValue<DefaultGeography>(mixed, epsg)),
            "SRID=4326;GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))");
  EXPECT_EQ(PG::WriteText(MakeValue<DefaultGeography>(mixed, none)),
            "GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))");
  Geometry::Attributes const planar_srid(GeometryCoordinate::Bias(5, 5), SRID::WGS84(),
                                         SRID::WGS84());
  EXPECT_EQ(PG::WriteText(MakeValue<DefaultGeometry>(mixed, planar_srid)),
            "GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))");
  EXPECT_EQ(PG::WriteText(MakeValue<DefaultGeography>(Model{}, epsg)), "SRID=4326;POINT EMPTY");
  EXPECT_EQ(Throws<std::invalid_argument>([] { PG::WriteText(Identifying(3)); }),
            "can only translate Geography or Geometry");
}

// Random values of every shape, both forms: geographies with an EPSG SRID
// come back with it; planar values come back planar with their content.
TEST(PostgreSQLRoundTrip, RandomValuesOfEveryShape) {
  for (bool geographic : {false, true}) {
    Generator gen(geographic ? 51 : 52, geographic, 4);
    for (int i = 0; i < 700; ++i) {
      Model const m = gen.Make(kAllShapes[i % 7]);
      SRID const srid(SRID::Authority::EPSG, 4000 + static_cast<unsigned>(i));
      SpatialPtr const v =
          geographic
              ? MakeSpatial<DefaultGeography>(MakeValue<DefaultGeography>(
                    m, Geography::Attributes(srid, SRID::WGS84(), TopologicalType::Spheroidal,
                                             WindingOrder::InteriorLeft)))
              : MakeSpatial<DefaultGeometry>(MakeValue<DefaultGeometry>(m));
      for (SpatialPtr const& back :
           {PG::ReadBinary(PG::WriteBinary(*v)), PG::ReadText(PG::WriteText(*v))}) {
        ASSERT_EQ(back->GetCoordinateType(), v->GetCoordinateType()) << i;
        EXPECT_EQ(ModelOf(*back), ModelOf(*v)) << i;
        if (geographic) {
          EXPECT_EQ(back->AsGeography().GetOriginalSRID(), srid);
          EXPECT_EQ(back->GetHash(), v->GetHash());  // same content, same attributes
        }
      }
      EXPECT_EQ(PG::WriteBinary(*PG::ReadBinary(PG::WriteBinary(*v))), PG::WriteBinary(*v));
    }
  }
}

}  // namespace
}  // namespace ostrel
