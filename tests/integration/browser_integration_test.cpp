// The binding's classes driving our engine: a client with life-span, load, display and
// request handlers, requests with header maps, scheme handlers in direct mode (called on the
// engine's IO thread) and in main-thread mode, page scripts, pop-ups, failed loads and
// frames. Each test leaves no engine object alive.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/content_filter.h"
#include "ceflib/bridges/cookie_visitor.h"
#include "ceflib/bridges/download_handler.h"
#include "ceflib/bridges/request_handler.h"
#include "ceflib/bridges/scheme.h"
#include "ceflib/bridges/script_handlers.h"
#include "ceflib/bridges/v8_handlers.h"
#include "ceflib/bridges/web_urlrequest_client.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/core/main_thread.h"
#include "ceflib/core/strings.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/cookie_manager.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/scheme_registrar.h"
#include "ceflib/wrappers/web_urlrequest.h"
#include "support/engine_probe.h"
#include "support/test_http_server.h"

#if defined(_WIN32)
#undef LoadString  // windows.h's macros would rename the frame's and the exception's members
#undef GetMessage
#endif

namespace {

using namespace ceflib;

std::string Narrow(const ustring& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}
ustring Widen(std::string_view text) { return ustring(text.begin(), text.end()); }
bool Contains(const ustring& text, std::u16string_view part) { return text.find(part) != ustring::npos; }

// The launcher's test page, written the same way: a script that writes lines.
const std::string kScriptPage =
    "<html><head><title>Scheme page</title></head><body>Served by the scheme<pre>"
    "<script language=\"javascript\">document.writeln('first line written');"
    "document.writeln('second line written');</script></pre></body></html>";

// Where scheme handlers ran, by scheme host.
struct SchemeLog {
  std::mutex mutex;
  std::vector<std::string> lines;
  void Add(std::string line) {
    std::lock_guard lock(mutex);
    lines.push_back(std::move(line));
  }
  std::vector<std::string> Get() {
    std::lock_guard lock(mutex);
    return lines;
  }
};
SchemeLog& Schemes() {
  static SchemeLog log;
  return log;
}

// What a scheme handler and a file serve as a download.
const std::string kArchive(40000, 'z');

// A scheme handler like the launcher's: the whole page is made in ProcessRequest, which
// reports headers and bytes at once; reads copy consecutive slices. /moved redirects.
class TPageScheme : public TCefSchemeHandlerOwn {
 public:
  using TCefSchemeHandlerOwn::TCefSchemeHandlerOwn;

  bool ProcessRequest(const RefPtr<ICefRequest>& request,
                      const RefPtr<ICefSchemeHandlerCallback>& callback) override {
    const ustring url = request->GetUrl();
    const char* thread = CefIsMainThread() ? "main" : cef_currently_on(TID_IO) ? "io" : "other";
    Schemes().Add(Narrow(url) + " " + thread);
    const bool archive = Contains(url, u".zip");
    moved_ = Contains(url, u"/moved");
    body_ = archive ? kArchive : kScriptPage;
    mime_ = archive ? u"application/zip" : u"text/html";
    callback->HeadersAvailable();
    callback->BytesAvailable();
    return true;
  }
  void GetResponseHeaders(const RefPtr<ICefResponse>& response, int64_t& length,
                          ustring& redirectUrl) override {
    response->SetStatus(200);
    response->SetStatusText(u"OK");
    response->SetMimeType(mime_);
    length = static_cast<int64_t>(body_.size());
    if (moved_) redirectUrl = u"/page";
  }
  bool ReadResponse(void* out, int wanted, int& read, const RefPtr<ICefSchemeHandlerCallback>&) override {
    read = static_cast<int>(std::min(body_.size() - offset_, static_cast<size_t>(std::min(wanted, 100))));
    std::memcpy(out, body_.data() + offset_, static_cast<size_t>(read));
    offset_ += static_cast<size_t>(read);
    return true;
  }

 private:
  std::string body_;
  ustring mime_;
  size_t offset_ = 0;
  bool moved_ = false;
};

// Serves the page's first five bytes, then throws from the read.
class TThrowingScheme : public TPageScheme {
 public:
  using TPageScheme::TPageScheme;
  bool ReadResponse(void* out, int, int& read, const RefPtr<ICefSchemeHandlerCallback>&) override {
    std::memcpy(out, "<html", 5);
    read = 5;
    throw std::runtime_error("the read failed after five bytes");
  }
};

// What the endless handlers saw; `closed` is set when their browser reported its close.
struct EndlessLog {
  std::atomic<int> reads{0}, reads_after_close{0};
  std::atomic<bool> closed{false}, cancelled{false};
};
EndlessLog& Endless() {
  static EndlessLog log;
  return log;
}

// Answers 64 bytes more on every read, without a length.
class TEndlessScheme : public TCefSchemeHandlerOwn {
 public:
  using TCefSchemeHandlerOwn::TCefSchemeHandlerOwn;
  bool ProcessRequest(const RefPtr<ICefRequest>&,
                      const RefPtr<ICefSchemeHandlerCallback>& callback) override {
    callback->HeadersAvailable();
    return true;
  }
  void GetResponseHeaders(const RefPtr<ICefResponse>& response, int64_t& length, ustring&) override {
    response->SetStatus(200);
    response->SetMimeType(u"text/html");
    length = -1;
  }
  bool ReadResponse(void* out, int wanted, int& read, const RefPtr<ICefSchemeHandlerCallback>&) override {
    ++Endless().reads;
    if (Endless().closed) ++Endless().reads_after_close;
    read = std::min(wanted, 64);
    std::memset(out, 'x', static_cast<size_t>(read));
    return true;
  }
  void Cancel() override {
    TCefSchemeHandlerOwn::Cancel();
    Endless().cancelled = true;
  }
};

// Events of every handler, one line each, in order; all must come on the main thread.
struct Events {
  std::vector<std::string> lines;
  bool off_main_thread = false;
  void Add(std::string line) {
    if (!CefIsMainThread()) off_main_thread = true;
    lines.push_back(std::move(line));
  }
  int Count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
  }
  bool Has(const std::string& line) const {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  // Every line, for a failure's message.
  std::string All() const {
    std::string text;
    for (const auto& line : lines) text += "\n  " + line;
    return text;
  }
};

// Browsers in these tests have no parent window; on Windows theirs stay hidden (a
// pop-up style without WS_VISIBLE), which spares Wine showing and hiding them.
#if defined(_WIN32)
constexpr uint32_t kHiddenWindow = WS_POPUP;
#else
constexpr uint32_t kHiddenWindow = 0;
#endif

std::string FrameName(const RefPtr<ICefFrame>& frame) {
  return frame->IsMain() ? "main" : Narrow(frame->GetName());
}

// A pop-up's features as the program reads them, each flag as the byte the engine wrote.
std::string Describe(const cef_popup_features_t& f) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&f);
  std::string text;
  auto add = [&](const char* name, std::initializer_list<size_t> offsets) {
    text += name;
    for (size_t offset : offsets) text += " " + std::to_string(bytes[offset]);
    text += ";";
  };
  using F = cef_popup_features_t;
  text += "x " + std::to_string(f.x) + " y " + std::to_string(f.y) + " width " + std::to_string(f.width) +
          " height " + std::to_string(f.height) + ";";
  add("set", {offsetof(F, xSet), offsetof(F, ySet), offsetof(F, widthSet), offsetof(F, heightSet)});
  add("bars", {offsetof(F, menuBarVisible), offsetof(F, statusBarVisible), offsetof(F, toolBarVisible),
               offsetof(F, locationBarVisible), offsetof(F, scrollbarsVisible)});
  add("window", {offsetof(F, resizable), offsetof(F, fullscreen), offsetof(F, dialog)});
  std::vector<ustring> more;
  CefStringListRead(f.additionalFeatures, more);
  text += "more";
  for (const ustring& item : more) text += " " + Narrow(item);
  return text;
}

class TLifeSpan : public TCefLifeSpanHandlerOwn {
 public:
  explicit TLifeSpan(Events& events) : events_(events) {}
  bool OnBeforePopup(const RefPtr<ICefBrowser>&, const cef_popup_features_t* features,
                     cef_window_info_t* info, ustring& url, RefPtr<ICefBase>&,
                     cef_browser_settings_t*) override {
    events_.Add("before_popup " + Narrow(url));
    events_.Add("features " + (features ? Describe(*features) : std::string("none")));
    info->m_dwStyle = kHiddenWindow;
    return cancel_popups;
  }
  void OnAfterCreated(const RefPtr<ICefBrowser>& browser) override {
    events_.Add(browser->IsPopup() ? "after_created popup" : "after_created");
    browsers.push_back(browser);
  }
  void OnBeforeClose(const RefPtr<ICefBrowser>&) override {
    events_.Add("before_close");
    if (on_before_close) on_before_close();
  }

