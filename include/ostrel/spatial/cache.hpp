// Cache<T>: a bounded, thread-safe map from 64-bit keys (hashes of lines,
// rings and polygons) to computed results.
//
// Eviction: storing a new key into a full cache first removes entries one at
// a time until the count is below the maximum size; each removal draws a
// bucket index uniformly from [0, bucket count) with the cache's own mt19937
// (seeded with 5489) and, if that bucket holds an entry, erases the bucket's
// first entry. Overwriting a key that is present never evicts. Buckets for
// the maximum size are reserved at construction, so the map never rehashes
// and the bucket count, hence the sequence of victims, is fixed for a given
// sequence of operations.
//
// One mutex guards the entries and the engine. Callers look a key up, compute
// a missing result outside the lock and then store it; two threads may both
// compute the same entry, and the later store wins.
//
// The entries live on the global heap, not on a MemoryResource: a cache is
// registered for the life of the process and outlives any resource an
// engine installs.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <random>
#include <unordered_map>
#include <utility>

#include "ostrel/core/export.hpp"

namespace ostrel {
namespace detail {
// std::invalid_argument "Cannot create cache with maximum size of 0".
[[noreturn]] OSTREL_EXPORT void ThrowZeroCacheSize();
}  // namespace detail

template <class T>
class Cache {
 public:
  using Key = unsigned long long;
  using Map = std::unordered_map<Key, T>;

  explicit Cache(unsigned int maximum_size) : maximum_size_(maximum_size), engine_(5489u) {
    if (maximum_size == 0) detail::ThrowZeroCacheSize();
    entries_.reserve(maximum_size);
  }
  Cache(Cache const&) = delete;
  Cache& operator=(Cache const&) = delete;

  // Copies the entry for `key` into `out` and returns true, or returns false.
  bool Lookup(Key key, T& out) const {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = entries_.find(key);
    if (it == entries_.end()) return false;
    out = it->second;
    return true;
  }

  // Inserts or overwrites the entry for `key`, evicting first when `key` is
  // new and the cache is full.
  void Store(Key key, T const& value) {
    std::lock_guard<std::mutex> guard(lock_);
    if (entries_.size() >= maximum_size_ && entries_.find(key) == entries_.end()) {
      std::size_t const buckets = entries_.bucket_count();
      while (entries_.size() >= maximum_size_) {
        std::uniform_int_distribution<std::size_t> draw(0, buckets - 1);
        std::size_t const bucket = draw(engine_);
        auto first = entries_.begin(bucket);
        if (first != entries_.end(bucket)) entries_.erase(first->first);
      }
    }
    entries_.insert_or_assign(key, value);
  }

  unsigned int GetMaximumSize() const { return maximum_size_; }
  std::size_t Size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return entries_.size();
  }

 private:
  Map entries_;
  mutable std::mutex lock_;
  unsigned int maximum_size_;
  std::mt19937 engine_;
};

}  // namespace ostrel
