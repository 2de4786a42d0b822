// Web URL requests: HTTP loads of the program's own that belong to no browser. The load
// runs as an HTTP session on the IO thread (the shared cookie store applies, redirects are
// the engine's); the client hears of it on the UI thread, in order: started, each
// redirect, upload progress, headers received, loading, the body in pieces as it
// arrives, then done (or error, or abort after a cancel).
#include <algorithm>
#include <atomic>
#include <memory>
#include <utility>

#include "cef_engine.h"
#include "net/body_pipe.h"
#include "net/http_session.h"
#include "runtime/runtime.h"

namespace cef_engine::net {
namespace {

constexpr size_t kDataPiece = 64 * 1024;

class WebUrlRequest final : public EngineObject<cef_web_urlrequest_t> {
 public:
  WebUrlRequest(LoadRequest request, ProgramRef<cef_web_urlrequest_client_t> client)
      : request_(std::move(request)), client_(std::move(client)) {
    request_.stream_body = true;
    record()->cancel = &CancelEntry;
    record()->get_state = &GetStateEntry;
  }

  // The session runs on the IO thread; its hooks hold this request, the request holds
  // the session weakly, so a load that the engine drops at shutdown frees both.
  void Start() {
    Runtime::Get().PostWork(TID_IO, [self = EngineRef<WebUrlRequest>(this)] {
      if (self->Over()) return;
      self->Report(WUR_STATE_STARTED);
      HttpSession::Hooks hooks;
      hooks.redirect = [self](const std::shared_ptr<HttpSession>& session, const LoadResult& response,
                              LoadRequest next) { self->Redirected(session, response, std::move(next)); };
      hooks.done = [self](LoadResult result) { self->Finished(std::move(result)); };
      auto session = HttpSession::Start(self->request_, GlobalCookieStore(), std::move(hooks));
      {
        std::lock_guard lock(self->mutex_);
        self->session_ = session;
      }
      if (self->cancelled_) session->Abort();  // a cancel that came while it started
    });
  }

 private:
  // UI thread: calls the client unless the request has ended (or, for all but the
  // abort itself, was cancelled).
  void OnUi(std::function<void(WebUrlRequest&)> work, bool after_cancel = false) {
    Runtime::Get().PostWork(TID_UI,
                            [self = EngineRef<WebUrlRequest>(this), work = std::move(work), after_cancel] {
                              if (!self->ended_ && (after_cancel || !self->cancelled_)) work(*self);
                            });
  }
  void Tell(cef_weburlrequest_state_t state) {
    state_ = state;
    if (client_->on_state_change) client_->on_state_change(client_.get(), Share(), state);
  }
  void Report(cef_weburlrequest_state_t state) {
    OnUi([state](WebUrlRequest& self) { self.Tell(state); });
  }
  bool Over() const { return ended_ || cancelled_; }
  // After the last state the client hears nothing more and is let go, and a body still
  // arriving is dropped, which stops its transfer.
  void Finish() {
    ended_ = true;
    client_.Reset();
    body_.reset();
  }
  void End(cef_weburlrequest_state_t state) {
    Tell(state);
    Finish();
  }

  static EngineRef<Response> ResponseOf(const LoadResult& result) {
    auto response = MakeEngineObject<Response>();
    response->Set({result.status, result.status_text, result.mime_type, result.headers});
    return response;
  }

  // IO thread: the client sees the redirect and may change the next request; the
  // session waits for its answer.
  void Redirected(const std::shared_ptr<HttpSession>& session, const LoadResult& response, LoadRequest next) {
    OnUi([session, response = ResponseOf(response), next = std::move(next)](WebUrlRequest& self) mutable {
      auto request = MakeEngineObject<Request>();
      request->Set(next.url, next.method, next.headers, next.body);
      if (self.client_->on_redirect)
        self.client_->on_redirect(self.client_.get(), self.Share(), request->Share(), response->Share());
      auto changed = request->Take();
      next.url = std::move(changed.url);
      next.method = std::move(changed.method);
      next.headers = std::move(changed.headers);
      next.body = std::move(changed.body);
      Runtime::Get().PostWork(
          TID_IO, [session, next = std::move(next)]() mutable { session->Follow(std::move(next)); });
    });
  }

