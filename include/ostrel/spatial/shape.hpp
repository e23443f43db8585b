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

// The packed coordinates of one line or ring when a format keeps them in
// one array (data is null otherwise), with the bias that unpacks planar
// ones. Views read such runs directly instead of making a virtual call per
// coordinate; the coordinates are the same either way.
template <class C>
struct PackedRun {
  typename C::Packed const* data = nullptr;
  GeometryCoordinate::Bias bias;
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
// access (so they are returned by value). Valid while its range lives.
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
  IndexIterator(Range const* range, difference_type index) : range_(range), index_(index) {}

  value_type operator*() const { return range_->At(static_cast<unsigned int>(index_)); }
  value_type operator[](difference_type n) const {
    return range_->At(static_cast<unsigned int>(index_ + n));
  }

  IndexIterator& operator++() { return ++index_, *this; }
  IndexIterator operator++(int) { return IndexIterator(range_, index_++); }
  IndexIterator& operator--() { return --index_, *this; }
  IndexIterator operator--(int) { return IndexIterator(range_, index_--); }
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
  Range const* range_ = nullptr;
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
  Value operator[](size_type i) const { return Self()->At(i); }

 protected:
  explicit IndexedRange(size_type size) : size_(size) {}

 private:
  Derived const* Self() const { return static_cast<Derived const*>(this); }
  size_type size_;
};

// The coordinates of one line.
template <class C>
class ShapeLine : public IndexedRange<ShapeLine<C>, C> {
 public:
  ShapeLine(std::shared_ptr<ShapeLineOwner<C> const> owner, ShapeLineOwner<C> const* shape,
            unsigned int line, unsigned int size, PackedRun<C> run = {})
      : IndexedRange<ShapeLine<C>, C>(size),
        owner_(std::move(owner)),
        source_(owner_ ? owner_.get() : shape),
        run_(run),
        line_(line) {}

  C At(unsigned int point) const {
    if (run_.data != nullptr) return Unpack(run_.data[point], run_.bias);
    return source_->CoordinateInLine(line_, point);
  }
  unsigned int GetIndex() const { return line_; }

 private:
  std::shared_ptr<ShapeLineOwner<C> const> owner_;
  ShapeLineOwner<C> const* source_;
  PackedRun<C> run_;
  unsigned int line_;
};

// The coordinates of one ring of one poly.
template <class C>
class ShapeRing : public IndexedRange<ShapeRing<C>, C> {
 public:
  ShapeRing(std::shared_ptr<ShapeRingOwner<C> const> owner, ShapeRingOwner<C> const* shape,
            unsigned int poly, unsigned int ring, unsigned int size, PackedRun<C> run = {})
      : IndexedRange<ShapeRing<C>, C>(size),
        owner_(std::move(owner)),
        source_(owner_ ? owner_.get() : shape),
        run_(run),
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
  ShapeRingOwner<C> const* source_;
  PackedRun<C> run_;
  unsigned int poly_;
  unsigned int ring_;
};

// The free points of a shape.
template <class C>
class ShapePoints : public IndexedRange<ShapePoints<C>, C> {
 public:
  explicit ShapePoints(Shape<C> const* shape);
  C At(unsigned int point) const;

 private:
  Shape<C> const* shape_;
};

// The lines of a shape.
template <class C>
class ShapeLines : public IndexedRange<ShapeLines<C>, ShapeLine<C>> {
 public:
  explicit ShapeLines(Shape<C> const* shape);
  ShapeLine<C> At(unsigned int line) const;

 private:
  Shape<C> const* shape_;
};

// The rings of one poly.
template <class C>
class ShapePoly : public IndexedRange<ShapePoly<C>, ShapeRing<C>> {
 public:
  ShapePoly(Shape<C> const* shape, unsigned int poly);
  ShapeRing<C> At(unsigned int ring) const;
  unsigned int GetIndex() const { return poly_; }

 private:
  Shape<C> const* shape_;
  unsigned int poly_;
};

// The polys of a shape.
template <class C>
class ShapePolys : public IndexedRange<ShapePolys<C>, ShapePoly<C>> {
 public:
  explicit ShapePolys(Shape<C> const* shape);
  ShapePoly<C> At(unsigned int poly) const;

 private:
  Shape<C> const* shape_;
};

}  // namespace detail

template <class C>
class OSTREL_EXPORT Shape : public ShapeLineOwner<C>, public ShapeRingOwner<C> {
 public:
  ~Shape() override = default;

  detail::ShapePoints<C> GetPoints() const { return detail::ShapePoints<C>(this); }
  detail::ShapeLines<C> GetLines() const { return detail::ShapeLines<C>(this); }
  detail::ShapePolys<C> GetPolys() const { return detail::ShapePolys<C>(this); }

 protected:
  Shape() = default;
  Shape(Shape const&) = default;
  Shape& operator=(Shape const&) = default;

  // In the order of the shape's table, after CoordinateInLine.
  virtual unsigned int NumberOfPoints() const = 0;
  virtual C CoordinateForPoint(unsigned int point) const = 0;
  virtual std::shared_ptr<ShapeLineOwner<C> const> GetLineOwner(unsigned int) const {
    return nullptr;
  }
  virtual unsigned int NumberOfLines() const = 0;
  virtual unsigned int SizeOfLine(unsigned int line) const = 0;
  virtual std::shared_ptr<ShapeRingOwner<C> const> GetRingOwner(unsigned int, unsigned int) const {
    return nullptr;
  }
  virtual unsigned int NumberOfPolys() const = 0;
  virtual unsigned int SizeOfPoly(unsigned int poly) const = 0;
  virtual unsigned int SizeOfRingInPoly(unsigned int poly, unsigned int ring) const = 0;
  virtual std::uint64_t HashForPoint(unsigned int point) const = 0;
  virtual std::uint64_t HashForLine(unsigned int line) const = 0;
  virtual std::uint64_t HashForPoly(unsigned int poly) const = 0;
  virtual std::uint64_t HashForRingOfPoly(unsigned int poly, unsigned int ring) const = 0;

  // After the shape's table: direct access to the packed coordinates of a
  // line or ring, for formats that keep them in one array. The default
  // offers none, and views then ask CoordinateInLine/CoordinateInRingOfPoly.
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

template <class C>
ShapeLine<C> ShapeLines<C>::At(unsigned int line) const {
  auto owner = shape_->GetLineOwner(line);
  auto run = owner ? PackedRun<C>() : shape_->GetPackedLine(line);
  return ShapeLine<C>(std::move(owner), shape_, line, shape_->SizeOfLine(line), run);
}

template <class C>
ShapePoly<C>::ShapePoly(Shape<C> const* shape, unsigned int poly)
    : IndexedRange<ShapePoly<C>, ShapeRing<C>>(shape->SizeOfPoly(poly)),
      shape_(shape),
      poly_(poly) {}

template <class C>
ShapeRing<C> ShapePoly<C>::At(unsigned int ring) const {
  auto owner = shape_->GetRingOwner(poly_, ring);
  auto run = owner ? PackedRun<C>() : shape_->GetPackedRing(poly_, ring);
  return ShapeRing<C>(std::move(owner), shape_, poly_, ring, shape_->SizeOfRingInPoly(poly_, ring),
                      run);
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
