// libFuzzer target for the legacy stream reader, in both encodings, and for
// the writer through it.
//
// Input: the bytes of a stream, as LegacySerialization::Read receives them.
// The seed corpus (fuzz/corpus/legacy) holds the writer's plain and
// compressed streams of Natural Earth values and hand-made edge cases.
//
// Checked beyond "no crash, no leak, no undefined behaviour, no runaway
// allocation":
//  - reading throws only the documented exceptions, all of them
//    std::logic_error (length_error, invalid_argument, out_of_range and the
//    logic errors of malformed streams); anything else escapes and crashes
//    the target;
//  - a value that reads also decodes: its hash and its OWKT text are
//    computed, which visits every line and ring;
//  - whatever reads is written plain and read again to the same hash, and
//    the plain bytes are a fixpoint: writing that value gives them again;
//  - a category-2 stream reads as an Unknown, whose plain stream is its
//    header;
//  - writing the value compressed at the stream's precision either works
//    and reads back with the same outline, or fails with the writer's
//    "x is too large to round via double to uint64_t" (a planar value at
//    the edge of the grid's range, once snapped to float).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "ostrel/legacy/metadata.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/text/owkt.hpp"

namespace {

namespace LS = ostrel::LegacySerialization;
using ostrel::SpatialPtr;

[[noreturn]] void Fail(char const* what, std::string const& detail = {}) {
  std::fprintf(stderr, "legacy_fuzz: %s %s\n", what, detail.c_str());
  std::abort();
}

std::vector<std::uint8_t> Bytes(ostrel::ResourceVector<std::uint8_t> const& v) {
  return {v.begin(), v.end()};
}

// Kind, shape type and counts. A compressed ring stores all but its closing
// coordinate, so a ring of one coordinate comes back empty: such rings count
// as empty.
template <class G>
std::string Outline(G const& g) {
  std::string out = std::to_string(static_cast<int>(g.GetShapeType())) + " " +
                    std::to_string(g.GetPoints().size()) + " " +
                    std::to_string(g.GetLines().size()) + " " + std::to_string(g.GetPolys().size());
  for (auto const& line : g.GetLines()) out += " " + std::to_string(line.size());
  for (auto const& poly : g.GetPolys()) {
    for (auto const& ring : poly) out += " " + std::to_string(ring.size() == 1 ? 0 : ring.size());
  }
  return out;
}

std::string Outline(ostrel::Spatial const& v) {
  if (v.IsGeometry()) return "Geometry " + Outline(v.AsGeometry());
  if (v.IsGeography()) return "Geography " + Outline(v.AsGeography());
  return "other";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  std::span<std::uint8_t const> const input(data, size);
  SpatialPtr value;
  try {
    value = LS::Read(input);
  } catch (std::logic_error const&) {
    return 0;
  }
  if (!value) Fail("the reader returned an empty pointer");
  LS::Metadata const header = LS::ReadHeader(input);

  unsigned long long const hash = value->GetHash();
  std::string const text = ostrel::OWKT::To(*value);

  if (header.category == LS::Category::Neither) {
    if (!value->IsUnknown()) Fail("a category-2 stream did not read as an Unknown");
    if (LS::Write(*value, LS::kPlain, 0).size() != LS::kHeaderSize) {
      Fail("an Unknown wrote more than its header");
    }
    return 0;
  }

  // Plain: same hash after a round trip, and a fixpoint.
  std::vector<std::uint8_t> const plain = Bytes(LS::Write(*value, LS::kPlain, 0));
  SpatialPtr again;
  try {
    again = LS::Read(plain);
  } catch (std::exception const& e) {
    Fail("the plain stream of a value does not read", e.what());
  }
  if (again->GetHash() != hash) Fail("plain round trip changed the hash", text);
  if (ostrel::OWKT::To(*again) != text) Fail("plain round trip changed the text", text);
  if (Bytes(LS::Write(*again, LS::kPlain, 0)) != plain) Fail("plain bytes are not a fixpoint");

  // Compressed at the stream's precision.
  try {
    auto const compressed = LS::Write(*value, LS::kCompressed, header.precision);
    SpatialPtr const back = LS::Read(compressed);
    if (Outline(*back) != Outline(*value)) {
      Fail("compressed round trip changed the outline", Outline(*value) + " / " + Outline(*back));
    }
  } catch (std::invalid_argument const& e) {
    if (std::string(e.what()) != "x is too large to round via double to uint64_t") {
      Fail("compressed writing failed", e.what());
    }
  }
  return 0;
}
