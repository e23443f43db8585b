// GeographyCoordinate: a point on the WGS84 ellipsoid, and its 64-bit packed
// encoding on a fixed grid of about 1.0638e-9 radians per axis.
//
// Encoding of Packed (one 64-bit word):
//   bit 63    latitude sign (1 = south); never set when the latitude code is 0
//   bit 62    longitude sign (1 = west); never set when the longitude code is 0
//   bits 0-61 latitude code * 3123134984 + longitude code
// with latitude codes 0..1476620779 (pi/2) and longitude codes 0..3123134983
// (the maximum extended longitude, about 190.355 degrees). The all-ones word
// is the invalid encoding. Encoding rounds half away from zero; decoding
// multiplies by the grid step except for the two end codes, which decode to
// exactly pi and pi/2, so +/-180 and +/-90 degrees survive bit for bit.
//
// A GeographyCoordinate built from a latitude and a longitude is snapped to
// the grid: it holds exactly what decoding its encoding gives, so packing and
// unpacking return the same doubles. Longitudes beyond +/-pi are normalized
// before encoding; only a Packed built from a raw word can carry an extended
// longitude. Either both fields are NaN (invalid) or neither is; NaN,
// an infinite longitude and a latitude beyond +/-pi/2 give the invalid
// coordinate and encoding.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <utility>

#include "ostrel/core/constants.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/hasher.hpp"
#include "ostrel/core/internal/numerics.hpp"
#include "ostrel/core/latitude.hpp"
#include "ostrel/core/longitude.hpp"

namespace ostrel {
namespace detail {

// Compile-time ceiling of a positive double below 2^62.
constexpr std::uint64_t CeilPositive(double x) {
  auto truncated = static_cast<std::uint64_t>(x);
  return static_cast<double>(truncated) < x ? truncated + 1 : truncated;
}

// Compile-time llround (half away from zero) of a non-negative double.
constexpr std::uint64_t RoundHalfAwayPositive(double x) {
  auto truncated = static_cast<std::uint64_t>(x);
  return x - static_cast<double>(truncated) >= 0.5 ? truncated + 1 : truncated;
}

// The constants of the geographic grid. They are derived by exact IEEE
// arithmetic from the latitude step count and the maximum extended longitude,
// and evaluated once, when the library is compiled and loaded.
struct GeographyGrid {
  static constexpr std::uint64_t kLatitudeSteps = 1476620779;
  static constexpr double kLatitudeUnitsPerRadian = 1476620779.0 * 0.6366197723675814;
  static constexpr double kMaxExtendedLongitude = 3.3223214976338054;
  static constexpr std::uint64_t kLongitudeSteps =
      CeilPositive(1476620779.0 * kMaxExtendedLongitude / kHalfPi);
  static constexpr double kLongitudeUnitsPerRadian =
      static_cast<double>(kLongitudeSteps) / kMaxExtendedLongitude;
  static constexpr std::uint64_t kLongitudeRadix = kLongitudeSteps + 1;
  static constexpr std::uint64_t kCodeCount = kLongitudeRadix * (kLatitudeSteps + 1);
  static constexpr double kRadiansPerLatitudeUnit = 1.0 / kLatitudeUnitsPerRadian;
  static constexpr double kRadiansPerLongitudeUnit = 1.0 / kLongitudeUnitsPerRadian;
  static constexpr std::uint64_t kLongitudeCodeOfPi =
      RoundHalfAwayPositive(kLongitudeUnitsPerRadian * kPi);
  static constexpr std::uint64_t kLatitudeCodeOfHalfPi =
      RoundHalfAwayPositive(kLatitudeUnitsPerRadian * kHalfPi);
  static constexpr double kMaxTruncationError = kRadiansPerLatitudeUnit > kRadiansPerLongitudeUnit
                                                    ? kRadiansPerLatitudeUnit
                                                    : kRadiansPerLongitudeUnit;

  static constexpr std::uint64_t kLatitudeSignBit = std::uint64_t{1} << 63;
  static constexpr std::uint64_t kLongitudeSignBit = std::uint64_t{1} << 62;
  static constexpr std::uint64_t kInvalid = ~std::uint64_t{0};

