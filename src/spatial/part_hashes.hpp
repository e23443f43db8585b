// The hash of each part of a planar or geographic value, computed from
// scratch. Geometry and Geography hand these functions to their format's
// get-or-do operations, which may cache the results.
//
// Every part starts with the value's attribute hash A (through the format's
// cache). Coordinates within a line or ring, and rings within a poly, count
// in order:
//   point i        : A, packed coordinate
//   line l         : A, size of line, each packed coordinate
//   ring r of poly : A, size of ring, each packed coordinate
//   poly p         : A, number of rings, each ring's hash
#pragma once

#include <cstdint>

#include "ostrel/core/hasher.hpp"

namespace ostrel::detail {

template <class G>
struct PartHashes {
  static std::uint64_t Point(G const& g, unsigned int point) {
    Hasher h;
    HasherAccess::Add(h, g.HashForAttributes());
    g.PackedCoordinateForPoint(point).Hash(h);
    return h.End();
  }

  static std::uint64_t Line(G const& g, unsigned int line) {
    return Sequence(g, g.SizeOfLine(line),
                    [&](Hasher& h, unsigned int i) { g.PackedCoordinateInLine(line, i).Hash(h); });
  }

  static std::uint64_t Ring(G const& g, unsigned int poly, unsigned int ring) {
    return Sequence(g, g.SizeOfRingInPoly(poly, ring), [&](Hasher& h, unsigned int i) {
      g.PackedCoordinateInRingOfPoly(poly, ring, i).Hash(h);
    });
  }

  static std::uint64_t Poly(G const& g, unsigned int poly) {
    return Sequence(g, g.SizeOfPoly(poly), [&](Hasher& h, unsigned int r) {
      HasherAccess::Add(h, g.HashForRingOfPoly(poly, r));
    });
  }

  // A, the member count n, then add(h, i) for every member i in order.
  template <class AddMember>
  static std::uint64_t Sequence(G const& g, unsigned int n, AddMember add) {
    Hasher h;
    HasherAccess::Add(h, g.HashForAttributes());
    HasherAccess::Add(h, n);
    for (unsigned int i = 0; i < n; ++i) add(h, i);
    return h.End();
  }

  // The value's content after its coordinate and shape types.
  static void Content(G const& g, Hasher& h) {
    HasherAccess::Add(h, g.HashForAttributes());
    g.HashForPoints(h);
    g.HashForLines(h);
    g.HashForPolys(h);
  }
};

}  // namespace ostrel::detail
