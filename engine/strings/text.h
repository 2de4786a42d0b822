// Engine-owned text inside string records: allocation with the engine's release
// function, clearing, and reading records the program hands in.
#pragma once

#include <algorithm>
#include <memory>
#include <string_view>
#include <type_traits>

#include "cef/cef_types.h"
#include "objects/live_counts.h"

namespace cef_engine {

template <class Record>
using CharOf = std::remove_pointer_t<decltype(Record::str)>;

// The release function stored in every record whose text the engine allocated.
template <class Char>
void FreeText(Char* str) {
  std::unique_ptr<Char[]> owned(str);
  LiveCounts::StringFreed();
}

// A counted, zero-terminated copy of `text` (the terminator is for the program's
// convenience; lengths stay authoritative, so embedded zeros survive).
// `text` may be of a narrower type whose values are the code units as they are (ASCII).
template <class Char, class In = Char>
Char* AllocText(std::basic_string_view<In> text) {
  auto buffer = std::make_unique_for_overwrite<Char[]>(text.size() + 1);
  std::copy(text.begin(), text.end(), buffer.get());
  buffer[text.size()] = Char{};
  LiveCounts::StringAllocated();
  return buffer.release();
}

// Releases the record's text through its own release function, then zeroes it.
template <class Record>
void ClearRecord(Record* record) {
  if (!record) return;
  if (record->dtor && record->str) record->dtor(record->str);
  *record = Record{};
}

// Puts an engine-owned copy of `text` into `out`. The old text is released only after
// the copy is made, so `text` may be a view of it. Empty text leaves an all-zero record.
template <class Record>
void AssignCopy(Record* out, std::basic_string_view<CharOf<Record>> text) {
  Record fresh{};
  if (!text.empty()) {
    fresh.str = AllocText<CharOf<Record>>(text);
    fresh.length = text.size();
    fresh.dtor = &FreeText<CharOf<Record>>;
  }
  ClearRecord(out);
  *out = fresh;
}

// A record view of engine text, for a call that only reads it: no release function, so
// the callee must copy what it keeps.
inline cef_string_t View(std::u16string_view text) {
  return {const_cast<char16*>(text.data()), text.size(), nullptr};
}

// The text of a record the program passes in; null records and null texts read as empty.
template <class Record>
std::basic_string_view<CharOf<Record>> ViewOf(const Record* record) {
  if (!record || !record->str) return {};
  return {record->str, record->length};
}

// A userfree record holding a copy of `text`, for results the program frees with
// cef_string_userfree_utf16_free. Defined in strings.cpp.
cef_string_userfree_t NewUserfree(std::u16string_view text);
// The same for UTF-8 text, converted straight into the record's text when it is ASCII.
cef_string_userfree_t NewUserfreeUtf8(std::string_view text);

}  // namespace cef_engine
