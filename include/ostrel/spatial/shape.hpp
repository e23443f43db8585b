// Shape<C>: the read interface to the coordinates of a planar
// (C = GeometryCoordinate) or geographic (C = GeographyCoordinate) value,
// independent of how a storage format keeps them.
//
// Every value has three collections: free points; lines, each an ordered
// sequence of coordinates; and polys, each a sequence of rings, each ring a
// sequence of coordinates. Callers walk them through the ranges
// GetPoints(), GetLines() and GetPolys(); formats implement the protected
// counting and coordinate operations.
//
// Formats whose coordinates are not directly addressable hand out shared
// owner objects (ShapeLineOwner, ShapeRingOwner) holding the decoded
// coordinates of one line or ring; a view keeps its owner alive. When a
// format returns no owner, the shape itself serves the coordinates.
//
// Structure (enforced by formats built from coordinates, not by Shape): a
// line has at least 2 coordinates; a poly at least one ring; a ring at least
// 4 coordinates with its first equal to its last.
//
// Hashing: the count of each collection is added in order, its members
// order-independently, so permuting the points of a multi-point, the lines of
// a multi-line string or the polys of a multi-polygon keeps the hash, while
// adding or removing one changes it.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <utility>

#include "ostrel/core/export.hpp"
#include "ostrel/core/geography_coordinate.hpp"
#include "ostrel/core/geometry_coordinate.hpp"
#include "ostrel/core/hasher.hpp"

namespace ostrel {

template <class C>
class OSTREL_EXPORT ShapeLineOwner {
 public:
  virtual ~ShapeLineOwner() = default;
  virtual C CoordinateInLine(unsigned int line, unsigned int point) const = 0;
};

template <class C>
class OSTREL_EXPORT ShapeRingOwner {
 public:
  virtual ~ShapeRingOwner() = default;
  virtual C CoordinateInRingOfPoly(unsigned int poly, unsigned int ring,
                                   unsigned int point) const = 0;
};

template <class C>
class Shape;

namespace detail {

// The packed coordinates of one line or ring when a format can hand them out
// as one array (data is null otherwise), with the bias that unpacks planar
// ones. Views and hash loops read such runs directly instead of making a
// virtual call per coordinate; the coordinates are the same either way.
// `owner` keeps the array alive when a format decodes it on demand (a
// legacy value's decoded line); it is empty when the value itself owns it.
template <class C>
struct PackedRun {
  typename C::Packed const* data = nullptr;
  GeometryCoordinate::Bias bias;
  std::shared_ptr<void const> owner;
};

inline GeometryCoordinate Unpack(GeometryCoordinate::Packed packed,
                                 GeometryCoordinate::Bias const& bias) {
  return GeometryCoordinate(packed, bias);
}
inline GeographyCoordinate Unpack(GeographyCoordinate::Packed packed,
                                  GeometryCoordinate::Bias const&) {
  return GeographyCoordinate(packed);
}

// A random-access iterator over a range whose elements are computed on
// access (so they are returned by value). It holds a copy of its range (a
// few words: the shape, an index, an owner), so it stays valid when the
// range it came from was a temporary: value.GetPoints().begin() is fine.
// It is valid as long as the value it reads lives.
template <class Range>
class IndexIterator {
 public:
  using value_type = typename Range::value_type;
  using reference = value_type;
  using pointer = void;
  using difference_type = std::ptrdiff_t;
  using iterator_category = std::input_iterator_tag;
  using iterator_concept = std::random_access_iterator_tag;

  IndexIterator() = default;
  IndexIterator(Range const& range, difference_type index) : range_(range), index_(index) {}

  value_type operator*() const { return range_.At(static_cast<unsigned int>(index_)); }
  value_type operator[](difference_type n) const {
    return range_.At(static_cast<unsigned int>(index_ + n));
  }

