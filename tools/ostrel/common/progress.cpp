#include "common/progress.hpp"

#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace ostrel_tool {

Progress::Progress() : enabled_(::isatty(STDERR_FILENO) == 1) { Start(); }

void Progress::Start() { start_ = last_ = std::chrono::steady_clock::now(); }

void Progress::Draw(std::uint64_t values, std::uint64_t bytes) {
  auto const now = std::chrono::steady_clock::now();
  std::chrono::duration<double> const elapsed = now - start_;
  if (elapsed.count() < 1.0 || now - last_ < std::chrono::milliseconds(250)) return;
  last_ = now;
  std::cout.flush();  // rows already written come before the progress line
  char line[160];
  std::snprintf(line, sizeof line, "\r\033[Kostrel: %llu values, %.1f MB, %.0f values/s",
                static_cast<unsigned long long>(values), static_cast<double>(bytes) / 1e6,
                static_cast<double>(values) / elapsed.count());
  std::cerr << line << std::flush;
  shown_ = true;
}

void Progress::Erase() {
  std::cerr << "\r\033[K" << std::flush;
  shown_ = false;
}

}  // namespace ostrel_tool
