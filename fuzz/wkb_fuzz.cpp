// libFuzzer target for the WKB reader, and the writer through the reader.
//
// Input: one mode byte, then the bytes. Bit 0 of the mode picks the family:
// 0 Geometry, 1 Geography. The invariant is fuzz_support::RoundTrip: any
// bytes end in a value, an Unknown or a documented exception; a value is
// written, read back to the same outline and, being binary, the same hash;
// and a second round trip is a fixpoint.
//
// Planar values are held to their written form (their hash may differ, see
// fuzz_support::PackingMayDiffer).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ostrel/serialization/wkb.hpp"
#include "serialization_fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  if (size == 0) return 0;
  auto const type =
      (data[0] & 1) ? ostrel::CoordinateType::Geography : ostrel::CoordinateType::Geometry;
  std::vector<std::uint8_t> const bytes(data + 1, data + size);
  auto read = [type](std::vector<std::uint8_t> const& b) {
    return ostrel::WkbSerialization::Read(b, type);
  };
  ostrel::SpatialPtr const v1 = fuzz_support::TryRead([&] { return read(bytes); });
  if (!v1) return 0;
  if (!v1->IsUnknown() && v1->GetCoordinateType() != type)
    fuzz_support::Fail("wrong family", fuzz_support::Hex(bytes));
  fuzz_support::RoundTrip<std::vector<std::uint8_t>>(
      v1, read, [](ostrel::Spatial const& v) { return ostrel::WkbSerialization::Write(v); },
      fuzz_support::Hex, true, true);
  return 0;
}
