#include "ostrel/kernel/rectangular_bounds.hpp"

#include <stdexcept>

namespace ostrel {
namespace {

// fmin and fmax as the C library defines them (the non-NaN operand wins), with
// the tie between +0.0 and -0.0 pinned to the second operand so that every
// compiler and optimisation level picks the same zero.
double Fmin(double x, double y) { return x < y ? x : (y == y ? y : x); }
double Fmax(double x, double y) { return x > y ? x : (y == y ? y : x); }

// The box of a sequence as the Union of its coordinates' boxes, one by one.
template <class Sequence>
RectangularBounds Fold(Sequence const& sequence, unsigned int size) {
  RectangularBounds running;
  for (unsigned int k = 0; k < size; ++k) {
    running = running.Union(RectangularBounds(GeometryCoordinate(sequence[k])));
  }
  return running;
}

// The same box in one min/max pass. With finite coordinates every point box
// and every union is valid (a sum of finite values may overflow to one
// infinity but never gives NaN), so the fold reduces to the comparisons
// below, written exactly as Union's; any NaN or infinity sends the sequence
// to the fold, which decides validity step by step.
template <class Sequence>
RectangularBounds Walk(Sequence const& sequence, unsigned int size) {
  if (size == 0) return RectangularBounds();
  GeometryCoordinate const first = sequence[0];
  double min_x = first.GetX(), min_y = first.GetY();
  double max_x = min_x, max_y = min_y;
  // x - x is 0 for a finite x and NaN otherwise; the sum stays 0 only when
  // every coordinate is finite.
  double not_finite = (min_x - min_x) + (min_y - min_y);
  for (unsigned int k = 1; k < size; ++k) {
    GeometryCoordinate const c = sequence[k];
    double const x = c.GetX(), y = c.GetY();
    not_finite += (x - x) + (y - y);
    min_x = min_x < x ? min_x : x;
    min_y = min_y < y ? min_y : y;
    max_x = max_x > x ? max_x : x;
    max_y = max_y > y ? max_y : y;
  }
  if (not_finite != 0 || not_finite != not_finite) return Fold(sequence, size);
  return RectangularBounds(min_x, min_y, max_x, max_y);
}

}  // namespace

GeometryBounds::~GeometryBounds() = default;
RectangularBounds::~RectangularBounds() = default;

RectangularBounds::RectangularBounds(double min_x, double min_y, double max_x, double max_y)
    : min_x_(min_x), min_y_(min_y), max_x_(max_x), max_y_(max_y) {
  double const sum = ((min_x + min_y) + max_x) + max_y;
  valid_ = sum == sum;
  if (min_x > max_x || min_y > max_y) {
    throw std::domain_error("max value should not be less than min value in bounds construction.");
  }
}

bool RectangularBounds::Overlaps(GeometryBounds const& other) const {
  auto const* box = dynamic_cast<RectangularBounds const*>(&other);
  if (box == nullptr) {
    throw std::invalid_argument(
        "ostrel::RectangularBounds::Overlaps: operating on two different bounds types");
  }
  // Closed intervals [a0, a1] and [b0, b1] overlap when an end of either lies
  // in the other.
  auto in = [](double x, double lo, double hi) { return x >= lo && hi >= x; };
  auto overlap = [&in](double a0, double a1, double b0, double b1) {
    return in(a0, b0, b1) || in(a1, b0, b1) || in(b0, a0, a1) || in(b1, a0, a1);
  };
  return overlap(min_x_, max_x_, box->min_x_, box->max_x_) &&
         overlap(min_y_, max_y_, box->min_y_, box->max_y_);
}

RectangularBounds RectangularBounds::Union(RectangularBounds const& other) const {
  if (!valid_) return other;
  if (!other.valid_) return *this;
  return RectangularBounds(Fmin(min_x_, other.min_x_), Fmin(min_y_, other.min_y_),
                           Fmax(max_x_, other.max_x_), Fmax(max_y_, other.max_y_));
}

RectangularBounds RectangularBounds::BoundsOfLine(Shape<GeometryCoordinate> const& shape,
                                                  unsigned int line) {
  auto const view = shape.GetLines()[line];
  return Walk(view, view.size());
}

RectangularBounds RectangularBounds::BoundsOfPoly(Shape<GeometryCoordinate> const& shape,
                                                  unsigned int poly) {
  auto const rings = shape.GetPolys()[poly];
  if (rings.empty()) return RectangularBounds();
  auto const exterior = rings[0];
  return Walk(exterior, exterior.size());
}

RectangularBounds RectangularBounds::BoundsOfCoordinates(
    std::span<GeometryCoordinate const> coordinates) {
  return Walk(coordinates, static_cast<unsigned int>(coordinates.size()));
}

namespace {

template <class Compute>
RectangularBounds Cached(unsigned long long key, Compute compute) {
  std::shared_ptr<RectangularBoundsCache> const cache =
      ServiceRegistry::Instance().Get<RectangularBoundsCache>();
  RectangularBounds bounds;
  if (cache->Lookup(key, bounds)) return bounds;
  bounds = compute();
  cache->Store(key, bounds);
  return bounds;
}

}  // namespace

RectangularBounds RectangularBounds::CachedBoundsOfLine(Shape<GeometryCoordinate> const& shape,
                                                        unsigned int line) {
  return Cached(shape.HashForLine(line), [&] { return BoundsOfLine(shape, line); });
}

RectangularBounds RectangularBounds::CachedBoundsOfPoly(Shape<GeometryCoordinate> const& shape,
                                                        unsigned int poly) {
  return Cached(shape.HashForPoly(poly), [&] { return BoundsOfPoly(shape, poly); });
}

RectangularBoundsCache::RectangularBoundsCache(unsigned int maximum_size)
    : Cache<RectangularBounds>(maximum_size) {}
RectangularBoundsCache::~RectangularBoundsCache() = default;

}  // namespace ostrel
