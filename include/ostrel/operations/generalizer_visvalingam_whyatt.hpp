// VisvalingamWhyattGeneralizer: the Visvalingam-Whyatt simplification of one
// run, driven by a VisvalManager over SimpleArea.
//
// While the smallest doubled triangle area of any point with both neighbours
// is below tolerance squared, that point is removed (equal areas in the order
// their areas were last computed) and its neighbours' areas are recomputed.
// The end points of an open run are never removed on their own, but an open
// run reduced to its two end points loses them too. A closed run (its last
// point repeating its first) is treated as a cycle in which every point may
// go; its last point is kept exactly when its first is. Afterwards, fewer
// than 2 kept points of an open run, or fewer than 4 of a closed run, clear
// the whole mask. Runs of fewer than 3 points are kept whole.
#pragma once

#include <vector>

#include "ostrel/core/export.hpp"
#include "ostrel/operations/generalizer.hpp"
#include "ostrel/operations/generalizer_point_array.hpp"

namespace ostrel {

class OSTREL_EXPORT VisvalingamWhyattGeneralizer : public Generalizer {
 public:
  VisvalingamWhyattGeneralizer() = default;
  VisvalingamWhyattGeneralizer(VisvalingamWhyattGeneralizer const&) = default;
  VisvalingamWhyattGeneralizer& operator=(VisvalingamWhyattGeneralizer const&) = default;
  ~VisvalingamWhyattGeneralizer() override;

  void Generalize(PointArrayAccessAdapter const& points, std::vector<bool>& keep,
                  double tolerance) override;
};

}  // namespace ostrel
