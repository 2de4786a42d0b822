// References across the boundary, both ways: engine objects whose records the program
// holds (EngineObject), and program records whose references the engine holds
// (ProgramRef). Every record begins with cef_base_t.
#pragma once

#include <atomic>
#include <memory>
#include <string_view>
#include <type_traits>
#include <utility>

#include "cef/cef_types.h"
#include "objects/live_counts.h"

namespace cef_engine {

// The record kind for reports: "browser" for cef_browser_t, taken from the type's name.
template <class Record>
constexpr std::string_view KindOf() {
  std::string_view name = __PRETTY_FUNCTION__;
  name.remove_prefix(name.find("Record = ") + 9);
  name = name.substr(0, name.find_first_of(";]"));
  if (name.starts_with("cef_")) name.remove_prefix(4);
  if (name.ends_with("_t")) name.remove_suffix(2);
  return name;
}

// Base of every reference-counted engine object. The record the program sees is
// embedded in the object together with a pointer back to it, so the header's
// functions find the object without a lookup. Counted in LiveCounts while alive.
template <class Record>
class EngineObject {
 public:
  EngineObject(const EngineObject&) = delete;
  EngineObject& operator=(const EngineObject&) = delete;

  // The record with one added reference, owned by whoever receives it.
  Record* Share() noexcept {
    AddRef();
    return &cell_.record;
  }
  Record* record() noexcept { return &cell_.record; }

  int AddRef() noexcept { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  int Release() noexcept {
    const int left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }
  int RefCount() const noexcept { return refs_.load(std::memory_order_acquire); }

  // The object behind a record that this engine handed out.
  static EngineObject* FromRecord(Record* record) noexcept { return reinterpret_cast<Cell*>(record)->owner; }
  // Whether `record` is one of ours (records of this type made by this engine), so that
  // a foreign record handed in is refused instead of followed.
  static bool IsOurs(const Record* record) noexcept {
    return record && reinterpret_cast<const cef_base_t*>(record)->add_ref == &AddRefEntry;
  }

 protected:
  EngineObject() noexcept {
    cell_.owner = this;
    cell_.record.base.size = sizeof(Record);
    cell_.record.base.add_ref = &AddRefEntry;
    cell_.record.base.release = &ReleaseEntry;
    cell_.record.base.get_refct = &RefCountEntry;
    LiveCounts::ObjectCreated(KindOf<Record>());
  }
  virtual ~EngineObject() { LiveCounts::ObjectDestroyed(KindOf<Record>()); }

 private:
  struct Cell {
    Record record{};
    EngineObject* owner = nullptr;
  };
  static_assert(std::is_standard_layout_v<Cell>, "the record must sit at the start of its cell");

  static EngineObject* Of(cef_base_t* base) noexcept { return FromRecord(reinterpret_cast<Record*>(base)); }
  static int CEF_CALLBACK AddRefEntry(cef_base_t* base) { return Of(base)->AddRef(); }
  static int CEF_CALLBACK ReleaseEntry(cef_base_t* base) { return Of(base)->Release(); }
  static int CEF_CALLBACK RefCountEntry(cef_base_t* base) { return Of(base)->RefCount(); }

  Cell cell_;
  std::atomic<int> refs_{0};
};

// One engine reference to an engine object, for the engine's own bookkeeping.
template <class T>
class EngineRef {
 public:
  EngineRef() = default;
  // Adds a reference to `object` (null gives an empty holder).
  explicit EngineRef(T* object) noexcept : object_(object) {
    if (object_) object_->AddRef();
  }
  // Takes over the reference that came with a record the engine made.
  template <class Record>
  static EngineRef Adopt(Record* record) noexcept {
    EngineRef ref;
    ref.object_ = record ? static_cast<T*>(T::FromRecord(record)) : nullptr;
    return ref;
  }
  EngineRef(const EngineRef& other) noexcept : EngineRef(other.object_) {}
  EngineRef(EngineRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  EngineRef& operator=(EngineRef other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~EngineRef() { Reset(); }

  void Reset() noexcept {
    if (T* object = std::exchange(object_, nullptr)) object->Release();
  }
  T* get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  bool operator==(const EngineRef& other) const noexcept { return object_ == other.object_; }

 private:
  T* object_ = nullptr;
};

// Makes an engine object and returns its record carrying the one reference that the
// receiver owns.
template <class T, class... Args>
auto* NewEngineRecord(Args&&... args) {
  auto object = std::make_unique<T>(std::forward<Args>(args)...);
  return object.release()->Share();
}

// Makes a new engine object held by one engine reference.
template <class T, class... Args>
EngineRef<T> MakeEngineObject(Args&&... args) {
  return EngineRef<T>::Adopt(NewEngineRecord<T>(std::forward<Args>(args)...));
}

// One reference to a program record that the engine holds; released through the
// record's own header when the holder goes. Works for any record that begins with
// cef_base_t, also for incompletely declared record types.
template <class Record>
class ProgramRef {
 public:
  ProgramRef() = default;
  // Takes over the reference that came with `record` (null gives an empty holder).
  static ProgramRef Adopt(Record* record) noexcept { return ProgramRef(record); }
  // Adds a reference of its own to a record that stays with its lender.
  static ProgramRef Retain(Record* record) noexcept {
    if (record) {
      auto* base = reinterpret_cast<cef_base_t*>(record);
      if (base->add_ref) base->add_ref(base);
    }
    return ProgramRef(record);
  }

  ProgramRef(ProgramRef&& other) noexcept : record_(std::exchange(other.record_, nullptr)) {}
  ProgramRef& operator=(ProgramRef&& other) noexcept {
    if (this != &other) {
      Reset();
      record_ = std::exchange(other.record_, nullptr);
    }
    return *this;
  }
  ~ProgramRef() { Reset(); }

  Record* get() const noexcept { return record_; }
  // The record with one added reference, for a receiver that takes it over.
  Record* Share() const noexcept { return Retain(record_).Release(); }
  // Gives up the reference without releasing it.
  Record* Release() noexcept { return std::exchange(record_, nullptr); }
  Record* operator->() const noexcept { return record_; }
  explicit operator bool() const noexcept { return record_ != nullptr; }

  void Reset() noexcept {
    if (Record* record = std::exchange(record_, nullptr)) {
      auto* base = reinterpret_cast<cef_base_t*>(record);
      if (base->release) base->release(base);
    }
  }

 private:
  explicit ProgramRef(Record* record) noexcept : record_(record) {}
  Record* record_ = nullptr;
};

// Takes over the reference that came with a record the engine does not keep, and drops
// it at once.
template <class Record>
void DropHandedOver(Record* record) noexcept {
  ProgramRef<Record>::Adopt(record);
}

}  // namespace cef_engine
