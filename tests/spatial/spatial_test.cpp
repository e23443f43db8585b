// The spatial object model: the value hierarchy and format information, the
// owning pointer, shape ranges, the default format (validation, copy, move,
// swap, memory) and the hashing of values.
//
// Hashes are checked against the mixing function and the per-part rules
// re-implemented here from their definitions (Ref, Model), over random values
// of every shape type in both families, held in the default format and in
// VecFormat, a small vector-backed test format that caches nothing (or
// delegates to a ShapeHashes) and can hand out line and ring owners: every
// format must hash alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <latch>
#include <limits>
#include <memory>
#include <new>
#include <numbers>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "ostrel/ostrel.hpp"
#include "support/counting_resource.hpp"

namespace ostrel {
namespace {

static_assert(std::ranges::random_access_range<detail::ShapePoints<GeographyCoordinate>>);
static_assert(std::ranges::random_access_range<detail::ShapeLines<GeometryCoordinate>>);
static_assert(std::ranges::random_access_range<detail::ShapePolys<GeometryCoordinate>>);
static_assert(std::ranges::random_access_range<detail::ShapePoly<GeographyCoordinate>>);
static_assert(std::ranges::sized_range<detail::ShapeRing<GeographyCoordinate>>);
static_assert(std::ranges::sized_range<detail::ShapeLine<GeometryCoordinate>>);

using test_support::CountingMemoryResource;
using test_support::ScopedMemoryResource;
using u64 = std::uint64_t;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// ---- The hash function, rebuilt from its definition -----------------------

constexpr u64 kSeed = 0x4123EF1D38D7B16C, kM1 = 0x2127599BF4325C37, kM2 = 0x880355F21E6D1965;

u64 Mix(u64 v) {
  u64 t = (v ^ (v >> 23)) * kM1;
  return t ^ (t >> 47);
}

struct Ref {
  u64 state = kSeed;
  Ref& Raw(u64 v) { return state = (state ^ Mix(v)) * kM2, *this; }
  Ref& Unordered(u64 v) { return state += Mix((Mix(v) ^ kSeed) * kM2), *this; }
  u64 End() const { return Mix(state); }
};

u64 Word(double d) { return d == 0 ? 0 : std::bit_cast<u64>(d); }
u64 Word(float x, float y) {
  auto bits = [](float f) -> u64 { return f == 0 ? 0 : std::bit_cast<std::uint32_t>(f); };
  return bits(y) << 32 | bits(x);
}
Ref& Add(Ref& r, SRID s) { return r.Raw(static_cast<u64>(s.GetAuthority())).Raw(s.GetID()); }

double Uniform(std::mt19937_64& rng, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng);
}
int Between(std::mt19937_64& rng, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(rng);
}
SRID RandomSRID(std::mt19937_64& rng) {
  return SRID(static_cast<SRID::Authority>(rng() % 7), static_cast<unsigned int>(rng() >> 40));
}

// ---- Per-family rules -----------------------------------------------------

template <class G>
struct Family;

template <>
struct Family<Geometry> {
  using Value = DefaultGeometry;
  using Attributes = Geometry::Attributes;
  static constexpr u64 kType = 2;
  static constexpr char const* kName = "Geometry";

  static GeometryCoordinate At(double x, double y, Attributes const& a = {}) {
    return {x, y, a.bias};
  }
  static GeometryCoordinate::Packed Pack(GeometryCoordinate c, Attributes const& a) {
    return {c.GetX(), c.GetY(), a.bias};
  }
  static GeometryCoordinate Unpack(GeometryCoordinate::Packed p, Attributes const& a) {
    return {p, a.bias};
  }
  // The stored offsets from the bias, as floats.
  static u64 CoordinateWord(GeometryCoordinate c, Attributes const& a) {
    return Word(static_cast<float>(c.GetX() - a.bias.GetX()),
                static_cast<float>(c.GetY() - a.bias.GetY()));
  }
  static u64 AttributeHash(Attributes const& a) {
    Ref r;
    r.Raw(Word(a.bias.GetX())).Raw(Word(a.bias.GetY()));
    return Add(Add(r, a.original_srid), a.converted_srid).End();
  }
  static auto Fields(Attributes const& a) {
    return std::tuple(a.bias.GetX(), a.bias.GetY(), a.original_srid, a.converted_srid);
  }
  static Attributes Some() { return {{1000, 2000}, SRID::NAD27(), SRID::ETRS89()}; }
  static Attributes RandomAttributes(std::mt19937_64& rng) {
    double const x[] = {0.0, 1000.0, -1e6};
    return {{x[rng() % 3], Uniform(rng, -1e5, 1e5)}, RandomSRID(rng), RandomSRID(rng)};
  }
  // Snapped to the bias, so that it survives packing unchanged; one offset in
  // eight is exactly 0 or 1.
  static GeometryCoordinate RandomCoordinate(std::mt19937_64& rng, Attributes const& a) {
    auto offset = [&] { return rng() % 8 == 0 ? double(rng() % 2) : Uniform(rng, -500, 500); };
    double const x = a.bias.GetX() + offset();
    return At(x, a.bias.GetY() + offset(), a);
  }
};

template <>
struct Family<Geography> {
  using Value = DefaultGeography;
  using Attributes = Geography::Attributes;
  static constexpr u64 kType = 3;
  static constexpr char const* kName = "Geography";

  // (x, y) as (longitude, latitude) in hundredths of a radian.
  static GeographyCoordinate At(double x, double y, Attributes const& = {}) {
    return {Latitude(y / 100), Longitude(x / 100)};
  }
  static GeographyCoordinate::Packed Pack(GeographyCoordinate c, Attributes const&) {
    return {c.GetLatitude(), c.GetLongitude()};
  }
  static GeographyCoordinate Unpack(GeographyCoordinate::Packed p, Attributes const&) {
    return GeographyCoordinate(p);
  }
  static u64 CoordinateWord(GeographyCoordinate c, Attributes const& a) {
    return Pack(c, a).GetEncoded();
  }
  // The winding order is not part of it.
  static u64 AttributeHash(Attributes const& a) {
    Ref r;
    return Add(Add(r, a.original_srid), a.converted_srid)
        .Raw(static_cast<u64>(a.topological_type))
        .End();
  }
  static auto Fields(Attributes const& a) {
    return std::tuple(a.original_srid, a.converted_srid, a.topological_type, a.winding_order);
  }
  static Attributes Some() {
    return {SRID::NAD27(), SRID::ETRS89(), TopologicalType::Flat, WindingOrder::InteriorRight};
  }
  static Attributes RandomAttributes(std::mt19937_64& rng) {
    return {RandomSRID(rng), RandomSRID(rng), static_cast<TopologicalType>(rng() % 2),
            static_cast<WindingOrder>(rng() % 3)};
  }
  // One in eight on the equator, a pole, the prime or the date-line meridian.
  static GeographyCoordinate RandomCoordinate(std::mt19937_64& rng, Attributes const&) {
    using std::numbers::pi;
    bool const special = rng() % 8 == 0;
    double const lat =
        special ? pi / 2 * double(rng() % 3) - pi / 2 : Uniform(rng, -pi / 2, pi / 2);
    double const lon = special ? pi * double(rng() % 3) - pi : Uniform(rng, -pi, pi);
    return {Latitude(lat), Longitude(lon)};
  }
};

template <class G>
class SpatialFamily : public ::testing::Test {};
using Families = ::testing::Types<Geometry, Geography>;
TYPED_TEST_SUITE(SpatialFamily, Families);

// ---- The model: content, attributes and the hash they must give ------------

template <class C>
using Contents = std::tuple<std::vector<C>, std::vector<std::vector<C>>,
                            std::vector<std::vector<std::vector<C>>>>;

template <class G>
struct Model {
  using F = Family<G>;
  using C = typename G::Coordinate;
  using Line = std::vector<C>;
  using Poly = std::vector<Line>;
  using D = DefaultSpatial<G>;