  IndexIterator& operator++() { return ++index_, *this; }
  IndexIterator operator++(int) {
    IndexIterator old = *this;
    ++index_;
    return old;
  }
  IndexIterator& operator--() { return --index_, *this; }
  IndexIterator operator--(int) {
    IndexIterator old = *this;
    --index_;
    return old;
  }
  IndexIterator& operator+=(difference_type n) { return index_ += n, *this; }
  IndexIterator& operator-=(difference_type n) { return index_ -= n, *this; }
  friend IndexIterator operator+(IndexIterator it, difference_type n) { return it += n; }
  friend IndexIterator operator+(difference_type n, IndexIterator it) { return it += n; }
  friend IndexIterator operator-(IndexIterator it, difference_type n) { return it -= n; }
  friend difference_type operator-(IndexIterator const& a, IndexIterator const& b) {
    return a.index_ - b.index_;
  }
  friend bool operator==(IndexIterator const& a, IndexIterator const& b) {
    return a.index_ == b.index_;
  }
  friend std::strong_ordering operator<=>(IndexIterator const& a, IndexIterator const& b) {
    return a.index_ <=> b.index_;
  }

 private:
  Range range_;
  difference_type index_ = 0;
};

// The container interface shared by the ranges and views below: Derived
// supplies At(i); the element count is fixed when the range is made.
template <class Derived, class Value>
class IndexedRange {
 public:
  using value_type = Value;
  using size_type = unsigned int;
  using iterator = IndexIterator<Derived>;
  using const_iterator = iterator;

  iterator begin() const { return iterator(Self(), 0); }
  iterator end() const { return iterator(Self(), size_); }
  size_type size() const { return size_; }
  bool empty() const { return size_ == 0; }
  Value operator[](size_type i) const { return Self().At(i); }

 protected:
  IndexedRange() = default;
  explicit IndexedRange(size_type size) : size_(size) {}

 private:
  Derived const& Self() const { return static_cast<Derived const&>(*this); }
  size_type size_ = 0;
};

// The coordinates of one line.
template <class C>
class ShapeLine : public IndexedRange<ShapeLine<C>, C> {
 public:
  ShapeLine() = default;
  ShapeLine(std::shared_ptr<ShapeLineOwner<C> const> owner, ShapeLineOwner<C> const* shape,
            unsigned int line, unsigned int size, PackedRun<C> run = {})
      : IndexedRange<ShapeLine<C>, C>(size),
        owner_(std::move(owner)),
        source_(owner_ ? owner_.get() : shape),
        run_(std::move(run)),
        line_(line) {}

  C At(unsigned int point) const {
    if (run_.data != nullptr) return Unpack(run_.data[point], run_.bias);
    return source_->CoordinateInLine(line_, point);
  }
  unsigned int GetIndex() const { return line_; }

 private:
  std::shared_ptr<ShapeLineOwner<C> const> owner_;
  ShapeLineOwner<C> const* source_ = nullptr;
  PackedRun<C> run_;
  unsigned int line_ = 0;
};

// The coordinates of one ring of one poly.
template <class C>
class ShapeRing : public IndexedRange<ShapeRing<C>, C> {
 public:
  ShapeRing() = default;
  ShapeRing(std::shared_ptr<ShapeRingOwner<C> const> owner, ShapeRingOwner<C> const* shape,
            unsigned int poly, unsigned int ring, unsigned int size, PackedRun<C> run = {})
      : IndexedRange<ShapeRing<C>, C>(size),
        owner_(std::move(owner)),
        source_(owner_ ? owner_.get() : shape),
        run_(std::move(run)),
        poly_(poly),
        ring_(ring) {}

  C At(unsigned int point) const {
    if (run_.data != nullptr) return Unpack(run_.data[point], run_.bias);
    return source_->CoordinateInRingOfPoly(poly_, ring_, point);
  }
  unsigned int GetPolyIndex() const { return poly_; }
  unsigned int GetIndex() const { return ring_; }

