// StreamReader: a forward cursor over serialized bytes with a switchable byte
// order, the one byte cursor of the WKB family of readers.
//
// The reader points into bytes owned by the caller (usually a
// std::vector<uint8_t>) and never copies them; the bytes must outlive it.
// Multi-byte values are read in the current byte order, little-endian at
// construction. Reading past the end throws std::length_error "unexpected end
// of stream", also when only part of a value is left: a value is consumed
// whole or not at all.
//
// Readers check a promised count against Remaining() (through Require)
// before they reserve anything for it, so no count in hostile bytes can make
// them allocate more than the bytes themselves justify.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "ostrel/core/export.hpp"

namespace ostrel {

class StreamReader {
 public:
  explicit StreamReader(std::vector<std::uint8_t> const& bytes)
      : StreamReader(bytes.data(), bytes.size()) {}
  StreamReader(std::uint8_t const* data, std::size_t size) : current_(data), end_(data + size) {}

  // 0 selects big-endian (XDR); any other byte little-endian (NDR).
  void SetByteOrder(std::uint8_t byte) { big_endian_ = byte == 0; }
  bool IsBigEndian() const { return big_endian_; }

  std::size_t Remaining() const { return static_cast<std::size_t>(end_ - current_); }

  // Throws "unexpected end of stream" unless `bytes` more bytes are left.
  void Require(std::size_t bytes) const {
    if (bytes > Remaining()) ThrowEndOfStream();
  }
  // Require for count items of item_bytes each, without overflowing.
  void Require(std::uint64_t count, std::size_t item_bytes) const {
    if (count > Remaining() / item_bytes) ThrowEndOfStream();
  }

  std::uint8_t ReadByte() {
    Require(1);
    return *current_++;
  }
  std::uint32_t ReadUInt32() { return Read<std::uint32_t>(); }
  double ReadDouble() { return std::bit_cast<double>(Read<std::uint64_t>()); }
  void Skip(std::size_t bytes) {
    Require(bytes);
    current_ += bytes;
  }

  [[noreturn]] OSTREL_EXPORT static void ThrowEndOfStream();

 private:
  template <class U>
  U Read() {
    Require(sizeof(U));
    std::uint8_t const* from = current_;
#if defined(__GNUC__) && !defined(__clang__)
    // g++ 12 at -O3 follows a short constant buffer into the copy on the
    // path where Require has already thrown, and warns (-Warray-bounds)
    // about bytes that are never read; hiding where the pointer came from
    // ends that without changing the code generated for the copy.
    asm("" : "+r"(from));
#endif
    U value;
    std::memcpy(&value, from, sizeof(U));
    current_ += sizeof(U);
    bool const swap = big_endian_ == (std::endian::native == std::endian::little);
    return swap ? ByteSwap(value) : value;
  }

  static std::uint32_t ByteSwap(std::uint32_t v) { return __builtin_bswap32(v); }
  static std::uint64_t ByteSwap(std::uint64_t v) { return __builtin_bswap64(v); }

  std::uint8_t const* current_;
  std::uint8_t const* end_;
  bool big_endian_ = false;
};

}  // namespace ostrel
