// Makes the complete library fail to link when an export of the interface list has no
// definition: the table refers to each of them. (Declarations in cef_engine.h already
// make a definition with a different signature fail to compile.)
#include "cef_engine.h"

#if !defined(CEF_ENGINE_OMIT_LAST_EXPORT)
namespace cef_engine {

#define CEF_ENGINE_TABLE_ENTRY(name, result, params) reinterpret_cast<const void*>(&name),
extern const void* const kEveryExport[];
const void* const kEveryExport[] = {CEF_EXPORT_LIST(CEF_ENGINE_TABLE_ENTRY)};
#undef CEF_ENGINE_TABLE_ENTRY
static_assert(sizeof(kEveryExport) / sizeof(kEveryExport[0]) == kCefExportCount);

}  // namespace cef_engine
#endif
