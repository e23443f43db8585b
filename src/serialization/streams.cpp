// The failures of the byte cursors, kept out of line: they are cold, and
// their messages are composed only when something went wrong.
#include <stdexcept>
#include <string>

#include "ostrel/serialization/buffer_reader.hpp"
#include "ostrel/serialization/stream_reader.hpp"

namespace ostrel {

void StreamReader::ThrowEndOfStream() { throw std::length_error("unexpected end of stream"); }

void BufferReader::ThrowOverflow(std::uint64_t size, std::uint64_t pos, std::uint64_t new_pos) {
  throw std::out_of_range("overflow; len:" + std::to_string(size) + ", pos:" + std::to_string(pos) +
                          ", newPos:" + std::to_string(new_pos));
}

void BufferReader::ThrowSizeOverflow(std::uint64_t pos, std::uint64_t amount) {
  throw std::out_of_range("size_t overflow; (pos:" + std::to_string(pos) +
                          " + amt:" + std::to_string(amount) + ") > max:4294967295");
}

void BufferReader::ThrowIndex(std::uint64_t index, std::uint64_t size) {
  throw std::out_of_range("pos:" + std::to_string(index) + " >= size:" + std::to_string(size));
}

}  // namespace ostrel
