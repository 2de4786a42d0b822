// The engine's own text functions for its three string kinds: UTF-16 (ustring), UTF-8
// (std::string) and wide (std::wstring: UTF-16 on Windows, UTF-32 elsewhere). The
// binding's conversions (strings.h) need none of them; they are for programs that pass
// text on to other C interfaces in these forms, so that no export of the engine has to
// be called through a raw pointer. Each raises "The engine is not loaded" without an
// engine.
#pragma once

#include <string>
#include <string_view>

#include "cef/cef_types.h"
#include "ceflib/core/engine_state.h"

namespace ceflib {

using ustring = std::u16string;

// Conversions as the engine makes them: malformed input becomes U+FFFD, one per bad
// sequence, and `exact` (when given) tells whether nothing had to be replaced.
std::string CefEngineToUtf8(std::u16string_view text, bool* exact = nullptr);
ustring CefEngineFromUtf8(std::string_view text, bool* exact = nullptr);
std::wstring CefEngineToWide(std::u16string_view text, bool* exact = nullptr);
ustring CefEngineFromWide(std::wstring_view text, bool* exact = nullptr);
std::string CefEngineWideToUtf8(std::wstring_view text, bool* exact = nullptr);
std::wstring CefEngineUtf8ToWide(std::string_view text, bool* exact = nullptr);
// Bytes above 0x7F are not ASCII: each becomes U+FFFD.
ustring CefEngineFromAscii(std::string_view text, bool* exact = nullptr);
std::wstring CefEngineAsciiToWide(std::string_view text, bool* exact = nullptr);

// The engine's comparison, by unsigned code unit: below, equal to or above zero.
int CefEngineCompare(std::u16string_view a, std::u16string_view b);
int CefEngineCompare(std::string_view a, std::string_view b);
int CefEngineCompare(std::wstring_view a, std::wstring_view b);

template <class Char>
struct TCefStringRecordOf;
template <>
struct TCefStringRecordOf<char16_t> {
  using type = cef_string_utf16_t;
};
template <>
struct TCefStringRecordOf<char> {
  using type = cef_string_utf8_t;
};
template <>
struct TCefStringRecordOf<wchar_t> {
  using type = cef_string_wide_t;
};

// A string record the engine allocated (a userfree record), holding an engine copy of
// its text, for C interfaces that take one. Freed with this object, also after
// CefShutdownEngine; using it afterwards raises "The engine is not loaded".
template <class Char>
class TCefEngineString {
 public:
  using Record = typename TCefStringRecordOf<Char>::type;

  explicit TCefEngineString(std::basic_string_view<Char> text = {});
  ~TCefEngineString();
  TCefEngineString(const TCefEngineString&) = delete;
  TCefEngineString& operator=(const TCefEngineString&) = delete;

  // Replaces the text with an engine copy of `text`.
  void Assign(std::basic_string_view<Char> text);
  // Releases the text: the record is empty again.
  void Clear();
  std::basic_string_view<Char> View() const;
  // The record, owned by this object; valid while it lives.
  Record* Get() const;

 private:
  Record* FRecord;
  void (*FFree)(Record*);  // kept: the entry table empties at shutdown
  TCefEnginePin FEngine;
};

using TCefEngineUtf16String = TCefEngineString<char16_t>;
using TCefEngineUtf8String = TCefEngineString<char>;
using TCefEngineWideString = TCefEngineString<wchar_t>;

}  // namespace ceflib
