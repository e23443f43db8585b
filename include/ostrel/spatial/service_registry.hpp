// Service and ServiceRegistry: process-wide singletons found by their type.
//
// Operations that need format-specific handlers or process-wide caches find
// them at run time here. A service is any object derived from Service, held
// by std::shared_ptr and keyed by its run-time type identity; registering a
// service of a type replaces the one registered before. A caller that has
// obtained a service keeps it alive even if it is unregistered meanwhile.
//
// There is one registry per process, created on first use and never
// destroyed. Every operation holds the registry's mutex for its whole
// duration; GetOrCreate runs its factory under that mutex, so a factory
// must only construct (it must not use the registry itself).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <typeindex>
#include <typeinfo>
#include <unordered_map>

#include "ostrel/core/export.hpp"

namespace ostrel {

// The base of every service: no data, a virtual destructor.
struct OSTREL_EXPORT Service {
  Service() = default;
  Service(Service const&) = default;
  Service& operator=(Service const&) = default;
  virtual ~Service();
};

class OSTREL_EXPORT ServiceRegistry {
 public:
  using Factory = std::function<std::shared_ptr<Service>()>;

  // The process-wide registry.
  static ServiceRegistry& Instance();

  ServiceRegistry() = default;
  ServiceRegistry(ServiceRegistry const&) = delete;
  ServiceRegistry& operator=(ServiceRegistry const&) = delete;

  // Installs `service` for `type`; returns the service it replaced (empty if
  // none).
  std::shared_ptr<Service> Register(std::type_info const& type, std::shared_ptr<Service> service);
  // Removes the service for `type` and returns it (empty if none).
  std::shared_ptr<Service> Unregister(std::type_info const& type);
  // The service for `type`, or empty.
  std::shared_ptr<Service> Find(std::type_info const& type) const;
  // The service for `type`; std::runtime_error "no Service for " followed by
  // type.name() when there is none.
  std::shared_ptr<Service> Get(std::type_info const& type) const;
  // The service for `type`; when there is none, registers and returns what
  // `factory` makes (called under the registry's lock).
  std::shared_ptr<Service> GetOrCreate(std::type_info const& type, Factory const& factory);

  // Typed wrappers: the service registered for S, cast to S. A service
  // registered for typeid(S) that is not an S counts as absent (Find,
  // Unregister) or as missing (Get, GetOrCreate).
  template <class S>
  std::shared_ptr<S> Register(std::shared_ptr<S> service) {
    return std::dynamic_pointer_cast<S>(Register(typeid(S), std::move(service)));
  }
  template <class S>
  std::shared_ptr<S> Unregister() {
    return std::dynamic_pointer_cast<S>(Unregister(typeid(S)));
  }
  template <class S>
  std::shared_ptr<S> Find() const {
    return std::dynamic_pointer_cast<S>(Find(typeid(S)));
  }
  template <class S>
  std::shared_ptr<S> Get() const {
    auto service = std::dynamic_pointer_cast<S>(Get(typeid(S)));
    if (!service) ThrowNoService(typeid(S));
    return service;
  }
  template <class S>
  std::shared_ptr<S> GetOrCreate(std::function<std::shared_ptr<S>()> const& factory) {
    auto service = std::dynamic_pointer_cast<S>(
        GetOrCreate(typeid(S), [&factory]() -> std::shared_ptr<Service> { return factory(); }));
    if (!service) ThrowNoService(typeid(S));
    return service;
  }

 private:
  [[noreturn]] static void ThrowNoService(std::type_info const& type);

  mutable std::mutex lock_;
  std::unordered_map<std::type_index, std::shared_ptr<Service>> services_;
};

}  // namespace ostrel
