// PointArrayAccessAdapter: the run of planar points a generalizer reads.
//
// The caller implements it over whatever holds its points (a shape's line or
// ring, a vector of pairs, a stream view). Points are plain (x, y) pairs of
// doubles: no bias, SRID or coordinate type is involved. A run is closed when
// it has more than 3 points and its last point equals its first in x and in y
// (== on doubles, so -0 equals 0 and a NaN point never closes a run).
//
// Invariant expected of implementations: GetSize() is constant for the
// lifetime of a Generalize call, and GetPoint(i) is defined for every
// i < GetSize(). Generalizers read every point at most once per call.
#pragma once

#include <cstddef>
#include <utility>

#include "ostrel/core/export.hpp"

namespace ostrel {

class OSTREL_EXPORT PointArrayAccessAdapter {
 public:
  PointArrayAccessAdapter() = default;
  PointArrayAccessAdapter(PointArrayAccessAdapter const&) = default;
  PointArrayAccessAdapter& operator=(PointArrayAccessAdapter const&) = default;
  virtual ~PointArrayAccessAdapter();

  // The point at index as (x, y).
  virtual std::pair<double, double> GetPoint(std::size_t index) const = 0;
  // The number of points.
  virtual std::size_t GetSize() const = 0;
};

}  // namespace ostrel
