// The binary interface of the stored formats: the box accessor's seven
// virtual slots in their documented order with no destructor among them,
// the format tags' single virtual destructor, base order, field order of the
// records, and every fixed signature.
//
// Slots are read from Itanium member-function pointers (the word of a
// virtual function is 1 + the byte offset of its entry). The accessor's
// table has no destructor, so its documented slot k is ABI entry k.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <type_traits>
#include <utility>

#include "ostrel/legacy/bounding_box_accessor.hpp"
#include "ostrel/legacy/compressed_spatial_writer.hpp"
#include "ostrel/legacy/crc.hpp"
#include "ostrel/legacy/legacy_format.hpp"
#include "ostrel/legacy/metadata.hpp"
#include "ostrel/legacy/rounding.hpp"
#include "ostrel/legacy/storage.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/ogr/ogr_format.hpp"

namespace ostrel {
namespace {

namespace LS = LegacySerialization;
using U = unsigned int;

// The ABI entry of a virtual member function pointer, or -1.
template <class M>
int Entry(M mfp) {
  static_assert(sizeof(M) == 2 * sizeof(std::ptrdiff_t), "Itanium member-function pointers");
  auto const words = std::bit_cast<std::array<std::ptrdiff_t, 2>>(mfp);
  if ((words[0] & 1) == 0) return -1;
  return static_cast<int>((words[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*)));
}

// ---- BoundingBoxAccessor ------------------------------------------------------

template <class G>
constexpr bool AccessorSignatures() {
  using A = LS::BoundingBoxAccessor<G>;
  using C = typename G::Coordinate;
  using Box = std::pair<C, C>;
  using Query = Box (A::*)(U) const;
  static_assert(std::is_same_v<typename A::Box, Box>);
  static_assert(std::is_same_v<decltype(&A::BoundingBoxForPoint), Query>);
  static_assert(std::is_same_v<decltype(&A::BoundingBoxForLineString), Query>);
  static_assert(std::is_same_v<decltype(&A::BoundingBoxForPolygon), Query>);
  static_assert(std::is_same_v<decltype(&A::BoundingBoxForMultiPoint), Query>);
  static_assert(std::is_same_v<decltype(&A::BoundingBoxForMultiLineString), Query>);
  static_assert(std::is_same_v<decltype(&A::BoundingBoxForMultiPolygon), Query>);
  static_assert(std::is_same_v<decltype(&A::BoundingBoxForMixed), Box (A::*)() const>);
  static_assert(std::is_same_v<decltype(&A::GetDefault), A const& (*)()>);
  // Never deleted through the interface: no virtual destructor, and not
  // destructible from outside.
  static_assert(std::is_polymorphic_v<A> && !std::has_virtual_destructor_v<A>);
  static_assert(!std::is_destructible_v<A>);
  return true;
}
static_assert(AccessorSignatures<Geometry>());
static_assert(AccessorSignatures<Geography>());

template <class G>
void ExpectAccessorSlots() {
  using A = LS::BoundingBoxAccessor<G>;
  EXPECT_EQ(Entry(&A::BoundingBoxForPoint), 0);
  EXPECT_EQ(Entry(&A::BoundingBoxForLineString), 1);
  EXPECT_EQ(Entry(&A::BoundingBoxForPolygon), 2);
  EXPECT_EQ(Entry(&A::BoundingBoxForMultiPoint), 3);
  EXPECT_EQ(Entry(&A::BoundingBoxForMultiLineString), 4);
  EXPECT_EQ(Entry(&A::BoundingBoxForMultiPolygon), 5);
  EXPECT_EQ(Entry(&A::BoundingBoxForMixed), 6);
  // The table holds exactly these seven entries.
  struct Probe final : A {
    virtual int Next() const { return 1; }
  };
  EXPECT_EQ(Entry(&Probe::Next), 7);
}

TEST(LegacyAbi, BoundingBoxAccessorSlots) {
  ExpectAccessorSlots<Geometry>();
  ExpectAccessorSlots<Geography>();
}

// ---- Format tags and the value classes --------------------------------------------

TEST(LegacyAbi, FormatTagsHaveOneVirtualDestructor) {
  static_assert(std::has_virtual_destructor_v<LegacyFormat> &&
                std::has_virtual_destructor_v<OgrFormat>);
  static_assert(sizeof(LegacyFormat) == sizeof(void*) && sizeof(OgrFormat) == sizeof(void*));
  struct LegacyProbe final : LegacyFormat {
    virtual int Next() const { return 1; }
  };
  struct OgrProbe final : OgrFormat {
    virtual int Next() const { return 1; }
  };
  EXPECT_EQ(Entry(&LegacyProbe::Next), 2);  // after the two destructor entries
  EXPECT_EQ(Entry(&OgrProbe::Next), 2);
  static_assert(std::is_same_v<decltype(&LegacyFormat::GetRegisteredFormatInfo),
                               std::pair<unsigned int const, std::string const> const& (*)()>);
  static_assert(std::is_same_v<decltype(&OgrFormat::GetRegisteredFormatInfo),
                               std::pair<unsigned int const, std::string const> const& (*)()>);
  auto const& legacy = LegacyFormat::GetRegisteredFormatInfo();
  auto const& ogr = OgrFormat::GetRegisteredFormatInfo();
  EXPECT_EQ(&legacy, &LegacyFormat::GetRegisteredFormatInfo());
  EXPECT_EQ(legacy.second, "LegacyFormat:" + std::to_string(legacy.first));
  EXPECT_EQ(ogr.second, "OgrFormat:" + std::to_string(ogr.first));
  EXPECT_NE(legacy.first, ogr.first);
  EXPECT_EQ(&LegacyGeometry().GetFormatInfo(), &legacy);
  EXPECT_EQ(&LegacyGeography().GetFormatInfo(), &legacy);
  EXPECT_EQ(&OgrGeometry().GetFormatInfo(), &ogr);
  EXPECT_EQ(&OgrGeography().GetFormatInfo(), &ogr);
}

// Bases in the documented order: the family first (so a value pointer is a
// family pointer), then the format tag, then the box accessor.
template <class V, class G, class Tag>
void ExpectBaseOrder() {
  alignas(V) unsigned char storage[sizeof(V)];
  auto const* v = reinterpret_cast<V const*>(storage);
  auto const at = [&](void const* p) {
    return reinterpret_cast<std::uintptr_t>(p) - reinterpret_cast<std::uintptr_t>(v);
  };
  EXPECT_EQ(at(static_cast<G const*>(v)), 0u);
  EXPECT_GT(at(static_cast<Tag const*>(v)), 0u);
  EXPECT_GT(at(static_cast<LS::BoundingBoxAccessor<G> const*>(v)), at(static_cast<Tag const*>(v)));
}

TEST(LegacyAbi, BaseOrder) {
  ExpectBaseOrder<LegacyGeometry, Geometry, LegacyFormat>();
  ExpectBaseOrder<LegacyGeography, Geography, LegacyFormat>();
  ExpectBaseOrder<OgrGeometry, Geometry, OgrFormat>();
  ExpectBaseOrder<OgrGeography, Geography, OgrFormat>();
}

// The overrides are declared by the format classes (their member pointers
// have the format's class type); the other five keep the base's answers.
template <class S, class G>
constexpr bool OverrideSignatures() {
  using C = typename G::Coordinate;
  using Box = std::pair<C, C>;
  static_assert(std::is_same_v<decltype(&S::BoundingBoxForLineString), Box (S::*)(U) const>);
  static_assert(std::is_same_v<decltype(&S::BoundingBoxForPolygon), Box (S::*)(U) const>);
  using A = LS::BoundingBoxAccessor<G>;
  static_assert(std::is_same_v<decltype(&S::BoundingBoxForPoint), Box (A::*)(U) const>);
  static_assert(std::is_same_v<decltype(&S::BoundingBoxForMixed), Box (A::*)() const>);
  static_assert(std::is_same_v<decltype(&S::GetShapeType), ShapeType (S::*)() const>);
  return true;
}
static_assert(OverrideSignatures<LegacySpatial<Geometry>, Geometry>());
static_assert(OverrideSignatures<LegacySpatial<Geography>, Geography>());
static_assert(OverrideSignatures<OgrSpatial<Geometry>, Geometry>());
static_assert(OverrideSignatures<OgrSpatial<Geography>, Geography>());
static_assert(std::is_same_v<decltype(&LegacySpatial<Geometry>::GetStorage),
                             LS::Storage<Geometry> const& (LegacySpatial<Geometry>::*)() const>);

// Constructors as documented; nothing that locks is noexcept.
template <class V, class G>
constexpr bool Constructors() {
  using Points = ResourceVector<typename G::Coordinate>;
  using Lines = ResourceVector<Points>;
  using Polys = ResourceVector<Lines>;
  static_assert(std::is_default_constructible_v<V>);
  static_assert(std::is_constructible_v<V, Points const&, Lines const&, Polys const&>);
  static_assert(std::is_constructible_v<V, Points const&, Lines const&, Polys const&,
                                        typename G::Attributes const&>);
  static_assert(std::is_copy_constructible_v<V> && std::is_copy_assignable_v<V>);
  static_assert(!std::is_nothrow_move_constructible_v<V> && !std::is_nothrow_move_assignable_v<V>);
  static_assert(std::is_same_v<decltype(&V::swap), void (V::*)(V&)>);
  return true;
}
static_assert(Constructors<LegacyGeometry, Geometry>());
static_assert(Constructors<LegacyGeography, Geography>());
static_assert(Constructors<OgrGeometry, Geometry>());
static_assert(Constructors<OgrGeography, Geography>());
static_assert(std::is_constructible_v<LegacyGeometry, LS::Storage<Geometry>&&> &&
              !std::is_convertible_v<LS::Storage<Geometry>&&, LegacyGeometry>);
static_assert(std::is_constructible_v<LegacySpatial<Geography>, LS::Storage<Geography>&&> ||
              std::is_abstract_v<LegacySpatial<Geography>>);
static_assert(std::is_constructible_v<OgrGeography, ShapeType, OgrGeography::PackedPoints&&,
                                      OgrGeography::PackedLines&&, OgrGeography::PackedPolys&&,
                                      Geography::Attributes const&>);
static_assert(
    std::is_same_v<OgrGeometry::PackedLines,
                   ResourceVector<std::pair<ResourceVector<GeometryCoordinate::Packed>,
                                            std::pair<GeometryCoordinate, GeometryCoordinate>>>>);
static_assert(std::is_same_v<
              OgrGeography::PackedPolys,
              ResourceVector<std::pair<ResourceVector<ResourceVector<GeographyCoordinate::Packed>>,
                                       std::pair<GeographyCoordinate, GeographyCoordinate>>>>);

// Counting and owner accessors stay protected, as in Shape.
template <class T>
concept HasPublicCounts = requires(T const& t) {
  t.NumberOfLines();
};
template <class T>
concept HasPublicLineOwner = requires(T const& t) {
  t.GetLineOwner(0u);
};
static_assert(!HasPublicCounts<LegacyGeography> && !HasPublicCounts<OgrGeometry>);
static_assert(!HasPublicLineOwner<LegacyGeometry> && !HasPublicLineOwner<OgrGeography>);

// ---- Records, in field order ------------------------------------------------------

template <class C>
void ExpectRecordFieldOrder() {
  auto order = [](auto const&... fields) {
    std::uintptr_t const at[] = {reinterpret_cast<std::uintptr_t>(&fields)...};
    for (std::size_t i = 1; i < sizeof...(fields); ++i) EXPECT_LT(at[i - 1], at[i]) << i;
  };
  LS::detail::SerializedLine<C> const line;
  order(line.bytes, line.count, line.box, line.hash, line.compressed, line.precision);
  EXPECT_EQ(line.compressed, 1);
  EXPECT_EQ(line.precision, 0);
  LS::detail::SerializedRing<C> const ring;
  order(ring.bytes, ring.count, ring.box, ring.hash);
  LS::detail::SerializedPoly<C> const poly;
  order(poly.rings, poly.box, poly.hash, poly.compressed, poly.precision);
  EXPECT_EQ(poly.compressed, 0);
  EXPECT_EQ(poly.precision, 0);
  static_assert(std::is_same_v<decltype(line.count), std::uint32_t>);
  static_assert(std::is_same_v<decltype(line.precision), std::int8_t>);
  static_assert(std::is_same_v<decltype(line.compressed), std::uint8_t>);
  static_assert(std::is_same_v<decltype(line.box), std::pair<C, C>>);
  static_assert(std::is_same_v<decltype(line.bytes), ResourceVector<std::uint8_t>>);
  static_assert(std::is_base_of_v<ShapeLineOwner<C>, LS::detail::LegacyLineOwner<C>>);
  static_assert(std::is_base_of_v<ShapeRingOwner<C>, LS::detail::LegacyRingOwner<C>>);
}

TEST(LegacyAbi, RecordsInFieldOrder) {
  ExpectRecordFieldOrder<GeometryCoordinate>();
  ExpectRecordFieldOrder<GeographyCoordinate>();
  LS::Storage<Geography> const storage;
  auto const at = [](void const* p) { return reinterpret_cast<std::uintptr_t>(p); };
  EXPECT_LT(at(&storage.shape_type), at(&storage.points));
  EXPECT_LT(at(&storage.points), at(&storage.lines));
  EXPECT_LT(at(&storage.lines), at(&storage.polygons));
  EXPECT_LT(at(&storage.polygons), at(&storage.attribute_hash));
  EXPECT_EQ(storage.shape_type, ShapeType::Empty);
  static_assert(std::is_standard_layout_v<LS::Metadata>);
  static_assert(offsetof(LS::Metadata, version) < offsetof(LS::Metadata, serializer_type) &&
                offsetof(LS::Metadata, serializer_type) < offsetof(LS::Metadata, spatial_type) &&
                offsetof(LS::Metadata, spatial_type) < offsetof(LS::Metadata, category) &&
                offsetof(LS::Metadata, category) < offsetof(LS::Metadata, crc) &&
                offsetof(LS::Metadata, crc) < offsetof(LS::Metadata, precision));
  static_assert(std::is_same_v<decltype(LS::Metadata::version), std::uint32_t> &&
                std::is_same_v<decltype(LS::Metadata::serializer_type), std::uint8_t> &&
                std::is_same_v<decltype(LS::Metadata::crc), std::uint32_t> &&
                std::is_same_v<decltype(LS::Metadata::precision), std::int8_t> &&
                std::is_same_v<decltype(LS::Metadata::Signature), std::uint16_t const>);
}

// ---- Free functions -------------------------------------------------------------------

static_assert(std::is_same_v<decltype(&LS::CRC),
                             std::uint32_t (*)(std::uint32_t, std::uint8_t const*, std::size_t)>);
static_assert(std::is_same_v<decltype(&LS::Power10), double (*)(std::int8_t)>);
static_assert(std::is_same_v<decltype(&LS::RoundToPowerOf10), double (*)(double, std::int8_t)>);
static_assert(std::is_same_v<decltype(&LS::Round), double (*)(double, std::int8_t)>);
static_assert(std::is_same_v<decltype(&LS::Write), ResourceVector<std::uint8_t> (*)(
                                                       Spatial const&, std::uint8_t, std::int8_t)>);
static_assert(std::is_same_v<decltype(&LS::Read), SpatialPtr (*)(std::span<std::uint8_t const>)>);
static_assert(
    std::is_same_v<decltype(&LS::ReadHeader), LS::Metadata (*)(std::span<std::uint8_t const>)>);
static_assert(
    std::is_same_v<decltype(&LS::CategoryToCoordinateType), CoordinateType (*)(LS::Category)>);
static_assert(
    std::is_same_v<decltype(&LS::CoordinateTypeToCategory), LS::Category (*)(CoordinateType)>);
static_assert(
    std::is_same_v<decltype(&LS::ShapeTypeToSpatialType), LS::SpatialType (*)(ShapeType)>);
static_assert(
    std::is_same_v<decltype(&LS::SpatialTypeToShapeType), ShapeType (*)(LS::SpatialType)>);
static_assert(std::is_same_v<decltype(&LS::IsSingular), bool (*)(LS::SpatialType)>);
static_assert(std::is_same_v<decltype(&LS::SingularToMulti), LS::SpatialType (*)(LS::SpatialType)>);
static_assert(std::is_same_v<decltype(&LS::MultiToSingular), LS::SpatialType (*)(LS::SpatialType)>);
static_assert(std::is_same_v<decltype(LS::detail::CreateCompressedWriter(
                                 std::declval<Geometry const&>(), std::int8_t{})),
                             LS::CompressedSpatialWriter<Geometry>>);
static_assert(std::is_same_v<decltype(LS::detail::CreateCompressedWriter(
                                 std::declval<Geography const&>(), std::int8_t{})),
                             LS::CompressedSpatialWriter<Geography>>);
static_assert(std::is_constructible_v<LS::CompressedSpatialWriter<Geography>, std::int8_t,
                                      Geography const&, LS::BoundingBoxAccessor<Geography> const&>);
static_assert(std::is_same_v<std::underlying_type_t<LS::SpatialType>, std::uint8_t> &&
              std::is_same_v<std::underlying_type_t<LS::Category>, std::uint8_t>);

}  // namespace
}  // namespace ostrel
