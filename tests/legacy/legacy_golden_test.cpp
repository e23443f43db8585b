// Every build writes the same bytes. The Natural Earth data is written in
// both families as plain streams and as compressed streams at precisions 0,
// 5, 7 and 9; the chained CRC of each set of streams and a digest of the
// hashes of the values read back are compared with the figures recorded once
// in tests/legacy/natural_earth_streams.tsv. A compiler or optimisation level
// that changes one rounding of the grid or one byte of the encoding fails
// here, naming the set.
//
// To record the figures anew (only when the encoding deliberately changes):
//   OSTREL_UPDATE_GOLDEN=1 ostrel_tests --gtest_filter=LegacyGolden.*
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "ostrel/legacy/crc.hpp"
#include "ostrel/legacy/stream.hpp"
#include "ostrel/text/owkt.hpp"
#include "support/golden_file.hpp"

namespace ostrel {
namespace {

namespace LS = LegacySerialization;
std::string const kGoldenFile = OSTREL_SOURCE_DIR "/tests/legacy/natural_earth_streams.tsv";

std::map<std::string, std::string> Compute() {
  std::map<std::string, std::string> out;
  for (char const* file : {"countries", "countries50", "cities"}) {
    for (auto [family, kind] : {std::pair{"geometry", CoordinateType::Geometry},
                                std::pair{"geography", CoordinateType::Geography}}) {
      std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + file + ".wkt");
      std::map<int, std::pair<std::uint32_t, unsigned long long>> sets;  // precision -1: plain
      for (std::string line; std::getline(in, line);) {
        SpatialPtr const value = OWKT::From(line, kind);
        for (int p : {-1, 0, 5, 7, 9}) {
          auto const bytes = p < 0
                                 ? LS::Write(*value, LS::kPlain, 0)
                                 : LS::Write(*value, LS::kCompressed, static_cast<std::int8_t>(p));
          auto& [crc, hashes] = sets[p];
          crc = LS::CRC(crc, bytes.data(), bytes.size());
          hashes = hashes * 0x100000001B3ULL + LS::Read(bytes)->GetHash();
        }
      }
      for (auto const& [p, figures] : sets) {
        std::ostringstream key, figure;
        key << file << ":" << family << ":";
        if (p < 0) {
          key << "plain";
        } else {
          key << "p" << p;
        }
        figure << std::hex << figures.first << ":" << figures.second;
        out[key.str()] = figure.str();
      }
    }
  }
  return out;
}

TEST(LegacyGolden, NaturalEarthStreamsAreTheRecordedBytes) {
  std::map<std::string, std::string> const computed = Compute();
  ASSERT_EQ(computed.size(), 30u);
  golden::Check(kGoldenFile, computed);
}

}  // namespace
}  // namespace ostrel
