// The body grammar of well-known text and the sink that turns what it reads
// into a value, shared by WktSerialization and the PostgreSQL text form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>

#include "ostrel/core/angle.hpp"
#include "ostrel/serialization/bias_tracker.hpp"
#include "ostrel/serialization/geographic_input.hpp"
#include "ostrel/serialization/line_builder.hpp"
#include "ostrel/serialization/ring_builder.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/unknown.hpp"
#include "serialization/wkt_tokenizer.hpp"

namespace ostrel::detail::wkt {

// Parses one shape and the end of the text, reporting every coordinate to
// the sink with its position: Point(x, y); Line(line, x, y);
// Ring(polygon, ring, x, y). Line and polygon indexes run on through the
// whole text, ring indexes restart in every polygon. Every rule consumes a
// token before it recurses, and only collections recurse, at most 10 deep,
// so any text ends in a parse or a failure.
template <class Sink>
class BodyParser {
 public:
  BodyParser(Tokenizer& tokens, Sink& sink) : t_(tokens), sink_(sink) {}

  // The ShapeType number (1-7) of the top keyword, or 0 when the text does
  // not parse.
  int Parse() {
    int const token = t_.Next().kind;
    int shape = 0;
    bool ok = false;
    if (token == kGeometryCollection) {
      shape = 7;
      ok = Collection(0);
    } else if (Rule const rule = ElementRule(token)) {
      shape = element_;
      ok = Tagged(2, rule);
    }
    return ok && t_.Peek() == kEnd ? shape : 0;
  }

 private:
  using Rule = bool (BodyParser::*)(int dimensions);

  // The rule of a POINT ... MULTIPOLYGON item; sets the element kind (the
  // ShapeType numbers 1-6), which routes coordinates.
  Rule ElementRule(int token) {
    static constexpr Rule kRules[] = {&BodyParser::Coordinate, &BodyParser::CoordinateList,
                                      &BodyParser::RingList,   &BodyParser::MultiPointList,
                                      &BodyParser::RingList,   &BodyParser::PolygonList};
    if (token < kPoint || token > kMultiPolygon) return nullptr;
    element_ = token - kPoint + 1;
    return kRules[token - kPoint];
  }

  bool InPolygon() const { return element_ == 3 || element_ == 6; }
  bool InLine() const { return element_ == 2 || element_ == 5; }

  // [Z | M | ZM] (EMPTY | "(" inner ")").
  bool Tagged(int dimensions, Rule inner) {
    if (t_.Accept(kZ) || t_.Accept(kM)) {
      dimensions = 3;
    } else if (t_.Accept(kZM)) {
      dimensions = 4;
    }
    if (t_.Accept(kEmpty)) return true;
    return t_.Accept(kOpen) && (this->*inner)(dimensions) && t_.Accept(kClose);
  }

  bool Coordinate(int dimensions) {
    double x = 0, y = 0, ignored = 0;
    if (!t_.Number(x) || !t_.Number(y)) return false;
    for (int d = 2; d < dimensions; ++d) {
      if (!t_.Number(ignored)) return false;
    }
    if (InPolygon()) {
      sink_.Ring(poly_, ring_, x, y);
    } else if (InLine()) {
      sink_.Line(line_, x, y);
    } else {
      sink_.Point(x, y);
    }
    return true;
  }

  bool CoordinateList(int dimensions) {
    do {
      if (!Coordinate(dimensions)) return false;
    } while (t_.Accept(kComma));
    if (InPolygon()) {
      ++ring_;
    } else {
      ++line_;
    }
    return true;
  }

  bool RingList(int dimensions) {
    bool const polygon = InPolygon();
    if (polygon) ring_ = 0;
    do {
      if (!t_.Accept(kOpen) || !CoordinateList(dimensions) || !t_.Accept(kClose)) return false;
    } while (t_.Accept(kComma));
    if (polygon) ++poly_;
    return true;
  }

  bool MultiPointList(int dimensions) {
    do {
      if (t_.Accept(kOpen)) {
        if (!Coordinate(dimensions) || !t_.Accept(kClose)) return false;
      } else if (!Coordinate(dimensions)) {
        return false;
      }
    } while (t_.Accept(kComma));
    return true;
  }

  bool PolygonList(int dimensions) {
    do {
      if (!t_.Accept(kOpen) || !RingList(dimensions) || !t_.Accept(kClose)) return false;
    } while (t_.Accept(kComma));
    return true;
  }

  bool Collection(int depth) {
    if (depth >= 10) return false;
    depth_ = depth;
    return Tagged(2, &BodyParser::CollectionItems);
  }

