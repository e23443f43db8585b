// Latitude: an angle north (positive) or south (negative) of the equator,
// held in radians.
//
// Invariant: after every checked construction and every modification the
// value v satisfies !(v > pi/2) && !(-v > pi/2); exactly +/-pi/2 is allowed
// and NaN (the default, "no value") passes. The check runs after the new
// value is stored, so a modification that throws leaves the out-of-range
// value behind. The constructor from a plain double does not check.
#pragma once

#include <iosfwd>
#include <string>

#include "ostrel/core/angle.hpp"
#include "ostrel/core/export.hpp"

namespace ostrel {

class OSTREL_EXPORT Latitude : public Unit<Latitude, Radians> {
 public:
  Latitude() : Unit(Radians()) {}
  Latitude(double radians) : Unit(Radians(radians)) {}  // NOLINT(google-explicit-constructor)
  Latitude(Radians const& radians) : Unit(radians) { RangeCheck(); }           // NOLINT
  Latitude(Degrees const& degrees) : Unit(Radians(degrees)) { RangeCheck(); }  // NOLINT
  Latitude(Latitude const&) = default;
  Latitude& operator=(Latitude const&) = default;

  operator Degrees() const { return Degrees(Get()); }  // NOLINT(google-explicit-constructor)

  bool IsValid() const { return Get().IsValid(); }

  // |v|, built through the checked constructor.
  Latitude Abs() const { return 0 > Get().Get() ? Latitude(Radians(-Get().Get())) : *this; }

 private:
  friend class Unit<Latitude, Radians>;

  // Throws std::out_of_range "Latitude must not exceed +/- pi/2".
  void RangeCheck() const {
    double v = Get().Get();
    if (v > detail::kHalfPi || -v > detail::kHalfPi) ThrowOutOfRange();
  }
  [[noreturn]] static void ThrowOutOfRange();
  void CheckAfterModification() const { RangeCheck(); }
};

OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, Latitude const& value);
OSTREL_EXPORT std::string to_string(Latitude const& value);

}  // namespace ostrel

OSTREL_EXPORT ostrel::Latitude operator""_lat(long double degrees);
OSTREL_EXPORT ostrel::Latitude operator""_lat(unsigned long long degrees);
OSTREL_EXPORT ostrel::Latitude operator""_rlat(long double radians);
OSTREL_EXPORT ostrel::Latitude operator""_rlat(unsigned long long radians);
