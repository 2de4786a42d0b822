#include "net/loader.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "net/body_pipe.h"
#include "net/content_filter.h"
#include "net/cookies.h"
#include "net/download.h"
#include "net/http.h"
#include "net/http_session.h"
#include "net/schemes.h"
#include "net/text_util.h"
#include "net/url.h"
#include "objects/immortal.h"
#include "runtime/runtime.h"
#include "strings/text.h"

namespace cef_engine::net {
namespace {

constexpr int kMaxRedirects = 20;  // of scheme handlers; HTTP sessions count their own
constexpr int kReadChunk = 16 * 1024;
constexpr int64_t kMaxReserved = int64_t{128} * 1024 * 1024;

// A file's type by its extension; archives, programs and documents the engine does not
// show are files to download, anything unknown is read as HTML.
std::u16string MimeTypeOfPath(std::u16string_view path) {
  const auto dot = path.rfind(u'.');
  const auto extension =
      AsciiLower(dot == std::u16string_view::npos ? std::u16string_view() : path.substr(dot + 1));
  static constexpr std::pair<std::u16string_view, std::u16string_view> kTypes[] = {
      {u"txt", u"text/plain"},
      {u"css", u"text/css"},
      {u"js", u"application/javascript"},
      {u"png", u"image/png"},
      {u"gif", u"image/gif"},
      {u"jpg", u"image/jpeg"},
      {u"jpeg", u"image/jpeg"},
      {u"zip", u"application/zip"},
      {u"pdf", u"application/pdf"},
      {u"exe", u"application/octet-stream"},
      {u"msi", u"application/octet-stream"},
      {u"bin", u"application/octet-stream"},
      {u"7z", u"application/octet-stream"},
      {u"gz", u"application/octet-stream"},
  };
  for (const auto& [known, type] : kTypes)
    if (extension == known) return std::u16string(type);
  return u"text/html";
}

LoadResult Failure(int error, std::u16string text, const std::u16string& url) {
  LoadResult result;
  result.error = error;
  result.error_text = std::move(text);
  result.final_url = url;
  return result;
}

std::atomic<size_t> document_body_limit{kMaxDocumentBody};

// Never destroyed, and emptied (its memory given back) at shutdown, so that nothing of it
// is left when the library is unloaded.
struct OsExecutions {
  static constexpr size_t kKept = 100;
  std::mutex mutex;
  std::vector<std::u16string> urls;
  bool armed = false;
};
OsExecutions& OsExecutionLog() {
  static Immortal<OsExecutions> log;
  return *log;
}

void RecordOsExecution(std::u16string url) {
  auto& log = OsExecutionLog();
  std::lock_guard lock(log.mutex);
  if (!log.armed) {
    if (!Runtime::Get().AtShutdown([] {
          auto& kept = OsExecutionLog();
          std::lock_guard hold(kept.mutex);
          std::vector<std::u16string>().swap(kept.urls);  // clear() would keep the memory
          kept.armed = false;
        }))
      return;  // the engine is going: nothing more is recorded
    log.armed = true;
  }
  if (log.urls.size() == OsExecutions::kKept) log.urls.erase(log.urls.begin());
  log.urls.push_back(std::move(url));
}

}  // namespace

std::u16string OsExecutionRequests() {
  auto& log = OsExecutionLog();
  std::lock_guard lock(log.mutex);
  std::u16string text;
  for (const auto& url : log.urls) text += (text.empty() ? u"" : u"\n") + url;
  return text;
}

size_t DocumentBodyLimit() { return document_body_limit.load(std::memory_order_relaxed); }
void SetDocumentBodyLimit(size_t bytes) {
  document_body_limit = bytes ? std::min(bytes, kMaxDocumentBody) : kMaxDocumentBody;
}

// One load, done in small steps on the IO thread (one handler call or one transfer
// result each), so that loads take turns and a stopped load ends between two steps.
// Its state belongs to the IO thread; `main_` and `cancelled_` are shared with the main
// thread, `handler_cancelled_` and `stopped_` with the handler's threads.
class LoadJob : public std::enable_shared_from_this<LoadJob> {
 public:
  LoadJob(LoadRequest request, ProgramRef<cef_browser_t> browser, ProgramRef<cef_request_handler_t> handler,
          std::function<void(LoadResult)> done, RedirectCheck allow_redirect)
      : request_(std::move(request)),
        browser_(std::move(browser)),
        request_handler_(std::move(handler)),
        checks_redirects_(static_cast<bool>(allow_redirect)),
        main_{std::move(done), std::move(allow_redirect)} {
    // A document's file of any size goes to the program as it arrives; a page's own
    // resources are never downloads.
    request_.stream_downloads = !request_.resource;
  }
  ~LoadJob();

