#include "ostrel/operations/indexed_intersects.hpp"

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <tuple>
#include <type_traits>

#include <boost/geometry.hpp>
#include <boost/geometry/geometries/box.hpp>
#include <boost/geometry/geometries/point.hpp>
#include <boost/geometry/index/rtree.hpp>
#include <boost/iterator/function_output_iterator.hpp>

#include "operations/indexed_intersects_pinned.hpp"
#include "ostrel/core/resource_allocator.hpp"
#include "ostrel/operations/intersects.hpp"
#include "ostrel/spatial/geography.hpp"
#include "ostrel/spatial/geometry.hpp"

namespace ostrel {

IndexedIntersects::Input::~Input() = default;
IndexedIntersects::Matches::~Matches() = default;

namespace {

namespace bg = boost::geometry;
namespace bgi = boost::geometry::index;

using BoxPoint = bg::model::point<double, 2, bg::cs::cartesian>;
using Box = bg::model::box<BoxPoint>;
using Entry = std::pair<Box, unsigned int>;

// The tree's nodes come from the call's memory resource. A refused node is
// answered with a null pointer, which the tree reports as its own
// std::runtime_error "boost::geometry::index::rtree node creation failed".
template <class T>
class NodeAllocator {
 public:
  using value_type = T;

  explicit NodeAllocator(MemoryResource* resource) : resource_(resource) {}
  template <class U>
  NodeAllocator(NodeAllocator<U> const& other)  // NOLINT(google-explicit-constructor)
      : resource_(other.GetResource()) {}

  T* allocate(std::size_t n) {
    if (n > SIZE_MAX / sizeof(T)) return nullptr;
    try {
      return static_cast<T*>(resource_->Allocate(n * sizeof(T), alignof(T)));
    } catch (std::bad_alloc const&) {
      return nullptr;
    }
  }
  void deallocate(T* p, std::size_t n) { resource_->Deallocate(p, n * sizeof(T), alignof(T)); }

  MemoryResource* GetResource() const { return resource_; }
  template <class U>
  bool operator==(NodeAllocator<U> const& other) const {
    return resource_ == other.GetResource();
  }
  template <class U>
  bool operator!=(NodeAllocator<U> const& other) const {
    return !(*this == other);
  }

 private:
  MemoryResource* resource_;
};

using Tree = bgi::rtree<Entry, bgi::quadratic<16>, bgi::indexable<Entry>, bgi::equal_to<Entry>,
                        NodeAllocator<Entry>>;

// What an item can be in a match: nothing, or the polygonal or point-like
// side, planar or geographic (Intersects::Calculate's combinations).
enum Role : std::uint8_t {
  kNone = 0,
  kPlanarPolygons = 1,
  kPlanarPoints = 2,
  kSphericalPolygons = 3,
  kSphericalPoints = 4,
};

bool IsPolygonal(ShapeType t) { return t == ShapeType::Polygon || t == ShapeType::MultiPolygon; }
bool IsPointLike(ShapeType t) { return t == ShapeType::Point || t == ShapeType::MultiPoint; }

Role RoleOf(Spatial const& value) {
  CoordinateType const type = value.GetCoordinateType();
  if (type != CoordinateType::Geometry && type != CoordinateType::Geography) return kNone;
  bool const geography = type == CoordinateType::Geography;
  ShapeType const shape = value.GetShapeType();
  if (IsPolygonal(shape)) return geography ? kSphericalPolygons : kPlanarPolygons;
  if (IsPointLike(shape)) return geography ? kSphericalPoints : kPlanarPoints;
  return kNone;
}

// Whether a pair of these roles can intersect at all: one polygonal, one
// point-like, of the same family.
bool CanMatch(std::uint8_t a, std::uint8_t b) {
  return a != kNone && b != kNone && (a + 1) / 2 == (b + 1) / 2 && a != b;
}

unsigned long long Key(unsigned int ia, unsigned int ib) {
  return (static_cast<unsigned long long>(ia) << 32) | ib;
}

// A candidate pair, (index in a, index in b) in `key`. When the query item
// is a single point, `point` is its value and `coordinate` holds the bytes
// of its coordinate, read during the query: verification then finds the
// value handed out for the query item to be the one read (the same object,
// and values never change) and tests the coordinate without reading the
// value again. Otherwise `point` is null.
struct Candidate {
  unsigned long long key;
  Spatial const* point;
  alignas(double) unsigned char coordinate[16];
};
static_assert(std::is_trivially_copyable_v<GeometryCoordinate> &&
              sizeof(GeometryCoordinate) <= sizeof(Candidate::coordinate));
static_assert(std::is_trivially_copyable_v<GeographyCoordinate> &&
              sizeof(GeographyCoordinate) <= sizeof(Candidate::coordinate));

// Buffers that the tasks of one phase append to without a shared lock:
// each thread finds its own buffer through a thread-local slot that
// remembers the phase it was made for (phases are numbered process-wide,
// so a slot of a finished phase is never mistaken for a current one). The
// mutex is taken once per thread and phase, when the thread first appends.
std::atomic<unsigned long long> next_phase{1};

template <class T>
class ThreadBuffers {
 public:
  explicit ThreadBuffers(MemoryResource* resource)
      : resource_(resource), phase_(next_phase.fetch_add(1)), buffers_(resource) {}
  ThreadBuffers(ThreadBuffers const&) = delete;
  ThreadBuffers& operator=(ThreadBuffers const&) = delete;
  ~ThreadBuffers() {
    ResourceAllocator<Buffer> allocator(resource_);
    for (Buffer* buffer : buffers_) {
      buffer->~Buffer();
      allocator.deallocate(buffer, 1);
    }
  }

