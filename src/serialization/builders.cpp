#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "ostrel/core/internal/numerics.hpp"
#include "ostrel/kernel/ring_cleaning.hpp"
#include "ostrel/kernel/winding_order.hpp"
#include "ostrel/serialization/geographic_input.hpp"
#include "ostrel/serialization/line_builder.hpp"
#include "ostrel/serialization/ring_builder.hpp"

namespace ostrel {

namespace {

double Lat(GeographyCoordinate const& c) { return c.GetLatitude().Get().Get(); }
double Lon(GeographyCoordinate const& c) { return c.GetLongitude().Get().Get(); }

// The direction of an edge in the plane of the raw input, as the clean-up
// of snapped rings compares it with the snapped direction.
double EdgeValue(std::pair<double, double> const& from, double x, double y) {
  double const dx = x - from.first;
  double const dy = y - from.second;
  if (dx == 0 && dy == 0) return 0.0;
  return static_cast<double>(detail::RoundToFloat(std::atan2(dy, dx)));
}

}  // namespace

template <class C>
void LineBuilder<C>::CheckCount(unsigned long long count) {
  if (count > kMaxCount) throw std::length_error("vector<T> too long");
}

template <class C>
LineBuilder<C>::LineBuilder(unsigned long long count, bool densify, bool orient)
    : densify_(densify), orient_(orient) {
  if constexpr (kPlanar) tracker_ = &BiasTracker::ForThisThread();
  Reserve(count);
}

template <class C>
void LineBuilder<C>::Reserve(unsigned long long count) {
  CheckCount(count);
  coordinates_.reserve(static_cast<std::size_t>(count));
}

template <class C>
void LineBuilder<C>::Add(double x, double y, bool ring) {
  if constexpr (!kPlanar) {
    double const lon = Radians(Degrees(WrapLongitude(x))).Get();
    double const lat = Radians(Degrees(ClampLatitude(y))).Get();
    GeographyCoordinate const point{Latitude(Radians(lat)), Longitude(lon)};
    if (first_) {
      first_input_ = {x, y};
    } else {
      double const edge = ring ? EdgeValue(previous_input_, x, y) : 0.0;
      if (densify_) {
        bool const same_side = LongitudeZone(previous_input_.first) == LongitudeZone(x);
        // The previous input point is the last coordinate: midpoints of its
        // own edge came before it.
        GeographyCoordinate const previous = coordinates_.back();
        // One pointer captured, so the emitter fits in std::function's own
        // storage and densifying allocates only coordinates.
        struct Target {
          LineBuilder* builder;
          bool ring;
          double edge;
        } const target{this, ring, edge};
        Densify(previous, point, Radians(kDensifyTolerance), same_side,
                [t = &target](std::pair<Latitude, Longitude> const& m) {
                  t->builder->coordinates_.push_back(GeographyCoordinate(m.first, m.second));
                  if (t->ring) t->builder->edge_values_.push_back(t->edge);
                });
      }
      if (ring) edge_values_.push_back(edge);
    }
    coordinates_.push_back(point);
    previous_input_ = {x, y};
    first_ = false;
  }
}

template <class C>
void LineBuilder<C>::Reset() {
  coordinates_.clear();
  edge_values_.clear();
  first_ = true;
}

template <class C>
typename LineBuilder<C>::PackedLine LineBuilder<C>::Pack() {
  if constexpr (kPlanar) {
    return std::move(coordinates_);
  } else {
    PackedLine out;
    out.reserve(coordinates_.size());
    for (GeographyCoordinate const& c : coordinates_)
      out.emplace_back(c.GetLatitude(), c.GetLongitude());
    return out;
  }
}

template <class C>
typename LineBuilder<C>::PackedLine LineBuilder<C>::FinishLine() {
  if (coordinates_.size() < 2) throw std::invalid_argument("line has less than 2 coordinates");
  PackedLine out = Pack();
  Reset();
  return out;
}

template class LineBuilder<GeometryCoordinate>;
template class LineBuilder<GeographyCoordinate>;

template <class C>
RingBuilder<C>::RingBuilder(unsigned long long count, bool densify, bool orient)
    : Base(count, densify, orient) {
  if constexpr (!kPlanar) this->edge_values_.reserve(static_cast<std::size_t>(count));
}

template <class C>
void RingBuilder<C>::Reserve(unsigned long long count) {
  Base::Reserve(count);
  if constexpr (!kPlanar) this->edge_values_.reserve(static_cast<std::size_t>(count));
}

template <class C>
bool RingBuilder<C>::CloseCoordinates() {
  auto& coordinates = this->coordinates_;
  if (coordinates.size() <= 2) return false;
  if constexpr (kPlanar) {
    if (this->first_coordinate_ == this->last_coordinate_) return false;
    this->last_coordinate_ = this->first_coordinate_;
  } else {
    if (coordinates.front() == coordinates.back()) return false;
  }
  auto const first = coordinates.front();
  coordinates.push_back(first);
  return true;
}

template <class C>
void RingBuilder<C>::Close() {
  if (CloseCoordinates() && !kPlanar) {
    this->edge_values_.push_back(
        EdgeValue(this->previous_input_, this->first_input_.first, this->first_input_.second));
  }
}

template <class C>
void RingBuilder<C>::CheckRingSize() const {
  if (this->coordinates_.size() < 4) {
    throw std::invalid_argument("ring has less than 4 coordinates");
  }
}

template <class C>
typename RingBuilder<C>::PackedLine RingBuilder<C>::Finish(bool is_hole) {
  Close();
  CheckRingSize();
  if constexpr (!kPlanar) {
    auto& ring = this->coordinates_;
    auto const& edges = this->edge_values_;
    CleanRingAndRemoveIntroducedSelfIntersections(
        ring, [&edges](unsigned k) { return Radians(k < edges.size() ? edges[k] : 0.0); });
    CloseCoordinates();
    CheckRingSize();
    if (this->orient_) {
      WindingOrder const order = DetectWindingOrder(
          [&ring](unsigned i) { return std::pair<double, double>(Lon(ring[i]), Lat(ring[i])); },
          static_cast<unsigned>(ring.size()));
      WindingOrder const wanted =
          is_hole ? WindingOrder::InteriorRight : WindingOrder::InteriorLeft;
      if (order != wanted) std::reverse(ring.begin(), ring.end());
    }
  }
  PackedLine out = this->Pack();
  this->Reset();
  return out;
}

template class RingBuilder<GeometryCoordinate>;
template class RingBuilder<GeographyCoordinate>;

}  // namespace ostrel
