// The DOM event listener: called with each event a node was subscribed to.
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/dom.h"

namespace ceflib {

class ICefDomEventListener : public virtual ICefBase {
 public:
  virtual void HandleEvent(const RefPtr<ICefDomEvent>& event) = 0;
};

// Called with each event the node was subscribed to; does nothing unless overridden.
class TCefDomEventListenerOwn : public TCefOwn<cef_domevent_listener_t>, public ICefDomEventListener {
 public:
  TCefDomEventListenerOwn();
  void HandleEvent(const RefPtr<ICefDomEvent>&) override {}
};

class TCefFastDomEventListener : public TCefDomEventListenerOwn {
 public:
  explicit TCefFastDomEventListener(TCefFastDomEventListenerProc proc) : FProc(std::move(proc)) {}
  void HandleEvent(const RefPtr<ICefDomEvent>& event) override;

 private:
  TCefFastDomEventListenerProc FProc;
};

}  // namespace ceflib
