#include "browser/browser.h"

#include <algorithm>
#include <atomic>
#include <utility>

#include "browser/page_input.h"
#include "browser/popup_features.h"
#include "cef_engine.h"
#include "net/content_filter.h"
#include "net/download.h"
#include "net/schemes.h"
#include "objects/immortal.h"
#include "runtime/runtime.h"
#include "strings/text.h"

namespace cef_engine::browser {
namespace {

std::atomic<int> next_browser_id{0};

// The engine's references to its open browsers. Main thread only.
struct OpenBrowsers {
  std::vector<EngineRef<Browser>> browsers;
  bool armed = false;
};
OpenBrowsers& Registry() {
  static Immortal<OpenBrowsers> open;
  return *open;
}

template <class Work>
void OnMainThread(Work work) {
  Runtime::Get().PostWork(TID_UI, std::move(work));
}

}  // namespace

Browser::Browser(const cef_window_info_t& info, ProgramRef<cef_client_t> client, bool popup,
                 cef_window_handle_t opener)
    : id_(++next_browser_id),
      info_(info),
      window_name_(ViewOf(&info.m_windowName)),
      popup_(popup),
      opener_(opener),
      client_(std::move(client)),
      input_(std::make_unique<PageInput>(*this)) {
  info_.m_windowName = {};
  BrowserEntriesBind(record());
}

Browser::~Browser() = default;

cef_window_handle_t Browser::window() const {
  std::lock_guard lock(mutex_);
  return handle_;
}

bool Browser::Open(const std::u16string& url) {
  net::AskApplicationForCustomSchemes();
  cef_client_t* client = client_.get();
  if (info_.m_bWindowRenderingDisabled) {
    // No window: the page is painted for the render handler, in a task of the main loop.
    view_ = std::make_unique<OffscreenView>(record(), HandlerOf(client, &cef_client_t::get_render_handler),
                                            info_.m_nWidth, info_.m_nHeight, [self = this] {
                                              OnMainThread([browser = EngineRef<Browser>(self)] {
                                                if (browser->view_) browser->view_->Paint();
                                              });
                                            });
  } else {
    window_ = BrowserWindow::Create(info_, window_name_, popup_, [this] { Close(false); });
    if (!window_) return false;
    window_->SetKeySink([this](cef_key_type_t type, const cef_key_info_t& info, int modifiers) {
      return input_->KeyEvent(type, info, modifiers, true);
    });
    window_->SetMouseSink([this](const BrowserWindow::MouseInput& input) { input_->WindowMouse(input); });
    std::lock_guard lock(mutex_);
    handle_ = window_->handle();
  }
  life_span_ = HandlerOf(client, &cef_client_t::get_life_span_handler);
  load_handler_ = HandlerOf(client, &cef_client_t::get_load_handler);
  request_handler_ = HandlerOf(client, &cef_client_t::get_request_handler);
  display_ = HandlerOf(client, &cef_client_t::get_display_handler);
  geolocation_ = HandlerOf(client, &cef_client_t::get_geolocation_handler);
  print_ = HandlerOf(client, &cef_client_t::get_print_handler);
  drag_ = HandlerOf(client, &cef_client_t::get_drag_handler);
  v8context_ = HandlerOf(client, &cef_client_t::get_v8context_handler);
  jsdialog_ = HandlerOf(client, &cef_client_t::get_jsdialog_handler);
  permission_ = HandlerOf(client, &cef_client_t::get_permission_handler);
  input_->AskClient(client);

  auto& open = Registry();
  open.browsers.emplace_back(this);
  if (!open.armed) {
    open.armed = true;
    Runtime::Get().AtShutdown([] {
      Registry().armed = false;
      CloseAll();
    });
  }
  auto main = MakeEngineObject<Frame>(*this, nullptr, u"");
  {
    std::lock_guard lock(mutex_);
    main_frame_ = main;
    focused_frame_ = main->id();
  }
  if (view_) view_->Open();
  if (life_span_ && life_span_->on_after_created) life_span_->on_after_created(life_span_.get(), Share());
  if (!url.empty() && !closed_) main->Load({url, u"GET", {}, {}});
  return true;
}

void Browser::Close(bool ask) {
  if (closed_) return;
  EngineRef<Browser> keep(this);
  if (ask && life_span_ && life_span_->do_close && life_span_->do_close(life_span_.get(), Share())) return;
  EngineRef<Frame> main;
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    main = main_frame_;
  }
  if (main) main->StopLoad();
  if (window_) window_->Destroy();
  // The close is reported once the stopped loads have let go of everything they held on
  // the IO thread (their handlers' last calls included); at shutdown, at once.
  if (!Runtime::Get().AfterIoTasks([keep] { keep->FinishClose(); })) FinishClose();
}

