// Makes the complete library fail to link when an export of the interface list has no
// definition: the table refers to each of them. (Declarations in cef_engine.h already
// make a definition with a different signature fail to compile.) The last export is
// defined here too: this file is compiled per library, and the incomplete variant, which
// tests use to check that the binding refuses a library missing an export, leaves it out.
#include "browser/geolocation.h"
#include "cef_engine.h"

#if !defined(CEF_ENGINE_OMIT_LAST_EXPORT)
extern "C" int cef_get_geolocation(cef_get_geolocation_callback_t* callback) {
  return cef_engine::browser::GetGeolocation(callback);
}

namespace cef_engine {

#define CEF_ENGINE_TABLE_ENTRY(name, result, params) reinterpret_cast<const void*>(&name),
extern const void* const kEveryExport[];
const void* const kEveryExport[] = {CEF_EXPORT_LIST(CEF_ENGINE_TABLE_ENTRY)};
#undef CEF_ENGINE_TABLE_ENTRY
static_assert(sizeof(kEveryExport) / sizeof(kEveryExport[0]) == kCefExportCount);

}  // namespace cef_engine
#endif
