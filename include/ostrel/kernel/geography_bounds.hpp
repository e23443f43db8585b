// GeographyBounds: the abstract bounds of geographic data (of one
// coordinate, one line or one polygon). SphericalTrapezoidBounds is its one
// implementation.
//
// Virtual operations in table order: destructor, IsValid, Contains,
// Overlaps. Contains is a closed test; Overlaps compares two bounds of the
// same class and rejects others.
#pragma once

#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"

namespace ostrel {

class OSTREL_EXPORT GeographyBounds {
 public:
  virtual ~GeographyBounds();

  // Whether the object holds a usable region.
  virtual bool IsValid() const = 0;
  // Closed containment of one coordinate.
  virtual bool Contains(GeographyCoordinate const& coordinate) const = 0;
  // Overlap with another geographic bounds object.
  virtual bool Overlaps(GeographyBounds const& other) const = 0;

 protected:
  GeographyBounds() = default;
  GeographyBounds(GeographyBounds const&) = default;
  GeographyBounds& operator=(GeographyBounds const&) = default;
};

}  // namespace ostrel
