#include "ostrel/kernel/ring_cleaning.hpp"

#include <cmath>
#include <cstddef>

#include "ostrel/core/constants.hpp"
#include "ostrel/core/longitude.hpp"
#include "ostrel/kernel/vector.hpp"

namespace ostrel {
namespace {

using detail::kHalfPi;
using detail::kPi;
using detail::kTwoPi;

double Lat(GeographyCoordinate const& c) { return c.GetLatitude().Get().Get(); }
double Lon(GeographyCoordinate const& c) { return c.GetLongitude().Get().Get(); }

// An angle difference brought into (-pi, pi].
double Wrap(double d) {
  if (d > kPi) {
    d -= kTwoPi;
  } else if (d <= -kPi) {
    d += kTwoPi;
  }
  if (d > kPi || d <= -kPi) {
    // Only for directions given far outside one turn (NaN and infinities
    // stay NaN).
    d = std::remainder(d, kTwoPi);
    if (d <= -kPi) d += kTwoPi;
  }
  return d;
}

// A new point of a repaired ring: range-checked, longitude normalized,
// snapped to the grid.
GeographyCoordinate MakePoint(double latitude, double longitude) {
  return GeographyCoordinate(Latitude(Radians(latitude)), Longitude(longitude).Normalize());
}

template <class Ring>
class Cleaner {
 public:
  Cleaner(Ring& ring, std::function<Radians(unsigned)> const& direction) : ring_(ring) {
    std::size_t const n = ring_.size();
    if (n > 1) {
      unsnapped_.reserve(n - 1);
      for (unsigned k = 0; k + 1 < n; ++k) unsnapped_.push_back(direction(k).Get());
    }
  }

  bool Run() {
    bool changed = MergeNearDuplicates();
    changed = RemoveSpikes() || changed;
    changed = RepairCollapsed() || changed;
    return changed;
  }

 private:
  std::size_t Size() const { return ring_.size(); }

  // The current direction, in the (longitude, latitude) plane, of the edge
  // ending at vertex k (from the last vertex when k is 0).
  double Current(std::size_t k) const {
    GeographyCoordinate const& from = ring_[k == 0 ? Size() - 1 : k - 1];
    GeographyCoordinate const& to = ring_[k];
    return std::atan2(Lat(to) - Lat(from), Lon(to) - Lon(from));
  }

  // Snapping reversed the turn at v: the unsnapped turn is below 0.6 pi and
  // the snapped one has the opposite sign.
  bool Flipped(std::size_t v) const {
    std::size_t const n = Size();
    std::size_t const p = v == 0 ? n - 2 : v - 1;
    std::size_t const e = v == n - 1 ? 0 : v;
    double const d1 = Wrap(unsnapped_[e] - unsnapped_[p]);
    if (!(d1 * d1 < 3.553057584392169)) return false;
    double const d2 = Wrap(Current(v == n - 1 ? 1 : v + 1) - Current(v));
    return d1 * d2 < 0;
  }

  bool MergeNearDuplicates() {
    std::size_t const n = Size();
    if (n < 4) return false;
    double const t = 30 * GeographyCoordinate::GetMaxTruncationError().Get();
    bool changed = false;
    auto assign = [&changed](GeographyCoordinate& to, GeographyCoordinate const& from) {
      if (to != from) changed = true;
      to = from;
    };
    for (std::size_t i = 1; i < n; ++i) {
      double const dlon = Lon(ring_[i]) - Lon(ring_[i - 1]);
      double const dlat = Lat(ring_[i]) - Lat(ring_[i - 1]);
      if (!(dlon * dlon + dlat * dlat <= t * t)) continue;
      if (Flipped(i - 1)) {
        GeographyCoordinate const value = ring_[i - 1];
        assign(ring_[i], value);
        if (i == n - 1) assign(ring_[0], value);
      } else if (Flipped(i)) {
        GeographyCoordinate const value = ring_[i];
        assign(ring_[i - 1], value);
        if (i == 1) assign(ring_[n - 1], value);
      }
    }
    return changed;
  }

