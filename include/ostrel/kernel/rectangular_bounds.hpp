// RectangularBounds: the axis-aligned box of planar data, of one coordinate,
// one line or one polygon (its exterior ring); and RectangularBoundsCache,
// the process-wide cache of the boxes of lines and polygons keyed by their
// 64-bit part hashes.
//
// Fields: minX, minY, maxX, maxY (double) and the valid flag. A box is valid
// unless ((minX + minY) + maxX) + maxY is NaN: a NaN coordinate, or
// infinities of both signs, make it invalid; infinities of one sign do not.
// For a valid box minX <= maxX and minY <= maxY; the coordinates of an
// invalid box carry no meaning (a default box holds NaN, so Contains and
// Overlaps answer false for it). Boxes are plain immutable values.
//
// The box of a line is the Union of the boxes of its coordinates in order,
// so NaN coordinates are skipped; a line without usable coordinates has an
// invalid box. Union keeps the min/max comparisons of fmin/fmax exactly:
// for equal operands (+0.0 and -0.0) it returns the second one.
#pragma once

#include <span>

#include "ostrel/core/constants.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/kernel/geometry_bounds.hpp"
#include "ostrel/spatial/cache.hpp"
#include "ostrel/spatial/service_registry.hpp"
#include "ostrel/spatial/shape.hpp"

namespace ostrel {

class OSTREL_EXPORT RectangularBounds : public GeometryBounds {
 public:
  // Invalid, with NaN coordinates.
  RectangularBounds() = default;
  // Stores the four values; valid unless their sum is NaN. Throws
  // std::domain_error "max value should not be less than min value in bounds
  // construction." when minX > maxX or minY > maxY.
  RectangularBounds(double min_x, double min_y, double max_x, double max_y);
  // The box of one coordinate: (x, y, x, y).
  explicit RectangularBounds(GeometryCoordinate const& coordinate)
      : RectangularBounds(coordinate.GetX(), coordinate.GetY(), coordinate.GetX(),
                          coordinate.GetY()) {}
  RectangularBounds(RectangularBounds const&) = default;
  RectangularBounds& operator=(RectangularBounds const&) = default;
  ~RectangularBounds() override;

  bool IsValid() const override { return valid_; }
  // minX <= x <= maxX and minY <= y <= maxY; any NaN gives false.
  bool Contains(GeometryCoordinate const& c) const override {
    return c.GetX() >= min_x_ && max_x_ >= c.GetX() && c.GetY() >= min_y_ && max_y_ >= c.GetY();
  }
  // Closed overlap on both axes (touching boxes overlap); valid flags are not
  // consulted. Throws std::invalid_argument "ostrel::RectangularBounds::
  // Overlaps: operating on two different bounds types" for another class.
  bool Overlaps(GeometryBounds const& other) const override;

  // The smallest box holding both; an invalid operand gives a copy of the
  // other one (valid or not).
  RectangularBounds Union(RectangularBounds const& other) const;

  // The corners as coordinates with Bias::None() (snapped to floats).
  GeometryCoordinate GetMin() const { return GeometryCoordinate(min_x_, min_y_); }
  GeometryCoordinate GetMax() const { return GeometryCoordinate(max_x_, max_y_); }
  // The stored values, unsnapped.
  double GetMinX() const { return min_x_; }
  double GetMinY() const { return min_y_; }
  double GetMaxX() const { return max_x_; }
  double GetMaxY() const { return max_y_; }

  // The box of line `line` of `shape`.
  static RectangularBounds BoundsOfLine(Shape<GeometryCoordinate> const& shape, unsigned int line);
  // The box of the exterior ring (ring 0) of polygon `poly`; invalid for a
  // polygon without rings. Interior rings are not visited.
  static RectangularBounds BoundsOfPoly(Shape<GeometryCoordinate> const& shape, unsigned int poly);
  // The box of a sequence of coordinates, as of a line holding them.
  static RectangularBounds BoundsOfCoordinates(std::span<GeometryCoordinate const> coordinates);

  // BoundsOfLine and BoundsOfPoly through the RectangularBoundsCache service,
  // keyed by HashForLine(line) or HashForPoly(poly). A miss is computed
  // outside the cache's lock and then stored (invalid boxes too). Throws the
  // registry's "no Service for " error when the cache is not registered.
  static RectangularBounds CachedBoundsOfLine(Shape<GeometryCoordinate> const& shape,
                                              unsigned int line);
  static RectangularBounds CachedBoundsOfPoly(Shape<GeometryCoordinate> const& shape,
                                              unsigned int poly);

 private:
  double min_x_ = detail::kNaN;
  double min_y_ = detail::kNaN;
  double max_x_ = detail::kNaN;
  double max_y_ = detail::kNaN;
  bool valid_ = false;
};

// The cache of line and polygon boxes; BasicServices::Register installs one
// of 10000 entries.
class OSTREL_EXPORT RectangularBoundsCache final : public Service, public Cache<RectangularBounds> {
 public:
  explicit RectangularBoundsCache(unsigned int maximum_size);
  ~RectangularBoundsCache() override;
};

}  // namespace ostrel
