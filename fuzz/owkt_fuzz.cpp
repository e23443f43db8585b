// libFuzzer target for the OWKT reader, and for the writer through the
// reader.
//
// Input: one mode byte, then the text. The mode byte picks the overload of
// OWKT::From and its arguments:
//   bits 0-1  overload: 0 From(text), 1 From(text, type), 2 From(text, radians),
//             3 From(text, type, radians)
//   bits 2-3  the CoordinateType passed: 0 Unknown, 1 Identifying, 2 Geometry,
//             3 Geography
//   bit 4     the radians flag
// The seed corpus uses printable mode bytes: '@' From(text), 'A' From(text,
// Unknown), 'I' Geometry, 'M' Geography, 'R' From(text, true), '_' Geography in
// radians.
//
// Checked beyond "no crash, no leak, no undefined behaviour":
//  - the reader throws only std::invalid_argument (structures the default
//    format rejects) and std::out_of_range (latitude); anything else escapes
//    and crashes the target;
//  - a forced kind is honoured, and text that does not parse is Unknown;
//  - the writer's text of a parsed value reads back (unless it contains one
//    of the spellings the reader deliberately does not know), with the same
//    kind, shape type and part counts;
//  - one more write and read reaches a fixpoint: v2 = From(To(v1)),
//    v3 = From(To(v2)) have equal hashes and To(v3) == To(v2);
//  - the diagnosing From returns what From returns (the same text and hash,
//    or the same exception) and its outcome says which; Diagnose agrees;
//  - when the diagnosis finds nothing lost, the lossless text of v1 reads
//    back without a forced kind to a value of the same kind and hash, and is
//    its own fixpoint.
//
// Why one step suffices. The text keeps 6 significant digits. A planar
// coordinate is bias + (a float offset); a geographic one a point of a grid of
// about 6.1e-8 degrees. Let t be the decimal that v2 was read from and x its
// snapped value. Either the snapping step is finer than half a unit in the
// 6th digit of t, and then x writes as t again and reads as x; or it is
// coarser, and then the decimal written for x lies closer to x than half a
// snapping step, and snaps back to x. The argument needs the reader's number
// conversion to be accurate to far better than 6 digits, which it is for
// normal doubles (digits times a power of ten from pow, a few ulps), but not
// for subnormal ones: there pow(10, e) keeps only a few significant bits,
// "9.98013E-321" reads as 9.96036E-321, and a subnormal bias shrinks on every
// round trip. Such a bias is exempt from the fixpoint check.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/text/owkt.hpp"

