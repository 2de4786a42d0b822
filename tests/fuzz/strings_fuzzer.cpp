// The engine's string conversions (UTF-8, UTF-16, wide, ASCII) through its exports, and
// ceflib::CefToUtf8 and CefFromUtf8, on arbitrary input: malformed UTF-8, lone surrogates, values past
// U+10FFFF, embedded NULs and, when the first byte asks for it, very long text.
// Valid input survives every round trip; invalid input gives valid text with U+FFFD
// and result 0; the conversions agree with each other; nothing stays allocated.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cef_engine.h"
#include "ceflib/core/strings.h"

namespace {

// A failed property aborts, so libFuzzer keeps the input; the line tells which one.
void Check(bool ok, const char* file = __builtin_FILE(), int line = __builtin_LINE()) {
  if (ok) return;
  std::fprintf(stderr, "check failed at %s:%d\n", file, line);
  std::abort();
}

// Owns an output record of the engine and clears it through the engine.
template <class Record, void (*Clear)(Record*)>
struct Out {
  Record r{};
  Out() = default;
  Out(const Out&) = delete;
  Out& operator=(const Out&) = delete;
  ~Out() { Clear(&r); }
  auto view() const { return std::basic_string_view(r.str, r.length); }
};
using Utf8 = Out<cef_string_utf8_t, &cef_string_utf8_clear>;
using Utf16 = Out<cef_string_utf16_t, &cef_string_utf16_clear>;
using Wide = Out<cef_string_wide_t, &cef_string_wide_clear>;

bool HasLoneSurrogate(std::u16string_view s) {
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      ++i;
    } else if (s[i] >= 0xD800 && s[i] <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

bool IsScalar(wchar_t c) {
  const auto v = static_cast<uint32_t>(c);
  return v <= 0x10FFFF && (v < 0xD800 || v > 0xDFFF);
}

// The bytes as UTF-8.
void FromUtf8(const std::string& bytes) {
  Utf16 u16;
  const int r = cef_string_utf8_to_utf16(bytes.data(), bytes.size(), &u16.r);
  Check(!HasLoneSurrogate(u16.view()));
  Utf8 back;
  Check(cef_string_utf16_to_utf8(u16.r.str, u16.r.length, &back.r) == 1);
  if (r == 1) {
    Check(back.view() == bytes);
  } else {
    Check(u16.view().find(u'\uFFFD') != std::u16string_view::npos);
  }
  Check(ceflib::CefToUtf8(std::u16string(u16.view())) == back.view());
  Check(ceflib::CefFromUtf8(bytes) == u16.view());

  // Through wide text: the same result and the same replacements.
  Wide wide;
  Check(cef_string_utf8_to_wide(bytes.data(), bytes.size(), &wide.r) == r);
  Utf16 from_wide;
  Check(cef_string_wide_to_utf16(wide.r.str, wide.r.length, &from_wide.r) == 1);
  Check(from_wide.view() == u16.view());
  Utf8 wide_back;
  Check(cef_string_wide_to_utf8(wide.r.str, wide.r.length, &wide_back.r) == 1);
  Check(wide_back.view() == back.view());

  // Setting copies (also embedded NULs), comparison sees equal text, the copy is
  // released on clear.
  Utf8 copy;
  Check(cef_string_utf8_set(bytes.data(), bytes.size(), &copy.r, 1) == 1);
  Check(copy.view() == bytes);
  cef_string_utf8_t view{const_cast<char*>(bytes.data()), bytes.size(), nullptr};
  Check(cef_string_utf8_cmp(&copy.r, &view) == 0);

  // ASCII: every byte becomes one unit; bytes above 0x7F become U+FFFD.
  Utf16 ascii;
  bool all_ascii = true;
  for (unsigned char c : bytes) all_ascii = all_ascii && c < 0x80;
  Check(cef_string_ascii_to_utf16(bytes.data(), bytes.size(), &ascii.r) == (all_ascii ? 1 : 0));
  Check(ascii.r.length == bytes.size());
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    Check(ascii.r.str[i] == (c < 0x80 ? c : 0xFFFD));
  }
}

// Pairs of bytes as UTF-16 units (lone surrogates included).
void FromUtf16(const std::u16string& units) {
  Utf8 u8;
  const int r = cef_string_utf16_to_utf8(units.data(), units.size(), &u8.r);
  Check(r == (HasLoneSurrogate(units) ? 0 : 1));
  Check(ceflib::CefToUtf8(units) == u8.view());
  Utf16 back;
  Check(cef_string_utf8_to_utf16(u8.r.str, u8.r.length, &back.r) == 1);
  if (r == 1) Check(back.view() == units);
  Check(back.view().size() == units.size());  // a lone surrogate becomes one U+FFFD

  Wide wide;
  Check(cef_string_utf16_to_wide(units.data(), units.size(), &wide.r) == r);
  Utf16 wide_back;
  Check(cef_string_wide_to_utf16(wide.r.str, wide.r.length, &wide_back.r) == 1);
  Check(wide_back.view() == back.view());

  Utf16 copy;
  Check(cef_string_utf16_set(units.data(), units.size(), &copy.r, 1) == 1);
  cef_string_utf16_t view{const_cast<char16*>(units.data()), units.size(), nullptr};
  Check(cef_string_utf16_cmp(&copy.r, &view) == 0);
}

// Groups of four bytes as wide values (past U+10FFFF, surrogates and negative included).
void FromWide(const std::wstring& values) {
  bool valid = true;
  for (wchar_t c : values) valid = valid && IsScalar(c);
  Utf16 u16;
  Check(cef_string_wide_to_utf16(values.data(), values.size(), &u16.r) == (valid ? 1 : 0));
  Check(!HasLoneSurrogate(u16.view()));
  Wide back;
  Check(cef_string_utf16_to_wide(u16.r.str, u16.r.length, &back.r) == 1);
  Check(back.r.length == values.size());
  if (valid) Check(back.view() == values);
  Utf8 u8;
  Check(cef_string_wide_to_utf8(values.data(), values.size(), &u8.r) == (valid ? 1 : 0));
  Check(ceflib::CefToUtf8(std::u16string(u16.view())) == u8.view());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // A first byte 0xFF asks for a very long text: the rest repeated to 64 KiB.
  const bool long_text = data[0] == 0xFF;
  std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  if (long_text && !bytes.empty()) {
    const std::string unit = bytes;
    while (bytes.size() < (1u << 16)) bytes += unit;
  }
  const int strings_before = cef_engine_live_strings();

  FromUtf8(bytes);
  std::u16string units(bytes.size() / 2, u'\0');
  std::memcpy(units.data(), bytes.data(), units.size() * 2);
  FromUtf16(units);
  std::wstring values(bytes.size() / sizeof(wchar_t), L'\0');
  std::memcpy(values.data(), bytes.data(), values.size() * sizeof(wchar_t));
  FromWide(values);

  Check(cef_engine_live_strings() == strings_before);
  return 0;
}
