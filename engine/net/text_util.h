// Small text helpers of the network module: UTF-8 and UTF-16 both ways, ASCII case.
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "strings/utf.h"

namespace cef_engine::net {

inline std::string ToUtf8(std::u16string_view text) {
  std::string out;
  utf::Transcode(text, out);
  return out;
}

inline std::u16string ToUtf16(std::string_view text) {
  std::u16string out;
  utf::Transcode(text, out);
  return out;
}

template <class Char>
std::basic_string<Char> AsciiLower(std::basic_string_view<Char> text) {
  std::basic_string<Char> out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](Char c) { return (c >= 'A' && c <= 'Z') ? static_cast<Char>(c - 'A' + 'a') : c; });
  return out;
}

inline bool IsControl(char16_t c) { return c < 0x20 || c == 0x7F; }

// The text without the blanks (spaces and tabs) at either end.
inline std::u16string_view TrimBlanks(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

template <class Char>
bool EqualsIgnoringCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  return AsciiLower(a) == AsciiLower(b);
}

// The text of an address part with its %XX escapes (UTF-8 bytes) decoded.
inline std::u16string PercentDecoded(std::u16string_view text) {
  std::string bytes;
  const std::string utf8 = ToUtf8(text);
  for (size_t i = 0; i < utf8.size(); ++i) {
    if (utf8[i] == '%' && i + 2 < utf8.size() && std::isxdigit(static_cast<unsigned char>(utf8[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(utf8[i + 2]))) {
      bytes += static_cast<char>(std::stoi(utf8.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      bytes += utf8[i];
    }
  }
  return ToUtf16(bytes);
}

}  // namespace cef_engine::net
