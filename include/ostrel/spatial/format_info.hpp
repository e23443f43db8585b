// Format information: the process-unique identifier and display name of a
// storage format or value kind.
//
// Identifiers come from one process-wide atomic counter, in the order in
// which kinds are first asked for their information, and stay fixed for the
// rest of the process. Operations key format-specific handlers by them.
//
// Each kind's registered information (GetRegisteredFormatInfo() of the
// format classes) is made once and never destroyed; its name string comes
// from the global heap, not from a MemoryResource, because it outlives any
// resource an engine might install.
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
