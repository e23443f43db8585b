#include "ostrel/serialization/oracle.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <type_traits>

#include "ostrel/core/internal/numerics.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/serialization/buffer_reader.hpp"
#include "ostrel/serialization/stream_writer.hpp"
#include "serialization/sql_server_family.hpp"

namespace ostrel {

namespace {

using detail::sqlserver::Parts;

constexpr std::uint32_t kTripletBytes = 12;
// The smallest element: gtype, SRID and a point.
constexpr std::uint32_t kSmallestElement = 24;
constexpr std::size_t kElementsReserved = 1000;

// Element types of triplets.
constexpr std::uint32_t kPoint = 1;
constexpr std::uint32_t kLine = 2;
constexpr std::uint32_t kCompoundLine = 4;
constexpr std::uint32_t kExteriorRing = 1003;
constexpr std::uint32_t kInteriorRing = 2003;
constexpr std::uint32_t kCompoundExterior = 1005;
constexpr std::uint32_t kCompoundInterior = 2005;
constexpr std::uint32_t kSurfaceExterior = 1006;
constexpr std::uint32_t kSurfaceInterior = 2006;
constexpr std::uint32_t kSolid = 1007;

// Interpretation of straight segments (and of a single point).
constexpr std::uint32_t kStraight = 1;

struct Element {
  std::uint32_t type = 0;        // gtype % 100
  std::uint32_t dimensions = 0;  // gtype / 1000, 8 bits
  std::int32_t srid = 0;
  std::uint32_t body = 0;  // type 1: the point; otherwise the first triplet
  std::uint32_t triplets = 0;
  std::uint32_t ordinates_at = 0;
  std::uint32_t ordinates = 0;
};

struct Triplet {
  std::uint32_t offset;  // 1-based, into the element's ordinates
  std::uint32_t type;
  std::uint32_t interpretation;
};

// Points at a byte position, `stride` bytes apart, x and y first in each.
struct Run {
  std::uint32_t at;
  std::uint32_t count;
  std::uint32_t stride;
};

bool IsCompound(Triplet const& t) {
  switch (t.type) {
    case kCompoundLine:
    case kCompoundExterior:
    case kCompoundInterior:
    case kSurfaceExterior:
    case kSurfaceInterior: return true;
    case kSolid: return t.interpretation != 3;
    default: return false;
  }
}

ShapeType ShapeTypeOf(std::uint32_t type) {
  static constexpr ShapeType kTypes[] = {
      ShapeType::Empty, ShapeType::Point,      ShapeType::LineString,      ShapeType::Polygon,
      ShapeType::Mixed, ShapeType::MultiPoint, ShapeType::MultiLineString, ShapeType::MultiPolygon};
  return type <= 7 ? kTypes[type] : ShapeType::Empty;
}

// Parses and validates the elements of one value, classifies their
// triplets, and reads the parts a ShapeType takes.
class Decoder {
 public:
  explicit Decoder(std::vector<std::uint8_t> const& bytes) : in_(bytes) {}

  // Parses, validates and classifies; false when the value is invalid.
  bool Parse() {
    in_.Skip(1);
    bool const multi = in_.ReadByte() != 0;
    if (multi) {
      elements_.reserve(std::min<std::uint64_t>(kElementsReserved, Remaining() / kSmallestElement));
    }
    while (Remaining() > 0) {
      elements_.push_back(Next(multi));
      if (!Valid(elements_.back())) return false;
    }
    for (Element const& e : elements_) {
      if (!Classify(e)) return false;
    }
    return true;
  }

  std::int32_t Srid() const { return elements_.empty() ? 0 : elements_.front().srid; }

