// Where the data flows through our engine, each case beside its baseline in the same run:
//
// - SchemeBody: a 64 MiB body loaded by a browser from a scheme handler derived from
//   the binding's handler class (`Binding`, direct mode; `MainThread`, main-thread
//   mode) against a handler written directly on the engine's C records (`Raw`), same
//   engine, same chunking; and against a plain copy of 64 MiB (`Memcpy`, the limit).
//   Each load reports its peak resident memory over the resident set before it, per
//   byte of body (`peak/body`). `Filtered`: the same load through a content filter that
//   substitutes nothing, against the load without one.
// - WebRequest: a 64 MiB body fetched from a local HTTP server by a web URL request
//   whose client is derived from the binding's class (`Binding`), against a client
//   written on the engine's C records (`Raw`) and against a plain GET of the HTTP library
//   the engine uses (`Client`).
// - HttpPage: a 200 MiB HTML page from the same server loaded by a browser, against the
//   plain GET of it, with the load's peak memory per byte of page.
// - MainThreadCall: one handler call handed to the main thread and answered, against
//   a bare two-thread round trip through a mutex and a condition variable.
// - PageLoad: a page of about 4 KiB with a script, loaded by a browser whose
//   script-context handler puts a native function on every page's window (`Contexts`),
//   against the same load in a browser without any handler (`Plain`).
// - ScriptRoundTrip: a page whose script calls alert 10000 times, each answered by the
//   script dialog handler (`Alert`), against the same loop calling an empty native
//   function (`NativeCall`): both a trip from page script to the program and back.
// - OffscreenPaint: a 1400 x 800 page in a browser without a window, painted again and
//   again (the whole view invalidated, one paint waited for), delivered to the binding's
//   render handler (`Binding`) against C functions on the engine's record (`Raw`); with
//   the paints per second.
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
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <httplib.h>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/content_filter.h"
#include "ceflib/bridges/render_handler.h"
#include "ceflib/bridges/request_handler.h"
#include "ceflib/bridges/scheme.h"
#include "ceflib/bridges/script_handlers.h"
#include "ceflib/bridges/v8_handlers.h"
#include "ceflib/bridges/web_urlrequest_client.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/scheme_registrar.h"
#include "ceflib/wrappers/web_urlrequest.h"
#include "support/fake_engine_object.h"

