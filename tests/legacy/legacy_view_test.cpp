// The legacy view: lazy decoding (one owner shared by concurrent visitors,
// a fresh decode after all have let go, counted on a memory resource), the
// resource owners come from, boxes, hand-built storage, copies, moves and
// swaps with failure injection, and many threads walking and hashing one
// value (run under TSan in CI).
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <cstdint>
#include <latch>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "legacy/legacy_support.hpp"
#include "ostrel/ogr/ogr_format.hpp"
#include "ostrel/text/owkt.hpp"
#include "support/counting_resource.hpp"

namespace ostrel {
namespace {

namespace LS = LegacySerialization;
using test_support::Bytes;
using test_support::CountingMemoryResource;
using test_support::RandomContent;
using test_support::ScopedMemoryResource;
using test_support::Stream;
using test_support::ToVector;
using Geo = GeographyCoordinate;

// The protected owner accessors of Shape, through member pointers.
template <class C>
struct OwnerAccess : Shape<C> {
  static constexpr auto kLineOwner = &OwnerAccess::GetLineOwner;
  static constexpr auto kRingOwner = &OwnerAccess::GetRingOwner;
};

// A geographic multi-line string of three lines and a polygon of two rings,
// read from a stream of the given encoding on `resource`.
SpatialPtr Sample(std::uint8_t serializer, MemoryResource* resource) {
  auto at = [](double lat, double lon) { return Geo(Latitude(lat), Longitude(lon)); };
  DefaultGeography::Lines lines{{at(0, 0), at(0.1, 0.2), at(0.3, 0.1)},
                                {at(-1, 1), at(-1.1, 1.2)},
                                {at(1.5, -3), at(1.4, 3), at(1.3, -2.9), at(1.2, 3.1)}};
  DefaultGeography::Lines rings{{at(0, 0), at(0, 1), at(1, 1), at(0, 0)},
                                {at(0.2, 0.2), at(0.4, 0.2), at(0.4, 0.4), at(0.2, 0.2)}};
  DefaultGeography const value({}, lines, {rings});
  auto const bytes = LS::Write(value, serializer, 7);
  ScopedMemoryResource scope(resource);
  return LS::Read(bytes);
}

TEST(LegacyView, VisitorsShareOneOwnerWhileAnyHoldsIt) {
  for (std::uint8_t serializer : {LS::kPlain, LS::kCompressed}) {
    CountingMemoryResource counting;
    SpatialPtr const value = Sample(serializer, &counting);
    auto const& g = static_cast<LegacyGeography const&>(value->AsGeography());
    using A = OwnerAccess<Geo>;
    std::size_t const start = counting.Allocations();

    // Two threads visit line 1 at once; both get the same owner, decoded once
    // (one allocation for the owner with its control block, one for its
    // coordinates).
    std::shared_ptr<ShapeLineOwner<Geo> const> seen[2];
    std::barrier meet(2);
    auto visit = [&](int i) {
      seen[i] = (g.*A::kLineOwner)(1);
      meet.arrive_and_wait();  // both hold their owner now
    };
    std::thread a(visit, 0), b(visit, 1);
    a.join();
    b.join();
    ASSERT_NE(seen[0], nullptr);
    EXPECT_EQ(seen[0], seen[1]);
    EXPECT_EQ(counting.Allocations() - start, 2u);
    EXPECT_EQ(seen[0].get(), g.GetStorage().lines[1].GetOwner().get());
    EXPECT_EQ(counting.Allocations() - start, 2u);

    // Views and hashes reuse it while it is held.
    auto const line = g.GetLines()[1];
    EXPECT_EQ(line.size(), 2u);
    EXPECT_EQ(g.HashForLine(1), g.HashForLine(1));
    EXPECT_EQ(g.CoordinateInLine(1, 1), line[1]);
    // A view keeps the owner alive after the visitors let go.
    seen[0].reset();
    seen[1].reset();
    EXPECT_EQ((g.*A::kLineOwner)(1).get(), g.GetStorage().lines[1].GetOwner().get());
    EXPECT_EQ(counting.Allocations() - start, 2u);
  }
}

TEST(LegacyView, DecodesAgainAfterAllHoldersLetGo) {
  CountingMemoryResource counting;
  SpatialPtr const value = Sample(LS::kCompressed, &counting);
  auto const& g = static_cast<LegacyGeography const&>(value->AsGeography());
  using A = OwnerAccess<Geo>;
  std::size_t const start = counting.Allocations();
  ShapeRingOwner<Geo> const* first = nullptr;
  {
    auto const owner = (g.*A::kRingOwner)(0, 1);
    first = owner.get();
    EXPECT_EQ((g.*A::kRingOwner)(0, 1).get(), first);
    EXPECT_EQ(counting.Allocations() - start, 2u);
  }
  auto const again = (g.*A::kRingOwner)(0, 1);
  EXPECT_EQ(counting.Allocations() - start, 4u);
  // Reading single coordinates without a holder decodes for each of them.
  std::size_t const before = counting.Allocations();
  auto const held = g.GetStorage().lines.size();
  EXPECT_EQ(held, 3u);
  for (unsigned int i = 0; i < 4; ++i) g.CoordinateInLine(2, i);
  EXPECT_EQ(counting.Allocations() - before, 8u);
  // With a holder, none.
  auto const holder = g.GetLines()[2];
  std::size_t const holding = counting.Allocations();
  for (unsigned int i = 0; i < 4; ++i) EXPECT_EQ(g.CoordinateInLine(2, i), holder[i]);
  EXPECT_EQ(counting.Allocations(), holding);
  // A whole hash decodes every line and ring once; a second is cached.
  std::size_t const hashing = counting.Allocations();
  g.GetHash();
  EXPECT_EQ(counting.Allocations() - hashing, 2u * 3);  // line 2 and ring 1 are held
  std::size_t const cached = counting.Allocations();
  g.GetHash();
  g.HashForPoly(0);
  EXPECT_EQ(counting.Allocations(), cached);
}

// Owners come from the resource of the value's records, whatever is current
// when they are decoded; the value's memory all returns where it came from.
TEST(LegacyView, OwnersComeFromTheValuesResource) {
  CountingMemoryResource home;
  CountingMemoryResource elsewhere;
  {
    SpatialPtr const value = Sample(LS::kPlain, &home);
    ScopedMemoryResource scope(&elsewhere);
    EXPECT_NE(value->GetHash(), 0u);
    EXPECT_FALSE(OWKT::To(*value).empty());
    auto const views = value->AsGeography().GetPolys();
    for (auto const& poly : views) {
      for (auto const& ring : poly) EXPECT_EQ(ring.size(), 4u);
    }
    EXPECT_EQ(elsewhere.Allocations(), 0u);
    EXPECT_GT(home.Allocations(), 10u);
  }
  EXPECT_TRUE(home.Balanced());
  EXPECT_TRUE(elsewhere.Balanced());
}

TEST(LegacyView, IteratorOwnerWalksADecodedOwnerAndKeepsItAlive) {
  SpatialPtr const value = Sample(LS::kCompressed, NewDeleteMemoryResource());
  auto const& g = static_cast<LegacyGeography const&>(value->AsGeography());
  using Range = LS::detail::LegacyIteratorOwner<LS::detail::LegacyLineOwner<Geo>, Geo>;
  Range const range(g.GetStorage().lines[2].GetOwner());
  auto const view = g.GetLines()[2];
  ASSERT_EQ(range.size(), view.size());
  std::size_t i = 0;
  for (Geo const c : range) EXPECT_EQ(c, view[static_cast<unsigned int>(i++)]);
  EXPECT_EQ(range.GetOwner(), g.GetStorage().lines[2].GetOwner().get());
  EXPECT_EQ(Range().size(), 0u);
}

// Boxes: kept from compressed streams for lines and polygons, invalid from
// plain ones and for every other query.
TEST(LegacyView, Boxes) {
  using Box = std::pair<GeometryCoordinate, GeometryCoordinate>;
  auto const none = GeometryCoordinate::Bias::None();
  GeometryCoordinate::Packed const p(0, 0, none), q(1, 1, none);
  OgrGeometry::PackedLines lines;
  lines.emplace_back(OgrGeometry::PackedPoints{p, q}, Box({0, 0}, {2.5, 3}));
  OgrGeometry::PackedPolys polys;
  polys.emplace_back(OgrGeometry::PackedRings{{p, q, q, p}}, Box({-1, -2}, {0.25, 0}));
  OgrGeometry const ogr(ShapeType::Mixed, {p}, std::move(lines), std::move(polys), {});
  SpatialPtr const boxed = LS::Read(LS::Write(ogr, LS::kCompressed, 2));
  auto const& legacy = static_cast<LegacyGeometry const&>(boxed->AsGeometry());
  auto const line_box = legacy.BoundingBoxForLineString(0);
  EXPECT_EQ(line_box.first, GeometryCoordinate(0, 0));
  EXPECT_EQ(line_box.second, GeometryCoordinate(2.5, 3));
  auto const poly_box = legacy.BoundingBoxForPolygon(0);
  EXPECT_EQ(poly_box.first, GeometryCoordinate(-1, -2));
  EXPECT_EQ(poly_box.second, GeometryCoordinate(0.25, 0));
  LS::BoundingBoxAccessor<Geometry> const& boxes = legacy;
  for (Box const& invalid : {boxes.BoundingBoxForPoint(0), boxes.BoundingBoxForMultiPoint(0),
                             boxes.BoundingBoxForMultiLineString(0),
                             boxes.BoundingBoxForMultiPolygon(0), boxes.BoundingBoxForMixed()}) {
    EXPECT_FALSE(invalid.first.IsValid() || invalid.second.IsValid());
  }
  // The boxes survive a compressed rewrite at the same precision.
  EXPECT_EQ(ToVector(LS::Write(legacy, LS::kCompressed, 2)),
            ToVector(LS::Write(ogr, LS::kCompressed, 2)));
  // A plain stream carries none.
  SpatialPtr const plain = LS::Read(LS::Write(ogr, LS::kPlain, 0));
  auto const& unboxed = static_cast<LegacyGeometry const&>(plain->AsGeometry());
  EXPECT_FALSE(unboxed.BoundingBoxForLineString(0).first.IsValid());
  EXPECT_FALSE(unboxed.BoundingBoxForPolygon(0).second.IsValid());
  // Geographic boxes beyond the poles are simply invalid.
  auto const bytes =
      Stream(2, 1, 2, 0,
             Bytes()
                 .Section(Bytes().Section(Bytes().U8(3).Zigzag(3).Zigzag(0).Zigzag(0).Zigzag(1)))
                 .Section(Bytes{1, 0, 0}));
  SpatialPtr const geo = LS::Read(bytes);
  auto const& legacy_geo = static_cast<LegacyGeography const&>(geo->AsGeography());
  EXPECT_FALSE(legacy_geo.BoundingBoxForLineString(0).first.IsValid());
}

// Storage built by hand: records decode on visit; a record that cannot be
// decoded throws the reader's exceptions then.
TEST(LegacyView, HandBuiltStorage) {
  LS::Storage<Geometry> storage;
  storage.shape_type = ShapeType::LineString;
  auto& line = storage.lines.emplace_back();
  Bytes const doubles = Bytes().F64(1).F64(2).F64(3).F64(4);
  line.bytes.assign(doubles.v.begin(), doubles.v.end());
  line.count = 2;
  line.compressed = 0;
  LegacyGeometry const value(std::move(storage));
  EXPECT_TRUE(storage.lines.empty());
  EXPECT_EQ(OWKT::To(value), "LINESTRING(1 2, 3 4)");
  EXPECT_EQ(value.GetHash(), OWKT::From("LINESTRING(1 2, 3 4)")->GetHash());

  LS::Storage<Geography> bad;
  bad.shape_type = ShapeType::MultiLineString;
  auto& short_line = bad.lines.emplace_back();
  short_line.count = 3;  // no bytes at all
  short_line.compressed = 0;
  auto& compressed = bad.lines.emplace_back();      // compressed by default, precision 0
  Bytes const pairs = Bytes().Zigzag(4).Zigzag(0);  // latitude 4 rad
  compressed.bytes.assign(pairs.v.begin(), pairs.v.end());
  compressed.count = 1;
  LegacyGeography const broken(std::move(bad));
  EXPECT_THROW(broken.CoordinateInLine(0, 0), std::length_error);
  EXPECT_THROW(broken.CoordinateInLine(1, 0), std::out_of_range);
  EXPECT_THROW(broken.GetHash(), std::length_error);
}

// Copies share nothing with their source but content and cached hashes;
// moves leave the source Empty; swaps exchange; every assignment that fails
// for want of memory leaves its target as it was.
TEST(LegacyView, CopiesMovesSwapsAndFailedAssignments) {
  CountingMemoryResource counting;
  {
    ScopedMemoryResource scope(&counting);
    SpatialPtr const read = Sample(LS::kCompressed, &counting);
    auto const& original = static_cast<LegacyGeography const&>(read->AsGeography());
    unsigned long long const hash = original.GetHash();
    std::string const text = OWKT::To(original);

    LegacyGeography copy(original);
    EXPECT_EQ(copy.GetHash(), hash);
    EXPECT_EQ(OWKT::To(copy), text);
    EXPECT_NE(copy.GetStorage().lines[0].GetOwner(), original.GetStorage().lines[0].GetOwner());

    LegacyGeography moved(std::move(copy));
    EXPECT_EQ(moved.GetHash(), hash);
    EXPECT_EQ(copy.GetShapeType(), ShapeType::Empty);
    EXPECT_EQ(copy.GetLines().size(), 0u);
    EXPECT_EQ(copy.GetHash(), LegacyGeography().GetHash());

    LegacyGeography other(DefaultGeography::Points{Geo(Latitude(0.5), Longitude(0.5))}, {}, {});
    unsigned long long const other_hash = other.GetHash();
    other.swap(moved);
    EXPECT_EQ(other.GetHash(), hash);
    EXPECT_EQ(moved.GetHash(), other_hash);
    EXPECT_EQ(moved.GetShapeType(), ShapeType::Point);

    // Assignment under failing allocation: strong guarantee.
    for (std::size_t n = 0;; ++n) {
      LegacyGeography target(moved);
      counting.FailAfter(n);
      bool done = false;
      try {
        target = original;
        done = true;
      } catch (std::bad_alloc const&) {
      }
      counting.FailAfter(CountingMemoryResource::kNever);
      if (done) {
        EXPECT_EQ(target.GetHash(), hash);
        EXPECT_EQ(OWKT::To(target), text);
        break;
      }
      EXPECT_EQ(target.GetHash(), other_hash) << n;
      EXPECT_EQ(OWKT::To(target), OWKT::To(moved)) << n;
      ASSERT_LT(n, 1000u);
    }
    LegacyGeography assigned;
    assigned = std::move(other);
    EXPECT_EQ(assigned.GetHash(), hash);
    EXPECT_EQ(other.GetShapeType(), ShapeType::Empty);
  }
  EXPECT_TRUE(counting.Balanced());
}

// Reading under a resource that fails after n allocations, for every n:
// bad_alloc and nothing leaked, until it succeeds.
TEST(LegacyView, ReadingUnderFailingAllocation) {
  RandomContent<Geometry> random(5);
  for (std::uint8_t serializer : {LS::kPlain, LS::kCompressed}) {
    auto const c = random.Make(ShapeType::Mixed, std::int8_t{3});
    auto const bytes = LS::Write(DefaultGeometry(c.points, c.lines, c.polys), serializer, 3);
    CountingMemoryResource counting;
    for (std::size_t n = 0;; ++n) {
      ScopedMemoryResource scope(&counting);
      counting.FailAfter(n);
      try {
        SpatialPtr const value = LS::Read(bytes);
        counting.FailAfter(CountingMemoryResource::kNever);
        EXPECT_EQ(value->GetHash(), LS::Read(bytes)->GetHash());
        break;
      } catch (std::bad_alloc const&) {
      }
      counting.FailAfter(CountingMemoryResource::kNever);
      EXPECT_TRUE(counting.Balanced()) << n;
      ASSERT_LT(n, 10000u);
    }
    EXPECT_TRUE(counting.Balanced());
  }
}

// Many threads walk, hash and read coordinates of one value at once; every
// thread sees the single-threaded results. Under TSan this checks the
// per-record locks and the hash cells.
template <class Value>
void Hammer(Value const& value) {
  unsigned long long const hash = value.GetHash();
  std::string const text = OWKT::To(value);
  Value const fresh(value);  // nothing cached or decoded
  constexpr int kThreads = 8;
  std::latch start(kThreads);
  std::atomic<int> failures = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int round = 0; round < 20; ++round) {
        if (fresh.GetHash() != hash) ++failures;
        if ((t + round) % 3 == 0 && OWKT::To(fresh) != text) ++failures;
        for (unsigned int l = 0; l < fresh.GetLines().size(); ++l) {
          Shape<typename Value::Coordinate> const& shape = fresh;
          if (shape.HashForLine(l) != shape.HashForLine(l)) ++failures;
          auto const line = fresh.GetLines()[l];
          for (unsigned int i = 0; i < line.size(); ++i) {
            if (!(shape.GetLines()[l][i] == line[i]) && line[i].IsValid()) ++failures;
          }
        }
        for (auto const& poly : fresh.GetPolys()) {
          for (auto const& ring : poly) {
            if (ring.size() != 0 && !(ring[0] == ring[ring.size() - 1])) ++failures;
          }
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST(LegacyView, ManyThreadsWalkAndHashOneValue) {
  RandomContent<Geography> random(31);
  for (std::uint8_t serializer : {LS::kPlain, LS::kCompressed}) {
    auto const c = random.Make(ShapeType::Mixed, std::int8_t{6});
    SpatialPtr const value =
        LS::Read(LS::Write(DefaultGeography(c.points, c.lines, c.polys), serializer, 6));
    Hammer(static_cast<LegacyGeography const&>(value->AsGeography()));
  }
  RandomContent<Geometry> planar(32);
  auto const c = planar.Make(ShapeType::MultiPolygon);
  Hammer(LegacyGeometry(c.points, c.lines, c.polys));
  Hammer(OgrGeometry(c.points, c.lines, c.polys));
}

}  // namespace
}  // namespace ostrel
