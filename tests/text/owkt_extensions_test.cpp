// OWKT extensions: the lossless writer proved by round trips over random
// values of both kinds and every attribute, its spellings and digits; the
// diagnosing reader's positions and messages, and that it never changes what
// From returns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "ostrel/ostrel.hpp"

namespace ostrel {
namespace {

using S = ShapeType;
using A = SRID::Authority;
using CT = CoordinateType;
using D = OWKT::Diagnosis::Outcome;
using Bias = GeometryCoordinate::Bias;
OWKT::WriteOptions const kLossless = OWKT::WriteOptions::Lossless();
// 17 digits name every double exactly: two values with equal texts of this
// kind have equal attributes and coordinates.
OWKT::WriteOptions const kExact{17, true};

std::string Text(SpatialPtr const& v) {
  return (v->IsGeography() ? "geog " : v->IsGeometry() ? "geom " : "") + OWKT::To(*v);
}

// Random values of every shape type but Empty, with every attribute: biases
// from none through decimals to arbitrary doubles, SRIDs of every authority,
// both topological types and all three winding orders. Coordinates go
// through the constructors from doubles (snapped), planar ones over many
// magnitudes around the bias (offsets down to float subnormals), geographic
// ones over the whole globe including the poles and the antimeridian.
class RandomValues {
 public:
  explicit RandomValues(std::uint64_t seed) : rng_(seed) {}

  template <class V>
  V Make() {
    auto const type = static_cast<S>(1 + Int(0, 6));
    typename V::Attributes a;
    if constexpr (std::is_same_v<V, DefaultGeometry>) {
      a = {PickBias(), PickSRID(), PickSRID()};
    } else {
      a = {PickSRID(), PickSRID(), static_cast<TopologicalType>(Int(0, 1)),
           static_cast<WindingOrder>(Int(0, 2))};
    }
    auto point = [&] { return Coordinate<V>(a); };
    auto path = [&](std::size_t n, bool closed) {
      typename V::Points path;
      while (n-- > 0) path.push_back(point());
      if (closed) path.push_back(path.front());
      return path;
    };
    auto count = [&](S single, S multi, int most) -> std::size_t {
      if (type != single && type != multi && type != S::Mixed) return 0;
      return static_cast<std::size_t>(type == single ? 1 : Int(type == multi ? 1 : 0, most));
    };
    typename V::Points points = path(count(S::Point, S::MultiPoint, 4), false);
    typename V::Lines lines(count(S::LineString, S::MultiLineString, 3));
    typename V::Polys polys(count(S::Polygon, S::MultiPolygon, 2));
    for (auto& line : lines) line = path(static_cast<std::size_t>(Int(2, 5)), false);
    for (auto& poly : polys) {
      poly.resize(static_cast<std::size_t>(Int(1, 2)));
      for (auto& ring : poly) ring = path(static_cast<std::size_t>(Int(3, 5)), true);
    }
    return V(type, points, lines, polys, a);
  }

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  double Real(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng_); }
  // A magnitude 10^[lo, hi] with a random sign and mantissa.
  double Magnitude(int lo, int hi) {
    return (Int(0, 1) ? -1 : 1) * Real(1, 10) * std::pow(10.0, Int(lo, hi));
  }

 private:
  Bias PickBias() {
    switch (Int(0, 3)) {
      case 0: return Bias::None();
      case 1: return Bias(Int(-2000, 2000) / 4.0, Int(-2000, 2000) / 8.0);
      case 2: return Bias(Magnitude(-3, 7), Magnitude(-3, 7));
      default: return Bias(Magnitude(-300, 300), Int(0, 1) ? 0.0 : Magnitude(-20, 20));
    }
  }

  SRID PickSRID() {
    if (Int(0, 3) == 0) return Int(0, 1) ? SRID::None() : SRID::WGS84();
    return SRID(static_cast<A>(Int(0, 6)), static_cast<unsigned>(Int(0, 16777215)));
  }

