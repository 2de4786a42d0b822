// Where the data flows through our engine, each case beside its baseline in the same run:
//
// - SchemeBody: a 64 MiB body loaded by a browser from a scheme handler derived from
//   the binding's handler class (`Binding`, direct mode; `MainThread`, main-thread
//   mode) against a handler written directly on the engine's C records (`Raw`), same
//   engine, same chunking; and against a plain copy of 64 MiB (`Memcpy`, the limit).
//   Each load reports its peak resident memory over the resident set before it, per
//   byte of body (`peak/body`).
// - MainThreadCall: one handler call handed to the main thread and answered, against
//   a bare two-thread round trip through a mutex and a condition variable.
//
// These cases wait on other threads, so they are timed by the wall clock ("wall").
#include "load_bench.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/scheme.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/scheme_registrar.h"
#include "support/fake_engine_object.h"

namespace load_bench {
namespace {

using namespace ceflib;

constexpr size_t kBodySize = size_t{64} << 20;
ustring kScheme = u"bench";

// The body every handler serves, made and resident before the first load.
const std::vector<char>& Body() {
  static const std::vector<char> body = [] {
    std::vector<char> bytes(kBodySize);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
  }();
  return body;
}

// ---- resident memory ----------------------------------------------------------------------

// A field of /proc/self/status in bytes: "VmRSS" now, "VmHWM" the peak since the last reset.
size_t StatusBytes(std::string_view field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(field) && line.size() > field.size() && line[field.size()] == ':')
      return std::stoull(line.substr(field.size() + 1)) * 1024;
  }
  return 0;
}

// Sets the peak to the present resident set.
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return static_cast<bool>(clear);
}

// The largest peak of the measured loads over the resident set before each.
class PeakMeter {
 public:
  explicit PeakMeter(benchmark::State& state) : state_(state) {}
  void Before() {
    state_.PauseTiming();
    ok_ = ok_ && ResetPeak();
    before_ = StatusBytes("VmRSS");
    state_.ResumeTiming();
  }
  void After() {
    state_.PauseTiming();
    const size_t peak = StatusBytes("VmHWM");
    if (peak > before_) worst_ = std::max(worst_, peak - before_);
    state_.ResumeTiming();
  }
  void Report() {
    if (!ok_) return state_.SkipWithError("the peak resident set cannot be reset");
    state_.counters["peak/body"] = static_cast<double>(worst_) / static_cast<double>(kBodySize);
  }

 private:
  benchmark::State& state_;
  bool ok_ = true;
  size_t before_ = 0;
  size_t worst_ = 0;
};

// ---- the browser the loads run in ----------------------------------------------------------

class TBenchLifeSpan : public TCefLifeSpanHandlerOwn {
 public:
  void OnAfterCreated(const RefPtr<ICefBrowser>& created) override { browser = created; }
  void OnBeforeClose(const RefPtr<ICefBrowser>&) override {
    closed = true;
    cef_quit_message_loop();
  }
  RefPtr<ICefBrowser> browser;
  bool closed = false;
};

class TBenchLoad : public TCefLoadHandlerOwn {
 public:
  // Each load ends the message loop run that waits for it.
  void OnLoadEnd(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame, int status) override {
    if (!frame->IsMain()) return;
    lastStatus = status;
    cef_quit_message_loop();
  }
  int lastStatus = 0;
};

class TBenchClient : public TCefClientOwn {
 public:
  RefPtr<ICefBase> GetLifeSpanHandler() override { return lifeSpan; }
  RefPtr<ICefBase> GetLoadHandler() override { return load; }
  RefPtr<TBenchLifeSpan> lifeSpan = Make<TBenchLifeSpan>();
  RefPtr<TBenchLoad> load = Make<TBenchLoad>();
};

RefPtr<TBenchClient>& Client() {
  static RefPtr<TBenchClient> client;
  return client;
}

