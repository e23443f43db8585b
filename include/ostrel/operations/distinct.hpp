// Distinct: removes repeated parts from a mixed value.
//
// Only a Mixed geometry or geography is processed. Points, lines and
// polygons are compared by their 64-bit part hashes (equal hashes are equal
// parts; no coordinates are compared). When a part repeats, the result is a
// new default-format Mixed value with the first occurrence of every part, in
// input order, and the value's complete attributes; when nothing repeats, or
// the value is not Mixed, the answer is an empty pointer ("nothing to
// remove"). The overload taking ownership hands its argument back in that
// case, and otherwise destroys it and returns the new value.
#pragma once

#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel {

struct OSTREL_EXPORT Distinct {
  static SpatialPtr Make(Spatial const& value);
  static SpatialPtr Make(SpatialPtr value);
};

}  // namespace ostrel
