// Request handler: every request carries a header of ours and one host is blocked. Logs
// in to the demo site, loads an address of the blocked host and the site's page of the
// headers it received, printing what each load showed, then prints the site's cookies.
//   python3 site/server.py --port 18080 &   request_handler http://127.0.0.1:18080
#include <cstdio>
#include <vector>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/request_handler.h"
#include "ceflib/bridges/task.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/core/url_parts.h"

using namespace ceflib;

// Engine IO thread, before each request goes out.
class TRequests : public TCefRequestHandlerOwn {
 public:
  bool OnBeforeResourceLoad(const RefPtr<ICefBrowser>&, const RefPtr<ICefRequest>& request, ustring&,
                            RefPtr<ICefStreamReader>&, const RefPtr<ICefResponse>&, int) override {
    TCefUrlParts url;
    if (CefParseUrl(request->GetUrl(), url) && url.host == u"ads.example") return true;  // cancelled
    auto headers = Make<TCefStringMultimapOwn>();
    request->GetHeaderMap(*headers);
    headers->Append(u"X-Example", u"request_handler");
    request->SetHeaderMap(*headers);
    return false;
  }
};

// Main thread: loads the queued addresses one after another, then prints the cookies.
class TLoad : public TCefLoadHandlerOwn {
 public:
  ustring site;
  std::vector<ustring> queue;
  bool OnLoadError(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, int errorCode, const ustring& url,
                   ustring& errorText) override {
    std::printf("%s: error %d, %s\n", CefToUtf8(url).c_str(), errorCode, CefToUtf8(errorText).c_str());
    return false;
  }
  // A failed load ends too, with status 0.
  void OnLoadEnd(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame, int status) override {
    if (!frame || !frame->IsMain()) return;
    if (status != 0) {
      std::printf("%s: %d\n%s\n", CefToUtf8(frame->GetUrl()).c_str(), status,
                  CefToUtf8(frame->GetText()).c_str());
    }
    if (!queue.empty()) {
      frame->LoadUrl(queue.front());
      queue.erase(queue.begin());
      return;
    }
    // Cookie visitors run on the IO thread, at once when called there: visit from a task
    // there, then close the browser from a task on the main thread.
    CefPostTask(TID_IO, [site = site, browser](TCefThreadId) {
      std::printf("cookies of %s:\n", CefToUtf8(site).c_str());
      TCefCookieManagerRef::GetGlobalManager()->VisitUrlCookiesProc(
          site, true, [](const TCefCookie& cookie, int, int, bool&) {
            std::printf("  %s=%s%s\n", CefToUtf8(cookie.name).c_str(), CefToUtf8(cookie.value).c_str(),
                        cookie.httponly ? " (HttpOnly)" : "");
            return true;  // the next one
          });
      CefPostTask(TID_UI, [browser](TCefThreadId) { browser->CloseBrowser(); });
    });
  }
};

class TLifeSpan : public TCefLifeSpanHandlerOwn {
 public:
  void OnBeforeClose(const RefPtr<ICefBrowser>&) override { cef_quit_message_loop(); }
};

class TClient : public TCefClientOwn {
 public:
  RefPtr<TLoad> load = Make<TLoad>();
  RefPtr<ICefBase> GetRequestHandler() override { return FRequests; }
  RefPtr<ICefBase> GetLoadHandler() override { return load; }
  RefPtr<ICefBase> GetLifeSpanHandler() override { return FLifeSpan; }

 private:
  RefPtr<ICefBase> FRequests = Make<TRequests>();
  RefPtr<ICefBase> FLifeSpan = Make<TLifeSpan>();
};

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: request_handler SITE_ADDRESS\n");
    return 2;
  }
  CefEnsureEngine();
  {
    auto client = Make<TClient>();
    client->load->site = CefFromUtf8(argv[1]);
    client->load->queue = {u"http://ads.example/banner.html", client->load->site + u"/headers"};
    cef_window_info_t window{};
#if defined(_WIN32)
    window.m_dwStyle = 0x80000000;  // WS_POPUP without WS_VISIBLE: it stays hidden
#endif
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    if (!CefBrowserCreate(window, client, client->load->site + u"/login?user=player", settings)) {
      std::fprintf(stderr, "the engine refused to open a browser\n");
      return 1;
    }
    CefRunMessageLoop();  // until OnBeforeClose quits it
  }
  CefShutdownEngine();
  return 0;
}
