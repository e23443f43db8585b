// StreamWriter: an append-only little-endian byte sink, the one byte writer
// of the WKB family.
//
// Values are appended least significant byte first whatever the host; the
// finished bytes are handed over by Take(). Reserve() sizes the buffer once
// when the caller knows the total, so writing a value allocates once.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace ostrel {

class StreamWriter {
 public:
  StreamWriter() = default;

  void Reserve(std::size_t bytes) { Grow(bytes); }

  void WriteByte(std::uint8_t b) {
    Grow(1);
    bytes_[size_++] = b;
  }
  void WriteUInt32(std::uint32_t v) { Write(v); }
  void WriteDouble(double d) { Write(std::bit_cast<std::uint64_t>(d)); }

  std::size_t Size() const { return size_; }

  // The bytes written so far; the writer is empty afterwards.
  std::vector<std::uint8_t> Take() {
    bytes_.resize(size_);
    size_ = 0;
    return std::move(bytes_);
  }

 private:
  // Makes room for `more` bytes beyond size_, doubling when it must grow.
  void Grow(std::size_t more) {
    if (bytes_.size() - size_ >= more) return;
    std::size_t want = bytes_.size() * 2;
    if (want < size_ + more) want = size_ + more;
    bytes_.resize(want);
  }

  template <class U>
  void Write(U v) {
    Grow(sizeof(U));
    if constexpr (std::endian::native == std::endian::big) {
      for (std::size_t i = 0; i < sizeof(U); ++i) bytes_[size_ + i] = std::uint8_t(v >> (8 * i));
    } else {
      std::memcpy(bytes_.data() + size_, &v, sizeof(U));
    }
    size_ += sizeof(U);
  }

  std::vector<std::uint8_t> bytes_;  // size() is the capacity in use; size_ is written
  std::size_t size_ = 0;
};

}  // namespace ostrel
