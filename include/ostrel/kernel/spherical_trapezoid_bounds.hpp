// SphericalTrapezoidBounds: the bounding region of geographic data, a
// latitude band [south, north] crossed with a longitude interval [west,
// east] that may run across the antimeridian; and
// SphericalTrapezoidBoundsCache, the process-wide cache of the bounds of
// lines and polygons keyed by their 64-bit part hashes.
//
// Fields: the south-west and north-east corners (GeographyCoordinate) and
// the valid flag. Longitudes lie in [-pi, pi]; west > east means the
// interval runs east from west through the antimeridian to east; the whole
// circle is west = -pi, east = +pi. A default object holds two NaN corners
// and is invalid. Construction replaces a west edge of exactly +pi by -pi,
// and an east edge of exactly -pi by +pi, when the two edges differ.
//
// Edges between geographic vertices are elliptic arcs, so the bounds of a
// line are the Union, arc by arc, of the bounds of each arc's endpoints and
// of its vertex when the arc bulges poleward. A polygon's bounds are those
// of its exterior ring, widened to every longitude and to the pole when the
// ring encloses a pole (ring 0's pole containment, through the
// PoleContainmentCache). Union keeps the smaller of the two ways to join
// disjoint intervals, so bounds are not commutative in general.
#pragma once

#include <span>

#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/latitude.hpp"
#include "ostrel/core/longitude.hpp"
#include "ostrel/kernel/elliptic_arc.hpp"
#include "ostrel/kernel/geography_bounds.hpp"
#include "ostrel/spatial/cache.hpp"
#include "ostrel/spatial/service_registry.hpp"
#include "ostrel/spatial/shape.hpp"

namespace ostrel {

class OSTREL_EXPORT SphericalTrapezoidBounds : public GeographyBounds {
 public:
  // Invalid, both corners NaN.
  SphericalTrapezoidBounds() = default;
  // Invalid corners become NaN; valid when both are valid. Throws
  // std::domain_error "ostrel::SphericalTrapezoidBounds::Southern latitude
  // should not be more northern than northern latitude in bounds
  // construction." when south > north.
  SphericalTrapezoidBounds(GeographyCoordinate const& south_west,
                           GeographyCoordinate const& north_east);
  // The bounds of one coordinate.
  explicit SphericalTrapezoidBounds(GeographyCoordinate const& coordinate)
      : SphericalTrapezoidBounds(coordinate, coordinate) {}
  SphericalTrapezoidBounds(SphericalTrapezoidBounds const&) = default;
  SphericalTrapezoidBounds& operator=(SphericalTrapezoidBounds const&) = default;
  ~SphericalTrapezoidBounds() override;

  bool IsValid() const override { return valid_; }
  // Closed: south <= lat <= north, and the longitude in [west, east] or, for
  // a wrapping interval, in [west, pi] or [-pi, east]. NaN gives false.
  bool Contains(GeographyCoordinate const& coordinate) const override;
  // Closed overlap of the latitude bands and of the longitude intervals (two
  // wrapping intervals always overlap); valid flags are not consulted.
  // Throws std::invalid_argument "ostrel::SphericalTrapezoidBounds::
  // Overlaps: operating on two different bounds types" for another class.
  bool Overlaps(GeographyBounds const& other) const override;

  // The bounds of both; an invalid operand gives a copy of the other one.
  SphericalTrapezoidBounds Union(SphericalTrapezoidBounds const& other) const;

  // The corners re-snapped by the GeographyCoordinate constructor.
  GeographyCoordinate GetSouthWest() const;
  GeographyCoordinate GetNorthEast() const;
  // The edges as stored.
  Latitude GetSouthLatitude() const { return south_west_.GetLatitude(); }
  Latitude GetNorthLatitude() const { return north_east_.GetLatitude(); }
  Longitude GetWestLongitude() const { return south_west_.GetLongitude(); }
  Longitude GetEastLongitude() const { return north_east_.GetLongitude(); }

  // west > east.
  bool CrossesAntimeridian() const {
    return south_west_.GetLongitude().Get().Get() > north_east_.GetLongitude().Get().Get();
  }
  // The west edge snaps to -pi or below and the east edge to +pi or above.
  bool CoversAllLongitudes() const;

  // Union of the bounds of the start and of the end, and of the arc's
  // vertex when it lies inside the arc.
  static SphericalTrapezoidBounds BoundsOfArc(EllipticArc const& arc);
  // Union, arc by arc, of the bounds of the arcs of line `line`; invalid for
  // fewer than two coordinates.
  static SphericalTrapezoidBounds BoundsOfLine(Shape<GeographyCoordinate> const& shape,
                                               unsigned int line);
  // The same walk over ring `ring` of polygon `poly` (no pole containment).
  static SphericalTrapezoidBounds BoundsOfRing(Shape<GeographyCoordinate> const& shape,
                                               unsigned int poly, unsigned int ring);
  // The same walk over a sequence of coordinates.
  static SphericalTrapezoidBounds BoundsOfCoordinates(
      std::span<GeographyCoordinate const> coordinates);
  // The bounds of the exterior ring of polygon `poly`, widened for the
  // poles it encloses; the whole sphere when it encloses both. Invalid for a
  // polygon without rings. Needs the PoleContainmentCache service.
  static SphericalTrapezoidBounds BoundsOfPoly(Shape<GeographyCoordinate> const& shape,
                                               unsigned int poly);

  // BoundsOfLine and BoundsOfPoly through the SphericalTrapezoidBoundsCache
  // service, keyed by HashForLine(line) or HashForPoly(poly); a miss is
  // computed outside the cache's lock and then stored (invalid bounds too).
  // Errors of the computation propagate and nothing is stored.
  static SphericalTrapezoidBounds CachedBoundsOfLine(Shape<GeographyCoordinate> const& shape,
                                                     unsigned int line);
  static SphericalTrapezoidBounds CachedBoundsOfPoly(Shape<GeographyCoordinate> const& shape,
                                                     unsigned int poly);

 private:
  GeographyCoordinate south_west_;
  GeographyCoordinate north_east_;
  bool valid_ = false;
};

// The cache of line and polygon bounds; BasicServices::Register installs one
// of 10000 entries.
class OSTREL_EXPORT SphericalTrapezoidBoundsCache final : public Service,
                                                          public Cache<SphericalTrapezoidBounds> {
 public:
  explicit SphericalTrapezoidBoundsCache(unsigned int maximum_size);
  ~SphericalTrapezoidBoundsCache() override;
};

}  // namespace ostrel
