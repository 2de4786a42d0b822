#include "ceflib/core/string_map.h"

#include "ceflib/core/engine_library.h"

namespace ceflib {

namespace {
// Reads a record the engine fills into a zeroed one, then releases the engine's text.
template <class Fill>
ustring ReadFilled(Fill&& fill) {
  cef_string_t record{};
  fill(&record);
  return CefStringClearAndGet(&record);
}
}  // namespace

TCefStringMapOwn::TCefStringMapOwn() : FStringMap(cef_string_map_alloc()) {}
TCefStringMapOwn::~TCefStringMapOwn() { cef_string_map_free(FStringMap); }

int TCefStringMapOwn::GetSize() { return cef_string_map_size(FStringMap); }

ustring TCefStringMapOwn::Find(const ustring& key) {
  cef_string_t k = CefStringView(key);
  return ReadFilled([&](cef_string_t* r) { cef_string_map_find(FStringMap, &k, r); });
}

ustring TCefStringMapOwn::GetKey(int index) {
  return ReadFilled([&](cef_string_t* r) { cef_string_map_key(FStringMap, index, r); });
}

ustring TCefStringMapOwn::GetValue(int index) {
  return ReadFilled([&](cef_string_t* r) { cef_string_map_value(FStringMap, index, r); });
}

int TCefStringMapOwn::Append(const ustring& key, const ustring& value) {
  cef_string_t k = CefStringView(key);
  cef_string_t v = CefStringView(value);
  return cef_string_map_append(FStringMap, &k, &v);
}

void TCefStringMapOwn::Clear() { cef_string_map_clear(FStringMap); }

}  // namespace ceflib
