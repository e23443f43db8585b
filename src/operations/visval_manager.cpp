// The Visvalingam-Whyatt working structure: a doubly linked list of nodes
// (a cycle for closed runs) over an indexed 4-ary min-heap of areas.
#include "ostrel/operations/visval_manager.hpp"

#include <bit>
#include <limits>
#include <stdexcept>

namespace ostrel {

namespace {

constexpr unsigned long long kSignBit = 0x8000000000000000ULL;
constexpr unsigned long long kCanonicalNaN = 0x7FF8000000000000ULL;
constexpr std::size_t kMaxNodes = 0x55555555;
constexpr std::size_t kArity = 4;

// Maps an area to an unsigned key whose integer order is the numeric order,
// with -0 folded onto +0 and every NaN onto one key above +infinity.
unsigned long long KeyOf(double area) noexcept {
  if (area != area) return kCanonicalNaN | kSignBit;
  unsigned long long const bits = std::bit_cast<unsigned long long>(area + 0.0);
  return (bits & kSignBit) != 0 ? ~bits : bits | kSignBit;
}

double AreaOf(unsigned long long key) noexcept {
  return std::bit_cast<double>((key & kSignBit) != 0 ? key & ~kSignBit : ~key);
}

char const kUnlinkError[] = "VisvalManager::Unlink: Index not defined or past end of priority map";

}  // namespace

inline double VisvalManager::ComputeArea(unsigned int index) const {
  Node const& node = nodes_[index];
  Node const& p = nodes_[node.previous];
  Node const& q = nodes_[node.next];
  if (simple_) return SimpleArea::Compute({p.x, p.y}, {node.x, node.y}, {q.x, q.y});
  return area_->Area({p.x, p.y}, {node.x, node.y}, {q.x, q.y});
}

VisvalManager::VisvalManager(PointArrayAccessAdapter const& points, AreaFunction const& area)
    : area_(&area), simple_(dynamic_cast<SimpleArea const*>(&area) != nullptr), closed_(false) {
  std::size_t const n = points.GetSize();
  // A closed run drops its last point, so one more point is acceptable then;
  // checked before reading, to refuse without touching the points.
  if (n > kMaxNodes + 1) throw std::length_error("VisvalManager: too many points");
  nodes_.reserve(n);  // each array is written once: first touches are costly
  for (std::size_t i = 0; i < n; ++i) {
    auto const [x, y] = points.GetPoint(i);
    nodes_.push_back(Node{x, y, kUndefined, kUndefined});
  }
  closed_ = n > 3 && nodes_.front().x == nodes_.back().x && nodes_.front().y == nodes_.back().y;
  if (closed_) nodes_.pop_back();
  if (nodes_.size() > kMaxNodes) throw std::length_error("VisvalManager: too many points");
  auto const m = static_cast<unsigned int>(nodes_.size());
  for (unsigned int i = 0; i < m; ++i) {
    nodes_[i].previous = i > 0 ? i - 1 : (closed_ ? m - 1 : kUndefined);
    nodes_[i].next = i + 1 < m ? i + 1 : (closed_ ? 0 : kUndefined);
  }
  entries_.assign(m, kUndefined);

  // Entries in insertion order (their sequence numbers), then heapified:
  // the heap order depends only on (key, sequence), not on how it is built.
  auto add = [this](unsigned int index) {
    entries_[index] = static_cast<unsigned int>(heap_.size());
    heap_.push_back(Entry{KeyOf(ComputeArea(index)), sequence_++, index});
  };
  if (closed_) {
    heap_.reserve(m);
    add(0);
    add(m - 1);
  } else if (m > 2) {
    heap_.reserve(m - 2);
  }
  for (unsigned int i = 1; i + 1 < m; ++i) add(i);
  for (std::size_t i = heap_.size() / kArity + 1; i-- > 0;) {
    if (i < heap_.size()) SiftDown(i, heap_[i]);
  }
}

VisvalManager::~VisvalManager() = default;

VisvalManager::Node const& VisvalManager::NodeAt(unsigned int index) const {
  if (index >= nodes_.size()) throw std::out_of_range("VisvalManager: node index past end");
  return nodes_[index];
}

std::pair<double, double> VisvalManager::GetPoint(unsigned int index) const {
  Node const& node = NodeAt(index);
  return {node.x, node.y};
}
unsigned int VisvalManager::GetPrevious(unsigned int index) const { return NodeAt(index).previous; }
unsigned int VisvalManager::GetNext(unsigned int index) const { return NodeAt(index).next; }
bool VisvalManager::IsLinked(unsigned int index) const {
  Node const& node = NodeAt(index);
  return node.previous != kUndefined || node.next != kUndefined;
}
bool VisvalManager::HasEntry(unsigned int index) const {
  NodeAt(index);
  return entries_[index] != kUndefined;
}
double VisvalManager::GetArea(unsigned int index) const {
  NodeAt(index);
  unsigned int const position = entries_[index];
  return position == kUndefined ? std::numeric_limits<double>::quiet_NaN()
                                : AreaOf(heap_[position].key);
}

unsigned int VisvalManager::GetSmallest() const noexcept {
  return heap_.empty() ? kUndefined : heap_.front().node;
}
double VisvalManager::GetSmallestArea() const noexcept {
  return heap_.empty() ? std::numeric_limits<double>::quiet_NaN() : AreaOf(heap_.front().key);
}

void VisvalManager::Unlink(unsigned int index) {
  if (index >= nodes_.size()) throw std::logic_error(kUnlinkError);
  Node& node = nodes_[index];
  if (node.previous == kUndefined || node.next == kUndefined || entries_[index] == kUndefined) {
    throw std::logic_error(kUnlinkError);
  }
  unsigned int const p = node.previous;
  unsigned int const q = node.next;
  nodes_[p].next = q;
  nodes_[q].previous = p;
  Erase(entries_[index]);
  node.previous = kUndefined;  // after the relinking: p or q may be this node
  node.next = kUndefined;
  Reinsert(p);
  Reinsert(q);
  if (p != q && nodes_[p].previous == kUndefined && nodes_[q].next == kUndefined) {
    nodes_[p].next = kUndefined;
    nodes_[q].previous = kUndefined;
  }
}

namespace {

// The order of the priority map: by area key, then by insertion.
template <class E>
inline bool Before(E const& a, E const& b) noexcept {
  return a.key < b.key || (a.key == b.key && a.sequence < b.sequence);
}

}  // namespace

// Erases the node's entry and inserts a fresh one when it still has two
// neighbours. An existing entry is overwritten in place and moved: with
// (key, sequence) unique the heap yields the same order as erase + insert.
void VisvalManager::Reinsert(unsigned int index) {
  Node const& node = nodes_[index];
  unsigned int const position = entries_[index];
  if (node.previous == kUndefined || node.next == kUndefined) {
    if (position != kUndefined) Erase(position);
    return;
  }
  Entry const entry{KeyOf(ComputeArea(index)), sequence_++, index};
  if (position == kUndefined) {
    heap_.push_back(entry);
    SiftUp(heap_.size() - 1, entry);
  } else if (entry.key < heap_[position].key) {
    SiftUp(position, entry);
  } else {
    // Not smaller: with the newest sequence it can only move down.
    SiftDown(position, entry);
  }
}

void VisvalManager::Erase(unsigned int position) {
  entries_[heap_[position].node] = kUndefined;
  Entry const last = heap_.back();
  heap_.pop_back();
  if (position == heap_.size()) return;
  if (position > 0 && Before(last, heap_[(position - 1) / kArity])) {
    SiftUp(position, last);
  } else {
    SiftDown(position, last);
  }
}

// Both sifts move a hole and write the moving entry once, at its place.
void VisvalManager::SiftUp(std::size_t position, Entry moving) {
  while (position > 0) {
    std::size_t const parent = (position - 1) / kArity;
    if (!Before(moving, heap_[parent])) break;
    Place(position, heap_[parent]);
    position = parent;
  }
  Place(position, moving);
}

void VisvalManager::SiftDown(std::size_t position, Entry moving) {
  std::size_t const size = heap_.size();
  for (;;) {
    std::size_t const first = kArity * position + 1;
    if (first >= size) break;
    std::size_t const end = first + kArity < size ? first + kArity : size;
    std::size_t best = first;
    for (std::size_t child = first + 1; child < end; ++child) {
      if (Before(heap_[child], heap_[best])) best = child;
    }
    if (!Before(heap_[best], moving)) break;
    Place(position, heap_[best]);
    position = best;
  }
  Place(position, moving);
}

}  // namespace ostrel
