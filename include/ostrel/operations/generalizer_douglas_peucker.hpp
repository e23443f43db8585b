// DouglasPeuckerGeneralizer: the Douglas-Peucker simplification of one run.
//
// Starting from the segment between the first and last point, the interior
// point farthest from the segment (squared distance to the segment, the
// earliest point on ties) splits it in two while that distance exceeds
// tolerance squared; the end points of every segment that is not split are
// kept. A run of n points keeps at least min(n, 2) of them; a closed run
// keeping fewer than 4 keeps exactly points 0, i, j and n - 1 instead, with
// i = min(max(n / 3, 1), n - 3) and j = max(i + 1, min(2n / 3, n - 2)).
// Runs of more than 1000000000 points are not simplified (every point kept).
#pragma once

#include <vector>

#include "ostrel/core/export.hpp"
#include "ostrel/operations/generalizer.hpp"
#include "ostrel/operations/generalizer_point_array.hpp"

namespace ostrel {

class OSTREL_EXPORT DouglasPeuckerGeneralizer : public Generalizer {
 public:
  DouglasPeuckerGeneralizer() = default;
  DouglasPeuckerGeneralizer(DouglasPeuckerGeneralizer const&) = default;
  DouglasPeuckerGeneralizer& operator=(DouglasPeuckerGeneralizer const&) = default;
  ~DouglasPeuckerGeneralizer() override;

  void Generalize(PointArrayAccessAdapter const& points, std::vector<bool>& keep,
                  double tolerance) override;
};

}  // namespace ostrel
