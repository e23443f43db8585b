// Unit<D, V>: the arithmetic base shared by the angle types.
//
// A CRTP base that stores one value of representation V (a double, or a
// Radians for Latitude and Longitude) and lets only angles of the same kind D
// be combined. After every modification D's post-modification hook runs: for
// Latitude that is the range check, which runs after the new value is stored.
// Unary minus negates the object in place; it does not produce a new value.
#pragma once

namespace ostrel {

template <class D, class V>
class Unit {
 public:
  Unit() : value_() {}
  Unit(V value) : value_(value) {}  // NOLINT(google-explicit-constructor)
  Unit(Unit const&) = default;

  Unit& operator=(Unit const&) = default;
  Unit& operator=(D const& other) {
    value_ = static_cast<Unit const&>(other).value_;
    return *this;
  }

  V Get() const { return value_; }
  operator V() const { return value_; }  // NOLINT(google-explicit-constructor)

  D const& operator+=(D const& other) { return Modify(Raw() + RawOf(other)); }
  D const& operator-=(D const& other) { return Modify(Raw() - RawOf(other)); }
  D const& operator*=(double factor) { return Modify(Raw() * factor); }
  D const& operator/=(double factor) { return Modify(Raw() / factor); }
  D const& operator-() { return Modify(-Raw()); }

 protected:
  // The check run after every modification; D hides it when it has one.
  void CheckAfterModification() const {}

 private:
  double Raw() const { return static_cast<double>(value_); }
  static double RawOf(D const& other) { return static_cast<Unit const&>(other).Raw(); }

  D const& Modify(double raw) {
    value_ = V(raw);
    D const& self = static_cast<D const&>(*this);
    self.CheckAfterModification();
    return self;
  }

  V value_;
};

}  // namespace ostrel