  ShapeType type = ShapeType::Empty;
  bool state_type = false;  // build with `type` given instead of inferred
  typename G::Attributes attributes;
  std::vector<C> points;
  std::vector<Line> lines;
  std::vector<Poly> polys;

  u64 A() const { return F::AttributeHash(attributes); }
  u64 PointHash(C c) const { return Ref().Raw(A()).Raw(F::CoordinateWord(c, attributes)).End(); }
  u64 LineHash(Line const& line) const {
    Ref r;
    r.Raw(A()).Raw(line.size());
    for (C c : line) r.Raw(F::CoordinateWord(c, attributes));
    return r.End();
  }
  u64 PolyHash(Poly const& poly) const {
    Ref r;
    r.Raw(A()).Raw(poly.size());
    for (Line const& ring : poly) r.Raw(LineHash(ring));
    return r.End();
  }
  u64 Hash() const {
    Ref r;
    r.Raw(F::kType).Raw(static_cast<u64>(type)).Raw(A()).Raw(points.size());
    for (C c : points) r.Unordered(PointHash(c));
    r.Raw(lines.size());
    for (Line const& line : lines) r.Unordered(LineHash(line));
    r.Raw(polys.size());
    for (Poly const& poly : polys) r.Unordered(PolyHash(poly));
    return r.End();
  }
  Contents<C> Expected() const { return {points, lines, polys}; }

  // Constructor input, on the memory resource current now.
  std::tuple<typename D::Points, typename D::Lines, typename D::Polys> Inputs() const {
    std::tuple<typename D::Points, typename D::Lines, typename D::Polys> in;
    std::get<0>(in).assign(points.begin(), points.end());
    for (Line const& line : lines) std::get<1>(in).emplace_back(line.begin(), line.end());
    for (Poly const& poly : polys) {
      auto& rings = std::get<2>(in).emplace_back();
      for (Line const& ring : poly) rings.emplace_back(ring.begin(), ring.end());
    }
    return in;
  }
  typename F::Value Default() const {
    auto [p, l, q] = Inputs();
    return state_type ? typename F::Value(type, p, l, q, attributes)
                      : typename F::Value(p, l, q, attributes);
  }
};

// Content written as plain (x, y) numbers, for tables valid in both families.
using XY = std::pair<double, double>;
using XYs = std::vector<XY>;
struct Sketch {
  XYs points;
  std::vector<XYs> lines;
  std::vector<std::vector<XYs>> polys;
};

template <class G>
Model<G> FromSketch(Sketch const& s, typename G::Attributes const& attributes = {}) {
  auto convert = [&](XYs const& xys) {
    std::vector<typename G::Coordinate> out;
    for (XY xy : xys) out.push_back(Family<G>::At(xy.first, xy.second, attributes));
    return out;
  };
  Model<G> m;
  m.attributes = attributes;
  m.points = convert(s.points);
  for (XYs const& line : s.lines) m.lines.push_back(convert(line));
  for (auto const& poly : s.polys) {
    auto& rings = m.polys.emplace_back();
    for (XYs const& ring : poly) rings.push_back(convert(ring));
  }
  return m;
}

XYs const kLine{{0, 0}, {1, 1}};
XYs const kRing{{0, 0}, {1, 0}, {1, 1}, {0, 0}};
XYs const kOpenRing{{0, 0}, {1, 0}, {1, 1}, {0, 1}};
XYs const kTriangle{{0, 0}, {1, 0}, {0, 0}};
Sketch const kRich{{{5, 5}, {6, 6}}, {kLine, {{2, 2}, {3, 2}, {3, 3}}}, {{kRing}, {kRing, kRing}}};
Sketch const kOther{{{7, 7}}, {{{9, 9}, {8, 8}}}, {{{{1, 1}, {2, 1}, {2, 2}, {1, 1}}}}};

// Lines of 2 to 5 coordinates; polys of min_rings to 3 closed rings of 4 to 6.
template <class G>
Model<G> MakeModel(std::mt19937_64& rng, ShapeType type, int points, int lines, int polys,
                   int min_rings = 1) {
  Model<G> m;
  m.type = type;
  m.attributes = Family<G>::RandomAttributes(rng);
  auto coordinate = [&] { return Family<G>::RandomCoordinate(rng, m.attributes); };
  for (int i = 0; i < points; ++i) m.points.push_back(coordinate());
  for (int i = 0; i < lines; ++i) {
    auto& line = m.lines.emplace_back();
    for (int k = Between(rng, 2, 5); k > 0; --k) line.push_back(coordinate());
  }
  for (int i = 0; i < polys; ++i) {
    auto& poly = m.polys.emplace_back();
    for (int r = Between(rng, min_rings, 3); r > 0; --r) {
      auto& ring = poly.emplace_back();
      for (int k = Between(rng, 3, 5); k > 0; --k) ring.push_back(coordinate());
      ring.push_back(ring.front());
    }
  }
  return m;
}

// Counts that make shape type k (Empty 0 ... Mixed 7); 2 stands for 2 to 4.
template <class G>
Model<G> RandomModelOfType(std::mt19937_64& rng, int k) {
  int const table[7][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1},
                           {2, 0, 0}, {0, 2, 0}, {0, 0, 2}};
  int n[3];
  do {
    for (int i = 0; i < 3; ++i) {
      n[i] = k == 7 ? Between(rng, 0, 2) : table[k][i] == 2 ? Between(rng, 2, 4) : table[k][i];
    }
  } while (k == 7 && (n[0] > 0) + (n[1] > 0) + (n[2] > 0) < 2);
  return MakeModel<G>(rng, static_cast<ShapeType>(k), n[0], n[1], n[2]);
}

