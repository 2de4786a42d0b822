// The cookie visitor: called by a cookie store with each of its cookies in turn.
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/cookie_manager.h"

namespace ceflib {

class ICefCookieVisitor : public virtual ICefBase {
 public:
  virtual bool Visit(const TCefCookie& cookie, int count, int total, bool& deleteCookie) = 0;
};

// Runs on the engine's IO thread. Default: stops at the first cookie, deletes nothing.
class TCefCookieVisitorOwn : public TCefOwn<cef_cookie_visitor_t>, public ICefCookieVisitor {
 public:
  TCefCookieVisitorOwn();
  bool Visit(const TCefCookie& cookie, int count, int total, bool& deleteCookie) override;
};

// A visitor built from a procedure; an empty one stops at once.
class TCefFastCookieVisitor : public TCefCookieVisitorOwn {
 public:
  explicit TCefFastCookieVisitor(TCefCookieVisitorProc proc) : FProc(std::move(proc)) {}
  bool Visit(const TCefCookie& cookie, int count, int total, bool& deleteCookie) override;

 private:
  TCefCookieVisitorProc FProc;
};

}  // namespace ceflib