  // llround of a non-negative double below 2^62, inline: truncation is one
  // instruction and x - trunc(x) is exact, so the half-away-from-zero rule is
  // kept bit for bit without a call into the maths library.
  static std::uint64_t RoundHalfAway(double x) {
    auto truncated = static_cast<std::int64_t>(x);
    return static_cast<std::uint64_t>(truncated) +
           (x - static_cast<double>(truncated) >= 0.5 ? 1 : 0);
  }
  // Codes of |latitude| and |longitude|, both already in range.
  static std::uint64_t LatitudeCode(double abs_latitude) {
    return RoundHalfAway(kLatitudeUnitsPerRadian * abs_latitude);
  }
  static std::uint64_t LongitudeCode(double abs_longitude) {
    return RoundHalfAway(kLongitudeUnitsPerRadian * abs_longitude);
  }
  // The magnitude with its sign bit replaced by `sign` (0 or the sign bit):
  // hemispheres are random in real data, so no branch.
  static double WithSign(double magnitude, std::uint64_t sign) {
    return std::bit_cast<double>(std::bit_cast<std::uint64_t>(magnitude) | sign);
  }
  // The sign bit of x when `code` is not 0, else 0: code 0 never carries a sign.
  static std::uint64_t SignUnlessZero(double x, std::uint64_t code) {
    return code != 0 ? std::bit_cast<std::uint64_t>(x) & kLatitudeSignBit : 0;
  }
  static double LatitudeOfCode(std::uint64_t code) {
    return code == kLatitudeCodeOfHalfPi ? kHalfPi
                                         : static_cast<double>(code) * kRadiansPerLatitudeUnit;
  }
  static double LongitudeOfCode(std::uint64_t code) {
    return code == kLongitudeCodeOfPi ? kPi : static_cast<double>(code) * kRadiansPerLongitudeUnit;
  }
  // Whether a latitude and a longitude have a grid code, normalizing the
  // longitude when it lies beyond +/-pi. NaN has none, nor has an infinite
  // longitude (it normalizes to NaN), nor a latitude beyond +/-pi/2, which
  // only the unchecked Latitude(double) can hold: all give the invalid
  // encoding rather than a meaningless word.
  static bool Encodable(double latitude, double& longitude) {
    if (IsNaN(latitude) || IsNaN(longitude) || std::fabs(latitude) > kHalfPi) return false;
    if (longitude > kPi || -kPi > longitude) {
      longitude = Radians(longitude).Normalize().Get();
      return !IsNaN(longitude);
    }
    return true;
  }
};

static_assert(GeographyGrid::kLongitudeSteps == 3123134983);
static_assert(GeographyGrid::kLongitudeRadix == 3123134984);
static_assert(GeographyGrid::kCodeCount == 4611686016119367520);
static_assert(GeographyGrid::kLongitudeCodeOfPi == 2953241559);
static_assert(GeographyGrid::kLatitudeCodeOfHalfPi == 1476620779);

}  // namespace detail

class GeographyCoordinate {
 public:
  class OSTREL_EXPORT Packed {
   public:
    Packed() = default;
    Packed(Latitude const& latitude, Longitude const& longitude) {
      using G = detail::GeographyGrid;
      double lat = latitude.Get().Get();
      double lon = longitude.Get().Get();
      if (!G::Encodable(lat, lon)) return;
      std::uint64_t lon_code = G::LongitudeCode(std::fabs(lon));
      std::uint64_t lat_code = G::LatitudeCode(std::fabs(lat));
      word_ = (lat_code * G::kLongitudeRadix + lon_code) | G::SignUnlessZero(lat, lat_code) |
              (G::SignUnlessZero(lon, lon_code) >> 1);
    }
    Packed(Longitude const& longitude, Latitude const& latitude) : Packed(latitude, longitude) {}

