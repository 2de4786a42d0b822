// Linux: the page's layout without glyphs. Each character takes a cell of kCellWidth x
// kCellHeight pixels, words wrap at the right margin, a line break starts a new line;
// a character other than a blank is a block in its cell, black and full height in the
// title, dark grey and shorter in the text. The background is white.
#include <algorithm>

#include "browser/page_painter.h"

namespace cef_engine::browser {
namespace {

constexpr int kMargin = 8;
constexpr int kCellWidth = 8;
constexpr int kCellHeight = 16;
constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kTitleInk = 0xFF000000;
constexpr uint32_t kTextInk = 0xFF404040;

bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

class Canvas {
 public:
  Canvas(int width, int height, uint32_t* pixels) : width_(width), height_(height), pixels_(pixels) {}

  void Fill(int x, int y, int w, int h, uint32_t color) {
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min(x + w, width_), bottom = std::min(y + h, height_);
    for (int row = top; row < bottom; ++row)
      std::fill(pixels_ + static_cast<size_t>(row) * width_ + left,
                pixels_ + static_cast<size_t>(row) * width_ + right, color);
  }

  // Lays `text` out from line `y` on; answers the line below the last one used.
  int Write(std::u16string_view text, int y, bool title) {
    const int columns = std::max(1, (width_ - 2 * kMargin) / kCellWidth);
    int column = 0;
    size_t at = 0;
    while (at < text.size() && y < height_) {
      if (text[at] == u'\n') {
        column = 0;
        y += kCellHeight;
        ++at;
        continue;
      }
      if (IsBlank(text[at])) {
        if (column > 0) ++column;
        ++at;
        continue;
      }
      size_t end = at;
      while (end < text.size() && !IsBlank(text[end])) ++end;
      const int length = static_cast<int>(end - at);
      if (column > 0 && column + length > columns) {  // the word goes to the next line
        column = 0;
        y += kCellHeight;
      }
      for (size_t k = at; k < end; ++k) {
        if (column == columns) {  // a word longer than the line is cut
          column = 0;
          y += kCellHeight;
        }
        const int x = kMargin + column * kCellWidth;
        if (title)
          Fill(x + 1, y + 2, kCellWidth - 2, kCellHeight - 4, kTitleInk);
        else
          Fill(x + 1, y + 4, kCellWidth - 2, kCellHeight - 7, kTextInk);
        ++column;
      }
      at = end;
    }
    return column > 0 ? y + kCellHeight : y;
  }

 private:
  int width_, height_;
  uint32_t* pixels_;
};

}  // namespace

void PaintPage(const std::u16string& title, const std::u16string& text, int width, int height,
               uint32_t* pixels) {
  Canvas canvas(width, height, pixels);
  canvas.Fill(0, 0, width, height, kWhite);
  const int below_title = canvas.Write(title, kMargin, true);
  canvas.Write(text, below_title + kMargin, false);
}

}  // namespace cef_engine::browser
