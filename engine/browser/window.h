// The browser's window. Windows: a real window of its own class (a child of the given
// parent, or a top-level pop-up window) that paints the page's title and text and keeps
// the text as its window text, so tools can read it. Linux: headless, with a unique
// non-null handle. Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "cef/cef_types.h"

namespace cef_engine::browser {

class BrowserWindow {
 public:
  // `destroyed` runs when the window goes away by itself (its parent was destroyed, or
  // the user closed a pop-up window); not when Destroy() is called.
  static std::unique_ptr<BrowserWindow> Create(const cef_window_info_t& info, const std::u16string& name,
                                               bool popup, std::function<void()> destroyed);
  virtual ~BrowserWindow() = default;

  virtual cef_window_handle_t handle() const = 0;
  virtual void ShowPage(const std::u16string& title, const std::u16string& text) = 0;
  virtual void Focus() = 0;
  // The screen's rectangle, and where the window's point (x, y) is on it; false where
  // there is no screen.
  virtual bool ScreenRect(cef_rect_t& rect) = 0;
  virtual bool ScreenPoint(int x, int y, int& screen_x, int& screen_y) = 0;
  // The page is painted at `scale` times its size (zoom). Headless: nothing to paint.
  virtual void SetScale(double /*scale*/) {}
  // Destroys the window without running `destroyed`.
  virtual void Destroy() = 0;

  // Key events the window receives go to the sink (Windows; a headless window gets none),
  // which answers true when the program or the page handled the key.
  using KeySink = std::function<bool(cef_key_type_t type, const cef_key_info_t& info, int modifiers)>;
  void SetKeySink(KeySink sink) { key_sink_ = std::move(sink); }

 protected:
  KeySink key_sink_;
};

}  // namespace cef_engine::browser
