#include "net/download.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <utility>
#include <vector>

#include "net/content_filter.h"
#include "net/http_session.h"
#include "net/text_util.h"
#include "net/url.h"
#include "runtime/runtime.h"

namespace cef_engine::net {
namespace {

constexpr size_t kPiece = 16 * 1024;

// Hands `bytes` to the handler in pieces of 16 KiB (whole pieces only, unless `last`)
// while `going()` holds. The bytes handed out, or nullopt when the handler answered 0 or
// `going()` stopped holding.
template <class Going>
std::optional<size_t> HandOut(cef_download_handler_t* handler, std::string& bytes, bool last, Going going) {
  size_t at = 0;
  while (bytes.size() - at >= kPiece || (last && at < bytes.size())) {
    const auto size = std::min(kPiece, bytes.size() - at);
    if (!handler->received_data ||
        !handler->received_data(handler, bytes.data() + at, static_cast<int>(size)) || !going())
      return std::nullopt;
    at += size;
  }
  return at;
}

// The parts of a header value separated by ';' (none inside quotes): the first is the
// value itself (as the name), the others `name=value` parameters, quoted values without
// their quotes and backslash escapes. Names in lower case.
std::vector<std::pair<std::u16string, std::u16string>> HeaderParts(std::u16string_view value) {
  std::vector<std::pair<std::u16string, std::u16string>> parts;
  size_t at = 0;
  while (at <= value.size()) {
    std::u16string name, text;
    bool in_name = true, quoted = false;
    for (; at < value.size() && (quoted || value[at] != u';'); ++at) {
      const char16_t c = value[at];
      if (in_name && c == u'=') {
        in_name = false;
      } else if (!in_name && c == u'"') {
        quoted = !quoted;
      } else if (quoted && c == u'\\' && at + 1 < value.size()) {
        text += value[++at];
      } else {
        (in_name ? name : text) += c;
      }
    }
    ++at;
    parts.emplace_back(AsciiLower(TrimBlanks(name)), TrimBlanks(text));
  }
  return parts;
}

std::u16string BareMimeType(std::u16string_view mime) {
  return AsciiLower(TrimBlanks(mime.substr(0, mime.find(u';'))));
}

// What a file system takes as one plain name.
std::u16string SafeFileName(std::u16string_view name) {
  const auto slash = name.find_last_of(u"/\\");
  if (slash != std::u16string_view::npos) name.remove_prefix(slash + 1);
  std::u16string safe;
  for (const char16_t c : name) {
    if (c < 0x20 || c == 0x7F) continue;
    safe += std::u16string_view(u":*?\"<>|").find(c) == std::u16string_view::npos ? c : u'_';
  }
  // No name of dots alone (".", ".."), no hidden or trailing dots and blanks.
  const auto first = safe.find_first_not_of(u". ");
  if (first == std::u16string::npos) return {};
  safe = safe.substr(first, safe.find_last_not_of(u". ") - first + 1);
  // Windows opens a device for these names, whatever their extension ("CON.txt" is the
  // console): such a name gets a leading '_'.
  const auto stem = AsciiLower(std::u16string_view(safe).substr(0, safe.find(u'.')));
  const bool numbered = stem.size() == 4 && (stem.starts_with(u"com") || stem.starts_with(u"lpt")) &&
                        stem[3] >= u'1' && stem[3] <= u'9';
  if (numbered || stem == u"con" || stem == u"prn" || stem == u"aux" || stem == u"nul")
    safe.insert(0, 1, u'_');
  return safe;
}

}  // namespace

bool IsDownload(const LoadResult& result) {
  // The body of a failure is the server's page about it, not the file.
  if (result.status < 200 || result.status > 299) return false;
  const auto disposition = HeaderValue(result.headers, u"content-disposition");
  if (!disposition.empty() && HeaderParts(disposition).front().first == u"attachment") return true;
  const auto mime = BareMimeType(result.mime_type);
  if (mime.empty() || mime.starts_with(u"text/") || mime.starts_with(u"image/") || mime.ends_with(u"+xml") ||
      mime.ends_with(u"+json"))
    return false;
  for (const std::u16string_view shown : {u"application/xhtml+xml", u"application/xml", u"application/json",
                                          u"application/javascript", u"application/x-javascript"})
    if (mime == shown) return false;
  return true;
}

std::u16string DownloadFileName(const LoadResult& result) {
  std::optional<std::u16string> plain, extended;
  for (auto& [name, value] : HeaderParts(HeaderValue(result.headers, u"content-disposition"))) {
    if (name == u"filename") plain = value;
    // RFC 5987: charset'language'percent-encoded text; UTF-8 is the one charset in use.
    if (name == u"filename*" && AsciiLower(std::u16string_view(value)).starts_with(u"utf-8'")) {
      const auto quote = value.find(u'\'', 6);
      if (quote != std::u16string::npos)
        extended = PercentDecoded(std::u16string_view(value).substr(quote + 1));
    }
  }
  for (const auto* given : {&extended, &plain})
    if (*given)
      if (auto name = SafeFileName(**given); !name.empty()) return name;
  if (const auto url = ParseUrl(result.final_url))
    if (auto name = SafeFileName(PercentDecoded(url->path)); !name.empty()) return name;
  return u"download";
}

bool StreamsBody(const LoadRequest& request, const LoadResult& head) {
  return request.stream_body || (request.stream_downloads && IsDownload(head));
}

int64_t AnnouncedLength(const LoadResult& result) {
  if (result.announced_length >= 0) return result.announced_length;
  const auto text = ToUtf8(TrimBlanks(HeaderValue(result.headers, u"content-length")));
  int64_t length = 0;
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), length);
  return text.empty() || failure != std::errc() || end != text.data() + text.size() || length < 0 ? -1
                                                                                                  : length;
}

