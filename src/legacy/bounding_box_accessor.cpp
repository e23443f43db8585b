#include "ostrel/legacy/bounding_box_accessor.hpp"

#include "ostrel/core/internal/no_destructor.hpp"

namespace ostrel::LegacySerialization {
namespace {

// The shared accessor: the base's answers, every box invalid.
template <class G>
class DefaultAccessor final : public BoundingBoxAccessor<G> {};

}  // namespace

template <class G>
typename BoundingBoxAccessor<G>::Box BoundingBoxAccessor<G>::BoundingBoxForPoint(
    unsigned int) const {
  return {};
}
template <class G>
typename BoundingBoxAccessor<G>::Box BoundingBoxAccessor<G>::BoundingBoxForLineString(
    unsigned int) const {
  return {};
}
template <class G>
typename BoundingBoxAccessor<G>::Box BoundingBoxAccessor<G>::BoundingBoxForPolygon(
    unsigned int) const {
  return {};
}
template <class G>
typename BoundingBoxAccessor<G>::Box BoundingBoxAccessor<G>::BoundingBoxForMultiPoint(
    unsigned int) const {
  return {};
}
template <class G>
typename BoundingBoxAccessor<G>::Box BoundingBoxAccessor<G>::BoundingBoxForMultiLineString(
    unsigned int) const {
  return {};
}
template <class G>
typename BoundingBoxAccessor<G>::Box BoundingBoxAccessor<G>::BoundingBoxForMultiPolygon(
    unsigned int) const {
  return {};
}
template <class G>
typename BoundingBoxAccessor<G>::Box BoundingBoxAccessor<G>::BoundingBoxForMixed() const {
  return {};
}

template <class G>
BoundingBoxAccessor<G> const& BoundingBoxAccessor<G>::GetDefault() {
  static ostrel::detail::NoDestructor<DefaultAccessor<G> const> accessor;
  return *accessor;
}

template class BoundingBoxAccessor<Geometry>;
template class BoundingBoxAccessor<Geography>;

}  // namespace ostrel::LegacySerialization
