#include "ostrel/kernel/vector.hpp"

#include <algorithm>
#include <stdexcept>

namespace ostrel {

Vector2D Vector2D::UnitLength() const {
  double const squared = LengthSquared();
  if (std::fabs(squared - 1.0) <= 1.0000000000000001e-16) return *this;
  double const length = std::sqrt(squared);
  if (length == 0) {
    throw std::domain_error(
        "Vector2D::UnitLength: Unable to make a unit vector from a zero-length vector.");
  }
  return {x / length, y / length};
}

Radians Vector2D::AngleBetween(Vector2D const& a, Vector2D const& b) {
  double const lengths = a.Length() * b.Length();
  if (lengths == 0) {
    throw std::domain_error(
        "Vector2D::AngleBetween: Unable to find angle with a zero-length vector.");
  }
  return Radians(std::acos(std::clamp(a.Dot(b) / lengths, -1.0, 1.0)));
}

Radians Vector2D::SignedAngleBetween(Vector2D const& a, Vector2D const& b) {
  double const angle = AngleBetween(a, b).Get();
  return Radians(0.5 * (a.x * b.y - a.y * b.x) < 0 ? -angle : angle);
}

Vector2D Vector2D::Proj(Vector2D const& a, Vector2D const& b) {
  double const squared = b.LengthSquared();
  if (squared == 0) {
    throw std::domain_error("Vector2D::Proj: Unable to project onto a zero-length vector.");
  }
  return b * (a.Dot(b) / squared);
}

Vector3D Vector3D::UnitLength() const {
  double const length = Length();
  if (length == 0) {
    throw std::domain_error(
        "Vector3D::UnitLength: Unable to make a unit vector from a zero-length vector.");
  }
  return {x / length, y / length, z / length};
}

}  // namespace ostrel