  ResourceVector<T>& Local() {
    static thread_local Slot slot;
    if (slot.phase == phase_) return *static_cast<ResourceVector<T>*>(slot.items);
    return Register(slot);
  }

  // After the phase: the buffers, in the order threads first appended.
  std::size_t Count() const { return buffers_.size(); }
  ResourceVector<T>& At(std::size_t k) { return buffers_[k]->items; }
  ResourceVector<T> const& At(std::size_t k) const { return buffers_[k]->items; }
  std::size_t TotalSize() const {
    std::size_t total = 0;
    for (Buffer const* buffer : buffers_) total += buffer->items.size();
    return total;
  }

 private:
  struct Slot {
    unsigned long long phase = 0;
    void* items = nullptr;
  };
  struct Buffer {
    std::thread::id owner;
    ResourceVector<T> items;
  };

  ResourceVector<T>& Register(Slot& slot) {
    std::thread::id const self = std::this_thread::get_id();
    std::lock_guard lock(mutex_);
    Buffer* mine = nullptr;
    for (Buffer* buffer : buffers_) {
      if (buffer->owner == self) mine = buffer;
    }
    if (mine == nullptr) {
      buffers_.reserve(buffers_.size() + 1);
      ResourceAllocator<Buffer> allocator(resource_);
      mine = allocator.allocate(1);
      ::new (mine) Buffer{self, ResourceVector<T>(ResourceAllocator<T>(resource_))};
      buffers_.push_back(mine);
    }
    slot.phase = phase_;
    slot.items = &mine->items;
    return mine->items;
  }

  MemoryResource* const resource_;
  unsigned long long const phase_;
  std::mutex mutex_;
  ResourceVector<Buffer*> buffers_;
};

// The pinned polygonal items of one input, by item index.
class PinnedItems {
 public:
  PinnedItems(unsigned int size, MemoryResource* resource)
      : resource_(resource),
        items_(size, nullptr, ResourceAllocator<detail::PinnedItem*>(resource)) {}
  PinnedItems(PinnedItems const&) = delete;
  PinnedItems& operator=(PinnedItems const&) = delete;
  ~PinnedItems() {
    ResourceAllocator<detail::PinnedItem> allocator(resource_);
    for (detail::PinnedItem* item : items_) {
      if (item == nullptr) continue;
      item->~PinnedItem();
      allocator.deallocate(item, 1);
    }
  }

  // Pins item i (each index is pinned by one task only).
  detail::PinnedItem const& Pin(unsigned int i, Spatial const& value, bool geography,
                                detail::PinnedItem::Copies copies) {
    ResourceAllocator<detail::PinnedItem> allocator(resource_);
    detail::PinnedItem* item = allocator.allocate(1);
    try {
      ::new (item) detail::PinnedItem(value, geography, copies, resource_);
    } catch (...) {
      allocator.deallocate(item, 1);
      throw;
    }
    items_[i] = item;
    return *item;
  }
  detail::PinnedItem const* Find(unsigned int i) const { return items_[i]; }

