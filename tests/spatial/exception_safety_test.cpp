// Failure injection in the style of exception-safety testing: every
// operation that allocates is run against a memory resource that fails
// after n allocations, for n = 0, 1, 2, ... until it succeeds. Each failed
// attempt must throw std::bad_alloc (no terminate), leak nothing, and leave
// the target exactly as it was; the first successful one must build the
// whole result. Also: building values on a custom resource performs no
// global allocation, and iterators outlive the ranges they came from.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <functional>
#include <new>
#include <optional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "ostrel/spatial/default_format.hpp"
#include "ostrel/text/owkt.hpp"
#include "support/counting_resource.hpp"
#include "support/global_allocations.hpp"

namespace ostrel {
namespace {

using test_support::CountingMemoryResource;
using test_support::GlobalAllocationCounter;
using test_support::ScopedMemoryResource;

template <class G>
using ValueOf = std::conditional_t<std::is_same_v<G, Geometry>, DefaultGeometry, DefaultGeography>;

// Everything observable of a value, as bit patterns: shape type, counts,
// attributes and every coordinate in order.
template <class G>
std::vector<std::uint64_t> Snapshot(G const& g) {
  std::vector<std::uint64_t> out{static_cast<std::uint64_t>(g.GetShapeType())};
  auto add = [&](auto const& c) {
    if constexpr (std::is_same_v<G, Geometry>) {
      out.push_back(std::bit_cast<std::uint64_t>(c.GetX()));
      out.push_back(std::bit_cast<std::uint64_t>(c.GetY()));
    } else {
      out.push_back(std::bit_cast<std::uint64_t>(c.GetLatitude().Get().Get()));
      out.push_back(std::bit_cast<std::uint64_t>(c.GetLongitude().Get().Get()));
    }
  };
  auto const a = g.GetAttributes();
  out.push_back(a.original_srid.GetID());
  out.push_back(a.converted_srid.GetID());
  if constexpr (std::is_same_v<G, Geometry>) {
    out.push_back(std::bit_cast<std::uint64_t>(a.bias.GetX()));
  } else {
    out.push_back(static_cast<std::uint64_t>(a.topological_type));
  }
  out.push_back(g.GetPoints().size());
  for (auto const& c : g.GetPoints()) add(c);
  out.push_back(g.GetLines().size());
  for (auto const& line : g.GetLines()) {
    out.push_back(line.size());
    for (auto const& c : line) add(c);
  }
  out.push_back(g.GetPolys().size());
  for (auto const& poly : g.GetPolys()) {
    out.push_back(poly.size());
    for (auto const& ring : poly) {
      out.push_back(ring.size());
      for (auto const& c : ring) add(c);
    }
  }
  return out;
}

template <class G>
G const& As(Spatial const& s) {
  if constexpr (std::is_same_v<G, Geometry>) {
    return s.AsGeometry();
  } else {
    return s.AsGeography();
  }
}

template <class G>
struct Input {
  using V = ValueOf<G>;
  typename V::Points points;
  typename V::Lines lines;
  typename V::Polys polys;
  typename V::Attributes attributes;
};

template <class G>
typename G::Coordinate RandomCoordinate(std::mt19937_64& rng) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  if constexpr (std::is_same_v<G, Geometry>) {
    return GeometryCoordinate(1000 * u(rng), 1000 * u(rng), GeometryCoordinate::Bias(500, -250));
  } else {
    return GeographyCoordinate(Latitude(1.5 * u(rng)), Longitude(3.1 * u(rng)));
  }
}

// A mixed value of every collection; made on whatever resource is current.
template <class G>
Input<G> MakeInput(std::mt19937_64& rng, int scale) {
  Input<G> in;
  if constexpr (std::is_same_v<G, Geometry>) {
    in.attributes = typename G::Attributes(GeometryCoordinate::Bias(500, -250),
                                           SRID(SRID::Authority::EPSG, 3857), SRID::None());
  } else {
    in.attributes = typename G::Attributes(SRID::WGS84(), SRID::NAD83(), TopologicalType::Flat,
                                           WindingOrder::InteriorRight);
  }
  for (int i = 0; i < scale; ++i) in.points.push_back(RandomCoordinate<G>(rng));
  for (int l = 0; l < scale; ++l) {
    auto& line = in.lines.emplace_back();
    for (int i = 0; i < 2 + l; ++i) line.push_back(RandomCoordinate<G>(rng));
  }
  for (int p = 0; p < scale; ++p) {
    auto& poly = in.polys.emplace_back();
    for (int r = 0; r <= p; ++r) {
      auto& ring = poly.emplace_back();
      for (int i = 0; i < 3 + r; ++i) ring.push_back(RandomCoordinate<G>(rng));
      ring.push_back(ring.front());
    }
  }
  return in;
}

// Runs attempt(n) with the resource failing after n allocations, for
// n = 0, 1, ... until an attempt does not throw. `check_failed` runs after
// each failed attempt, `check_done` after the successful one; both with the
// resource healthy again. Everything made during an attempt must have been
// returned by then (an attempt cleans up what it keeps).
void Sweep(CountingMemoryResource& r, std::function<void()> const& attempt,
           std::function<void()> const& check_failed, std::function<void()> const& check_done) {
  for (std::size_t n = 0; n < 100000; ++n) {
    std::size_t const live = r.LiveBlocks();
    r.FailAfter(n);
    bool failed = false;
    try {
      attempt();
    } catch (std::bad_alloc const&) {
      failed = true;
    }
    r.FailAfter(CountingMemoryResource::kNever);
    if (!failed) {
      check_done();
      return;
    }
    EXPECT_EQ(r.LiveBlocks(), live) << "leak after failing at allocation " << n;
    check_failed();
    if (::testing::Test::HasFailure()) return;
  }
  ADD_FAILURE() << "never succeeded";
}

template <class G>
class ExceptionSafety : public ::testing::Test {};
using Families = ::testing::Types<Geometry, Geography>;
TYPED_TEST_SUITE(ExceptionSafety, Families);

// Every constructor and MakeSpatial: a failed one leaves nothing behind.
TYPED_TEST(ExceptionSafety, ConstructorsLeakNothing) {
  using G = TypeParam;
  using V = ValueOf<G>;
  std::mt19937_64 rng(1);
  Input<G> const in = MakeInput<G>(rng, 4);  // on the heap, not on r
  CountingMemoryResource r;
  ScopedMemoryResource const scope(&r);
  std::vector<std::function<SpatialPtr()>> const constructors = {
      [&] { return MakeSpatial<V>(in.points, in.lines, in.polys); },
      [&] { return MakeSpatial<V>(in.points, in.lines, in.polys, in.attributes); },
      [&] { return MakeSpatial<V>(ShapeType::Mixed, in.points, in.lines, in.polys); },
      [&] {
        return MakeSpatial<V>(ShapeType::Mixed, in.points, in.lines, in.polys, in.attributes);
      },
  };
  for (std::size_t i = 0; i < constructors.size(); ++i) {
    SCOPED_TRACE(i);
    auto const expected = Snapshot<G>(As<G>(*constructors[i]()));
    std::vector<std::uint64_t> built;
    Sweep(
        r, [&] { built = Snapshot<G>(As<G>(*constructors[i]())); }, [] {},
        [&] { EXPECT_EQ(built, expected); });
  }
  EXPECT_TRUE(r.Balanced());
}

// Copy construction, copy and move assignment (between resources), swap and
// the first hash: a failure leaves source and target as they were.
TYPED_TEST(ExceptionSafety, AssignmentsGiveTheStrongGuarantee) {
  using G = TypeParam;
  using V = ValueOf<G>;
  std::mt19937_64 rng(2);
  Input<G> const a_in = MakeInput<G>(rng, 3), b_in = MakeInput<G>(rng, 5);
  CountingMemoryResource r, other;
  ScopedMemoryResource const scope(&r);
  std::optional<V> a, b;
  auto reset = [&] {
    a.emplace(a_in.points, a_in.lines, a_in.polys, a_in.attributes);
    SetMemoryResource(&other);  // b's storage on another resource
    b.emplace(b_in.points, b_in.lines, b_in.polys, b_in.attributes);
    SetMemoryResource(&r);
  };
  reset();
  auto const sa = Snapshot<G>(*a), sb = Snapshot<G>(*b);
  unsigned long long const ha = V(*a).GetHash(), hb = V(*b).GetHash();
  auto unchanged = [&] {
    EXPECT_EQ(Snapshot<G>(*a), sa);
    EXPECT_EQ(Snapshot<G>(*b), sb);
    EXPECT_EQ(a->GetHash(), ha);
    EXPECT_EQ(b->GetHash(), hb);
  };
  struct Case {
    char const* name;
    std::function<void()> op;
    std::function<void()> done;
  };
  std::vector<Case> const cases = {
      {"copy construction", [&] { V copy(*b); }, [&] { EXPECT_EQ(Snapshot<G>(V(*b)), sb); }},
      {"copy assignment", [&] { *a = *b; },
       [&] { EXPECT_TRUE(Snapshot<G>(*a) == sb && a->GetHash() == hb); }},
      {"move assignment", [&] { *a = std::move(*b); },
       [&] {
         EXPECT_TRUE(Snapshot<G>(*a) == sb && a->GetHash() == hb);
         EXPECT_EQ(b->GetShapeType(), ShapeType::Empty);
       }},
      {"swap", [&] { a->swap(*b); },
       [&] { EXPECT_TRUE(Snapshot<G>(*a) == sb && Snapshot<G>(*b) == sa); }},
      {"cold hash", [&] { a->GetHash(); }, [&] { EXPECT_EQ(a->GetHash(), ha); }},
  };
  for (Case const& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    Sweep(
        r, c.op,
        [&] {
          unchanged();
          reset();  // hashing above filled caches: start each attempt cold
        },
        c.done);
  }
  a.reset(), b.reset();
  EXPECT_TRUE(r.Balanced() && other.Balanced());
}

// The OWKT reader under failure: std::bad_alloc and nothing left behind, for
// every kind of text, with and without attributes.
TEST(ExceptionSafety, OwktReaderLeaksNothing) {
  CountingMemoryResource r;
  ScopedMemoryResource const scope(&r);
  std::string const texts[] = {
      "POINT(1 2)",
      "BIAS=10:20,ORIGINALSRID=EPSG:3857;MULTILINESTRING((0 0, 1 1), (2 2, 3 3, 4 4))",
      "GEOMETRYCOLLECTION(POINT(1 2), POLYGON((0 0, 1 0, 1 1, 0 0), (0 0, 0.5 0, 0.5 0.5, 0 0)))",
      "TOPOLOGICALTYPE=FLAT;MULTIPOLYGON(((0 0, 1 0, 1 1, 0 0)), ((5 5, 6 5, 6 6, 5 5)))",
  };
  for (std::string const& text : texts) {
    for (CoordinateType kind : {CoordinateType::Geometry, CoordinateType::Geography}) {
      SCOPED_TRACE(text);
      unsigned long long const expected = OWKT::From(text, kind)->GetHash();
      unsigned long long got = 0;
      Sweep(
          r, [&] { got = OWKT::From(text, kind)->GetHash(); }, [] {},
          [&] { EXPECT_EQ(got, expected); });
    }
  }
  EXPECT_TRUE(r.Balanced());
}

// Building, hashing, copying, moving and walking values on an engine's
// resource touches the global heap not once.
TYPED_TEST(ExceptionSafety, CustomResourceMeansNoGlobalAllocation) {
  using G = TypeParam;
  using V = ValueOf<G>;
  CountingMemoryResource r;
  ScopedMemoryResource const scope(&r);
  std::mt19937_64 rng(3);
  std::size_t global = 0;
  {
    Input<G> const in = MakeInput<G>(rng, 6);  // its vectors are on r too
    GlobalAllocationCounter const counter;
    SpatialPtr owner = MakeSpatial<V>(in.points, in.lines, in.polys, in.attributes);
    V value(in.points, in.lines, in.polys, in.attributes);
    value.GetHash();
    V copy(value);
    V moved(std::move(copy));
    copy = moved;
    moved.swap(copy);
    G const& g = value;
    std::size_t coordinates = g.GetPoints().size();
    for (auto const& line : g.GetLines()) coordinates += line.size();
    for (auto const& poly : g.GetPolys()) {
      for (auto const& ring : poly) coordinates += ring.size();
    }
    EXPECT_GT(coordinates, 0u);
    global = counter.Count();
    // Only a rejection formats text (its message, on the global heap).
    EXPECT_THROW(V(in.points, {{in.points.front()}}, {}), std::invalid_argument);
  }
  EXPECT_EQ(global, 0u);
  EXPECT_TRUE(r.Balanced());
}

// Iterators hold what they need: taken from temporary ranges and views, they
// stay valid as long as the value.
TYPED_TEST(ExceptionSafety, IteratorsOutliveTheirRanges) {
  using G = TypeParam;
  using V = ValueOf<G>;
  std::mt19937_64 rng(4);
  Input<G> const in = MakeInput<G>(rng, 3);
  V const value(in.points, in.lines, in.polys, in.attributes);
  G const& g = value;
  auto const points_begin = g.GetPoints().begin();
  auto const points_end = g.GetPoints().end();
  std::vector<typename G::Coordinate> points(points_begin, points_end);
  ASSERT_EQ(points.size(), in.points.size());
  for (std::size_t i = 0; i < points.size(); ++i) EXPECT_TRUE(points[i] == in.points[i]);
  auto const line_begin = g.GetLines()[1].begin();
  auto const line_end = g.GetLines()[1].end();
  EXPECT_EQ(line_end - line_begin, static_cast<std::ptrdiff_t>(in.lines[1].size()));
  EXPECT_TRUE(line_begin[1] == in.lines[1][1]);
  auto const ring = g.GetPolys()[2][1].begin();
  EXPECT_TRUE(ring[2] == in.polys[2][1][2]);
  static_assert(std::random_access_iterator<std::remove_const_t<decltype(ring)>>);
}

}  // namespace
}  // namespace ostrel
