#include "ostrel/operations/collect.hpp"

#include <stdexcept>
#include <utility>

#include "ostrel/operations/default_collect.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/unknown.hpp"

namespace ostrel {

Collect::Handler::~Handler() = default;
CollectHandlers::~CollectHandlers() = default;

void CollectHandlers::Set(unsigned int format, Collect::Factory factory) {
  std::lock_guard lock(mutex_);
  factories_[format].swap(factory);
}

void CollectHandlers::Remove(unsigned int format) {
  Collect::Factory released;
  std::lock_guard lock(mutex_);
  if (auto it = factories_.find(format); it != factories_.end()) {
    released.swap(it->second);
    factories_.erase(it);
  }
}

std::unique_ptr<Collect::Handler> CollectHandlers::Make(unsigned int format,
                                                        Spatial const& first) const {
  std::lock_guard lock(mutex_);
  auto it = factories_.find(format);
  if (it == factories_.end() || !it->second) return nullptr;
  return it->second(first);
}

Collect::Collect() = default;
Collect::Collect(Collect&&) noexcept = default;
Collect& Collect::operator=(Collect&&) noexcept = default;
Collect::~Collect() = default;

namespace {

std::unique_ptr<Collect::Handler> GeneralHandler(Spatial const& value) {
  if (value.IsGeography()) {
    return std::make_unique<DefaultCollect::GeographyHandler>(value.AsGeography());
  }
  return std::make_unique<DefaultCollect::GeometryHandler>(value.AsGeometry());
}

template <class H>
H& HandlerAs(Collect::Handler& handler, char const* message) {
  auto* h = dynamic_cast<H*>(&handler);
  if (h == nullptr) throw std::runtime_error(message);
  return *h;
}

}  // namespace

void Collect::Add(Spatial const& value) {
  CoordinateType const type = value.GetCoordinateType();
  if (type == CoordinateType::Unknown || type == CoordinateType::Identifying) {
    throw std::invalid_argument("can not collect Unknown or Identifying");
  }
  if (type_ == CoordinateType::Unknown) {
    auto const handlers = ServiceRegistry::Instance().Get<CollectHandlers>();
    std::unique_ptr<Handler> handler = handlers->Make(value.GetFormatInfo().first, value);
    if (!handler) handler = GeneralHandler(value);
    handler_ = std::move(handler);
    type_ = type;
    return;
  }
  if (type != type_) throw std::invalid_argument("collect can not mix Geometry and Geography");
  if (!handler_->Accepts(value)) {
    // The specialised handler's partial result becomes the general one's
    // first value.
    SpatialPtr partial = handler_->Finish();
    handler_ = GeneralHandler(*partial);
  }
  if (type == CoordinateType::Geography) {
    auto& h = HandlerAs<GeographyHandler>(*handler_, "handler is not a GeographyHandler");
    Geography const& g = value.AsGeography();
    if (g.GetOriginalSRID() != h.GetOriginalSRID()) {
      throw std::invalid_argument("original SRID mismatch");
    }
    if (g.GetConvertedSRID() != h.GetConvertedSRID()) {
      throw std::invalid_argument("converted SRID mismatch");
    }
    if (g.GetTopologicalType() != h.GetTopologicalType()) {
      throw std::invalid_argument("topological type mismatch");
    }
    h.Add(g);
  } else {
    auto& h = HandlerAs<GeometryHandler>(*handler_, "handler is not a GeometryHandler");
    Geometry const& g = value.AsGeometry();
    if (g.GetOriginalSRID() != h.GetOriginalSRID()) {
      throw std::invalid_argument("original SRID mismatch");
    }
    if (g.GetConvertedSRID() != h.GetConvertedSRID()) {
      throw std::invalid_argument("converted SRID mismatch");
    }
    h.Add(g);
  }
}

SpatialPtr Collect::Finish() {
  if (!handler_) return MakeSpatial<Unknown>();
  SpatialPtr result = handler_->Finish();
  handler_.reset();
  type_ = CoordinateType::Unknown;
  return result;
}

void Collect::Register(unsigned int format, Factory factory) {
  ServiceRegistry::Instance()
      .GetOrCreate<CollectHandlers>([] { return std::make_shared<CollectHandlers>(); })
      ->Set(format, std::move(factory));
}

void Collect::Unregister(unsigned int format) {
  if (auto handlers = ServiceRegistry::Instance().Find<CollectHandlers>()) {
    handlers->Remove(format);
  }
}

namespace DefaultCollect {
namespace {

// Appends every point, line and polygon of `value`, decoded, in order.
template <class C>
void Append(Shape<C> const& value, Parts<C>& parts) {
  for (C const& c : value.GetPoints()) parts.points.push_back(c);
  for (auto const& line : value.GetLines()) {
    parts.lines.emplace_back(line.begin(), line.end());
  }
  for (auto const& poly : value.GetPolys()) {
    auto& rings = parts.polys.emplace_back();
    rings.reserve(poly.size());
    for (auto const& ring : poly) rings.emplace_back(ring.begin(), ring.end());
  }
}

}  // namespace

GeometryHandler::GeometryHandler(Geometry const& first)
    : original_(first.GetOriginalSRID()), converted_(first.GetConvertedSRID()) {
  Append<GeometryCoordinate>(first, parts_);
}
GeometryHandler::~GeometryHandler() = default;

bool GeometryHandler::Accepts(Spatial const&) { return true; }

void GeometryHandler::Add(Geometry const& value) { Append<GeometryCoordinate>(value, parts_); }

SpatialPtr GeometryHandler::Finish() {
  return MakeSpatial<DefaultGeometry>(
      parts_.points, parts_.lines, parts_.polys,
      Geometry::Attributes(GeometryCoordinate::Bias::None(), original_, converted_));
}

GeographyHandler::GeographyHandler(Geography const& first)
    : original_(first.GetOriginalSRID()),
      converted_(first.GetConvertedSRID()),
      topological_(first.GetTopologicalType()) {
  Append<GeographyCoordinate>(first, parts_);
}
GeographyHandler::~GeographyHandler() = default;

bool GeographyHandler::Accepts(Spatial const&) { return true; }

void GeographyHandler::Add(Geography const& value) { Append<GeographyCoordinate>(value, parts_); }

SpatialPtr GeographyHandler::Finish() {
  return MakeSpatial<DefaultGeography>(
      parts_.points, parts_.lines, parts_.polys,
      Geography::Attributes(original_, converted_, topological_, WindingOrder::InteriorLeft));
}

}  // namespace DefaultCollect
}  // namespace ostrel
