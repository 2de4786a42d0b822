#include "net/url.h"

#include <algorithm>
#include <mutex>
#include <set>
#include <vector>

#include "cef_engine.h"
#include "net/text_util.h"
#include "objects/immortal.h"
#include "strings/text.h"

namespace cef_engine::net {
namespace {

constexpr std::u16string_view kBuiltInStandard[] = {u"http", u"https", u"ftp", u"file"};

struct CustomSchemes {
  std::mutex mutex;
  std::set<std::u16string, std::less<>> standard;
  std::set<std::u16string, std::less<>> all;
};
CustomSchemes& Schemes() {
  static Immortal<CustomSchemes> schemes;
  return *schemes;
}

bool IsSchemeChar(char16_t c, bool first) {
  const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
  if (first) return alpha;
  return alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

bool IsValidScheme(std::u16string_view scheme) {
  if (scheme.empty()) return false;
  for (size_t i = 0; i < scheme.size(); ++i) {
    if (!IsSchemeChar(scheme[i], i == 0)) return false;
  }
  return true;
}

// Removes "." and ".." segments of an absolute path.
std::u16string NormalizePath(std::u16string_view path) {
  std::vector<std::u16string> segments;
  size_t start = 1;
  const bool trailing_dir = path.ends_with(u"/.") || path.ends_with(u"/..") || path.ends_with(u"/");
  while (start <= path.size()) {
    size_t end = path.find(u'/', start);
    if (end == std::u16string_view::npos) end = path.size();
    const auto segment = path.substr(start, end - start);
    if (segment == u"..") {
      if (!segments.empty()) segments.pop_back();
    } else if (segment != u"." && !(segment.empty() && end == path.size())) {
      segments.emplace_back(segment);
    }
    start = end + 1;
  }
  std::u16string out;
  for (const auto& segment : segments) out += u"/" + segment;
  if (out.empty() || (trailing_dir && !out.ends_with(u'/'))) out += u'/';
  return out;
}

// Splits off "?query" and "#fragment" from the end of `rest`.
void SplitQueryAndFragment(std::u16string_view& rest, Url& url) {
  if (const size_t hash = rest.find(u'#'); hash != std::u16string_view::npos) {
    url.fragment = rest.substr(hash + 1);
    url.has_fragment = true;
    rest = rest.substr(0, hash);
  }
  if (const size_t question = rest.find(u'?'); question != std::u16string_view::npos) {
    url.query = rest.substr(question + 1);
    url.has_query = true;
    rest = rest.substr(0, question);
  }
}

std::u16string_view Trim(std::u16string_view text) {
  while (!text.empty() && text.front() <= u' ') text.remove_prefix(1);
  while (!text.empty() && text.back() <= u' ') text.remove_suffix(1);
  return text;
}

int DefaultPort(std::u16string_view scheme) {
  if (scheme == u"http") return 80;
  if (scheme == u"https") return 443;
  if (scheme == u"ftp") return 21;
  return 0;
}

}  // namespace

bool IsStandardScheme(std::u16string_view scheme) {
  const auto lower = AsciiLower(scheme);
  if (std::find(std::begin(kBuiltInStandard), std::end(kBuiltInStandard), lower) !=
      std::end(kBuiltInStandard))
    return true;
  auto& schemes = Schemes();
  std::lock_guard lock(schemes.mutex);
  return schemes.standard.contains(lower);
}

bool RegisterCustomScheme(std::u16string_view scheme, bool standard) {
  const auto lower = AsciiLower(scheme);
  if (!IsValidScheme(lower)) return false;
  if (std::find(std::begin(kBuiltInStandard), std::end(kBuiltInStandard), lower) !=
      std::end(kBuiltInStandard))
    return false;
  auto& schemes = Schemes();
  std::lock_guard lock(schemes.mutex);
  schemes.all.insert(lower);
  if (standard) {
    schemes.standard.insert(lower);
  } else {
    schemes.standard.erase(lower);
  }
  return true;
}

void ClearCustomSchemes() {
  auto& schemes = Schemes();
  std::lock_guard lock(schemes.mutex);
  schemes.standard.clear();
  schemes.all.clear();
}

std::optional<Url> ParseUrl(std::u16string_view text) {
  text = Trim(text);
  const size_t colon = text.find(u':');
  if (colon == std::u16string_view::npos || !IsValidScheme(text.substr(0, colon))) return std::nullopt;
  Url url;
  url.scheme = AsciiLower(text.substr(0, colon));
  std::u16string_view rest = text.substr(colon + 1);
  std::u16string backslashed;
  url.standard = IsStandardScheme(url.scheme);
  if (!url.standard) {
    SplitQueryAndFragment(rest, url);
    url.path = rest;
    return url;
  }
  // Standard schemes: "//authority/path"; backslashes count as slashes, as browsers do.
  backslashed.assign(rest);
  std::replace(backslashed.begin(), backslashed.end(), u'\\', u'/');
  rest = backslashed;
  if (url.scheme == u"file") {
    // Only the two slashes before the host: file:///path has none.
    if (rest.starts_with(u"//")) rest.remove_prefix(2);
  } else {
    while (rest.starts_with(u'/')) rest.remove_prefix(1);
  }
  SplitQueryAndFragment(rest, url);
  const size_t slash = rest.find(u'/');
  std::u16string_view authority = rest.substr(0, slash);
  url.path = NormalizePath(slash == std::u16string_view::npos ? u"/" : rest.substr(slash));
  if (const size_t at = authority.rfind(u'@'); at != std::u16string_view::npos) {
    const auto user_info = authority.substr(0, at);
    const size_t split = user_info.find(u':');
    url.username = user_info.substr(0, split);
    if (split != std::u16string_view::npos) url.password = user_info.substr(split + 1);
    authority = authority.substr(at + 1);
  }
  const size_t port_colon = authority.rfind(u':');
  const size_t bracket = authority.rfind(u']');
  if (port_colon != std::u16string_view::npos &&
      (bracket == std::u16string_view::npos || port_colon > bracket)) {
    url.port = authority.substr(port_colon + 1);
    authority = authority.substr(0, port_colon);
    if (!std::all_of(url.port.begin(), url.port.end(), [](char16_t c) { return c >= '0' && c <= '9'; }) ||
        url.port.size() > 5 || (!url.port.empty() && std::stoi(ToUtf8(url.port)) > 65535))
      return std::nullopt;
  }
  url.host = AsciiLower(authority);
  if (url.host.empty() && url.scheme != u"file") return std::nullopt;
  if (url.host.find_first_of(u" <>^|%") != std::u16string::npos) return std::nullopt;
  // A port that is the scheme's default is dropped from the canonical address.
  if (!url.port.empty() && url.EffectivePort() == DefaultPort(url.scheme)) url.port.clear();
  return url;
}

int Url::EffectivePort() const { return port.empty() ? DefaultPort(scheme) : std::stoi(ToUtf8(port)); }

std::u16string Url::SpecWithoutFragment() const {
  std::u16string text = scheme + u":";
  if (standard) {
    text += u"//";
    if (!username.empty() || !password.empty()) {
      text += username;
      if (!password.empty()) text += u":" + password;
      text += u"@";
    }
    text += host;
    if (!port.empty()) text += u":" + port;
  }
  text += path;
  if (has_query) text += u"?" + query;
  return text;
}

std::u16string Url::Spec() const {
  return has_fragment ? SpecWithoutFragment() + u"#" + fragment : SpecWithoutFragment();
}

std::optional<Url> ResolveUrl(const Url& base, std::u16string_view relative) {
  relative = Trim(relative);
  if (const size_t colon = relative.find(u':');
      colon != std::u16string_view::npos && IsValidScheme(relative.substr(0, colon))) {
    return ParseUrl(relative);
  }
  if (!base.standard) {
    if (relative.starts_with(u'#')) {
      Url url = base;
      url.fragment = relative.substr(1);
      url.has_fragment = true;
      return url;
    }
    return std::nullopt;
  }
  if (relative.starts_with(u"//")) return ParseUrl(base.scheme + u":" + std::u16string(relative));
  Url url = base;
  url.has_fragment = false;
  url.fragment.clear();
  std::u16string_view rest = relative;
  Url tail;
  SplitQueryAndFragment(rest, tail);
  if (tail.has_fragment) {
    url.fragment = tail.fragment;
    url.has_fragment = true;
  }
  if (rest.empty()) {
    if (tail.has_query) {
      url.query = tail.query;
      url.has_query = true;
    }
    return url;
  }
  url.query = tail.query;
  url.has_query = tail.has_query;
  if (rest.starts_with(u'/')) {
    url.path = NormalizePath(rest);
  } else {
    const size_t last = base.path.rfind(u'/');
    url.path = NormalizePath(base.path.substr(0, last + 1) + std::u16string(rest));
  }
  return url;
}

}  // namespace cef_engine::net

using cef_engine::AssignCopy;
using cef_engine::ViewOf;
using cef_engine::net::ParseUrl;

extern "C" {

int cef_parse_url(const cef_string_t* url, cef_urlparts_t* parts) {
  if (!url || !parts) return 0;
  const auto parsed = ParseUrl(ViewOf(url));
  if (!parsed) return 0;
  AssignCopy(&parts->spec, std::u16string_view(parsed->Spec()));
  AssignCopy(&parts->scheme, std::u16string_view(parsed->scheme));
  AssignCopy(&parts->username, std::u16string_view(parsed->username));
  AssignCopy(&parts->password, std::u16string_view(parsed->password));
  AssignCopy(&parts->host, std::u16string_view(parsed->host));
  AssignCopy(&parts->port, std::u16string_view(parsed->port));
  AssignCopy(&parts->path, std::u16string_view(parsed->path));
  AssignCopy(&parts->query, std::u16string_view(parsed->query));
  return 1;
}

// From the whole address when it is given; otherwise from the scheme and the other parts.
int cef_create_url(const cef_urlparts_t* parts, cef_string_t* url) {
  if (!parts || !url) return 0;
  std::u16string text(ViewOf(&parts->spec));
  if (text.empty()) {
    const std::u16string scheme(ViewOf(&parts->scheme));
    if (scheme.empty()) return 0;
    text = scheme + u":";
    if (cef_engine::net::IsStandardScheme(scheme)) {
      text += u"//";
      const auto user = ViewOf(&parts->username);
      const auto password = ViewOf(&parts->password);
      if (!user.empty() || !password.empty()) {
        text += std::u16string(user) + (password.empty() ? u"" : u":" + std::u16string(password)) + u"@";
      }
      text += ViewOf(&parts->host);
      if (!ViewOf(&parts->port).empty()) text += u":" + std::u16string(ViewOf(&parts->port));
      const auto path = ViewOf(&parts->path);
      if (!path.starts_with(u'/')) text += u'/';
      text += path;
    } else {
      text += ViewOf(&parts->path);
    }
    if (!ViewOf(&parts->query).empty()) text += u"?" + std::u16string(ViewOf(&parts->query));
  }
  const auto parsed = ParseUrl(text);
  if (!parsed) return 0;
  AssignCopy(url, std::u16string_view(parsed->Spec()));
  return 1;
}

}  // extern "C"
