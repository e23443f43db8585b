// Longitude: an angle east (positive) or west (negative) of the prime
// meridian, held in radians.
//
// A longitude is stored as given: no constructor normalizes, so it may lie
// outside [-pi, pi] until Normalize() is called. IsBetween() tests an open
// interval that runs east from its first to its second end and may cross the
// antimeridian.
#pragma once

#include <iosfwd>
#include <string>

#include "ostrel/core/angle.hpp"
#include "ostrel/core/export.hpp"

namespace ostrel {

class OSTREL_EXPORT Longitude : public Unit<Longitude, Radians> {
 public:
  Longitude() : Unit(Radians()) {}
  Longitude(double radians) : Unit(Radians(radians)) {}  // NOLINT(google-explicit-constructor)
  Longitude(Radians const& radians) : Unit(radians) {}   // NOLINT(google-explicit-constructor)
  Longitude(Degrees const& degrees) : Unit(Radians(degrees)) {}  // NOLINT
  Longitude(Longitude const&) = default;
  Longitude& operator=(Longitude const&) = default;

  operator Degrees() const { return Degrees(Get()); }  // NOLINT(google-explicit-constructor)

  bool IsValid() const { return Get().IsValid(); }
  Longitude Abs() const { return Longitude(Get().Abs()); }
  Longitude Normalize() const { return Longitude(Get().Normalize()); }

  // True when this longitude lies strictly east of lo and strictly west of
  // hi, going east from lo; both ends are excluded, and when lo and hi
  // normalize to the same value nothing lies between them.
  bool IsBetween(Longitude const& lo, Longitude const& hi) const;
};

OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, Longitude const& value);
OSTREL_EXPORT std::string to_string(Longitude const& value);

}  // namespace ostrel

OSTREL_EXPORT ostrel::Longitude operator""_lon(long double degrees);
OSTREL_EXPORT ostrel::Longitude operator""_lon(unsigned long long degrees);
OSTREL_EXPORT ostrel::Longitude operator""_rlon(long double radians);
OSTREL_EXPORT ostrel::Longitude operator""_rlon(unsigned long long radians);
