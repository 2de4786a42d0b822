#include "ceflib/core/strings.h"

#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"

namespace ceflib {

cef_string_t CefStringAlloc(const ustring& s) {
  cef_string_t record{};
  if (s.empty()) return record;
#if defined(_WIN32)
  CefEntry(cef_string_from_wide)(reinterpret_cast<const wchar_t*>(s.data()), s.size(), &record);
#else
  // wchar_t is not UTF-16 here; the UTF-16 entry makes the same engine-owned copy.
  CefEntry(cef_string_utf16_set)(s.data(), s.size(), &record, 1);
#endif
  return record;
}

void CefStringAssign(cef_string_t* target, const ustring& s) {
  if (target) CefEntry(cef_string_set)(s.data(), s.size(), target, 1);
}

ustring CefStringRead(const cef_string_t* p) {
  if (!p || !p->str) return {};
  return ustring(p->str, p->length);
}

ustring CefStringClearAndGet(cef_string_t* p) {
  // Released even when the copy throws; text of an engine that is gone stays as it is.
  struct Clear {
    cef_string_t* p;
    ~Clear() {
      if (cef_string_clear) cef_string_clear(p);
    }
  } clear{p};
  return CefStringRead(p);
}

ustring CefStringFreeAndGet(cef_string_userfree_t u) {
  if (!u) return {};
  struct Free {
    cef_string_userfree_t u;
    ~Free() {
      if (cef_string_userfree_free) cef_string_userfree_free(u);
    }
  } free{u};
  return CefStringRead(u);
}

extern "C" int CefStringCopyUtf16(const char16* src, size_t length, cef_string_utf16_t* output) {
  return cef_string_utf16_set(src, length, output, 1);
}

void CefStringListRead(cef_string_list_t list, std::vector<ustring>& out) {
  int n = CefEntry(cef_string_list_size)(list);
  for (int i = 0; i < n; ++i)
    out.push_back(
        CefStringReadFilled([&](cef_string_t* r) { CefCallExport(cef_string_list_value, list, i, r); }));
}

CefOwnedStringList::CefOwnedStringList()
    : CefOwnedStringList(CefCallExport<cef_string_list_t>(cef_string_list_alloc)) {}
CefOwnedStringList::CefOwnedStringList(cef_string_list_t list) : list_(list), free_(cef_string_list_free) {}
CefOwnedStringList::~CefOwnedStringList() {
  if (free_) free_(list_);
}

cef_string_list_t CefOwnedStringList::Handle() const {
  engine_.Check();
  return list_;
}
void CefOwnedStringList::Append(const ustring& item) {
  CefCallExport(cef_string_list_append, Handle(), item);
}
void CefOwnedStringList::ReadInto(std::vector<ustring>& out) const { CefStringListRead(Handle(), out); }
void CefOwnedStringList::Clear() { CefCallExport(cef_string_list_clear, Handle()); }
CefOwnedStringList CefOwnedStringList::Copy() const {
  return CefOwnedStringList(CefCallExport<cef_string_list_t>(cef_string_list_copy, Handle()));
}

TCefStringMultimapOwn::TCefStringMultimapOwn()
    : FStringMap(CefCallExport<cef_string_multimap_t>(cef_string_multimap_alloc)),
      FFree(cef_string_multimap_free) {}
TCefStringMultimapOwn::~TCefStringMultimapOwn() {
  if (FFree) FFree(FStringMap);
}

cef_string_multimap_t TCefStringMultimapOwn::GetHandle() {
  FEngine.Check();
  return FStringMap;
}

int TCefStringMultimapOwn::GetSize() { return CefCallExport<int>(cef_string_multimap_size, GetHandle()); }

int TCefStringMultimapOwn::FindCount(const ustring& key) {
  return CefCallExport<int>(cef_string_multimap_find_count, GetHandle(), key);
}

ustring TCefStringMultimapOwn::Enumerate(const ustring& key, int valueIndex) {
  cef_string_multimap_t map = GetHandle();
  return CefStringReadFilled(
      [&](cef_string_t* r) { CefCallExport(cef_string_multimap_enumerate, map, key, valueIndex, r); });
}

ustring TCefStringMultimapOwn::GetKey(int index) {
  cef_string_multimap_t map = GetHandle();
  return CefStringReadFilled([&](cef_string_t* r) { CefCallExport(cef_string_multimap_key, map, index, r); });
}

ustring TCefStringMultimapOwn::GetValue(int index) {
  cef_string_multimap_t map = GetHandle();
  return CefStringReadFilled(
      [&](cef_string_t* r) { CefCallExport(cef_string_multimap_value, map, index, r); });
}

int TCefStringMultimapOwn::Append(const ustring& key, const ustring& value) {
  return CefCallExport<int>(cef_string_multimap_append, GetHandle(), key, value);
}

void TCefStringMultimapOwn::Clear() { CefCallExport(cef_string_multimap_clear, GetHandle()); }

std::string CefToUtf8(const ustring& s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // a lone surrogate has no UTF-8 form
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

ustring CefFromUtf8(std::string_view s) {
  ustring out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const auto lead = static_cast<unsigned char>(s[i++]);
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      continue;
    }
    // The length of the sequence, and the range of its second byte that excludes
    // overlong forms, surrogates and values past U+10FFFF.
    size_t need = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      need = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      need = 2;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      need = 3;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    char32_t c = lead & (0x3F >> need);
    size_t taken = 0;
    for (; taken < need && i < s.size(); ++taken, ++i) {
      const auto next = static_cast<unsigned char>(s[i]);
      if (next < low || next > high) break;
      c = (c << 6) | (next & 0x3F);
      low = 0x80, high = 0xBF;
    }
    if (need == 0 || taken < need) {
      out += u'\uFFFD';  // the bytes read so far are one ill-formed sequence
    } else if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  return out;
}

}  // namespace ceflib
