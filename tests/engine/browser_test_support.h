// Helpers for driving browsers through the engine's records: a client whose handlers
// record every call (and check that it came on the main thread), a scheme handler
// factory serving fixed pages, references that release themselves, and running the
// engine's loop until a condition holds.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine_test_support.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace engine_test {

// One reference to an engine record, released at the end of its life.
template <class Record>
class Held {
 public:
  Held() = default;
  explicit Held(Record* record) : record_(record) {}
  Held(Held&& other) noexcept : record_(std::exchange(other.record_, nullptr)) {}
  Held& operator=(Held&& other) noexcept {
    std::swap(record_, other.record_);
    return *this;
  }
  ~Held() { reset(); }
  void reset() {
    if (auto* r = std::exchange(record_, nullptr)) r->base.release(&r->base);
  }
  Record* get() const { return record_; }
  Record* operator->() const { return record_; }
  explicit operator bool() const { return record_ != nullptr; }
  // Another reference for a receiver that takes it over.
  Record* HandOver() const {
    record_->base.add_ref(&record_->base);
    return record_;
  }

 private:
  Record* record_ = nullptr;
};

inline std::u16string TakeText(cef_string_userfree_t text) {
  if (!text) return {};
  std::u16string out = Text(*text);
  cef_string_userfree_utf16_free(text);
  return out;
}

inline std::string Narrow(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

inline std::u16string Widen(std::string_view text) { return std::u16string(text.begin(), text.end()); }

// How long a wait for an event may last before the run counts as hung: long enough
// for a slow, busy machine, which makes a test slower but never red.
inline constexpr std::chrono::milliseconds kHungAfter = std::chrono::minutes(2);

// Runs the engine's message loop until `done` holds or `timeout` passes; a task on the
// loop checks every few milliseconds.
inline bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = kHungAfter) {
  struct Poll {
    FakeRecord<cef_task_t> object{this};
    const std::function<bool()>* done;
    std::chrono::steady_clock::time_point deadline;
    static void CEF_CALLBACK Execute(cef_task_t* self, cef_thread_id_t) {
      auto* poll = FakeRecord<cef_task_t>::OwnerOf<Poll>(self);
      if ((*poll->done)() || std::chrono::steady_clock::now() > poll->deadline) {
        cef_quit_message_loop();
      } else {
        cef_post_delayed_task(TID_UI, poll->object.HandOver(), 5);
      }
    }
  };
  Poll poll;
  poll.object.record()->execute = &Poll::Execute;
  poll.done = &done;
  poll.deadline = std::chrono::steady_clock::now() + timeout;
  if (cef_post_task(TID_UI, poll.object.HandOver())) cef_run_message_loop();
  return done();
}

// An application whose custom-scheme hook declares the given standard schemes.
class SchemeApp {
 public:
  explicit SchemeApp(std::vector<std::u16string> schemes) : schemes_(std::move(schemes)) {
    object_.record()->on_register_custom_schemes = &Register;
  }
  cef_app_t* HandOver() { return object_.HandOver(); }
  int asked() const { return asked_; }
  int refs() const { return object_.refs(); }

 private:
  static void CEF_CALLBACK Register(cef_app_t* self, cef_scheme_registrar_t* registrar) {
    auto* app = FakeRecord<cef_app_t>::OwnerOf<SchemeApp>(self);
    ++app->asked_;
    for (const auto& scheme : app->schemes_) {
      const cef_string_t name = View(scheme);
      registrar->add_custom_scheme(registrar, &name, 1, 0, 0);
    }
    registrar->base.release(&registrar->base);
  }
  std::vector<std::u16string> schemes_;
  FakeRecord<cef_app_t> object_{this};
  int asked_ = 0;
};

