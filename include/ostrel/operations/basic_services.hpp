// BasicServices: start-up and tear-down of the library's built-in services.
//
// Register installs, in this order, the PoleContainmentCache, the
// RectangularBoundsCache and the SphericalTrapezoidBoundsCache, each of
// 10000 entries, new CollectHandlers and EnvelopeHandlers tables, and the
// stored formats' envelope handlers and collect factory. Registering
// replaces earlier services of the same types, so a second Register leaves
// fresh, empty caches. Unregister removes everything in exactly the reverse
// order. Callers that still hold a service keep it alive.
#pragma once

#include "ostrel/core/export.hpp"

namespace ostrel {

struct OSTREL_EXPORT BasicServices {
  static void Register();
  static void Unregister();
};

}  // namespace ostrel
