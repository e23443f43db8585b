#include "ostrel/operations/legacy_collect.hpp"

#include <cstddef>
#include <stdexcept>

#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel::LegacyCollect {
namespace {

bool IsLegacy(Spatial const& value) {
  return value.GetFormatInfo().first == LegacyFormat::GetRegisteredFormatInfo().first;
}

}  // namespace

template <class H>
BaseHandler<H>::BaseHandler(Spatial const& first) {
  if (!IsLegacy(first)) throw std::invalid_argument("spatial is not a LegacyFormat");
  AddItems(first);
}

template <class H>
BaseHandler<H>::~BaseHandler() = default;

template <class H>
bool BaseHandler<H>::Accepts(Spatial const& value) {
  return IsLegacy(value);
}

template <class H>
void BaseHandler<H>::AddItems(Spatial const& value) {
  // The format identifier says legacy; the kind was checked by Collect (a
  // legacy value of the other kind cannot pass its type check).
  auto const& storage = dynamic_cast<LegacySpatial<G> const&>(value).GetStorage();
  Chunk chunk{{storage.points.begin(), storage.points.end()},
              {storage.lines.begin(), storage.lines.end()},
              {storage.polygons.begin(), storage.polygons.end()}};
  chunks_.push_back(std::move(chunk));
}

template <class H>
SpatialPtr BaseHandler<H>::Finish() {
  std::size_t points = 0, lines = 0, polys = 0;
  for (Chunk const& c : chunks_) {
    points += c.points.size(), lines += c.lines.size(), polys += c.polys.size();
  }
  LegacySerialization::Storage<G> storage;
  storage.shape_type = detail::InferShapeType(points, lines, polys);
  storage.points.reserve(points);
  storage.lines.reserve(lines);
  storage.polygons.reserve(polys);
  for (Chunk& c : chunks_) {
    storage.points.insert(storage.points.end(), c.points.begin(), c.points.end());
    for (auto& line : c.lines) storage.lines.push_back(std::move(line));
    for (auto& poly : c.polys) storage.polygons.push_back(std::move(poly));
  }
  chunks_.clear();
  if constexpr (std::is_same_v<G, Geometry>) {
    return MakeSpatial<LegacyGeometry>(std::move(storage));
  } else {
    return MakeSpatial<LegacyGeography>(std::move(storage));
  }
}

template <class H>
SRID BaseHandler<H>::GetOriginalSRID() {
  return std::is_same_v<G, Geometry> ? SRID::None() : SRID::WGS84();
}

template <class H>
SRID BaseHandler<H>::GetConvertedSRID() {
  return std::is_same_v<G, Geometry> ? SRID::None() : SRID::WGS84();
}

template class BaseHandler<Collect::GeometryHandler>;
template class BaseHandler<Collect::GeographyHandler>;

GeometryHandler::GeometryHandler(Geometry const& first) : BaseHandler(first) {}
GeometryHandler::~GeometryHandler() = default;
void GeometryHandler::Add(Geometry const& value) { AddItems(value); }

GeographyHandler::GeographyHandler(Geography const& first) : BaseHandler(first) {}
GeographyHandler::~GeographyHandler() = default;
void GeographyHandler::Add(Geography const& value) { AddItems(value); }
TopologicalType GeographyHandler::GetTopologicalType() { return TopologicalType::Spheroidal; }

}  // namespace ostrel::LegacyCollect
