// The binding's cost over the raw engine calls, each case beside its baseline in the
// same run: `Group_Binding` against `Group_Raw`, `Group_DirectVirtual` or
// `Group_BareAtomic`. Compare the ratios, not the absolute times. The loads through our
// engine and the main-thread hand-offs are in load_bench.cpp.
//
// Every case reports the heap allocations per iteration made by the program (binding
// and benchmark code: `allocs/iter`) and, apart, by the engine library
// (`engine_allocs/iter`), counted by the replacement operator new below. A binding
// case's label states its goal, which scripts/bench-ratios.py checks.
#include <benchmark/benchmark.h>
#include <link.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/v8_handlers.h"
#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/scheme_registrar.h"
#include "ceflib/wrappers/v8.h"
#include "load_bench.h"
#include "support/fake_engine_object.h"

// ---- heap allocation counting -----------------------------------------------------------

namespace alloc_count {

// Per thread: the engine's own threads do not disturb the measuring thread's counts.
thread_local uint64_t program = 0;
thread_local uint64_t engine = 0;
// The engine library's code; an allocation called from there is the engine's.
uintptr_t engine_begin = 0;
uintptr_t engine_size = 0;

inline void Count(const void* caller) noexcept {
  if (reinterpret_cast<uintptr_t>(caller) - engine_begin < engine_size) {
    ++engine;
  } else {
    ++program;
  }
}

inline void* Allocate(std::size_t size) noexcept { return std::malloc(size ? size : 1); }

inline void* AllocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
  const auto align = static_cast<std::size_t>(alignment);
  return std::aligned_alloc(align, (size + align - 1) / align * align);  // size: a multiple
}

}  // namespace alloc_count