  template <class V>
  typename V::Coordinate Coordinate(typename V::Attributes const& a) {
    if constexpr (std::is_same_v<V, DefaultGeometry>) {
      auto axis = [&](double bias) {
        // Far from a huge bias no float offset reaches: no such coordinate exists.
        switch (Int(0, std::fabs(bias) < 1e20 ? 4 : 2)) {
          case 0: return bias + Magnitude(-6, 6);
          case 1: return bias + Magnitude(-44, -30);  // float subnormals around the bias
          case 2: return bias;
          case 3: return Magnitude(-30, 30);
          default: return static_cast<double>(Int(-1000000, 1000000)) / 100;  // two decimals
        }
      };
      return GeometryCoordinate(axis(a.bias.GetX()), axis(a.bias.GetY()), a.bias);
    } else {
      double lat = Real(-90, 90), lon = Real(-180, 180);
      if (Int(0, 9) == 0) lat = Int(0, 1) ? 90 : -90;
      if (Int(0, 9) == 0) lon = Int(0, 1) ? 180 : -180;
      if (Int(0, 4) == 0) lat = Int(-9000000, 9000000) / 1e5, lon = Int(-18000000, 18000000) / 1e5;
      return GeographyCoordinate(Latitude(Degrees(lat)), Longitude(Degrees(lon)));
    }
  }