// A client with life-span, load and display handlers that log each call as one line,
// e.g. "load_start main", "load_end kid 200", "title Hello". Every call must come on the
// main thread. Browsers reported as created are kept.
class TestClient {
 public:
  TestClient() {
    auto* c = client_.record();
    c->get_life_span_handler = [](cef_client_t* self)
                                   CEF_CALLBACK { return Of(self)->life_span_.HandOver(); };
    c->get_load_handler = [](cef_client_t* self) CEF_CALLBACK { return Of(self)->load_.HandOver(); };
    c->get_display_handler = [](cef_client_t* self) CEF_CALLBACK { return Of(self)->display_.HandOver(); };

    auto* l = life_span_.record();
    l->on_before_popup = [](cef_life_span_handler_t* self, cef_browser_t* parent, const cef_popup_features_t*,
                            cef_window_info_t* info, cef_string_t* url, cef_client_t**,
                            cef_browser_settings_t*) CEF_CALLBACK {
      Held<cef_browser_t> held(parent);
#if defined(_WIN32)
      info->m_dwStyle = WS_POPUP;  // the handler keeps the pop-up's window hidden
#else
      (void)info;
#endif
      auto* t = Of(self);
      t->Log("before_popup " + Narrow(Text(*url)));
      return t->cancel_popups ? 1 : 0;
    };
    l->on_after_created = [](cef_life_span_handler_t* self, cef_browser_t* browser) CEF_CALLBACK {
      auto* t = Of(self);
      t->Log(std::string("after_created") + (browser->is_popup(browser) ? " popup" : ""));
      t->browsers.emplace_back(browser);
    };
    l->do_close = [](cef_life_span_handler_t* self, cef_browser_t* browser) CEF_CALLBACK {
      Held<cef_browser_t> held(browser);
      Of(self)->Log("do_close");
      return Of(self)->keep_open ? 1 : 0;
    };
    l->on_before_close = [](cef_life_span_handler_t* self, cef_browser_t* browser) CEF_CALLBACK {
      Held<cef_browser_t> held(browser);
      Of(self)->Log("before_close");
    };

    auto* d = load_.record();
    d->on_load_start = [](cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame) CEF_CALLBACK {
      Held<cef_browser_t> b(browser);
      Held<cef_frame_t> f(frame);
      Of(self)->Log("load_start " + Name(frame));
    };
    d->on_load_end = [](cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame, int32_t status)
                         CEF_CALLBACK {
                           Held<cef_browser_t> b(browser);
                           Held<cef_frame_t> f(frame);
                           Of(self)->Log("load_end " + Name(frame) + " " + std::to_string(status));
                         };
    d->on_load_error = [](cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                          cef_handler_errorcode_t code, const cef_string_t* url, cef_string_t* text)
                           CEF_CALLBACK {
                             Held<cef_browser_t> b(browser);
                             Held<cef_frame_t> f(frame);
                             auto* t = Of(self);
                             t->Log("load_error " + std::to_string(code) + " " + Narrow(Text(*url)));
                             t->error_texts.push_back(Narrow(Text(*text)));
                             if (t->error_page.empty()) return 0;
                             cef_string_utf16_set(t->error_page.data(), t->error_page.size(), text, 1);
                             return 1;
                           };

    auto* v = display_.record();
    v->on_nav_state_change = [](cef_display_handler_t* self, cef_browser_t* browser, int back, int forward)
                                 CEF_CALLBACK {
                                   Held<cef_browser_t> b(browser);
                                   Of(self)->Log("nav " + std::to_string(back) + std::to_string(forward));
                                 };
    v->on_address_change = [](cef_display_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                              const cef_string_t* url) CEF_CALLBACK {
      Held<cef_browser_t> b(browser);
      Held<cef_frame_t> f(frame);
      Of(self)->Log("address " + Name(frame) + " " + Narrow(Text(*url)));
    };
    v->on_title_change = [](cef_display_handler_t* self, cef_browser_t* browser, const cef_string_t* title)
                             CEF_CALLBACK {
                               Held<cef_browser_t> b(browser);
                               Of(self)->Log("title " + Narrow(Text(*title)));
                             };
    v->on_favicon_urlchange = [](cef_display_handler_t* self, cef_browser_t* browser, cef_string_list_t urls)
                                  CEF_CALLBACK {
                                    Held<cef_browser_t> b(browser);
                                    std::string line = "icons";
                                    for (int i = 0; i < cef_string_list_size(urls); ++i) {
                                      Filled<cef_string_t> url;
                                      cef_string_list_value(urls, i, url.out());
                                      line += " " + Narrow(url.text());
                                    }
                                    Of(self)->Log(line);
                                  };
    v->on_console_message = [](cef_display_handler_t* self, cef_browser_t* browser,
                               const cef_string_t* message, const cef_string_t*, int32_t) CEF_CALLBACK {
      Held<cef_browser_t> b(browser);
      Of(self)->Log("console " + Narrow(Text(*message)));
      return 0;
    };
  }
  ~TestClient() {
    browsers.clear();
    EXPECT_FALSE(client_.went_negative() || life_span_.went_negative() || load_.went_negative() ||
                 display_.went_negative())
        << "a handler was released more often than handed over";
  }

