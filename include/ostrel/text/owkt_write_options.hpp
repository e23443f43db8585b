// OWKT::WriteOptions: how OWKT::To writes numbers and attributes, beyond the
// classic text of OWKT::To(value).
//
// Two knobs:
//  - `digits`: significant digits of every number, 1 to 17, in the general
//    notation of a default-formatted stream (6 is the classic text); or
//    kLossless: each number with few enough digits to stay readable and
//    enough that the reader, through its own number grammar and then the
//    snapping of the coordinate (to bias + float for a planar value, to the
//    grid for a geographic one), turns it back into exactly the stored
//    number: the fewest significant digits that do so where the snapping
//    cell is wider than the spacing of doubles (about 10 for a geographic
//    number, up to 9 for a float offset), else the shortest decimal that
//    names the double, or a longer one when the grammar's roundings miss
//    it. A bias reads back as the same double. Plain decimals from 1E-05 up
//    to 19 integer digits, scientific notation beyond.
//  - `readable`: the attribute section uses the spellings the reader
//    accepts (WINDINGORDER=LEFT|RIGHT|AMBIGUOUS, the authority SRORG) and
//    says the kind whenever the reader's rules would otherwise pick the
//    other one: a geographic value gets ORIGINALSRID=EPSG:4326 (or
//    CONVERTEDSRID=EPSG:4326, or TOPOLOGICALTYPE=SPHEROIDAL) and a planar
//    value with an SRID of a real authority gets BIAS=0:0, so the text reads
//    back as the same kind without a forced type. Lossless implies readable.
//
// Invariant of the lossless mode: for every value whose coordinates are
// snapped (all values the readers make, and all built from doubles through
// the coordinate constructors), whose enumerations and SRID authorities are
// in range and whose shape type is not Empty (which has no text of its
// own: it is written POINT EMPTY), From(To(value, Lossless())) has the same
// kind, attributes, shape type and coordinates, hence the same hash. Values
// built directly from packed offsets that no double snaps to, and
// non-finite numbers (written INF, NAN, as in the classic text), have no
// exact text; they are written with 17 significant digits.
#pragma once

#include <string>

#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"

namespace ostrel::OWKT {

struct WriteOptions {
  static constexpr int kLossless = 0;

  int digits = 6;         // 1..17, or kLossless
  bool readable = false;  // reader's spellings and an explicit kind

  // The text of OWKT::To(value).
  static WriteOptions Classic() { return WriteOptions{}; }
  static WriteOptions Lossless() { return WriteOptions{kLossless, true}; }
};

// The OWKT text of any value with the given options; To(value, Classic())
// is To(value). Throws std::invalid_argument when digits is neither
// kLossless nor within 1..17.
OSTREL_EXPORT std::string To(Spatial const& value, WriteOptions const& options);

}  // namespace ostrel::OWKT
