// Douglas-Peucker over an explicit stack of index pairs.
//
// The points are first copied into two plain arrays (x and y), so the
// farthest-point search, where nearly all the time goes, reads contiguous
// doubles with no virtual call. On x86-64 processors with AVX2 that search
// runs four points at a time; it performs exactly the same IEEE operations
// in the same order per point as the scalar loop (no fused multiply-add, no
// reassociation), so the kept mask is bit-for-bit the same on every path.
#include "ostrel/operations/generalizer_douglas_peucker.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define OSTREL_GENERALIZER_AVX2 1
#endif

namespace ostrel {

namespace {

// Runs longer than this are returned whole.
constexpr std::size_t kMaxPoints = 1000000000;

// The segment from a to b: its start, its end and its unit direction.
struct Segment {
  double ax, ay, bx, by, dx, dy;

  Segment(double const* xs, double const* ys, std::uint32_t a, std::uint32_t b)
      : ax(xs[a]), ay(ys[a]), bx(xs[b]), by(ys[b]), dx(bx - ax), dy(by - ay) {
    double const length = std::sqrt(dx * dx + dy * dy);
    if (length == 0) {
      dx = 0;
      dy = 0;
    } else {
      dx /= length;
      dy /= length;
    }
  }

  // Squared distance of (x, y) to the segment: to a when the point lies
  // before a along d, to b when it lies beyond b, else to the line through b.
  double SquaredDistance(double x, double y) const {
    double const vx = x - ax;
    double const vy = y - ay;
    if (dx * vx + dy * vy < 0) return vx * vx + vy * vy;
    double const wx = x - bx;
    double const wy = y - by;
    double const along = dx * wx + dy * wy;
    double const w2 = wx * wx + wy * wy;
    if (-along < 0) return w2;
    return std::fabs(w2 - along * along);
  }
};

// The farthest point strictly between first and last - 1 inclusive, against
// the running best: a later point wins only when strictly farther, so NaN
// distances never win.
void ScanScalar(Segment const& s, double const* xs, double const* ys, std::uint32_t first,
                std::uint32_t end, double& best, std::uint32_t& index) {
  for (std::uint32_t i = first; i < end; ++i) {
    double const distance = s.SquaredDistance(xs[i], ys[i]);
    if (distance > best) {
      best = distance;
      index = i;
    }
  }
}

#ifdef OSTREL_GENERALIZER_AVX2

// Four lanes, each keeping its own best distance and the first index that
// reached it; the lanes are merged (largest distance, then lowest index) and
// the tail is finished by the scalar loop, which gives the sequential result.
__attribute__((target("avx2"))) void ScanAvx2(Segment const& s, double const* xs, double const* ys,
                                              std::uint32_t first, std::uint32_t end, double& best,
                                              std::uint32_t& index) {
  __m256d const ax = _mm256_set1_pd(s.ax);
  __m256d const ay = _mm256_set1_pd(s.ay);
  __m256d const bx = _mm256_set1_pd(s.bx);
  __m256d const by = _mm256_set1_pd(s.by);
  __m256d const dx = _mm256_set1_pd(s.dx);
  __m256d const dy = _mm256_set1_pd(s.dy);
  __m256d const zero = _mm256_setzero_pd();
  __m256d const magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFLL));
  __m256d const four = _mm256_set1_pd(4.0);
  __m256d lane_best = _mm256_set1_pd(best);
  __m256d lane_index = _mm256_set1_pd(static_cast<double>(index));
  double const start = first;
  __m256d current = _mm256_setr_pd(start, start + 1, start + 2, start + 3);
  std::uint32_t i = first;
  for (; end - i >= 4; i += 4) {
    __m256d const x = _mm256_loadu_pd(xs + i);
    __m256d const y = _mm256_loadu_pd(ys + i);
    __m256d const vx = _mm256_sub_pd(x, ax);
    __m256d const vy = _mm256_sub_pd(y, ay);
    __m256d const before = _mm256_add_pd(_mm256_mul_pd(dx, vx), _mm256_mul_pd(dy, vy));
    __m256d const v2 = _mm256_add_pd(_mm256_mul_pd(vx, vx), _mm256_mul_pd(vy, vy));
    __m256d const wx = _mm256_sub_pd(x, bx);
    __m256d const wy = _mm256_sub_pd(y, by);
    __m256d const along = _mm256_add_pd(_mm256_mul_pd(dx, wx), _mm256_mul_pd(dy, wy));
    __m256d const w2 = _mm256_add_pd(_mm256_mul_pd(wx, wx), _mm256_mul_pd(wy, wy));
    __m256d const across = _mm256_and_pd(_mm256_sub_pd(w2, _mm256_mul_pd(along, along)), magnitude);
    // -along < 0 is along > 0 (negation is exact), NaN failing both.
    __m256d distance = _mm256_blendv_pd(across, w2, _mm256_cmp_pd(along, zero, _CMP_GT_OQ));
    distance = _mm256_blendv_pd(distance, v2, _mm256_cmp_pd(before, zero, _CMP_LT_OQ));
    __m256d const wins = _mm256_cmp_pd(distance, lane_best, _CMP_GT_OQ);
    lane_best = _mm256_blendv_pd(lane_best, distance, wins);
    lane_index = _mm256_blendv_pd(lane_index, current, wins);
    current = _mm256_add_pd(current, four);
  }
  alignas(32) double bests[4];
  alignas(32) double indices[4];
  _mm256_store_pd(bests, lane_best);
  _mm256_store_pd(indices, lane_index);
  for (int lane = 0; lane < 4; ++lane) {
    auto const lane_at = static_cast<std::uint32_t>(indices[lane]);
    if (bests[lane] > best || (bests[lane] == best && bests[lane] > 0 && lane_at < index)) {
      best = bests[lane];
      index = lane_at;
    }
  }
  ScanScalar(s, xs, ys, i, end, best, index);
}

