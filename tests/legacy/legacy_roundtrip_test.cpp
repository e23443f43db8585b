// The cross-format promise: the same content with default attributes, held
// as a default value, a legacy value (built from vectors, and read from a
// plain and from a compressed stream) and an OGR value, has one hash and one
// OWKT text, and the same coordinates bit for bit. Compressed streams are
// compared on contents put on the grid of their precision first. Streams
// are at a fixpoint after one write: writing what was read gives the same
// bytes. Random values of every shape type in both families, then the
// Natural Earth data.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <string>
#include <type_traits>
#include <vector>

#include "legacy/legacy_support.hpp"
#include "ostrel/ogr/ogr_format.hpp"
#include "ostrel/text/owkt.hpp"

namespace ostrel {
namespace {

namespace LS = LegacySerialization;
using test_support::Content;
using test_support::DefaultOf;
using test_support::kPlanar;
using test_support::LegacyOf;
using test_support::RandomContent;
using test_support::ToVector;

template <class G>
using OgrOf = std::conditional_t<kPlanar<G>, OgrGeometry, OgrGeography>;

// The counts of a value, and its coordinates' numbers in order.
template <class G>
std::pair<std::vector<std::size_t>, std::vector<double>> Flatten(G const& g) {
  std::vector<std::size_t> outline{g.GetPoints().size(), g.GetLines().size(), g.GetPolys().size()};
  std::vector<double> numbers;
  auto add = [&](typename G::Coordinate const& c) {
    if constexpr (kPlanar<G>) {
      numbers.insert(numbers.end(), {c.GetX(), c.GetY()});
    } else {
      numbers.insert(numbers.end(), {c.GetLatitude().Get().Get(), c.GetLongitude().Get().Get()});
    }
  };
  for (auto const& c : g.GetPoints()) add(c);
  for (auto const& line : g.GetLines()) {
    outline.push_back(line.size());
    for (auto const& c : line) add(c);
  }
  for (auto const& poly : g.GetPolys()) {
    outline.push_back(poly.size());
    for (auto const& ring : poly) {
      outline.push_back(ring.size());
      for (auto const& c : ring) add(c);
    }
  }
  return {outline, numbers};
}

// Every coordinate as bits with the counts and the shape type, through the
// public ranges (which read the formats' packed runs and decoded owners).
template <class G>
std::vector<std::uint64_t> Coordinates(G const& g) {
  auto const [outline, numbers] = Flatten<G>(g);
  std::vector<std::uint64_t> out{static_cast<std::uint64_t>(g.GetShapeType())};
  out.insert(out.end(), outline.begin(), outline.end());
  for (double d : numbers) out.push_back(std::bit_cast<std::uint64_t>(d));
  return out;
}

template <class G>
G const& As(Spatial const& value) {
  if constexpr (kPlanar<G>) {
    return value.AsGeometry();
  } else {
    return value.AsGeography();
  }
}

// One value in every format: equal hashes, texts and coordinates.
template <class G>
void ExpectAlike(DefaultOf<G> const& reference, std::vector<G const*> const& others,
                 std::string const& context) {
  std::string const text = OWKT::To(reference);
  auto const coordinates = Coordinates<G>(reference);
  for (std::size_t i = 0; i < others.size(); ++i) {
    G const& other = *others[i];
    ASSERT_EQ(other.GetHash(), reference.GetHash()) << context << " format " << i << ": " << text;
    ASSERT_EQ(OWKT::To(other), text) << context << " format " << i;
    ASSERT_EQ(Coordinates<G>(other), coordinates) << context << " format " << i;
    ASSERT_EQ(other.GetAttributes().original_srid, reference.GetOriginalSRID());
  }
}

template <class G>
void CrossFormat(std::uint64_t seed, int per_shape) {
  RandomContent<G> random(seed);
  for (int round = 0; round < per_shape; ++round) {
    for (ShapeType type : test_support::kShapeTypes) {
      std::string const context = "seed " + std::to_string(seed) + " round " +
                                  std::to_string(round) + " " + to_string(type);
      Content<G> const c = random.Make(type);
      DefaultOf<G> const value(c.points, c.lines, c.polys);
      ASSERT_EQ(value.GetShapeType(), type);
      LegacyOf<G> const legacy(c.points, c.lines, c.polys);
      OgrOf<G> const ogr(c.points, c.lines, c.polys);
      auto const plain = LS::Write(value, LS::kPlain, 0);
      SpatialPtr const read = LS::Read(plain);
      ExpectAlike<G>(value, {&legacy, &ogr, &As<G>(*read)}, context);
      // Plain bytes are a fixpoint, whatever format writes them.
      ASSERT_EQ(ToVector(LS::Write(*read, LS::kPlain, 0)), ToVector(plain)) << context;
      ASSERT_EQ(ToVector(LS::Write(legacy, LS::kPlain, 3)), ToVector(plain)) << context;
      ASSERT_EQ(ToVector(LS::Write(ogr, LS::kPlain, 0)), ToVector(plain)) << context;

      // Compressed, on contents already on the grid.
      auto const precision =
          static_cast<std::int8_t>(random.Between(kPlanar<G> ? -2 : 0, kPlanar<G> ? 4 : 10));
      Content<G> const s = random.Make(type, precision);
      DefaultOf<G> const snapped(s.points, s.lines, s.polys);
      LegacyOf<G> const snapped_legacy(s.points, s.lines, s.polys);
      auto const compressed = LS::Write(snapped, LS::kCompressed, precision);
      SpatialPtr const from_compressed = LS::Read(compressed);
      ExpectAlike<G>(snapped, {&As<G>(*from_compressed), &snapped_legacy},
                     context + " precision " + std::to_string(precision));
      ASSERT_EQ(ToVector(LS::Write(*from_compressed, LS::kCompressed, precision)),
                ToVector(compressed))
          << context;
      ASSERT_EQ(ToVector(LS::Write(snapped_legacy, LS::kCompressed, precision)),
                ToVector(compressed))
          << context;
      ASSERT_EQ(ToVector(LS::Write(*from_compressed, LS::kPlain, 0)),
                ToVector(LS::Write(snapped, LS::kPlain, 0)))
          << context;
    }
  }
}

TEST(LegacyCrossFormat, PlanarValuesHashAlikeInEveryFormat) { CrossFormat<Geometry>(11, 300); }
TEST(LegacyCrossFormat, GeographicValuesHashAlikeInEveryFormat) { CrossFormat<Geography>(12, 300); }

// What the formats do not share: legacy values have no attributes, and an
// empty one is Mixed once it has been through a stream.
TEST(LegacyCrossFormat, AttributesAndEmptyValues) {
  DefaultGeometry::Points const points{GeometryCoordinate(1, 2)};
  Geometry::Attributes const planar({5, 6}, SRID::WGS84(), SRID::NAD83());
  LegacyGeometry const legacy(points, {}, {}, planar);
  EXPECT_EQ(legacy.GetBias(), GeometryCoordinate::Bias::None());
  EXPECT_EQ(legacy.GetOriginalSRID(), SRID::None());
  EXPECT_EQ(legacy.GetConvertedSRID(), SRID::None());
  EXPECT_EQ(legacy.GetHash(), DefaultGeometry(points, {}, {}).GetHash());
  OgrGeometry const ogr(points, {}, {}, planar);  // keeps them: bias and SRIDs are hashed
  EXPECT_EQ(ogr.GetHash(), DefaultGeometry(points, {}, {}, planar).GetHash());
  EXPECT_NE(ogr.GetHash(), legacy.GetHash());

  DefaultGeography::Points const geo{GeographyCoordinate(Latitude(0.5), Longitude(1.0))};
  Geography::Attributes const flat(SRID::NAD27(), SRID::ETRS89(), TopologicalType::Flat,
                                   WindingOrder::InteriorRight);
  LegacyGeography const legacy_geo(geo, {}, {}, flat);
  EXPECT_EQ(legacy_geo.GetOriginalSRID(), SRID::WGS84());
  EXPECT_EQ(legacy_geo.GetConvertedSRID(), SRID::WGS84());
  EXPECT_EQ(legacy_geo.GetTopologicalType(), TopologicalType::Spheroidal);
  EXPECT_EQ(legacy_geo.GetWindingOrder(), WindingOrder::InteriorLeft);
  OgrGeography const ogr_geo(geo, {}, {}, flat);  // the winding order is not hashed
  EXPECT_EQ(ogr_geo.GetHash(), DefaultGeography(geo, {}, {}, flat).GetHash());
  EXPECT_EQ(ogr_geo.GetAttributes().winding_order, WindingOrder::InteriorRight);

  EXPECT_EQ(LegacyGeometry().GetShapeType(), ShapeType::Empty);
  EXPECT_EQ(LegacyGeography().GetShapeType(), ShapeType::Empty);
  EXPECT_EQ(LegacyGeometry({}, {}, {}).GetShapeType(), ShapeType::Mixed);
  EXPECT_EQ(LegacyGeography({}, {}, {}).GetShapeType(), ShapeType::Mixed);
  EXPECT_EQ(OgrGeography({}, {}, {}).GetShapeType(), ShapeType::Empty);
  EXPECT_EQ(LS::Read(LS::Write(DefaultGeography(), LS::kCompressed, 3))->GetShapeType(),
            ShapeType::Mixed);
  // Hashes agree for empty values of equal shape type.
  EXPECT_EQ(LegacyGeometry().GetHash(), DefaultGeometry().GetHash());
  EXPECT_EQ(OgrGeometry().GetHash(), DefaultGeometry().GetHash());
}

// Numbers the packing keeps apart survive a plain round trip: a planar
// coordinate with one NaN number, infinities, a NaN latitude.
TEST(LegacyCrossFormat, OddNumbersSurvivePlainRoundTrips) {
  double const nan = std::nan("");
  using test_support::Bytes;
  using test_support::Stream;
  for (auto const& bytes :
       {Stream(0, 0, 4, {},
               Bytes().U32(3).F64(nan).F64(1).F64(2).F64(nan).F64(HUGE_VAL).F64(1e300)),
        Stream(0, 1, 4, {}, Bytes().U32(2).F64(nan).F64(1).F64(0.5).F64(1e300))}) {
    SpatialPtr const value = LS::Read(bytes);
    auto const plain = LS::Write(*value, LS::kPlain, 0);
    SpatialPtr const again = LS::Read(plain);
    EXPECT_EQ(again->GetHash(), value->GetHash());
    EXPECT_EQ(ToVector(LS::Write(*again, LS::kPlain, 0)), ToVector(plain));
  }
}

// Validation is the default format's, with its messages.
TEST(LegacyCrossFormat, ConstructionFromVectorsValidatesAsTheDefaultFormat) {
  using Points = DefaultGeometry::Points;
  Points const one{GeometryCoordinate(0, 0)};
  Points const open{GeometryCoordinate(0, 0), GeometryCoordinate(1, 0), GeometryCoordinate(1, 1),
                    GeometryCoordinate(0, 1)};
  auto const message = [](auto&& make) { return test_support::InvalidArgument(make); };
  EXPECT_EQ(message([&] { LegacyGeometry({}, {one}, {}); }), "line 0 has less than 2 coordinates");
  EXPECT_EQ(message([&] { OgrGeometry({}, {one}, {}); }), "line 0 has less than 2 coordinates");
  EXPECT_EQ(message([&] { LegacyGeometry({}, {}, {{open}}); }), "ring 0 of poly 0 is not closed");
  EXPECT_EQ(message([&] { OgrGeometry({}, {}, {{}}); }), "poly 0 is empty");
}

// The Natural Earth countries in both families: plain streams read back to
// the same hash and bytes; compressed ones (precision 7, about 1 cm) read
// back within half a grid step (plus the geographic grid's own step) and are
// a fixpoint.
template <class G>
void NaturalEarth() {
  std::ifstream in(OSTREL_DATA_DIR "/countries50.wkt");
  constexpr auto kind = kPlanar<G> ? CoordinateType::Geometry : CoordinateType::Geography;
  int values = 0;
  std::size_t plain_bytes = 0;
  std::size_t compressed_bytes = 0;
  for (std::string line; std::getline(in, line); ++values) {
    SpatialPtr const value = OWKT::From(line, kind);
    auto const plain = LS::Write(*value, LS::kPlain, 0);
    SpatialPtr const read = LS::Read(plain);
    ASSERT_EQ(read->GetHash(), value->GetHash()) << values;
    ASSERT_EQ(ToVector(LS::Write(*read, LS::kPlain, 0)), ToVector(plain));
    auto const compressed = LS::Write(*value, LS::kCompressed, 7);
    plain_bytes += plain.size();
    compressed_bytes += compressed.size();
    SpatialPtr const approximate = LS::Read(compressed);
    ASSERT_EQ(ToVector(LS::Write(*approximate, LS::kCompressed, 7)), ToVector(compressed));
    // Half a grid step, plus half a float step at 180 (planar) or the
    // geographic grid's step.
    double const tolerance = 0.5e-7 + (kPlanar<G> ? 7.7e-6 : 1.1e-9);
    auto const [outline, numbers] = Flatten<G>(As<G>(*value));
    auto const [approximate_outline, approximate_numbers] = Flatten<G>(As<G>(*approximate));
    ASSERT_EQ(approximate_outline, outline);
    for (std::size_t i = 0; i < numbers.size(); ++i) {
      ASSERT_LE(std::fabs(approximate_numbers[i] - numbers[i]), tolerance) << values;
    }
  }
  EXPECT_EQ(values, 241);
  EXPECT_LT(compressed_bytes, plain_bytes / 2);
}

TEST(LegacyCrossFormat, NaturalEarthPlanar) { NaturalEarth<Geometry>(); }
TEST(LegacyCrossFormat, NaturalEarthGeographic) { NaturalEarth<Geography>(); }

}  // namespace
}  // namespace ostrel
