#include <atomic>
#include <utility>

#include "browser/browser.h"
#include "browser/page_input.h"
#include "cef_engine.h"
#include "net/cookies.h"
#include "net/download.h"
#include "net/records.h"
#include "net/text_util.h"
#include "net/url.h"
#include "runtime/runtime.h"
#include "strings/text.h"

namespace cef_engine::browser {
namespace {

std::atomic<int64_t> next_frame_id{0};

std::u16string Escaped(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    switch (c) {
      case u'<':
        out += u"&lt;";
        break;
      case u'>':
        out += u"&gt;";
        break;
      case u'&':
        out += u"&amp;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// The page text of a response: HTML as it is (its UTF-8 bytes, taken from the body: a
// page may be hundreds of megabytes, twice that as UTF-16), plain text as preformatted
// text, nothing for other kinds of content.
dom::SourceText PageOf(net::LoadResult& result) {
  std::string_view body = result.body;
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  const auto& mime = result.mime_type;
  if (mime.empty() || mime == u"text/html" || mime == u"application/xhtml+xml") {
    if (body.size() != result.body.size()) result.body.erase(0, result.body.size() - body.size());
    return dom::SourceText::Utf8(std::move(result.body));
  }
  if (mime.starts_with(u"text/"))
    return u"<html><body><pre>" + Escaped(net::ToUtf16(body)) + u"</pre></body></html>";
  return std::u16string(u"<html><body></body></html>");
}

struct ErrorInfo {
  int code;
  std::u16string_view name, meaning;
};
constexpr ErrorInfo kErrors[] = {
    {ERR_FAILED, u"ERR_FAILED", u"The page could not be loaded."},
    {ERR_ABORTED, u"ERR_ABORTED", u"The load was cancelled."},
    {ERR_INVALID_ARGUMENT, u"ERR_INVALID_ARGUMENT", u"The request was not valid."},
    {ERR_INVALID_HANDLE, u"ERR_INVALID_HANDLE", u"The request was not valid."},
    {ERR_FILE_NOT_FOUND, u"ERR_FILE_NOT_FOUND", u"The file does not exist."},
    {ERR_TIMED_OUT, u"ERR_TIMED_OUT", u"The site took too long to answer."},
    {ERR_FILE_TOO_BIG, u"ERR_FILE_TOO_BIG", u"The file is too big."},
    {ERR_UNEXPECTED, u"ERR_UNEXPECTED", u"Something unexpected went wrong."},
    {ERR_ACCESS_DENIED, u"ERR_ACCESS_DENIED", u"Access to the page was denied."},
    {ERR_NOT_IMPLEMENTED, u"ERR_NOT_IMPLEMENTED", u"This engine cannot load such a page."},
    {ERR_CONNECTION_CLOSED, u"ERR_CONNECTION_CLOSED", u"The site closed the connection."},
    {ERR_CONNECTION_RESET, u"ERR_CONNECTION_RESET", u"The connection to the site was broken off."},
    {ERR_CONNECTION_REFUSED, u"ERR_CONNECTION_REFUSED",
     u"The site refused the connection: it does not run, or it cannot be reached."},
    {ERR_CONNECTION_ABORTED, u"ERR_CONNECTION_ABORTED", u"The connection to the site was broken off."},
    {ERR_CONNECTION_FAILED, u"ERR_CONNECTION_FAILED", u"The site cannot be reached."},
    {ERR_NAME_NOT_RESOLVED, u"ERR_NAME_NOT_RESOLVED", u"The site's name was not found."},
    {ERR_INTERNET_DISCONNECTED, u"ERR_INTERNET_DISCONNECTED", u"There is no network connection."},
    {ERR_INVALID_URL, u"ERR_INVALID_URL", u"The address is not valid."},
    {ERR_DISALLOWED_URL_SCHEME, u"ERR_DISALLOWED_URL_SCHEME", u"Addresses of this kind are not allowed."},
    {ERR_UNKNOWN_URL_SCHEME, u"ERR_UNKNOWN_URL_SCHEME", u"Addresses of this kind are unknown."},
    {ERR_TOO_MANY_REDIRECTS, u"ERR_TOO_MANY_REDIRECTS", u"The site redirected too many times."},
    {ERR_EMPTY_RESPONSE, u"ERR_EMPTY_RESPONSE", u"The site sent nothing."},
};

// The page a failed load shows, like a browser's: the address, what went wrong in words,
// the error's name and number (in the title as well) and the engine's details. A load
// handler that answered with text of its own gets that text shown instead.
std::u16string ErrorPage(const std::u16string& url, int code, const std::u16string& text, bool from_handler) {
  if (from_handler) return text;
  ErrorInfo info{code, u"ERR_UNKNOWN", u"The page could not be loaded."};
  for (const auto& known : kErrors)
    if (known.code == code) info = known;
  const std::u16string error = std::u16string(info.name) + u" (" + net::ToUtf16(std::to_string(code)) + u")";
  return u"<html><head><title>Cannot load " + Escaped(url) + u": " + error + u"</title></head><body><p>" +
         std::u16string(info.meaning) + u"</p><p>Address: " + Escaped(url) + u"</p><p>Error: " + error +
         u"</p><p>Details: " + Escaped(text) + u"</p></body></html>";
}

template <class Work>
void OnMainThread(Work work) {
  Runtime::Get().PostWork(TID_UI, std::move(work));
}

}  // namespace

Frame::Frame(Browser& browser, Frame* parent, std::u16string name)
    : browser_(&browser), parent_(parent), id_(++next_frame_id), name_(std::move(name)) {
  FrameEntriesBind(record());
}

Frame::~Frame() = default;

std::u16string Frame::name() const {
  std::lock_guard lock(mutex_);
  return name_;
}

std::u16string Frame::url() const {
  std::lock_guard lock(mutex_);
  return url_;
}

// The load starts now: the program learns of it before the first byte arrives.
void Frame::Load(net::LoadRequest request, bool history, std::optional<cef_handler_navtype_t> navigation,
                 bool asked) {
  if (detached_ || browser_->closed()) return;
  // Cancelled by the program: no load starts and the frame keeps what it shows.
  if (navigation && !asked && !browser_->AllowNavigation(*this, request, *navigation)) return;
  if (detached_ || browser_->closed()) return;
  StopLoad();
  browser_->NotifyLoadStart(*this);
  if (detached_) return;
  const uint64_t generation = generation_;
  // A sub-frame's cookies are chosen by the page that holds it.
  if (!IsMain()) request.top_url = Top().url();
  // Each redirect is a navigation of this frame too, which the program may stop.
  net::RedirectCheck allow_redirect;
  if (navigation) {
    allow_redirect = [self = EngineRef<Frame>(this), generation,
                      type = *navigation](const net::LoadRequest& next) {
      return generation == self->generation_ && !self->detached_ && !self->browser_->closed() &&
             self->browser_->AllowNavigation(*self, next, type, true);
    };
  }
  load_ = net::StartLoad(
      std::move(request), browser_->record(), browser_->RequestHandler(),
      [self = EngineRef<Frame>(this), generation, history](net::LoadResult result) {
        self->Finished(std::move(result), generation, history);
      },
      std::move(allow_redirect));
}

void Frame::LoadContent(std::u16string html, std::u16string url, bool history) {
  if (detached_ || browser_->closed()) return;
  StopLoad();
  browser_->NotifyLoadStart(*this);
  if (detached_) return;
  page_cookies_.reset();
  Commit(std::move(html), url.empty() ? u"about:blank" : url, 200, history, true, false);
}

void Frame::StopLoad(bool report) {
  ++generation_;
  const bool was_loading = load_ != nullptr;
  load_.reset();
  resource_loads_.clear();
  std::vector<EngineRef<Frame>> children;
  {
    std::lock_guard lock(mutex_);
    children = children_;
  }
  for (auto& child : children) child->StopLoad(report);
  if (report && was_loading) browser_->NotifyLoadEnd(*this, 0);
}

void Frame::Detach() {
  if (detached_) return;
  detached_ = true;
  ++generation_;
  load_.reset();
  resource_loads_.clear();
  std::vector<EngineRef<Frame>> children;
  {
    std::lock_guard lock(mutex_);
    children.swap(children_);
  }
  for (auto& child : children) child->Detach();
  DropPage();
}

void Frame::DropPage() {
  // Taken out first, so that a handler that closes the browser meanwhile finds no page.
  std::unique_ptr<script::Page> page = std::move(page_);
  if (!page) return;
  const auto context = ProgramRef<cef_v8context_t>::Adopt(page->ShareV8Context());
  browser_->NotifyContextReleased(*this, context.get());
}

void Frame::Collect(std::vector<EngineRef<Frame>>& out) {
  out.emplace_back(this);
  std::vector<EngineRef<Frame>> children;
  {
    std::lock_guard lock(mutex_);
    children = children_;
  }
  for (auto& child : children) child->Collect(out);
}

void Frame::Finished(net::LoadResult result, uint64_t generation, bool history) {
  if (generation != generation_ || detached_) return;
  if (auto done = std::exchange(load_, nullptr)) done->Forget();
  // An address the program dealt with, and a download, are no navigation: the frame
  // keeps its page, and the load that started ends without one.
  if (result.handled_by_program) return browser_->NotifyLoadEnd(*this, 0);
  ProgramRef<cef_content_filter_t> filter;
  if (!result.error) {
    filter = browser_->ResponseArrived(result);
    if (generation != generation_ || detached_) return;
  }
  if (!result.error && net::IsDownload(result)) {
    browser_->Download(std::move(result), std::move(filter));
    if (generation == generation_ && !detached_) browser_->NotifyLoadEnd(*this, 0);
    return;
  }
  page_cookies_ = std::move(result.cookies);
  if (result.error) {
    std::u16string text = result.error_text;
    const bool replaced = browser_->NotifyLoadError(*this, result.error, result.final_url, text);
    if (detached_) return;
    Commit(ErrorPage(result.final_url, result.error, text, replaced), result.final_url, 0, false, false,
           true);
    return;
  }
  // The page takes the body's bytes, or its text replaces them, before the page is built
  // of it: a large page would otherwise stand in memory once more while it is parsed.
  dom::SourceText html = PageOf(result);
  std::string().swap(result.body);
  Commit(std::move(html), result.final_url, result.status, history, false, false);
}

void Frame::Commit(dom::SourceText html, const std::u16string& url, int status, bool history, bool is_content,
                   bool is_error) {
  std::vector<EngineRef<Frame>> old_children;
  {
    std::lock_guard lock(mutex_);
    old_children.swap(children_);
  }
  for (auto& child : old_children) child->Detach();
  resource_loads_.clear();
  DropPage();  // the old page's context goes while the frame still shows its address
  {
    std::lock_guard lock(mutex_);
    url_ = url;
  }
  reported_title_.reset();
  if (!is_error) browser_->NotifyAddress(*this, url);
  if (detached_) return;
  page_ = script::Page::Load(std::move(html), url, *this);
  if (detached_ || !page_) return;
  const auto title = page_->Title();
  const auto source = page_->Source();
  Refresh();
  if (IsMain()) {
    browser_->MainFrameCommitted(
        url, is_content ? std::optional<std::u16string>(source->ToString()) : std::nullopt,
        history && !is_error);
    browser_->input().PageCommitted(url, is_error);
    if (!is_error) {
      ReportTitle(title.empty() ? url : title);
      const auto icons = page_->IconUrls();
      if (!icons.empty()) browser_->NotifyIcons(icons);
    }
  }
  const auto base = net::ParseUrl(url);
  for (const auto& info : page_->Frames()) {
    auto child = MakeEngineObject<Frame>(*browser_, this, info.name);
    {
      std::lock_guard lock(mutex_);
      children_.push_back(child);
    }
    const auto src = base ? net::ResolveUrl(*base, info.src) : net::ParseUrl(info.src);
    if (info.src.empty() || !src) {
      child->LoadContent(u"", u"about:blank", false);
    } else {
      child->Load({src->Spec(), u"GET", {}, {}}, false);
    }
  }
  if (detached_ || !page_) return;
  LoadResources();
  page_->FireLoad();
  Refresh();
  browser_->NotifyLoadEnd(*this, status);
}

const Frame& Frame::Top() const { return parent_ ? parent_->Top() : *this; }

void Frame::LoadResources() {
  for (auto& url : page_->ImageUrls()) {
    net::LoadRequest request{std::move(url), u"GET", {}, {}, Top().url()};
    request.resource = true;
    const uint64_t key = ++next_resource_;
    resource_loads_[key] = net::StartLoad(std::move(request), browser_->record(), browser_->RequestHandler(),
                                          [self = EngineRef<Frame>(this), key](net::LoadResult result) {
                                            auto loaded = self->resource_loads_.extract(key);
                                            if (loaded.empty()) return;
                                            loaded.mapped()->Forget();
                                            if (!result.error) self->browser_->ResponseArrived(result);
                                          });
  }
}

// Copies of what other threads may read, taken after the page may have changed; a
// document that did not change since the last copies keeps them.
// Neither is a copy: the source is shared, and the text is kept as runs of it, since a
// page's may be hundreds of megabytes.
// The main frame's view shows images and text inputs as text of their own; on a page
// without any, that is the reader's text, made once.
void Frame::Refresh() {
  if (!page_) return;
  const auto& document = page_->document();
  if (refreshed_.lock().get() == &document && refreshed_changes_ == document.changes()) return;
  refreshed_ = document.weak_from_this();
  refreshed_changes_ = document.changes();
  bool replaced = false;
  dom::TextRope shown = IsMain() ? document.ViewTextRuns(&replaced) : dom::TextRope();
  auto text =
      std::make_shared<const dom::TextRope>(!IsMain() || replaced ? document.TextRuns() : std::move(shown));
  const auto title = page_->Title();
  {
    std::lock_guard lock(mutex_);
    text_ = text;
    source_ = page_->Source();
  }
  if (IsMain()) browser_->UpdateWindow(title, replaced ? shown : *text);
}

std::u16string Frame::Text() {
  if (Runtime::Get().CurrentlyOn(TID_UI)) return page_ ? page_->Text() : u"";
  const auto text = Locked(&Frame::text_);
  return text ? text->ToString() : u"";
}

std::u16string Frame::Source() {
  if (Runtime::Get().CurrentlyOn(TID_UI)) return page_ ? page_->Source()->ToString() : u"";
  const auto source = Locked(&Frame::source_);
  return source ? source->ToString() : u"";
}

// The copy is made outside the lock: a page's text may be hundreds of megabytes.
template <class Shared>
std::shared_ptr<const Shared> Frame::Locked(std::shared_ptr<const Shared> Frame::*member) {
  std::lock_guard lock(mutex_);
  return this->*member;
}

void Frame::TitleChanged(const std::u16string& title) { ReportTitle(title); }

void Frame::ReportTitle(const std::u16string& title) {
  if (!IsMain() || reported_title_ == title) return;
  reported_title_ = title;
  browser_->NotifyTitle(title);
}

void Frame::OpenWindow(const std::u16string& url, const std::u16string& features) {
  OnMainThread([browser = browser_, url, features] { browser->RequestPopup(url, features); });
}

void Frame::ConsoleMessage(const std::u16string& message, const std::u16string& source, int line) {
  browser_->NotifyConsole(message, source, line);
}

cef_browser_t* Frame::ShareBrowser() { return browser_->Share(); }

// The answer may change the page: copies for other threads are taken afterwards.
int Frame::RequestGeolocation(std::function<void(const cef_geoposition_t&)> answer) {
  return browser_->RequestGeolocation(
      url(), [self = EngineRef<Frame>(this), answer = std::move(answer)](const cef_geoposition_t& position) {
        answer(position);
        self->Refresh();
      });
}

void Frame::CancelGeolocation(int request) { browser_->CancelGeolocation(request); }

bool Frame::ScreenRect(cef_rect_t& rect) { return browser_->ScreenRect(rect); }

bool Frame::ScreenPoint(int x, int y, int& screen_x, int& screen_y) {
  return browser_->ScreenPoint(x, y, screen_x, screen_y);
}

std::u16string Frame::PageText() { return page_ ? page_->Text() : u""; }

std::u16string Frame::PageTitle() { return page_ ? page_->Title() : u""; }

void Frame::ContextCreated(cef_v8context_t* context) { browser_->NotifyContextCreated(*this, context); }
void Frame::Alert(const std::u16string& message) { browser_->RunAlert(*this, message); }
bool Frame::Confirm(const std::u16string& message) { return browser_->RunConfirm(*this, message); }
std::optional<std::u16string> Frame::Prompt(const std::u16string& message,
                                            const std::u16string& default_text) {
  return browser_->RunPrompt(*this, message, default_text);
}
bool Frame::AllowExtension(const std::u16string& name) { return browser_->AllowExtension(*this, name); }

// document.cookie reads and writes the store the page was loaded with, as script of that
// address (no HttpOnly cookies); pages without an HTTP address have none.
namespace {
template <class Use>
auto WithPageCookies(const std::shared_ptr<net::CookieStore>& page_store, const std::u16string& address,
                     Use use) {
  const auto url = net::ParseUrl(address);
  const auto store = page_store ? page_store : net::GlobalCookieStore();
  using Result = decltype(use(*store, *url));
  if (!url || !store || !store->Supports(*url)) return Result{};
  return use(*store, *url);
}
}  // namespace

std::u16string Frame::Cookies() {
  return WithPageCookies(page_cookies_, url(), [](net::CookieStore& store, const net::Url& at) {
    return store.HeaderFor(at, false);
  });
}

void Frame::SetCookie(const std::u16string& line) {
  WithPageCookies(page_cookies_, url(), [&](net::CookieStore& store, const net::Url& at) {
    return store.SetFromLine(at, line, false);
  });
}
void Frame::UncaughtException(cef_v8context_t* context, cef_v8exception_t* exception,
                              cef_v8stack_trace_t* trace) {
  browser_->NotifyUncaughtException(*this, context, exception, trace);
}

// --- the record ----------------------------------------------------------------------------

struct FrameEntries {
  static Frame& Self(cef_frame_t* self) { return *static_cast<Frame*>(Frame::FromRecord(self)); }
  static EngineRef<Frame> Keep(cef_frame_t* self) { return EngineRef<Frame>(&Self(self)); }

  // Editing and view-source have no meaning in this engine.
  static void CEF_CALLBACK Nothing(cef_frame_t*) {}

  static void CEF_CALLBACK Print(cef_frame_t* self) {
    OnMainThread([frame = Keep(self)] {
      if (!frame->detached_ && !frame->browser_->closed()) frame->browser_->Print(*frame);
    });
  }

  static cef_string_userfree_t CEF_CALLBACK GetSource(cef_frame_t* self) {
    return NewUserfree(Self(self).Source());
  }
  static cef_string_userfree_t CEF_CALLBACK GetText(cef_frame_t* self) {
    return NewUserfree(Self(self).Text());
  }

  // Sends the request's address, method, header map and body; a request the engine did
  // not make is refused.
  static void CEF_CALLBACK LoadRequest(cef_frame_t* self, cef_request_t* request) {
    auto held = ProgramRef<cef_request_t>::Adopt(request);
    if (!net::Request::IsOurs(request)) return;
    auto taken = static_cast<net::Request*>(net::Request::FromRecord(request))->Take();
    net::LoadRequest load{std::move(taken.url), std::move(taken.method), std::move(taken.headers),
                          std::move(taken.body)};
    OnMainThread([frame = Keep(self), load] { frame->Load(load); });
  }
  static void CEF_CALLBACK LoadUrl(cef_frame_t* self, const cef_string_t* url) {
    net::LoadRequest load{std::u16string(ViewOf(url)), u"GET", {}, {}};
    OnMainThread([frame = Keep(self), load] { frame->Load(load); });
  }
  static void CEF_CALLBACK LoadString(cef_frame_t* self, const cef_string_t* text, const cef_string_t* url) {
    OnMainThread([frame = Keep(self), html = std::u16string(ViewOf(text)),
                  address = std::u16string(ViewOf(url))] { frame->LoadContent(html, address); });
  }
  // The stream is read to its end at once (UTF-8); the page shows on the main thread.
  static void CEF_CALLBACK LoadStream(cef_frame_t* self, cef_stream_reader_t* stream,
                                      const cef_string_t* url) {
    auto held = ProgramRef<cef_stream_reader_t>::Adopt(stream);
    if (!held || !held->read) return;
    std::string bytes;
    char buffer[8192];
    while (const size_t n = held->read(held.get(), buffer, 1, sizeof buffer))
      bytes.append(buffer, std::min(n, sizeof buffer));
    held.Reset();
    OnMainThread([frame = Keep(self), html = net::ToUtf16(bytes), address = std::u16string(ViewOf(url))] {
      frame->LoadContent(html, address);
    });
  }
  static void CEF_CALLBACK ExecuteJavaScript(cef_frame_t* self, const cef_string_t* code,
                                             const cef_string_t* url, int line) {
    OnMainThread(
        [frame = Keep(self), code = std::u16string(ViewOf(code)), url = std::u16string(ViewOf(url)), line] {
          if (!frame->page_) return;
          frame->page_->ExecuteJavaScript(code, url, line);
          frame->Refresh();
        });
  }
  static int CEF_CALLBACK IsMain(cef_frame_t* self) { return Self(self).IsMain() ? 1 : 0; }
  static int CEF_CALLBACK IsFocused(cef_frame_t* self) {
    return Self(self).browser().IsFocused(Self(self)) ? 1 : 0;
  }
  static cef_string_userfree_t CEF_CALLBACK GetName(cef_frame_t* self) {
    return NewUserfree(Self(self).name());
  }
  static int64_t CEF_CALLBACK GetIdentifier(cef_frame_t* self) { return Self(self).id(); }
  static cef_frame_t* CEF_CALLBACK GetParent(cef_frame_t* self) {
    auto& parent = Self(self).parent_;
    return parent ? parent->Share() : nullptr;
  }
  static cef_string_userfree_t CEF_CALLBACK GetUrl(cef_frame_t* self) {
    return NewUserfree(Self(self).url());
  }
  static cef_browser_t* CEF_CALLBACK GetBrowser(cef_frame_t* self) { return Self(self).browser_->Share(); }
  // The visitor is called on the main thread with the document; without a page it is
  // released unused.
  static void CEF_CALLBACK VisitDom(cef_frame_t* self, cef_domvisitor_t* visitor) {
    auto held = std::make_shared<ProgramRef<cef_domvisitor_t>>(ProgramRef<cef_domvisitor_t>::Adopt(visitor));
    if (!*held) return;
    OnMainThread([frame = Keep(self), held] {
      if (frame->page_) frame->page_->VisitDom(std::move(*held));
    });
  }
  // The page's script context; null off the main thread or without a page.
  static cef_v8context_t* CEF_CALLBACK GetV8Context(cef_frame_t* self) {
    auto& frame = Self(self);
    if (!Runtime::Get().CurrentlyOn(TID_UI) || !frame.page_) return nullptr;
    return frame.page_->ShareV8Context();
  }
};

void Frame::FrameEntriesBind(cef_frame_t* r) {
  using E = FrameEntries;
  r->undo = r->redo = r->cut = r->copy = r->paste = r->del = r->select_all = r->view_source = &E::Nothing;
  r->print = &E::Print;
  r->get_source = &E::GetSource;
  r->get_text = &E::GetText;
  r->load_request = &E::LoadRequest;
  r->load_url = &E::LoadUrl;
  r->load_string = &E::LoadString;
  r->load_stream = &E::LoadStream;
  r->execute_java_script = &E::ExecuteJavaScript;
  r->is_main = &E::IsMain;
  r->is_focused = &E::IsFocused;
  r->get_name = &E::GetName;
  r->get_identifier = &E::GetIdentifier;
  r->get_parent = &E::GetParent;
  r->get_url = &E::GetUrl;
  r->get_browser = &E::GetBrowser;
  r->visit_dom = &E::VisitDom;
  r->get_v8context = &E::GetV8Context;
}

}  // namespace cef_engine::browser
