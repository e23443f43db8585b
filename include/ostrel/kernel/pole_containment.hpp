// Pole containment of a geographic ring: whether a closed ring, with its
// interior on the left of its direction of travel, encloses the north pole,
// the south pole, both or neither; and PoleContainmentCache, the
// process-wide cache of the answers keyed by ring hashes.
//
// The ring's arcs are counted as they cross the antimeridian (+1 eastward,
// -1 westward; a step from exactly +pi to a longitude <= 0 counts as
// eastward, one to exactly +pi from a longitude <= 0 as westward); equal
// consecutive coordinates are skipped. A sum of +1 encloses the north pole
// only, -1 the south pole only. For 0 the ring encloses both poles or
// neither: both exactly when its interior lies on the polar side of its
// northernmost point (over vertices and arc vertices) and of its
// southernmost point, as the azimuths of the arcs there show. A ring that
// passes through a pole has that pole on its boundary and is taken not to
// enclose it. Any other sum throws std::invalid_argument
// "ostrel::GetNorthAndSouthPoleContainment: Unhandled polygon winding".
#pragma once

#include <span>
#include <utility>

#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/spatial/cache.hpp"
#include "ostrel/spatial/service_registry.hpp"
#include "ostrel/spatial/shape.hpp"

namespace ostrel {

// (north contained, south contained) of a closed ring in its stored order.
OSTREL_EXPORT std::pair<bool, bool> GetNorthAndSouthPoleContainment(
    std::span<GeographyCoordinate const> ring);
// The same for ring `ring` of polygon `poly` of a shape, computed.
OSTREL_EXPORT std::pair<bool, bool> GetNorthAndSouthPoleContainment(
    Shape<GeographyCoordinate> const& shape, unsigned int poly, unsigned int ring);
// The same through the PoleContainmentCache service, keyed by
// HashForRingOfPoly(poly, ring): a miss is computed outside the cache's
// lock and stored; a ring that throws stores nothing. Throws the
// registry's "no Service for " error when the cache is not registered.
OSTREL_EXPORT std::pair<bool, bool> GetCachedNorthAndSouthPoleContainment(
    Shape<GeographyCoordinate> const& shape, unsigned int poly, unsigned int ring);

// The cache of pole containment per ring; BasicServices::Register installs
// one of 10000 entries.
class OSTREL_EXPORT PoleContainmentCache final : public Service,
                                                 public Cache<std::pair<bool, bool>> {
 public:
  explicit PoleContainmentCache(unsigned int maximum_size);
  ~PoleContainmentCache() override;
};

}  // namespace ostrel
