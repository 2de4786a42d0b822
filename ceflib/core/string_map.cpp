#include "ceflib/core/string_map.h"

#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"

namespace ceflib {

TCefStringMapOwn::TCefStringMapOwn()
    : FStringMap(CefCallExport<cef_string_map_t>(cef_string_map_alloc)), FFree(cef_string_map_free) {}
TCefStringMapOwn::~TCefStringMapOwn() {
  if (FFree) FFree(FStringMap);
}

cef_string_map_t TCefStringMapOwn::GetHandle() {
  FEngine.Check();
  return FStringMap;
}

int TCefStringMapOwn::GetSize() { return CefCallExport<int>(cef_string_map_size, GetHandle()); }

ustring TCefStringMapOwn::Find(const ustring& key) {
  cef_string_map_t map = GetHandle();
  return CefStringReadFilled([&](cef_string_t* r) { CefCallExport(cef_string_map_find, map, key, r); });
}

ustring TCefStringMapOwn::GetKey(int index) {
  cef_string_map_t map = GetHandle();
  return CefStringReadFilled([&](cef_string_t* r) { CefCallExport(cef_string_map_key, map, index, r); });
}

ustring TCefStringMapOwn::GetValue(int index) {
  cef_string_map_t map = GetHandle();
  return CefStringReadFilled([&](cef_string_t* r) { CefCallExport(cef_string_map_value, map, index, r); });
}

int TCefStringMapOwn::Append(const ustring& key, const ustring& value) {
  return CefCallExport<int>(cef_string_map_append, GetHandle(), key, value);
}

void TCefStringMapOwn::Clear() { CefCallExport(cef_string_map_clear, GetHandle()); }

}  // namespace ceflib
