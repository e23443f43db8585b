// The legacy stream writer: header, plain or compressed body, CRC.
//
// Plain streams are sized exactly before anything is written, so the output
// grows once. Coordinates come from the value's packed runs where the format
// has them (one virtual call per line or ring, not per coordinate), and a
// legacy value's plain records are copied as they are. Compressed coordinate
// lists are delta-coded into a scratch buffer that is reused for every list,
// then appended behind their length.
#include <cstring>
#include <type_traits>

#include "codec.hpp"
#include "ostrel/legacy/compressed_spatial_writer.hpp"
#include "ostrel/legacy/crc.hpp"
#include "ostrel/legacy/legacy_format.hpp"
#include "ostrel/legacy/metadata.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/ogr/ogr_format.hpp"

namespace ostrel::LegacySerialization {
namespace {

// The protected shape operations, reached as member pointers through a
// derived class; they dispatch virtually on any value of the family.
template <class G>
struct Access : G {
  static constexpr auto kNumberOfPoints = &Access::NumberOfPoints;
  static constexpr auto kNumberOfLines = &Access::NumberOfLines;
  static constexpr auto kNumberOfPolys = &Access::NumberOfPolys;
  static constexpr auto kSizeOfLine = &Access::SizeOfLine;
  static constexpr auto kSizeOfPoly = &Access::SizeOfPoly;
  static constexpr auto kSizeOfRing = &Access::SizeOfRingInPoly;
  static constexpr auto kPackedPoint = &Access::PackedCoordinateForPoint;
  static constexpr auto kPackedInLine = &Access::PackedCoordinateInLine;
  static constexpr auto kPackedInRing = &Access::PackedCoordinateInRingOfPoly;
  static constexpr auto kPackedLine = &Access::GetPackedLine;
  static constexpr auto kPackedRing = &Access::GetPackedRing;
};

// The two numbers a stream holds for a coordinate: x, y; or latitude,
// longitude in radians. What the shape access yields, except that a planar
// coordinate with one NaN offset keeps its other number (the shape access
// makes both NaN), so that a value read from a plain stream writes back to
// the same packed coordinates and the same hash.
struct Pair {
  double a;
  double b;
};
inline Pair Numbers(GeometryCoordinate::Packed p, GeometryCoordinate::Bias const& bias) {
  auto const [x, y] = p.GetXY(bias);
  return {x, y};
}
inline Pair Numbers(GeographyCoordinate::Packed p, GeometryCoordinate::Bias const&) {
  GeographyCoordinate const c(p);
  return {c.GetLatitude().Get().Get(), c.GetLongitude().Get().Get()};
}
inline Pair Numbers(GeometryCoordinate const& c) { return {c.GetX(), c.GetY()}; }
inline Pair Numbers(GeographyCoordinate const& c) {
  return {c.GetLatitude().Get().Get(), c.GetLongitude().Get().Get()};
}

template <class G>
GeometryCoordinate::Bias BiasOf(G const& g) {
  if constexpr (std::is_same_v<G, Geometry>) {
    return g.GetBias();
  } else {
    return GeometryCoordinate::Bias::None();
  }
}

// The storage of a legacy value, or null.
template <class G>
Storage<G> const* LegacyStorage(G const& g) {
  if (g.GetFormatInfo().first != LegacyFormat::GetRegisteredFormatInfo().first) return nullptr;
  auto const* legacy = dynamic_cast<LegacySpatial<G> const*>(&g);
  return legacy != nullptr ? &legacy->GetStorage() : nullptr;
}

// The counts of a value.
struct Shape {
  unsigned int points;
  unsigned int lines;
  unsigned int polys;
};

template <class G>
Shape CountsOf(G const& g) {
  using A = Access<G>;
  return {(g.*A::kNumberOfPoints)(), (g.*A::kNumberOfLines)(), (g.*A::kNumberOfPolys)()};
}

// Whether the content fits a spatial type: a singular type holds exactly
// one item of its kind and nothing else, a multi type only its own kind,
// mixed anything.
bool Fits(SpatialType type, Shape const& s) {
  switch (type) {
    case SpatialType::Point: return s.points == 1 && s.lines == 0 && s.polys == 0;
    case SpatialType::LineString: return s.points == 0 && s.lines == 1 && s.polys == 0;
    case SpatialType::Polygon: return s.points == 0 && s.lines == 0 && s.polys == 1;
    case SpatialType::MultiPoint: return s.lines == 0 && s.polys == 0;
    case SpatialType::MultiLineString: return s.points == 0 && s.polys == 0;
    case SpatialType::MultiPolygon: return s.points == 0 && s.lines == 0;
    default: return true;
  }
}

// The spatial type a value is stored as: that of its shape type when the
// content fits it; otherwise the multi form when that fits (an empty or
// two-point Point is a multi-point); otherwise mixed. No content is dropped.
template <class G>
SpatialType StoredType(G const& g, Shape const& s) {
  SpatialType const declared = ShapeTypeToSpatialType(g.GetShapeType());
  if (Fits(declared, s)) return declared;
  SpatialType const multi = SingularToMulti(declared);
  return Fits(multi, s) ? multi : SpatialType::Mixed;
}

// The coordinates of the points, of one line or of one ring: from the
// packed run when the format has one (one virtual call for the whole run,
// and the run keeps a decoded owner alive), otherwise one virtual call per
// coordinate.
template <class G>
class Source {
  using A = Access<G>;
  using Packed = typename G::Coordinate::Packed;

