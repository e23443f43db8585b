#include "ostrel/serialization/sql_server.hpp"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "ostrel/serialization/buffer_reader.hpp"
#include "ostrel/serialization/stream_writer.hpp"
#include "serialization/sql_server_family.hpp"

namespace ostrel {

namespace {

using detail::sqlserver::Parts;

constexpr std::uint8_t kHasZ = 0x01;
constexpr std::uint8_t kHasM = 0x02;
constexpr std::uint8_t kValid = 0x04;
constexpr std::uint8_t kSinglePoint = 0x08;
constexpr std::uint8_t kSingleSegment = 0x10;

constexpr std::uint32_t kPointBytes = 16;
constexpr std::uint32_t kFigureBytes = 5;
constexpr std::uint32_t kShapeBytes = 9;

// Figure attributes as version 1 defines them.
constexpr std::uint8_t kInteriorRing = 0;
constexpr std::uint8_t kStroke = 1;
constexpr std::uint8_t kExteriorRing = 2;

struct Figure {
  std::uint8_t attribute;
  std::int32_t first_point;
};

struct Shape {
  std::int32_t parent;
  std::int32_t first_figure;
  std::uint8_t type;
};

// A run of consecutive table entries.
struct Run {
  std::uint32_t first;
  std::uint32_t count;
};

// Throws BufferReader's index message unless 0 <= index < size; a negative
// index shows as its unsigned 32-bit word.
void CheckIndex(std::int64_t index, std::uint32_t size) {
  BufferReader::CheckIndex(static_cast<std::uint32_t>(index), size);
}

// The header and the located tables of one value; reads the tables' entries
// on demand, each through a bounds-checked seek.
class Decoder {
 public:
  explicit Decoder(std::vector<std::uint8_t> const& bytes) : in_(bytes) {}

  std::int32_t Srid() const { return srid_; }

  // Parses the header and locates the tables; false for a null or invalid
  // value, whose tables are not looked at.
  bool Locate() {
    if (in_.GetSize() == 0) return false;
    srid_ = in_.ReadInt32();
    if (srid_ == -1) return false;
    version_ = in_.ReadByte();
    std::uint8_t const properties = in_.ReadByte();
    if (version_ != 1 && version_ != 2) {
      throw std::invalid_argument("unknown version:" + std::to_string(version_));
    }
    if ((properties & kValid) == 0) return false;
    points_at_ = in_.GetPos();
    if (properties & (kSinglePoint | kSingleSegment)) {
      // The point is a figure of its own (attribute 1 under version 1, 0
      // under version 2); the segment a stroke.
      single_ = properties & kSinglePoint ? 1 : 2;
      point_count_ = single_;
      figure_count_ = shape_count_ = 1;
      single_attribute_ = single_ == 2 || version_ == 1 ? kStroke : 0;
      return true;
    }
    point_count_ = in_.ReadUInt32();
    points_at_ = in_.GetPos();
    in_.Skip(std::uint64_t{point_count_} * kPointBytes);
    if (properties & kHasZ) in_.Skip(std::uint64_t{point_count_} * 8);
    if (properties & kHasM) in_.Skip(std::uint64_t{point_count_} * 8);
    figure_count_ = in_.ReadUInt32();
    figures_at_ = in_.GetPos();
    in_.Skip(std::uint64_t{figure_count_} * kFigureBytes);
    shape_count_ = in_.ReadUInt32();
    shapes_at_ = in_.GetPos();
    in_.Skip(std::uint64_t{shape_count_} * kShapeBytes);
    return true;
  }

  // Reads the value whose tables Locate found; false when it reads as
  // Unknown.
  template <class G>
  bool Read(Parts<G>& parts) {
    Shape const root = ShapeAt(0);
    if (root.type < 1 || root.type > 7 || root.parent != -1) return false;
    parts.SetShapeType(static_cast<ShapeType>(root.type));
    if (root.type >= 4 && !MembersFollowTheirParents()) return false;
    switch (root.type) {
      case 1: return root.first_figure == -1 || Point(parts, root.first_figure);
      case 2: return root.first_figure == -1 || Line(parts, root.first_figure);
      case 3: return root.first_figure == -1 || Polygon(parts, 0);
      case 4: return AllPoints(parts);
      case 5:
        for (std::uint32_t f = 0; f < figure_count_; ++f) {
          if (!Line(parts, f)) return false;
        }
        return true;
      default: return Members(parts, root.type == 6);
    }
  }