namespace load_bench {
namespace {

using namespace ceflib;

constexpr size_t kBodySize = size_t{64} << 20;
// The type scheme bodies are served as: one the engine shows without parsing it (no
// download, no document built of it), so that a load measures the body's way alone.
constexpr char16_t kBodyType[] = u"image/png";
constexpr size_t kPageSize = size_t{200} << 20;
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

// A page of kPageSize: paragraphs of about a kibibyte of text each, as a long article
// or log page has them.
const std::string& Page() {
  static const std::string page = [] {
    const std::string head = "<html><head><title>Long page</title></head><body>\n";
    const std::string tail = "</body></html>\n";
    std::string paragraph = "<p>";
    while (paragraph.size() < 1020) paragraph += "Every word of this paragraph is text of the page. ";
    paragraph += "</p>\n";
    std::string bytes;
    bytes.reserve(kPageSize);
    bytes += head;
    while (bytes.size() + paragraph.size() + tail.size() <= kPageSize) bytes += paragraph;
    bytes.append(kPageSize - bytes.size() - tail.size(), ' ');
    bytes += tail;
    return bytes;
  }();
  return page;
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
  void Report(size_t bodySize = kBodySize) {
    if (!ok_) return state_.SkipWithError("the peak resident set cannot be reset");
    state_.counters["peak/body"] = static_cast<double>(worst_) / static_cast<double>(bodySize);
  }

 private:
  benchmark::State& state_;
  bool ok_ = true;
  size_t before_ = 0;
  size_t worst_ = 0;
};

// Blocks of a mebibyte and more mapped on their own and given back when freed (on), or
// taken from the heap and kept there as a program's heap does by default once it freed
// such blocks (off: up to 32 MiB).
void MapLargeBlocksApart(bool apart) {
  mallopt(M_MMAP_THRESHOLD, apart ? 1 << 20 : 32 << 20);
  mallopt(M_TRIM_THRESHOLD, apart ? 1 << 20 : 64 << 20);
  if (apart) malloc_trim(0);
}

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

// Passes the body of loads from the host "filtered" through a filter that keeps every
// piece as it is.
class TBenchRequests : public TCefRequestHandlerOwn {
 public:
  void OnResourceResponse(const RefPtr<ICefBrowser>&, const ustring& url, const RefPtr<ICefResponse>&,
                          RefPtr<ICefContentFilter>& filter) override {
    if (url.starts_with(kScheme + u"://filtered/")) filter = Make<TCefContentFilterOwn>();
  }
};

class TBenchClient : public TCefClientOwn {
 public:
  RefPtr<ICefBase> GetLifeSpanHandler() override { return lifeSpan; }
  RefPtr<ICefBase> GetLoadHandler() override { return load; }
  RefPtr<ICefBase> GetRequestHandler() override { return requests; }
  RefPtr<ICefBase> GetV8contextHandler() override { return contexts; }
  RefPtr<ICefBase> GetJsdialogHandler() override { return dialogs; }
  RefPtr<ICefBase> GetRenderHandler() override { return render; }
  RefPtr<TBenchLifeSpan> lifeSpan = Make<TBenchLifeSpan>();
  RefPtr<TBenchLoad> load = Make<TBenchLoad>();
  RefPtr<TBenchRequests> requests = Make<TBenchRequests>();
  // The handlers only some browsers get (the engine asks for them once, as it opens the
  // browser); null for the others.
  RefPtr<ICefBase> contexts, dialogs, render;
};

// Gives a browser's client its handlers and the window its settings before it opens.
using Equip = std::function<void(TBenchClient&, cef_window_info_t&)>;

// The benchmarks' browsers by name, one per kind of client.
std::map<std::string, RefPtr<TBenchClient>>& Clients() {
  static std::map<std::string, RefPtr<TBenchClient>> clients;
  return clients;
}

// The named browser's client, its browser opened on about:blank at first use with what
// equip gives it; null when the engine made no browser.
TBenchClient* Open(const std::string& name, const Equip& equip = {}) {
  auto& client = Clients()[name];
  if (!client) {
    client = Make<TBenchClient>();
    cef_window_info_t info{};
    info.m_nWidth = 800;
    info.m_nHeight = 600;
    if (equip) equip(*client, info);
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    if (CefBrowserCreate(info, client, u"about:blank", settings)) CefRunMessageLoop();
  }
  return client->lifeSpan->browser ? client.get() : nullptr;
}

// The browser the body and page loads use; null when the engine made none.
RefPtr<ICefBrowser> Browser() {
  auto* client = Open("loads");
  return client ? client->lifeSpan->browser : nullptr;
}

// Starts a load of the client's main frame with start(frame) and returns when it ended:
// the status it ended with.
template <class Start>
int AwaitLoad(TBenchClient& client, Start start) {
  client.load->lastStatus = 0;
  start(*client.lifeSpan->browser->GetMainFrame());
  CefRunMessageLoop();
  return client.load->lastStatus;
}

// Loads url and returns when the load ended; true for status 200.
bool LoadUrl(const ustring& url) {
  auto* client = Open("loads");
  return client && AwaitLoad(*client, [&](ICefFrame& frame) { frame.LoadUrl(url); }) == 200;
}

// Loads bench://host/body.
bool Load(const ustring& host) { return LoadUrl(kScheme + u"://" + host + u"/body"); }

// Shows html in the client's browser as the page of a web address; true once loaded.
bool LoadHtml(TBenchClient& client, const ustring& html) {
  return AwaitLoad(client, [&](ICefFrame& frame) { frame.LoadString(html, u"http://bench.test/page"); }) ==
         200;
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
    response->SetMimeType(kBodyType);
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
    static ustring mime = kBodyType;
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

void SchemeBody_Filtered(benchmark::State& state) {
  RunLoads(state, u"filtered");
  state.SetLabel("wall ratio<=1.10 peak<=2 vs=Binding");
}
BENCHMARK(SchemeBody_Filtered)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

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

// ---- a local HTTP server ----------------------------------------------------------------------

// The HTTP library the engine uses on Linux, serving Body() at /body and Page() at /page
// straight from memory on threads of this process.
class LocalServer {
 public:
  LocalServer() {
    Serve("/body", Body().data(), Body().size(), "application/octet-stream");
    Serve("/page", Page().data(), Page().size(), "text/html");
    port_ = server_.bind_to_any_port("127.0.0.1");  // listening from here on
    if (port_ > 0) thread_ = std::thread([this] { server_.listen_after_bind(); });
  }
  ~LocalServer() {
    server_.stop();
    if (thread_.joinable()) thread_.join();
  }
  int Port() const { return port_; }
  ustring Url(std::string_view path) const {
    const std::string url = "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
    return ustring(url.begin(), url.end());
  }

 private:
  void Serve(const std::string& path, const char* data, size_t size, const char* mime) {
    server_.Get(path, [=](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(size, mime, [=](size_t offset, size_t length, httplib::DataSink& sink) {
        return sink.write(data + offset, std::min(length, size_t{1} << 20));
      });
    });
  }

  httplib::Server server_;
  std::thread thread_;
  int port_ = -1;
};

std::unique_ptr<LocalServer>& ServerSlot() {
  static std::unique_ptr<LocalServer> server;
  return server;
}

// The server, started at first use; null when it could not listen.
LocalServer* Server() {
  auto& server = ServerSlot();
  if (!server) server = std::make_unique<LocalServer>();
  return server->Port() > 0 ? server.get() : nullptr;
}

// A GET of path with the HTTP library's client: the bytes received, counted as they
// come, or kept whole when keep is set; 0 when the request failed.
size_t PlainGet(const LocalServer& server, const std::string& path, bool keep) {
  httplib::Client client("127.0.0.1", server.Port());
  if (keep) {
    const auto result = client.Get(path);
    return result && result->status == 200 ? result->body.size() : 0;
  }
  size_t received = 0;
  const auto result = client.Get(path, [&](const char*, size_t length) {
    received += length;
    return true;
  });
  return result && result->status == 200 ? received : 0;
}

// ---- WebRequest --------------------------------------------------------------------------

// Counts the body's bytes and ends the message loop run that waits for the request.
class TBenchFetch : public TCefWebUrlRequestClientOwn {
 public:
  void OnStateChange(const RefPtr<ICefWebUrlRequest>&, TCefWebUrlRequestState state) override {
    if (state < WUR_STATE_DONE) return;
    done = state == WUR_STATE_DONE;
    cef_quit_message_loop();
  }
  void OnData(const RefPtr<ICefWebUrlRequest>&, const void*, int length) override { received += length; }
  size_t received = 0;
  bool done = false;
};

struct RawFetch : RawObject<RawFetch, cef_web_urlrequest_client_t> {
  RawFetch() {
    record.on_state_change = &OnStateChange;
    record.on_data = &OnData;
  }
  static void CEF_CALLBACK OnStateChange(cef_web_urlrequest_client_t* self, cef_web_urlrequest_t* requester,
                                         cef_weburlrequest_state_t state) {
    DropRecord(requester);
    if (state < WUR_STATE_DONE) return;
    Of(self)->done = state == WUR_STATE_DONE;
    cef_quit_message_loop();
  }
  static void CEF_CALLBACK OnData(cef_web_urlrequest_client_t* self, cef_web_urlrequest_t* requester,
                                  const void*, int length) {
    DropRecord(requester);
    Of(self)->received += static_cast<size_t>(length);
  }
  size_t received = 0;
  bool done = false;
};

void WebRequest_Binding(benchmark::State& state) {
  const auto* server = Server();
  if (!server) return state.SkipWithError("the local server did not start");
  for (auto _ : state) {
    auto request = TCefRequestRef::New();
    request->SetUrl(server->Url("/body"));
    auto fetch = Make<TBenchFetch>();
    if (!TCefWebUrlRequestRef::New(request, fetch))
      return state.SkipWithError("the engine refused the request");
    CefRunMessageLoop();
    if (!fetch->done || fetch->received != kBodySize)
      return state.SkipWithError("the body did not arrive whole");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
  state.SetLabel("wall ratio<=1.05 vs=Raw vs=Client");
}
BENCHMARK(WebRequest_Binding)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void WebRequest_Raw(benchmark::State& state) {
  const auto* server = Server();
  if (!server) return state.SkipWithError("the local server did not start");
  const ustring url = server->Url("/body");
  const cef_string_t urlView{const_cast<char16_t*>(url.data()), url.size(), nullptr};
  for (auto _ : state) {
    cef_request_t* request = cef_request_create();
    request->set_url(request, &urlView);
    auto* fetch = RawFetch::New();
    fetch->base.add_ref(&fetch->base);  // ours, to read the counts after the engine let go
    cef_web_urlrequest_t* requester = cef_web_urlrequest_create(request, fetch);
    DropRecord(request);
    if (requester) CefRunMessageLoop();
    DropRecord(requester);
    const bool whole = RawFetch::Of(fetch)->done && RawFetch::Of(fetch)->received == kBodySize;
    DropRecord(fetch);
    if (!whole) return state.SkipWithError("the body did not arrive whole");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
  state.SetLabel("wall vs=Client");
}
BENCHMARK(WebRequest_Raw)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

void WebRequest_Client(benchmark::State& state) {
  const auto* server = Server();
  if (!server) return state.SkipWithError("the local server did not start");
  for (auto _ : state) {
    if (PlainGet(*server, "/body", false) != kBodySize)
      return state.SkipWithError("the body did not arrive whole");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBodySize));
}
BENCHMARK(WebRequest_Client)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// ---- HttpPage ----------------------------------------------------------------------------

// A few runs of one load each: every load takes seconds.
void HttpPage_Binding(benchmark::State& state) {
  const auto* server = Server();
  if (!server || !Browser()) return state.SkipWithError("the local server or the browser did not start");
  PeakMeter peak(state);
  for (auto _ : state) {
    peak.Before();
    const bool ok = LoadUrl(server->Url("/page"));
    peak.After();
    if (!ok) return state.SkipWithError("the page did not load");
    state.PauseTiming();
    LoadUrl(u"about:blank");  // the next load starts from an empty page
    state.ResumeTiming();
  }
  peak.Report(kPageSize);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPageSize));
  state.SetLabel("wall ratio<=3 peak<=2 vs=Client");
}
BENCHMARK(HttpPage_Binding)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

void HttpPage_Client(benchmark::State& state) {
  const auto* server = Server();
  if (!server) return state.SkipWithError("the local server did not start");
  for (auto _ : state) {
    if (PlainGet(*server, "/page", true) != kPageSize)
      return state.SkipWithError("the page did not arrive whole");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kPageSize));
}
BENCHMARK(HttpPage_Client)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

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

// ---- PageLoad ------------------------------------------------------------------------------

// window.nativeCall(...): a native function that does nothing but count its calls.
class TEmptyFunction : public TCefv8HandlerOwn {
 public:
  bool Execute(const ustring&, const RefPtr<ICefV8Value>&, const TCefv8ValueArray&, RefPtr<ICefV8Value>&,
               ustring&) override {
    ++calls;
    return true;
  }
  size_t calls = 0;
};

// Puts nativeCall on the window of every context, before the page's scripts run.
class TBenchContexts : public TCefV8ContextHandlerOwn {
 public:
  void OnContextCreated(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&,
                        const RefPtr<ICefv8Context>& context) override {
    ++created;
    context->GetGlobal()->SetValueByKey(
        u"nativeCall", TCefv8ValueRef::CreateFunction(u"nativeCall", function), V8_PROPERTY_ATTRIBUTE_NONE);
  }
  RefPtr<TEmptyFunction> function = Make<TEmptyFunction>();
  size_t created = 0;
};

// Answers every alert itself, so that the engine shows none.
class TBenchDialogs : public TCefJsDialogHandlerOwn {
 public:
  bool OnJsAlert(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, const ustring&) override {
    ++alerts;
    return true;
  }
  size_t alerts = 0;
};

// The browser whose pages get nativeCall and whose alerts the program answers.
TBenchClient* ScriptBrowser() {
  return Open("script", [](TBenchClient& client, cef_window_info_t&) {
    client.contexts = Make<TBenchContexts>();
    client.dialogs = Make<TBenchDialogs>();
  });
}

// A page of about 4 KiB as the site's pages have them: a title, paragraphs and a script
// that runs as the page loads.
const ustring& PlainPage() {
  static const ustring page = [] {
    ustring html =
        u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Tessaril</title><script>"
        u"var total = 0; for (var i = 0; i < 100; i++) total += i; document.title = 'Sum ' + total;"
        u"</script></head><body><h1>Tessaril</h1>";
    while (html.size() < 4096) html += u"<p>Welcome to the game site. Log in, top up and play.</p>";
    return html + u"</body></html>";
  }();
  return page;
}

// Loads PlainPage() into the client's browser, once per iteration.
void RunPageLoads(benchmark::State& state, TBenchClient* client) {
  if (!client) return state.SkipWithError("the engine opened no browser");
  // The engine's script heap lives while any page or value uses it. Held here, it stays
  // between the loads whichever other browsers are open, on both sides alike.
  const RefPtr<ICefV8Value> keepHeap = TCefv8ValueRef::CreateUndefined();
  for (auto _ : state) {
    if (!LoadHtml(*client, PlainPage())) return state.SkipWithError("the page did not load");
  }
}

// Each load makes the page's context, so the handler adds its function each time.
void PageLoad_Contexts(benchmark::State& state) {
  auto* client = ScriptBrowser();
  const auto created = [client] {
    return client ? dynamic_cast<TBenchContexts&>(*client->contexts).created : 0;
  };
  const size_t before = created();
  RunPageLoads(state, client);
  if (created() - before < static_cast<size_t>(state.iterations()))
    state.SkipWithError("the handler did not hear of every page's context");
  state.SetLabel("wall ratio<=1.05 vs=Plain");
}
BENCHMARK(PageLoad_Contexts)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

void PageLoad_Plain(benchmark::State& state) { RunPageLoads(state, Open("loads")); }
BENCHMARK(PageLoad_Plain)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

// ---- ScriptRoundTrip --------------------------------------------------------------------------

// Calls per page: enough that the page's load is a small part of the time.
constexpr int kCallsPerPage = 10000;

// Loads a page whose script makes `call` kCallsPerPage times; counted tells how many
// reached the program so far.
template <class Counted>
void RunScriptCalls(benchmark::State& state, std::u16string_view call, Counted counted) {
  auto* client = ScriptBrowser();
  if (!client) return state.SkipWithError("the engine opened no browser");
  const ustring page = u"<html><head><title>Round trips</title><script>for (var i = 0; i < " +
                       CefFromUtf8(std::to_string(kCallsPerPage)) + u"; i++) " + ustring(call) +
                       u";</script></head><body><p>Calls from script.</p></body></html>";
  for (auto _ : state) {
    const size_t before = counted(*client);
    if (!LoadHtml(*client, page) || counted(*client) - before != kCallsPerPage)
      return state.SkipWithError("not every call reached the program");
  }
  state.counters["calls/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kCallsPerPage,
                                                 benchmark::Counter::kIsRate);
}

// alert(text) answered by the script dialog handler.
void ScriptRoundTrip_Alert(benchmark::State& state) {
  RunScriptCalls(state, u"alert('x')",
                 [](TBenchClient& client) { return dynamic_cast<TBenchDialogs&>(*client.dialogs).alerts; });
  state.SetLabel("wall ratio<=1.5 vs=NativeCall");
}
BENCHMARK(ScriptRoundTrip_Alert)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// nativeCall(text): the same trip to the program and back through a native function.
void ScriptRoundTrip_NativeCall(benchmark::State& state) {
  RunScriptCalls(state, u"nativeCall('x')", [](TBenchClient& client) {
    return dynamic_cast<TBenchContexts&>(*client.contexts).function->calls;
  });
}
BENCHMARK(ScriptRoundTrip_NativeCall)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond);

