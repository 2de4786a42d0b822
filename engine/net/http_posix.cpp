// HTTP through cpp-httplib (Debian's libcpp-httplib), one request per fetch: redirects
// and cookies are the session's (http_session.h). https is not built in.
#include <httplib.h>
#include <signal.h>

#include <cstdint>
#include <new>
#include <string>

#include "net/download.h"
#include "net/http.h"
#include "net/text_util.h"
#include "strings/large_buffers.h"

namespace cef_engine::net {
namespace {

constexpr time_t kConnectSeconds = 10;
constexpr time_t kReadSeconds = 30;

int ErrorCode(httplib::Error error) {
  switch (error) {
    case httplib::Error::Connection:
      return ERR_CONNECTION_REFUSED;
    case httplib::Error::ConnectionTimeout:
      return ERR_TIMED_OUT;
    case httplib::Error::Read:
    case httplib::Error::Write:
      return ERR_CONNECTION_RESET;
    case httplib::Error::ExceedRedirectCount:
      return ERR_TOO_MANY_REDIRECTS;
    case httplib::Error::Canceled:
      return ERR_ABORTED;
    default:
      return ERR_FAILED;
  }
}

// "text/html; charset=utf-8" gives "text/html".
std::u16string MimeTypeOf(const std::string& content_type) {
  auto mime = content_type.substr(0, content_type.find(';'));
  while (!mime.empty() && mime.back() == ' ') mime.pop_back();
  return ToUtf16(AsciiLower(std::string_view(mime)));
}

// Room for the body the head announces (within the document limit), so that a large
// page is not copied again at every doubling while it arrives. Only a hint: a head
// that lies costs address space, not memory, and where even that is short the body
// grows as it comes.
void ReserveAnnounced(int64_t announced, std::string& body) {
  if (announced < 0 || static_cast<uint64_t>(announced) > DocumentBodyLimit()) return;
  try {
    ReserveLarge(body, static_cast<size_t>(announced));
  } catch (const std::bad_alloc&) {
  }
}

// A response without its body.
LoadResult HeadOf(const Url& url, const httplib::Response& response) {
  LoadResult head;
  head.final_url = url.Spec();
  head.status = response.status;
  head.status_text = ToUtf16(response.reason);
  head.mime_type = MimeTypeOf(response.get_header_value("Content-Type"));
  for (const auto& [name, value] : response.headers) head.headers.emplace_back(ToUtf16(name), ToUtf16(value));
  return head;
}

}  // namespace

LoadResult HttpFetch(const Url& url, const LoadRequest& request, TransferControl& control,
                     const BodyStart& start) {
  LoadResult result;
  result.final_url = url.Spec();
  if (url.scheme != u"http") {
    result.error = ERR_DISALLOWED_URL_SCHEME;
    result.error_text = url.scheme + u" is not supported by this engine";
    return result;
  }
  // A server that closes the connection while the request is still being written would
  // raise SIGPIPE, whose default action ends the whole program: this transfer thread
  // blocks it, and the write fails with EPIPE instead.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
  httplib::Client client(ToUtf8(url.host), url.EffectivePort());
  client.set_connection_timeout(kConnectSeconds);
  client.set_read_timeout(kReadSeconds);
  client.set_follow_location(false);  // the session follows redirects, for their cookies
  client.set_keep_alive(false);

  httplib::Request req;
  req.method = ToUtf8(request.method.empty() ? u"GET" : request.method);
  req.path = ToUtf8(url.has_query ? url.path + u"?" + url.query : url.path);
  for (const auto& [name, value] : request.headers) req.headers.emplace(ToUtf8(name), ToUtf8(value));
  if (!request.body.empty() || req.method == "POST" || req.method == "PUT") {
    req.body = request.body;
    if (!req.has_header("Content-Type"))
      req.headers.emplace("Content-Type", "application/x-www-form-urlencoded");
  }
  // Shutting the socket down breaks off a send or receive in progress; the progress
  // check stops a body that keeps coming.
  req.progress = [&control](uint64_t, uint64_t) { return !control.Aborted(); };
  // The head decides where the body goes: into a pipe while it arrives, or collected
  // here, so that one past the limit stops at the limit.
  std::shared_ptr<BodyPipe> pipe;
  req.response_handler = [&](const httplib::Response& response) {
    auto head = HeadOf(url, response);
    const int64_t announced = AnnouncedLength(head);
    pipe = start(std::move(head));
    if (!pipe) ReserveAnnounced(announced, result.body);
    return !control.Aborted();
  };
  bool too_big = false;
  req.content_receiver = [&](const char* data, size_t length, uint64_t, uint64_t) {
    if (pipe) return pipe->Push(std::string_view(data, length));
    if (length > DocumentBodyLimit() - result.body.size()) return !(too_big = true);
    result.body.append(data, length);
    return !control.Aborted();
  };
  control.SetAbort([&client] { client.stop(); });
  auto response = client.send(req);
  if (control.ClearAbort() || control.Aborted()) {
    result.error = ERR_ABORTED;
    result.error_text = u"The transfer of " + url.Spec() + u" was aborted";
    return result;
  }
  if (too_big) return BodyTooBig(url);
  if (!response) {
    result.error = ErrorCode(response.error());
    result.error_text =
        u"Could not load " + url.Spec() + u": " + ToUtf16(httplib::to_string(response.error()));
    return result;
  }
  auto head = HeadOf(url, *response);
  head.body = std::move(result.body);
  return head;
}

}  // namespace cef_engine::net