 public:
  static Source Points(G const& g, GeometryCoordinate::Bias const& bias) {
    return Source(g, bias, kPoints, 0, 0, {});
  }
  static Source Line(G const& g, GeometryCoordinate::Bias const& bias, unsigned int line) {
    return Source(g, bias, kLine, line, 0, (g.*A::kPackedLine)(line));
  }
  static Source Ring(G const& g, GeometryCoordinate::Bias const& bias, unsigned int poly,
                     unsigned int ring) {
    return Source(g, bias, kRing, poly, ring, (g.*A::kPackedRing)(poly, ring));
  }

  Pair operator[](unsigned int i) const {
    if (run_.data != nullptr) return Numbers(run_.data[i], run_.bias);
    switch (kind_) {
      case kPoints: return Numbers((g_.*A::kPackedPoint)(i), bias_);
      case kLine: return Numbers((g_.*A::kPackedInLine)(a_, i), bias_);
      default: return Numbers((g_.*A::kPackedInRing)(a_, b_, i), bias_);
    }
  }

 private:
  enum Kind { kPoints, kLine, kRing };
  Source(G const& g, GeometryCoordinate::Bias const& bias, Kind kind, unsigned int a,
         unsigned int b, ostrel::detail::PackedRun<typename G::Coordinate> run)
      : g_(g), bias_(bias), kind_(kind), a_(a), b_(b), run_(std::move(run)) {}

  G const& g_;
  GeometryCoordinate::Bias bias_;
  Kind kind_;
  unsigned int a_;
  unsigned int b_;
  ostrel::detail::PackedRun<typename G::Coordinate> run_;
};

// ---- Plain ------------------------------------------------------------------------

template <class G>
class PlainEncoder {
  using A = Access<G>;

 public:
  PlainEncoder(G const& g, codec::Writer& out)
      : g_(g), out_(out), bias_(BiasOf(g)), legacy_(LegacyStorage(g)) {}

