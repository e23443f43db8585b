// libFuzzer target for the SQL Server spatial binary reader, and the writer
// through the reader.
//
// Input: the bytes. Any input ends in a value, an Unknown or a documented
// exception (std::out_of_range, std::invalid_argument, std::length_error);
// a value has the family its SRID selects. What reads is written and read
// again (the form neither densifies nor orients, so nothing but the ring
// clean-up may change it):
//  - the written form reads back without an exception, in the same family,
//    with the same outline;
//  - unless the clean-up would change a geographic ring again, or a planar
//    value's bias is not its first written coordinate (collection members
//    out of point-line-polygon order), it reads back to the same written
//    form and the same hash;
//  - a second round trip is a fixpoint.
// Exempt, as the form prescribes: values with NaN or infinite coordinates,
// and planar values whose SRID number, cut to 24 bits, lies in the
// geographic range (they are written with that number and read back as
// geographies).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ostrel/serialization/sql_server.hpp"
#include "serialization_fuzz_support.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using fuzz_support::Fail;
using fuzz_support::Hex;

ostrel::SpatialPtr Read(Bytes const& b) { return ostrel::SqlServerSerialization::Read(b); }
Bytes Write(ostrel::Spatial const& v) { return ostrel::SqlServerSerialization::Write(v); }

bool InGeographyRange(long long srid) { return srid >= 4120 && srid < 5000; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  Bytes const bytes(data, data + size);
  ostrel::SpatialPtr const v1 = fuzz_support::TryRead([&] { return Read(bytes); });
  if (!v1) return 0;
  if (v1->IsUnknown()) {
    try {
      Write(*v1);
    } catch (std::invalid_argument const&) {
      return 0;
    }
    Fail("an Unknown was written", Hex(bytes));
  }
  // A value has a header: its SRID is the little-endian int32 in front.
  auto const srid = static_cast<std::int32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                              static_cast<std::uint32_t>(data[3]) << 24);
  if (v1->IsGeography() != InGeographyRange(srid)) Fail("wrong family", Hex(bytes));
  if (fuzz_support::HasNonFinite(*v1)) return 0;

  Bytes const f1 = Write(*v1);
  if (v1->IsGeometry() && InGeographyRange(v1->AsGeometry().GetOriginalSRID().GetID())) {
    // As a geography its coordinates may be out of range: then it throws.
    ostrel::SpatialPtr const v2 = fuzz_support::TryRead([&] { return Read(f1); });
    if (v2 && !v2->IsGeography()) Fail("a geographic SRID read back as planar", Hex(f1));
    return 0;
  }
  if (fuzz_support::CleanUpWouldChange(*v1)) {
    fuzz_support::TryRead([&] { return Read(f1); });
    return 0;
  }
  ostrel::SpatialPtr v2;
  try {
    v2 = Read(f1);
  } catch (std::exception const& e) {
    Fail("a written value throws when read back", Hex(f1), e.what());
  }
  if (fuzz_support::Outline(*v2) != fuzz_support::Outline(*v1))
    Fail("reading back changed the outline", Hex(f1), Hex(Write(*v2)));
  Bytes const f2 = Write(*v2);
  if (v1->IsGeography() || fuzz_support::BiasIsFirstWritten(v1->AsGeometry())) {
    if (f2 != f1) Fail("reading back changed the written form", Hex(f1), Hex(f2));
    if (v2->GetHash() != v1->GetHash()) Fail("reading back changed the hash", Hex(f1));
  }
  ostrel::SpatialPtr v3;
  try {
    v3 = Read(f2);
  } catch (std::exception const& e) {
    Fail("the second written form throws when read back", Hex(f2), e.what());
  }
  Bytes const f3 = Write(*v3);
  if (f3 != f2) Fail("writing is not at a fixpoint after one round trip", Hex(f2), Hex(f3));
  if (v3->GetHash() != v2->GetHash()) Fail("equal forms, different hashes", Hex(f2));
  return 0;
}
