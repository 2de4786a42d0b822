// The page's input and view handlers: find results, zoom levels per address, key events,
// focus and the context menu. The engine calls every method on its main thread. Every
// default lets the engine go on as if there were no handler.
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/dom.h"

namespace ceflib {

using TCefHandlerKeyEventType = cef_handler_keyevent_type_t;
using TCefHandlerFocusSource = cef_handler_focus_source_t;
using TCefMenuId = cef_menu_id_t;

class ICefFindHandler : public virtual ICefBase {
 public:
  // A report on the search started by the browser's Find with this identifier: matches
  // found, the active match's rectangle (window coordinates; lent for the call) and
  // position (from 1), and whether this is the search's last report.
  virtual void OnFindResult(const RefPtr<ICefBrowser>& browser, int identifier, int count,
                            const cef_rect_t* selectionRect, int activeMatchOrdinal, bool finalUpdate) = 0;
};

class TCefFindHandlerOwn : public TCefOwn<cef_find_handler_t>, public ICefFindHandler {
 public:
  TCefFindHandlerOwn();
  void OnFindResult(const RefPtr<ICefBrowser>&, int, int, const cef_rect_t*, int, bool) override {}
};

class ICefZoomHandler : public virtual ICefBase {
 public:
  // The engine needs the level for url: set zoomLevel and answer true to impose it.
  virtual bool OnGetZoomLevel(const RefPtr<ICefBrowser>& browser, const ustring& url, double& zoomLevel) = 0;
  // The level for url was set; true: the program has stored it.
  virtual bool OnSetZoomLevel(const RefPtr<ICefBrowser>& browser, const ustring& url, double zoomLevel) = 0;
};

// Default: the engine keeps the browser's level itself.
class TCefZoomHandlerOwn : public TCefOwn<cef_zoom_handler_t>, public ICefZoomHandler {
 public:
  TCefZoomHandlerOwn();
  bool OnGetZoomLevel(const RefPtr<ICefBrowser>&, const ustring&, double&) override { return false; }
  bool OnSetZoomLevel(const RefPtr<ICefBrowser>&, const ustring&, double) override { return false; }
};

class ICefKeyboardHandler : public virtual ICefBase {
 public:
  // A key event, before the page sees it (isAfterJavaScript false) and again after page
  // script left a raw key down, key down or char unhandled (true). code is the key's
  // code, modifiers the KEY_... bits. True: handled, the page (or the engine) does
  // nothing more with it.
  virtual bool OnKeyEvent(const RefPtr<ICefBrowser>& browser, TCefHandlerKeyEventType type, int code,
                          int modifiers, bool isSystemKey, bool isAfterJavaScript) = 0;
};

class TCefKeyboardHandlerOwn : public TCefOwn<cef_keyboard_handler_t>, public ICefKeyboardHandler {
 public:
  TCefKeyboardHandlerOwn();
  bool OnKeyEvent(const RefPtr<ICefBrowser>&, TCefHandlerKeyEventType, int, int, bool, bool) override {
    return false;
  }
};

class ICefFocusHandler : public virtual ICefBase {
 public:
  // Focus leaves the page: next true past its last focusable element, false before
  // its first.
  virtual void OnTakeFocus(const RefPtr<ICefBrowser>& browser, bool next) = 0;
  // The browser wants the focus; true refuses it.
  virtual bool OnSetFocus(const RefPtr<ICefBrowser>& browser, TCefHandlerFocusSource source) = 0;
  // Another node of the page has the focus (null: none in particular). The node is a
  // snapshot for the call: keep no reference to it.
  virtual void OnFocusedNodeChanged(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                                    const RefPtr<ICefDomNode>& node) = 0;
};

class TCefFocusHandlerOwn : public TCefOwn<cef_focus_handler_t>, public ICefFocusHandler {
 public:
  TCefFocusHandlerOwn();
  void OnTakeFocus(const RefPtr<ICefBrowser>&, bool) override {}
  bool OnSetFocus(const RefPtr<ICefBrowser>&, TCefHandlerFocusSource) override { return false; }
  void OnFocusedNodeChanged(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&,
                            const RefPtr<ICefDomNode>&) override {}
};

// What a context menu was opened on, copied out of the engine's record.
struct TCefMenuInfo {
  int typeFlags = 0;  // MENUTYPE_... bits
  int x = 0, y = 0;   // screen coordinates (view coordinates without a window)
  ustring linkUrl, imageUrl, pageUrl, frameUrl, selectionText, misspelledWord;
  int editFlags = 0;  // MENU_CAN_... bits
  ustring securityInfo;
};

class ICefMenuHandler : public virtual ICefBase {
 public:
  // A context menu is about to open; true: no menu at all.
  virtual bool OnBeforeMenu(const RefPtr<ICefBrowser>& browser, const TCefMenuInfo& menuInfo) = 0;
  // The label of an item of the default menu; label holds the engine's text.
  virtual void GetMenuLabel(const RefPtr<ICefBrowser>& browser, TCefMenuId menuId, ustring& label) = 0;
  // An item of the default menu was chosen; true: the program did it, the engine does not.
  virtual bool OnMenuAction(const RefPtr<ICefBrowser>& browser, TCefMenuId menuId) = 0;
};

class TCefMenuHandlerOwn : public TCefOwn<cef_menu_handler_t>, public ICefMenuHandler {
 public:
  TCefMenuHandlerOwn();
  bool OnBeforeMenu(const RefPtr<ICefBrowser>&, const TCefMenuInfo&) override { return false; }
  void GetMenuLabel(const RefPtr<ICefBrowser>&, TCefMenuId, ustring&) override {}
  bool OnMenuAction(const RefPtr<ICefBrowser>&, TCefMenuId) override { return false; }
};

}  // namespace ceflib
