// Cookie stores of the engine: the global one and stores of their own, and the cookie
// the program reads and sets through them.
#pragma once

#include <functional>
#include <vector>

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/v8.h"

namespace ceflib {

class ICefCookieVisitor;

// A cookie. Dates are local time like script dates (TDateTime); expires counts only
// with hasExpires. An empty domain makes a host cookie, a domain cookie's domain starts
// with '.'.
struct TCefCookie {
  ustring name;
  ustring value;
  ustring domain;
  ustring path;
  bool secure = false;
  bool httponly = false;
  TDateTime creation = 0;
  TDateTime lastAccess = 0;
  bool hasExpires = false;
  TDateTime expires = 0;

  TCefCookie() = default;
  // The engine's record, copied; null gives an empty cookie.
  explicit TCefCookie(const cef_cookie_t* cookie);
};

// A cookie for the engine: its strings are views of the program's cookie, valid for the
// call that takes it. Dates outside the calendar raise EConvertError.
struct CefCookieArg {
  cef_cookie_t record{};
  operator const cef_cookie_t*() const noexcept { return &record; }
};
CefCookieArg ToEngine(const TCefCookie& cookie);

// Called once per cookie with its index and the total; set deleteCookie to delete it,
// answer false to stop.
using TCefCookieVisitorProc =
    std::function<bool(const TCefCookie& cookie, int count, int total, bool& deleteCookie)>;

class ICefCookieManager : public virtual ICefBase {
 public:
  virtual void SetSupportedSchemes(const std::vector<ustring>& schemes) = 0;
  virtual bool VisitAllCookies(const RefPtr<ICefCookieVisitor>& visitor) = 0;
  virtual bool VisitAllCookiesProc(const TCefCookieVisitorProc& visitor) = 0;
  virtual bool VisitUrlCookies(const ustring& url, bool includeHttpOnly,
                               const RefPtr<ICefCookieVisitor>& visitor) = 0;
  virtual bool VisitUrlCookiesProc(const ustring& url, bool includeHttpOnly,
                                   const TCefCookieVisitorProc& visitor) = 0;
  virtual bool SetCookie(const ustring& url, const TCefCookie& cookie) = 0;
  virtual bool DeleteCookies(const ustring& url, const ustring& cookieName) = 0;
  virtual bool SetStoragePath(const ustring& path) = 0;
};

class TCefCookieManagerRef final
    : public TCefRef<TCefCookieManagerRef, ICefCookieManager, cef_cookie_manager_t> {
 public:
  using TCefRef::TCefRef;

  void SetSupportedSchemes(const std::vector<ustring>& schemes) override;
  bool VisitAllCookies(const RefPtr<ICefCookieVisitor>& visitor) override;
  bool VisitAllCookiesProc(const TCefCookieVisitorProc& visitor) override;
  bool VisitUrlCookies(const ustring& url, bool includeHttpOnly,
                       const RefPtr<ICefCookieVisitor>& visitor) override;
  bool VisitUrlCookiesProc(const ustring& url, bool includeHttpOnly,
                           const TCefCookieVisitorProc& visitor) override;
  bool SetCookie(const ustring& url, const TCefCookie& cookie) override {
    return Call<bool>(&cef_cookie_manager_t::set_cookie, url, cookie);
  }
  bool DeleteCookies(const ustring& url, const ustring& cookieName) override {
    return Call<bool>(&cef_cookie_manager_t::delete_cookies, url, cookieName);
  }
  bool SetStoragePath(const ustring& path) override {
    return Call<bool>(&cef_cookie_manager_t::set_storage_path, path);
  }

  // The engine's shared store; null when the engine has none.
  static RefPtr<ICefCookieManager> GetGlobalManager();
  // A store of its own kept in the folder path (empty: in memory only); null when the
  // engine cannot make one.
  static RefPtr<ICefCookieManager> CreateManager(const ustring& path);
};

template <>
struct TCefWrapperOf<ICefCookieManager> {
  using type = TCefCookieManagerRef;
};

}  // namespace ceflib
