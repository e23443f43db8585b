// RingBuilder<C>: turns the run of input coordinates of one polygon ring into
// a closed ring, cleaned and oriented when geographic.
//
// It adds to LineBuilder one value per edge: the direction of the edge in
// the plane of the raw input (atan2 of the raw degree differences, rounded
// to single precision; 0 for an edge of no length; midpoints of a densified
// edge carry the value of their edge). These are the unsnapped directions
// the ring clean-up needs.
//
// Close appends the first coordinate when the ring has more than 2 and its
// last differs from its first (a closed A, B, A stays at 3); the closing
// edge gets its value from the last and first raw points.
// FinishPlanarRing: Close; fewer than 4 coordinates throw
// std::invalid_argument "ring has less than 4 coordinates".
// FinishGeographicRing(is_hole): Close and check; clean up as
// CleanRingAndRemoveIntroducedSelfIntersections does, with the edge values
// as the unsnapped directions; Close and check again; with `orient` set,
// reverse an exterior ring whose winding (DetectWindingOrder over
// (longitude, latitude) in radians) is not interior-left, a hole whose
// winding is not interior-right (so an ambiguous ring is always reversed).
// Both hand the ring over packed and leave the builder empty.
#pragma once

#include "ostrel/serialization/line_builder.hpp"

namespace ostrel {

template <class C>
class OSTREL_EXPORT RingBuilder : public LineBuilder<C> {
  using Base = LineBuilder<C>;

 public:
  using Base::kPlanar;
  using typename Base::PackedLine;

  RingBuilder(unsigned long long count, bool densify, bool orient);

  void Reserve(unsigned long long count);

  template <class D = C>
  requires std::is_same_v<D, GeographyCoordinate>
  void AddGeographic(double x, double y) { this->Add(x, y, true); }

  void Close();

  template <class D = C>
  requires std::is_same_v<D, GeometryCoordinate> PackedLine FinishPlanarRing() {
    return Finish(false);
  }
  template <class D = C>
  requires std::is_same_v<D, GeographyCoordinate> PackedLine FinishGeographicRing(bool is_hole) {
    return Finish(is_hole);
  }

  ResourceVector<double> const& GetEdgeValues() const { return this->edge_values_; }

 private:
  // Appends the first coordinate when the ring is open; true if it did.
  bool CloseCoordinates();
  void CheckRingSize() const;
  // FinishPlanarRing, or FinishGeographicRing(is_hole).
  PackedLine Finish(bool is_hole);
};

extern template class OSTREL_EXPORT RingBuilder<GeometryCoordinate>;
extern template class OSTREL_EXPORT RingBuilder<GeographyCoordinate>;

}  // namespace ostrel
