// CRC-32 by slicing-by-8: eight tables let one step fold eight bytes with
// eight independent lookups instead of a chain of eight dependent ones. The
// tables are computed when the library is compiled.
#include "ostrel/legacy/crc.hpp"

#include <array>
#include <bit>
#include <cstring>

namespace ostrel::LegacySerialization {
namespace {

using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  // t[k][i]: the CRC of byte i followed by k zero bytes.
  for (std::uint32_t i = 0; i < 256; ++i) {
    for (int k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
  }
  return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

std::uint32_t CRC(std::uint32_t seed, std::uint8_t const* bytes, std::size_t count) {
  if (bytes == nullptr) return 0;
  std::uint32_t c = ~seed;
  if constexpr (std::endian::native == std::endian::little) {
    for (; count >= 8; count -= 8, bytes += 8) {
      std::uint32_t lo;
      std::uint32_t hi;
      std::memcpy(&lo, bytes, 4);
      std::memcpy(&hi, bytes + 4, 4);
      lo ^= c;
      c = kTables[7][lo & 0xFF] ^ kTables[6][(lo >> 8) & 0xFF] ^ kTables[5][(lo >> 16) & 0xFF] ^
          kTables[4][lo >> 24] ^ kTables[3][hi & 0xFF] ^ kTables[2][(hi >> 8) & 0xFF] ^
          kTables[1][(hi >> 16) & 0xFF] ^ kTables[0][hi >> 24];
    }
  }
  for (; count != 0; --count, ++bytes) c = (c >> 8) ^ kTables[0][(c ^ *bytes) & 0xFF];
  return ~c;
}

}  // namespace ostrel::LegacySerialization
