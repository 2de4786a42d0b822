#include "net/http_session.h"

#include <algorithm>
#include <utility>

#include "net/text_util.h"
#include "runtime/runtime.h"

namespace cef_engine::net {
namespace {

constexpr int kMaxRedirects = 20;

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

void RemoveHeader(HeaderList& headers, std::u16string_view name) {
  std::erase_if(headers, [name](const auto& header) {
    return EqualsIgnoringCase(std::u16string_view(header.first), name);
  });
}

}  // namespace

std::u16string HeaderValue(const HeaderList& headers, std::u16string_view name) {
  for (const auto& [key, value] : headers) {
    if (EqualsIgnoringCase(std::u16string_view(key), name)) return value;
  }
  return {};
}

std::shared_ptr<HttpSession> HttpSession::Start(LoadRequest request, std::shared_ptr<CookieStore> cookies,
                                                Hooks hooks) {
  auto session = std::make_shared<HttpSession>(std::move(cookies), std::move(hooks));
  session->Send(std::move(request));
  return session;
}

void HttpSession::Send(LoadRequest request) {
  if (over_) return;
  request_ = std::move(request);
  const auto url = ParseUrl(request_.url);
  if (!url) return Fail(ERR_INVALID_URL, u"Invalid address: " + request_.url);
  url_ = *url;
  if (url_.scheme != u"http" && url_.scheme != u"https")
    return Fail(ERR_DISALLOWED_URL_SCHEME, u"An HTTP load cannot go to " + request_.url);
  // The store's cookies go with this hop only; a Cookie header of the program's own wins.
  LoadRequest sent = request_;
  if (cookies_ && HeaderValue(sent.headers, u"cookie").empty()) {
    if (auto header = cookies_->HeaderFor(url_, true); !header.empty())
      sent.headers.emplace_back(u"Cookie", header);
  }
  transfer_ = HttpTransfer::Start(url_, std::move(sent), [self = shared_from_this()](LoadResult result) {
    Runtime::Get().PostWork(
        TID_IO, [self, result = std::move(result)]() mutable { self->Arrived(std::move(result)); });
  });
}

void HttpSession::Arrived(LoadResult result) {
  if (over_) return;
  transfer_.reset();
  if (result.error) return Done(std::move(result));
  if (cookies_) cookies_->TakeHeaders(url_, result.headers);
  const auto location = HeaderValue(result.headers, u"location");
  if (!IsRedirect(result.status) || location.empty()) return Done(std::move(result));
  if (++redirects_ > kMaxRedirects)
    return Fail(ERR_TOO_MANY_REDIRECTS, u"More than 20 redirects from " + request_.url);
  const auto target = ResolveUrl(url_, location);
  if (!target) return Fail(ERR_INVALID_URL, u"Invalid redirect address: " + location);
  LoadRequest next = request_;
  next.url = target->Spec();
  // 303, and 301 or 302 after a POST, repeat the request as a GET without its body, as
  // browsers do; 307 and 308 repeat it as it was.
  if ((result.status == 303 && next.method != u"HEAD") ||
      ((result.status == 301 || result.status == 302) && next.method == u"POST")) {
    next.method = u"GET";
    next.body.clear();
    RemoveHeader(next.headers, u"content-type");
    RemoveHeader(next.headers, u"content-length");
  }
  if (!hooks_.redirect) return Follow(std::move(next));
  hooks_.redirect(shared_from_this(), result, std::move(next));
}

void HttpSession::Follow(LoadRequest next) { Send(std::move(next)); }

void HttpSession::Fail(int error, std::u16string text) {
  LoadResult result;
  result.error = error;
  result.error_text = std::move(text);
  result.final_url = url_.Spec().empty() ? request_.url : url_.Spec();
  Done(std::move(result));
}

void HttpSession::Done(LoadResult result) {
  if (std::exchange(over_, true)) return;
  if (result.final_url.empty()) result.final_url = url_.Spec();
  auto hooks = std::move(hooks_);
  if (hooks.done) hooks.done(std::move(result));
}

void HttpSession::Abort() {
  over_ = true;
  if (auto transfer = std::exchange(transfer_, nullptr)) transfer->Abort();
  hooks_ = {};
}

}  // namespace cef_engine::net
