// The spatial object model, checked against the hash rules rebuilt here from their definitions
// (Ref, Model) over random values in the default format and in VecFormat, a test-only format.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <functional>
#include <latch>
#include <memory>
#include <numbers>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <type_traits>
#include <vector>

#include "ostrel/ostrel.hpp"
#include "support/counting_resource.hpp"

namespace ostrel {
namespace {

using test_support::CountingMemoryResource;
using test_support::ScopedMemoryResource;
using u64 = unsigned long long;
using U = unsigned int;
using Rng = std::mt19937_64;
template <class G>
constexpr bool kPlanar = std::is_same_v<G, Geometry>;

constexpr u64 kSeed = 0x4123EF1D38D7B16C, kM1 = 0x2127599BF4325C37, kM2 = 0x880355F21E6D1965;

u64 Mix(u64 v) {
  u64 const t = (v ^ (v >> 23)) * kM1;
  return t ^ (t >> 47);
}

struct Ref {
  u64 state = kSeed;
  Ref& Raw(u64 v) { return state = (state ^ Mix(v)) * kM2, *this; }
  Ref& Unordered(u64 v) { return state += Mix((Mix(v) ^ kSeed) * kM2), *this; }
  Ref& Double(double d) { return Raw(d == 0 ? 0 : std::bit_cast<u64>(d)); }
  Ref& Srid(SRID s) { return Raw(static_cast<u64>(s.GetAuthority())).Raw(s.GetID()); }
  u64 End() const { return Mix(state); }
};
u64 Bits(float f) { return f == 0 ? 0 : std::bit_cast<std::uint32_t>(f); }

int Between(Rng& rng, int lo, int hi) { return std::uniform_int_distribution(lo, hi)(rng); }
// Uniform in [-1, 1]; one time in eight exactly -1, 0 or 1.
double Pick(Rng& rng) {
  return rng() % 8 == 0 ? double(rng() % 3) - 1 : std::uniform_real_distribution(-1.0, 1.0)(rng);
}
SRID RandomSRID(Rng& rng) { return SRID{SRID::Authority(rng() % 7), U(rng() >> 40)}; }

// Content and attributes of a value, and the hashes they must give.
template <class G>
struct Model {
  using C = typename G::Coordinate;
  using D = DefaultSpatial<G>;
  using Value = std::conditional_t<kPlanar<G>, DefaultGeometry, DefaultGeography>;

  ShapeType type = ShapeType::Empty;
  bool stated = false;  // build with `type` given instead of inferred
  typename G::Attributes attributes;
  typename D::Points points;
  typename D::Lines lines;
  typename D::Polys polys;

