// A page's text as it arrived, and runs of it. A page that came as bytes keeps its UTF-8
// as it came: a page may be hundreds of megabytes, and as UTF-16 it would take twice
// that. Text given as UTF-16 (content the program loads, error pages) stays UTF-16.
// Markup is ASCII, and an ASCII byte never belongs to a multi-byte UTF-8 sequence, so the
// parser reads both forms alike and runs split at markup decode to the same text as the
// whole would.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace cef_engine::dom {

// A run of text: UTF-8 or UTF-16.
using TextSpan = std::variant<std::string_view, std::u16string_view>;

// Its length in its own units: bytes of UTF-8, units of UTF-16 (never fewer than its
// UTF-16 units).
inline size_t Length(TextSpan text) noexcept {
  return std::visit([](auto run) { return run.size(); }, text);
}
// Its length in UTF-16 units.
size_t Utf16Size(TextSpan text) noexcept;
void AppendUtf16(std::u16string& out, TextSpan text);
std::u16string ToUtf16(TextSpan text);

// Shared once built and never changed, so any thread may read it.
class SourceText {
 public:
  SourceText() = default;
  SourceText(std::u16string text) : text_(std::move(text)) {}  // NOLINT: text is the usual form
  static SourceText Utf8(std::string bytes) {
    SourceText source;
    source.text_ = std::move(bytes);
    return source;
  }

  TextSpan view() const noexcept;
  // In its own units: bytes of UTF-8, units of UTF-16.
  size_t size() const noexcept { return Length(view()); }
  // Where `run`, a run of this text, begins, in its units.
  size_t OffsetOf(TextSpan run) const noexcept;
  TextSpan Run(size_t offset, size_t length) const noexcept;
  std::u16string ToString() const { return ToUtf16(view()); }

 private:
  std::variant<std::u16string, std::string> text_;
};

}  // namespace cef_engine::dom
