#include <cmath>
#include <ostream>
#include <stdexcept>

#include "detail/stream_text.hpp"
#include "ostrel/core/angle.hpp"
#include "ostrel/core/internal/no_destructor.hpp"
#include "ostrel/core/latitude.hpp"
#include "ostrel/core/longitude.hpp"

namespace ostrel {

std::string const& Degrees::GetUnitSymbol() {
  static detail::NoDestructor<std::string const> symbol("\xC2\xB0");
  return *symbol;
}

Radians Radians::Normalize() const {
  double v = Get();
  if (-detail::kPi > v) return Radians(std::fmod(v - detail::kPi, detail::kTwoPi) + detail::kPi);
  if (v > detail::kPi) return Radians(std::fmod(v + detail::kPi, detail::kTwoPi) - detail::kPi);
  return *this;
}

void Latitude::ThrowOutOfRange() { throw std::out_of_range("Latitude must not exceed +/- pi/2"); }

bool Longitude::IsBetween(Longitude const& lo, Longitude const& hi) const {
  double a = lo.Get().Normalize().Get();
  double b = hi.Get().Normalize().Get();
  double x = Get().Normalize().Get();
  if (a > b) {
    // The interval crosses the antimeridian: unwrap it to (a - 2pi, b) and
    // bring x along when it lies east of lo.
    a = a - detail::kTwoPi;
    if (-detail::kTwoPi > a - x) x = x - detail::kTwoPi;
  }
  return x > a && b > x;
}

std::ostream& operator<<(std::ostream& os, Degrees const& value) {
  return os << value.Get() << Degrees::GetUnitSymbol();
}

std::ostream& operator<<(std::ostream& os, Radians const& value) { return os << value.Get(); }

std::ostream& operator<<(std::ostream& os, Latitude const& value) {
  double v = value.Get().Get();
  Latitude magnitude = 0 > v ? Latitude(Radians(-v)) : value;
  return os << Degrees(magnitude.Get()).Get() << Degrees::GetUnitSymbol() << (0 > v ? "S" : "N");
}

std::ostream& operator<<(std::ostream& os, Longitude const& value) {
  double v = value.Get().Get();
  return os << std::fabs(Degrees(value.Get()).Get()) << Degrees::GetUnitSymbol()
            << (0 > v ? "W" : "E");
}

std::string to_string(Degrees const& value) { return detail::StreamText(value); }
std::string to_string(Radians const& value) { return detail::StreamText(value); }
std::string to_string(Latitude const& value) { return detail::StreamText(value); }
std::string to_string(Longitude const& value) { return detail::StreamText(value); }

}  // namespace ostrel

using ostrel::Degrees;
using ostrel::Latitude;
using ostrel::Longitude;
using ostrel::Radians;

Degrees operator""_deg(long double value) { return Degrees(static_cast<double>(value)); }
Degrees operator""_deg(unsigned long long value) { return Degrees(static_cast<double>(value)); }
Radians operator""_rad(long double value) { return Radians(static_cast<double>(value)); }
Radians operator""_rad(unsigned long long value) { return Radians(static_cast<double>(value)); }
Latitude operator""_lat(long double degrees) {
  return Latitude(Degrees(static_cast<double>(degrees)));
}
Latitude operator""_lat(unsigned long long degrees) {
  return Latitude(Degrees(static_cast<double>(degrees)));
}
Latitude operator""_rlat(long double radians) {
  return Latitude(Radians(static_cast<double>(radians)));
}
Latitude operator""_rlat(unsigned long long radians) {
  return Latitude(Radians(static_cast<double>(radians)));
}
Longitude operator""_lon(long double degrees) {
  return Longitude(Degrees(static_cast<double>(degrees)));
}
Longitude operator""_lon(unsigned long long degrees) {
  return Longitude(Degrees(static_cast<double>(degrees)));
}
Longitude operator""_rlon(long double radians) { return Longitude(static_cast<double>(radians)); }
Longitude operator""_rlon(unsigned long long radians) {
  return Longitude(static_cast<double>(radians));
}