  void Begin() {
    if (cancelled_) return;
    ChooseCookies();
    if (!AskRequestHandler()) return;
    const auto url = ParseUrl(request_.url);
    if (!url) return Finish(Failure(ERR_INVALID_URL, u"Invalid address: " + request_.url, request_.url));
    StartUrl(*url);
  }

  // Main thread: no result any more; the IO thread lets the handler know.
  void Cancel() {
    if (cancelled_.exchange(true)) return;
    MainThreadCalls dropped;
    {
      std::lock_guard lock(main_mutex_);
      dropped = std::exchange(main_, {});
    }
    Runtime::Get().PostWork(TID_IO, [self = shared_from_this()] { self->Stop(true); });
  }

  // Queues `step` for the IO thread unless the load has stopped. Any thread.
  void Post(void (LoadJob::*step)()) {
    std::lock_guard lock(post_mutex_);
    if (stopped_) return;
    Runtime::Get().PostWork(TID_IO, [weak = weak_from_this(), step] {
      if (auto self = weak.lock()) ((*self).*step)();
    });
  }
  // The handler's callback said cancel: a handler call in progress fails the load when
  // it returns, whatever it answered. Any thread.
  void HandlerCancelled() { handler_cancelled_ = true; }

  void OnHeadersAvailable();
  void OnBytesAvailable() {
    if (stage_ != Stage::kWaitingForBytes || cancelled_) return;
    stage_ = Stage::kReading;
    ReadStep();
  }
  void OnHandlerCancel() {
    if (stage_ == Stage::kDone || stage_ == Stage::kIdle) return;
    HandlerFailed();
  }

 private:
  enum class Stage { kIdle, kWaitingForHeaders, kReading, kWaitingForBytes, kDone };

  void ChooseCookies();
  std::optional<HttpSession::Login> AskLogin(const Url& url, const std::u16string& realm);
  bool AskRequestHandler();
  bool AskProtocolExecution(const Url& url);
  // A redirect to `next`: the request handler hears of it on the IO thread and may change
  // its address, then the navigation check on the main thread may stop it; `follow` goes
  // on with the request (IO thread).
  void Redirected(const std::u16string& from, LoadRequest next, std::function<void(LoadRequest)> follow);
  void FollowChecked(LoadRequest next, const std::function<void(LoadRequest)>& follow, bool allowed);
  void StartUrl(const Url& url);
  void StartHandler(const SharedFactory& factory);
  void ReadStep();
  // One read from whichever source serves the body; false at its end.
  bool Read(char* into, int wanted, int& got);
  LoadResult Head();
  void Complete();
  // A download from a scheme handler, the request handler's stream or a file: its head
  // goes out now, and its body follows through a pipe as it is read, one step at a time,
  // never more than the pipe's window ahead of the reader. The reader keeps this load.
  void StreamDownload(LoadResult head) {
    pipe_ = std::make_shared<BodyPipe>();
    head.streamed_body = std::make_shared<BodyReader>(pipe_, shared_from_this());
    head.cookies = cookies_;
    Deliver(std::move(head));
    stage_ = Stage::kReading;
    Post(&LoadJob::ReadStep);
  }
  void HttpDone(LoadResult result) {
    if (cancelled_ || stage_ == Stage::kDone) return;
    session_.reset();
    if (result.final_url.empty()) result.final_url = current_.Spec();
    Finish(std::move(result));
  }
  // After a handler call: true when the load went on past it.
  bool StillLoading() {
    if (cancelled_ || stage_ == Stage::kDone) return false;
    if (!handler_cancelled_) return true;
    HandlerFailed();
    return false;
  }
  void HandlerFailed() {
    DropHandler(false);
    Finish(Failure(ERR_ABORTED, u"The scheme handler cancelled the request", current_.Spec()));
  }

