// The engine library's 99 exports, C calling convention, in the order in which the
// binding resolves and checks them. CEF_EXPORT_LIST(X) expands X(name, result,
// (parameters)) once per export, so the binding's entry table and our engine's
// definitions come from this one list.
#pragma once

#include "cef/cef_types.h"

extern "C" {
struct cef_app_t;
struct cef_browser_t;
struct cef_client_t;
struct cef_cookie_manager_t;
struct cef_get_geolocation_callback_t;
struct cef_post_data_element_t;
struct cef_post_data_t;
struct cef_read_handler_t;
struct cef_request_t;
struct cef_scheme_handler_factory_t;
struct cef_stream_reader_t;
struct cef_stream_writer_t;
struct cef_task_t;
struct cef_v8accessor_t;
struct cef_v8context_t;
struct cef_v8handler_t;
struct cef_v8stack_trace_t;
struct cef_v8value_t;
struct cef_web_plugin_info_t;
struct cef_web_urlrequest_client_t;
struct cef_web_urlrequest_t;
struct cef_write_handler_t;
struct cef_xml_reader_t;
struct cef_zip_reader_t;
}

#define CEF_EXPORT_LIST(X)                                                                        \
  X(cef_string_wide_set, int, (const wchar_t* src, size_t src_len, cef_string_wide_t* output, int copy)) \
  X(cef_string_utf8_set, int, (const char* src, size_t src_len, cef_string_utf8_t* output, int copy))    \
  X(cef_string_utf16_set, int, (const char16* src, size_t src_len, cef_string_utf16_t* output, int copy)) \
  X(cef_string_wide_clear, void, (cef_string_wide_t * str))                                       \
  X(cef_string_utf8_clear, void, (cef_string_utf8_t * str))                                       \
  X(cef_string_utf16_clear, void, (cef_string_utf16_t * str))                                     \
  X(cef_string_wide_cmp, int, (const cef_string_wide_t* str1, const cef_string_wide_t* str2))     \
  X(cef_string_utf8_cmp, int, (const cef_string_utf8_t* str1, const cef_string_utf8_t* str2))     \
  X(cef_string_utf16_cmp, int, (const cef_string_utf16_t* str1, const cef_string_utf16_t* str2)) \
  X(cef_string_wide_to_utf8, int, (const wchar_t* src, size_t src_len, cef_string_utf8_t* output)) \
  X(cef_string_utf8_to_wide, int, (const char* src, size_t src_len, cef_string_wide_t* output))  \
  X(cef_string_wide_to_utf16, int, (const wchar_t* src, size_t src_len, cef_string_utf16_t* output)) \
  X(cef_string_utf16_to_wide, int, (const char16* src, size_t src_len, cef_string_wide_t* output)) \
  X(cef_string_utf8_to_utf16, int, (const char* src, size_t src_len, cef_string_utf16_t* output)) \
  X(cef_string_utf16_to_utf8, int, (const char16* src, size_t src_len, cef_string_utf8_t* output)) \
  X(cef_string_ascii_to_wide, int, (const char* src, size_t src_len, cef_string_wide_t* output)) \
  X(cef_string_ascii_to_utf16, int, (const char* src, size_t src_len, cef_string_utf16_t* output)) \
  X(cef_string_userfree_wide_alloc, cef_string_userfree_wide_t, ())                              \
  X(cef_string_userfree_utf8_alloc, cef_string_userfree_utf8_t, ())                              \
  X(cef_string_userfree_utf16_alloc, cef_string_userfree_utf16_t, ())                            \
  X(cef_string_userfree_wide_free, void, (cef_string_userfree_wide_t str))                       \
  X(cef_string_userfree_utf8_free, void, (cef_string_userfree_utf8_t str))                       \
  X(cef_string_userfree_utf16_free, void, (cef_string_userfree_utf16_t str))                     \
  X(cef_string_map_alloc, cef_string_map_t, ())                                                  \
  X(cef_string_map_size, int, (cef_string_map_t map))                                            \
  X(cef_string_map_find, int, (cef_string_map_t map, const cef_string_t* key, cef_string_t* value)) \
  X(cef_string_map_key, int, (cef_string_map_t map, int index, cef_string_t* key))               \
  X(cef_string_map_value, int, (cef_string_map_t map, int index, cef_string_t* value))           \
  X(cef_string_map_append, int, (cef_string_map_t map, const cef_string_t* key, const cef_string_t* value)) \
  X(cef_string_map_clear, void, (cef_string_map_t map))                                          \
  X(cef_string_map_free, void, (cef_string_map_t map))                                           \
  X(cef_string_list_alloc, cef_string_list_t, ())                                                \
  X(cef_string_list_size, int, (cef_string_list_t list))                                         \
  X(cef_string_list_value, int, (cef_string_list_t list, int index, cef_string_t* value))        \
  X(cef_string_list_append, void, (cef_string_list_t list, const cef_string_t* value))           \
  X(cef_string_list_clear, void, (cef_string_list_t list))                                       \
  X(cef_string_list_free, void, (cef_string_list_t list))                                        \
  X(cef_string_list_copy, cef_string_list_t, (cef_string_list_t list))                           \
  X(cef_initialize, int, (const cef_settings_t* settings, cef_app_t* application))               \
  X(cef_shutdown, void, ())                                                                      \
  X(cef_do_message_loop_work, void, ())                                                          \
  X(cef_run_message_loop, void, ())                                                              \
  X(cef_quit_message_loop, void, ())                                                             \
  X(cef_set_osmodal_loop, void, (int osModalLoop))                                               \
  X(cef_register_extension, int, (const cef_string_t* extension_name, const cef_string_t* javascript_code, cef_v8handler_t* handler)) \
  X(cef_register_scheme_handler_factory, int, (const cef_string_t* scheme_name, const cef_string_t* domain_name, cef_scheme_handler_factory_t* factory)) \
  X(cef_clear_scheme_handler_factories, int, ())                                                 \
  X(cef_add_cross_origin_whitelist_entry, int, (const cef_string_t* source_origin, const cef_string_t* target_protocol, const cef_string_t* target_domain, int allow_target_subdomains)) \
  X(cef_remove_cross_origin_whitelist_entry, int, (const cef_string_t* source_origin, const cef_string_t* target_protocol, const cef_string_t* target_domain, int allow_target_subdomains)) \
  X(cef_clear_cross_origin_whitelist, int, ())                                                   \
  X(cef_currently_on, int, (cef_thread_id_t threadId))                                           \
  X(cef_post_task, int, (cef_thread_id_t threadId, cef_task_t* task))                            \
  X(cef_post_delayed_task, int, (cef_thread_id_t threadId, cef_task_t* task, int64_t delay_ms))  \
  X(cef_parse_url, int, (const cef_string_t* url, cef_urlparts_t* parts))                        \
  X(cef_create_url, int, (const cef_urlparts_t* parts, cef_string_t* url))                       \
  X(cef_browser_create, int, (cef_window_info_t * windowInfo, cef_client_t* client, const cef_string_t* url, const cef_browser_settings_t* settings)) \
  X(cef_browser_create_sync, cef_browser_t*, (cef_window_info_t * windowInfo, cef_client_t* client, const cef_string_t* url, const cef_browser_settings_t* settings)) \
  X(cef_request_create, cef_request_t*, ())                                                      \
  X(cef_post_data_create, cef_post_data_t*, ())                                                  \
  X(cef_post_data_element_create, cef_post_data_element_t*, ())                                  \
  X(cef_stream_reader_create_for_file, cef_stream_reader_t*, (const cef_string_t* fileName))     \
  X(cef_stream_reader_create_for_data, cef_stream_reader_t*, (void* data, size_t size))          \
  X(cef_stream_reader_create_for_handler, cef_stream_reader_t*, (cef_read_handler_t * handler))  \
  X(cef_stream_writer_create_for_file, cef_stream_writer_t*, (const cef_string_t* fileName))     \
  X(cef_stream_writer_create_for_handler, cef_stream_writer_t*, (cef_write_handler_t * handler)) \
  X(cef_v8context_get_current_context, cef_v8context_t*, ())                                     \
  X(cef_v8context_get_entered_context, cef_v8context_t*, ())                                     \
  X(cef_v8context_in_context, int, ())                                                           \
  X(cef_v8value_create_undefined, cef_v8value_t*, ())                                            \
  X(cef_v8value_create_null, cef_v8value_t*, ())                                                 \
  X(cef_v8value_create_bool, cef_v8value_t*, (int value))                                        \
  X(cef_v8value_create_int, cef_v8value_t*, (int value))                                         \
  X(cef_v8value_create_uint, cef_v8value_t*, (uint32_t value))                                   \
  X(cef_v8value_create_double, cef_v8value_t*, (double value))                                   \
  X(cef_v8value_create_date, cef_v8value_t*, (const cef_time_t* date))                           \
  X(cef_v8value_create_string, cef_v8value_t*, (const cef_string_t* value))                      \
  X(cef_v8value_create_object, cef_v8value_t*, (cef_v8accessor_t * accessor))                    \
  X(cef_v8value_create_array, cef_v8value_t*, (int length))                                      \
  X(cef_v8value_create_function, cef_v8value_t*, (const cef_string_t* name, cef_v8handler_t* handler)) \
  X(cef_v8stack_trace_get_current, cef_v8stack_trace_t*, (int frame_limit))                      \
  X(cef_web_urlrequest_create, cef_web_urlrequest_t*, (cef_request_t * request, cef_web_urlrequest_client_t* client)) \
  X(cef_xml_reader_create, cef_xml_reader_t*, (cef_stream_reader_t * stream, int encodingType, const cef_string_t* URI)) \
  X(cef_zip_reader_create, cef_zip_reader_t*, (cef_stream_reader_t * stream))                    \
  X(cef_string_multimap_alloc, cef_string_multimap_t, ())                                        \
  X(cef_string_multimap_size, int, (cef_string_multimap_t map))                                  \
  X(cef_string_multimap_find_count, int, (cef_string_multimap_t map, const cef_string_t* key))   \
  X(cef_string_multimap_enumerate, int, (cef_string_multimap_t map, const cef_string_t* key, int value_index, cef_string_t* value)) \
  X(cef_string_multimap_key, int, (cef_string_multimap_t map, int index, cef_string_t* key))     \
  X(cef_string_multimap_value, int, (cef_string_multimap_t map, int index, cef_string_t* value)) \
  X(cef_string_multimap_append, int, (cef_string_multimap_t map, const cef_string_t* key, const cef_string_t* value)) \
  X(cef_string_multimap_clear, void, (cef_string_multimap_t map))                                \
  X(cef_string_multimap_free, void, (cef_string_multimap_t map))                                 \
  X(cef_build_revision, int, ())                                                                 \
  X(cef_cookie_manager_get_global_manager, cef_cookie_manager_t*, ())                            \
  X(cef_cookie_manager_create_manager, cef_cookie_manager_t*, (const cef_string_t* path))        \
  X(cef_get_web_plugin_count, size_t, ())                                                        \
  X(cef_get_web_plugin_info, cef_web_plugin_info_t*, (int index))                                \
  X(cef_get_web_plugin_info_byname, cef_web_plugin_info_t*, (const cef_string_t* name))          \
  X(cef_get_geolocation, int, (cef_get_geolocation_callback_t * callback))

#define CEF_COUNT_EXPORT(name, result, params) +1
inline constexpr int kCefExportCount = 0 CEF_EXPORT_LIST(CEF_COUNT_EXPORT);
#undef CEF_COUNT_EXPORT
static_assert(kCefExportCount == 99, "the engine interface has 99 exports");
