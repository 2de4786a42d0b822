// Text put together from runs of one shared, unchanging text (a page's source) and
// characters of its own: what a reader sees of a page is mostly its source's text as it
// stands, and a page may hold hundreds of megabytes. Once built it does not change, and
// any thread may read it. Sizes and positions count UTF-16 units, whatever the form of
// the source.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dom/source_text.h"

namespace cef_engine::dom {

class TextRope {
 public:
  size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  char16_t back() const;  // the rope is not empty

  // `run` is part of `text`, which the rope keeps instead of copying the run; without a
  // text, with another than the one the rope already keeps, or when the run is shorter
  // than kSharedRun, the run is copied.
  void Append(TextSpan run, const std::shared_ptr<const SourceText>& text = nullptr);
  void Append(char16_t c);
  // Removes the last character, a blank or line break (ASCII).
  void PopBack() noexcept;
  // Removes the characters `c` (ASCII) the text begins with; answers how many.
  size_t TrimFront(char16_t c) noexcept;

  std::u16string ToString() const;

 private:
  // A run is kept as a piece of the shared text only when the piece costs less than a
  // fifth of a copy: text of many short words on lines of their own would otherwise take
  // a piece per word.
  static constexpr size_t kSharedRun = 64;

  struct Piece {
    bool shared;    // of shared_, else of own_
    size_t offset;  // in the units of its text
    size_t length;
    size_t units;  // UTF-16 units it stands for
  };
  TextSpan View(const Piece& piece) const noexcept {
    return piece.shared ? shared_->Run(piece.offset, piece.length)
                        : TextSpan(std::u16string_view(own_).substr(piece.offset, piece.length));
  }

  std::shared_ptr<const SourceText> shared_;
  std::u16string own_;  // own pieces in order: the last own piece ends it
  std::vector<Piece> pieces_;
  size_t size_ = 0;
};

}  // namespace cef_engine::dom
