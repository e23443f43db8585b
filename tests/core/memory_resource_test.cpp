#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "ostrel/ostrel.hpp"
#include "support/counting_resource.hpp"

namespace ostrel {
namespace {

using test_support::CountingMemoryResource;
using test_support::ScopedMemoryResource;

template <class T>
using Vector = std::vector<T, ResourceAllocator<T>>;

// Forwards to the heap and also accepts one other resource as equal.
class AcceptingResource final : public MemoryResource {
 public:
  explicit AcceptingResource(MemoryResource const* accepted) : accepted_(accepted) {}
  void* Allocate(std::size_t bytes, std::size_t alignment) override {
    return NewDeleteMemoryResource()->Allocate(bytes, alignment);
  }
  void Deallocate(void* p, std::size_t bytes, std::size_t alignment) override {
    NewDeleteMemoryResource()->Deallocate(p, bytes, alignment);
  }
  bool IsEqual(MemoryResource const& other) const override {
    return &other == this || &other == accepted_;
  }

 private:
  MemoryResource const* accepted_;
};

struct alignas(16) Wide {
  std::uint64_t a, b, c;
};

TEST(MemoryResource, BuiltInResourcesAndTheCurrentOne) {
  MemoryResource* heap = NewDeleteMemoryResource();
  MemoryResource* null = NullMemoryResource();
  EXPECT_TRUE(heap == NewDeleteMemoryResource() && null == NullMemoryResource());
  EXPECT_TRUE(heap->IsEqual(*heap) && !heap->IsEqual(*null) && !null->IsEqual(*heap));
  heap->Deallocate(heap->Allocate(40, 8), 40, 8);
  try {
    null->Allocate(8, 8);
    ADD_FAILURE() << "the null resource allocated";
  } catch (std::bad_alloc const& e) {
    EXPECT_STREQ(e.what(), "bad allocation");
  }
  null->Deallocate(nullptr, 8, 8);  // does nothing

  CountingMemoryResource counting;
  EXPECT_EQ(GetMemoryResource(), heap);
  EXPECT_EQ(SetMemoryResource(&counting), heap);
  EXPECT_EQ(GetMemoryResource(), &counting);
  EXPECT_EQ(SetMemoryResource(nullptr), &counting);  // null installs the heap
  EXPECT_EQ(GetMemoryResource(), heap);
  {
    ScopedMemoryResource scoped(null);
    EXPECT_TRUE(scoped.Previous() == heap && GetMemoryResource() == null);
    Vector<int> empty;  // an empty vector allocates nothing
    EXPECT_THROW(empty.push_back(1), std::bad_alloc);
  }
  EXPECT_EQ(GetMemoryResource(), heap);
}

TEST(ResourceAllocator, PassesSizeAndAlignmentAndChecksTheMaximumCount) {
  CountingMemoryResource counting;
  ResourceAllocator<Wide> alloc(&counting);
  Wide* p = alloc.allocate(3);
  EXPECT_EQ(counting.LiveBytes(), 3 * sizeof(Wide));
  // Returning it directly with the element size and alignment must match.
  counting.Deallocate(p, 3 * sizeof(Wide), alignof(Wide));
  EXPECT_TRUE(counting.Balanced());

  auto expect_length_error = [](auto allocator, std::size_t n) {
    try {
      (void)allocator.allocate(n);
      ADD_FAILURE() << n << " accepted";
    } catch (std::length_error const& e) {
      EXPECT_STREQ(e.what(), "requested size greater than max size");
    }
  };
  // At the limit the request reaches the resource (which refuses it); one
  // more element fails in the allocator.
  ResourceAllocator<std::uint64_t> words(NullMemoryResource());
  EXPECT_THROW((void)words.allocate(SIZE_MAX / 8), std::bad_alloc);
  expect_length_error(words, SIZE_MAX / 8 + 1);
  ResourceAllocator<Wide> wides(NullMemoryResource());
  EXPECT_THROW((void)wides.allocate(SIZE_MAX / sizeof(Wide)), std::bad_alloc);
  expect_length_error(wides, SIZE_MAX / sizeof(Wide) + 1);
  expect_length_error(wides, SIZE_MAX);
}

TEST(ResourceAllocator, Equality) {
  CountingMemoryResource a, b;
  AcceptingResource accepts_a(&a);
  struct Case {
    MemoryResource* left;
    MemoryResource* right;
    bool equal;
  };
  Case const cases[] = {
      {&a, &a, true},          {&a, &b, false},
      {&accepts_a, &a, true},  // the left resource accepts the right
      {&a, &accepts_a, true},  // the right resource accepts the left
      {&accepts_a, &b, false}, {NewDeleteMemoryResource(), NullMemoryResource(), false},
  };
  for (auto const& c : cases) {
    ResourceAllocator<int> left(c.left);
    ResourceAllocator<double> right(c.right);
    EXPECT_EQ(left == right, c.equal);
    EXPECT_EQ(left != right, !c.equal);
    EXPECT_EQ(right == left, c.equal);
  }
  ResourceAllocator<char> rebound{ResourceAllocator<Wide>(&a)};
  EXPECT_EQ(rebound.GetResource(), &a);
}

TEST(ResourceAllocator, ContainersKeepTheResourceCurrentWhenTheyWereMade) {
  CountingMemoryResource first, second;
  {
    ScopedMemoryResource scoped(&first);
    Vector<int> v;
    EXPECT_EQ(v.get_allocator().GetResource(), &first);
    SetMemoryResource(&second);  // switched while v is alive
    for (int i = 0; i < 1000; ++i) v.push_back(i);
    EXPECT_GT(first.Allocations(), 1u);
    EXPECT_GE(first.LiveBytes(), 1000 * sizeof(int));
    EXPECT_EQ(second.Allocations(), 0u);

    Vector<int> copy(v);  // a copy takes the resource current now
    EXPECT_EQ(copy.get_allocator().GetResource(), &second);
    EXPECT_EQ(second.LiveBytes(), copy.capacity() * sizeof(int));

    std::size_t first_allocations = first.Allocations();
    Vector<int> moved(std::move(v));  // a move keeps the source's buffer and resource
    EXPECT_EQ(moved.get_allocator().GetResource(), &first);
    EXPECT_EQ(first.Allocations(), first_allocations);

    Vector<int> target;         // made with `second` current
    target = std::move(moved);  // unequal allocators: target keeps its own, copies
    EXPECT_EQ(target.get_allocator().GetResource(), &second);
    EXPECT_EQ(target.size(), 1000u);
    EXPECT_EQ(target[999], 999);
    EXPECT_EQ(second.LiveBlocks(), 2u);
  }
  EXPECT_EQ(GetMemoryResource(), NewDeleteMemoryResource());
  EXPECT_TRUE(first.Balanced());
  EXPECT_TRUE(second.Balanced());
  EXPECT_EQ(first.Misaligned() + second.Misaligned(), 0u);
}

TEST(CountingMemoryResource, FlagsMismatchedDeallocations) {
  CountingMemoryResource counting;
  void* p = counting.Allocate(24, 8);
  void* q = counting.Allocate(16, 8);
  counting.Deallocate(p, 32, 8);  // wrong size: still released
  counting.Deallocate(q, 16, 4);  // wrong alignment: still released
  int unrelated = 0;
  counting.Deallocate(&unrelated, 4, 4);  // never handed out: not passed on
  EXPECT_EQ(counting.Mismatches(), 3u);
  EXPECT_EQ(counting.LiveBytes(), 0u);
  EXPECT_EQ(counting.Deallocations(), 3u);
  EXPECT_FALSE(counting.Balanced());
}

TEST(CountingMemoryResource, CountsAcrossThreads) {
  CountingMemoryResource counting;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&counting] {
      for (int i = 0; i < 2000; ++i) {
        Vector<std::uint64_t> v{ResourceAllocator<std::uint64_t>(&counting)};
        v.resize(static_cast<std::size_t>(i % 17 + 1));
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(counting.Allocations(), 8000u);
  EXPECT_TRUE(counting.Balanced());
}

}  // namespace
}  // namespace ostrel