  bool cancel_popups = true;
  std::function<void()> on_before_close;
  std::vector<RefPtr<ICefBrowser>> browsers;

 private:
  Events& events_;
};

class TLoad : public TCefLoadHandlerOwn {
 public:
  explicit TLoad(Events& events) : events_(events) {}
  void OnLoadStart(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame) override {
    events_.Add("load_start " + FrameName(frame));
  }
  void OnLoadEnd(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame, int status) override {
    events_.Add("load_end " + FrameName(frame) + " " + std::to_string(status));
  }
  bool OnLoadError(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, int code, const ustring& url,
                   ustring&) override {
    events_.Add("load_error " + std::to_string(code) + " " + Narrow(url));
    return false;
  }

 private:
  Events& events_;
};

class TDisplay : public TCefDisplayHandlerOwn {
 public:
  explicit TDisplay(Events& events) : events_(events) {}
  void OnTitleChange(const RefPtr<ICefBrowser>&, const ustring& title) override {
    events_.Add("title " + Narrow(title));
  }

 private:
  Events& events_;
};

class TTestClient : public TCefClientOwn {
 public:
  TTestClient()
      : life_span(Make<TLifeSpan>(events)), load(Make<TLoad>(events)), display(Make<TDisplay>(events)) {}
  RefPtr<ICefBase> GetLifeSpanHandler() override { return life_span; }
  RefPtr<ICefBase> GetLoadHandler() override { return load; }
  RefPtr<ICefBase> GetDisplayHandler() override { return display; }
  RefPtr<ICefBase> GetRequestHandler() override { return requests; }
  RefPtr<ICefBase> GetV8contextHandler() override { return contexts; }
  RefPtr<ICefBase> GetJsdialogHandler() override { return dialogs; }
  RefPtr<ICefBase> GetPermissionHandler() override { return permissions; }

  Events events;
  RefPtr<TLifeSpan> life_span;
  RefPtr<TLoad> load;
  RefPtr<TDisplay> display;
  RefPtr<ICefBase> requests;
  RefPtr<ICefBase> contexts;
  RefPtr<ICefBase> dialogs;
  RefPtr<ICefBase> permissions;
};

// Answers every script dialog itself (prompt: the default text with "!" added, or
// refused for "refuse") and keeps the extension "test/refused" out of every page.
class TDialogs : public TCefJsDialogHandlerOwn {
 public:
  explicit TDialogs(Events& events) : events_(events) {}
  bool OnJsAlert(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame,
                 const ustring& message) override {
    events_.Add("alert " + FrameName(frame) + " " + Narrow(message));
    return true;
  }
  bool OnJsConfirm(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, const ustring& message,
                   bool& retval) override {
    events_.Add("confirm " + Narrow(message));
    retval = message == u"yes?";
    return true;
  }
  bool OnJsPrompt(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, const ustring& message,
                  const ustring& defaultValue, bool& retval, ustring& result) override {
    events_.Add("prompt " + Narrow(message) + " " + std::to_string(defaultValue.size()));
    retval = message != u"refuse";
    result = defaultValue + u"!";
    return answers;
  }
  bool answers = true;

 private:
  Events& events_;
};

class TPermissions : public TCefPermissionHandlerOwn {
 public:
  explicit TPermissions(Events& events) : events_(events) {}
  bool OnBeforeScriptExtensionLoad(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame,
                                   const ustring& name) override {
    events_.Add("extension " + FrameName(frame) + " " + Narrow(name));
    return name == u"test/refused";
  }

 private:
  Events& events_;
};

// "name@line" for each frame of a stack trace, with " new" for constructor calls and
// " eval" for eval code.
std::string Describe(const RefPtr<ICefV8StackTrace>& trace) {
  if (!trace) return "no trace";
  std::string text;
  for (int i = 0; i < trace->GetFrameCount(); ++i) {
    const auto frame = trace->GetFrame(i);
    text += (i ? " " : "") + Narrow(frame->GetFunctionName()) + "@" + std::to_string(frame->GetLineNumber()) +
            (frame->IsConstructor() ? " new" : "") + (frame->IsEval() ? " eval" : "");
  }
  return text;
}

// Puts `window.program` and the native function `where()` (the script stack, as
// Describe gives it) into every page, and records what it hears.
class TContexts : public TCefV8ContextHandlerOwn {
 public:
  explicit TContexts(Events& events) : events_(events) {}
  void OnContextCreated(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame,
                        const RefPtr<ICefv8Context>& context) override {
    events_.Add("context_created " + FrameName(frame) + " " + Narrow(frame->GetUrl()));
    if (throws) throw std::runtime_error("the context handler fails");
    auto global = context->GetGlobal();
    global->SetValueByKey(u"program", TCefv8ValueRef::CreateString(u"from C++"), V8_PROPERTY_ATTRIBUTE_NONE);
    global->SetValueByKey(u"where", TCefv8ValueRef::CreateFunction(u"where", Make<TWhere>()),
                          V8_PROPERTY_ATTRIBUTE_NONE);
  }
  void OnContextReleased(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame,
                         const RefPtr<ICefv8Context>& context) override {
    events_.Add("context_released " + FrameName(frame) + " " + Narrow(frame->GetUrl()) +
                (context->IsValid() ? "" : " (already invalid)"));
  }
  void OnUncaughtException(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame,
                           const RefPtr<ICefv8Context>& context, const RefPtr<ICefV8Exception>& exception,
                           const RefPtr<ICefV8StackTrace>& trace) override {
    events_.Add("uncaught " + FrameName(frame) + (context->IsValid() ? " " : " invalid ") +
                Narrow(exception->GetMessage()) + " line " + std::to_string(exception->GetLineNumber()) +
                ": " + Describe(trace));
  }
  bool throws = false;

 private:
  class TWhere : public TCefv8HandlerOwn {
   public:
    bool Execute(const ustring&, const RefPtr<ICefV8Value>&, const TCefv8ValueArray&,
                 RefPtr<ICefV8Value>& retval, ustring&) override {
      retval = TCefv8ValueRef::CreateString(Widen(Describe(TCefV8StackTraceRef::Current(10))));
      return true;
    }
  };
  Events& events_;
};

// Blocks navigations to /forbidden, cancels requests for /blocked, sends /old to /new,
// serves http://served.test/ itself and adds a header to every other request. Resource
// requests come on the IO thread, so they have a log of their own.
class TRequests : public TCefRequestHandlerOwn {
 public:
  TRequests(Events& events, std::string server) : events_(events), server_(std::move(server)) {}
  bool OnBeforeBrowse(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame,
                      const RefPtr<ICefRequest>& request, TCefHandlerNavtype navType,
                      bool isRedirect) override {
    events_.Add("before_browse " + FrameName(frame) + " " + Narrow(request->GetUrl()) + " " +
                std::to_string(navType) + (isRedirect ? " redirect" : ""));
    return Contains(request->GetUrl(), u"/forbidden");
  }
  void OnResourceRedirect(const RefPtr<ICefBrowser>&, const ustring& oldUrl, ustring& newUrl) override {
    std::lock_guard lock(mutex_);
    io_log.push_back("redirect " + Narrow(oldUrl) + " " + Narrow(newUrl));
  }
  void OnResourceResponse(const RefPtr<ICefBrowser>&, const ustring& url,
                          const RefPtr<ICefResponse>& response, RefPtr<ICefContentFilter>&) override {
    events_.Add("response " + std::to_string(response->GetStatus()) + " " + Narrow(url));
  }
  bool OnBeforeResourceLoad(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefRequest>& request,
                            ustring& redirectUrl, RefPtr<ICefStreamReader>& resourceStream,
                            const RefPtr<ICefResponse>& response, int) override {
    const ustring url = request->GetUrl();
    {
      std::lock_guard lock(mutex_);
      io_log.push_back(Narrow(url) + (CefIsMainThread() || !browser ? " wrong thread or browser" : ""));
    }
    if (Contains(url, u"/blocked")) return true;
    if (Contains(url, u"/old")) redirectUrl = Widen(server_ + "/new");
    if (Contains(url, u"served.test")) {
      static const char kPage[] =
          "<html><head><title>Served</title></head><body>by the program</body></html>";
      resourceStream = TCefStreamReaderRef::CreateForData(const_cast<char*>(kPage), sizeof kPage - 1);
      response->SetMimeType(u"text/html");
      response->SetStatus(203);
      return false;
    }
    auto headers = Make<TCefStringMultimapOwn>();
    request->GetHeaderMap(*headers);
    headers->Append(u"X-Launcher", u"1");
    request->SetHeaderMap(*headers);
    return false;
  }
  std::vector<std::string> Log() {
    std::lock_guard lock(mutex_);
    return io_log;
  }

