#include "ostrel/kernel/path_normalizer.hpp"

#include <cmath>

#include "ostrel/core/constants.hpp"

namespace ostrel {
namespace {

struct Subdivision {
  double step_squared;
  bool flat;
  PathNormalizer::Emit const& emit;

  void operator()(double lat1, double lon1, double lat2, double lon2) const {
    if (lat1 == lat2 && lon1 == lon2) return;
    double const dlat = lat1 - lat2;
    if (dlat * dlat <= step_squared) {
      double dlon = lon1 - lon2;
      if (!flat) dlon = Radians(dlon).Normalize().Get();
      dlon = dlon * PathNormalizer::BandFactor(lat1, flat);
      if (dlon * dlon <= step_squared) return;
    }
    double const mid_lat = (lat1 + lat2) / 2;
    double mid_lon = (lon1 + lon2) / 2;
    if (!flat && std::fabs(lon1 - lon2) > detail::kPi) {
      mid_lon = Radians(mid_lon + detail::kPi).Normalize().Get();
    }
    // Pieces as short as the doubles allow (or NaN) cannot be halved further.
    if ((mid_lat == lat1 && mid_lon == lon1) || (mid_lat == lat2 && mid_lon == lon2) ||
        mid_lat != mid_lat || mid_lon != mid_lon) {
      return;
    }
    (*this)(lat1, lon1, mid_lat, mid_lon);
    emit(std::pair<Latitude, Longitude>(Latitude(mid_lat), Longitude(mid_lon)));
    (*this)(mid_lat, mid_lon, lat2, lon2);
  }
};

}  // namespace

double PathNormalizer::BandFactor(double latitude, bool flat) {
  double const scaled = std::fabs(latitude) * 10 * 0.6366197723675814;
  // The comparisons keep NaN and values past the pole inside the table.
  int band = scaled >= 10 ? 10 : (scaled >= 0 ? static_cast<int>(scaled) : 0);
  if (flat && band == 10) band = 9;
  return kBandFactors[static_cast<std::size_t>(band)];
}

void PathNormalizer::operator()(GeographyCoordinate const& from, GeographyCoordinate const& to,
                                TopologicalType type, Emit const& emit) const {
  if (!from.IsValid() || !to.IsValid() || step_ == 0 || step_ != step_) return;
  Subdivision const subdivide{step_ * step_, type == TopologicalType::Flat, emit};
  subdivide(from.GetLatitude().Get().Get(), from.GetLongitude().Get().Get(),
            to.GetLatitude().Get().Get(), to.GetLongitude().Get().Get());
}

}  // namespace ostrel
