// CleanRingAndRemoveIntroducedSelfIntersections: repairs a geographic ring
// after its coordinates were snapped to the packed grid.
//
// Snapping can move nearby vertices onto each other, fold a short edge back
// against its neighbour, or collapse a tiny ring. Given the snapped ring and,
// for each edge k (vertex k to k + 1), its direction before snapping, three
// passes run in the (longitude, latitude) plane:
//   1. near-duplicates (rings of 4 or more coordinates): two consecutive
//      vertices within 30 grid steps are merged onto the one whose turn
//      snapping reversed (the unsnapped turn is under 0.6 pi and the snapped
//      turn has the opposite sign);
//   2. spikes, until nothing changes: consecutive duplicates are dropped,
//      and a vertex where the path doubles back along itself within one grid
//      step is replaced by its predecessor;
//   3. a ring left with 1 to 3 coordinates is rebuilt as a minimal ring of
//      four: p0, p1, a point two grid steps to the left of p0 -> p1, p0 (for
//      two points), or p, p + (0, 2 steps east), p + (2 steps north, 0), p
//      (for one point), with special cases at the poles.
// Pass 2 may replace the closing vertex, so a ring can come back unclosed:
// callers close it again. New points are range-checked (std::out_of_range
// for a point less than two grid steps from the north pole) and snapped. Returns true when the ring
// was changed. What the direction function throws propagates.
#pragma once

#include <functional>
#include <vector>

#include "ostrel/core/angle.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/resource_allocator.hpp"

namespace ostrel {

OSTREL_EXPORT bool CleanRingAndRemoveIntroducedSelfIntersections(
    std::vector<GeographyCoordinate>& ring, std::function<Radians(unsigned)> direction);
OSTREL_EXPORT bool CleanRingAndRemoveIntroducedSelfIntersections(
    ResourceVector<GeographyCoordinate>& ring, std::function<Radians(unsigned)> direction);

}  // namespace ostrel