template <class C>
Contents<C> Read(Shape<C> const& shape) {
  Contents<C> out;
  for (C c : shape.GetPoints()) std::get<0>(out).push_back(c);
  for (auto line : shape.GetLines()) std::get<1>(out).emplace_back(line.begin(), line.end());
  for (auto poly : shape.GetPolys()) {
    auto& rings = std::get<2>(out).emplace_back();
    for (auto ring : poly) rings.emplace_back(ring.begin(), ring.end());
  }
  return out;
}

// Everything a caller observes of a value.
template <class V>
auto Observe(V const& v) {
  return std::tuple(v.GetHash(), v.GetShapeType(), Read(v));
}

// ---- A test-only storage format -------------------------------------------

enum Options { kPlain = 0, kCached = 1, kOwners = 2 };

template <class G>
class VecBase;

template <>
class VecBase<Geometry> : public Geometry {
 public:
  GeometryCoordinate::Bias GetBias() const override { return attributes_.bias; }
  SRID GetOriginalSRID() const override { return attributes_.original_srid; }
  SRID GetConvertedSRID() const override { return attributes_.converted_srid; }

 protected:
  Attributes attributes_;
};

template <>
class VecBase<Geography> : public Geography {
 public:
  SRID GetOriginalSRID() const override { return attributes_.original_srid; }
  SRID GetConvertedSRID() const override { return attributes_.converted_srid; }
  TopologicalType GetTopologicalType() const override { return attributes_.topological_type; }
  WindingOrder GetWindingOrder() const override { return attributes_.winding_order; }

 protected:
  Attributes attributes_;
};

// Packed coordinates in plain vectors. Caches nothing unless kCached, where it
// delegates to a ShapeHashes as the default format does; with kOwners it
// decodes a fresh owner for every line and ring view, as a format with lazily
// decoded coordinates does. Counts the calls of the part functions it is
// handed and the coordinate reads served by the shape itself.
template <class G>
class VecFormat final : public VecBase<G> {
  using C = typename G::Coordinate;
  using P = typename C::Packed;
  using Fn = std::function<u64(unsigned int)>;
  using Fn2 = std::function<u64(unsigned int, unsigned int)>;

 public:
  struct Owner final : ShapeLineOwner<C>, ShapeRingOwner<C> {
    std::vector<C> coordinates;
    C CoordinateInLine(unsigned int, unsigned int i) const override { return coordinates.at(i); }
    C CoordinateInRingOfPoly(unsigned int, unsigned int, unsigned int i) const override {
      return coordinates.at(i);
    }
  };

  VecFormat(Model<G> const& m, int options) : type_(m.type), options_(options) {
    this->attributes_ = m.attributes;
    auto pack = [&](std::vector<C> const& cs) {
      std::vector<P> out;
      for (C c : cs) out.push_back(Family<G>::Pack(c, m.attributes));
      return out;
    };
    points_ = pack(m.points);
    for (auto const& line : m.lines) lines_.push_back(pack(line));
    for (auto const& poly : m.polys) {
      auto& rings = polys_.emplace_back();
      for (auto const& ring : poly) rings.push_back(pack(ring));
    }
  }

  ShapeType GetShapeType() const override { return type_; }
  FormatInfo const& GetFormatInfo() const override {
    static FormatInfo const info = FormatInfos::Make("VecFormat");
    return info;
  }
  using G::HashForAttributes, G::HashForPoint, G::HashForLine, G::HashForPoly, G::HashForRingOfPoly;

  mutable std::atomic<int> attribute_calls{0}, point_calls{0}, line_calls{0}, ring_calls{0},
      poly_calls{0}, shape_reads{0};
  mutable std::weak_ptr<Owner const> last_owner;

 protected:
  P PackedCoordinateForPoint(unsigned int i) const override { return points_[i]; }
  P PackedCoordinateInLine(unsigned int l, unsigned int i) const override { return lines_[l][i]; }
  P PackedCoordinateInRingOfPoly(unsigned int p, unsigned int r, unsigned int i) const override {
    return polys_[p][r][i];
  }
  unsigned int NumberOfPoints() const override { return Size(points_); }
  unsigned int NumberOfLines() const override { return Size(lines_); }
  unsigned int NumberOfPolys() const override { return Size(polys_); }
  unsigned int SizeOfLine(unsigned int l) const override { return Size(lines_[l]); }
  unsigned int SizeOfPoly(unsigned int p) const override { return Size(polys_[p]); }
  unsigned int SizeOfRingInPoly(unsigned int p, unsigned int r) const override {
    return Size(polys_[p][r]);
  }
  C CoordinateInLine(unsigned int l, unsigned int i) const override {
    return ++shape_reads, VecBase<G>::CoordinateInLine(l, i);
  }
  C CoordinateInRingOfPoly(unsigned int p, unsigned int r, unsigned int i) const override {
    return ++shape_reads, VecBase<G>::CoordinateInRingOfPoly(p, r, i);
  }
  std::shared_ptr<ShapeLineOwner<C> const> GetLineOwner(unsigned int l) const override {
    return MakeOwner(lines_[l]);
  }
  std::shared_ptr<ShapeRingOwner<C> const> GetRingOwner(unsigned int p,
                                                        unsigned int r) const override {
    return MakeOwner(polys_[p][r]);
  }

  u64 GetOrDoHashForAttributes(std::function<u64()> fn) const override {
    return Do(attribute_calls, fn, &ShapeHashes::GetOrDoHashForAttributes);
  }
  u64 GetOrDoHashForPoint(Fn fn, unsigned int i) const override {
    return Do(point_calls, fn, &ShapeHashes::GetOrDoHashForPoint, i);
  }
  u64 GetOrDoHashForLine(Fn fn, unsigned int l) const override {
    return Do(line_calls, fn, &ShapeHashes::GetOrDoHashForLine, l);
  }
  u64 GetOrDoHashForPoly(Fn fn, unsigned int p) const override {
    return Do(poly_calls, fn, &ShapeHashes::GetOrDoHashForPoly, p);
  }
  u64 GetOrDoHashForRingOfPoly(Fn2 fn, unsigned int p, unsigned int r) const override {
    return Do(ring_calls, fn, &ShapeHashes::GetOrDoHashForRingOfPoly, p, r);
  }

 private:
  static unsigned int Size(auto const& v) { return static_cast<unsigned int>(v.size()); }
  // Counts the calls of fn, and passes it through the cache when there is one.
  template <class F, class Method, class... I>
  u64 Do(std::atomic<int>& calls, F const& fn, Method method, I... i) const {
    F const counted = [&](auto... a) { return ++calls, fn(a...); };
    return options_ & kCached ? (hashes_.*method)(counted, i...) : counted(i...);
  }
  std::shared_ptr<Owner const> MakeOwner(std::vector<P> const& packed) const {
    if (!(options_ & kOwners)) return nullptr;
    auto owner = std::make_shared<Owner>();
    for (P p : packed) owner->coordinates.push_back(Family<G>::Unpack(p, this->attributes_));
    last_owner = owner;
    return owner;
  }

