#include "ostrel/kernel/ring_cleaning.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <vector>

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

  // Pass 2 gives the ring that repeating "drop consecutive duplicates, then
  // sweep vertices 1 .. n-1 replacing each one where the path turns back by
  // its (current) predecessor" until nothing changes would give; a spike of
  // k vertices needs k such rounds. Rounds after the first only revisit
  // what the previous one touched: a vertex is checked again only when its
  // predecessor or successor changed (by a removal, or by a replacement
  // earlier in the same sweep; the last vertex, whose successor is vertex 1,
  // also when vertex 1 changed), since the check of the same three values
  // gives the same answer; and only replaced vertices (and the successors
  // of dropped ones) can become duplicates. The ring is kept as a linked
  // list of its positions and each round visits its work in position order
  // (new work always lies ahead), so the result is the same and the time
  // O(n + k log n) instead of O(n k).
  class Queue {
   public:
    explicit Queue(std::size_t n) : queued_(n, 0) {}
    void Push(std::size_t x) {
      if (queued_[x]) return;
      queued_[x] = 1;
      heap_.push_back(x);
      std::push_heap(heap_.begin(), heap_.end(), std::greater<>());
    }
    bool Empty() const { return heap_.empty(); }
    std::size_t Pop() {
      std::pop_heap(heap_.begin(), heap_.end(), std::greater<>());
      std::size_t const x = heap_.back();
      heap_.pop_back();
      queued_[x] = 0;
      return x;
    }
    void Clear() {
      while (!Empty()) Pop();
    }

   private:
    ResourceVector<std::size_t> heap_;
    ResourceVector<char> queued_;
  };

  bool RemoveSpikes() {
    std::size_t const count = Size();
    if (count < 2) return false;
    constexpr std::size_t kNone = ~std::size_t{0};
    double const e = GeographyCoordinate::GetMaxTruncationError().Get();
    ResourceVector<std::size_t> before(count), after(count);
    for (std::size_t i = 0; i < count; ++i) {
      before[i] = i == 0 ? kNone : i - 1;
      after[i] = i + 1 == count ? kNone : i + 1;
    }
    ResourceVector<char> alive(count, 1);
    std::size_t size = count, last = count - 1;
    Queue work(count), candidates(count);

    // Position 0 is never dropped nor replaced.
    auto unlink = [&](std::size_t x) {
      std::size_t const p = before[x], n = after[x];
      after[p] = n;
      if (n != kNone) {
        before[n] = p;
        work.Push(n);
        candidates.Push(n);
      } else {
        last = p;
      }
      alive[x] = 0;
      --size;
      if (p != 0) work.Push(p);
      if (p == 0 && last != 0) work.Push(last);  // vertex 1 changed: the last one's successor
    };
    // Drops candidates equal to their predecessor, in position order.
    auto dedupe = [&] {
      bool changed = false;
      while (!candidates.Empty()) {
        std::size_t const x = candidates.Pop();
        if (x == 0 || !alive[x] || ring_[x] != ring_[before[x]]) continue;
        unlink(x);
        changed = true;
      }
      return changed;
    };
    auto check = [&](std::size_t x) {
      GeographyCoordinate const& prev = ring_[before[x]];
      GeographyCoordinate const& cur = ring_[x];
      GeographyCoordinate const& next = ring_[x == last ? after[0] : after[x]];
      if (!TurnsBack(prev, cur, next, e) && !TurnsBack(next, cur, prev, e)) return false;
      ring_[x] = ring_[before[x]];
      candidates.Push(x);
      return true;
    };

    // The first round sees everything.
    for (std::size_t x = 1; x < count; ++x) candidates.Push(x);
    bool changed = dedupe();
    work.Clear();
    if (size >= 3) {
      for (std::size_t x = after[0]; x != kNone; x = after[x]) changed = check(x) || changed;
    }
    bool const any = changed;
    while (changed) {
      changed = dedupe();
      if (size < 3) {
        work.Clear();
        continue;
      }
      while (!work.Empty()) {
        std::size_t const x = work.Pop();
        if (x == 0 || !alive[x] || !check(x)) continue;
        changed = true;
        if (after[x] != kNone) work.Push(after[x]);
        if (before[x] == 0 && last != x) work.Push(last);
      }
    }
    std::size_t kept = 0;
    for (std::size_t x = 0; x != kNone; x = after[x]) ring_[kept++] = ring_[x];
    ring_.resize(kept);
    return any;
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
