// Unknown: a value whose content the library does not model, such as text
// that did not parse. Shape type Empty; its hash covers only its kind.
#pragma once

#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"

namespace ostrel {

class OSTREL_EXPORT Unknown : public Spatial {
 public:
  Unknown() = default;
  Unknown(Unknown const&) = default;
  Unknown& operator=(Unknown const&) = default;

  CoordinateType GetCoordinateType() const override { return CoordinateType::Unknown; }
  ShapeType GetShapeType() const override { return ShapeType::Empty; }
  FormatInfo const& GetFormatInfo() const override { return GetRegisteredFormatInfo(); }
  Unknown const& AsUnknown() const override { return *this; }

  // ("Unknown:n"), made once on first use.
  static FormatInfo const& GetRegisteredFormatInfo();

 protected:
  void DoHash(Hasher&) const override {}
};

}  // namespace ostrel
