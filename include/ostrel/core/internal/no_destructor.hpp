// NoDestructor<T>: a T built in place whose destructor never runs.
//
// For the process-lifetime objects of the library (built-in memory
// resources, format information, registries): a host's static object that
// is destroyed after them at exit may still use them, so they must outlive
// every other static. Declare as a function-local static; the wrapper is
// trivially destructible, so no exit-time destructor is registered.
#pragma once

#include <new>
#include <utility>

namespace ostrel::detail {

template <class T>
class NoDestructor {
 public:
  template <class... Args>
  explicit NoDestructor(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  NoDestructor(NoDestructor const&) = delete;
  NoDestructor& operator=(NoDestructor const&) = delete;

  T& operator*() { return *get(); }
  T const& operator*() const { return *get(); }
  T* operator->() { return get(); }
  T const* operator->() const { return get(); }
  T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }
  T const* get() const { return std::launder(reinterpret_cast<T const*>(storage_)); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace ostrel::detail