// Every form of operator new counts; __builtin_return_address names the caller. The
// library's operator delete forms free with std::free, which fits both allocators.
[[gnu::noinline]] void* operator new(std::size_t size) {
  alloc_count::Count(__builtin_return_address(0));
  if (void* p = alloc_count::Allocate(size)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size) {
  alloc_count::Count(__builtin_return_address(0));
  if (void* p = alloc_count::Allocate(size)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  alloc_count::Count(__builtin_return_address(0));
  return alloc_count::Allocate(size);
}
[[gnu::noinline]] void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  alloc_count::Count(__builtin_return_address(0));
  return alloc_count::Allocate(size);
}
[[gnu::noinline]] void* operator new(std::size_t size, std::align_val_t alignment) {
  alloc_count::Count(__builtin_return_address(0));
  if (void* p = alloc_count::AllocateAligned(size, alignment)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new[](std::size_t size, std::align_val_t alignment) {
  alloc_count::Count(__builtin_return_address(0));
  if (void* p = alloc_count::AllocateAligned(size, alignment)) return p;
  throw std::bad_alloc();
}
[[gnu::noinline]] void* operator new(std::size_t size, std::align_val_t alignment,
                                     const std::nothrow_t&) noexcept {
  alloc_count::Count(__builtin_return_address(0));
  return alloc_count::AllocateAligned(size, alignment);
}
[[gnu::noinline]] void* operator new[](std::size_t size, std::align_val_t alignment,
                                       const std::nothrow_t&) noexcept {
  alloc_count::Count(__builtin_return_address(0));
  return alloc_count::AllocateAligned(size, alignment);
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace ceflib;

namespace {

// Allocations per iteration of the measured loop, reported as the case's counters.
class AllocationMeter {
 public:
  explicit AllocationMeter(benchmark::State& state) noexcept
      : state_(state), program_(alloc_count::program), engine_(alloc_count::engine) {}
  // Call right after the loop.
  void Report() {
    const auto program = static_cast<double>(alloc_count::program - program_);
    const auto engine = static_cast<double>(alloc_count::engine - engine_);
    state_.counters["allocs/iter"] = benchmark::Counter(program, benchmark::Counter::kAvgIterations);
    state_.counters["engine_allocs/iter"] = benchmark::Counter(engine, benchmark::Counter::kAvgIterations);
  }

 private:
  benchmark::State& state_;
  uint64_t program_;
  uint64_t engine_;
};

// The pointer, hidden from the optimizer: calls through it stay indirect and virtual
// calls stay virtual, as in a program that got the pointer from elsewhere.
template <class T>
T* Opaque(T* p) noexcept {
  asm volatile("" : "+r"(p));
  return p;
}

// Fails the case when the loop left an engine object's references out of balance.
template <class Record>
void ExpectRefs(benchmark::State& state, const FakeEngineObject<Record>& object, int refs) {
  if (object.refs != refs) state.SkipWithError("engine references out of balance");
}

// The engine's side of handing a record over: one reference goes with the pointer.
template <class Record>
Record* HandOver(Record* record) {
  record->base.add_ref(&record->base);
  return record;
}

template <class Record>
void Drop(Record* record) {
  record->base.release(&record->base);
}

// ---- a Boolean getter -------------------------------------------------------------------

int CEF_CALLBACK CanGoBack(cef_browser_t*) { return 1; }

void CanGoBack_Binding(benchmark::State& state) {
  FakeEngineObject<cef_browser_t> engine;
  engine.record.can_go_back = &CanGoBack;
  RefPtr<ICefBrowser> wrapper = TCefBrowserRef::UnWrap(engine.get());
  ICefBrowser* browser = Opaque(wrapper.get());
  AllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(browser->CanGoBack());
  meter.Report();
  ExpectRefs(state, engine, 1);
  state.SetLabel("ratio<=1.15 allocs==0");
}
BENCHMARK(CanGoBack_Binding);

void CanGoBack_Raw(benchmark::State& state) {
  FakeEngineObject<cef_browser_t> engine;
  engine.record.can_go_back = &CanGoBack;
  cef_browser_t* browser = Opaque(engine.get());
  AllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(browser->can_go_back(browser) != 0);
  meter.Report();
}
BENCHMARK(CanGoBack_Raw);

// ---- a string argument: the frame's LoadUrl ---------------------------------------------

void CEF_CALLBACK LoadUrl(cef_frame_t*, const cef_string_t* url) { benchmark::DoNotOptimize(url->length); }

const ustring kUrl = u"http://game.test/UCClient/login.php";

void LoadUrl_Binding(benchmark::State& state) {
  FakeEngineObject<cef_frame_t> engine;
  engine.record.load_url = &LoadUrl;
  RefPtr<ICefFrame> wrapper = TCefFrameRef::UnWrap(engine.get());
  ICefFrame* frame = Opaque(wrapper.get());
  const ustring url = kUrl;
  AllocationMeter meter(state);
  for (auto _ : state) frame->LoadUrl(url);
  meter.Report();
  ExpectRefs(state, engine, 1);
  state.SetLabel("ratio<=1.3 allocs==0");
}
BENCHMARK(LoadUrl_Binding);

void LoadUrl_Raw(benchmark::State& state) {
  FakeEngineObject<cef_frame_t> engine;
  engine.record.load_url = &LoadUrl;
  cef_frame_t* frame = Opaque(engine.get());
  ustring url = kUrl;
  AllocationMeter meter(state);
  for (auto _ : state) {
    cef_string_t view{url.data(), url.size(), nullptr};
    frame->load_url(frame, &view);
  }
  meter.Report();
}
BENCHMARK(LoadUrl_Raw);

// ---- a string argument with Booleans: the scheme registrar ------------------------------

int CEF_CALLBACK TakeScheme(cef_scheme_registrar_t*, const cef_string_t* name, int standard, int, int) {
  benchmark::DoNotOptimize(name->str);
  return static_cast<int>(name->length) + standard;
}

void AddCustomScheme_Binding(benchmark::State& state) {
  FakeEngineObject<cef_scheme_registrar_t> engine;
  engine.record.add_custom_scheme = &TakeScheme;
  RefPtr<ICefSchemeRegistrar> wrapper = TCefSchemeRegistrarRef::UnWrap(engine.get());
  ICefSchemeRegistrar* registrar = Opaque(wrapper.get());
  const ustring name = u"client-scheme-with-a-longer-name";
  AllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(registrar->AddCustomScheme(name, true, false, false));
  meter.Report();
  ExpectRefs(state, engine, 1);
  state.SetLabel("ratio<=1.3 allocs==0");
}
BENCHMARK(AddCustomScheme_Binding);

void AddCustomScheme_Raw(benchmark::State& state) {
  FakeEngineObject<cef_scheme_registrar_t> engine;
  engine.record.add_custom_scheme = &TakeScheme;
  cef_scheme_registrar_t* record = Opaque(engine.get());
  ustring name = u"client-scheme-with-a-longer-name";
  AllocationMeter meter(state);
  for (auto _ : state) {
    cef_string_t view{name.data(), name.size(), nullptr};
    benchmark::DoNotOptimize(record->add_custom_scheme(record, &view, 1, 0, 0) != 0);
  }
  meter.Report();
}
BENCHMARK(AddCustomScheme_Raw);

// ---- a userfree string result: the frame's GetUrl ---------------------------------------

cef_string_userfree_t CEF_CALLBACK ReturnUrl(cef_frame_t*) {
  cef_string_userfree_t result = cef_string_userfree_alloc();
  cef_string_set(kUrl.data(), kUrl.size(), result, 1);
  return result;
}

void GetUrl_Binding(benchmark::State& state) {
  FakeEngineObject<cef_frame_t> engine;
  engine.record.get_url = &ReturnUrl;
  RefPtr<ICefFrame> wrapper = TCefFrameRef::UnWrap(engine.get());
  ICefFrame* frame = Opaque(wrapper.get());
  AllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(frame->GetUrl());
  meter.Report();
  ExpectRefs(state, engine, 1);
  state.SetLabel("allocs==1");
}
BENCHMARK(GetUrl_Binding);

void GetUrl_Raw(benchmark::State& state) {
  FakeEngineObject<cef_frame_t> engine;
  engine.record.get_url = &ReturnUrl;
  cef_frame_t* frame = Opaque(engine.get());
  AllocationMeter meter(state);
  for (auto _ : state) {
    cef_string_userfree_t url = frame->get_url(frame);
    const ustring copy(url->str, url->length);
    cef_string_userfree_free(url);
    benchmark::DoNotOptimize(copy);
  }
  meter.Report();
}
BENCHMARK(GetUrl_Raw);

// ---- an object result: the browser's GetMainFrame, released at once ---------------------

FakeEngineObject<cef_frame_t>& MainFrame() {
  static FakeEngineObject<cef_frame_t> frame;
  return frame;
}

cef_frame_t* CEF_CALLBACK GetMainFrame(cef_browser_t*) { return HandOver(MainFrame().get()); }

void GetMainFrame_Binding(benchmark::State& state) {
  FakeEngineObject<cef_browser_t> engine;
  engine.record.get_main_frame = &GetMainFrame;
  RefPtr<ICefBrowser> wrapper = TCefBrowserRef::UnWrap(engine.get());
  ICefBrowser* browser = Opaque(wrapper.get());
  const int frameRefs = MainFrame().refs;
  AllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(browser->GetMainFrame());
  meter.Report();
  ExpectRefs(state, MainFrame(), frameRefs);
  // Every call makes a new wrapper; its memory is recycled, not a heap call.
  state.SetLabel("ratio<=2.0 allocs==0");
}
BENCHMARK(GetMainFrame_Binding);

void GetMainFrame_Raw(benchmark::State& state) {
  FakeEngineObject<cef_browser_t> engine;
  engine.record.get_main_frame = &GetMainFrame;
  cef_browser_t* browser = Opaque(engine.get());
  const int frameRefs = MainFrame().refs;
  AllocationMeter meter(state);
  for (auto _ : state) {
    cef_frame_t* const frame = browser->get_main_frame(browser);
    benchmark::DoNotOptimize(frame);
    Drop(frame);
  }
  meter.Report();
  ExpectRefs(state, MainFrame(), frameRefs);
}
BENCHMARK(GetMainFrame_Raw);

// ---- engine to program: the load handler's on_load_end ----------------------------------

class LoadHandler : public TCefLoadHandlerOwn {
 public:
  using TCefLoadHandlerOwn::record;
  void OnLoadEnd(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                 int httpStatusCode) override {
    if (browser && frame && httpStatusCode == 200) ++loaded;
  }
  int loaded = 0;
};

void OnLoadEnd_Binding(benchmark::State& state) {
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_frame_t> frame;
  RefPtr<LoadHandler> handler = Make<LoadHandler>();
  cef_load_handler_t* record = Opaque(handler->record());
  AllocationMeter meter(state);
  for (auto _ : state) record->on_load_end(record, HandOver(browser.get()), HandOver(frame.get()), 200);
  meter.Report();
  ExpectRefs(state, browser, 1);
  ExpectRefs(state, frame, 1);
  state.SetLabel("ratio<=1.3");
}
BENCHMARK(OnLoadEnd_Binding);

void OnLoadEnd_DirectVirtual(benchmark::State& state) {
  FakeEngineObject<cef_browser_t> browser;
  FakeEngineObject<cef_frame_t> frame;
  RefPtr<LoadHandler> handler = Make<LoadHandler>();
  TCefLoadHandlerOwn* target = Opaque<TCefLoadHandlerOwn>(handler.get());
  AllocationMeter meter(state);
  for (auto _ : state) {
    cef_browser_t* b = HandOver(browser.get());
    cef_frame_t* f = HandOver(frame.get());
    // The entry's conversions, by hand: each wrapper takes over its reference.
    target->OnLoadEnd(TCefBrowserRef::UnWrap(b), TCefFrameRef::UnWrap(f), 200);
  }
  meter.Report();
  ExpectRefs(state, browser, 1);
  ExpectRefs(state, frame, 1);
}
BENCHMARK(OnLoadEnd_DirectVirtual);

// ---- engine to program: a native function's execute with three arguments ----------------

class V8Handler : public TCefv8HandlerOwn {
 public:
  using TCefv8HandlerOwn::record;
  // Answers its first argument.
  bool Execute(const ustring& name, const RefPtr<ICefV8Value>& obj, const TCefv8ValueArray& arguments,
               RefPtr<ICefV8Value>& retval, ustring&) override {
    if (name.empty() || !obj || arguments.size() != 3) return false;
    retval = arguments[0];
    return true;
  }
};

// The engine's side of a call: the receiver and three arguments, a reference with
// each; afterwards the engine drops the result and the exception text.
struct ScriptCall {
  FakeEngineObject<cef_v8value_t> object, first, second, third;
  ustring name = u"SetTestParam";

  template <class Execute>
  int Run(Execute&& execute) {
    const cef_string_t nameView{name.data(), name.size(), nullptr};
    cef_v8value_t* arguments[3] = {HandOver(first.get()), HandOver(second.get()), HandOver(third.get())};
    cef_v8value_t* retval = nullptr;
    cef_string_t exception{};
    const int handled = execute(&nameView, HandOver(object.get()), 3, arguments, &retval, &exception);
    if (retval) Drop(retval);
    cef_string_clear(&exception);
    return handled;
  }
  void Expect(benchmark::State& state) const {
    for (const auto* value : {&object, &first, &second, &third}) ExpectRefs(state, *value, 1);
  }
};

void Execute3Args_Binding(benchmark::State& state) {
  ScriptCall call;
  RefPtr<V8Handler> handler = Make<V8Handler>();
  cef_v8handler_t* record = Opaque(handler->record());
  auto entry = [record](const cef_string_t* name, cef_v8value_t* object, size_t count,
                        const cef_v8value_t* const* arguments, cef_v8value_t** retval,
                        cef_string_t* exception) {
    return record->execute(record, name, object, count, arguments, retval, exception);
  };
  AllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(call.Run(entry));
  meter.Report();
  call.Expect(state);
  state.SetLabel("ratio<=1.3");
}
BENCHMARK(Execute3Args_Binding);

void Execute3Args_DirectVirtual(benchmark::State& state) {
  ScriptCall call;
  RefPtr<V8Handler> handler = Make<V8Handler>();
  ICefv8Handler* target = Opaque<ICefv8Handler>(handler.get());
  // The entry's conversions, by hand.
  auto byHand = [target](const cef_string_t* name, cef_v8value_t* object, size_t count,
                         const cef_v8value_t* const* arguments, cef_v8value_t** retval,
                         cef_string_t* exception) {
    TCefv8ValueArray args;
    args.reserve(count);
    for (size_t i = 0; i < count; ++i)
      args.push_back(TCefv8ValueRef::UnWrap(const_cast<cef_v8value_t*>(arguments[i])));
    RefPtr<ICefV8Value> obj = TCefv8ValueRef::UnWrap(object);
    RefPtr<ICefV8Value> result;
    ustring error;
    const bool handled = target->Execute(CefStringRead(name), obj, args, result, error);
    *retval = reinterpret_cast<cef_v8value_t*>(CefDataOf(result));
    CefStringAssign(exception, error);
    return handled ? -1 : 0;
  };
  AllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(call.Run(byHand));
  meter.Report();
  call.Expect(state);
}
BENCHMARK(Execute3Args_DirectVirtual);

// ---- a script string value: created by the engine and read back -------------------------

const ustring kScriptText = u"value handed to page script";

void V8StringValue_Binding(benchmark::State& state) {
  // Holding one value keeps the engine's script heap between iterations.
  RefPtr<ICefV8Value> keep = TCefv8ValueRef::CreateUndefined();
  const ustring text = kScriptText;
  if (!keep || !TCefv8ValueRef::CreateString(text))
    return state.SkipWithError("the engine made no script value");
  AllocationMeter meter(state);
  for (auto _ : state) benchmark::DoNotOptimize(TCefv8ValueRef::CreateString(text)->GetStringValue());
  meter.Report();
  if (TCefv8ValueRef::CreateString(text)->GetStringValue() != text) state.SkipWithError("wrong text");
}
BENCHMARK(V8StringValue_Binding);

void V8StringValue_Raw(benchmark::State& state) {
  cef_v8value_t* keep = cef_v8value_create_undefined();
  if (!keep) return state.SkipWithError("the engine made no script value");
  ustring text = kScriptText;
  AllocationMeter meter(state);
  for (auto _ : state) {
    const cef_string_t view{text.data(), text.size(), nullptr};
    cef_v8value_t* value = cef_v8value_create_string(&view);
    cef_string_userfree_t result = value->get_string_value(value);
    const ustring copy(result->str, result->length);
    cef_string_userfree_free(result);
    Drop(value);
    benchmark::DoNotOptimize(copy);
  }
  meter.Report();
  Drop(keep);
}
BENCHMARK(V8StringValue_Raw);

// ---- reference counting through a bridge record -----------------------------------------

struct Counted : TCefOwn<cef_task_t> {
  using TCefOwn::record;
};

void AddRefRelease_BridgeRecord(benchmark::State& state) {
  RefPtr<Counted> own = Make<Counted>();
  cef_base_t* base = &own->record()->base;
  AllocationMeter meter(state);
  for (auto _ : state) {
    base->add_ref(base);
    benchmark::DoNotOptimize(base->release(base));
  }
  meter.Report();
}
BENCHMARK(AddRefRelease_BridgeRecord);

void AddRefRelease_BareAtomic(benchmark::State& state) {
  std::atomic<int> count{1};
  AllocationMeter meter(state);
  for (auto _ : state) {
    count.fetch_add(1, std::memory_order_relaxed);
    benchmark::DoNotOptimize(count.fetch_sub(1, std::memory_order_acq_rel) - 1);
  }
  meter.Report();
}
BENCHMARK(AddRefRelease_BareAtomic);

// Records the span of the engine library's executable segments.
int FindEngineCode(dl_phdr_info* info, size_t, void*) {
  const std::string_view name = info->dlpi_name ? info->dlpi_name : "";
  if (!name.ends_with("/libcef.so")) return 0;
  uintptr_t begin = UINTPTR_MAX, end = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD || !(segment.p_flags & PF_X)) continue;
    const uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    begin = std::min(begin, start);
    end = std::max(end, start + segment.p_memsz);
  }
  if (end == 0) return 0;
  alloc_count::engine_begin = begin;
  alloc_count::engine_size = end - begin;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Our engine sits beside the benchmark program.
  std::string self = argv[0];
  std::string dir = self.substr(0, self.find_last_of('/') + 1);
  std::string path = (dir.empty() ? "./" : dir) + "libcef.so";
  CefLibraryName.assign(path.begin(), path.end());
  load_bench::BeforeEngineStart();
  CefEnsureEngine();
  load_bench::AfterEngineStart();
  if (!dl_iterate_phdr(&FindEngineCode, nullptr)) {
    std::fprintf(stderr, "ceflib_bench: the engine library's code was not found\n");
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  load_bench::Finish();
  benchmark::Shutdown();
  return 0;
}
