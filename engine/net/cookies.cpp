#include "net/cookies.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

#include "net/text_util.h"
#include "objects/immortal.h"
#include "runtime/runtime.h"
#include "runtime/time_record.h"

namespace cef_engine::net {
namespace {

constexpr int64_t kDayMs = 86400000;
// An expiry date is capped at 400 days from now, as browsers do, so that a cookie
// cannot claim to live for ever (and dates far out stay in range).
constexpr int64_t kLongestLifeMs = 400 * kDayMs;
constexpr char kFileName[] = "Cookies";
constexpr char kFileHeader[] = "tessaril-cookies 1";
constexpr size_t kMaxFileBytes = 16 * 1024 * 1024;

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

bool HasAny(std::u16string_view text, bool (*bad)(char16_t)) {
  return std::any_of(text.begin(), text.end(), bad);
}
// What a name, value, domain or path may not hold: it would end the field in a header
// line or in the cookie file.
bool Forbidden(char16_t c) { return IsControl(c) || c == u';'; }

bool IsIpAddress(std::u16string_view host) {
  if (host.find(u':') != std::u16string_view::npos || host.starts_with(u'[')) return true;
  return !host.empty() && std::all_of(host.begin(), host.end(),
                                      [](char16_t c) { return c == u'.' || (c >= u'0' && c <= u'9'); });
}

// RFC 6265 5.1.3.
bool DomainMatches(std::u16string_view host, std::u16string_view domain) {
  if (host == domain) return true;
  return host.size() > domain.size() && host.ends_with(domain) &&
         host[host.size() - domain.size() - 1] == u'.' && !IsIpAddress(host);
}

// RFC 6265 5.1.4.
std::u16string DefaultPath(std::u16string_view path) {
  if (path.empty() || path.front() != u'/') return u"/";
  const size_t last = path.rfind(u'/');
  return last == 0 ? u"/" : std::u16string(path.substr(0, last));
}

bool PathMatches(std::u16string_view request_path, std::u16string_view cookie_path) {
  if (request_path.empty()) request_path = u"/";
  if (request_path == cookie_path) return true;
  return request_path.starts_with(cookie_path) &&
         (cookie_path.ends_with(u'/') || request_path[cookie_path.size()] == u'/');
}

bool SameCookie(const Cookie& a, const Cookie& b) {
  return a.name == b.name && a.domain == b.domain && a.host_only == b.host_only && a.path == b.path;
}

void SortForSending(std::vector<Cookie>& cookies) {
  std::stable_sort(cookies.begin(), cookies.end(), [](const Cookie& a, const Cookie& b) {
    if (a.path.size() != b.path.size()) return a.path.size() > b.path.size();
    return a.creation < b.creation;
  });
}

// The domain a cookie is for, from a Domain attribute or the program's field, checked
// against the host that sets it: another site's domain and a bare top-level name (a
// stand-in for public suffixes, which the engine has no list of) are refused.
bool ResolveDomain(std::u16string_view host, std::u16string_view wanted, Cookie& cookie) {
  while (wanted.starts_with(u'.')) wanted.remove_prefix(1);
  const std::u16string domain = AsciiLower(wanted);
  if (domain.empty()) {
    cookie.domain = std::u16string(host);
    cookie.host_only = true;
    return true;
  }
  if (IsIpAddress(host) || domain.find(u'.') == std::u16string::npos) {
    if (domain != host) return false;
    cookie.domain = domain;
    cookie.host_only = true;
    return true;
  }
  if (!DomainMatches(host, domain)) return false;
  cookie.domain = domain;
  cookie.host_only = false;
  return true;
}

// --- cookie dates (RFC 6265 5.1.1) --------------------------------------------------------

bool IsDateDelimiter(char16_t c) {
  return c == 0x09 || (c >= 0x20 && c <= 0x2F) || (c >= 0x3B && c <= 0x40) || (c >= 0x5B && c <= 0x60) ||
         (c >= 0x7B && c <= 0x7E);
}
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// Reads min..max digits at `pos`; the next character, if any, must not be a digit.
bool Digits(std::u16string_view token, size_t& pos, size_t min, size_t max, int& value) {
  size_t n = 0;
  value = 0;
  while (pos < token.size() && IsDigit(token[pos]) && n < max) {
    value = value * 10 + (token[pos++] - u'0');
    ++n;
  }
  return n >= min && (pos >= token.size() || !IsDigit(token[pos]));
}

bool ParseTime(std::u16string_view token, int& h, int& m, int& s) {
  size_t pos = 0;
  if (!Digits(token, pos, 1, 2, h) || pos >= token.size() || token[pos++] != u':') return false;
  if (!Digits(token, pos, 1, 2, m) || pos >= token.size() || token[pos++] != u':') return false;
  return Digits(token, pos, 1, 2, s);
}

int MonthOf(std::u16string_view token) {
  static constexpr std::u16string_view kMonths[] = {u"jan", u"feb", u"mar", u"apr", u"may", u"jun",
                                                    u"jul", u"aug", u"sep", u"oct", u"nov", u"dec"};
  if (token.size() < 3) return 0;
  const auto prefix = AsciiLower(token.substr(0, 3));
  for (int i = 0; i < 12; ++i) {
    if (prefix == kMonths[i]) return i + 1;
  }
  return 0;
}

}  // namespace

bool ParseCookieDate(std::u16string_view text, int64_t& ms) {
  bool found_time = false, found_day = false, found_month = false, found_year = false;
  int hour = 0, minute = 0, second = 0, day = 0, month = 0, year = 0;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && IsDateDelimiter(text[i])) ++i;
    const size_t start = i;
    while (i < text.size() && !IsDateDelimiter(text[i])) ++i;
    const auto token = text.substr(start, i - start);
    if (token.empty()) continue;
    size_t pos = 0;
    int value = 0;
    if (!found_time && ParseTime(token, hour, minute, second)) {
      found_time = true;
    } else if (!found_day && Digits(token, pos = 0, 1, 2, value)) {
      found_day = true;
      day = value;
    } else if (!found_month && MonthOf(token)) {
      found_month = true;
      month = MonthOf(token);
    } else if (!found_year && Digits(token, pos = 0, 2, 4, value)) {
      found_year = true;
      year = value;
    }
  }
  if (year >= 70 && year <= 99) year += 1900;
  if (year >= 0 && year <= 69) year += 2000;
  if (!found_time || !found_day || !found_month || !found_year || day < 1 || day > 31 || year < 1601 ||
      hour > 23 || minute > 59 || second > 59)
    return false;
  // A day past the month's end (February 30) is no date.
  if (DaysFromCivil(year, month, day) - DaysFromCivil(year, month, 1) != day - 1 ||
      (month < 12 ? DaysFromCivil(year, month + 1, 1) : DaysFromCivil(year + 1, 1, 1)) <=
          DaysFromCivil(year, month, day))
    return false;
  ms = DaysFromCivil(year, month, day) * kDayMs + (hour * 3600 + minute * 60 + second) * int64_t{1000};
  return true;
}

