#include "ostrel/kernel/rectangular_bounds.hpp"

#include <bit>
#include <cstdint>
#include <stdexcept>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The four extremes of a sequence, and whether all its coordinates were
// finite. Coordinates are fetched a block at a time, so that the comparison
// loop makes no calls. It keeps two accumulators per extreme (even and odd
// positions, one SSE2 register) with min/max instructions that are exactly
// the comparisons of Union (a < b ? a : b); and it ORs the bits of x - x,
// which are 0 for a finite x and those of a NaN otherwise.
struct Extremes {
  double min_x, min_y, max_x, max_y;
  bool finite;
};

#if defined(__SSE2__)
struct Pair {
  __m128d v;
  static Pair Load(double const* p) { return {_mm_load_pd(p)}; }
  static Pair Both(double x) { return {_mm_set1_pd(x)}; }
  static Pair Zero() { return {_mm_setzero_pd()}; }
  Pair Min(Pair o) const { return {_mm_min_pd(v, o.v)}; }
  Pair Max(Pair o) const { return {_mm_max_pd(v, o.v)}; }
  Pair Or(Pair o) const { return {_mm_or_pd(v, o.v)}; }
  Pair Minus(Pair o) const { return {_mm_sub_pd(v, o.v)}; }
  void Store(double* p) const { _mm_storeu_pd(p, v); }
};
#else
struct Pair {
  double v[2];
  static Pair Load(double const* p) { return {{p[0], p[1]}}; }
  static Pair Both(double x) { return {{x, x}}; }
  static Pair Zero() { return {{0.0, 0.0}}; }
  Pair Min(Pair o) const {
    return {{v[0] < o.v[0] ? v[0] : o.v[0], v[1] < o.v[1] ? v[1] : o.v[1]}};
  }
  Pair Max(Pair o) const {
    return {{v[0] > o.v[0] ? v[0] : o.v[0], v[1] > o.v[1] ? v[1] : o.v[1]}};
  }
  Pair Or(Pair o) const {
    auto bits = [](double a, double b) {
      return std::bit_cast<double>(std::bit_cast<std::uint64_t>(a) |
                                   std::bit_cast<std::uint64_t>(b));
    };
    return {{bits(v[0], o.v[0]), bits(v[1], o.v[1])}};
  }
  Pair Minus(Pair o) const { return {{v[0] - o.v[0], v[1] - o.v[1]}}; }
  void Store(double* p) const { p[0] = v[0], p[1] = v[1]; }
};
#endif

template <class Sequence>
Extremes Scan(Sequence const& sequence, unsigned int size) {
  constexpr unsigned int kBlock = 256;
  alignas(16) double xs[kBlock + 2], ys[kBlock + 2];
  GeometryCoordinate const first = sequence[0];
  Pair min_x = Pair::Both(first.GetX()), min_y = Pair::Both(first.GetY());
  Pair max_x = min_x, max_y = min_y;
  Pair not_finite = min_x.Minus(min_x).Or(min_y.Minus(min_y));
  for (unsigned int next = 1; next < size;) {
    unsigned int n = 0;
    for (; n < kBlock && next < size; ++n, ++next) {
      GeometryCoordinate const c = sequence[next];
      xs[n] = c.GetX();
      ys[n] = c.GetY();
    }
    if (n % 2) {
      xs[n] = xs[n - 1];  // repeating one changes no extreme
      ys[n] = ys[n - 1];
      ++n;
    }
    for (unsigned int i = 0; i < n; i += 2) {
      Pair const x = Pair::Load(xs + i), y = Pair::Load(ys + i);
      not_finite = not_finite.Or(x.Minus(x)).Or(y.Minus(y));
      min_x = min_x.Min(x);
      min_y = min_y.Min(y);
      max_x = max_x.Max(x);
      max_y = max_y.Max(y);
    }
  }
  double lo_x[2], lo_y[2], hi_x[2], hi_y[2], bad[2];
  min_x.Store(lo_x);
  min_y.Store(lo_y);
  max_x.Store(hi_x);
  max_y.Store(hi_y);
  not_finite.Store(bad);
  bool const finite =
      (std::bit_cast<std::uint64_t>(bad[0]) | std::bit_cast<std::uint64_t>(bad[1])) == 0;
  return {lo_x[0] < lo_x[1] ? lo_x[0] : lo_x[1], lo_y[0] < lo_y[1] ? lo_y[0] : lo_y[1],
          hi_x[0] > hi_x[1] ? hi_x[0] : hi_x[1], hi_y[0] > hi_y[1] ? hi_y[0] : hi_y[1], finite};
}

// The same box as Fold, in one pass. With finite coordinates every point box
// and every union is valid (a sum of finite values may overflow to one
// infinity but never gives NaN), so the fold reduces to minima and maxima;
// those are unique values, so the order of comparison does not matter,
// except between +0.0 and -0.0, where the fold keeps the later one. Any
// NaN, infinity or zero extreme sends the sequence to the fold itself.
template <class Sequence>
RectangularBounds Walk(Sequence const& sequence, unsigned int size) {
  if (size == 0) return RectangularBounds();
  Extremes const e = Scan(sequence, size);
  if (!e.finite || e.min_x == 0 || e.min_y == 0 || e.max_x == 0 || e.max_y == 0) {
    return Fold(sequence, size);
  }
  return RectangularBounds(e.min_x, e.min_y, e.max_x, e.max_y);
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
