#include "ostrel/operations/basic_services.hpp"

#include <memory>
#include <stdexcept>

#include "ostrel/kernel/pole_containment.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/legacy/legacy_format.hpp"
#include "ostrel/ogr/ogr_format.hpp"
#include "ostrel/operations/collect.hpp"
#include "ostrel/operations/envelope.hpp"
#include "ostrel/operations/legacy_collect.hpp"
#include "ostrel/operations/stored_envelope.hpp"
#include "ostrel/spatial/service_registry.hpp"
#include "ostrel/spatial/spatial.hpp"

namespace ostrel {
namespace {

constexpr unsigned int kCacheEntries = 10000;

unsigned int LegacyId() { return LegacyFormat::GetRegisteredFormatInfo().first; }
unsigned int OgrId() { return OgrFormat::GetRegisteredFormatInfo().first; }

std::unique_ptr<Collect::Handler> MakeLegacyCollectHandler(Spatial const& first) {
  switch (first.GetCoordinateType()) {
    case CoordinateType::Geography:
      return std::make_unique<LegacyCollect::GeographyHandler>(first.AsGeography());
    case CoordinateType::Geometry:
      return std::make_unique<LegacyCollect::GeometryHandler>(first.AsGeometry());
    default: throw std::invalid_argument("can't handle " + to_string(first));
  }
}

}  // namespace

void BasicServices::Register() {
  ServiceRegistry& registry = ServiceRegistry::Instance();
  // 1-3. The kernel's caches.
  registry.Register(std::make_shared<PoleContainmentCache>(kCacheEntries));
  registry.Register(std::make_shared<RectangularBoundsCache>(kCacheEntries));
  registry.Register(std::make_shared<SphericalTrapezoidBoundsCache>(kCacheEntries));
  // 4. A new CollectHandlers table.
  registry.Register(std::make_shared<CollectHandlers>());
  // 5. A new EnvelopeHandlers table.
  registry.Register(std::make_shared<EnvelopeHandlers>());
  // 6. The legacy geography, then geometry, envelope handlers.
  Envelope::Register(LegacyId(), std::make_shared<LegacyEnvelope::GeographyHandler>());
  Envelope::Register(LegacyId(), std::make_shared<LegacyEnvelope::GeometryHandler>());
  // 7. The legacy collect factory.
  Collect::Register(LegacyId(), MakeLegacyCollectHandler);
  // 8. The OGR geography, then geometry, envelope handlers.
  Envelope::Register(OgrId(), std::make_shared<OgrEnvelope::GeographyHandler>());
  Envelope::Register(OgrId(), std::make_shared<OgrEnvelope::GeometryHandler>());
}

void BasicServices::Unregister() {
  ServiceRegistry& registry = ServiceRegistry::Instance();
  // Steps 8 to 4 of Register, undone in reverse.
  Envelope::Unregister(OgrId(), CoordinateType::Geometry);
  Envelope::Unregister(OgrId(), CoordinateType::Geography);
  Collect::Unregister(LegacyId());
  Envelope::Unregister(LegacyId(), CoordinateType::Geometry);
  Envelope::Unregister(LegacyId(), CoordinateType::Geography);
  registry.Unregister<EnvelopeHandlers>();
  registry.Unregister<CollectHandlers>();
  // Then the caches, newest first.
  registry.Unregister<SphericalTrapezoidBoundsCache>();
  registry.Unregister<RectangularBoundsCache>();
  registry.Unregister<PoleContainmentCache>();
}

}  // namespace ostrel
