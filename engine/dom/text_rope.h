// Text put together from runs of one shared, unchanging text (a page's source) and
// characters of its own: what a reader sees of a page is mostly its source's text as it
// stands, and a page may hold hundreds of megabytes. Once built it does not change, and
// any thread may read it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace cef_engine::dom {

class TextRope {
 public:
  size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  char16_t back() const noexcept;  // the rope is not empty

  // `run` is part of `text`, which the rope keeps instead of copying the run; without a
  // text, with another than the one the rope already keeps, or when the run is shorter
  // than kSharedRun, the run is copied.
  void Append(std::u16string_view run, const std::shared_ptr<const std::u16string>& text = nullptr);
  void Append(char16_t c);
  void PopBack() noexcept;  // the rope is not empty
  void RemovePrefix(size_t count) noexcept;
  // The position of the first character other than `c`; npos when there is none.
  size_t FindFirstNotOf(char16_t c) const noexcept;

  std::u16string ToString() const;

 private:
  // A run is kept as a piece of the shared text only when the piece costs less than a
  // fifth of a copy: text of many short words on lines of their own would otherwise take
  // a piece per word.
  static constexpr size_t kSharedRun = 64;

  struct Piece {
    bool shared;  // of shared_, else of own_
    size_t offset;
    size_t length;
  };
  std::u16string_view View(const Piece& piece) const noexcept {
    return std::u16string_view(piece.shared ? *shared_ : own_).substr(piece.offset, piece.length);
  }

  std::shared_ptr<const std::u16string> shared_;
  std::u16string own_;  // own pieces in order: the last own piece ends it
  std::vector<Piece> pieces_;
  size_t size_ = 0;
};

}  // namespace cef_engine::dom
