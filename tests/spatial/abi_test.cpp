// The binary interface of the tabulated classes: every virtual sits in its
// documented slot, and every fixed signature has its documented type, so a
// format written against the documentation overrides and links.
//
// Slots are read from Itanium member-function pointers: for a virtual
// function the pointer word is 1 + the byte offset of its entry in the
// table. The destructor is slot 0 in the documentation but takes two
// entries in the ABI (complete and deleting), so documented slot k >= 1 is
// ABI entry k + 1. Protected members are reached through a derived class:
// &Derived::f names the base's function and has the base's type.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>

#include "ostrel/core/atomic_uint64.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/core/hasher.hpp"
#include "ostrel/core/memory_resource.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/spatial/identifying.hpp"
#include "ostrel/spatial/shape.hpp"
#include "ostrel/spatial/shape_hashes.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/unknown.hpp"

namespace ostrel {
namespace {

// The documented slot of a virtual member function pointer, or -1.
template <class M>
int Slot(M mfp) {
  static_assert(sizeof(M) == 2 * sizeof(std::ptrdiff_t), "Itanium member-function pointers");
  auto const words = std::bit_cast<std::array<std::ptrdiff_t, 2>>(mfp);
  if ((words[0] & 1) == 0) return -1;  // not virtual
  auto const entry = static_cast<int>((words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)));
  return entry >= 2 ? entry - 1 : -1;
}

using Fn0 = std::function<unsigned long long()>;
using Fn1 = std::function<unsigned long long(unsigned int)>;
using Fn2 = std::function<unsigned long long(unsigned int, unsigned int)>;
using U = unsigned int;
using ULL = unsigned long long;

struct SpatialAccess : Spatial {
  static constexpr auto kDoHash = &SpatialAccess::DoHash;
};

template <class C>
struct ShapeAccess : Shape<C> {
  static constexpr auto kNumberOfPoints = &ShapeAccess::NumberOfPoints;
  static constexpr auto kGetLineOwner = &ShapeAccess::GetLineOwner;
  static constexpr auto kNumberOfLines = &ShapeAccess::NumberOfLines;
  static constexpr auto kSizeOfLine = &ShapeAccess::SizeOfLine;
  static constexpr auto kGetRingOwner = &ShapeAccess::GetRingOwner;
  static constexpr auto kNumberOfPolys = &ShapeAccess::NumberOfPolys;
  static constexpr auto kSizeOfPoly = &ShapeAccess::SizeOfPoly;
  static constexpr auto kSizeOfRingInPoly = &ShapeAccess::SizeOfRingInPoly;
};

// Both families' protected virtuals.
template <class G>
struct FamilyAccess : G {
  static constexpr auto kDoHash = &FamilyAccess::DoHash;
  static constexpr auto kPackedPoint = &FamilyAccess::PackedCoordinateForPoint;
  static constexpr auto kPackedLine = &FamilyAccess::PackedCoordinateInLine;
  static constexpr auto kPackedRing = &FamilyAccess::PackedCoordinateInRingOfPoly;
  static constexpr auto kHashForAttributes = &FamilyAccess::HashForAttributes;
  static constexpr auto kGetOrDoPoint = &FamilyAccess::GetOrDoHashForPoint;
  static constexpr auto kGetOrDoLine = &FamilyAccess::GetOrDoHashForLine;
  static constexpr auto kGetOrDoRing = &FamilyAccess::GetOrDoHashForRingOfPoly;
  static constexpr auto kGetOrDoPoly = &FamilyAccess::GetOrDoHashForPoly;
  static constexpr auto kGetOrDoAttributes = &FamilyAccess::GetOrDoHashForAttributes;
  static constexpr auto kCoordinateForPoint = &FamilyAccess::CoordinateForPoint;
  static constexpr auto kHashForLine = &FamilyAccess::HashForLine;
};

// ---- Signatures, checked at compile time ----------------------------------

// Part-hash and coordinate operations of the shape.
template <class C>
constexpr bool ShapeSignatures() {
  using S = Shape<C>;
  using A = ShapeAccess<C>;
  static_assert(std::is_same_v<decltype(&ShapeLineOwner<C>::CoordinateInLine),
                               C (ShapeLineOwner<C>::*)(U, U) const>);
  static_assert(std::is_same_v<decltype(&ShapeRingOwner<C>::CoordinateInRingOfPoly),
                               C (ShapeRingOwner<C>::*)(U, U, U) const>);
  static_assert(std::is_same_v<decltype(A::kNumberOfPoints), U (S::*const)() const>);
  static_assert(std::is_same_v<decltype(&S::CoordinateForPoint), C (S::*)(U) const>);
  static_assert(std::is_same_v<decltype(A::kGetLineOwner),
                               std::shared_ptr<ShapeLineOwner<C> const> (S::*const)(U) const>);
  static_assert(std::is_same_v<decltype(A::kNumberOfLines), U (S::*const)() const>);
  static_assert(std::is_same_v<decltype(A::kSizeOfLine), U (S::*const)(U) const>);
  static_assert(std::is_same_v<decltype(A::kGetRingOwner),
                               std::shared_ptr<ShapeRingOwner<C> const> (S::*const)(U, U) const>);
  static_assert(std::is_same_v<decltype(A::kNumberOfPolys), U (S::*const)() const>);
  static_assert(std::is_same_v<decltype(A::kSizeOfPoly), U (S::*const)(U) const>);
  static_assert(std::is_same_v<decltype(A::kSizeOfRingInPoly), U (S::*const)(U, U) const>);
  static_assert(std::is_same_v<decltype(&S::HashForPoint), ULL (S::*)(U) const>);
  static_assert(std::is_same_v<decltype(&S::HashForLine), ULL (S::*)(U) const>);
  static_assert(std::is_same_v<decltype(&S::HashForPoly), ULL (S::*)(U) const>);
  static_assert(std::is_same_v<decltype(&S::HashForRingOfPoly), ULL (S::*)(U, U) const>);
  return true;
}
static_assert(ShapeSignatures<GeometryCoordinate>());
static_assert(ShapeSignatures<GeographyCoordinate>());

template <class G>
constexpr bool FamilySignatures() {
  using A = FamilyAccess<G>;
  using P = typename G::Coordinate::Packed;
  static_assert(std::is_same_v<decltype(A::kPackedPoint), P (G::*const)(U) const>);
  static_assert(std::is_same_v<decltype(A::kPackedLine), P (G::*const)(U, U) const>);
  static_assert(std::is_same_v<decltype(A::kPackedRing), P (G::*const)(U, U, U) const>);
  static_assert(std::is_same_v<decltype(A::kHashForAttributes), ULL (G::*const)() const>);
  static_assert(std::is_same_v<decltype(A::kGetOrDoPoint), ULL (G::*const)(Fn1, U) const>);
  static_assert(std::is_same_v<decltype(A::kGetOrDoLine), ULL (G::*const)(Fn1, U) const>);
  static_assert(std::is_same_v<decltype(A::kGetOrDoRing), ULL (G::*const)(Fn2, U, U) const>);
  static_assert(std::is_same_v<decltype(A::kGetOrDoPoly), ULL (G::*const)(Fn1, U) const>);
  static_assert(std::is_same_v<decltype(A::kGetOrDoAttributes), ULL (G::*const)(Fn0) const>);
  static_assert(std::is_same_v<decltype(&G::GetOriginalSRID), SRID (G::*)() const>);
  static_assert(std::is_same_v<decltype(&G::GetConvertedSRID), SRID (G::*)() const>);
  static_assert(std::is_same_v<decltype(&G::GetAttributes), typename G::Attributes (G::*)() const>);
  return true;
}
static_assert(FamilySignatures<Geometry>());
static_assert(FamilySignatures<Geography>());
static_assert(
    std::is_same_v<decltype(&Geometry::GetBias), GeometryCoordinate::Bias (Geometry::*)() const>);
static_assert(std::is_same_v<decltype(&Geography::GetTopologicalType),
                             TopologicalType (Geography::*)() const>);
static_assert(
    std::is_same_v<decltype(&Geography::GetWindingOrder), WindingOrder (Geography::*)() const>);

// Spatial.
static_assert(
    std::is_same_v<decltype(&Spatial::GetCoordinateType), CoordinateType (Spatial::*)() const>);
static_assert(std::is_same_v<decltype(&Spatial::GetShapeType), ShapeType (Spatial::*)() const>);
static_assert(
    std::is_same_v<decltype(&Spatial::GetFormatInfo),
                   std::pair<unsigned int const, std::string const> const& (Spatial::*)() const>);
static_assert(std::is_same_v<decltype(&Spatial::AsGeometry), Geometry const& (Spatial::*)() const>);
static_assert(
    std::is_same_v<decltype(&Spatial::AsGeography), Geography const& (Spatial::*)() const>);
static_assert(std::is_same_v<decltype(&Spatial::AsUnknown), Unknown const& (Spatial::*)() const>);
static_assert(
    std::is_same_v<decltype(&Spatial::AsIdentifying), Identifying const& (Spatial::*)() const>);
static_assert(
    std::is_same_v<decltype(SpatialAccess::kDoHash), void (Spatial::*const)(Hasher&) const>);
static_assert(std::is_same_v<decltype(&Spatial::GetHash), ULL (Spatial::*)() const>);
static_assert(std::is_constructible_v<Identifying, unsigned long long> &&
              std::is_convertible_v<unsigned long long, Identifying>);

// Memory resources.
static_assert(std::is_same_v<decltype(&MemoryResource::Allocate),
                             void* (MemoryResource::*)(std::size_t, std::size_t)>);
static_assert(std::is_same_v<decltype(&MemoryResource::Deallocate),
                             void (MemoryResource::*)(void*, std::size_t, std::size_t)>);
static_assert(std::is_same_v<decltype(&MemoryResource::IsEqual),
                             bool (MemoryResource::*)(MemoryResource const&) const>);

// Hashing primitives and coordinates: the words are unsigned long long, and
// the plain constructors are implicit.
static_assert(std::is_same_v<decltype(&Hasher::End), unsigned long long (Hasher::*)()>);
static_assert(std::is_convertible_v<unsigned long long, AtomicUInt64>);
static_assert(std::is_same_v<decltype(&AtomicUInt64::load),
                             unsigned long long (AtomicUInt64::*)(std::memory_order) const>);
static_assert(
    std::is_same_v<decltype(&AtomicUInt64::store),
                   unsigned long long (AtomicUInt64::*)(unsigned long long, std::memory_order)>);
static_assert(std::is_convertible_v<unsigned long long, GeographyCoordinate::Packed>);
static_assert(std::is_convertible_v<GeographyCoordinate::Packed, GeographyCoordinate>);
static_assert(std::is_same_v<decltype(&GeographyCoordinate::Packed::GetEncoded),
                             unsigned long long (GeographyCoordinate::Packed::*)() const>);
static_assert(std::is_same_v<decltype(&GeometryCoordinate::Packed::GetAsUint64),
                             unsigned long long (GeometryCoordinate::Packed::*)() const>);

// Access levels that later code relies on: the part hashes and point
// coordinates are public in Shape and in Geography, protected in Geometry.
template <class T>
concept HasPublicHashForLine = requires(T const& t) {
  t.HashForLine(0u);
};
template <class T>
concept HasPublicCoordinateForPoint = requires(T const& t) {
  t.CoordinateForPoint(0u);
};
template <class T>
concept HasPublicCounts = requires(T const& t) {
  t.NumberOfLines();
};
static_assert(HasPublicHashForLine<Shape<GeometryCoordinate>> && HasPublicHashForLine<Geography> &&
              !HasPublicHashForLine<Geometry>);
static_assert(HasPublicCoordinateForPoint<Shape<GeometryCoordinate>> &&
              HasPublicCoordinateForPoint<Geography> && !HasPublicCoordinateForPoint<Geometry>);
static_assert(!HasPublicCounts<Shape<GeographyCoordinate>> && !HasPublicCounts<Geography>);

// Nothing that locks or allocates claims noexcept.
static_assert(!std::is_nothrow_move_constructible_v<AtomicUInt64> &&
              !std::is_nothrow_move_assignable_v<AtomicUInt64>);
static_assert(!std::is_nothrow_move_assignable_v<ShapeHashes> &&
              !std::is_nothrow_move_assignable_v<DefaultGeometry> &&
              !std::is_nothrow_move_assignable_v<DefaultGeography>);

// ---- Slots, checked at run time -------------------------------------------

struct SlotCase {
  char const* name;
  int slot;
  int expected;
};

void ExpectSlots(std::initializer_list<SlotCase> cases) {
  for (SlotCase const& c : cases) EXPECT_EQ(c.slot, c.expected) << c.name;
}

TEST(Abi, SpatialAndItsKinds) {
  ExpectSlots({
      {"GetCoordinateType", Slot(&Spatial::GetCoordinateType), 1},
      {"GetShapeType", Slot(&Spatial::GetShapeType), 2},
      {"GetFormatInfo", Slot(&Spatial::GetFormatInfo), 3},
      {"AsGeometry", Slot(&Spatial::AsGeometry), 4},
      {"AsGeography", Slot(&Spatial::AsGeography), 5},
      {"AsUnknown", Slot(&Spatial::AsUnknown), 6},
      {"AsIdentifying", Slot(&Spatial::AsIdentifying), 7},
      {"DoHash", Slot(SpatialAccess::kDoHash), 8},
      {"Unknown::AsUnknown", Slot(&Unknown::AsUnknown), 6},
      {"Identifying::AsIdentifying", Slot(&Identifying::AsIdentifying), 7},
      {"GetHash (not virtual)", Slot(&Spatial::GetHash), -1},
  });
}

TEST(Abi, GeometryPrimaryTable) {
  using A = FamilyAccess<Geometry>;
  ExpectSlots({
      {"GetCoordinateType", Slot(&Geometry::GetCoordinateType), 1},
      {"AsGeometry", Slot(&Geometry::AsGeometry), 4},
      {"DoHash", Slot(A::kDoHash), 8},
      {"GetBias", Slot(&Geometry::GetBias), 9},
      {"GetOriginalSRID", Slot(&Geometry::GetOriginalSRID), 10},
      {"GetConvertedSRID", Slot(&Geometry::GetConvertedSRID), 11},
      {"PackedCoordinateForPoint", Slot(A::kPackedPoint), 12},
      {"PackedCoordinateInLine", Slot(A::kPackedLine), 13},
      {"PackedCoordinateInRingOfPoly", Slot(A::kPackedRing), 14},
      {"HashForAttributes", Slot(A::kHashForAttributes), 15},
      {"GetOrDoHashForPoint", Slot(A::kGetOrDoPoint), 16},
      {"GetOrDoHashForLine", Slot(A::kGetOrDoLine), 17},
      {"GetOrDoHashForRingOfPoly", Slot(A::kGetOrDoRing), 18},
      {"GetOrDoHashForPoly", Slot(A::kGetOrDoPoly), 19},
      {"GetOrDoHashForAttributes", Slot(A::kGetOrDoAttributes), 20},
  });
  // The shape overrides take their extra entries only after the table.
  EXPECT_GT(Slot(A::kCoordinateForPoint), 20);
  EXPECT_GT(Slot(A::kHashForLine), 20);
}

TEST(Abi, GeographyPrimaryTable) {
  using A = FamilyAccess<Geography>;
  ExpectSlots({
      {"GetCoordinateType", Slot(&Geography::GetCoordinateType), 1},
      {"AsGeography", Slot(&Geography::AsGeography), 5},
      {"DoHash", Slot(A::kDoHash), 8},
      {"HashForAttributes", Slot(&Geography::HashForAttributes), 9},
      {"PackedCoordinateForPoint", Slot(A::kPackedPoint), 10},
      {"PackedCoordinateInLine", Slot(A::kPackedLine), 11},
      {"PackedCoordinateInRingOfPoly", Slot(A::kPackedRing), 12},
      {"GetOriginalSRID", Slot(&Geography::GetOriginalSRID), 13},
      {"GetConvertedSRID", Slot(&Geography::GetConvertedSRID), 14},
      {"GetTopologicalType", Slot(&Geography::GetTopologicalType), 15},
      {"GetWindingOrder", Slot(&Geography::GetWindingOrder), 16},
      {"GetOrDoHashForPoint", Slot(A::kGetOrDoPoint), 17},
      {"GetOrDoHashForLine", Slot(A::kGetOrDoLine), 18},
      {"GetOrDoHashForRingOfPoly", Slot(A::kGetOrDoRing), 19},
      {"GetOrDoHashForPoly", Slot(A::kGetOrDoPoly), 20},
      {"GetOrDoHashForAttributes", Slot(A::kGetOrDoAttributes), 21},
  });
  EXPECT_GT(Slot(&Geography::CoordinateForPoint), 21);
  EXPECT_GT(Slot(&Geography::HashForLine), 21);
}

template <class C>
void ExpectShapeTable() {
  using S = Shape<C>;
  using A = ShapeAccess<C>;
  ExpectSlots({
      {"ShapeLineOwner::CoordinateInLine", Slot(&ShapeLineOwner<C>::CoordinateInLine), 1},
      {"ShapeRingOwner::CoordinateInRingOfPoly", Slot(&ShapeRingOwner<C>::CoordinateInRingOfPoly),
       1},
      {"CoordinateInLine", Slot(&S::CoordinateInLine), 1},
      {"NumberOfPoints", Slot(A::kNumberOfPoints), 2},
      {"CoordinateForPoint", Slot(&S::CoordinateForPoint), 3},
      {"GetLineOwner", Slot(A::kGetLineOwner), 4},
      {"NumberOfLines", Slot(A::kNumberOfLines), 5},
      {"SizeOfLine", Slot(A::kSizeOfLine), 6},
      {"GetRingOwner", Slot(A::kGetRingOwner), 7},
      {"NumberOfPolys", Slot(A::kNumberOfPolys), 8},
      {"SizeOfPoly", Slot(A::kSizeOfPoly), 9},
      {"SizeOfRingInPoly", Slot(A::kSizeOfRingInPoly), 10},
      {"HashForPoint", Slot(&S::HashForPoint), 11},
      {"HashForLine", Slot(&S::HashForLine), 12},
      {"HashForPoly", Slot(&S::HashForPoly), 13},
      {"HashForRingOfPoly", Slot(&S::HashForRingOfPoly), 14},
  });
}

TEST(Abi, ShapeTables) {
  ExpectShapeTable<GeometryCoordinate>();
  ExpectShapeTable<GeographyCoordinate>();
}

TEST(Abi, MemoryResourceTable) {
  ExpectSlots({
      {"Allocate", Slot(&MemoryResource::Allocate), 1},
      {"Deallocate", Slot(&MemoryResource::Deallocate), 2},
      {"IsEqual", Slot(&MemoryResource::IsEqual), 3},
  });
}

// A format written to the documentation, with the documented types and
// access levels, compiles, overrides every pure slot and hashes like the
// default format.
class DocumentedGeography final : public Geography {
 public:
  explicit DocumentedGeography(GeographyCoordinate::Packed p) : point_(p) {}
  ShapeType GetShapeType() const override { return ShapeType::Point; }
  std::pair<unsigned int const, std::string const> const& GetFormatInfo() const override {
    return DefaultFormat::GetRegisteredFormatInfo();
  }
  SRID GetOriginalSRID() const override { return SRID::WGS84(); }
  SRID GetConvertedSRID() const override { return SRID::WGS84(); }
  TopologicalType GetTopologicalType() const override { return TopologicalType::Spheroidal; }
  WindingOrder GetWindingOrder() const override { return WindingOrder::InteriorLeft; }

