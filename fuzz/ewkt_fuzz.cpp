// libFuzzer target for the PostgreSQL text reader (extended WKT), and its
// writer through the reader.
//
// Input: the text (the reader decides the family from the SRID prefix). The
// invariant is fuzz_support::RoundTrip: any text ends in a value, an Unknown
// or a documented exception; the written text reads back to the same family
// and outline; one more round trip is a fixpoint (the text keeps six
// significant digits, so the first may move coordinates). Geographies are
// not densified in this form, so they reach the fixpoint like planar values:
// a coordinate snapped to the grid writes as a six-digit decimal that snaps
// back to it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "ostrel/serialization/postgresql.hpp"
#include "serialization_fuzz_support.hpp"

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::string const text(reinterpret_cast<char const*>(data), size);
  auto read = [](std::string const& t) { return ostrel::PostgreSQLSerialization::ReadText(t); };
  ostrel::SpatialPtr const v1 = fuzz_support::TryRead([&] { return read(text); });
  if (!v1) return 0;
  std::string const written =
      v1->IsUnknown() ? std::string() : ostrel::PostgreSQLSerialization::WriteText(*v1);
  if (written.find("INF") != std::string::npos || written.find("NAN") != std::string::npos)
    return 0;
  fuzz_support::RoundTrip<std::string>(
      v1, read, ostrel::PostgreSQLSerialization::WriteText, [](std::string const& s) { return s; },
      false, false);
  return 0;
}
