// The one Duktape heap behind every script context. Contexts are Duktape threads with
// global environments of their own inside it, so values move freely between frames.
// Values the program holds are pinned in the heap stash by slot; program records
// attached to script objects (handlers, accessors, user data) live in a table keyed by
// an id stored on the object and go when the object is finalized. Main thread only (the
// thread that made the heap), except for letting go of values: a value released on
// another thread is unpinned by the heap's own thread at its next pin, and the heap
// itself may go on any thread, with the last value that holds it.
//
// Duktape reports errors by longjmp. Code that has C++ objects with destructors alive
// must only call Duktape functions that cannot throw, or go through Protected().
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "cef/cef_records.h"
#include "duktape.h"
#include "objects/engine_object.h"

namespace cef_engine::script {

// UTF-16 to Duktape's internal text (CESU-8: every code unit on its own, so lone
// surrogates survive) and back.
std::string ToDuk(std::u16string_view text);
std::u16string FromDuk(const char* bytes, size_t length);
void PushText(duk_context* ctx, std::u16string_view text);
// The string at `index` (no coercion; empty for non-strings).
std::u16string TextAt(duk_context* ctx, duk_idx_t index);

// Runs `body(ctx, base)` under duk_safe_call with `nargs` arguments taken from the
// stack: they sit at base .. base + nargs - 1 (the body runs in the caller's frame). The
// body returns how many values on top are results; afterwards the stack holds `nrets`
// results, or when it failed, the error first (padded or cut to `nrets`). `body` must not
// keep C++ objects with destructors alive across Duktape calls.
template <class Body>
bool Protected(duk_context* ctx, duk_idx_t nargs, duk_idx_t nrets, Body&& body) {
  struct Call {
    std::remove_reference_t<Body>* body;
    duk_idx_t base;
  } call{&body, duk_get_top(ctx) - nargs};
  auto trampoline = [](duk_context* c, void* udata) -> duk_ret_t {
    auto* call = static_cast<Call*>(udata);
    return (*call->body)(c, call->base);
  };
  return duk_safe_call(ctx, trampoline, &call, nargs, nrets) == DUK_EXEC_SUCCESS;
}

// Program records attached to one script object.
struct Attachment {
  ProgramRef<cef_v8handler_t> handler;    // functions made by cef_v8value_create_function
  ProgramRef<cef_v8accessor_t> accessor;  // objects made with an accessor
  ProgramRef<cef_base_t> user_data;
  std::u16string function_name;
  int external_memory = 0;
};

class Heap {
 public:
  // The heap, made on first use; it goes when the last context and value let go.
  static std::shared_ptr<Heap> Get();
  Heap();
  ~Heap();
  Heap(const Heap&) = delete;
  Heap& operator=(const Heap&) = delete;

  duk_context* main() const noexcept { return main_; }

  // What Pin answers when the heap has no memory left to keep the value.
  static constexpr uint32_t kNoSlot = UINT32_MAX;
  // Keeps the value at `index` alive; returns its slot, or kNoSlot (Push gives undefined
  // for it, Unpin ignores it).
  uint32_t Pin(duk_context* ctx, duk_idx_t index);
  void Push(duk_context* ctx, uint32_t slot) const;
  void Unpin(uint32_t slot);

  // The attachment of the object at `index`, made (with its finalizer) when `create`.
  Attachment* AttachmentOf(duk_context* ctx, duk_idx_t index, bool create);

  // Helpers compiled once in the heap's own global environment.
  enum class Helper { kIsDate, kDateMs, kNewDate, kKeys };
  void PushHelper(duk_context* ctx, Helper helper) const;

 private:
  static duk_ret_t Finalize(duk_context* ctx);
  // Unpins what other threads let go of; the heap's own thread only.
  void UnpinDeferred();
  void UnpinNow(uint32_t slot);

  duk_context* main_ = nullptr;
  std::thread::id owner_ = std::this_thread::get_id();
  std::mutex deferred_mutex_;
  std::vector<uint32_t> deferred_;  // slots released on other threads
  std::atomic<bool> has_deferred_{false};
  uint32_t next_slot_ = 0;
  std::vector<uint32_t> free_slots_;
  uint32_t next_attachment_ = 1;
  std::map<uint32_t, Attachment> attachments_;
  bool destroying_ = false;
};

// The Duktape thread now running script (innermost), or null.
duk_context* RunningThread();
// Marks `ctx` as running while it lives.
class RunningScope {
 public:
  explicit RunningScope(duk_context* ctx);
  ~RunningScope();
  RunningScope(const RunningScope&) = delete;
  RunningScope& operator=(const RunningScope&) = delete;
};

// Script that runs longer than this (counted from the outermost entry into script,
// without the time the program's handlers take) is stopped with a RangeError.
void SetScriptTimeLimit(std::chrono::milliseconds limit);
// The script heap's memory is limited: an allocation past the limit fails, which stops
// the script with an error ("alloc failed") instead of exhausting the process.
void SetScriptMemoryLimit(size_t bytes);
// Stops the script clock while the program's code runs.
class ScriptClockPause {
 public:
  ScriptClockPause();
  ~ScriptClockPause();
  ScriptClockPause(const ScriptClockPause&) = delete;
  ScriptClockPause& operator=(const ScriptClockPause&) = delete;

 private:
  std::chrono::steady_clock::duration left_;
};

// The thread to work on: the running one, else `fallback`.
inline duk_context* WorkThread(duk_context* fallback) {
  duk_context* running = RunningThread();
  return running ? running : fallback;
}

// Pushes an Error (or another kind, DUK_ERR_...) with `message` blamed on the calling
// script line; when the heap has no room for it, the allocation error instead.
void PushError(duk_context* ctx, std::u16string_view message, duk_errcode_t kind = DUK_ERR_ERROR);

// True while the calling thread's stack has room for one more call into the program's
// code and back into script: native recursion is stopped by the stack bytes left, not
// only by Duktape's count of calls, since the program's frames may be of any size.
bool StackHasRoom();

}  // namespace cef_engine::script