 private:
  MemoryResource* const resource_;
  ResourceVector<detail::PinnedItem*> items_;
};

double CentreX(Box const& b) { return b.min_corner().get<0>() / 2 + b.max_corner().get<0>() / 2; }
double CentreY(Box const& b) { return b.min_corner().get<1>() / 2 + b.max_corner().get<1>() / 2; }

// The bits of x and y interleaved (x in the even positions).
std::uint32_t ZOrder(std::uint32_t x, std::uint32_t y) {
  auto spread = [](std::uint32_t v) {
    v = (v | (v << 8)) & 0x00FF00FFu;
    v = (v | (v << 4)) & 0x0F0F0F0Fu;
    v = (v | (v << 2)) & 0x33333333u;
    v = (v | (v << 1)) & 0x55555555u;
    return v;
  };
  return spread(x) | (spread(y) << 1);
}

// Index boxes are closed; infinite planar coordinates are clamped to the
// largest finite ones (the tree computes areas and centres), which keeps
// every intersection of the unclamped boxes.
double Finite(double v) { return std::clamp(v, -DBL_MAX, DBL_MAX); }

Box MakeBox(double x0, double y0, double x1, double y1) {
  return Box(BoxPoint(Finite(x0), Finite(y0)), BoxPoint(Finite(x1), Finite(y1)));
}

// Calls emit(box) for every box of a value: its points, then its polygons'
// bounds (from the pinned item when there is one, else from the caches).
// Polygon bounds are read even when `emit_boxes` is false (the value can
// match nothing), so that their errors surface as for every other item.
// Boxes with a NaN bound cannot contain any point and are left out.
template <class Emit>
void ForEachBox(Spatial const& value, detail::PinnedItem const* pinned, bool emit_boxes,
                Emit const& emit) {
  if (value.IsGeography()) {
    Geography const& g = value.AsGeography();
    if (emit_boxes) {
      for (GeographyCoordinate const& p : g.GetPoints()) {
        double const lon = p.GetLongitude().Get().Get(), lat = p.GetLatitude().Get().Get();
        if (p.IsValid()) emit(MakeBox(lon, lat, lon, lat));
      }
    }
    unsigned int const polys = g.GetPolys().size();
    for (unsigned int i = 0; i < polys; ++i) {
      SphericalTrapezoidBounds const bounds =
          pinned != nullptr ? pinned->SphericalBounds(i)
                            : SphericalTrapezoidBounds::CachedBoundsOfPoly(g, i);
      if (!emit_boxes || !bounds.IsValid()) continue;
      double const west = bounds.GetWestLongitude().Get().Get();
      double const east = bounds.GetEastLongitude().Get().Get();
      double const south = bounds.GetSouthLatitude().Get().Get();
      double const north = bounds.GetNorthLatitude().Get().Get();
      if (bounds.CrossesAntimeridian()) {
        emit(MakeBox(west, south, detail::kPi, north));
        emit(MakeBox(-detail::kPi, south, east, north));
      } else {
        emit(MakeBox(west, south, east, north));
      }
    }
    return;
  }
  if (!value.IsGeometry()) return;
  Shape<GeometryCoordinate> const& g = value.AsGeometry();
  if (emit_boxes) {
    for (GeometryCoordinate const& p : g.GetPoints()) {
      if (p.IsValid()) emit(MakeBox(p.GetX(), p.GetY(), p.GetX(), p.GetY()));
    }
  }
  unsigned int const polys = g.GetPolys().size();
  for (unsigned int i = 0; i < polys; ++i) {
    RectangularBounds const bounds =
        pinned != nullptr ? pinned->PlanarBounds(i) : RectangularBounds::CachedBoundsOfPoly(g, i);
    double const x0 = bounds.GetMinX(), y0 = bounds.GetMinY();
    double const x1 = bounds.GetMaxX(), y1 = bounds.GetMaxY();
    // Invalid bounds with infinities of both signs still contain points;
    // only a NaN bound contains none.
    if (!emit_boxes || std::isnan(x0) || std::isnan(y0) || std::isnan(x1) || std::isnan(y1)) {
      continue;
    }
    emit(MakeBox(x0, y0, x1, y1));
  }
}

// More than one point or more than one polygon: the item's candidates may
// repeat.
bool HasSeveralParts(Spatial const& value) {
  if (value.IsGeography()) {
    Geography const& g = value.AsGeography();
    return g.GetPoints().size() > 1 || g.GetPolys().size() > 1;
  }
  if (value.IsGeometry()) {
    Shape<GeometryCoordinate> const& g = value.AsGeometry();
    return g.GetPoints().size() > 1 || g.GetPolys().size() > 1;
  }
  return false;
}

// Calculate on a polygonal pinned value and a point-like one of the same
// family: polygon i in order, against point j in order.
template <class C>
bool PinnedCalculate(detail::PinnedItem const& pinned, Shape<C> const& points) {
  unsigned int const polys = pinned.NumberOfPolys();
  auto const range = points.GetPoints();
  if (polys == 0 || range.empty()) return false;
  for (unsigned int i = 0; i < polys; ++i) {
    for (C const& p : range) {
      if (pinned.Contains(i, p)) return true;
    }
  }
  return false;
}

// The items of one input that a join visits: all of them, or a sorted list.
struct Side {
  IndexedIntersects::Input const* input;
  ResourceVector<unsigned int> const* items;
  unsigned int size;

