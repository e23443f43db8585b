// LegacyCollect: the collect handlers of the legacy format, which gather the
// stored items of legacy values (packed points, encoded lines and polygons)
// without decoding them.
//
// A handler is built from the first legacy value and accepts only legacy
// values; Collect replaces it by the general handler when another format
// arrives. Finish builds a legacy value whose storage holds every collected
// item in input order, its shape type inferred from the counts as the
// general handler does. Legacy values carry fixed attributes, so the SRIDs
// answered are those every legacy value of the kind has (none for planar
// values, WGS84 for geographic ones) and the topological type is Spheroidal.
// Items are copied on the memory resource current when they are added, and
// a failed Add leaves the handler as it was.
#pragma once

#include <type_traits>

#include "ostrel/core/export.hpp"
#include "ostrel/legacy/legacy_format.hpp"
#include "ostrel/operations/collect.hpp"

namespace ostrel::LegacyCollect {

template <class H>
class OSTREL_EXPORT BaseHandler : public H {
 public:
  // Throws std::invalid_argument "spatial is not a LegacyFormat" when
  // `first` is not a legacy value.
  explicit BaseHandler(Spatial const& first);
  ~BaseHandler() override;

  bool Accepts(Spatial const& value) override;
  SpatialPtr Finish() override;
  SRID GetOriginalSRID() override;
  SRID GetConvertedSRID() override;

 protected:
  using G = std::conditional_t<std::is_same_v<H, Collect::GeometryHandler>, Geometry, Geography>;
  using Coordinate = typename G::Coordinate;

  // Appends the stored items of a legacy value of the handler's kind.
  void AddItems(Spatial const& value);

 private:
  // The items of one added value. Records lock when copied or moved, so
  // their vectors are not grown one value at a time (which would copy every
  // record at each reallocation): each value's items are copied once into a
  // chunk of their own, and Finish moves them once into vectors of the
  // final size.
  struct Chunk {
    ResourceVector<typename Coordinate::Packed> points;
    ResourceVector<LegacySerialization::detail::SerializedLine<Coordinate>> lines;
    ResourceVector<LegacySerialization::detail::SerializedPoly<Coordinate>> polys;
  };
  ResourceVector<Chunk> chunks_;
};

extern template class OSTREL_EXPORT BaseHandler<Collect::GeometryHandler>;
extern template class OSTREL_EXPORT BaseHandler<Collect::GeographyHandler>;

class OSTREL_EXPORT GeometryHandler final : public BaseHandler<Collect::GeometryHandler> {
 public:
  explicit GeometryHandler(Geometry const& first);
  ~GeometryHandler() override;
  void Add(Geometry const& value) override;
};

class OSTREL_EXPORT GeographyHandler final : public BaseHandler<Collect::GeographyHandler> {
 public:
  explicit GeographyHandler(Geography const& first);
  ~GeographyHandler() override;
  void Add(Geography const& value) override;
  TopologicalType GetTopologicalType() override;
};

}  // namespace ostrel::LegacyCollect
