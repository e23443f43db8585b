// Collect: gathers values of one kind into a single value that holds all
// their points, lines and polygons, in input order (an aggregate over many
// rows' shapes).
//
// Incremental: Add one value at a time, then Finish, after which the object
// collects afresh. The work is done by a handler chosen by the format of the
// first value: a format may register a factory (the legacy format appends
// its stored items without decoding them); without one, or as soon as a
// value arrives that the specialised handler does not accept, the general
// handler (DefaultCollect) accumulates decoded coordinates. Nothing is
// merged: collecting a multi-polygon of 2 and a polygon gives a multi-polygon
// of 3. All values must share their SRIDs (and, for geographies, their
// topological type); a planar result carries the default bias and a
// geographic one the default winding order, whatever the inputs had.
//
// Add throws std::invalid_argument for "can not collect Unknown or
// Identifying", "collect can not mix Geometry and Geography", "original SRID
// mismatch", "converted SRID mismatch" and "topological type mismatch"; a
// failed Add leaves the collection as it was. Adding the first value needs
// the CollectHandlers service (BasicServices::Register). A Collect is used by
// one thread at a time; the factory table is thread-safe, and factories run
// under its lock, so a factory must not register or unregister.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/srid.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/spatial/service_registry.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel {

class OSTREL_EXPORT Collect {
 public:
  class OSTREL_EXPORT Handler {
   public:
    virtual ~Handler();
    virtual bool Accepts(Spatial const& value) = 0;
    virtual SpatialPtr Finish() = 0;
  };
  class OSTREL_EXPORT GeometryHandler : public Handler {
   public:
    virtual void Add(Geometry const& value) = 0;
    virtual SRID GetOriginalSRID() = 0;
    virtual SRID GetConvertedSRID() = 0;
  };
  class OSTREL_EXPORT GeographyHandler : public Handler {
   public:
    virtual void Add(Geography const& value) = 0;
    virtual SRID GetOriginalSRID() = 0;
    virtual SRID GetConvertedSRID() = 0;
    virtual TopologicalType GetTopologicalType() = 0;
  };
  using Factory = std::function<std::unique_ptr<Handler>(Spatial const&)>;

  Collect();
  Collect(Collect&&) noexcept;
  Collect& operator=(Collect&&) noexcept;
  ~Collect();

  void Add(Spatial const& value);
  // The collected value; an Unknown when nothing was added.
  SpatialPtr Finish();

  // Sets the factory for a format identifier (creating the CollectHandlers
  // service when needed), replacing any earlier one.
  static void Register(unsigned int format, Factory factory);
  // Removes it; does nothing without the service or the factory.
  static void Unregister(unsigned int format);

 private:
  std::unique_ptr<Handler> handler_;
  CoordinateType type_ = CoordinateType::Unknown;
};

// The service holding the collect factories by format identifier.
class OSTREL_EXPORT CollectHandlers final : public Service {
 public:
  CollectHandlers() = default;
  ~CollectHandlers() override;

  void Set(unsigned int format, Collect::Factory factory);
  void Remove(unsigned int format);
  // The handler that the format's factory builds for `first`, called under
  // the table's lock; empty without a factory or when it declines.
  std::unique_ptr<Collect::Handler> Make(unsigned int format, Spatial const& first) const;

 private:
  mutable std::mutex mutex_;
  std::unordered_map<unsigned int, Collect::Factory> factories_;
};

}  // namespace ostrel
