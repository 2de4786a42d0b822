// String records: set, clear, compare, convert, and userfree records. Every text the
// engine allocates carries a release function of the engine's and is counted until freed.
#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
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

// A userfree record lives in one allocation with the text it is made with, so an answer
// costs one allocation, not two. That text still has its own release function: a program
// may take it over (copy the record, zero it, free the record, release the text later),
// so the block goes when both the record and its text have been released.
template <class Record>
struct UserfreeBlock {
  using Char = CharOf<Record>;

  Record record{};
  std::atomic<int> holders{1};  // the record, plus its inline text while that is held

  Char* Text() { return reinterpret_cast<Char*>(this + 1); }

  static Record* Make(size_t text_units) {
    const size_t bytes = sizeof(UserfreeBlock) + (text_units ? (text_units + 1) * sizeof(Char) : 0);
    auto* block = new (::operator new(bytes)) UserfreeBlock;
    LiveCounts::StringAllocated();
    if (text_units) {
      block->holders.store(2, std::memory_order_relaxed);
      block->record = {block->Text(), 0, &ReleaseText};
    }
    return &block->record;
  }
  static void Free(Record* record) {
    auto* block = reinterpret_cast<UserfreeBlock*>(record);
    if (record->str == block->Text() && record->dtor == &ReleaseText) return Destroy(block);
    ClearRecord(record);  // a text set later, or nothing
    Release(block);
  }

 private:
  static void ReleaseText(Char* text) {
    Release(reinterpret_cast<UserfreeBlock*>(reinterpret_cast<char*>(text) - sizeof(UserfreeBlock)));
  }
  static void Release(UserfreeBlock* block) {
    if (block->holders.fetch_sub(1, std::memory_order_acq_rel) == 1) Destroy(block);
  }
  static void Destroy(UserfreeBlock* block) {
    block->~UserfreeBlock();
    ::operator delete(block);
    LiveCounts::StringFreed();
  }
};

template <class Record>
Record* AllocUserfree() {
  return UserfreeBlock<Record>::Make(0);
}

template <class Record>
void FreeUserfree(Record* record) {
  if (record) UserfreeBlock<Record>::Free(record);
}

// A userfree record with room for `units` code units of text (and the terminator).
cef_string_utf16_t* UserfreeWithRoom(size_t units) { return UserfreeBlock<cef_string_utf16_t>::Make(units); }

// Ends the record's inline text after `length` units.
void Finish(cef_string_utf16_t* record, size_t length) {
  if (!record->str) return;
  record->str[length] = CharOf<cef_string_utf16_t>{};
  record->length = length;
}

}  // namespace

cef_string_userfree_t NewUserfree(std::u16string_view text) {
  auto* record = UserfreeWithRoom(text.size());
  std::copy(text.begin(), text.end(), record->str);
  Finish(record, text.size());
  return record;
}

cef_string_userfree_t NewUserfreeUtf8(std::string_view text) {
  // UTF-8 never takes fewer bytes than UTF-16 takes units (a malformed byte becomes one
  // U+FFFD), so the text's size is room enough either way.
  auto* record = UserfreeWithRoom(text.size());
  // Widened in one pass while it stays ASCII; anything else is transcoded.
  unsigned char seen = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    seen |= byte;
    record->str[i] = static_cast<char16>(byte);
  }
  if (seen < 0x80) {
    Finish(record, text.size());
  } else {
    std::u16string wide;
    utf::Transcode(text, wide);
    std::copy(wide.begin(), wide.end(), record->str);
    Finish(record, wide.size());
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
