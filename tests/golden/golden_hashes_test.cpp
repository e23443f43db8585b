// Every build computes the same bits. The Natural Earth data is read in this
// build, in both families, and for every value its hash and a digest of its
// OWKT text are compared with the figures recorded once in
// tests/golden/natural_earth.tsv. A compiler, optimisation level or
// sanitizer that changes one rounding anywhere fails here loudly, naming the
// value.
//
// To record the figures anew (only when the definition of a hash or text
// deliberately changes), run the test binary with
//   OSTREL_UPDATE_GOLDEN=1 ostrel_tests --gtest_filter=GoldenHashes.*
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "ostrel/text/owkt.hpp"
#include "support/golden_file.hpp"

namespace ostrel {
namespace {

std::string const kGoldenFile = OSTREL_SOURCE_DIR "/tests/golden/natural_earth.tsv";

// 64-bit FNV-1a of a text.
std::uint64_t Digest(std::string const& text) {
  std::uint64_t h = 0xCBF29CE484222325ULL;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001B3ULL;
  return h;
}

std::string Hex(std::uint64_t v) {
  std::ostringstream out;
  out << std::hex << v;
  return out.str();
}

// key -> figure, for every value of the data: "<file>:<line>:<family>:<what>".
std::map<std::string, std::string> Compute() {
  std::map<std::string, std::string> out;
  for (char const* file : {"countries", "countries50", "cities"}) {
    std::ifstream in(std::string(OSTREL_DATA_DIR) + "/" + file + ".wkt");
    int number = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      for (auto [family, kind] : {std::pair{"geometry", CoordinateType::Geometry},
                                  std::pair{"geography", CoordinateType::Geography}}) {
        std::string const key = std::string(file) + ":" + std::to_string(number) + ":" + family;
        SpatialPtr value = OWKT::From(line, kind);
        out[key + ":hash"] = Hex(value->GetHash());
        out[key + ":owkt"] = Hex(Digest(OWKT::To(*value)));
      }
    }
  }
  return out;
}

TEST(GoldenHashes, NaturalEarthReadsToTheRecordedBits) {
  std::map<std::string, std::string> const computed = Compute();
  ASSERT_GT(computed.size(), 2000u) << "data files missing";
  golden::Check(kGoldenFile, computed);
}

}  // namespace
}  // namespace ostrel
