// Golden files: figures a build computes, compared with those recorded once
// in the repository (key TAB figure per line), so that a compiler, an
// optimisation level or a platform that changes one bit fails loudly.
// With OSTREL_UPDATE_GOLDEN set in the environment the figures are recorded
// anew instead and the test is skipped.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

namespace ostrel::golden {

// Compares `computed` with the file at `path` (or records it); reports up to
// 20 differing keys.
inline void Check(std::string const& path, std::map<std::string, std::string> const& computed) {
  if (std::getenv("OSTREL_UPDATE_GOLDEN") != nullptr) {
    std::ofstream out(path);
    for (auto const& [key, figure] : computed) out << key << '\t' << figure << '\n';
    GTEST_SKIP() << "recorded " << computed.size() << " figures in " << path;
  }
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::map<std::string, std::string> recorded;
  for (std::string key, figure; std::getline(in, key, '\t') && std::getline(in, figure);) {
    recorded[key] = figure;
  }
  EXPECT_EQ(recorded.size(), computed.size());
  int differences = 0;
  for (auto const& [key, figure] : computed) {
    auto it = recorded.find(key);
    if (it == recorded.end() || it->second != figure) {
      if (++differences <= 20) {
        ADD_FAILURE() << key << ": computed " << figure << ", recorded "
                      << (it == recorded.end() ? "nothing" : it->second);
      }
    }
  }
  EXPECT_EQ(differences, 0);
}

}  // namespace ostrel::golden