// ---- OffscreenPaint ---------------------------------------------------------------------------

constexpr int kViewWidth = 1400, kViewHeight = 800;
// Paints per run, the same on both sides, so that slow first paints do not decide the
// number of iterations of one side only.
constexpr int kPaintsPerRun = 200;

// The paints a render handler saw; the message loop run that waits for one ends with it.
struct PaintWait {
  bool waiting = false;
  size_t paints = 0;
  uint32_t pixels = 0;  // the first pixel of each paint, summed: the buffer is read

  void Painted(size_t rects, const void* buffer) {
    if (!waiting || rects == 0 || !buffer) return;
    waiting = false;
    ++paints;
    pixels += *static_cast<const uint32_t*>(buffer);
    cef_quit_message_loop();
  }
};

class TBenchRender : public TCefRenderHandlerOwn {
 public:
  bool GetViewRect(const RefPtr<ICefBrowser>&, cef_rect_t& rect) override {
    rect = {0, 0, kViewWidth, kViewHeight};
    return true;
  }
  void OnPaint(const RefPtr<ICefBrowser>&, TCefPaintElementType, std::span<const cef_rect_t> dirtyRects,
               const void* buffer) override {
    wait.Painted(dirtyRects.size(), buffer);
  }
  PaintWait wait;
};

