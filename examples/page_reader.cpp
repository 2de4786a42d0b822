// Headless page reader: loads the address given on the command line (http:// or
// file://), prints the page's title and text when the load ends, and exits with 0.
// A failed load prints the engine's error and exits with 1.
#include <cstdio>
#include <string>

#include "ceflib/bridges/client.h"
#include "ceflib/core/engine_library.h"

using namespace ceflib;

// What the handlers learn about the page. Every handler runs on the main thread.
struct TPage {
  ustring title, text, error;
  RefPtr<ICefBrowser> browser;
};

class TLifeSpan : public TCefLifeSpanHandlerOwn {
 public:
  explicit TLifeSpan(TPage& page) : FPage(page) {}
  void OnAfterCreated(const RefPtr<ICefBrowser>& browser) override { FPage.browser = browser; }
  void OnBeforeClose(const RefPtr<ICefBrowser>&) override { cef_quit_message_loop(); }

 private:
  TPage& FPage;
};

class TLoad : public TCefLoadHandlerOwn {
 public:
  explicit TLoad(TPage& page) : FPage(page) {}
  bool OnLoadError(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, int errorCode, const ustring& url,
                   ustring& errorText) override {
    FPage.error = u"error " + CefFromUtf8(std::to_string(errorCode)) + u" loading " + url + u": " + errorText;
    return false;  // no error page of our own
  }
  // A failed load ends too (status 0); either way the reader is done with the page.
  void OnLoadEnd(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame, int) override {
    if (!frame || !frame->IsMain()) return;
    FPage.text = frame->GetText();
    browser->CloseBrowser();
  }

 private:
  TPage& FPage;
};

class TDisplay : public TCefDisplayHandlerOwn {
 public:
  explicit TDisplay(TPage& page) : FPage(page) {}
  void OnTitleChange(const RefPtr<ICefBrowser>&, const ustring& title) override { FPage.title = title; }

 private:
  TPage& FPage;
};

// The client hands the engine its three handlers.
class TReader : public TCefClientOwn {
 public:
  TPage page;
  RefPtr<ICefBase> GetLifeSpanHandler() override { return FLifeSpan; }
  RefPtr<ICefBase> GetLoadHandler() override { return FLoad; }
  RefPtr<ICefBase> GetDisplayHandler() override { return FDisplay; }

 private:
  RefPtr<ICefBase> FLifeSpan = Make<TLifeSpan>(page);
  RefPtr<ICefBase> FLoad = Make<TLoad>(page);
  RefPtr<ICefBase> FDisplay = Make<TDisplay>(page);
};

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: page_reader ADDRESS\n");
    return 2;
  }
  CefEnsureEngine();  // loads libcef and starts the engine on this thread
  int status = 0;
  {
    auto reader = Make<TReader>();
    cef_window_info_t window{};  // no parent: a window of its own
#if defined(_WIN32)
    window.m_dwStyle = 0x80000000;  // WS_POPUP without WS_VISIBLE: it stays hidden
#endif
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    if (!CefBrowserCreate(window, reader, CefFromUtf8(argv[1]), settings)) {
      std::fprintf(stderr, "the engine refused to open a browser\n");
      return 1;
    }
    CefRunMessageLoop();  // until OnBeforeClose quits it

    if (reader->page.error.empty()) {
      std::printf("title: %s\ntext:\n%s\n", CefToUtf8(reader->page.title).c_str(),
                  CefToUtf8(reader->page.text).c_str());
    } else {
      std::fprintf(stderr, "%s\n", CefToUtf8(reader->page.error).c_str());
      status = 1;
    }
  }                     // the last references to engine objects go here...
  CefShutdownEngine();  // ...before the engine shuts down
  return status;
}
