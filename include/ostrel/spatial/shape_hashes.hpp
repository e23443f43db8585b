// ShapeHashes: the cache of per-part hashes that a default-format value
// keeps.
//
// Lines, polys and rings are cached in a flat hash table keyed by three
// 32-bit numbers (0xFFFFFFFF marks an unused position); points are not
// cached; the attribute hash is cached in an AtomicUInt64, 0 meaning "not
// computed". All storage comes from the memory resource current when the
// cache is made (copies: when the copy is made).
//
// Lock discipline: the map's mutex is held only to look up and to store,
// never while a part function runs, because a poly's function looks up its
// rings through the same cache. Two threads that miss at once both compute;
// the later store wins with the same value. Copies, moves and swaps take each
// mutex on its own, never two at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <utility>

#include "ostrel/core/atomic_uint64.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/spatial/internal/part_hash_table.hpp"

namespace ostrel {

class OSTREL_EXPORT ShapeHashes {
 public:
  // The key of a cached part: (line, ring, poly) with 0xFFFFFFFF in the
  // positions the part does not have.
  using Key = detail::PartKey;

  ShapeHashes() = default;
  ShapeHashes(ShapeHashes const& other);
  ShapeHashes(ShapeHashes&& other);
  // Both assignments give the strong guarantee: they build the new content
  // first and then exchange it. A moved-to cache takes the source's storage
  // with its memory resource.
  ShapeHashes& operator=(ShapeHashes const& other);
  ShapeHashes& operator=(ShapeHashes&& other);
  ~ShapeHashes() = default;

  // Exchanges the maps (with their memory resources) and attribute hashes;
  // allocates nothing.
  void swap(ShapeHashes& other);

  unsigned long long GetOrDoHashForAttributes(std::function<unsigned long long()> const& fn) const;
  unsigned long long GetOrDoHashForPoint(std::function<unsigned long long(unsigned int)> const& fn,
                                         unsigned int point) const {
    return fn(point);
  }
  unsigned long long GetOrDoHashForLine(std::function<unsigned long long(unsigned int)> const& fn,
                                        unsigned int line) const;
  unsigned long long GetOrDoHashForPoly(std::function<unsigned long long(unsigned int)> const& fn,
                                        unsigned int poly) const;
  unsigned long long GetOrDoHashForRingOfPoly(
      std::function<unsigned long long(unsigned int, unsigned int)> const& fn, unsigned int poly,
      unsigned int ring) const;

  // Bulk access for hashing a whole value, one lock each: Find sets
  // hashes[i] to the cached hash of keys[i], or 0 when it has none (a part
  // whose hash is 0 is simply recomputed); Store caches every pair whose
  // hash is not 0.
  void Find(Key const* keys, std::size_t count, unsigned long long* hashes) const;
  void Store(Key const* keys, unsigned long long const* hashes, std::size_t count) const;

  // The resource the cached hashes are allocated from.
  MemoryResource* GetResource() const { return part_hashes_.GetResource(); }

 private:
  template <class Fn>
  unsigned long long Lookup(Key key, Fn&& compute) const;
  detail::PartHashTable CopyTable() const;
  detail::PartHashTable TakeTable();

  mutable detail::PartHashTable part_hashes_;
  mutable AtomicUInt64 attribute_hash_;
  mutable std::mutex mutex_;
};

}  // namespace ostrel
