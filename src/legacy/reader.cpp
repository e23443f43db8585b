// The legacy stream reader.
//
// A stream is untrusted: every count is compared with the bytes that remain
// (at the smallest size its items can have) before anything is reserved for
// it, sections are read as readers of their own so that nothing inside them
// reaches beyond them, and every line and ring is decoded once, into
// nothing, so that a value that reads also decodes. A mixed body is walked
// twice: once to count its points, lines and polygons, so that the records'
// vectors are reserved exactly and never reallocate (records lock to move,
// so a growing vector would copy them), and once to store them.
#include "reader.hpp"

#include <type_traits>

#include "codec.hpp"
#include "decode.hpp"
#include "ostrel/core/internal/no_destructor.hpp"
#include "ostrel/legacy/legacy_format.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/spatial/unknown.hpp"

namespace ostrel::LegacySerialization {
namespace detail {
namespace {

using codec::Reader;

enum ItemType : std::uint8_t { kPointItem = 1, kLineItem = 2, kPolygonItem = 3 };

// The counts of a mixed body, from its first walk.
struct Counts {
  std::size_t points = 0;
  std::size_t lines = 0;
  std::size_t polygons = 0;
};

// The type byte of a mixed item: 1-3 are items; multis are rejected; 0, 8
// and 9 are unknown; above 9 an item without content.
void CheckItemType(std::uint8_t type) {
  if (type >= 4 && type <= 7) codec::ThrowMultiWithinMixed();
  if (type == 0 || type == 8 || type == 9) codec::ThrowUnknownSpatialType();
}

// What both bodies share: the storage being filled, and whether this walk
// stores or only counts.
template <class G>
class Body {
 protected:
  using C = typename G::Coordinate;
  using Packed = typename C::Packed;
  using Line = SerializedLine<C>;
  using Ring = SerializedRing<C>;
  using Poly = SerializedPoly<C>;

  Body(Reader in, Storage<G>& out, bool store) : in_(in), out_(out), store_(store) {}

  static ResourceVector<std::uint8_t> Copy(std::uint8_t const* begin, std::uint8_t const* end) {
    return ResourceVector<std::uint8_t>(begin, end);
  }

  Reader in_;
  Storage<G>& out_;
  bool const store_;
  Counts counts_;
};

// ---- Plain --------------------------------------------------------------------

template <class G>
class PlainBody : Body<G> {
  using typename Body<G>::C;
  using typename Body<G>::Packed;
  using Body<G>::in_;
  using Body<G>::out_;
  using Body<G>::store_;
  using Body<G>::counts_;

 public:
  PlainBody(Reader in, Storage<G>& out, bool store) : Body<G>(in, out, store) {}

  Counts Read(SpatialType type) {
    switch (type) {
      case SpatialType::Point: Point(); break;
      case SpatialType::LineString: LineString(); break;
      case SpatialType::Polygon: Polygon(); break;
      case SpatialType::MultiPoint: {
        std::uint32_t const n = in_.U32();
        in_.NeedItems(n, 16);
        out_.points.reserve(n);
        for (std::uint32_t i = 0; i < n; ++i) Point();
        break;
      }
      case SpatialType::MultiLineString: {
        std::uint32_t const n = in_.U32();
        in_.NeedItems(n, 4);
        out_.lines.reserve(n);
        for (std::uint32_t i = 0; i < n; ++i) LineString();
        break;
      }
      case SpatialType::MultiPolygon: {
        std::uint32_t const n = in_.U32();
        in_.NeedItems(n, 4);
        out_.polygons.reserve(n);
        for (std::uint32_t i = 0; i < n; ++i) Polygon();
        break;
      }
      case SpatialType::Mixed: {
        std::uint32_t const n = in_.U32();
        in_.NeedItems(n, 1);
        for (std::uint32_t i = 0; i < n; ++i) {
          std::uint8_t const item = in_.U8();
          CheckItemType(item);
          if (item == kPointItem) Point();
          if (item == kLineItem) LineString();
          if (item == kPolygonItem) Polygon();
        }
        break;
      }
      default: codec::ThrowUnknownSpatialType();
    }
    return counts_;
  }

 private:
  void Point() {
    std::uint8_t const* p = in_.Take(16);
    ++counts_.points;
    if (store_)
      out_.points.push_back(codec::PackPlain<C>(codec::LoadF64(p), codec::LoadF64(p + 8)));
  }

  // Geographic latitudes must pass the range check when decoded; planar
  // doubles always pack.
  static void Check(std::uint8_t const* p, std::uint32_t n) {
    if constexpr (!codec::kPlanar<C>) {
      for (std::uint32_t i = 0; i < n; ++i, p += 16) (void)Latitude(Radians(codec::LoadF64(p)));
    }
  }

