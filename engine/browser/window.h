// The browser's window. Windows: a real window of its own class (a child of the given
// parent, or a top-level pop-up window) that paints the page's title and text and keeps
// the text as its window text, so tools can read it. Linux: headless, with a unique
// non-null handle. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "cef/cef_types.h"
#include "dom/text_rope.h"

namespace cef_engine::browser {

// Puts the text on the system's clipboard (Windows); false where there is none (Linux).
bool CopyToClipboard(const std::u16string& text);

class BrowserWindow {
 public:
  // `destroyed` runs when the window goes away by itself (its parent was destroyed, or
  // the user closed a pop-up window); not when Destroy() is called.
  static std::unique_ptr<BrowserWindow> Create(const cef_window_info_t& info, const std::u16string& name,
                                               bool popup, std::function<void()> destroyed);
  virtual ~BrowserWindow() = default;

  virtual cef_window_handle_t handle() const = 0;
  virtual void ShowPage(const std::u16string& title, const dom::TextRope& text) = 0;
  virtual void Focus() = 0;
  // The screen's rectangle, and where the window's point (x, y) is on it; false where
  // there is no screen.
  virtual bool ScreenRect(cef_rect_t& rect) = 0;
  virtual bool ScreenPoint(int x, int y, int& screen_x, int& screen_y) = 0;
  // The page is painted at `scale` times its size (zoom). Headless: nothing to paint.
  virtual void SetScale(double /*scale*/) {}
  // The width the page is laid out in: the client area's; 0 when headless (no wrapping).
  virtual int Width() const { return 0; }
  // Shows the context menu's items at the screen point and waits for the user's choice:
  // the chosen item's id, 0 for none. Headless: no menu, 0.
  virtual int TrackMenu(const std::vector<std::pair<int, std::u16string>>& /*items*/, int /*screen_x*/,
                        int /*screen_y*/) {
    return 0;
  }
  // Destroys the window without running `destroyed`.
  virtual void Destroy() = 0;

  // Key events the window receives go to the sink (Windows; a headless window gets none),
  // which answers true when the program or the page handled the key.
  using KeySink = std::function<bool(cef_key_type_t type, const cef_key_info_t& info, int modifiers)>;
  void SetKeySink(KeySink sink) { key_sink_ = std::move(sink); }
  // Mouse buttons pressed and released and the pointer's moves in the window, at client
  // coordinates (Windows): `menu` is a right button release or the context-menu message,
  // which opens the context menu (`at_focus`: opened by the keyboard, at the focused
  // element); `clicks` is 2 for a double click's press and release.
  struct MouseInput {
    int x = 0, y = 0;
    cef_mouse_button_type_t button = MBT_LEFT;
    bool up = false, menu = false, at_focus = false, move = false, wheel = false;
    int clicks = 1;
    int delta_x = 0, delta_y = 0;  // a wheel's turn, as the engine's wheel event counts it
  };
  using MouseSink = std::function<void(const MouseInput&)>;
  void SetMouseSink(MouseSink sink) { mouse_sink_ = std::move(sink); }

 protected:
  KeySink key_sink_;
  MouseSink mouse_sink_;
};

}  // namespace cef_engine::browser
