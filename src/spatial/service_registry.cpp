#include "ostrel/spatial/service_registry.hpp"

#include <stdexcept>
#include <string>

#include "ostrel/core/internal/no_destructor.hpp"

namespace ostrel {

Service::~Service() = default;

ServiceRegistry& ServiceRegistry::Instance() {
  // Never destroyed: services may be looked up from static destructors of
  // the host that run after ours. Its map lives on the global heap, not on a
  // MemoryResource, because it outlives any resource an engine installs.
  static detail::NoDestructor<ServiceRegistry> registry;
  return *registry;
}

std::shared_ptr<Service> ServiceRegistry::Register(std::type_info const& type,
                                                   std::shared_ptr<Service> service) {
  std::lock_guard<std::mutex> guard(lock_);
  std::shared_ptr<Service> replaced;
  auto it = services_.find(std::type_index(type));
  if (it != services_.end()) {
    replaced = std::move(it->second);
    services_.erase(it);
  }
  // Registering an empty pointer leaves the type without a service.
  if (service) services_.emplace(std::type_index(type), std::move(service));
  return replaced;
}

std::shared_ptr<Service> ServiceRegistry::Unregister(std::type_info const& type) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = services_.find(std::type_index(type));
  if (it == services_.end()) return nullptr;
  std::shared_ptr<Service> removed = std::move(it->second);
  services_.erase(it);
  return removed;
}

std::shared_ptr<Service> ServiceRegistry::Find(std::type_info const& type) const {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = services_.find(std::type_index(type));
  return it == services_.end() ? nullptr : it->second;
}

std::shared_ptr<Service> ServiceRegistry::Get(std::type_info const& type) const {
  std::shared_ptr<Service> service = Find(type);
  if (!service) ThrowNoService(type);
  return service;
}

std::shared_ptr<Service> ServiceRegistry::GetOrCreate(std::type_info const& type,
                                                      Factory const& factory) {
  std::lock_guard<std::mutex> guard(lock_);
  auto it = services_.find(std::type_index(type));
  if (it != services_.end()) return it->second;
  std::shared_ptr<Service> made = factory();
  if (made) services_.emplace(std::type_index(type), made);
  return made;
}

void ServiceRegistry::ThrowNoService(std::type_info const& type) {
  throw std::runtime_error(std::string("no Service for ") + type.name());
}

}  // namespace ostrel
