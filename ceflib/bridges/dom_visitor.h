// The DOM visitor: called with a frame's document while the engine visits it.
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/dom.h"

namespace ceflib {

class ICefDomVisitor : public virtual ICefBase {
 public:
  virtual void Visit(const RefPtr<ICefDomDocument>& document) = 0;
};

// Called once with the frame's document; does nothing unless overridden.
class TCefDomVisitorOwn : public TCefOwn<cef_domvisitor_t>, public ICefDomVisitor {
 public:
  TCefDomVisitorOwn();
  void Visit(const RefPtr<ICefDomDocument>&) override {}
};

class TCefFastDomVisitor : public TCefDomVisitorOwn {
 public:
  explicit TCefFastDomVisitor(TCefFastDomVisitorProc proc) : FProc(std::move(proc)) {}
  void Visit(const RefPtr<ICefDomDocument>& document) override;

 private:
  TCefFastDomVisitorProc FProc;
};

}  // namespace ceflib
