// VisvalManager: the working structure of the Visvalingam-Whyatt generalizer.
//
// It holds one node per distinct point of a run: the point, the indices of
// its previous and next node (kUndefined when there is none) and a handle to
// its entry in the priority map, which orders the entries by area (as given
// by an AreaFunction of the previous point, the node's point and the next
// point) and, among equal areas, by the order in which they were inserted:
// an entry (re)inserted goes after every entry of the same area. NaN areas
// order after every number; -0 and +0 are the same area.
//
// Built from a run of n points:
// - closed run (n > 3, last point equal to the first): the last point gets no
//   node (m = n - 1 nodes) and the nodes form a cycle; every node has an
//   entry, inserted for node 0, node m - 1, then nodes 1 to m - 2;
// - open run (m = n): the first node has no previous and the last no next
//   node, and neither has an entry; nodes 1 to m - 2 get entries in order.
//
// Invariant: a node has an entry exactly when it has both a previous and a
// next node (they may coincide, or be the node itself, when a cycle has
// shrunk to two or one nodes). A node that has lost both links is removed
// for good: nothing links to it again.
//
// At most 1431655765 nodes, so that the 32-bit insertion counter cannot wrap
// (each node is inserted once and each unlink reinserts at most two, and a
// node is unlinked at most once): the constructor throws std::length_error
// ("VisvalManager: too many points") for longer runs.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "ostrel/core/export.hpp"
#include "ostrel/operations/generalizer_area.hpp"
#include "ostrel/operations/generalizer_point_array.hpp"

namespace ostrel {

class OSTREL_EXPORT VisvalManager {
 public:
  // The link of a node that has no previous or next node.
  static constexpr unsigned int kUndefined = 0xFFFFFFFF;

  // Reads every point of the run once. The area function must outlive the
  // manager.
  VisvalManager(PointArrayAccessAdapter const& points, AreaFunction const& area);
  VisvalManager(VisvalManager const&) = default;
  VisvalManager& operator=(VisvalManager const&) = delete;
  ~VisvalManager();

  // Whether the run was closed, and its number of nodes (n - 1 if closed, else n).
  bool IsClosed() const noexcept { return closed_; }
  unsigned int GetNodeCount() const noexcept { return static_cast<unsigned int>(nodes_.size()); }

  // Node queries; std::out_of_range ("VisvalManager: node index past end")
  // for an index of no node.
  std::pair<double, double> GetPoint(unsigned int index) const;
  unsigned int GetPrevious(unsigned int index) const;
  unsigned int GetNext(unsigned int index) const;
  // Whether the node still has a previous or a next node (its point is kept).
  bool IsLinked(unsigned int index) const;
  // Whether the node has an entry in the priority map, and its area (NaN
  // when it has none).
  bool HasEntry(unsigned int index) const;
  double GetArea(unsigned int index) const;

  // The priority map: its number of entries, and its first entry (node and
  // area); kUndefined and NaN when it is empty.
  std::size_t GetEntryCount() const noexcept { return heap_.size(); }
  bool IsEmpty() const noexcept { return heap_.empty(); }
  unsigned int GetSmallest() const noexcept;
  double GetSmallestArea() const noexcept;

  // Removes node index: its previous and next node are linked to each other,
  // it loses its entry and both links, and each neighbour (previous first)
  // has its entry erased and, when it still has two neighbours, reinserted
  // with the area from its new neighbours. When the neighbours are then the
  // only nodes left of an open chain (the first without previous node, the
  // second without next node), their links to each other are cleared too.
  // std::logic_error ("VisvalManager::Unlink: Index not defined or past end
  // of priority map") when the node has no previous or no next node, has no
  // entry, or does not exist; nothing changes then.
  void Unlink(unsigned int index);

 private:
  struct Node {
    double x;
    double y;
    unsigned int previous;
    unsigned int next;
  };
  // The priority map as an indexed 4-ary min-heap (four children share a
  // cache line). key is the area's bit pattern made monotone as an unsigned
  // integer; (key, sequence) is unique and orders entries exactly as an
  // insertion-stable ordered multimap would.
  struct Entry {
    unsigned long long key;
    unsigned int sequence;
    unsigned int node;
  };

  double ComputeArea(unsigned int index) const;
  void Reinsert(unsigned int index);
  void Erase(unsigned int position);
  void SiftUp(std::size_t position, Entry moving);
  void SiftDown(std::size_t position, Entry moving);
  void Place(std::size_t position, Entry const& entry) {
    heap_[position] = entry;
    entries_[entry.node] = static_cast<unsigned int>(position);
  }
  Node const& NodeAt(unsigned int index) const;

  AreaFunction const* area_;
  bool simple_;  // area_ is SimpleArea: computed inline, with the same result
  bool closed_;
  unsigned int sequence_ = 0;
  std::vector<Node> nodes_;
  std::vector<unsigned int> entries_;  // per node: position in heap_, or kUndefined
  std::vector<Entry> heap_;
};

}  // namespace ostrel
