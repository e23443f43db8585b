// CountingMemoryResource forwards to the heap and books the blocks it hands out: freeing a block
// it does not hold (not passed on), or with another size or alignment, is a mismatch. Thread-safe.
// FailAfter(n) makes it refuse (std::bad_alloc) every allocation after the next n, for
// failure-injection sweeps; FailAfter(kNever) lifts that.
// ScopedMemoryResource makes a resource current for its lifetime, then restores the previous one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <new>
#include <unordered_map>

#include "ostrel/core/memory_resource.hpp"

namespace ostrel::test_support {

// The C heap as a standard allocator: the resource's own bookkeeping must not
// show up in counts of the global operator new.
template <class T>
struct MallocAllocator {
  using value_type = T;
  MallocAllocator() = default;
  template <class U>
  MallocAllocator(MallocAllocator<U> const&) {}  // NOLINT(google-explicit-constructor)
  T* allocate(std::size_t n) {
    if (void* p = std::malloc(n * sizeof(T))) return static_cast<T*>(p);
    throw std::bad_alloc();
  }
  void deallocate(T* p, std::size_t) { std::free(p); }
  template <class U>
  bool operator==(MallocAllocator<U> const&) const {
    return true;
  }
};

class CountingMemoryResource final : public MemoryResource {
 public:
  static constexpr std::size_t kNever = ~std::size_t{0};

  void FailAfter(std::size_t n) { remaining_ = n; }

  void* Allocate(std::size_t bytes, std::size_t alignment) override {
    if (remaining_ != kNever && remaining_.fetch_sub(1) == 0) {
      remaining_ = 0;
      throw std::bad_alloc();
    }
    std::size_t const a =
        alignment < alignof(std::max_align_t) ? alignof(std::max_align_t) : alignment;
    void* p = std::aligned_alloc(a, (bytes + a - 1) / a * a + a);
    if (p == nullptr) throw std::bad_alloc();
    std::lock_guard lock(mutex_);
    blocks_[p] = {bytes, alignment};
    live_bytes_ += bytes, ++live_blocks_, ++allocations_;
    return p;
  }
  void Deallocate(void* p, std::size_t bytes, std::size_t alignment) override {
    std::lock_guard lock(mutex_);
    auto it = blocks_.find(p);
    if (it == blocks_.end()) return void(++mismatches_);
    mismatches_ += it->second != std::pair{bytes, alignment} ? 1 : 0;
    live_bytes_ -= it->second.first, --live_blocks_, blocks_.erase(it);
    std::free(p);
  }
  bool IsEqual(MemoryResource const& other) const override { return this == &other; }

  std::size_t LiveBytes() const { return live_bytes_; }
  std::size_t LiveBlocks() const { return live_blocks_; }
  std::size_t Allocations() const { return allocations_; }
  // Everything handed out has come back, each block exactly as allocated.
  bool Balanced() const { return live_blocks_ == 0 && mismatches_ == 0; }

 private:
  std::mutex mutex_;
  using Block = std::pair<void* const, std::pair<std::size_t, std::size_t>>;  // bytes, alignment
  std::unordered_map<void*, std::pair<std::size_t, std::size_t>, std::hash<void*>,
                     std::equal_to<void*>, MallocAllocator<Block>>
      blocks_;
  std::atomic<std::size_t> live_bytes_ = 0, live_blocks_ = 0, allocations_ = 0, mismatches_ = 0;
  std::atomic<std::size_t> remaining_ = kNever;
};

struct ScopedMemoryResource {
  explicit ScopedMemoryResource(MemoryResource* r) : previous(SetMemoryResource(r)) {}
  ~ScopedMemoryResource() { SetMemoryResource(previous); }
  ScopedMemoryResource(ScopedMemoryResource const&) = delete;
  MemoryResource* const previous;
};

}  // namespace ostrel::test_support
