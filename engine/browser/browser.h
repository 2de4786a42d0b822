// Browsers and frames: the records the program holds, navigation and history, the
// client's handlers (life span, load, display), pop-ups and the browser window.
// Everything that changes a browser runs on the main thread; members the program calls
// on other threads hand their work to it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "browser/offscreen_view.h"
#include "browser/window.h"
#include "cef/cef_records.h"
#include "net/download.h"
#include "net/loader.h"
#include "objects/engine_object.h"
#include "script/script_host.h"
#include "strings/text.h"

namespace cef_engine::browser {

class Browser;
class PageInput;

// What a drag carries (drag.cpp): a link, a fragment of a page, files.
struct DragContent {
  bool link = false, fragment = false, file = false;
  std::u16string link_url, link_title, link_metadata;
  std::u16string fragment_text, fragment_html, fragment_base_url;
  std::u16string file_name;
  std::vector<std::u16string> file_names;
};

// Takes over the reference a client getter returns.
template <class Handler>
ProgramRef<Handler> HandlerOf(cef_client_t* client,
                              Handler* (CEF_CALLBACK* cef_client_t::*getter)(cef_client_t*)) {
  if (!client || !(client->*getter)) return {};
  return ProgramRef<Handler>::Adopt((client->*getter)(client));
}

class Frame final : public EngineObject<cef_frame_t>, public script::FrameHooks {
 public:
  using Record = cef_frame_t;
  Frame(Browser& browser, Frame* parent, std::u16string name);
  ~Frame() override;

  bool IsMain() const { return !parent_; }
  // The main frame of the page this frame belongs to.
  const Frame& Top() const;
  int64_t id() const { return id_; }
  std::u16string name() const;
  std::u16string url() const;
  Browser& browser() const { return *browser_; }

  // Main thread. A new load replaces the one in progress. `history` false for
  // back, forward and reload, which move within the history instead of adding to it.
  // `navigation` is why the frame navigates, for the request handler's on_before_browse,
  // which may cancel it (unless `asked` already) and each of its redirects; none for a
  // load that is no navigation of the program's.
  void Load(net::LoadRequest request, bool history = true,
            std::optional<cef_handler_navtype_t> navigation = NAVTYPE_OTHER, bool asked = false);
  void LoadContent(std::u16string html, std::u16string url, bool history = true);
  // `report`: a load that was in progress ends with status 0 (stop_load).
  void StopLoad(bool report = false);
  // The browser closes: loads stop, the page and child frames go.
  void Detach();
  // This frame and its descendants, depth first.
  void Collect(std::vector<EngineRef<Frame>>& out);

  // What the page's scripts ask of the frame.
  void TitleChanged(const std::u16string& title) override;
  void OpenWindow(const std::u16string& url, const std::u16string& features) override;
  void ConsoleMessage(const std::u16string& message, const std::u16string& source, int line) override;
  void ContextCreated(cef_v8context_t* context) override;
  void UncaughtException(cef_v8context_t* context, cef_v8exception_t* exception,
                         cef_v8stack_trace_t* trace) override;
  void Alert(const std::u16string& message) override;
  bool Confirm(const std::u16string& message) override;
  std::optional<std::u16string> Prompt(const std::u16string& message,
                                       const std::u16string& default_text) override;
  bool AllowExtension(const std::u16string& name) override;
  std::u16string Cookies() override;
  void SetCookie(const std::u16string& line) override;
  cef_browser_t* ShareBrowser() override;
  cef_frame_t* ShareFrame() override { return Share(); }
  std::u16string Url() override { return url(); }
  int RequestGeolocation(std::function<void(const cef_geoposition_t&)> answer) override;
  void CancelGeolocation(int request) override;
  bool ScreenRect(cef_rect_t& rect) override;
  bool ScreenPoint(int x, int y, int& screen_x, int& screen_y) override;
  // Main thread: the page's text and title (empty without a page); what a drag of the
  // element with that id carries (none without such an element).
  std::u16string PageText();
  std::u16string PageTitle();
  std::optional<DragContent> DragContentOf(const std::u16string& element_id);

 private:
  friend struct FrameEntries;
  friend class PageInput;
  static void FrameEntriesBind(cef_frame_t* record);
  void Finished(net::LoadResult result, uint64_t generation, bool history);
  // Shows a page and reports its load end: `is_content` for text the program gave (kept
  // in the history); error pages report no address, title or history change.
  void Commit(dom::SourceText html, const std::u16string& url, int status, bool history, bool is_content,
              bool is_error);
  void Refresh();
  // Fetches the new page's images, so that the request handler sees, changes or serves
  // those requests and their responses as a browser's; nothing waits for them.
  void LoadResources();
  // The page goes: its context is reported released, then the page is destroyed.
  void DropPage();
  // Reports the main frame's title when it differs from the one last reported for this
  // page, so that a title set by script while the page is parsed is reported once.
  void ReportTitle(const std::u16string& title);
  std::u16string Text();
  std::u16string Source();

