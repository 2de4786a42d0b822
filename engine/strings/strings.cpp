// String records: set, clear, compare, convert, and userfree records. Every text the
// engine allocates carries FreeText as its release function and is counted until freed.
#include <memory>
#include <string>
#include <string_view>

#include "cef_engine.h"
#include "objects/live_counts.h"
#include "strings/text.h"
#include "strings/utf.h"

namespace cef_engine {
namespace {

// copy != 0: the record gets its own copy; otherwise it borrows src (no release function).
template <class Record>
int SetString(const CharOf<Record>* src, size_t src_len, Record* output, int copy) {
  if (!output) return 0;
  if (!src && src_len != 0) {
    ClearRecord(output);
    return 0;
  }
  if (copy) {
    AssignCopy(output, std::basic_string_view<CharOf<Record>>(src, src_len));
  } else {
    ClearRecord(output);
    output->str = const_cast<CharOf<Record>*>(src);
    output->length = src_len;
  }
  return 1;
}

// Code-unit order, so a shorter prefix sorts first; a null record equals an empty one.
template <class Record>
int Compare(const Record* a, const Record* b) {
  const int order = ViewOf(a).compare(ViewOf(b));
  return (order > 0) - (order < 0);
}

// The output always receives the converted text; the result is 0 when malformed input
// had to be replaced with U+FFFD.
template <class In, class OutRecord>
int Convert(const In* src, size_t src_len, OutRecord* output) {
  if (!output) return 0;
  if (!src && src_len != 0) {
    ClearRecord(output);
    return 0;
  }
  std::basic_string<CharOf<OutRecord>> text;
  const bool clean = utf::Transcode(std::basic_string_view<In>(src, src_len), text);
  AssignCopy(output, std::basic_string_view<CharOf<OutRecord>>(text));
  return clean ? 1 : 0;
}

// Bytes past 7-bit ASCII are not characters of their own; they become U+FFFD.
template <class OutRecord>
int FromAscii(const char* src, size_t src_len, OutRecord* output) {
  if (!output) return 0;
  if (!src && src_len != 0) {
    ClearRecord(output);
    return 0;
  }
  std::basic_string<CharOf<OutRecord>> text(src_len, CharOf<OutRecord>{});
  bool clean = true;
  for (size_t i = 0; i < src_len; ++i) {
    const auto byte = static_cast<unsigned char>(src[i]);
    clean = clean && byte < 0x80;
    text[i] = static_cast<CharOf<OutRecord>>(byte < 0x80 ? char32_t{byte} : utf::kReplacement);
  }
  AssignCopy(output, std::basic_string_view<CharOf<OutRecord>>(text));
  return clean ? 1 : 0;
}

template <class Record>
Record* AllocUserfree() {
  auto record = std::make_unique<Record>();
  LiveCounts::StringAllocated();
  return record.release();
}

template <class Record>
void FreeUserfree(Record* record) {
  if (!record) return;
  std::unique_ptr<Record> owned(record);
  ClearRecord(owned.get());
  LiveCounts::StringFreed();
}

}  // namespace

cef_string_userfree_t NewUserfree(std::u16string_view text) {
  auto* record = AllocUserfree<cef_string_utf16_t>();
  AssignCopy(record, text);
  return record;
}

cef_string_userfree_t NewUserfreeUtf8(std::string_view text) {
  using Char = CharOf<cef_string_utf16_t>;
  auto* record = AllocUserfree<cef_string_utf16_t>();
  if (text.empty()) return record;
  // Widened in one pass while it stays ASCII; anything else is transcoded.
  auto buffer = std::make_unique_for_overwrite<Char[]>(text.size() + 1);
  unsigned char seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    seen |= byte;
    buffer[i] = static_cast<Char>(byte);
  }
  if (seen < 0x80) {
    buffer[text.size()] = Char{};
    LiveCounts::StringAllocated();
    *record = {buffer.release(), text.size(), &FreeText<Char>};
  } else {
    std::u16string wide;
    utf::Transcode(text, wide);
    AssignCopy(record, std::u16string_view(wide));
  }
  return record;
}

}  // namespace cef_engine

using cef_engine::AllocUserfree;
using cef_engine::ClearRecord;
using cef_engine::Compare;
using cef_engine::Convert;
using cef_engine::FreeUserfree;
using cef_engine::FromAscii;
using cef_engine::SetString;

extern "C" {

int cef_string_wide_set(const wchar_t* src, size_t src_len, cef_string_wide_t* output, int copy) {
  return SetString(src, src_len, output, copy);
}
int cef_string_utf8_set(const char* src, size_t src_len, cef_string_utf8_t* output, int copy) {
  return SetString(src, src_len, output, copy);
}
int cef_string_utf16_set(const char16* src, size_t src_len, cef_string_utf16_t* output, int copy) {
  return SetString(src, src_len, output, copy);
}

void cef_string_wide_clear(cef_string_wide_t* str) { ClearRecord(str); }
void cef_string_utf8_clear(cef_string_utf8_t* str) { ClearRecord(str); }
void cef_string_utf16_clear(cef_string_utf16_t* str) { ClearRecord(str); }

int cef_string_wide_cmp(const cef_string_wide_t* str1, const cef_string_wide_t* str2) {
  return Compare(str1, str2);
}
int cef_string_utf8_cmp(const cef_string_utf8_t* str1, const cef_string_utf8_t* str2) {
  return Compare(str1, str2);
}
int cef_string_utf16_cmp(const cef_string_utf16_t* str1, const cef_string_utf16_t* str2) {
  return Compare(str1, str2);
}

int cef_string_wide_to_utf8(const wchar_t* src, size_t src_len, cef_string_utf8_t* output) {
  return Convert(src, src_len, output);
}
int cef_string_utf8_to_wide(const char* src, size_t src_len, cef_string_wide_t* output) {
  return Convert(src, src_len, output);
}
int cef_string_wide_to_utf16(const wchar_t* src, size_t src_len, cef_string_utf16_t* output) {
  return Convert(src, src_len, output);
}
int cef_string_utf16_to_wide(const char16* src, size_t src_len, cef_string_wide_t* output) {
  return Convert(src, src_len, output);
}
int cef_string_utf8_to_utf16(const char* src, size_t src_len, cef_string_utf16_t* output) {
  return Convert(src, src_len, output);
}
int cef_string_utf16_to_utf8(const char16* src, size_t src_len, cef_string_utf8_t* output) {
  return Convert(src, src_len, output);
}
int cef_string_ascii_to_wide(const char* src, size_t src_len, cef_string_wide_t* output) {
  return FromAscii(src, src_len, output);
}
int cef_string_ascii_to_utf16(const char* src, size_t src_len, cef_string_utf16_t* output) {
  return FromAscii(src, src_len, output);
}

cef_string_userfree_wide_t cef_string_userfree_wide_alloc() { return AllocUserfree<cef_string_wide_t>(); }
cef_string_userfree_utf8_t cef_string_userfree_utf8_alloc() { return AllocUserfree<cef_string_utf8_t>(); }
cef_string_userfree_utf16_t cef_string_userfree_utf16_alloc() { return AllocUserfree<cef_string_utf16_t>(); }

void cef_string_userfree_wide_free(cef_string_userfree_wide_t str) { FreeUserfree(str); }
void cef_string_userfree_utf8_free(cef_string_userfree_utf8_t str) { FreeUserfree(str); }
void cef_string_userfree_utf16_free(cef_string_userfree_utf16_t str) { FreeUserfree(str); }

}  // extern "C"
