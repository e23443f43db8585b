#include "ostrel/operations/stored_envelope.hpp"

#include "ostrel/legacy/bounding_box_accessor.hpp"

namespace ostrel {
namespace {

// The stored box of line or polygon `index` of `value`; invalid when the
// value keeps no boxes.
template <class G>
std::pair<typename G::Coordinate, typename G::Coordinate> StoredBox(G const& value,
                                                                    unsigned int index,
                                                                    bool is_line) {
  auto const* accessor = dynamic_cast<LegacySerialization::BoundingBoxAccessor<G> const*>(&value);
  if (accessor == nullptr) return {};
  return is_line ? accessor->BoundingBoxForLineString(index)
                 : accessor->BoundingBoxForPolygon(index);
}

}  // namespace

namespace LegacyEnvelope {

GeometryHandler::~GeometryHandler() = default;
Envelope::GeometryBox GeometryHandler::ForLine(Geometry const& value, unsigned int line) {
  return StoredBox(value, line, true);
}
Envelope::GeometryBox GeometryHandler::ForPoly(Geometry const& value, unsigned int poly) {
  return StoredBox(value, poly, false);
}

GeographyHandler::~GeographyHandler() = default;
Envelope::GeographyBox GeographyHandler::ForLine(Geography const& value, unsigned int line) {
  return StoredBox(value, line, true);
}
Envelope::GeographyBox GeographyHandler::ForPoly(Geography const& value, unsigned int poly) {
  return StoredBox(value, poly, false);
}

}  // namespace LegacyEnvelope

namespace OgrEnvelope {

GeometryHandler::~GeometryHandler() = default;
Envelope::GeometryBox GeometryHandler::ForLine(Geometry const& value, unsigned int line) {
  return StoredBox(value, line, true);
}
Envelope::GeometryBox GeometryHandler::ForPoly(Geometry const& value, unsigned int poly) {
  return StoredBox(value, poly, false);
}

GeographyHandler::~GeographyHandler() = default;
Envelope::GeographyBox GeographyHandler::ForLine(Geography const& value, unsigned int line) {
  return StoredBox(value, line, true);
}
Envelope::GeographyBox GeographyHandler::ForPoly(Geography const& value, unsigned int poly) {
  return StoredBox(value, poly, false);
}

}  // namespace OgrEnvelope
}  // namespace ostrel
