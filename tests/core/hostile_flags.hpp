// Coordinate operations compiled with -O3 -ffast-math -ffp-contract=fast
// (hostile_flags.cpp), for comparison with the same inline code compiled
// with the project's flags.
#pragma once

#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"

namespace ostrel::hostile {

GeometryCoordinate Snap(double x, double y, GeometryCoordinate::Bias const& bias);
GeometryCoordinate::Packed Pack(double x, double y, GeometryCoordinate::Bias const& bias);
bool IsValid(GeometryCoordinate const& c);
GeographyCoordinate Snap(double latitude, double longitude);
unsigned long long Encode(double latitude, double longitude);
GeographyCoordinate Decode(unsigned long long word);
bool IsValid(GeographyCoordinate const& c);

}  // namespace ostrel::hostile
