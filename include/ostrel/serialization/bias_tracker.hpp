// BiasTracker: gives every planar coordinate of one read value the same
// GeometryCoordinate::Bias, taken from the first coordinate read.
//
// One tracker per thread (ForThisThread), created on first use. A planar
// reader activates it with the bias field of its result as target, passes
// the raw (x, y) of every coordinate through Get and builds the coordinate
// with the bias returned, and deactivates it when reading ends, on success
// and on failure alike (Scope does both). The first Get fixes the bias of
// the whole value; a value without coordinates gets Bias::None().
//
// States and transitions:
//   Inactive (0) --Activate--> Armed (1) --first Get--> Set (2)
//   Armed/Set --Deactivate--> Inactive: the bias is written to the target,
//                             then reset to Bias::None()
//   Fixed (3): entered only through Fix; Activate, Get and Deactivate keep it
//              and its bias, until Unfix. No reader of the library enters it.
// Activate in Armed or Set throws std::runtime_error "bias tracker was not
// reset after use" (one thread cannot nest two planar reads); Get while
// Inactive throws std::runtime_error "bias tracker is not activated".
#pragma once

#include <cstdint>

#include "ostrel/core/export.hpp"
#include "ostrel/core/geometry_coordinate.hpp"

namespace ostrel {

class OSTREL_EXPORT BiasTracker {
 public:
  enum class State : std::uint8_t { Inactive = 0, Armed = 1, Set = 2, Fixed = 3 };

  // The calling thread's tracker. Look it up once per read: the hot path,
  // Get, is then a branch on the state.
  static BiasTracker& ForThisThread();

  BiasTracker() = default;
  BiasTracker(BiasTracker const&) = delete;
  BiasTracker& operator=(BiasTracker const&) = delete;

  void Activate(GeometryCoordinate::Bias* target);

  GeometryCoordinate::Bias const& Get(double x, double y) {
    if (state_ >= State::Set) return bias_;
    return Arm(x, y);
  }

  void Deactivate();

  // Every value read on this thread while fixed gets `bias`.
  void Fix(GeometryCoordinate::Bias const& bias);
  void Unfix();

  State GetState() const { return state_; }
  GeometryCoordinate::Bias const& GetBias() const { return bias_; }

  // Activates on construction and deactivates on destruction. When Activate
  // throws there is no scope, so the read in progress elsewhere on this
  // thread keeps its tracker untouched.
  class Scope {
   public:
    Scope(BiasTracker& tracker, GeometryCoordinate::Bias& target) : tracker_(tracker) {
      tracker_.Activate(&target);
    }
    ~Scope() { tracker_.Deactivate(); }
    Scope(Scope const&) = delete;
    Scope& operator=(Scope const&) = delete;

   private:
    BiasTracker& tracker_;
  };

 private:
  // Get in the states Inactive (throws) and Armed (takes the bias).
  GeometryCoordinate::Bias const& Arm(double x, double y);

  GeometryCoordinate::Bias bias_;
  State state_ = State::Inactive;
  GeometryCoordinate::Bias* target_ = nullptr;
};

}  // namespace ostrel