  // A line string's or ring's count and coordinates, checked and kept.
  template <class Record>
  void Run(Record& record) {
    std::uint32_t const n = in_.U32();
    in_.NeedItems(n, 16);
    std::uint8_t const* p = in_.Take(std::size_t{16} * n);
    if (!store_) return;
    Check(p, n);
    record.bytes = Body<G>::Copy(p, p + std::size_t{16} * n);
    record.count = n;
  }

  void LineString() {
    ++counts_.lines;
    if (!store_) {
      typename Body<G>::Line ignored;
      return Run(ignored);
    }
    auto& line = out_.lines.emplace_back();
    line.compressed = 0;
    line.precision = 0;
    Run(line);
  }

  void Polygon() {
    ++counts_.polygons;
    std::uint32_t const rings = in_.U32();
    in_.NeedItems(rings, 4);
    typename Body<G>::Ring ignored;
    if (!store_) {
      for (std::uint32_t r = 0; r < rings; ++r) Run(ignored);
      return;
    }
    auto& poly = out_.polygons.emplace_back();
    poly.rings.reserve(rings);
    for (std::uint32_t r = 0; r < rings; ++r) Run(poly.rings.emplace_back());
  }
};

// ---- Compressed -----------------------------------------------------------------

template <class G>
class CompressedBody : Body<G> {
  using typename Body<G>::C;
  using typename Body<G>::Packed;
  using Body<G>::in_;
  using Body<G>::out_;
  using Body<G>::store_;
  using Body<G>::counts_;
  using Box = std::pair<C, C>;

 public:
  CompressedBody(Reader in, Storage<G>& out, bool store, std::int8_t precision)
      : Body<G>(in, out, store), precision_(precision), grid_(precision) {}

  Counts Read(SpatialType type) {
    switch (type) {
      case SpatialType::Point:
        BoxSection(in_, nullptr);
        Point(in_);
        break;
      case SpatialType::LineString: LineString(in_); break;
      case SpatialType::Polygon: Polygon(in_); break;
      case SpatialType::MultiPoint: {
        BoxSection(in_, nullptr);
        Reader list = in_.Section();
        std::uint64_t const n = list.Varint();
        auto const sink = [this](Packed p) { out_.points.push_back(p); };
        if (n > list.Remaining() / 2) codec::ThrowEndOfStream();
        out_.points.reserve(n);
        counts_.points += n;
        if (codec::DecodeCompressed<C>(list.Position(), list.End(), n, precision_, sink) !=
            list.End()) {
          codec::ThrowMalformedSection();
        }
        break;
      }
      case SpatialType::MultiLineString: {
        BoxSection(in_, nullptr);
        std::uint64_t const n = in_.Varint();
        in_.NeedItems(n, 3);  // an empty box and a list of no coordinates
        out_.lines.reserve(n);
        for (std::uint64_t i = 0; i < n; ++i) LineString(in_);
        break;
      }
      case SpatialType::MultiPolygon: {
        BoxSection(in_, nullptr);
        std::uint64_t const n = in_.Varint();
        in_.NeedItems(n, 2);  // an empty box and no rings
        out_.polygons.reserve(n);
        for (std::uint64_t i = 0; i < n; ++i) Polygon(in_);
        break;
      }
      case SpatialType::Mixed: {
        BoxSection(in_, nullptr);
        std::uint64_t const n = in_.Varint();
        in_.NeedItems(n, 1);
        for (std::uint64_t i = 0; i < n; ++i) {
          std::uint8_t const item = in_.U8();
          CheckItemType(item);
          if (item == kPointItem) Point(in_);
          if (item == kLineItem) LineString(in_);
          if (item == kPolygonItem) Polygon(in_);
        }
        break;
      }
      default: codec::ThrowUnknownSpatialType();
    }
    return counts_;
  }

 private:
  // A box section: the varint 0, or a section holding a section holding the
  // byte 3 and four quantised numbers. Stored into *box when given.
  void BoxSection(Reader& in, Box* box) {
    Reader outer = in.Section();
    if (outer.AtEnd()) return;
    Reader inner = outer.Section();
    if (!outer.AtEnd() || inner.U8() != 3) codec::ThrowMalformedSection();
    double const x = static_cast<double>(inner.Quantised()) * grid_.step;
    double const y = static_cast<double>(inner.Quantised()) * grid_.step;
    double const width = static_cast<double>(inner.Quantised()) * grid_.step;
    double const height = static_cast<double>(inner.Quantised()) * grid_.step;
    if (!inner.AtEnd()) codec::ThrowMalformedSection();
    if (box != nullptr && store_) *box = {Corner(x, y), Corner(x + width, y + height)};
  }

  // A box corner, unchecked: one beyond the poles is simply invalid.
  static C Corner(double x, double y) {
    if constexpr (codec::kPlanar<C>) {
      return GeometryCoordinate(x, y);
    } else {
      return GeographyCoordinate(Latitude(x), Longitude(y));
    }
  }

