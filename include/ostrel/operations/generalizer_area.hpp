// AreaFunction: the significance of a point between two neighbours, as used
// by the Visvalingam-Whyatt working structure (VisvalManager).
//
// SimpleArea, its one implementation, is twice the area of the triangle
// (a, b, c):
//   |(b.y - c.y) * a.x + (c.y - a.y) * b.x + (a.y - b.y) * c.x|
// evaluated left to right in that order, so the result is bit-reproducible.
// It is never negative; it is NaN when a coordinate is NaN or when infinities
// cancel, and exactly 0 when two of the three points coincide (for finite
// coordinates).
#pragma once

#include <cmath>
#include <utility>

#include "ostrel/core/export.hpp"

namespace ostrel {

class OSTREL_EXPORT AreaFunction {
 public:
  AreaFunction() = default;
  AreaFunction(AreaFunction const&) = default;
  AreaFunction& operator=(AreaFunction const&) = default;
  virtual ~AreaFunction();

  virtual double Area(std::pair<double, double> const& a, std::pair<double, double> const& b,
                      std::pair<double, double> const& c) const = 0;
};

class OSTREL_EXPORT SimpleArea final : public AreaFunction {
 public:
  SimpleArea() = default;
  SimpleArea(SimpleArea const&) = default;
  SimpleArea& operator=(SimpleArea const&) = default;
  ~SimpleArea() override;

  double Area(std::pair<double, double> const& a, std::pair<double, double> const& b,
              std::pair<double, double> const& c) const override {
    return Compute(a, b, c);
  }

  // The same value without a virtual call.
  static double Compute(std::pair<double, double> const& a, std::pair<double, double> const& b,
                        std::pair<double, double> const& c) noexcept {
    return std::fabs((b.second - c.second) * a.first + (c.second - a.second) * b.first +
                     (a.second - b.second) * c.first);
  }
};

}  // namespace ostrel
