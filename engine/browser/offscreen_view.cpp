#include "browser/offscreen_view.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "browser/page_painter.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace cef_engine::browser {
namespace {

// More rectangles than this are painted as the one rectangle around them.
constexpr size_t kMostDirtyRects = 16;
// A view never grows past this many pixels a side (16384 x 16384 x 4 bytes = 1 GiB).
constexpr int kLargestSide = 16384;

int Clamp(int side) { return std::clamp(side, 1, kLargestSide); }

cef_rect_t Union(const cef_rect_t& a, const cef_rect_t& b) {
  const int left = std::min(a.x, b.x), top = std::min(a.y, b.y);
  const int right = std::max(a.x + a.width, b.x + b.width), bottom = std::max(a.y + a.height, b.y + b.height);
  return {left, top, right - left, bottom - top};
}

bool Contains(const cef_rect_t& outer, const cef_rect_t& inner) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

// The cursor the view shows: the system's arrow on Windows; elsewhere, where there is no
// cursor of the system, a token that stays the same.
cef_cursor_handle_t ArrowCursor() {
#if defined(_WIN32)
  return LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
#else
  static int arrow;
  return &arrow;
#endif
}

}  // namespace

OffscreenView::OffscreenView(cef_browser_t* browser, ProgramRef<cef_render_handler_t> handler, int width,
                             int height, std::function<void()> schedule)
    : browser_(browser),
      handler_(std::move(handler)),
      schedule_(std::move(schedule)),
      width_(Clamp(width > 0 ? width : 800)),
      height_(Clamp(height > 0 ? height : 600)) {}

void OffscreenView::Open() {
  if (!handler_) return;
  cef_rect_t view{};
  if (handler_->get_view_rect &&
      handler_->get_view_rect(handler_.get(), ProgramRef<cef_browser_t>::Retain(browser_).Release(), &view) &&
      view.width > 0 && view.height > 0) {
    std::lock_guard lock(mutex_);
    width_ = Clamp(view.width);
    height_ = Clamp(view.height);
  }
  if (handler_ && handler_->on_cursor_change)
    handler_->on_cursor_change(handler_.get(), ProgramRef<cef_browser_t>::Retain(browser_).Release(),
                               ArrowCursor());
}

void OffscreenView::ShowPage(const std::u16string& title, const dom::TextRope& text) {
  title_ = title;
  text_ = text.ToString();
  int width, height;
  Size(width, height);
  AddDirty({0, 0, width, height});
}

void OffscreenView::SetScale(double scale) {
  if (scale == scale_) return;
  scale_ = scale;
  int width, height;
  Size(width, height);
  AddDirty({0, 0, width, height});
}

void OffscreenView::Invalidate(const cef_rect_t& rect) {
  int width, height;
  Size(width, height);
  // Clipped to the view: a rectangle outside it paints nothing.
  const int left = std::max(rect.x, 0), top = std::max(rect.y, 0);
  const int right = static_cast<int>(std::min<int64_t>(int64_t{rect.x} + rect.width, width));
  const int bottom = static_cast<int>(std::min<int64_t>(int64_t{rect.y} + rect.height, height));
  if (right <= left || bottom <= top) return;
  AddDirty({left, top, right - left, bottom - top});
}

void OffscreenView::SetSize(int width, int height) {
  if (width <= 0 || height <= 0) return;
  {
    std::lock_guard lock(mutex_);
    width_ = Clamp(width);
    height_ = Clamp(height);
  }
  dirty_.clear();
  AddDirty({0, 0, Clamp(width), Clamp(height)});
}

void OffscreenView::AddDirty(const cef_rect_t& rect) {
  if (!handler_) return;
  // A rectangle within one already waiting adds nothing; one it covers goes.
  if (std::any_of(dirty_.begin(), dirty_.end(), [&](const cef_rect_t& r) { return Contains(r, rect); }))
    return;
  std::erase_if(dirty_, [&](const cef_rect_t& r) { return Contains(rect, r); });
  if (dirty_.size() >= kMostDirtyRects) {
    cef_rect_t all = rect;
    for (const auto& r : dirty_) all = Union(all, r);
    dirty_ = {all};
  } else {
    dirty_.push_back(rect);
  }
  if (!scheduled_) {
    scheduled_ = true;
    schedule_();
  }
}

void OffscreenView::Paint() {
  scheduled_ = false;
  if (!handler_ || dirty_.empty()) return;
  const std::vector<cef_rect_t> dirty = std::exchange(dirty_, {});
  int width, height;
  Size(width, height);
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height));
  PaintPage(title_, text_, width, height, scale_, pixels.data());
  {
    std::lock_guard lock(mutex_);
    if (width != width_ || height != height_) return;  // resized meanwhile: painted again
    pixels_ = pixels;
  }
  // The handler gets the engine's copy for the call; it may resize or close the view.
  if (handler_->on_paint)
    handler_->on_paint(handler_.get(), ProgramRef<cef_browser_t>::Retain(browser_).Release(), PET_VIEW,
                       dirty.size(), dirty.data(), pixels.data());
}

void OffscreenView::Size(int& width, int& height) const {
  std::lock_guard lock(mutex_);
  width = width_;
  height = height_;
}

bool OffscreenView::CopyImage(int width, int height, void* buffer) const {
  std::lock_guard lock(mutex_);
  if (!buffer || width != width_ || height != height_ || pixels_.empty()) return false;
  std::memcpy(buffer, pixels_.data(), pixels_.size() * sizeof(uint32_t));
  return true;
}

bool OffscreenView::ScreenRect(cef_rect_t& rect) {
  return handler_ && handler_->get_screen_rect &&
         handler_->get_screen_rect(handler_.get(), ProgramRef<cef_browser_t>::Retain(browser_).Release(),
                                   &rect);
}

bool OffscreenView::ScreenPoint(int x, int y, int& screen_x, int& screen_y) {
  return handler_ && handler_->get_screen_point &&
         handler_->get_screen_point(handler_.get(), ProgramRef<cef_browser_t>::Retain(browser_).Release(), x,
                                    y, &screen_x, &screen_y);
}

void OffscreenView::Close() {
  handler_.Reset();
  dirty_.clear();
}

}  // namespace cef_engine::browser
