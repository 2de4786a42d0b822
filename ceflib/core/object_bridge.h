// The bridge between engine records and program objects.
//
// TCefBaseOwn: a program object the engine can call. Its record sits in one block right
// behind a pointer back to the object, so the record pointer the engine hands back
// leads to the object without any lookup.
// TCefBaseRef: a program object wrapping an engine record; it owns one engine reference.
//
// Every pointer that crosses the boundary carries exactly one reference, owned by the
// receiver: CefDataOf adds one for the engine, UnWrap takes over the one that came.
#pragma once

#include <memory>
#include <mutex>

#include "cef/cef_records.h"
#include "ceflib/core/engine_state.h"
#include "ceflib/core/exceptions.h"
#include "ceflib/core/ref_counting.h"

namespace ceflib {

class ICefBase : public virtual IInterface {
 public:
  // The engine record with one reference added for the receiver.
  virtual cef_base_t* Wrap() = 0;
};

class TCefBaseOwn : public TInterfacedObject, public virtual ICefBase {
 public:
  cef_base_t* Wrap() override;
  // Held around the custom stream reader's stream operations.
  void Lock() { FCriticaSection.lock(); }
  void Unlock() { FCriticaSection.unlock(); }
  cef_base_t* Data() const noexcept { return FData; }

 protected:
  // Allocates the record of `size` bytes (header included), zeroed, with the header's
  // reference counting leading to this object.
  explicit TCefBaseOwn(size_t size);
  ~TCefBaseOwn() override;

 private:
  static int CEF_CALLBACK BridgeAddRef(cef_base_t* self);
  static int CEF_CALLBACK BridgeRelease(cef_base_t* self);
  static int CEF_CALLBACK BridgeGetRefct(cef_base_t* self);

  std::unique_ptr<void*[]> FBlock;  // back-pointer, then the record
  cef_base_t* FData;
  std::recursive_mutex FCriticaSection;
};

// The program object whose record is p; no reference is added.
TCefBaseOwn* CefObjectOf(const void* p) noexcept;
template <class T>
T* CefObjectOf(const void* p) noexcept {
  return static_cast<T*>(CefObjectOf(p));
}

// Typed base for Own classes: the record type fixes the size and gives typed access.
template <class Record>
class TCefOwn : public TCefBaseOwn {
 protected:
  TCefOwn() : TCefBaseOwn(sizeof(Record)) {}
  Record* record() const noexcept { return reinterpret_cast<Record*>(Data()); }
};

class TCefBaseRef : public TInterfacedObject, public virtual ICefBase {
 public:
  // Takes over the reference that came with data; data must not be null. Inline, like
  // the destructor: a wrapper is built and torn down in one piece wherever it is made.
  explicit TCefBaseRef(void* data) : FData(static_cast<cef_base_t*>(data)) {
    if (!data) [[unlikely]]
      CefRaiseAssertionFailed();
  }
  // Raises "The engine is not loaded" once the record's engine has been shut down.
  cef_base_t* Wrap() override;
  cef_base_t* Data() const noexcept { return FData; }
  // A plain base wrapper (offering only Wrap); null gives null.
  static RefPtr<ICefBase> UnWrap(void* data);

 protected:
  // Gives the engine's reference back, also after CefShutdownEngine: the library stays
  // mapped until the last wrapper has gone.
  ~TCefBaseRef() override {
    if (FData->release) FData->release(FData);
  }
  // Raises "The engine is not loaded" once the record's engine has been shut down.
  void CheckEngine() const { FEngine.Check(); }

 private:
  cef_base_t* FData;
  TCefEnginePin FEngine;
};

// The record of i with one reference added for the engine; null gives null.
template <class I>
cef_base_t* CefDataOf(const RefPtr<I>& i) {
  return i ? i->Wrap() : nullptr;
}

// Which Ref class wraps engine records for a program interface; each Ref class
// specialises it next to its definition.
template <class Iface>
struct TCefWrapperOf;
template <>
struct TCefWrapperOf<ICefBase> {
  using type = TCefBaseRef;
};

}  // namespace ceflib
