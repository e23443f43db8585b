// Shared by the serialization tests: random values of every shape type and
// both families, a plain model of a value's content (doubles in degrees for
// geographies) to compare against, byte helpers, and an independent WKB
// encoder of that model used to write the expected bytes, the value a binary
// reader makes of a model, and the harness of the corrupted-bytes runs.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ostrel/ostrel.hpp"
#include "support/counting_resource.hpp"
#include "support/global_allocations.hpp"

namespace ostrel::serialization_test {

using XY = std::pair<double, double>;  // planar (x, y); geographic (longitude, latitude) degrees
using Path = std::vector<XY>;
using Rings = std::vector<Path>;

// What a value holds, read through the shape interface only.
struct Model {
  ShapeType type = ShapeType::Empty;
  Path points;
  std::vector<Path> lines;
  std::vector<Rings> polys;
  bool operator==(Model const&) const = default;
};

inline XY Degrees2(GeographyCoordinate const& c) {
  return {Degrees(c.GetLongitude().Get()).Get(), Degrees(c.GetLatitude().Get()).Get()};
}
inline XY Plain(GeometryCoordinate const& c) { return {c.GetX(), c.GetY()}; }

template <class G>
Model ModelOf(G const& g) {
  auto xy = [](auto const& c) {
    if constexpr (std::is_base_of_v<Geometry, G>) {
      return Plain(c);
    } else {
      return Degrees2(c);
    }
  };
  Model m;
  m.type = g.GetShapeType();
  for (auto const& c : g.GetPoints()) m.points.push_back(xy(c));
  for (auto const& line : g.GetLines()) {
    Path path;
    for (auto const& c : line) path.push_back(xy(c));
    m.lines.push_back(path);
  }
  for (auto const& poly : g.GetPolys()) {
    Rings rings;
    for (auto const& ring : poly) {
      Path path;
      for (auto const& c : ring) path.push_back(xy(c));
      rings.push_back(path);
    }
    m.polys.push_back(rings);
  }
  return m;
}

inline Model ModelOf(Spatial const& v) {
  if (v.IsGeometry()) return ModelOf(v.AsGeometry());
  if (v.IsGeography()) return ModelOf(v.AsGeography());
  return Model{};
}

// A value of the default format from a model (geographic input in degrees).
template <class V>
V MakeValue(Model const& m, typename V::Attributes const& a = {}) {
  auto make = [&a](XY const& p) {
    if constexpr (std::is_same_v<V, DefaultGeometry>) {
      return GeometryCoordinate(p.first, p.second, a.bias);
    } else {
      (void)a;  // geographic coordinates carry no bias
      return GeographyCoordinate(Latitude(Degrees(p.second)), Longitude(Degrees(p.first)));
    }
  };
  typename V::Points points;
  for (auto const& p : m.points) points.push_back(make(p));
  typename V::Lines lines;
  for (auto const& l : m.lines) {
    typename V::Points line;
    for (auto const& p : l) line.push_back(make(p));
    lines.push_back(line);
  }
  typename V::Polys polys;
  for (auto const& poly : m.polys) {
    typename V::Lines rings;
    for (auto const& r : poly) {
      typename V::Points ring;
      for (auto const& p : r) ring.push_back(make(p));
      rings.push_back(ring);
    }
    polys.push_back(rings);
  }
  return V(m.type, points, lines, polys, a);
}

// Random content. Planar coordinates are multiples of 1/64 below 2^10 in
// magnitude, so every difference of two of them is a float and a value
// read with any of them as bias holds them exactly. Geographic content is
// small (edges well below the densify step, so nothing is added), its rings
// star-shaped around a centre (simple, so the clean-up keeps them) and
// oriented as readers orient them when `oriented` is set.
class Generator {
 public:
  // decimals >= 0 makes coordinates that six significant digits of text
  // hold: geographic ones rounded to that many decimals, with rings large
  // enough to stay apart at that resolution; planar ones multiples of 1/8.
  explicit Generator(unsigned seed, bool geographic, int decimals = -1)
      : rng_(seed), geographic_(geographic), decimals_(decimals) {}

  double Uniform(double lo, double hi) {
    return std::uniform_real_distribution<double>(lo, hi)(rng_);
  }
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  XY Point(XY centre, double radius) {
    XY p{centre.first + Uniform(-radius, radius), centre.second + Uniform(-radius, radius)};
    return Snap(p);
  }

  XY Centre() {
    // With rounding, longitudes keep two integer digits: six significant
    // digits then hold four decimals.
    if (geographic_)
      return Snap({decimals_ >= 0 ? Uniform(-99, 99) : Uniform(-179, 179), Uniform(-80, 80)});
    return Snap({Uniform(-900, 900), Uniform(-900, 900)});
  }

