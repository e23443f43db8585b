// IndexedIntersects: the join of two collections of values, every pair
// (item of the first input, item of the second) for which
// Intersects::Calculate is true (polygons against points).
//
// The boxes of the smaller input (the second on a tie) go into a spatial
// index (an R-tree of 16 entries per node whose nodes come from the memory
// resource current at the call); the boxes of the other input query it for
// candidate pairs, and the exact test runs on the candidates only. Boxes: one
// per point, one per polygon from its cached bounds (two, [west, +pi] and
// [-pi, east], for geographic bounds across the antimeridian; geographic
// boxes are over longitude and latitude in radians); lines have none.
// Candidates repeat only when an item has several points or polygons, and
// only then are they made distinct.
//
// The three phases run on the executor given to the constructor, one call
// each: the build over the indexed items, the query over the other items,
// and the exact test over the candidate pairs, one task per pair. Called
// with a count n and a task, the executor must call the task once for every
// index in [0, n), in any order and on any threads, and return only when all
// calls have finished (so that the calls happen before its return). The
// library starts no threads. Tasks share no lock per item; each thread that
// runs tasks keeps its own buffers. A query task may also call Input::Get
// for an item a few indices ahead, to prefetch its value.
//
// Inputs and matches: Input::Get(i) is called concurrently and must be safe
// for concurrent reads (null means item i is absent); Matches::Add is called
// concurrently when the executor runs tasks concurrently, without any lock of
// the library's, so the implementation must synchronize it. Pairs are always
// (index in the first input, index in the second), whichever was indexed,
// each reported once, in no particular order.
//
// The overload with prior pairs reports those pairs of `prior` that
// intersect (pairs naming items beyond either input are ignored; an empty
// prior reports nothing and calls no executor).
//
// Errors: an empty executor throws std::bad_function_call; a tree node that
// cannot be allocated std::runtime_error "boost::geometry::index::rtree node
// creation failed"; errors of the bounds caches, pole containment and
// Intersects::Calculate, and of the inputs, propagate through the executor as
// it lets them. BasicServices::Register must have run. Each call builds and
// releases its own index; the object keeps only the executor, so one object
// may serve many joins, also concurrently.
#pragma once

#include <functional>
#include <utility>

#include "ostrel/core/export.hpp"
#include "ostrel/spatial/spatial.hpp"

namespace ostrel {

class OSTREL_EXPORT IndexedIntersects {
 public:
  using Executor = std::function<void(unsigned, std::function<void(unsigned)>)>;

  class OSTREL_EXPORT Input {
   public:
    Input() = default;
    Input(Input const&) = default;
    Input& operator=(Input const&) = default;
    virtual ~Input();
    // Item i, or null when it is absent.
    virtual Spatial const* Get(unsigned i) const = 0;
    virtual unsigned Size() const = 0;
  };

  class OSTREL_EXPORT Matches {
   public:
    Matches() = default;
    Matches(Matches const&) = default;
    Matches& operator=(Matches const&) = default;
    virtual ~Matches();
    // Pair k: (index in the first input, index in the second).
    virtual std::pair<unsigned, unsigned> Get(unsigned k) const = 0;
    virtual void Add(std::pair<unsigned, unsigned> match) = 0;
    virtual unsigned Size() const = 0;
  };

  explicit IndexedIntersects(Executor executor) : executor_(std::move(executor)) {}

  // Adds to `out` every intersecting pair of a and b.
  void operator()(Input const& a, Input const& b, Matches& out) const;
  // Adds to `out` the pairs of `prior` that intersect.
  void operator()(Input const& a, Input const& b, Matches& out, Matches const& prior) const;

 private:
  Executor executor_;
};

}  // namespace ostrel
