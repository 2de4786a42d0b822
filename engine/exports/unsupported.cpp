// Exports that answer "not supported" for now (listed in README.md): null, 0 or
// nothing. Records handed in with a reference are still taken over and released, so
// that a refused call leaks none of the program's objects.
#include "cef_engine.h"
#include "objects/engine_object.h"

using cef_engine::DropHandedOver;

namespace {
// Revision number of this engine; no program relies on its value.
constexpr int kEngineRevision = 1;
}  // namespace

extern "C" {

void cef_set_osmodal_loop(int) {}

int cef_add_cross_origin_whitelist_entry(const cef_string_t*, const cef_string_t*, const cef_string_t*, int) {
  return 0;
}

int cef_remove_cross_origin_whitelist_entry(const cef_string_t*, const cef_string_t*, const cef_string_t*,
                                            int) {
  return 0;
}

int cef_clear_cross_origin_whitelist() { return 0; }


#if !defined(CEF_ENGINE_HAS_XML_READER)
cef_xml_reader_t* cef_xml_reader_create(cef_stream_reader_t* stream, int, const cef_string_t*) {
  DropHandedOver(stream);
  return nullptr;
}
#endif

int cef_build_revision() { return kEngineRevision; }

size_t cef_get_web_plugin_count() { return 0; }

cef_web_plugin_info_t* cef_get_web_plugin_info(int) { return nullptr; }

cef_web_plugin_info_t* cef_get_web_plugin_info_byname(const cef_string_t*) { return nullptr; }

}  // extern "C"
