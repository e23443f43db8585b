#include "ostrel/operations/basic_services.hpp"

#include <memory>

#include "ostrel/kernel/pole_containment.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/operations/collect.hpp"
#include "ostrel/operations/envelope.hpp"
#include "ostrel/spatial/service_registry.hpp"

namespace ostrel {
namespace {

constexpr unsigned int kCacheEntries = 10000;

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
  // 6. The legacy geography, then geometry, envelope handlers under the
  //    LegacyFormat identifier.
  // 7. The legacy collect factory under the LegacyFormat identifier.
  // 8. The OGR geography, then geometry, envelope handlers under the
  //    OgrFormat identifier.
}

void BasicServices::Unregister() {
  ServiceRegistry& registry = ServiceRegistry::Instance();
  // Steps 8 to 4 of Register, undone in reverse: the OGR envelope handlers
  // (geometry, then geography), the legacy collect factory, the legacy
  // envelope handlers (geometry, then geography), the EnvelopeHandlers and
  // CollectHandlers tables.
  registry.Unregister<EnvelopeHandlers>();
  registry.Unregister<CollectHandlers>();
  // Then the caches, newest first.
  registry.Unregister<SphericalTrapezoidBoundsCache>();
  registry.Unregister<RectangularBoundsCache>();
  registry.Unregister<PoleContainmentCache>();
}

}  // namespace ostrel