  unsigned int Count() const {
    return items != nullptr ? static_cast<unsigned int>(items->size()) : size;
  }
  unsigned int Item(unsigned int k) const { return items != nullptr ? (*items)[k] : k; }
};

class Join {
 public:
  Join(IndexedIntersects::Executor const& executor, Side a, Side b,
       ResourceVector<unsigned long long> const* prior, MemoryResource* resource)
      : executor_(executor),
        a_(a),
        b_(b),
        prior_(prior),
        resource_(resource),
        a_indexed_(a.Count() < b.Count()),
        indexed_(a_indexed_ ? a_ : b_),
        query_(a_indexed_ ? b_ : a_),
        // Short rings are unpacked when the query side has many items per
        // indexed one, so that each polygon meets many points.
        indexed_copies_(static_cast<unsigned long long>(query_.Count()) >=
                                kShortRingCopyRatio * indexed_.Count()
                            ? detail::PinnedItem::Copies::kAllRings
                            : detail::PinnedItem::Copies::kLongRings),
        pinned_a_(a.size, resource),
        pinned_b_(b.size, resource),
        roles_(indexed_.size, kNone, ResourceAllocator<std::uint8_t>(resource)),
        tree_(bgi::quadratic<16>(), bgi::indexable<Entry>(), bgi::equal_to<Entry>(),
              NodeAllocator<Entry>(resource)),
        candidates_(resource),
        candidate_offsets_(resource) {}

  void Run(IndexedIntersects::Matches& out) {
    Build();
    Query();
    Verify(out);
  }

 private:
  PinnedItems& PinnedOf(bool side_a) { return side_a ? pinned_a_ : pinned_b_; }
  PinnedItems const& PinnedOf(bool side_a) const { return side_a ? pinned_a_ : pinned_b_; }

  // Every box of every indexed item, with the item's index; the tree is
  // filled from them in item order once the tasks are done, so its shape
  // does not depend on the executor's schedule.
  void Build() {
    ThreadBuffers<Entry> entries(resource_);
    entries_ = &entries;
    executor_(indexed_.Count(), [this](unsigned int k) { BuildTask(k); });
    ResourceVector<Entry> all{ResourceAllocator<Entry>(resource_)};
    all.reserve(entries.TotalSize());
    for (std::size_t t = 0; t < entries.Count(); ++t) {
      all.insert(all.end(), entries.At(t).begin(), entries.At(t).end());
    }
    // Inserted along a Z-order curve of the boxes' centres, the quadratic
    // split builds compact nodes; ties are broken by item and corners, a
    // total order, so the tree does not depend on which thread found what
    // (and std::sort needs no buffer of its own).
    double lo_x = DBL_MAX, lo_y = DBL_MAX, hi_x = -DBL_MAX, hi_y = -DBL_MAX;
    for (Entry const& e : all) {
      lo_x = std::min(lo_x, CentreX(e.first)), hi_x = std::max(hi_x, CentreX(e.first));
      lo_y = std::min(lo_y, CentreY(e.first)), hi_y = std::max(hi_y, CentreY(e.first));
    }
    auto const cell = [](double v, double lo, double hi) -> std::uint32_t {
      double const f = hi > lo ? (v - lo) / (hi - lo) * 65535.0 : 0.0;
      return f >= 0 ? static_cast<std::uint32_t>(std::min(f, 65535.0)) : 0;
    };
    auto const key = [&](Entry const& e) {
      return std::tuple(
          ZOrder(cell(CentreX(e.first), lo_x, hi_x), cell(CentreY(e.first), lo_y, hi_y)), e.second,
          e.first.min_corner().get<0>(), e.first.min_corner().get<1>(),
          e.first.max_corner().get<0>(), e.first.max_corner().get<1>());
    };
    std::sort(all.begin(), all.end(),
              [&](Entry const& x, Entry const& y) { return key(x) < key(y); });
    for (Entry const& entry : all) tree_.insert(entry);
    entries_ = nullptr;
  }