namespace {

using ostrel::CoordinateType;
using ostrel::SpatialPtr;
namespace OWKT = ostrel::OWKT;

[[noreturn]] void Fail(char const* what, std::string const& a, std::string const& b = {}) {
  std::fprintf(stderr, "owkt_fuzz: %s\n  first:  %s\n  second: %s\n", what, a.c_str(), b.c_str());
  std::abort();
}

// Writer spellings the reader does not accept, by design: the hyphenated
// winding orders, the SR-ORG authority, and the non-finite numbers. A text
// holding any of them legitimately reads as Unknown. The writer emits no
// other word containing these letters.
bool HasUnreadableSpelling(std::string const& text) {
  for (char const* s : {"INTERIOR-", "SR-ORG", "INF", "NAN"}) {
    if (text.find(s) != std::string::npos) return true;
  }
  return false;
}

SpatialPtr Read(std::uint8_t mode, std::string const& text) {
  auto const type = static_cast<CoordinateType>((mode >> 2) & 3);
  bool const radians = (mode & 0x10) != 0;
  switch (mode & 3) {
    case 0: return OWKT::From(text);
    case 1: return OWKT::From(text, type);
    case 2: return OWKT::From(text, radians);
    default: return OWKT::From(text, type, radians);
  }
}

// The kind the chosen overload forces, or Unknown when the text decides.
CoordinateType Forced(std::uint8_t mode) {
  auto const type = static_cast<CoordinateType>((mode >> 2) & 3);
  bool const radians = (mode & 0x10) != 0;
  switch (mode & 3) {
    case 0: return CoordinateType::Unknown;
    case 2: return radians ? CoordinateType::Geography : CoordinateType::Unknown;
    default:
      return type == CoordinateType::Geometry || type == CoordinateType::Geography
                 ? type
                 : CoordinateType::Unknown;
  }
}

// Reads the writer's text back as the given kind, in degrees. The text came
// from a value that passed validation, and reading it only rounds numbers:
// no exception is expected, so one is a finding.
SpatialPtr ReadBack(std::string const& text, CoordinateType kind) {
  try {
    return OWKT::From(text, kind);
  } catch (std::exception const& e) {
    Fail("the writer's text throws when read back", text, e.what());
  }
}

// Kind, shape type and the number of points, lines and polygons: what
// rounding numbers must never change.
template <class G>
std::string Outline(G const& g) {
  return std::to_string(static_cast<int>(g.GetShapeType())) + " " +
         std::to_string(g.GetPoints().size()) + " " + std::to_string(g.GetLines().size()) + " " +
         std::to_string(g.GetPolys().size());
}

std::string Outline(ostrel::Spatial const& v) {
  if (v.IsGeometry()) return "Geometry " + Outline(v.AsGeometry());
  if (v.IsGeography()) return "Geography " + Outline(v.AsGeography());
  return "other";
}

// What a read gives, as text: the value's kind, text and hash, or the
// exception.
template <class F>
std::string Outcome(F const& read, OWKT::Diagnosis::Outcome& outcome) {
  try {
    SpatialPtr const v = read();
    outcome = v->IsUnknown() ? OWKT::Diagnosis::Outcome::Unknown : OWKT::Diagnosis::Outcome::Value;
    return Outline(*v) + " " + OWKT::To(*v) + " " + std::to_string(v->GetHash());
  } catch (std::invalid_argument const& e) {
    outcome = OWKT::Diagnosis::Outcome::Invalid;
    return std::string("invalid_argument ") + e.what();
  } catch (std::out_of_range const& e) {
    outcome = OWKT::Diagnosis::Outcome::OutOfRange;
    return std::string("out_of_range ") + e.what();
  }
}

// The type and radians flag that the overload chosen by the mode passes on
// to From(text, type, radians).
void Arguments(std::uint8_t mode, CoordinateType& type, bool& radians) {
  type = static_cast<CoordinateType>((mode >> 2) & 3);
  radians = (mode & 0x10) != 0;
  switch (mode & 3) {
    case 0: type = CoordinateType::Unknown, radians = false; break;
    case 1: radians = false; break;
    case 2: type = radians ? CoordinateType::Geography : CoordinateType::Unknown; break;
    default: break;
  }
}

void CheckDiagnosis(std::uint8_t mode, std::string const& text, OWKT::Diagnosis& d) {
  CoordinateType type;
  bool radians;
  Arguments(mode, type, radians);
  OWKT::Diagnosis::Outcome plain_outcome, diagnosed_outcome;
  std::string const plain = Outcome([&] { return OWKT::From(text, type, radians); }, plain_outcome);
  std::string const diagnosed =
      Outcome([&] { return OWKT::From(text, type, radians, d); }, diagnosed_outcome);
  if (plain != diagnosed) Fail("the diagnosing From returns something else", plain, diagnosed);
  auto const said =
      d.outcome == OWKT::Diagnosis::Outcome::Lossy ? OWKT::Diagnosis::Outcome::Value : d.outcome;
  if (said != plain_outcome) Fail("the diagnosis names another outcome", plain, d.message);
  if (d.message.empty() != d.IsValue() ||
      (!d.IsValue() && (d.offset > text.size() || d.column == 0))) {
    Fail("the diagnosis is not well formed", text, d.message);
  }
  if (OWKT::Diagnose(text, type, radians).message != d.message) {
    Fail("Diagnose disagrees with the diagnosing From", text, d.message);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size) {
  if (size == 0) return 0;
  std::uint8_t const mode = data[0];
  std::string const text(reinterpret_cast<char const*>(data + 1), size - 1);

  OWKT::Diagnosis diagnosis;
  CheckDiagnosis(mode, text, diagnosis);

  SpatialPtr v1;
  try {
    v1 = Read(mode, text);
  } catch (std::invalid_argument const&) {
    return 0;
  } catch (std::out_of_range const&) {
    return 0;
  }
  if (!v1) Fail("the reader returned an empty pointer", text);

  if (!v1->IsGeometry() && !v1->IsGeography()) {
    if (!v1->IsUnknown()) Fail("the reader made neither a value nor an Unknown", text);
    if (OWKT::To(*v1) != "UNKNOWN") Fail("an Unknown does not write as UNKNOWN", OWKT::To(*v1));
    return 0;
  }
  CoordinateType const kind = v1->GetCoordinateType();
  CoordinateType const forced = Forced(mode);
  if (forced != CoordinateType::Unknown && kind != forced) {
    Fail("the forced kind was not honoured", text);
  }

  if (diagnosis.IsValue()) {
    OWKT::WriteOptions const lossless = OWKT::WriteOptions::Lossless();
    std::string const exact = OWKT::To(*v1, lossless);
    SpatialPtr const back = ReadBack(exact, CoordinateType::Unknown);
    if (back->GetCoordinateType() != kind || back->GetHash() != v1->GetHash()) {
      Fail("the lossless text reads back as another value", text, exact);
    }
    if (OWKT::To(*back, lossless) != exact) Fail("the lossless text is no fixpoint", exact);
  }

  std::string const s1 = OWKT::To(*v1);
  SpatialPtr const v2 = ReadBack(s1, kind);
  if (v2->IsUnknown()) {
    if (HasUnreadableSpelling(s1)) return 0;
    Fail("the writer's text does not read back", text, s1);
  }
  if (Outline(*v2) != Outline(*v1)) Fail("reading back changed the outline", s1, OWKT::To(*v2));

  if (v2->IsGeometry()) {
    auto const bias = v2->AsGeometry().GetBias();
    if (std::fpclassify(bias.GetX()) == FP_SUBNORMAL ||
        std::fpclassify(bias.GetY()) == FP_SUBNORMAL) {
      return 0;
    }
  }

  std::string const s2 = OWKT::To(*v2);
  SpatialPtr const v3 = ReadBack(s2, kind);
  if (v3->IsUnknown()) {
    // A planar offset within the float range can be pushed past it by the
    // 6-digit rounding of the coordinate (an offset near 3.4E+38 from the
    // bias): v2 then holds an infinity, which s2 spells INF.
    if (HasUnreadableSpelling(s2)) return 0;
    Fail("the second text does not read back", s1, s2);
  }
  std::string const s3 = OWKT::To(*v3);
  if (s3 != s2) Fail("writing is not at a fixpoint after one round trip", s2, s3);
  if (v3->GetHash() != v2->GetHash()) Fail("equal texts, different hashes", s1, s2);
  return 0;
}