  // The path a -> b -> c doubles back along itself within e of the line.
  static bool TurnsBack(GeographyCoordinate const& a, GeographyCoordinate const& b,
                        GeographyCoordinate const& c, double e) {
    if (a == b || b == c) return false;
    Vector2D const pa(Lon(a), Lat(a)), pb(Lon(b), Lat(b)), pc(Lon(c), Lat(c));
    Vector2D const ab = pb - pa;
    Vector2D const u = ab.UnitLength();
    Vector2D const ac = pc - pa;
    double const t = ac.Dot(u);
    Vector2D const off = ac - u * t;
    if (off.LengthSquared() > e * e) return false;
    if (t <= 0) return true;
    return ab.LengthSquared() >= t * t;
  }

  bool RemoveSpikes() {
    double const e = GeographyCoordinate::GetMaxTruncationError().Get();
    bool changed_any = false;
    for (;;) {
      bool changed = false;
      if (Size() >= 2) {
        std::size_t kept = 1;
        for (std::size_t i = 1; i < Size(); ++i) {
          if (ring_[i] != ring_[kept - 1]) ring_[kept++] = ring_[i];
        }
        if (kept != Size()) {
          ring_.resize(kept);
          changed = true;
        }
      }
      std::size_t const n = Size();
      if (n >= 3) {
        for (std::size_t i = 1; i < n; ++i) {
          GeographyCoordinate const& prev = ring_[i - 1];
          GeographyCoordinate const& cur = ring_[i];
          GeographyCoordinate const& next = ring_[i == n - 1 ? 1 : i + 1];
          if (TurnsBack(prev, cur, next, e) || TurnsBack(next, cur, prev, e)) {
            ring_[i] = ring_[i - 1];
            changed = true;
          }
        }
      }
      if (!changed) return changed_any;
      changed_any = true;
    }
  }

  bool RepairCollapsed() {
    if (ring_.empty() || Size() >= 4) return false;
    double const t = 2 * GeographyCoordinate::GetMaxTruncationError().Get();
    if (Size() > 1 && ring_.front() == ring_.back()) ring_.pop_back();
    if (Size() == 3) {
      ring_.push_back(ring_.front());
      return true;
    }
    GeographyCoordinate const p0 = ring_[0];
    if (Size() == 2 && ring_[0] != ring_[1]) {
      GeographyCoordinate const p1 = ring_[1];
      GeographyCoordinate b;
      if (Lat(p0) == kHalfPi) {
        b = MakePoint(kHalfPi - t, Lon(p1) + t);
      } else if (Lat(p0) == -kHalfPi) {
        b = MakePoint(-kHalfPi + t, Lon(p1) - t);
      } else {
        // Two steps to the left of the direction p0 -> p1.
        Vector2D const left = Vector2D(-(Lat(p1) - Lat(p0)), Lon(p1) - Lon(p0)).UnitLength() * t;
        b = MakePoint(Lat(p0) + left.y, Lon(p0) + left.x);
      }
      ring_.push_back(b);
      ring_.push_back(p0);
      return true;
    }
    // One point left (or two equal ones): p, a, b, p.
    ring_.resize(1);
    GeographyCoordinate a, b;
    if (Lat(p0) == kHalfPi) {
      a = MakePoint(kHalfPi - t, 0.0);
      b = MakePoint(kHalfPi - t, t);
    } else {
      a = MakePoint(Lat(p0), Lon(p0) + t);
      b = MakePoint(Lat(p0) + t, Lon(p0));
    }
    ring_.push_back(a);
    ring_.push_back(b);
    ring_.push_back(p0);
    return true;
  }

  Ring& ring_;
  ResourceVector<double> unsnapped_;
};

}  // namespace

bool CleanRingAndRemoveIntroducedSelfIntersections(std::vector<GeographyCoordinate>& ring,
                                                   std::function<Radians(unsigned)> direction) {
  return Cleaner<std::vector<GeographyCoordinate>>(ring, direction).Run();
}

bool CleanRingAndRemoveIntroducedSelfIntersections(ResourceVector<GeographyCoordinate>& ring,
                                                   std::function<Radians(unsigned)> direction) {
  return Cleaner<ResourceVector<GeographyCoordinate>>(ring, direction).Run();
}

}  // namespace ostrel