void Browser::FinishClose() {
  if (finished_) return;
  finished_ = true;
  EngineRef<Browser> keep(this);
  EngineRef<Frame> main;
  {
    std::lock_guard lock(mutex_);
    main = main_frame_;
  }
  if (life_span_ && life_span_->on_before_close) life_span_->on_before_close(life_span_.get(), Share());
  if (main) main->Detach();
  ProgramRef<cef_client_t> client;
  {
    std::lock_guard lock(mutex_);
    main_frame_.Reset();
    client = std::move(client_);
    has_document_ = false;
  }
  life_span_.Reset();
  load_handler_.Reset();
  request_handler_.Reset();
  display_.Reset();
  geolocation_requests_.clear();
  for (auto& download : std::exchange(downloads_, {})) download->Cancel();
  geolocation_.Reset();
  print_.Reset();
  drag_.Reset();
  if (view_) view_->Close();
  v8context_.Reset();
  jsdialog_.Reset();
  permission_.Reset();
  input_->Release();
  window_.reset();
  client.Reset();
  auto& browsers = Registry().browsers;
  browsers.erase(std::remove(browsers.begin(), browsers.end(), keep), browsers.end());
  // Nothing stays allocated once every browser closed: the library may be unloaded.
  if (browsers.empty()) std::vector<EngineRef<Browser>>().swap(browsers);
}

// Closes without asking; a browser whose close is waiting for the IO thread finishes now.
void Browser::CloseAll() {
  const auto browsers = Registry().browsers;
  for (const auto& browser : browsers) {
    browser->Close(false);
    browser->FinishClose();
  }
}

bool Browser::AllowNavigation(Frame& frame, const net::LoadRequest& request, cef_handler_navtype_t navigation,
                              bool redirect) {
  if (!request_handler_ || !request_handler_->on_before_browse) return true;
  auto target = MakeEngineObject<net::Request>();
  target->Set(request.url, request.method, request.headers, request.body);
  return !request_handler_->on_before_browse(request_handler_.get(), Share(), frame.Share(), target->Share(),
                                             navigation, redirect ? 1 : 0);
}

ProgramRef<cef_request_handler_t> Browser::RequestHandler() const {
  return ProgramRef<cef_request_handler_t>::Retain(request_handler_.get());
}

ProgramRef<cef_content_filter_t> Browser::ResponseArrived(net::LoadResult& result) {
  if (!request_handler_ || !request_handler_->on_resource_response) return {};
  auto response = MakeEngineObject<net::Response>();
  response->Set({result.status, result.status_text, result.mime_type, result.headers});
  const cef_string_t url = View(result.final_url);
  cef_content_filter_t* given = nullptr;
  request_handler_->on_resource_response(request_handler_.get(), Share(), &url, response->Share(), &given);
  auto filter = ProgramRef<cef_content_filter_t>::Adopt(given);
  if (!filter) return {};
  if (result.streamed_body) return filter;
  if (net::FilterBody(filter.get(), result.body)) return {};
  const auto address = result.final_url;
  result = {};
  result.error = ERR_FILE_TOO_BIG;
  result.error_text = u"The content filter made the response too big";
  result.final_url = address;
  return {};
}

