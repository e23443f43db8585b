// PinnedItem: a polygonal value of a join with everything its exact tests
// need read once: the cached bounds of every polygon (which are also its
// boxes in the index), the cached pole containment of every ring, and, for
// the rings of the indexed side (the long ones, or all of them when the
// join tests many points per polygon), an unpacked copy of the ring with
// the earth-centred position of every vertex and, for the long rings, an
// index of its edges by band (of y in the plane, of longitude on the
// ellipsoid).
//
// Verification then takes no cache lock: PinnedItem::Contains answers
// exactly what Intersects::Calculate answers for the same polygon and point.
// - Bounds and pole containment are the very results the caches return
//   (read once instead of once per candidate). A ring whose pole
//   containment fails keeps the error and raises it when a test reaches
//   that ring, where Calculate would raise it.
// - The band index only skips edges that cannot count: an edge or arc is
//   filed under every band its range covers, the band of a coordinate is a
//   monotone function of it, and every edge of the point's band is still
//   evaluated with the same functions (intersects_rings.hpp). So the set of
//   counted edges, hence the answer, is that of the full walk. A point on
//   the antimeridian (where +pi and -pi are one meridian but two bands)
//   walks the whole ring.
// - Planes are the cross products of the stored positions, as
//   EllipticArc::GetPlaneThroughArc computes them.
#pragma once

#include <cstdint>
#include <exception>

#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/core/memory_resource.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/kernel/vector.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"

namespace ostrel::detail {

class PinnedItem {
 public:
  // Which rings are unpacked into the item: none (rings are walked through
  // the value's views), those of at least kMinimumIndexedRing coordinates,
  // or all. Unpacking a ring costs about one walk through its view, so
  // short rings are worth it only when the polygon meets many points.
  enum class Copies { kNone, kLongRings, kAllRings };

  // Reads the bounds of every polygon and the pole containment of every
  // ring of `value` (its family given by `geography`) through the caches,
  // copies the rings that `copies` names, and builds the band index of
  // every copied ring of at least kMinimumIndexedRing coordinates (shorter
  // ones are walked whole, from the copy). All storage comes from
  // `resource`. Errors of the bounds propagate; those of pole containment
  // are kept for Contains.
  PinnedItem(Spatial const& value, bool geography, Copies copies, MemoryResource* resource);

  static constexpr unsigned int kMinimumIndexedRing = 32;

  Spatial const* GetValue() const { return value_; }
  unsigned int NumberOfPolys() const { return static_cast<unsigned int>(polys_.size()); }
  RectangularBounds const& PlanarBounds(unsigned int poly) const { return polys_[poly].planar; }
  SphericalTrapezoidBounds const& SphericalBounds(unsigned int poly) const {
    return polys_[poly].spherical;
  }

  // Whether polygon `poly` of the pinned value contains p, as Calculate's
  // polygon test decides it.
  bool Contains(unsigned int poly, GeometryCoordinate const& p) const;
  bool Contains(unsigned int poly, GeographyCoordinate const& p) const;

 private:
  struct Poly {
    RectangularBounds planar;
    SphericalTrapezoidBounds spherical;
    unsigned int first_ring = 0;
    unsigned int rings = 0;
  };
  // A ring, and its band index when it has one (bands > 0): the vertices
  // vertices_[first, first + size), the bands' edge lists
  // band_edges_[band_offsets_[offsets + b], band_offsets_[offsets + b + 1]),
  // band(v) = min(bands - 1, trunc((v - low) * scale)) for v > low, else 0.
  struct Ring {
    unsigned int first = 0;
    unsigned int size = 0;
    unsigned int offsets = 0;
    unsigned int bands = 0;
    double low = 0;
    double high = 0;
    double scale = 0;
    int poles = 0;
    int error = 0;  // 1 + index into errors_, or 0
  };

  static bool Copied(Copies copies, unsigned int size) {
    return size > 0 && (copies == Copies::kAllRings ||
                        (copies == Copies::kLongRings && size >= kMinimumIndexedRing));
  }
  unsigned int Band(Ring const& ring, double v) const {
    if (!(v > ring.low)) return 0;
    double const scaled = (v - ring.low) * ring.scale;
    double const last = static_cast<double>(ring.bands - 1);
    return scaled >= last ? ring.bands - 1 : static_cast<unsigned int>(scaled);
  }
  template <class SpanOf>
  void BuildBands(Ring& ring, unsigned int edges, SpanOf const& span_of);
  void IndexPlanarRing(Ring& ring);
  void IndexSphericalRing(Ring& ring);
  int SphericalCount(Ring const& ring, unsigned int poly, unsigned int r, double x,
                     Vector3D const& position) const;

  Spatial const* value_;
  ResourceVector<Poly> polys_;
  ResourceVector<Ring> rings_;
  ResourceVector<GeometryCoordinate> planar_;
  ResourceVector<GeographyCoordinate> spherical_;
  ResourceVector<Vector3D> positions_;
  ResourceVector<std::uint32_t> band_offsets_;
  ResourceVector<std::uint32_t> band_edges_;
  ResourceVector<std::exception_ptr> errors_;
};

}  // namespace ostrel::detail
