// Which engine is loaded, for everything that holds or calls into it. Loading and
// unloading each change the engine's generation, so an object remembers the engine it
// came from; an operation that needs the engine when none is loaded raises instead of
// calling through null; and the library of a shut-down engine stays mapped until the
// last object holding one of its resources has given it back.
#pragma once

#include <atomic>

namespace ceflib {

namespace detail {
extern std::atomic<unsigned> CefEngineGenerationCounter;
// How many binding objects hold engine resources, in two parts whose sum is the count:
// the thread that first loaded an engine (its UI thread, where nearly every wrapper is
// made and dropped) counts in a part of its own, which only it writes, so a wrapper
// costs it no locked instruction; every other thread counts in the shared part. A part
// alone may go below zero when an object made on one thread goes on another.
extern std::atomic<long> CefOwnerThreadPins;
extern std::atomic<long> CefSharedPins;
// Set while the library of a shut-down engine stays mapped for objects still pinning it.
// The owner thread reads it after its plain store without a fence: an engine shut down
// on another thread at the very moment the owner gives pins back may stay mapped until
// the next pin given back or the next shutdown, never too short a time.
extern std::atomic<bool> CefLibrariesKept;
// True on the thread that counts in CefOwnerThreadPins.
#if defined(_WIN32)
// MinGW's run-time frees a thread's thread-local storage before the destructors of its
// thread-local objects run, and those may drop pins: the thread's identity is asked of
// the system instead.
bool CefOnPinOwnerThread() noexcept;
#else
// Constant-initialised, so reading it is a plain thread-local load.
extern constinit thread_local bool CefPinOwnerThread;
inline bool CefOnPinOwnerThread() noexcept { return CefPinOwnerThread; }
#endif
// Makes the calling thread the owner of CefOwnerThreadPins unless a thread already is.
void CefClaimPinOwnerThread() noexcept;
// Adds `delta` to the count of the calling thread's part.
inline void CefAddPins(long delta) noexcept {
  if (CefOnPinOwnerThread()) {
    // The only writer: a plain load and store, released for the threads that sum the parts.
    CefOwnerThreadPins.store(CefOwnerThreadPins.load(std::memory_order_relaxed) + delta,
                             std::memory_order_release);
  } else {
    CefSharedPins.fetch_add(delta, std::memory_order_seq_cst);
  }
}
// Unloads the libraries of shut-down engines once nothing holds them any more.
void CefUnloadUnpinned() noexcept;
}  // namespace detail

// Odd while an engine is loaded; changes at every load and every unload.
inline unsigned CefEngineGeneration() noexcept {
  return detail::CefEngineGenerationCounter.load(std::memory_order_acquire);
}

// Raises ECefException "The engine is not loaded".
[[noreturn]] void CefRaiseEngineNotLoaded();

// An entry point of the entry table, checked: the table is empty while no engine is
// loaded, and a call through it then raises instead.
template <class Fn>
Fn CefEntry(Fn entry) {
  if (!entry) CefRaiseEngineNotLoaded();
  return entry;
}

// Held by every binding object that holds an engine resource (a record reference, a
// list, a map): it keeps the engine's library mapped while the object lives, so the
// object can still give its resource back after CefShutdownEngine (the library is
// unloaded when the last such object goes), and it remembers the engine the object
// came from, so operations on it raise once that engine has been shut down.
class TCefEnginePin {
 public:
  TCefEnginePin() noexcept : FGeneration(CefEngineGeneration()) { detail::CefAddPins(1); }
  ~TCefEnginePin() {
    detail::CefAddPins(-1);
    if (detail::CefLibrariesKept.load(std::memory_order_seq_cst)) [[unlikely]]
      detail::CefUnloadUnpinned();
  }
  TCefEnginePin(const TCefEnginePin&) = delete;
  TCefEnginePin& operator=(const TCefEnginePin&) = delete;

  // True while the engine the object came from is the one loaded (or, for an object
  // made while none was, while none has been loaded since).
  bool Current() const noexcept { return FGeneration == CefEngineGeneration(); }
  // Raises "The engine is not loaded" once the object's engine has been shut down.
  void Check() const {
    if (!Current()) [[unlikely]]
      CefRaiseEngineNotLoaded();
  }

 private:
  unsigned FGeneration;
};

}  // namespace ceflib
