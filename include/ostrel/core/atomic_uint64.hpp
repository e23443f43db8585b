// AtomicUInt64: a 64-bit cell guarded by its own mutex, in which values cache
// their hash.
//
// Every access takes this cell's mutex only; no operation ever holds the
// mutexes of two cells at once, so swap and assignment are not atomic as a
// whole. A moved-from cell holds 0. Nothing here is noexcept, because every
// operation locks: a failing lock throws std::system_error; a failing unlock
// ends the program. The memory-order arguments are accepted
// for familiarity and not used: the mutex orders every access.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

namespace ostrel {

class AtomicUInt64 {
 public:
  AtomicUInt64() = default;
  AtomicUInt64(unsigned long long value) : value_(value) {}

  AtomicUInt64(AtomicUInt64 const& other) { store(other.load()); }
  AtomicUInt64(AtomicUInt64&& other) {
    store(other.load());
    other.store(0);
  }
  AtomicUInt64& operator=(AtomicUInt64 const& other) {
    if (this != &other) store(other.load());
    return *this;
  }
  AtomicUInt64& operator=(AtomicUInt64&& other) {
    if (this != &other) store(other.load());
    other.store(0);
    return *this;
  }
  ~AtomicUInt64() = default;

  unsigned long long load(std::memory_order = std::memory_order_seq_cst) const {
    std::lock_guard lock(mutex_);
    return value_;
  }
  unsigned long long store(unsigned long long value,
                           std::memory_order = std::memory_order_seq_cst) {
    std::lock_guard lock(mutex_);
    value_ = value;
    return value;
  }
  void swap(AtomicUInt64& other) {
    unsigned long long mine = load();
    unsigned long long theirs = other.load();
    store(theirs);
    other.store(mine);
  }

 private:
  mutable std::mutex mutex_;
  unsigned long long value_ = 0;
};

}  // namespace ostrel
