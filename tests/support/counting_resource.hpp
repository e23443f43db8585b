// CountingMemoryResource forwards to the heap and books the blocks it hands out: freeing a block
// it does not hold (not passed on), or with another size or alignment, is a mismatch. Thread-safe.
// ScopedMemoryResource makes a resource current for its lifetime, then restores the previous one.
#pragma once

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "ostrel/core/memory_resource.hpp"

namespace ostrel::test_support {

class CountingMemoryResource final : public MemoryResource {
 public:
  void* Allocate(std::size_t bytes, std::size_t alignment) override {
    void* p = NewDeleteMemoryResource()->Allocate(bytes, alignment);
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
    NewDeleteMemoryResource()->Deallocate(p, bytes, alignment);
  }
  bool IsEqual(MemoryResource const& other) const override { return this == &other; }

  std::size_t LiveBytes() const { return live_bytes_; }
  std::size_t LiveBlocks() const { return live_blocks_; }
  std::size_t Allocations() const { return allocations_; }
  // Everything handed out has come back, each block exactly as allocated.
  bool Balanced() const { return live_blocks_ == 0 && mismatches_ == 0; }

 private:
  std::mutex mutex_;
  std::unordered_map<void*, std::pair<std::size_t, std::size_t>> blocks_;  // bytes, alignment
  std::atomic<std::size_t> live_bytes_ = 0, live_blocks_ = 0, allocations_ = 0, mismatches_ = 0;
};

struct ScopedMemoryResource {
  explicit ScopedMemoryResource(MemoryResource* r) : previous(SetMemoryResource(r)) {}
  ~ScopedMemoryResource() { SetMemoryResource(previous); }
  ScopedMemoryResource(ScopedMemoryResource const&) = delete;
  MemoryResource* const previous;
};

}  // namespace ostrel::test_support
