// The shared Duktape heap: text conversion, pinned values, attachments, helpers.
#include "script/heap.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <pthread.h>
#endif

namespace cef_engine::script {
namespace {

constexpr const char* kValues = DUK_HIDDEN_SYMBOL("values");
constexpr const char* kHelpers = DUK_HIDDEN_SYMBOL("helpers");
constexpr const char* kAttachmentId = DUK_HIDDEN_SYMBOL("attachment");

// Out of memory inside Duktape, or an error with no protected call to catch it.
void Fatal(void*, const char* message) {
  std::fprintf(stderr, "cef engine: fatal script engine error: %s\n", message ? message : "");
  std::abort();
}

// Source of the helpers, in Heap::Helper order.
constexpr const char* kHelperSource =
    "[function(v){return Object.prototype.toString.call(v)==='[object Date]';},"
    "function(d){return Date.prototype.getTime.call(d);},"
    "function(ms){return new Date(ms);},"
    "function(o){var k=[];for(var p in o)k.push(p);return k;}]";

std::weak_ptr<Heap>& Current() {
  static std::weak_ptr<Heap> heap;
  return heap;
}

std::vector<duk_context*>& Running() {
  static std::vector<duk_context*> running;
  return running;
}

struct ScriptClock {
  std::chrono::milliseconds limit{10000};
  std::chrono::steady_clock::time_point deadline;
};
ScriptClock& Clock() {
  static ScriptClock clock;
  return clock;
}

// What the script heaps hold. Each block carries its size in front of it. Counted
// atomically: a heap that goes with the last value a program thread released frees its
// memory on that thread.
struct ScriptMemory {
  size_t limit = size_t{256} * 1024 * 1024;
  std::atomic<size_t> used{0};
};
ScriptMemory& Memory() {
  static ScriptMemory memory;
  return memory;
}
constexpr size_t kBlockHeader = sizeof(std::max_align_t);

size_t& SizeOf(void* block) { return *reinterpret_cast<size_t*>(static_cast<char*>(block) - kBlockHeader); }

void* Allocate(void*, duk_size_t size) {
  auto& memory = Memory();
  if (size > memory.limit - std::min(memory.used.load(std::memory_order_relaxed), memory.limit) ||
      size > SIZE_MAX - kBlockHeader)
    return nullptr;
  auto* base = static_cast<char*>(std::malloc(kBlockHeader + size));
  if (!base) return nullptr;
  memory.used.fetch_add(size, std::memory_order_relaxed);
  *reinterpret_cast<size_t*>(base) = size;
  return base + kBlockHeader;
}

void Free(void*, void* block) {
  if (!block) return;
  Memory().used.fetch_sub(SizeOf(block), std::memory_order_relaxed);
  std::free(static_cast<char*>(block) - kBlockHeader);
}

void* Reallocate(void* udata, void* block, duk_size_t size) {
  if (!block) return Allocate(udata, size);
  if (size == 0) {
    Free(udata, block);
    return nullptr;
  }
  auto& memory = Memory();
  const size_t old = SizeOf(block);
  if (size > old &&
      (size - old > memory.limit - std::min(memory.used.load(std::memory_order_relaxed), memory.limit) ||
       size > SIZE_MAX - kBlockHeader))
    return nullptr;
  auto* base =
      static_cast<char*>(std::realloc(static_cast<char*>(block) - kBlockHeader, kBlockHeader + size));
  if (!base) return nullptr;
  memory.used.fetch_add(size, std::memory_order_relaxed);
  memory.used.fetch_sub(old, std::memory_order_relaxed);
  *reinterpret_cast<size_t*>(base) = size;
  return base + kBlockHeader;
}

}  // namespace

std::string ToDuk(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string FromDuk(const char* bytes, size_t length) {
  std::u16string out;
  out.reserve(length);
  const auto* p = reinterpret_cast<const unsigned char*>(bytes);
  size_t i = 0;
  auto continuation = [&](size_t k) { return i + k < length && (p[i + k] & 0xC0) == 0x80; };
  while (i < length) {
    const unsigned char lead = p[i];
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      i += 1;
    } else if ((lead & 0xE0) == 0xC0 && continuation(1)) {
      out += static_cast<char16_t>(((lead & 0x1F) << 6) | (p[i + 1] & 0x3F));
      i += 2;
    } else if ((lead & 0xF0) == 0xE0 && continuation(1) && continuation(2)) {
      out += static_cast<char16_t>(((lead & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F));
      i += 3;
    } else if ((lead & 0xF8) == 0xF0 && continuation(1) && continuation(2) && continuation(3)) {
      char32_t cp =
          ((lead & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12) | ((p[i + 2] & 0x3F) << 6) | (p[i + 3] & 0x3F);
      if (cp >= 0x10000 && cp <= 0x10FFFF) {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 + (cp >> 10));
        out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
      } else {
        out += u'\uFFFD';
      }
      i += 4;
    } else {
      out += u'\uFFFD';
      i += 1;
    }
  }
  return out;
}

void PushText(duk_context* ctx, std::u16string_view text) {
  const std::string bytes = ToDuk(text);
  duk_push_lstring(ctx, bytes.data(), bytes.size());
}

std::u16string TextAt(duk_context* ctx, duk_idx_t index) {
  duk_size_t length = 0;
  const char* bytes = duk_get_lstring(ctx, index, &length);
  return bytes ? FromDuk(bytes, length) : std::u16string();
}

void PushError(duk_context* ctx, std::u16string_view message, duk_errcode_t kind) {
  const std::string bytes = ToDuk(message);
  // No C file name: the error is blamed on the script line that called us. Protected,
  // since a long message may not fit into the heap: the failure is pushed instead.
  Protected(ctx, 0, 1, [&](duk_context* c, duk_idx_t) -> duk_ret_t {
    duk_push_error_object_raw(c, kind, nullptr, 0, "%s", bytes.c_str());
    return 1;
  });
}

namespace {
// The lowest address of the calling thread's stack, asked of the system once per thread.
uintptr_t StackLow() {
  thread_local uintptr_t low = [] {
#if defined(_WIN32)
    MEMORY_BASIC_INFORMATION region{};
    VirtualQuery(__builtin_frame_address(0), &region, sizeof region);
    return reinterpret_cast<uintptr_t>(region.AllocationBase);
#else
    uintptr_t bottom = 0;
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
      void* address = nullptr;
      size_t size = 0;
      if (pthread_attr_getstack(&attributes, &address, &size) == 0)
        bottom = reinterpret_cast<uintptr_t>(address);
      pthread_attr_destroy(&attributes);
    }
    return bottom;
#endif
  }();
  return low;
}
// Room kept for the program's frames of one more native call, its guard pages and the
// script engine's own frames (Windows programs often have 1 or 2 MiB of stack).
constexpr uintptr_t kStackReserve = 256 * 1024;
}  // namespace

bool StackHasRoom() {
  const uintptr_t low = StackLow();
  const auto here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  return low == 0 || (here > low && here - low > kStackReserve);
}

duk_context* RunningThread() { return Running().empty() ? nullptr : Running().back(); }
RunningScope::RunningScope(duk_context* ctx) {
  if (Running().empty()) Clock().deadline = std::chrono::steady_clock::now() + Clock().limit;
  Running().push_back(ctx);
}
RunningScope::~RunningScope() { Running().pop_back(); }

void SetScriptTimeLimit(std::chrono::milliseconds limit) { Clock().limit = limit; }
void SetScriptMemoryLimit(size_t bytes) { Memory().limit = bytes; }

ScriptClockPause::ScriptClockPause() : left_(Clock().deadline - std::chrono::steady_clock::now()) {}
ScriptClockPause::~ScriptClockPause() { Clock().deadline = std::chrono::steady_clock::now() + left_; }

std::shared_ptr<Heap> Heap::Get() {
  std::shared_ptr<Heap> heap = Current().lock();
  if (!heap) {
    heap = std::make_shared<Heap>();
    Current() = heap;
  }
  return heap;
}

Heap::Heap() {
  main_ = duk_create_heap(&Allocate, &Reallocate, &Free, this, &Fatal);
  if (!main_) Fatal(nullptr, "cannot create the script heap");
  duk_push_heap_stash(main_);
  duk_push_array(main_);
  duk_put_prop_string(main_, -2, kValues);
  duk_eval_string(main_, kHelperSource);
  duk_put_prop_string(main_, -2, kHelpers);
  duk_pop(main_);
}

Heap::~Heap() {
  destroying_ = true;
  duk_destroy_heap(main_);
  main_ = nullptr;
  // Released after the heap is gone: a release may reach back into the engine.
  auto doomed = std::move(attachments_);
  doomed.clear();
}

uint32_t Heap::Pin(duk_context* ctx, duk_idx_t index) {
  UnpinDeferred();
  uint32_t slot;
  if (!free_slots_.empty()) {
    slot = free_slots_.back();
    free_slots_.pop_back();
  } else {
    slot = next_slot_++;
  }
  // Protected: growing the table of pinned values may find the heap full.
  duk_dup(ctx, index);
  const bool pinned = Protected(ctx, 1, 0, [slot](duk_context* c, duk_idx_t value) -> duk_ret_t {
    duk_push_heap_stash(c);
    duk_get_prop_string(c, -1, kValues);
    duk_dup(c, value);
    duk_put_prop_index(c, -2, slot);
    return 0;
  });
  if (pinned) return slot;
  free_slots_.push_back(slot);
  return kNoSlot;
}

void Heap::Push(duk_context* ctx, uint32_t slot) const {
  if (slot == kNoSlot) {
    duk_push_undefined(ctx);
    return;
  }
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kValues);
  duk_get_prop_index(ctx, -1, slot);
  duk_remove(ctx, -2);
  duk_remove(ctx, -2);
}

