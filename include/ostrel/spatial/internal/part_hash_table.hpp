// PartHashTable: the flat hash table in which a value caches the hashes of
// its lines, rings and polys.
//
// Keys are three 32-bit numbers (line, ring, poly) with 0xFFFFFFFF in the
// positions a part does not have; the all-0xFFFFFFFF key is no part and
// marks an empty slot. Open addressing with linear probing in one array
// whose size is a power of two, at most three quarters full: a cache of n
// parts is one allocation, not n nodes. The array comes from the memory
// resource current when the table was made (a copy: when the copy is made);
// a swapped table takes its array with its resource.
//
// Not synchronized: ShapeHashes guards it with its mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>

#include "ostrel/core/export.hpp"
#include "ostrel/core/resource_allocator.hpp"

namespace ostrel::detail {

struct PartKey {
  static constexpr std::uint32_t kUnused = 0xFFFFFFFF;
  static constexpr PartKey Line(unsigned int line) { return {line, kUnused, kUnused}; }
  static constexpr PartKey Ring(unsigned int poly, unsigned int ring) {
    return {kUnused, ring, poly};
  }
  static constexpr PartKey Poly(unsigned int poly) { return {kUnused, kUnused, poly}; }

  std::uint32_t line;
  std::uint32_t ring;
  std::uint32_t poly;
  bool operator==(PartKey const&) const = default;
};

class OSTREL_EXPORT PartHashTable {
 public:
  PartHashTable() = default;
  // The slots' allocator follows the container rules (a copy takes the
  // current resource; assignments keep their own; swap exchanges them), and
  // the resource pointer follows it.
  PartHashTable(PartHashTable const& other)
      : slots_(other.slots_), size_(other.size_), resource_(slots_.get_allocator().GetResource()) {}
  PartHashTable(PartHashTable&& other) noexcept
      : slots_(std::move(other.slots_)), size_(other.size_), resource_(other.resource_) {
    other.size_ = 0;
  }
  PartHashTable& operator=(PartHashTable const& other) {
    slots_ = other.slots_;
    size_ = other.size_;
    return *this;
  }
  PartHashTable& operator=(PartHashTable&& other) {
    slots_ = std::move(other.slots_);
    size_ = other.size_;
    other.size_ = 0;
    return *this;
  }

  // The cached hash of `key`, or null.
  unsigned long long const* Find(PartKey key) const;
  // Inserts or overwrites.
  void Set(PartKey key, unsigned long long hash);
  // Makes room for `count` parts in all, so that as many Sets allocate
  // nothing more.
  void Reserve(std::size_t count);

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  void swap(PartHashTable& other) {
    slots_.swap(other.slots_);
    std::swap(size_, other.size_);
    std::swap(resource_, other.resource_);
  }
  // Read without the owner's lock while another thread may rehash (which
  // swaps the slot vectors, allocators included), so it is kept apart from
  // the vector.
  MemoryResource* GetResource() const { return resource_; }

 private:
  struct Slot {
    PartKey key{PartKey::kUnused, PartKey::kUnused, PartKey::kUnused};
    unsigned long long hash = 0;
  };
  static constexpr PartKey kEmpty{PartKey::kUnused, PartKey::kUnused, PartKey::kUnused};

  std::size_t Probe(PartKey key) const;  // the slot of key, or the empty slot where it goes
  void Rehash(std::size_t capacity);

  ResourceVector<Slot> slots_;
  std::size_t size_ = 0;
  MemoryResource* resource_ = slots_.get_allocator().GetResource();
};

}  // namespace ostrel::detail