// The same handler as C functions on the engine's record, called by the engine directly.
// The record belongs to a program object of the binding only so that the binding's client
// may hand it over; no binding code runs in a paint.
class TRawRender : public TCefOwn<cef_render_handler_t> {
 public:
  TRawRender() {
    record()->get_view_rect = &GetViewRect;
    record()->on_paint = &OnPaint;
  }
  static inline PaintWait wait;

 private:
  static int CEF_CALLBACK GetViewRect(cef_render_handler_t*, cef_browser_t* browser, cef_rect_t* rect) {
    DropRecord(browser);
    *rect = {0, 0, kViewWidth, kViewHeight};
    return 1;
  }
  static void CEF_CALLBACK OnPaint(cef_render_handler_t*, cef_browser_t* browser, cef_paint_element_type_t,
                                   size_t dirtyRectCount, const cef_rect_t*, const void* buffer) {
    DropRecord(browser);
    wait.Painted(dirtyRectCount, buffer);
  }
};

// A page of text that fills the view.
const ustring& ViewPage() {
  static const ustring page = [] {
    ustring html = u"<html><head><title>Painted without a window</title></head><body>";
    for (int i = 0; i < 60; ++i)
      html += u"<p>Every line of this page is painted into the view's pixels for the program.</p>";
    return html + u"</body></html>";
  }();
  return page;
}

