// Links against the installed library and checks a few values end to end.
#include <cstdio>

#include <ostrel/ostrel.hpp>

int main() {
  using namespace ostrel;
  GeographyCoordinate::Packed packed(90_lat, 180_lon);
  if (packed.GetEncoded() != 0x3FFFFFFF6C4E092Full) {
    std::puts("consumer: unexpected encoding");
    return 1;
  }
  if (to_string(SRID::WGS84()) != "EPSG:4326") {
    std::puts("consumer: unexpected SRID text");
    return 1;
  }
  std::printf("consumer: ok (%s)\n", to_string(GeographyCoordinate(packed)).c_str());
  return 0;
}
