#include "operations/indexed_intersects_pinned.hpp"

#include <algorithm>
#include <cmath>

#include "operations/intersects_rings.hpp"
#include "ostrel/kernel/ellipsoid.hpp"
#include "ostrel/kernel/pole_containment.hpp"

namespace ostrel::detail {

namespace {

// Band counts: one band per edge, at most 2^16, so that a band holds little
// more than the edges that cross it; a band count whose lists would hold
// more than four entries per edge (long edges filed under many bands) is cut
// by four until it fits.
constexpr unsigned int kMaximumBands = 1u << 16;

}  // namespace

PinnedItem::PinnedItem(Spatial const& value, bool geography, Copies copies,
                       MemoryResource* resource)
    : value_(&value),
      polys_(resource),
      rings_(resource),
      planar_(resource),
      spherical_(resource),
      positions_(resource),
      band_offsets_(resource),
      band_edges_(resource),
      errors_(resource) {
  if (geography) {
    Geography const& g = value.AsGeography();
    auto const polys = g.GetPolys();
    polys_.reserve(polys.size());
    for (unsigned int i = 0; i < polys.size(); ++i) {
      Poly poly;
      poly.spherical = SphericalTrapezoidBounds::CachedBoundsOfPoly(g, i);
      poly.first_ring = static_cast<unsigned int>(rings_.size());
      auto const rings = polys[i];
      poly.rings = rings.size();
      for (unsigned int r = 0; r < rings.size(); ++r) {
        Ring ring;
        try {
          auto const [north, south] = GetCachedNorthAndSouthPoleContainment(g, i, r);
          ring.poles = (north ? 1 : 0) + (south ? 1 : 0);
        } catch (...) {
          errors_.push_back(std::current_exception());
          ring.error = static_cast<int>(errors_.size());
        }
        auto const view = rings[r];
        if (Copied(copies, view.size())) {
          ring.first = static_cast<unsigned int>(spherical_.size());
          ring.size = view.size();
          spherical_.insert(spherical_.end(), view.begin(), view.end());
          IndexSphericalRing(ring);
        }
        rings_.push_back(ring);
      }
      polys_.push_back(poly);
    }
    return;
  }
  Geometry const& g = value.AsGeometry();
  Shape<GeometryCoordinate> const& shape = g;
  auto const polys = shape.GetPolys();
  polys_.reserve(polys.size());
  for (unsigned int i = 0; i < polys.size(); ++i) {
    Poly poly;
    poly.planar = RectangularBounds::CachedBoundsOfPoly(shape, i);
    poly.first_ring = static_cast<unsigned int>(rings_.size());
    auto const rings = polys[i];
    poly.rings = rings.size();
    for (unsigned int r = 0; r < rings.size(); ++r) {
      Ring ring;
      auto const view = rings[r];
      if (Copied(copies, view.size())) {
        ring.first = static_cast<unsigned int>(planar_.size());
        ring.size = view.size();
        planar_.insert(planar_.end(), view.begin(), view.end());
        IndexPlanarRing(ring);
      }
      rings_.push_back(ring);
    }
    polys_.push_back(poly);
  }
}

template <class SpanOf>
void PinnedItem::BuildBands(Ring& ring, unsigned int edges, SpanOf const& span_of) {
  unsigned int bands = std::clamp(edges, 1u, kMaximumBands);
  for (;;) {
    ring.bands = bands;
    ring.scale = static_cast<double>(bands) / (ring.high - ring.low);
    if (!std::isfinite(ring.scale)) {
      ring.bands = 0;
      return;
    }
    unsigned long long entries = 0;
    for (unsigned int k = 0; k < edges; ++k) {
      span_of(k, [&](unsigned int b0, unsigned int b1) { entries += b1 - b0 + 1; });
    }
    if (bands == 1 || entries <= 4ull * edges + bands) break;
    bands = std::max(1u, bands / 4);
  }
  // Compressed rows: count per band, prefix sums, then fill.
  ring.offsets = static_cast<unsigned int>(band_offsets_.size());
  std::size_t const base = band_edges_.size();
  band_offsets_.resize(band_offsets_.size() + bands + 1, 0);
  std::uint32_t* const offsets = band_offsets_.data() + ring.offsets;
  for (unsigned int k = 0; k < edges; ++k) {
    span_of(k, [&](unsigned int b0, unsigned int b1) {
      for (unsigned int b = b0; b <= b1; ++b) ++offsets[b + 1];
    });
  }
  offsets[0] = static_cast<std::uint32_t>(base);
  for (unsigned int b = 0; b < bands; ++b) offsets[b + 1] += offsets[b];
  band_edges_.resize(offsets[bands]);
  ResourceVector<std::uint32_t> cursor(offsets, offsets + bands, band_offsets_.get_allocator());
  for (unsigned int k = 0; k < edges; ++k) {
    span_of(k, [&](unsigned int b0, unsigned int b1) {
      for (unsigned int b = b0; b <= b1; ++b) band_edges_[cursor[b]++] = k;
    });
  }
}

void PinnedItem::IndexPlanarRing(Ring& ring) {
  if (ring.size < kMinimumIndexedRing) return;
  GeometryCoordinate const* v = planar_.data() + ring.first;
  double low = INFINITY, high = -INFINITY;
  for (unsigned int k = 0; k < ring.size; ++k) {
    double const x = v[k].GetX(), y = v[k].GetY();
    // NaN or infinite coordinates make edges toggle in ways no band can
    // hold: such rings are walked whole.
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    low = std::min(low, y);
    high = std::max(high, y);
  }
  if (!(high > low)) return;
  ring.low = low;
  ring.high = high;
  BuildBands(ring, ring.size - 1, [&](unsigned int k, auto const& emit) {
    double const y0 = v[k].GetY(), y1 = v[k + 1].GetY();
    emit(Band(ring, std::min(y0, y1)), Band(ring, std::max(y0, y1)));
  });
}

void PinnedItem::IndexSphericalRing(Ring& ring) {
  GeographyCoordinate const* v = spherical_.data() + ring.first;
  positions_.resize(spherical_.size());
  double low = INFINITY, high = -INFINITY;
  bool valid = true;
  for (unsigned int k = 0; k < ring.size; ++k) {
    positions_[ring.first + k] = WGS84::EarthCentredPosition(v[k]);
    valid = valid && v[k].IsValid();
    double const l = rings::NormalizedLongitude(rings::LongitudeOf(v[k]));
    low = std::min(low, l);
    high = std::max(high, l);
  }
  if (!valid || !(high > low) || ring.size < kMinimumIndexedRing) return;
  ring.low = low;
  ring.high = high;
  // An arc is filed under the bands of the longitude range in which
  // rings::ArcSpansMeridian can find a meridian, endpoints included (so an
  // arc ending on the meridian is found for its extension): the normalized
  // ends a and b of the range; a > b wraps through the antimeridian.
  BuildBands(ring, ring.size - 1, [&](unsigned int k, auto const& emit) {
    double const l1 = rings::LongitudeOf(v[k]), l2 = rings::LongitudeOf(v[k + 1]);
    int const crossing = rings::AntimeridianCrossing(l1, l2);
    double lo, hi;
    if (crossing == 0) {
      lo = std::min(l1, l2), hi = std::max(l1, l2);
    } else if (crossing > 0) {
      lo = l1, hi = l2;
    } else {
      lo = l2, hi = l1;
    }
    double const a = rings::NormalizedLongitude(lo), b = rings::NormalizedLongitude(hi);
    if (a == b) return;
    unsigned int const ba = Band(ring, a), bb = Band(ring, b);
    if (a < b) return emit(ba, bb);
    if (bb + 1 >= ba) return emit(0u, ring.bands - 1);
    emit(0u, bb);
    emit(ba, ring.bands - 1);
  });
}

bool PinnedItem::Contains(unsigned int poly, GeometryCoordinate const& p) const {
  Poly const& pinned = polys_[poly];
  if (!pinned.planar.Contains(p)) return false;
  double const px = p.GetX(), py = p.GetY();
  for (unsigned int r = 0; r < pinned.rings; ++r) {
    Ring const& ring = rings_[pinned.first_ring + r];
    bool inside = false;
    if (ring.size == 0) {
      Shape<GeometryCoordinate> const& shape = value_->AsGeometry();
      inside = rings::PlanarRingContains(shape.GetPolys()[poly][r], p);
    } else if (ring.bands == 0) {
      GeometryCoordinate const* v = planar_.data() + ring.first;
      for (unsigned int k = 0; k + 1 < ring.size; ++k) {
        inside ^=
            rings::EdgeToggles(px, py, v[k].GetX(), v[k].GetY(), v[k + 1].GetX(), v[k + 1].GetY());
      }
    } else if (py >= ring.low && ring.high > py) {
      // Outside [low, high) every vertex lies on one side of the point's
      // horizontal, and no edge toggles.
      GeometryCoordinate const* v = planar_.data() + ring.first;
      unsigned int const band = Band(ring, py);
      std::uint32_t const* edge = band_edges_.data() + band_offsets_[ring.offsets + band];
      std::uint32_t const* const end = band_edges_.data() + band_offsets_[ring.offsets + band + 1];
      for (; edge != end; ++edge) {
        unsigned int const k = *edge;
        inside ^=
            rings::EdgeToggles(px, py, v[k].GetX(), v[k].GetY(), v[k + 1].GetX(), v[k + 1].GetY());
      }
    }
    if (inside != (r == 0)) return false;
  }
  return true;
}

int PinnedItem::SphericalCount(Ring const& ring, unsigned int poly, unsigned int r, double x,
                               Vector3D const& position) const {
  if (ring.size == 0) {
    Geography const& g = value_->AsGeography();
    return rings::SphericalCrossings(g.GetPolys()[poly][r], x, position);
  }
  GeographyCoordinate const* v = spherical_.data() + ring.first;
  Vector3D const* positions = positions_.data() + ring.first;
  unsigned int const n = ring.size;
  auto const vertex = [v](unsigned int i) { return v[i]; };
  auto const plane = [positions](unsigned int i, unsigned int j, GeographyCoordinate const&,
                                 GeographyCoordinate const&) {
    return positions[i].Cross(positions[j]);
  };
  int count = 0;
  if (ring.bands == 0 || std::fabs(x) == kPi) {
    for (unsigned int k = 0; k + 1 < n; ++k) {
      count += rings::ArcContribution(k, n, v[k], v[k + 1], x, position, vertex, plane);
    }
    return count;
  }
  unsigned int const band = Band(ring, x);
  std::uint32_t const* edge = band_edges_.data() + band_offsets_[ring.offsets + band];
  std::uint32_t const* const end = band_edges_.data() + band_offsets_[ring.offsets + band + 1];
  for (; edge != end; ++edge) {
    unsigned int const k = *edge;
    count += rings::ArcContribution(k, n, v[k], v[k + 1], x, position, vertex, plane);
  }
  return count;
}

bool PinnedItem::Contains(unsigned int poly, GeographyCoordinate const& p) const {
  Poly const& pinned = polys_[poly];
  if (!pinned.spherical.Contains(p)) return false;
  double const x = rings::NormalizedLongitude(rings::LongitudeOf(p));
  Vector3D const position = WGS84::EarthCentredPosition(p);
  for (unsigned int r = 0; r < pinned.rings; ++r) {
    Ring const& ring = rings_[pinned.first_ring + r];
    if (ring.error != 0) std::rethrow_exception(errors_[static_cast<std::size_t>(ring.error - 1)]);
    if (ring.poles + SphericalCount(ring, poly, r, x, position) == 0) return false;
  }
  return true;
}

}  // namespace ostrel::detail
