// The engine's scheme-handler loading (net::StartLoad) with a program handler whose every
// answer comes from the fuzz input: whether it is made and accepts the request, the
// status, MIME type and announced length (also lies: negative, too short, too long), and
// for each read the answer, the claimed byte count (also negative or past the buffer)
// and progress reports (bytes_available, cancel). A load either ends or, when the
// handler stops reporting, is cancelled; either way nothing stays alive, references
// never go below zero, and a finished load holds exactly the bytes the engine asked for.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "cef_engine.h"
#include "net/loader.h"

namespace {

// A failed property aborts, so libFuzzer keeps the input; the line tells which one.
void Check(bool ok, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at %s:%d\n", file, line);
  std::abort();
}

template <class Record>
void Release(Record* record) {
  if (record) record->base.release(&record->base);
}

// A program record with a counted reference; the record comes first, so the engine's
// pointer is the object's.
template <class Record>
struct Counted {
  Record record{};
  std::atomic<int> refs{0};
  std::atomic<bool> went_negative{false};
  Counted() {
    record.base.size = sizeof(Record);
    record.base.add_ref = [](cef_base_t* b) { return ++Of(b)->refs; };
    record.base.release = [](cef_base_t* b) {
      const int left = --Of(b)->refs;
      if (left < 0) Of(b)->went_negative = true;
      return left;
    };
    record.base.get_refct = [](cef_base_t* b) { return Of(b)->refs.load(); };
  }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  static Counted* Of(cef_base_t* b) { return reinterpret_cast<Counted*>(b); }
  Record* HandOver() {
    ++refs;
    return &record;
  }
};

// What the handler does, read from the input on the IO thread only.
struct Script {
  FuzzedDataProvider in;
  Counted<cef_scheme_handler_t> handler;
  std::string given;       // the bytes the engine should have taken
  int64_t announced = -1;  // the length the handler announced
  int status = 0;
  std::atomic<bool> stalled{false};  // the handler promised more but reports nothing
  Script(const uint8_t* data, size_t size) : in(data, size) {}
};
Script* g_script = nullptr;  // the current input's script (the factory is global)

Script& Of(cef_scheme_handler_t* self) {
  Check(self == &g_script->handler.record);
  return *g_script;
}

int CEF_CALLBACK ProcessRequest(cef_scheme_handler_t* self, cef_request_t* request,
                                cef_scheme_handler_callback_t* callback) {
  Script& s = Of(self);
  Release(request);
  const bool accept = s.in.ConsumeBool();
  const bool report = s.in.ConsumeBool();
  if (accept && report) callback->headers_available(callback);
  if (accept && !report) s.stalled = true;
  Release(callback);
  return accept ? 1 : 0;
}

void CEF_CALLBACK GetResponseHeaders(cef_scheme_handler_t* self, cef_response_t* response, int64_t* length,
                                     cef_string_t* redirect) {
  Script& s = Of(self);
  Check(*length == -1 && redirect != nullptr);
  s.status = s.in.ConsumeIntegral<int>();
  response->set_status(response, s.status);
  static char16 kMime[] = u"text/plain";
  const cef_string_t mime{kMime, s.in.ConsumeBool() ? 10u : 0u, nullptr};
  response->set_mime_type(response, &mime);
  Release(response);
  switch (s.in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      *length = -1;
      break;
    case 1:
      *length = s.in.ConsumeIntegralInRange<int64_t>(0, 4096);
      break;
    case 2:
      *length = s.in.ConsumeIntegral<int64_t>();
      break;  // any lie, also negative
    default:
      break;  // left untouched
  }
  s.announced = *length;
}

int CEF_CALLBACK ReadResponse(cef_scheme_handler_t* self, void* out, int wanted, int* got,
                              cef_scheme_handler_callback_t* callback) {
  Script& s = Of(self);
  Check(out != nullptr && wanted > 0 && got != nullptr && *got == 0);
  const bool more = s.in.ConsumeBool();
  int claimed = s.in.ConsumeBool() ? s.in.ConsumeIntegralInRange(-1, 64) : s.in.ConsumeIntegral<int>();
  // The handler writes only what fits; the claim may still be a lie.
  const int fill = std::clamp(claimed, 0, wanted);
  std::string bytes = s.in.ConsumeBytesAsString(static_cast<size_t>(fill));
  bytes.resize(static_cast<size_t>(fill));
  std::memcpy(out, bytes.data(), bytes.size());
  s.given += bytes;
  *got = claimed;
  const int report = s.in.ConsumeIntegralInRange(0, 2);  // none, bytes_available, cancel
  if (report == 1) callback->bytes_available(callback);
  if (report == 2) callback->cancel(callback);
  if (more && fill == 0 && report == 0) s.stalled = true;
  Release(callback);
  return more ? 1 : 0;
}

void CEF_CALLBACK Cancel(cef_scheme_handler_t*) {}

cef_scheme_handler_t* CEF_CALLBACK Create(cef_scheme_handler_factory_t*, cef_browser_t* browser,
                                          const cef_string_t*, cef_request_t* request) {
  Release(browser);
  Release(request);
  Script& s = *g_script;
  if (!s.in.ConsumeBool()) return nullptr;
  auto& h = s.handler.record;
  h.process_request = &ProcessRequest;
  h.get_response_headers = s.in.ConsumeBool() ? &GetResponseHeaders : nullptr;
  h.read_response = s.in.ConsumeBool() ? &ReadResponse : nullptr;
  h.cancel = &Cancel;
  return s.handler.HandOver();
}

Counted<cef_scheme_handler_factory_t>& Factory() {
  static Counted<cef_scheme_handler_factory_t> factory;
  return factory;
}

template <class Done>
bool WaitFor(Done done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    cef_do_message_loop_work();
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  cef_settings_t settings{};
  settings.size = sizeof(settings);
  Check(cef_initialize(&settings, nullptr) == 1);
  Factory().record.create = &Create;
  static char16 kScheme[] = u"fuzz";
  const cef_string_t scheme{kScheme, 4, nullptr};
  Check(cef_register_scheme_handler_factory(&scheme, nullptr, Factory().HandOver()) == 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace std::chrono_literals;
  using cef_engine::net::LoadResult;
  Script script(data, size);
  g_script = &script;
  const int objects_before = cef_engine_live_objects();

  std::atomic<bool> finished{false};
  LoadResult result;
  auto handle =
      cef_engine::net::StartLoad({u"fuzz://host/page", u"", {}, ""}, nullptr, {}, [&](LoadResult r) {
        result = std::move(r);
        finished = true;
      });
  // A handler that stopped reporting gets a moment, then the load is cancelled.
  Check(WaitFor([&] { return finished || script.stalled; }, 10s));
  if (!finished) WaitFor([&] { return finished.load(); }, 20ms);
  if (finished) {
    handle->Forget();
    if (result.error == 0) {
      Check(result.body == script.given);
      if (script.announced >= 0) Check(static_cast<int64_t>(result.body.size()) <= script.announced);
      Check(result.status == (script.status ? script.status : 200));
    }
  }
  handle.reset();  // cancels a load still running

  // Everything the load made or held is let go of, on the IO thread.
  Check(
      WaitFor([&] { return script.handler.refs == 0 && cef_engine_live_objects() == objects_before; }, 10s));
  Check(!script.handler.went_negative);
  g_script = nullptr;
  return 0;
}
