#include "ostrel/legacy/storage.hpp"

#include "codec.hpp"
#include "decode.hpp"

namespace ostrel::LegacySerialization::detail {

template <class C>
LegacyLineOwner<C>::~LegacyLineOwner() = default;

template <class C>
C LegacyLineOwner<C>::CoordinateInLine(unsigned int, unsigned int point) const {
  return ostrel::detail::Unpack(coordinates_[point], GeometryCoordinate::Bias::None());
}

template <class C>
LegacyRingOwner<C>::~LegacyRingOwner() = default;

template <class C>
C LegacyRingOwner<C>::CoordinateInRingOfPoly(unsigned int, unsigned int, unsigned int point) const {
  return ostrel::detail::Unpack(coordinates_[point], GeometryCoordinate::Bias::None());
}

namespace {

// The coordinates of a record, on the memory resource of its bytes. A
// compressed ring stores all but its closing coordinate; one that stores
// none is empty, and a count of 1 cannot be a compressed ring.
template <class C>
ResourceVector<typename C::Packed> Decode(ResourceVector<std::uint8_t> const& bytes,
                                          std::uint32_t count, bool compressed,
                                          std::int8_t precision, bool ring) {
  using Packed = typename C::Packed;
  ResourceVector<Packed> out{ResourceAllocator<Packed>(bytes.get_allocator().GetResource())};
  if (count == 0) return out;
  std::uint8_t const* const begin = bytes.data();
  std::uint8_t const* const end = begin + bytes.size();
  std::uint32_t const encoded = compressed && ring ? count - 1 : count;
  if (compressed && ring && encoded == 0) codec::ThrowMalformedSection();
  // Check the count against the bytes before reserving for it.
  if (encoded > bytes.size() / (compressed ? 2 : 16)) codec::ThrowEndOfStream();
  out.reserve(count);
  auto const sink = [&out](Packed p) { out.push_back(p); };
  if (!compressed) {
    codec::DecodePlain<C>(begin, end, encoded, sink);
  } else {
    codec::DecodeCompressed<C>(begin, end, encoded, precision, sink);
    if (ring) out.push_back(out.front());
  }
  return out;
}

template <class Owner, class Vector>
std::shared_ptr<Owner const> MakeOwner(Vector&& coordinates) {
  ResourceAllocator<Owner> allocator(coordinates.get_allocator().GetResource());
  return std::allocate_shared<Owner>(allocator, std::move(coordinates));
}

}  // namespace

// ---- SerializedLine -----------------------------------------------------------

// Copies do not share the decoded owner: its control block belongs to the
// resource of the source's bytes, which may go before the copy does.
template <class C>
SerializedLine<C>::SerializedLine(SerializedLine const& other)
    : bytes(other.bytes),
      count(other.count),
      box(other.box),
      hash(other.hash),
      compressed(other.compressed),
      precision(other.precision) {}

template <class C>
SerializedLine<C>::SerializedLine(SerializedLine&& other)
    : bytes(std::move(other.bytes)),
      count(other.count),
      box(other.box),
      hash(std::move(other.hash)),
      compressed(other.compressed),
      precision(other.precision) {
  std::lock_guard lock(other.mutex_);
  decoded_ = std::move(other.decoded_);
  other.count = 0;
}

template <class C>
SerializedLine<C>& SerializedLine<C>::operator=(SerializedLine const& other) {
  if (this == &other) return *this;
  SerializedLine copy(other);
  return *this = std::move(copy);
}

template <class C>
SerializedLine<C>& SerializedLine<C>::operator=(SerializedLine&& other) {
  if (this == &other) return *this;
  std::weak_ptr<LegacyLineOwner<C> const> decoded;
  {
    std::lock_guard lock(other.mutex_);
    decoded = std::move(other.decoded_);
  }
  bytes.swap(other.bytes);
  other.bytes.clear();
  count = other.count;
  other.count = 0;
  box = other.box;
  hash = std::move(other.hash);
  compressed = other.compressed;
  precision = other.precision;
  std::lock_guard lock(mutex_);
  decoded_.swap(decoded);  // the old reference goes with `decoded`, after the lock
  return *this;
}

template <class C>
SerializedLine<C>::~SerializedLine() = default;

template <class C>
std::shared_ptr<LegacyLineOwner<C> const> SerializedLine<C>::GetOwner() const {
  std::lock_guard lock(mutex_);
  if (auto owner = decoded_.lock()) return owner;
  auto owner = MakeOwner<LegacyLineOwner<C>>(
      Decode<C>(bytes, count, compressed != 0, precision, /*ring=*/false));
  decoded_ = owner;
  return owner;
}

// ---- SerializedRing -----------------------------------------------------------

template <class C>
SerializedRing<C>::SerializedRing(SerializedRing const& other)
    : bytes(other.bytes), count(other.count), box(other.box), hash(other.hash) {}

template <class C>
SerializedRing<C>::SerializedRing(SerializedRing&& other)
    : bytes(std::move(other.bytes)),
      count(other.count),
      box(other.box),
      hash(std::move(other.hash)) {
  std::lock_guard lock(other.mutex_);
  decoded_ = std::move(other.decoded_);
  other.count = 0;
}

template <class C>
SerializedRing<C>& SerializedRing<C>::operator=(SerializedRing const& other) {
  if (this == &other) return *this;
  SerializedRing copy(other);
  return *this = std::move(copy);
}

template <class C>
SerializedRing<C>& SerializedRing<C>::operator=(SerializedRing&& other) {
  if (this == &other) return *this;
  std::weak_ptr<LegacyRingOwner<C> const> decoded;
  {
    std::lock_guard lock(other.mutex_);
    decoded = std::move(other.decoded_);
  }
  bytes.swap(other.bytes);
  other.bytes.clear();
  count = other.count;
  other.count = 0;
  box = other.box;
  hash = std::move(other.hash);
  std::lock_guard lock(mutex_);
  decoded_.swap(decoded);
  return *this;
}

template <class C>
SerializedRing<C>::~SerializedRing() = default;

template <class C>
std::shared_ptr<LegacyRingOwner<C> const> SerializedRing<C>::GetOwner(
    bool is_compressed, std::int8_t grid_precision) const {
  std::lock_guard lock(mutex_);
  if (auto owner = decoded_.lock()) return owner;
  auto owner = MakeOwner<LegacyRingOwner<C>>(
      Decode<C>(bytes, count, is_compressed, grid_precision, /*ring=*/true));
  decoded_ = owner;
  return owner;
}

template class LegacyLineOwner<GeometryCoordinate>;
template class LegacyLineOwner<GeographyCoordinate>;
template class LegacyRingOwner<GeometryCoordinate>;
template class LegacyRingOwner<GeographyCoordinate>;
template class SerializedLine<GeometryCoordinate>;
template class SerializedLine<GeographyCoordinate>;
template class SerializedRing<GeometryCoordinate>;
template class SerializedRing<GeographyCoordinate>;

}  // namespace ostrel::LegacySerialization::detail
