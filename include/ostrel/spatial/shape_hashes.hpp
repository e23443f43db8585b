// ShapeHashes: the cache of per-part hashes that a default-format value
// keeps.
//
// Lines, polys and rings are cached in a hash map keyed by three 32-bit
// numbers (0xFFFFFFFF marks an unused position); points are not cached; the
// attribute hash is cached in an AtomicUInt64, 0 meaning "not computed".
// All storage comes from the memory resource current when the cache is made
// (copies: when the copy is made).
//
// Lock discipline: the map's mutex is held only to look up and to store,
// never while a part function runs, because a poly's function looks up its
// rings through the same cache. Two threads that miss at once both compute;
// the later store wins with the same value. Copies, moves and swaps take each
// mutex on its own, never two at once.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "ostrel/core/atomic_uint64.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/resource_allocator.hpp"

namespace ostrel {

class OSTREL_EXPORT ShapeHashes {
 public:
  ShapeHashes() = default;
  ShapeHashes(ShapeHashes const& other);
  ShapeHashes(ShapeHashes&& other) noexcept;
  ShapeHashes& operator=(ShapeHashes const& other);
  ShapeHashes& operator=(ShapeHashes&& other) noexcept;
  ~ShapeHashes() = default;

  void swap(ShapeHashes& other) noexcept;

  std::uint64_t GetOrDoHashForAttributes(std::function<std::uint64_t()> const& fn) const;
  std::uint64_t GetOrDoHashForPoint(std::function<std::uint64_t(unsigned int)> const& fn,
                                    unsigned int point) const {
    return fn(point);
  }
  std::uint64_t GetOrDoHashForLine(std::function<std::uint64_t(unsigned int)> const& fn,
                                   unsigned int line) const;
  std::uint64_t GetOrDoHashForPoly(std::function<std::uint64_t(unsigned int)> const& fn,
                                   unsigned int poly) const;
  std::uint64_t GetOrDoHashForRingOfPoly(
      std::function<std::uint64_t(unsigned int, unsigned int)> const& fn, unsigned int poly,
      unsigned int ring) const;

 private:
  struct Key {
    std::uint32_t line;
    std::uint32_t ring;
    std::uint32_t poly;
    bool operator==(Key const&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(Key const& k) const {
      std::uint64_t v = (std::uint64_t{k.line} << 32 | k.ring) * 0x9E3779B97F4A7C15ULL;
      return static_cast<std::size_t>(v ^ (v >> 29) ^
                                      (std::uint64_t{k.poly} * 0xC2B2AE3D27D4EB4FULL));
    }
  };
  using Map = std::unordered_map<Key, std::uint64_t, KeyHash, std::equal_to<Key>,
                                 ResourceAllocator<std::pair<Key const, std::uint64_t>>>;

  template <class Fn>
  std::uint64_t Lookup(Key key, Fn&& compute) const;
  Map CopyMap() const;

  mutable Map part_hashes_;
  mutable AtomicUInt64 attribute_hash_;
  mutable std::mutex mutex_;
};

}  // namespace ostrel