  void BuildTask(unsigned int k) {
    unsigned int const i = indexed_.Item(k);
    Spatial const* value = indexed_.input->Get(i);
    if (value == nullptr) return;
    Role const role = RoleOf(*value);
    roles_[i] = role;
    detail::PinnedItem const* pinned = nullptr;
    if (role == kPlanarPolygons || role == kSphericalPolygons) {
      pinned = &PinnedOf(a_indexed_).Pin(i, *value, role == kSphericalPolygons, indexed_copies_);
    }
    if (role != kNone && HasSeveralParts(*value)) {
      indexed_has_several_parts_.store(true, std::memory_order_relaxed);
    }
    ResourceVector<Entry>* local = role != kNone ? &entries_->Local() : nullptr;
    ForEachBox(*value, pinned, role != kNone, [&](Box const& box) { local->emplace_back(box, i); });
  }

  // Each query task appends the candidates of its item to its thread's
  // list (the lists' mutex is taken once per thread, when it first
  // appends); together, in the order the threads first appended, the lists
  // are the candidate list. A pair can repeat only within one query item's
  // hits (the item is the pair's only member from this side), and only
  // when an item has several parts: the repeats are removed there, which
  // leaves the list that sorting all candidates and removing repeats would
  // leave, but for its order.
  void Query() {
    indexed_several_ = indexed_has_several_parts_.load(std::memory_order_relaxed);
    executor_(query_.Count(), [this](unsigned int k) { QueryTask(k); });
    std::size_t total = 0;
    candidate_offsets_.reserve(candidates_.Count() + 1);
    for (std::size_t t = 0; t < candidates_.Count(); ++t) {
      candidate_offsets_.push_back(total);
      total += candidates_.At(t).size();
    }
    candidate_offsets_.push_back(total);
    if (total > UINT_MAX) {
      throw std::length_error("IndexedIntersects: more candidate pairs than an unsigned counts");
    }
  }

  // The values of a large input are scattered over memory, and the first
  // read of each would stall its task: a task asks for the value a few
  // items ahead and prefetches its object, which a task run in index order
  // (the common schedule) then finds in cache.
  static constexpr unsigned int kAhead = 6;
  static void Prefetch(Spatial const* value) {
    if (value == nullptr) return;
    auto const address = reinterpret_cast<std::uintptr_t>(value);
    __builtin_prefetch(reinterpret_cast<void const*>(address));
    __builtin_prefetch(reinterpret_cast<void const*>(address + 64));
  }