  EngineRef<Browser> browser_;
  EngineRef<Frame> parent_;
  const int64_t id_;
  mutable std::mutex mutex_;  // name_, url_, text_ and source_, read on any thread
  std::u16string name_, url_;
  std::shared_ptr<const dom::TextRope> text_;
  std::shared_ptr<const dom::SourceText> source_;
  // Any thread: what text_ or source_ holds, to be copied outside the lock.
  template <class Shared>
  std::shared_ptr<const Shared> Locked(std::shared_ptr<const Shared> Frame::*member);
  std::vector<EngineRef<Frame>> children_;
  std::unique_ptr<script::Page> page_;
  std::optional<std::u16string> reported_title_;
  // The document the copies for other threads were last taken of, and its change count then.
  std::weak_ptr<const dom::Document> refreshed_;
  uint64_t refreshed_changes_ = 0;
  std::shared_ptr<net::LoadHandle> load_;
  // The page's images on their way, by a number of their own; they stop with the page.
  std::map<uint64_t, std::shared_ptr<net::LoadHandle>> resource_loads_;
  uint64_t next_resource_ = 0;
  // The cookie store of the page's load (null: the shared store), for document.cookie.
  std::shared_ptr<net::CookieStore> page_cookies_;
  uint64_t generation_ = 0;
  bool detached_ = false;
};

class Browser final : public EngineObject<cef_browser_t> {
 public:
  using Record = cef_browser_t;
  Browser(const cef_window_info_t& info, ProgramRef<cef_client_t> client, bool popup,
          cef_window_handle_t opener);
  ~Browser() override;

  // Main thread: makes the window, asks the client for its handlers, reports the new
  // browser and loads `url`. False when the window cannot be made.
  bool Open(const std::u16string& url);
  // Main thread. `ask` lets the life-span handler's do_close keep the browser open.
  void Close(bool ask);
  // Every open browser is closed (engine shutdown), without asking.
  static void CloseAll();
  // Main thread: the browser is closing or closed; it starts no new load.
  bool closed() const { return closed_; }

  int id() const { return id_; }
  cef_window_handle_t window() const;

  // Calls to the client's handlers; each hands the handler its own references.
  // False when the request handler cancels the frame's navigation to `request` (`redirect`:
  // a redirect of the navigation's load).
  bool AllowNavigation(Frame& frame, const net::LoadRequest& request, cef_handler_navtype_t navigation,
                       bool redirect = false);
  // The request handler with a reference of the caller's own (loads ask it on the IO
  // thread); empty without one. Any thread.
  ProgramRef<cef_request_handler_t> RequestHandler() const;
  // A document's response for the request handler's on_resource_response; a content
  // filter it gives replaces the body with what the filter makes of it (a body past the
  // engine's limit turns the result into a failure). A body still arriving is filtered as
  // it comes: the filter is answered for Download.
  ProgramRef<cef_content_filter_t> ResponseArrived(net::LoadResult& result);
  // A response that is a download, for the request handler's get_download_handler: an
  // accepted one streams into the handler it gives (through `filter`, if any), a refused
  // one is dropped. A download still arriving goes on until it ends or the browser closes.
  void Download(net::LoadResult result, ProgramRef<cef_content_filter_t> filter);
  void NotifyLoadStart(Frame& frame);
  void NotifyLoadEnd(Frame& frame, int status);
  // True when the handler replaced the error text.
  bool NotifyLoadError(Frame& frame, int code, const std::u16string& url, std::u16string& text);
  void NotifyAddress(Frame& frame, const std::u16string& url);
  void NotifyTitle(const std::u16string& title);
  void NotifyIcons(const std::vector<std::u16string>& urls);
  void NotifyConsole(const std::u16string& message, const std::u16string& source, int line);
  void RequestPopup(const std::u16string& url, const std::u16string& features);
  // The main frame committed a page; a new navigation adds it to the history.
  void MainFrameCommitted(const std::u16string& url, std::optional<std::u16string> content, bool history);
  // The main frame's page changed: `text` is what the view shows of it.
  void UpdateWindow(const std::u16string& title, const dom::TextRope& text);
  bool IsFocused(const Frame& frame) const;
  // Find, zoom and the input handlers of this browser (page_input.h).
  PageInput& input() const { return *input_; }

