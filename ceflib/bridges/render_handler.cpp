#include "ceflib/bridges/render_handler.h"

namespace ceflib {
namespace {

// The rectangles arrive as a counted array: the method gets a view of it.
void CEF_CALLBACK OnPaintEntry(cef_render_handler_t* self, cef_browser_t* browser,
                               cef_paint_element_type_t type, size_t dirtyRectCount,
                               const cef_rect_t* dirtyRects, const void* buffer) {
  CefGuarded([&] {
    const std::span<const cef_rect_t> rects =
        dirtyRects ? std::span<const cef_rect_t>(dirtyRects, dirtyRectCount) : std::span<const cef_rect_t>();
    CefObjectOf<TCefRenderHandlerOwn>(self)->OnPaint(FromEngineArg<RefPtr<ICefBrowser>>(browser), type, rects,
                                                     buffer);
  });
}

}  // namespace

TCefRenderHandlerOwn::TCefRenderHandlerOwn() {
  cef_render_handler_t* r = record();
  Bind<&TCefRenderHandlerOwn::GetViewRect>(r->get_view_rect);
  Bind<&TCefRenderHandlerOwn::GetScreenRect>(r->get_screen_rect);
  Bind<&TCefRenderHandlerOwn::GetScreenPoint>(r->get_screen_point);
  Bind<&TCefRenderHandlerOwn::OnPopupShow>(r->on_popup_show);
  Bind<&TCefRenderHandlerOwn::OnPopupSize>(r->on_popup_size);
  r->on_paint = &OnPaintEntry;
  Bind<&TCefRenderHandlerOwn::OnCursorChange>(r->on_cursor_change);
}

bool TCefRenderHandlerOwn::GetViewRect(const RefPtr<ICefBrowser>&, cef_rect_t&) { return false; }
bool TCefRenderHandlerOwn::GetScreenRect(const RefPtr<ICefBrowser>&, cef_rect_t&) { return false; }
bool TCefRenderHandlerOwn::GetScreenPoint(const RefPtr<ICefBrowser>&, int, int, int&, int&) { return false; }
void TCefRenderHandlerOwn::OnPopupShow(const RefPtr<ICefBrowser>&, bool) {}
void TCefRenderHandlerOwn::OnPopupSize(const RefPtr<ICefBrowser>&, const cef_rect_t&) {}
void TCefRenderHandlerOwn::OnPaint(const RefPtr<ICefBrowser>&, TCefPaintElementType,
                                   std::span<const cef_rect_t>, const void*) {}
void TCefRenderHandlerOwn::OnCursorChange(const RefPtr<ICefBrowser>&, TCefCursorHandle) {}

}  // namespace ceflib
