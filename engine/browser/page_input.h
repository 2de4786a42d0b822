// What a browser does with find, zoom and input: searching the page's text and selecting
// the match (find handler), the zoom level and the zoom handler, and the browser record's
// members for them. One PageInput per browser; handler calls run on the main thread,
// the record's members may be called on any thread.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "browser/page_layout.h"
#include "browser/window.h"

#include "cef/cef_records.h"
#include "objects/engine_object.h"

namespace cef_engine::dom {
class Node;
struct Event;
}  // namespace cef_engine::dom

namespace cef_engine::browser {

class Browser;

class PageInput {
 public:
  explicit PageInput(Browser& browser) : browser_(browser) {}

  // Main thread: the handlers are asked for once, when the browser opens, and let go
  // of when it closes.
  void AskClient(cef_client_t* client);
  void Release();
  // Main thread: the main frame shows a new page (an error page too). The search ends;
  // the zoom handler may impose a level for the page's address.
  void PageCommitted(const std::u16string& url, bool is_error);

  // Main thread: a key event for the page, from send_key_event or the window. The
  // keyboard handler sees it first (1 consumes it), then page script (keydown, keyup,
  // keypress at the focused element), then the handler again for what script left, then
  // the engine (Tab moves the focus, characters go into the focused text field). True
  // when the handler or page script handled it.
  // `from_window`: the key came from the window, where a context menu it opens is shown.
  bool KeyEvent(cef_key_type_t type, const cef_key_info_t& info, int modifiers, bool from_window = false);

  // Main thread (page_mouse.cpp): a mouse button pressed or released at the view point
  // (x, y). Page script gets mousedown, mouseup and click at the element under it; a left
  // click moves the focus there and follows a link; a right button release opens the
  // context menu. `from_window`: a menu is shown in the window (a programmatic click
  // only prepares it, see MenuItems).
  void MouseClick(int x, int y, cef_mouse_button_type_t button, bool up, int clicks, bool from_window);
  void MouseMove(int x, int y, bool leave);
  void MouseWheel(int x, int y, int delta_x, int delta_y);
  void WindowMouse(const BrowserWindow::MouseInput& input);
  // The last default menu's items (id, label) that were not picked yet; picking one
  // asks the menu handler's on_menu_action, then does it unless the handler did. False
  // when no such item waits.
  std::vector<std::pair<int, std::u16string>> MenuItems() const { return menu_; }
  bool PickMenuItem(int id);
  // Main thread: the browser takes the focus (its window, when it has one) unless the
  // focus handler refuses; false when refused.
  bool TakeFocus(cef_handler_focus_source_t source);
  // Main thread: the browser lost the focus; the page keeps no focused element.
  void LoseFocus();

  // Stores the find, stop_finding and zoom members into the browser's record.
  static void Bind(cef_browser_t* record);

  // Levels outside a scale of 25% to 500% (1.2 to the power of the level) are clamped
  // to it; NaN and infinities are refused.
  static bool ValidZoom(double& level);

 private:
  friend struct PageInputEntries;
  void Find(int identifier, const std::u16string& text, bool forward, bool match_case, bool find_next);
  void StopFinding(bool clear_selection);
  void SetZoom(double level, bool tell_handler);
  double zoom() const;
  void ReportFind(int identifier, int count, const cef_rect_t& rect, int active);
  bool AskKeyboard(cef_handler_keyevent_type_t type, int code, int modifiers, bool system, bool after_script);
  // The main frame's page as the view lays it out: title, the view's text (images and
  // text inputs stand as text), the node that made each character of the text.
  struct Shown {
    std::u16string title, text;
    std::vector<dom::Node*> owners;
    int width = 0;
    double scale = 1;
    PageLayout layout() const { return {title, text, width, scale}; }
  };
  std::optional<Shown> Show();
  // What a point of the page shows (page_mouse.cpp): the element, the link, the image,
  // the editable field and the focusable element it is in, and whether it is selected text.
  struct Hit {
    dom::Node* target = nullptr;
    dom::Node* link = nullptr;
    dom::Node* image = nullptr;
    dom::Node* field = nullptr;
    dom::Node* focusable = nullptr;
    bool on_selection = false;
  };
  // None outside the view; the body (or the document) on no text.
  std::optional<Hit> HitTest(int x, int y);
  // The focused element (the body without one) and the point of its first character.
  std::optional<Hit> HitAtFocus(int& x, int& y);
  void OpenMenu(const Hit& hit, int x, int y, bool from_window);
  // A mouse event for page script at the view point (x, y): the point in CSS pixels (at
  // the zoom's scale), the button, the buttons held now, the click count.
  dom::Event MouseEvent(std::u16string type, dom::Node& target, int x, int y, int button, int detail) const;
  double Scale() const;
  void RunMenuItem(int id);
  // Tab (forwards) and Shift+Tab: the next focusable element, or out of the page.
  void MoveFocus(bool forward);
  void WatchFocus();

  Browser& browser_;
  ProgramRef<cef_find_handler_t> find_handler_;
  ProgramRef<cef_zoom_handler_t> zoom_handler_;
  ProgramRef<cef_keyboard_handler_t> keyboard_handler_;
  ProgramRef<cef_focus_handler_t> focus_handler_;
  ProgramRef<cef_menu_handler_t> menu_handler_;

  // The search in progress (main thread): its text and case, and the active match.
  std::u16string search_;
  bool search_case_ = false;
  int active_ = -1;
  // Where the document's selection is in the page's text (the match find selected, or
  // all of it), main thread.
  std::optional<std::pair<size_t, size_t>> selected_;
  std::vector<std::pair<int, std::u16string>> menu_;  // the default menu waiting for a pick
  int buttons_ = 0;  // the mouse buttons held, as DOM events count them (1 left, 2 right, 4 middle)

  mutable std::mutex mutex_;
  double zoom_ = 0;  // read and set on any thread
};

}  // namespace cef_engine::browser
