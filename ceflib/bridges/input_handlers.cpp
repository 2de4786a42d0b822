#include "ceflib/bridges/input_handlers.h"

namespace ceflib {
namespace {

TCefMenuInfo MenuInfoOf(const cef_menu_info_t& info) {
  return {info.typeFlags,
          info.x,
          info.y,
          CefStringRead(&info.linkUrl),
          CefStringRead(&info.imageUrl),
          CefStringRead(&info.pageUrl),
          CefStringRead(&info.frameUrl),
          CefStringRead(&info.selectionText),
          CefStringRead(&info.misspelledWord),
          info.editFlags,
          CefStringRead(&info.securityInfo)};
}

// The engine's record is lent for the call; the program gets a copy of it (an empty
// one when the engine passes none).
int CEF_CALLBACK OnBeforeMenuEntry(cef_menu_handler_t* self, cef_browser_t* browser,
                                   const cef_menu_info_t* menuInfo) {
  return CefGuarded([&] {
    auto wrapped = FromEngineArg<RefPtr<ICefBrowser>>(browser);
    const TCefMenuInfo info = menuInfo ? MenuInfoOf(*menuInfo) : TCefMenuInfo{};
    return CefObjectOf<TCefMenuHandlerOwn>(self)->OnBeforeMenu(wrapped, info) ? 1 : 0;
  });
}

}  // namespace

TCefFindHandlerOwn::TCefFindHandlerOwn() {
  Bind<&TCefFindHandlerOwn::OnFindResult>(record()->on_find_result);
}

TCefZoomHandlerOwn::TCefZoomHandlerOwn() {
  cef_zoom_handler_t* r = record();
  Bind<&TCefZoomHandlerOwn::OnGetZoomLevel>(r->on_get_zoom_level);
  Bind<&TCefZoomHandlerOwn::OnSetZoomLevel>(r->on_set_zoom_level);
}

TCefKeyboardHandlerOwn::TCefKeyboardHandlerOwn() {
  Bind<&TCefKeyboardHandlerOwn::OnKeyEvent>(record()->on_key_event);
}

TCefFocusHandlerOwn::TCefFocusHandlerOwn() {
  cef_focus_handler_t* r = record();
  Bind<&TCefFocusHandlerOwn::OnTakeFocus>(r->on_take_focus);
  Bind<&TCefFocusHandlerOwn::OnSetFocus>(r->on_set_focus);
  Bind<&TCefFocusHandlerOwn::OnFocusedNodeChanged>(r->on_focused_node_changed);
}

TCefMenuHandlerOwn::TCefMenuHandlerOwn() {
  cef_menu_handler_t* r = record();
  r->on_before_menu = &OnBeforeMenuEntry;
  Bind<&TCefMenuHandlerOwn::GetMenuLabel>(r->get_menu_label);
  Bind<&TCefMenuHandlerOwn::OnMenuAction>(r->on_menu_action);
}

}  // namespace ceflib