  cef_client_t* HandOver() { return client_.HandOver(); }
  // Every handler's references are back: the engine let go of all of them.
  bool Released() const {
    return client_.refs() == 0 && life_span_.refs() == 0 && load_.refs() == 0 && display_.refs() == 0;
  }
  std::vector<std::string> log() const {
    std::lock_guard lock(mutex_);
    return log_;
  }
  bool Logged(const std::string& line) const {
    const auto lines = log();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
  int Count(const std::string& prefix) const {
    int n = 0;
    for (const auto& line : log()) n += line.rfind(prefix, 0) == 0;
    return n;
  }
  void ClearLog() {
    std::lock_guard lock(mutex_);
    log_.clear();
  }
  bool off_main_thread() const { return off_main_thread_; }

  std::vector<Held<cef_browser_t>> browsers;
  bool cancel_popups = false;
  bool keep_open = false;
  std::u16string error_page;
  std::vector<std::string> error_texts;

 private:
  template <class Record>
  static TestClient* Of(Record* self) {
    return FakeRecord<Record>::template OwnerOf<TestClient>(self);
  }
  static std::string Name(cef_frame_t* frame) {
    if (frame->is_main(frame)) return "main";
    return Narrow(TakeText(frame->get_name(frame)));
  }
  void Log(std::string line) {
    if (!cef_currently_on(TID_UI)) off_main_thread_ = true;
    std::lock_guard lock(mutex_);
    log_.push_back(std::move(line));
  }

  mutable std::mutex mutex_;
  std::vector<std::string> log_;
  bool off_main_thread_ = false;
  FakeRecord<cef_client_t> client_{this};
  FakeRecord<cef_life_span_handler_t> life_span_{this};
  FakeRecord<cef_load_handler_t> load_{this};
  FakeRecord<cef_display_handler_t> display_{this};
};

// A scheme handler factory serving fixed pages by path. Handlers record where they ran;
// each request's handler reports headers and bytes from inside process_request, and
// serves the body in reads of at most `chunk` bytes.
class SchemeServer {
 public:
  struct Page {
    int status = 200;
    std::u16string mime = u"text/html";
    std::string body;
    std::u16string redirect;
    bool refuse = false;
    bool never_answer = false;  // process_request accepts but never reports headers
    bool announce_length = true;
    bool endless = false;  // every read answers `chunk` more bytes
  };
  static Page Body(std::string body, int status = 200) {
    Page page;
    page.body = std::move(body);
    page.status = status;
    return page;
  }
  static Page Redirect(std::u16string to) {
    Page page;
    page.status = 302;
    page.redirect = std::move(to);
    return page;
  }
  struct Seen {
    std::u16string url, method;
    bool on_io_thread = false;
    bool cancelled = false;
    int reads = 0;
    bool read_after_cancel = false;
  };

  SchemeServer() { factory_.record()->create = &Create; }
  ~SchemeServer() {
    EXPECT_FALSE(factory_.went_negative());
    for (auto& handler : handlers_) EXPECT_FALSE(handler->object.went_negative());
  }
  cef_scheme_handler_factory_t* HandOver() { return factory_.HandOver(); }
  void Serve(const std::u16string& path, Page page) {
    std::lock_guard lock(mutex_);
    pages_[path] = std::move(page);
  }
  std::vector<Seen> seen() const {
    std::lock_guard lock(mutex_);
    std::vector<Seen> out;
    for (auto& handler : handlers_) out.push_back(handler->seen);
    return out;
  }
  // Every handler the factory made was released by the engine.
  bool HandlersReleased() const {
    std::lock_guard lock(mutex_);
    for (auto& handler : handlers_) {
      if (handler->object.refs() != 0) return false;
    }
    return true;
  }
  // ... and the factory too.
  bool Released() const { return HandlersReleased() && factory_.refs() == 0; }
  int chunk = 7;
  // Runs on the handler's thread when the engine cancels a handler.
  std::function<void()> on_cancel;

