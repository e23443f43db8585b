// GeometryCoordinate: a point of the plane, and its packed form.
//
// Planar values store coordinates as Packed: two floats holding the offset of
// the point from the value's Bias, a double-precision origin. A
// GeometryCoordinate built from doubles is snapped to that representation, so
// x == bias.x + (a float) and y == bias.y + (a float), and packing it with the
// same bias and unpacking returns the same doubles. Either both fields are
// NaN (the default, invalid coordinate) or neither is. Comparison is IEEE:
// an invalid coordinate equals nothing, itself included.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>

#include "ostrel/core/constants.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/hasher.hpp"
#include "ostrel/core/internal/numerics.hpp"

namespace ostrel {

class GeometryCoordinate {
 public:
  class OSTREL_EXPORT Bias {
   public:
    constexpr Bias() = default;
    constexpr Bias(double x, double y) : x_(x), y_(y) {}

    // The (0, 0) bias shared by values that carry none.
    static Bias const& None();

    double GetX() const { return x_; }
    double GetY() const { return y_; }

    bool operator==(Bias const& o) const { return x_ == o.x_ && y_ == o.y_; }
    bool operator!=(Bias const& o) const { return !(*this == o); }

    Hasher& Hash(Hasher& h) const { return h.Add(x_).Add(y_); }

   private:
    double x_ = 0.0;
    double y_ = 0.0;
  };

  class Packed {
   public:
    Packed() = default;
    // The offsets from the bias rounded to float; no NaN or range check (a
    // difference beyond the float range becomes an infinity).
    Packed(double x, double y, Bias const& bias)
        : x_(detail::RoundToFloat(x - bias.GetX())), y_(detail::RoundToFloat(y - bias.GetY())) {}

    float GetX() const { return x_; }
    float GetY() const { return y_; }

    std::pair<double, double> GetXY(Bias const& bias) const {
      return {static_cast<double>(x_) + bias.GetX(), static_cast<double>(y_) + bias.GetY()};
    }
    unsigned long long GetAsUint64() const { return Hasher::ToUint64(x_, y_); }
    bool IsValid() const { return !detail::IsNaN(x_) && !detail::IsNaN(y_); }
    Hasher& Hash(Hasher& h) const { return h.Add(x_, y_); }

   private:
    float x_ = detail::kNaNf;
    float y_ = detail::kNaNf;
  };

  GeometryCoordinate() = default;
  GeometryCoordinate(double x, double y) : GeometryCoordinate(x, y, Bias::None()) {}
  // Snapping: each offset from the bias is rounded to float, and the
  // coordinate is the bias plus that float (see RoundToFloat for why the
  // rounding is pinned).
  GeometryCoordinate(double x, double y, Bias const& bias) {
    float fx = detail::RoundToFloat(x - bias.GetX());
    float fy = detail::RoundToFloat(y - bias.GetY());
    if (!detail::IsNaN(fx) && !detail::IsNaN(fy)) {
      x_ = static_cast<double>(fx) + bias.GetX();
      y_ = static_cast<double>(fy) + bias.GetY();
    }
  }
  GeometryCoordinate(Packed packed, Bias const& bias) {
    if (packed.IsValid()) {
      x_ = static_cast<double>(packed.GetX()) + bias.GetX();
      y_ = static_cast<double>(packed.GetY()) + bias.GetY();
    }
  }

  double GetX() const { return x_; }
  double GetY() const { return y_; }
  bool IsValid() const { return !detail::IsNaN(x_) && !detail::IsNaN(y_); }

  bool operator==(GeometryCoordinate const& o) const { return x_ == o.x_ && y_ == o.y_; }
  bool operator!=(GeometryCoordinate const& o) const { return !(*this == o); }

 private:
  double x_ = detail::kNaN;
  double y_ = detail::kNaN;
};

OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, GeometryCoordinate const& c);
OSTREL_EXPORT std::ostream& operator<<(
    std::ostream& os, std::pair<GeometryCoordinate::Packed, GeometryCoordinate::Bias> const& c);
OSTREL_EXPORT std::string to_string(GeometryCoordinate const& c);
OSTREL_EXPORT std::string to_string(
    std::pair<GeometryCoordinate::Packed, GeometryCoordinate::Bias> const& c);
OSTREL_EXPORT std::string to_string(GeometryCoordinate::Packed const& packed,
                                    GeometryCoordinate::Bias bias);

}  // namespace ostrel

// Two numbers read by stream extraction, x first: "1.5 -2". Length 0 gives the
// invalid coordinate.
OSTREL_EXPORT ostrel::GeometryCoordinate operator""_geom(char const* text, std::size_t length);
