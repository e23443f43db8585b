#include "ostrel/kernel/pole_containment.hpp"

#include <cmath>
#include <cstdint>
#include <stdexcept>

#include "kernel/arc_vertex.hpp"
#include "ostrel/core/constants.hpp"
#include "ostrel/kernel/azimuth.hpp"

namespace ostrel {
namespace {

using detail::kHalfPi;
using detail::kPi;
using detail::kTwoPi;

// +1 when the arc from longitude l1 to l2 crosses the antimeridian going
// east, -1 going west, else 0. A longitude of exactly +pi counts as lying
// east of the antimeridian.
int Crossing(double l1, double l2) {
  if (l1 == l2) return 0;
  if (l1 == kPi) return l2 <= 0 ? 1 : 0;
  if (l2 == kPi) return l1 <= 0 ? -1 : 0;
  double const d = l2 - l1;
  if (d > kPi) return -1;
  if (d <= -kPi) return 1;
  return 0;
}

double Longitude0(GeographyCoordinate const& c) { return c.GetLongitude().Get().Get(); }
double Latitude0(GeographyCoordinate const& c) { return c.GetLatitude().Get().Get(); }

double Modulo2Pi(double x) {
  double r = std::fmod(x, kTwoPi);
  return r < 0 ? r + kTwoPi : r;
}

// Whether the interior of the ring lies on the polar side (north or south)
// of the ring's extreme point on that side.
template <class Ring>
bool InteriorOnPolarSide(Ring const& ring, unsigned int n, bool north) {
  double const side = north ? 1.0 : -1.0;
  double best = -kHalfPi - 1;
  bool best_is_arc = false;
  unsigned int best_index = 0;  // the vertex, or the arc's end
  double best_arc_step = 0;     // the arc's longitude step, for its direction
  GeographyCoordinate reference;
  for (unsigned int k = 0; k < n; ++k) {
    GeographyCoordinate const c = ring[k];
    if (k > 0 && c == reference) continue;
    if (k > 0) {
      auto const [has, vertex] = detail::ArcVertex(reference, c);
      if (has && side * Latitude0(vertex) > best) {
        best = side * Latitude0(vertex);
        best_is_arc = true;
        best_index = k;
        best_arc_step = Radians(Longitude0(c) - Longitude0(reference)).Normalize().Get();
        // An arc over a pole has the pole on the ring.
        if (best == kHalfPi) return false;
      }
    }
    if (c.IsValid() && side * Latitude0(c) > best) {
      best = side * Latitude0(c);
      best_is_arc = false;
      best_index = k;
    }
    reference = c;
  }
  if (best < -kHalfPi) return false;
  // At an arc's vertex the arc runs along the parallel: the interior lies on
  // the left, north of an eastward arc.
  if (best_is_arc) return north ? best_arc_step > 0 : best_arc_step < 0;
  // A ring through the pole has it on its boundary.
  if (best == kHalfPi) return false;

  // At a vertex: the interior is the wedge swept counter-clockwise (towards
  // smaller azimuths) from the leaving arc to the arriving one; the polar
  // direction (azimuth 0, or pi) lies in it when it comes first.
  GeographyCoordinate const at = ring[best_index];
  GeographyCoordinate before, after;
  bool found_before = false, found_after = false;
  for (unsigned int step = 1; step < n && !found_before; ++step) {
    before = ring[static_cast<unsigned int>((std::uint64_t{best_index} + n - step) % n)];
    found_before = before != at;
  }
  for (unsigned int step = 1; step < n && !found_after; ++step) {
    after = ring[static_cast<unsigned int>((std::uint64_t{best_index} + step) % n)];
    found_after = after != at;
  }
  if (!found_before || !found_after) return false;
  double const leaving = Azimuth::OfArc(at, after).Get();
  double const back = Azimuth::OfArc(at, before).Get();
  double const polar = north ? 0.0 : kPi;
  return Modulo2Pi(leaving - polar) < Modulo2Pi(leaving - back);
}

template <class Ring>
std::pair<bool, bool> Containment(Ring const& ring, unsigned int n) {
  if (n == 0) return {false, false};
  std::int64_t winding = 0;
  GeographyCoordinate previous = ring[0];
  for (unsigned int k = 1; k < n; ++k) {
    GeographyCoordinate const current = ring[k];
    if (current == previous) continue;
    winding += Crossing(Longitude0(previous), Longitude0(current));
    previous = current;
  }
  if (winding == 1) return {true, false};
  if (winding == -1) return {false, true};
  if (winding != 0) {
    throw std::invalid_argument(
        "ostrel::GetNorthAndSouthPoleContainment: Unhandled polygon winding");
  }
  bool const both = InteriorOnPolarSide(ring, n, true) && InteriorOnPolarSide(ring, n, false);
  return {both, both};
}

}  // namespace

std::pair<bool, bool> GetNorthAndSouthPoleContainment(std::span<GeographyCoordinate const> ring) {
  return Containment(ring, static_cast<unsigned int>(ring.size()));
}

std::pair<bool, bool> GetNorthAndSouthPoleContainment(Shape<GeographyCoordinate> const& shape,
                                                      unsigned int poly, unsigned int ring) {
  auto const view = shape.GetPolys()[poly][ring];
  return Containment(view, view.size());
}

std::pair<bool, bool> GetCachedNorthAndSouthPoleContainment(Shape<GeographyCoordinate> const& shape,
                                                            unsigned int poly, unsigned int ring) {
  std::shared_ptr<PoleContainmentCache> const cache =
      ServiceRegistry::Instance().Get<PoleContainmentCache>();
  unsigned long long const key = shape.HashForRingOfPoly(poly, ring);
  std::pair<bool, bool> containment;
  if (cache->Lookup(key, containment)) return containment;
  containment = GetNorthAndSouthPoleContainment(shape, poly, ring);
  cache->Store(key, containment);
  return containment;
}

PoleContainmentCache::PoleContainmentCache(unsigned int maximum_size)
    : Cache<std::pair<bool, bool>>(maximum_size) {}
PoleContainmentCache::~PoleContainmentCache() = default;

}  // namespace ostrel