 private:
  Events& events_;
  std::string server_;
  std::mutex mutex_;
  std::vector<std::string> io_log;
};

// A task on the engine's loop that ends it once `done` holds or time is up.
class TPoll : public TCefOwn<cef_task_t> {
 public:
  TPoll(std::function<bool()> done, std::chrono::steady_clock::time_point deadline)
      : done_(std::move(done)), deadline_(deadline) {
    Bind<&TPoll::Execute>(record()->execute);
  }
  void Execute(cef_thread_id_t) {
    if (done_() || std::chrono::steady_clock::now() > deadline_) {
      cef_quit_message_loop();
    } else {
      Post(5);
    }
  }
  void Post(int64_t delay) {
    cef_post_delayed_task(TID_UI, reinterpret_cast<cef_task_t*>(CefDataOf(RefPtr<ICefBase>(this))), delay);
  }

 private:
  std::function<bool()> done_;
  std::chrono::steady_clock::time_point deadline_;
};

// How long a wait for an event may last before the run counts as hung: long enough
// for a slow, busy machine, which makes a test slower but never red.
constexpr std::chrono::milliseconds kHungAfter = std::chrono::minutes(2);

bool RunUntil(std::function<bool()> done, std::chrono::milliseconds timeout = kHungAfter) {
  auto poll = Make<TPoll>(done, std::chrono::steady_clock::now() + timeout);
  poll->Post(0);
  CefRunMessageLoop();
  return done();
}

// A task that runs `work` on whichever thread it was posted to.
class TWork : public TCefOwn<cef_task_t> {
 public:
  explicit TWork(std::function<void()> work) : work_(std::move(work)) {
    Bind<&TWork::Execute>(record()->execute);
  }
  void Execute(cef_thread_id_t) { work_(); }
  bool PostTo(cef_thread_id_t thread) {
    return cef_post_task(thread, reinterpret_cast<cef_task_t*>(CefDataOf(RefPtr<ICefBase>(this)))) != 0;
  }

 private:
  std::function<void()> work_;
};

// A task posted to the IO thread now comes back to the main thread: the IO thread is not
// held up by anything queued before it.
bool IoThreadGoesOn() {
  auto back = std::make_shared<std::atomic<bool>>(false);
  auto to_ui = Make<TWork>([back] { *back = true; });
  auto to_io = Make<TWork>([to_ui] { to_ui->PostTo(TID_UI); });
  return to_io->PostTo(TID_IO) && RunUntil([back] { return back->load(); });
}

// Every engine object has gone. A transfer thread that woke a body's reader holds the
// reader's request until the wake returns, which on a busy machine may be after the main
// thread ran out of work: so this waits, one IO round trip at a time.
bool EngineObjectsAllGone() {
  const auto deadline = std::chrono::steady_clock::now() + kHungAfter;
  while (engine_probe::LiveObjects() != 0) {
    if (std::chrono::steady_clock::now() > deadline || !IoThreadGoesOn()) return false;
  }
  return true;
}

// Runs `work` on the engine's IO thread, where cookie changes and visitors belong, and
// waits for it on the main loop.
template <class Work>
auto OnIo(Work work) {
  decltype(work()) result{};
  std::atomic<bool> done{false};
  auto task = Make<TWork>([&] {
    result = work();
    done = true;
  });
  EXPECT_TRUE(task->PostTo(TID_IO));
  EXPECT_TRUE(RunUntil([&] { return done.load(); }));
  return result;
}

// "name=value domain path [httponly] [expires]" of every cookie a visit saw; url empty:
// all of them. The visit runs on the IO thread, so it is over when this returns.
std::vector<std::string> CookiesOf(const RefPtr<ICefCookieManager>& manager, const ustring& url = u"",
                                   bool includeHttpOnly = true) {
  return OnIo([&] {
    std::vector<std::string> seen;
    auto visit = [&](const TCefCookie& c, int, int, bool&) {
      seen.push_back(Narrow(c.name + u"=" + c.value + u" " + c.domain + u" " + c.path +
                            (c.httponly ? u" httponly" : u"") + (c.hasExpires ? u" expires" : u"")));
      return true;
    };
    EXPECT_TRUE(url.empty() ? manager->VisitAllCookiesProc(visit)
                            : manager->VisitUrlCookiesProc(url, includeHttpOnly, visit));
    return seen;
  });
}

class EngineRun : public testing::Environment {
 public:
  void SetUp() override {
    CefOnRegisterCustomSchemes = [](const RefPtr<ICefSchemeRegistrar>& registrar) {
      registrar->AddCustomScheme(u"client", true, false, false);
    };
    CefUncaughtExceptionStackSize = 2;
    CefEnsureEngine();
    ASSERT_TRUE(CefRegisterSchemeHandlerFactory<TPageScheme>(u"client", u"direct", false));
    ASSERT_TRUE(CefRegisterSchemeHandlerFactory<TPageScheme>(u"client", u"main", true));
    ASSERT_TRUE(CefRegisterSchemeHandlerFactory<TThrowingScheme>(u"client", u"throws", false));
    ASSERT_TRUE(CefRegisterSchemeHandlerFactory<TThrowingScheme>(u"client", u"throwsmain", true));
    ASSERT_TRUE(CefRegisterSchemeHandlerFactory<TEndlessScheme>(u"client", u"endlessmain", true));
  }
  void TearDown() override {
    CefShutdownEngine();
    CefOnRegisterCustomSchemes = nullptr;
  }
};
const auto* const engine_run = testing::AddGlobalTestEnvironment(new EngineRun);

class Integration : public testing::Test {
 protected:
  void TearDown() override {
    for (auto& browser : client_->life_span->browsers) browser->CloseBrowser();
    const int open = static_cast<int>(client_->life_span->browsers.size());
    EXPECT_TRUE(RunUntil([&] { return client_->events.Count("before_close") >= open; }));
    EXPECT_FALSE(client_->events.off_main_thread) << "a handler was called off the main thread";
    client_->life_span->browsers.clear();
    EXPECT_TRUE(EngineObjectsAllGone())
        << engine_probe::LiveObjects() << " engine objects left alive by the test";
  }

  // Opens a browser on `url` and waits for its first load to end or fail.
  RefPtr<ICefBrowser> Open(const ustring& url) {
    cef_window_info_t info{};
    info.m_nWidth = 800;
    info.m_nHeight = 600;
    info.m_dwStyle = kHiddenWindow;
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    EXPECT_TRUE(CefBrowserCreate(info, client_, url, settings));
    EXPECT_TRUE(RunUntil([&] {
      return !client_->life_span->browsers.empty() &&
             (client_->events.Count("load_end main") > 0 || client_->events.Count("load_error") > 0);
    }));
    return client_->life_span->browsers.empty() ? nullptr : client_->life_span->browsers.front();
  }

  void LoadAndWait(const RefPtr<ICefFrame>& frame, const ustring& url) {
    client_->events.lines.clear();
    frame->LoadUrl(url);
    EXPECT_TRUE(RunUntil([&] { return client_->events.Count("load_end main") > 0; })) << Narrow(url);
  }

  RefPtr<TTestClient> client_ = Make<TTestClient>();
  test_http::Server server_;
};

TEST_F(Integration, RequestWithHeaderMapReachesTheServerExactly) {
  server_.Serve("/UCClient/login.php",
                test_http::Page("<html><head><title>Login</title></head><body>Login</body></html>"));
  server_.Serve("/game/game.php",
                test_http::Page("<html><head><title>Game</title></head><body>Game</body></html>"));
  auto browser = Open(Widen(server_.Url("/UCClient/login.php")));
  ASSERT_TRUE(browser);
  EXPECT_TRUE(client_->events.Has("title Login"));
  EXPECT_TRUE(client_->events.Has("load_end main 200"));
  EXPECT_FALSE(browser->IsPopup());
  EXPECT_NE(browser->GetWindowHandle(), nullptr);

  // As the launcher's buttons do: GET, one header, the page's address.
  auto request = TCefRequestRef::New();
  request->SetMethod(u"GET");
  auto headers = Make<TCefStringMultimapOwn>();
  headers->Append(u"X-CEF-Version", u"1.0.0.3");
  request->SetHeaderMap(*headers);
  request->SetUrl(Widen(server_.Url("/game/game.php")));
  client_->events.lines.clear();
  browser->GetMainFrame()->LoadRequest(request);
  ASSERT_TRUE(RunUntil([&] { return client_->events.Count("load_end main") > 0; }));
  EXPECT_TRUE(client_->events.Has("title Game"));

  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(requests[0].Header("X-CEF-Version")) << "the start page goes without the header";
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(requests[1].target, "/game/game.php");
  EXPECT_EQ(requests[1].Header("X-CEF-Version"), "1.0.0.3");
  EXPECT_EQ(std::count_if(requests[1].headers.begin(), requests[1].headers.end(),
                          [](const auto& h) { return h.first.rfind("X-", 0) == 0; }),
            1)
      << "exactly one added header";
}

