#include "ostrel/operations/envelope.hpp"

#include <cstddef>
#include <stdexcept>
#include <type_traits>

#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"

namespace ostrel {

Envelope::GeometryHandler::~GeometryHandler() = default;
Envelope::GeographyHandler::~GeographyHandler() = default;
EnvelopeHandlers::~EnvelopeHandlers() = default;

std::shared_ptr<Envelope::GeometryHandler> EnvelopeHandlers::FindGeometry(
    unsigned int format) const {
  std::lock_guard lock(mutex_);
  auto it = geometry_.find(format);
  return it != geometry_.end() ? it->second : nullptr;
}

std::shared_ptr<Envelope::GeographyHandler> EnvelopeHandlers::FindGeography(
    unsigned int format) const {
  std::lock_guard lock(mutex_);
  auto it = geography_.find(format);
  return it != geography_.end() ? it->second : nullptr;
}

// The replaced handler is released outside the lock.
void EnvelopeHandlers::Set(unsigned int format, std::shared_ptr<Envelope::GeometryHandler> h) {
  std::lock_guard lock(mutex_);
  geometry_[format].swap(h);
}

void EnvelopeHandlers::Set(unsigned int format, std::shared_ptr<Envelope::GeographyHandler> h) {
  std::lock_guard lock(mutex_);
  geography_[format].swap(h);
}

void EnvelopeHandlers::Remove(unsigned int format, CoordinateType kind) {
  std::shared_ptr<void> released;
  std::lock_guard lock(mutex_);
  if (kind == CoordinateType::Geography) {
    if (auto it = geography_.find(format); it != geography_.end()) {
      released = std::move(it->second);
      geography_.erase(it);
    }
  } else if (kind == CoordinateType::Geometry) {
    if (auto it = geometry_.find(format); it != geometry_.end()) {
      released = std::move(it->second);
      geometry_.erase(it);
    }
  }
}

namespace {

// What differs between the families: the bounds class, the box of its
// corners, and the handler table.
template <class G>
struct Family;

template <>
struct Family<Geometry> {
  using Bounds = RectangularBounds;
  using Box = Envelope::GeometryBox;
  static Box BoxOf(RectangularBounds const& b) { return {b.GetMin(), b.GetMax()}; }
  static auto FindHandler(EnvelopeHandlers const& h, unsigned int f) { return h.FindGeometry(f); }
};

template <>
struct Family<Geography> {
  using Bounds = SphericalTrapezoidBounds;
  using Box = Envelope::GeographyBox;
  static Box BoxOf(SphericalTrapezoidBounds const& b) {
    return {b.GetSouthWest(), b.GetNorthEast()};
  }
  static auto FindHandler(EnvelopeHandlers const& h, unsigned int f) { return h.FindGeography(f); }
};

template <class G>
std::vector<typename Family<G>::Box> Calculate(G const& value) {
  using F = Family<G>;
  using Bounds = typename F::Bounds;
  using C = typename G::Coordinate;
  Shape<C> const& shape = value;
  auto const points = shape.GetPoints();
  auto const lines = shape.GetLines().size();
  auto const polys = shape.GetPolys().size();
  std::size_t const total = std::size_t{points.size()} + lines + polys;
  if (total >= (std::size_t{1} << 27)) throw std::length_error("vector<T> too long");

  std::vector<typename F::Box> boxes;
  boxes.reserve(total);
  for (C const& c : points) boxes.push_back(F::BoxOf(Bounds(c)));
  if (lines == 0 && polys == 0) return boxes;

  auto const handlers = ServiceRegistry::Instance().Get<EnvelopeHandlers>();
  auto const handler = F::FindHandler(*handlers, value.GetFormatInfo().first);
  auto usable = [](typename F::Box const& b) { return b.first.IsValid() && b.second.IsValid(); };
  for (unsigned int i = 0; i < lines; ++i) {
    if (handler) {
      auto stored = handler->ForLine(value, i);
      if (usable(stored)) {
        boxes.push_back(stored);
        continue;
      }
    }
    boxes.push_back(F::BoxOf(Bounds::CachedBoundsOfLine(shape, i)));
  }
  for (unsigned int i = 0; i < polys; ++i) {
    if (handler) {
      auto stored = handler->ForPoly(value, i);
      if (usable(stored)) {
        boxes.push_back(stored);
        continue;
      }
    }
    boxes.push_back(F::BoxOf(Bounds::CachedBoundsOfPoly(shape, i)));
  }
  return boxes;
}

std::shared_ptr<EnvelopeHandlers> HandlersOrCreate() {
  return ServiceRegistry::Instance().GetOrCreate<EnvelopeHandlers>(
      [] { return std::make_shared<EnvelopeHandlers>(); });
}

}  // namespace

std::vector<Envelope::GeometryBox> Envelope::Calculate(Geometry const& value) {
  return ostrel::Calculate(value);
}

std::vector<Envelope::GeographyBox> Envelope::Calculate(Geography const& value) {
  return ostrel::Calculate(value);
}

void Envelope::Register(unsigned int format, std::shared_ptr<GeometryHandler> handler) {
  HandlersOrCreate()->Set(format, std::move(handler));
}

void Envelope::Register(unsigned int format, std::shared_ptr<GeographyHandler> handler) {
  HandlersOrCreate()->Set(format, std::move(handler));
}

void Envelope::Unregister(unsigned int format, CoordinateType kind) {
  if (auto handlers = ServiceRegistry::Instance().Find<EnvelopeHandlers>()) {
    handlers->Remove(format, kind);
  }
}

}  // namespace ostrel
