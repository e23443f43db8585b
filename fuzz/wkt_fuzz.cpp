// libFuzzer target for the WKT reader, and the writer through the reader.
//
// Input: one mode byte, then the text. Bit 0 of the mode picks the family:
// 0 Geometry, 1 Geography. The invariant is fuzz_support::RoundTrip: any
// text ends in a value, an Unknown or a documented exception; the writer's
// text of a value reads back to the same outline; one more round trip is a
// fixpoint. The text keeps six significant digits, so the first round trip
// may move coordinates (no hash check); the fixpoint holds for planar values
// because a six-digit decimal either is what the snapped coordinate writes
// as again, or lies within half a snapping step of it (the argument of the
// OWKT target).
//
// Geographic values are checked for the outline only: their reader
// densifies, and the midpoints it adds are grid points that six digits do
// not hold, so the next reading sees moved midpoints, edges that may be
// longer than the step, and densifies again: there is no fixpoint to reach.
// The PostgreSQL text target checks geographies through text without
// densifying.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ostrel/serialization/wkt.hpp"
#include "serialization_fuzz_support.hpp"

namespace {

// Writer spellings the reader does not accept: non-finite numbers.
bool HasUnreadableNumber(std::string const& text) {
  return text.find("INF") != std::string::npos || text.find("NAN") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  if (size == 0) return 0;
  auto const type =
      (data[0] & 1) ? ostrel::CoordinateType::Geography : ostrel::CoordinateType::Geometry;
  std::string const text(reinterpret_cast<char const*>(data + 1), size - 1);
  auto read = [type](std::string const& t) { return ostrel::WktSerialization::Read(t, type); };
  ostrel::SpatialPtr const v1 = fuzz_support::TryRead([&] { return read(text); });
  if (!v1) return 0;
  if (!v1->IsUnknown() && v1->GetCoordinateType() != type) fuzz_support::Fail("wrong family", text);
  if (v1->IsUnknown()) {
    fuzz_support::RoundTrip<std::string>(
        v1, read, ostrel::WktSerialization::Write, [](std::string const& s) { return s; }, false,
        true);
    return 0;
  }
  std::string const written = ostrel::WktSerialization::Write(*v1);
  if (HasUnreadableNumber(written)) return 0;
  if (v1->IsGeography()) {
    ostrel::SpatialPtr v2;
    try {
      v2 = read(written);
    } catch (std::exception const& e) {
      fuzz_support::Fail("the writer's text throws when read back", written, e.what());
    }
    if (fuzz_support::Outline(*v2) != fuzz_support::Outline(*v1)) {
      fuzz_support::Fail("reading back changed the outline", written,
                         ostrel::WktSerialization::Write(*v2));
    }
    return 0;
  }
  fuzz_support::RoundTrip<std::string>(
      v1, read, ostrel::WktSerialization::Write, [](std::string const& s) { return s; }, false,
      true);
  return 0;
}