  bool CollectionItems(int dimensions) {
    int const depth = depth_;
    do {
      int const token = t_.Next().kind;
      if (token == kGeometryCollection) {
        if (!Collection(depth + 1)) return false;
        continue;
      }
      Rule const rule = ElementRule(token);
      if (rule == nullptr || !Tagged(dimensions, rule)) return false;
    } while (t_.Accept(kComma));
    return true;
  }

  Tokenizer& t_;
  Sink& sink_;
  int element_ = 0;
  int depth_ = 0;
  std::uint32_t line_ = 0;
  std::uint32_t poly_ = 0;
  std::uint32_t ring_ = 0;
};

// Turns the coordinates of the body into the packed vectors of a value: a
// line or ring is finished (and may throw) when the next coordinate belongs
// to another one, and the last ones at Finish, after a successful parse.
template <class G>
class ValueSink {
 public:
  static constexpr bool kPlanar = std::is_same_v<G, Geometry>;
  using C = typename G::Coordinate;
  using Values = DefaultSpatial<G>;
  static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

  ValueSink(bool densify, bool orient)
      : line_builder_(0, densify, false),
        ring_builder_(0, densify, orient),
        tracker_(kPlanar ? &BiasTracker::ForThisThread() : nullptr) {}

  void Point(double x, double y) {
    if constexpr (kPlanar) {
      points_.emplace_back(x, y, tracker_->Get(x, y));
    } else {
      points_.emplace_back(Latitude(Radians(Degrees(ClampLatitude(y)))),
                           Longitude(Radians(Degrees(WrapLongitude(x)))));
    }
  }

  void Line(std::uint32_t line, double x, double y) {
    if (line != line_) {
      FinishLine();
      line_ = line;
    }
    Add(line_builder_, x, y);
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
    Add(ring_builder_, x, y);
  }

  void Finish() {
    FinishLine();
    FinishRing();
    FinishPolygon();
  }

  SpatialPtr Build(ShapeType shape_type, typename G::Attributes const& attributes) {
    using V = std::conditional_t<kPlanar, DefaultGeometry, DefaultGeography>;
    return MakeSpatial<V>(shape_type, std::move(points_), std::move(lines_), std::move(polys_),
                          attributes);
  }

 private:
  template <class B>
  void Add(B& builder, double x, double y) {
    if constexpr (kPlanar) {
      builder.AddPlanar(GeometryCoordinate(x, y, tracker_->Get(x, y)));
    } else {
      builder.AddGeographic(x, y);
    }
  }

  void FinishLine() {
    if (!line_builder_.Empty()) lines_.push_back(line_builder_.FinishLine());
  }
  void FinishRing() {
    if (ring_builder_.Empty()) return;
    if constexpr (kPlanar) {
      rings_.push_back(ring_builder_.FinishPlanarRing());
    } else {
      rings_.push_back(ring_builder_.FinishGeographicRing(ring_ != 0));
    }
  }
  void FinishPolygon() {
    if (rings_.empty()) return;
    polys_.push_back(std::move(rings_));
    rings_ = typename Values::PackedLines();
  }

  LineBuilder<C> line_builder_;
  RingBuilder<C> ring_builder_;
  BiasTracker* tracker_;
  std::uint32_t line_ = kNone;
  std::uint32_t poly_ = kNone;
  std::uint32_t ring_ = kNone;
  typename Values::PackedLines rings_;  // of the polygon being read
  typename Values::PackedPoints points_;
  typename Values::PackedLines lines_;
  typename Values::PackedPolys polys_;
};

// Reads the body from the tokenizer into a value of family G: a planar read
// activates the bias tracker; text that does not parse is an Unknown.
template <class G>
SpatialPtr ReadValue(Tokenizer& tokens, bool densify, bool orient,
                     typename G::Attributes attributes) {
  auto read = [&]() -> SpatialPtr {
    ValueSink<G> sink(densify, orient);
    BodyParser<ValueSink<G>> parser(tokens, sink);
    int const shape = parser.Parse();
    if (shape == 0) return MakeSpatial<Unknown>();
    sink.Finish();
    if constexpr (std::is_same_v<G, Geometry>) {
      attributes.bias = BiasTracker::ForThisThread().GetBias();
    }
    return sink.Build(static_cast<ShapeType>(shape), attributes);
  };
  if constexpr (std::is_same_v<G, Geometry>) {
    GeometryCoordinate::Bias delivered;
    BiasTracker::Scope scope(BiasTracker::ForThisThread(), delivered);
    return read();
  } else {
    return read();
  }
}

}  // namespace ostrel::detail::wkt
