// HTTP through WinHTTP, synchronous, on the transfer's own thread.
#include <windows.h>
#include <winhttp.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "net/http.h"
#include "net/http_session.h"
#include "net/text_util.h"

namespace cef_engine::net {
namespace {

constexpr int kResolveMs = 10000, kConnectMs = 10000, kSendMs = 30000, kReceiveMs = 30000;

struct CloseInternet {
  void operator()(HINTERNET handle) const { WinHttpCloseHandle(handle); }
};
using Internet = std::unique_ptr<void, CloseInternet>;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }
std::u16string FromWide(std::wstring_view text) { return std::u16string(text.begin(), text.end()); }

int ErrorCode(DWORD error) {
  switch (error) {
    case ERROR_WINHTTP_CANNOT_CONNECT:
      return ERR_CONNECTION_REFUSED;
    case ERROR_WINHTTP_TIMEOUT:
      return ERR_TIMED_OUT;
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
      return ERR_NAME_NOT_RESOLVED;
    case ERROR_WINHTTP_CONNECTION_ERROR:
      return ERR_CONNECTION_RESET;
    case ERROR_WINHTTP_REDIRECT_FAILED:
      return ERR_TOO_MANY_REDIRECTS;
    case ERROR_WINHTTP_INVALID_URL:
      return ERR_INVALID_URL;
    default:
      return ERR_FAILED;
  }
}

LoadResult Failed(const Url& url, const char16_t* step) {
  const DWORD error = GetLastError();
  LoadResult result;
  result.final_url = url.Spec();
  result.error = ErrorCode(error);
  result.error_text =
      u"Could not load " + url.Spec() + u": " + step + u" failed (" + ToUtf16(std::to_string(error)) + u")";
  return result;
}

std::wstring QueryText(HINTERNET request, DWORD what) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
  if (!WinHttpQueryHeaders(request, what, WINHTTP_HEADER_NAME_BY_INDEX, buffer.data(), &size,
                           WINHTTP_NO_HEADER_INDEX))
    return {};
  return std::wstring(buffer.data(), size / sizeof(wchar_t));
}

// "Name: value" lines after the status line.
HeaderList ParseHeaders(std::wstring_view raw) {
  HeaderList headers;
  bool status_line = true;
  while (!raw.empty()) {
    size_t end = raw.find(L"\r\n");
    if (end == std::wstring_view::npos) end = raw.size();
    const auto line = raw.substr(0, end);
    raw.remove_prefix(std::min(raw.size(), end + 2));
    if (std::exchange(status_line, false) || line.empty()) continue;
    const size_t colon = line.find(L':');
    if (colon == std::wstring_view::npos) continue;
    auto value = line.substr(colon + 1);
    while (!value.empty() && value.front() == L' ') value.remove_prefix(1);
    headers.emplace_back(FromWide(line.substr(0, colon)), FromWide(value));
  }
  return headers;
}

// WinHTTP sends the session's agent name as the User-Agent, so the request's own goes
// there and not among the added headers, where it would be sent twice.
bool IsUserAgent(std::u16string_view name) {
  return EqualsIgnoringCase(name, std::u16string_view(u"user-agent"));
}

std::wstring AgentOf(const LoadRequest& request) {
  return Wide(HasHeader(request.headers, u"user-agent") ? HeaderValue(request.headers, u"user-agent")
                                                        : std::u16string(kEngineUserAgent));
}