  // u, v in [-1, 1]: planar, up to 500 from the bias (snapped to it); geographic, pole to pole.
  C At(std::array<double, 2> uv) const {
    using std::numbers::pi;
    auto const& [u, v] = uv;
    if constexpr (kPlanar<G>)
      return {attributes.bias.GetX() + 500 * u, attributes.bias.GetY() + 500 * v, attributes.bias};
    if constexpr (!kPlanar<G>) return {Latitude(u * pi / 2), Longitude(v * pi)};
  }
  typename C::Packed Pack(C c) const {
    if constexpr (kPlanar<G>) return {c.GetX(), c.GetY(), attributes.bias};
    if constexpr (!kPlanar<G>) return {c.GetLatitude(), c.GetLongitude()};
  }
  u64 Word(C c) const {  // planar: the two float offsets from the bias
    if constexpr (kPlanar<G>) return Bits(Pack(c).GetY()) << 32 | Bits(Pack(c).GetX());
    if constexpr (!kPlanar<G>) return Pack(c).GetEncoded();
  }
  u64 Word(typename D::Points const& ring) const { return Part(ring); }
  u64 A() const {  // the winding order is not part of it
    Ref r;
    if constexpr (kPlanar<G>) r.Double(attributes.bias.GetX()).Double(attributes.bias.GetY());
    r.Srid(attributes.original_srid).Srid(attributes.converted_srid);
    if constexpr (!kPlanar<G>) r.Raw(static_cast<u64>(attributes.topological_type));
    return r.End();
  }
  u64 PointHash(C c) const { return Ref().Raw(A()).Raw(Word(c)).End(); }
  // A line or ring (items: coordinates) or a poly (items: rings): A, the count, each item in order.
  u64 Part(auto const& items) const {
    Ref r = Ref().Raw(A()).Raw(items.size());
    for (auto const& item : items) r.Raw(Word(item));
    return r.End();
  }
  u64 Hash() const {
    Ref r = Ref().Raw(kPlanar<G> ? 2 : 3).Raw(static_cast<u64>(type)).Raw(A()).Raw(points.size());
    for (C c : points) r.Unordered(PointHash(c));
    r.Raw(lines.size());
    for (auto const& line : lines) r.Unordered(Part(line));
    r.Raw(polys.size());
    for (auto const& poly : polys) r.Unordered(Part(poly));
    return r.End();
  }
  auto Observed() const { return std::tuple(Hash(), type, std::tuple(points, lines, polys)); }
  Value Default() const {
    return stated ? Value(type, points, lines, polys, attributes)
                  : Value(points, lines, polys, attributes);
  }
};

// Random attributes; lines of 2 to 5 coordinates; polys of min_rings to 3 closed rings of 4 to 6.
template <class G>
Model<G> MakeModel(Rng& rng, ShapeType type, int points, int lines, int polys, int min_rings = 1) {
  Model<G> m;
  auto& a = m.attributes;
  m.type = type, a.original_srid = RandomSRID(rng), a.converted_srid = RandomSRID(rng);
  if constexpr (kPlanar<G>) a.bias = {1e6 * Pick(rng), 1e5 * Pick(rng)};
  if constexpr (!kPlanar<G>)
    a.topological_type = TopologicalType(rng() % 2), a.winding_order = WindingOrder(rng() % 3);
  auto run = [&](int n, bool closed = false) {
    typename DefaultSpatial<G>::Points out;
    for (; n > 0; --n) out.push_back(m.At({Pick(rng), Pick(rng)}));
    if (closed) out.push_back(out.front());
    return out;
  };
  m.points = run(points);
  for (int i = 0; i < lines; ++i) m.lines.push_back(run(Between(rng, 2, 5)));
  for (int i = 0; i < polys; ++i) {
    auto& poly = m.polys.emplace_back();
    for (int r = Between(rng, min_rings, 3); r > 0; --r)
      poly.push_back(run(Between(rng, 3, 5), true));
  }
  return m;
}

// Shape-type inference: the counts of points, lines and polys that make each type, in ShapeType
// order (2 stands for 2 to 4). Mixed (7) takes two or three non-empty collections, in any order.
constexpr int kCountsOfType[7][3] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1},
                                     {2, 0, 0}, {0, 2, 0}, {0, 0, 2}};
template <class G>
Model<G> RandomModel(Rng& rng, int type) {
  int n[3] = {Between(rng, 0, 2), Between(rng, 1, 2), Between(rng, 1, 2)};
  std::ranges::shuffle(n, rng);
  for (int i = 0; type < 7 && i < 3; ++i)
    n[i] = kCountsOfType[type][i] < 2 ? kCountsOfType[type][i] : Between(rng, 2, 4);
  return MakeModel<G>(rng, ShapeType(type), n[0], n[1], n[2]);
}

// Everything a caller observes of a value, as Model::Observed predicts it.
template <class V>
auto Observe(V const& v) {
  using Points = ResourceVector<typename V::Coordinate>;
  std::tuple<Points, ResourceVector<Points>, ResourceVector<ResourceVector<Points>>> content;
  auto& [points, lines, polys] = content;
  for (auto c : v.GetPoints()) points.push_back(c);
  for (auto line : v.GetLines()) lines.emplace_back(line.begin(), line.end());
  for (auto poly : v.GetPolys()) {
    auto& rings = polys.emplace_back();
    for (auto ring : poly) rings.emplace_back(ring.begin(), ring.end());
  }
  return std::tuple(v.GetHash(), v.GetShapeType(), content);
}

// A test-only format packing the model's coordinates on every read, with no cache and no packed
// runs: views ask the value itself or, with `owners`, a fresh owner (a copy) per line or ring.
// No `override`: GetBias and the topological and winding getters override in one family only.
template <class G>
struct VecFormat final : G {
  using C = typename G::Coordinate;
  using P = typename C::Packed;
  using Fn = std::function<u64(U)>;
  VecFormat(Model<G> model, bool owners) : m(std::move(model)), owners(owners) {}
  Model<G> m;
  bool owners;
  mutable std::weak_ptr<VecFormat const> last_owner;

