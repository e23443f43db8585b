// The byte-level machinery of the legacy stream, shared by its writer, its
// reader and the lazy decoding of records: big-endian numbers, LEB128
// varints with zigzag signs, the compressed grid, a bounds-checked reader and
// a growing output cursor.
//
// Every read is checked against the end of the bytes it reads from; nothing
// here trusts a count it has not compared with the bytes that remain.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "ostrel/core/resource_allocator.hpp"

namespace ostrel::LegacySerialization::codec {

// ---- Failures (out of line, so that the hot paths stay small) --------------

[[noreturn]] void ThrowEndOfStream();            // length_error "unexpected end of stream"
[[noreturn]] void ThrowVarintTooLong();          // logic_error "varint longer than 10 bytes"
[[noreturn]] void ThrowVarintOverflow();         // logic_error "varint overflows 64 bits"
[[noreturn]] void ThrowQuantisedOutOfRange();    // logic_error "quantised value out of range"
[[noreturn]] void ThrowMalformedSection();       // logic_error "malformed section"
[[noreturn]] void ThrowTooLargeToRound();        // invalid_argument "x is too large to round ..."
[[noreturn]] void ThrowUnknownSpatialType();     // logic_error "unknown spatial type"
[[noreturn]] void ThrowMultiWithinMixed();       // logic_error "spatial stream can't have ..."
[[noreturn]] void ThrowUnknownSerializerType();  // invalid_argument "unknown serializer type"

// ---- The grid ---------------------------------------------------------------

inline constexpr double kMaxQuantised = 9007199254740991.0;                // 2^53 - 1
inline constexpr std::uint64_t kMaxZigzag = (std::uint64_t{1} << 54) - 2;  // zigzag of 2^53 - 1

// 10^p for any p the stream can ask for, -p of a signed byte included.
inline double Power10(int p) {
  static constexpr double kTable[21] = {1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4,
                                        1e-3,  1e-2, 1e-1, 1e0,  1e1,  1e2,  1e3,
                                        1e4,   1e5,  1e6,  1e7,  1e8,  1e9,  1e10};
  if (p >= -10 && p <= 10) return kTable[p + 10];
  return std::pow(10.0, p);
}

// RoundToPowerOf10 with the scale already known: the integer nearest to
// x * scale, halves away from zero. Below 2^52, adding and subtracting 2^52
// rounds to the nearest integer, halves to even, exactly; a half that went
// down to even is then moved up. From 2^52 on every double is an integer.
// This keeps the chain from one position to the next (the delta coder's
// critical path) free of integer conversions.
inline double Quantise(double x, double scale) {
  constexpr double kTwo52 = 4503599627370496.0;
  double const v = std::fabs(x * scale);
  if (!(v <= kMaxQuantised)) ThrowTooLargeToRound();
  double r = v;
  if (v < kTwo52) {
    r = (v + kTwo52) - kTwo52;
    if (v - r == 0.5) r += 1.0;
  }
  return x >= 0 ? r : -r;
}

inline std::uint64_t ZigzagEncode(std::int64_t v) {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
inline std::int64_t ZigzagDecode(std::uint64_t u) {
  return static_cast<std::int64_t>((u >> 1) ^ (~(u & 1) + 1));
}

// ---- Big-endian numbers -----------------------------------------------------

inline std::uint64_t FromBigEndian(std::uint64_t v) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(v);
  return v;
}
inline std::uint32_t FromBigEndian(std::uint32_t v) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap32(v);
  return v;
}
inline std::uint64_t LoadU64(std::uint8_t const* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return FromBigEndian(v);
}
inline double LoadF64(std::uint8_t const* p) { return std::bit_cast<double>(LoadU64(p)); }
inline std::uint32_t LoadU32(std::uint8_t const* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return FromBigEndian(v);
}
inline void StoreU64(std::uint8_t* p, std::uint64_t v) {
  v = FromBigEndian(v);
  std::memcpy(p, &v, 8);
}
inline void StoreF64(std::uint8_t* p, double d) { StoreU64(p, std::bit_cast<std::uint64_t>(d)); }
inline void StoreU32(std::uint8_t* p, std::uint32_t v) {
  v = FromBigEndian(v);
  std::memcpy(p, &v, 4);
}

// ---- Varints ----------------------------------------------------------------

inline constexpr std::size_t kMaxVarint = 10;

inline std::size_t VarintSize(std::uint64_t v) {
  return static_cast<std::size_t>((std::bit_width(v | 1) + 6) / 7);
}

// Writes v at p and returns the bytes written. p must have room for
// kMaxVarint bytes: values below 2^56 (up to 8 bytes) are spread into their
// 7-bit groups and stored as one 8-byte word, without a branch per byte.
inline std::size_t PutVarint(std::uint8_t* p, std::uint64_t v) {
  if (v >= (std::uint64_t{1} << 56)) {
    std::size_t n = 0;
    while (v >= 0x80) {
      p[n++] = static_cast<std::uint8_t>(v | 0x80);
      v >>= 7;
    }
    p[n++] = static_cast<std::uint8_t>(v);
    return n;
  }
  std::size_t const n = VarintSize(v);
  std::uint64_t w = (v & 0x7F) | ((v << 1) & 0x7F00) | ((v << 2) & 0x7F0000) |
                    ((v << 3) & 0x7F000000) | ((v << 4) & 0x7F00000000) |
                    ((v << 5) & 0x7F0000000000) | ((v << 6) & 0x7F000000000000) |
                    ((v << 7) & 0x7F00000000000000);
  w |= 0x8080808080808080 & ((std::uint64_t{1} << (8 * (n - 1))) - 1);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
  std::memcpy(p, &w, 8);
  return n;
}