void Browser::Download(net::LoadResult result, ProgramRef<cef_content_filter_t> filter) {
  if (!request_handler_ || !request_handler_->get_download_handler) return;
  const auto name = net::DownloadFileName(result);
  const cef_string_t mime = View(result.mime_type), file = View(name);
  const int64_t length = net::AnnouncedLength(result);
  cef_download_handler_t* given = nullptr;
  const int accepted =
      request_handler_->get_download_handler(request_handler_.get(), Share(), &mime, &file, length, &given);
  auto handler = ProgramRef<cef_download_handler_t>::Adopt(given);
  // Every load streams its downloads, so the body is still arriving.
  if (!accepted || !handler || finished_ || !result.streamed_body) return;
  downloads_.push_back(net::StreamedDownload::Start(
      std::move(handler), std::move(filter), std::move(result.streamed_body),
      [keep = EngineRef<Browser>(this)](const net::StreamedDownload& ended) {
        std::erase_if(keep->downloads_, [&](const auto& d) { return d.get() == &ended; });
      }));
}

void Browser::NotifyLoadStart(Frame& frame) {
  if (load_handler_ && load_handler_->on_load_start)
    load_handler_->on_load_start(load_handler_.get(), Share(), frame.Share());
}

void Browser::NotifyLoadEnd(Frame& frame, int status) {
  if (load_handler_ && load_handler_->on_load_end)
    load_handler_->on_load_end(load_handler_.get(), Share(), frame.Share(), status);
}

bool Browser::NotifyLoadError(Frame& frame, int code, const std::u16string& url, std::u16string& text) {
  if (!load_handler_ || !load_handler_->on_load_error) return false;
  cef_string_t error_text{};
  AssignCopy(&error_text, std::u16string_view(text));
  const cef_string_t failed = View(url);
  const bool replaced =
      load_handler_->on_load_error(load_handler_.get(), Share(), frame.Share(),
                                   static_cast<cef_handler_errorcode_t>(code), &failed, &error_text) != 0;
  if (replaced) text = ViewOf(&error_text);
  ClearRecord(&error_text);
  return replaced;
}

void Browser::NotifyAddress(Frame& frame, const std::u16string& url) {
  const cef_string_t address = View(url);
  if (display_ && display_->on_address_change)
    display_->on_address_change(display_.get(), Share(), frame.Share(), &address);
}

void Browser::NotifyTitle(const std::u16string& title) {
  const cef_string_t text = View(title);
  if (display_ && display_->on_title_change) display_->on_title_change(display_.get(), Share(), &text);
}

void Browser::NotifyIcons(const std::vector<std::u16string>& urls) {
  if (!display_ || !display_->on_favicon_urlchange) return;
  cef_string_list_t list = cef_string_list_alloc();
  for (const auto& url : urls) {
    const cef_string_t item = View(url);
    cef_string_list_append(list, &item);
  }
  display_->on_favicon_urlchange(display_.get(), Share(), list);
  cef_string_list_free(list);
}

void Browser::NotifyConsole(const std::u16string& message, const std::u16string& source, int line) {
  const cef_string_t text = View(message), from = View(source);
  if (display_ && display_->on_console_message)
    display_->on_console_message(display_.get(), Share(), &text, &from, line);
}

// Asks the life-span handler; an answer of true cancels the pop-up, otherwise it opens
// with the address, window information and client as the handler left them.
void Browser::RequestPopup(const std::u16string& url, const std::u16string& features_text) {
  if (closed_) return;
  PopupFeatures features(features_text);
  cef_window_info_t info{};
  cef_browser_settings_t settings{};
  settings.size = sizeof(settings);
  cef_string_t target{};
  AssignCopy(&target, std::u16string_view(url));
  cef_client_t* client = client_.Share();
  int cancel = 0;
  if (life_span_ && life_span_->on_before_popup) {
    cancel = life_span_->on_before_popup(life_span_.get(), Share(), features.record(), &info, &target,
                                         &client, &settings);
  }
  auto popup_client = ProgramRef<cef_client_t>::Adopt(client);
  const std::u16string address(ViewOf(&target));
  ClearRecord(&target);
  if (cancel || closed_) return;
  auto popup = MakeEngineObject<Browser>(info, std::move(popup_client), true, window());
  popup->Open(address);
}

void Browser::MainFrameCommitted(const std::u16string& url, std::optional<std::u16string> content,
                                 bool history) {
  {
    std::lock_guard lock(mutex_);
    has_document_ = true;
    if (history || history_index_ < 0) {
      history_.resize(static_cast<size_t>(history_index_ + 1));
      history_.push_back({url, std::move(content)});
      history_index_ = static_cast<int>(history_.size()) - 1;
    }
  }
  ReportNavState();
}