void Heap::Unpin(uint32_t slot) {
  if (destroying_ || slot == kNoSlot) return;
  if (std::this_thread::get_id() != owner_) {
    std::lock_guard lock(deferred_mutex_);
    deferred_.push_back(slot);
    has_deferred_.store(true, std::memory_order_release);
    return;
  }
  UnpinNow(slot);
}

void Heap::UnpinDeferred() {
  if (!has_deferred_.load(std::memory_order_acquire)) return;
  std::vector<uint32_t> slots;
  {
    std::lock_guard lock(deferred_mutex_);
    slots.swap(deferred_);
    has_deferred_.store(false, std::memory_order_relaxed);
  }
  for (uint32_t slot : slots) UnpinNow(slot);
}

void Heap::UnpinNow(uint32_t slot) {
  free_slots_.push_back(slot);
  duk_context* ctx = WorkThread(main_);
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kValues);
  duk_push_undefined(ctx);
  duk_put_prop_index(ctx, -2, slot);  // the object may be finalized here
  duk_pop_2(ctx);
}

void Heap::PushHelper(duk_context* ctx, Helper helper) const {
  duk_push_heap_stash(ctx);
  duk_get_prop_string(ctx, -1, kHelpers);
  duk_get_prop_index(ctx, -1, static_cast<duk_uarridx_t>(helper));
  duk_remove(ctx, -2);
  duk_remove(ctx, -2);
}

