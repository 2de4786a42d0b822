#include "ceflib/wrappers/cookie_manager.h"

#include "ceflib/bridges/cookie_visitor.h"
#include "ceflib/core/engine_library.h"

namespace ceflib {

TCefCookie::TCefCookie(const cef_cookie_t* cookie) {
  if (!cookie) return;
  name = CefStringRead(&cookie->name);
  value = CefStringRead(&cookie->value);
  domain = CefStringRead(&cookie->domain);
  path = CefStringRead(&cookie->path);
  secure = cookie->secure;
  httponly = cookie->httponly;
  creation = CefTimeToDateTime(cookie->creation);
  lastAccess = CefTimeToDateTime(cookie->last_access);
  hasExpires = cookie->has_expires;
  if (hasExpires) expires = CefTimeToDateTime(cookie->expires);
}

CefCookieArg ToEngine(const TCefCookie& cookie) {
  CefCookieArg arg;
  cef_cookie_t& r = arg.record;
  r.name = CefStringView(cookie.name);
  r.value = CefStringView(cookie.value);
  r.domain = CefStringView(cookie.domain);
  r.path = CefStringView(cookie.path);
  r.secure = cookie.secure;
  r.httponly = cookie.httponly;
  r.creation = DateTimeToCefTime(cookie.creation);
  r.last_access = DateTimeToCefTime(cookie.lastAccess);
  r.has_expires = cookie.hasExpires;
  if (cookie.hasExpires) r.expires = DateTimeToCefTime(cookie.expires);
  return arg;
}

void TCefCookieManagerRef::SetSupportedSchemes(const std::vector<ustring>& schemes) {
  CheckEngine();
  CefOwnedStringList list;
  for (const ustring& scheme : schemes) list.Append(scheme);
  Call(&cef_cookie_manager_t::set_supported_schemes, list.Handle());
}

bool TCefCookieManagerRef::VisitAllCookies(const RefPtr<ICefCookieVisitor>& visitor) {
  return Call<bool>(&cef_cookie_manager_t::visit_all_cookies, visitor);
}

bool TCefCookieManagerRef::VisitAllCookiesProc(const TCefCookieVisitorProc& visitor) {
  return VisitAllCookies(Make<TCefFastCookieVisitor>(visitor));
}

bool TCefCookieManagerRef::VisitUrlCookies(const ustring& url, bool includeHttpOnly,
                                           const RefPtr<ICefCookieVisitor>& visitor) {
  return Call<bool>(&cef_cookie_manager_t::visit_url_cookies, url, includeHttpOnly, visitor);
}

bool TCefCookieManagerRef::VisitUrlCookiesProc(const ustring& url, bool includeHttpOnly,
                                               const TCefCookieVisitorProc& visitor) {
  return VisitUrlCookies(url, includeHttpOnly, Make<TCefFastCookieVisitor>(visitor));
}

RefPtr<ICefCookieManager> TCefCookieManagerRef::GetGlobalManager() {
  return CefCallExport<RefPtr<ICefCookieManager>>(cef_cookie_manager_get_global_manager);
}

RefPtr<ICefCookieManager> TCefCookieManagerRef::CreateManager(const ustring& path) {
  return CefCallExport<RefPtr<ICefCookieManager>>(cef_cookie_manager_create_manager, path);
}

}  // namespace ceflib
