#include "browser/page_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cef_engine::browser {
namespace {

constexpr int kMargin = 8;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Lays out one run of text from line `y` on (unscaled pixels) within `usable` pixels
// of a line; answers the line below the last one used, or -1 when `place` asked to stop.
int PlaceRun(std::u16string_view run, bool title, int y, double usable, double scale,
             const std::function<bool(const PlacedChar&)>& place) {
  const TextMetrics& metrics = PainterMetrics();
  const int line_height = metrics.LineHeight(title);
  const auto scaled = [scale](int v) { return static_cast<int>(std::lround(v * scale)); };
  int x = 0;  // from the left margin
  const auto put = [&](size_t index, int advance, bool blank) {
    const int left = kMargin + x;
    return place({title,
                  blank,
                  index,
                  {scaled(left), scaled(y), scaled(left + advance) - scaled(left),
                   scaled(y + line_height) - scaled(y)}});
  };
  const auto new_line = [&] {
    x = 0;
    y += line_height;
  };
  size_t at = 0;
  while (at < run.size()) {
    if (run[at] == u'\n') {
      new_line();
      ++at;
      continue;
    }
    if (IsBlank(run[at])) {
      if (x > 0) {
        const int advance = metrics.Advance(u' ', title);
        if (x + advance <= usable && !put(at, advance, true)) return -1;
        x += advance;
      }
      ++at;
      continue;
    }
    size_t end = at;
    int word = 0;
    for (; end < run.size() && !IsBlank(run[end]); ++end) word += metrics.Advance(run[end], title);
    if (x > 0 && x + word > usable) new_line();  // the word goes to the next line
    for (; at < end; ++at) {
      const int advance = metrics.Advance(run[at], title);
      if (x > 0 && x + advance > usable) new_line();  // a word longer than the line is cut
      if (!put(at, advance, false)) return -1;
      x += advance;
    }
  }
  return x > 0 ? y + line_height : y;
}

bool Inside(const cef_rect_t& r, int x, int y) {
  return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
}

}  // namespace

void PageLayout::Place(const std::function<bool(const PlacedChar&)>& place) const {
  // At least one character goes on each line, however narrow the view.
  const double usable =
      width > 0 ? std::max(width / scale - 2 * kMargin, 1.0) : std::numeric_limits<double>::max();
  const int below_title = PlaceRun(title, true, kMargin, usable, scale, place);
  if (below_title >= 0) PlaceRun(text, false, below_title + kMargin, usable, scale, place);
}

cef_rect_t PageLayout::TextRect(size_t at, size_t length) const {
  cef_rect_t rect{};
  bool found = false;
  Place([&](const PlacedChar& c) {
    if (c.title || c.index < at) return true;
    if (c.index >= at + length || (found && c.cell.y != rect.y)) return false;
    if (!found) {
      rect = c.cell;
      found = true;
    } else {
      rect.width = c.cell.x + c.cell.width - rect.x;
    }
    return true;
  });
  return rect;
}

std::optional<size_t> PageLayout::TextAt(int x, int y) const {
  std::optional<size_t> hit;
  Place([&](const PlacedChar& c) {
    if (c.cell.y > y) return false;  // lines come top to bottom: the point is above this one
    if (!c.title && Inside(c.cell, x, y)) hit = c.index;
    return !hit;
  });
  return hit;
}

}  // namespace cef_engine::browser
