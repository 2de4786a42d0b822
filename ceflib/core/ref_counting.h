// Reference counting of the binding's program objects: the basic interface, the one
// intrusive smart pointer used for every reference, and the counted base object.
#pragma once

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace ceflib {

// The basic reference-counted interface. Every program-side interface derives from it
// virtually, so an object that implements several interfaces has one count.
class IInterface {
 public:
  virtual int AddRef() noexcept = 0;
  virtual int Release() noexcept = 0;

 protected:
  virtual ~IInterface() = default;
};

// Intrusive smart pointer: holds one reference of the object it points at.
template <class T>
class RefPtr {
 public:
  RefPtr() noexcept = default;
  RefPtr(std::nullptr_t) noexcept {}
  // Shares: adds a reference of its own.
  explicit RefPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  RefPtr(const RefPtr& other) noexcept : RefPtr(other.p_) {}
  RefPtr(RefPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> RefPtr(const RefPtr<U>& other)
  noexcept : RefPtr(static_cast<T*>(other.get())) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> RefPtr(RefPtr<U>&& other)
  noexcept : p_(other.Detach()) {}
  ~RefPtr() {
    if (p_) p_->Release();
  }

  RefPtr& operator=(RefPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  // Takes over a reference the caller already owns.
  static RefPtr Adopt(T* p) noexcept {
    RefPtr r;
    r.p_ = p;
    return r;
  }
  // Gives up the reference without releasing it.
  T* Detach() noexcept { return std::exchange(p_, nullptr); }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void reset() noexcept { RefPtr().swap(*this); }
  void swap(RefPtr& other) noexcept { std::swap(p_, other.p_); }

  friend bool operator==(const RefPtr& a, const RefPtr& b) noexcept { return a.p_ == b.p_; }
  friend bool operator==(const RefPtr& a, std::nullptr_t) noexcept { return a.p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// Interface cast: a reference to the same object as another interface, or null when the
// object does not implement it.
template <class T, class U>
RefPtr<T> Cast(const RefPtr<U>& from) noexcept {
  return RefPtr<T>(dynamic_cast<T*>(from.get()));
}

// Base of every counted program object. The count starts at 1 and that reference goes
// to the creator (see Make), so references taken and dropped while a constructor runs
// never free a half-built object.
class TInterfacedObject : public virtual IInterface {
 public:
  int AddRef() noexcept override { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
  int Release() noexcept override { return ReleaseAs(this); }
  int RefCount() const noexcept { return count_.load(std::memory_order_relaxed); }

  TInterfacedObject(const TInterfacedObject&) = delete;
  TInterfacedObject& operator=(const TInterfacedObject&) = delete;

 protected:
  TInterfacedObject() noexcept = default;
  ~TInterfacedObject() override = default;

  // Release, the last reference deleting the object through `self`: a class that
  // knows its own type passes itself, so the whole destruction can be inlined.
  template <class Self>
  int ReleaseAs(Self* self) noexcept {
    // The only reference: no other thread holds one it could add to or drop, so the
    // object goes without an atomic write.
    if (count_.load(std::memory_order_acquire) == 1) {
      delete self;
      return 0;
    }
    int n = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (n == 0) delete self;
    return n;
  }

 private:
  std::atomic<int> count_{1};
};

// Creates a counted object; the result owns the creation reference.
template <class T, class... Args>
RefPtr<T> Make(Args&&... args) {
  return RefPtr<T>::Adopt(new T(std::forward<Args>(args)...));
}

}  // namespace ceflib
