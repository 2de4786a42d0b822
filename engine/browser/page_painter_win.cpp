// Windows: the page's title in the bold GUI font over its text in the GUI font, drawn
// with GDI where the page's layout places each character, so that hit testing and find
// name what is drawn; the off-screen view draws into a 32-bit top-down DIB section.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "browser/page_layout.h"
#include "browser/page_painter.h"

namespace cef_engine::browser {
namespace {

// The GUI font (bold for the title), its height scaled; the caller deletes it.
HFONT PageFont(bool title, double scale) {
  LOGFONTW font{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
  if (title) font.lfWeight = FW_BOLD;
  font.lfHeight = static_cast<LONG>(std::lround(font.lfHeight * scale));
  font.lfWidth = 0;
  return CreateFontIndirectW(&font);
}

// The fonts' advances for every UTF-16 code unit and their line heights, at scale 1,
// measured once: the tables never change afterwards, so any thread may read them.
class GdiMetrics final : public TextMetrics {
 public:
  GdiMetrics() {
    HDC dc = CreateCompatibleDC(nullptr);
    for (int title = 0; title < 2; ++title) {
      Font& font = fonts_[title];
      font.advance.assign(0x10000, 8);  // the cell's width where GDI cannot measure
      HFONT handle = dc ? PageFont(title != 0, 1) : nullptr;
      if (!handle) continue;
      HGDIOBJ old = SelectObject(dc, handle);
      std::vector<INT> widths(0x10000);
      if (GetCharWidth32W(dc, 0, 0xFFFF, widths.data()))
        std::transform(widths.begin(), widths.end(), font.advance.begin(),
                       [](INT w) { return std::max(w, 0); });
      TEXTMETRICW text{};
      if (GetTextMetricsW(dc, &text) && text.tmHeight > 0) font.line_height = text.tmHeight;
      SelectObject(dc, old);
      DeleteObject(handle);
    }
    if (dc) DeleteDC(dc);
  }
  int Advance(char16_t c, bool title) const override { return fonts_[title].advance[c]; }
  int LineHeight(bool title) const override { return fonts_[title].line_height; }

 private:
  struct Font {
    std::vector<int> advance;
    int line_height = 16;
  };
  Font fonts_[2];
};

}  // namespace

const TextMetrics& PainterMetrics() {
  static const GdiMetrics metrics;
  return metrics;
}

void DrawPage(HDC dc, int width, const std::u16string& title, const std::u16string& text, double scale) {
  SetBkMode(dc, TRANSPARENT);
  SetTextAlign(dc, TA_TOP | TA_LEFT | TA_NOUPDATECP);
  HFONT fonts[2] = {PageFont(false, scale), PageFont(true, scale)};
  HGDIOBJ old_font = SelectObject(dc, fonts[0]);
  // Each line's characters go out in one call, each advanced by its cell's width.
  std::vector<wchar_t> line;
  std::vector<INT> advances;
  cef_rect_t start{};
  bool line_title = false;
  const auto flush = [&] {
    if (line.empty()) return;
    SelectObject(dc, fonts[line_title ? 1 : 0]);
    ExtTextOutW(dc, start.x, start.y, 0, nullptr, line.data(), static_cast<UINT>(line.size()),
                advances.data());
    line.clear();
    advances.clear();
  };
  RECT clip{};
  const int bottom = GetClipBox(dc, &clip) != ERROR ? clip.bottom : INT_MAX;
  PageLayout{title, text, width, scale}.Place([&](const PlacedChar& c) {
    if (c.cell.y >= bottom) return false;
    if (line.empty() || c.cell.y != start.y || c.title != line_title) {
      flush();
      start = c.cell;
      line_title = c.title;
    }
    const char16_t ch = (c.title ? title : text)[c.index];
    line.push_back(c.blank ? L' ' : static_cast<wchar_t>(ch));
    advances.push_back(c.cell.width);
    return true;
  });
  flush();
  SelectObject(dc, old_font);
  for (HFONT font : fonts)
    if (font) DeleteObject(font);
}

void PaintPage(const std::u16string& title, const std::u16string& text, int width, int height, double scale,
               uint32_t* pixels) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
  const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
  if (!bitmap || !bits) {
    // No GDI resources left: a white page rather than nothing.
    std::fill(pixels, pixels + count, 0xFFFFFFFFu);
    if (dc) DeleteDC(dc);
    return;
  }
  HGDIOBJ old_bitmap = SelectObject(dc, bitmap);
  RECT area{0, 0, width, height};
  FillRect(dc, &area, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
  DrawPage(dc, width, title, text, scale);
  GdiFlush();
  std::memcpy(pixels, bits, count * 4);
  // GDI leaves the alpha byte 0: the page is opaque.
  for (size_t i = 0; i < count; ++i) pixels[i] |= 0xFF000000u;
  SelectObject(dc, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

}  // namespace cef_engine::browser
