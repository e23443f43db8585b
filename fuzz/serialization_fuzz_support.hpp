// Shared by the fuzz targets of the interchange readers (wkb, ewkb, wkt,
// ewkt): the round-trip invariant and the checks that abort on a finding.
//
// Whatever reads is written and read again:
//  - a read ends in a value, an Unknown, or one of the documented
//    exceptions (std::length_error, std::invalid_argument,
//    std::out_of_range); anything else escapes and is a finding;
//  - an Unknown cannot be written (std::invalid_argument);
//  - the written form of a value reads back without an exception, as the
//    same kind with the same outline (shape type, number of points, lines,
//    polygons, and rings of each polygon);
//  - `exact` forms (binary, or text of values that six digits hold) read
//    back to the same hash;
//  - in every form, one more write and read reaches a fixpoint: the second
//    and third readings have equal hashes and equal written forms. The
//    exceptions are the ones the formats prescribe and are listed where they
//    are decided (see Exempt).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ostrel/kernel/ring_cleaning.hpp"
#include "ostrel/kernel/winding_order.hpp"
#include "ostrel/serialization/geographic_input.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace fuzz_support {

using ostrel::SpatialPtr;

[[noreturn]] inline void Fail(char const* what, std::string const& a, std::string const& b = {}) {
  std::fprintf(stderr, "serialization fuzz: %s\n  first:  %.2000s\n  second: %.2000s\n", what,
               a.c_str(), b.c_str());
  std::abort();
}

template <class G>
std::string Outline(G const& g) {
  std::string s = std::to_string(static_cast<int>(g.GetShapeType())) + " " +
                  std::to_string(g.GetPoints().size()) + " " + std::to_string(g.GetLines().size());
  for (auto const& poly : g.GetPolys()) s += " " + std::to_string(poly.size());
  return s;
}

inline std::string Outline(ostrel::Spatial const& v) {
  if (v.IsGeometry()) return "Geometry " + Outline(v.AsGeometry());
  if (v.IsGeography()) return "Geography " + Outline(v.AsGeography());
  return "other";
}

// A geographic ring whose winding a reader cannot settle: the winding is
// decided at the ring's first lowest vertex, so for a ring that is
// ambiguous there, or that crosses itself with several lowest vertices, the
// ring and its reverse can get the same answer, and each reading reverses
// it again.
inline bool HasUnsettledWinding(ostrel::Spatial const& v) {
  if (!v.IsGeography()) return false;
  for (auto const& poly : v.AsGeography().GetPolys()) {
    for (auto const& ring : poly) {
      std::vector<std::pair<double, double>> points;
      for (auto const& c : ring)
        points.emplace_back(c.GetLongitude().Get().Get(), c.GetLatitude().Get().Get());
      auto const n = static_cast<unsigned>(points.size());
      auto const forward = ostrel::DetectWindingOrder([&](unsigned i) { return points[i]; }, n);
      auto const backward =
          ostrel::DetectWindingOrder([&](unsigned i) { return points[n - 1 - i]; }, n);
      if (forward == ostrel::WindingOrder::Ambiguous || forward == backward) return true;
    }
  }
  return false;
}

// Reading a geography's written form runs the ring clean-up again, on the
// snapped coordinates (in degrees, so the edge directions are the snapped
// ones). The clean-up is not always at its fixpoint after one run: when it
// replaces the closing vertex of a ring, the ring is closed again with its
// first vertex, which can make a new spike at the closing vertex, removed
// only by the next run. Such values change once more when read back.
inline bool CleanUpWouldChange(ostrel::Spatial const& v) {
  if (!v.IsGeography()) return false;
  for (auto const& poly : v.AsGeography().GetPolys()) {
    for (auto const& r : poly) {
      std::vector<ostrel::GeographyCoordinate> ring(r.begin(), r.end());
      std::vector<double> edges;
      for (std::size_t k = 1; k < ring.size(); ++k) {
        double const dx = ostrel::Degrees(ring[k].GetLongitude().Get()).Get() -
                          ostrel::Degrees(ring[k - 1].GetLongitude().Get()).Get();
        double const dy = ostrel::Degrees(ring[k].GetLatitude().Get()).Get() -
                          ostrel::Degrees(ring[k - 1].GetLatitude().Get()).Get();
        edges.push_back(
            dx == 0 && dy == 0 ? 0.0 : static_cast<double>(static_cast<float>(std::atan2(dy, dx))));
      }
      if (ostrel::CleanRingAndRemoveIntroducedSelfIntersections(ring, [&edges](unsigned k) {
            return ostrel::Radians(k < edges.size() ? edges[k] : 0.0);
          })) {
        return true;
      }
    }
  }
  return false;
}

