// Vector2D and Vector3D: plain planar and spatial vectors of doubles, for the
// arc and ring computations of the kernel.
//
// Operations that would divide by a zero length throw std::domain_error with
// a fixed message naming the operation.
#pragma once

#include <cmath>

#include "ostrel/core/angle.hpp"
#include "ostrel/core/export.hpp"

namespace ostrel {

struct OSTREL_EXPORT Vector2D {
  double x = 0.0;
  double y = 0.0;

  constexpr Vector2D() = default;
  constexpr Vector2D(double x_, double y_) : x(x_), y(y_) {}

  double Dot(Vector2D const& o) const { return x * o.x + y * o.y; }
  double LengthSquared() const { return x * x + y * y; }
  double Length() const { return std::sqrt(LengthSquared()); }

  Vector2D operator+(Vector2D const& o) const { return {x + o.x, y + o.y}; }
  Vector2D operator-(Vector2D const& o) const { return {x - o.x, y - o.y}; }
  Vector2D operator*(double f) const { return {x * f, y * f}; }

  // This vector when its squared length is within 1.0000000000000001e-16 of
  // 1, else the vector divided by its length; std::domain_error
  // "Vector2D::UnitLength: Unable to make a unit vector from a zero-length
  // vector." for a zero vector.
  Vector2D UnitLength() const;

  // acos((a.b) / (|a| |b|)), the cosine clamped to [-1, 1], in [0, pi];
  // std::domain_error "Vector2D::AngleBetween: Unable to find angle with a
  // zero-length vector." when |a| |b| is 0.
  static Radians AngleBetween(Vector2D const& a, Vector2D const& b);
  // AngleBetween, negative when b lies clockwise of a (the signed area
  // 0.5 (a.x b.y - a.y b.x) is negative).
  static Radians SignedAngleBetween(Vector2D const& a, Vector2D const& b);
  // ((a.b) / |b|^2) b; std::domain_error "Vector2D::Proj: Unable to project
  // onto a zero-length vector." when |b|^2 is 0.
  static Vector2D Proj(Vector2D const& a, Vector2D const& b);
};

struct OSTREL_EXPORT Vector3D {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;

  constexpr Vector3D() = default;
  constexpr Vector3D(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}

  double Dot(Vector3D const& o) const { return x * o.x + y * o.y + z * o.z; }
  double LengthSquared() const { return x * x + y * y + z * z; }
  double Length() const { return std::sqrt(LengthSquared()); }

  Vector3D operator+(Vector3D const& o) const { return {x + o.x, y + o.y, z + o.z}; }
  Vector3D operator-(Vector3D const& o) const { return {x - o.x, y - o.y, z - o.z}; }
  Vector3D operator*(double f) const { return {x * f, y * f, z * f}; }
  Vector3D Cross(Vector3D const& o) const {
    return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
  }

  // The vector divided by its length; std::domain_error
  // "Vector3D::UnitLength: Unable to make a unit vector from a zero-length
  // vector." for a zero vector.
  Vector3D UnitLength() const;
};

}  // namespace ostrel
