#include "net/http_session.h"

#include <algorithm>
#include <utility>

#include "net/text_util.h"
#include "runtime/runtime.h"

namespace cef_engine::net {
namespace {

constexpr int kMaxRedirects = 20;
// Logins tried for one load before the server's refusal is shown as it is.
constexpr int kMaxLogins = 3;

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = 0;
    for (size_t k = 0; k < 3; ++k)
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    for (size_t k = 0; k < 4; ++k) out += k <= n ? kDigits[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return out;
}

// The realm of a `Basic realm="..."` challenge; nullopt for another scheme.
std::optional<std::u16string> BasicRealm(std::u16string_view challenge) {
  constexpr std::u16string_view kBasic = u"basic";
  if (challenge.size() < kBasic.size() || !EqualsIgnoringCase(challenge.substr(0, kBasic.size()), kBasic) ||
      (challenge.size() > kBasic.size() && challenge[kBasic.size()] != u' '))
    return std::nullopt;
  const size_t at = challenge.find(u"realm=\"");
  if (at == std::u16string_view::npos) return u"";
  const size_t begin = at + 7, end = challenge.find(u'"', begin);
  return std::u16string(challenge.substr(begin, end == std::u16string_view::npos ? end : end - begin));
}

bool IsRedirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool Named(const HeaderList::value_type& header, std::u16string_view name) {
  return EqualsIgnoringCase(std::u16string_view(header.first), name);
}

void RemoveHeader(HeaderList& headers, std::u16string_view name) {
  std::erase_if(headers, [name](const auto& header) { return Named(header, name); });
}

// A header name must be an HTTP token, and a value must not hold a line break or another
// control character (tabs aside): either would let one header write others, or end the
// request early, on the wire.
std::optional<std::u16string> UnsendableHeader(const HeaderList& headers) {
  constexpr std::u16string_view kTokenMarks = u"!#$%&'*+-.^_`|~";
  auto is_token_char = [kTokenMarks](char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
           kTokenMarks.find(c) != std::u16string_view::npos;
  };
  auto is_control = [](char16_t c) { return IsControl(c) && c != u'\t'; };
  for (const auto& [name, value] : headers) {
    if (name.empty() || !std::all_of(name.begin(), name.end(), is_token_char) ||
        std::any_of(value.begin(), value.end(), is_control))
      return name;
  }
  return std::nullopt;
}

// What a request says it comes from when the program set no User-Agent of its own: the
// settings' user_agent, else this engine's name with the settings' product_version.
std::u16string UserAgent() {
  auto& runtime = Runtime::Get();
  if (auto agent = runtime.CopiedString("user_agent"); agent && !agent->empty()) return *agent;
  std::u16string agent = kEngineUserAgent;
  if (auto product = runtime.CopiedString("product_version"); product && !product->empty())
    agent += u" " + *product;
  return agent;
}

}  // namespace

std::u16string HeaderValue(const HeaderList& headers, std::u16string_view name) {
  const auto found =
      std::find_if(headers.begin(), headers.end(), [name](const auto& h) { return Named(h, name); });
  return found == headers.end() ? std::u16string() : found->second;
}

bool HasHeader(const HeaderList& headers, std::u16string_view name) {
  return std::any_of(headers.begin(), headers.end(), [name](const auto& h) { return Named(h, name); });
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
  if (const auto name = UnsendableHeader(request_.headers))
    return Fail(ERR_INVALID_ARGUMENT, u"The request header \"" + *name +
                                          u"\" cannot be sent: its name is not a "
                                          u"token or its value holds a control character");
  // The store's cookies go with this hop only; a Cookie header of the program's own wins,
  // as does its own User-Agent.
  LoadRequest sent = request_;
  if (!HasHeader(sent.headers, u"user-agent")) sent.headers.emplace_back(u"User-Agent", UserAgent());
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
  if (result.status == 401 && LogIn(result)) return;
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

bool HttpSession::LogIn(const LoadResult& result) {
  const auto realm = BasicRealm(HeaderValue(result.headers, u"www-authenticate"));
  if (!realm || !hooks_.login || ++logins_ > kMaxLogins) return false;
  const auto login = hooks_.login(url_, *realm);
  if (!login || over_) return false;
  LoadRequest again = request_;
  RemoveHeader(again.headers, u"authorization");
  const std::string pair = ToUtf8(login->user + u":" + login->password);
  const std::string header = "Basic " + Base64(pair);
  again.headers.emplace_back(u"Authorization", std::u16string(header.begin(), header.end()));
  Send(std::move(again));
  return true;
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