// The browser, opened on about:blank at first use; null when the engine made none.
const RefPtr<ICefBrowser>& Browser() {
  auto& client = Client();
  if (!client) {
    client = Make<TBenchClient>();
    cef_window_info_t info{};
    info.m_nWidth = 800;
    info.m_nHeight = 600;
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    if (CefBrowserCreate(info, client, u"about:blank", settings)) CefRunMessageLoop();
  }
  return client->lifeSpan->browser;
}

// Loads bench://host/ and returns when the load ended; true for status 200.
bool Load(const ustring& host) {
  const auto& browser = Browser();
  if (!browser) return false;
  Client()->load->lastStatus = 0;
  browser->GetMainFrame()->LoadUrl(kScheme + u"://" + host + u"/body");
  CefRunMessageLoop();
  return Client()->load->lastStatus == 200;
}

// Bytes served by every handler since the last reset, to check that each load got all.
std::atomic<size_t> served{0};

// ---- the binding's handler -------------------------------------------------------------------

class TBodyScheme : public TCefSchemeHandlerOwn {
 public:
  using TCefSchemeHandlerOwn::TCefSchemeHandlerOwn;
  bool ProcessRequest(const RefPtr<ICefRequest>&,
                      const RefPtr<ICefSchemeHandlerCallback>& callback) override {
    callback->HeadersAvailable();
    return true;
  }
  void GetResponseHeaders(const RefPtr<ICefResponse>& response, int64_t& length, ustring&) override {
    response->SetStatus(200);
    response->SetMimeType(u"application/octet-stream");
    length = static_cast<int64_t>(Body().size());
  }
  bool ReadResponse(void* out, int wanted, int& read, const RefPtr<ICefSchemeHandlerCallback>&) override {
    const size_t n = std::min(Body().size() - offset_, static_cast<size_t>(std::max(wanted, 0)));
    std::memcpy(out, Body().data() + offset_, n);
    offset_ += n;
    served += n;
    read = static_cast<int>(n);
    return true;
  }

 private:
  size_t offset_ = 0;
};

// ---- the same handler on the engine's C records ----------------------------------------------

// A record with a counted header; the last release frees the object.
template <class Self, class Record>
struct RawObject {
  Record record{};  // first: the record's address is the object's
  std::atomic<int> refs{1};

  RawObject() {
    record.base.size = sizeof(Record);
    record.base.add_ref = &AddRef;
    record.base.release = &Release;
    record.base.get_refct = &GetRefct;
  }
  static Self* Of(void* p) { return static_cast<Self*>(reinterpret_cast<RawObject*>(p)); }
  // Hands the object to the engine: the engine's reference owns it from now on.
  static Record* New() { return &std::make_unique<Self>().release()->record; }

 private:
  static int CEF_CALLBACK AddRef(cef_base_t* base) { return ++Of(base)->refs; }
  static int CEF_CALLBACK Release(cef_base_t* base) {
    const int left = --Of(base)->refs;
    if (left == 0) std::unique_ptr<Self>(Of(base)).reset();
    return left;
  }
  static int CEF_CALLBACK GetRefct(cef_base_t* base) { return Of(base)->refs; }
};

template <class Record>
void DropRecord(Record* record) {
  if (record) record->base.release(&record->base);
}

