// DefaultCollect: the general collect handlers, which accept every value of
// their kind and accumulate its decoded coordinates (points, lines, polygons
// with all rings, in input order). Finish builds a default-format value
// whose shape type is inferred from the counts (Point, MultiPoint,
// LineString, ..., Mixed, Empty), with the collected SRIDs (and topological
// type), the default bias or winding order, and the value constructor's own
// validation. Storage comes from the memory resource current when the
// handler is made.
#pragma once

#include "ostrel/core/export.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/operations/collect.hpp"

namespace ostrel::DefaultCollect {

template <class C>
struct Parts {
  ResourceVector<C> points;
  ResourceVector<ResourceVector<C>> lines;
  ResourceVector<ResourceVector<ResourceVector<C>>> polys;
};

class OSTREL_EXPORT GeometryHandler final : public Collect::GeometryHandler {
 public:
  // Starts with `first` already collected, and its SRIDs.
  explicit GeometryHandler(Geometry const& first);
  ~GeometryHandler() override;

  bool Accepts(Spatial const& value) override;
  SpatialPtr Finish() override;
  void Add(Geometry const& value) override;
  SRID GetOriginalSRID() override { return original_; }
  SRID GetConvertedSRID() override { return converted_; }

 private:
  Parts<GeometryCoordinate> parts_;
  SRID original_;
  SRID converted_;
};

class OSTREL_EXPORT GeographyHandler final : public Collect::GeographyHandler {
 public:
  explicit GeographyHandler(Geography const& first);
  ~GeographyHandler() override;

  bool Accepts(Spatial const& value) override;
  SpatialPtr Finish() override;
  void Add(Geography const& value) override;
  SRID GetOriginalSRID() override { return original_; }
  SRID GetConvertedSRID() override { return converted_; }
  TopologicalType GetTopologicalType() override { return topological_; }

 private:
  Parts<GeographyCoordinate> parts_;
  SRID original_;
  SRID converted_;
  TopologicalType topological_;
};

}  // namespace ostrel::DefaultCollect
