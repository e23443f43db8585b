#include "ostrel/spatial/geography.hpp"

#include "part_hashes.hpp"

namespace ostrel {

namespace {
using Parts = detail::PartHashes<Geography>;
}  // namespace

Geography::Attributes Geography::GetAttributes() const {
  SRID original = GetOriginalSRID();
  SRID converted = GetConvertedSRID();
  TopologicalType topological = GetTopologicalType();
  WindingOrder winding = GetWindingOrder();
  return Attributes(original, converted, topological, winding);
}

void Geography::DoHash(Hasher& hasher) const { Parts::Content(*this, hasher); }

// The winding order is deliberately left out: it describes how rings were
// given, not which area they bound.
unsigned long long Geography::HashForAttributes() const {
  return GetOrDoHashForAttributes([this] {
    Hasher h;
    GetOriginalSRID().Hash(h);
    GetConvertedSRID().Hash(h);
    detail::HasherAccess::Add(h, static_cast<unsigned long long>(GetTopologicalType()));
    return h.End();
  });
}

GeographyCoordinate Geography::CoordinateInLine(unsigned int line, unsigned int point) const {
  return GeographyCoordinate(PackedCoordinateInLine(line, point));
}

GeographyCoordinate Geography::CoordinateForPoint(unsigned int point) const {
  return GeographyCoordinate(PackedCoordinateForPoint(point));
}

GeographyCoordinate Geography::CoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                                      unsigned int point) const {
  return GeographyCoordinate(PackedCoordinateInRingOfPoly(poly, ring, point));
}

unsigned long long Geography::HashForPoint(unsigned int point) const {
  return GetOrDoHashForPoint([this](unsigned int i) { return Parts::Point(*this, i); }, point);
}

unsigned long long Geography::HashForLine(unsigned int line) const {
  return GetOrDoHashForLine([this](unsigned int l) { return Parts::Line(*this, l); }, line);
}

unsigned long long Geography::HashForPoly(unsigned int poly) const {
  return GetOrDoHashForPoly([this](unsigned int p) { return Parts::Poly(*this, p); }, poly);
}

unsigned long long Geography::HashForRingOfPoly(unsigned int poly, unsigned int ring) const {
  return GetOrDoHashForRingOfPoly(
      [this](unsigned int p, unsigned int r) { return Parts::Ring(*this, p, r); }, poly, ring);
}

}  // namespace ostrel
