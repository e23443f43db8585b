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
    Hasher h;
    HasherAccess::Add(h, g.HashForAttributes());
    unsigned int n = g.SizeOfLine(line);
    HasherAccess::Add(h, n);
    for (unsigned int i = 0; i < n; ++i) g.PackedCoordinateInLine(line, i).Hash(h);
    return h.End();
  }

  static std::uint64_t Ring(G const& g, unsigned int poly, unsigned int ring) {
    Hasher h;
    HasherAccess::Add(h, g.HashForAttributes());
    unsigned int n = g.SizeOfRingInPoly(poly, ring);
    HasherAccess::Add(h, n);
    for (unsigned int i = 0; i < n; ++i) g.PackedCoordinateInRingOfPoly(poly, ring, i).Hash(h);
    return h.End();
  }

  static std::uint64_t Poly(G const& g, unsigned int poly) {
    Hasher h;
    HasherAccess::Add(h, g.HashForAttributes());
    unsigned int rings = g.SizeOfPoly(poly);
    HasherAccess::Add(h, rings);
    for (unsigned int r = 0; r < rings; ++r) HasherAccess::Add(h, g.HashForRingOfPoly(poly, r));
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