  template <class G>
  bool Read(Parts<G>& parts) {
    ShapeType const type =
        elements_.size() == 1 ? ShapeTypeOf(elements_.front().type) : ShapeType::Mixed;
    parts.SetShapeType(type);
    bool const all = type == ShapeType::Mixed;
    if (all || type == ShapeType::MultiPoint) {
      Points(parts, points_.size() + cluster_points_);
    } else if (type == ShapeType::Point) {
      Points(parts, 1);
    }
    std::size_t const lines = all || type == ShapeType::MultiLineString ? lines_.size()
                              : type == ShapeType::LineString           ? 1
                                                                        : 0;
    for (std::size_t i = 0; i < std::min(lines, lines_.size()); ++i) {
      parts.BeginLine(lines_[i].count);
      Feed(lines_[i], [&parts](double x, double y) { parts.LinePoint(x, y); });
      parts.EndLine();
    }
    std::size_t polys = all || type == ShapeType::MultiPolygon ? polygons_.size()
                        : type == ShapeType::Polygon           ? 1
                                                               : 0;
    polys = std::min(polys, polygons_.size());
    parts.ReservePolygons(polys);
    for (std::size_t i = 0; i < polys; ++i) {
      auto const [first, count] = polygons_[i];
      typename Parts<G>::PackedLines rings;
      rings.reserve(count);
      for (std::uint32_t r = first; r < first + count; ++r) {
        parts.BeginRing(rings_[r].count);
        Feed(rings_[r], [&parts](double x, double y) { parts.RingPoint(x, y); });
        rings.push_back(parts.EndRing(r != first));
      }
      parts.Polygon(std::move(rings));
    }
    return true;
  }

 private:
  std::uint64_t Remaining() const { return in_.GetSize() - in_.GetPos(); }

  // Reads one element; the reader is left after it.
  Element Next(bool multi) {
    Element e;
    std::uint32_t const gtype = in_.ReadUInt32();
    e.type = gtype % 100;
    e.dimensions = (gtype / 1000) & 0xFF;
    e.srid = in_.ReadInt32();
    e.body = in_.GetPos();
    if (e.type == 1) {
      in_.Skip(16);
      return e;
    }
    while (in_.ReadUInt32() != 0) {
      in_.Skip(kTripletBytes - 4);
      ++e.triplets;
    }
    e.ordinates_at = in_.GetPos();
    if (multi) {
      // Up to the NaN that ends the element, or to the end of the input.
      while (Remaining() > 0 && !detail::IsNaN(in_.ReadDouble())) ++e.ordinates;
    } else {
      std::uint64_t const remaining = Remaining();
      e.ordinates = static_cast<std::uint32_t>(remaining / 8);
      in_.Skip(std::uint64_t{e.ordinates} * 8);
      if (remaining % 8 != 0) in_.ReadDouble();  // a partial double: out of range
    }
    return e;
  }

  std::pair<double, double> XYAt(std::uint32_t at) {
    in_.SeekTo(at);
    double const x = in_.ReadDouble();
    return {x, in_.ReadDouble()};
  }

  bool Valid(Element const& e) {
    if (e.type == 1) {
      auto const [x, y] = XYAt(e.body);
      in_.SeekTo(e.body + 16);
      return e.dimensions == 2 && !detail::IsNaN(x) && !detail::IsNaN(y);
    }
    return e.dimensions >= 2 && e.dimensions <= 4 && e.triplets > 0 && e.ordinates > 0 &&
           e.ordinates % e.dimensions == 0;
  }

  Triplet TripletAt(Element const& e, std::uint64_t index) {
    in_.SeekTo(static_cast<std::uint32_t>(e.body + index * kTripletBytes));
    std::uint32_t const offset = in_.ReadUInt32();
    std::uint32_t const type = in_.ReadUInt32();
    return {offset, type, in_.ReadUInt32()};
  }

  // The points of triplet `index`: they run to the next triplet's offset or
  // to the end of the ordinates, and must lie within the ordinates. They are
  // counted against what the element holds: triplets of a valid element do
  // not overlap, and this bounds what hostile triplets can make the reader
  // build by the size of the input.
  bool PointsOf(Element const& e, std::uint64_t index, Triplet const& t, std::int64_t minimum,
                Run& run) {
    if (t.offset > e.ordinates) return false;
    std::int64_t const end = index + 1 < e.triplets ? std::int64_t{TripletAt(e, index + 1).offset}
                                                    : std::int64_t{e.ordinates} + 1;
    std::int64_t const count = (end - t.offset) / e.dimensions;
    if (count < minimum) return false;
    std::uint64_t const ordinates = static_cast<std::uint64_t>(count) * e.dimensions;
    if (t.offset - 1 + ordinates > e.ordinates) return false;
    return Use(e, ordinates, t.offset, static_cast<std::uint32_t>(count), e.dimensions, run);
  }

