// The binding's cost over the raw engine calls, each case beside its baseline in the
// same run. Compare the ratios, not the absolute times.
#include <benchmark/benchmark.h>

#include <atomic>
#include <string>

#include "ceflib/core/conversions.h"
#include "support/fake_engine_object.h"

using namespace ceflib;

namespace {

// ---- a string argument ------------------------------------------------------------------

int CEF_CALLBACK TakeScheme(cef_scheme_registrar_t*, const cef_string_t* name, int standard, int, int) {
  benchmark::DoNotOptimize(name->str);
  return static_cast<int>(name->length) + standard;
}

struct SchemeRegistrarRef : TCefRef<SchemeRegistrarRef, ICefBase, cef_scheme_registrar_t> {
  using TCefRef::TCefRef;
  bool Add(const ustring& name, bool standard) {
    return Call<bool>(&cef_scheme_registrar_t::add_custom_scheme, name, standard, false, false);
  }
};

void StringArgument_Binding(benchmark::State& state) {
  FakeEngineObject<cef_scheme_registrar_t> engine;
  engine.record.add_custom_scheme = &TakeScheme;
  RefPtr<SchemeRegistrarRef> wrapper = Make<SchemeRegistrarRef>(engine.get());
  engine.refs++;
  ustring name = u"client-scheme-with-a-longer-name";
  for (auto _ : state) benchmark::DoNotOptimize(wrapper->Add(name, true));
}
BENCHMARK(StringArgument_Binding);

void StringArgument_Raw(benchmark::State& state) {
  FakeEngineObject<cef_scheme_registrar_t> engine;
  engine.record.add_custom_scheme = &TakeScheme;
  cef_scheme_registrar_t* record = engine.get();
  ustring name = u"client-scheme-with-a-longer-name";
  for (auto _ : state) {
    cef_string_t view{name.data(), name.size(), nullptr};
    benchmark::DoNotOptimize(record->add_custom_scheme(record, &view, 1, 0, 0) != 0);
  }
}
BENCHMARK(StringArgument_Raw);

// ---- a userfree string result -----------------------------------------------------------

cef_string_userfree_t CEF_CALLBACK ReturnUrl(cef_frame_t*) {
  static const std::u16string url = u"http://game.test/UCClient/login.php";
  cef_string_userfree_t result = cef_string_userfree_alloc();
  cef_string_set(url.data(), url.size(), result, 1);
  return result;
}

struct FrameRef : TCefRef<FrameRef, ICefBase, cef_frame_t> {
  using TCefRef::TCefRef;
  ustring GetUrl() { return Call<ustring>(&cef_frame_t::get_url); }
};

void StringResult_Binding(benchmark::State& state) {
  FakeEngineObject<cef_frame_t> engine;
  engine.record.get_url = &ReturnUrl;
  RefPtr<FrameRef> wrapper = Make<FrameRef>(engine.get());
  engine.refs++;
  for (auto _ : state) benchmark::DoNotOptimize(wrapper->GetUrl());
}
BENCHMARK(StringResult_Binding);

void StringResult_Raw(benchmark::State& state) {
  FakeEngineObject<cef_frame_t> engine;
  engine.record.get_url = &ReturnUrl;
  cef_frame_t* record = engine.get();
  for (auto _ : state) {
    cef_string_userfree_t u = record->get_url(record);
    std::u16string copy(u->str, u->length);
    cef_string_userfree_utf16_free(u);
    benchmark::DoNotOptimize(copy);
  }
}
BENCHMARK(StringResult_Raw);

// ---- reference counting through a bridge record -----------------------------------------

struct Counted : TCefOwn<cef_task_t> {
  using TCefOwn::record;
};

void AddRefRelease_BridgeRecord(benchmark::State& state) {
  RefPtr<Counted> own = Make<Counted>();
  cef_base_t* base = &own->record()->base;
  for (auto _ : state) {
    base->add_ref(base);
    benchmark::DoNotOptimize(base->release(base));
  }
}
BENCHMARK(AddRefRelease_BridgeRecord);

void AddRefRelease_BareAtomic(benchmark::State& state) {
  std::atomic<int> count{1};
  for (auto _ : state) {
    count.fetch_add(1, std::memory_order_relaxed);
    benchmark::DoNotOptimize(count.fetch_sub(1, std::memory_order_acq_rel) - 1);
  }
}
BENCHMARK(AddRefRelease_BareAtomic);

}  // namespace

int main(int argc, char** argv) {
  // Our engine sits beside the benchmark program.
  std::string self = argv[0];
  std::string dir = self.substr(0, self.find_last_of('/') + 1);
  std::string path = dir + "libcef.so";
  CefLibraryName.assign(path.begin(), path.end());
  CefEnsureEngine();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
