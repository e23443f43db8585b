// Visvalingam-Whyatt: remove the least significant point while its doubled
// triangle area is below tolerance squared, then apply the minimum-size
// rules of open and closed runs to the kept mask.
#include "ostrel/operations/generalizer_visvalingam_whyatt.hpp"

#include <cstddef>

#include "ostrel/operations/generalizer_area.hpp"
#include "ostrel/operations/visval_manager.hpp"

namespace ostrel {

void VisvalingamWhyattGeneralizer::Generalize(PointArrayAccessAdapter const& points,
                                              std::vector<bool>& keep, double tolerance) {
  std::size_t const n = points.GetSize();
  keep.assign(n, true);
  if (n < 3) return;

  SimpleArea const area;
  VisvalManager manager(points, area);
  double const squared = tolerance * tolerance;
  while (!manager.IsEmpty() && manager.GetSmallestArea() < squared) {
    manager.Unlink(manager.GetSmallest());
  }

  unsigned int const m = manager.GetNodeCount();
  std::size_t kept = 0;
  for (unsigned int i = 0; i < m; ++i) {
    bool const linked = manager.IsLinked(i);
    keep[i] = linked;
    kept += linked ? 1 : 0;
  }
  if (manager.IsClosed()) {
    bool const linked = manager.IsLinked(0);  // the repeated last point follows the first
    keep[n - 1] = linked;
    kept += linked ? 1 : 0;
  }
  if (kept >= 4) return;
  if (!manager.IsClosed() && kept >= 2) return;
  keep.assign(n, false);
}

}  // namespace ostrel