 protected:
  GeographyCoordinate::Packed PackedCoordinateForPoint(unsigned int) const override {
    return point_;
  }
  GeographyCoordinate::Packed PackedCoordinateInLine(unsigned int, unsigned int) const override {
    return {};
  }
  GeographyCoordinate::Packed PackedCoordinateInRingOfPoly(unsigned int, unsigned int,
                                                           unsigned int) const override {
    return {};
  }
  unsigned long long GetOrDoHashForPoint(std::function<unsigned long long(unsigned int)> fn,
                                         unsigned int i) const override {
    return fn(i);
  }
  unsigned long long GetOrDoHashForLine(std::function<unsigned long long(unsigned int)> fn,
                                        unsigned int l) const override {
    return fn(l);
  }
  unsigned long long GetOrDoHashForRingOfPoly(
      std::function<unsigned long long(unsigned int, unsigned int)> fn, unsigned int p,
      unsigned int r) const override {
    return fn(p, r);
  }
  unsigned long long GetOrDoHashForPoly(std::function<unsigned long long(unsigned int)> fn,
                                        unsigned int p) const override {
    return fn(p);
  }
  unsigned long long GetOrDoHashForAttributes(
      std::function<unsigned long long()> fn) const override {
    return fn();
  }
  unsigned int NumberOfPoints() const override { return 1; }
  unsigned int NumberOfLines() const override { return 0; }
  unsigned int SizeOfLine(unsigned int) const override { return 0; }
  unsigned int NumberOfPolys() const override { return 0; }
  unsigned int SizeOfPoly(unsigned int) const override { return 0; }
  unsigned int SizeOfRingInPoly(unsigned int, unsigned int) const override { return 0; }

 private:
  GeographyCoordinate::Packed point_;
};

TEST(Abi, DocumentedFormatOverridesAndHashesAlike) {
  GeographyCoordinate::Packed p = 0x60000000309120EAULL;
  DocumentedGeography const documented(p);
  DefaultGeography::Points points(1, GeographyCoordinate(p));
  DefaultGeography const reference(points, {}, {});
  EXPECT_EQ(documented.GetHash(), reference.GetHash());
  EXPECT_TRUE(documented.GetPoints()[0] == reference.GetPoints()[0]);
}

}  // namespace
}  // namespace ostrel
