#include "ceflib/bridges/dom_event_listener.h"

namespace ceflib {

TCefDomEventListenerOwn::TCefDomEventListenerOwn() {
  Bind<&TCefDomEventListenerOwn::HandleEvent>(record()->handle_event);
}

void TCefFastDomEventListener::HandleEvent(const RefPtr<ICefDomEvent>& event) {
  TCefDomEventListenerOwn::HandleEvent(event);
  if (FProc) FProc(event);
}

}  // namespace ceflib
