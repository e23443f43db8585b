#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"

#include <cmath>
#include <stdexcept>

#include "kernel/arc_vertex.hpp"
#include "ostrel/core/constants.hpp"
#include "ostrel/kernel/pole_containment.hpp"

namespace ostrel {
namespace {

using detail::kHalfPi;
using detail::kPi;
using detail::kTwoPi;

// Longitude::IsBetween for longitudes already in [-pi, pi], where its
// normalizations are the identity.
bool Between(double x, double lo, double hi) {
  if (lo > hi) {
    lo = lo - kTwoPi;
    if (-kTwoPi > lo - x) x = x - kTwoPi;
  }
  return x > lo && hi > x;
}

// The edges of bounds as plain numbers, for the walk over a line: valid
// boxes there are regular, with longitudes in [-pi, pi]. All their numbers
// are then grid values that the quantizing GeographyCoordinate constructor
// returns unchanged, so the walk can skip it and convert back exactly.
struct Box {
  double south, west, north, east;
  bool valid;
};

constexpr Box kInvalidBox{detail::kNaN, detail::kNaN, detail::kNaN, detail::kNaN, false};

SphericalTrapezoidBounds BoundsOf(Box const& b) {
  if (!b.valid) return SphericalTrapezoidBounds();
  return SphericalTrapezoidBounds(GeographyCoordinate(Latitude(b.south), Longitude(b.west)),
                                  GeographyCoordinate(Latitude(b.north), Longitude(b.east)));
}

// The two-corner constructor's substitutions for the corners (south, west)
// and (north, east): a west edge of +pi becomes -pi, an east edge of -pi
// becomes +pi, each when the two edges differ.
Box Substituted(double south, double west, double north, double east) {
  Box box{south, west, north, east, true};
  if (west != east && west == kPi) box.west = -kPi;
  if (east != west && east == -kPi) box.east = kPi;
  return box;
}

// SphericalTrapezoidBounds::Union, step for step, for regular boxes: there
// CoversAllLongitudes is west == -pi && east == pi, since no grid value lies
// below -pi or above pi, and the final quantization is the identity.
Box Union(Box const& a, Box const& b) {
  if (!a.valid) return b;
  if (!b.valid) return a;
  double const south = a.south < b.south ? a.south : b.south;
  double const north = a.north > b.north ? a.north : b.north;
  if ((a.west == -kPi && a.east == kPi) || (b.west == -kPi && b.east == kPi)) {
    return Substituted(south, -kPi, north, kPi);
  }
  double const aw = a.west, ae = a.east, bw = b.west, be = b.east;
  auto in_a = [&](double x) { return x == aw || x == ae || Between(x, aw, ae); };
  auto in_b = [&](double x) { return x == bw || x == be || Between(x, bw, be); };
  double west, east;
  if (in_a(bw) && in_a(be)) {
    bool const circle = aw != bw && ae != be && in_b(ae) && in_b(aw);
    west = circle ? -kPi : aw;
    east = circle ? kPi : ae;
  } else if (in_b(aw)) {
    west = bw;
    east = in_b(ae) ? be : ae;
  } else if (in_b(ae)) {
    west = aw;
    east = be;
  } else {
    double gap1, gap2;
    if (bw > ae) {
      gap1 = bw - ae;
      gap2 = kTwoPi + aw - be;
    } else {
      gap1 = kTwoPi + bw - ae;
      gap2 = aw - be;
    }
    west = gap1 > gap2 ? bw : aw;
    east = gap1 > gap2 ? ae : be;
  }
  return Substituted(south, west, north, east);
}

Box PointBox(GeographyCoordinate const& p) {
  if (!p.IsValid()) return kInvalidBox;
  double const lat = p.GetLatitude().Get().Get(), lon = p.GetLongitude().Get().Get();
  return {lat, lon, lat, lon, true};
}

bool Regular(GeographyCoordinate const& p) {
  return !p.IsValid() || std::fabs(p.GetLongitude().Get().Get()) <= kPi;
}

// BoundsOfArc of the arc from a to b, both regular.
Box ArcBox(GeographyCoordinate const& a, GeographyCoordinate const& b) {
  if (!a.IsValid()) return PointBox(b);
  if (!b.IsValid()) return PointBox(a);
  double const phi1 = a.GetLatitude().Get().Get(), lambda1 = a.GetLongitude().Get().Get();
  double const phi2 = b.GetLatitude().Get().Get(), lambda2 = b.GetLongitude().Get().Get();
  // The Union of the two point boxes: the shorter way between the
  // longitudes, eastward from the start on a tie.
  double const south = phi1 < phi2 ? phi1 : phi2;
  double const north = phi1 < phi2 ? phi2 : phi1;
  Box box;
  if (lambda1 == lambda2) {
    box = Box{south, lambda1, north, lambda1, true};
  } else {
    double gap1, gap2;
    if (lambda2 > lambda1) {
      gap1 = lambda2 - lambda1;
      gap2 = kTwoPi + lambda1 - lambda2;
    } else {
      gap1 = kTwoPi + lambda2 - lambda1;
      gap2 = lambda1 - lambda2;
    }
    box = gap1 > gap2 ? Substituted(south, lambda2, north, lambda1)
                      : Substituted(south, lambda1, north, lambda2);
  }
  if (detail::ArcHasNoVertex(phi1, lambda1, phi2, lambda2)) return box;
  auto const [has, vertex] = EllipticArc(a, b).GetExtremalPointIfHas();
  return has ? Union(box, PointBox(vertex)) : box;
}

// The Union, arc by arc, of the arcs of a sequence of coordinates. A
// coordinate with an extended longitude (from a raw packed word) sends the
// rest of the walk through the class's own operations.
template <class Sequence>
SphericalTrapezoidBounds Walk(Sequence const& sequence, unsigned int size,
                              SphericalTrapezoidBounds const& start = {}) {
  if (size < 2) return start;
  Box running = kInvalidBox;
  GeographyCoordinate previous = sequence[0];
  for (unsigned int k = 1; k < size; ++k) {
    GeographyCoordinate const current = sequence[k];
    if (!Regular(previous) || !Regular(current)) {
      SphericalTrapezoidBounds exact = BoundsOf(running);
      for (;;) {
        exact =
            exact.Union(SphericalTrapezoidBounds::BoundsOfArc(EllipticArc(previous, sequence[k])));
        previous = sequence[k];
        if (++k == size) return start.Union(exact);
      }
    }
    running = Union(running, ArcBox(previous, current));
    previous = current;
  }
  return start.Union(BoundsOf(running));
}

}  // namespace

GeographyBounds::~GeographyBounds() = default;
SphericalTrapezoidBounds::~SphericalTrapezoidBounds() = default;

SphericalTrapezoidBounds::SphericalTrapezoidBounds(GeographyCoordinate const& a,
                                                   GeographyCoordinate const& b) {
  double const west = a.GetLongitude().Get().Get();
  double const east = b.GetLongitude().Get().Get();
  if (a.IsValid()) {
    south_west_ =
        west != east && west == kPi ? GeographyCoordinate(a.GetLatitude(), Longitude(-kPi)) : a;
  }
  if (b.IsValid()) {
    north_east_ =
        east != west && east == -kPi ? GeographyCoordinate(b.GetLatitude(), Longitude(kPi)) : b;
  }
  valid_ = south_west_.IsValid() && north_east_.IsValid();
  if (south_west_.GetLatitude().Get().Get() > north_east_.GetLatitude().Get().Get()) {
    throw std::domain_error(
        "ostrel::SphericalTrapezoidBounds::Southern latitude should not be more northern than "
        "northern latitude in bounds construction.");
  }
}

bool SphericalTrapezoidBounds::Contains(GeographyCoordinate const& p) const {
  double const lat = p.GetLatitude().Get().Get(), lon = p.GetLongitude().Get().Get();
  double const south = south_west_.GetLatitude().Get().Get();
  double const north = north_east_.GetLatitude().Get().Get();
  double const west = south_west_.GetLongitude().Get().Get();
  double const east = north_east_.GetLongitude().Get().Get();
  if (!(south <= lat && lat <= north)) return false;
  if (west <= east) return west <= lon && lon <= east;
  if (west > east) return (west <= lon && lon <= kPi) || (-kPi <= lon && lon <= east);
  return false;
}

namespace {

bool In(double x, double lo, double hi) { return x >= lo && hi >= x; }
bool IntervalsOverlap(double a0, double a1, double b0, double b1) {
  return In(a0, b0, b1) || In(a1, b0, b1) || In(b0, a0, a1) || In(b1, a0, a1);
}

}  // namespace

bool SphericalTrapezoidBounds::Overlaps(GeographyBounds const& other) const {
  auto const* b = dynamic_cast<SphericalTrapezoidBounds const*>(&other);
  if (b == nullptr) {
    throw std::invalid_argument(
        "ostrel::SphericalTrapezoidBounds::Overlaps: operating on two different bounds types");
  }
  if (!IntervalsOverlap(
          south_west_.GetLatitude().Get().Get(), north_east_.GetLatitude().Get().Get(),
          b->south_west_.GetLatitude().Get().Get(), b->north_east_.GetLatitude().Get().Get())) {
    return false;
  }
  double const aw = south_west_.GetLongitude().Get().Get();
  double const ae = north_east_.GetLongitude().Get().Get();
  double const bw = b->south_west_.GetLongitude().Get().Get();
  double const be = b->north_east_.GetLongitude().Get().Get();
  bool const a_wraps = aw > ae, b_wraps = bw > be;
  if (!a_wraps && !b_wraps) return IntervalsOverlap(aw, ae, bw, be);
  if (a_wraps && b_wraps) return true;
  if (b_wraps) return IntervalsOverlap(aw, ae, bw, kPi) || IntervalsOverlap(aw, ae, -kPi, be);
  return IntervalsOverlap(-kPi, ae, bw, be) || IntervalsOverlap(aw, kPi, bw, be);
}

SphericalTrapezoidBounds SphericalTrapezoidBounds::Union(SphericalTrapezoidBounds const& b) const {
  SphericalTrapezoidBounds const& a = *this;
  if (!a.valid_) return b;
  if (!b.valid_) return a;
  double const a_south = a.south_west_.GetLatitude().Get().Get();
  double const b_south = b.south_west_.GetLatitude().Get().Get();
  double const a_north = a.north_east_.GetLatitude().Get().Get();
  double const b_north = b.north_east_.GetLatitude().Get().Get();
  double const south = a_south < b_south ? a_south : b_south;
  double const north = a_north > b_north ? a_north : b_north;
  double west, east;
  if (a.CoversAllLongitudes() || b.CoversAllLongitudes()) {
    west = -kPi;
    east = kPi;
  } else {
    Longitude const aw = a.GetWestLongitude(), ae = a.GetEastLongitude();
    Longitude const bw = b.GetWestLongitude(), be = b.GetEastLongitude();
    auto same = [](Longitude const& x, Longitude const& y) {
      return x.Get().Get() == y.Get().Get();
    };
    auto in_a = [&](Longitude const& x) {
      return same(x, aw) || same(x, ae) || x.IsBetween(aw, ae);
    };
    auto in_b = [&](Longitude const& x) {
      return same(x, bw) || same(x, be) || x.IsBetween(bw, be);
    };
    if (in_a(bw) && in_a(be)) {
      bool const circle = !same(aw, bw) && !same(ae, be) && in_b(ae) && in_b(aw);
      west = circle ? -kPi : aw.Get().Get();
      east = circle ? kPi : ae.Get().Get();
    } else if (in_b(aw)) {
      west = bw.Get().Get();
      east = in_b(ae) ? be.Get().Get() : ae.Get().Get();
    } else if (in_b(ae)) {
      west = aw.Get().Get();
      east = be.Get().Get();
    } else {
      double const w1 = aw.Get().Get(), e1 = ae.Get().Get();
      double const w2 = bw.Get().Get(), e2 = be.Get().Get();
      double gap1, gap2;
      if (w2 > e1) {
        gap1 = w2 - e1;
        gap2 = kTwoPi + w1 - e2;
      } else {
        gap1 = kTwoPi + w2 - e1;
        gap2 = w1 - e2;
      }
      west = gap1 > gap2 ? w2 : w1;
      east = gap1 > gap2 ? e1 : e2;
    }
  }
  return SphericalTrapezoidBounds(GeographyCoordinate(Latitude(Radians(south)), Longitude(west)),
                                  GeographyCoordinate(Latitude(Radians(north)), Longitude(east)));
}

GeographyCoordinate SphericalTrapezoidBounds::GetSouthWest() const {
  return GeographyCoordinate(Latitude(Radians(south_west_.GetLatitude().Get().Get())),
                             south_west_.GetLongitude());
}

GeographyCoordinate SphericalTrapezoidBounds::GetNorthEast() const {
  return GeographyCoordinate(Latitude(Radians(north_east_.GetLatitude().Get().Get())),
                             north_east_.GetLongitude());
}

bool SphericalTrapezoidBounds::CoversAllLongitudes() const {
  Latitude const south = south_west_.GetLatitude(), north = north_east_.GetLatitude();
  double const west = GeographyCoordinate(south, south_west_.GetLongitude()).GetLongitude().Get();
  double const minus_pi = GeographyCoordinate(south, Longitude(-kPi)).GetLongitude().Get();
  double const east = GeographyCoordinate(north, north_east_.GetLongitude()).GetLongitude().Get();
  double const plus_pi = GeographyCoordinate(north, Longitude(kPi)).GetLongitude().Get();
  return west <= minus_pi && east >= plus_pi;
}

SphericalTrapezoidBounds SphericalTrapezoidBounds::BoundsOfArc(EllipticArc const& arc) {
  SphericalTrapezoidBounds result =
      SphericalTrapezoidBounds(arc.GetStart()).Union(SphericalTrapezoidBounds(arc.GetEnd()));
  auto const [has, vertex] = arc.GetExtremalPointIfHas();
  if (has) result = result.Union(SphericalTrapezoidBounds(vertex));
  return result;
}

SphericalTrapezoidBounds SphericalTrapezoidBounds::BoundsOfLine(
    Shape<GeographyCoordinate> const& shape, unsigned int line) {
  auto const view = shape.GetLines()[line];
  return Walk(view, view.size());
}

SphericalTrapezoidBounds SphericalTrapezoidBounds::BoundsOfRing(
    Shape<GeographyCoordinate> const& shape, unsigned int poly, unsigned int ring) {
  auto const view = shape.GetPolys()[poly][ring];
  return Walk(view, view.size());
}

SphericalTrapezoidBounds SphericalTrapezoidBounds::BoundsOfCoordinates(
    std::span<GeographyCoordinate const> coordinates) {
  return Walk(coordinates, static_cast<unsigned int>(coordinates.size()));
}

SphericalTrapezoidBounds SphericalTrapezoidBounds::BoundsOfPoly(
    Shape<GeographyCoordinate> const& shape, unsigned int poly) {
  auto const rings = shape.GetPolys()[poly];
  if (rings.empty()) return SphericalTrapezoidBounds();
  auto const [north, south] = GetCachedNorthAndSouthPoleContainment(shape, poly, 0);
  if (north && south) {
    return SphericalTrapezoidBounds(GeographyCoordinate(Latitude(-kHalfPi), Longitude(-kPi)),
                                    GeographyCoordinate(Latitude(kHalfPi), Longitude(kPi)));
  }
  SphericalTrapezoidBounds start;
  if (north || south) {
    double const pole = north ? kHalfPi : -kHalfPi;
    start = SphericalTrapezoidBounds(GeographyCoordinate(Latitude(pole), Longitude(-kPi)),
                                     GeographyCoordinate(Latitude(pole), Longitude(kPi)));
  }
  auto const exterior = rings[0];
  return Walk(exterior, exterior.size(), start);
}

namespace {

template <class Compute>
SphericalTrapezoidBounds Cached(unsigned long long key, Compute compute) {
  std::shared_ptr<SphericalTrapezoidBoundsCache> const cache =
      ServiceRegistry::Instance().Get<SphericalTrapezoidBoundsCache>();
  SphericalTrapezoidBounds bounds;
  if (cache->Lookup(key, bounds)) return bounds;
  bounds = compute();
  cache->Store(key, bounds);
  return bounds;
}

}  // namespace

SphericalTrapezoidBounds SphericalTrapezoidBounds::CachedBoundsOfLine(
    Shape<GeographyCoordinate> const& shape, unsigned int line) {
  return Cached(shape.HashForLine(line), [&] { return BoundsOfLine(shape, line); });
}

SphericalTrapezoidBounds SphericalTrapezoidBounds::CachedBoundsOfPoly(
    Shape<GeographyCoordinate> const& shape, unsigned int poly) {
  return Cached(shape.HashForPoly(poly), [&] { return BoundsOfPoly(shape, poly); });
}

SphericalTrapezoidBoundsCache::SphericalTrapezoidBoundsCache(unsigned int maximum_size)
    : Cache<SphericalTrapezoidBounds>(maximum_size) {}
SphericalTrapezoidBoundsCache::~SphericalTrapezoidBoundsCache() = default;

}  // namespace ostrel
