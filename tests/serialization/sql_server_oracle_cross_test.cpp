// The same content through SQL Server bytes, Oracle bytes, WKB and OWKT.
// Each form's own round trip of random content keeps the hash; these are the
// cases where the forms' rules differ, each with its reason:
//  - orientation: WKB orients geographic rings, the SQL Server and Oracle
//    readers keep them as stored, OWKT keeps them too;
//  - densifying: WKB subdivides long geographic edges, the others do not;
//  - ring clean-up: every binary reader cleans geographic rings, OWKT builds
//    them as written;
//  - SRIDs: SQL Server and Oracle carry theirs (EPSG:<n> for a geography,
//    <n> under authority None for a geometry), WKB none (the defaults);
//  - bias: binary readers take a planar value's first coordinate, OWKT its
//    BIAS attribute or (0, 0).
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "ostrel/serialization/oracle.hpp"
#include "ostrel/serialization/sql_server.hpp"
#include "ostrel/serialization/wkb.hpp"
#include "serialization/serialization_support.hpp"

namespace ostrel {
namespace {

using namespace serialization_test;
using S = ShapeType;
using CT = CoordinateType;

struct Reads {
  SpatialPtr sql, ora, wkb, owkt;
};

// `v` written in each form and read back; OWKT through its lossless text.
Reads ReadAll(Spatial const& v) {
  return {SqlServerSerialization::Read(SqlServerSerialization::Write(v)),
          OracleSerialization::Read(OracleSerialization::Write(v)),
          WkbSerialization::Read(WkbSerialization::Write(v), v.GetCoordinateType()),
          OWKT::From(OWKT::To(v, OWKT::WriteOptions::Lossless()))};
}

TEST(InterchangeCross, WhereTheFormsDiffer) {
  auto geography = [](Model const& m, unsigned srid = 4326) {
    SRID const s(SRID::Authority::EPSG, srid);
    return MakeSpatial<DefaultGeography>(MakeValue<DefaultGeography>(
        m, Geography::Attributes(s, s, TopologicalType::Spheroidal, WindingOrder::InteriorLeft)));
  };
  // A clockwise exterior ring: WKB reverses it, the others keep it.
  Path const ccw{{0, 0}, {0.05, 0}, {0.05, 0.05}, {0, 0.05}, {0, 0}};
  Path const cw(ccw.rbegin(), ccw.rend());
  Reads r = ReadAll(*geography({S::Polygon, {}, {}, {{cw}}}));
  EXPECT_EQ(r.sql->GetHash(), r.owkt->GetHash());
  EXPECT_EQ(r.ora->GetHash(), r.owkt->GetHash());
  EXPECT_NE(r.wkb->GetHash(), r.owkt->GetHash());
  EXPECT_EQ(r.wkb->GetHash(), geography({S::Polygon, {}, {}, {{ccw}}})->GetHash());

  // A long edge: WKB densifies it.
  r = ReadAll(*geography({S::LineString, {}, {{{0, 0}, {10, 0}}}, {}}));
  EXPECT_EQ(r.sql->GetHash(), r.owkt->GetHash());
  EXPECT_EQ(r.ora->GetHash(), r.owkt->GetHash());
  EXPECT_EQ(ModelOf(*r.wkb).lines[0].size(), 129u);

  // A repeated vertex: the binary readers clean it away, OWKT keeps it.
  Path dup = ccw;
  dup.insert(dup.begin() + 2, dup[2]);
  r = ReadAll(*geography({S::Polygon, {}, {}, {{dup}}}));
  EXPECT_EQ(ModelOf(*r.owkt).polys[0][0].size(), 6u);
  for (SpatialPtr const* p : {&r.sql, &r.ora, &r.wkb}) {
    EXPECT_EQ((*p)->GetHash(), geography({S::Polygon, {}, {}, {{ccw}}})->GetHash());
  }

  // SRIDs: a NAD83 geography keeps its SRID through SQL Server, Oracle and
  // OWKT; WKB has none to carry and reads WGS84.
  r = ReadAll(*geography({S::Point, {{1, 2}}, {}, {}}, 4269));
  EXPECT_EQ(r.sql->GetHash(), r.owkt->GetHash());
  EXPECT_EQ(r.ora->GetHash(), r.owkt->GetHash());
  EXPECT_EQ(r.sql->AsGeography().GetOriginalSRID(), SRID::NAD83());
  EXPECT_NE(r.wkb->GetHash(), r.owkt->GetHash());
  EXPECT_EQ(r.wkb->GetHash(), geography({S::Point, {{1, 2}}, {}, {}})->GetHash());

  // Planar SRIDs come back under authority None; an EPSG one is lost.
  DefaultGeometry const epsg(S::Point, {GeometryCoordinate(1, 2)}, {}, {},
                             Geometry::Attributes({1, 2}, SRID(SRID::Authority::EPSG, 3857),
                                                  SRID(SRID::Authority::EPSG, 3857)));
  r = ReadAll(epsg);
  EXPECT_EQ(r.sql->GetHash(), r.ora->GetHash());
  EXPECT_EQ(r.sql->AsGeometry().GetOriginalSRID(), SRID(SRID::Authority::None, 3857));
  EXPECT_EQ(r.owkt->GetHash(), epsg.GetHash());
  EXPECT_NE(r.sql->GetHash(), epsg.GetHash());

  // Bias: OWKT text without a BIAS attribute reads with (0, 0), the binary
  // forms with the first coordinate.
  SpatialPtr const plain = OWKT::From("LINESTRING(3 4, 5 6)", CT::Geometry);
  r = ReadAll(*plain);
  EXPECT_EQ(r.sql->AsGeometry().GetBias(), GeometryCoordinate::Bias(3, 4));
  EXPECT_EQ(r.sql->GetHash(), r.wkb->GetHash());
  EXPECT_EQ(r.ora->GetHash(), r.wkb->GetHash());
  EXPECT_NE(r.sql->GetHash(), plain->GetHash());
  EXPECT_EQ(r.sql->GetHash(), OWKT::From("BIAS=3:4;LINESTRING(3 4, 5 6)")->GetHash());
}

// The Natural Earth countries, written in each form from the value OWKT
// reads and read back. Planar: one hash everywhere (OWKT given the first
// coordinate as BIAS). Geographic: SQL Server and Oracle agree with each
// other always, and with OWKT wherever the clean-up leaves the rings as they
// are; WKB orients the clockwise rings of the data and densifies.
TEST(InterchangeCross, NaturalEarthCountries) {
  std::ifstream in(std::string(OSTREL_DATA_DIR) + "/countries50.wkt");
  std::string line;
  int values = 0, cleaned = 0, wkb_equal = 0;
  while (std::getline(in, line)) {
    ++values;
    SpatialPtr const planar = OWKT::From(line, CT::Geometry);
    Reads const p = ReadAll(*planar);
    EXPECT_EQ(p.sql->GetHash(), p.wkb->GetHash()) << values;
    EXPECT_EQ(p.ora->GetHash(), p.wkb->GetHash()) << values;
    GeometryCoordinate const first = p.sql->AsGeometry().GetPolys()[0][0][0];
    EXPECT_EQ(p.sql->AsGeometry().GetBias(), GeometryCoordinate::Bias(first.GetX(), first.GetY()));

    SpatialPtr const geo = OWKT::From(line, CT::Geography);
    Reads const g = ReadAll(*geo);
    EXPECT_EQ(g.sql->GetHash(), g.ora->GetHash()) << values;
    EXPECT_EQ(g.owkt->GetHash(), geo->GetHash()) << values;
    if (g.sql->GetHash() != geo->GetHash()) {
      ++cleaned;
      // Only vertices went: the same rings, each a subsequence of the data's.
      Model const a = ModelOf(*g.sql), b = ModelOf(*geo);
      ASSERT_EQ(a.polys.size(), b.polys.size());
      for (std::size_t k = 0; k < a.polys.size(); ++k) {
        ASSERT_EQ(a.polys[k].size(), b.polys[k].size());
        for (std::size_t r = 0; r < a.polys[k].size(); ++r)
          EXPECT_TRUE(Subsequence(a.polys[k][r], b.polys[k][r])) << values;
      }
    }
    wkb_equal += g.wkb->GetHash() == g.sql->GetHash();
  }
  EXPECT_EQ(values, 241);
  EXPECT_EQ(cleaned, 2);    // Sudan and South Sudan repeat two vertices of their border
  EXPECT_EQ(wkb_equal, 0);  // every country has a clockwise ring or a long edge
}

}  // namespace
}  // namespace ostrel
