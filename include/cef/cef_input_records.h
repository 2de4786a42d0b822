// Records of the page's input and view handlers the program gives the engine: find,
// zoom, keyboard, focus and the context menu (with the menu information record), and
// the enumerations they use. The engine reaches each handler through the client's getter
// of its slot and calls it on the UI thread.
#pragma once

#include <cstddef>

#include "cef/cef_types.h"

extern "C" {

struct cef_browser_t;
struct cef_frame_t;
struct cef_domnode_t;

// Kind of key event in on_key_event.
enum cef_handler_keyevent_type_t {
  KEYEVENT_RAWKEYDOWN = 0,
  KEYEVENT_KEYDOWN = 1,
  KEYEVENT_KEYUP = 2,
  KEYEVENT_CHAR = 3,
};

// Bits of on_key_event's modifiers (KEY_KEYPAD is not used on Windows or Linux).
enum cef_handler_keyevent_modifiers_t {
  KEY_SHIFT = 1 << 0,
  KEY_CTRL = 1 << 1,
  KEY_ALT = 1 << 2,
  KEY_META = 1 << 3,
  KEY_KEYPAD = 1 << 4,
};

// Where a focus request comes from (on_set_focus).
enum cef_handler_focus_source_t {
  FOCUS_SOURCE_NAVIGATION = 0,
  FOCUS_SOURCE_SYSTEM = 1,
  FOCUS_SOURCE_WIDGET = 2,
};

// Bits of cef_menu_info_t.typeFlags: what the menu was opened on.
enum cef_menu_typebits_t {
  MENUTYPE_NONE = 0x0,
  MENUTYPE_PAGE = 0x1,
  MENUTYPE_FRAME = 0x2,
  MENUTYPE_LINK = 0x4,
  MENUTYPE_IMAGE = 0x8,
  MENUTYPE_SELECTION = 0x10,
  MENUTYPE_EDITABLE = 0x20,
  MENUTYPE_MISSPELLED_WORD = 0x40,
  MENUTYPE_VIDEO = 0x80,
  MENUTYPE_AUDIO = 0x100,
};

// Bits of cef_menu_info_t.editFlags: the commands that apply now.
enum cef_menu_capabilitybits_t {
  MENU_CAN_DO_NONE = 0x0,
  MENU_CAN_UNDO = 0x1,
  MENU_CAN_REDO = 0x2,
  MENU_CAN_CUT = 0x4,
  MENU_CAN_COPY = 0x8,
  MENU_CAN_PASTE = 0x10,
  MENU_CAN_DELETE = 0x20,
  MENU_CAN_SELECT_ALL = 0x40,
  MENU_CAN_TRANSLATE = 0x80,
  MENU_CAN_GO_FORWARD = 0x10000000,
  MENU_CAN_GO_BACK = 0x20000000,
};

// Items of the default context menu.
enum cef_menu_id_t {
  MENU_ID_NAV_BACK = 10,
  MENU_ID_NAV_FORWARD = 11,
  MENU_ID_NAV_RELOAD = 12,
  MENU_ID_NAV_RELOAD_NOCACHE = 13,
  MENU_ID_NAV_STOP = 14,
  MENU_ID_UNDO = 20,
  MENU_ID_REDO = 21,
  MENU_ID_CUT = 22,
  MENU_ID_COPY = 23,
  MENU_ID_PASTE = 24,
  MENU_ID_DELETE = 25,
  MENU_ID_SELECTALL = 26,
  MENU_ID_PRINT = 30,
  MENU_ID_VIEWSOURCE = 31,
};

// What a context menu was opened on; lent to on_before_menu for the call.
struct cef_menu_info_t {
  int typeFlags;  // cef_menu_typebits_t
  int x;          // screen coordinates (view coordinates without a window)
  int y;
  cef_string_t linkUrl;
  cef_string_t imageUrl;
  cef_string_t pageUrl;
  cef_string_t frameUrl;
  cef_string_t selectionText;
  cef_string_t misspelledWord;
  int editFlags;  // cef_menu_capabilitybits_t
  cef_string_t securityInfo;
};

struct cef_find_handler_t {
  cef_base_t base;
  void(CEF_CALLBACK* on_find_result)(cef_find_handler_t* self, cef_browser_t* browser, int identifier,
                                     int count, const cef_rect_t* selectionRect, int activeMatchOrdinal,
                                     int finalUpdate);
};

struct cef_zoom_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* on_get_zoom_level)(cef_zoom_handler_t* self, cef_browser_t* browser,
                                       const cef_string_t* url, double* zoomLevel);
  int(CEF_CALLBACK* on_set_zoom_level)(cef_zoom_handler_t* self, cef_browser_t* browser,
                                       const cef_string_t* url, double zoomLevel);
};