  std::mt19937_64 rng_;
};

// The lossless text reads back, without a forced kind, as a value of the same
// kind with the same attributes, coordinates and hash; it is its own
// fixpoint. The classic options give the classic text.
template <class V>
void LosslessRoundTrip(std::uint64_t seed) {
  RandomValues random(seed);
  int failures = 0;
  for (int i = 0; i < 12000 && failures < 10; ++i) {
    V const value = random.Make<V>();
    std::string const text = OWKT::To(value, kLossless);
    SpatialPtr const back = OWKT::From(text);
    bool const same = back->GetCoordinateType() == value.GetCoordinateType() &&
                      back->GetHash() == value.GetHash() &&
                      OWKT::To(*back, kExact) == OWKT::To(value, kExact) &&
                      OWKT::To(*back, kLossless) == text;
    if (!same && ++failures) {
      ADD_FAILURE() << text << "\n read back as " << OWKT::To(*back, kExact) << "\n exact        "
                    << OWKT::To(value, kExact);
    }
    EXPECT_EQ(OWKT::To(value, OWKT::WriteOptions::Classic()), OWKT::To(value));
  }
}

TEST(OwktLossless, PlanarValuesReadBackExactly) { LosslessRoundTrip<DefaultGeometry>(21); }
TEST(OwktLossless, GeographicValuesReadBackExactly) { LosslessRoundTrip<DefaultGeography>(22); }

// Significant digits of a number as written: from the first digit that is
// not 0 to the last ("-1.25E+02" has 3, "4660695400000" 8).
int SignificantDigits(std::string const& number) {
  std::string digits;
  for (char c : number) {
    if (c == 'E') break;
    if (c >= '0' && c <= '9' && (c != '0' || !digits.empty())) digits += c;
  }
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  return std::max<int>(static_cast<int>(digits.size()), 1);
}

// Each coordinate number is as short as it can be: the same number rounded
// to one digit fewer (if that is no longer a text) reads back as another
// coordinate.
TEST(OwktLossless, NumbersHaveNoDigitToSpare) {
  RandomValues random(23);
  std::size_t numbers = 0, total_digits = 0, spare = 0;
  for (int i = 0; i < 20000; ++i) {
    bool const geographic = i % 2 == 1;
    SpatialPtr value;
    std::string prefix;
    if (geographic) {
      value = MakeSpatial<DefaultGeography>(random.Make<DefaultGeography>());
    } else {
      value = MakeSpatial<DefaultGeometry>(random.Make<DefaultGeometry>());
    }
    if (value->GetShapeType() != S::Point) continue;
    std::string const text = OWKT::To(*value, kLossless);
    std::size_t const open = text.find("POINT(") + 6, blank = text.find(' ', open);
    std::string const head = text.substr(0, open);
    std::string const numbers_of[2] = {text.substr(open, blank - open),
                                       text.substr(blank + 1, text.size() - blank - 2)};
    for (int axis = 0; axis < 2; ++axis) {
      std::string const& n = numbers_of[axis];
      int const p = SignificantDigits(n);
      ++numbers;
      total_digits += static_cast<std::size_t>(p);
      // From 16 digits on only the double itself reads back, and the shortest
      // correctly rounded decimal decides; the grammar may take a shorter
      // one that happens to round the same way, which is no digit to spare.
      if (p == 1 || p >= 16) continue;
      char buffer[48];
      double const written = std::strtod(n.c_str(), nullptr);
      auto end =
          std::to_chars(buffer, buffer + sizeof buffer, written, std::chars_format::general, p - 1)
              .ptr;
      for (char* c = buffer; c != end; ++c) *c = static_cast<char>(std::toupper(*c));
      std::string const fewer(buffer, end);
      std::string const shorter =
          head + (axis == 0 ? fewer + " " + numbers_of[1] : numbers_of[0] + " " + fewer) + ")";
      try {
        if (fewer.size() <= n.size() && OWKT::From(shorter)->GetHash() == value->GetHash() &&
            ++spare <= 5) {
          ADD_FAILURE() << text << " has a digit to spare: " << shorter;
        }
      } catch (std::out_of_range const&) {  // a latitude rounded past the pole
      }
    }
  }
  EXPECT_EQ(spare, 0u);
  // Geographic numbers need about 10 digits (a grid of 1.06e-9 radians), planar ones
  // up to 9 for the float offset and more where a bias leaves only the double.
  RecordProperty("mean_digits", std::to_string(static_cast<double>(total_digits) / numbers));
  EXPECT_GT(numbers, 4000u);
}

// A bias is written as a text the reader's grammar takes back to the same
// double, for doubles of every binade: the grammar is not correctly rounded,
// so some doubles are reached by none of the 17-digit decimals near them,
// a few only by decimals of 20 digits or more (1.9404808531499992963), by
// moving the point (1.3e-17), or, near the subnormals, by zeros after it.
TEST(OwktLossless, EveryBiasReadsBackToTheSameDouble) {
  std::mt19937_64 rng(29);
  std::uniform_int_distribution<int> binade(-60, 60), any_binade(-1074, 1023);
  std::uniform_real_distribution<double> mantissa(1, 2);
  std::vector<double> biases = {0x1.f0c35a6acb1dfp+0,  -0x1.f0c35a6acb1dfp+0,
                                0x1.e2e728749f994p-57, 0x1.d71a8e1a418dcp-1021,
                                0x1.0p-1074,           DBL_MAX};
  for (int i = 0; i < 100000; ++i) {
    int const e = i % 4 == 0 ? any_binade(rng) : binade(rng);
    biases.push_back(std::ldexp(mantissa(rng), e));
  }
  std::size_t longest = 0, failures = 0;
  for (double const x : biases) {
    Geometry::Attributes const a{Bias(x, -x), SRID::None(), SRID::None()};
    DefaultGeometry const value(S::Point, {GeometryCoordinate(x, -x, a.bias)}, {}, {}, a);
    std::string const text = OWKT::To(value, kLossless);
    SpatialPtr const back = OWKT::From(text);
    GeometryCoordinate::Bias const read = back->AsGeometry().GetBias();
    longest = std::max(longest, text.find(':') - text.find('=') - 1);
    if (read.GetX() != x || read.GetY() != -x) {
      if (++failures <= 5) ADD_FAILURE() << std::hexfloat << x << " is written as " << text;
    }
  }
  EXPECT_EQ(failures, 0u);
  EXPECT_GE(longest, 21u);  // 1.9404808531499992963
}

// What a person meets: more digits than six, the reader's spellings, the
// kind said explicitly, 17 significant digits at most, the digits option.
TEST(OwktLossless, Examples) {
  using GA = Geography::Attributes;
  auto geo = [](GA const& a, double lon = 1, double lat = 2) {
    DefaultGeography::Points p{
        GeographyCoordinate(Latitude(Degrees(lat)), Longitude(Degrees(lon)))};
    return DefaultGeography(S::Point, p, {}, {}, a);
  };
  auto planar = [](Geometry::Attributes const& a, double x = 1, double y = 2) {
    DefaultGeometry::Points p{GeometryCoordinate(x, y, a.bias)};
    return DefaultGeometry(S::Point, p, {}, {}, a);
  };
  SRID const wgs = SRID::WGS84(), none = SRID::None(), epsg(A::EPSG, 3857), esri(A::ESRI, 102100);
  auto const sph = TopologicalType::Spheroidal, flat = TopologicalType::Flat;
  auto const left = WindingOrder::InteriorLeft, right = WindingOrder::InteriorRight;
  // clang-format off
  std::pair<std::string, std::string> const cases[] = {
      // The issue's point: six digits moved it 20 m; floats keep 500000.375 and 4649776.
      {OWKT::To(planar({}, 500000.37, 4649776.22), kLossless), "POINT(500000.38 4649776)"},
      {OWKT::To(planar({}, 500000.37, 4649776.22)), "POINT(500000 4.64978E+06)"},
      {OWKT::To(planar({Bias(500000, 4649776), none, none}, 500000.37, 4649776.22), kLossless),
       "BIAS=500000:4649776;POINT(500000.37 4649776.22)"},
      {OWKT::To(planar({}, 0.1, -1e-30), kLossless), "POINT(0.1 -1E-30)"},
      {OWKT::To(planar({Bias(0.1, 1e300), none, none}, 0.1, 1e300), kLossless),
       "BIAS=0.1:1E+300;POINT(0.1 1E+300)"},
      {OWKT::To(planar({Bias(), epsg, none}), kLossless), "BIAS=0:0,ORIGINALSRID=EPSG:3857;POINT(1 2)"},
      {OWKT::To(planar({Bias(), SRID(A::None, 7), esri}), kLossless),
       "BIAS=0:0,ORIGINALSRID=UNKNOWN:7,CONVERTEDSRID=ESRI:102100;POINT(1 2)"},
      {OWKT::To(planar({Bias(), SRID(A::None, 7), none}), kLossless), "ORIGINALSRID=UNKNOWN:7;POINT(1 2)"},
      {OWKT::To(geo({}), kLossless), "ORIGINALSRID=EPSG:4326;POINT(1 2)"},
      {OWKT::To(geo({}, -120, 45)), "POINT(-120 45)"},
      {OWKT::To(geo({}, 12.3456789, -45.987654321), kLossless),
       "ORIGINALSRID=EPSG:4326;POINT(12.3456789 -45.98765434)"},
      {OWKT::To(geo({}, 180, -90), kLossless), "ORIGINALSRID=EPSG:4326;POINT(180 -90)"},
      {OWKT::To(geo({wgs, wgs, flat, left}), kLossless), "TOPOLOGICALTYPE=FLAT;POINT(1 2)"},
      {OWKT::To(geo({wgs, wgs, sph, right}), kLossless), "WINDINGORDER=RIGHT;POINT(1 2)"},
      {OWKT::To(geo({wgs, wgs, sph, right})), "WINDINGORDER=INTERIOR-RIGHT;POINT(1 2)"},
      {OWKT::To(geo({wgs, SRID(A::SR_ORG, 6), sph, left}), kLossless), "CONVERTEDSRID=SRORG:6;POINT(1 2)"},
      {OWKT::To(geo({none, wgs, sph, left}), kLossless), "ORIGINALSRID=UNKNOWN:0,CONVERTEDSRID=EPSG:4326;POINT(1 2)"},
      {OWKT::To(geo({none, none, sph, left}), kLossless),
       "ORIGINALSRID=UNKNOWN:0,CONVERTEDSRID=UNKNOWN:0,TOPOLOGICALTYPE=SPHEROIDAL;POINT(1 2)"},
      {OWKT::To(geo({wgs, wgs, sph, WindingOrder::Ambiguous}), OWKT::WriteOptions{6, true}),
       "WINDINGORDER=AMBIGUOUS;POINT(1 2)"},
      {OWKT::To(planar({}, 1234567.5, 0.1), OWKT::WriteOptions{9, false}), "POINT(1234567.5 0.100000001)"},
      {OWKT::To(planar({}, 1234567.5, 0.1), OWKT::WriteOptions{2, false}), "POINT(1.2E+06 0.1)"},
      {OWKT::To(Unknown(), kLossless), "UNKNOWN"}};
  // clang-format on
  for (auto const& [written, expected] : cases) {
    EXPECT_EQ(written, expected);
    SpatialPtr const back = OWKT::From(expected);
    EXPECT_TRUE(back->IsUnknown() ||
                OWKT::To(*back, kLossless) ==
                    OWKT::To(*OWKT::From(OWKT::To(*back, kLossless)), kLossless))
        << expected;
  }
  for (int digits : {-1, 18, 100}) {
    EXPECT_THROW(OWKT::To(Unknown(), OWKT::WriteOptions{digits, false}), std::invalid_argument);
  }
}

// Every bundled data set, read either way, writes lossless text that reads
// back, without a forced kind, to values with the same hashes; the second
// text equals the first.
TEST(OwktLossless, BundledDataIsAFixpoint) {
  for (char const* name : {"countries.wkt", "countries50.wkt", "cities.wkt"}) {
    std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + name);
    ASSERT_TRUE(in) << name;
    std::string line;
    int n = 0;
    while (std::getline(in, line)) {
      ++n;
      for (CT kind : {CT::Geometry, CT::Geography}) {
        SpatialPtr const value = OWKT::From(line, kind);
        std::string const once = OWKT::To(*value, kLossless);
        SpatialPtr const back = OWKT::From(once);
        ASSERT_TRUE(back->GetCoordinateType() == kind && back->GetHash() == value->GetHash())
            << name << ':' << n;
        ASSERT_EQ(OWKT::To(*back, kLossless), once) << name << ':' << n;
      }
    }
    EXPECT_GT(n, 170) << name;
  }
}