  // Lets go of the handler; `cancel` tells a handler that is still working.
  void DropHandler(bool cancel) {
    auto handler = std::move(handler_);
    if (cancel && handler && stage_ != Stage::kDone && stage_ != Stage::kIdle && handler->cancel) {
      handler->cancel(handler.get());
    }
    stage_ = Stage::kIdle;
    handler.Reset();
    request_record_.Reset();
    response_.Reset();
    callback_.Reset();
  }

  // The load is over: nothing more is queued for it, a transfer in flight is aborted and
  // every engine and program object it held is let go.
  void Stop(bool cancel) {
    {
      std::lock_guard lock(post_mutex_);
      stopped_ = true;
    }
    if (auto session = std::exchange(session_, nullptr)) session->Abort();
    DropHandler(cancel);
    stream_.Reset();
    file_.reset();
    // A body that stops before its end ends without it.
    if (auto pipe = std::exchange(pipe_, nullptr)) pipe->Finish(ERR_ABORTED);
    stage_ = Stage::kDone;
    browser_.Reset();
    request_handler_.Reset();
    cookies_.reset();
  }

  // The load's end: its result, or for a download whose head went out already, the end of
  // its body (a failure ends it without the rest).
  void Finish(LoadResult result) {
    if (pipe_) pipe_->Finish(result.error);
    if (!result.cookies) result.cookies = cookies_;
    Stop(false);
    Deliver(std::move(result));
  }
  // The result goes to the main thread, once; the main thread's functions go with it, to
  // be let go there.
  void Deliver(LoadResult result) {
    MainThreadCalls calls;
    {
      std::lock_guard lock(main_mutex_);
      calls = std::exchange(main_, {});
    }
    if (!calls.done) return;
    Runtime::Get().PostWork(
        TID_UI, [self = shared_from_this(), calls = std::move(calls), result = std::move(result)]() mutable {
          if (!self->cancelled_) calls.done(std::move(result));
        });
  }

  LoadRequest request_;
  ProgramRef<cef_browser_t> browser_;
  ProgramRef<cef_request_handler_t> request_handler_;
  const bool checks_redirects_;
  // Called and let go on the main thread only: cancelled there, or handed over with the result.
  struct MainThreadCalls {
    std::function<void(LoadResult)> done;
    RedirectCheck allow_redirect;
  };
  std::mutex main_mutex_;
  MainThreadCalls main_;
  std::atomic<bool> cancelled_{false};
  std::atomic<bool> handler_cancelled_{false};
  std::mutex post_mutex_;
  bool stopped_ = false;

  // IO thread only.
  Url current_;
  int redirects_ = 0;
  Stage stage_ = Stage::kIdle;
  ProgramRef<cef_scheme_handler_t> handler_;
  EngineRef<Request> request_record_;
  EngineRef<Response> response_;
  ProgramRef<cef_scheme_handler_callback_t> callback_;
  std::shared_ptr<HttpSession> session_;
  std::shared_ptr<CookieStore> cookies_;
  int64_t expected_ = -1;
  int64_t received_ = 0;
  std::string body_;
  // A download's body on its way to the reader, and where it comes from when no scheme
  // handler serves it.
  std::shared_ptr<BodyPipe> pipe_;
  ProgramRef<cef_stream_reader_t> stream_;
  std::unique_ptr<std::ifstream> file_;
};

// A download whose reader went while its scheme handler still had bytes to give: the
// handler hears the cancel on the IO thread, as it hears everything else.
LoadJob::~LoadJob() {
  if (!handler_ || !handler_->cancel) return;
  Runtime::Get().PostWork(TID_IO, [handler = std::make_shared<ProgramRef<cef_scheme_handler_t>>(
                                       std::move(handler_))] { (*handler)->cancel(handler->get()); });
}

namespace {

// The engine's side of a scheme handler's progress reports. They may come from any
// thread, also from inside the handler's own calls, so each is queued for the IO thread;
// a cancel also marks the load at once, so that the call it came from cannot end well.
class HandlerCallback final : public EngineObject<cef_scheme_handler_callback_t> {
 public:
  explicit HandlerCallback(std::weak_ptr<LoadJob> job) : job_(std::move(job)) {
    record()->headers_available = &Forward<&LoadJob::OnHeadersAvailable>;
    record()->bytes_available = &Forward<&LoadJob::OnBytesAvailable>;
    record()->cancel = &Cancel;
  }

