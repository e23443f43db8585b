// Counts calls of the global operator new made by the current thread while a
// GlobalAllocationCounter is alive. The test binary replaces the global
// allocation functions (global_allocations.cpp) to do this; they forward to
// malloc and free, so sanitizers still see every block.
#pragma once

#include <cstddef>

namespace ostrel::test_support {

class GlobalAllocationCounter {
 public:
  GlobalAllocationCounter();
  ~GlobalAllocationCounter();
  GlobalAllocationCounter(GlobalAllocationCounter const&) = delete;
  GlobalAllocationCounter& operator=(GlobalAllocationCounter const&) = delete;

  // Global allocations by this thread since the counter was made.
  std::size_t Count() const;

 private:
  std::size_t start_;
};

}  // namespace ostrel::test_support