// --- the store ---------------------------------------------------------------------------

CookieStore::CookieStore(std::u16string folder) : folder_(std::move(folder)) {}

void CookieStore::TakeHeaders(const Url& url, const HeaderList& headers) {
  for (const auto& [name, value] : headers) {
    if (EqualsIgnoringCase(std::u16string_view(name), std::u16string_view(u"set-cookie")))
      SetFromLine(url, value, true);
  }
}

bool CookieStore::SetFromLine(const Url& url, std::u16string_view line, bool http) {
  // A line that is too long or holds control characters is refused whole, not cut.
  if (line.size() > kMaxCookieLine || HasAny(line, [](char16_t c) { return IsControl(c) && c != u'\t'; }))
    return false;
  const size_t end = std::min(line.find(u';'), line.size());
  const auto pair = line.substr(0, end);
  Cookie cookie;
  if (const size_t eq = pair.find(u'='); eq == std::u16string_view::npos) {
    cookie.value = TrimBlanks(pair);
  } else {
    cookie.name = TrimBlanks(pair.substr(0, eq));
    cookie.value = TrimBlanks(pair.substr(eq + 1));
  }
  if ((cookie.name.empty() && cookie.value.empty()) ||
      cookie.name.size() + cookie.value.size() > kMaxCookieNameValue || HasAny(cookie.name, IsControl) ||
      HasAny(cookie.value, IsControl))
    return false;

  const int64_t now = NowMs();
  std::optional<int64_t> max_age, expires;
  std::u16string_view domain, path;
  for (size_t pos = end; pos < line.size();) {
    const size_t next = std::min(line.find(u';', pos + 1), line.size());
    const auto attribute = line.substr(pos + 1, next - pos - 1);
    pos = next;
    const size_t eq = attribute.find(u'=');
    const auto key = AsciiLower(TrimBlanks(attribute.substr(0, eq)));
    const auto value =
        eq == std::u16string_view::npos ? std::u16string_view() : TrimBlanks(attribute.substr(eq + 1));
    // An attribute too long, or holding a tab inside its value, is ignored, as if absent.
    if (value.size() > kMaxCookieAttribute || HasAny(value, IsControl)) continue;
    if (key == u"expires") {
      int64_t ms = 0;
      if (ParseCookieDate(value, ms)) expires = ms;
    } else if (key == u"max-age") {
      const std::string digits = ToUtf8(value);
      int64_t seconds = 0;
      const bool negative = digits.starts_with('-');
      const auto [ptr, error] =
          std::from_chars(digits.data() + negative, digits.data() + digits.size(), seconds);
      if (error == std::errc() && digits.size() > static_cast<size_t>(negative) &&
          ptr == digits.data() + digits.size()) {
        max_age = negative ? -1 : seconds;
      } else if (error == std::errc::result_out_of_range) {
        max_age = negative ? -1 : INT64_MAX;  // "a very large number" counts as far future
      }
    } else if (key == u"domain") {
      if (!value.empty()) domain = value;
    } else if (key == u"path") {
      path = value;
    } else if (key == u"secure") {
      cookie.secure = true;
    } else if (key == u"httponly") {
      cookie.httponly = true;
    }
  }
  if (max_age) {
    cookie.has_expires = true;
    cookie.expires = *max_age <= 0 ? 0 : now + std::min(*max_age, kLongestLifeMs / 1000) * 1000;
  } else if (expires) {
    cookie.has_expires = true;
    cookie.expires = std::min(*expires, now + kLongestLifeMs);
  }
  if (!ResolveDomain(url.host, domain, cookie)) return false;
  cookie.path = path.starts_with(u'/') ? std::u16string(path) : DefaultPath(url.path);
  return Store(url, std::move(cookie), http);
}

