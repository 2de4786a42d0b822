// How the engine paints a page: its title over its text, where the page's layout
// (page_layout.h) places each character. Windows draws them with GDI (the browser window
// and the off-screen view share this drawing); Linux, which has no font renderer here,
// paints the same layout with every character as a block in a fixed cell (see
// engine/README.md). Main thread only.
#pragma once

#include <cstdint>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace cef_engine::browser {

// Paints the page into a 32-bit BGRA image of width x height pixels, top row first,
// every pixel opaque, at `scale` times its size (the zoom).
void PaintPage(const std::u16string& title, const std::u16string& text, int width, int height, double scale,
               uint32_t* pixels);

#if defined(_WIN32)
// Draws title and text laid out in `width` pixels at `scale` into `dc`, over what is there.
void DrawPage(HDC dc, int width, const std::u16string& title, const std::u16string& text, double scale);
#endif

}  // namespace cef_engine::browser
