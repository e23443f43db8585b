#include "ostrel/spatial/internal/part_hash_table.hpp"

#include <algorithm>
#include <bit>
#include <utility>

namespace ostrel::detail {

namespace {

std::size_t Mix(PartKey const& k) {
  std::uint64_t v = (std::uint64_t{k.line} << 32 | k.ring) * 0x9E3779B97F4A7C15ULL;
  v ^= std::uint64_t{k.poly} * 0xC2B2AE3D27D4EB4FULL;
  return static_cast<std::size_t>(v ^ (v >> 29));
}

// At most three quarters full, at least 8 slots.
std::size_t CapacityFor(std::size_t count) {
  return std::bit_ceil(std::max<std::size_t>(8, count + count / 3 + 1));
}

}  // namespace

std::size_t PartHashTable::Probe(PartKey key) const {
  std::size_t const mask = slots_.size() - 1;
  std::size_t i = Mix(key) & mask;
  while (!(slots_[i].key == key) && !(slots_[i].key == kEmpty)) i = (i + 1) & mask;
  return i;
}

unsigned long long const* PartHashTable::Find(PartKey key) const {
  if (size_ == 0) return nullptr;
  Slot const& slot = slots_[Probe(key)];
  return slot.key == key ? &slot.hash : nullptr;
}

void PartHashTable::Set(PartKey key, unsigned long long hash) {
  Reserve(size_ + 1);
  Slot& slot = slots_[Probe(key)];
  if (slot.key == kEmpty) {
    slot.key = key;
    ++size_;
  }
  slot.hash = hash;
}

void PartHashTable::Reserve(std::size_t count) {
  if (count * 4 > slots_.size() * 3) Rehash(CapacityFor(count));
}

// Builds the new array completely before it replaces the old one, so a
// failed allocation leaves the table as it was.
void PartHashTable::Rehash(std::size_t capacity) {
  ResourceVector<Slot> old(capacity, slots_.get_allocator());
  old.swap(slots_);
  for (Slot const& s : old) {
    if (!(s.key == kEmpty)) slots_[Probe(s.key)] = s;
  }
}

}  // namespace ostrel::detail