  void QueryTask(unsigned int k) {
    unsigned int const j = query_.Item(k);
    Spatial const* value = query_.input->Get(j);
    if (k + kAhead < query_.Count()) Prefetch(query_.input->Get(query_.Item(k + kAhead)));
    if (value == nullptr) return;
    Role const role = RoleOf(*value);
    detail::PinnedItem const* pinned = nullptr;
    if (role == kPlanarPolygons || role == kSphericalPolygons) {
      pinned = &PinnedOf(!a_indexed_)
                    .Pin(j, *value, role == kSphericalPolygons, detail::PinnedItem::Copies::kNone);
    }
    if (role == kNone) {
      ForEachBox(*value, pinned, false, [](Box const&) {});
      return;
    }
    // The hits are appended to the thread's list, then their repeats
    // removed in place; they are addressed by position, so a task nested on
    // this thread (a Get that runs tasks of the same phase) appends after
    // them and never moves what this one is sorting.
    ResourceVector<Candidate>& local = candidates_.Local();
    std::size_t const start = local.size();
    Candidate candidate{0, nullptr, {}};
    auto const hit = [&](Entry const& entry) {
      unsigned int const i = entry.second;
      if (!CanMatch(roles_[i], role)) return;
      candidate.key = a_indexed_ ? Key(i, j) : Key(j, i);
      if (prior_ != nullptr && !std::binary_search(prior_->begin(), prior_->end(), candidate.key)) {
        return;
      }
      local.push_back(candidate);
    };
    bool const single =
        (role == kPlanarPoints && QuerySinglePoint(*value, value->AsGeometry(), candidate, hit)) ||
        (role == kSphericalPoints &&
         QuerySinglePoint(*value, value->AsGeography(), candidate, hit));
    if (!single) {
      ForEachBox(*value, pinned, true, [&](Box const& box) {
        tree_.query(bgi::intersects(box), boost::make_function_output_iterator(hit));
      });
    }
    if (local.size() - start > 1 && (indexed_several_ || HasSeveralParts(*value))) {
      auto const begin = local.begin() + static_cast<std::ptrdiff_t>(start);
      auto const by_key = [](Candidate const& x, Candidate const& y) { return x.key < y.key; };
      auto const same_key = [](Candidate const& x, Candidate const& y) { return x.key == y.key; };
      std::sort(begin, local.end(), by_key);
      local.erase(std::unique(begin, local.end(), same_key), local.end());
    }
  }

  // The common query item, a single point and nothing else: its coordinate
  // is read once, for its box and for every candidate's test. Anything else
  // is left to the general path, and false is returned.
  template <class C, class Hit>
  bool QuerySinglePoint(Spatial const& value, Shape<C> const& shape, Candidate& candidate,
                        Hit const& hit) {
    auto const points = shape.GetPoints();
    if (points.size() != 1 || !shape.GetPolys().empty()) return false;
    C const p = points[0];
    if (!p.IsValid()) return true;
    double x, y;
    if constexpr (std::is_same_v<C, GeographyCoordinate>) {
      x = p.GetLongitude().Get().Get(), y = p.GetLatitude().Get().Get();
    } else {
      x = p.GetX(), y = p.GetY();
    }
    candidate.point = &value;
    std::memcpy(candidate.coordinate, &p, sizeof p);
    tree_.query(bgi::intersects(MakeBox(x, y, x, y)), boost::make_function_output_iterator(hit));
    return true;
  }

  // One task per candidate pair: the exact test on the values the inputs
  // hand out for it.
  void Verify(IndexedIntersects::Matches& out) {
    out_ = &out;
    executor_(static_cast<unsigned int>(candidate_offsets_.back()),
              [this](unsigned int c) { VerifyTask(c); });
  }

  Candidate const& CandidateAt(std::size_t c) const {
    std::size_t t = 0;
    while (candidate_offsets_[t + 1] <= c) ++t;  // one list per thread: few
    return candidates_.At(t)[c - candidate_offsets_[t]];
  }

  void VerifyTask(unsigned int c) {
    Candidate const& candidate = CandidateAt(c);
    unsigned int const ia = static_cast<unsigned int>(candidate.key >> 32);
    unsigned int const ib = static_cast<unsigned int>(candidate.key);
    Spatial const* va = a_.input->Get(ia);
    Spatial const* vb = b_.input->Get(ib);
    if (va == nullptr || vb == nullptr) return;
    // A single point still handed out as read, against a pinned polygonal
    // item still handed out as pinned: the carried coordinate goes straight
    // to the pinned polygons (the indexed item's role says their family; the
    // point is of the same one, or it would be no candidate).
    unsigned int const i = a_indexed_ ? ia : ib;
    detail::PinnedItem const* pinned =
        candidate.point != nullptr && candidate.point == (a_indexed_ ? vb : va)
            ? PinnedOf(a_indexed_).Find(i)
            : nullptr;
    bool found;
    if (pinned != nullptr && pinned->GetValue() == (a_indexed_ ? va : vb)) {
      found = roles_[i] == kSphericalPolygons
                  ? PinnedContains<GeographyCoordinate>(*pinned, candidate)
                  : PinnedContains<GeometryCoordinate>(*pinned, candidate);
    } else {
      found = Intersect(*va, ia, *vb, ib);
    }
    if (found) out_->Add({ia, ib});
  }

