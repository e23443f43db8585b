// CRC: the standard CRC-32 (IEEE 802.3, reflected polynomial 0xEDB88320)
// that the legacy stream stores over its body.
//
// Chainable through the seed: the running value starts as the complement of
// the seed and the result is complemented, so the CRC of a concatenation a+b
// equals CRC(CRC(0, a), b). CRC(0, "123456789") is 0xCBF43926. A null byte
// pointer yields 0 whatever the seed and count.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ostrel/core/export.hpp"

namespace ostrel::LegacySerialization {

OSTREL_EXPORT std::uint32_t CRC(std::uint32_t seed, std::uint8_t const* bytes, std::size_t count);

}  // namespace ostrel::LegacySerialization
