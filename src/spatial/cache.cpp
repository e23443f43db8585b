#include "ostrel/spatial/cache.hpp"

#include <stdexcept>

namespace ostrel::detail {

void ThrowZeroCacheSize() {
  throw std::invalid_argument("Cannot create cache with maximum size of 0");
}

}  // namespace ostrel::detail
