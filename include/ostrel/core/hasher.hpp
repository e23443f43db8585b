// Hasher: the 64-bit hash accumulator of every value, coordinate and
// attribute in the library.
//
// The function is fixed down to its constants, because hashes decide the
// equality of spatial values and must agree across formats, processes and
// platforms. The state starts at, and End() resets it to, the seed. Raw adds
// depend on order; an order-independent add sums the hash that a fresh hasher
// would give for the word alone, so a sequence of them commutes.
//
// Doubles are hashed by their bits with +0.0 and -0.0 folded to the word 0;
// a pair of floats as (bits of y) << 32 | (bits of x), each zero folded to
// +0.0. NaN patterns are hashed as they are.
#pragma once

#include <bit>
#include <cstdint>

namespace ostrel {

namespace detail {
struct HasherAccess;
}

class Hasher {
 public:
  static constexpr unsigned long long kSeed = 0x4123EF1D38D7B16C;
  static constexpr unsigned long long kM1 = 0x2127599BF4325C37;
  static constexpr unsigned long long kM2 = 0x880355F21E6D1965;

  Hasher() = default;

  Hasher& Add(double d) {
    AddInternal(ToUint64(d));
    return *this;
  }
  Hasher& Add(float x, float y) {
    AddInternal(ToUint64(x, y));
    return *this;
  }
  Hasher& AddOrderIndependent(double d) {
    AddInternalOrderIndependent(ToUint64(d));
    return *this;
  }
  Hasher& AddOrderIndependent(float x, float y) {
    AddInternalOrderIndependent(ToUint64(x, y));
    return *this;
  }

  // The finished hash; the state returns to the seed for reuse.
  unsigned long long End() {
    unsigned long long result = Mix(state_);
    state_ = kSeed;
    return result;
  }

  static constexpr unsigned long long ToUint64(double d) {
    return d == 0.0 ? 0 : std::bit_cast<unsigned long long>(d);
  }
  static constexpr unsigned long long ToUint64(float x, float y) {
    unsigned long long bx = x == 0.0f ? 0 : std::bit_cast<std::uint32_t>(x);
    unsigned long long by = y == 0.0f ? 0 : std::bit_cast<std::uint32_t>(y);
    return (by << 32) | bx;
  }

  // The finalizing mix: t = (v ^ (v >> 23)) * M1; t ^ (t >> 47).
  static constexpr unsigned long long Mix(unsigned long long v) {
    unsigned long long t = (v ^ (v >> 23)) * kM1;
    return t ^ (t >> 47);
  }

  // What a fresh hasher returns for the single word v; the term of the
  // order-independent add.
  static constexpr unsigned long long HashOfWord(unsigned long long v) {
    return Mix((Mix(v) ^ kSeed) * kM2);
  }

 private:
  // The library's coordinate, SRID and value classes feed raw words.
  friend struct detail::HasherAccess;

  void AddInternal(unsigned long long v) { state_ = (state_ ^ Mix(v)) * kM2; }
  void AddInternalOrderIndependent(unsigned long long v) { state_ += HashOfWord(v); }

  unsigned long long state_ = kSeed;
};

namespace detail {

// The raw word adds, for the library's own coordinate, SRID and value
// classes; not for callers.
struct HasherAccess {
  static Hasher& Add(Hasher& h, unsigned long long v) {
    h.AddInternal(v);
    return h;
  }
  static Hasher& AddOrderIndependent(Hasher& h, unsigned long long v) {
    h.AddInternalOrderIndependent(v);
    return h;
  }
};

}  // namespace detail
}  // namespace ostrel
