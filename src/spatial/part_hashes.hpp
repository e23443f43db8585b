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
//
// Lines and rings are folded straight from their packed run when the format
// has one (holding a decoded owner for the whole loop); otherwise through
// one virtual call per coordinate. Both give the same hash.
#pragma once

#include "ostrel/core/hasher.hpp"

namespace ostrel::detail {

// The hash of one part with attribute hash A, given its members.
struct PartHash {
  template <class Packed>
  static unsigned long long Point(unsigned long long a, Packed p) {
    Hasher h;
    HasherAccess::Add(h, a);
    p.Hash(h);
    return h.End();
  }

  template <class Packed>
  static unsigned long long Run(unsigned long long a, Packed const* data, unsigned int n) {
    Hasher h;
    HasherAccess::Add(h, a);
    HasherAccess::Add(h, n);
    for (unsigned int i = 0; i < n; ++i) data[i].Hash(h);
    return h.End();
  }

  // A, the member count n, then add(h, i) for every member i in order.
  template <class AddMember>
  static unsigned long long Sequence(unsigned long long a, unsigned int n, AddMember add) {
    Hasher h;
    HasherAccess::Add(h, a);
    HasherAccess::Add(h, n);
    for (unsigned int i = 0; i < n; ++i) add(h, i);
    return h.End();
  }
};

template <class G>
struct PartHashes {
  static unsigned long long Point(G const& g, unsigned int point) {
    return PartHash::Point(g.HashForAttributes(), g.PackedCoordinateForPoint(point));
  }

  static unsigned long long Line(G const& g, unsigned int line) {
    unsigned long long a = g.HashForAttributes();
    unsigned int n = g.SizeOfLine(line);
    auto run = g.GetPackedLine(line);
    if (run.data != nullptr) return PartHash::Run(a, run.data, n);
    return PartHash::Sequence(
        a, n, [&](Hasher& h, unsigned int i) { g.PackedCoordinateInLine(line, i).Hash(h); });
  }

  static unsigned long long Ring(G const& g, unsigned int poly, unsigned int ring) {
    unsigned long long a = g.HashForAttributes();
    unsigned int n = g.SizeOfRingInPoly(poly, ring);
    auto run = g.GetPackedRing(poly, ring);
    if (run.data != nullptr) return PartHash::Run(a, run.data, n);
    return PartHash::Sequence(a, n, [&](Hasher& h, unsigned int i) {
      g.PackedCoordinateInRingOfPoly(poly, ring, i).Hash(h);
    });
  }

  static unsigned long long Poly(G const& g, unsigned int poly) {
    return PartHash::Sequence(
        g.HashForAttributes(), g.SizeOfPoly(poly),
        [&](Hasher& h, unsigned int r) { HasherAccess::Add(h, g.HashForRingOfPoly(poly, r)); });
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