struct RawBodyHandler : RawObject<RawBodyHandler, cef_scheme_handler_t> {
  RawBodyHandler() {
    record.process_request = &ProcessRequest;
    record.get_response_headers = &GetResponseHeaders;
    record.read_response = &ReadResponse;
    record.cancel = &Cancel;
  }
  static int CEF_CALLBACK ProcessRequest(cef_scheme_handler_t*, cef_request_t* request,
                                         cef_scheme_handler_callback_t* callback) {
    DropRecord(request);
    callback->headers_available(callback);
    DropRecord(callback);
    return 1;
  }
  static void CEF_CALLBACK GetResponseHeaders(cef_scheme_handler_t*, cef_response_t* response,
                                              int64_t* length, cef_string_t*) {
    static ustring mime = u"application/octet-stream";
    const cef_string_t view{mime.data(), mime.size(), nullptr};
    response->set_status(response, 200);
    response->set_mime_type(response, &view);
    DropRecord(response);
    *length = static_cast<int64_t>(Body().size());
  }
  static int CEF_CALLBACK ReadResponse(cef_scheme_handler_t* self, void* out, int wanted, int* read,
                                       cef_scheme_handler_callback_t* callback) {
    DropRecord(callback);
    size_t& offset = Of(self)->offset;
    const size_t n = std::min(Body().size() - offset, static_cast<size_t>(std::max(wanted, 0)));
    std::memcpy(out, Body().data() + offset, n);
    offset += n;
    served += n;
    *read = static_cast<int>(n);
    return 1;
  }
  static void CEF_CALLBACK Cancel(cef_scheme_handler_t*) {}

  size_t offset = 0;
};

struct RawBodyFactory : RawObject<RawBodyFactory, cef_scheme_handler_factory_t> {
  RawBodyFactory() { record.create = &Create; }
  static cef_scheme_handler_t* CEF_CALLBACK Create(cef_scheme_handler_factory_t*, cef_browser_t* browser,
                                                   const cef_string_t*, cef_request_t* request) {
    DropRecord(browser);
    DropRecord(request);
    return RawBodyHandler::New();
  }
};

// ---- SchemeBody ----------------------------------------------------------------------------

void RunLoads(benchmark::State& state, const ustring& host) {
  if (!Browser()) return state.SkipWithError("the engine opened no browser");
  PeakMeter peak(state);
  for (auto _ : state) {
    served = 0;
    peak.Before();
    const bool ok = Load(host);
    peak.After();
    if (!ok || served != kBodySize) return state.SkipWithError("the body did not arrive whole");
  }
  peak.Report();
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
}

