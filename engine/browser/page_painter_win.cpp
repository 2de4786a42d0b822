// Windows: the page's title in the bold GUI font over its text, word-wrapped, drawn with
// GDI; the off-screen view draws into a 32-bit top-down DIB section.
#include <algorithm>
#include <cstring>

#include "browser/page_painter.h"

namespace cef_engine::browser {
namespace {
constexpr int kMargin = 8;
std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
}  // namespace

void DrawPage(HDC dc, RECT area, const std::wstring& title, const std::wstring& text) {
  InflateRect(&area, -kMargin, -kMargin);
  SetBkMode(dc, TRANSPARENT);
  LOGFONTW bold{};
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(bold), &bold);
  bold.lfWeight = FW_BOLD;
  HFONT title_font = CreateFontIndirectW(&bold);
  HGDIOBJ old_font = SelectObject(dc, title_font);
  RECT title_area = area;
  DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &title_area,
            DT_LEFT | DT_TOP | DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
  DrawTextW(dc, title.c_str(), static_cast<int>(title.size()), &title_area,
            DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
  SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
  area.top = title_area.bottom + kMargin;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area,
            DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old_font);
  DeleteObject(title_font);
}

void PaintPage(const std::u16string& title, const std::u16string& text, int width, int height,
               double /*scale*/, uint32_t* pixels) {
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
  DrawPage(dc, area, Wide(title), Wide(text));
  GdiFlush();
  std::memcpy(pixels, bits, count * 4);
  // GDI leaves the alpha byte 0: the page is opaque.
  for (size_t i = 0; i < count; ++i) pixels[i] |= 0xFF000000u;
  SelectObject(dc, old_bitmap);
  DeleteObject(bitmap);
  DeleteDC(dc);
}

}  // namespace cef_engine::browser
