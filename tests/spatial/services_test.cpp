// The service registry and Cache<T>: registry semantics and its error, the
// eviction sequence against an independent model of the map's buckets, the
// built-in services, and both under many threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "ostrel/kernel/pole_containment.hpp"
#include "ostrel/kernel/rectangular_bounds.hpp"
#include "ostrel/kernel/spherical_trapezoid_bounds.hpp"
#include "ostrel/operations/basic_services.hpp"
#include "ostrel/spatial/cache.hpp"
#include "ostrel/spatial/service_registry.hpp"

namespace ostrel {
namespace {

using u64 = unsigned long long;

struct Alpha : Service {
  int id = 0;
  explicit Alpha(int i) : id(i) {}
};
struct Beta : Service {};

template <class F>
std::string Message(F f) {
  try {
    f();
  } catch (std::exception const& e) {
    return e.what();
  }
  return "no exception";
}

TEST(ServiceRegistry, RegisterReplaceFindGetUnregister) {
  ServiceRegistry registry;
  EXPECT_EQ(registry.Find<Alpha>(), nullptr);
  EXPECT_EQ(Message([&] { registry.Get<Alpha>(); }),
            std::string("no Service for ") + typeid(Alpha).name());
  EXPECT_THROW(registry.Get(typeid(Beta)), std::runtime_error);

  auto first = std::make_shared<Alpha>(1);
  EXPECT_EQ(registry.Register(first), nullptr);
  EXPECT_EQ(registry.Get<Alpha>(), first);
  EXPECT_EQ(registry.Find<Beta>(), nullptr);  // keyed by type: Alpha is not Beta
  auto second = std::make_shared<Alpha>(2);
  EXPECT_EQ(registry.Register(second), first);  // replaced, handed back
  EXPECT_EQ(registry.Find(typeid(Alpha)), second);

  // GetOrCreate calls its factory only when nothing is registered.
  int calls = 0;
  auto make = [&] { return ++calls, std::make_shared<Alpha>(3); };
  EXPECT_EQ(registry.GetOrCreate<Alpha>(make), second);
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(registry.Unregister<Alpha>(), second);
  EXPECT_EQ(registry.Unregister<Alpha>(), nullptr);
  EXPECT_EQ(registry.GetOrCreate<Alpha>(make)->id, 3);
  EXPECT_EQ(registry.GetOrCreate<Alpha>(make)->id, 3);
  EXPECT_EQ(calls, 1);

  // A holder keeps an unregistered service alive; a service registered
  // under a type it does not have counts as absent for the typed wrappers.
  std::weak_ptr<Alpha> weak = registry.Find<Alpha>();
  registry.Register(typeid(Alpha), std::make_shared<Beta>());
  EXPECT_TRUE(weak.expired());
  EXPECT_NE(registry.Find(typeid(Alpha)), nullptr);
  EXPECT_EQ(registry.Find<Alpha>(), nullptr);
  EXPECT_THROW(registry.Get<Alpha>(), std::runtime_error);
}

// The libstdc++ layout the eviction rule draws from, confirmed on a map of the
// same type: an identity hash, a key's bucket is key % bucket_count, and a new
// key becomes the first entry of its bucket.
using Map = std::unordered_map<u64, int>;

std::size_t BucketCount(unsigned int maximum) {
  Map map;
  map.reserve(maximum);
  return map.bucket_count();
}

TEST(Cache, BucketLayoutAssumedByTheModel) {
  Map map;
  map.reserve(10000);
  std::size_t const n = map.bucket_count();
  ASSERT_GE(n, 10000u);
  for (u64 key : {u64{0}, u64{7}, u64{n}, u64{2 * n + 7}, ~u64{0}, u64{0x9E3779B97F4A7C15}}) {
    map.emplace(key, 0);
    EXPECT_EQ(map.bucket(key), key % n);
    EXPECT_EQ(map.begin(map.bucket(key))->first, key);
  }
  EXPECT_EQ(map.bucket_count(), n);
}

// An independent model of the cache: buckets as lists with new keys in
// front, victims drawn with the same engine and distribution.
struct CacheModel {
  explicit CacheModel(unsigned int m) : maximum(m), buckets(BucketCount(m)), lists(buckets) {}

  unsigned int maximum;
  std::size_t buckets;
  std::vector<std::list<u64>> lists;
  std::map<u64, int> values;
  std::mt19937 engine{5489u};

