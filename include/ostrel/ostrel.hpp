// The whole public interface of ostrel in one include.
#pragma once

#include "ostrel/core/angle.hpp"
#include "ostrel/core/atomic_uint64.hpp"
#include "ostrel/core/constants.hpp"
#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/core/hasher.hpp"
#include "ostrel/core/latitude.hpp"
#include "ostrel/core/longitude.hpp"
#include "ostrel/core/memory_resource.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/core/srid.hpp"
#include "ostrel/core/unit.hpp"