  template <class C>
  static bool PinnedContains(detail::PinnedItem const& pinned, Candidate const& candidate) {
    C p;
    std::memcpy(&p, candidate.coordinate, sizeof p);
    unsigned int const polys = pinned.NumberOfPolys();
    for (unsigned int poly = 0; poly < polys; ++poly) {
      if (pinned.Contains(poly, p)) return true;
    }
    return false;
  }

  // Calculate on one candidate, through the pinned polygonal item when the
  // input still hands out the value that was pinned.
  bool Intersect(Spatial const& va, unsigned int ia, Spatial const& vb, unsigned int ib) const {
    Role const ra = RoleOf(va), rb = RoleOf(vb);
    if (!CanMatch(ra, rb)) return false;
    bool const a_polygonal = ra == kPlanarPolygons || ra == kSphericalPolygons;
    detail::PinnedItem const* pinned = a_polygonal ? pinned_a_.Find(ia) : pinned_b_.Find(ib);
    Spatial const& polygonal = a_polygonal ? va : vb;
    Spatial const& points = a_polygonal ? vb : va;
    if (pinned == nullptr || pinned->GetValue() != &polygonal) {
      return Intersects::Calculate(va, vb);
    }
    if (points.IsGeography()) {
      return PinnedCalculate<GeographyCoordinate>(*pinned, points.AsGeography());
    }
    return PinnedCalculate<GeometryCoordinate>(*pinned, points.AsGeometry());
  }

  IndexedIntersects::Executor const& executor_;
  Side const a_, b_;
  ResourceVector<unsigned long long> const* const prior_;
  MemoryResource* const resource_;
  bool const a_indexed_;
  Side const indexed_, query_;
  static constexpr unsigned long long kShortRingCopyRatio = 8;
  detail::PinnedItem::Copies const indexed_copies_;
  PinnedItems pinned_a_, pinned_b_;
  ResourceVector<std::uint8_t> roles_;  // of the indexed input's items
  std::atomic<bool> indexed_has_several_parts_{false};
  Tree tree_;
  // The candidate list: the query tasks' lists, and where each begins in it.
  ThreadBuffers<Candidate> candidates_;
  ResourceVector<std::size_t> candidate_offsets_;
  // The state of the running phase, so that each task captures only this
  // object (and the executor's std::function stores it without allocating).
  ThreadBuffers<Entry>* entries_ = nullptr;
  bool indexed_several_ = false;
  IndexedIntersects::Matches* out_ = nullptr;
};

}  // namespace

void IndexedIntersects::operator()(Input const& a, Input const& b, Matches& out) const {
  MemoryResource* const resource = GetMemoryResource();
  Join join(executor_, Side{&a, nullptr, a.Size()}, Side{&b, nullptr, b.Size()}, nullptr, resource);
  join.Run(out);
}

void IndexedIntersects::operator()(Input const& a, Input const& b, Matches& out,
                                   Matches const& prior) const {
  unsigned int const count = prior.Size();
  if (count == 0) return;
  MemoryResource* const resource = GetMemoryResource();
  unsigned int const size_a = a.Size(), size_b = b.Size();
  ResourceVector<unsigned long long> pairs{ResourceAllocator<unsigned long long>(resource)};
  pairs.reserve(count);
  for (unsigned int k = 0; k < count; ++k) {
    auto const [ia, ib] = prior.Get(k);
    if (ia < size_a && ib < size_b) pairs.push_back(Key(ia, ib));
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  ResourceVector<unsigned int> items_a{ResourceAllocator<unsigned int>(resource)};
  ResourceVector<unsigned int> items_b{ResourceAllocator<unsigned int>(resource)};
  items_a.reserve(pairs.size());
  items_b.reserve(pairs.size());
  for (unsigned long long key : pairs) {
    items_a.push_back(static_cast<unsigned int>(key >> 32));
    items_b.push_back(static_cast<unsigned int>(key));
  }
  // Sorted pairs list the first members in order already.
  items_a.erase(std::unique(items_a.begin(), items_a.end()), items_a.end());
  std::sort(items_b.begin(), items_b.end());
  items_b.erase(std::unique(items_b.begin(), items_b.end()), items_b.end());
  Join join(executor_, Side{&a, &items_a, size_a}, Side{&b, &items_b, size_b}, &pairs, resource);
  join.Run(out);
}

}  // namespace ostrel