void Browser::UpdateWindow(const std::u16string& title, const dom::TextRope& text) {
  if (window_) window_->ShowPage(title, text);
  if (view_ && !closed_) view_->ShowPage(title, text);
}

bool Browser::ScreenRect(cef_rect_t& rect) {
  if (view_) return view_->ScreenRect(rect);
  return window_ && window_->ScreenRect(rect);
}

bool Browser::ScreenPoint(int x, int y, int& screen_x, int& screen_y) {
  if (view_) return view_->ScreenPoint(x, y, screen_x, screen_y);
  return window_ && window_->ScreenPoint(x, y, screen_x, screen_y);
}

bool Browser::IsFocused(const Frame& frame) const {
  std::lock_guard lock(mutex_);
  return focused_frame_ == frame.id();
}

void Browser::ReportNavState() {
  int back = 0, forward = 0;
  {
    std::lock_guard lock(mutex_);
    back = history_index_ > 0;
    forward = history_index_ + 1 < static_cast<int>(history_.size());
  }
  if (display_ && display_->on_nav_state_change)
    display_->on_nav_state_change(display_.get(), Share(), back, forward);
}

// Back (-1), forward (+1) or reload (0) within the history.
void Browser::Navigate(int delta) {
  HistoryEntry entry;
  EngineRef<Frame> main;
  int index = 0;
  {
    std::lock_guard lock(mutex_);
    index = history_index_ + delta;
    if (closed_ || index < 0 || index >= static_cast<int>(history_.size())) return;
    entry = history_[static_cast<size_t>(index)];
    main = main_frame_;
  }
  // A navigation the request handler cancels leaves the history where it was.
  const auto navigation = delta == 0 ? NAVTYPE_RELOAD : NAVTYPE_BACKFORWARD;
  if (!main || !AllowNavigation(*main, {entry.url, u"GET", {}, {}}, navigation)) return;
  {
    std::lock_guard lock(mutex_);
    if (closed_ || index >= static_cast<int>(history_.size())) return;
    history_index_ = index;
  }
  if (delta != 0) ReportNavState();
  if (entry.content) {
    main->LoadContent(*entry.content, entry.url, false);
  } else {
    main->Load({entry.url, u"GET", {}, {}}, false, navigation, true);
  }
}

EngineRef<Frame> Browser::MainFrame() const {
  std::lock_guard lock(mutex_);
  return main_frame_;
}

std::vector<EngineRef<Frame>> Browser::AllFrames() const {
  std::vector<EngineRef<Frame>> frames;
  if (auto main = MainFrame()) main->Collect(frames);
  return frames;
}

// The main frame for an empty name; otherwise the first frame of that name.
EngineRef<Frame> Browser::FindFrame(const std::u16string& name) const {
  if (name.empty()) return MainFrame();
  for (auto& frame : AllFrames()) {
    if (frame->name() == name) return frame;
  }
  return {};
}

// --- the record ----------------------------------------------------------------------------

struct BrowserEntries {
  static Browser& Self(cef_browser_t* self) { return *static_cast<Browser*>(Browser::FromRecord(self)); }
  static EngineRef<Browser> Keep(cef_browser_t* self) { return EngineRef<Browser>(&Self(self)); }