bool HasAvx2() {
  static bool const has = __builtin_cpu_supports("avx2") != 0;
  return has;
}

#endif

// Below this many interior points the scalar loop is as fast.
constexpr std::uint32_t kVectorMinimum = 8;

// The farthest interior point of (a, b), b - a >= 2; the search starts with
// distance 0 at a + 1.
std::pair<std::uint32_t, double> Farthest(double const* xs, double const* ys, std::uint32_t a,
                                          std::uint32_t b) {
  Segment const s(xs, ys, a, b);
  double best = 0;
  std::uint32_t index = a + 1;
#ifdef OSTREL_GENERALIZER_AVX2
  if (b - a - 1 >= kVectorMinimum && HasAvx2()) {
    ScanAvx2(s, xs, ys, a + 1, b, best, index);
    return {index, best};
  }
#endif
  ScanScalar(s, xs, ys, a + 1, b, best, index);
  return {index, best};
}

}  // namespace

void DouglasPeuckerGeneralizer::Generalize(PointArrayAccessAdapter const& points,
                                           std::vector<bool>& keep, double tolerance) {
  std::size_t const n = points.GetSize();
  keep.clear();
  if (n == 0) return;
  // A NaN tolerance splits every segment down to single steps, which keeps
  // every point; answered directly, since peeling one point per step (as on
  // points whose distances are all NaN) would take quadratic time.
  if (n > kMaxPoints || std::isnan(tolerance)) {
    keep.assign(n, true);
    return;
  }

  // Uninitialized: each coordinate is written once (first touches of fresh
  // pages are a good part of the cost of a pass).
  std::unique_ptr<double[]> const coordinates(new double[2 * n]);
  double* const xs = coordinates.get();
  double* const ys = xs + n;
  for (std::size_t i = 0; i < n; ++i) {
    auto const [x, y] = points.GetPoint(i);
    xs[i] = x;
    ys[i] = y;
  }
  keep.assign(n, false);

  double const squared = tolerance * tolerance;
  std::size_t kept = 0;
  auto mark = [&](std::uint32_t i) {
    if (!keep[i]) {
      keep[i] = true;
      ++kept;
    }
  };
  std::vector<std::pair<std::uint32_t, std::uint32_t>> stack;
  stack.reserve(n);
  stack.emplace_back(0, static_cast<std::uint32_t>(n - 1));
  while (!stack.empty()) {
    auto const [a, b] = stack.back();
    stack.pop_back();
    // With no interior point the ends are kept without consulting the
    // tolerance, so a NaN tolerance still terminates (keeping everything).
    if (b - a < 2) {
      mark(a);
      mark(b);
      continue;
    }
    auto const [m, distance] = Farthest(xs, ys, a, b);
    if (squared >= distance) {
      mark(a);
      mark(b);
    } else {
      stack.emplace_back(a, m);
      stack.emplace_back(m, b);
    }
  }

  bool const closed = n > 3 && xs[0] == xs[n - 1] && ys[0] == ys[n - 1];
  if (closed && kept < 4) {
    keep.assign(n, false);
    std::size_t const i = std::min(std::max(n / 3, std::size_t{1}), n - 3);
    std::size_t const j = std::max(i + 1, std::min(2 * n / 3, n - 2));
    keep[0] = true;
    keep[i] = true;
    keep[j] = true;
    keep[n - 1] = true;
  }
}

}  // namespace ostrel
