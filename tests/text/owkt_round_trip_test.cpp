// OWKT round trip: random values of every shape type and both families,
// with random attributes of the kinds the reader accepts back, read back as
// the same value and written as the same text.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "ostrel/ostrel.hpp"

namespace ostrel {
namespace {

using Auth = SRID::Authority;

class RandomValues {
 public:
  explicit RandomValues(std::uint64_t seed) : rng_(seed) {}

  // m * 10^-k with at most six significant digits, parsed by strtod so that
  // it is the double nearest to that decimal.
  double Decimal(std::int64_t max_mantissa, int max_k, double min_magnitude, double max_magnitude) {
    for (;;) {
      std::int64_t const m = Uniform(-max_mantissa, max_mantissa);
      char text[48];
      std::snprintf(text, sizeof text, "%llde-%d", static_cast<long long>(m),
                    static_cast<int>(Uniform(0, max_k)));
      double const d = std::strtod(text, nullptr);
      if (d == 0 || (std::fabs(d) >= min_magnitude && std::fabs(d) <= max_magnitude)) return d;
    }
  }

  // Planar: without a bias any magnitude from 1e-10 to 1e6; with a bias
  // (at most 100.5 away from the origin) magnitudes of at least 100, so that
  // the float offset still carries six digits of the coordinate.
  GeometryCoordinate Planar(GeometryCoordinate::Bias const& bias) {
    if (bias == GeometryCoordinate::Bias::None()) {
      return GeometryCoordinate(Decimal(999999, 10, 0, 1e7), Decimal(999999, 10, 0, 1e7), bias);
    }
    return GeometryCoordinate(Decimal(999999, 3, 100, 1e6), Decimal(999999, 3, 100, 1e6), bias);
  }

  // Geographic: at most four decimals of a degree and at least 0.1 degrees
  // from zero, so that the grid (about 6e-8 degrees) keeps all six digits.
  GeographyCoordinate Geographic() {
    double const lon = Decimal(999999, 4, 0.1, 180);
    double const lat = Decimal(900000, 4, 0.1, 90);
    return GeographyCoordinate(Latitude(Degrees(lat)), Longitude(Radians(Degrees(lon))));
  }

  SRID RandomSRID(SRID const& usual) {
    static Auth const authorities[] = {Auth::None,   Auth::EPSG, Auth::ESRI,
                                       Auth::ORACLE, Auth::MS,   Auth::IAU2000};
    if (Uniform(0, 2) == 0) return usual;
    return SRID(authorities[Uniform(0, 5)], static_cast<unsigned int>(Uniform(0, 16777215)));
  }

  Geometry::Attributes GeometryAttributes() {
    GeometryCoordinate::Bias bias;
    if (Uniform(0, 1) == 1) {
      bias = GeometryCoordinate::Bias(static_cast<double>(Uniform(-201, 201)) / 2,
                                      static_cast<double>(Uniform(-201, 201)) / 2);
    }
    return Geometry::Attributes(bias, RandomSRID(SRID::None()), RandomSRID(SRID::None()));
  }

  Geography::Attributes GeographyAttributes() {
    return Geography::Attributes(RandomSRID(SRID::WGS84()), RandomSRID(SRID::WGS84()),
                                 static_cast<TopologicalType>(Uniform(0, 1)),
                                 WindingOrder::InteriorLeft);
  }

  // A value of the given shape type whose content matches it; a single-item
  // type is left without content one time in eight.
  template <class V>
  std::shared_ptr<V> Value(ShapeType type, typename V::Attributes const& attributes) {
    auto coordinate = [&] {
      if constexpr (std::is_same_v<V, DefaultGeometry>) {
        return Planar(attributes.bias);
      } else {
        return Geographic();
      }
    };
    auto line = [&](int size) {
      typename V::Points l;
      for (int i = 0; i < size; ++i) l.push_back(coordinate());
      return l;
    };
    auto poly = [&] {
      typename V::Lines p;
      for (std::int64_t r = Uniform(1, 3); r > 0; --r) {
        p.push_back(line(static_cast<int>(Uniform(3, 6))));
        p.back().push_back(p.back().front());
      }
      return p;
    };
    bool const empty = Uniform(0, 7) == 0;
    std::int64_t points = 0, lines = 0, polys = 0;
    switch (type) {
      case ShapeType::Point: points = empty ? 0 : 1; break;
      case ShapeType::LineString: lines = empty ? 0 : 1; break;
      case ShapeType::Polygon: polys = empty ? 0 : 1; break;
      case ShapeType::MultiPoint: points = Uniform(empty ? 0 : 1, 5); break;
      case ShapeType::MultiLineString: lines = Uniform(empty ? 0 : 1, 4); break;
      case ShapeType::MultiPolygon: polys = Uniform(empty ? 0 : 1, 3); break;
      case ShapeType::Mixed:
        points = Uniform(0, 3);
        lines = Uniform(0, 3);
        polys = Uniform(0, 2);
        break;
      default: break;
    }
    typename V::Points p = line(static_cast<int>(points));
    typename V::Lines l;
    for (; lines > 0; --lines) l.push_back(line(static_cast<int>(Uniform(2, 6))));
    typename V::Polys y;
    for (; polys > 0; --polys) y.push_back(poly());
    return std::make_shared<V>(type, p, l, y, attributes);
  }

  std::int64_t Uniform(std::int64_t lo, std::int64_t hi) {
    return std::uniform_int_distribution<std::int64_t>(lo, hi)(rng_);
  }

 private:
  std::mt19937_64 rng_;
};

template <class V>
void RoundTrip(CoordinateType kind, std::uint64_t seed) {
  RandomValues random(seed);
  for (int i = 0; i < 3000; ++i) {
    auto const type = static_cast<ShapeType>(i % 8);
    std::shared_ptr<V> value;
    if constexpr (std::is_same_v<V, DefaultGeometry>) {
      value = random.template Value<V>(type, random.GeometryAttributes());
    } else {
      value = random.template Value<V>(type, random.GeographyAttributes());
    }
    std::string const text = OWKT::To(*value);
    SpatialPtr const once = OWKT::From(text, kind);
    ASSERT_EQ(once->GetCoordinateType(), kind) << text;
    ASSERT_EQ(OWKT::To(*once), text);
    SpatialPtr const twice = OWKT::From(OWKT::To(*once), kind);
    EXPECT_EQ(once->GetHash(), twice->GetHash()) << text;
    if (type == ShapeType::Empty) {
      // Written as POINT EMPTY, which reads as a point without content.
      EXPECT_EQ(text.substr(text.size() - 11), "POINT EMPTY");
      EXPECT_EQ(once->GetShapeType(), ShapeType::Point);
    } else {
      EXPECT_EQ(once->GetShapeType(), type) << text;
      EXPECT_EQ(*once, *value) << text;
    }
  }
}

TEST(OwktRoundTrip, PlanarValues) { RoundTrip<DefaultGeometry>(CoordinateType::Geometry, 11); }

TEST(OwktRoundTrip, GeographicValues) {
  RoundTrip<DefaultGeography>(CoordinateType::Geography, 12);
}

}  // namespace
}  // namespace ostrel
