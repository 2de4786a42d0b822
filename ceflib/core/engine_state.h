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
// How many binding objects hold engine resources; while any do, a shut-down engine's
// library stays mapped.
extern std::atomic<long> CefEnginePins;
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
  TCefEnginePin() noexcept : FGeneration(CefEngineGeneration()) {
    detail::CefEnginePins.fetch_add(1, std::memory_order_relaxed);
  }
  ~TCefEnginePin() {
    if (detail::CefEnginePins.fetch_sub(1, std::memory_order_acq_rel) == 1) detail::CefUnloadUnpinned();
  }
  TCefEnginePin(const TCefEnginePin&) = delete;
  TCefEnginePin& operator=(const TCefEnginePin&) = delete;

  // True while the engine the object came from is the one loaded (or, for an object
  // made while none was, while none has been loaded since).
  bool Current() const noexcept { return FGeneration == CefEngineGeneration(); }
  // Raises "The engine is not loaded" once the object's engine has been shut down.
  void Check() const {
    if (!Current()) CefRaiseEngineNotLoaded();
  }

 private:
  unsigned FGeneration;
};

}  // namespace ceflib