  void Write(SpatialType type) {
    shape_ = CountsOf(g_);
    out_.Room(Size(type));  // the one allocation
    switch (type) {
      case SpatialType::Point: Point(0); break;
      case SpatialType::LineString: LineString(0); break;
      case SpatialType::Polygon: Polygon(0); break;
      case SpatialType::MultiPoint:
        out_.U32(shape_.points);
        for (unsigned int i = 0; i < shape_.points; ++i) Point(i);
        break;
      case SpatialType::MultiLineString:
        out_.U32(shape_.lines);
        for (unsigned int i = 0; i < shape_.lines; ++i) LineString(i);
        break;
      case SpatialType::MultiPolygon:
        out_.U32(shape_.polys);
        for (unsigned int i = 0; i < shape_.polys; ++i) Polygon(i);
        break;
      default:  // mixed
        out_.U32(shape_.points + shape_.lines + shape_.polys);
        for (unsigned int i = 0; i < shape_.points; ++i) {
          out_.U8(1);
          Point(i);
        }
        for (unsigned int i = 0; i < shape_.lines; ++i) {
          out_.U8(2);
          LineString(i);
        }
        for (unsigned int i = 0; i < shape_.polys; ++i) {
          out_.U8(3);
          Polygon(i);
        }
        break;
    }
  }

 private:
  std::size_t LineSize(unsigned int line) const {
    return 4 + std::size_t{16} * (g_.*A::kSizeOfLine)(line);
  }
  std::size_t PolygonSize(unsigned int poly) const {
    unsigned int const rings = (g_.*A::kSizeOfPoly)(poly);
    std::size_t size = 4 + std::size_t{4} * rings;
    for (unsigned int r = 0; r < rings; ++r)
      size += std::size_t{16} * (g_.*A::kSizeOfRing)(poly, r);
    return size;
  }
  std::size_t Size(SpatialType type) const {
    bool const mixed = type == SpatialType::Mixed;
    std::size_t size = IsSingular(type) ? 0 : 4;
    size += (mixed ? 17 : 16) * std::size_t{shape_.points};
    for (unsigned int i = 0; i < shape_.lines; ++i) size += LineSize(i) + (mixed ? 1 : 0);
    for (unsigned int i = 0; i < shape_.polys; ++i) size += PolygonSize(i) + (mixed ? 1 : 0);
    return size;
  }

  // n coordinates as doubles, written through a local cursor (the output
  // was sized in advance).
  void Run(unsigned int n, Source<G> const& source) {
    std::uint8_t* const start = out_.Room(std::size_t{16} * n);
    std::uint8_t* p = start;
    for (unsigned int i = 0; i < n; ++i, p += 16) {
      Pair const c = source[i];
      codec::StoreF64(p, c.a);
      codec::StoreF64(p + 8, c.b);
    }
    out_.Advance(static_cast<std::size_t>(p - start));
  }

  void Point(unsigned int i) {
    Pair const c = Numbers((g_.*A::kPackedPoint)(i), bias_);
    std::uint8_t* p = out_.Room(16);
    codec::StoreF64(p, c.a);
    codec::StoreF64(p + 8, c.b);
    out_.Advance(16);
  }

  // A record already in the plain encoding is copied.
  template <class Record>
  bool Copied(Record const& record, bool compressed) {
    if (compressed) return false;
    out_.U32(record.count);
    out_.Bytes(record.bytes.data(), std::size_t{16} * record.count);
    return true;
  }

  void LineString(unsigned int line) {
    if (legacy_ != nullptr) {
      auto const& record = legacy_->lines[line];
      if (record.bytes.size() == std::size_t{16} * record.count &&
          Copied(record, record.compressed != 0)) {
        return;
      }
    }
    unsigned int const n = (g_.*A::kSizeOfLine)(line);
    out_.U32(n);
    Run(n, Source<G>::Line(g_, bias_, line));
  }

  void Polygon(unsigned int poly) {
    unsigned int const rings = (g_.*A::kSizeOfPoly)(poly);
    out_.U32(rings);
    for (unsigned int r = 0; r < rings; ++r) {
      if (legacy_ != nullptr) {
        auto const& polygon = legacy_->polygons[poly];
        auto const& record = polygon.rings[r];
        if (record.bytes.size() == std::size_t{16} * record.count &&
            Copied(record, polygon.compressed != 0)) {
          continue;
        }
      }
      unsigned int const n = (g_.*A::kSizeOfRing)(poly, r);
      out_.U32(n);
      Run(n, Source<G>::Ring(g_, bias_, poly, r));
    }
  }

