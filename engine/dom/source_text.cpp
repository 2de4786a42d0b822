#include "dom/source_text.h"

#include "strings/large_buffers.h"
#include "strings/utf.h"

namespace cef_engine::dom {

size_t Utf16Size(TextSpan text) noexcept {
  if (const auto* wide = std::get_if<std::u16string_view>(&text)) return wide->size();
  size_t units = 0;
  utf::Decode(std::get<std::string_view>(text), [&units](char32_t cp) { units += cp >= 0x10000 ? 2 : 1; });
  return units;
}

void AppendUtf16(std::u16string& out, TextSpan text) {
  std::visit([&out](auto run) { utf::AppendTranscoded(run, out); }, text);
}

std::u16string ToUtf16(TextSpan text) {
  std::u16string out;
  ReserveLarge(out, Length(text));
  AppendUtf16(out, text);
  return out;
}

TextSpan SourceText::view() const noexcept {
  return std::visit([](const auto& text) { return TextSpan(text); }, text_);
}

size_t SourceText::OffsetOf(TextSpan run) const noexcept {
  return std::visit(
      [this](auto part) {
        const auto& whole = std::get<std::basic_string<typename decltype(part)::value_type>>(text_);
        return static_cast<size_t>(part.data() - whole.data());
      },
      run);
}

TextSpan SourceText::Run(size_t offset, size_t length) const noexcept {
  return std::visit([&](auto text) { return TextSpan(text.substr(offset, length)); }, view());
}

}  // namespace cef_engine::dom
