#include "ceflib/bridges/cookie_visitor.h"

namespace ceflib {

TCefCookieVisitorOwn::TCefCookieVisitorOwn() { Bind<&TCefCookieVisitorOwn::Visit>(record()->visit); }

bool TCefCookieVisitorOwn::Visit(const TCefCookie&, int, int, bool&) { return false; }

bool TCefFastCookieVisitor::Visit(const TCefCookie& cookie, int count, int total, bool& deleteCookie) {
  return FProc ? FProc(cookie, count, total, deleteCookie) : false;
}

}  // namespace ceflib
