// The Visvalingam-Whyatt working structure: a doubly linked list of nodes
// (a cycle for closed runs) over an indexed binary min-heap of areas.
#include "ostrel/operations/visval_manager.hpp"

#include <bit>
#include <limits>
#include <stdexcept>

namespace ostrel {

namespace {

constexpr unsigned long long kSignBit = 0x8000000000000000ULL;
constexpr unsigned long long kCanonicalNaN = 0x7FF8000000000000ULL;

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

// The order of the priority map: by area key, then by insertion.
inline bool Before(unsigned long long key_a, unsigned long long seq_a, unsigned long long key_b,
                   unsigned long long seq_b) noexcept {
  return key_a < key_b || (key_a == key_b && seq_a < seq_b);
}

char const kUnlinkError[] = "VisvalManager::Unlink: Index not defined or past end of priority map";

}  // namespace

VisvalManager::VisvalManager(PointArrayAccessAdapter const& points, AreaFunction const& area)
    : area_(&area), simple_(dynamic_cast<SimpleArea const*>(&area) != nullptr), closed_(false) {
  std::size_t const n = points.GetSize();
  if (n > std::size_t{kUndefined} - 1) throw std::length_error("VisvalManager: too many points");
  nodes_.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    auto const [x, y] = points.GetPoint(i);
    nodes_[i] = Node{x, y, kUndefined, kUndefined, kUndefined};
  }
  closed_ = n > 3 && nodes_.front().x == nodes_.back().x && nodes_.front().y == nodes_.back().y;
  if (closed_) nodes_.pop_back();
  auto const m = static_cast<unsigned int>(nodes_.size());
  for (unsigned int i = 0; i < m; ++i) {
    nodes_[i].previous = i > 0 ? i - 1 : (closed_ ? m - 1 : kUndefined);
    nodes_[i].next = i + 1 < m ? i + 1 : (closed_ ? 0 : kUndefined);
  }

  // Entries in insertion order (their sequence numbers), then heapified:
  // the heap order depends only on (key, sequence), not on how it is built.
  auto add = [this](unsigned int index) {
    auto const position = static_cast<unsigned int>(heap_.size());
    heap_.push_back(Entry{KeyOf(ComputeArea(nodes_[index])), sequence_++, index});
    nodes_[index].entry = position;
  };
  if (closed_) {
    heap_.reserve(m);
    add(0);
    add(m - 1);
  } else if (m > 2) {
    heap_.reserve(m - 2);
  }
  for (unsigned int i = 1; i + 1 < m; ++i) add(i);
  for (auto i = static_cast<unsigned int>(heap_.size() / 2); i-- > 0;) SiftDown(i);
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
bool VisvalManager::HasEntry(unsigned int index) const { return NodeAt(index).entry != kUndefined; }
double VisvalManager::GetArea(unsigned int index) const {
  Node const& node = NodeAt(index);
  return node.entry == kUndefined ? std::numeric_limits<double>::quiet_NaN()
                                  : AreaOf(heap_[node.entry].key);
}

unsigned int VisvalManager::GetSmallest() const noexcept {
  return heap_.empty() ? kUndefined : heap_.front().node;
}
double VisvalManager::GetSmallestArea() const noexcept {
  return heap_.empty() ? std::numeric_limits<double>::quiet_NaN() : AreaOf(heap_.front().key);
}

double VisvalManager::ComputeArea(Node const& node) const {
  Node const& p = nodes_[node.previous];
  Node const& q = nodes_[node.next];
  if (simple_) return SimpleArea::Compute({p.x, p.y}, {node.x, node.y}, {q.x, q.y});
  return area_->Area({p.x, p.y}, {node.x, node.y}, {q.x, q.y});
}

void VisvalManager::Unlink(unsigned int index) {
  if (index >= nodes_.size()) throw std::logic_error(kUnlinkError);
  Node& node = nodes_[index];
  if (node.previous == kUndefined || node.next == kUndefined || node.entry == kUndefined) {
    throw std::logic_error(kUnlinkError);
  }
  unsigned int const p = node.previous;
  unsigned int const q = node.next;
  nodes_[p].next = q;
  nodes_[q].previous = p;
  Erase(node.entry);
  node.previous = kUndefined;  // after the relinking: p or q may be this node
  node.next = kUndefined;
  Reinsert(p);
  Reinsert(q);
  if (p != q && nodes_[p].previous == kUndefined && nodes_[q].next == kUndefined) {
    nodes_[p].next = kUndefined;
    nodes_[q].previous = kUndefined;
  }
}

// Erases the node's entry and inserts a fresh one when it still has two
// neighbours. An existing entry is overwritten in place and moved: with
// (key, sequence) unique the heap yields the same order as erase + insert.
void VisvalManager::Reinsert(unsigned int index) {
  Node& node = nodes_[index];
  bool const linked = node.previous != kUndefined && node.next != kUndefined;
  if (!linked) {
    if (node.entry != kUndefined) Erase(node.entry);
    return;
  }
  Entry const entry{KeyOf(ComputeArea(node)), sequence_++, index};
  unsigned int position = node.entry;
  if (position == kUndefined) {
    position = static_cast<unsigned int>(heap_.size());
    heap_.push_back(entry);
    nodes_[index].entry = position;
    SiftUp(position);
    return;
  }
  // The new sequence is the largest, so an equal key moves down too.
  if (entry.key < heap_[position].key) {
    heap_[position] = entry;
    SiftUp(position);
  } else {
    heap_[position] = entry;
    SiftDown(position);
  }
}

void VisvalManager::Erase(unsigned int position) {
  nodes_[heap_[position].node].entry = kUndefined;
  Entry const last = heap_.back();
  heap_.pop_back();
  if (position == heap_.size()) return;
  bool up = false;
  if (position > 0) {
    Entry const& parent = heap_[(position - 1) / 2];
    up = Before(last.key, last.sequence, parent.key, parent.sequence);
  }
  heap_[position] = last;
  if (up) {
    SiftUp(position);
  } else {
    SiftDown(position);
  }
}

void VisvalManager::SiftUp(unsigned int position) {
  Entry const moving = heap_[position];
  while (position > 0) {
    unsigned int const parent = (position - 1) / 2;
    Entry const& above = heap_[parent];
    if (!Before(moving.key, moving.sequence, above.key, above.sequence)) break;
    Place(position, above);
    position = parent;
  }
  Place(position, moving);
}

void VisvalManager::SiftDown(unsigned int position) {
  Entry const moving = heap_[position];
  std::size_t const size = heap_.size();
  for (;;) {
    std::size_t child = 2 * std::size_t{position} + 1;
    if (child >= size) break;
    if (child + 1 < size && Before(heap_[child + 1].key, heap_[child + 1].sequence,
                                   heap_[child].key, heap_[child].sequence)) {
      ++child;
    }
    if (!Before(heap_[child].key, heap_[child].sequence, moving.key, moving.sequence)) break;
    Place(position, heap_[child]);
    position = static_cast<unsigned int>(child);
  }
  Place(position, moving);
}

}  // namespace ostrel