  bool Use(Element const& e, std::uint64_t ordinates, std::uint32_t offset, std::uint32_t count,
           std::uint32_t dimensions, Run& run) {
    used_ += ordinates;
    if (used_ > e.ordinates) return false;
    run = {e.ordinates_at + (offset - 1) * 8, count, dimensions * 8};
    return true;
  }

  bool Ring(Element const& e, std::uint64_t index, Triplet const& t, Run& run) {
    if (!PointsOf(e, index, t, 4, run)) return false;
    auto const first = XYAt(run.at);
    auto const last = XYAt(run.at + (run.count - 1) * run.stride);
    return first.first == last.first && first.second == last.second;
  }

  static bool Is(Triplet const& t, std::uint32_t type, std::uint32_t interpretation) {
    return t.type == type && t.interpretation == interpretation;
  }

  // Walks the triplets of an element and records the parts they give.
  bool Classify(Element const& e) {
    if (e.type == 1) {
      points_.push_back({e.body, 1, 16});
      return true;
    }
    if (e.type < 1 || e.type > 7) return true;
    used_ = 0;
    for (std::uint64_t i = 0; i < e.triplets;) {
      Triplet const t = TripletAt(e, i);
      Run run;
      if (Is(t, kPoint, kStraight)) {
        if (!PointsOf(e, i, t, 1, run) || run.count != 1) return false;
        points_.push_back(run);
      } else if (t.type == kPoint && t.interpretation != 0) {
        // A cluster of n points, two ordinates each.
        std::uint64_t const n = t.interpretation;
        if (e.dimensions != 2 || t.offset > e.ordinates || t.offset + 2 * n - 1 > e.ordinates ||
            !Use(e, 2 * n, t.offset, static_cast<std::uint32_t>(n), 2, run)) {
          return false;
        }
        clusters_.push_back(run);
        cluster_points_ += n;
      } else if (Is(t, kLine, kStraight)) {
        if (!PointsOf(e, i, t, 2, run)) return false;
        lines_.push_back(run);
      } else if (Is(t, kExteriorRing, kStraight)) {
        if (!Ring(e, i, t, run)) return false;
        polygons_.emplace_back(static_cast<std::uint32_t>(rings_.size()), 1u);
        rings_.push_back(run);
        // The interior rings that follow belong to it.
        while (i + 1 < e.triplets) {
          Triplet const hole = TripletAt(e, i + 1);
          if (!Is(hole, kInteriorRing, kStraight)) break;
          if (!Ring(e, i + 1, hole, run)) return false;
          rings_.push_back(run);
          ++polygons_.back().second;
          ++i;
        }
      } else if (Is(t, kInteriorRing, kStraight)) {
        // A hole without an exterior ring: checked, and left out.
        if (!Ring(e, i, t, run)) return false;
      } else if (IsCompound(t)) {
        i += t.interpretation;  // its sub-elements go with it
      }
      ++i;
    }
    return true;
  }

  template <class Add>
  void Feed(Run const& run, Add&& add) {
    for (std::uint32_t k = 0; k < run.count; ++k) {
      auto const [x, y] = XYAt(run.at + k * run.stride);
      add(x, y);
    }
  }

  // The first n points: single points, then the points of the clusters.
  template <class G>
  void Points(Parts<G>& parts, std::uint64_t n) {
    parts.ReservePoints(static_cast<std::size_t>(std::min(n, points_.size() + cluster_points_)));
    auto add = [&parts, &n](double x, double y) {
      if (n == 0) return;
      parts.Point(x, y);
      --n;
    };
    for (Run const& run : points_) Feed(run, add);
    for (Run const& run : clusters_) Feed(run, add);
  }