  ShapeType type_;
  int options_;
  std::vector<P> points_;
  std::vector<std::vector<P>> lines_;
  std::vector<std::vector<std::vector<P>>> polys_;
  ShapeHashes hashes_;
};

template <class E, class Fn>
std::string MessageOf(Fn&& fn) {
  try {
    fn();
  } catch (E const& e) {
    return e.what();
  }
  return "<no exception>";
}

// ---- Hierarchy, text, format information ----------------------------------

TEST(SpatialHierarchy, EachKindConvertsOnlyToItself) {
  std::mt19937_64 rng(1);
  Unknown const unknown;
  Identifying const identifying(42);
  DefaultGeometry const geometry;
  DefaultGeography const geography;
  VecFormat<Geometry> const vec_geometry(MakeModel<Geometry>(rng, ShapeType::Point, 1, 0, 0), 0);
  VecFormat<Geography> const vec_geography(Model<Geography>{}, 0);
  using T = CoordinateType;
  struct Case {
    Spatial const* value;
    CoordinateType type;
  };
  for (Case const c : {Case{&unknown, T::Unknown}, Case{&identifying, T::Identifying},
                       Case{&geometry, T::Geometry}, Case{&vec_geometry, T::Geometry},
                       Case{&geography, T::Geography}, Case{&vec_geography, T::Geography}}) {
    SCOPED_TRACE(to_string(c.type));
    EXPECT_EQ(c.value->GetCoordinateType(), c.type);
    EXPECT_EQ(c.value->IsUnknown(), c.type == T::Unknown);
    EXPECT_EQ(c.value->IsIdentifying(), c.type == T::Identifying);
    EXPECT_EQ(c.value->IsGeometry(), c.type == T::Geometry);
    EXPECT_EQ(c.value->IsGeography(), c.type == T::Geography);
    auto check = [&](T kind, auto convert, char const* message) {
      if (kind == c.type) {
        EXPECT_EQ(convert(), c.value);
      } else {
        EXPECT_EQ(MessageOf<std::logic_error>(convert), message);
      }
    };
    Spatial const& v = *c.value;
    check(
        T::Geometry, [&] { return static_cast<Spatial const*>(&v.AsGeometry()); },
        "not a Geometry");
    check(
        T::Geography, [&] { return static_cast<Spatial const*>(&v.AsGeography()); },
        "not a Geography");
    check(
        T::Unknown, [&] { return static_cast<Spatial const*>(&v.AsUnknown()); }, "not an Unknown");
    check(
        T::Identifying, [&] { return static_cast<Spatial const*>(&v.AsIdentifying()); },
        "not an Identifying");
  }
  EXPECT_EQ(unknown.GetShapeType(), ShapeType::Empty);
  EXPECT_EQ(identifying.GetShapeType(), ShapeType::Empty);
}

TEST(SpatialHierarchy, IdentifyingAndUnknownHashAndText) {
  Identifying id(42);
  EXPECT_EQ(id.GetHash(), 42u);
  EXPECT_EQ(to_string(id), "Identifying:42");
  EXPECT_TRUE(id == Identifying(42) && id != Identifying(43));
  // Equal to any value whose hash is its identifier.
  DefaultGeometry const point(DefaultGeometry::Points{GeometryCoordinate(1, 2)}, {}, {});
  Identifying const same(point.GetHash());
  EXPECT_TRUE(same == point && point == same && !(point != same));
  EXPECT_EQ(to_string(point), "PointGeometry:" + std::to_string(point.GetHash()));
  EXPECT_EQ(to_string(Unknown()), "Unknown");
  EXPECT_EQ(Unknown().GetHash(), Ref().Raw(0).Raw(0).End());
  // Identifier 0 hashes like an empty value of its kind; a moved-from one too.
  u64 const empty = Ref().Raw(1).Raw(0).End();
  EXPECT_EQ(Identifying(0).GetHash(), empty);
  Identifying const moved(std::move(id));
  EXPECT_EQ(moved.GetHash(), 42u);
  EXPECT_EQ(id.GetHash(), empty);  // NOLINT(bugprone-use-after-move)
}

TEST(FormatInfo, IdentifiersIncreaseAndRegisteredInformationIsMadeOnce) {
  FormatInfo const a = FormatInfos::Make("Fmt"), b = FormatInfos::Make("Fmt");
  EXPECT_EQ(b.first, a.first + 1);
  EXPECT_EQ(a.second, "Fmt:" + std::to_string(a.first));
  EXPECT_EQ(b.second, "Fmt:" + std::to_string(b.first));
  struct Case {
    FormatInfo const& (*get)();
    std::string name;
  };
  std::vector<unsigned int> ids;
  for (Case const& c : {Case{&Unknown::GetRegisteredFormatInfo, "Unknown"},
                        Case{&Identifying::GetRegisteredFormatInfo, "Identifying"},
                        Case{&DefaultFormat::GetRegisteredFormatInfo, "DefaultFormat"}}) {
    FormatInfo const& info = c.get();
    EXPECT_EQ(&c.get(), &info);
    EXPECT_EQ(info.second, c.name + ":" + std::to_string(info.first));
    EXPECT_EQ(std::ranges::count(ids, info.first), 0);
    ids.push_back(info.first);
  }
  EXPECT_EQ(&DefaultGeometry().GetFormatInfo(), &DefaultFormat::GetRegisteredFormatInfo());
  EXPECT_EQ(&DefaultGeography().GetFormatInfo(), &DefaultFormat::GetRegisteredFormatInfo());
  EXPECT_EQ(&Unknown().GetFormatInfo(), &Unknown::GetRegisteredFormatInfo());
  EXPECT_EQ(&Identifying(7).GetFormatInfo(), &Identifying::GetRegisteredFormatInfo());
}

// ---- Owning pointer and memory ---------------------------------------------

// Logs the size and alignment of every request on top of a counting resource.
struct LoggingResource final : MemoryResource {
  using Entry = std::tuple<char, std::size_t, std::size_t>;
  void* Allocate(std::size_t bytes, std::size_t alignment) override {
    return log.emplace_back('+', bytes, alignment), counting.Allocate(bytes, alignment);
  }
  void Deallocate(void* p, std::size_t bytes, std::size_t alignment) override {
    log.emplace_back('-', bytes, alignment), counting.Deallocate(p, bytes, alignment);
  }
  bool IsEqual(MemoryResource const& other) const override { return this == &other; }
  CountingMemoryResource counting;
  std::vector<Entry> log;
};