bool CookieStore::SetFromFields(const Url& url, Cookie cookie) {
  if ((cookie.name.empty() && cookie.value.empty()) ||
      cookie.name.size() + cookie.value.size() > kMaxCookieNameValue || HasAny(cookie.name, Forbidden) ||
      cookie.name.find(u'=') != std::u16string::npos || HasAny(cookie.value, Forbidden) ||
      HasAny(cookie.domain, Forbidden) || HasAny(cookie.path, Forbidden) ||
      cookie.domain.size() > kMaxCookieAttribute || cookie.path.size() > kMaxCookieAttribute)
    return false;
  const std::u16string wanted = std::move(cookie.domain);
  if (!ResolveDomain(url.host, wanted, cookie)) return false;
  if (cookie.path.empty()) cookie.path = DefaultPath(url.path);
  if (!cookie.path.starts_with(u'/')) return false;
  return Store(url, std::move(cookie), true);
}

bool CookieStore::Store(const Url& url, Cookie cookie, bool http) {
  if (cookie.httponly && !http) return false;
  // A Secure cookie comes from a secure page only.
  if (cookie.secure && url.scheme != u"https") return false;
  const int64_t now = NowMs();
  std::lock_guard lock(mutex_);
  if (std::find(schemes_.begin(), schemes_.end(), url.scheme) == schemes_.end()) return false;
  bool persistent_change = cookie.has_expires;
  cookie.creation = now;
  const auto old =
      std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& c) { return SameCookie(c, cookie); });
  if (old != cookies_.end()) {
    if (old->httponly && !http) return false;
    cookie.creation = old->creation;
    persistent_change = persistent_change || old->has_expires;
  }
  if (cookie.has_expires && cookie.expires <= now) {
    // Already expired: the cookie only deletes the one it replaces.
    if (old != cookies_.end()) cookies_.erase(old);
  } else {
    cookie.last_access = now;
    const std::u16string domain = cookie.domain;
    // A replaced cookie keeps its place, so that it stays before younger ones of the
    // same creation time.
    if (old != cookies_.end()) {
      *old = std::move(cookie);
    } else {
      cookies_.push_back(std::move(cookie));
    }
    // Expired cookies go first; then, past a limit, the least recently used.
    std::erase_if(cookies_, [now](const Cookie& c) { return c.has_expires && c.expires <= now; });
    auto evict = [this](auto&& of_interest, size_t limit) {
      while (static_cast<size_t>(std::count_if(cookies_.begin(), cookies_.end(), of_interest)) > limit) {
        auto oldest = cookies_.end();
        for (auto it = cookies_.begin(); it != cookies_.end(); ++it) {
          if (of_interest(*it) && (oldest == cookies_.end() || it->last_access < oldest->last_access))
            oldest = it;
        }
        cookies_.erase(oldest);
      }
    };
    evict([&domain](const Cookie& c) { return c.domain == domain; }, kMaxCookiesPerDomain);
    evict([](const Cookie&) { return true; }, kMaxCookies);
  }
  if (persistent_change) Changed();
  return true;
}

