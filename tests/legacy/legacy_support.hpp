// Test support for the legacy stream: an independent byte builder (big-endian
// numbers, LEB128 varints, zigzag, sections) with a bitwise CRC-32, so that
// expected streams are written by hand rather than by the library's writer;
// and random contents of every shape type in both families.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <numbers>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "ostrel/legacy/legacy_format.hpp"
#include "ostrel/legacy/rounding.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/spatial/default_format.hpp"

namespace ostrel::test_support {

// The CRC-32 bit by bit, straight from its definition.
inline std::uint32_t CrcBitwise(std::uint32_t seed, std::uint8_t const* p, std::size_t n) {
  std::uint32_t c = ~seed;
  for (std::size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? (c >> 1) ^ 0xEDB88320u : c >> 1;
  }
  return ~c;
}

struct Bytes {
  std::vector<std::uint8_t> v;

  Bytes() = default;
  Bytes(std::initializer_list<int> bytes) {
    for (int b : bytes) v.push_back(static_cast<std::uint8_t>(b));
  }
  Bytes& U8(int b) { return v.push_back(static_cast<std::uint8_t>(b)), *this; }
  Bytes& U32(std::uint32_t x) {
    for (int s = 24; s >= 0; s -= 8) U8(static_cast<int>((x >> s) & 0xFF));
    return *this;
  }
  Bytes& F64(double d) {
    auto const bits = std::bit_cast<std::uint64_t>(d);
    for (int s = 56; s >= 0; s -= 8) U8(static_cast<int>((bits >> s) & 0xFF));
    return *this;
  }
  Bytes& Varint(std::uint64_t x) {
    do {
      U8(static_cast<int>((x & 0x7F) | (x >= 0x80 ? 0x80 : 0)));
      x >>= 7;
    } while (x != 0);
    return *this;
  }
  Bytes& Zigzag(std::int64_t x) {
    return Varint(x >= 0 ? 2 * static_cast<std::uint64_t>(x)
                         : 2 * static_cast<std::uint64_t>(-(x + 1)) + 1);
  }
  Bytes& Add(Bytes const& other) {
    v.insert(v.end(), other.v.begin(), other.v.end());
    return *this;
  }
  Bytes& Section(Bytes const& content) { return Varint(content.v.size()).Add(content); }
};

// A whole stream: the header (CRC of the body computed bit by bit) and body.
inline std::vector<std::uint8_t> Stream(int serializer, int category, int spatial_type,
                                        std::optional<int> precision, Bytes const& body) {
  Bytes out{0x07, 0xAA, serializer, 0, 0, 0, 0, category, spatial_type};
  if (precision) out.U8(*precision);
  out.Add(body);
  if (out.v.size() > 9) {
    std::uint32_t const crc = CrcBitwise(0, out.v.data() + 9, out.v.size() - 9);
    for (int i = 0; i < 4; ++i) out.v[3 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  }
  return out.v;
}

inline constexpr ShapeType kShapeTypes[] = {
    ShapeType::Point,           ShapeType::LineString,   ShapeType::Polygon, ShapeType::MultiPoint,
    ShapeType::MultiLineString, ShapeType::MultiPolygon, ShapeType::Mixed};

// "ok", or the message of the std::invalid_argument that f throws.
template <class F>
std::string InvalidArgument(F&& f) {
  try {
    f();
    return "ok";
  } catch (std::invalid_argument const& e) {
    return e.what();
  }
}

template <class G>
constexpr bool kPlanar = std::is_same_v<G, Geometry>;

template <class G>
using DefaultOf = std::conditional_t<kPlanar<G>, DefaultGeometry, DefaultGeography>;
template <class G>
using LegacyOf = std::conditional_t<kPlanar<G>, LegacyGeometry, LegacyGeography>;

// Coordinate vectors of one value.
template <class G>
struct Content {
  using D = DefaultSpatial<G>;
  typename D::Points points;
  typename D::Lines lines;
  typename D::Polys polys;
};

// Random content of a shape type (never Empty) whose inferred type is that
// shape type. Coordinates: planar within +/-500 (or huge, one time in 64);
// geographic from pole to pole and across the antimeridian, the poles and
// +/-180 degrees themselves included now and then. With `precision`, every
// number is first put on the grid 10^-precision (geographic latitudes kept
// within the poles).
template <class G>
class RandomContent {
 public:
  using C = typename G::Coordinate;

  explicit RandomContent(std::uint64_t seed) : rng_(seed) {}

  Content<G> Make(ShapeType type, std::optional<std::int8_t> precision = std::nullopt) {
    precision_ = precision;
    Content<G> c;
    auto points = [&](int n) {
      for (int i = 0; i < n; ++i) c.points.push_back(Coordinate());
    };
    auto lines = [&](int n) {
      for (int i = 0; i < n; ++i) c.lines.push_back(Path(Between(2, 12), false));
    };
    auto polys = [&](int n) {
      for (int i = 0; i < n; ++i) {
        typename Content<G>::D::Lines rings;
        int const count = Between(1, 3);
        for (int r = 0; r < count; ++r) rings.push_back(Path(Between(4, 12), true));
        c.polys.push_back(std::move(rings));
      }
    };
    switch (type) {
      case ShapeType::Point: points(1); break;
      case ShapeType::LineString: lines(1); break;
      case ShapeType::Polygon: polys(1); break;
      case ShapeType::MultiPoint: points(Between(2, 9)); break;
      case ShapeType::MultiLineString: lines(Between(2, 5)); break;
      case ShapeType::MultiPolygon: polys(Between(2, 4)); break;
      default: {  // at least two collections
        static constexpr int kCollections[] = {3, 5, 6, 7};
        int const which = kCollections[Between(0, 3)];
        points((which & 1) != 0 ? Between(1, 3) : 0);
        lines((which & 2) != 0 ? Between(1, 3) : 0);
        polys((which & 4) != 0 ? Between(1, 2) : 0);
        break;
      }
    }
    return c;
  }

  int Between(int lo, int hi) { return std::uniform_int_distribution(lo, hi)(rng_); }
  double Unit() { return std::uniform_real_distribution(-1.0, 1.0)(rng_); }
  std::mt19937_64& Engine() { return rng_; }

  C Coordinate() {
    using std::numbers::pi;
    if constexpr (kPlanar<G>) {
      double const scale = !precision_ && rng_() % 64 == 0 ? 1e30 : 500;
      return C(Snap(scale * Unit()), Snap(scale * Unit()));
    } else {
      double lat = Unit() * pi / 2;
      double lon = Unit() * pi;
      switch (rng_() % 16) {
        case 0: lat = pi / 2; break;
        case 1: lat = -pi / 2; break;
        case 2: lon = pi; break;
        case 3: lon = -pi; break;
        default: break;
      }
      lat = Snap(lat);
      lon = Snap(lon);
      // Grid points beyond the poles or the antimeridian are moved one step in.
      if (precision_) {
        double const step = LegacySerialization::Power10(static_cast<std::int8_t>(-*precision_));
        if (std::fabs(lat) > pi / 2) lat -= std::copysign(step, lat);
        if (std::fabs(lon) > pi) lon -= std::copysign(step, lon);
      }
      return C(Latitude(Radians(lat)), Longitude(lon));
    }
  }

 private:
  double Snap(double x) const {
    return precision_ ? LegacySerialization::Round(x, *precision_) : x;
  }

  typename Content<G>::D::Points Path(int n, bool closed) {
    typename Content<G>::D::Points path;
    for (int i = 0; i < n; ++i) path.push_back(Coordinate());
    if (closed) path.back() = path.front();
    return path;
  }

  std::mt19937_64 rng_;
  std::optional<std::int8_t> precision_;
};

inline std::vector<std::uint8_t> ToVector(ResourceVector<std::uint8_t> const& bytes) {
  return {bytes.begin(), bytes.end()};
}

}  // namespace ostrel::test_support
