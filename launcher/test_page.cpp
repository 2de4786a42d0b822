#include "launcher/test_page.h"

#include <array>

namespace tessaril {

namespace {

// The page, written piece by piece with nothing between the pieces.
constexpr std::array<const char16_t*, 13> kPage = {
    u"<html>",
    u"  <body>ClientV8ExtensionHandler says:<br><pre>",
    u"<script language=\"javascript\">",
    u"  cef.test.test_param ='Assign and retrieve a value succeeded the first time.';",
    u"  document.writeln(cef.test.test_param);",
    u"  cef.test.test_param = 'Assign and retrieve a value succeeded the second time.';",
    u"  document.writeln(cef.test.test_param);",
    u"  var obj = cef.test.test_object();",
    u"  document.writeln(obj.param);",
    u"  document.writeln(obj.GetMessage());",
    u"</script>",
    u"</pre></body>",
    u"</html>",
};

}  // namespace

TScheme::TScheme(bool SyncMainThread, const ustring& scheme,
                 const ceflib::RefPtr<ceflib::ICefBrowser>& browser,
                 const ceflib::RefPtr<ceflib::ICefRequest>& request)
    : TCefSchemeHandlerOwn(SyncMainThread, scheme, browser, request),
      FResponse(std::ios::in | std::ios::out | std::ios::binary) {}

void TScheme::WriteText(const ustring& text) {
  if (text.empty()) return;
  FResponse << ceflib::CefToUtf8(text);
}

bool TScheme::ProcessRequest(const ceflib::RefPtr<ceflib::ICefRequest>&,
                             const ceflib::RefPtr<ceflib::ICefSchemeHandlerCallback>& callback) {
  for (const char16_t* text : kPage) WriteText(text);
  FResponse.seekg(0);
  callback->HeadersAvailable();
  callback->BytesAvailable();
  return true;
}

void TScheme::GetResponseHeaders(const ceflib::RefPtr<ceflib::ICefResponse>& response,
                                 int64_t& responseLength, ustring&) {
  response->SetStatus(200);
  response->SetStatusText(u"OK");
  response->SetMimeType(u"text/html");
  responseLength = static_cast<int64_t>(FResponse.view().size());
}

bool TScheme::ReadResponse(void* dataOut, int bytesToRead, int& bytesRead,
                           const ceflib::RefPtr<ceflib::ICefSchemeHandlerCallback>&) {
  bytesRead = 0;
  if (bytesToRead > 0) {
    FResponse.read(static_cast<char*>(dataOut), bytesToRead);
    bytesRead = static_cast<int>(FResponse.gcount());
  }
  FResponse.clear();  // reading past the end is not an error: the next read gives 0 bytes
  return true;
}

void RegisterSchemes(const ceflib::RefPtr<ceflib::ICefSchemeRegistrar>& registrar) {
  registrar->AddCustomScheme(u"client", true, false, false);
}

}  // namespace tessaril