TEST(SpatialPtr, ObjectsComeFromTheCurrentResourceAndGoBackWhereTheyCameFrom) {
  using Entry = LoggingResource::Entry;
  std::size_t const size = sizeof(DefaultGeometry);
  LoggingResource r1;
  CountingMemoryResource r2;
  SpatialPtr p;
  {
    ScopedMemoryResource scope(&r1);
    p = MakeSpatial<DefaultGeometry>();
  }
  EXPECT_EQ(p.get_deleter().GetResource(), &r1);
  EXPECT_EQ(p.get_deleter().GetBytes(), size);
  {
    ScopedMemoryResource scope(&r2);
    SpatialPtr const empty;
    EXPECT_EQ(empty.get_deleter().GetResource(), &r2);
    EXPECT_EQ(empty.get_deleter().GetBytes(), 0u);
    p.reset();
  }
  EXPECT_EQ(r1.log, (std::vector<Entry>{{'+', size, 8}, {'-', size, 8}}));
  EXPECT_TRUE(r1.counting.Balanced());
  EXPECT_EQ(r2.Allocations(), 0u);

  // A constructor that throws gives the storage back.
  auto const [points, lines, polys] = FromSketch<Geography>({{}, {kLine}, {{kOpenRing}}}).Inputs();
  r1.log.clear();
  {
    ScopedMemoryResource scope(&r1);
    EXPECT_THROW(MakeSpatial<DefaultGeography>(points, lines, polys), std::invalid_argument);
  }
  ASSERT_FALSE(r1.log.empty());
  EXPECT_EQ(r1.log.front(), Entry('+', sizeof(DefaultGeography), 8));
  EXPECT_EQ(r1.counting.LiveBytes(), 0u);
  EXPECT_TRUE(r1.counting.Balanced());
}

TYPED_TEST(SpatialFamily, NullResourceBuildsEmptyValuesOnly) {
  using G = TypeParam;
  using D = typename Family<G>::Value;
  auto const none = Model<G>().Inputs();
  auto const point = FromSketch<G>({{{1, 2}}, {}, {}}).Inputs();
  auto const line = FromSketch<G>({{}, {kLine}, {}}).Inputs();
  auto const poly = FromSketch<G>({{}, {}, {{kRing}}}).Inputs();
  ScopedMemoryResource scope(NullMemoryResource());
  D const empty;
  D const from_empty(std::get<0>(none), std::get<1>(none), std::get<2>(none));
  EXPECT_EQ(from_empty.GetShapeType(), ShapeType::Empty);
  EXPECT_EQ(from_empty, empty);
  for (auto const* in : {&point, &line, &poly}) {
    EXPECT_THROW(D(std::get<0>(*in), std::get<1>(*in), std::get<2>(*in)), std::bad_alloc);
  }
  EXPECT_THROW(MakeSpatial<D>(), std::bad_alloc);
}

// ---- Default format: construction ------------------------------------------

TYPED_TEST(SpatialFamily, ValidationReportsTheFirstOffenderByIndex) {
  using G = TypeParam;
  struct Case {
    char const* message;  // empty: accepted
    Sketch sketch;
  };
  std::vector<Case> const cases{
      {"line 0 has less than 2 coordinates", {{}, {{{0, 0}}}, {}}},
      {"line 0 has less than 2 coordinates", {{}, {{}}, {}}},
      {"line 1 has less than 2 coordinates", {{}, {kLine, {{0, 0}}, kLine}, {}}},
      {"poly 0 is empty", {{}, {}, {{}}}},
      {"poly 2 is empty", {{}, {}, {{kRing}, {kRing, kRing}, {}}}},
      {"ring 0 of poly 0 has less than 4 coordinates", {{}, {}, {{kTriangle}}}},
      {"ring 1 of poly 0 has less than 4 coordinates", {{}, {}, {{kRing, kTriangle}}}},
      {"ring 0 of poly 0 has less than 4 coordinates", {{}, {}, {{{{0, 0}, {1, 0}, {1, 1}}}}}},
      {"ring 0 of poly 0 is not closed", {{}, {}, {{kOpenRing}}}},
      {"ring 0 of poly 3 is not closed", {{}, {}, {{kRing}, {kRing}, {kRing}, {kOpenRing}}}},
      {"ring 2 of poly 1 is not closed", {{}, {}, {{kRing}, {kRing, kRing, kOpenRing}}}},
      {"ring 0 of poly 0 is not closed",  // NaN is unequal to itself
       {{}, {}, {{{{kNaN, kNaN}, {1, 0}, {1, 1}, {kNaN, kNaN}}}}}},
      {"line 0 has less than 2 coordinates", {{}, {{}}, {{}}}},  // lines before polys
      {"", {{{kNaN, kNaN}}, {}, {}}},                            // points are not checked
      {"", kRich},
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(c.message);
    Model<G> const m = FromSketch<G>(c.sketch);
    std::string const got = MessageOf<std::invalid_argument>([&] {
      auto const v = m.Default();
      EXPECT_EQ(std::get<0>(Read(v)).size(), m.points.size());
      EXPECT_EQ(std::get<1>(Read(v)).size(), m.lines.size());
      EXPECT_EQ(std::get<2>(Read(v)).size(), m.polys.size());
    });
    EXPECT_EQ(got, *c.message ? c.message : "<no exception>");
  }
}

TYPED_TEST(SpatialFamily, ShapeTypeIsInferredFromTheCountsOrStoredAsGiven) {
  using G = TypeParam;
  using S = ShapeType;
  struct Case {
    int points, lines, polys;
    ShapeType expected;
  };
  for (Case const& c :
       {Case{0, 0, 0, S::Empty}, Case{1, 0, 0, S::Point}, Case{2, 0, 0, S::MultiPoint},
        Case{0, 1, 0, S::LineString}, Case{0, 2, 0, S::MultiLineString}, Case{0, 0, 1, S::Polygon},
        Case{0, 0, 3, S::MultiPolygon}, Case{1, 1, 0, S::Mixed}, Case{1, 0, 1, S::Mixed},
        Case{0, 1, 1, S::Mixed}, Case{2, 2, 2, S::Mixed}}) {
    SCOPED_TRACE(to_string(c.expected));
    Sketch s;
    s.points.assign(c.points, XY{1, 2});
    s.lines.assign(c.lines, kLine);
    s.polys.assign(c.polys, {kRing});
    Model<G> m = FromSketch<G>(s, Family<G>::Some());
    auto const [points, lines, polys] = m.Inputs();
    typename Family<G>::Value const plain(points, lines, polys);
    EXPECT_EQ(plain.GetShapeType(), c.expected);
    EXPECT_EQ(Family<G>::Fields(plain.GetAttributes()), Family<G>::Fields({}));
    EXPECT_EQ(m.Default().GetShapeType(), c.expected);
    EXPECT_EQ(Family<G>::Fields(m.Default().GetAttributes()), Family<G>::Fields(m.attributes));
    // A given type is stored unchecked, and hashed.
    m.state_type = true, m.type = c.expected == S::Point ? S::MultiPoint : S::Point;
    EXPECT_EQ(m.Default().GetShapeType(), m.type);
    EXPECT_EQ(Family<G>::Fields(m.Default().GetAttributes()), Family<G>::Fields(m.attributes));
    typename Family<G>::Value const given(m.type, points, lines, polys);
    EXPECT_EQ(given.GetShapeType(), m.type);
    EXPECT_NE(given, plain);
  }
}