// Positions and messages, by outcome. Columns are 1-based bytes.
TEST(OwktDiagnosis, SaysWhereAndWhy) {
  std::string const nul("POINT(1 2)\0garbage", 18);
  std::string nested = "POINT(1 2)" + std::string(11, ')');
  for (int i = 0; i < 11; ++i) nested.insert(0, "GEOMETRYCOLLECTION(");
  // clang-format off
  std::tuple<std::string, CT, bool, D, std::size_t, std::string> const cases[] = {
      {"POINT(1 2)", CT::Unknown, false, D::Value, 0, ""},
      {"POINT Z (1 2 3)", CT::Unknown, false, D::Value, 0, ""},
      {"POINT(1 )", CT::Unknown, false, D::Unknown, 9, "expected a number, found ')'"},
      {"POINT(1 2", CT::Unknown, false, D::Unknown, 10, "expected ')', found the end of the text"},
      {"POINT(1\t2)", CT::Unknown, false, D::Unknown, 8, "expected a number, found a tab"},
      {"POINT(1x 2)", CT::Unknown, false, D::Unknown, 7, "expected a number, found the malformed number 1x"},
      {"POINT(1 2) x", CT::Unknown, false, D::Unknown, 12, "expected the end of the text, found 'x'"},
      {"POINT(1 2);", CT::Unknown, false, D::Unknown, 11, "expected the end of the text, found ';'"},
      {"POINT Z (1 2)", CT::Unknown, false, D::Unknown, 13, "expected a third number (Z or M), found ')'"},
      {"LINESTRING(0 0, 1 1 2)", CT::Unknown, false, D::Unknown, 21, "expected ',' or ')', found the number 2"},
      {"TRIANGLE((0 0))", CT::Unknown, false, D::Unknown, 1,
       "expected a shape or an attribute (BIAS, SRID, ORIGINALSRID, CONVERTEDSRID, TOPOLOGICALTYPE or "
       "WINDINGORDER), found 'TRIANGLE'"},
      {"", CT::Unknown, false, D::Unknown, 1,
       "expected a shape or an attribute (BIAS, SRID, ORIGINALSRID, CONVERTEDSRID, TOPOLOGICALTYPE or "
       "WINDINGORDER), found the end of the text"},
      {"SRID=4326 POINT(1 2)", CT::Unknown, false, D::Unknown, 11, "expected ',' or ';', found 'POINT'"},
      {"SRID=4326;MULTIPOINT", CT::Unknown, false, D::Unknown, 21, "expected '(' or EMPTY, found the end of the text"},
      {"SRID=4326;CIRCLE(1 2)", CT::Unknown, false, D::Unknown, 11,
       "expected a shape (POINT, LINESTRING, POLYGON, MULTIPOINT, MULTILINESTRING, MULTIPOLYGON or "
       "GEOMETRYCOLLECTION), found 'CIRCLE'"},
      {"WINDINGORDER=INTERIOR-RIGHT;POINT(1 2)", CT::Unknown, false, D::Unknown, 14,
       "unknown winding order 'INTERIOR' (expected LEFT, RIGHT or AMBIGUOUS)"},
      {"TOPOLOGICALTYPE=1;POINT(1 2)", CT::Unknown, false, D::Unknown, 17,
       "expected a topological type (SPHEROIDAL or FLAT), found the number 1"},
      {"ORIGINALSRID=SR-ORG:6;POINT(1 2)", CT::Unknown, false, D::Unknown, 14,
       "unknown SRID 'SR' (expected AUTHORITY:NUMBER with an authority UNKNOWN, EPSG, SRORG, ESRI, "
       "ORACLE, MS or IAU2000, a number, or NONE, WGS84 or NAD27)"},
      {nested, CT::Unknown, false, D::Unknown, 191, "collections nest more than 10 deep"},
      {"GEOMETRYCOLLECTION()", CT::Unknown, false, D::Unknown, 20,
       "expected a shape (POINT, LINESTRING, POLYGON, MULTIPOINT, MULTILINESTRING, MULTIPOLYGON or "
       "GEOMETRYCOLLECTION), found ')'"},
      {"POINT(0 95.50)", CT::Geography, false, D::OutOfRange, 9, "latitude 95.50 is beyond +/-90 degrees"},
      {"POINT(0 -1.6)", CT::Geography, true, D::OutOfRange, 9, "latitude -1.6 is beyond +/-pi/2 radians"},
      {"POLYGON((0 0, 1 0, 1 1, 0 1))", CT::Unknown, false, D::Invalid, 1, "ring 0 of poly 0 is not closed"},
      {"LINESTRING(0 0)", CT::Unknown, false, D::Invalid, 1, "line 0 has less than 2 coordinates"},
      {nul, CT::Unknown, false, D::Lossy, 11, "a NUL byte ends the text early: the rest is ignored"},
      {"POINT(1 2)#note", CT::Unknown, false, D::Lossy, 11, "'#' ends the text early: the rest is ignored"},
      {"POINT(1 2)\xC3\xA9", CT::Unknown, false, D::Lossy, 11, "the byte 0xC3 ends the text early: the rest is ignored"},
      {"POINT(1e400 0)", CT::Unknown, false, D::Lossy, 7, "the number 1e400 is too large: it reads as infinity"},
      {"POINT(1 0e400)", CT::Unknown, false, D::Lossy, 9, "the number 0e400 reads as NaN"},
      {"POINT(1e-400 0)", CT::Unknown, false, D::Lossy, 7, "the number 1e-400 is too small: it reads as 0"},
      {"POINT(18446744073709551616 0)", CT::Unknown, false, D::Lossy, 7,
       "the integer part of the number 18446744073709551616 does not fit 64 bits: it wraps around"},
      {"POINT(1e18446744073709551617 0)", CT::Unknown, false, D::Lossy, 7,
       "the exponent of the number 1e18446744073709551617 does not fit 64 bits: it wraps around"},
      {"POINT(1e39 0)", CT::Unknown, false, D::Lossy, 7,
       "the coordinate 1e39 does not fit a float offset from the bias: it is not finite"},
      {"SRID=16777217;POINT(1 2)", CT::Unknown, false, D::Lossy, 6,
       "the SRID number 16777217 is not an integer from 0 to 16777215: it reads as 1"},
      {"ORIGINALSRID=ESRI:-1.5;POINT(1 2)", CT::Unknown, false, D::Lossy, 19,
       "the SRID number -1.5 is not an integer from 0 to 16777215: it reads as 16777215"},
      // The first loss is named; a later syntax error decides the outcome.
      {"POINT(1e400 1e400) x", CT::Unknown, false, D::Unknown, 20, "expected the end of the text, found 'x'"},
      {"POINT(1e400 0)\t#", CT::Unknown, false, D::Lossy, 7, "the number 1e400 is too large: it reads as infinity"}};
  // clang-format on
  for (auto const& [text, kind, radians, outcome, column, message] : cases) {
    OWKT::Diagnosis const d = OWKT::Diagnose(text, kind, radians);
    EXPECT_EQ(d.outcome, outcome) << text;
    EXPECT_EQ(d.message, message) << text;
    EXPECT_EQ(d.column, column) << text;
    EXPECT_EQ(d.offset, column == 0 ? 0 : column - 1) << text;
    EXPECT_EQ(d.line, column == 0 ? 0u : 1u) << text;
    EXPECT_EQ(d.IsValue(), message.empty()) << text;
  }
  // Lines and columns count from the last line feed before the problem.
  OWKT::Diagnosis const d = OWKT::Diagnose("POINT(1 2)\nx");
  EXPECT_EQ(std::tie(d.outcome, d.offset, d.line, d.column),
            std::make_tuple(D::Lossy, 10u, 1u, 11u));
}