 private:
  template <class G>
  static std::pair<double, double> XY(double first, double second) {
    // Geographic points are stored latitude first.
    if constexpr (std::is_same_v<G, Geometry>) {
      return {first, second};
    } else {
      return {second, first};
    }
  }

  Figure FigureAt(std::int64_t index) {
    CheckIndex(index, figure_count_);
    if (single_ != 0) return {single_attribute_, 0};
    in_.SeekTo(figures_at_ + static_cast<std::uint32_t>(index) * kFigureBytes);
    std::uint8_t const attribute = in_.ReadByte();
    return {attribute, in_.ReadInt32()};
  }

  Shape ShapeAt(std::int64_t index) {
    CheckIndex(index, shape_count_);
    if (single_ != 0) return {-1, 0, single_};
    in_.SeekTo(shapes_at_ + static_cast<std::uint32_t>(index) * kShapeBytes);
    std::int32_t const parent = in_.ReadInt32();
    std::int32_t const first_figure = in_.ReadInt32();
    return {parent, first_figure, in_.ReadByte()};
  }

  // Positions the reader at point `index` (checked).
  void SeekPoint(std::int64_t index) {
    CheckIndex(index, point_count_);
    in_.SeekTo(points_at_ + static_cast<std::uint32_t>(index) * kPointBytes);
  }

  // Entries first .. max(first, next's first - 1), or to the last entry
  // when there is no next; both ends checked against the table's size.
  static Run Span(std::int64_t first, std::int64_t next, bool last, std::uint32_t size) {
    CheckIndex(first, size);
    std::int64_t const end = last ? std::int64_t{size} - 1 : std::max(first, next - 1);
    CheckIndex(end, size);
    return {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(end - first + 1)};
  }

  Run PointsOf(std::int64_t figure) {
    std::int64_t const first = FigureAt(figure).first_point;
    bool const last = figure + 1 >= std::int64_t{figure_count_};
    return Span(first, last ? 0 : FigureAt(figure + 1).first_point, last, point_count_);
  }

  Run FiguresOf(std::int64_t shape) {
    std::int64_t const first = ShapeAt(shape).first_figure;
    bool const last = shape + 1 >= std::int64_t{shape_count_};
    return Span(first, last ? 0 : ShapeAt(shape + 1).first_figure, last, figure_count_);
  }

  // Counts points against the table: a valid value uses each point once,
  // so parts that take more than the table holds overlap. This bounds what
  // hostile tables can make the reader build by what the input holds.
  bool Take(std::uint32_t points) {
    taken_ += points;
    return taken_ <= point_count_;
  }

  // Members of a collection hang below an earlier shape, so the shapes form
  // a tree in table order: no cycles, no forward references.
  bool MembersFollowTheirParents() {
    for (std::uint32_t s = 1; s < shape_count_; ++s) {
      std::int32_t const parent = ShapeAt(s).parent;
      if (parent < 0 || static_cast<std::uint32_t>(parent) >= s) return false;
    }
    return true;
  }

  template <class G>
  bool Point(Parts<G>& parts, std::int64_t figure) {
    SeekPoint(FigureAt(figure).first_point);
    if (!Take(1)) return false;
    double const a = in_.ReadDouble();
    auto const [x, y] = XY<G>(a, in_.ReadDouble());
    parts.Point(x, y);
    return true;
  }

  template <class G>
  bool AllPoints(Parts<G>& parts) {
    if (!Take(point_count_)) return false;
    parts.ReservePoints(point_count_);
    if (point_count_ > 0) SeekPoint(0);
    for (std::uint32_t i = 0; i < point_count_; ++i) {
      double const a = in_.ReadDouble();
      auto const [x, y] = XY<G>(a, in_.ReadDouble());
      parts.Point(x, y);
    }
    return true;
  }

