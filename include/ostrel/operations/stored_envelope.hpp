// The envelope handlers of the formats that store per-item boxes: the legacy
// format (LegacyEnvelope) and the OGR-shaped format (OgrEnvelope).
//
// Each handler answers the box of a line or polygon as the value stores it,
// through the value's LegacySerialization::BoundingBoxAccessor<G>, without a
// pass over the coordinates. A value that is not such an accessor (a handler
// registered under the wrong identifier), or a box the format does not know,
// gives a pair of invalid coordinates, which Envelope::Calculate replaces by
// the computed box. BasicServices::Register installs all four; they hold no
// state and may serve any number of threads.
#pragma once

#include "ostrel/core/export.hpp"
#include "ostrel/operations/envelope.hpp"

namespace ostrel {

namespace LegacyEnvelope {

class OSTREL_EXPORT GeometryHandler final : public Envelope::GeometryHandler {
 public:
  ~GeometryHandler() override;
  Envelope::GeometryBox ForLine(Geometry const& value, unsigned int line) override;
  Envelope::GeometryBox ForPoly(Geometry const& value, unsigned int poly) override;
};

class OSTREL_EXPORT GeographyHandler final : public Envelope::GeographyHandler {
 public:
  ~GeographyHandler() override;
  Envelope::GeographyBox ForLine(Geography const& value, unsigned int line) override;
  Envelope::GeographyBox ForPoly(Geography const& value, unsigned int poly) override;
};

}  // namespace LegacyEnvelope

namespace OgrEnvelope {

class OSTREL_EXPORT GeometryHandler final : public Envelope::GeometryHandler {
 public:
  ~GeometryHandler() override;
  Envelope::GeometryBox ForLine(Geometry const& value, unsigned int line) override;
  Envelope::GeometryBox ForPoly(Geometry const& value, unsigned int poly) override;
};

class OSTREL_EXPORT GeographyHandler final : public Envelope::GeographyHandler {
 public:
  ~GeographyHandler() override;
  Envelope::GeographyBox ForLine(Geography const& value, unsigned int line) override;
  Envelope::GeographyBox ForPoly(Geography const& value, unsigned int poly) override;
};

}  // namespace OgrEnvelope

}  // namespace ostrel