// Sends the request and reads the whole response through an open request handle.
LoadResult Exchange(HINTERNET req, const Url& url, const LoadRequest& request, const BodyStart& start) {
  std::wstring headers;
  for (const auto& [name, value] : request.headers) {
    if (!IsUserAgent(name)) headers += Wide(name) + L": " + Wide(value) + L"\r\n";
  }
  if (!request.body.empty()) headers += L"Content-Type: application/x-www-form-urlencoded\r\n";
  // Added, not replaced: a name that repeats is sent once per value.
  if (!headers.empty() &&
      !WinHttpAddRequestHeaders(req, headers.c_str(), static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD))
    return Failed(url, u"WinHttpAddRequestHeaders");
  auto* body = request.body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(request.body.data());
  const auto body_size = static_cast<DWORD>(request.body.size());
  if (!WinHttpSendRequest(req, WINHTTP_NO_ADDITIONAL_HEADERS, 0, body, body_size, body_size, 0))
    return Failed(url, u"WinHttpSendRequest");
  if (!WinHttpReceiveResponse(req, nullptr)) return Failed(url, u"WinHttpReceiveResponse");

  LoadResult result;
  DWORD status = 0, size = sizeof(status);
  WinHttpQueryHeaders(req, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                      WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  result.status = static_cast<int>(status);
  result.status_text = FromWide(QueryText(req, WINHTTP_QUERY_STATUS_TEXT));
  result.headers = ParseHeaders(QueryText(req, WINHTTP_QUERY_RAW_HEADERS_CRLF));
  for (const auto& [name, value] : result.headers) {
    if (AsciiLower(std::u16string_view(name)) != u"content-type") continue;
    auto mime = value.substr(0, value.find(u';'));
    while (!mime.empty() && mime.back() == u' ') mime.pop_back();
    result.mime_type = AsciiLower(std::u16string_view(mime));
  }
  DWORD url_size = 0;
  WinHttpQueryOption(req, WINHTTP_OPTION_URL, nullptr, &url_size);
  std::vector<wchar_t> final_url(url_size / sizeof(wchar_t) + 1);
  result.final_url = url.Spec();
  if (url_size && WinHttpQueryOption(req, WINHTTP_OPTION_URL, final_url.data(), &url_size)) {
    if (const auto parsed =
            ParseUrl(FromWide(std::wstring_view(final_url.data(), url_size / sizeof(wchar_t)))))
      result.final_url = parsed->Spec();
  }
  // The head decides where the body goes: into a pipe while it arrives, or collected
  // here, so that one past the limit stops at the limit.
  const auto pipe = start(result);
  std::string piece;
  for (;;) {
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(req, &available)) return Failed(url, u"WinHttpQueryDataAvailable");
    if (available == 0) break;
    std::string& into = pipe ? piece : result.body;
    if (!pipe && available > DocumentBodyLimit() - into.size()) return BodyTooBig(url);
    const size_t had = into.size();
    into.resize(had + available);
    DWORD read = 0;
    if (!WinHttpReadData(req, into.data() + had, available, &read)) return Failed(url, u"WinHttpReadData");
    into.resize(had + read);
    if (pipe && !pipe->Push(std::exchange(piece, {}))) {
      result.error = ERR_ABORTED;  // the reader went: nothing more is read
      return result;
    }
  }
  return result;
}

}  // namespace

LoadResult HttpFetch(const Url& url, const LoadRequest& request, TransferControl& control,
                     const BodyStart& start) {
  const bool secure = url.scheme == u"https";
  Internet session(WinHttpOpen(AgentOf(request).c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) return Failed(url, u"WinHttpOpen");
  WinHttpSetTimeouts(session.get(), kResolveMs, kConnectMs, kSendMs, kReceiveMs);
  Internet connection(WinHttpConnect(session.get(), Wide(url.host).c_str(),
                                     static_cast<INTERNET_PORT>(url.EffectivePort()), 0));
  if (!connection) return Failed(url, u"WinHttpConnect");
  const std::wstring method = Wide(request.method.empty() ? u"GET" : request.method);
  const std::wstring target = Wide(url.has_query ? url.path + u"?" + url.query : url.path);
  HINTERNET req =
      WinHttpOpenRequest(connection.get(), method.c_str(), target.c_str(), nullptr, WINHTTP_NO_REFERER,
                         WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0);
  if (!req) return Failed(url, u"WinHttpOpenRequest");
  // One request per fetch: redirects and cookies are the session's (http_session.h).
  DWORD features = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_COOKIES;
  WinHttpSetOption(req, WINHTTP_OPTION_DISABLE_FEATURE, &features, sizeof features);
  // Closing the request handle from another thread breaks off the call in progress;
  // the handle is closed once, by whichever side comes first.
  control.SetAbort([req, closed = false]() mutable {
    if (!std::exchange(closed, true)) WinHttpCloseHandle(req);
  });
  LoadResult result = Exchange(req, url, request, start);
  if (!control.ClearAbort()) WinHttpCloseHandle(req);
  if (control.Aborted()) {
    result = {};
    result.final_url = url.Spec();
    result.error = ERR_ABORTED;
    result.error_text = u"The transfer of " + url.Spec() + u" was aborted";
  }
  return result;
}

}  // namespace cef_engine::net
