// The legacy stream's failures, out of line so that the paths that check
// for them stay small.
#include <stdexcept>

#include "codec.hpp"

namespace ostrel::LegacySerialization::codec {

void ThrowEndOfStream() { throw std::length_error("unexpected end of stream"); }
void ThrowVarintTooLong() { throw std::logic_error("varint longer than 10 bytes"); }
void ThrowVarintOverflow() { throw std::logic_error("varint overflows 64 bits"); }
void ThrowQuantisedOutOfRange() { throw std::logic_error("quantised value out of range"); }
void ThrowMalformedSection() { throw std::logic_error("malformed section"); }
void ThrowTooLargeToRound() {
  throw std::invalid_argument("x is too large to round via double to uint64_t");
}
void ThrowUnknownSpatialType() { throw std::logic_error("unknown spatial type"); }
void ThrowMultiWithinMixed() {
  throw std::logic_error("spatial stream can't have multis within mixed");
}
void ThrowUnknownSerializerType() { throw std::invalid_argument("unknown serializer type"); }

}  // namespace ostrel::LegacySerialization::codec