  void Point(Reader& in) {
    ++counts_.points;
    double const a = 0.0 + static_cast<double>(in.Quantised()) * grid_.step;
    double const b = 0.0 + static_cast<double>(in.Quantised()) * grid_.step;
    if (store_) out_.points.push_back(codec::PackSums<C>(a, b, grid_));
  }

  // A coordinate list section into a record: its pairs are kept as they are
  // and decoded once into nothing, to be sure they will decode. `ring`: the
  // closing coordinate is not stored.
  template <class Record>
  void List(Reader& in, Record& record, bool ring) {
    Reader list = in.Section();
    std::uint64_t const n = list.Varint();
    if (n > list.Remaining() / 2) codec::ThrowEndOfStream();
    if (!store_) return;
    auto const ignore = [](Packed) {};
    if (codec::DecodeCompressed<C>(list.Position(), list.End(), n, precision_, ignore) !=
        list.End()) {
      codec::ThrowMalformedSection();
    }
    record.bytes = Body<G>::Copy(list.Position(), list.End());
    // n is below the section's length, so n + 1 fits 32 bits for any
    // stream shorter than 8 GiB; longer ones are refused rather than wrapped.
    if (n >= 0xFFFFFFFFu) codec::ThrowMalformedSection();
    record.count = static_cast<std::uint32_t>(ring && n != 0 ? n + 1 : n);
  }

  void LineString(Reader& in) {
    ++counts_.lines;
    if (!store_) {
      typename Body<G>::Line ignored;
      BoxSection(in, nullptr);
      return List(in, ignored, false);
    }
    auto& line = out_.lines.emplace_back();
    line.compressed = 1;
    line.precision = precision_;
    BoxSection(in, &line.box);
    List(in, line, false);
  }

  void Polygon(Reader& in) {
    ++counts_.polygons;
    typename Body<G>::Poly ignored;
    auto& poly = store_ ? out_.polygons.emplace_back() : ignored;
    poly.compressed = 1;
    poly.precision = precision_;
    BoxSection(in, &poly.box);
    std::uint64_t const rings = in.Varint();
    in.NeedItems(rings, 2);  // a section length and a count
    if (!store_) {
      typename Body<G>::Ring ring;
      for (std::uint64_t r = 0; r < rings; ++r) List(in, ring, true);
      return;
    }
    poly.rings.reserve(rings);
    for (std::uint64_t r = 0; r < rings; ++r) List(in, poly.rings.emplace_back(), true);
  }

  std::int8_t const precision_;
  codec::Grid const grid_;
};

// One walk of the body: counting (store = false) or storing.
template <class G>
Counts Walk(std::span<std::uint8_t const> stream, Metadata const& metadata, Storage<G>& out,
            bool store) {
  Reader const in(stream.data() + HeaderSize(metadata), stream.data() + stream.size());
  if (metadata.serializer_type == kPlain) {
    return PlainBody<G>(in, out, store).Read(metadata.spatial_type);
  }
  return CompressedBody<G>(in, out, store, metadata.precision).Read(metadata.spatial_type);
}

}  // namespace

template <class G>
Storage<G> ReadBody(std::span<std::uint8_t const> stream, Metadata const& metadata) {
  if (metadata.serializer_type != kPlain && metadata.serializer_type != kCompressed) {
    codec::ThrowUnknownSerializerType();
  }
  if (metadata.spatial_type == SpatialType::Unknown ||
      metadata.spatial_type == SpatialType::Sentinel) {
    codec::ThrowUnknownSpatialType();
  }
  Storage<G> storage;
  storage.shape_type = SpatialTypeToShapeType(metadata.spatial_type);
  if (metadata.spatial_type == SpatialType::Mixed) {
    Counts const counts = Walk<G>(stream, metadata, storage, false);
    storage.points.reserve(counts.points);
    storage.lines.reserve(counts.lines);
    storage.polygons.reserve(counts.polygons);
  }
  Walk<G>(stream, metadata, storage, true);
  return storage;
}

template Storage<Geometry> ReadBody<Geometry>(std::span<std::uint8_t const>, Metadata const&);
template Storage<Geography> ReadBody<Geography>(std::span<std::uint8_t const>, Metadata const&);

}  // namespace detail

SpatialPtr Read(std::span<std::uint8_t const> bytes) {
  Metadata const metadata = ReadHeader(bytes);
  switch (metadata.category) {
    case Category::Geometry:
      return MakeSpatial<LegacyGeometry>(detail::ReadBody<Geometry>(bytes, metadata));
    case Category::Geography:
      return MakeSpatial<LegacyGeography>(detail::ReadBody<Geography>(bytes, metadata));
    default:
      if (metadata.serializer_type != kPlain && metadata.serializer_type != kCompressed) {
        codec::ThrowUnknownSerializerType();
      }
      if (metadata.spatial_type == SpatialType::Unknown ||
          metadata.spatial_type == SpatialType::Sentinel) {
        codec::ThrowUnknownSpatialType();
      }
      return MakeSpatial<Unknown>();
  }
}

}  // namespace ostrel::LegacySerialization