  // Feeds the points of a run to `add`, in order.
  template <class G, class Add>
  void Feed(Run run, Add&& add) {
    SeekPoint(run.first);
    for (std::uint32_t i = 0; i < run.count; ++i) {
      double const a = in_.ReadDouble();
      auto const [x, y] = XY<G>(a, in_.ReadDouble());
      add(x, y);
    }
  }

  template <class G>
  bool Line(Parts<G>& parts, std::int64_t figure) {
    Run const run = PointsOf(figure);
    if (!Take(run.count)) return false;
    parts.BeginLine(run.count);
    Feed<G>(run, [&parts](double x, double y) { parts.LinePoint(x, y); });
    parts.EndLine();
    return true;
  }

  // One polygon from the figures of a shape, a ring per figure.
  template <class G>
  bool Polygon(Parts<G>& parts, std::int64_t shape) {
    Run const figures = FiguresOf(shape);
    typename Parts<G>::PackedLines rings;
    rings.reserve(figures.count);
    for (std::uint32_t f = figures.first; f - figures.first < figures.count; ++f) {
      bool const first = f == figures.first;
      bool const hole = version_ == 1 ? FigureAt(f).attribute == kInteriorRing : !first;
      Run const run = PointsOf(f);
      if (!Take(run.count)) return false;
      parts.BeginRing(run.count);
      Feed<G>(run, [&parts](double x, double y) { parts.RingPoint(x, y); });
      rings.push_back(parts.EndRing(hole));
      // Version 1 marks the exterior ring; it goes first whatever its place.
      if (version_ == 1 && !hole && !first) {
        std::rotate(rings.begin(), rings.end() - 1, rings.end());
      }
    }
    parts.Polygon(std::move(rings));
    return true;
  }

  // The shapes after the root: as polygons for a MultiPolygon, by their own
  // type in a GeometryCollection (whose nested collections only group the
  // shapes that follow them).
  template <class G>
  bool Members(Parts<G>& parts, bool polygons) {
    for (std::uint32_t s = 1; s < shape_count_; ++s) {
      Shape const shape = ShapeAt(s);
      if (shape.type < 1 || shape.type > 7) return false;
      if (shape.first_figure == -1) continue;
      bool ok = true;
      if (polygons || shape.type == 3) {
        ok = Polygon(parts, s);
      } else if (shape.type == 1) {
        ok = Point(parts, shape.first_figure);
      } else if (shape.type == 2) {
        ok = Line(parts, shape.first_figure);
      }
      if (!ok) return false;
    }
    return true;
  }