 private:
  std::shared_ptr<ShapeRingOwner<C> const> owner_;
  ShapeRingOwner<C> const* source_ = nullptr;
  PackedRun<C> run_;
  unsigned int poly_ = 0;
  unsigned int ring_ = 0;
};

// The free points of a shape.
template <class C>
class ShapePoints : public IndexedRange<ShapePoints<C>, C> {
 public:
  ShapePoints() = default;
  explicit ShapePoints(Shape<C> const* shape);
  C At(unsigned int point) const;

 private:
  Shape<C> const* shape_ = nullptr;
};

// The lines of a shape.
template <class C>
class ShapeLines : public IndexedRange<ShapeLines<C>, ShapeLine<C>> {
 public:
  ShapeLines() = default;
  explicit ShapeLines(Shape<C> const* shape);
  ShapeLine<C> At(unsigned int line) const;

 private:
  Shape<C> const* shape_ = nullptr;
};

// The rings of one poly.
template <class C>
class ShapePoly : public IndexedRange<ShapePoly<C>, ShapeRing<C>> {
 public:
  ShapePoly() = default;
  ShapePoly(Shape<C> const* shape, unsigned int poly);
  ShapeRing<C> At(unsigned int ring) const;
  unsigned int GetIndex() const { return poly_; }

 private:
  Shape<C> const* shape_ = nullptr;
  unsigned int poly_ = 0;
};

// The polys of a shape.
template <class C>
class ShapePolys : public IndexedRange<ShapePolys<C>, ShapePoly<C>> {
 public:
  ShapePolys() = default;
  explicit ShapePolys(Shape<C> const* shape);
  ShapePoly<C> At(unsigned int poly) const;

 private:
  Shape<C> const* shape_ = nullptr;
};

}  // namespace detail

template <class C>
class OSTREL_EXPORT Shape : public ShapeLineOwner<C>, public ShapeRingOwner<C> {
 public:
  ~Shape() override = default;

  detail::ShapePoints<C> GetPoints() const { return detail::ShapePoints<C>(this); }
  detail::ShapeLines<C> GetLines() const { return detail::ShapeLines<C>(this); }
  detail::ShapePolys<C> GetPolys() const { return detail::ShapePolys<C>(this); }

  // The virtuals below are declared in the order of the shape's table; slot
  // 1 is CoordinateInLine, inherited from ShapeLineOwner. The counting and
  // size operations and the owner accessors are protected: callers walk a
  // shape through the ranges above. A family may narrow the coordinate and
  // part-hash accessors (Geometry keeps them protected).
 protected:
  virtual unsigned int NumberOfPoints() const = 0;  // slot 2

 public:
  virtual C CoordinateForPoint(unsigned int point) const = 0;  // slot 3

 protected:
  virtual std::shared_ptr<ShapeLineOwner<C> const> GetLineOwner(unsigned int) const {  // slot 4
    return nullptr;
  }
  virtual unsigned int NumberOfLines() const = 0;                              // slot 5
  virtual unsigned int SizeOfLine(unsigned int line) const = 0;                // slot 6
  virtual std::shared_ptr<ShapeRingOwner<C> const> GetRingOwner(unsigned int,  // slot 7
                                                                unsigned int) const {
    return nullptr;
  }
  virtual unsigned int NumberOfPolys() const = 0;                                         // slot 8
  virtual unsigned int SizeOfPoly(unsigned int poly) const = 0;                           // slot 9
  virtual unsigned int SizeOfRingInPoly(unsigned int poly, unsigned int ring) const = 0;  // 10

 public:
  virtual unsigned long long HashForPoint(unsigned int point) const = 0;  // slot 11
  virtual unsigned long long HashForLine(unsigned int line) const = 0;    // slot 12
  virtual unsigned long long HashForPoly(unsigned int poly) const = 0;    // slot 13
  virtual unsigned long long HashForRingOfPoly(unsigned int poly,         // slot 14
                                               unsigned int ring) const = 0;

 protected:
  Shape() = default;
  Shape(Shape const&) = default;
  Shape& operator=(Shape const&) = default;

