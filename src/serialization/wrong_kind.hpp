// The one failure every interchange writer (and a reader told the kind to
// read) shares: a value that is neither a Geography nor a Geometry.
#pragma once

#include <stdexcept>

namespace ostrel::detail {

[[noreturn]] inline void ThrowWrongKind() {
  throw std::invalid_argument("can only translate Geography or Geometry");
}

}  // namespace ostrel::detail
