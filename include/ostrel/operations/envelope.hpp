// Envelope: the bounding boxes of the parts of a value.
//
// Calculate returns one box per point, then per line, then per polygon of
// the value's shape, in that order. A planar box is the pair (minimum,
// maximum corner); a geographic box is the (south-west, north-east) pair of
// a SphericalTrapezoidBounds, where a west longitude greater than the east
// one means the box runs across the antimeridian. A polygon's box is that of
// its exterior ring (widened to the pole and all longitudes when the ring
// encloses a pole).
//
// Formats that store per-line and per-polygon boxes (legacy, OGR) register
// a handler under their format identifier; Calculate returns the stored
// boxes through it and recomputes only those with a NaN corner. Every other
// box is computed from the coordinates and memoised, keyed by the part's
// hash, in the RectangularBoundsCache or SphericalTrapezoidBoundsCache
// service. So a value with lines or polygons needs BasicServices::Register
// to have run ("no Service for ..." otherwise); one with points only does
// not.
//
// Thread-safe: the handler tables are read and written under one mutex, and
// a handler found by Calculate stays alive until it returns even if it is
// unregistered meanwhile. The result vectors use the global heap (their
// type is fixed as std::vector).
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/spatial/service_registry.hpp"

namespace ostrel {

struct OSTREL_EXPORT Envelope {
  using GeometryBox = std::pair<GeometryCoordinate, GeometryCoordinate>;
  using GeographyBox = std::pair<GeographyCoordinate, GeographyCoordinate>;

  // The box of a line or polygon as a format stores it; a box with a NaN
  // component is recomputed from the coordinates.
  class OSTREL_EXPORT GeometryHandler {
   public:
    virtual ~GeometryHandler();
    virtual GeometryBox ForLine(Geometry const& value, unsigned int line) = 0;
    virtual GeometryBox ForPoly(Geometry const& value, unsigned int poly) = 0;
  };
  class OSTREL_EXPORT GeographyHandler {
   public:
    virtual ~GeographyHandler();
    virtual GeographyBox ForLine(Geography const& value, unsigned int line) = 0;
    virtual GeographyBox ForPoly(Geography const& value, unsigned int poly) = 0;
  };

  static std::vector<GeometryBox> Calculate(Geometry const& value);
  static std::vector<GeographyBox> Calculate(Geography const& value);

  // Installs a handler for a format identifier, replacing any earlier one of
  // the same kind; creates the EnvelopeHandlers service when needed.
  static void Register(unsigned int format, std::shared_ptr<GeometryHandler> handler);
  static void Register(unsigned int format, std::shared_ptr<GeographyHandler> handler);
  // Removes the handler of that kind (Geometry or Geography; other kinds
  // remove nothing). Does nothing without the EnvelopeHandlers service.
  static void Unregister(unsigned int format, CoordinateType kind);
};

// The service holding the envelope handlers by format identifier.
class OSTREL_EXPORT EnvelopeHandlers final : public Service {
 public:
  EnvelopeHandlers() = default;
  ~EnvelopeHandlers() override;

  std::shared_ptr<Envelope::GeometryHandler> FindGeometry(unsigned int format) const;
  std::shared_ptr<Envelope::GeographyHandler> FindGeography(unsigned int format) const;
  void Set(unsigned int format, std::shared_ptr<Envelope::GeometryHandler> handler);
  void Set(unsigned int format, std::shared_ptr<Envelope::GeographyHandler> handler);
  void Remove(unsigned int format, CoordinateType kind);

 private:
  mutable std::mutex mutex_;
  std::unordered_map<unsigned int, std::shared_ptr<Envelope::GeographyHandler>> geography_;
  std::unordered_map<unsigned int, std::shared_ptr<Envelope::GeometryHandler>> geometry_;
};

}  // namespace ostrel
