// Degrees and Radians: plain angles, one double each.
//
// Both default-construct to NaN, the library-wide "no value"; IsValid() tests
// for it (infinities are valid). Conversions between the two are single
// multiplications by fixed constants, so a round trip need not return the
// exact bits. Converting constructors between the two kinds are explicit;
// the conversion operators give the implicit direction.
#pragma once

#include <iosfwd>
#include <string>

#include "ostrel/core/constants.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/internal/numerics.hpp"
#include "ostrel/core/unit.hpp"

namespace ostrel {

class Radians;

class OSTREL_EXPORT Degrees : public Unit<Degrees, double> {
 public:
  Degrees() : Unit(detail::kNaN) {}
  Degrees(double degrees) : Unit(degrees) {}  // NOLINT(google-explicit-constructor)
  Degrees(Degrees const&) = default;
  explicit Degrees(Radians const& radians);
  Degrees& operator=(Degrees const&) = default;

  operator Radians() const;  // NOLINT(google-explicit-constructor)

  bool IsValid() const { return !detail::IsNaN(Get()); }

  // The degree sign "°" in UTF-8 (C2 B0): one string from the global heap,
  // made on first use and never destroyed.
  static std::string const& GetUnitSymbol();
};

class OSTREL_EXPORT Radians : public Unit<Radians, double> {
 public:
  Radians() : Unit(detail::kNaN) {}
  Radians(double radians) : Unit(radians) {}  // NOLINT(google-explicit-constructor)
  Radians(Radians const&) = default;
  explicit Radians(Degrees const& degrees) : Unit(degrees.Get() * detail::kRadiansPerDegree) {}
  Radians& operator=(Radians const&) = default;

  operator Degrees() const { return Degrees(*this); }  // NOLINT(google-explicit-constructor)

  bool IsValid() const { return !detail::IsNaN(Get()); }

  // The same angle in (-pi, pi] or [-pi, pi): a value below -pi lands in
  // (-pi, pi], one above pi in [-pi, pi); values already in [-pi, pi] and NaN
  // are returned unchanged; infinities give NaN.
  Radians Normalize() const;

  // -v when v < 0, else v: -0.0 and NaN are returned unchanged.
  Radians Abs() const { return 0 > Get() ? Radians(-Get()) : *this; }
};

inline Degrees::Degrees(Radians const& radians)
    : Unit((radians.Get() * 180.0) * detail::kInversePi) {}
inline Degrees::operator Radians() const { return Radians(*this); }

OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, Degrees const& value);
OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, Radians const& value);
OSTREL_EXPORT std::string to_string(Degrees const& value);
OSTREL_EXPORT std::string to_string(Radians const& value);

}  // namespace ostrel

OSTREL_EXPORT ostrel::Degrees operator""_deg(long double value);
OSTREL_EXPORT ostrel::Degrees operator""_deg(unsigned long long value);
OSTREL_EXPORT ostrel::Radians operator""_rad(long double value);
OSTREL_EXPORT ostrel::Radians operator""_rad(unsigned long long value);
