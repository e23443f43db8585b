// Test helpers for memory accounting.
//
// CountingMemoryResource forwards to an upstream resource (the new/delete
// resource by default) and keeps books on what it handed out: live bytes and
// blocks, allocation and deallocation counts, and every deallocation that does
// not match an outstanding block of the same size and alignment. A mismatched
// pointer that it never handed out is not forwarded upstream. All members are
// thread-safe.
//
// ScopedMemoryResource installs a resource as the library's current one for
// the lifetime of the object and restores the previous resource afterwards.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "ostrel/core/memory_resource.hpp"

namespace ostrel::test_support {

class CountingMemoryResource final : public MemoryResource {
 public:
  explicit CountingMemoryResource(MemoryResource* upstream = NewDeleteMemoryResource())
      : upstream_(upstream) {}
  CountingMemoryResource(CountingMemoryResource const&) = delete;
  CountingMemoryResource& operator=(CountingMemoryResource const&) = delete;

  void* Allocate(std::size_t bytes, std::size_t alignment) override {
    void* p = upstream_->Allocate(bytes, alignment);
    std::lock_guard lock(mutex_);
    try {
      blocks_[p] = Block{bytes, alignment};
    } catch (...) {
      upstream_->Deallocate(p, bytes, alignment);
      throw;
    }
    live_bytes_ += bytes;
    ++allocations_;
    if (alignment != 0 && reinterpret_cast<std::uintptr_t>(p) % alignment != 0) ++misaligned_;
    return p;
  }

  void Deallocate(void* p, std::size_t bytes, std::size_t alignment) override {
    {
      std::lock_guard lock(mutex_);
      ++deallocations_;
      auto it = blocks_.find(p);
      if (it == blocks_.end()) {
        ++mismatches_;
        return;  // never handed out here (or already freed): do not pass it on
      }
      if (it->second.bytes != bytes || it->second.alignment != alignment) ++mismatches_;
      live_bytes_ -= it->second.bytes;
      blocks_.erase(it);
    }
    upstream_->Deallocate(p, bytes, alignment);
  }

  bool IsEqual(MemoryResource const& other) const override { return this == &other; }

  std::size_t LiveBytes() const { return Read(live_bytes_); }
  std::size_t LiveBlocks() const {
    std::lock_guard lock(mutex_);
    return blocks_.size();
  }
  std::size_t Allocations() const { return Read(allocations_); }
  std::size_t Deallocations() const { return Read(deallocations_); }
  // Deallocations of unknown pointers or with another size or alignment.
  std::size_t Mismatches() const { return Read(mismatches_); }
  // Blocks the upstream returned with less than the requested alignment.
  std::size_t Misaligned() const { return Read(misaligned_); }
  // Everything handed out has come back, each block exactly as allocated.
  bool Balanced() const {
    std::lock_guard lock(mutex_);
    return blocks_.empty() && mismatches_ == 0 && allocations_ == deallocations_;
  }

 private:
  struct Block {
    std::size_t bytes;
    std::size_t alignment;
  };

  std::size_t Read(std::size_t const& field) const {
    std::lock_guard lock(mutex_);
    return field;
  }

  MemoryResource* upstream_;
  mutable std::mutex mutex_;
  std::unordered_map<void*, Block> blocks_;
  std::size_t live_bytes_ = 0;
  std::size_t allocations_ = 0;
  std::size_t deallocations_ = 0;
  std::size_t mismatches_ = 0;
  std::size_t misaligned_ = 0;
};

class ScopedMemoryResource {
 public:
  explicit ScopedMemoryResource(MemoryResource* resource)
      : previous_(SetMemoryResource(resource)) {}
  ~ScopedMemoryResource() { SetMemoryResource(previous_); }
  ScopedMemoryResource(ScopedMemoryResource const&) = delete;
  ScopedMemoryResource& operator=(ScopedMemoryResource const&) = delete;

  MemoryResource* Previous() const { return previous_; }

 private:
  MemoryResource* previous_;
};

}  // namespace ostrel::test_support