TEST_F(Integration, SchemePagesInDirectAndMainThreadModes) {
  auto browser = Open(u"client://direct/page");
  ASSERT_TRUE(browser);
  auto frame = browser->GetMainFrame();
  const ustring direct_text = frame->GetText();
  EXPECT_TRUE(Contains(direct_text, u"Served by the scheme")) << Narrow(direct_text);
  EXPECT_TRUE(Contains(direct_text, u"first line written\nsecond line written")) << Narrow(direct_text);
  EXPECT_TRUE(client_->events.Has("title Scheme page"));

  LoadAndWait(frame, u"client://main/other?x=1");
  EXPECT_TRUE(Contains(frame->GetText(), u"second line written"));
  const auto seen = Schemes().Get();
  ASSERT_GE(seen.size(), 2u);
  EXPECT_EQ(seen[seen.size() - 2], "client://direct/page io") << "direct mode runs on the engine's IO thread";
  EXPECT_EQ(seen.back(), "client://main/other?x=1 main") << "main-thread mode runs on the main thread";
}

TEST_F(Integration, AReadThatThrowsAfterReportingBytesFailsTheLoadInBothModes) {
  auto browser = Open(u"about:blank");
  ASSERT_TRUE(browser);
  for (const ustring url : {u"client://throws/page", u"client://throwsmain/page"}) {
    client_->events.lines.clear();
    const auto reported = CefOnEntryException;
    int exceptions = 0;
    CefOnEntryException = [&](std::exception_ptr) { ++exceptions; };
    LoadAndWait(browser->GetMainFrame(), url);
    CefOnEntryException = reported;
    EXPECT_EQ(exceptions, 1) << Narrow(url);
    EXPECT_TRUE(client_->events.Has("load_error " + std::to_string(ERR_ABORTED) + " " + Narrow(url)))
        << Narrow(url);
    EXPECT_EQ(client_->events.lines.back(), "load_end main 0") << Narrow(url);
  }
}

TEST_F(Integration, AMainThreadHandlerIsNotCalledAfterItsBrowserReportedTheClose) {
  auto browser = Open(u"about:blank");
  ASSERT_TRUE(browser);
  browser->GetMainFrame()->LoadUrl(u"client://endlessmain/page");
  ASSERT_TRUE(RunUntil([] { return Endless().reads > 3; }));
  client_->life_span->on_before_close = [] { Endless().closed = true; };
  browser->CloseBrowser();
  ASSERT_TRUE(RunUntil([&] { return client_->events.Count("before_close") == 1; }));
  EXPECT_TRUE(Endless().cancelled);
  EXPECT_TRUE(IoThreadGoesOn()) << "the endless load holds up the IO thread";
  EXPECT_EQ(Endless().reads_after_close, 0);
}

TEST_F(Integration, PopupsFromPageScriptAreCancelledOrOpened) {
  auto browser = Open(u"about:blank");
  ASSERT_TRUE(browser);
  const ustring page = u"<html><body><script>window.open('client://direct/popup');</script></body></html>";
  client_->life_span->cancel_popups = true;
  browser->GetMainFrame()->LoadString(
      u"<html><body><script>window.open('client://direct/popup', 'shop', 'left=10, top=-20,width=300,"
      u"menubar=yes,toolbar=0,scrollbars,resizable=no,fullscreen=1,Chrome,other=no');</script></body></html>",
      u"http://opener.test/");
  ASSERT_TRUE(RunUntil([&] { return client_->events.Count("before_popup") == 1; }));
  EXPECT_TRUE(client_->events.Has("before_popup client://direct/popup"));
  EXPECT_TRUE(client_->events.Has(
      "features x 10 y -20 width 300 height 0;set 1 1 1 0;bars 1 0 0 0 1;window 0 1 0;more chrome"))
      << "the page's features reach the handler as the engine lays them out";
  RunUntil([] { return false; }, std::chrono::milliseconds(100));
  EXPECT_EQ(client_->life_span->browsers.size(), 1u) << "the cancelled pop-up opened no browser";

  client_->life_span->cancel_popups = false;
  browser->GetMainFrame()->LoadString(page, u"http://opener.test/");
  ASSERT_TRUE(RunUntil([&] { return client_->life_span->browsers.size() == 2; }));
  EXPECT_TRUE(
      client_->events.Has("features x 0 y 0 width 0 height 0;set 0 0 0 0;bars 1 1 1 1 1;window 1 0 0;more"))
      << "without features every bar shows";
  auto popup = client_->life_span->browsers[1];
  EXPECT_TRUE(popup->IsPopup());
  EXPECT_EQ(popup->GetOpenerWindowHandle(), browser->GetWindowHandle());
  EXPECT_TRUE(client_->events.Has("after_created popup"));
  ASSERT_TRUE(RunUntil([&] { return Contains(popup->GetMainFrame()->GetText(), u"first line written"); }));
}

TEST_F(Integration, FailedLoadReportsTheErrorAndFramesLoadOnTheirOwn) {
  const std::string refused = "http://127.0.0.1:" + std::to_string(server_.ClosedPort()) + "/";
  auto browser = Open(Widen(refused));
  ASSERT_TRUE(browser);
  EXPECT_TRUE(client_->events.Has("load_error " + std::to_string(ERR_CONNECTION_REFUSED) + " " + refused));
  EXPECT_EQ(client_->events.lines.back(), "load_end main 0") << "the load that started also ends";

  server_.Serve(
      "/outer",
      test_http::Page("<html><body>Outer <iframe name=\"inner\" src=\"/inner\"></iframe></body></html>"));
  server_.Serve("/inner", test_http::Page("<html><body>Inner</body></html>"));
  client_->events.lines.clear();
  browser->GetMainFrame()->LoadUrl(Widen(server_.Url("/outer")));
  ASSERT_TRUE(RunUntil([&] { return client_->events.Count("load_end") == 2; }));
  EXPECT_EQ(client_->events.Count("load_start"), 2);
  EXPECT_TRUE(client_->events.Has("load_end inner 200"));
  auto inner = browser->GetFrame(u"inner");
  ASSERT_TRUE(inner);
  EXPECT_EQ(inner->GetParent()->GetIdentifier(), browser->GetMainFrame()->GetIdentifier());
  std::vector<ustring> names;
  browser->GetFrameNames(names);
  EXPECT_NE(std::find(names.begin(), names.end(), u"inner"), names.end());
}

