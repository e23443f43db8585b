// ResourceAllocator<T>: the standard allocator interface over a
// MemoryResource, for the library's containers.
//
// A default-constructed allocator takes the resource current at that moment.
// A container that copies itself takes a fresh default allocator (the
// current resource), not the source's; a moved container keeps the source's
// allocator with its buffer; move assignment keeps the destination's
// allocator; swap exchanges allocators with the buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "ostrel/core/memory_resource.hpp"

namespace ostrel {

template <class T>
class ResourceAllocator {
 public:
  using value_type = T;
  using propagate_on_container_copy_assignment = std::false_type;
  using propagate_on_container_move_assignment = std::false_type;
  using propagate_on_container_swap = std::true_type;
  using is_always_equal = std::false_type;

  ResourceAllocator() : resource_(GetMemoryResource()) {}
  ResourceAllocator(MemoryResource* resource) : resource_(resource) {}  // NOLINT
  template <class U>
  ResourceAllocator(ResourceAllocator<U> const& other)  // NOLINT(google-explicit-constructor)
      : resource_(other.GetResource()) {}

  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) throw std::length_error("requested size greater than max size");
    return static_cast<T*>(resource_->Allocate(n * sizeof(T), alignof(T)));
  }
  void deallocate(T* p, std::size_t n) { resource_->Deallocate(p, n * sizeof(T), alignof(T)); }

  ResourceAllocator select_on_container_copy_construction() const { return ResourceAllocator(); }

  MemoryResource* GetResource() const { return resource_; }

  template <class U>
  bool operator==(ResourceAllocator<U> const& other) const {
    MemoryResource* a = resource_;
    MemoryResource* b = other.GetResource();
    return a == b || a->IsEqual(*b) || b->IsEqual(*a);
  }

 private:
  MemoryResource* resource_;
};

// The vector every value stores its coordinates in.
template <class T>
using ResourceVector = std::vector<T, ResourceAllocator<T>>;

}  // namespace ostrel
