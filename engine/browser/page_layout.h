// Where the engine places a page's characters: the title, then the text 8 pixels below
// it, with 8-pixel margins, each character as wide as the painter's font draws it (a
// cell of 8 x 16 pixels where there is no font renderer) and everything at the page's
// scale; words wrap at the right margin (a word longer than a line is cut), a line break
// starts a new line. The painter, find's rectangles and hit testing all use this one
// layout, so what they tell agrees. Any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>

#include "cef/cef_types.h"

namespace cef_engine::browser {

// How the painter's fonts measure text, in pixels at scale 1: each character's advance
// and the height of a line, for the title and for the text.
class TextMetrics {
 public:
  virtual ~TextMetrics() = default;
  virtual int Advance(char16_t c, bool title) const = 0;
  virtual int LineHeight(bool title) const = 0;
};

// The painter's own (page_painter_*.cpp): GDI's fonts on Windows, fixed cells elsewhere.
const TextMetrics& PainterMetrics();

struct PlacedChar {
  bool title;    // a character of the title, else of the text
  bool blank;    // a blank between words: it takes a cell, nothing is drawn in it
  size_t index;  // in the title or the text
  cef_rect_t cell;
};

struct PageLayout {
  std::u16string_view title, text;
  int width = 0;  // the view's width in pixels; 0: lines are never wrapped
  double scale = 1;

  // Calls `place` for each character that takes a cell, title first, in order (top to
  // bottom); stops when it answers false.
  void Place(const std::function<bool(const PlacedChar&)>& place) const;
  // The cells of text[at, at + length) on the line of `at`; empty when none.
  cef_rect_t TextRect(size_t at, size_t length) const;
  // The text character whose cell holds the point; none on a margin, the title or
  // past the end of a line.
  std::optional<size_t> TextAt(int x, int y) const;
};

}  // namespace cef_engine::browser
