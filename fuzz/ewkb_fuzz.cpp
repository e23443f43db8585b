// libFuzzer target for the PostgreSQL binary reader (extended WKB), and its
// writer through the reader.
//
// Input: the bytes (the reader itself decides the family from the SRID flag
// of the outermost code). The invariant is fuzz_support::RoundTrip: any
// bytes end in a value, an Unknown or a documented exception; a value is
// written, read back to the same family, outline, written form and (for
// geographies, whose SRID the form carries) hash; a second round trip is a
// fixpoint.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ostrel/serialization/postgresql.hpp"
#include "serialization_fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::vector<std::uint8_t> const bytes(data, data + size);
  auto read = [](std::vector<std::uint8_t> const& b) {
    return ostrel::PostgreSQLSerialization::ReadBinary(b);
  };
  ostrel::SpatialPtr const v1 = fuzz_support::TryRead([&] { return read(bytes); });
  if (!v1) return 0;
  // The family follows the SRID flag of the outermost code.
  if (v1->IsGeography() && !(size > 5 && ((bytes[0] != 0 ? bytes[4] : bytes[1]) & 0x20))) {
    fuzz_support::Fail("a geography without the SRID flag", fuzz_support::Hex(bytes));
  }
  fuzz_support::RoundTrip<std::vector<std::uint8_t>>(
      v1, read,
      [](ostrel::Spatial const& v) { return ostrel::PostgreSQLSerialization::WriteBinary(v); },
      fuzz_support::Hex, true, false);
  return 0;
}