TEST_F(Integration, TheRequestHandlerCancelsEditsRedirectsAndServesRequests) {
  server_.Serve("/start", test_http::Page("<html><head><title>Start</title></head><body>s</body></html>"));
  server_.Serve("/new", test_http::Page("<html><head><title>New</title></head><body>n</body></html>"));
  server_.Serve("/forbidden", test_http::Page("<html><body>f</body></html>"));
  server_.Serve("/blocked", test_http::Page("<html><body>b</body></html>"));
  for (const auto& [from, to] : {std::pair{"/moved", "/new"}, std::pair{"/moved-away", "/forbidden"}}) {
    auto moved = test_http::Page("", 302, "Found");
    moved.headers = {{"Location", to}};
    server_.Serve(from, moved);
  }
  server_.Serve("/pictures",
                test_http::Page("<html><body><img src=/pic.png><img src=blocked.png>"
                                "<img src='pic.png'><img src=http://served.test/pic></body></html>"));
  server_.Serve("/pic.png", test_http::Page("\x89PNG"));
  auto handler = Make<TRequests>(client_->events, server_.Url(""));
  client_->requests = handler;
  auto browser = Open(Widen(server_.Url("/start")));
  ASSERT_TRUE(browser);
  EXPECT_TRUE(client_->events.Has("before_browse main " + server_.Url("/start") + " " +
                                  std::to_string(NAVTYPE_OTHER)));
  EXPECT_TRUE(client_->events.Has("title Start"));
  auto frame = browser->GetMainFrame();

  // Cancelled: nothing starts; the next load shows that it came and went.
  client_->events.lines.clear();
  frame->LoadUrl(Widen(server_.Url("/forbidden")));
  frame->LoadUrl(Widen(server_.Url("/old")));
  ASSERT_TRUE(RunUntil([&] { return client_->events.Count("load_end main") > 0; }));
  EXPECT_EQ(client_->events.Count("load_start"), 1) << "the cancelled navigation started no load";
  EXPECT_TRUE(client_->events.Has("title New")) << "the redirect address was followed";
  EXPECT_EQ(Narrow(frame->GetUrl()), server_.Url("/new"));

  LoadAndWait(frame, u"http://served.test/page");
  EXPECT_TRUE(client_->events.Has("title Served"));
  EXPECT_TRUE(client_->events.Has("load_end main 203"));
  EXPECT_TRUE(Contains(frame->GetText(), u"by the program"));

  LoadAndWait(frame, Widen(server_.Url("/blocked")));
  EXPECT_TRUE(
      client_->events.Has("load_error " + std::to_string(ERR_ABORTED) + " " + server_.Url("/blocked")));
  EXPECT_TRUE(client_->events.Has("load_end main 0"));

  browser->Reload();
  ASSERT_TRUE(RunUntil([&] { return client_->events.Count("before_browse main") > 1; }));
  EXPECT_TRUE(
      client_->events.Has("before_browse main http://served.test/page " + std::to_string(NAVTYPE_RELOAD)));
  ASSERT_TRUE(RunUntil([&] { return client_->events.Count("load_end main") > 1; }));

  // Redirects of a navigation are navigations too, which the program may stop: the frame
  // then keeps its page.
  const std::string other = std::to_string(NAVTYPE_OTHER);
  LoadAndWait(frame, Widen(server_.Url("/moved")));
  EXPECT_TRUE(client_->events.Has("before_browse main " + server_.Url("/new") + " " + other + " redirect"));
  EXPECT_EQ(Narrow(frame->GetUrl()), server_.Url("/new"));
  LoadAndWait(frame, Widen(server_.Url("/moved-away")));
  EXPECT_TRUE(
      client_->events.Has("before_browse main " + server_.Url("/forbidden") + " " + other + " redirect"));
  EXPECT_TRUE(client_->events.Has("load_end main 0")) << client_->events.All();
  EXPECT_EQ(Narrow(frame->GetUrl()), server_.Url("/new")) << "the stopped redirect loaded nothing";
  LoadAndWait(frame, u"client://direct/moved");
  EXPECT_TRUE(client_->events.Has("before_browse main client://direct/page " + other + " redirect"));
  EXPECT_TRUE(client_->events.Has("title Scheme page"));

  // A page's images go through the request handler like its document: edited, blocked
  // or served by the program, each address once, their responses reported.
  LoadAndWait(frame, Widen(server_.Url("/pictures")));
  ASSERT_TRUE(RunUntil([&] {
    return client_->events.Has("response 200 " + server_.Url("/pic.png")) &&
           client_->events.Has("response 203 http://served.test/pic");
  })) << client_->events.All();

  // The network saw the edited requests and none of those the program kept from it.
  std::vector<std::string> targets;
  for (const auto& request : server_.Requests()) {
    targets.push_back(request.target);
    EXPECT_EQ(request.Header("X-Launcher"), "1") << request.target;
  }
  EXPECT_EQ(targets, (std::vector<std::string>{"/start", "/new", "/moved", "/new", "/moved-away", "/pictures",
                                               "/pic.png"}));
  const auto io = handler->Log();
  EXPECT_EQ(
      io,
      (std::vector<std::string>{
          server_.Url("/start"), server_.Url("/old"), "http://served.test/page", server_.Url("/blocked"),
          "http://served.test/page", server_.Url("/moved"),
          "redirect " + server_.Url("/moved") + " " + server_.Url("/new"), server_.Url("/moved-away"),
          "redirect " + server_.Url("/moved-away") + " " + server_.Url("/forbidden"), "client://direct/moved",
          "redirect client://direct/moved client://direct/page", server_.Url("/pictures"),
          server_.Url("/pic.png"), server_.Url("/blocked.png"), "http://served.test/pic"}));
}

TEST_F(Integration, LoadStringKeepsSourceAndHistory) {
  auto browser = Open(u"about:blank");
  ASSERT_TRUE(browser);
  auto frame = browser->GetMainFrame();
  const ustring first = u"<html><head><title>First</title></head><body>one</body></html>";
  const ustring second = u"<html><head><title>Second</title></head><body>two</body></html>";
  frame->LoadString(first, u"http://pages.test/1");
  ASSERT_TRUE(RunUntil([&] { return client_->events.Has("title First"); }));
  frame->LoadString(second, u"http://pages.test/2");
  ASSERT_TRUE(RunUntil([&] { return client_->events.Has("title Second"); }));
  EXPECT_EQ(frame->GetSource(), second);
  EXPECT_EQ(frame->GetUrl(), u"http://pages.test/2");
  EXPECT_TRUE(browser->CanGoBack());
  client_->events.lines.clear();
  browser->GoBack();
  ASSERT_TRUE(RunUntil([&] { return client_->events.Has("title First"); }));
  EXPECT_EQ(frame->GetSource(), first);
  EXPECT_TRUE(browser->CanGoForward());
}

TEST_F(Integration, ABrowserCreatedSynchronouslyIsThereAtOnce) {
  cef_window_info_t info{};
  info.m_dwStyle = kHiddenWindow;
  cef_browser_settings_t settings{};
  settings.size = sizeof(settings);
  RefPtr<ICefBrowser> browser = CefBrowserCreateSync(info, client_, u"client://direct/page", settings);
  ASSERT_NE(browser, nullptr);
  EXPECT_TRUE(RunUntil([&] { return client_->events.Has("title Scheme page"); }));
  EXPECT_EQ(browser->GetMainFrame()->GetUrl(), u"client://direct/page");
}

