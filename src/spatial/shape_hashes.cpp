#include "ostrel/spatial/shape_hashes.hpp"

namespace ostrel {

namespace {
constexpr std::uint32_t kUnused = 0xFFFFFFFF;
}  // namespace

ShapeHashes::Map ShapeHashes::CopyMap() const {
  std::lock_guard lock(mutex_);
  return part_hashes_;  // a copy on the current memory resource
}

ShapeHashes::ShapeHashes(ShapeHashes const& other)
    : part_hashes_(other.CopyMap()), attribute_hash_(other.attribute_hash_) {}

ShapeHashes::ShapeHashes(ShapeHashes&& other) noexcept
    : attribute_hash_(std::move(other.attribute_hash_)) {
  std::lock_guard lock(other.mutex_);
  // Swapping exchanges the allocators too, so this takes over the source's
  // nodes and leaves it an empty map on the resource this one started with.
  part_hashes_.swap(other.part_hashes_);
}

ShapeHashes& ShapeHashes::operator=(ShapeHashes const& other) {
  if (this == &other) return *this;
  Map copy = other.CopyMap();
  attribute_hash_ = other.attribute_hash_;
  std::lock_guard lock(mutex_);
  part_hashes_ = std::move(copy);
  return *this;
}

ShapeHashes& ShapeHashes::operator=(ShapeHashes&& other) noexcept {
  if (this == &other) return *this;
  Map taken;
  {
    std::lock_guard lock(other.mutex_);
    taken.swap(other.part_hashes_);
  }
  attribute_hash_ = std::move(other.attribute_hash_);
  std::lock_guard lock(mutex_);
  part_hashes_ = std::move(taken);
  return *this;
}

void ShapeHashes::swap(ShapeHashes& other) noexcept {
  if (this == &other) return;
  Map mine;
  {
    std::lock_guard lock(mutex_);
    mine.swap(part_hashes_);
  }
  {
    std::lock_guard lock(other.mutex_);
    mine.swap(other.part_hashes_);
  }
  {
    std::lock_guard lock(mutex_);
    mine.swap(part_hashes_);
  }
  attribute_hash_.swap(other.attribute_hash_);
}

std::uint64_t ShapeHashes::GetOrDoHashForAttributes(
    std::function<std::uint64_t()> const& fn) const {
  std::uint64_t cached = attribute_hash_.load();
  if (cached != 0) return cached;
  return attribute_hash_.store(fn());
}

template <class Fn>
std::uint64_t ShapeHashes::Lookup(Key key, Fn&& compute) const {
  {
    std::lock_guard lock(mutex_);
    auto it = part_hashes_.find(key);
    if (it != part_hashes_.end()) return it->second;
  }
  // Computed without the lock: a poly's function looks up its rings here.
  std::uint64_t value = compute();
  std::lock_guard lock(mutex_);
  part_hashes_[key] = value;
  return value;
}

std::uint64_t ShapeHashes::GetOrDoHashForLine(std::function<std::uint64_t(unsigned int)> const& fn,
                                              unsigned int line) const {
  return Lookup(Key{line, kUnused, kUnused}, [&] { return fn(line); });
}

std::uint64_t ShapeHashes::GetOrDoHashForPoly(std::function<std::uint64_t(unsigned int)> const& fn,
                                              unsigned int poly) const {
  return Lookup(Key{kUnused, kUnused, poly}, [&] { return fn(poly); });
}

std::uint64_t ShapeHashes::GetOrDoHashForRingOfPoly(
    std::function<std::uint64_t(unsigned int, unsigned int)> const& fn, unsigned int poly,
    unsigned int ring) const {
  return Lookup(Key{kUnused, ring, poly}, [&] { return fn(poly, ring); });
}

}  // namespace ostrel