  void Store(u64 key, int value) {
    if (values.size() >= maximum && !values.count(key)) {
      while (values.size() >= maximum) {
        std::size_t const b = std::uniform_int_distribution<std::size_t>(0, buckets - 1)(engine);
        if (!lists[b].empty()) {
          values.erase(lists[b].front());
          lists[b].pop_front();
        }
      }
    }
    if (!values.count(key)) lists[key % buckets].push_front(key);
    values[key] = value;
  }
};

TEST(Cache, EvictionFollowsTheModel) {
  for (unsigned int maximum : {1u, 2u, 3u, 17u, 100u, 10000u}) {
    Cache<int> cache(maximum);
    CacheModel model(maximum);
    std::mt19937_64 rng(maximum);
    std::size_t const b = model.buckets;
    std::vector<u64> seen;
    // Half of the keys crowd a few buckets, so that "first entry of the
    // bucket" matters; the others are spread like real hashes.
    for (int step = 0; step < 20000; ++step) {
      u64 key = rng() % 2 ? rng() : (rng() % 64) * b + rng() % 4;
      if (rng() % 4 == 0 && !seen.empty()) key = seen[rng() % seen.size()];
      int const value = static_cast<int>(rng() % 1000);
      cache.Store(key, value);
      model.Store(key, value);
      seen.push_back(key);
      if (seen.size() > 256) seen.erase(seen.begin(), seen.begin() + 128);
      if (step % 101 == 0 || maximum <= 3) {
        ASSERT_EQ(cache.Size(), model.values.size()) << maximum << " at " << step;
        for (u64 k : seen) {
          int out = -1;
          bool const present = cache.Lookup(k, out);
          ASSERT_EQ(present, model.values.count(k) == 1) << maximum << " key " << k;
          if (present) {
            ASSERT_EQ(out, model.values[k]);
          }
        }
      }
    }
  }
}

TEST(Cache, SizeOneAndZero) {
  EXPECT_EQ(Message([] { Cache<int> c(0); }), "Cannot create cache with maximum size of 0");
  EXPECT_THROW(RectangularBoundsCache(0), std::invalid_argument);
  Cache<int> cache(1);
  int out = 0;
  cache.Store(1, 10);
  cache.Store(2, 20);  // evicts 1
  EXPECT_FALSE(cache.Lookup(1, out));
  EXPECT_TRUE(cache.Lookup(2, out) && out == 20);
  cache.Store(2, 21);  // overwrites, no eviction
  EXPECT_TRUE(cache.Lookup(2, out) && out == 21);
  EXPECT_EQ(cache.Size(), 1u);
}

TEST(BasicServices, RegisterFreshCachesUnregisterAll) {
  ServiceRegistry& registry = ServiceRegistry::Instance();
  BasicServices::Register();
  auto pole = registry.Get<PoleContainmentCache>();
  auto rect = registry.Get<RectangularBoundsCache>();
  auto sphere = registry.Get<SphericalTrapezoidBoundsCache>();
  for (unsigned int size :
       {pole->GetMaximumSize(), rect->GetMaximumSize(), sphere->GetMaximumSize()}) {
    EXPECT_EQ(size, 10000u);
  }
  rect->Store(1, RectangularBounds(0, 0, 1, 1));
  BasicServices::Register();
  EXPECT_NE(registry.Get<RectangularBoundsCache>(), rect);
  EXPECT_EQ(registry.Get<RectangularBoundsCache>()->Size(), 0u);
  EXPECT_EQ(rect->Size(), 1u);  // still alive for its holder
  BasicServices::Unregister();
  EXPECT_EQ(registry.Find<PoleContainmentCache>(), nullptr);
  EXPECT_EQ(registry.Find<RectangularBoundsCache>(), nullptr);
  EXPECT_EQ(registry.Find<SphericalTrapezoidBoundsCache>(), nullptr);
  BasicServices::Register();
}

// Registry and cache under contention: every value read back must be the one
// some thread stored for that key, and the cache never exceeds its size.
TEST(ServicesThreads, RegistryAndCacheUnderContention) {
  ServiceRegistry registry;
  auto cache = std::make_shared<Cache<u64>>(64);
  std::atomic<bool> bad{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937_64 rng(static_cast<u64>(t));
      for (int i = 0; i < 20000; ++i) {
        u64 const key = rng() % 200;
        u64 out = 0;
        if (cache->Lookup(key, out) && out != key * 3 + 1) bad = true;
        cache->Store(key, key * 3 + 1);
        if (cache->Size() > 64) bad = true;
        switch (rng() % 4) {
          case 0: registry.Register(std::make_shared<Alpha>(t)); break;
          case 1: registry.Unregister<Alpha>(); break;
          case 2: {
            auto made = registry.GetOrCreate<Alpha>([] { return std::make_shared<Alpha>(-1); });
            if (made == nullptr) bad = true;
            break;
          }
          default:
            if (auto a = registry.Find<Alpha>(); a && (a->id < -1 || a->id > 7)) bad = true;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_FALSE(bad);
}

}  // namespace
}  // namespace ostrel
