// Format information: the process-unique identifier and display name of a
// storage format or value kind.
//
// Identifiers come from one process-wide atomic counter, in the order in
// which kinds are first asked for their information, and stay fixed for the
// rest of the process. Operations key format-specific handlers by them.
#pragma once

#include <string>
#include <utility>

#include "ostrel/core/export.hpp"

namespace ostrel {

// (identifier, name + ":" + identifier), for example (3, "LegacyFormat:3").
using FormatInfo = std::pair<unsigned int const, std::string const>;

struct OSTREL_EXPORT FormatInfos {
  // Takes the next identifier n from the counter and returns
  // (n, name + ":" + n). Every call makes a new identifier.
  static FormatInfo Make(char const* name);
};

}  // namespace ostrel
