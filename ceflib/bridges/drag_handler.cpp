#include "ceflib/bridges/drag_handler.h"

namespace ceflib {

TCefDragHandlerOwn::TCefDragHandlerOwn() {
  cef_drag_handler_t* r = record();
  Bind<&TCefDragHandlerOwn::OnDragStart>(r->on_drag_start);
  Bind<&TCefDragHandlerOwn::OnDragEnter>(r->on_drag_enter);
}

bool TCefDragHandlerOwn::OnDragStart(const RefPtr<ICefBrowser>&, const RefPtr<ICefDragData>&,
                                     TCefDragOperationsMask) {
  return false;
}
bool TCefDragHandlerOwn::OnDragEnter(const RefPtr<ICefBrowser>&, const RefPtr<ICefDragData>&,
                                     TCefDragOperationsMask) {
  return false;
}

}  // namespace ceflib