  using G::HashForAttributes, G::HashForPoint, G::HashForLine, G::HashForPoly, G::HashForRingOfPoly;
  ShapeType GetShapeType() const { return m.type; }
  GeometryCoordinate::Bias GetBias() const { return m.attributes.bias; }
  TopologicalType GetTopologicalType() const { return m.attributes.topological_type; }
  WindingOrder GetWindingOrder() const { return m.attributes.winding_order; }
  static inline FormatInfo const info = FormatInfos::Make("VecFormat");
  FormatInfo const& GetFormatInfo() const { return info; }
  SRID GetOriginalSRID() const { return m.attributes.original_srid; }
  SRID GetConvertedSRID() const { return m.attributes.converted_srid; }
  P PackedCoordinateForPoint(U i) const { return m.Pack(m.points[i]); }
  P PackedCoordinateInLine(U l, U i) const { return m.Pack(m.lines[l][i]); }
  P PackedCoordinateInRingOfPoly(U p, U r, U i) const { return m.Pack(m.polys[p][r][i]); }
  U NumberOfPoints() const { return U(m.points.size()); }
  U NumberOfLines() const { return U(m.lines.size()); }
  U NumberOfPolys() const { return U(m.polys.size()); }
  U SizeOfLine(U l) const { return U(m.lines[l].size()); }
  U SizeOfPoly(U p) const { return U(m.polys[p].size()); }
  U SizeOfRingInPoly(U p, U r) const { return U(m.polys[p][r].size()); }
  std::shared_ptr<VecFormat const> Owner() const {
    if (!owners) return nullptr;
    auto owner = std::make_shared<VecFormat const>(m, false);
    return last_owner = owner, owner;
  }
  std::shared_ptr<ShapeLineOwner<C> const> GetLineOwner(U) const { return Owner(); }
  std::shared_ptr<ShapeRingOwner<C> const> GetRingOwner(U, U) const { return Owner(); }
  u64 GetOrDoHashForAttributes(std::function<u64()> fn) const { return fn(); }
  u64 GetOrDoHashForPoint(Fn fn, U i) const { return fn(i); }
  u64 GetOrDoHashForLine(Fn fn, U l) const { return fn(l); }
  u64 GetOrDoHashForPoly(Fn fn, U p) const { return fn(p); }
  u64 GetOrDoHashForRingOfPoly(std::function<u64(U, U)> fn, U p, U r) const { return fn(p, r); }
};

// What fn returns, or the message of the E it throws.
template <class E>
std::string Outcome(auto&& fn) {
  try {
    return fn();
  } catch (E const& e) {
    return e.what();
  }
}

template <class G>
class SpatialFamily : public ::testing::Test {};
using Families = ::testing::Types<Geometry, Geography>;
TYPED_TEST_SUITE(SpatialFamily, Families);

template <class G, class V>
void ExpectPartHashes(Model<G> const& m, V const& v) {
  for (U i = 0; i < m.points.size(); ++i) EXPECT_EQ(v.HashForPoint(i), m.PointHash(m.points[i]));
  for (U l = 0; l < m.lines.size(); ++l) EXPECT_EQ(v.HashForLine(l), m.Part(m.lines[l]));
  for (U p = 0; p < m.polys.size(); ++p) {
    EXPECT_EQ(v.HashForPoly(p), m.Part(m.polys[p]));
    for (U r = 0; r < m.polys[p].size(); ++r)
      EXPECT_EQ(v.HashForRingOfPoly(p, r), m.Part(m.polys[p][r]));
  }
}