std::shared_ptr<StreamedDownload> StreamedDownload::Start(
    ProgramRef<cef_download_handler_t> handler, ProgramRef<cef_content_filter_t> filter,
    std::shared_ptr<BodyReader> body, std::function<void(const StreamedDownload&)> ended) {
  auto download = std::make_shared<StreamedDownload>();
  download->handler_ = std::move(handler);
  download->filter_ = std::move(filter);
  download->body_ = std::move(body);
  download->ended_ = std::move(ended);
  download->body_->pipe().SetWake([weak = download->weak_from_this()] {
    Runtime::Get().PostWork(TID_UI, [weak] {
      if (auto self = weak.lock()) self->Drain();
    });
  });
  return download;
}

void StreamedDownload::Cancel() {
  body_.reset();
  handler_.Reset();
  filter_.Reset();
  ended_ = nullptr;
  // waiting_ stays until the download goes: a handler that closes its browser from inside
  // received_data still has the piece it was lent, which lies in it.
}

void StreamedDownload::Drain() {
  if (!body_) return;
  const auto keep = shared_from_this();  // the handler may close the browser that holds this
  auto taken = body_->pipe().Take();
  const bool whole = taken.finished && taken.error == 0;
  bool going = true;
  if (filter_) {
    going = FilterPart(filter_.get(), taken.bytes, whole, waiting_) && body_;
  } else {
    waiting_ += taken.bytes;
  }
  std::string().swap(taken.bytes);
  going = going && Deliver(whole);
  if (going && !taken.finished) return;
  if (going && whole && handler_->complete) handler_->complete(handler_.get());
  auto ended = std::move(ended_);
  Cancel();
  if (ended) ended(*this);
}

bool StreamedDownload::Deliver(bool last) {
  // A close from inside a call lets go of handler_: this call keeps it until it returns.
  const auto handler = ProgramRef<cef_download_handler_t>::Retain(handler_.get());
  const auto sent = HandOut(handler.get(), waiting_, last, [this] { return static_cast<bool>(handler_); });
  if (!sent) return false;
  waiting_.erase(0, *sent);
  return true;
}

}  // namespace cef_engine::net
