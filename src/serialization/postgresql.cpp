#include "ostrel/serialization/postgresql.hpp"

#include <cmath>
#include <stdexcept>

#include "ostrel/serialization/wkt.hpp"
#include "serialization/wkb_engine.hpp"
#include "serialization/wkt_engine.hpp"
#include "serialization/wkt_writer.hpp"
#include "serialization/wrong_kind.hpp"

namespace ostrel {

namespace {

using detail::ThrowWrongKind;

// The SRID number of a text prefix: truncated toward zero and wrapped to 32
// bits (the SRID keeps 24); non-finite or huge numbers give 0 rather than
// undefined behaviour.
unsigned int Identifier(double value) {
  if (!(std::fabs(value) < 9.2e18)) return 0;
  return static_cast<unsigned int>(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
}

// The original SRID of a geography when it is an EPSG one, which is all the
// extended forms can carry.
std::optional<std::uint32_t> EpsgNumber(Geography const& g) {
  SRID const srid = g.GetOriginalSRID();
  if (srid.GetAuthority() != SRID::Authority::EPSG) return std::nullopt;
  return srid.GetID();
}

}  // namespace

SpatialPtr PostgreSQLSerialization::ReadBinary(std::vector<std::uint8_t> const& bytes) {
  using detail::wkb::Codes;
  bool geography = false;
  if (bytes.size() > 5) {
    std::uint8_t const high = bytes[0] != 0 ? bytes[4] : bytes[1];
    geography = (high & 0x20) != 0;
  }
  StreamReader stream(bytes);
  if (geography) {
    std::optional<std::uint32_t> srid;
    return detail::wkb::ReadValue<Geography>(stream, Codes::Extended, false, true,
                                             Geography::Attributes(), &srid);
  }
  return detail::wkb::ReadValue<Geometry>(stream, Codes::Extended, true, true,
                                          Geometry::Attributes(), nullptr);
}

std::vector<std::uint8_t> PostgreSQLSerialization::WriteBinary(Spatial const& value) {
  StreamWriter out;
  switch (value.GetCoordinateType()) {
    case CoordinateType::Geography: {
      Geography const& g = value.AsGeography();
      detail::wkb::WriteValue(out, g, EpsgNumber(g));
      break;
    }
    case CoordinateType::Geometry:
      detail::wkb::WriteValue(out, value.AsGeometry(), std::nullopt);
      break;
    default: ThrowWrongKind();
  }
  return out.Take();
}

SpatialPtr PostgreSQLSerialization::ReadText(std::string const& text) {
  bool const geography = text.size() >= 6 && detail::wkt::Upper(text[0]) == 'S' &&
                         detail::wkt::Upper(text[1]) == 'R' && detail::wkt::Upper(text[2]) == 'I' &&
                         detail::wkt::Upper(text[3]) == 'D';
  if (!geography) return WktSerialization::Read(text, CoordinateType::Geometry);

  using namespace detail::wkt;
  Tokenizer tokens(text);
  double number = 0;
  if (!tokens.Accept(kSRID) || !tokens.Accept(kEquals) || !tokens.Number(number) ||
      !tokens.Accept(kSemicolon)) {
    return MakeSpatial<Unknown>();
  }
  Geography::Attributes attributes;
  attributes.original_srid = SRID(SRID::Authority::EPSG, Identifier(number));
  return ReadValue<Geography>(tokens, false, true, attributes);
}

std::string PostgreSQLSerialization::WriteText(Spatial const& value) {
  std::string out;
  switch (value.GetCoordinateType()) {
    case CoordinateType::Geography: {
      Geography const& g = value.AsGeography();
      if (auto const srid = EpsgNumber(g)) {
        out += "SRID=";
        out += std::to_string(*srid);
        out.push_back(';');
      }
      detail::wkt::AppendText(out, g);
      break;
    }
    case CoordinateType::Geometry: detail::wkt::AppendText(out, value.AsGeometry()); break;
    default: ThrowWrongKind();
  }
  return out;
}

}  // namespace ostrel
