// A custom scheme: app://files/NAME serves the file NAME of the folder given on the
// command line, with the MIME type of its extension, or a 404 page when there is no
// such file. Loads each further argument as app://files/ARG and prints what came back.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ceflib/bridges/client.h"
#include "ceflib/bridges/scheme.h"
#include "ceflib/core/engine_library.h"
#include "ceflib/wrappers/scheme_registrar.h"

using namespace ceflib;

std::filesystem::path Folder;

// One handler per request. Registered for the main thread, so it runs there.
class TFileHandler : public TCefSchemeHandlerOwn {
 public:
  using TCefSchemeHandlerOwn::TCefSchemeHandlerOwn;

  bool ProcessRequest(const RefPtr<ICefRequest>& request,
                      const RefPtr<ICefSchemeHandlerCallback>& callback) override {
    const std::string url = CefToUtf8(request->GetUrl());
    const std::string name = url.substr(url.find("://files/") + 9);
    std::ifstream file;
    if (name.find("..") == std::string::npos) file.open(Folder / name, std::ios::binary);  // only the folder
    if (file.is_open()) {
      FData << file.rdbuf();
      FMimeType = MimeTypeOf(std::filesystem::path(name).extension().string());
    } else {
      FStatus = 404;
      FData << "<html><head><title>Not found</title></head><body>No file " << name << "</body></html>";
    }
    std::printf("serve %s: %d %s\n", name.c_str(), FStatus, CefToUtf8(FMimeType).c_str());
    callback->HeadersAvailable();  // everything is ready at once
    callback->BytesAvailable();
    return true;
  }
  void GetResponseHeaders(const RefPtr<ICefResponse>& response, int64_t& responseLength, ustring&) override {
    response->SetStatus(FStatus);
    response->SetStatusText(FStatus == 200 ? u"OK" : u"Not Found");
    response->SetMimeType(FMimeType);
    responseLength = static_cast<int64_t>(FData.view().size());
  }
  bool ReadResponse(void* dataOut, int bytesToRead, int& bytesRead,
                    const RefPtr<ICefSchemeHandlerCallback>&) override {
    FData.read(static_cast<char*>(dataOut), bytesToRead);
    bytesRead = static_cast<int>(FData.gcount());
    return bytesRead > 0;  // false: the body is complete
  }

 private:
  static ustring MimeTypeOf(const std::string& extension) {
    if (extension == ".html" || extension == ".htm") return u"text/html";
    if (extension == ".txt") return u"text/plain";
    if (extension == ".css") return u"text/css";
    if (extension == ".png") return u"image/png";
    return u"application/octet-stream";
  }
  std::stringstream FData;
  int FStatus = 200;
  ustring FMimeType = u"text/html";
};

// Loads the queued addresses one after another in one browser, then closes it.
class TLoad : public TCefLoadHandlerOwn {
 public:
  std::vector<ustring> queue;
  void OnLoadEnd(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                 int httpStatusCode) override {
    if (!frame || !frame->IsMain()) return;
    std::printf("%s %d\n%s\n", CefToUtf8(frame->GetUrl()).c_str(), httpStatusCode,
                CefToUtf8(frame->GetText()).c_str());
    if (queue.empty()) return browser->CloseBrowser();
    frame->LoadUrl(queue.front());
    queue.erase(queue.begin());
  }
};

class TLifeSpan : public TCefLifeSpanHandlerOwn {
 public:
  void OnBeforeClose(const RefPtr<ICefBrowser>&) override { cef_quit_message_loop(); }
};

class TClient : public TCefClientOwn {
 public:
  RefPtr<TLoad> load = Make<TLoad>();
  RefPtr<ICefBase> GetLoadHandler() override { return load; }
  RefPtr<ICefBase> GetLifeSpanHandler() override { return FLifeSpan; }

 private:
  RefPtr<ICefBase> FLifeSpan = Make<TLifeSpan>();
};

// The address of a file of the folder (names are plain ASCII here).
ustring FileAddress(const std::string& name) { return u"app://files/" + ustring(name.begin(), name.end()); }

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: folder_scheme FOLDER NAME...\n");
    return 2;
  }
  Folder = argv[1];
  // "app" is a standard scheme (host and path like http); the engine asks for its
  // custom schemes once, before the first browser.
  CefOnRegisterCustomSchemes = [](const RefPtr<ICefSchemeRegistrar>& registrar) {
    registrar->AddCustomScheme(u"app", true, false, false);
  };
  if (!CefRegisterSchemeHandlerFactory<TFileHandler>(u"app", u"files", true)) {
    std::fprintf(stderr, "the engine refused the scheme handler factory\n");
    return 1;
  }
  {
    auto client = Make<TClient>();
    for (int i = 3; i < argc; ++i) client->load->queue.push_back(FileAddress(argv[i]));
    cef_window_info_t window{};
#if defined(_WIN32)
    window.m_dwStyle = 0x80000000;  // WS_POPUP without WS_VISIBLE: it stays hidden
#endif
    cef_browser_settings_t settings{};
    settings.size = sizeof(settings);
    CefBrowserCreate(window, client, FileAddress(argv[2]), settings);
    CefRunMessageLoop();  // until the last page is read and the browser closed
  }
  CefShutdownEngine();
  return 0;
}