TYPED_TEST(SpatialFamily, PackedVectorsAreTakenUncheckedWithTheirAllocators) {
  using G = TypeParam;
  using D = DefaultSpatial<G>;
  // A 2-coordinate ring, under a stated shape type that does not fit.
  Model<G> const m = FromSketch<G>({{{1, 2}}, {kLine}, {{{{0, 0}, {3, 3}}}}}, Family<G>::Some());
  auto pack = [&](auto const& c) { return Family<G>::Pack(c, m.attributes); };
  CountingMemoryResource r1, r2;
  std::optional<typename Family<G>::Value> v;
  {
    ScopedMemoryResource scope(&r1);
    typename D::PackedPoints points{pack(m.points[0])};
    typename D::PackedLines lines{{pack(m.lines[0][0]), pack(m.lines[0][1])}};
    typename D::PackedPolys polys{{{pack(m.polys[0][0][0]), pack(m.polys[0][0][1])}}};
    ScopedMemoryResource other(&r2);
    v.emplace(ShapeType::MultiPolygon, std::move(points), std::move(lines), std::move(polys),
              m.attributes);
    EXPECT_TRUE(points.empty() && lines.empty() &&
                polys.empty());  // NOLINT(bugprone-use-after-move)
  }
  EXPECT_EQ(r2.Allocations(), 0u);
  EXPECT_EQ(v->GetShapeType(), ShapeType::MultiPolygon);
  EXPECT_EQ(Family<G>::Fields(v->GetAttributes()), Family<G>::Fields(m.attributes));
  EXPECT_EQ(Read(*v), m.Expected());
  v.reset();
  EXPECT_TRUE(r1.Balanced());
}

TEST(DefaultFormat, PlanarValuesStoreFloatOffsetsFromTheirBias) {
  using Bias = GeometryCoordinate::Bias;
  Geometry::Attributes const a(Bias(1000, 2000), SRID::None(), SRID::None());
  DefaultGeometry const v(DefaultGeometry::Points{GeometryCoordinate(1000.1, 2000.2, a.bias)}, {},
                          {}, a);
  EXPECT_EQ(v.GetBias(), a.bias);
  // Float precision on the offset, not on the whole number.
  EXPECT_EQ(v.GetPoints()[0].GetX(), 1000.0 + static_cast<double>(0.1f));
  EXPECT_EQ(v.GetPoints()[0].GetY(), 2000.0 + static_cast<double>(0.2f));
  EXPECT_NE(v.GetPoints()[0].GetX(), static_cast<double>(static_cast<float>(1000.1)));
  // The stored offsets are exactly those floats: given packed, they hash alike.
  auto packed = [](double x, double y, Bias b) {
    return DefaultGeometry(ShapeType::Point,
                           DefaultGeometry::PackedPoints{GeometryCoordinate::Packed(x, y, {})}, {},
                           {}, Geometry::Attributes(b, SRID::None(), SRID::None()));
  };
  EXPECT_EQ(packed(0.1f, 0.2f, a.bias), v);
  EXPECT_EQ(packed(0.5, -0.25, a.bias).GetPoints()[0], GeometryCoordinate(1000.5, 1999.75));
  // Zero offsets and zero biases hash alike whatever their sign.
  EXPECT_EQ(packed(-0.0, 1, {}), packed(0.0, 1, {}));
  EXPECT_EQ(packed(0.0, 1, {-0.0, -0.0}), packed(0.0, 1, {}));
  EXPECT_NE(packed(0.0, 1, {}), packed(1, 0.0, {}));
}

// ---- Default format: copy, move, swap ---------------------------------------

TYPED_TEST(SpatialFamily, CopyMoveAndSwapCarryContentAttributesAndCaches) {
  using G = TypeParam;
  using V = typename Family<G>::Value;
  Model<G> const rich = FromSketch<G>(kRich, Family<G>::Some()), other = FromSketch<G>(kOther);
  V const twin = rich.Default(), other_twin = other.Default();
  // Part hashes, through the public interface where the family has one.
  auto parts = [](V const& v) {
    if constexpr (std::is_same_v<G, Geography>) {
      return std::vector<u64>{v.HashForLine(0), v.HashForPoly(0)};
    } else {
      return std::vector<u64>{v.GetHash()};
    }
  };
  auto same = [&](V const& v, V const& expected) {
    EXPECT_EQ(Observe(v), Observe(expected));
    EXPECT_EQ(Family<G>::Fields(v.GetAttributes()), Family<G>::Fields(expected.GetAttributes()));
    EXPECT_EQ(parts(v), parts(expected));
  };
  auto moved_from = [&](V const& v) {  // Empty, default attributes, hash recomputed
    EXPECT_EQ(Observe(v), Observe(V()));
    EXPECT_EQ(Family<G>::Fields(v.GetAttributes()), Family<G>::Fields({}));
  };
  CountingMemoryResource r1, r2, r3;
  std::optional<ScopedMemoryResource> scope(std::in_place, &r1);
  std::optional<V> a(rich.Default()), b(other.Default());

  scope.emplace(&r2);
  parts(*a), parts(*b);  // the caches fill on the values' own resource
  EXPECT_EQ(r2.Allocations(), 0u);
  std::size_t const r1_allocations = r1.Allocations();
  {
    V const copy(*a);  // entirely on the resource current now
    EXPECT_EQ(r1.Allocations(), r1_allocations);
    same(copy, twin);
  }
  EXPECT_TRUE(r2.Balanced());
  *b = *a;
  same(*b, twin);
  b.emplace(other.Default());  // on r2
  parts(*b);

  scope.emplace(&r3);
  a->swap(*b);
  same(*a, other_twin);
  same(*b, twin);
  a->swap(*b);
  {
    V moved(std::move(*a));
    EXPECT_EQ(r3.Allocations(), 0u);
    same(moved, twin);
    moved_from(*a);
    *a = std::move(*b);  // between values on different resources
    same(*a, other_twin);
    moved_from(*b);
    *b = std::move(moved);
    same(*b, twin);
  }
  a.reset(), b.reset();
  scope.reset();
  EXPECT_TRUE(r1.Balanced());
  EXPECT_TRUE(r2.Balanced());
  EXPECT_TRUE(r3.Balanced());
}

// ---- Shape ranges and owners ------------------------------------------------