    // Reconstitutes an encoding. Throws std::invalid_argument when the word,
    // sign bits cleared, is not a valid code (the invalid word included).
    Packed(unsigned long long encoded) : word_(encoded) {
      using G = detail::GeographyGrid;
      if ((word_ & ~(G::kLatitudeSignBit | G::kLongitudeSignBit)) >= G::kCodeCount) {
        ThrowInvalidBitPattern();
      }
    }

    unsigned long long GetEncoded() const { return word_; }
    bool IsValid() const { return word_ != detail::GeographyGrid::kInvalid; }

    std::pair<Latitude, Longitude> GetLatLon() const {
      using G = detail::GeographyGrid;
      if (word_ == G::kInvalid) return {Latitude(), Longitude()};
      std::uint64_t code = word_ & ~(G::kLatitudeSignBit | G::kLongitudeSignBit);
      std::uint64_t lat_code = code / G::kLongitudeRadix;
      std::uint64_t lon_code = code - lat_code * G::kLongitudeRadix;
      double lat = G::WithSign(G::LatitudeOfCode(lat_code), word_ & G::kLatitudeSignBit);
      double lon = G::WithSign(G::LongitudeOfCode(lon_code), (word_ << 1) & G::kLatitudeSignBit);
      return {Latitude(lat), Longitude(lon)};
    }

    Hasher& Hash(Hasher& h) const { return detail::HasherAccess::Add(h, word_); }

   private:
    [[noreturn]] static void ThrowInvalidBitPattern();

    unsigned long long word_ = detail::GeographyGrid::kInvalid;
  };

  GeographyCoordinate() = default;
  GeographyCoordinate(Latitude const& latitude, Longitude const& longitude) {
    using G = detail::GeographyGrid;
    double lat = latitude.Get().Get();
    double lon = longitude.Get().Get();
    if (!G::Encodable(lat, lon)) return;
    std::uint64_t lat_code = G::LatitudeCode(std::fabs(lat));
    std::uint64_t lon_code = G::LongitudeCode(std::fabs(lon));
    latitude_ = G::WithSign(G::LatitudeOfCode(lat_code), G::SignUnlessZero(lat, lat_code));
    longitude_ = G::WithSign(G::LongitudeOfCode(lon_code), G::SignUnlessZero(lon, lon_code));
  }
  GeographyCoordinate(Longitude const& longitude, Latitude const& latitude)
      : GeographyCoordinate(latitude, longitude) {}
  GeographyCoordinate(Packed packed) {
    if (!packed.IsValid()) return;
    auto [lat, lon] = packed.GetLatLon();
    latitude_ = lat.Get().Get();
    longitude_ = lon.Get().Get();
  }

  Latitude GetLatitude() const { return Latitude(latitude_); }
  Longitude GetLongitude() const { return Longitude(longitude_); }
  bool IsValid() const { return !detail::IsNaN(latitude_) && !detail::IsNaN(longitude_); }

  bool operator==(GeographyCoordinate const& o) const {
    return latitude_ == o.latitude_ && longitude_ == o.longitude_;
  }
  bool operator!=(GeographyCoordinate const& o) const { return !(*this == o); }

  static Longitude GetMaxExtendedLongitude() {
    return Longitude(detail::GeographyGrid::kMaxExtendedLongitude);
  }
  static Radians GetMaxTruncationError() {
    return Radians(detail::GeographyGrid::kMaxTruncationError);
  }

 private:
  double latitude_ = detail::kNaN;
  double longitude_ = detail::kNaN;
};

OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, GeographyCoordinate const& c);
OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, GeographyCoordinate::Packed const& p);
OSTREL_EXPORT std::string to_string(GeographyCoordinate const& c);
OSTREL_EXPORT std::string to_string(GeographyCoordinate::Packed const& p);

}  // namespace ostrel

// "lon lat" in degrees (_geog) or radians (_rgeog), read by stream
// extraction; the latitude is range-checked (std::out_of_range). Length 0
// gives the invalid coordinate.
OSTREL_EXPORT ostrel::GeographyCoordinate operator""_geog(char const* text, std::size_t length);
OSTREL_EXPORT ostrel::GeographyCoordinate operator""_rgeog(char const* text, std::size_t length);
