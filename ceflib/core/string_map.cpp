#include "ceflib/core/string_map.h"

#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"

namespace ceflib {

TCefStringMapOwn::TCefStringMapOwn() : FStringMap(cef_string_map_alloc()) {}
TCefStringMapOwn::~TCefStringMapOwn() { cef_string_map_free(FStringMap); }

int TCefStringMapOwn::GetSize() { return cef_string_map_size(FStringMap); }

ustring TCefStringMapOwn::Find(const ustring& key) {
  return CefStringReadFilled([&](cef_string_t* r) { cef_string_map_find(FStringMap, ToEngine(key), r); });
}

ustring TCefStringMapOwn::GetKey(int index) {
  return CefStringReadFilled([&](cef_string_t* r) { cef_string_map_key(FStringMap, index, r); });
}

ustring TCefStringMapOwn::GetValue(int index) {
  return CefStringReadFilled([&](cef_string_t* r) { cef_string_map_value(FStringMap, index, r); });
}

int TCefStringMapOwn::Append(const ustring& key, const ustring& value) {
  return cef_string_map_append(FStringMap, ToEngine(key), ToEngine(value));
}

void TCefStringMapOwn::Clear() { cef_string_map_clear(FStringMap); }

}  // namespace ceflib