std::vector<Cookie> CookieStore::Matching(const Url& url, bool http, bool touch) {
  const int64_t now = NowMs();
  std::vector<Cookie> out;
  std::lock_guard lock(mutex_);
  if (std::find(schemes_.begin(), schemes_.end(), url.scheme) == schemes_.end()) return out;
  const std::u16string host = AsciiLower(std::u16string_view(url.host));
  const bool secure = url.scheme == u"https";
  for (auto& cookie : cookies_) {
    if (cookie.has_expires && cookie.expires <= now) continue;
    if (cookie.host_only ? host != cookie.domain : !DomainMatches(host, cookie.domain)) continue;
    if (!PathMatches(url.path, cookie.path) || (cookie.secure && !secure) || (cookie.httponly && !http))
      continue;
    if (touch) cookie.last_access = now;
    out.push_back(cookie);
  }
  SortForSending(out);
  return out;
}

std::u16string CookieStore::HeaderFor(const Url& url, bool http) {
  std::u16string header;
  for (const auto& cookie : Matching(url, http, true)) {
    if (!header.empty()) header += u"; ";
    header += cookie.name.empty() ? cookie.value : cookie.name + u"=" + cookie.value;
  }
  return header;
}

std::vector<Cookie> CookieStore::All() {
  std::vector<Cookie> out;
  {
    const int64_t now = NowMs();
    std::lock_guard lock(mutex_);
    std::erase_if(cookies_, [now](const Cookie& c) { return c.has_expires && c.expires <= now; });
    out = cookies_;
  }
  SortForSending(out);
  return out;
}

