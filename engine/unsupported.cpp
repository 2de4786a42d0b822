// Exports that answer "not supported" for now (listed in README.md): null, 0 or
// nothing. Records handed in with a reference are still taken over and released, so
// that a refused call leaks none of the program's objects.
#include "cef_engine.h"
#include "engine_object.h"

using cef_engine::DropHandedOver;

namespace {
// Revision number of this engine; no program relies on its value.
constexpr int kEngineRevision = 1;
}  // namespace

extern "C" {

void cef_set_osmodal_loop(int) {}

int cef_register_extension(const cef_string_t*, const cef_string_t*, cef_v8handler_t* handler) {
  DropHandedOver(handler);
  return 0;
}

int cef_register_scheme_handler_factory(const cef_string_t*, const cef_string_t*,
                                        cef_scheme_handler_factory_t* factory) {
  DropHandedOver(factory);
  return 0;
}

int cef_clear_scheme_handler_factories() { return 0; }

int cef_add_cross_origin_whitelist_entry(const cef_string_t*, const cef_string_t*, const cef_string_t*, int) {
  return 0;
}

int cef_remove_cross_origin_whitelist_entry(const cef_string_t*, const cef_string_t*, const cef_string_t*,
                                            int) {
  return 0;
}

int cef_clear_cross_origin_whitelist() { return 0; }

int cef_parse_url(const cef_string_t*, cef_urlparts_t*) { return 0; }

int cef_create_url(const cef_urlparts_t*, cef_string_t*) { return 0; }

int cef_browser_create(cef_window_info_t*, cef_client_t* client, const cef_string_t*,
                       const cef_browser_settings_t*) {
  DropHandedOver(client);
  return 0;
}

cef_browser_t* cef_browser_create_sync(cef_window_info_t*, cef_client_t* client, const cef_string_t*,
                                       const cef_browser_settings_t*) {
  DropHandedOver(client);
  return nullptr;
}

cef_request_t* cef_request_create() { return nullptr; }

cef_post_data_t* cef_post_data_create() { return nullptr; }

cef_post_data_element_t* cef_post_data_element_create() { return nullptr; }

cef_stream_reader_t* cef_stream_reader_create_for_file(const cef_string_t*) { return nullptr; }

cef_stream_reader_t* cef_stream_reader_create_for_data(void*, size_t) { return nullptr; }

cef_stream_reader_t* cef_stream_reader_create_for_handler(cef_read_handler_t* handler) {
  DropHandedOver(handler);
  return nullptr;
}

cef_stream_writer_t* cef_stream_writer_create_for_file(const cef_string_t*) { return nullptr; }

cef_stream_writer_t* cef_stream_writer_create_for_handler(cef_write_handler_t* handler) {
  DropHandedOver(handler);
  return nullptr;
}

cef_v8context_t* cef_v8context_get_current_context() { return nullptr; }

cef_v8context_t* cef_v8context_get_entered_context() { return nullptr; }

int cef_v8context_in_context() { return 0; }

cef_v8value_t* cef_v8value_create_undefined() { return nullptr; }

cef_v8value_t* cef_v8value_create_null() { return nullptr; }

cef_v8value_t* cef_v8value_create_bool(int) { return nullptr; }

cef_v8value_t* cef_v8value_create_int(int) { return nullptr; }

cef_v8value_t* cef_v8value_create_uint(uint32_t) { return nullptr; }

cef_v8value_t* cef_v8value_create_double(double) { return nullptr; }

cef_v8value_t* cef_v8value_create_date(const cef_time_t*) { return nullptr; }

cef_v8value_t* cef_v8value_create_string(const cef_string_t*) { return nullptr; }

cef_v8value_t* cef_v8value_create_object(cef_v8accessor_t* accessor) {
  DropHandedOver(accessor);
  return nullptr;
}

cef_v8value_t* cef_v8value_create_array(int) { return nullptr; }

cef_v8value_t* cef_v8value_create_function(const cef_string_t*, cef_v8handler_t* handler) {
  DropHandedOver(handler);
  return nullptr;
}

cef_v8stack_trace_t* cef_v8stack_trace_get_current(int) { return nullptr; }

cef_web_urlrequest_t* cef_web_urlrequest_create(cef_request_t* request, cef_web_urlrequest_client_t* client) {
  DropHandedOver(request);
  DropHandedOver(client);
  return nullptr;
}

cef_xml_reader_t* cef_xml_reader_create(cef_stream_reader_t* stream, int, const cef_string_t*) {
  DropHandedOver(stream);
  return nullptr;
}

cef_zip_reader_t* cef_zip_reader_create(cef_stream_reader_t* stream) {
  DropHandedOver(stream);
  return nullptr;
}

int cef_build_revision() { return kEngineRevision; }

cef_cookie_manager_t* cef_cookie_manager_get_global_manager() { return nullptr; }

cef_cookie_manager_t* cef_cookie_manager_create_manager(const cef_string_t*) { return nullptr; }

size_t cef_get_web_plugin_count() { return 0; }

cef_web_plugin_info_t* cef_get_web_plugin_info(int) { return nullptr; }

cef_web_plugin_info_t* cef_get_web_plugin_info_byname(const cef_string_t*) { return nullptr; }

// Left out of the incomplete variant of the library, which tests use to check that the
// binding refuses a library missing an export.
#if !defined(CEF_ENGINE_OMIT_LAST_EXPORT)
int cef_get_geolocation(cef_get_geolocation_callback_t* callback) {
  DropHandedOver(callback);
  return 0;
}
#endif

}  // extern "C"