  void Finished(LoadResult result) {
    OnUi([result = std::move(result)](WebUrlRequest& self) mutable {
      auto* client = self.client_.get();
      if (result.error) return self.Fail(result.error);
      // The body went out whole before the response came: one report of all of it.
      const auto sent = static_cast<uint64_t>(self.request_.body.size());
      if (sent && client->on_progress) client->on_progress(client, self.Share(), sent, sent);
      if (self.Over()) return;
      self.Tell(WUR_STATE_HEADERS_RECEIVED);
      if (!self.Over() && client->on_headers_received)
        client->on_headers_received(client, self.Share(), ResponseOf(result)->Share());
      if (self.Over()) return;
      self.Tell(WUR_STATE_LOADING);
      if (self.Over()) return;
      // The request streams its bodies: each time bytes wait in the pipe, they go to the
      // client on this thread.
      self.body_ = std::move(result.streamed_body);
      self.body_->pipe().SetWake([keep = EngineRef<WebUrlRequest>(&self)] {
        keep->OnUi([](WebUrlRequest& request) { request.Drain(); });
      });
    });
  }

  // UI thread: what arrived goes to the client; at the body's end, done or the failure.
  void Drain() {
    if (!body_) return;
    const auto taken = body_->pipe().Take();
    for (size_t at = 0; at < taken.bytes.size() && !Over(); at += kDataPiece) {
      const size_t size = std::min(kDataPiece, taken.bytes.size() - at);
      if (client_->on_data)
        client_->on_data(client_.get(), Share(), taken.bytes.data() + at, static_cast<int>(size));
    }
    if (Over() || !taken.finished) return;
    if (taken.error) return Fail(taken.error);
    End(WUR_STATE_DONE);
  }

  void Fail(int error) {
    Tell(WUR_STATE_ERROR);
    if (!Over() && client_->on_error)
      client_->on_error(client_.get(), Share(), static_cast<cef_handler_errorcode_t>(error));
    Finish();
  }

  // Any thread. The abort is reported on the UI thread after what is running there.
  static void CEF_CALLBACK CancelEntry(cef_web_urlrequest_t* record) {
    auto& self = *static_cast<WebUrlRequest*>(FromRecord(record));
    if (self.cancelled_.exchange(true)) return;
    std::weak_ptr<HttpSession> session;
    {
      std::lock_guard lock(self.mutex_);
      session = self.session_;
    }
    Runtime::Get().PostWork(TID_IO, [session] {
      if (auto running = session.lock()) running->Abort();
    });
    self.OnUi([](WebUrlRequest& request) { request.End(WUR_STATE_ABORT); }, true);
  }
  static cef_weburlrequest_state_t CEF_CALLBACK GetStateEntry(cef_web_urlrequest_t* record) {
    return static_cast<WebUrlRequest*>(FromRecord(record))->state_;
  }

  LoadRequest request_;
  ProgramRef<cef_web_urlrequest_client_t> client_;  // UI thread
  std::atomic<cef_weburlrequest_state_t> state_{WUR_STATE_UNSENT};
  std::atomic<bool> ended_{false}, cancelled_{false};
  std::mutex mutex_;
  std::weak_ptr<HttpSession> session_;
  std::shared_ptr<BodyReader> body_;  // UI thread: the body while it arrives
};

}  // namespace
}  // namespace cef_engine::net

extern "C" {

// The request must be one of this engine's records; its state is copied now.
cef_web_urlrequest_t* cef_web_urlrequest_create(cef_request_t* request, cef_web_urlrequest_client_t* client) {
  using namespace cef_engine;
  EngineRef<net::Request> held;
  if (EngineObject<cef_request_t>::IsOurs(request)) {
    held = EngineRef<net::Request>::Adopt(request);
  } else {
    DropHandedOver(request);
  }
  auto program = ProgramRef<cef_web_urlrequest_client_t>::Adopt(client);
  if (!held || !program || !Runtime::Get().Initialized()) return nullptr;
  auto snapshot = held->Take();
  net::LoadRequest load{std::move(snapshot.url), std::move(snapshot.method), std::move(snapshot.headers),
                        std::move(snapshot.body)};
  auto made = MakeEngineObject<net::WebUrlRequest>(std::move(load), std::move(program));
  made->Start();
  return made->Share();
}

}  // extern "C"
