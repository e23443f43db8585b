#include "ostrel/serialization/wkb.hpp"

#include <stdexcept>

#include "serialization/wkb_engine.hpp"
#include "serialization/wrong_kind.hpp"

namespace ostrel {

namespace {
using detail::ThrowWrongKind;
}  // namespace

SpatialPtr WkbSerialization::Read(std::vector<std::uint8_t> const& bytes, CoordinateType type) {
  using detail::wkb::Codes;
  StreamReader stream(bytes);
  if (type == CoordinateType::Geometry) {
    return detail::wkb::ReadValue<Geometry>(stream, Codes::Iso, true, true, Geometry::Attributes(),
                                            nullptr);
  }
  if (type == CoordinateType::Geography) {
    return detail::wkb::ReadValue<Geography>(stream, Codes::Iso, true, true,
                                             Geography::Attributes(), nullptr);
  }
  ThrowWrongKind();
}

std::vector<std::uint8_t> WkbSerialization::Write(Spatial const& value) {
  StreamWriter out;
  switch (value.GetCoordinateType()) {
    case CoordinateType::Geography:
      detail::wkb::WriteValue(out, value.AsGeography(), std::nullopt);
      break;
    case CoordinateType::Geometry:
      detail::wkb::WriteValue(out, value.AsGeometry(), std::nullopt);
      break;
    default: ThrowWrongKind();
  }
  return out.Take();
}

}  // namespace ostrel
