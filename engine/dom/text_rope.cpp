#include "dom/text_rope.h"

#include <algorithm>

#include "strings/large_buffers.h"

namespace cef_engine::dom {

char16_t TextRope::back() const noexcept { return View(pieces_.back()).back(); }

void TextRope::Append(std::u16string_view run, const std::shared_ptr<const std::u16string>& text) {
  if (run.empty()) return;
  if (text && run.size() >= kSharedRun && (!shared_ || shared_ == text)) {
    shared_ = text;
    const size_t offset = static_cast<size_t>(run.data() - text->data());
    if (!pieces_.empty() && pieces_.back().shared &&
        pieces_.back().offset + pieces_.back().length == offset) {
      pieces_.back().length += run.size();
    } else {
      pieces_.push_back({true, offset, run.size()});
    }
  } else {
    if (pieces_.empty() || pieces_.back().shared) pieces_.push_back({false, own_.size(), 0});
    own_.append(run);
    pieces_.back().length += run.size();
  }
  size_ += run.size();
}

void TextRope::Append(char16_t c) { Append(std::u16string_view(&c, 1)); }

void TextRope::PopBack() noexcept {
  Piece& last = pieces_.back();
  if (!last.shared) own_.pop_back();
  if (--last.length == 0) pieces_.pop_back();
  --size_;
}

void TextRope::RemovePrefix(size_t count) noexcept {
  count = std::min(count, size_);
  size_ -= count;
  size_t whole = 0;
  while (count > 0 && pieces_[whole].length <= count) count -= pieces_[whole++].length;
  pieces_.erase(pieces_.begin(), pieces_.begin() + static_cast<ptrdiff_t>(whole));
  if (count > 0) {
    pieces_.front().offset += count;
    pieces_.front().length -= count;
  }
}

size_t TextRope::FindFirstNotOf(char16_t c) const noexcept {
  size_t before = 0;
  for (const Piece& piece : pieces_) {
    const size_t at = View(piece).find_first_not_of(c);
    if (at != std::u16string_view::npos) return before + at;
    before += piece.length;
  }
  return std::u16string::npos;
}

std::u16string TextRope::ToString() const {
  std::u16string text;
  ReserveLarge(text, size_);
  for (const Piece& piece : pieces_) text.append(View(piece));
  return text;
}

}  // namespace cef_engine::dom
