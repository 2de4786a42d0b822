// Cookie stores: Set-Cookie headers taken in and Cookie headers given out by the rules
// of RFC 6265 (domain and path matching, Secure, HttpOnly, Expires and Max-Age, host-only
// cookies), with bounds on hostile input, and kept in a folder when the store has one.
// Every member may be called on any thread.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "net/records.h"
#include "net/url.h"

namespace cef_engine::net {

struct Cookie {
  std::u16string name, value;
  std::u16string domain;  // lower case, without a leading '.'
  bool host_only = true;  // sent to `domain` itself only, not to its subdomains
  std::u16string path;
  bool secure = false, httponly = false;
  bool has_expires = false;
  int64_t expires = 0;  // milliseconds since 1970 (UTC), when has_expires
  int64_t creation = 0, last_access = 0;
};

// The limits of a store; what goes past them is refused or evicts the least recently used.
inline constexpr size_t kMaxCookieLine = 8192;       // one Set-Cookie header value, in characters
inline constexpr size_t kMaxCookieNameValue = 4096;  // name and value together
inline constexpr size_t kMaxCookieAttribute = 1024;  // one attribute's value (longer: ignored)
inline constexpr size_t kMaxCookiesPerDomain = 180;
inline constexpr size_t kMaxCookies = 3300;

// A cookie date (RFC 6265 5.1.1) in milliseconds since 1970; false when it is not one.
bool ParseCookieDate(std::u16string_view text, int64_t& ms);

class CookieStore {
 public:
  // A store kept in `folder` (loaded from it now), or in memory when `folder` is empty.
  explicit CookieStore(std::u16string folder = {});
  ~CookieStore();  // writes changes not yet written
  CookieStore(const CookieStore&) = delete;
  CookieStore& operator=(const CookieStore&) = delete;

  // Every Set-Cookie header of a response from `url`.
  void TakeHeaders(const Url& url, const HeaderList& headers);
  // One Set-Cookie value; `http` false for page script, which may neither set nor
  // replace an HttpOnly cookie. False when the cookie was refused.
  bool SetFromLine(const Url& url, std::u16string_view line, bool http);
  // A cookie from the program's fields (nothing parsed; every field checked).
  bool SetFromFields(const Url& url, Cookie cookie);
  // The Cookie header value for a request to `url` (empty when none applies); the
  // cookies sent are marked used now.
  std::u16string HeaderFor(const Url& url, bool http);

  // Every cookie, or the ones a request to `url` would get, longest path first, then
  // oldest first.
  std::vector<Cookie> All();
  std::vector<Cookie> ForUrl(const Url& url, bool include_httponly);
  // Removes the cookie with the same name, domain, host-only flag and path.
  void Remove(const Cookie& cookie);
  // With a name: the cookies of that name that `url` would get (any path); without: the
  // host cookies of url's host.
  void Delete(const Url& url, std::u16string_view name);
  void DeleteAll();

  void SetSupportedSchemes(std::vector<std::u16string> schemes);
  bool Supports(const Url& url);
  // Switches to the cookies kept in `folder` (empty: a new store in memory); false when
  // `folder` names a file or another store keeps its cookies there.
  bool SetFolder(std::u16string folder);
  // Writes the persistent cookies to the folder, if they changed since the last write.
  void Flush();

 private:
  bool Store(const Url& url, Cookie cookie, bool http);
  void Changed();  // with mutex_ held
  void Load();     // with mutex_ held
  std::vector<Cookie> Matching(const Url& url, bool http, bool touch);

  std::mutex mutex_;
  std::vector<Cookie> cookies_;
  std::vector<std::u16string> schemes_{u"http", u"https"};
  std::u16string folder_;
  bool dirty_ = false, write_queued_ = false;
  std::mutex write_mutex_;  // one write of the file at a time
  std::weak_ptr<CookieStore> self_;
  friend std::shared_ptr<CookieStore> MakeCookieStore(std::u16string folder);
};

// Stores are shared (loads hold the store they use); writes go to the FILE thread. A
// folder that a store keeps already gives that store.
std::shared_ptr<CookieStore> MakeCookieStore(std::u16string folder);
// The engine's shared store, kept in the settings' cache_path when that is set; null
// when the engine is not running. Written and let go at shutdown.
std::shared_ptr<CookieStore> GlobalCookieStore();
// The store behind a cookie manager record this engine made; null for any other record.
std::shared_ptr<CookieStore> CookieStoreOf(cef_cookie_manager_t* manager);

}  // namespace cef_engine::net
