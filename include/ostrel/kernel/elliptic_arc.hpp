// EllipticArc: the edge between two consecutive vertices of a spheroidal
// geography, the shorter arc of the curve in which the plane through both
// vertices and the centre of the WGS84 ellipsoid cuts the ellipsoid.
//
// The arc's vertex is the point of that plane section farthest from the
// equator on the side the arc can reach; GetExtremalPointIfHas reports it
// when it lies strictly inside the arc, which is when the arc bulges
// poleward beyond both endpoints. Arcs that run along a meridian have no
// vertex, except that an arc over a pole reports that pole.
//
// Failures: std::logic_error "EllipticArc::GetPlaneThroughArc: Unable to
// create plane through zero-length arc." for equal endpoints;
// std::logic_error "EllipticArc::GetExtremalPointIfHas: Unable to find
// extremal point" when the vertex cannot be constructed (a plane normal of
// length 0, from exactly antipodal endpoints). Latitudes are range-checked
// (std::out_of_range).
#pragma once

#include <utility>

#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/latitude.hpp"
#include "ostrel/kernel/vector.hpp"

namespace ostrel {

class OSTREL_EXPORT EllipticArc {
 public:
  // Both endpoints NaN.
  EllipticArc() = default;
  EllipticArc(GeographyCoordinate const& start, GeographyCoordinate const& end)
      : start_(start), end_(end) {}

  GeographyCoordinate const& GetStart() const { return start_; }
  GeographyCoordinate const& GetEnd() const { return end_; }

  // The normal of the arc's plane: P(start) x P(end) of the earth-centred
  // positions. It points to the side from which the arc runs
  // counter-clockwise (north for an eastward arc north of the equator).
  Vector3D GetPlaneThroughArc() const;

  // The geodetic latitude of the highest point of the plane section,
  // atan2(h, |(1 - e^2) nz|) with h the horizontal length of the normal;
  // negated when both endpoints lie strictly south of the equator.
  Latitude GetExtremalLatitude() const;
  Latitude GetExtremalLatitude(Vector3D const& normal) const;

  // (true, vertex) when the arc's vertex lies strictly inside it, else
  // (false, NaN coordinate). No vertex for equal endpoints, for endpoints
  // both on the equator (unless antipodal), for an endpoint on a pole, for
  // arcs along a meridian, and for an endpoint that is not valid. An arc
  // over a pole (its azimuth at the start or end within 1e-7 of north,
  // endpoint longitudes more than 1e-7 apart) gives that pole at longitude
  // 0: the north pole when the arc heads north at its start.
  std::pair<bool, GeographyCoordinate> GetExtremalPointIfHas() const;

 private:
  GeographyCoordinate start_;
  GeographyCoordinate end_;
};

}  // namespace ostrel
