#include "ceflib/core/engine_text.h"

#include "ceflib/core/engine_library.h"
#include "ceflib/core/exceptions.h"

namespace ceflib {
namespace {

// The engine's entries of one string kind.
template <class Char>
struct Kind;
#define CEFLIB_STRING_KIND(Char, name)                                          \
  template <>                                                                   \
  struct Kind<Char> {                                                           \
    static constexpr auto& set = cef_string_##name##_set;                       \
    static constexpr auto& clear = cef_string_##name##_clear;                   \
    static constexpr auto& cmp = cef_string_##name##_cmp;                       \
    static constexpr auto& userfree_alloc = cef_string_userfree_##name##_alloc; \
    static constexpr auto& userfree_free = cef_string_userfree_##name##_free;   \
  };
CEFLIB_STRING_KIND(char16_t, utf16)
CEFLIB_STRING_KIND(char, utf8)
CEFLIB_STRING_KIND(wchar_t, wide)
#undef CEFLIB_STRING_KIND

// A record borrowing `text` for one engine call.
template <class Char>
typename TCefStringRecordOf<Char>::type Borrowed(std::basic_string_view<Char> text) {
  return {const_cast<Char*>(text.data()), text.size(), nullptr};
}

// Converts with one of the engine's conversion entries into a record of our own, which
// is cleared after its text has been copied.
template <class Out, class In, class Entry>
std::basic_string<Out> Convert(Entry entry, std::basic_string_view<In> text, bool* exact) {
  const auto convert = CefEntry(entry);
  typename TCefStringRecordOf<Out>::type record{};
  const int result = convert(text.data(), text.size(), &record);
  struct Cleared {
    decltype(record)* r;
    ~Cleared() {
      if (Kind<Out>::clear) Kind<Out>::clear(r);
    }
  } cleared{&record};
  if (exact) *exact = result != 0;
  return record.str ? std::basic_string<Out>(record.str, record.length) : std::basic_string<Out>();
}

template <class Char>
int Compare(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
  const auto cmp = CefEntry(Kind<Char>::cmp);
  const auto ra = Borrowed(a);
  const auto rb = Borrowed(b);
  return cmp(&ra, &rb);
}

}  // namespace

std::string CefEngineToUtf8(std::u16string_view text, bool* exact) {
  return Convert<char>(cef_string_utf16_to_utf8, text, exact);
}
ustring CefEngineFromUtf8(std::string_view text, bool* exact) {
  return Convert<char16_t>(cef_string_utf8_to_utf16, text, exact);
}
std::wstring CefEngineToWide(std::u16string_view text, bool* exact) {
  return Convert<wchar_t>(cef_string_utf16_to_wide, text, exact);
}
ustring CefEngineFromWide(std::wstring_view text, bool* exact) {
  return Convert<char16_t>(cef_string_wide_to_utf16, text, exact);
}
std::string CefEngineWideToUtf8(std::wstring_view text, bool* exact) {
  return Convert<char>(cef_string_wide_to_utf8, text, exact);
}
std::wstring CefEngineUtf8ToWide(std::string_view text, bool* exact) {
  return Convert<wchar_t>(cef_string_utf8_to_wide, text, exact);
}
ustring CefEngineFromAscii(std::string_view text, bool* exact) {
  return Convert<char16_t>(cef_string_ascii_to_utf16, text, exact);
}
std::wstring CefEngineAsciiToWide(std::string_view text, bool* exact) {
  return Convert<wchar_t>(cef_string_ascii_to_wide, text, exact);
}

int CefEngineCompare(std::u16string_view a, std::u16string_view b) { return Compare(a, b); }
int CefEngineCompare(std::string_view a, std::string_view b) { return Compare(a, b); }
int CefEngineCompare(std::wstring_view a, std::wstring_view b) { return Compare(a, b); }

template <class Char>
TCefEngineString<Char>::TCefEngineString(std::basic_string_view<Char> text)
    : FRecord(CefEntry(Kind<Char>::userfree_alloc)()), FFree(Kind<Char>::userfree_free) {
  if (!FRecord) throw ECefException("The engine could not allocate a string");
  Assign(text);
}

template <class Char>
TCefEngineString<Char>::~TCefEngineString() {
  if (FFree) FFree(FRecord);
}

template <class Char>
void TCefEngineString<Char>::Assign(std::basic_string_view<Char> text) {
  CefEntry(Kind<Char>::set)(text.data(), text.size(), Get(), 1);
}

template <class Char>
void TCefEngineString<Char>::Clear() {
  CefEntry(Kind<Char>::clear)(Get());
}

template <class Char>
std::basic_string_view<Char> TCefEngineString<Char>::View() const {
  const Record* r = Get();
  return r->str ? std::basic_string_view<Char>(r->str, r->length) : std::basic_string_view<Char>();
}

template <class Char>
typename TCefEngineString<Char>::Record* TCefEngineString<Char>::Get() const {
  FEngine.Check();
  return FRecord;
}

template class TCefEngineString<char16_t>;
template class TCefEngineString<char>;
template class TCefEngineString<wchar_t>;

}  // namespace ceflib