// Cookies end to end: a login's redirect sets them, the engine sends them back, and the
// program reads, sets, deletes and keeps them through cookie managers.
TEST_F(Integration, CookiesAreKeptSentVisitedAndPersisted) {
  auto login = test_http::Page("", 302, "Found");
  login.headers = {{"Location", "/home"},
                   {"Set-Cookie", "session=abc; Path=/; HttpOnly"},
                   {"Set-Cookie", "pref=dark; Max-Age=3600"},
                   {"Set-Cookie", "evil=1; Domain=other.test"},
                   {"Set-Cookie", "old=1; Expires=Mon, 01 Jan 0001 00:00:00 GMT"},
                   {"Set-Cookie", "far=1; Expires=Fri, 01 Jan 99999 00:00:00 GMT"},
                   {"Set-Cookie", "gone=1; Max-Age=0"}};
  server_.Serve("/login", login);
  server_.Serve("/home", test_http::Page("<html><head><title>Home</title></head><body>h</body></html>"));
  auto browser = Open(Widen(server_.Url("/login")));
  ASSERT_TRUE(browser);
  EXPECT_TRUE(client_->events.Has("title Home")) << "the redirect was followed";
  auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].Header("Cookie"), "session=abc; pref=dark; far=1")
      << "the redirect's cookies went with the next request; another site's domain, Max-Age=0 and year "
         "0001 (2001) did not; year 99999 is no date, so far=1 is a session cookie";

  auto global = TCefCookieManagerRef::GetGlobalManager();
  ASSERT_TRUE(global);
  EXPECT_EQ(CookiesOf(global),
            (std::vector<std::string>{"session=abc 127.0.0.1 / httponly", "pref=dark 127.0.0.1 / expires",
                                      "far=1 127.0.0.1 /"}));
  EXPECT_EQ(CookiesOf(global, Widen(server_.Url("/x")), false),
            (std::vector<std::string>{"pref=dark 127.0.0.1 / expires", "far=1 127.0.0.1 /"}));

  // Changes come on the IO thread only; bad fields and addresses are refused.
  TCefCookie added;
  added.name = u"added";
  added.value = u"x";
  const ustring home = Widen(server_.Url("/home"));
  EXPECT_FALSE(global->SetCookie(home, added)) << "off the IO thread";
  EXPECT_TRUE(OnIo([&] { return global->SetCookie(home, added); }));
  TCefCookie bad = added;
  bad.value = u"x; Domain=other.test";
  EXPECT_FALSE(OnIo([&] { return global->SetCookie(home, bad); }));
  EXPECT_FALSE(OnIo([&] { return global->SetCookie(u"not an address", added); }));

  // A visit from the main thread runs on the IO thread; its delete flag deletes.
  std::atomic<int> visited{0};
  EXPECT_TRUE(global->VisitAllCookiesProc([&](const TCefCookie& cookie, int, int total, bool& deleteCookie) {
    deleteCookie = cookie.name == u"pref" || cookie.name == u"far";
    if (++visited == total) visited = 100;
    return true;
  }));
  ASSERT_TRUE(RunUntil([&] { return visited == 100; }));
  LoadAndWait(browser->GetMainFrame(), home);
  EXPECT_EQ(server_.Requests().back().Header("Cookie"), "session=abc; added=x");
  // Page script sees and sets the page's cookies, but never an HttpOnly one.
  client_->events.lines.clear();
  browser->GetMainFrame()->ExecuteJavaScript(
      u"var seen = document.cookie; document.cookie = 'js=1; Path=/'; document.cookie = 'session=stolen';"
      u"document.cookie = 'sneaky=1; HttpOnly'; document.title = seen + ' / ' + document.cookie;",
      u"", 1);
  ASSERT_TRUE(RunUntil([&] { return client_->events.Has("title added=x / added=x; js=1"); }))
      << client_->events.All();
  LoadAndWait(browser->GetMainFrame(), home);
  EXPECT_EQ(server_.Requests().back().Header("Cookie"), "session=abc; added=x; js=1");
  EXPECT_TRUE(OnIo([&] { return global->DeleteCookies(home, u""); })) << "the host's cookies";
  EXPECT_TRUE(CookiesOf(global).empty());

  // A redirect loop ends after 20 redirects.
  auto loop = test_http::Page("", 302, "Found");
  loop.headers = {{"Location", "/loop"}};
  server_.Serve("/loop", loop);
  LoadAndWait(browser->GetMainFrame(), Widen(server_.Url("/loop")));
  EXPECT_TRUE(client_->events.Has("load_error " + std::to_string(ERR_TOO_MANY_REDIRECTS) + " " +
                                  server_.Url("/loop")));
  EXPECT_EQ(server_.Requests().size(), 4u + 21u);

  // A store of its own in a folder keeps its persistent cookies there: switching the
  // store away writes them, switching back reads them. A damaged file is set aside and
  // the store starts empty.
  const auto folder =
      std::filesystem::temp_directory_path() / ("ceflib-cookies-" + std::to_string(server_.port()));
  const ustring path(folder.u16string());
  std::filesystem::remove_all(folder);
  auto own = TCefCookieManagerRef::CreateManager(path);
  ASSERT_TRUE(own);
  TCefCookie kept = added;
  kept.hasExpires = true;
  kept.expires = CefTimeToDateTime(cef_time_t{2099, 1, 4, 1, 0, 0, 0, 0});
  EXPECT_TRUE(OnIo([&] { return own->SetCookie(home, kept) && own->SetCookie(u"http://a.test/", added); }));
  EXPECT_EQ(CookiesOf(own).size(), 2u);
  EXPECT_TRUE(own->SetStoragePath(u""));
  EXPECT_TRUE(CookiesOf(own).empty()) << "a new store in memory";
  EXPECT_TRUE(own->SetStoragePath(path));
  const auto back = CookiesOf(own);
  ASSERT_EQ(back.size(), 1u) << "the session cookie of a.test is not kept";
  EXPECT_EQ(back[0], "added=x 127.0.0.1 / expires");
  EXPECT_TRUE(own->SetStoragePath(u""));
  {
    std::ofstream cut(folder / "Cookies", std::ios::binary | std::ios::trunc);
    cut << "tessaril-cookies 1\n127.0.0.1\t1\t/\t0\t0\t40";
  }
  EXPECT_TRUE(own->SetStoragePath(path));
  EXPECT_TRUE(CookiesOf(own).empty());
  EXPECT_TRUE(std::filesystem::exists(folder / "Cookies.damaged"));
  own = nullptr;
  global = nullptr;
  std::filesystem::remove_all(folder);
}

// The engine's document body limit lowered for a test, so that only a body that streams
// can be larger; back to the default when the test ends.
class DocumentLimit {
 public:
  explicit DocumentLimit(size_t bytes) { Set()(bytes); }
  ~DocumentLimit() { Set()(0); }
  DocumentLimit(const DocumentLimit&) = delete;
  DocumentLimit& operator=(const DocumentLimit&) = delete;

 private:
  using Setter = void (*)(size_t);
  static Setter Set() { return engine_probe::Export<Setter>("cef_engine_set_document_limit"); }
};

// What a web URL request's client heard, one line each, and the body it got.
class TWebClient : public TCefWebUrlRequestClientOwn {
 public:
  void OnStateChange(const RefPtr<ICefWebUrlRequest>& requester, TCefWebUrlRequestState state) override {
    Add("state " + std::to_string(state) + (requester->GetState() == state ? "" : " (get_state differs)"));
    if (state >= WUR_STATE_DONE) ended = true;
  }
  void OnRedirect(const RefPtr<ICefWebUrlRequest>&, const RefPtr<ICefRequest>& request,
                  const RefPtr<ICefResponse>& response) override {
    Add("redirect " + std::to_string(response->GetStatus()) + " " + Narrow(request->GetUrl()));
  }
  void OnHeadersReceived(const RefPtr<ICefWebUrlRequest>&, const RefPtr<ICefResponse>& response) override {
    Add("headers " + std::to_string(response->GetStatus()) + " " + Narrow(response->GetMimeType()));
  }
  void OnProgress(const RefPtr<ICefWebUrlRequest>&, uint64_t sent, uint64_t total) override {
    Add("progress " + std::to_string(sent) + "/" + std::to_string(total));
  }
  void OnData(const RefPtr<ICefWebUrlRequest>& requester, const void* data, int size) override {
    body.append(static_cast<const char*>(data), static_cast<size_t>(size));
    ++pieces;
    if (cancel_in_data) requester->Cancel();
  }
  void OnError(const RefPtr<ICefWebUrlRequest>&, int code) override { Add("error " + std::to_string(code)); }

  void Add(std::string line) { lines.push_back((CefIsMainThread() ? "" : "off the main thread: ") + line); }
  std::vector<std::string> lines;
  std::string body;
  int pieces = 0;
  bool ended = false, cancel_in_data = false;
};

// A request of the program's own: its states in order, a redirect whose cookie goes with
// the next hop, the posted body, the response body in pieces as it arrives (the document
// body limit is lowered below it, so a body collected whole would fail); a failure; a cancel.
TEST_F(Integration, WebUrlRequestsReportTheirLoadOnTheMainThread) {
  const DocumentLimit limit(32 * 1024);
  auto moved = test_http::Page("", 307, "Temporary Redirect");
  moved.headers = {{"Location", "/data"}, {"Set-Cookie", "ticket=7"}};
  server_.Serve("/post", moved);
  auto data = test_http::Page(std::string(200 * 1024, 'd'));
  data.content_type = "application/octet-stream";
  server_.Serve("/data", data);
  auto request = TCefRequestRef::New();
  request->SetUrl(Widen(server_.Url("/post")));
  request->SetMethod(u"POST");
  auto post = TCefPostDataRef::New();
  auto element = TCefPostDataElementRef::New();
  element->SetToBytes(5, "hello");
  post->AddElement(element);
  request->SetPostData(post);
  auto client = Make<TWebClient>();
  auto web = TCefWebUrlRequestRef::New(request, client);
  ASSERT_TRUE(web);
  ASSERT_TRUE(RunUntil([&] { return client->ended; }));
  EXPECT_EQ(client->lines, (std::vector<std::string>{
                               "state 1", "redirect 307 " + server_.Url("/data"), "progress 5/5", "state 2",
                               "headers 200 application/octet-stream", "state 3", "state 4"}));
  EXPECT_EQ(client->body, data.body);
  EXPECT_EQ(web->GetState(), WUR_STATE_DONE);
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].method, "POST") << "307 repeats the request as it was";
  EXPECT_EQ(requests[1].body, "hello");
  EXPECT_EQ(requests[1].Header("Cookie"), "ticket=7");
  EXPECT_TRUE(OnIo([&] { return TCefCookieManagerRef::GetGlobalManager()->DeleteCookies(u"", u""); }));

  // Nothing listens: error; a cancel inside the body's first piece: abort, nothing more.
  request = TCefRequestRef::New();
  request->SetUrl(Widen("http://127.0.0.1:" + std::to_string(server_.ClosedPort()) + "/"));
  auto failing = Make<TWebClient>();
  web = TCefWebUrlRequestRef::New(request, failing);
  ASSERT_TRUE(RunUntil([&] { return failing->ended; }));
  EXPECT_EQ(failing->lines, (std::vector<std::string>{"state 1", "state 5",
                                                      "error " + std::to_string(ERR_CONNECTION_REFUSED)}));
  request->SetUrl(Widen(server_.Url("/data")));
  auto cancelling = Make<TWebClient>();
  cancelling->cancel_in_data = true;
  web = TCefWebUrlRequestRef::New(request, cancelling);
  ASSERT_TRUE(RunUntil([&] { return cancelling->ended; }));
  EXPECT_EQ(cancelling->lines,
            (std::vector<std::string>{"state 1", "state 2", "headers 200 application/octet-stream", "state 3",
                                      "state 6"}));
  EXPECT_EQ(cancelling->pieces, 1) << "one piece, then nothing";
  EXPECT_LE(cancelling->body.size(), 64u * 1024);
  EXPECT_EQ(web->GetState(), WUR_STATE_ABORT);
  // The engine lets go of its requests once the IO thread has run what came before
  // (and the transfer thread has let go of the reader's wake: the fixture waits for it).
  web = nullptr;
  EXPECT_TRUE(IoThreadGoesOn());
}