// Random values of every shape type match the model (inferred type, content, text, hash, part
// hashes) in every format: views read alike through packed runs (default format), per-coordinate
// calls and owners (VecFormat); a view keeps its owner alive; shuffling members keeps the hash.
TYPED_TEST(SpatialFamily, ValuesMatchTheIndependentModelInEveryFormat) {
  using G = TypeParam;
  Rng rng(0x5EED);
  for (int i = 0; i < 1600; ++i) {
    SCOPED_TRACE(i);
    Model<G> m = RandomModel<G>(rng, i % 8);
    auto const value = m.Default();
    auto const expected = m.Observed();
    ASSERT_EQ(Observe(value), expected);
    ASSERT_EQ(to_string(value), to_string(m.type) + (kPlanar<G> ? "Geometry:" : "Geography:") +
                                    std::to_string(m.Hash()));
    auto const points = value.GetPoints();  // random access, backwards too
    ASSERT_TRUE(std::equal(std::make_reverse_iterator(points.end()),
                           std::make_reverse_iterator(points.begin()), m.points.rbegin(),
                           m.points.rend()));
    if constexpr (!kPlanar<G>) ExpectPartHashes(m, value);
    for (bool owners : {false, true}) {
      auto vec = std::make_unique<VecFormat<G> const>(m, owners);
      ASSERT_EQ(Observe(*vec), expected);
      ExpectPartHashes(m, *vec);
      if (!owners || m.lines.empty() || m.polys.empty()) continue;
      auto const line = vec->GetLines()[0];
      auto const ring = vec->GetPolys()[0][0];
      std::weak_ptr<VecFormat<G> const> const ring_owner = vec->last_owner;
      vec.reset();
      ASSERT_TRUE(std::ranges::equal(line, m.lines[0]) && std::ranges::equal(ring, m.polys[0][0]));
      ASSERT_EQ(ring_owner.use_count(), 1);  // held by the view alone
    }
    std::ranges::shuffle(m.points, rng);
    std::ranges::shuffle(m.lines, rng);
    std::ranges::shuffle(m.polys, rng);
    ASSERT_EQ(m.Default().GetHash(), std::get<0>(expected));
  }
}

// One change at a time to a valid value: "=" keeps its hash, "!=" changes it; anything else is
// the validation message, which names the first offender in points-lines-polys order.
TYPED_TEST(SpatialFamily, ChangesKeepOrMoveTheHashOrAreRejected) {
  using G = TypeParam;
  using M = Model<G>;
  Rng rng(7);
  M base = MakeModel<G>(rng, ShapeType::Mixed, 3, 3, 4, 3);
  if constexpr (!kPlanar<G>) base.attributes.topological_type = TopologicalType::Spheroidal;
  auto const base_value = base.Default();
  static typename G::Coordinate const nan;  // unequal to itself
  std::vector<std::pair<char const*, std::function<void(M&)>>> changes{
      {"=", [](M& m) { std::rotate(m.points.begin(), m.points.begin() + 1, m.points.end()); }},
      {"=", [](M& m) { std::swap(m.lines[0], m.lines[2]), std::swap(m.polys[0], m.polys[3]); }},
      {"!=", [](M& m) { std::reverse(m.lines[0].begin(), m.lines[0].end()); }},
      {"!=", [](M& m) { std::swap(m.polys[0][0], m.polys[0][1]); }},
      {"!=", [](M& m) { m.points[0] = nan; }},  // points are not validated
      {"!=", [](M& m) { m.stated = true, m.type = ShapeType::MultiPoint; }},  // stored unchecked
      {"!=", [](M& m) { m.attributes.original_srid = SRID::NAD83(); }},
      {"!=", [](M& m) { m.attributes.converted_srid = SRID::ETRS89(); }},
      {"line 0 has less than 2 coordinates", [](M& m) { m.lines[0] = {}, m.polys[0] = {}; }},
      {"line 1 has less than 2 coordinates", [](M& m) { m.lines[1].resize(1), m.lines[2] = {}; }},
      {"poly 2 is empty", [](M& m) { m.polys[2] = {}, m.polys[3] = {}; }},
      {"ring 1 of poly 0 has less than 4 coordinates", [](M& m) { m.polys[0][1].resize(3); }},
      {"ring 2 of poly 1 is not closed", [](M& m) { m.polys[1][2].back() = m.polys[1][2][1]; }},
      {"ring 0 of poly 0 is not closed", [](M& m) { m.polys[0][0].assign(4, nan); }},
  };
  if constexpr (kPlanar<G>) {
    changes.emplace_back("!=", [](M& m) { m.attributes.bias = {-1.0, 0.0}; });
  } else {
    changes.emplace_back("!=", [](M& m) { m.attributes.topological_type = TopologicalType::Flat; });
    changes.emplace_back("=", [](M& m) { m.attributes.winding_order = WindingOrder::Ambiguous; });
  }
  for (std::size_t i = 0; i < changes.size(); ++i) {
    M m = base;
    changes[i].second(m);
    std::string const got = Outcome<std::invalid_argument>([&] {
      auto const value = m.Default();
      EXPECT_EQ(value.GetHash(), m.Hash()) << i;
      return std::string(value == base_value ? "=" : "!=");
    });
    EXPECT_EQ(got, changes[i].first) << i;
  }
}

