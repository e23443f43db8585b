// Spatial: the abstract base of every value of the library.
//
// A value is one of four kinds, told apart by GetCoordinateType(): Unknown
// (content not modelled), Identifying (carries a 64-bit identifier only),
// Geometry (planar) and Geography (ellipsoidal). Geometry and Geography are
// abstract; each storage format supplies a concrete class of each, and every
// reader, writer and operation works through these virtual interfaces only.
//
// The one field of the hierarchy above the format classes is the cached
// hash: 0 means "not computed yet". GetHash() is the only operation that
// writes, and only that cache, under the value's own lock; a value is
// otherwise immutable and may be read from many threads. Equality of values
// is equality of their hashes.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "ostrel/core/atomic_uint64.hpp"
#include "ostrel/core/enumerations.hpp"
#include "ostrel/core/export.hpp"
#include "ostrel/core/hasher.hpp"
#include "ostrel/spatial/format_info.hpp"
#include "ostrel/spatial/spatial_ptr.hpp"

namespace ostrel {

class Geometry;
class Geography;
class Unknown;
class Identifying;

class OSTREL_EXPORT Spatial {
 public:
  Spatial() = default;
  Spatial(Spatial const&) = default;
  Spatial(Spatial&&) = default;  // takes the cached hash; the source's becomes 0
  Spatial& operator=(Spatial const&) = default;
  Spatial& operator=(Spatial&&) = default;
  virtual ~Spatial();

  virtual CoordinateType GetCoordinateType() const = 0;
  virtual ShapeType GetShapeType() const = 0;
  virtual FormatInfo const& GetFormatInfo() const = 0;

  // This value as the named kind; std::logic_error ("not a Geometry", "not
  // a Geography", "not an Unknown", "not an Identifying") when it is not.
  virtual Geometry const& AsGeometry() const;
  virtual Geography const& AsGeography() const;
  virtual Unknown const& AsUnknown() const;
  virtual Identifying const& AsIdentifying() const;

  // The value's hash: coordinate type and shape type as raw words, then the
  // kind's own content (DoHash), finished. Cached after the first call,
  // unless it finishes as 0.
  unsigned long long GetHash() const;

  bool IsUnknown() const { return GetCoordinateType() == CoordinateType::Unknown; }
  bool IsIdentifying() const { return GetCoordinateType() == CoordinateType::Identifying; }
  bool IsGeometry() const { return GetCoordinateType() == CoordinateType::Geometry; }
  bool IsGeography() const { return GetCoordinateType() == CoordinateType::Geography; }

  bool operator==(Spatial const& other) const { return GetHash() == other.GetHash(); }
  bool operator!=(Spatial const& other) const { return !(*this == other); }

 protected:
  Spatial(unsigned long long hash) : hash_(hash) {}

  // Adds the kind's content to a hasher that already holds the coordinate
  // and shape types.
  virtual void DoHash(Hasher& hasher) const = 0;

  // Exchanges the cached hashes; formats swap their own storage around it.
  void Swap(Spatial& other) { hash_.swap(other.hash_); }

 private:
  mutable AtomicUInt64 hash_;
};

// Shape type (for planar and geographic values), coordinate type, then ":"
// and the hash unless the value is Unknown: "PointGeometry:1234",
// "Identifying:42", "Unknown".
OSTREL_EXPORT std::ostream& operator<<(std::ostream& os, Spatial const& value);
OSTREL_EXPORT std::string to_string(Spatial const& value);

}  // namespace ostrel
