// The drag handler: told when the page starts a drag and when something dragged from
// outside enters the browser, with what is dragged; either may be refused. Main (UI)
// thread.
#pragma once

#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/drag_data.h"

namespace ceflib {

using TCefDragOperationsMask = cef_drag_operations_mask_t;

class ICefDragHandler : public virtual ICefBase {
 public:
  virtual bool OnDragStart(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefDragData>& dragData,
                           TCefDragOperationsMask mask) = 0;
  virtual bool OnDragEnter(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefDragData>& dragData,
                           TCefDragOperationsMask mask) = 0;
};

class TCefDragHandlerOwn : public TCefOwn<cef_drag_handler_t>, public ICefDragHandler {
 public:
  TCefDragHandlerOwn();
  // The page starts dragging dragData with the operations in mask; true cancels the
  // drag. Default: false.
  bool OnDragStart(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefDragData>& dragData,
                   TCefDragOperationsMask mask) override;
  // Something dragged from outside enters the browser; true refuses it. Default: false.
  bool OnDragEnter(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefDragData>& dragData,
                   TCefDragOperationsMask mask) override;
};

}  // namespace ceflib
