#include "browser/page_layout.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace cef_engine::browser {
namespace {

constexpr int kMargin = 8, kCellWidth = 8, kCellHeight = 16;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

// Lays out one run of text from line `y` on (unscaled pixels); answers the line below
// the last one used, or -1 when `place` asked to stop.
int PlaceRun(std::u16string_view run, bool title, int y, int columns, double scale,
             const std::function<bool(const PlacedChar&)>& place) {
  const auto scaled = [scale](int v) { return static_cast<int>(std::lround(v * scale)); };
  const auto put = [&](size_t index, int column, bool blank) {
    const int x = kMargin + column * kCellWidth;
    return place({title, blank, index, {scaled(x), scaled(y), scaled(kCellWidth), scaled(kCellHeight)}});
  };
  int column = 0;
  size_t at = 0;
  while (at < run.size()) {
    if (run[at] == u'\n') {
      column = 0;
      y += kCellHeight;
      ++at;
      continue;
    }
    if (IsBlank(run[at])) {
      if (column > 0) {
        if (column < columns && !put(at, column, true)) return -1;
        ++column;
      }
      ++at;
      continue;
    }
    size_t end = at;
    while (end < run.size() && !IsBlank(run[end])) ++end;
    if (column > 0 && column + static_cast<int>(end - at) > columns) {  // the word goes to the next line
      column = 0;
      y += kCellHeight;
    }
    for (; at < end; ++at) {
      if (column == columns) {  // a word longer than the line is cut
        column = 0;
        y += kCellHeight;
      }
      if (!put(at, column++, false)) return -1;
    }
  }
  return column > 0 ? y + kCellHeight : y;
}

bool Inside(const cef_rect_t& r, int x, int y) {
  return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
}

}  // namespace

void PageLayout::Place(const std::function<bool(const PlacedChar&)>& place) const {
  const double usable = width > 0 ? width / scale - 2 * kMargin : 0;
  const int columns =
      width > 0 ? std::max(1, static_cast<int>(usable) / kCellWidth) : std::numeric_limits<int>::max() / 2;
  const int below_title = PlaceRun(title, true, kMargin, columns, scale, place);
  if (below_title >= 0) PlaceRun(text, false, below_title + kMargin, columns, scale, place);
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
