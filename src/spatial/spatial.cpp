#include <atomic>
#include <ostream>
#include <stdexcept>
#include <string>

#include "detail/stream_text.hpp"
#include "ostrel/core/internal/no_destructor.hpp"
#include "ostrel/spatial/default_format.hpp"
#include "ostrel/spatial/identifying.hpp"
#include "ostrel/spatial/spatial.hpp"
#include "ostrel/spatial/unknown.hpp"

namespace ostrel {

namespace {
constinit std::atomic<unsigned int> next_format_identifier{0};
}  // namespace

FormatInfo FormatInfos::Make(char const* name) {
  unsigned int id = next_format_identifier.fetch_add(1, std::memory_order_relaxed);
  return FormatInfo(id, std::string(name) + ":" + std::to_string(id));
}

FormatInfo const& Unknown::GetRegisteredFormatInfo() {
  static detail::NoDestructor<FormatInfo const> info(FormatInfos::Make("Unknown"));
  return *info;
}

FormatInfo const& Identifying::GetRegisteredFormatInfo() {
  static detail::NoDestructor<FormatInfo const> info(FormatInfos::Make("Identifying"));
  return *info;
}

FormatInfo const& DefaultFormat::GetRegisteredFormatInfo() {
  static detail::NoDestructor<FormatInfo const> info(FormatInfos::Make("DefaultFormat"));
  return *info;
}

Spatial::~Spatial() = default;

Geometry const& Spatial::AsGeometry() const { throw std::logic_error("not a Geometry"); }
Geography const& Spatial::AsGeography() const { throw std::logic_error("not a Geography"); }
Unknown const& Spatial::AsUnknown() const { throw std::logic_error("not an Unknown"); }
Identifying const& Spatial::AsIdentifying() const { throw std::logic_error("not an Identifying"); }

unsigned long long Spatial::GetHash() const {
  unsigned long long cached = hash_.load();
  if (cached != 0) return cached;
  Hasher hasher;
  detail::HasherAccess::Add(hasher, static_cast<unsigned long long>(GetCoordinateType()));
  detail::HasherAccess::Add(hasher, static_cast<unsigned long long>(GetShapeType()));
  DoHash(hasher);
  return hash_.store(hasher.End());
}

std::ostream& operator<<(std::ostream& os, Spatial const& value) {
  CoordinateType type = value.GetCoordinateType();
  if (type != CoordinateType::Unknown && type != CoordinateType::Identifying) {
    os << value.GetShapeType();
  }
  type = value.GetCoordinateType();
  os << type;
  if (type != CoordinateType::Unknown) os << ":" << value.GetHash();
  return os;
}

std::string to_string(Spatial const& value) { return detail::StreamText(value); }

}  // namespace ostrel
