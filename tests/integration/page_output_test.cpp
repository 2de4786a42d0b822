// The page's output side against our engine, through the binding: geolocation (page
// script asking the program, the program's own position request), off-screen painting,
// printing and programmatic drags. Each test leaves no engine object alive.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/drag_handler.h"
#include "ceflib/bridges/geolocation.h"
#include "ceflib/bridges/input_handlers.h"
#include "ceflib/bridges/print_handler.h"
#include "ceflib/bridges/render_handler.h"
#include "ceflib/wrappers/browser.h"
#include "support/engine_loop.h"
#include "support/engine_probe.h"

#if defined(_WIN32)
#include <windows.h>
#undef LoadString  // windows.h's macro would rename the frame's member
#endif

namespace {

using namespace ceflib;
using engine_loop::RunUntil;

std::string Narrow(const ustring& text) {
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// The engine's position source; empty text unsets it.
void SetPositionSource(const char* text) {
#if defined(_WIN32)
  std::wstring wide;
  for (const char* c = text; *c; ++c) wide += static_cast<wchar_t>(*c);
  SetEnvironmentVariableW(L"CEF_ENGINE_GEOPOSITION", *text ? wide.c_str() : nullptr);
#else
  if (*text)
    setenv("CEF_ENGINE_GEOPOSITION", text, 1);
  else
    unsetenv("CEF_ENGINE_GEOPOSITION");
#endif
}

#if defined(_WIN32)
constexpr uint32_t kHiddenWindow = WS_POPUP;
#else
constexpr uint32_t kHiddenWindow = 0;
#endif

class EngineRun : public testing::Environment {
 public:
  void SetUp() override { CefEnsureEngine(); }
  void TearDown() override { CefShutdownEngine(); }
};
const auto* const engine_run = testing::AddGlobalTestEnvironment(new EngineRun);

// Titles the pages set, and the browsers made and closed.
class TPageLog : public TCefDisplayHandlerOwn {
 public:
  void OnTitleChange(const RefPtr<ICefBrowser>&, const ustring& title) override {
    titles.push_back(Narrow(title));
  }
  bool Has(const std::string& title) const {
    return std::find(titles.begin(), titles.end(), title) != titles.end();
  }
  std::vector<std::string> titles;
};

class TLifeSpan : public TCefLifeSpanHandlerOwn {
 public:
  void OnAfterCreated(const RefPtr<ICefBrowser>& browser) override { browsers.push_back(browser); }
  void OnBeforeClose(const RefPtr<ICefBrowser>&) override { ++closed; }
  std::vector<RefPtr<ICefBrowser>> browsers;
  int closed = 0;
};

// Allows pages on allow.test, refuses the others, and keeps the question of pages on
// later.test open (the callback kept for later).
class TGeolocation : public TCefGeolocationHandlerOwn {
 public:
  void OnRequestGeolocationPermission(const RefPtr<ICefBrowser>&, const ustring& url, int id,
                                      const RefPtr<ICefGeolocationCallback>& callback) override {
    log.push_back("ask " + Narrow(url));
    ids.push_back(id);
    if (url.find(u"later.test") != ustring::npos)
      kept = callback;
    else
      callback->Cont(url.find(u"allow.test") != ustring::npos);
  }
  void OnCancelGeolocationPermission(const RefPtr<ICefBrowser>&, const ustring& url, int id) override {
    log.push_back("cancel " + Narrow(url) + (id == ids.back() ? " same id" : " other id"));
  }
  std::vector<std::string> log;
  std::vector<int> ids;
  RefPtr<ICefGeolocationCallback> kept;
};

// Failed loads, by address.
class TLoad : public TCefLoadHandlerOwn {
 public:
  bool OnLoadError(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, int, const ustring& url,
                   ustring&) override {
    failed.push_back(Narrow(url));
    return false;
  }
  std::vector<std::string> failed;
};

class TFind : public TCefFindHandlerOwn {
 public:
  void OnFindResult(const RefPtr<ICefBrowser>&, int, int, const cef_rect_t* rect, int, bool) override {
    found.push_back(*rect);
  }
  std::vector<cef_rect_t> found;
};

class TClient : public TCefClientOwn {
 public:
  RefPtr<ICefBase> GetFindHandler() override { return find; }
  RefPtr<ICefBase> GetLifeSpanHandler() override { return life_span; }
  RefPtr<ICefBase> GetLoadHandler() override { return load; }
  RefPtr<ICefBase> GetDisplayHandler() override { return pages; }
  RefPtr<ICefBase> GetGeolocationHandler() override { return geolocation; }
  RefPtr<ICefBase> GetRenderHandler() override { return render; }
  RefPtr<ICefBase> GetPrintHandler() override { return print; }
  RefPtr<ICefBase> GetDragHandler() override { return drag; }
  RefPtr<TLifeSpan> life_span = Make<TLifeSpan>();
  RefPtr<TLoad> load = Make<TLoad>();
  RefPtr<TPageLog> pages = Make<TPageLog>();
  RefPtr<TGeolocation> geolocation = Make<TGeolocation>();
  RefPtr<TFind> find = Make<TFind>();
  RefPtr<ICefBase> render, print, drag;
};

class PageOutput : public testing::Test {
 protected:
  void TearDown() override {
    for (auto& browser : client_->life_span->browsers) browser->CloseBrowser();
    const int open = static_cast<int>(client_->life_span->browsers.size());
    EXPECT_TRUE(RunUntil([&] { return client_->life_span->closed >= open; }));
    client_->life_span->browsers.clear();
    client_->geolocation->kept = nullptr;
    SetPositionSource("");
    EXPECT_EQ(engine_probe::LiveObjects(), 0) << "engine objects left alive by the test";
  }

  RefPtr<ICefBrowser> Open() {
    cef_window_info_t info{};
    info.m_dwStyle = kHiddenWindow;
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    return CefBrowserCreateSync(info, client_, u"", settings);
  }

  // Shows `script` in a page at `url` and waits for the title it sets.
  void Show(const RefPtr<ICefBrowser>& browser, const std::string& script, const ustring& url) {
    const std::string html =
        "<html><head><title>waiting</title></head><body><script>" + script + "</script></body></html>";
    browser->GetMainFrame()->LoadString(ustring(html.begin(), html.end()), url);
  }

  RefPtr<TClient> client_ = Make<TClient>();
};

constexpr char kAskOnce[] =
    "navigator.geolocation.getCurrentPosition(function(p) {"
    "  document.title = 'at ' + p.coords.latitude + ' ' + p.coords.longitude + ' ' + p.coords.accuracy;"
    "}, function(e) { document.title = 'error ' + e.code + ' ' + (e.code == e.PERMISSION_DENIED); });";

TEST_F(PageOutput, PageScriptGetsThePositionOnlyWhenTheProgramAllows) {
  auto browser = Open();
  ASSERT_NE(browser, nullptr);
  auto& pages = *client_->pages;
  SetPositionSource("52.5,13.25,30");
  Show(browser, kAskOnce, u"http://allow.test/");
  ASSERT_TRUE(RunUntil([&] { return pages.Has("at 52.5 13.25 30"); }));
  Show(browser, kAskOnce, u"http://deny.test/");
  ASSERT_TRUE(RunUntil([&] { return pages.Has("error 1 true"); }));
  // Allowed, but no source (unset, then malformed): position unavailable.
  SetPositionSource("");
  Show(browser, kAskOnce, u"http://allow.test/none");
  ASSERT_TRUE(RunUntil([&] { return pages.Has("error 2 false"); }));
  pages.titles.clear();
  SetPositionSource("north,south");
  Show(browser, kAskOnce, u"http://allow.test/bad");
  ASSERT_TRUE(RunUntil([&] { return pages.Has("error 2 false"); }));
  // A watch gets its position and stops with clearWatch; a success function that is no
  // function is refused at once.
  SetPositionSource("-33.5,151.25");
  Show(browser,
       "var id = navigator.geolocation.watchPosition(function(p) {"
       "  navigator.geolocation.clearWatch(id); document.title = 'watched ' + p.coords.longitude; });"
       "try { navigator.geolocation.getCurrentPosition(5); } catch (e) { document.title = e.name; }",
       u"http://allow.test/watch");
  ASSERT_TRUE(RunUntil([&] { return pages.Has("watched 151.25"); }));
  EXPECT_TRUE(pages.Has("TypeError"));
  EXPECT_EQ(client_->geolocation->log,
            (std::vector<std::string>{"ask http://allow.test/", "ask http://deny.test/",
                                      "ask http://allow.test/none", "ask http://allow.test/bad",
                                      "ask http://allow.test/watch"}));
}

TEST_F(PageOutput, AQuestionLeftOpenIsWithdrawnWhenThePageGoesAndALateAnswerIsIgnored) {
  auto browser = Open();
  ASSERT_NE(browser, nullptr);
  auto& geolocation = *client_->geolocation;
  SetPositionSource("1,2");
  Show(browser, kAskOnce, u"http://later.test/");
  ASSERT_TRUE(RunUntil([&] { return geolocation.kept != nullptr; }));
  Show(browser, "document.title = 'next page';", u"http://other.test/");
  ASSERT_TRUE(RunUntil([&] { return client_->pages->Has("next page"); }));
  EXPECT_EQ(geolocation.log,
            (std::vector<std::string>{"ask http://later.test/", "cancel http://later.test/ same id"}));
  geolocation.kept->Cont(true);  // too late: nothing reaches the new page
  Show(browser, "document.title = 'third page';", u"http://other.test/3");
  ASSERT_TRUE(RunUntil([&] { return client_->pages->Has("third page"); }));
  EXPECT_FALSE(client_->pages->Has("at 1 2 0"));
  // Closing the browser withdraws an open question as well.
  Show(browser, kAskOnce, u"http://later.test/closing");
  ASSERT_TRUE(RunUntil([&] { return geolocation.log.size() == 3; }));
  browser->CloseBrowser();
  ASSERT_TRUE(RunUntil([&] { return client_->life_span->closed == 1; }));
  EXPECT_EQ(geolocation.log.back(), "cancel http://later.test/closing same id");
}

TEST_F(PageOutput, TheProgramsOwnPositionRequestIsAnsweredOnTheMainThread) {
  std::vector<TCefGeoposition> answers;
  bool main_thread = true;
  auto record = [&](const TCefGeoposition& position) {
    main_thread = main_thread && CefIsMainThread();
    answers.push_back(position);
  };
  SetPositionSource("48.125,-11.5,5,420");
  ASSERT_TRUE(CefGetGeolocation(record));
  ASSERT_TRUE(RunUntil([&] { return answers.size() == 1; }));
  SetPositionSource("");
  ASSERT_TRUE(CefGetGeolocation(record));
  ASSERT_TRUE(RunUntil([&] { return answers.size() == 2; }));
  EXPECT_TRUE(main_thread);
  EXPECT_EQ(answers[0].errorCode, GEOPOSITON_ERROR_NONE);
  EXPECT_EQ(answers[0].latitude, 48.125);
  EXPECT_EQ(answers[0].longitude, -11.5);
  EXPECT_EQ(answers[0].accuracy, 5);
  EXPECT_EQ(answers[0].altitude, 420);
  EXPECT_GT(answers[0].timestamp, 0);
  EXPECT_EQ(answers[1].errorCode, GEOPOSITON_ERROR_POSITION_UNAVAILABLE);
  EXPECT_NE(Narrow(answers[1].errorMessage).find("CEF_ENGINE_GEOPOSITION"), std::string::npos);
}

// Records every paint of an off-screen browser (the pixels copied: the buffer is lent for
// the call), and answers the view and screen geometry a test sets.
class TRender : public TCefRenderHandlerOwn {
 public:
  struct Paint {
    std::vector<cef_rect_t> dirty;
    std::vector<uint32_t> pixels;
  };
  bool GetViewRect(const RefPtr<ICefBrowser>&, cef_rect_t& rect) override {
    rect = {0, 0, 320, 200};
    return true;
  }
  bool GetScreenRect(const RefPtr<ICefBrowser>&, cef_rect_t& rect) override {
    rect = {0, 0, 1920, 1080};
    return true;
  }
  bool GetScreenPoint(const RefPtr<ICefBrowser>&, int x, int y, int& screenX, int& screenY) override {
    screenX = x + 100;
    screenY = y + 50;
    return true;
  }
  void OnPaint(const RefPtr<ICefBrowser>& browser, TCefPaintElementType type,
               std::span<const cef_rect_t> dirty, const void* buffer) override {
    int width = 0, height = 0;
    ASSERT_EQ(type, PET_VIEW);
    ASSERT_TRUE(browser->GetSize(PET_VIEW, width, height));
    const auto* pixels = static_cast<const uint32_t*>(buffer);
    paints.push_back({{dirty.begin(), dirty.end()}, {pixels, pixels + static_cast<size_t>(width) * height}});
    if (throw_on_paint) throw std::runtime_error("paint failed");
  }
  void OnCursorChange(const RefPtr<ICefBrowser>&, TCefCursorHandle cursor) override {
    cursors.push_back(cursor);
  }
  std::vector<Paint> paints;
  std::vector<TCefCursorHandle> cursors;
  bool throw_on_paint = false;
};

bool Same(const cef_rect_t& a, const cef_rect_t& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

// Whether the band of rows [top, bottom) of a width-wide image holds a pixel other than
// opaque white, from column `left` on.
bool Inked(const std::vector<uint32_t>& pixels, int width, int top, int bottom, int left = 0) {
  for (int y = top; y < bottom; ++y)
    for (int x = std::max(left, 0); x < width; ++x)
      if (pixels[static_cast<size_t>(y) * width + x] != 0xFFFFFFFFu) return true;
  return false;
}

TEST_F(PageOutput, AnOffScreenBrowserPaintsItsPageForTheRenderHandler) {
  auto render = Make<TRender>();
  client_->render = render;
  cef_window_info_t info{};
  info.m_bWindowRenderingDisabled = 1;
  cef_browser_settings_t settings{};
  settings.size = sizeof(settings);
  auto browser = CefBrowserCreateSync(info, client_, u"", settings);
  ASSERT_NE(browser, nullptr);
  EXPECT_TRUE(browser->IsWindowRenderingDisabled());
  EXPECT_EQ(browser->GetWindowHandle(), nullptr) << "no window";
  ASSERT_EQ(render->cursors.size(), 1u);
  EXPECT_NE(render->cursors[0], nullptr);
  // The first paint: the whole view, white, the title in the top band, nothing in the
  // margin above it; the page's script reads the handler's screen.
  Show(browser,
       "document.title = 'Paint ' + screen.width + 'x' + screen.height + ' at ' + window.screenX;"
       "document.write('iiiiiiii WWWW');",
       u"http://paint.test/");
  ASSERT_TRUE(RunUntil([&] { return client_->pages->Has("Paint 1920x1080 at 100"); }));
  ASSERT_TRUE(RunUntil([&] { return !render->paints.empty(); }));
  const auto first = render->paints.back();
  ASSERT_EQ(first.dirty.size(), 1u);
  EXPECT_TRUE(Same(first.dirty[0], {0, 0, 320, 200}));
  ASSERT_EQ(first.pixels.size(), 320u * 200u);
  EXPECT_EQ(first.pixels[0], 0xFFFFFFFFu);
  EXPECT_FALSE(Inked(first.pixels, 320, 0, 6)) << "the margin stays white";
  EXPECT_TRUE(Inked(first.pixels, 320, 6, 30)) << "the title is painted";
  // The text is drawn where find (and hit testing) place it, narrow letters and wide
  // ones alike: the line's ink ends where the rectangle of its last word does.
  browser->Find(u"WWWW", 1, true, true, false);
  ASSERT_TRUE(RunUntil([&] { return !client_->find->found.empty(); }));
  const cef_rect_t wide = client_->find->found[0];
  EXPECT_TRUE(Inked(first.pixels, 320, wide.y, wide.y + wide.height, wide.x + wide.width - 3));
  EXPECT_FALSE(Inked(first.pixels, 320, wide.y, wide.y + wide.height, wide.x + wide.width + 2));
  // A part painted again: its rectangle, clipped to the view; one outside paints nothing.
  const size_t painted = render->paints.size();
  browser->Invalidate({300, 190, 50, 50});
  browser->Invalidate({400, 400, 5, 5});
  ASSERT_TRUE(RunUntil([&] { return render->paints.size() > painted; }));
  EXPECT_TRUE(Same(render->paints.back().dirty.at(0), {300, 190, 20, 10}));
  EXPECT_EQ(render->paints.back().dirty.size(), 1u);
  // A new size paints everything at that size; the image is the last paint's.
  browser->SetSize(PET_VIEW, 100, 40);
  ASSERT_TRUE(RunUntil([&] { return render->paints.back().pixels.size() == 100u * 40u; }));
  EXPECT_TRUE(Same(render->paints.back().dirty.at(0), {0, 0, 100, 40}));
  std::vector<uint32_t> image(100 * 40);
  EXPECT_TRUE(browser->GetImage(PET_VIEW, 100, 40, image.data()));
  EXPECT_EQ(image, render->paints.back().pixels);
  EXPECT_FALSE(browser->GetImage(PET_VIEW, 320, 200, image.data())) << "not the view's size";
  EXPECT_FALSE(browser->GetImage(PET_POPUP, 100, 40, image.data())) << "no pop-up widget";
  // A handler that throws is reported; the view goes on painting. A size of no pixels is
  // ignored.
  browser->SetSize(PET_VIEW, 0, -5);
  render->throw_on_paint = true;
  browser->Invalidate({0, 0, 10, 10});
  ASSERT_TRUE(RunUntil([&] { return render->paints.back().dirty.at(0).width == 10; }));
  render->throw_on_paint = false;
  const size_t after_throw = render->paints.size();
  browser->Invalidate({0, 0, 20, 20});
  ASSERT_TRUE(RunUntil([&] { return render->paints.size() > after_throw; }));
  EXPECT_EQ(render->paints.back().pixels.size(), 100u * 40u);
}

// Letter in landscape with margins of an inch, unless told to ask for margins that leave
// no room; records every page's call.
class TPrint : public TCefPrintHandlerOwn {
 public:
  bool GetPrintOptions(const RefPtr<ICefBrowser>&, TCefPrintOptions& options) override {
    asked_a4 = options.paper_metrics.paper_type == PT_A4 && options.page_orientation == PORTRAIT;
    options.page_orientation = LANDSCAPE;
    options.paper_metrics.paper_type = PT_LETTER;
    options.paper_margins.left = options.paper_margins.right = options.paper_margins.top =
        options.paper_margins.bottom = no_room ? 6 : 1;
    return true;
  }
  bool GetPrintHeaderFooter(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>& frame,
                            const TCefPrintInfo& info, const ustring& url, const ustring& title, int page,
                            int pages, ustring& topLeft, ustring&, ustring&, ustring&, ustring& bottomCenter,
                            ustring&) override {
    calls.push_back(Narrow(title) + " " + Narrow(url) + " " + std::to_string(page) + "/" +
                    std::to_string(pages) + (frame && frame->IsMain() ? " main" : " no frame") +
                    (info.m_Scale == 1 ? "" : " scaled"));
    topLeft = title;
    bottomCenter = u"page " + ustring(1, static_cast<char16_t>(u'0' + page % 10));
    return false;
  }
  bool asked_a4 = false, no_room = false;
  std::vector<std::string> calls;
};

TEST_F(PageOutput, PrintingAsksForOptionsAndEachPagesHeaderAndFooter) {
  auto print = Make<TPrint>();
  client_->print = print;
  auto browser = Open();
  ASSERT_NE(browser, nullptr);
  // 1200 words of 9 characters: 120 lines of 90 columns on Letter in landscape with
  // margins of an inch (9 x 6.5 inches of 10 characters and 6 lines an inch: 39 lines a
  // page), so 4 pages.
  std::string words;
  for (int i = 0; i < 1200; ++i) words += "abcdefgh ";
  Show(browser, "document.write('" + words + "'); document.title = 'Long';", u"http://print.test/long");
  ASSERT_TRUE(RunUntil([&] { return client_->pages->Has("Long"); }));
  browser->GetMainFrame()->Print();
  ASSERT_TRUE(RunUntil([&] { return print->calls.size() == 4; }));
  EXPECT_TRUE(print->asked_a4) << "A4 portrait unless the program says otherwise";
  EXPECT_EQ(print->calls,
            (std::vector<std::string>{
                "Long http://print.test/long 1/4 main", "Long http://print.test/long 2/4 main",
                "Long http://print.test/long 3/4 main", "Long http://print.test/long 4/4 main"}));
  // Margins that leave no room: the defaults (A4 portrait, half an inch: 72 columns, 64
  // lines), so 10800 characters in 150 lines give 3 pages.
  print->calls.clear();
  print->no_room = true;
  browser->GetMainFrame()->Print();
  ASSERT_TRUE(RunUntil(
      [&] { return !print->calls.empty() && print->calls.back().find(" 3/3 ") != std::string::npos; }));
  EXPECT_EQ(print->calls.size(), 3u);
}

// Cancels drags of fragments, refuses drags of files from outside; records the rest.
class TDrag : public TCefDragHandlerOwn {
 public:
  bool OnDragStart(const RefPtr<ICefBrowser>&, const RefPtr<ICefDragData>& data,
                   TCefDragOperationsMask mask) override {
    log.push_back("start " + Describe(data) + " mask " + std::to_string(mask));
    return !data->IsLink();
  }
  bool OnDragEnter(const RefPtr<ICefBrowser>&, const RefPtr<ICefDragData>& data,
                   TCefDragOperationsMask mask) override {
    std::vector<ustring> names;
    const bool listed = data->GetFileNames(names);
    log.push_back("enter " + Describe(data) + " mask " + std::to_string(mask) + (listed ? " files" : ""));
    for (const auto& name : names) log.back() += " " + Narrow(name);
    return data->IsFile();
  }
  static std::string Describe(const RefPtr<ICefDragData>& data) {
    if (data->IsLink())
      return "link " + Narrow(data->GetLinkUrl()) + " '" + Narrow(data->GetLinkTitle()) + "'";
    if (data->IsFile()) return "file " + Narrow(data->GetFileName());
    return "fragment '" + Narrow(data->GetFragmentText()) + "' " + Narrow(data->GetFragmentHtml()) +
           " from " + Narrow(data->GetFragmentBaseUrl());
  }
  std::vector<std::string> log;
};

TEST_F(PageOutput, ProgrammaticDragsReachTheDragHandlerAndADroppedLinkIsLoaded) {
  auto drag = Make<TDrag>();
  client_->drag = drag;
  auto browser = Open();
  ASSERT_NE(browser, nullptr);
  Show(browser, "document.title = 'Drag';", u"http://drag.test/page");
  ASSERT_TRUE(RunUntil([&] { return client_->pages->Has("Drag"); }));
  browser->GetMainFrame()->LoadString(
      u"<title>Drag</title><a id='l' href='/next' title='Next page'>go</a><p id='t'>Some <b>text</b></p>",
      u"http://drag.test/page");
  client_->pages->titles.clear();
  ASSERT_TRUE(RunUntil([&] { return client_->pages->Has("Drag"); }));
  const auto drag_element =
      engine_probe::Export<int (*)(cef_browser_t*, const cef_string_t*)>("cef_engine_drag_element");
  const auto drop = engine_probe::Export<int (*)(cef_browser_t*, const cef_string_t*, const cef_string_t*,
                                                 cef_string_list_t)>("cef_engine_drop");
  ASSERT_NE(drag_element, nullptr);
  ASSERT_NE(drop, nullptr);
  auto* record = reinterpret_cast<cef_browser_t*>(CefDataOf(browser));
  auto id = [](const ustring& text) { return CefStringView(text); };
  const ustring link = u"l", text = u"t", missing = u"none";
  const cef_string_t link_id = id(link), text_id = id(text), missing_id = id(missing);
  EXPECT_EQ(drag_element(record, &link_id), 1);
  EXPECT_EQ(drag_element(record, &text_id), 0) << "cancelled by the handler";
  EXPECT_EQ(drag_element(record, &missing_id), -1);
  const ustring dropped = u"http://drag.test/dropped", file_a = u"a.txt", file_b = u"b.txt";
  const cef_string_t dropped_view = id(dropped);
  cef_string_list_t files = cef_string_list_alloc();
  for (const ustring* name : {&file_a, &file_b}) {
    const cef_string_t view = id(*name);
    cef_string_list_append(files, &view);
  }
  EXPECT_EQ(drop(record, nullptr, nullptr, files), 0) << "files refused";
  cef_string_list_free(files);
  EXPECT_EQ(drop(record, &dropped_view, nullptr, nullptr), 1);
  record->base.release(&record->base);
  ASSERT_TRUE(RunUntil([&] { return !client_->load->failed.empty(); }));
  EXPECT_EQ(client_->load->failed, std::vector<std::string>{"http://drag.test/dropped"})
      << "the dropped link loads";
  EXPECT_EQ(
      drag->log,
      (std::vector<std::string>{
          "start link http://drag.test/next 'Next page' mask 19",
          "start fragment 'Some text' <p id=\"t\">Some <b>text</b></p> from http://drag.test/page mask 17",
          "enter file a.txt mask -1 files a.txt b.txt",
          "enter link http://drag.test/dropped 'http://drag.test/dropped' mask -1"}));
}

}  // namespace