// Reading a geography's written form densifies its edges again where the
// reader densifies. The written longitudes all lie in [-180, 180], so every
// edge is taken in plain numbers: one that crossed the antimeridian now runs
// the long way round, and one that was within the step before snapping may
// be a grid step longer after. Such values gain midpoints when read back.
inline bool DensifyWouldChange(ostrel::Spatial const& v) {
  if (!v.IsGeography()) return false;
  bool change = false;
  ostrel::PathNormalizer::Emit const emit =
      [&change](std::pair<ostrel::Latitude, ostrel::Longitude> const&) { change = true; };
  auto run = [&](auto const& coordinates) {
    for (unsigned k = 1; k < coordinates.size() && !change; ++k) {
      ostrel::Densify(coordinates[k - 1], coordinates[k],
                      ostrel::Radians(ostrel::kDensifyTolerance), true, emit);
    }
  };
  for (auto const& line : v.AsGeography().GetLines()) run(line);
  for (auto const& poly : v.AsGeography().GetPolys()) {
    for (auto const& ring : poly) run(ring);
  }
  return change;
}

// NaN or infinite coordinates (a NaN point is written as the empty point and
// dropped when read; an infinite first coordinate is an infinite bias).
inline bool HasNonFinite(ostrel::Spatial const& v) {
  bool bad = false;
  auto check = [&bad](double a, double b) { bad = bad || !std::isfinite(a) || !std::isfinite(b); };
  auto walk = [&](auto const& g, auto xy) {
    for (auto const& c : g.GetPoints()) xy(c);
    for (auto const& l : g.GetLines()) {
      for (auto const& c : l) xy(c);
    }
    for (auto const& p : g.GetPolys()) {
      for (auto const& r : p) {
        for (auto const& c : r) xy(c);
      }
    }
  };
  if (v.IsGeometry()) {
    auto const& g = v.AsGeometry();
    check(g.GetBias().GetX(), g.GetBias().GetY());
    walk(g, [&](ostrel::GeometryCoordinate const& c) { check(c.GetX(), c.GetY()); });
  } else if (v.IsGeography()) {
    walk(v.AsGeography(), [&](ostrel::GeographyCoordinate const& c) {
      check(c.GetLatitude().Get().Get(), c.GetLongitude().Get().Get());
    });
  }
  return bad;
}

// A planar value holds bias + a float offset per coordinate, and is written
// as the doubles bias + offset. Read back, its bias is the same (the first
// coordinate, whose offset is 0) and so are its doubles (the written form
// is checked to be the same), but where the bias dwarfs an offset two floats
// give the same double, and the offset packed again may be the other one:
// the same coordinates, another hash. So for planar values the written form
// stands for the value.
// A planar value's bias is its first coordinate as read. When that is also
// the first coordinate written (points, then lines, then polygons), a second
// reading takes the same bias and the written bytes are a fixpoint at once;
// otherwise they settle one trip later. Compared bit for bit: a bias of +0.0
// turns a -0.0 coordinate into +0.0, and -0.0 == +0.0 would hide that.
inline bool BiasIsFirstWritten(ostrel::Geometry const& g) {
  ostrel::GeometryCoordinate first;
  if (!g.GetPoints().empty()) {
    first = g.GetPoints()[0];
  } else if (!g.GetLines().empty()) {
    first = g.GetLines()[0][0];
  } else if (!g.GetPolys().empty() && !g.GetPolys()[0].empty()) {
    first = g.GetPolys()[0][0][0];
  } else {
    return true;
  }
  auto const bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
  return bits(first.GetX()) == bits(g.GetBias().GetX()) &&
         bits(first.GetY()) == bits(g.GetBias().GetY());
}