// Z and M numbers are counted, also in texts that fail later.
TEST(OwktDiagnosis, CountsDroppedOrdinates) {
  std::pair<std::string, std::size_t> const cases[] = {
      {"POINT(1 2)", 0},
      {"POINT Z (1 2 3)", 1},
      {"LINESTRING ZM (0 0 1 2, 1 1 3 4)", 4},
      {"GEOMETRYCOLLECTION M (POINT(1 2 3), GEOMETRYCOLLECTION(POINT(4 5)))", 1},
      {"MULTIPOINT Z ((1 2 3), (4 5 6)) x", 2}};
  for (auto const& [text, dropped] : cases) {
    EXPECT_EQ(OWKT::Diagnose(text).dropped_ordinates, dropped) << text;
  }
}

// The diagnosing read returns what From returns and throws what it throws,
// and its outcome says which: over token soup and the bundled data.
TEST(OwktDiagnosis, NeverChangesWhatFromReturns) {
  // clang-format off
  char const* const pieces[] = {
      "POINT", "LINESTRING", "POLYGON", "MULTIPOINT", "MULTIPOLYGON", "GEOMETRYCOLLECTION", "EMPTY",
      "Z", "ZM", "(", ")", "(", ")", ",", ";", ":", "=", "{", "1", "-2.5", "3e2", "1e400", ".", "-",
      "SRID", "BIAS", "EPSG", "WINDINGORDER", "RIGHT", " ", "\t", "<NUL>", "x",
      "0 0", "1 1, 2 2", "(0 0, 1 0, 1 1, 0 0)", "95", "#", "LINESTRING(0 0)", "POINT(1 2)",
      "POLYGON((0 0, 1 1, 0 0))"};
  // clang-format on
  std::vector<std::string> texts;
  std::mt19937 rng(17);
  for (int i = 0; i < 30000; ++i) {
    std::string text;
    for (auto n = rng() % 24; n > 0; --n) {
      std::string const piece = pieces[rng() % std::size(pieces)];
      text += piece == "<NUL>" ? std::string(1, '\0') : piece;
    }
    texts.push_back(text);
  }
  for (char const* name : {"countries.wkt", "cities.wkt"}) {
    std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + name);
    for (std::string line; std::getline(in, line);) texts.push_back(line);
  }
  auto read = [](auto&& from) -> std::pair<std::string, D> {
    try {
      SpatialPtr const v = from();
      return {Text(v) + " " + std::to_string(v->GetHash()), v->IsUnknown() ? D::Unknown : D::Value};
    } catch (std::out_of_range const& e) {
      return {std::string("out_of_range ") + e.what(), D::OutOfRange};
    } catch (std::invalid_argument const& e) {
      return {std::string("invalid_argument ") + e.what(), D::Invalid};
    }
  };
  std::size_t outcomes[5] = {};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::string const& text = texts[i];
    auto const kind = static_cast<CT>(i % 4);
    bool const radians = i % 3 == 0;
    OWKT::Diagnosis d;
    auto const plain = read([&] { return OWKT::From(text, kind, radians); });
    auto const diagnosed = read([&] { return OWKT::From(text, kind, radians, d); });
    ASSERT_EQ(plain.first, diagnosed.first) << text;
    D const expected = d.outcome == D::Lossy ? D::Value : d.outcome;
    ASSERT_EQ(plain.second, expected) << text << ": " << d.message;
    ASSERT_EQ(OWKT::Diagnose(text, kind, radians).message, d.message) << text;
    ASSERT_TRUE(d.message.empty() || d.offset <= text.size()) << text;
    ++outcomes[static_cast<int>(d.outcome)];
  }
  // The soup reaches every outcome.
  for (std::size_t n : outcomes) EXPECT_GT(n, 10u) << ::testing::PrintToString(outcomes);
}

}  // namespace
}  // namespace ostrel