  BufferReader in_;
  std::int32_t srid_ = 0;
  std::uint8_t version_ = 0;
  std::uint8_t single_ = 0;  // 1 single point, 2 single segment, 0 tables
  std::uint8_t single_attribute_ = 0;
  std::uint32_t points_at_ = 0, point_count_ = 0;
  std::uint32_t figures_at_ = 0, figure_count_ = 0;
  std::uint32_t shapes_at_ = 0, shape_count_ = 0;
  std::uint64_t taken_ = 0;
};

// Writing.

bool IsCollection(ShapeType type) {
  return type == ShapeType::MultiPoint || type == ShapeType::MultiLineString ||
         type == ShapeType::MultiPolygon || type == ShapeType::Mixed;
}

// The type of a root or an empty shape: Mixed and Empty are collections.
std::uint8_t TypeByte(ShapeType type) {
  auto const n = static_cast<std::uint8_t>(type);
  return n >= 1 && n <= 6 ? n : 7;
}

template <class G>
void WriteValue(StreamWriter& out, G const& value) {
  ShapeType const type = value.GetShapeType();
  auto const points = value.GetPoints();
  auto const lines = value.GetLines();
  auto const polys = value.GetPolys();
  std::uint32_t const p = points.size(), l = lines.size(), g = polys.size();
  bool const single_point = type == ShapeType::Point && p > 0;
  bool const single_segment = type == ShapeType::LineString && l > 0 && lines[0].size() == 2;
  bool const collection = IsCollection(type);

  auto coordinate = [&out](auto const& c) {
    if constexpr (std::is_same_v<G, Geometry>) {
      out.WriteDouble(c.GetX());
      out.WriteDouble(c.GetY());
    } else {
      out.WriteDouble(Degrees(c.GetLatitude().Get()).Get());
      out.WriteDouble(Degrees(c.GetLongitude().Get()).Get());
    }
  };

  auto header = [&out, &value, single_point, single_segment](std::size_t body) {
    out.Reserve(6 + body);
    out.WriteUInt32(value.GetOriginalSRID().GetID());
    out.WriteByte(2);
    out.WriteByte(kValid | (single_point ? kSinglePoint : 0) |
                  (single_segment ? kSingleSegment : 0));
  };
  if (single_point) {
    header(kPointBytes);
    coordinate(points[0]);
    return;
  }
  if (single_segment) {
    header(2 * kPointBytes);
    auto const line = lines[0];
    coordinate(line[0]);
    coordinate(line[1]);
    return;
  }

  std::uint64_t vertices = p;
  std::uint32_t rings = 0;
  for (auto const& line : lines) vertices += line.size();
  for (auto const& poly : polys) {
    rings += poly.size();
    for (auto const& ring : poly) vertices += ring.size();
  }
  std::uint32_t const figures = p + l + rings;
  std::uint32_t const shapes = figures == 0 ? 1 : p + l + g + (collection ? 1 : 0);
  header(12 + vertices * kPointBytes + std::uint64_t{figures} * kFigureBytes +
         std::uint64_t{shapes} * kShapeBytes);

  out.WriteUInt32(static_cast<std::uint32_t>(vertices));
  for (std::uint32_t i = 0; i < p; ++i) coordinate(points[i]);
  auto run = [&](auto const& coordinates) {
    std::uint32_t const n = coordinates.size();
    for (std::uint32_t i = 0; i < n; ++i) coordinate(coordinates[i]);
  };
  for (auto const& line : lines) run(line);
  for (auto const& poly : polys) {
    for (auto const& ring : poly) run(ring);
  }

  out.WriteUInt32(figures);
  std::uint32_t first_point = 0;
  auto figure = [&out, &first_point](std::uint8_t attribute, std::uint32_t size) {
    out.WriteByte(attribute);
    out.WriteUInt32(first_point);
    first_point += size;
  };
  for (std::uint32_t i = 0; i < p; ++i) figure(0, 1);
  for (auto const& line : lines) figure(kStroke, line.size());
  for (auto const& poly : polys) {
    std::uint32_t r = 0;
    for (auto const& ring : poly) figure(r++ == 0 ? kExteriorRing : kInteriorRing, ring.size());
  }

  out.WriteUInt32(shapes);
  auto shape = [&out](std::int32_t parent, std::int32_t first_figure, std::uint8_t shape_type) {
    out.WriteUInt32(static_cast<std::uint32_t>(parent));
    out.WriteUInt32(static_cast<std::uint32_t>(first_figure));
    out.WriteByte(shape_type);
  };
  if (figures == 0) {
    shape(-1, -1, TypeByte(type));
    return;
  }
  if (collection) shape(-1, 0, TypeByte(type));
  std::int32_t const parent = collection ? 0 : -1;
  std::int32_t next_figure = 0;
  for (std::uint32_t i = 0; i < p; ++i) shape(parent, next_figure++, 1);
  for (std::uint32_t i = 0; i < l; ++i) shape(parent, next_figure++, 2);
  for (auto const& poly : polys) {
    std::int32_t const rings_here = static_cast<std::int32_t>(poly.size());
    shape(parent, rings_here > 0 ? next_figure : -1, 3);
    next_figure += rings_here;
  }
}

}  // namespace

SpatialPtr SqlServerSerialization::Read(std::vector<std::uint8_t> const& bytes) {
  Decoder decoder(bytes);
  if (!decoder.Locate()) return MakeSpatial<Unknown>();
  return detail::sqlserver::ReadFamily(decoder.Srid(),
                                       [&decoder](auto& parts) { return decoder.Read(parts); });
}

std::vector<std::uint8_t> SqlServerSerialization::Write(Spatial const& value) {
  return detail::sqlserver::WriteFamily(
      value, [](StreamWriter& out, auto const& g) { WriteValue(out, g); });
}

}  // namespace ostrel