  G const& g_;
  codec::Writer& out_;
  GeometryCoordinate::Bias const bias_;
  Storage<G> const* const legacy_;
  Shape shape_{};
};

}  // namespace

// ---- Compressed -------------------------------------------------------------------

template <class G, class Out>
class CompressedBodyEncoder {
  using A = Access<G>;
  using C = typename G::Coordinate;
  using Box = std::pair<C, C>;

 public:
  CompressedBodyEncoder(CompressedSpatialWriter<G>& writer, Out& out)
      : w_(writer),
        g_(*writer.spatial_),
        out_(out),
        bias_(BiasOf(g_)),
        legacy_(LegacyStorage(g_)),
        grid_scale_(codec::Power10(writer.precision_)),
        grid_step_(codec::Power10(-static_cast<int>(writer.precision_))),
        scratch_buffer_(ResourceAllocator<std::uint8_t>(out.Resource())),
        scratch_(scratch_buffer_) {}

  void Write() {
    Shape const s = CountsOf(g_);
    SpatialType const type = StoredType(g_, s);
    auto const& boxes = *w_.boxes_;
    switch (type) {
      case SpatialType::Point:
        BoxSection(boxes.BoundingBoxForPoint(w_.point_counter_++));
        Point(0);
        break;
      case SpatialType::LineString: LineString(0); break;
      case SpatialType::Polygon: Polygon(0); break;
      case SpatialType::MultiPoint: {
        BoxSection(boxes.BoundingBoxForMultiPoint(w_.multi_point_counter_++));
        List(s.points, Source<G>::Points(g_, bias_));
        break;
      }
      case SpatialType::MultiLineString:
        BoxSection(boxes.BoundingBoxForMultiLineString(w_.multi_line_string_counter_++));
        out_.Varint(s.lines);
        for (unsigned int i = 0; i < s.lines; ++i) LineString(i);
        break;
      case SpatialType::MultiPolygon:
        BoxSection(boxes.BoundingBoxForMultiPolygon(w_.multi_polygon_counter_++));
        out_.Varint(s.polys);
        for (unsigned int i = 0; i < s.polys; ++i) Polygon(i);
        break;
      default:  // mixed
        BoxSection(boxes.BoundingBoxForMixed());
        out_.Varint(std::uint64_t{s.points} + s.lines + s.polys);
        for (unsigned int i = 0; i < s.points; ++i) {
          out_.U8(1);
          Point(i);
        }
        for (unsigned int i = 0; i < s.lines; ++i) {
          out_.U8(2);
          LineString(i);
        }
        for (unsigned int i = 0; i < s.polys; ++i) {
          out_.U8(3);
          Polygon(i);
        }
        break;
    }
  }

 private:
  std::uint64_t Q(double x) const {
    return codec::ZigzagEncode(static_cast<std::int64_t>(codec::Quantise(x, grid_scale_)));
  }

  // Varint 0 for an unknown box; otherwise a section of a section of the
  // tag 3 and the four quantised numbers.
  void BoxSection(Box const& box) {
    if (!box.first.IsValid() || !box.second.IsValid()) return out_.Varint(0);
    Pair const lo = Numbers(box.first);
    Pair const hi = Numbers(box.second);
    std::uint8_t content[1 + 4 * codec::kMaxVarint];
    std::size_t n = 0;
    content[n++] = 3;
    for (double d : {lo.a, lo.b, hi.a - lo.a, hi.b - lo.b})
      n += codec::PutVarint(content + n, Q(d));
    out_.Varint(codec::VarintSize(n) + n);
    out_.Section(content, n);
  }