TYPED_TEST(SpatialFamily, RangesWalkTheContentAndViewsKeepOwnersAlive) {
  using G = TypeParam;
  using C = typename G::Coordinate;
  std::mt19937_64 rng(5);
  Model<G> const m = MakeModel<G>(rng, ShapeType::Mixed, 3, 2, 2, 2);
  auto const value = m.Default();
  auto const points = value.GetPoints();
  ASSERT_EQ(points.size(), 3u);
  auto const b = points.begin(), e = points.end();
  EXPECT_EQ(e - b, 3);
  EXPECT_TRUE(*(b + 2) == m.points[2] && *(2 + b) == m.points[2] && *(e - 1) == m.points[2]);
  EXPECT_TRUE(b[1] == m.points[1] && points[0] == m.points[0]);
  auto it = b;
  EXPECT_EQ(*it++, m.points[0]);
  EXPECT_EQ(*++it, m.points[2]);
  EXPECT_EQ(*--it, m.points[1]);
  EXPECT_EQ(*it--, m.points[1]);
  EXPECT_TRUE(it == b && (it += 3) == e && (it -= 2) == b + 1 && b < it && it < e);
  EXPECT_EQ(std::ranges::distance(points), 3);
  EXPECT_EQ(std::ranges::find(points, m.points[1]) - b, 1);
  EXPECT_TRUE(std::equal(std::make_reverse_iterator(e), std::make_reverse_iterator(b),
                         m.points.rbegin(), m.points.rend()));
  auto const lines = value.GetLines();
  EXPECT_EQ(lines[1].GetIndex(), 1u);
  EXPECT_EQ(lines[1].size(), m.lines[1].size());
  EXPECT_TRUE(std::ranges::equal(lines[1], m.lines[1]));
  EXPECT_EQ(std::ranges::count_if(lines, [](auto const& line) { return line.size() >= 2; }), 2);
  auto const ring = value.GetPolys()[1][1];
  EXPECT_EQ(value.GetPolys()[1].GetIndex(), 1u);
  EXPECT_TRUE(ring.GetPolyIndex() == 1 && ring.GetIndex() == 1);
  EXPECT_TRUE(std::ranges::equal(ring, m.polys[1][1]));
  typename Family<G>::Value const none;
  EXPECT_TRUE(none.GetPoints().empty() && none.GetLines().empty() && none.GetPolys().size() == 0);

  // Without owners the shape serves the coordinates. With owners it is not
  // asked, and a view keeps its owner alive beyond the value.
  VecFormat<G> const plain(m, kPlain);
  EXPECT_EQ(Read(plain), m.Expected());
  EXPECT_GT(plain.shape_reads, 0);
  std::optional<detail::ShapeLine<C>> line_view;
  std::optional<detail::ShapeRing<C>> ring_view;
  std::weak_ptr<typename VecFormat<G>::Owner const> line_owner, ring_owner;
  {
    auto const owning = std::make_unique<VecFormat<G>>(m, kOwners);
    EXPECT_EQ(Read(*owning), m.Expected());
    line_view.emplace(owning->GetLines()[1]);
    line_owner = owning->last_owner;
    ring_view.emplace(owning->GetPolys()[1][1]);
    ring_owner = owning->last_owner;
    EXPECT_EQ(owning->shape_reads, 0);
  }
  ASSERT_FALSE(line_owner.expired() || ring_owner.expired());
  EXPECT_TRUE(std::ranges::equal(*line_view, m.lines[1]));
  EXPECT_TRUE(std::ranges::equal(*ring_view, m.polys[1][1]));
  line_view.reset(), ring_view.reset();
  EXPECT_TRUE(line_owner.expired() && ring_owner.expired());
}

// ---- Hashing ----------------------------------------------------------------

template <class G, class V>
void ExpectPartHashes(Model<G> const& m, V const& v) {
  ASSERT_EQ(v.HashForAttributes(), m.A());
  for (unsigned int i = 0; i < m.points.size(); ++i) {
    ASSERT_EQ(v.HashForPoint(i), m.PointHash(m.points[i]));
  }
  for (unsigned int l = 0; l < m.lines.size(); ++l) {
    ASSERT_EQ(v.HashForLine(l), m.LineHash(m.lines[l]));
  }
  for (unsigned int p = 0; p < m.polys.size(); ++p) {
    ASSERT_EQ(v.HashForPoly(p), m.PolyHash(m.polys[p]));
    for (unsigned int r = 0; r < m.polys[p].size(); ++r) {
      ASSERT_EQ(v.HashForRingOfPoly(p, r), m.LineHash(m.polys[p][r]));
    }
  }
}

TYPED_TEST(SpatialFamily, HashesMatchTheIndependentRecomputationInEveryFormat) {
  using G = TypeParam;
  char const* const names[] = {"Empty",      "Point",           "LineString",   "Polygon",
                               "MultiPoint", "MultiLineString", "MultiPolygon", "Mixed"};
  std::mt19937_64 rng(0x5EED);
  for (int i = 0; i < 1600; ++i) {
    SCOPED_TRACE(i);
    Model<G> m = RandomModelOfType<G>(rng, i % 8);
    u64 const expected = m.Hash();
    auto const value = m.Default();
    ASSERT_EQ(value.GetShapeType(), m.type);
    ASSERT_EQ(value.GetHash(), expected);
    ASSERT_EQ(to_string(value),
              std::string(names[i % 8]) + Family<G>::kName + ":" + std::to_string(expected));
    ASSERT_EQ(Read(value), m.Expected());
    if constexpr (std::is_same_v<G, Geography>) ExpectPartHashes(m, value);
    for (int options : {kPlain, kCached, kOwners}) {
      VecFormat<G> const vec(m, options);
      ASSERT_EQ(vec.GetHash(), expected) << options;
      ASSERT_TRUE(vec == value);
      ASSERT_EQ(Read(vec), m.Expected());
      ExpectPartHashes(m, vec);
    }
    std::ranges::shuffle(m.points, rng);
    std::ranges::shuffle(m.lines, rng);
    std::ranges::shuffle(m.polys, rng);
    ASSERT_EQ(m.Default().GetHash(), expected);
  }
}

