#include "ostrel/operations/stored_envelope.hpp"

#include "ostrel/legacy/bounding_box_accessor.hpp"

namespace ostrel::detail {
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

template <class G, class Format>
StoredBoxHandler<G, Format>::~StoredBoxHandler() = default;

template <class G, class Format>
auto StoredBoxHandler<G, Format>::ForLine(G const& value, unsigned int line) -> Box {
  return StoredBox(value, line, true);
}

template <class G, class Format>
auto StoredBoxHandler<G, Format>::ForPoly(G const& value, unsigned int poly) -> Box {
  return StoredBox(value, poly, false);
}

template class StoredBoxHandler<Geometry, LegacyBoxes>;
template class StoredBoxHandler<Geography, LegacyBoxes>;
template class StoredBoxHandler<Geometry, OgrBoxes>;
template class StoredBoxHandler<Geography, OgrBoxes>;

}  // namespace ostrel::detail