  // Geolocation (geolocation.cpp). Main thread. Asks the geolocation handler whether the
  // page at `url` may know the position; `answer` runs once, later, with the position
  // or an error. Returns the request's id.
  int RequestGeolocation(const std::u16string& url, std::function<void(const cef_geoposition_t&)> answer);
  // The page no longer wants the answer: a question still open is withdrawn.
  void CancelGeolocation(int request);
  // The program's answer through the permission callback.
  void AnswerGeolocation(int request, bool allow);

  // Main thread. The screen's rectangle and a view point on the screen: the render
  // handler's for an off-screen browser, the window's otherwise; false when unknown.
  bool ScreenRect(cef_rect_t& rect);
  bool ScreenPoint(int x, int y, int& screen_x, int& screen_y);
  // Prints the frame's page (printing.cpp).
  void Print(Frame& frame);
  // Drags (drag.cpp): the page drags the element with that id (-1 none, 0 cancelled by
  // the drag handler, 1 started); something dragged from outside is dropped (0 refused).
  int DragElement(const std::u16string& element_id);
  int Drop(DragContent content);
  // Page script (page_script.cpp): the script-context handler's calls; the records are
  // lent by the caller.
  void NotifyContextCreated(Frame& frame, cef_v8context_t* context);
  void NotifyContextReleased(Frame& frame, cef_v8context_t* context);
  void NotifyUncaughtException(Frame& frame, cef_v8context_t* context, cef_v8exception_t* exception,
                               cef_v8stack_trace_t* trace);
  // The script dialog handler, else the engine's own dialogs (dialogs.h).
  void RunAlert(Frame& frame, const std::u16string& message);
  bool RunConfirm(Frame& frame, const std::u16string& message);
  std::optional<std::u16string> RunPrompt(Frame& frame, const std::u16string& message,
                                          const std::u16string& default_text);
  // False when the permission handler keeps the extension out of the frame's new page.
  bool AllowExtension(Frame& frame, const std::u16string& name);

 private:
  friend struct BrowserEntries;
  friend class PageInput;
  static void BrowserEntriesBind(cef_browser_t* record);
  struct HistoryEntry {
    std::u16string url;
    std::optional<std::u16string> content;  // pages from load_string / load_stream
  };
  // Reports the close and lets go of the page, the client and its handlers.
  void FinishClose();
  void Navigate(int delta);
  void ReportNavState();
  EngineRef<Frame> MainFrame() const;
  EngineRef<Frame> FindFrame(const std::u16string& name) const;
  std::vector<EngineRef<Frame>> AllFrames() const;

  const int id_;
  cef_window_info_t info_;
  std::u16string window_name_;
  const bool popup_;
  const cef_window_handle_t opener_;
  mutable std::mutex mutex_;  // the members read on any thread below
  ProgramRef<cef_client_t> client_;
  EngineRef<Frame> main_frame_;
  int64_t focused_frame_ = 0;
  bool has_document_ = false;
  cef_window_handle_t handle_ = nullptr;
  std::vector<HistoryEntry> history_;
  int history_index_ = -1;
  bool closed_ = false;
  // Main thread only.
  bool finished_ = false;
  ProgramRef<cef_life_span_handler_t> life_span_;
  ProgramRef<cef_load_handler_t> load_handler_;
  ProgramRef<cef_request_handler_t> request_handler_;  // set once by Open, before any load
  ProgramRef<cef_display_handler_t> display_;
  ProgramRef<cef_v8context_handler_t> v8context_;
  ProgramRef<cef_jsdialog_handler_t> jsdialog_;
  ProgramRef<cef_permission_handler_t> permission_;
  std::unique_ptr<BrowserWindow> window_;
  struct GeolocationRequest {
    std::u16string url;
    std::function<void(const cef_geoposition_t&)> answer;
  };
  ProgramRef<cef_geolocation_handler_t> geolocation_;
  ProgramRef<cef_print_handler_t> print_;
  ProgramRef<cef_drag_handler_t> drag_;
  std::unique_ptr<OffscreenView> view_;  // with window rendering disabled, instead of window_
  std::map<int, GeolocationRequest> geolocation_requests_;         // asked, not yet answered
  std::vector<std::shared_ptr<net::StreamedDownload>> downloads_;  // still arriving
  const std::unique_ptr<PageInput> input_;
};

}  // namespace cef_engine::browser
