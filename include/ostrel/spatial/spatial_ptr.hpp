// The owning pointer to a spatial value, and the factory that makes one.
//
// Values the library creates are allocated from the memory resource current
// at creation, with alignment 8, and handed out as
// std::unique_ptr<Spatial, detail::UniquePtrDelete<Spatial>> (SpatialPtr).
// The deleter remembers that resource and the byte count, so the object is
// returned to where it came from whatever resource is current by then. An
// empty pointer carries the current resource and a byte count of 0.
#pragma once

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#include "ostrel/core/memory_resource.hpp"

namespace ostrel {

class Spatial;

namespace detail {

inline constexpr std::size_t kSpatialAlignment = 8;

template <class T>
class UniquePtrDelete {
 public:
  UniquePtrDelete() : resource_(GetMemoryResource()) {}
  UniquePtrDelete(MemoryResource* resource, std::size_t bytes)
      : resource_(resource), bytes_(bytes) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> UniquePtrDelete(
      UniquePtrDelete<U> const& other)  // NOLINT(google-explicit-constructor)
      : resource_(other.GetResource()), bytes_(other.GetBytes()) {}

  // Runs the destructor without freeing, then returns the most-derived
  // object's storage to the resource it came from.
  void operator()(T* p) const {
    if (p == nullptr) return;
    void* storage = dynamic_cast<void*>(p);
    p->~T();
    resource_->Deallocate(storage, bytes_, kSpatialAlignment);
  }

  MemoryResource* GetResource() const { return resource_; }
  std::size_t GetBytes() const { return bytes_; }

 private:
  MemoryResource* resource_;
  std::size_t bytes_ = 0;
};

}  // namespace detail

using SpatialPtr = std::unique_ptr<Spatial, detail::UniquePtrDelete<Spatial>>;

// Builds a T (a concrete value class) in storage from the current memory
// resource. If the constructor throws, the storage is returned and the
// exception propagates.
template <class T, class... Args>
SpatialPtr MakeSpatial(Args&&... args) {
  static_assert(std::is_base_of_v<Spatial, T>, "MakeSpatial builds spatial values");
  static_assert(alignof(T) <= detail::kSpatialAlignment, "values are allocated with alignment 8");
  MemoryResource* resource = GetMemoryResource();
  void* storage = resource->Allocate(sizeof(T), detail::kSpatialAlignment);
  T* object;
  try {
    object = ::new (storage) T(std::forward<Args>(args)...);
  } catch (...) {
    resource->Deallocate(storage, sizeof(T), detail::kSpatialAlignment);
    throw;
  }
  return SpatialPtr(object, detail::UniquePtrDelete<Spatial>(resource, sizeof(T)));
}

}  // namespace ostrel
