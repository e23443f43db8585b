// Scratch<T, N>: a temporary array of `size` default-initialized Ts that
// lives on the stack when size <= N, and otherwise comes from a given memory
// resource (the one of the value being worked on, so that work on a value
// touches no other resource).
#pragma once

#include <array>
#include <cstddef>

#include "ostrel/core/resource_allocator.hpp"

namespace ostrel::detail {

template <class T, std::size_t N>
class Scratch {
 public:
  Scratch(std::size_t size, MemoryResource* resource)
      : heap_(ResourceAllocator<T>(resource)), size_(size) {
    if (size > N) heap_.resize(size);
  }
  Scratch(Scratch const&) = delete;
  Scratch& operator=(Scratch const&) = delete;

  T* data() { return size_ > N ? heap_.data() : inline_.data(); }
  T& operator[](std::size_t i) { return data()[i]; }
  std::size_t size() const { return size_; }

 private:
  std::array<T, N> inline_;
  ResourceVector<T> heap_;
  std::size_t size_;
};

}  // namespace ostrel::detail