// A browser without a window whose client gets render as its render handler, showing
// ViewPage(); then each iteration asks for the whole view again and waits for its paint.
template <class Invalidate>
void RunPaints(benchmark::State& state, const std::string& name, RefPtr<ICefBase> render, PaintWait& wait,
               Invalidate invalidate) {
  auto* client = Open(name, [&](TBenchClient& c, cef_window_info_t& info) {
    c.render = render;
    info.m_bWindowRenderingDisabled = 1;
    info.m_nWidth = kViewWidth;
    info.m_nHeight = kViewHeight;
  });
  if (!client || !LoadHtml(*client, ViewPage())) return state.SkipWithError("the page did not load");
  int width = 0, height = 0;
  if (!client->lifeSpan->browser->GetSize(PET_VIEW, width, height) || width != kViewWidth ||
      height != kViewHeight)
    return state.SkipWithError("the view is not 1400 x 800");
  const cef_rect_t all{0, 0, kViewWidth, kViewHeight};
  const size_t before = wait.paints;
  // Each paint makes new images of 4.5 MB: mapped fresh every time, their page faults
  // would be most of a paint's time.
  MapLargeBlocksApart(false);
  for (auto _ : state) {
    wait.waiting = true;
    invalidate(client->lifeSpan->browser, all);
    CefRunMessageLoop();
  }
  MapLargeBlocksApart(true);
  if (wait.paints - before != static_cast<size_t>(state.iterations()))
    return state.SkipWithError("a paint did not arrive");
  benchmark::DoNotOptimize(wait.pixels);
  state.counters["paints/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The binding's render handler, asked through the binding's browser.
void OffscreenPaint_Binding(benchmark::State& state) {
  static const RefPtr<TBenchRender> render = Make<TBenchRender>();
  RunPaints(state, "offscreen", render, render->wait,
            [](const RefPtr<ICefBrowser>& browser, const cef_rect_t& rect) { browser->Invalidate(rect); });
  state.SetLabel("wall ratio<=1.05");
}
BENCHMARK(OffscreenPaint_Binding)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kPaintsPerRun);

// A render handler on the engine's record, asked through the engine's browser record.
void OffscreenPaint_Raw(benchmark::State& state) {
  RunPaints(state, "offscreen-raw", Make<TRawRender>(), TRawRender::wait,
            [](const RefPtr<ICefBrowser>& browser, const cef_rect_t& rect) {
              auto* record = reinterpret_cast<cef_browser_t*>(CefDataOf(browser));
              record->invalidate(record, &rect);
              DropRecord(record);
            });
}
BENCHMARK(OffscreenPaint_Raw)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(kPaintsPerRun);

}  // namespace

