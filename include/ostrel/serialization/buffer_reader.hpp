// BufferReader: an offset-addressed little-endian reader over a whole
// serialized value, for formats that address their tables by offset (the
// SQL Server and Oracle forms).
//
// Every access is bounds-checked and a failure says exactly where it was, in
// std::out_of_range messages composed of decimal numbers:
//   Require(newPos)  "overflow; len:<size>, pos:<pos>, newPos:<newPos>"
//   Skip(amount)     "size_t overflow; (pos:<pos> + amt:<amount>) > max:4294967295"
//   CheckIndex(i, n) "pos:<i> >= size:<n>"
// Positions are 32-bit. Values need not be aligned. The reader refers to the
// caller's vector, which must outlive it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ostrel/core/export.hpp"

namespace ostrel {

class BufferReader {
 public:
  explicit BufferReader(std::vector<std::uint8_t> const& data) : data_(data) {}

  std::uint32_t GetPos() const { return pos_; }
  std::uint64_t GetSize() const { return data_.size(); }

  // Throws unless new_pos <= size.
  void Require(std::uint64_t new_pos) const {
    if (new_pos > data_.size()) ThrowOverflow(data_.size(), pos_, new_pos);
  }
  void Skip(std::uint64_t amount) {
    std::uint64_t const new_pos = std::uint64_t{pos_} + amount;
    if (new_pos > 0xFFFFFFFFu) ThrowSizeOverflow(pos_, amount);
    Require(new_pos);
    pos_ = static_cast<std::uint32_t>(new_pos);
  }
  void SeekTo(std::uint32_t offset) {
    Require(offset);
    pos_ = offset;
  }
  static void CheckIndex(std::uint64_t index, std::uint64_t size) {
    if (index >= size) ThrowIndex(index, size);
  }

  std::uint8_t ReadByte() { return Read<std::uint8_t>(); }
  std::uint32_t ReadUInt32() { return Read<std::uint32_t>(); }
  std::int32_t ReadInt32() { return static_cast<std::int32_t>(Read<std::uint32_t>()); }
  double ReadDouble() { return std::bit_cast<double>(Read<std::uint64_t>()); }

  [[noreturn]] OSTREL_EXPORT static void ThrowOverflow(std::uint64_t size, std::uint64_t pos,
                                                       std::uint64_t new_pos);
  [[noreturn]] OSTREL_EXPORT static void ThrowSizeOverflow(std::uint64_t pos, std::uint64_t amount);
  [[noreturn]] OSTREL_EXPORT static void ThrowIndex(std::uint64_t index, std::uint64_t size);

 private:
  // Little-endian whatever the host: assembled byte by byte, which
  // compilers turn into one unaligned load on little-endian machines.
  template <class U>
  U Read() {
    Require(std::uint64_t{pos_} + sizeof(U));
    std::uint8_t const* p = data_.data() + pos_;
    U value = 0;
    for (std::size_t i = 0; i < sizeof(U); ++i) value |= static_cast<U>(U{p[i]} << (8 * i));
    pos_ += sizeof(U);
    return value;
  }

  std::vector<std::uint8_t> const& data_;
  std::uint32_t pos_ = 0;
};

}  // namespace ostrel