// The default format's cache computes a line, a poly and each ring once, under keys of their own,
// a point every time; an attribute hash of 0 counts as not computed.
TEST(ShapeHashes, CachesLinesPolysAndRingsButNeitherPointsNorZero) {
  int calls = 0;
  std::function<u64(U)> const line = [&](U i) { return ++calls, i + 10u; };
  std::function<u64(U)> const poly = [&](U i) { return ++calls, i + 20u; };
  std::function<u64(U, U)> const ring = [&](U p, U r) { return ++calls, 100u * p + r; };
  ShapeHashes h;
  for (int round = 1; round <= 2; ++round) {
    EXPECT_TRUE(h.GetOrDoHashForLine(line, 1) == 11 && h.GetOrDoHashForPoly(poly, 1) == 21);
    EXPECT_TRUE(h.GetOrDoHashForRingOfPoly(ring, 1, 2) == 102 &&
                h.GetOrDoHashForRingOfPoly(ring, 2, 1) == 201);
    EXPECT_EQ(h.GetOrDoHashForPoint(line, 1), 11u);
    EXPECT_EQ(calls, 4 + round);
  }
  std::function<u64()> const zero = [&] { return ++calls, u64{0}; };
  std::function<u64()> const seven = [&] { return ++calls, u64{7}; };
  for (auto const* fn : {&zero, &zero, &seven, &seven}) h.GetOrDoHashForAttributes(*fn);
  EXPECT_EQ(calls, 6 + 3);
  EXPECT_EQ(h.GetOrDoHashForAttributes(zero), 7u);
}

// Threads racing to fill the caches of a fresh value all get the model's hashes (half of them ask
// for the whole first; the part hashes of planar values are not public).
TYPED_TEST(SpatialFamily, ConcurrentHashingAgreesWithTheModel) {
  Rng rng(3);
  Model<TypeParam> const m = MakeModel<TypeParam>(rng, ShapeType::Mixed, 4, 6, 4, 2);
  auto const value = m.Default();
  std::latch start(8);
  std::vector<std::jthread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      if (t % 2 == 0) value.GetHash();
      if constexpr (!kPlanar<TypeParam>) ExpectPartHashes(m, value);
      EXPECT_EQ(value.GetHash(), m.Hash());
    });
  }
}

// Each kind answers one Is... and converts only to itself, else with the exact message; a format's
// information is one object, "Name:identifier". An identifier is the hash (0: hashed as empty).
TEST(SpatialHierarchy, KindsConvertOnlyToThemselvesAndCarryTheirFormat) {
  Unknown const unknown;
  Identifying const id(42);
  DefaultGeometry const geometry;
  DefaultGeography const geography;
  Spatial const* const values[] = {&unknown, &id, &geometry, &geography};
  std::string const formats[] = {"Unknown", "Identifying", "DefaultFormat", "DefaultFormat"};
  for (int k = 0; k < 4; ++k) {
    Spatial const& v = *values[k];
    std::vector<std::string> expected{"not an Unknown", "not an Identifying", "not a Geometry",
                                      "not a Geography"};
    expected[k] = "itself";
    EXPECT_EQ(v.IsUnknown() + 2 * v.IsIdentifying() + 4 * v.IsGeometry() + 8 * v.IsGeography(),
              1 << k);
    auto to = [&](auto as) {
      return Outcome<std::logic_error>([&] { return &(v.*as)() == &v ? "itself" : "other"; });
    };
    EXPECT_EQ((std::vector{to(&Spatial::AsUnknown), to(&Spatial::AsIdentifying),
                           to(&Spatial::AsGeometry), to(&Spatial::AsGeography)}),
              expected);
    EXPECT_EQ(v.GetFormatInfo().second, formats[k] + ":" + std::to_string(v.GetFormatInfo().first));
  }
  EXPECT_EQ(&geography.GetFormatInfo(), &DefaultFormat::GetRegisteredFormatInfo());
  FormatInfo const a = FormatInfos::Make("Fmt"), b = FormatInfos::Make("Fmt");
  EXPECT_EQ(b, FormatInfo(a.first + 1, "Fmt:" + std::to_string(a.first + 1)));
  EXPECT_EQ(to_string(unknown), "Unknown");
  EXPECT_EQ(unknown.GetHash(), Ref().Raw(0).Raw(0).End());
  EXPECT_TRUE(unknown.GetShapeType() == ShapeType::Empty && id.GetShapeType() == ShapeType::Empty);
  EXPECT_EQ(to_string(id), "Identifying:42");
  EXPECT_TRUE(id.GetHash() == 42 && id == Identifying(42) && id != Identifying(43));
  EXPECT_TRUE(Identifying(geography.GetHash()) == geography);
  EXPECT_EQ(Identifying(0).GetHash(), Ref().Raw(1).Raw(0).End());
}