  BufferReader in_;
  ResourceVector<Element> elements_;
  ResourceVector<Run> points_, clusters_, lines_, rings_;
  ResourceVector<std::pair<std::uint32_t, std::uint32_t>> polygons_;  // first ring, count
  std::uint64_t cluster_points_ = 0;
  std::uint64_t used_ = 0;  // ordinates of the element being classified
};

// Writing.

std::uint32_t TypeOf(ShapeType type) {
  switch (type) {
    case ShapeType::Point: return 1;
    case ShapeType::LineString: return 2;
    case ShapeType::Polygon: return 3;
    case ShapeType::Mixed: return 4;
    case ShapeType::MultiPoint: return 5;
    case ShapeType::MultiLineString: return 6;
    case ShapeType::MultiPolygon: return 7;
    default: return 0;
  }
}

template <class G>
void WriteValue(StreamWriter& out, G const& value) {
  ShapeType const type = value.GetShapeType();
  auto const points = value.GetPoints();
  auto const lines = value.GetLines();
  auto const polys = value.GetPolys();
  std::uint32_t const p = points.size(), l = lines.size();
  std::uint64_t coordinates = p;
  std::uint64_t triplets = p + l;
  for (auto const& line : lines) coordinates += line.size();
  for (auto const& poly : polys) {
    triplets += poly.size();
    for (auto const& ring : poly) coordinates += ring.size();
  }

  auto coordinate = [&out](auto const& c) {
    if constexpr (std::is_same_v<G, Geometry>) {
      out.WriteDouble(c.GetX());
      out.WriteDouble(c.GetY());
    } else {
      out.WriteDouble(Degrees(c.GetLongitude().Get()).Get());
      out.WriteDouble(Degrees(c.GetLatitude().Get()).Get());
    }
  };
  auto header = [&](std::size_t body) {
    out.Reserve(10 + body);
    out.WriteByte(1);
    out.WriteByte(0);
    out.WriteUInt32(2000 + TypeOf(type));
    out.WriteUInt32(value.GetOriginalSRID().GetID());
  };

  if (coordinates == 0 && triplets == 0) {
    header(0);
    return;
  }
  if (type == ShapeType::Point && p > 0) {
    header(16);
    coordinate(points[0]);
    return;
  }
  header(4 + triplets * kTripletBytes + coordinates * 16);
  std::uint32_t offset = 1;
  auto triplet = [&out, &offset](std::uint32_t element_type, std::uint32_t size) {
    out.WriteUInt32(offset);
    out.WriteUInt32(element_type);
    out.WriteUInt32(kStraight);
    offset += 2 * size;
  };
  for (std::uint32_t i = 0; i < p; ++i) triplet(kPoint, 1);
  for (auto const& line : lines) triplet(kLine, line.size());
  for (auto const& poly : polys) {
    bool first = true;
    for (auto const& ring : poly) {
      triplet(first ? kExteriorRing : kInteriorRing, ring.size());
      first = false;
    }
  }
  out.WriteUInt32(0);

  auto run = [&](auto const& coordinates_of) {
    std::uint32_t const n = coordinates_of.size();
    for (std::uint32_t i = 0; i < n; ++i) coordinate(coordinates_of[i]);
  };
  for (std::uint32_t i = 0; i < p; ++i) coordinate(points[i]);
  for (auto const& line : lines) run(line);
  for (auto const& poly : polys) {
    for (auto const& ring : poly) run(ring);
  }
}

}  // namespace

SpatialPtr OracleSerialization::Read(std::vector<std::uint8_t> const& bytes) {
  Decoder decoder(bytes);
  if (!decoder.Parse()) return MakeSpatial<Unknown>();
  return detail::sqlserver::ReadFamily(decoder.Srid(),
                                       [&decoder](auto& parts) { return decoder.Read(parts); });
}

std::vector<std::uint8_t> OracleSerialization::Write(Spatial const& value) {
  return detail::sqlserver::WriteFamily(
      value, [](StreamWriter& out, auto const& g) { WriteValue(out, g); });
}

}  // namespace ostrel
