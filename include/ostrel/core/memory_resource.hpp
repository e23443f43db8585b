// MemoryResource: where the library's dynamic storage comes from.
//
// Every coordinate vector, hash map and value object the library creates is
// allocated from the resource that was current when its container (or owning
// pointer) was made, and is returned to that same resource. The embedding
// engine may install its own resource with SetMemoryResource at any time; a
// replaced resource must outlive everything allocated from it.
//
// Built in: NewDeleteMemoryResource() (the global heap, the initial current
// resource) and NullMemoryResource() (refuses every allocation). Both are
// stateless and thread-safe, allocate nothing themselves, and are never
// destroyed, so memory may be returned to them even while the process
// exits.
#pragma once

#include <cstddef>

#include "ostrel/core/export.hpp"

namespace ostrel {

class OSTREL_EXPORT MemoryResource {
 public:
  MemoryResource() = default;
  MemoryResource(MemoryResource const&) = default;
  MemoryResource& operator=(MemoryResource const&) = default;
  virtual ~MemoryResource();

  // Returns storage of at least `bytes` bytes aligned to `alignment`, or throws.
  virtual void* Allocate(std::size_t bytes, std::size_t alignment) = 0;
  // Returns storage obtained from Allocate with the same size and alignment.
  virtual void Deallocate(void* p, std::size_t bytes, std::size_t alignment) = 0;
  // Whether storage from this resource may be released through `other`.
  virtual bool IsEqual(MemoryResource const& other) const = 0;
};

// The current resource; NewDeleteMemoryResource() until one is installed.
OSTREL_EXPORT MemoryResource* GetMemoryResource();

// Installs `resource` (NewDeleteMemoryResource() when null) and returns the
// previous one, in one atomic exchange.
OSTREL_EXPORT MemoryResource* SetMemoryResource(MemoryResource* resource);

OSTREL_EXPORT MemoryResource* NewDeleteMemoryResource();
OSTREL_EXPORT MemoryResource* NullMemoryResource();

}  // namespace ostrel
