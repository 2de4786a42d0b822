// The view of a browser made with window rendering disabled: the page painted into a
// BGRA image that goes to the client's render handler instead of a window. Changes are
// painted together in one task on the main thread, with the rectangles that changed.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "cef/cef_records.h"
#include "dom/text_rope.h"
#include "objects/engine_object.h"

namespace cef_engine::browser {

class OffscreenView {
 public:
  // `browser` owns the view; `schedule` posts a call of Paint() to the main thread.
  OffscreenView(cef_browser_t* browser, ProgramRef<cef_render_handler_t> handler, int width, int height,
                std::function<void()> schedule);

  // Main thread: the size the handler's view rectangle gives, the first cursor.
  void Open();
  // Main thread. The page changed: everything is painted again.
  void ShowPage(const std::u16string& title, const dom::TextRope& text);
  // Main thread. A part to paint again (clipped to the view); a new size paints all.
  void Invalidate(const cef_rect_t& rect);
  void SetSize(int width, int height);
  // Main thread. The page is painted at `scale` times its size (zoom).
  void SetScale(double scale);
  // Main thread: paints what changed and reports it to the handler.
  void Paint();
  // Any thread. The view's size; a copy of its pixels when width and height are its own.
  void Size(int& width, int& height) const;
  bool CopyImage(int width, int height, void* buffer) const;
  // Main thread: the handler's screen geometry; false when it does not tell.
  bool ScreenRect(cef_rect_t& rect);
  bool ScreenPoint(int x, int y, int& screen_x, int& screen_y);
  // The handler goes (the browser closes); nothing is painted afterwards.
  void Close();

 private:
  void AddDirty(const cef_rect_t& rect);

  cef_browser_t* const browser_;  // not counted: the browser owns the view
  ProgramRef<cef_render_handler_t> handler_;
  std::function<void()> schedule_;
  mutable std::mutex mutex_;  // size and pixels, read on any thread
  int width_, height_;
  std::vector<uint32_t> pixels_;
  // Main thread only.
  std::u16string title_, text_;
  double scale_ = 1;
  std::vector<cef_rect_t> dirty_;
  bool scheduled_ = false;
};

}  // namespace cef_engine::browser