  // A coordinate list section: the count n, then the first n coordinates of
  // the source as deltas from the position a reader reconstructs. They go to
  // the scratch buffer, in chunks written through a local cursor (so the
  // running position stays in registers), and then behind their length.
  void List(unsigned int n, Source<G> const& source) {
    constexpr unsigned int kChunk = 1024;
    double const scale = grid_scale_;
    double const step = grid_step_;
    scratch_.Rewind();
    scratch_.Varint(n);
    double px = 0.0;
    double py = 0.0;
    for (unsigned int i = 0; i < n;) {
      unsigned int const end = n - i > kChunk ? i + kChunk : n;
      std::uint8_t* const start = scratch_.Room(std::size_t{2 * codec::kMaxVarint} * (end - i));
      std::uint8_t* p = start;
      for (; i < end; ++i) {
        Pair const c = source[i];
        double const qx = codec::Quantise(c.a - px, scale);
        double const qy = codec::Quantise(c.b - py, scale);
        p += codec::PutVarint(p, codec::ZigzagEncode(static_cast<std::int64_t>(qx)));
        p += codec::PutVarint(p, codec::ZigzagEncode(static_cast<std::int64_t>(qy)));
        // The position advances by the decoded delta, as a reader's does.
        px += qx * step;
        py += qy * step;
      }
      scratch_.Advance(static_cast<std::size_t>(p - start));
    }
    out_.Section(scratch_.Data(), scratch_.Size());
  }

  // A record compressed on this grid is copied: its pairs behind the count.
  template <class Record>
  bool Copied(Record const& record, bool compressed, std::int8_t precision, bool ring) {
    if (!compressed || precision != w_.precision_) return false;
    std::uint64_t const count = ring && record.count != 0 ? record.count - 1 : record.count;
    out_.Varint(codec::VarintSize(count) + record.bytes.size());
    out_.Varint(count);
    out_.Bytes(record.bytes.data(), record.bytes.size());
    return true;
  }

  void Point(unsigned int i) {
    Pair const c = Numbers((g_.*A::kPackedPoint)(i), bias_);
    out_.Varint(Q(c.a));
    out_.Varint(Q(c.b));
  }

  void LineString(unsigned int line) {
    BoxSection(w_.boxes_->BoundingBoxForLineString(w_.line_counter_++));
    if (legacy_ != nullptr) {
      auto const& record = legacy_->lines[line];
      if (Copied(record, record.compressed != 0, record.precision, false)) return;
    }
    unsigned int const n = (g_.*A::kSizeOfLine)(line);
    List(n, Source<G>::Line(g_, bias_, line));
  }

  // Rings without their closing coordinate; one of no coordinates stores none.
  void Polygon(unsigned int poly) {
    BoxSection(w_.boxes_->BoundingBoxForPolygon(w_.polygon_counter_++));
    unsigned int const rings = (g_.*A::kSizeOfPoly)(poly);
    out_.Varint(rings);
    for (unsigned int r = 0; r < rings; ++r) {
      if (legacy_ != nullptr) {
        auto const& polygon = legacy_->polygons[poly];
        if (Copied(polygon.rings[r], polygon.compressed != 0, polygon.precision, true)) continue;
      }
      unsigned int const size = (g_.*A::kSizeOfRing)(poly, r);
      unsigned int const n = size != 0 ? size - 1 : 0;
      List(n, Source<G>::Ring(g_, bias_, poly, r));
    }
  }

