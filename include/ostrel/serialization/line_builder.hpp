// LineBuilder<C>: turns the run of input coordinates of one line into the
// packed coordinates of a validated line (C = GeometryCoordinate for planar
// input, GeographyCoordinate for geographic input).
//
// Planar readers add ready coordinates (AddPlanar), built with the bias of
// the thread's BiasTracker, which is also the bias the builder packs them
// with, as they come (the first and the last are kept to close rings).
// Geographic readers add raw (x, y) = (longitude, latitude) in degrees
// (AddGeographic): the longitude is wrapped, the latitude clamped (see
// geographic_input.hpp), the point snapped to the grid, and with `densify`
// set every new edge is first subdivided between the snapped previous point
// and the new one (Densify; the raw x of both ends decide whether the edge
// may cross the antimeridian).
//
// A builder is made for an expected number of points, which it reserves: a
// count above 268435455 throws std::length_error "vector<T> too long"
// before anything is read or reserved (readers check the count against the
// bytes left before that). FinishLine throws std::invalid_argument "line has
// less than 2 coordinates" for fewer than 2 points; otherwise it hands the
// line over packed and the builder is empty again, ready for the next line
// (Reserve sizes it for that one).
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>

#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/serialization/bias_tracker.hpp"

namespace ostrel {

template <class C>
class OSTREL_EXPORT LineBuilder {
  static_assert(std::is_same_v<C, GeometryCoordinate> || std::is_same_v<C, GeographyCoordinate>);

 public:
  static constexpr bool kPlanar = std::is_same_v<C, GeometryCoordinate>;
  using Coordinate = C;
  using Packed = typename C::Packed;
  using PackedLine = ResourceVector<Packed>;

  // The largest count a builder accepts (2^28 - 1).
  static constexpr unsigned long long kMaxCount = 268435455;
  // Throws std::length_error "vector<T> too long" when count > kMaxCount.
  static void CheckCount(unsigned long long count);

  LineBuilder(unsigned long long count, bool densify, bool orient);

  // Checks and reserves the count of the next line.
  void Reserve(unsigned long long count);

  // Packs the coordinate at once with the tracker's bias: a planar line
  // needs no second pass, and FinishLine hands over this very vector.
  template <class D = C>
  requires std::is_same_v<D, GeometryCoordinate>
  void AddPlanar(GeometryCoordinate const& coordinate) {
    if (first_) first_coordinate_ = coordinate;
    last_coordinate_ = coordinate;
    coordinates_.emplace_back(coordinate.GetX(), coordinate.GetY(), tracker_->GetBias());
    first_ = false;
  }

  template <class D = C>
  requires std::is_same_v<D, GeographyCoordinate>
  void AddGeographic(double x, double y) { Add(x, y, false); }

  PackedLine FinishLine();

  // The coordinates accepted so far (midpoints of densified edges included);
  // planar ones already packed.
  template <class D = C>
  requires std::is_same_v<D, GeographyCoordinate> ResourceVector<GeographyCoordinate>
  const& GetCoordinates() const { return coordinates_; }
  template <class D = C>
  requires std::is_same_v<D, GeometryCoordinate> ResourceVector<Packed>
  const& GetPacked() const { return coordinates_; }
  std::size_t Size() const { return coordinates_.size(); }
  bool Empty() const { return coordinates_.empty(); }
  bool GetDensify() const { return densify_; }
  bool GetOrient() const { return orient_; }

 protected:
  // AddGeographic for a line (edge values not kept) or a ring (kept).
  // (Nothing for planar builders.)
  void Add(double x, double y, bool ring);
  void Reset();
  PackedLine Pack();

  ResourceVector<std::conditional_t<kPlanar, Packed, GeographyCoordinate>> coordinates_;
  ResourceVector<double> edge_values_;   // geographic rings only: one per edge
  GeometryCoordinate first_coordinate_;  // planar: compared when closing
  GeometryCoordinate last_coordinate_;
  bool first_ = true;
  bool densify_;
  bool orient_;
  std::pair<double, double> previous_input_{0.0, 0.0};  // raw (x, y) in degrees
  std::pair<double, double> first_input_{0.0, 0.0};     // of the first point
  BiasTracker* tracker_ = nullptr;                      // planar: packs with its bias
};

extern template class OSTREL_EXPORT LineBuilder<GeometryCoordinate>;
extern template class OSTREL_EXPORT LineBuilder<GeographyCoordinate>;

}  // namespace ostrel
