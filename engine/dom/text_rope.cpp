#include "dom/text_rope.h"

#include <algorithm>

#include "strings/large_buffers.h"

namespace cef_engine::dom {

char16_t TextRope::back() const {
  const TextSpan last = View(pieces_.back());
  if (const auto* wide = std::get_if<std::u16string_view>(&last)) return wide->back();
  // The last character of UTF-8 text begins at its last byte that is not a continuation.
  const auto bytes = std::get<std::string_view>(last);
  size_t start = bytes.size() - 1;
  while (start > 0 && bytes.size() - start < 4 && (static_cast<unsigned char>(bytes[start]) & 0xC0) == 0x80)
    --start;
  return ToUtf16(bytes.substr(start)).back();
}

void TextRope::Append(TextSpan run, const std::shared_ptr<const SourceText>& text) {
  const size_t length = Length(run);
  if (length == 0) return;
  const size_t units = Utf16Size(run);
  if (text && length >= kSharedRun && (!shared_ || shared_ == text)) {
    shared_ = text;
    const size_t offset = text->OffsetOf(run);
    Piece* last = pieces_.empty() ? nullptr : &pieces_.back();
    if (last && last->shared && last->offset + last->length == offset) {
      last->length += length;
      last->units += units;
    } else {
      pieces_.push_back({true, offset, length, units});
    }
  } else {
    if (pieces_.empty() || pieces_.back().shared) pieces_.push_back({false, own_.size(), 0, 0});
    AppendUtf16(own_, run);
    pieces_.back().length += units;
    pieces_.back().units += units;
  }
  size_ += units;
}

void TextRope::Append(char16_t c) { Append(std::u16string_view(&c, 1)); }

void TextRope::PopBack() noexcept {
  Piece& last = pieces_.back();
  if (!last.shared) own_.pop_back();
  --last.length;
  if (--last.units == 0) pieces_.pop_back();
  --size_;
}

size_t TextRope::TrimFront(char16_t c) noexcept {
  // The characters are ASCII, one unit in either form: counts of units and of the
  // source's own units agree over them.
  size_t count = 0;
  while (!pieces_.empty()) {
    Piece& first = pieces_.front();
    const size_t skip = std::visit(
        [c](auto part) {
          const size_t at = part.find_first_not_of(static_cast<typename decltype(part)::value_type>(c));
          return at == decltype(part)::npos ? part.size() : at;
        },
        View(first));
    count += skip;
    if (skip < first.length) {
      first.offset += skip;
      first.length -= skip;
      first.units -= skip;
      break;
    }
    pieces_.erase(pieces_.begin());
  }
  size_ -= count;
  return count;
}

std::u16string TextRope::ToString() const {
  std::u16string text;
  ReserveLarge(text, size_);
  for (const Piece& piece : pieces_) AppendUtf16(text, View(piece));
  return text;
}

}  // namespace cef_engine::dom
