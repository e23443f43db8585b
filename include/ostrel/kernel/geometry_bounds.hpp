// GeometryBounds: the abstract bounds of planar data (of one coordinate, one
// line or one polygon). RectangularBounds is its one implementation.
//
// Virtual operations in table order: destructor, IsValid, Contains,
// Overlaps. Contains is a closed test; Overlaps compares two bounds of the
// same class and rejects others.
#pragma once

#include "ostrel/core/export.hpp"
#include "ostrel/core/geometry_coordinate.hpp"

namespace ostrel {

class OSTREL_EXPORT GeometryBounds {
 public:
  virtual ~GeometryBounds();

  // Whether the object holds a usable box.
  virtual bool IsValid() const = 0;
  // Closed containment of one coordinate.
  virtual bool Contains(GeometryCoordinate const& coordinate) const = 0;
  // Overlap with another planar bounds object.
  virtual bool Overlaps(GeometryBounds const& other) const = 0;

 protected:
  GeometryBounds() = default;
  GeometryBounds(GeometryBounds const&) = default;
  GeometryBounds& operator=(GeometryBounds const&) = default;
};

}  // namespace ostrel
