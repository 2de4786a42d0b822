// The page's output side against our engine, through the binding: geolocation (page
// script asking the program, the program's own position request), off-screen painting,
// printing and programmatic drags. Each test leaves no engine object alive.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/geolocation.h"
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

class TClient : public TCefClientOwn {
 public:
  RefPtr<ICefBase> GetLifeSpanHandler() override { return life_span; }
  RefPtr<ICefBase> GetDisplayHandler() override { return pages; }
  RefPtr<ICefBase> GetGeolocationHandler() override { return geolocation; }
  RefPtr<TLifeSpan> life_span = Make<TLifeSpan>();
  RefPtr<TPageLog> pages = Make<TPageLog>();
  RefPtr<TGeolocation> geolocation = Make<TGeolocation>();
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

}  // namespace