void SchemeBody_Binding(benchmark::State& state) {
  RunLoads(state, u"direct");
  state.SetLabel("wall ratio<=1.05 peak<=2 vs=Raw vs=Memcpy");
}
BENCHMARK(SchemeBody_Binding)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void SchemeBody_Raw(benchmark::State& state) {
  RunLoads(state, u"raw");
  state.SetLabel("wall peak<=2 vs=Memcpy");
}
BENCHMARK(SchemeBody_Raw)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void SchemeBody_MainThread(benchmark::State& state) {
  RunLoads(state, u"main");
  state.SetLabel("wall peak<=2 vs=Binding");
}
BENCHMARK(SchemeBody_MainThread)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void SchemeBody_Memcpy(benchmark::State& state) {
  std::vector<char> target(kBodySize, 1);  // resident before the copies
  for (auto _ : state) {
    std::memcpy(target.data(), Body().data(), kBodySize);
    benchmark::DoNotOptimize(target.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
}
BENCHMARK(SchemeBody_Memcpy)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// ---- MainThreadCall ------------------------------------------------------------------------

// Answers one byte per read.
class TByteScheme : public TCefSchemeHandlerOwn {
 public:
  using TCefSchemeHandlerOwn::TCefSchemeHandlerOwn;
  bool ReadResponse(void* out, int wanted, int& read, const RefPtr<ICefSchemeHandlerCallback>&) override {
    if (wanted < 1) return false;
    *static_cast<char*>(out) = 'x';
    read = 1;
    return true;
  }
};

// Runs the measured loop on a second thread while this one, the main thread, serves:
// the engine's message loop for the binding, a bare wait for the baseline.
template <class Loop, class Serve>
void OnSecondThread(Loop loop, Serve serve) {
  std::thread caller(loop);
  serve();
  caller.join();
}

// Ends the main thread's message loop from another thread.
class TQuit : public TCefOwn<cef_task_t> {
 public:
  TQuit() { Bind<&TQuit::Execute>(record()->execute); }
  void Execute(cef_thread_id_t) { cef_quit_message_loop(); }
};

void MainThreadCall_Binding(benchmark::State& state) {
  // A handler of a factory registered for the main thread, called as the engine calls
  // it from its IO thread.
  RefPtr<ICefBase> handler = Make<TByteScheme>(true, kScheme, nullptr, nullptr);
  auto* record = reinterpret_cast<cef_scheme_handler_t*>(CefDataOf(handler));
  FakeEngineObject<cef_scheme_handler_callback_t> callback;
  bool wrong = false;
  OnSecondThread(
      [&] {
        for (auto _ : state) {
          char byte = 0;
          int read = 0;
          callback.get()->base.add_ref(&callback.get()->base);
          if (!record->read_response(record, &byte, 1, &read, callback.get()) || read != 1 || byte != 'x')
            wrong = true;
        }
        cef_post_task(TID_UI, reinterpret_cast<cef_task_t*>(CefDataOf(RefPtr<ICefBase>(Make<TQuit>()))));
      },
      [] { CefRunMessageLoop(); });
  record->base.release(&record->base);
  if (wrong) state.SkipWithError("the handler's answer did not come back");
  if (callback.refs != 1) state.SkipWithError("engine references out of balance");
  state.SetLabel("wall ratio<=1.5");
}
BENCHMARK(MainThreadCall_Binding)->UseRealTime()->MeasureProcessCPUTime();

void MainThreadCall_BareRoundTrip(benchmark::State& state) {
  // Each side signals after letting go of the lock, so the woken thread need not wait
  // for it.
  std::mutex mutex;
  std::condition_variable askedChanged, answeredChanged;
  bool asked = false, answered = false, stop = false;
  char byte = 0;
  OnSecondThread(
      [&] {
        for (auto _ : state) {
          {
            std::lock_guard lock(mutex);
            asked = true;
          }
          askedChanged.notify_one();
          std::unique_lock lock(mutex);
          answeredChanged.wait(lock, [&] { return answered; });
          answered = false;
          benchmark::DoNotOptimize(byte);
        }
        {
          std::lock_guard lock(mutex);
          stop = true;
        }
        askedChanged.notify_one();
      },
      [&] {
        for (;;) {
          {
            std::unique_lock lock(mutex);
            askedChanged.wait(lock, [&] { return asked || stop; });
            if (stop) return;
            asked = false;
            byte = 'x';
            answered = true;
          }
          answeredChanged.notify_one();
        }
      });
}
BENCHMARK(MainThreadCall_BareRoundTrip)->UseRealTime()->MeasureProcessCPUTime();

}  // namespace

void BeforeEngineStart() {
  CefOnRegisterCustomSchemes = [](const RefPtr<ICefSchemeRegistrar>& registrar) {
    registrar->AddCustomScheme(kScheme, true, false, false);
  };
  // Blocks of a mebibyte and more are mapped on their own and given back when freed,
  // so each load's peak is its own, not shaped by what earlier loads left in the heap.
  mallopt(M_MMAP_THRESHOLD, 1 << 20);
  mallopt(M_TRIM_THRESHOLD, 1 << 20);
  Body();
}

void AfterEngineStart() {
  CefRegisterSchemeHandlerFactory<TBodyScheme>(kScheme, u"direct", false);
  CefRegisterSchemeHandlerFactory<TBodyScheme>(kScheme, u"main", true);
  ustring raw = u"raw";
  const cef_string_t scheme{kScheme.data(), kScheme.size(), nullptr};
  const cef_string_t host{raw.data(), raw.size(), nullptr};
  cef_register_scheme_handler_factory(&scheme, &host, RawBodyFactory::New());
}

void Finish() {
  auto& client = Client();
  if (!client) return;
  if (auto browser = std::exchange(client->lifeSpan->browser, nullptr)) {
    browser->CloseBrowser();
    if (!client->lifeSpan->closed) CefRunMessageLoop();
  }
  client.reset();
}

}  // namespace load_bench