inline bool PackingMayDiffer(ostrel::Spatial const& v) { return v.IsGeometry(); }

// Reads, or returns an empty pointer for a documented exception.
template <class Read>
SpatialPtr TryRead(Read&& read) {
  try {
    return read();
  } catch (std::length_error const&) {
  } catch (std::invalid_argument const&) {
  } catch (std::out_of_range const&) {
  }
  return SpatialPtr();
}

// The invariant for one reader: `read` turns a written form into a value,
// `write` a value into its form, `show` a form into printable text.
// `exact` says that the first round trip must keep the hash.
// `densifies` says that the reader densifies geographic edges.
template <class Form, class Read, class Write, class Show>
void RoundTrip(SpatialPtr const& v1, Read&& read, Write&& write, Show&& show, bool exact,
               bool densifies) {
  if (v1->IsUnknown()) {
    try {
      write(*v1);
    } catch (std::invalid_argument const&) {
      return;
    }
    Fail("an Unknown was written", "Unknown");
  }
  if (HasNonFinite(*v1)) return;

  Form const f1 = write(*v1);
  SpatialPtr v2;
  try {
    v2 = read(f1);
  } catch (std::exception const& e) {
    Fail("a written value throws when read back", show(f1), e.what());
  }
  if (Outline(*v2) != Outline(*v1))
    Fail("reading back changed the outline", show(f1), show(write(*v2)));
  if (HasUnsettledWinding(*v1) || HasUnsettledWinding(*v2)) return;
  if (CleanUpWouldChange(*v1) || (densifies && DensifyWouldChange(*v1))) return;
  // A planar value takes its bias from the first coordinate read; a mixed
  // collection is written points first, then lines, then polygons, so when
  // the input had another order the second reading starts from another
  // coordinate, takes another bias and snaps differently. Such a value is
  // at a fixpoint only from the second round trip on (checked below).
  bool const reordered = v1->IsGeometry() && v1->GetShapeType() == ostrel::ShapeType::Mixed;
  if (exact && !reordered) {
    // The same written form and (see PackingMayDiffer) the same hash.
    Form const again = write(*v2);
    if (again != f1) Fail("reading back changed the written form", show(f1), show(again));
    if (v2->GetHash() != v1->GetHash() && !PackingMayDiffer(*v1)) {
      Fail("reading back changed the hash", show(f1), show(again));
    }
  }

  Form const f2 = write(*v2);
  SpatialPtr v3;
  try {
    v3 = read(f2);
  } catch (std::exception const& e) {
    Fail("the second written form throws when read back", show(f2), e.what());
  }
  if (HasUnsettledWinding(*v3)) return;
  Form const f3 = write(*v3);
  if (f3 != f2 && v2->IsGeography()) {
    // Forms that round (text at six digits) hand the second reading other
    // coordinates than the first, and the ring clean-up may then remove
    // what it kept before (a spike that rounding made exact, collapsing a
    // degenerate ring): such a geography settles one trip later.
    SpatialPtr const v4 = read(f3);
    if (HasUnsettledWinding(*v4)) return;
    Form const f4 = write(*v4);
    if (f4 != f3) Fail("writing is not at a fixpoint after two round trips", show(f3), show(f4));
    return;
  }
  if (f3 != f2) Fail("writing is not at a fixpoint after one round trip", show(f2), show(f3));
  if (v3->GetHash() != v2->GetHash()) Fail("equal forms, different hashes", show(f2), show(f3));
}

inline std::string Hex(std::vector<std::uint8_t> const& b) {
  static char const d[] = "0123456789ABCDEF";
  std::string s;
  for (std::uint8_t x : b) s += d[x >> 4], s += d[x & 15];
  return s;
}

}  // namespace fuzz_support