std::vector<Cookie> CookieStore::ForUrl(const Url& url, bool include_httponly) {
  return Matching(url, include_httponly, false);
}

void CookieStore::Remove(const Cookie& cookie) {
  std::lock_guard lock(mutex_);
  if (std::erase_if(cookies_, [&](const Cookie& c) { return SameCookie(c, cookie); }) && cookie.has_expires)
    Changed();
}

void CookieStore::Delete(const Url& url, std::u16string_view name) {
  const std::u16string host = AsciiLower(std::u16string_view(url.host));
  std::lock_guard lock(mutex_);
  const auto removed = std::erase_if(cookies_, [&](const Cookie& c) {
    if (name.empty()) return c.host_only && c.domain == host;
    return c.name == name && (c.host_only ? c.domain == host : DomainMatches(host, c.domain));
  });
  if (removed) Changed();
}

void CookieStore::DeleteAll() {
  std::lock_guard lock(mutex_);
  cookies_.clear();
  Changed();
}

void CookieStore::SetSupportedSchemes(std::vector<std::u16string> schemes) {
  for (auto& scheme : schemes) scheme = AsciiLower(std::u16string_view(scheme));
  std::lock_guard lock(mutex_);
  schemes_ = std::move(schemes);
}

bool CookieStore::Supports(const Url& url) {
  std::lock_guard lock(mutex_);
  return std::find(schemes_.begin(), schemes_.end(), url.scheme) != schemes_.end();
}

// --- the cookie file ---------------------------------------------------------------------
// Text in UTF-8: a header line, one line per cookie with an expiry date (fields separated
// by tabs, which no field may hold), and an end line with the count, so that a file cut
// off anywhere is recognised as damaged. Session cookies are not kept, as in browsers.

namespace {

std::filesystem::path FileIn(const std::u16string& folder) {
  return std::filesystem::path(folder) / kFileName;
}

std::string CookieLine(const Cookie& c) {
  auto number = [](int64_t n) { return std::to_string(n); };
  return ToUtf8(c.domain) + '\t' + (c.host_only ? "1" : "0") + '\t' + ToUtf8(c.path) + '\t' +
         (c.secure ? "1" : "0") + '\t' + (c.httponly ? "1" : "0") + '\t' + number(c.expires) + '\t' +
         number(c.creation) + '\t' + number(c.last_access) + '\t' + ToUtf8(c.name) + '\t' + ToUtf8(c.value) +
         '\n';
}

bool ReadNumber(std::string_view text, int64_t& n) {
  const auto [ptr, error] = std::from_chars(text.data(), text.data() + text.size(), n);
  return error == std::errc() && ptr == text.data() + text.size();
}

bool ReadFlag(std::string_view text, bool& flag) {
  if (text != "0" && text != "1") return false;
  flag = text == "1";
  return true;
}

std::optional<Cookie> ParseCookieLine(std::string_view line) {
  std::vector<std::string_view> fields;
  for (size_t start = 0;;) {
    const size_t tab = line.find('\t', start);
    fields.push_back(
        line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  Cookie c;
  if (fields.size() != 10 || !ReadFlag(fields[1], c.host_only) || !ReadFlag(fields[3], c.secure) ||
      !ReadFlag(fields[4], c.httponly) || !ReadNumber(fields[5], c.expires) ||
      !ReadNumber(fields[6], c.creation) || !ReadNumber(fields[7], c.last_access))
    return std::nullopt;
  c.has_expires = true;
  c.domain = ToUtf16(fields[0]);
  c.path = ToUtf16(fields[2]);
  c.name = ToUtf16(fields[8]);
  c.value = ToUtf16(fields[9]);
  if (c.domain.empty() || !c.path.starts_with(u'/') || HasAny(c.domain, Forbidden) ||
      HasAny(c.path, Forbidden) || HasAny(c.name, Forbidden) || HasAny(c.value, Forbidden) ||
      c.name.size() + c.value.size() > kMaxCookieNameValue)
    return std::nullopt;
  return c;
}

// The whole file, or nothing when it is damaged.
std::optional<std::vector<Cookie>> ParseFile(std::string_view text) {
  std::vector<Cookie> cookies;
  size_t pos = 0;
  auto next_line = [&](std::string_view& line) {
    const size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) return false;
    line = text.substr(pos, end - pos);
    pos = end + 1;
    return true;
  };
  std::string_view line;
  if (!next_line(line) || line != kFileHeader) return std::nullopt;
  while (next_line(line)) {
    if (line.starts_with("end ")) {
      int64_t count = 0;
      if (!ReadNumber(line.substr(4), count) || count != static_cast<int64_t>(cookies.size()) ||
          pos != text.size())
        return std::nullopt;
      return cookies;
    }
    auto cookie = ParseCookieLine(line);
    if (!cookie || cookies.size() >= kMaxCookies) return std::nullopt;
    cookies.push_back(std::move(*cookie));
  }
  return std::nullopt;
}

// Writes a new file beside the old one, forces it to the disk, then puts it in the old
// one's place in one step: a crash or power cut leaves either the old or the new file.
bool WriteReplacing(const std::filesystem::path& file, const std::string& text) {
  auto temporary = file;
  temporary += ".new";
#if defined(_WIN32)
  FILE* out = _wfopen(temporary.c_str(), L"wb");
#else
  FILE* out = std::fopen(temporary.c_str(), "wb");
#endif
  if (!out) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
#if defined(_WIN32)
  ok = ok && _commit(_fileno(out)) == 0;
#else
  ok = ok && fsync(fileno(out)) == 0;
#endif
  ok = std::fclose(out) == 0 && ok;
#if defined(_WIN32)
  ok = ok && MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
#else
  ok = ok && std::rename(temporary.c_str(), file.c_str()) == 0;
#endif
  if (!ok) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
  }
  return ok;
}

}  // namespace

