#include "ostrel/kernel/winding_order.hpp"

#include <cmath>
#include <limits>

namespace ostrel {
namespace {

// The cosine of an edge's angle with the first axis as (major, minor): the
// cosine itself, or, when it is within rounding of +-1, that sign with the
// second-order term that rounding would lose.
struct Cosine {
  double major;
  double minor;

  bool operator<(Cosine const& o) const {
    return major < o.major || (major == o.major && minor < o.minor);
  }
};

Cosine CosineOf(double dx, double dy) {
  double const dx2 = dx * dx, dy2 = dy * dy;
  double const sum = dx2 + dy2;
  if (sum == dx2) {
    // dy negligible beside dx (or the edge has no length).
    if (dx == 0) return {0.0, 0.0};
    double const sign = dx > 0 ? 1.0 : -1.0;
    return {sign, -dy2 / (2 * dx2) * sign};
  }
  if (sum == dy2) {
    double const r = dx / dy;
    return {r - r * r * r / 2, 0.0};
  }
  return {dx / std::sqrt(sum), 0.0};
}

}  // namespace

WindingOrder DetectWindingOrder(std::function<std::pair<double, double>(unsigned)> point,
                                unsigned count) {
  if (count < 3) return WindingOrder::Ambiguous;
  unsigned k = 0;
  double lowest = std::numeric_limits<double>::infinity();
  for (unsigned i = 0; i < count; ++i) {
    double const second = point(i).second;
    if (second < lowest) {
      lowest = second;
      k = i;
    }
  }
  // The ring is closed, so the last point's successor is the first one's.
  auto const prev = point(k == 0 ? count - 2 : k - 1);
  auto const cur = point(k);
  auto const next = point(k + 1 < count ? k + 1 : 1);

  double const dxp = prev.first - cur.first;
  double const dxn = next.first - cur.first;
  if ((dxp < 0) != (dxn < 0)) {
    return dxn > dxp ? WindingOrder::InteriorLeft : WindingOrder::InteriorRight;
  }
  Cosine const cp = CosineOf(dxp, prev.second - cur.second);
  Cosine const cn = CosineOf(dxn, next.second - cur.second);
  if (cp < cn) return WindingOrder::InteriorLeft;
  if (cn < cp) return WindingOrder::InteriorRight;
  return WindingOrder::Ambiguous;
}

}  // namespace ostrel
