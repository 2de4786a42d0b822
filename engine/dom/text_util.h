// Small helpers for UTF-16 text shared by the document and the page script.
#pragma once

#include <string>
#include <string_view>

namespace cef_engine::dom {

// Of UTF-16 units or of UTF-8 bytes alike: white space is ASCII.
template <class Char>
constexpr bool IsSpace(Char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}
constexpr char16_t AsciiLower(char16_t c) {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}
inline std::u16string AsciiLower(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) c = AsciiLower(c);
  return out;
}
inline bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}
// Runs of white space become one blank; leading and trailing white space goes.
std::u16string CollapseWhitespace(std::u16string_view text);

}  // namespace cef_engine::dom
