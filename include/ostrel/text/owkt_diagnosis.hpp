// OWKT::Diagnosis: what the OWKT reader makes of a text, and where and why
// it first goes wrong, for messages a person can act on.
//
// A diagnosis never changes what the reader returns: OWKT::From with a
// Diagnosis argument returns the same value, and throws the same
// exceptions, as OWKT::From without it, and fills the diagnosis on the way
// (before an exception leaves). OWKT::Diagnose runs the same reading and
// catches the two documented exceptions, so it never throws for any text
// (allocation failure aside).
//
// Invariants: `outcome` is Value exactly when `message` is empty; then
// offset, line and column are 0. Otherwise `offset` is the 0-based byte
// offset in the text of the first character the message is about, and
// `line` / `column` are its 1-based line and byte column (a line ends at a
// line feed). The messages are fixed English sentences without a trailing
// full stop, for example
//
//   expected a number, found ')'
//   latitude 95.5 is beyond +/-90 degrees
//   the number 1e400 is too large: it reads as infinity
//
// Numbers are quoted as they are written in the text, so a latitude is
// named in the unit of the input (degrees, or radians when read so).
#pragma once

#include <cstddef>
#include <string>

#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel::OWKT {

struct Diagnosis {
  enum class Outcome : unsigned char {
    // The text reads as a value and all of it is in the value.
    Value = 0,
    // The text reads as a value, but part of what it says is not in the
    // value: text after a character outside the token set (a tab, a NUL, a
    // "#") is ignored, a number overflows to infinity or has more integer or
    // exponent digits than the 64 bits the grammar keeps, a coordinate is
    // not finite, or an SRID identifier is not an integer of 24 bits.
    Lossy = 1,
    // The text does not parse: From returns an Unknown value.
    Unknown = 2,
    // From throws std::out_of_range: a latitude beyond +/-90 degrees.
    OutOfRange = 3,
    // From throws std::invalid_argument: a structure the default format
    // rejects (a one-point line, an unclosed ring).
    Invalid = 4,
  };

  Outcome outcome = Outcome::Value;
  std::size_t offset = 0;
  std::size_t line = 0;
  std::size_t column = 0;
  std::string message;
  // Z and M numbers that the grammar read and discarded (it keeps x and y):
  // counted whatever the outcome, up to where the reading stopped.
  std::size_t dropped_ordinates = 0;

  // The text reads as a value with nothing lost (dropped Z and M aside).
  bool IsValue() const { return outcome == Outcome::Value; }
};

// Reads like From(text, type, radians) and describes the reading in
// `diagnosis`, which is overwritten.
OSTREL_EXPORT SpatialPtr From(std::string const& text, CoordinateType type, bool radians,
                              Diagnosis& diagnosis);

// The diagnosis alone; never throws for any text.
OSTREL_EXPORT Diagnosis Diagnose(std::string const& text, CoordinateType type, bool radians);
OSTREL_EXPORT Diagnosis Diagnose(std::string const& text);

}  // namespace ostrel::OWKT
