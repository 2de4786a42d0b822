// Linux: the page's layout (page_layout.h) without glyphs. A character other than a
// blank is a block in its cell, black and full height in the title, dark grey and
// shorter in the text. The background is white.
#include <algorithm>

#include "browser/page_layout.h"
#include "browser/page_painter.h"

namespace cef_engine::browser {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kTitleInk = 0xFF000000;
constexpr uint32_t kTextInk = 0xFF404040;

// Without glyphs, every character takes the same cell of 8 x 16 pixels.
class CellMetrics final : public TextMetrics {
 public:
  int Advance(char16_t, bool) const override { return 8; }
  int LineHeight(bool) const override { return 16; }
};

}  // namespace

const TextMetrics& PainterMetrics() {
  static const CellMetrics metrics;
  return metrics;
}

void PaintPage(const std::u16string& title, const std::u16string& text, int width, int height, double scale,
               uint32_t* pixels) {
  const auto fill = [&](int x, int y, int w, int h, uint32_t color) {
    const int left = std::max(x, 0), top = std::max(y, 0);
    const int right = std::min(x + w, width), bottom = std::min(y + h, height);
    for (int row = top; row < bottom; ++row)
      std::fill(pixels + static_cast<size_t>(row) * width + left,
                pixels + static_cast<size_t>(row) * width + right, color);
  };
  fill(0, 0, width, height, kWhite);
  PageLayout{title, text, width, scale}.Place([&](const PlacedChar& c) {
    if (c.cell.y >= height) return false;
    const cef_rect_t& r = c.cell;
    // At scale 1: a 6 x 12 block in the title's 8 x 16 cell, 6 x 9 in the text's.
    if (c.blank) return true;
    if (c.title)
      fill(r.x + r.width / 8, r.y + r.height / 8, r.width - r.width / 4, r.height - r.height / 4, kTitleInk);
    else
      fill(r.x + r.width / 8, r.y + r.height / 4, r.width - r.width / 4, r.height * 9 / 16, kTextInk);
    return true;
  });
}

}  // namespace cef_engine::browser
