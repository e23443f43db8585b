#include "ostrel/serialization/bias_tracker.hpp"

#include <stdexcept>

namespace ostrel {

BiasTracker& BiasTracker::ForThisThread() {
  thread_local BiasTracker tracker;
  return tracker;
}

void BiasTracker::Activate(GeometryCoordinate::Bias* target) {
  if (state_ == State::Armed || state_ == State::Set) {
    throw std::runtime_error("bias tracker was not reset after use");
  }
  target_ = target;
  if (state_ == State::Inactive) state_ = State::Armed;
}

GeometryCoordinate::Bias const& BiasTracker::Arm(double x, double y) {
  if (state_ == State::Inactive) throw std::runtime_error("bias tracker is not activated");
  bias_ = GeometryCoordinate::Bias(x, y);
  state_ = State::Set;
  return bias_;
}

void BiasTracker::Deactivate() {
  if (target_ != nullptr) *target_ = bias_;
  target_ = nullptr;
  if (state_ != State::Fixed) {
    bias_ = GeometryCoordinate::Bias::None();
    state_ = State::Inactive;
  }
}

void BiasTracker::Fix(GeometryCoordinate::Bias const& bias) {
  bias_ = bias;
  state_ = State::Fixed;
}

void BiasTracker::Unfix() {
  if (state_ != State::Fixed) return;
  bias_ = GeometryCoordinate::Bias::None();
  state_ = State::Inactive;
}

}  // namespace ostrel