  // The parent goes: the browser closes without asking the life-span handler.
  static void CEF_CALLBACK ParentWindowWillClose(cef_browser_t* self) {
    OnMainThread([browser = Keep(self)] { browser->Close(false); });
  }
  static void CEF_CALLBACK CloseBrowser(cef_browser_t* self) {
    OnMainThread([browser = Keep(self)] { browser->Close(true); });
  }
  static int CEF_CALLBACK CanGoBack(cef_browser_t* self) {
    auto& b = Self(self);
    std::lock_guard lock(b.mutex_);
    return b.history_index_ > 0 ? 1 : 0;
  }
  static int CEF_CALLBACK CanGoForward(cef_browser_t* self) {
    auto& b = Self(self);
    std::lock_guard lock(b.mutex_);
    return b.history_index_ + 1 < static_cast<int>(b.history_.size()) ? 1 : 0;
  }
  template <int Delta>
  static void CEF_CALLBACK Move(cef_browser_t* self) {
    OnMainThread([browser = Keep(self)] { browser->Navigate(Delta); });
  }
  static void CEF_CALLBACK StopLoad(cef_browser_t* self) {
    OnMainThread([browser = Keep(self)] {
      if (auto main = browser->MainFrame()) main->StopLoad(true);
    });
  }
  static void CEF_CALLBACK SetFocus(cef_browser_t* self, int enable) {
    OnMainThread([browser = Keep(self), enable] {
      if (enable) browser->input().TakeFocus(FOCUS_SOURCE_SYSTEM);
    });
  }
  static cef_window_handle_t CEF_CALLBACK GetWindowHandle(cef_browser_t* self) { return Self(self).window(); }
  static cef_window_handle_t CEF_CALLBACK GetOpenerWindowHandle(cef_browser_t* self) {
    return Self(self).opener_;
  }
  static int CEF_CALLBACK GetIdentifier(cef_browser_t* self) { return Self(self).id(); }
  static int CEF_CALLBACK IsPopup(cef_browser_t* self) { return Self(self).popup_ ? 1 : 0; }
  static int CEF_CALLBACK HasDocument(cef_browser_t* self) {
    auto& b = Self(self);
    std::lock_guard lock(b.mutex_);
    return b.has_document_ ? 1 : 0;
  }
  static cef_client_t* CEF_CALLBACK GetClient(cef_browser_t* self) {
    auto& b = Self(self);
    std::lock_guard lock(b.mutex_);
    return b.client_.Share();
  }
  static cef_frame_t* CEF_CALLBACK GetMainFrame(cef_browser_t* self) {
    auto main = Self(self).MainFrame();
    return main ? main->Share() : nullptr;
  }
  static cef_frame_t* CEF_CALLBACK GetFocusedFrame(cef_browser_t* self) {
    auto& b = Self(self);
    int64_t focused = 0;
    {
      std::lock_guard lock(b.mutex_);
      focused = b.focused_frame_;
    }
    for (auto& frame : b.AllFrames()) {
      if (frame->id() == focused) return frame->Share();
    }
    return nullptr;
  }
  static cef_frame_t* CEF_CALLBACK GetFrame(cef_browser_t* self, const cef_string_t* name) {
    auto frame = Self(self).FindFrame(std::u16string(ViewOf(name)));
    return frame ? frame->Share() : nullptr;
  }
  // Names of every frame, the main frame's (empty) name first.
  static void CEF_CALLBACK GetFrameNames(cef_browser_t* self, cef_string_list_t names) {
    for (auto& frame : Self(self).AllFrames()) {
      const auto name = frame->name();
      const cef_string_t item = View(name);
      cef_string_list_append(names, &item);
    }
  }
  // Keeps the current entry only.
  static void CEF_CALLBACK ClearHistory(cef_browser_t* self) {
    OnMainThread([browser = Keep(self)] {
      {
        std::lock_guard lock(browser->mutex_);
        if (browser->history_index_ < 0) return;
        auto current = browser->history_[static_cast<size_t>(browser->history_index_)];
        browser->history_ = {std::move(current)};
        browser->history_index_ = 0;
      }
      browser->ReportNavState();
    });
  }
  static int CEF_CALLBACK IsWindowRenderingDisabled(cef_browser_t* self) {
    return Self(self).info_.m_bWindowRenderingDisabled ? 1 : 0;
  }

  // Off-screen view members; a pop-up widget never shows, and a browser with a window
  // has no view: they answer 0 and do nothing there.
  static int CEF_CALLBACK GetSize(cef_browser_t* self, cef_paint_element_type_t type, int* width,
                                  int* height) {
    auto& b = Self(self);
    if (type != PET_VIEW || !b.view_ || !width || !height) return 0;
    b.view_->Size(*width, *height);
    return 1;
  }
  static void CEF_CALLBACK SetSize(cef_browser_t* self, cef_paint_element_type_t type, int width,
                                   int height) {
    if (type != PET_VIEW) return;
    OnMainThread([browser = Keep(self), width, height] {
      if (browser->view_ && !browser->closed_) browser->view_->SetSize(width, height);
    });
  }
  static void CEF_CALLBACK Invalidate(cef_browser_t* self, const cef_rect_t* dirty) {
    if (!dirty) return;
    OnMainThread([browser = Keep(self), rect = *dirty] {
      if (browser->view_ && !browser->closed_) browser->view_->Invalidate(rect);
    });
  }
  static int CEF_CALLBACK GetImage(cef_browser_t* self, cef_paint_element_type_t type, int width, int height,
                                   void* buffer) {
    auto& b = Self(self);
    return type == PET_VIEW && b.view_ && b.view_->CopyImage(width, height, buffer) ? 1 : 0;
  }

