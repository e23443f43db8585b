// Generalizer: simplifies one run of planar points (an open line, or a closed
// ring whose last point repeats its first) by choosing which points to keep.
//
// Generalize(points, keep, tolerance) replaces the content of keep with one
// flag per point of the run; true means the point is kept. The caller builds
// the simplified line or ring from the kept points. A generalizer holds no
// state, so one object may serve any number of runs, one call at a time or
// from several threads at once.
//
// Tolerances are lengths: both algorithms compare squared quantities against
// tolerance * tolerance, so a negative tolerance acts as its absolute value.
// A NaN tolerance is not a meaningful input: no comparison with it holds, so
// both algorithms then keep every point (neither hangs nor fails).
#pragma once

#include <memory>
#include <vector>

#include "ostrel/core/export.hpp"
#include "ostrel/operations/generalizer_point_array.hpp"

namespace ostrel {

class OSTREL_EXPORT Generalizer {
 public:
  Generalizer() = default;
  Generalizer(Generalizer const&) = default;
  Generalizer& operator=(Generalizer const&) = default;
  virtual ~Generalizer();

  virtual void Generalize(PointArrayAccessAdapter const& points, std::vector<bool>& keep,
                          double tolerance) = 0;
};

// A new Douglas-Peucker generalizer: every point it drops lies within the
// tolerance of the kept segment spanning it; it keeps at least the two end
// points of a non-empty run, and at least four points of a closed run.
OSTREL_EXPORT std::unique_ptr<Generalizer> MakeDouglasPeuckerGeneralizer();

// A new Visvalingam-Whyatt generalizer: repeatedly drops the point whose
// triangle with its neighbours has the smallest doubled area, while that area
// is below tolerance squared. An open run reduced to fewer than 2 points, or
// a closed run to fewer than 4, is dropped entirely (no point kept).
OSTREL_EXPORT std::unique_ptr<Generalizer> MakeVisvalingamWhyattGeneralizer();

}  // namespace ostrel
