// CompressedSpatialWriter<G>: writes the compressed body of one planar or
// geographic value (G is Geometry or Geography) on the grid 10^-precision.
//
// Body, by spatial type (Q(d) = zigzag varint of RoundToPowerOf10(d, p);
// a section is a varint byte length followed by that many bytes):
//   box section       varint 0 when the box is absent or invalid; otherwise a
//                     section holding a section holding the byte 3, Q(min.x),
//                     Q(min.y), Q(max.x - min.x), Q(max.y - min.y)
//   coordinate list   a section holding the varint count and, per coordinate,
//                     Q(x - px), Q(y - py), (px, py) being the position a
//                     reader reconstructs, starting at (0, 0)
//   point             box section, Q(x), Q(y)
//   line string       box section, coordinate list
//   ring              coordinate list without the closing coordinate
//   polygon           box section, varint ring count, rings
//   multi-point       box section, one coordinate list of all points
//   multi-line string box section, varint count, line strings
//   multi-polygon     box section, varint count, polygons
//   mixed             box section, varint item count, then every point as the
//                     byte 1, Q(x), Q(y); every line as the byte 2 and a line
//                     string; every polygon as the byte 3 and a polygon
// Geographic x and y are latitude and longitude in radians.
//
// Boxes come from `boxes`, fetched in emission order: one counter per kind of
// item advances each time that kind's box section is written, so one writer
// writes one value once. A legacy value's coordinate lists that are already
// compressed at this precision are copied as they are stored.
//
// The spatial type is that of the value's shape type when the content fits
// it (a singular type holds exactly one item of its kind, a multi type only
// its own kind); otherwise the multi form when that fits, otherwise mixed,
// so that no content is dropped: an empty Point is stored as an empty
// multi-point.
//
// The writer borrows the value and the box source; it must not outlive
// them. Failure: std::invalid_argument "x is too large to round via double
// to uint64_t" for a coordinate, delta or box term beyond 2^53 - 1 grid
// steps, or NaN.
#pragma once

#include <cstdint>

#include "ostrel/core/export.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/legacy/bounding_box_accessor.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"

namespace ostrel::LegacySerialization {

template <class G>
class OSTREL_EXPORT CompressedSpatialWriter {
 public:
  CompressedSpatialWriter(std::int8_t precision, G const& spatial,
                          BoundingBoxAccessor<G> const& boxes);

  // Appends the value's compressed body to `out`.
  void Write(ResourceVector<std::uint8_t>& out);

  std::int8_t GetPrecision() const { return precision_; }

 private:
  template <class, class>
  friend class CompressedBodyEncoder;

  std::int8_t precision_;
  G const* spatial_;
  BoundingBoxAccessor<G> const* boxes_;
  std::uint32_t point_counter_ = 0;
  std::uint32_t line_counter_ = 0;
  std::uint32_t polygon_counter_ = 0;
  std::uint32_t multi_point_counter_ = 0;
  std::uint32_t multi_line_string_counter_ = 0;
  std::uint32_t multi_polygon_counter_ = 0;
};

extern template class CompressedSpatialWriter<Geometry>;
extern template class CompressedSpatialWriter<Geography>;

namespace detail {

// A writer for the value: boxes from the value itself when it is a legacy or
// OGR value, otherwise from the shared default accessor (every box absent).
OSTREL_EXPORT CompressedSpatialWriter<Geometry> CreateCompressedWriter(Geometry const& value,
                                                                       std::int8_t precision);
OSTREL_EXPORT CompressedSpatialWriter<Geography> CreateCompressedWriter(Geography const& value,
                                                                        std::int8_t precision);

}  // namespace detail
}  // namespace ostrel::LegacySerialization
