#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ostrel/ostrel.hpp"
#include "support/counting_resource.hpp"

using namespace ostrel;
using test_support::CountingMemoryResource;

// The null resource refuses with its fixed message; a null argument installs the heap; element
// size and alignment reach the resource; one element past SIZE_MAX / sizeof(T) is refused.
TEST(MemoryResource, BuiltInsAndAllocatorLimits) {
  MemoryResource *heap = NewDeleteMemoryResource(), *null = NullMemoryResource();
  EXPECT_THAT([null] { null->Allocate(8, 8); },
              testing::ThrowsMessage<std::bad_alloc>("bad allocation"));
  CountingMemoryResource counting;
  EXPECT_TRUE(GetMemoryResource() == heap && SetMemoryResource(&counting) == heap);
  EXPECT_TRUE(SetMemoryResource(nullptr) == &counting && GetMemoryResource() == heap);
  using Wide = std::max_align_t;  // alignment 16 on the platforms built for
  ResourceAllocator<Wide> alloc(&counting), refusing(null);
  counting.Deallocate(alloc.allocate(3), 3 * sizeof(Wide), alignof(Wide));
  alloc.deallocate(static_cast<Wide*>(counting.Allocate(2 * sizeof(Wide), alignof(Wide))), 2);
  EXPECT_TRUE(counting.Balanced() && counting.Allocations() == 2);
  EXPECT_THROW((void)refusing.allocate(SIZE_MAX / sizeof(Wide)), std::bad_alloc);
  EXPECT_THAT([&] { (void)refusing.allocate(SIZE_MAX / sizeof(Wide) + 1); },
              testing::ThrowsMessage<std::length_error>("requested size greater than max size"));
}

// Containers keep the resource current when made; a copy takes the current one, a move the
// source's, move assignment the target's; allocators are equal if either resource accepts.
TEST(ResourceAllocator, ContainersAndEquality) {
  CountingMemoryResource first, second;
  {
    test_support::ScopedMemoryResource scoped(&first);
    ResourceVector<int> v;
    SetMemoryResource(&second);
    for (int i = 0; i < 1000; ++i) v.push_back(i);
    EXPECT_TRUE(first.LiveBytes() >= 1000 * sizeof(int) && second.Allocations() == 0);
    ResourceVector<int> copy(v), moved(std::move(v)), target;
    EXPECT_TRUE(copy.get_allocator().GetResource() == &second && first.LiveBlocks() == 1);
    EXPECT_EQ(moved.get_allocator().GetResource(), &first);
    target = std::move(moved);
    EXPECT_TRUE(target.get_allocator().GetResource() == &second && target[999] == 999);
    EXPECT_EQ(second.LiveBlocks(), 2u);
  }
  EXPECT_TRUE(first.Balanced() && second.Balanced());
  struct Accepting final : MemoryResource {  // accepts every counting resource as equal
    void* Allocate(std::size_t, std::size_t) override { throw std::bad_alloc(); }
    void Deallocate(void*, std::size_t, std::size_t) override {}
    bool IsEqual(MemoryResource const& r) const override {
      return typeid(r) == typeid(CountingMemoryResource);
    }
  } accepts;
  auto eq = [](MemoryResource* l, MemoryResource* r) {
    return ResourceAllocator<int>(l) == ResourceAllocator<double>(r);
  };
  EXPECT_TRUE(eq(&first, &first) && eq(&accepts, &first) && eq(&first, &accepts));
  EXPECT_FALSE(eq(&first, &second) || eq(&accepts, NewDeleteMemoryResource()));
}