struct cef_keyboard_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* on_key_event)(cef_keyboard_handler_t* self, cef_browser_t* browser,
                                  cef_handler_keyevent_type_t type, int code, int modifiers, int isSystemKey,
                                  int isAfterJavaScript);
};

struct cef_focus_handler_t {
  cef_base_t base;
  void(CEF_CALLBACK* on_take_focus)(cef_focus_handler_t* self, cef_browser_t* browser, int next);
  int(CEF_CALLBACK* on_set_focus)(cef_focus_handler_t* self, cef_browser_t* browser,
                                  cef_handler_focus_source_t source);
  void(CEF_CALLBACK* on_focused_node_changed)(cef_focus_handler_t* self, cef_browser_t* browser,
                                              cef_frame_t* frame, cef_domnode_t* node);
};

struct cef_menu_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* on_before_menu)(cef_menu_handler_t* self, cef_browser_t* browser,
                                    const cef_menu_info_t* menuInfo);
  void(CEF_CALLBACK* get_menu_label)(cef_menu_handler_t* self, cef_browser_t* browser, cef_menu_id_t menuId,
                                     cef_string_t* label);
  int(CEF_CALLBACK* on_menu_action)(cef_menu_handler_t* self, cef_browser_t* browser, cef_menu_id_t menuId);
};

}  // extern "C"

#if CEF_ABI_32BIT
static_assert(sizeof(cef_menu_info_t) == 100);
static_assert(offsetof(cef_menu_info_t, x) == 4);
static_assert(offsetof(cef_menu_info_t, y) == 8);
static_assert(offsetof(cef_menu_info_t, linkUrl) == 12);
static_assert(offsetof(cef_menu_info_t, imageUrl) == 24);
static_assert(offsetof(cef_menu_info_t, pageUrl) == 36);
static_assert(offsetof(cef_menu_info_t, frameUrl) == 48);
static_assert(offsetof(cef_menu_info_t, selectionText) == 60);
static_assert(offsetof(cef_menu_info_t, misspelledWord) == 72);
static_assert(offsetof(cef_menu_info_t, editFlags) == 84);
static_assert(offsetof(cef_menu_info_t, securityInfo) == 88);
static_assert(sizeof(cef_find_handler_t) == 20);
static_assert(offsetof(cef_find_handler_t, on_find_result) == 16);
static_assert(sizeof(cef_zoom_handler_t) == 24);
static_assert(offsetof(cef_zoom_handler_t, on_get_zoom_level) == 16);
static_assert(offsetof(cef_zoom_handler_t, on_set_zoom_level) == 20);
static_assert(sizeof(cef_keyboard_handler_t) == 20);
static_assert(offsetof(cef_keyboard_handler_t, on_key_event) == 16);
static_assert(sizeof(cef_focus_handler_t) == 28);
static_assert(offsetof(cef_focus_handler_t, on_take_focus) == 16);
static_assert(offsetof(cef_focus_handler_t, on_set_focus) == 20);
static_assert(offsetof(cef_focus_handler_t, on_focused_node_changed) == 24);
static_assert(sizeof(cef_menu_handler_t) == 28);
static_assert(offsetof(cef_menu_handler_t, on_before_menu) == 16);
static_assert(offsetof(cef_menu_handler_t, get_menu_label) == 20);
static_assert(offsetof(cef_menu_handler_t, on_menu_action) == 24);
static_assert(sizeof(cef_handler_keyevent_type_t) == 4 && sizeof(cef_handler_focus_source_t) == 4 &&
              sizeof(cef_menu_id_t) == 4);
#endif