// The engine runs with uncaught_exception_stack_size 2 (EngineRun).
TEST_F(Integration, TheContextHandlerSeesEveryContextComeAndGoAndEveryUncaughtError) {
  auto contexts = Make<TContexts>(client_->events);
  client_->contexts = contexts;
  auto browser = Open(u"about:blank");
  ASSERT_TRUE(browser);
  auto frame = browser->GetMainFrame();
  client_->events.lines.clear();
  frame->LoadString(
      u"<html><head><script>document.title = typeof program == 'string' ? program : 'missing';\n"
      u"function Thrower() { throw new Error('boom'); }\n"
      u"function outer() { new Thrower(); }\n"
      u"function probe() { return where(); }\n"
      u"</script></head><body><iframe src='about:blank'></iframe><script>\n"
      u"document.title += ', ' + probe() + ' | ' + eval('probe()');\n"
      u"try { outer(); } catch (e) {}\n"
      u"outer();\n"
      u"</script></body></html>",
      u"http://pages.test/context");
  ASSERT_TRUE(RunUntil([&] { return client_->events.Count("load_end") == 2; }));  // the page and its frame
  EXPECT_TRUE(client_->events.Has("context_released main about:blank")) << client_->events.All();
  EXPECT_TRUE(client_->events.Has("context_created main http://pages.test/context"));
  EXPECT_TRUE(client_->events.Has("context_created  about:blank")) << "the inner frame's context";
  EXPECT_TRUE(client_->events.Has("title from C++, probe@4 global@6 | probe@4 eval@1 eval global@6"))
      << client_->events.All();
  EXPECT_EQ(client_->events.Count("uncaught"), 1) << "the caught error is not reported";
  EXPECT_TRUE(client_->events.Has("uncaught main Error: boom line 2: Thrower@2 new outer@3"));

  // A handler that throws for every context: pages still load, each failure is reported.
  std::vector<std::string> reported;
  CefOnEntryException = [&](std::exception_ptr error) { reported.push_back(CefExceptionMessage(error)); };
  contexts->throws = true;
  LoadAndWait(frame, u"client://direct/page");
  CefOnEntryException = nullptr;
  EXPECT_TRUE(client_->events.Has("title Scheme page"));
  EXPECT_EQ(reported, std::vector<std::string>{"the context handler fails"}) << client_->events.All();

  client_->events.lines.clear();
  browser->CloseBrowser();
  ASSERT_TRUE(RunUntil([&] { return client_->events.Count("before_close") > 0; }));
  EXPECT_TRUE(client_->events.Has("context_released main client://direct/page"));
  client_->life_span->browsers.clear();
}

// Upper-cases every piece of a body from the first-th on and adds a paragraph at its end;
// or throws.
class TUpperFilter : public TCefContentFilterOwn {
 public:
  TUpperFilter(bool throws, int first) : throws_(throws), first_(first) {}
  void ProcessData(const void* data, int size, RefPtr<ICefStreamReader>& substitute) override {
    if (++pieces <= first_) return;
    if (throws_) throw std::runtime_error("the filter failed");
    std::string piece(static_cast<const char*>(data), static_cast<size_t>(size));
    for (char& c : piece) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    substitute = TCefStreamReaderRef::CreateForData(piece.data(), piece.size());
  }
  void Drain(RefPtr<ICefStreamReader>& remainder) override {
    static char kEnd[] = "<p>drained</p>";
    remainder = TCefStreamReaderRef::CreateForData(kEnd, sizeof kEnd - 1);
  }
  int pieces = 0;

 private:
  bool throws_;
  int first_;
};

class TFiltering : public TCefRequestHandlerOwn {
 public:
  explicit TFiltering(Events& events) : events_(events) {}
  void OnResourceResponse(const RefPtr<ICefBrowser>&, const ustring& url,
                          const RefPtr<ICefResponse>& response, RefPtr<ICefContentFilter>& filter) override {
    events_.Add("response " + std::to_string(response->GetStatus()) + " " + Narrow(url));
    filter = last = Make<TUpperFilter>(Contains(url, u"throws"), Contains(url, u"later") ? 1 : 0);
  }
  // IO thread: logs in once, refuses the second time.
  bool GetAuthCredentials(const RefPtr<ICefBrowser>&, bool isProxy, const ustring& host, int port,
                          const ustring& realm, const ustring& scheme, ustring& username,
                          ustring& password) override {
    std::lock_guard lock(mutex);
    logins.push_back(Narrow(host) + ":" + std::to_string(port) + " " + Narrow(realm) + " " + Narrow(scheme) +
                     (isProxy ? " proxy" : "") + (CefIsMainThread() ? " on the main thread" : ""));
    username = u"player";
    password = u"p\u00e4ss";
    return logins.size() == 1;
  }
  RefPtr<TUpperFilter> last;
  std::mutex mutex;
  std::vector<std::string> logins;

 private:
  Events& events_;
};

// A content filter sees a document's body in pieces, in order, on the main thread, and
// what it gives is the page (also when it passes the first piece on and changes later
// ones); one that throws leaves the body as it was.
TEST_F(Integration, AContentFilterRewritesTheBodyAndOneThatThrowsLeavesIt) {
  const std::string page =
      "<html><head><title>quiet</title></head><body>" + std::string(40000, 'a') + "</body></html>";
  server_.Serve("/page", test_http::Page(page));
  server_.Serve("/throws", test_http::Page(page));
  server_.Serve("/later", test_http::Page(page));
  auto handler = Make<TFiltering>(client_->events);
  client_->requests = handler;
  auto browser = Open(Widen(server_.Url("/page")));
  ASSERT_TRUE(browser);
  EXPECT_TRUE(client_->events.Has("response 200 " + server_.Url("/page")));
  EXPECT_TRUE(client_->events.Has("title QUIET"));
  EXPECT_EQ(handler->last->pieces, 3) << "40 KiB in pieces of 16 KiB";
  EXPECT_TRUE(Contains(browser->GetMainFrame()->GetText(), u"drained"));

  LoadAndWait(browser->GetMainFrame(), Widen(server_.Url("/later")));
  EXPECT_TRUE(client_->events.Has("title quiet")) << "the first piece as it came";
  const auto text = browser->GetMainFrame()->GetText();
  EXPECT_TRUE(Contains(text, std::u16string(16000, u'a') + u"AAAA")) << "the second piece upper-cased";
  EXPECT_TRUE(Contains(text, u"drained"));
  client_->events.lines.clear();

  int reported = 0;
  CefOnEntryException = [&](std::exception_ptr) { ++reported; };
  LoadAndWait(browser->GetMainFrame(), Widen(server_.Url("/throws")));
  CefOnEntryException = nullptr;
  EXPECT_TRUE(client_->events.Has("title quiet")) << "each piece passed on as it was";
  EXPECT_EQ(reported, 3);
  EXPECT_TRUE(client_->events.Has("load_end main 200"));
}

// A server's Basic login request goes to the request handler on the IO thread; the request
// goes again with its answer, and a refusal shows the server's own answer.
TEST_F(Integration, AServerLoginIsAnsweredByTheRequestHandler) {
  auto refused = test_http::Page("<html><head><title>Refused</title></head></html>", 401, "Unauthorized");
  refused.headers = {{"WWW-Authenticate", "Basic realm=\"Game\""}};
  server_.Serve("/private", refused);
  auto handler = Make<TFiltering>(client_->events);
  client_->requests = handler;
  auto browser = Open(Widen(server_.Url("/private")));
  ASSERT_TRUE(browser);
  const std::string login = "127.0.0.1:" + std::to_string(server_.port()) + " Game basic";
  {
    std::lock_guard lock(handler->mutex);
    EXPECT_EQ(handler->logins, (std::vector<std::string>{login, login}));
  }
  EXPECT_TRUE(client_->events.Has("title REFUSED")) << "the 401 page, through the filter";
  const auto requests = server_.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(requests[0].Header("Authorization"));
  EXPECT_EQ(requests[1].Header("Authorization"), "Basic cGxheWVyOnDDpHNz") << "player:p\u00e4ss in UTF-8";
}

