// Engine-wide state that is never destroyed. Programs call the engine from their own
// static destructors (shutting the engine down at exit, freeing collections), which
// may run after this library's static destructors; the state must still be there.
#pragma once

#include <new>
#include <utility>

namespace cef_engine {

template <class T>
class Immortal {
 public:
  template <class... Args>
  explicit Immortal(Args&&... args) {
    ::new (static_cast<void*>(storage_)) T(std::forward<Args>(args)...);
  }
  Immortal(const Immortal&) = delete;
  Immortal& operator=(const Immortal&) = delete;

  T& operator*() noexcept { return *std::launder(reinterpret_cast<T*>(storage_)); }
  T* operator->() noexcept { return &**this; }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace cef_engine
