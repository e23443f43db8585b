#include "ostrel/spatial/shape_hashes.hpp"

#include <algorithm>

namespace ostrel {

detail::PartHashTable ShapeHashes::CopyTable() const {
  std::lock_guard lock(mutex_);
  return part_hashes_;  // a copy on the current memory resource
}

// The table, leaving this one empty on the current resource. Swapping
// exchanges the resources with the arrays, so nothing is allocated.
detail::PartHashTable ShapeHashes::TakeTable() {
  detail::PartHashTable taken;
  std::lock_guard lock(mutex_);
  taken.swap(part_hashes_);
  return taken;
}

ShapeHashes::ShapeHashes(ShapeHashes const& other)
    : part_hashes_(other.CopyTable()), attribute_hash_(other.attribute_hash_) {}

ShapeHashes::ShapeHashes(ShapeHashes&& other)
    : part_hashes_(other.TakeTable()), attribute_hash_(std::move(other.attribute_hash_)) {}

ShapeHashes& ShapeHashes::operator=(ShapeHashes const& other) {
  if (this == &other) return *this;
  ShapeHashes copy(other);
  swap(copy);
  return *this;
}

ShapeHashes& ShapeHashes::operator=(ShapeHashes&& other) {
  if (this == &other) return *this;
  ShapeHashes taken(std::move(other));
  swap(taken);
  return *this;
}

void ShapeHashes::swap(ShapeHashes& other) {
  if (this == &other) return;
  detail::PartHashTable mine = TakeTable();
  detail::PartHashTable theirs = other.TakeTable();
  {
    std::lock_guard lock(mutex_);
    part_hashes_.swap(theirs);
  }
  {
    std::lock_guard lock(other.mutex_);
    other.part_hashes_.swap(mine);
  }
  attribute_hash_.swap(other.attribute_hash_);
}

unsigned long long ShapeHashes::GetOrDoHashForAttributes(
    std::function<unsigned long long()> const& fn) const {
  unsigned long long cached = attribute_hash_.load();
  if (cached != 0) return cached;
  return attribute_hash_.store(fn());
}

template <class Fn>
unsigned long long ShapeHashes::Lookup(Key key, Fn&& compute) const {
  {
    std::lock_guard lock(mutex_);
    if (unsigned long long const* cached = part_hashes_.Find(key)) return *cached;
  }
  // Computed without the lock: a poly's function looks up its rings here.
  unsigned long long value = compute();
  std::lock_guard lock(mutex_);
  part_hashes_.Set(key, value);
  return value;
}

unsigned long long ShapeHashes::GetOrDoHashForLine(
    std::function<unsigned long long(unsigned int)> const& fn, unsigned int line) const {
  return Lookup(Key::Line(line), [&] { return fn(line); });
}

unsigned long long ShapeHashes::GetOrDoHashForPoly(
    std::function<unsigned long long(unsigned int)> const& fn, unsigned int poly) const {
  return Lookup(Key::Poly(poly), [&] { return fn(poly); });
}

unsigned long long ShapeHashes::GetOrDoHashForRingOfPoly(
    std::function<unsigned long long(unsigned int, unsigned int)> const& fn, unsigned int poly,
    unsigned int ring) const {
  return Lookup(Key::Ring(poly, ring), [&] { return fn(poly, ring); });
}

void ShapeHashes::Find(Key const* keys, std::size_t count, unsigned long long* hashes) const {
  std::lock_guard lock(mutex_);
  if (part_hashes_.empty()) {
    std::fill(hashes, hashes + count, 0ULL);
    return;
  }
  for (std::size_t i = 0; i < count; ++i) {
    unsigned long long const* cached = part_hashes_.Find(keys[i]);
    hashes[i] = cached != nullptr ? *cached : 0;
  }
}

void ShapeHashes::Store(Key const* keys, unsigned long long const* hashes,
                        std::size_t count) const {
  std::lock_guard lock(mutex_);
  part_hashes_.Reserve(part_hashes_.size() + count);
  for (std::size_t i = 0; i < count; ++i) {
    if (hashes[i] != 0) part_hashes_.Set(keys[i], hashes[i]);
  }
}

}  // namespace ostrel
