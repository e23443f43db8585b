// Identifying: a value that carries only a 64-bit identifier.
//
// The identifier is the value's preset cached hash, so GetHash() returns it
// (unless it is 0, which hashes like an empty value of this kind) and the
// value equals any other whose hash is the identifier.
#pragma once

#include <cstdint>

#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"

namespace ostrel {

class OSTREL_EXPORT Identifying : public Spatial {
 public:
  Identifying(unsigned long long identifier) : Spatial(identifier) {}
  Identifying(Identifying const&) = default;
  Identifying(Identifying&&) = default;
  Identifying& operator=(Identifying const&) = default;
  Identifying& operator=(Identifying&&) = default;

  CoordinateType GetCoordinateType() const override { return CoordinateType::Identifying; }
  ShapeType GetShapeType() const override { return ShapeType::Empty; }
  FormatInfo const& GetFormatInfo() const override { return GetRegisteredFormatInfo(); }
  Identifying const& AsIdentifying() const override { return *this; }

  // ("Identifying:n"), made once on first use.
  static FormatInfo const& GetRegisteredFormatInfo();

 protected:
  void DoHash(Hasher&) const override {}
};

}  // namespace ostrel