  // After the shape's table: the packed coordinates of a line or ring as one
  // array, for formats that have (or can decode) them so. The default offers
  // none, and readers then ask CoordinateInLine/CoordinateInRingOfPoly.
  virtual detail::PackedRun<C> GetPackedLine(unsigned int) const { return {}; }
  virtual detail::PackedRun<C> GetPackedRing(unsigned int, unsigned int) const { return {}; }

  // The count, then every member's hash order-independently.
  void HashForPoints(Hasher& hasher) const {
    unsigned int n = NumberOfPoints();
    detail::HasherAccess::Add(hasher, n);
    for (unsigned int i = 0; i < n; ++i) {
      detail::HasherAccess::AddOrderIndependent(hasher, HashForPoint(i));
    }
  }
  void HashForLines(Hasher& hasher) const {
    unsigned int n = NumberOfLines();
    detail::HasherAccess::Add(hasher, n);
    for (unsigned int l = 0; l < n; ++l) {
      detail::HasherAccess::AddOrderIndependent(hasher, HashForLine(l));
    }
  }
  void HashForPolys(Hasher& hasher) const {
    unsigned int n = NumberOfPolys();
    detail::HasherAccess::Add(hasher, n);
    for (unsigned int p = 0; p < n; ++p) {
      detail::HasherAccess::AddOrderIndependent(hasher, HashForPoly(p));
    }
  }

 private:
  friend class detail::ShapePoints<C>;
  friend class detail::ShapeLines<C>;
  friend class detail::ShapePoly<C>;
  friend class detail::ShapePolys<C>;
};

namespace detail {

template <class C>
ShapePoints<C>::ShapePoints(Shape<C> const* shape)
    : IndexedRange<ShapePoints<C>, C>(shape->NumberOfPoints()), shape_(shape) {}

template <class C>
C ShapePoints<C>::At(unsigned int point) const {
  return shape_->CoordinateForPoint(point);
}

template <class C>
ShapeLines<C>::ShapeLines(Shape<C> const* shape)
    : IndexedRange<ShapeLines<C>, ShapeLine<C>>(shape->NumberOfLines()), shape_(shape) {}

// A packed run, when the format has one, serves the whole view; otherwise
// the view asks the line's owner (or the shape) per coordinate.
template <class C>
ShapeLine<C> ShapeLines<C>::At(unsigned int line) const {
  unsigned int size = shape_->SizeOfLine(line);
  PackedRun<C> run = shape_->GetPackedLine(line);
  if (run.data != nullptr) return ShapeLine<C>(nullptr, shape_, line, size, std::move(run));
  return ShapeLine<C>(shape_->GetLineOwner(line), shape_, line, size);
}

template <class C>
ShapePoly<C>::ShapePoly(Shape<C> const* shape, unsigned int poly)
    : IndexedRange<ShapePoly<C>, ShapeRing<C>>(shape->SizeOfPoly(poly)),
      shape_(shape),
      poly_(poly) {}

template <class C>
ShapeRing<C> ShapePoly<C>::At(unsigned int ring) const {
  unsigned int size = shape_->SizeOfRingInPoly(poly_, ring);
  PackedRun<C> run = shape_->GetPackedRing(poly_, ring);
  if (run.data != nullptr) return ShapeRing<C>(nullptr, shape_, poly_, ring, size, std::move(run));
  return ShapeRing<C>(shape_->GetRingOwner(poly_, ring), shape_, poly_, ring, size);
}

template <class C>
ShapePolys<C>::ShapePolys(Shape<C> const* shape)
    : IndexedRange<ShapePolys<C>, ShapePoly<C>>(shape->NumberOfPolys()), shape_(shape) {}

template <class C>
ShapePoly<C> ShapePolys<C>::At(unsigned int poly) const {
  return ShapePoly<C>(shape_, poly);
}

}  // namespace detail
}  // namespace ostrel