TYPED_TEST(SpatialFamily, HashIdentityFollowsContentAndAttributesNotMemberOrder) {
  using G = TypeParam;
  using M = Model<G>;
  std::mt19937_64 rng(7);
  M base = MakeModel<G>(rng, ShapeType::Mixed, 3, 2, 2, 2);
  base.attributes = Family<G>::Some();
  auto const base_value = base.Default();
  struct Mutation {
    char const* name;
    std::function<void(M&)> apply;
    bool same;
  };
  std::vector<Mutation> mutations{
      {"points rotated",
       [](M& m) { std::rotate(m.points.begin(), m.points.begin() + 1, m.points.end()); }, true},
      {"lines swapped", [](M& m) { std::swap(m.lines[0], m.lines[1]); }, true},
      {"polys swapped", [](M& m) { std::swap(m.polys[0], m.polys[1]); }, true},
      {"inferred type stated", [](M& m) { m.state_type = true; }, true},
      {"line reversed", [](M& m) { std::reverse(m.lines[0].begin(), m.lines[0].end()); }, false},
      {"ring reversed", [](M& m) { std::reverse(m.polys[1][0].begin(), m.polys[1][0].end()); },
       false},
      {"rings swapped", [](M& m) { std::swap(m.polys[0][0], m.polys[0][1]); }, false},
      {"ring moved to the other poly",
       [](M& m) { m.polys[1].push_back(m.polys[0].back()), m.polys[0].pop_back(); }, false},
      {"point duplicated", [](M& m) { m.points.push_back(m.points[0]); }, false},
      {"line dropped", [](M& m) { m.lines.pop_back(); }, false},
      {"other type stated", [](M& m) { m.state_type = true, m.type = ShapeType::MultiPoint; },
       false},
      // Some() holds EPSG:2029 and EPSG:4258.
      {"original authority",
       [](M& m) {
         m.attributes.original_srid = {SRID::Authority::ESRI, 2029};
       },
       false},
      {"converted identifier",
       [](M& m) {
         m.attributes.converted_srid = {SRID::Authority::EPSG, 4259};
       },
       false},
  };
  if constexpr (std::is_same_v<G, Geometry>) {
    mutations.push_back({"bias", [](M& m) { m.attributes.bias = {1000, 2000.5}; }, false});
  } else {
    mutations.push_back({"topological type",
                         [](M& m) { m.attributes.topological_type = TopologicalType::Spheroidal; },
                         false});
    mutations.push_back({"winding order",
                         [](M& m) { m.attributes.winding_order = WindingOrder::Ambiguous; }, true});
  }
  ASSERT_NE(std::vector(base.lines[0].rbegin(), base.lines[0].rend()), base.lines[0]);
  for (Mutation const& mutation : mutations) {
    SCOPED_TRACE(mutation.name);
    M m = base;
    mutation.apply(m);
    auto const value = m.Default();
    EXPECT_EQ(value.GetHash(), m.Hash());
    EXPECT_EQ(value == base_value, mutation.same);
    EXPECT_EQ(value != base_value, !mutation.same);
  }
}

TYPED_TEST(SpatialFamily, LinePolyAndRingHashesAreCachedButPointHashesAreNot) {
  using G = TypeParam;
  std::mt19937_64 rng(11);
  Model<G> const m = MakeModel<G>(rng, ShapeType::Mixed, 2, 3, 2, 2);
  int const rings1 = static_cast<int>(m.polys[1].size());
  VecFormat<G> const cached(m, kCached), plain(m, kPlain);
  for (int round = 1; round <= 2; ++round) {
    for (VecFormat<G> const* v : {&cached, &plain}) {
      EXPECT_EQ(v->HashForPoint(1), m.PointHash(m.points[1]));
      EXPECT_EQ(v->HashForLine(2), m.LineHash(m.lines[2]));
      EXPECT_EQ(v->HashForPoly(1), m.PolyHash(m.polys[1]));
    }
    EXPECT_EQ(std::tuple(cached.point_calls.load(), cached.line_calls.load(),
                         cached.poly_calls.load(), cached.ring_calls.load()),
              std::tuple(round, 1, 1, rings1));
    EXPECT_EQ(std::tuple(plain.point_calls.load(), plain.line_calls.load(), plain.poly_calls.load(),
                         plain.ring_calls.load()),
              std::tuple(round, round, round, round * rings1));
  }
  EXPECT_EQ(cached.GetHash(), m.Hash());
  EXPECT_EQ(cached.GetHash(), m.Hash());
  EXPECT_EQ(plain.GetHash(), m.Hash());
  // The whole hash computed only the parts not asked for before, and the
  // attribute hash once; without a cache every part function, and the whole
  // hash, compute the attribute hash again.
  EXPECT_EQ(
      std::tuple(cached.point_calls.load(), cached.line_calls.load(), cached.poly_calls.load(),
                 cached.ring_calls.load(), cached.attribute_calls.load()),
      std::tuple(4, 3, 2, rings1 + static_cast<int>(m.polys[0].size()), 1));
  EXPECT_EQ(plain.attribute_calls,
            1 + plain.point_calls + plain.line_calls + plain.poly_calls + plain.ring_calls);

  // An attribute hash that finishes as 0 is not cached.
  ShapeHashes hashes;
  int calls = 0;
  std::function<u64()> zero = [&] { return ++calls, u64{0}; };
  std::function<u64()> seven = [&] { return ++calls, u64{7}; };
  for (auto const* fn : {&zero, &zero, &seven, &seven, &zero}) {
    hashes.GetOrDoHashForAttributes(*fn);
  }
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(hashes.GetOrDoHashForAttributes(zero), 7u);
}

TYPED_TEST(SpatialFamily, ConcurrentHashingOfAFreshValueAgreesWithTheReference) {
  using G = TypeParam;
  std::mt19937_64 rng(3);
  Model<G> const m = MakeModel<G>(rng, ShapeType::Mixed, 4, 6, 4, 2);
  std::vector<u64> expected{m.Hash()};
  for (auto const& line : m.lines) expected.push_back(m.LineHash(line));
  for (auto const& poly : m.polys) expected.push_back(m.PolyHash(poly));
  // Half of the threads ask for the parts before the whole, half after.
  auto hashes = [&](auto const& v, bool whole_first) {
    std::vector<u64> out(expected.size());
    if (whole_first) out[0] = v.GetHash();
    for (unsigned int l = 0; l < m.lines.size(); ++l) out[1 + l] = v.HashForLine(l);
    for (unsigned int p = 0; p < m.polys.size(); ++p)
      out[1 + m.lines.size() + p] = v.HashForPoly(p);
    if (!whole_first) out[0] = v.GetHash();
    return out;
  };
  constexpr int kThreads = 8;
  for (int round = 0; round < 6; ++round) {
    auto const value = m.Default();
    VecFormat<G> const cached(m, kCached);
    std::vector<std::vector<u64>> seen(2 * kThreads);
    std::latch start(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        start.arrive_and_wait();
        if constexpr (std::is_same_v<G, Geography>) {
          seen[2 * t] = hashes(value, t % 2 == 0);
        } else {  // the part hashes of a planar default value are not public
          seen[2 * t] = expected, seen[2 * t][0] = value.GetHash();
        }
        seen[2 * t + 1] = hashes(cached, t % 2 == 1);
      });
    }
    for (std::thread& thread : threads) thread.join();
    for (auto const& s : seen) EXPECT_EQ(s, expected);
  }
}

}  // namespace
}  // namespace ostrel
