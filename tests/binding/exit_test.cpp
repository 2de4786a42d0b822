// A program that ends normally while its globals still hold binding objects (a browser
// and its frame, a request, maps, a list, a script value): the binding's own
// finalization shuts the engine down first (this file's globals are made before the
// binding library's, so they are destroyed after it), and the globals then give their
// engine resources back. The test fails when the program does not exit cleanly.
#include <gtest/gtest.h>

#include <optional>

#include "ceflib/bridges/client.h"
#include "ceflib/core/string_map.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/v8.h"
#include "support/engine_probe.h"

using namespace ceflib;

namespace {

RefPtr<ICefRequest> gRequest;
RefPtr<ICefStringMultimap> gHeaders;
RefPtr<ICefStringMap> gAttributes;
RefPtr<ICefV8Value> gValue;
std::optional<CefOwnedStringList> gList;
RefPtr<ICefBrowser> gBrowser;
RefPtr<ICefFrame> gFrame;

// Keeps the browser the engine made and ends the loop.
class TKeepBrowser : public TCefLifeSpanHandlerOwn {
 public:
  void OnAfterCreated(const RefPtr<ICefBrowser>& browser) override {
    gBrowser = browser;
    cef_quit_message_loop();
  }
};
class TClient : public TCefClientOwn {
 public:
  RefPtr<ICefBase> GetLifeSpanHandler() override { return FLifeSpan; }

 private:
  RefPtr<ICefBase> FLifeSpan = Make<TKeepBrowser>();
};

TEST(ProgramExit, GlobalsStillHoldingEngineObjectsAtExit) {
  CefLibraryName = engine_probe::kEngineName;
  CefEnsureEngine();
  ASSERT_NE(CefLibraryHandle, nullptr);
  gRequest = TCefRequestRef::New();
  ASSERT_NE(gRequest, nullptr);
  gRequest->SetUrl(u"http://example.test/");
  gHeaders = Make<TCefStringMultimapOwn>();
  gHeaders->Append(u"Accept", u"*/*");
  gRequest->SetHeaderMap(*gHeaders);
  gAttributes = Make<TCefStringMapOwn>();
  gAttributes->Append(u"id", u"main");
  gValue = TCefv8ValueRef::CreateString(u"kept");
  gList.emplace();
  gList->Append(u"item");

  cef_window_info_t info{};
  info.m_nWidth = 400;
  info.m_nHeight = 300;
#if defined(_WIN32)
  info.m_dwStyle = WS_POPUP;  // never shown
#endif
  cef_browser_settings_t settings{};
  settings.size = sizeof(settings);
  ASSERT_TRUE(CefBrowserCreate(info, Make<TClient>(), u"about:blank", settings));
  CefRunMessageLoop();  // until the browser exists
  ASSERT_NE(gBrowser, nullptr);
  gFrame = gBrowser->GetMainFrame();
  EXPECT_NE(gFrame, nullptr);
}

}  // namespace