  double Radius() {
    if (!geographic_) return Uniform(1, 60);
    return decimals_ >= 0 ? Uniform(0.02, 0.03) : Uniform(0.001, 0.03);
  }

  Path Line(XY centre, double radius) {
    Path path;
    int const n = Int(2, 12);
    for (int i = 0; i < n; ++i) {
      XY p = Point(centre, radius);
      if (!path.empty() && p == path.back()) p.first += geographic_ ? 0.0001 : 0.5;
      path.push_back(p);
    }
    return path;
  }

  // A star-shaped ring of 3 to 16 distinct vertices, closed, counter-
  // clockwise in (x, y) unless `clockwise`.
  Path Ring(XY centre, double radius, bool clockwise) {
    int const n = Int(3, 16);
    std::vector<double> angles;
    for (int i = 0; i < n; ++i) angles.push_back(Uniform(0, 2 * 3.141592653589793));
    std::sort(angles.begin(), angles.end());
    Path ring;
    for (int i = 0; i < n; ++i) {
      // Angles at least a little apart, radii in the outer half: no spikes.
      double const a = 2 * 3.141592653589793 * i / n + (angles[i] - 3.141592653589793) * 0.3 / n;
      double const r = radius * Uniform(0.5, 1.0);
      XY const p = Snap({centre.first + r * std::cos(a), centre.second + r * std::sin(a)});
      if (ring.empty() || p != ring.back()) ring.push_back(p);
    }
    if (ring.size() < 3 || ring.back() == ring.front())
      return Ring(centre, radius * 1.5, clockwise);
    if (clockwise) std::reverse(ring.begin(), ring.end());
    ring.push_back(ring.front());
    return ring;
  }

  Rings Polygon(XY centre, double radius, bool oriented) {
    Rings rings{Ring(centre, radius, oriented ? false : Int(0, 1) == 1)};
    int const holes = Int(0, 2);
    for (int h = 0; h < holes; ++h) {
      // Holes inside the exterior's inner half, apart from each other.
      double const a = 2 * 3.141592653589793 * h / 2 + 0.3;
      XY const c{centre.first + 0.25 * radius * std::cos(a),
                 centre.second + 0.25 * radius * std::sin(a)};
      rings.push_back(Ring(c, radius * 0.15, oriented ? true : Int(0, 1) == 1));
    }
    return rings;
  }

  // A model of the given shape type with `n` elements for the multi types.
  Model Make(ShapeType type, bool oriented = true) {
    Model m;
    m.type = type;
    int const n = Int(1, 4);
    auto point = [&] { m.points.push_back(Point(Centre(), Radius())); };
    auto line = [&] { m.lines.push_back(Line(Centre(), Radius())); };
    auto poly = [&] { m.polys.push_back(Polygon(Centre(), Radius(), oriented)); };
    switch (type) {
      case ShapeType::Point: point(); break;
      case ShapeType::LineString: line(); break;
      case ShapeType::Polygon: poly(); break;
      case ShapeType::MultiPoint:
        for (int i = 0; i < n + 1; ++i) point();
        break;
      case ShapeType::MultiLineString:
        for (int i = 0; i < n + 1; ++i) line();
        break;
      case ShapeType::MultiPolygon:
        for (int i = 0; i < n + 1; ++i) poly();
        break;
      case ShapeType::Mixed:
        for (int i = Int(0, 2); i > 0; --i) point();
        for (int i = Int(0, 2); i > 0; --i) line();
        for (int i = Int(0, 2); i > 0; --i) poly();
        if (m.points.empty() && m.lines.empty()) point();
        if (m.polys.empty()) poly();
        break;
      default: break;
    }
    return m;
  }

  std::mt19937& Engine() { return rng_; }

 private:
  XY Snap(XY p) const {
    if (geographic_) {
      if (decimals_ < 0) return p;
      double const scale = std::pow(10.0, decimals_);
      return {std::round(p.first * scale) / scale, std::round(p.second * scale) / scale};
    }
    // Multiples of 1/8 below 1000 need at most six significant digits.
    double const scale = decimals_ >= 0 ? 8 : 64;
    return {std::round(p.first * scale) / scale, std::round(p.second * scale) / scale};
  }

  std::mt19937 rng_;
  bool geographic_;
  int decimals_;
};

inline constexpr ShapeType kAllShapes[] = {
    ShapeType::Point,           ShapeType::LineString,   ShapeType::Polygon, ShapeType::MultiPoint,
    ShapeType::MultiLineString, ShapeType::MultiPolygon, ShapeType::Mixed};

// Bytes from hex text ("01 0100 0000" or "0101000000"); blanks ignored.
inline std::vector<std::uint8_t> Hex(std::string const& text) {
  std::vector<std::uint8_t> out;
  int nibble = -1;
  for (char c : text) {
    int v;
    if (c >= '0' && c <= '9') {
      v = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      v = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      v = c - 'A' + 10;
    } else {
      continue;
    }
    if (nibble < 0) {
      nibble = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(nibble * 16 + v));
      nibble = -1;
    }
  }
  return out;
}

