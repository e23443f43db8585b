// PointOnEllipticArc: points along an elliptic arc by fraction of the way.
//
// Fraction 0 (or less) gives the start, 1 (or more) the end. Between them the
// longitude is interpolated linearly the short way round and the latitude is
// that of the arc's plane section at that longitude, so every point lies on
// the ellipsoid and in the arc's plane. Two special paths: endpoints on one
// meridian move linearly in latitude along it; endpoints on opposite
// meridians move linearly in latitude over a pole (the north pole when the
// end's latitude is >= 0), on the start meridian before it and the end
// meridian after it.
//
// Construction computes the arc's plane, so equal endpoints throw the
// std::logic_error of EllipticArc::GetPlaneThroughArc.
#pragma once

#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"

namespace ostrel {

class OSTREL_EXPORT PointOnEllipticArc {
 public:
  PointOnEllipticArc(GeographyCoordinate const& start, GeographyCoordinate const& end);

  GeographyCoordinate operator()(double fraction) const;

 private:
  double normal_x_;
  double negated_normal_y_;
  double normal_z_;
  double one_minus_e2_;
  GeographyCoordinate start_;
  GeographyCoordinate end_;
};

}  // namespace ostrel