// Keeps a download's bytes; throws on the piece after the first when told to.
class TDownload : public TCefDownloadHandlerOwn {
 public:
  TDownload(Events& events, bool throws) : events_(events), throws_(throws) {}
  bool ReceivedData(void* data, int size) override {
    events_.Add("piece " + std::to_string(size));
    if (throws_ && !received.empty()) throw std::runtime_error("the disk is full");
    received.append(static_cast<const char*>(data), static_cast<size_t>(size));
    return true;
  }
  void Complete() override { events_.Add("complete"); }
  std::string received;

 private:
  Events& events_;
  bool throws_;
};

// Takes every download but those named "refused"; deals with, or lets the operating
// system have, the unknown addresses that say so.
class TDownloads : public TCefRequestHandlerOwn {
 public:
  explicit TDownloads(Events& events) : events_(events) {}
  bool GetDownloadHandler(const RefPtr<ICefBrowser>&, const ustring& mime, const ustring& name,
                          int64_t length, RefPtr<ICefDownloadHandler>& handler) override {
    events_.Add("download " + Narrow(mime) + " [" + Narrow(name) + "] " + std::to_string(length));
    if (!Contains(name, u"refused")) handler = last = Make<TDownload>(events_, Contains(name, u"throw"));
    return !Contains(name, u"refused");
  }
  bool OnProtocolExecution(const RefPtr<ICefBrowser>&, const ustring& url, bool& allowOsExecution) override {
    executions += (CefIsMainThread() ? "main thread " : "") + Narrow(url) + ";";
    allowOsExecution = Contains(url, u"allowed");
    return Contains(url, u"handled");
  }
  RefPtr<TDownload> last;
  std::string executions;  // written on the IO thread, read once the load has ended

 private:
  Events& events_;
};

// A response that calls itself an attachment, or whose type is no page, streams into the
// download handler (HTTP or scheme handler); refused or thrown on, it ends there. Over
// HTTP the file goes on arriving after the load ended, past the document body limit. An
// unknown scheme asks the request handler on the IO thread; what it lets go to the
// operating system is only recorded. Neither is a navigation: the frame keeps its page.
TEST_F(Integration, DownloadsAndUnknownSchemesLeaveTheFramesPage) {
  server_.Serve("/start", test_http::Page("<html><head><title>Start</title></head><body>s</body></html>"));
  const std::string& file = kArchive;
  // The same file from disk; scheme handler and file downloads stream like HTTP ones.
  const auto archive_path = std::filesystem::temp_directory_path() / "ceflib-download.zip";
  std::ofstream(archive_path, std::ios::binary) << kArchive;
  const std::string archive_url = "file://" +
                                  std::string(archive_path.generic_string().starts_with('/') ? "" : "/") +
                                  archive_path.generic_string();
  for (const auto& [path, type, disposition] : std::vector<std::array<std::string, 3>>{
           {"/game", "application/zip", "attachment; filename=\"../..\\evil\x01 setup.zip\""},
           {"/notes", "text/plain", "Attachment; filename*=UTF-8''refused%20na%C3%AFve.txt"},
           {"/throw.bin", "application/octet-stream", ""},
           {"/device", "application/zip", "attachment; filename=Com1.tar.gz"}}) {
    auto response = test_http::Page(file);
    response.content_type = type;
    if (!disposition.empty()) response.headers = {{"Content-Disposition", disposition}};
    server_.Serve(path, response);
  }
  const DocumentLimit limit(32 * 1024);  // below the files, above the pages
  auto handler = Make<TDownloads>(client_->events);
  client_->requests = handler;
  auto browser = Open(Widen(server_.Url("/start")));
  ASSERT_TRUE(browser);
  const auto recorded = [] {
    using Export = cef_string_userfree_t (*)();
    return Narrow(CefStringFreeAndGet(engine_probe::Export<Export>("cef_engine_os_executions")()));
  };
  const std::string before = recorded(), unknown = "load_error " + std::to_string(ERR_UNKNOWN_URL_SCHEME);
  int reported = 0;
  CefOnEntryException = [&](std::exception_ptr) { ++reported; };
  const struct {
    std::string url, kept;
    std::vector<std::string> events;
  } cases[] = {
      {server_.Url("/game"),
       file,
       {"download application/zip [evil setup.zip] 40000", "load_end main 0", "piece 16384", "piece 16384",
        "piece 7232", "complete"}},
      {server_.Url("/notes"), "", {"download text/plain [refused na?ve.txt] 40000", "load_end main 0"}},
      {server_.Url("/throw.bin"),
       file.substr(0, 16384),
       {"download application/octet-stream [throw.bin] 40000", "load_end main 0", "piece 16384",
        "piece 16384"}},
      {server_.Url("/device"),
       file,
       {"download application/zip [_Com1.tar.gz] 40000", "load_end main 0", "piece 16384", "piece 16384",
        "piece 7232", "complete"}},
      {"client://direct/setup.zip",
       file,
       {"download application/zip [setup.zip] 40000", "load_end main 0", "piece 16384", "piece 16384",
        "piece 7232", "complete"}},
      {archive_url,
       file,
       {"download application/zip [ceflib-download.zip] 40000", "load_end main 0", "piece 16384",
        "piece 16384", "piece 7232", "complete"}},
      {"mailto:handled@example.com", "", {"load_end main 0"}},
      {"mailto:allowed@example.com", "", {unknown + " mailto:allowed@example.com", "load_end main 0"}},
      {"mailto:refused@example.com", "", {unknown + " mailto:refused@example.com", "load_end main 0"}},
  };
  for (const auto& c : cases) {
    handler->last = nullptr;
    LoadAndWait(browser->GetMainFrame(), Widen(c.url));
    auto expected = c.events;
    expected.insert(expected.begin(), "load_start main");
    ASSERT_TRUE(RunUntil([&] { return client_->events.lines.size() >= expected.size(); })) << c.url;
    EXPECT_EQ(client_->events.lines, expected) << c.url;
    EXPECT_EQ(handler->last ? handler->last->received : "", c.kept) << c.url;
    if (!c.events.front().starts_with("load_error")) {  // error pages show the address
      EXPECT_EQ(Narrow(browser->GetMainFrame()->GetUrl()), server_.Url("/start")) << c.url;
    }
  }
  std::filesystem::remove(archive_path);
  CefOnEntryException = nullptr;
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(handler->executions,
            "mailto:handled@example.com;mailto:allowed@example.com;mailto:refused@example.com;");
  EXPECT_EQ(recorded(), before + (before.empty() ? "" : "\n") + "mailto:allowed@example.com");
}

// Script dialogs answered by the program, results flowing back into script (a prompt
// with 10 MB of default text too), and an extension kept out of every page.
TEST_F(Integration, TheProgramAnswersScriptDialogsAndChoosesThePagesExtensions) {
  ASSERT_TRUE(CefRegisterExtension(u"test/permitted", u"var permittedExtension = true;", nullptr));
  ASSERT_TRUE(CefRegisterExtension(u"test/refused", u"var refusedExtension = true;", nullptr));
  auto dialogs = Make<TDialogs>(client_->events);
  client_->dialogs = dialogs;
  client_->permissions = Make<TPermissions>(client_->events);
  auto browser = Open(u"about:blank");
  ASSERT_TRUE(browser);
  client_->events.lines.clear();
  browser->GetMainFrame()->LoadString(
      u"<html><body><script>alert('hello');\n"
      u"var mb = 'x'; while (mb.length < 1024 * 1024) mb += mb;\n"
      u"var big = prompt('big', [mb, mb, mb, mb, mb, mb, mb, mb, mb, mb].join(''));\n"
      u"document.title = [confirm('yes?'), confirm('no?'), prompt('name', 'Ann'), prompt('refuse', 'x'),\n"
      u"  big.length, typeof permittedExtension, typeof refusedExtension].join(',');\n"
      u"</script></body></html>",
      u"http://pages.test/dialogs");
  ASSERT_TRUE(RunUntil([&] { return client_->events.Count("load_end main") > 0; }));
  EXPECT_TRUE(client_->events.Has("title true,false,Ann!,,10485761,boolean,undefined"))
      << client_->events.All();
  EXPECT_TRUE(client_->events.Has("alert main hello"));
  EXPECT_TRUE(client_->events.Has("prompt big 10485760"));
  EXPECT_TRUE(client_->events.Has("extension main test/refused"));
#if !defined(_WIN32)
  // Without an answer from the program: the headless answers (Windows shows dialog boxes).
  dialogs->answers = false;
  client_->events.lines.clear();
  browser->GetMainFrame()->ExecuteJavaScript(u"document.title = String(prompt('p', 'd'));", u"", 1);
  ASSERT_TRUE(RunUntil([&] { return client_->events.Has("title null"); }));
#endif
}

}  // namespace
