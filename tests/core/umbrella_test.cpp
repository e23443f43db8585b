// <ostrel/ostrel.hpp> includes every public header (scripts/umbrella writes
// it), and compiles on its own.
#include "ostrel/ostrel.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

TEST(Umbrella, IncludesEveryPublicHeader) {
  namespace fs = std::filesystem;
  fs::path const root = fs::path(OSTREL_SOURCE_DIR) / "include";
  std::ifstream in(root / "ostrel" / "ostrel.hpp");
  std::stringstream text;
  text << in.rdbuf();
  int headers = 0;
  for (auto const& entry : fs::recursive_directory_iterator(root / "ostrel")) {
    std::string const path = fs::relative(entry.path(), root).generic_string();
    if (entry.path().extension() != ".hpp" || path == "ostrel/ostrel.hpp" ||
        path.find("/internal/") != std::string::npos) {
      continue;
    }
    ++headers;
    EXPECT_NE(text.str().find("#include \"" + path + "\""), std::string::npos)
        << path << " is missing: run scripts/umbrella";
  }
  EXPECT_GT(headers, 30);
}

}  // namespace
