// The envelope handlers of the formats that store per-item boxes: the legacy
// format (LegacyEnvelope) and the OGR-shaped format (OgrEnvelope).
//
// Each handler answers the box of a line or polygon as the value stores it,
// through the value's LegacySerialization::BoundingBoxAccessor<G>, without a
// pass over the coordinates. A value that is not such an accessor (a handler
// registered under the wrong identifier), or a box the format does not know,
// gives a pair of invalid coordinates, which Envelope::Calculate replaces by
// the computed box. BasicServices::Register installs all four; they hold no
// state and may serve any number of threads.
#pragma once

#include <type_traits>
#include <utility>

#include "ostrel/core/export.hpp"
#include "ostrel/operations/envelope.hpp"

namespace ostrel {

namespace detail {

struct LegacyBoxes;  // tags: the format whose stored boxes a handler answers
struct OgrBoxes;

template <class G>
using EnvelopeHandlerOf = std::conditional_t<std::is_same_v<G, Geometry>, Envelope::GeometryHandler,
                                             Envelope::GeographyHandler>;

template <class G, class Format>
class OSTREL_EXPORT StoredBoxHandler final : public EnvelopeHandlerOf<G> {
 public:
  using Box = std::pair<typename G::Coordinate, typename G::Coordinate>;
  ~StoredBoxHandler() override;
  Box ForLine(G const& value, unsigned int line) override;
  Box ForPoly(G const& value, unsigned int poly) override;
};

extern template class OSTREL_EXPORT StoredBoxHandler<Geometry, LegacyBoxes>;
extern template class OSTREL_EXPORT StoredBoxHandler<Geography, LegacyBoxes>;
extern template class OSTREL_EXPORT StoredBoxHandler<Geometry, OgrBoxes>;
extern template class OSTREL_EXPORT StoredBoxHandler<Geography, OgrBoxes>;

}  // namespace detail

namespace LegacyEnvelope {
using GeometryHandler = detail::StoredBoxHandler<Geometry, detail::LegacyBoxes>;
using GeographyHandler = detail::StoredBoxHandler<Geography, detail::LegacyBoxes>;
}  // namespace LegacyEnvelope

namespace OgrEnvelope {
using GeometryHandler = detail::StoredBoxHandler<Geometry, detail::OgrBoxes>;
using GeographyHandler = detail::StoredBoxHandler<Geography, detail::OgrBoxes>;
}  // namespace OgrEnvelope

}  // namespace ostrel
