#include "support/global_allocations.hpp"

#include <cstdlib>
#include <new>

namespace {

thread_local std::size_t allocations = 0;

void* Allocate(std::size_t bytes) {
  ++allocations;
  if (void* p = std::malloc(bytes == 0 ? 1 : bytes)) return p;
  throw std::bad_alloc();
}

void* AllocateAligned(std::size_t bytes, std::align_val_t alignment) {
  ++allocations;
  auto const a = static_cast<std::size_t>(alignment);
  std::size_t const rounded = (bytes + a - 1) / a * a;
  if (void* p = std::aligned_alloc(a, rounded == 0 ? a : rounded)) return p;
  throw std::bad_alloc();
}

}  // namespace

namespace ostrel::test_support {

GlobalAllocationCounter::GlobalAllocationCounter() : start_(allocations) {}
GlobalAllocationCounter::~GlobalAllocationCounter() = default;
std::size_t GlobalAllocationCounter::Count() const { return allocations - start_; }

}  // namespace ostrel::test_support

void* operator new(std::size_t bytes) { return Allocate(bytes); }
void* operator new[](std::size_t bytes) { return Allocate(bytes); }
void* operator new(std::size_t bytes, std::nothrow_t const&) noexcept {
  try {
    return Allocate(bytes);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t bytes, std::nothrow_t const&) noexcept {
  try {
    return Allocate(bytes);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t bytes, std::align_val_t a) { return AllocateAligned(bytes, a); }
void* operator new[](std::size_t bytes, std::align_val_t a) { return AllocateAligned(bytes, a); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
