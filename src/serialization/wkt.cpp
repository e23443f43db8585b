#include "ostrel/serialization/wkt.hpp"

#include <algorithm>
#include <stdexcept>

#include "ostrel/kernel/winding_order.hpp"
#include "serialization/wkt_engine.hpp"
#include "serialization/wkt_writer.hpp"
#include "serialization/wrong_kind.hpp"

namespace ostrel {

namespace {

using detail::ThrowWrongKind;

using Pair = std::pair<double, double>;
using Pairs = std::vector<Pair>;

// Extract's builder of lines and rings of plain pairs: y clamped as a
// latitude, x kept as written; edges densified as geographic edges, their
// midpoints given back in degrees; rings closed and oriented, not cleaned.
class PairBuilder {
 public:
  void Add(double x, double y) {
    y = ClampLatitude(y);
    if (!pairs_.empty()) {
      Pair const previous = pairs_.back();
      Densify(Snapped(previous), Snapped({x, y}), Radians(kDensifyTolerance),
              LongitudeZone(previous.first) == LongitudeZone(x),
              [this](std::pair<Latitude, Longitude> const& m) {
                pairs_.emplace_back(Degrees(m.second.Get()).Get(), Degrees(m.first.Get()).Get());
              });
    }
    pairs_.emplace_back(x, y);
  }

  bool Empty() const { return pairs_.empty(); }

  Pairs FinishLine() {
    if (pairs_.size() < 2) throw std::invalid_argument("line has less than 2 coordinates");
    return Take();
  }

  Pairs FinishRing(bool is_hole) {
    if (pairs_.size() > 2 && pairs_.front() != pairs_.back()) pairs_.push_back(pairs_.front());
    if (pairs_.size() < 4) throw std::invalid_argument("ring has less than 4 coordinates");
    WindingOrder const order =
        DetectWindingOrder([this](unsigned i) { return pairs_[i]; }, unsigned(pairs_.size()));
    if (order != (is_hole ? WindingOrder::InteriorRight : WindingOrder::InteriorLeft)) {
      std::reverse(pairs_.begin(), pairs_.end());
    }
    return Take();
  }

 private:
  static GeographyCoordinate Snapped(Pair const& p) {
    return GeographyCoordinate(Latitude(Radians(Degrees(p.second))),
                               Longitude(Radians(Degrees(p.first))));
  }
  Pairs Take() {
    Pairs out = std::move(pairs_);
    pairs_.clear();
    return out;
  }

  Pairs pairs_;
};

// The bookkeeping of ValueSink over pairs.
class PairSink {
 public:
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  void Point(double x, double y) { points_.emplace_back(x, ClampLatitude(y)); }

  void Line(std::uint32_t line, double x, double y) {
    if (line != line_) {
      FinishLine();
      line_ = line;
    }
    line_builder_.Add(x, y);
  }

  void Ring(std::uint32_t poly, std::uint32_t ring, double x, double y) {
    if (poly != poly_) {
      FinishRing();
      FinishPolygon();
      poly_ = poly;
      ring_ = ring;
    } else if (ring != ring_) {
      FinishRing();
      ring_ = ring;
    }
    ring_builder_.Add(x, y);
  }

  void Finish() {
    FinishLine();
    FinishRing();
    FinishPolygon();
  }

  Pairs points_;
  std::vector<Pairs> lines_;
  std::vector<std::vector<Pairs>> polygons_;

 private:
  void FinishLine() {
    if (!line_builder_.Empty()) lines_.push_back(line_builder_.FinishLine());
  }
  void FinishRing() {
    if (!ring_builder_.Empty()) rings_.push_back(ring_builder_.FinishRing(ring_ != 0));
  }
  void FinishPolygon() {
    if (rings_.empty()) return;
    polygons_.push_back(std::move(rings_));
    rings_.clear();
  }

  PairBuilder line_builder_;
  PairBuilder ring_builder_;
  std::vector<Pairs> rings_;
  std::uint32_t line_ = kNone;
  std::uint32_t poly_ = kNone;
  std::uint32_t ring_ = kNone;
};

}  // namespace

SpatialPtr WktSerialization::Read(std::string const& text, CoordinateType type) {
  if (type != CoordinateType::Geometry && type != CoordinateType::Geography) ThrowWrongKind();
  detail::wkt::Tokenizer tokens(text);
  if (type == CoordinateType::Geometry) {
    return detail::wkt::ReadValue<Geometry>(tokens, true, true, Geometry::Attributes());
  }
  return detail::wkt::ReadValue<Geography>(tokens, true, true, Geography::Attributes());
}

std::string WktSerialization::Write(Spatial const& value) {
  std::string out;
  switch (value.GetCoordinateType()) {
    case CoordinateType::Geography: detail::wkt::AppendText(out, value.AsGeography()); break;
    case CoordinateType::Geometry: detail::wkt::AppendText(out, value.AsGeometry()); break;
    default: ThrowWrongKind();
  }
  return out;
}

ShapeType WktSerialization::Extract(std::string const& text, std::vector<Pair>& points,
                                    std::vector<Pairs>& lines,
                                    std::vector<std::vector<Pairs>>& polygons) {
  detail::wkt::Tokenizer tokens(text);
  PairSink sink;
  detail::wkt::BodyParser<PairSink> parser(tokens, sink);
  int const shape = parser.Parse();
  if (shape == 0) return ShapeType::Empty;
  sink.Finish();
  points = std::move(sink.points_);
  lines = std::move(sink.lines_);
  polygons = std::move(sink.polygons_);
  return static_cast<ShapeType>(shape);
}

}  // namespace ostrel