// Memory goes back where it came from, whatever is current later. Packed vectors are taken
// unchecked (a 2-coordinate ring, an unfit stated type) with their storage; moves and swaps take
// storage, copies use the current resource, moved-from values are Empty with default attributes;
// a throwing constructor frees what it took; NullMemoryResource builds empty values only.
TYPED_TEST(SpatialFamily, ValuesKeepTheirResourceThroughCopyMoveAndSwap) {
  using G = TypeParam;
  using D = DefaultSpatial<G>;
  using V = typename Model<G>::Value;
  Rng rng(9);
  Model<G> const ma = MakeModel<G>(rng, ShapeType::Mixed, 2, 2, 2, 2);
  Model<G> mb = MakeModel<G>(rng, ShapeType::MultiPoint, 0, 0, 1);
  mb.polys[0].resize(1), mb.polys[0][0].resize(2);
  auto const sa = ma.Observed(), sb = mb.Observed(), empty = Model<G>().Observed();
  CountingMemoryResource r1, r2, r3;
  auto counts = [&] { return std::pair(r1.Allocations() + r2.Allocations(), r3.Allocations()); };
  ScopedMemoryResource const scope(&r1);
  SpatialPtr owner = MakeSpatial<V>(ma.points, ma.lines, ma.polys, ma.attributes);
  V& a = dynamic_cast<V&>(*owner);
  SetMemoryResource(&r2);
  typename D::PackedPolys polys(1, {{mb.Pack(mb.polys[0][0][0]), mb.Pack(mb.polys[0][0][1])}});
  SetMemoryResource(&r3);
  std::optional<V> b(std::in_place, mb.type, typename D::PackedPoints(), typename D::PackedLines(),
                     std::move(polys), mb.attributes);
  a.GetHash();  // fills a's caches, on r1
  auto const before = counts();
  EXPECT_EQ(before.second, 0u);
  {
    V moved(std::move(a));
    EXPECT_EQ(counts(), before);
    V const copy(moved);
    EXPECT_EQ(counts().first, before.first);
    EXPECT_EQ(std::pair(Observe(copy), Observe(a)), std::pair(sa, empty));
    moved.swap(*b);
    EXPECT_EQ(std::pair(Observe(moved), Observe(*b)), std::pair(sb, sa));
    a = std::move(moved);  // storage on r2 and r3 into vectors on r1
    EXPECT_EQ(std::pair(Observe(a), Observe(moved)), std::pair(sb, empty));
  }
  EXPECT_TRUE(owner.get_deleter().GetResource() == &r1 &&
              owner.get_deleter().GetBytes() == sizeof(V));
  EXPECT_TRUE(SpatialPtr().get_deleter().GetResource() == &r3 &&
              SpatialPtr().get_deleter().GetBytes() == 0);
  owner.reset(), b.reset();
  EXPECT_THROW(MakeSpatial<V>(mb.points, mb.lines, mb.polys), std::invalid_argument);
  SetMemoryResource(NullMemoryResource());
  EXPECT_EQ(Model<G>().Default().GetHash(), std::get<0>(empty));
  EXPECT_THROW(ma.Default(), std::bad_alloc);
  EXPECT_THROW(MakeSpatial<V>(), std::bad_alloc);
  SetMemoryResource(scope.previous);
  EXPECT_TRUE(r1.Balanced() && r2.Balanced() && r3.Balanced());
}

}  // namespace
}  // namespace ostrel