  CompressedSpatialWriter<G>& w_;
  G const& g_;
  Out& out_;
  GeometryCoordinate::Bias const bias_;
  Storage<G> const* const legacy_;
  double const grid_scale_;
  double const grid_step_;
  ResourceVector<std::uint8_t> scratch_buffer_;
  codec::Writer scratch_;
};

template <class G>
CompressedSpatialWriter<G>::CompressedSpatialWriter(std::int8_t precision, G const& spatial,
                                                    BoundingBoxAccessor<G> const& boxes)
    : precision_(precision), spatial_(&spatial), boxes_(&boxes) {}

template <class G>
void CompressedSpatialWriter<G>::Write(ResourceVector<std::uint8_t>& out) {
  codec::Writer writer(out);
  CompressedBodyEncoder<G, codec::Writer>(*this, writer).Write();
  writer.Finish();
}

template class CompressedSpatialWriter<Geometry>;
template class CompressedSpatialWriter<Geography>;

namespace detail {
namespace {

template <class G>
CompressedSpatialWriter<G> Create(G const& value, std::int8_t precision) {
  unsigned int const format = value.GetFormatInfo().first;
  BoundingBoxAccessor<G> const* boxes = nullptr;
  if (format == LegacyFormat::GetRegisteredFormatInfo().first ||
      format == OgrFormat::GetRegisteredFormatInfo().first) {
    boxes = dynamic_cast<BoundingBoxAccessor<G> const*>(&value);
  }
  if (boxes == nullptr) boxes = &BoundingBoxAccessor<G>::GetDefault();
  return CompressedSpatialWriter<G>(precision, value, *boxes);
}

}  // namespace

CompressedSpatialWriter<Geometry> CreateCompressedWriter(Geometry const& value,
                                                         std::int8_t precision) {
  return Create(value, precision);
}
CompressedSpatialWriter<Geography> CreateCompressedWriter(Geography const& value,
                                                          std::int8_t precision) {
  return Create(value, precision);
}

}  // namespace detail

// ---- The stream ---------------------------------------------------------------------

ResourceVector<std::uint8_t> Write(Spatial const& value, std::uint8_t serializer_type,
                                   std::int8_t precision) {
  if (serializer_type != kPlain && serializer_type != kCompressed) {
    codec::ThrowUnknownSerializerType();
  }
  CoordinateType const kind = value.GetCoordinateType();
  if (kind != CoordinateType::Unknown && kind != CoordinateType::Identifying &&
      kind != CoordinateType::Geometry && kind != CoordinateType::Geography) {
    throw std::invalid_argument("unknown shape type");
  }
  Metadata metadata;
  metadata.serializer_type = serializer_type;
  if (kind == CoordinateType::Geometry) {
    Geometry const& g = value.AsGeometry();
    metadata.spatial_type = StoredType(g, CountsOf(g));
  } else if (kind == CoordinateType::Geography) {
    Geography const& g = value.AsGeography();
    metadata.spatial_type = StoredType(g, CountsOf(g));
  } else {
    metadata.spatial_type = ShapeTypeToSpatialType(value.GetShapeType());
  }
  metadata.category = CoordinateTypeToCategory(kind);
  metadata.precision = precision;

  ResourceVector<std::uint8_t> stream;
  codec::Writer out(stream);
  std::uint8_t* h = out.Room(kHeaderSize + 1);
  h[0] = Metadata::Signature >> 8;
  h[1] = Metadata::Signature & 0xFF;
  h[2] = static_cast<std::uint8_t>((metadata.version << 4) | serializer_type);
  codec::StoreU32(h + 3, 0);
  h[7] = static_cast<std::uint8_t>(metadata.category);
  h[8] = static_cast<std::uint8_t>(metadata.spatial_type);
  h[9] = static_cast<std::uint8_t>(precision);
  out.Advance(HeaderSize(metadata));

  if (serializer_type == kPlain) {
    if (kind == CoordinateType::Geometry) {
      PlainEncoder<Geometry>(value.AsGeometry(), out).Write(metadata.spatial_type);
    } else if (kind == CoordinateType::Geography) {
      PlainEncoder<Geography>(value.AsGeography(), out).Write(metadata.spatial_type);
    }
  } else if (kind == CoordinateType::Geometry) {
    auto writer = detail::CreateCompressedWriter(value.AsGeometry(), precision);
    CompressedBodyEncoder<Geometry, codec::Writer>(writer, out).Write();
  } else if (kind == CoordinateType::Geography) {
    auto writer = detail::CreateCompressedWriter(value.AsGeography(), precision);
    CompressedBodyEncoder<Geography, codec::Writer>(writer, out).Write();
  } else if (kind == CoordinateType::Unknown) {
    out.Varint(0);
  }
  out.Finish();

  if (stream.size() > kHeaderSize) {
    codec::StoreU32(stream.data() + 3,
                    CRC(0, stream.data() + kHeaderSize, stream.size() - kHeaderSize));
  }
  return stream;
}

}  // namespace ostrel::LegacySerialization