Attachment* Heap::AttachmentOf(duk_context* ctx, duk_idx_t index, bool create) {
  if (!duk_is_object(ctx, index)) return nullptr;
  index = duk_normalize_index(ctx, index);
  duk_get_prop_string(ctx, index, kAttachmentId);
  const auto id = static_cast<uint32_t>(duk_get_uint_default(ctx, -1, 0));
  duk_pop(ctx);
  if (id != 0) {
    auto found = attachments_.find(id);
    return found == attachments_.end() ? nullptr : &found->second;
  }
  if (!create) return nullptr;
  const uint32_t fresh = next_attachment_++;
  duk_dup(ctx, index);
  const bool stored = Protected(ctx, 1, 0, [fresh](duk_context* c, duk_idx_t object) -> duk_ret_t {
    duk_push_uint(c, fresh);
    duk_put_prop_string(c, object, kAttachmentId);
    duk_push_c_function(c, &Heap::Finalize, 2);
    duk_set_finalizer(c, object);
    return 0;
  });                           // the copy went in as the argument; nothing comes back
  if (!stored) return nullptr;  // e.g. a frozen object
  return &attachments_[fresh];
}

duk_ret_t Heap::Finalize(duk_context* ctx) {
  duk_memory_functions functions{};
  duk_get_memory_functions(ctx, &functions);
  auto* heap = static_cast<Heap*>(functions.udata);
  duk_get_prop_string(ctx, 0, kAttachmentId);
  const auto id = static_cast<uint32_t>(duk_get_uint_default(ctx, -1, 0));
  duk_pop(ctx);
  if (!heap || heap->destroying_) return 0;  // released by ~Heap
  auto found = heap->attachments_.find(id);
  if (found == heap->attachments_.end()) return 0;
  Attachment doomed = std::move(found->second);
  heap->attachments_.erase(found);
  return 0;  // `doomed` releases the program's records here
}

}  // namespace cef_engine::script

// Asked by Duktape now and then while script runs (see the engine's duk_config.h); once
// it answers 1 it keeps doing so until the script has unwound.
extern "C" int cef_engine_script_timed_out(void*) {
  using namespace cef_engine::script;
  return !Running().empty() && std::chrono::steady_clock::now() > Clock().deadline;
}
