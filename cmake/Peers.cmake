# Peer libraries used only by tests and benchmarks, as independent oracles and
# as the competition to measure against. None of them is linked into the
# library. Each defines an interface target `ostrel_peer_<name>` (empty when
# the package is missing) and OSTREL_HAVE_<NAME>=1 when it is found, so a test
# that needs a peer can say so with GTEST_SKIP instead of failing to build.
# scripts/install-deps installs all of them.

function(ostrel_peer name)
  add_library(ostrel_peer_${name} INTERFACE)
endfunction()

# GeographicLib: geodesics and geocentric positions on the ellipsoid.
ostrel_peer(geographiclib)
find_library(OSTREL_GEOGRAPHICLIB_LIBRARY NAMES GeographicLib)
find_path(OSTREL_GEOGRAPHICLIB_INCLUDE GeographicLib/Geocentric.hpp)
if(OSTREL_GEOGRAPHICLIB_LIBRARY AND OSTREL_GEOGRAPHICLIB_INCLUDE)
  target_link_libraries(ostrel_peer_geographiclib INTERFACE ${OSTREL_GEOGRAPHICLIB_LIBRARY})
  target_include_directories(ostrel_peer_geographiclib SYSTEM INTERFACE ${OSTREL_GEOGRAPHICLIB_INCLUDE})
  target_compile_definitions(ostrel_peer_geographiclib INTERFACE OSTREL_HAVE_GEOGRAPHICLIB=1)
endif()

# GEOS: planar predicates, prepared geometry, STRtree, simplifiers.
ostrel_peer(geos)
find_package(GEOS CONFIG QUIET)
if(TARGET GEOS::geos)
  target_link_libraries(ostrel_peer_geos INTERFACE GEOS::geos)
  target_compile_definitions(ostrel_peer_geos INTERFACE OSTREL_HAVE_GEOS=1 USE_UNSTABLE_GEOS_CPP_API)
endif()

# S2: spherical geometry (great circles on a sphere). Not in sanitizer
# builds: under a sanitizer abseil's headers lay out their B-tree nodes
# differently from the uninstrumented libs2 that shares them, and S2's index
# lookups then never end.
ostrel_peer(s2)
find_library(OSTREL_S2_LIBRARY NAMES s2)
find_path(OSTREL_S2_INCLUDE s2/s2latlng_rect_bounder.h)
find_package(absl CONFIG QUIET)
if(OSTREL_S2_LIBRARY AND OSTREL_S2_INCLUDE AND absl_FOUND
   AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
  target_link_libraries(ostrel_peer_s2 INTERFACE ${OSTREL_S2_LIBRARY}
    absl::base absl::strings absl::flat_hash_map absl::btree absl::log_severity)
  target_include_directories(ostrel_peer_s2 SYSTEM INTERFACE ${OSTREL_S2_INCLUDE})
  target_compile_definitions(ostrel_peer_s2 INTERFACE OSTREL_HAVE_S2=1)
endif()

# oneTBB: a third-party executor for the indexed join. Not under the thread
# sanitizer: the uninstrumented library's work stealing reads as races.
ostrel_peer(tbb)
find_package(TBB CONFIG QUIET)
if(TARGET TBB::tbb AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize=thread")
  target_link_libraries(ostrel_peer_tbb INTERFACE TBB::tbb)
  target_compile_definitions(ostrel_peer_tbb INTERFACE OSTREL_HAVE_TBB=1)
endif()

# Boost.Geometry (header-only): envelope, within, simplify, rtree.
ostrel_peer(boost)
find_package(Boost QUIET)
if(Boost_FOUND)
  target_include_directories(ostrel_peer_boost SYSTEM INTERFACE ${Boost_INCLUDE_DIRS})
  target_compile_definitions(ostrel_peer_boost INTERFACE OSTREL_HAVE_BOOST=1)
endif()

add_library(ostrel_peers INTERFACE)
target_link_libraries(ostrel_peers INTERFACE ostrel_peer_geographiclib ostrel_peer_geos
  ostrel_peer_s2 ostrel_peer_tbb ostrel_peer_boost)