void BeforeEngineStart() {
  CefOnRegisterCustomSchemes = [](const RefPtr<ICefSchemeRegistrar>& registrar) {
    registrar->AddCustomScheme(kScheme, true, false, false);
  };
  // Blocks of a mebibyte and more are mapped on their own and given back when freed,
  // so each load's peak is its own, not shaped by what earlier loads left in the heap.
  MapLargeBlocksApart(true);
  Body();
}

void AfterEngineStart() {
  CefRegisterSchemeHandlerFactory<TBodyScheme>(kScheme, u"direct", false);
  CefRegisterSchemeHandlerFactory<TBodyScheme>(kScheme, u"main", true);
  CefRegisterSchemeHandlerFactory<TBodyScheme>(kScheme, u"filtered", false);
  ustring raw = u"raw";
  const cef_string_t scheme{kScheme.data(), kScheme.size(), nullptr};
  const cef_string_t host{raw.data(), raw.size(), nullptr};
  cef_register_scheme_handler_factory(&scheme, &host, RawBodyFactory::New());
}

void Finish() {
  for (auto& [name, client] : Clients()) {
    if (auto browser = std::exchange(client->lifeSpan->browser, nullptr)) {
      browser->CloseBrowser();
      if (!client->lifeSpan->closed) CefRunMessageLoop();
    }
  }
  Clients().clear();
  ServerSlot().reset();
}

}  // namespace load_bench
