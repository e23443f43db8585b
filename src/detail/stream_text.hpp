// The text of a value as operator<< writes it into a fresh string stream,
// with the default settings (precision 6, general notation): what every
// to_string of the library returns.
#pragma once

#include <sstream>
#include <string>

namespace ostrel::detail {

template <class T>
std::string StreamText(T const& value) {
  std::ostringstream os;
  os << value;
  return os.str();
}

}  // namespace ostrel::detail