// Decodes the varint at *p, not reading at or past `end`, and advances *p.
// At most 10 bytes, and the tenth may only carry the 64th bit.
inline std::uint64_t GetVarint(std::uint8_t const*& p, std::uint8_t const* end) {
  std::uint8_t const* q = p;
  if (q != end && *q < 0x80) {  // one byte: the common case of small deltas
    p = q + 1;
    return *q;
  }
  std::uint64_t v = 0;
  for (unsigned shift = 0;; shift += 7) {
    if (q == end) ThrowEndOfStream();
    std::uint8_t const b = *q++;
    if (shift == 63) {
      if (b & 0x80) ThrowVarintTooLong();
      if (b > 1) ThrowVarintOverflow();
    }
    v |= static_cast<std::uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) break;
  }
  p = q;
  return v;
}

// A quantised number: zigzag varint within +/-(2^53 - 1).
inline std::int64_t GetQuantised(std::uint8_t const*& p, std::uint8_t const* end) {
  std::uint64_t const u = GetVarint(p, end);
  if (u > kMaxZigzag) ThrowQuantisedOutOfRange();
  return ZigzagDecode(u);
}

// ---- Reading ------------------------------------------------------------------

// A cursor over untrusted bytes; every read is checked.
class Reader {
 public:
  Reader(std::uint8_t const* begin, std::uint8_t const* end) : p_(begin), end_(end) {}

  std::size_t Remaining() const { return static_cast<std::size_t>(end_ - p_); }
  std::uint8_t const* Position() const { return p_; }
  std::uint8_t const* End() const { return end_; }
  bool AtEnd() const { return p_ == end_; }

  void Need(std::size_t n) const {
    if (n > Remaining()) ThrowEndOfStream();
  }
  // Fails unless at least `count` items of `bytes_each` bytes could follow.
  void NeedItems(std::uint64_t count, std::size_t bytes_each) const {
    if (count > Remaining() / bytes_each) ThrowEndOfStream();
  }
  std::uint8_t const* Take(std::size_t n) {
    Need(n);
    std::uint8_t const* at = p_;
    p_ += n;
    return at;
  }
  std::uint8_t U8() { return *Take(1); }
  std::uint32_t U32() { return LoadU32(Take(4)); }
  double F64() { return LoadF64(Take(8)); }
  std::uint64_t Varint() { return GetVarint(p_, end_); }
  std::int64_t Quantised() { return GetQuantised(p_, end_); }

  // A section: its varint length, then that many bytes, returned as a reader
  // of their own.
  Reader Section() {
    std::uint64_t const length = Varint();
    if (length > Remaining()) ThrowEndOfStream();
    std::uint8_t const* at = p_;
    p_ += length;
    return Reader(at, p_);
  }

 private:
  std::uint8_t const* p_;
  std::uint8_t const* end_;
};

// ---- Writing ------------------------------------------------------------------

// Appends to a byte vector through a raw cursor: Room(n) makes n bytes
// writable at Here(), Advance(n) commits them. The vector is grown
// geometrically and trimmed to the written length by Finish().
class Writer {
 public:
  explicit Writer(ResourceVector<std::uint8_t>& out) : out_(out), size_(out.size()) {}

  std::uint8_t* Room(std::size_t n) {
    if (out_.size() - size_ < n) Grow(n);
    return out_.data() + size_;
  }
  void Advance(std::size_t n) { size_ += n; }
  std::size_t Size() const { return size_; }

  void U8(std::uint8_t b) {
    *Room(1) = b;
    Advance(1);
  }
  void U32(std::uint32_t v) {
    StoreU32(Room(4), v);
    Advance(4);
  }
  void F64(double d) {
    StoreF64(Room(8), d);
    Advance(8);
  }
  void Varint(std::uint64_t v) { Advance(PutVarint(Room(kMaxVarint), v)); }
  void Bytes(std::uint8_t const* data, std::size_t n) {
    if (n == 0) return;
    std::memcpy(Room(n), data, n);
    Advance(n);
  }
  // A section whose content is already in `content`.
  void Section(std::uint8_t const* content, std::size_t n) {
    Varint(n);
    Bytes(content, n);
  }
  void Finish() { out_.resize(size_); }
  // Starts over at the beginning, keeping the vector (a scratch buffer).
  void Rewind() { size_ = 0; }
  std::uint8_t const* Data() const { return out_.data(); }
  MemoryResource* Resource() const { return out_.get_allocator().GetResource(); }

 private:
  void Grow(std::size_t n) {
    std::size_t want = out_.size() * 2;
    if (want < size_ + n) want = size_ + n;
    if (want < 64) want = 64;
    out_.resize(want);
  }

  ResourceVector<std::uint8_t>& out_;
  std::size_t size_;
};

}  // namespace ostrel::LegacySerialization::codec
