// A loaded page: its document and its script context, and what the page asks of the
// frame that shows it. The browser module makes one Page per load of a frame and talks
// to the page only through this header. Everything here runs on the main thread.
//
//   class MyFrame : public script::FrameHooks { ... };
//   auto page = script::Page::Load(html, url, hooks);  // parses, runs scripts, fires DOMContentLoaded
//   hooks: on_title_change(page->Title()); page->Frames() -> child frames; page->IconUrls()
//   page->FireLoad();                                  // after the frame's load completed
//   frame.get_text -> page->Text(); get_source -> page->Source()
//   frame.execute_java_script -> page->ExecuteJavaScript(code, url, line)
//   frame.get_v8context -> page->ShareV8Context(); visit_dom -> page->VisitDom(visitor)
//   destroying the Page invalidates its context; records the program holds stay safe.
//   Never destroy a Page from inside its own calls (FrameHooks, or program handlers its
//   scripts call): post the destruction as a task.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cef/cef_records.h"
#include "dom/document.h"
#include "objects/engine_object.h"

namespace cef_engine::dom {
class HtmlParser;
}

namespace cef_engine::script {

class ContextState;

// What a frame offers its page's scripts. Called on the main thread, possibly while
// Page::Load is still running (scripts run during the parse).
class FrameHooks {
 public:
  virtual ~FrameHooks() = default;
  // document.title was set by script (the parsed <title> is read through Page::Title).
  virtual void TitleChanged(const std::u16string& title) = 0;
  // window.open(url, name, features) or a script click on <a target="_blank">; `url` is
  // resolved, `features` the text script gave (empty for a link).
  virtual void OpenWindow(const std::u16string& url, const std::u16string& features) = 0;
  // console.log and uncaught script errors.
  virtual void ConsoleMessage(const std::u16string& message, const std::u16string& source, int line) = 0;
  // The page's script context was made: its page objects and extensions are in place,
  // none of the page's scripts has run yet. Lent for the call.
  virtual void ContextCreated(cef_v8context_t* /*context*/) {}
  // A script error nothing caught, when the settings ask for stack traces. Lent.
  virtual void UncaughtException(cef_v8context_t* /*context*/, cef_v8exception_t* /*exception*/,
                                 cef_v8stack_trace_t* /*trace*/) {}
  // window.alert, confirm and prompt, answered by the frame; the script waits. Prompt's
  // answer is null (nullopt) when refused.
  virtual void Alert(const std::u16string& /*message*/) {}
  virtual bool Confirm(const std::u16string& /*message*/) { return false; }
  virtual std::optional<std::u16string> Prompt(const std::u16string& /*message*/,
                                               const std::u16string& /*default_text*/) {
    return std::nullopt;
  }
  // document.cookie: the page's cookies as a Cookie header would carry them (no HttpOnly
  // ones), and one cookie set in Set-Cookie syntax (an HttpOnly one is refused).
  virtual std::u16string Cookies() { return {}; }
  virtual void SetCookie(const std::u16string& /*line*/) {}
  // Whether the registered extension `name` is loaded into this page's new context.
  virtual bool AllowExtension(const std::u16string& /*name*/) { return true; }
  virtual cef_browser_t* ShareBrowser() = 0;  // +1 reference for the receiver, or null
  virtual cef_frame_t* ShareFrame() = 0;      // +1 reference for the receiver, or null
  virtual std::u16string Url() = 0;
  // navigator.geolocation asks for the position: `answer` runs at most once, later, on
  // the main thread, with a position or an error (error_code set). The result is the
  // request's id (0 when none was made: then `answer` never runs), for CancelGeolocation
  // when the page no longer wants an answer that has not come yet. Hooks without a
  // program to ask make no request.
  virtual int RequestGeolocation(std::function<void(const cef_geoposition_t&)> /*answer*/) { return 0; }
  virtual void CancelGeolocation(int /*request*/) {}
  // screen and window.screenX/Y: the screen's rectangle and where the view's point
  // (x, y) is on it; false when nobody tells (script reads 0).
  virtual bool ScreenRect(cef_rect_t& /*rect*/) { return false; }
  virtual bool ScreenPoint(int /*x*/, int /*y*/, int& /*screen_x*/, int& /*screen_y*/) { return false; }
};

class Page {
 public:
  // Parses `html` (never fails: bad markup is repaired, script errors go to
  // ConsoleMessage), running registered extensions first and then the page's scripts
  // where they stand, then fires DOMContentLoaded. `html` becomes the document's source
  // without a copy. `hooks` must outlive the page.
  static std::unique_ptr<Page> Load(dom::SourceText html, const std::u16string& url, FrameHooks& hooks);
  ~Page();
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  dom::Document& document() noexcept { return *document_; }
  ContextState& script() noexcept { return *script_; }

  std::u16string Title() const;
  std::u16string Text() const;
  std::shared_ptr<const dom::SourceText> Source() const;
  std::vector<dom::IFrameInfo> Frames() const;
  std::vector<std::u16string> IconUrls() const;
  std::vector<std::u16string> ImageUrls() const;

  // Runs script in the page's context (execute_java_script); errors go to ConsoleMessage.
  void ExecuteJavaScript(std::u16string_view code, std::u16string_view script_url, int start_line);
  // The page's context record with one reference for the receiver.
  cef_v8context_t* ShareV8Context();
  // visit_dom: calls the visitor with the document record, then releases the visitor.
  void VisitDom(ProgramRef<cef_domvisitor_t> visitor);
  // The window's load event (document and window listeners, then window.onload).
  void FireLoad();

 private:
  Page() = default;
  void Run(std::u16string_view code, int line);

  std::u16string url_;
  std::shared_ptr<dom::Document> document_;
  std::unique_ptr<dom::HtmlParser> parser_;
  std::shared_ptr<ContextState> script_;
};

}  // namespace cef_engine::script
