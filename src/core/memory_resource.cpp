#include <atomic>
#include <new>

#include "ostrel/core/internal/no_destructor.hpp"
#include "ostrel/core/memory_resource.hpp"

namespace ostrel {

MemoryResource::~MemoryResource() = default;

namespace {

class NewDeleteResource final : public MemoryResource {
 public:
  // Alignment is ignored: operator new's alignment suits every type the
  // library stores.
  void* Allocate(std::size_t bytes, std::size_t) override { return ::operator new(bytes); }
  void Deallocate(void* p, std::size_t, std::size_t) override { ::operator delete(p); }
  bool IsEqual(MemoryResource const& other) const override { return this == &other; }
};

// The refusal of the null resource, with the library's fixed message.
class BadAllocation final : public std::bad_alloc {
 public:
  char const* what() const noexcept override { return "bad allocation"; }
};

class NullResource final : public MemoryResource {
 public:
  void* Allocate(std::size_t, std::size_t) override { throw BadAllocation(); }
  void Deallocate(void*, std::size_t, std::size_t) override {}
  bool IsEqual(MemoryResource const& other) const override { return this == &other; }
};

// Null until the first SetMemoryResource; readers substitute the new/delete
// resource, so no start-up order matters.
constinit std::atomic<MemoryResource*> current_resource{nullptr};

}  // namespace

// Never destroyed: a host's static object destroyed after them at exit may
// still return storage to them.
MemoryResource* NewDeleteMemoryResource() {
  static detail::NoDestructor<NewDeleteResource> resource;
  return resource.get();
}

MemoryResource* NullMemoryResource() {
  static detail::NoDestructor<NullResource> resource;
  return resource.get();
}

MemoryResource* GetMemoryResource() {
  MemoryResource* r = current_resource.load(std::memory_order_acquire);
  return r != nullptr ? r : NewDeleteMemoryResource();
}

MemoryResource* SetMemoryResource(MemoryResource* resource) {
  if (resource == nullptr) resource = NewDeleteMemoryResource();
  MemoryResource* previous = current_resource.exchange(resource, std::memory_order_acq_rel);
  return previous != nullptr ? previous : NewDeleteMemoryResource();
}

}  // namespace ostrel