 private:
  struct Handler {
    SchemeServer* server;
    FakeRecord<cef_scheme_handler_t> object{this};
    Page page;
    Seen seen;
    size_t offset = 0;
  };

  static Handler* HandlerOf(cef_scheme_handler_t* self) {
    return FakeRecord<cef_scheme_handler_t>::OwnerOf<Handler>(self);
  }

  static cef_scheme_handler_t* CEF_CALLBACK Create(cef_scheme_handler_factory_t* self, cef_browser_t* browser,
                                                   const cef_string_t*, cef_request_t* request) {
    Held<cef_browser_t> b(browser);
    Held<cef_request_t> r(request);
    auto* server = FakeRecord<cef_scheme_handler_factory_t>::OwnerOf<SchemeServer>(self);
    auto handler = std::make_unique<Handler>();
    handler->server = server;
    auto* h = handler->object.record();
    h->process_request = &Process;
    h->get_response_headers = &Headers;
    h->read_response = &Read;
    h->cancel = [](cef_scheme_handler_t* self) CEF_CALLBACK {
      auto* server = HandlerOf(self)->server;
      if (server->on_cancel) server->on_cancel();
      std::lock_guard lock(server->mutex_);
      HandlerOf(self)->seen.cancelled = true;
    };
    std::lock_guard lock(server->mutex_);
    server->handlers_.push_back(std::move(handler));
    return server->handlers_.back()->object.HandOver();
  }

  static int CEF_CALLBACK Process(cef_scheme_handler_t* self, cef_request_t* request,
                                  cef_scheme_handler_callback_t* callback) {
    Held<cef_request_t> r(request);
    Held<cef_scheme_handler_callback_t> c(callback);
    auto* handler = HandlerOf(self);
    const std::u16string url = TakeText(request->get_url(request));
    {
      std::lock_guard lock(handler->server->mutex_);
      handler->seen = {url, TakeText(request->get_method(request)), cef_currently_on(TID_IO) != 0, false};
      const auto path = url.substr(0, url.find(u'?'));
      const auto slash = path.find(u'/', path.find(u"//") + 2);
      const auto it = handler->server->pages_.find(slash == std::u16string::npos ? u"/" : path.substr(slash));
      if (it == handler->server->pages_.end()) return 0;
      handler->page = it->second;
    }
    if (handler->page.refuse) return 0;
    if (handler->page.never_answer) return 1;
    callback->headers_available(callback);
    callback->bytes_available(callback);
    return 1;
  }

  static void CEF_CALLBACK Headers(cef_scheme_handler_t* self, cef_response_t* response, int64_t* length,
                                   cef_string_t* redirect) {
    Held<cef_response_t> r(response);
    auto* handler = HandlerOf(self);
    response->set_status(response, handler->page.status);
    const cef_string_t mime = View(handler->page.mime);
    response->set_mime_type(response, &mime);
    if (handler->page.announce_length) *length = static_cast<int64_t>(handler->page.body.size());
    if (!handler->page.redirect.empty()) {
      cef_string_utf16_set(handler->page.redirect.data(), handler->page.redirect.size(), redirect, 1);
    }
  }

  static int CEF_CALLBACK Read(cef_scheme_handler_t* self, void* out, int wanted, int* read,
                               cef_scheme_handler_callback_t* callback) {
    Held<cef_scheme_handler_callback_t> c(callback);
    auto* handler = HandlerOf(self);
    {
      std::lock_guard lock(handler->server->mutex_);
      ++handler->seen.reads;
      if (handler->seen.cancelled) handler->seen.read_after_cancel = true;
    }
    if (handler->page.endless) {
      const int n = std::min(wanted, handler->server->chunk);
      std::memset(out, 'x', static_cast<size_t>(n));
      *read = n;
      return 1;
    }
    const size_t n = std::min({static_cast<size_t>(wanted), static_cast<size_t>(handler->server->chunk),
                               handler->page.body.size() - handler->offset});
    std::memcpy(out, handler->page.body.data() + handler->offset, n);
    handler->offset += n;
    *read = static_cast<int>(n);
    return 1;
  }

  mutable std::mutex mutex_;
  FakeRecord<cef_scheme_handler_factory_t> factory_{this};
  std::map<std::u16string, Page> pages_;
  std::deque<std::unique_ptr<Handler>> handlers_;
};

}  // namespace engine_test
