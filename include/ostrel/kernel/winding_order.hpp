// DetectWindingOrder: on which side of a closed ring its interior lies,
// decided at the ring's extreme vertex.
//
// The points are (first, second) pairs, the last equal to the first; for a
// geographic ring pass (longitude, latitude). The extreme vertex is the
// first point with the smallest second component. If exactly one of the two
// edges leaving it goes towards smaller first components, their first
// components decide; otherwise the edges are compared by the cosine of
// their angle with the first axis, counter-clockwise order meaning that the
// next edge has the larger cosine. Nearly collinear edges keep their order:
// a cosine within rounding of +-1 is held as the pair (+-1, the
// second-order correction -dy^2 / (2 dx^2) times the sign), and one of a
// nearly vertical edge as dx/dy - (dx/dy)^3 / 2.
//
// Counter-clockwise in (first, second) is InteriorLeft, clockwise
// InteriorRight, coinciding edges Ambiguous. Fewer than 3 points are
// Ambiguous. `point` is called with indices below `count` only, and what it
// throws propagates (std::bad_function_call for an empty function).
#pragma once

#include <functional>
#include <utility>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"

namespace ostrel {

OSTREL_EXPORT WindingOrder
DetectWindingOrder(std::function<std::pair<double, double>(unsigned)> point, unsigned count);

}  // namespace ostrel
