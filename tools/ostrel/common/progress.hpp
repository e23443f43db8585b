// Progress of a long run on standard error: values read, megabytes and the
// rate, redrawn in place at most four times a second once a run has lasted
// a second. Shown only while standard error is a terminal, never when it is
// a file or a pipe; hidden (the line erased) before anything else is
// written, so it never mixes with values or messages.
#pragma once

#include <chrono>
#include <cstdint>

namespace ostrel_tool {

class Progress {
 public:
  Progress();

  // Starts timing a run.
  void Start();
  // Called per line: redraws when a quarter of a second has passed.
  void Update(std::uint64_t values, std::uint64_t bytes) {
    if (!enabled_ || ++calls_ % 1024 != 0) return;
    Draw(values, bytes);
  }
  // Erases the line if it is shown.
  void Hide() {
    if (shown_) Erase();
  }

 private:
  void Draw(std::uint64_t values, std::uint64_t bytes);
  void Erase();

  bool enabled_;
  bool shown_ = false;
  std::uint64_t calls_ = 0;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace ostrel_tool