void CookieStore::Changed() {
  if (folder_.empty()) return;
  dirty_ = true;
  if (write_queued_) return;
  write_queued_ = Runtime::Get().PostWork(TID_FILE, [weak = self_] {
    if (auto store = weak.lock()) store->Flush();
  });
}

void CookieStore::Flush() {
  std::lock_guard write(write_mutex_);
  std::filesystem::path file;
  std::string text = std::string(kFileHeader) + "\n";
  {
    std::lock_guard lock(mutex_);
    write_queued_ = false;
    if (!dirty_ || folder_.empty()) return;
    dirty_ = false;
    file = FileIn(folder_);
    const int64_t now = NowMs();
    size_t count = 0;
    for (const auto& cookie : cookies_) {
      if (!cookie.has_expires || cookie.expires <= now) continue;
      text += CookieLine(cookie);
      ++count;
    }
    text += "end " + std::to_string(count) + "\n";
  }
  std::error_code error;
  std::filesystem::create_directories(file.parent_path(), error);
  if (!WriteReplacing(file, text))
    std::fprintf(stderr, "cef engine: could not write the cookie file %s\n", file.string().c_str());
}

void CookieStore::Load() {
  cookies_.clear();
  dirty_ = false;
  if (folder_.empty()) return;
  const auto file = FileIn(folder_);
  std::ifstream in(file, std::ios::binary);
  if (!in) return;  // no file yet
  std::string text;
  text.resize(kMaxFileBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  in.close();
  auto cookies = text.size() > kMaxFileBytes ? std::nullopt : ParseFile(text);
  if (!cookies) {
    // Set aside, never deleted: the next write starts a new file.
    auto aside = file;
    aside += ".damaged";
    std::error_code error;
    std::filesystem::rename(file, aside, error);
    std::fprintf(stderr, "cef engine: the cookie file %s is damaged; set aside as %s\n",
                 file.string().c_str(), aside.string().c_str());
    return;
  }
  const int64_t now = NowMs();
  std::erase_if(*cookies, [now](const Cookie& c) { return c.expires <= now; });
  cookies_ = std::move(*cookies);
}

namespace {
// The stores kept in a folder, one per folder, so that two managers of one folder share
// their cookies and a store is written before another one reads its folder again.
struct OpenFolders {
  std::mutex mutex;
  std::condition_variable closed;
  std::map<std::u16string, std::pair<const CookieStore*, std::weak_ptr<CookieStore>>> stores;
};
OpenFolders& Folders() {
  static Immortal<OpenFolders> folders;
  return *folders;
}
}  // namespace

CookieStore::~CookieStore() {
  Flush();
  auto& folders = Folders();
  std::lock_guard lock(folders.mutex);
  if (auto it = folders.stores.find(folder_); it != folders.stores.end() && it->second.first == this) {
    folders.stores.erase(it);
    folders.closed.notify_all();
  }
}

bool CookieStore::SetFolder(std::u16string folder) {
  Flush();
  // A path that names a file cannot hold cookies; a missing folder is made at the first write.
  std::error_code error;
  if (!folder.empty() && std::filesystem::exists(std::filesystem::path(folder), error) &&
      !std::filesystem::is_directory(std::filesystem::path(folder), error))
    return false;
  auto& folders = Folders();
  std::unique_lock registry(folders.mutex);
  for (auto it = folders.stores.find(folder); !folder.empty() && it != folders.stores.end();
       it = folders.stores.find(folder)) {
    if (it->second.first == this) return true;
    if (it->second.second.lock()) return false;  // another store has that folder
    folders.closed.wait(registry);               // one that is going: wait until it is written
  }
  if (auto it = folders.stores.find(folder_); it != folders.stores.end() && it->second.first == this)
    folders.stores.erase(it);
  if (!folder.empty()) folders.stores[folder] = {this, self_};
  std::lock_guard lock(mutex_);
  folder_ = std::move(folder);
  Load();
  return true;
}

std::shared_ptr<CookieStore> MakeCookieStore(std::u16string folder) {
  if (!folder.empty()) {
    auto& folders = Folders();
    std::unique_lock registry(folders.mutex);
    for (auto it = folders.stores.find(folder); it != folders.stores.end();
         it = folders.stores.find(folder)) {
      if (auto open = it->second.second.lock()) return open;
      folders.closed.wait(registry);
    }
  }
  auto store = std::make_shared<CookieStore>();
  store->self_ = store;
  if (!store->SetFolder(std::move(folder))) return nullptr;
  return store;
}

namespace {
struct GlobalStore {
  std::mutex mutex;
  std::shared_ptr<CookieStore> store;
};
GlobalStore& Global() {
  static Immortal<GlobalStore> global;
  return *global;
}
}  // namespace

std::shared_ptr<CookieStore> GlobalCookieStore() {
  auto& runtime = Runtime::Get();
  if (!runtime.Initialized()) return nullptr;
  auto& global = Global();
  std::lock_guard lock(global.mutex);
  if (global.store) return global.store;
  // Kept only when shutdown will let it go: a load on the IO thread may ask while the
  // main thread has begun to shut down, and a store kept then would outlive the engine.
  const bool registered = runtime.AtShutdown([] {
    std::shared_ptr<CookieStore> store;
    {
      std::lock_guard lock(Global().mutex);
      store = std::move(Global().store);
    }
    if (store) store->Flush();
  });
  if (!registered) return nullptr;
  const std::u16string folder = runtime.CopiedString("cache_path").value_or(u"");
  global.store = MakeCookieStore(folder);
  if (!global.store) {
    std::fprintf(stderr, "cef engine: cannot keep cookies in %s; they stay in memory\n",
                 ToUtf8(folder).c_str());
    global.store = MakeCookieStore(u"");
  }
  return global.store;
}

}  // namespace cef_engine::net