 private:
  static std::shared_ptr<LoadJob> JobOf(cef_scheme_handler_callback_t* self) {
    return static_cast<HandlerCallback*>(FromRecord(self))->job_.lock();
  }
  template <void (LoadJob::*Event)()>
  static void CEF_CALLBACK Forward(cef_scheme_handler_callback_t* self) {
    if (auto job = JobOf(self)) job->Post(Event);
  }
  static void CEF_CALLBACK Cancel(cef_scheme_handler_callback_t* self) {
    if (auto job = JobOf(self)) {
      job->HandlerCancelled();
      job->Post(&LoadJob::OnHandlerCancel);
    }
  }
  std::weak_ptr<LoadJob> job_;
};

}  // namespace

// The request handler's say before the request goes out: it may cancel it, edit it
// (the edits are what is sent), send it elsewhere, or serve it from a stream with the
// response fields it sets. False when the load ended here.
bool LoadJob::AskRequestHandler() {
  const auto& handler = request_handler_;
  if (!handler || !handler->on_before_resource_load) return true;
  auto request = MakeEngineObject<Request>();
  request->Set(request_.url, request_.method, request_.headers, request_.body);
  auto response = MakeEngineObject<Response>();
  cef_string_t redirect{};
  cef_stream_reader_t* stream = nullptr;
  const int cancel = handler->on_before_resource_load(handler.get(), browser_.Share(), request->Share(),
                                                      &redirect, &stream, response->Share(), 0);
  auto served = ProgramRef<cef_stream_reader_t>::Adopt(stream);
  const std::u16string target(ViewOf(&redirect));
  ClearRecord(&redirect);
  if (cancelled_) return false;
  if (cancel) {
    Finish(Failure(ERR_ABORTED, u"The request handler cancelled the request", request_.url));
    return false;
  }
  auto edited = request->Take();
  // A changed address wins over a redirect address.
  if (edited.url == request_.url && !target.empty()) {
    const auto base = ParseUrl(request_.url);
    const auto next = base ? ResolveUrl(*base, target) : ParseUrl(target);
    edited.url = next ? next->Spec() : target;
  }
  request_.url = std::move(edited.url);
  request_.method = std::move(edited.method);
  request_.headers = std::move(edited.headers);
  request_.body = std::move(edited.body);
  if (!served) return true;
  // The program serves the resource: the stream is the body, the response its fields.
  LoadResult result;
  const auto fields = response->Take();
  result.status = fields.status ? fields.status : 200;
  result.status_text = fields.status_text.empty() ? u"OK" : fields.status_text;
  result.mime_type = fields.mime_type.empty() ? u"text/html" : fields.mime_type;
  result.headers = fields.headers;
  result.final_url = request_.url;
  if (StreamsBody(request_, result)) {
    stream_ = std::move(served);
    StreamDownload(std::move(result));
    return false;
  }
  const bool whole = ReadStream(served.get(), result.body);
  served.Reset();
  if (cancelled_) return false;
  if (!whole) {
    Finish(Failure(ERR_FILE_TOO_BIG, u"The response is too big", request_.url));
    return false;
  }
  Finish(std::move(result));
  return false;
}

// The request handler picks the cookie store by the top-level page's address; no
// handler, no answer or a manager of another engine: the shared store.
void LoadJob::ChooseCookies() {
  if (request_handler_ && request_handler_->get_cookie_manager) {
    const auto& top = request_.top_url.empty() ? request_.url : request_.top_url;
    const cef_string_t view = View(top);
    auto manager = ProgramRef<cef_cookie_manager_t>::Adopt(
        request_handler_->get_cookie_manager(request_handler_.get(), browser_.Share(), &view));
    cookies_ = CookieStoreOf(manager.get());
  }
  if (!cookies_) cookies_ = GlobalCookieStore();
}

// The request handler answers a server's login request (IO thread); no handler, no login.
std::optional<HttpSession::Login> LoadJob::AskLogin(const Url& url, const std::u16string& realm) {
  if (cancelled_ || !request_handler_ || !request_handler_->get_auth_credentials) return std::nullopt;
  const std::u16string scheme = u"basic";
  const cef_string_t host = View(url.host), realm_view = View(realm), scheme_view = View(scheme);
  int port = url.port.empty() ? (url.scheme == u"https" ? 443 : 80) : 0;
  for (const char16_t digit : url.port)
    port = digit >= u'0' && digit <= u'9' && port <= 65535 ? port * 10 + (digit - u'0') : 0;
  cef_string_t user{}, password{};
  const bool given =
      request_handler_->get_auth_credentials(request_handler_.get(), browser_.Share(), 0, &host, port,
                                             &realm_view, &scheme_view, &user, &password) != 0;
  std::optional<HttpSession::Login> login;
  if (given) login = HttpSession::Login{std::u16string(ViewOf(&user)), std::u16string(ViewOf(&password))};
  ClearRecord(&user);
  ClearRecord(&password);
  return login;
}

void LoadJob::Redirected(const std::u16string& from, LoadRequest next,
                         std::function<void(LoadRequest)> follow) {
  if (cancelled_) return;
  if (request_handler_ && request_handler_->on_resource_redirect) {
    cef_string_t target{};
    AssignCopy(&target, std::u16string_view(next.url));
    const cef_string_t old_view = View(from);
    request_handler_->on_resource_redirect(request_handler_.get(), browser_.Share(), &old_view, &target);
    next.url = std::u16string(ViewOf(&target));
    ClearRecord(&target);
    if (cancelled_) return;
  }
  if (!checks_redirects_) return FollowChecked(std::move(next), follow, true);
  // The load waits for the main thread's answer; a cancel meanwhile ends it there.
  Runtime::Get().PostWork(
      TID_UI, [self = shared_from_this(), next = std::move(next), follow = std::move(follow)]() mutable {
        RedirectCheck check;
        {
          std::lock_guard lock(self->main_mutex_);
          check = self->main_.allow_redirect;
        }
        if (!check || self->cancelled_) return;
        const bool allowed = check(next);
        Runtime::Get().PostWork(
            TID_IO, [self, next = std::move(next), follow = std::move(follow), allowed]() mutable {
              self->FollowChecked(std::move(next), follow, allowed);
            });
      });
}

void LoadJob::FollowChecked(LoadRequest next, const std::function<void(LoadRequest)>& follow, bool allowed) {
  if (cancelled_ || stage_ == Stage::kDone) return;
  if (!allowed) {
    LoadResult stopped;
    stopped.handled_by_program = true;
    stopped.final_url = next.url;
    return Finish(std::move(stopped));
  }
  request_ = next;
  follow(std::move(next));
}

void LoadJob::StartUrl(const Url& url) {
  current_ = url;
  if (auto factory = FindSchemeHandlerFactory(url.scheme, url.host)) return StartHandler(factory);
  if (url.scheme == u"http" || url.scheme == u"https") {
    // Each transfer runs on a thread of its own; its result comes back as a step.
    stage_ = Stage::kWaitingForHeaders;
    HttpSession::Hooks hooks;
    hooks.redirect = [weak = weak_from_this()](const std::shared_ptr<HttpSession>& session, const LoadResult&,
                                               LoadRequest next) {
      auto self = weak.lock();
      if (!self || session != self->session_) return;
      self->Redirected(self->request_.url, std::move(next),
                       [self = self.get(), session](LoadRequest request) {
                         if (session == self->session_) session->Follow(std::move(request));
                       });
    };
    hooks.done = [weak = weak_from_this()](LoadResult result) {
      if (auto self = weak.lock()) self->HttpDone(std::move(result));
    };
    hooks.login = [weak = weak_from_this()](const Url& at, const std::u16string& realm) {
      auto self = weak.lock();
      return self ? self->AskLogin(at, realm) : std::nullopt;
    };
    session_ = HttpSession::Start(request_, cookies_, std::move(hooks));
    return;
  }
  if (url.scheme == u"about" && url.path == u"blank") {
    LoadResult result;
    result.status = 200;
    result.status_text = u"OK";
    result.mime_type = u"text/html";
    result.final_url = url.Spec();
    return Finish(std::move(result));
  }
  if (url.scheme == u"file") {
    std::u16string path = PercentDecoded(url.path);
#if defined(_WIN32)
    if (path.size() > 2 && path[0] == u'/' && path[2] == u':') path.erase(0, 1);
#endif
    auto file = std::make_unique<std::ifstream>(std::filesystem::path(path), std::ios::binary);
    if (!*file) return Finish(Failure(ERR_FILE_NOT_FOUND, u"File not found: " + path, url.Spec()));
    LoadResult result;
    result.status = 200;
    result.status_text = u"OK";
    result.mime_type = MimeTypeOfPath(path);
    result.final_url = url.Spec();
    if (StreamsBody(request_, result)) {
      std::error_code failed;
      const auto size = std::filesystem::file_size(std::filesystem::path(path), failed);
      if (!failed) result.announced_length = static_cast<int64_t>(size);
      file_ = std::move(file);
      return StreamDownload(std::move(result));
    }
    result.body.assign(std::istreambuf_iterator<char>(*file), {});
    return Finish(std::move(result));
  }
  if (!request_.resource && AskProtocolExecution(url)) {
    LoadResult result;
    result.handled_by_program = true;
    result.final_url = url.Spec();
    return Finish(std::move(result));
  }
  if (cancelled_) return;
  Finish(Failure(ERR_UNKNOWN_URL_SCHEME, u"Unknown URL scheme: " + url.scheme, url.Spec()));
}

// A scheme nothing serves: the request handler may deal with the address itself (true).
// Allowed to go to the operating system, it is recorded instead: this engine starts no
// program of the system's.
bool LoadJob::AskProtocolExecution(const Url& url) {
  const auto& handler = request_handler_;
  if (!handler || !handler->on_protocol_execution) return false;
  const auto address = url.Spec();
  const cef_string_t view = View(address);
  int allow_os = 0;
  if (handler->on_protocol_execution(handler.get(), browser_.Share(), &view, &allow_os)) return !cancelled_;
  if (allow_os && !cancelled_) RecordOsExecution(address);
  return false;
}

void LoadJob::StartHandler(const SharedFactory& factory) {
  const auto address = current_.SpecWithoutFragment();
  request_record_ = MakeEngineObject<Request>();
  request_record_->Set(address, request_.method, request_.headers, request_.body);
  const cef_string_t scheme{current_.scheme.data(), current_.scheme.size(), nullptr};
  cef_scheme_handler_t* created = nullptr;
  if ((*factory)->create) {
    created = (*factory)->create(factory->get(), browser_.Share(), &scheme, request_record_->Share());
  }
  handler_ = ProgramRef<cef_scheme_handler_t>::Adopt(created);
  if (!handler_ || !handler_->process_request) {
    return Finish(
        Failure(ERR_FAILED, u"The scheme handler factory made no handler for " + address, current_.Spec()));
  }
  if (cancelled_) return;
  callback_ =
      ProgramRef<cef_scheme_handler_callback_t>::Adopt(NewEngineRecord<HandlerCallback>(weak_from_this()));
  stage_ = Stage::kWaitingForHeaders;
  if (!handler_->process_request(handler_.get(), request_record_->Share(), callback_.Share())) {
    return Finish(
        Failure(ERR_FAILED, u"The scheme handler refused the request for " + address, current_.Spec()));
  }
  StillLoading();
}

void LoadJob::OnHeadersAvailable() {
  if (stage_ != Stage::kWaitingForHeaders || !handler_ || cancelled_) return;
  response_ = MakeEngineObject<Response>();
  expected_ = -1;
  cef_string_t redirect{};
  if (handler_->get_response_headers) {
    handler_->get_response_headers(handler_.get(), response_->Share(), &expected_, &redirect);
  }
  const std::u16string target(ViewOf(&redirect));
  ClearRecord(&redirect);
  if (!StillLoading()) return;
  if (!target.empty()) {
    DropHandler(false);
    if (++redirects_ > kMaxRedirects) {
      return Finish(Failure(ERR_TOO_MANY_REDIRECTS, u"Too many redirects", current_.Spec()));
    }
    const auto next = ResolveUrl(current_, target);
    if (!next)
      return Finish(Failure(ERR_INVALID_URL, u"Invalid redirect address: " + target, current_.Spec()));
    LoadRequest following = request_;
    following.url = next->Spec();
    following.method = u"GET";
    following.body.clear();
    return Redirected(current_.Spec(), std::move(following), [this](const LoadRequest& request) {
      const auto url = ParseUrl(request.url);
      if (!url)
        return Finish(Failure(ERR_INVALID_URL, u"Invalid redirect address: " + request.url, request.url));
      StartUrl(*url);
    });
  }
  if (auto head = Head(); StreamsBody(request_, head)) {
    head.announced_length = expected_;
    return StreamDownload(std::move(head));
  }
  stage_ = Stage::kReading;
  ReadStep();
}

// One read, then the next one as a step of its own, until the announced length, a false
// answer, or (without a length) 0 bytes; with a length, 0 bytes means "wait for
// bytes_available". A download's bytes go into its pipe, and reading waits while the
// pipe's window is full.
void LoadJob::ReadStep() {
  if (stage_ != Stage::kReading || !(handler_ || stream_ || file_) || cancelled_) return;
  if (expected_ >= 0 && received_ >= expected_) return Complete();
  if (!pipe_ && body_.size() > DocumentBodyLimit()) {
    DropHandler(true);
    return Finish(Failure(ERR_FILE_TOO_BIG, u"The response is too big", current_.Spec()));
  }
  if (pipe_ && !pipe_->HasRoom([weak = weak_from_this()] {
        if (auto self = weak.lock()) self->Post(&LoadJob::ReadStep);
      }))
    return;
  int wanted = kReadChunk;
  if (expected_ >= 0) wanted = static_cast<int>(std::min<int64_t>(wanted, expected_ - received_));
  // The handler reads straight into the body. With an announced length the body's memory
  // is taken once (up to a bound, so a length that lies costs little); a whole chunk is
  // always there, so a handler that writes more than it was asked for stays inside.
  if (expected_ >= 0 && !pipe_) {
    const size_t announced = static_cast<size_t>(std::min<int64_t>(expected_, kMaxReserved));
    if (body_.capacity() < announced + kReadChunk) body_.reserve(announced + kReadChunk);
  }
  const size_t had = body_.size();
  body_.resize(had + kReadChunk);
  int got = 0;
  const bool more = Read(body_.data() + had, wanted, got);
  got = std::clamp(got, 0, wanted);
  body_.resize(had + static_cast<size_t>(got));
  received_ += got;
  if (!StillLoading()) return;
  if (pipe_ && got > 0) {
    if (!pipe_->Append(body_)) return Stop(true);  // the reader went: the download stops
    body_.clear();
  }
  if (!more) return Complete();
  if (got == 0) {
    if (expected_ < 0 || !handler_) return Complete();
    stage_ = Stage::kWaitingForBytes;
    return;
  }
  Post(&LoadJob::ReadStep);
}

bool LoadJob::Read(char* into, int wanted, int& got) {
  if (handler_) {
    return handler_->read_response &&
           handler_->read_response(handler_.get(), into, wanted, &got, callback_.Share());
  }
  if (stream_) {
    got = stream_->read ? static_cast<int>(stream_->read(stream_.get(), into, 1, static_cast<size_t>(wanted)))
                        : 0;
    return got > 0;
  }
  file_->read(into, wanted);
  got = static_cast<int>(file_->gcount());
  return got > 0;
}

LoadResult LoadJob::Head() {
  LoadResult result;
  const auto response = response_ ? response_->Take() : Response::Snapshot{};
  result.status = response.status ? response.status : 200;
  result.status_text = response.status_text;
  result.mime_type = response.mime_type.empty() ? u"text/html" : response.mime_type;
  result.headers = response.headers;
  result.final_url = current_.Spec();
  return result;
}

void LoadJob::Complete() {
  if (pipe_) {
    pipe_->Finish(0);
    return Stop(false);
  }
  LoadResult result = Head();
  result.body = std::move(body_);
  Finish(std::move(result));
}

void LoadHandle::Cancel() {
  if (auto job = std::exchange(job_, nullptr)) job->Cancel();
}

std::shared_ptr<LoadHandle> StartLoad(LoadRequest request, cef_browser_t* browser,
                                      ProgramRef<cef_request_handler_t> handler,
                                      std::function<void(LoadResult)> done, RedirectCheck allow_redirect) {
  auto job = std::make_shared<LoadJob>(std::move(request), ProgramRef<cef_browser_t>::Retain(browser),
                                       std::move(handler), std::move(done), std::move(allow_redirect));
  Runtime::Get().PostWork(TID_IO, [job] { job->Begin(); });
  return std::make_shared<LoadHandle>(std::move(job));
}

}  // namespace cef_engine::net
