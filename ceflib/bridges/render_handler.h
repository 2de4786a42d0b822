// The render handler: what a browser made with window rendering disabled paints goes
// here instead of to a window, with the view's and screen's geometry the program tells.
// Every method runs on the main (UI) thread.
#pragma once

#include <span>

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/browser.h"

namespace ceflib {

using TCefPaintElementType = cef_paint_element_type_t;
using TCefCursorHandle = cef_cursor_handle_t;

class ICefRenderHandler : public virtual ICefBase {
 public:
  virtual bool GetViewRect(const RefPtr<ICefBrowser>& browser, cef_rect_t& rect) = 0;
  virtual bool GetScreenRect(const RefPtr<ICefBrowser>& browser, cef_rect_t& rect) = 0;
  virtual bool GetScreenPoint(const RefPtr<ICefBrowser>& browser, int viewX, int viewY, int& screenX,
                              int& screenY) = 0;
  virtual void OnPopupShow(const RefPtr<ICefBrowser>& browser, bool show) = 0;
  virtual void OnPopupSize(const RefPtr<ICefBrowser>& browser, const cef_rect_t& rect) = 0;
  virtual void OnPaint(const RefPtr<ICefBrowser>& browser, TCefPaintElementType type,
                       std::span<const cef_rect_t> dirtyRects, const void* buffer) = 0;
  virtual void OnCursorChange(const RefPtr<ICefBrowser>& browser, TCefCursorHandle cursor) = 0;
};

class TCefRenderHandlerOwn : public TCefOwn<cef_render_handler_t>, public ICefRenderHandler {
 public:
  TCefRenderHandlerOwn();
  // The view's rectangle in screen coordinates; true when filled. Default: false (the
  // engine keeps the size it has).
  bool GetViewRect(const RefPtr<ICefBrowser>& browser, cef_rect_t& rect) override;
  // The rectangle of the screen the view is on; true when filled. Default: false.
  bool GetScreenRect(const RefPtr<ICefBrowser>& browser, cef_rect_t& rect) override;
  // A view point in screen coordinates; true when set. Default: false.
  bool GetScreenPoint(const RefPtr<ICefBrowser>& browser, int viewX, int viewY, int& screenX,
                      int& screenY) override;
  // A pop-up widget (an open drop-down list) shows or hides, moves or resizes.
  // Defaults: nothing.
  void OnPopupShow(const RefPtr<ICefBrowser>& browser, bool show) override;
  void OnPopupSize(const RefPtr<ICefBrowser>& browser, const cef_rect_t& rect) override;
  // The element's pixels changed within dirtyRects: buffer holds the whole element,
  // width x height x 4 bytes, BGRA, top row first. Both are lent for the call only:
  // copy what you need, never keep the pointers. Default: nothing.
  void OnPaint(const RefPtr<ICefBrowser>& browser, TCefPaintElementType type,
               std::span<const cef_rect_t> dirtyRects, const void* buffer) override;
  // The cursor over the view changed (HCURSOR on Windows). Default: nothing.
  void OnCursorChange(const RefPtr<ICefBrowser>& browser, TCefCursorHandle cursor) override;
};

}  // namespace ceflib
