#include "net/download.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "net/http_session.h"
#include "net/text_util.h"
#include "net/url.h"

namespace cef_engine::net {
namespace {

constexpr size_t kPiece = 16 * 1024;

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

void DeliverDownload(cef_download_handler_t* handler, std::string body) {
  for (size_t at = 0; at < body.size(); at += kPiece) {
    const auto size = static_cast<int>(std::min(kPiece, body.size() - at));
    if (!handler->received_data || !handler->received_data(handler, body.data() + at, size)) return;
  }
  if (handler->complete) handler->complete(handler);
}

}  // namespace cef_engine::net
