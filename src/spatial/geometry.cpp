#include "ostrel/spatial/geometry.hpp"

#include "part_hashes.hpp"

namespace ostrel {

namespace {
using Parts = detail::PartHashes<Geometry>;
}  // namespace

Geometry::Attributes Geometry::GetAttributes() const {
  GeometryCoordinate::Bias bias = GetBias();
  SRID original = GetOriginalSRID();
  SRID converted = GetConvertedSRID();
  return Attributes(bias, original, converted);
}

void Geometry::DoHash(Hasher& hasher) const { Parts::Content(*this, hasher); }

unsigned long long Geometry::HashForAttributes() const {
  return GetOrDoHashForAttributes([this] {
    Hasher h;
    GetBias().Hash(h);
    GetOriginalSRID().Hash(h);
    GetConvertedSRID().Hash(h);
    return h.End();
  });
}

GeometryCoordinate Geometry::CoordinateInLine(unsigned int line, unsigned int point) const {
  return GeometryCoordinate(PackedCoordinateInLine(line, point), GetBias());
}

GeometryCoordinate Geometry::CoordinateForPoint(unsigned int point) const {
  return GeometryCoordinate(PackedCoordinateForPoint(point), GetBias());
}

GeometryCoordinate Geometry::CoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                                    unsigned int point) const {
  return GeometryCoordinate(PackedCoordinateInRingOfPoly(poly, ring, point), GetBias());
}

unsigned long long Geometry::HashForPoint(unsigned int point) const {
  return GetOrDoHashForPoint([this](unsigned int i) { return Parts::Point(*this, i); }, point);
}

unsigned long long Geometry::HashForLine(unsigned int line) const {
  return GetOrDoHashForLine([this](unsigned int l) { return Parts::Line(*this, l); }, line);
}

unsigned long long Geometry::HashForPoly(unsigned int poly) const {
  return GetOrDoHashForPoly([this](unsigned int p) { return Parts::Poly(*this, p); }, poly);
}

unsigned long long Geometry::HashForRingOfPoly(unsigned int poly, unsigned int ring) const {
  return GetOrDoHashForRingOfPoly(
      [this](unsigned int p, unsigned int r) { return Parts::Ring(*this, p, r); }, poly, ring);
}

}  // namespace ostrel