inline std::string ToHex(std::vector<std::uint8_t> const& bytes) {
  static char const digits[] = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

// An independent WKB encoder: byte order given, values as the model says,
// with the codes and the extra dimensions given per element.
class WkbBuilder {
 public:
  explicit WkbBuilder(bool big_endian = false) : big_(big_endian) {}

  WkbBuilder& Byte(std::uint8_t b) {
    bytes_.push_back(b);
    return *this;
  }
  WkbBuilder& U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      int const shift = big_ ? 8 * (3 - i) : 8 * i;
      bytes_.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    return *this;
  }
  WkbBuilder& F64(double d) {
    auto const v = std::bit_cast<std::uint64_t>(d);
    for (int i = 0; i < 8; ++i) {
      int const shift = big_ ? 8 * (7 - i) : 8 * i;
      bytes_.push_back(static_cast<std::uint8_t>(v >> shift));
    }
    return *this;
  }
  // A header in this builder's byte order.
  WkbBuilder& Header(std::uint32_t code) { return Byte(big_ ? 0 : 1).U32(code); }
  WkbBuilder& Coordinates(Path const& path, int extra = 0) {
    for (XY const& p : path) {
      F64(p.first).F64(p.second);
      for (int e = 0; e < extra; ++e) F64(1000 + e);
    }
    return *this;
  }
  WkbBuilder& Order(bool big_endian) {
    big_ = big_endian;
    return *this;
  }
  std::vector<std::uint8_t> const& Bytes() const { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  bool big_;
};

// The expected little-endian WKB of a model written by a writer that emits
// plain codes: points, then lines, then polygons.
inline std::vector<std::uint8_t> ExpectedWkb(Model const& m, std::uint32_t flag = 0,
                                             std::uint32_t srid = 0) {
  WkbBuilder b;
  auto code = static_cast<std::uint32_t>(m.type);
  b.Header(code | flag);
  if (flag != 0) b.U32(srid);
  bool const collection = code >= 4;
  if (collection) b.U32(m.points.size() + m.lines.size() + m.polys.size());
  for (XY const& p : m.points) {
    if (collection) b.Header(1);
    b.F64(p.first).F64(p.second);
  }
  for (Path const& l : m.lines) {
    if (collection) b.Header(2);
    b.U32(l.size()).Coordinates(l);
  }
  for (Rings const& poly : m.polys) {
    if (collection) b.Header(3);
    b.U32(poly.size());
    for (Path const& r : poly) b.U32(r.size()).Coordinates(r);
  }
  return b.Bytes();
}

// The message of the E that f throws, or what went wrong instead.
template <class E, class F>
std::string Throws(F&& f) {
  try {
    f();
  } catch (E const& e) {
    return e.what();
  } catch (std::exception const& e) {
    return std::string("wrong type: ") + e.what();
  }
  return "no exception";
}

// The value a binary reader makes of a model: geographies with an EPSG SRID,
// geometries with authority None and the bias of their first coordinate
// (points, then lines, then rings). The generator's planar coordinates are
// exact with any of them as bias.
inline SpatialPtr ReadersValue(Model const& m, bool geographic, std::uint32_t srid) {
  if (geographic) {
    SRID const s(SRID::Authority::EPSG, srid);
    return MakeSpatial<DefaultGeography>(MakeValue<DefaultGeography>(
        m, Geography::Attributes(s, s, TopologicalType::Spheroidal, WindingOrder::InteriorLeft)));
  }
  XY const first = !m.points.empty()  ? m.points[0]
                   : !m.lines.empty() ? m.lines[0][0]
                                      : m.polys[0][0][0];
  SRID const s(SRID::Authority::None, srid);
  return MakeSpatial<DefaultGeometry>(MakeValue<DefaultGeometry>(
      m, Geometry::Attributes(GeometryCoordinate::Bias(first.first, first.second), s, s)));
}

// Whether `of` is a subsequence of `path`.
inline bool Subsequence(Path const& of, Path const& path) {
  std::size_t k = 0;
  for (XY const& q : path) k += k < of.size() && q == of[k];
  return k == of.size();
}

// `path` without consecutive duplicates.
inline Path WithoutRepeats(Path const& path) {
  Path out;
  for (XY const& q : path) {
    if (out.empty() || q != out.back()) out.push_back(q);
  }
  return out;
}

// The polygons of two models have the same rings, coordinate by coordinate
// within `tolerance`; returns the number of coordinates compared.
inline int ExpectPolysNear(Model const& got, Model const& want, double tolerance) {
  int compared = 0;
  EXPECT_EQ(got.polys.size(), want.polys.size());
  for (std::size_t p = 0; p < want.polys.size() && p < got.polys.size(); ++p) {
    EXPECT_EQ(got.polys[p].size(), want.polys[p].size());
    for (std::size_t r = 0; r < want.polys[p].size() && r < got.polys[p].size(); ++r) {
      Path const &a = got.polys[p][r], &b = want.polys[p][r];
      EXPECT_EQ(a.size(), b.size());
      for (std::size_t k = 0; k < a.size() && k < b.size(); ++k, ++compared) {
        EXPECT_NEAR(a[k].first, b[k].first, tolerance) << p << " " << r << " " << k;
        EXPECT_NEAR(a[k].second, b[k].second, tolerance) << p << " " << r << " " << k;
      }
    }
  }
  return compared;
}

// Random values of every shape type in both families, written in a binary
// form with SRIDs taken in turn from the given lists: the bytes are those of
// the independent encoder, they read back to the same family, content and
// hash, and a second write is byte-identical. Rings of either orientation:
// these forms keep them as they are.
template <class Write, class Read, class Expected>
void BinaryRoundTrips(unsigned seed, std::vector<std::uint32_t> const& planar_srids,
                      std::vector<std::uint32_t> const& geographic_srids, Write write, Read read,
                      Expected expected) {
  for (bool geographic : {false, true}) {
    Generator gen(geographic ? seed : seed + 1, geographic);
    auto const& srids = geographic ? geographic_srids : planar_srids;
    for (int i = 0; i < 700; ++i) {
      Model const m = gen.Make(kAllShapes[i % 7], false);
      std::uint32_t const srid = srids[static_cast<std::size_t>(i) % srids.size()];
      SpatialPtr const v = ReadersValue(m, geographic, srid);
      Model const written = ModelOf(*v);
      std::vector<std::uint8_t> const bytes = write(*v);
      ASSERT_EQ(bytes, expected(written, srid, geographic)) << i;
      SpatialPtr const back = read(bytes);
      ASSERT_EQ(back->GetCoordinateType(), v->GetCoordinateType()) << i;
      ASSERT_EQ(ModelOf(*back), written) << geographic << " " << i;
      EXPECT_EQ(back->GetHash(), v->GetHash()) << geographic << " " << i;
      EXPECT_EQ(write(*back), bytes) << i;
    }
  }
}

// Refuses any single allocation above `single` bytes and, in total, more
// than `total`: a reader that trusted a count, or built what its input cannot
// justify, fails with std::bad_alloc instead of its own message.
class LimitedResource final : public MemoryResource {
 public:
  LimitedResource(std::size_t single, std::size_t total) : single_(single), total_(total) {}
  void* Allocate(std::size_t bytes, std::size_t alignment) override {
    if (bytes > single_ || (used_ += bytes) > total_) throw std::bad_alloc();
    return NewDeleteMemoryResource()->Allocate(bytes, alignment);
  }
  void Deallocate(void* p, std::size_t bytes, std::size_t alignment) override {
    NewDeleteMemoryResource()->Deallocate(p, bytes, alignment);
  }
  bool IsEqual(MemoryResource const& other) const override { return this == &other; }

 private:
  std::size_t single_, total_, used_ = 0;
};

// Overwrites `flips` random bytes: a third of them with one bit flipped, the
// rest with a random byte.
inline void Corrupt(std::vector<std::uint8_t>& bytes, std::mt19937& rng, int flips) {
  for (int f = 0; f < flips; ++f) {
    std::size_t const at = rng() % bytes.size();
    bytes[at] = static_cast<std::uint8_t>(rng() % 3 == 0 ? bytes[at] ^ (1u << (rng() % 8)) : rng());
  }
}

// Tallies reads of corrupted input. Each read must end in a value, an
// Unknown or one of the documented exceptions; it allocates only from the
// current resource (a successful read never from the global heap, only an
// exception's message does) and leaks nothing.
class CorruptionTally {
 public:
  template <class Read>
  void Run(Read&& read, int i) {
    test_support::GlobalAllocationCounter global;
    bool threw = false;
    {
      test_support::ScopedMemoryResource scope(&counting_);
      try {
        SpatialPtr const v = read();
        v->IsUnknown() ? ++unknowns : ++values;
      } catch (std::length_error const&) {
        threw = true;
      } catch (std::invalid_argument const&) {
        threw = true;
      } catch (std::out_of_range const&) {
        threw = true;
      }
    }
    errors += threw;
    if (!threw) {
      EXPECT_EQ(global.Count(), 0u) << i;
    }
    ASSERT_TRUE(counting_.Balanced()) << i;
  }
  int values = 0, unknowns = 0, errors = 0;

 private:
  test_support::CountingMemoryResource counting_;
};

}  // namespace ostrel::serialization_test
