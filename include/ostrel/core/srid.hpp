// SRID: a spatial reference identifier, an authority and a number.
//
// Packed into one 32-bit word: bits 0-7 the authority, bits 8-31 the
// identifier, so identifiers are limited to 24 bits and higher bits are lost.
// Equality compares the whole word. The default is (None, 0).
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "ostrel/core/export.hpp"
#include "ostrel/core/hasher.hpp"

namespace ostrel {

class OSTREL_EXPORT SRID {
 public:
  enum class Authority : std::uint8_t {
    None = 0,
    EPSG = 1,
    SR_ORG = 2,
    ESRI = 3,
    ORACLE = 4,
    MS = 5,
    IAU2000 = 6,
  };

  constexpr SRID() = default;
  constexpr SRID(Authority authority, unsigned int id)
      : word_(static_cast<std::uint32_t>(authority) | (static_cast<std::uint32_t>(id) << 8)) {}

  Authority GetAuthority() const { return static_cast<Authority>(word_ & 0xFF); }
  unsigned int GetID() const { return word_ >> 8; }

  bool operator==(SRID const& o) const { return word_ == o.word_; }
  bool operator!=(SRID const& o) const { return word_ != o.word_; }

  // Adds the authority, then the identifier, each as a raw 64-bit word.
  Hasher& Hash(Hasher& h) const {
    detail::HasherAccess::Add(h, static_cast<std::uint64_t>(GetAuthority()));
    return detail::HasherAccess::Add(h, GetID());
  }

  // Predefined identifiers, each one static instance.
  static SRID const& None();    // Unknown:0
  static SRID const& WGS84();   // EPSG:4326
  static SRID const& NAD27();   // EPSG:2029
  static SRID const& NAD83();   // EPSG:4269
  static SRID const& ETRS89();  // EPSG:4258

 private:
  std::uint32_t word_ = 0;
};

OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, SRID::Authority const& value);
OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, SRID const& value);
OSTREL_EXPORT std::string to_string(SRID::Authority value);
OSTREL_EXPORT std::string to_string(SRID value);

}  // namespace ostrel