  // Find, developer tools and input have no meaning in this engine.
  // Developer tools, off-screen painting and input have no meaning in this engine.
  template <class... Args>
  static void CEF_CALLBACK Ignore(cef_browser_t*, Args...) {}
  template <class... Args>
  static int CEF_CALLBACK Refuse(cef_browser_t*, Args...) {
    return 0;
  }
};

void Browser::BrowserEntriesBind(cef_browser_t* r) {
  using E = BrowserEntries;
  r->parent_window_will_close = &E::ParentWindowWillClose;
  r->close_browser = &E::CloseBrowser;
  r->can_go_back = &E::CanGoBack;
  r->go_back = &E::Move<-1>;
  r->can_go_forward = &E::CanGoForward;
  r->go_forward = &E::Move<1>;
  r->reload = &E::Move<0>;
  r->reload_ignore_cache = &E::Move<0>;
  r->stop_load = &E::StopLoad;
  r->set_focus = &E::SetFocus;
  r->get_window_handle = &E::GetWindowHandle;
  r->get_opener_window_handle = &E::GetOpenerWindowHandle;
  r->get_identifier = &E::GetIdentifier;
  r->is_popup = &E::IsPopup;
  r->has_document = &E::HasDocument;
  r->get_client = &E::GetClient;
  r->get_main_frame = &E::GetMainFrame;
  r->get_focused_frame = &E::GetFocusedFrame;
  r->get_frame = &E::GetFrame;
  r->get_frame_names = &E::GetFrameNames;
  r->clear_history = &E::ClearHistory;
  r->show_dev_tools = &E::Ignore<>;
  r->close_dev_tools = &E::Ignore<>;
  r->is_window_rendering_disabled = &E::IsWindowRenderingDisabled;
  r->get_size = &E::GetSize;
  r->set_size = &E::SetSize;
  r->is_popup_visible = &E::Refuse<>;
  r->hide_popup = &E::Ignore<>;
  r->invalidate = &E::Invalidate;
  r->get_image = &E::GetImage;
  // No mouse capture: a lost capture changes nothing.
  r->send_capture_lost_event = &E::Ignore<>;
  PageInput::Bind(r);
}

}  // namespace cef_engine::browser

using cef_engine::EngineRef;
using cef_engine::MakeEngineObject;
using cef_engine::ProgramRef;
using cef_engine::Runtime;
using cef_engine::browser::Browser;

extern "C" {

// Returns at once; the browser opens on the main thread.
int cef_browser_create(cef_window_info_t* windowInfo, cef_client_t* client, const cef_string_t* url,
                       const cef_browser_settings_t*) {
  auto held = ProgramRef<cef_client_t>::Adopt(client);
  if (!windowInfo || !Runtime::Get().Initialized()) return 0;
  auto browser = MakeEngineObject<Browser>(*windowInfo, std::move(held), false, nullptr);
  return Runtime::Get().PostWork(
             TID_UI, [browser, address = std::u16string(cef_engine::ViewOf(url))] { browser->Open(address); })
             ? 1
             : 0;
}

// Main thread only: the browser is open (its window made, the client told) on return.
cef_browser_t* cef_browser_create_sync(cef_window_info_t* windowInfo, cef_client_t* client,
                                       const cef_string_t* url, const cef_browser_settings_t*) {
  auto held = ProgramRef<cef_client_t>::Adopt(client);
  if (!windowInfo || !Runtime::Get().CurrentlyOn(TID_UI)) return nullptr;
  auto browser = MakeEngineObject<Browser>(*windowInfo, std::move(held), false, nullptr);
  if (!browser->Open(std::u16string(cef_engine::ViewOf(url)))) return nullptr;
  return browser->Share();
}

}  // extern "C"
