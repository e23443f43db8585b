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
  auto const& legacy = dynamic_cast<LegacySpatial<G> const&>(value);
  auto const& storage = legacy.GetStorage();
  // On a failed copy the appended tails are cut off again, so a failed Add
  // leaves the handler as it was (and the whole collection is not copied
  // for every value).
  std::size_t const n_points = points_.size(), n_lines = lines_.size(), n_polys = polys_.size();
  try {
    points_.insert(points_.end(), storage.points.begin(), storage.points.end());
    lines_.insert(lines_.end(), storage.lines.begin(), storage.lines.end());
    polys_.insert(polys_.end(), storage.polygons.begin(), storage.polygons.end());
  } catch (...) {
    points_.erase(points_.begin() + static_cast<std::ptrdiff_t>(n_points), points_.end());
    lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(n_lines), lines_.end());
    polys_.erase(polys_.begin() + static_cast<std::ptrdiff_t>(n_polys), polys_.end());
    throw;
  }
}

template <class H>
SpatialPtr BaseHandler<H>::Finish() {
  LegacySerialization::Storage<G> storage;
  storage.shape_type = detail::InferShapeType(points_.size(), lines_.size(), polys_.size());
  storage.points.swap(points_);
  storage.lines.swap(lines_);
  storage.polygons.swap(polys_);
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
