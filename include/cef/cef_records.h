// Reference-counted engine records: each begins with cef_base_t, followed by its
// function pointers in the engine's published order. The engine's records and the
// program's callback records share these definitions.
#pragma once

#include "cef/cef_exports.h"
#include "cef/cef_render_records.h"
#include "cef/cef_input_records.h"
#include "cef/cef_script_handler_records.h"
#include "cef/cef_utility_records.h"

extern "C" {

// --- Records used by pointer before their definition ----------------------------------

struct cef_domdocument_t;
struct cef_domevent_listener_t;
struct cef_domevent_t;
struct cef_domnode_t;
struct cef_domvisitor_t;
struct cef_frame_t;
struct cef_response_t;
struct cef_scheme_handler_callback_t;
struct cef_scheme_handler_t;
struct cef_v8exception_t;

struct cef_cookie_manager_t;
struct cef_request_handler_t;

// Handler kinds the client record can hand out that neither side implements.
struct cef_permission_handler_t;
struct cef_jsdialog_handler_t;
struct cef_v8context_handler_t;

// --- Application, registration and task records --------------------------------------

struct cef_scheme_registrar_t {
  cef_base_t base;
  int(CEF_CALLBACK* add_custom_scheme)(cef_scheme_registrar_t* self, const cef_string_t* scheme_name,
                                       int is_standard, int is_local, int is_display_isolated);
};

struct cef_proxy_handler_t {
  cef_base_t base;
  void(CEF_CALLBACK* get_proxy_for_url)(cef_proxy_handler_t* self, const cef_string_t* url,
                                        cef_proxy_info_t* proxy_info);
};

struct cef_resource_bundle_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* get_localized_string)(cef_resource_bundle_handler_t* self, int message_id,
                                          cef_string_t* string);
  int(CEF_CALLBACK* get_data_resource)(cef_resource_bundle_handler_t* self, int resource_id, void** data,
                                       size_t* data_size);
};

struct cef_app_t {
  cef_base_t base;
  void(CEF_CALLBACK* on_register_custom_schemes)(cef_app_t* self, cef_scheme_registrar_t* registrar);
  cef_resource_bundle_handler_t*(CEF_CALLBACK* get_resource_bundle_handler)(cef_app_t* self);
  cef_proxy_handler_t*(CEF_CALLBACK* get_proxy_handler)(cef_app_t* self);
};

struct cef_task_t {
  cef_base_t base;
  void(CEF_CALLBACK* execute)(cef_task_t* self, cef_thread_id_t threadId);
};

// --- Client and browser handler records (implemented by the program) ------------------

struct cef_life_span_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* on_before_popup)(cef_life_span_handler_t* self, cef_browser_t* parentBrowser,
                                     const cef_popup_features_t* popupFeatures, cef_window_info_t* windowInfo,
                                     cef_string_t* url, cef_client_t** client,
                                     cef_browser_settings_t* settings);
  void(CEF_CALLBACK* on_after_created)(cef_life_span_handler_t* self, cef_browser_t* browser);
  int(CEF_CALLBACK* run_modal)(cef_life_span_handler_t* self, cef_browser_t* browser);
  int(CEF_CALLBACK* do_close)(cef_life_span_handler_t* self, cef_browser_t* browser);
  void(CEF_CALLBACK* on_before_close)(cef_life_span_handler_t* self, cef_browser_t* browser);
};

struct cef_load_handler_t {
  cef_base_t base;
  void(CEF_CALLBACK* on_load_start)(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame);
  void(CEF_CALLBACK* on_load_end)(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                  int32_t httpStatusCode);
  int(CEF_CALLBACK* on_load_error)(cef_load_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                   cef_handler_errorcode_t errorCode, const cef_string_t* failedUrl,
                                   cef_string_t* errorText);
};

struct cef_display_handler_t {
  cef_base_t base;
  void(CEF_CALLBACK* on_nav_state_change)(cef_display_handler_t* self, cef_browser_t* browser, int canGoBack,
                                          int canGoForward);
  void(CEF_CALLBACK* on_address_change)(cef_display_handler_t* self, cef_browser_t* browser,
                                        cef_frame_t* frame, const cef_string_t* url);
  void(CEF_CALLBACK* on_contents_size_change)(cef_display_handler_t* self, cef_browser_t* browser,
                                              cef_frame_t* frame, int32_t width, int32_t height);
  void(CEF_CALLBACK* on_title_change)(cef_display_handler_t* self, cef_browser_t* browser,
                                      const cef_string_t* title);
  void(CEF_CALLBACK* on_favicon_urlchange)(cef_display_handler_t* self, cef_browser_t* browser,
                                           cef_string_list_t icon_urls);
  int(CEF_CALLBACK* on_tooltip)(cef_display_handler_t* self, cef_browser_t* browser, cef_string_t* text);
  void(CEF_CALLBACK* on_status_message)(cef_display_handler_t* self, cef_browser_t* browser,
                                        const cef_string_t* value, cef_handler_statustype_t type);
  int(CEF_CALLBACK* on_console_message)(cef_display_handler_t* self, cef_browser_t* browser,
                                        const cef_string_t* message, const cef_string_t* source,
                                        int32_t line);
};

struct cef_client_t {
  cef_base_t base;
  cef_life_span_handler_t*(CEF_CALLBACK* get_life_span_handler)(cef_client_t* self);
  cef_load_handler_t*(CEF_CALLBACK* get_load_handler)(cef_client_t* self);
  cef_request_handler_t*(CEF_CALLBACK* get_request_handler)(cef_client_t* self);
  cef_display_handler_t*(CEF_CALLBACK* get_display_handler)(cef_client_t* self);
  cef_focus_handler_t*(CEF_CALLBACK* get_focus_handler)(cef_client_t* self);
  cef_keyboard_handler_t*(CEF_CALLBACK* get_keyboard_handler)(cef_client_t* self);
  cef_menu_handler_t*(CEF_CALLBACK* get_menu_handler)(cef_client_t* self);
  cef_permission_handler_t*(CEF_CALLBACK* get_permission_handler)(cef_client_t* self);
  cef_print_handler_t*(CEF_CALLBACK* get_print_handler)(cef_client_t* self);
  cef_find_handler_t*(CEF_CALLBACK* get_find_handler)(cef_client_t* self);
  cef_jsdialog_handler_t*(CEF_CALLBACK* get_jsdialog_handler)(cef_client_t* self);
  cef_v8context_handler_t*(CEF_CALLBACK* get_v8context_handler)(cef_client_t* self);
  cef_render_handler_t*(CEF_CALLBACK* get_render_handler)(cef_client_t* self);
  cef_drag_handler_t*(CEF_CALLBACK* get_drag_handler)(cef_client_t* self);
  cef_geolocation_handler_t*(CEF_CALLBACK* get_geolocation_handler)(cef_client_t* self);
  cef_zoom_handler_t*(CEF_CALLBACK* get_zoom_handler)(cef_client_t* self);
};

// --- Browser and frame records (implemented by the engine) ----------------------------

struct cef_browser_t {
  cef_base_t base;
  void(CEF_CALLBACK* parent_window_will_close)(cef_browser_t* self);
  void(CEF_CALLBACK* close_browser)(cef_browser_t* self);
  int(CEF_CALLBACK* can_go_back)(cef_browser_t* self);
  void(CEF_CALLBACK* go_back)(cef_browser_t* self);
  int(CEF_CALLBACK* can_go_forward)(cef_browser_t* self);
  void(CEF_CALLBACK* go_forward)(cef_browser_t* self);
  void(CEF_CALLBACK* reload)(cef_browser_t* self);
  void(CEF_CALLBACK* reload_ignore_cache)(cef_browser_t* self);
  void(CEF_CALLBACK* stop_load)(cef_browser_t* self);
  void(CEF_CALLBACK* set_focus)(cef_browser_t* self, int enable);
  cef_window_handle_t(CEF_CALLBACK* get_window_handle)(cef_browser_t* self);
  cef_window_handle_t(CEF_CALLBACK* get_opener_window_handle)(cef_browser_t* self);
  int(CEF_CALLBACK* get_identifier)(cef_browser_t* self);
  int(CEF_CALLBACK* is_popup)(cef_browser_t* self);
  int(CEF_CALLBACK* has_document)(cef_browser_t* self);
  cef_client_t*(CEF_CALLBACK* get_client)(cef_browser_t* self);
  cef_frame_t*(CEF_CALLBACK* get_main_frame)(cef_browser_t* self);
  cef_frame_t*(CEF_CALLBACK* get_focused_frame)(cef_browser_t* self);
  cef_frame_t*(CEF_CALLBACK* get_frame)(cef_browser_t* self, const cef_string_t* name);
  void(CEF_CALLBACK* get_frame_names)(cef_browser_t* self, cef_string_list_t names);
  void(CEF_CALLBACK* find)(cef_browser_t* self, int identifier, const cef_string_t* searchText, int forward,
                           int matchCase, int findNext);
  void(CEF_CALLBACK* stop_finding)(cef_browser_t* self, int clearSelection);
  double(CEF_CALLBACK* get_zoom_level)(cef_browser_t* self);
  void(CEF_CALLBACK* set_zoom_level)(cef_browser_t* self, double zoomLevel);
  void(CEF_CALLBACK* clear_history)(cef_browser_t* self);
  void(CEF_CALLBACK* show_dev_tools)(cef_browser_t* self);
  void(CEF_CALLBACK* close_dev_tools)(cef_browser_t* self);
  int(CEF_CALLBACK* is_window_rendering_disabled)(cef_browser_t* self);
  int(CEF_CALLBACK* get_size)(cef_browser_t* self, cef_paint_element_type_t type, int* width, int* height);
  void(CEF_CALLBACK* set_size)(cef_browser_t* self, cef_paint_element_type_t type, int width, int height);
  int(CEF_CALLBACK* is_popup_visible)(cef_browser_t* self);
  void(CEF_CALLBACK* hide_popup)(cef_browser_t* self);
  void(CEF_CALLBACK* invalidate)(cef_browser_t* self, const cef_rect_t* dirtyRect);
  int(CEF_CALLBACK* get_image)(cef_browser_t* self, cef_paint_element_type_t type, int width, int height,
                               void* buffer);
  void(CEF_CALLBACK* send_key_event)(cef_browser_t* self, cef_key_type_t type, const cef_key_info_t* keyInfo,
                                     int modifiers);
  void(CEF_CALLBACK* send_mouse_click_event)(cef_browser_t* self, int x, int y, cef_mouse_button_type_t type,
                                             int mouseUp, int clickCount);
  void(CEF_CALLBACK* send_mouse_move_event)(cef_browser_t* self, int x, int y, int mouseLeave);
  void(CEF_CALLBACK* send_mouse_wheel_event)(cef_browser_t* self, int x, int y, int deltaX, int deltaY);
  void(CEF_CALLBACK* send_focus_event)(cef_browser_t* self, int setFocus);
  void(CEF_CALLBACK* send_capture_lost_event)(cef_browser_t* self);
};

struct cef_frame_t {
  cef_base_t base;
  void(CEF_CALLBACK* undo)(cef_frame_t* self);
  void(CEF_CALLBACK* redo)(cef_frame_t* self);
  void(CEF_CALLBACK* cut)(cef_frame_t* self);
  void(CEF_CALLBACK* copy)(cef_frame_t* self);
  void(CEF_CALLBACK* paste)(cef_frame_t* self);
  void(CEF_CALLBACK* del)(cef_frame_t* self);
  void(CEF_CALLBACK* select_all)(cef_frame_t* self);
  void(CEF_CALLBACK* print)(cef_frame_t* self);
  void(CEF_CALLBACK* view_source)(cef_frame_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_source)(cef_frame_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_text)(cef_frame_t* self);
  void(CEF_CALLBACK* load_request)(cef_frame_t* self, cef_request_t* request);
  void(CEF_CALLBACK* load_url)(cef_frame_t* self, const cef_string_t* url);
  void(CEF_CALLBACK* load_string)(cef_frame_t* self, const cef_string_t* string, const cef_string_t* url);
  void(CEF_CALLBACK* load_stream)(cef_frame_t* self, cef_stream_reader_t* stream, const cef_string_t* url);
  void(CEF_CALLBACK* execute_java_script)(cef_frame_t* self, const cef_string_t* jsCode,
                                          const cef_string_t* scriptUrl, int startLine);
  int(CEF_CALLBACK* is_main)(cef_frame_t* self);
  int(CEF_CALLBACK* is_focused)(cef_frame_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_name)(cef_frame_t* self);
  int64_t(CEF_CALLBACK* get_identifier)(cef_frame_t* self);
  cef_frame_t*(CEF_CALLBACK* get_parent)(cef_frame_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_url)(cef_frame_t* self);
  cef_browser_t*(CEF_CALLBACK* get_browser)(cef_frame_t* self);
  void(CEF_CALLBACK* visit_dom)(cef_frame_t* self, cef_domvisitor_t* visitor);
  cef_v8context_t*(CEF_CALLBACK* get_v8context)(cef_frame_t* self);
};

// --- Request, post data, response and stream records ----------------------------------

struct cef_request_t {
  cef_base_t base;
  cef_string_userfree_t(CEF_CALLBACK* get_url)(cef_request_t* self);
  void(CEF_CALLBACK* set_url)(cef_request_t* self, const cef_string_t* url);
  cef_string_userfree_t(CEF_CALLBACK* get_method)(cef_request_t* self);
  void(CEF_CALLBACK* set_method)(cef_request_t* self, const cef_string_t* method);
  cef_post_data_t*(CEF_CALLBACK* get_post_data)(cef_request_t* self);
  void(CEF_CALLBACK* set_post_data)(cef_request_t* self, cef_post_data_t* postData);
  void(CEF_CALLBACK* get_header_map)(cef_request_t* self, cef_string_multimap_t headerMap);
  void(CEF_CALLBACK* set_header_map)(cef_request_t* self, cef_string_multimap_t headerMap);
  void(CEF_CALLBACK* set)(cef_request_t* self, const cef_string_t* url, const cef_string_t* method,
                          cef_post_data_t* postData, cef_string_multimap_t headerMap);
  cef_weburlrequest_flags_t(CEF_CALLBACK* get_flags)(cef_request_t* self);
  void(CEF_CALLBACK* set_flags)(cef_request_t* self, cef_weburlrequest_flags_t flags);
  cef_string_userfree_t(CEF_CALLBACK* get_first_party_for_cookies)(cef_request_t* self);
  void(CEF_CALLBACK* set_first_party_for_cookies)(cef_request_t* self, const cef_string_t* url);
};

struct cef_post_data_t {
  cef_base_t base;
  size_t(CEF_CALLBACK* get_element_count)(cef_post_data_t* self);
  void(CEF_CALLBACK* get_elements)(cef_post_data_t* self, size_t* elementsCount,
                                   cef_post_data_element_t** elements);
  int(CEF_CALLBACK* remove_element)(cef_post_data_t* self, cef_post_data_element_t* element);
  int(CEF_CALLBACK* add_element)(cef_post_data_t* self, cef_post_data_element_t* element);
  void(CEF_CALLBACK* remove_elements)(cef_post_data_t* self);
};

struct cef_post_data_element_t {
  cef_base_t base;
  void(CEF_CALLBACK* set_to_empty)(cef_post_data_element_t* self);
  void(CEF_CALLBACK* set_to_file)(cef_post_data_element_t* self, const cef_string_t* fileName);
  void(CEF_CALLBACK* set_to_bytes)(cef_post_data_element_t* self, size_t size, const void* bytes);
  cef_postdataelement_type_t(CEF_CALLBACK* get_type)(cef_post_data_element_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_file)(cef_post_data_element_t* self);
  size_t(CEF_CALLBACK* get_bytes_count)(cef_post_data_element_t* self);
  size_t(CEF_CALLBACK* get_bytes)(cef_post_data_element_t* self, size_t size, void* bytes);
};

struct cef_response_t {
  cef_base_t base;
  int(CEF_CALLBACK* get_status)(cef_response_t* self);
  void(CEF_CALLBACK* set_status)(cef_response_t* self, int status);
  cef_string_userfree_t(CEF_CALLBACK* get_status_text)(cef_response_t* self);
  void(CEF_CALLBACK* set_status_text)(cef_response_t* self, const cef_string_t* statusText);
  cef_string_userfree_t(CEF_CALLBACK* get_mime_type)(cef_response_t* self);
  void(CEF_CALLBACK* set_mime_type)(cef_response_t* self, const cef_string_t* mimeType);
  cef_string_userfree_t(CEF_CALLBACK* get_header)(cef_response_t* self, const cef_string_t* name);
  void(CEF_CALLBACK* get_header_map)(cef_response_t* self, cef_string_multimap_t headerMap);
  void(CEF_CALLBACK* set_header_map)(cef_response_t* self, cef_string_multimap_t headerMap);
};

// The engine's reader over a file, a memory block or a program read handler.
struct cef_stream_reader_t {
  cef_base_t base;
  size_t(CEF_CALLBACK* read)(cef_stream_reader_t* self, void* ptr, size_t size, size_t n);
  int(CEF_CALLBACK* seek)(cef_stream_reader_t* self, int64_t offset, int whence);
  int64_t(CEF_CALLBACK* tell)(cef_stream_reader_t* self);
  int(CEF_CALLBACK* eof)(cef_stream_reader_t* self);
};

// A program stream that the engine reads through (implemented by the program).
struct cef_read_handler_t {
  cef_base_t base;
  size_t(CEF_CALLBACK* read)(cef_read_handler_t* self, void* ptr, size_t size, size_t n);
  int(CEF_CALLBACK* seek)(cef_read_handler_t* self, int64_t offset, int whence);
  int64_t(CEF_CALLBACK* tell)(cef_read_handler_t* self);
  int(CEF_CALLBACK* eof)(cef_read_handler_t* self);
};

// The engine's writer into a file or a program write handler.
struct cef_stream_writer_t {
  cef_base_t base;
  size_t(CEF_CALLBACK* write)(cef_stream_writer_t* self, const void* ptr, size_t size, size_t n);
  int(CEF_CALLBACK* seek)(cef_stream_writer_t* self, int64_t offset, int whence);
  int64_t(CEF_CALLBACK* tell)(cef_stream_writer_t* self);
  int(CEF_CALLBACK* flush)(cef_stream_writer_t* self);
};

// A program stream that the engine writes through (implemented by the program).
struct cef_write_handler_t {
  cef_base_t base;
  size_t(CEF_CALLBACK* write)(cef_write_handler_t* self, const void* ptr, size_t size, size_t n);
  int(CEF_CALLBACK* seek)(cef_write_handler_t* self, int64_t offset, int whence);
  int64_t(CEF_CALLBACK* tell)(cef_write_handler_t* self);
  int(CEF_CALLBACK* flush)(cef_write_handler_t* self);
};

// --- Request handling: request handler, downloads, content filters ---------------------

struct cef_download_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* received_data)(cef_download_handler_t* self, void* data, int data_size);
  void(CEF_CALLBACK* complete)(cef_download_handler_t* self);
};

struct cef_content_filter_t {
  cef_base_t base;
  void(CEF_CALLBACK* process_data)(cef_content_filter_t* self, const void* data, int data_size,
                                   cef_stream_reader_t** substitute_data);
  void(CEF_CALLBACK* drain)(cef_content_filter_t* self, cef_stream_reader_t** remainder);
};

struct cef_request_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* on_before_browse)(cef_request_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                      cef_request_t* request, cef_handler_navtype_t navType, int isRedirect);
  int(CEF_CALLBACK* on_before_resource_load)(cef_request_handler_t* self, cef_browser_t* browser,
                                             cef_request_t* request, cef_string_t* redirectUrl,
                                             cef_stream_reader_t** resourceStream, cef_response_t* response,
                                             int loadFlags);
  void(CEF_CALLBACK* on_resource_redirect)(cef_request_handler_t* self, cef_browser_t* browser,
                                           const cef_string_t* old_url, cef_string_t* new_url);
  void(CEF_CALLBACK* on_resource_response)(cef_request_handler_t* self, cef_browser_t* browser,
                                           const cef_string_t* url, cef_response_t* response,
                                           cef_content_filter_t** filter);
  int(CEF_CALLBACK* on_protocol_execution)(cef_request_handler_t* self, cef_browser_t* browser,
                                           const cef_string_t* url, int* allowOSExecution);
  int(CEF_CALLBACK* get_download_handler)(cef_request_handler_t* self, cef_browser_t* browser,
                                          const cef_string_t* mimeType, const cef_string_t* fileName,
                                          int64_t contentLength, cef_download_handler_t** handler);
  int(CEF_CALLBACK* get_auth_credentials)(cef_request_handler_t* self, cef_browser_t* browser, int isProxy,
                                          const cef_string_t* host, int port, const cef_string_t* realm,
                                          const cef_string_t* scheme, cef_string_t* username,
                                          cef_string_t* password);
  cef_cookie_manager_t*(CEF_CALLBACK* get_cookie_manager)(cef_request_handler_t* self, cef_browser_t* browser,
                                                          const cef_string_t* main_url);
};

// --- Cookies and web URL requests ------------------------------------------------------

struct cef_cookie_visitor_t {
  cef_base_t base;
  int(CEF_CALLBACK* visit)(cef_cookie_visitor_t* self, const cef_cookie_t* cookie, int count, int total,
                           int* deleteCookie);
};

struct cef_cookie_manager_t {
  cef_base_t base;
  void(CEF_CALLBACK* set_supported_schemes)(cef_cookie_manager_t* self, cef_string_list_t schemes);
  int(CEF_CALLBACK* visit_all_cookies)(cef_cookie_manager_t* self, cef_cookie_visitor_t* visitor);
  int(CEF_CALLBACK* visit_url_cookies)(cef_cookie_manager_t* self, const cef_string_t* url,
                                       int includeHttpOnly, cef_cookie_visitor_t* visitor);
  int(CEF_CALLBACK* set_cookie)(cef_cookie_manager_t* self, const cef_string_t* url,
                                const cef_cookie_t* cookie);
  int(CEF_CALLBACK* delete_cookies)(cef_cookie_manager_t* self, const cef_string_t* url,
                                    const cef_string_t* cookie_name);
  int(CEF_CALLBACK* set_storage_path)(cef_cookie_manager_t* self, const cef_string_t* path);
};

struct cef_web_urlrequest_t {
  cef_base_t base;
  void(CEF_CALLBACK* cancel)(cef_web_urlrequest_t* self);
  cef_weburlrequest_state_t(CEF_CALLBACK* get_state)(cef_web_urlrequest_t* self);
};

struct cef_web_urlrequest_client_t {
  cef_base_t base;
  void(CEF_CALLBACK* on_state_change)(cef_web_urlrequest_client_t* self, cef_web_urlrequest_t* requester,
                                      cef_weburlrequest_state_t state);
  void(CEF_CALLBACK* on_redirect)(cef_web_urlrequest_client_t* self, cef_web_urlrequest_t* requester,
                                  cef_request_t* request, cef_response_t* response);
  void(CEF_CALLBACK* on_headers_received)(cef_web_urlrequest_client_t* self, cef_web_urlrequest_t* requester,
                                          cef_response_t* response);
  void(CEF_CALLBACK* on_progress)(cef_web_urlrequest_client_t* self, cef_web_urlrequest_t* requester,
                                  uint64_t bytesSent, uint64_t totalBytesToBeSent);
  void(CEF_CALLBACK* on_data)(cef_web_urlrequest_client_t* self, cef_web_urlrequest_t* requester,
                              const void* data, int dataLength);
  void(CEF_CALLBACK* on_error)(cef_web_urlrequest_client_t* self, cef_web_urlrequest_t* requester,
                               cef_handler_errorcode_t errorCode);
};

// --- Scheme handler records ------------------------------------------------------------

struct cef_scheme_handler_factory_t {
  cef_base_t base;
  cef_scheme_handler_t*(CEF_CALLBACK* create)(cef_scheme_handler_factory_t* self, cef_browser_t* browser,
                                              const cef_string_t* scheme_name, cef_request_t* request);
};

struct cef_scheme_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* process_request)(cef_scheme_handler_t* self, cef_request_t* request,
                                     cef_scheme_handler_callback_t* callback);
  void(CEF_CALLBACK* get_response_headers)(cef_scheme_handler_t* self, cef_response_t* response,
                                           int64_t* response_length, cef_string_t* redirect_url);
  int(CEF_CALLBACK* read_response)(cef_scheme_handler_t* self, void* data_out, int bytes_to_read,
                                   int* bytes_read, cef_scheme_handler_callback_t* callback);
  void(CEF_CALLBACK* cancel)(cef_scheme_handler_t* self);
};

// Progress reports from a scheme handler back to the engine (implemented by the engine).
struct cef_scheme_handler_callback_t {
  cef_base_t base;
  void(CEF_CALLBACK* headers_available)(cef_scheme_handler_callback_t* self);
  void(CEF_CALLBACK* bytes_available)(cef_scheme_handler_callback_t* self);
  void(CEF_CALLBACK* cancel)(cef_scheme_handler_callback_t* self);
};

// --- Script records ---------------------------------------------------------------------

// A native function. Returns non-zero when the call was handled.
struct cef_v8handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* execute)(cef_v8handler_t* self, const cef_string_t* name, cef_v8value_t* object,
                             size_t argumentCount, const cef_v8value_t* const* arguments,
                             cef_v8value_t** retval, cef_string_t* exception);
};

struct cef_v8accessor_t {
  cef_base_t base;
  int(CEF_CALLBACK* get)(cef_v8accessor_t* self, const cef_string_t* name, cef_v8value_t* object,
                         cef_v8value_t** retval, cef_string_t* exception);
  int(CEF_CALLBACK* set)(cef_v8accessor_t* self, const cef_string_t* name, cef_v8value_t* object,
                         cef_v8value_t* value, cef_string_t* exception);
};

struct cef_v8value_t {
  cef_base_t base;
  int(CEF_CALLBACK* is_valid)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_undefined)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_null)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_bool)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_int)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_uint)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_double)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_date)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_string)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_object)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_array)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_function)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_same)(cef_v8value_t* self, cef_v8value_t* that);
  int(CEF_CALLBACK* get_bool_value)(cef_v8value_t* self);
  int(CEF_CALLBACK* get_int_value)(cef_v8value_t* self);
  uint32_t(CEF_CALLBACK* get_uint_value)(cef_v8value_t* self);
  double(CEF_CALLBACK* get_double_value)(cef_v8value_t* self);
  cef_time_t(CEF_CALLBACK* get_date_value)(cef_v8value_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_string_value)(cef_v8value_t* self);
  int(CEF_CALLBACK* is_user_created)(cef_v8value_t* self);
  int(CEF_CALLBACK* has_exception)(cef_v8value_t* self);
  cef_v8exception_t*(CEF_CALLBACK* get_exception)(cef_v8value_t* self);
  int(CEF_CALLBACK* clear_exception)(cef_v8value_t* self);
  int(CEF_CALLBACK* will_rethrow_exceptions)(cef_v8value_t* self);
  int(CEF_CALLBACK* set_rethrow_exceptions)(cef_v8value_t* self, int rethrow);
  int(CEF_CALLBACK* has_value_bykey)(cef_v8value_t* self, const cef_string_t* key);
  int(CEF_CALLBACK* has_value_byindex)(cef_v8value_t* self, int index);
  int(CEF_CALLBACK* delete_value_bykey)(cef_v8value_t* self, const cef_string_t* key);
  int(CEF_CALLBACK* delete_value_byindex)(cef_v8value_t* self, int index);
  cef_v8value_t*(CEF_CALLBACK* get_value_bykey)(cef_v8value_t* self, const cef_string_t* key);
  cef_v8value_t*(CEF_CALLBACK* get_value_byindex)(cef_v8value_t* self, int index);
  int(CEF_CALLBACK* set_value_bykey)(cef_v8value_t* self, const cef_string_t* key, cef_v8value_t* value,
                                     int attribute);
  int(CEF_CALLBACK* set_value_byindex)(cef_v8value_t* self, int index, cef_v8value_t* value);
  int(CEF_CALLBACK* set_value_byaccessor)(cef_v8value_t* self, const cef_string_t* key, int settings,
                                          int attribute);
  int(CEF_CALLBACK* get_keys)(cef_v8value_t* self, cef_string_list_t keys);
  // User data is any reference-counted record; the engine holds one reference to it.
  int(CEF_CALLBACK* set_user_data)(cef_v8value_t* self, cef_base_t* user_data);
  cef_base_t*(CEF_CALLBACK* get_user_data)(cef_v8value_t* self);
  int(CEF_CALLBACK* get_externally_allocated_memory)(cef_v8value_t* self);
  int(CEF_CALLBACK* adjust_externally_allocated_memory)(cef_v8value_t* self, int change_in_bytes);
  int(CEF_CALLBACK* get_array_length)(cef_v8value_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_function_name)(cef_v8value_t* self);
  cef_v8handler_t*(CEF_CALLBACK* get_function_handler)(cef_v8value_t* self);
  cef_v8value_t*(CEF_CALLBACK* execute_function)(cef_v8value_t* self, cef_v8value_t* object,
                                                 size_t argumentCount, cef_v8value_t* const* arguments);
  cef_v8value_t*(CEF_CALLBACK* execute_function_with_context)(cef_v8value_t* self, cef_v8context_t* context,
                                                              cef_v8value_t* object, size_t argumentCount,
                                                              cef_v8value_t* const* arguments);
};

struct cef_v8context_t {
  cef_base_t base;
  int(CEF_CALLBACK* is_valid)(cef_v8context_t* self);
  cef_browser_t*(CEF_CALLBACK* get_browser)(cef_v8context_t* self);
  cef_frame_t*(CEF_CALLBACK* get_frame)(cef_v8context_t* self);
  cef_v8value_t*(CEF_CALLBACK* get_global)(cef_v8context_t* self);
  int(CEF_CALLBACK* enter)(cef_v8context_t* self);
  int(CEF_CALLBACK* exit)(cef_v8context_t* self);
  int(CEF_CALLBACK* is_same)(cef_v8context_t* self, cef_v8context_t* that);
  int(CEF_CALLBACK* eval)(cef_v8context_t* self, const cef_string_t* code, cef_v8value_t** retval,
                          cef_v8exception_t** exception);
};

struct cef_v8exception_t {
  cef_base_t base;
  cef_string_userfree_t(CEF_CALLBACK* get_message)(cef_v8exception_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_source_line)(cef_v8exception_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_script_resource_name)(cef_v8exception_t* self);
  int(CEF_CALLBACK* get_line_number)(cef_v8exception_t* self);
  int(CEF_CALLBACK* get_start_position)(cef_v8exception_t* self);
  int(CEF_CALLBACK* get_end_position)(cef_v8exception_t* self);
  int(CEF_CALLBACK* get_start_column)(cef_v8exception_t* self);
  int(CEF_CALLBACK* get_end_column)(cef_v8exception_t* self);
};

// --- Document model records ---------------------------------------------------------------

struct cef_domvisitor_t {
  cef_base_t base;
  void(CEF_CALLBACK* visit)(cef_domvisitor_t* self, cef_domdocument_t* document);
};

struct cef_domevent_listener_t {
  cef_base_t base;
  void(CEF_CALLBACK* handle_event)(cef_domevent_listener_t* self, cef_domevent_t* event);
};

struct cef_domdocument_t {
  cef_base_t base;
  cef_dom_document_type_t(CEF_CALLBACK* get_type)(cef_domdocument_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_document)(cef_domdocument_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_body)(cef_domdocument_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_head)(cef_domdocument_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_title)(cef_domdocument_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_element_by_id)(cef_domdocument_t* self, const cef_string_t* id);
  cef_domnode_t*(CEF_CALLBACK* get_focused_node)(cef_domdocument_t* self);
  int(CEF_CALLBACK* has_selection)(cef_domdocument_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_selection_start_node)(cef_domdocument_t* self);
  int(CEF_CALLBACK* get_selection_start_offset)(cef_domdocument_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_selection_end_node)(cef_domdocument_t* self);
  int(CEF_CALLBACK* get_selection_end_offset)(cef_domdocument_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_selection_as_markup)(cef_domdocument_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_selection_as_text)(cef_domdocument_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_base_url)(cef_domdocument_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_complete_url)(cef_domdocument_t* self,
                                                        const cef_string_t* partialURL);
};

struct cef_domnode_t {
  cef_base_t base;
  cef_dom_node_type_t(CEF_CALLBACK* get_type)(cef_domnode_t* self);
  int(CEF_CALLBACK* is_text)(cef_domnode_t* self);
  int(CEF_CALLBACK* is_element)(cef_domnode_t* self);
  int(CEF_CALLBACK* is_form_control_element)(cef_domnode_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_form_control_element_type)(cef_domnode_t* self);
  int(CEF_CALLBACK* is_same)(cef_domnode_t* self, cef_domnode_t* that);
  cef_string_userfree_t(CEF_CALLBACK* get_name)(cef_domnode_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_value)(cef_domnode_t* self);
  int(CEF_CALLBACK* set_value)(cef_domnode_t* self, const cef_string_t* value);
  cef_string_userfree_t(CEF_CALLBACK* get_as_markup)(cef_domnode_t* self);
  cef_domdocument_t*(CEF_CALLBACK* get_document)(cef_domnode_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_parent)(cef_domnode_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_previous_sibling)(cef_domnode_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_next_sibling)(cef_domnode_t* self);
  int(CEF_CALLBACK* has_children)(cef_domnode_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_first_child)(cef_domnode_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_last_child)(cef_domnode_t* self);
  void(CEF_CALLBACK* add_event_listener)(cef_domnode_t* self, const cef_string_t* eventType,
                                         cef_domevent_listener_t* listener, int useCapture);
  cef_string_userfree_t(CEF_CALLBACK* get_element_tag_name)(cef_domnode_t* self);
  int(CEF_CALLBACK* has_element_attributes)(cef_domnode_t* self);
  int(CEF_CALLBACK* has_element_attribute)(cef_domnode_t* self, const cef_string_t* attrName);
  cef_string_userfree_t(CEF_CALLBACK* get_element_attribute)(cef_domnode_t* self,
                                                             const cef_string_t* attrName);
  void(CEF_CALLBACK* get_element_attributes)(cef_domnode_t* self, cef_string_map_t attrMap);
  int(CEF_CALLBACK* set_element_attribute)(cef_domnode_t* self, const cef_string_t* attrName,
                                           const cef_string_t* value);
  cef_string_userfree_t(CEF_CALLBACK* get_element_inner_text)(cef_domnode_t* self);
};

struct cef_domevent_t {
  cef_base_t base;
  cef_string_userfree_t(CEF_CALLBACK* get_type)(cef_domevent_t* self);
  cef_dom_event_category_t(CEF_CALLBACK* get_category)(cef_domevent_t* self);
  cef_dom_event_phase_t(CEF_CALLBACK* get_phase)(cef_domevent_t* self);
  int(CEF_CALLBACK* can_bubble)(cef_domevent_t* self);
  int(CEF_CALLBACK* can_cancel)(cef_domevent_t* self);
  cef_domdocument_t*(CEF_CALLBACK* get_document)(cef_domevent_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_target)(cef_domevent_t* self);
  cef_domnode_t*(CEF_CALLBACK* get_current_target)(cef_domevent_t* self);
};

}  // extern "C"

#if CEF_ABI_32BIT
// Callback records the program builds: header plus one 4-byte entry per slot.
static_assert(sizeof(cef_app_t) == 28);
static_assert(sizeof(cef_proxy_handler_t) == 20);
static_assert(sizeof(cef_resource_bundle_handler_t) == 24);
static_assert(sizeof(cef_task_t) == 20);
static_assert(sizeof(cef_client_t) == 80);
static_assert(offsetof(cef_client_t, get_permission_handler) == 44);
static_assert(offsetof(cef_client_t, get_zoom_handler) == 76);
static_assert(sizeof(cef_life_span_handler_t) == 36);
static_assert(offsetof(cef_life_span_handler_t, run_modal) == 24);
static_assert(offsetof(cef_life_span_handler_t, on_before_close) == 32);
static_assert(sizeof(cef_load_handler_t) == 28);
static_assert(sizeof(cef_display_handler_t) == 48);
static_assert(offsetof(cef_display_handler_t, on_tooltip) == 36);
static_assert(sizeof(cef_scheme_handler_factory_t) == 20);
static_assert(sizeof(cef_scheme_handler_t) == 32);
static_assert(offsetof(cef_scheme_handler_t, cancel) == 28);
static_assert(sizeof(cef_v8handler_t) == 20);
static_assert(sizeof(cef_v8accessor_t) == 24);
static_assert(sizeof(cef_domvisitor_t) == 20);
static_assert(sizeof(cef_domevent_listener_t) == 20);
static_assert(sizeof(cef_read_handler_t) == 32);
static_assert(offsetof(cef_read_handler_t, eof) == 28);
static_assert(sizeof(cef_request_handler_t) == 48);
static_assert(offsetof(cef_request_handler_t, on_before_browse) == 16);
static_assert(offsetof(cef_request_handler_t, on_before_resource_load) == 20);
static_assert(offsetof(cef_request_handler_t, on_resource_redirect) == 24);
static_assert(offsetof(cef_request_handler_t, on_resource_response) == 28);
static_assert(offsetof(cef_request_handler_t, on_protocol_execution) == 32);
static_assert(offsetof(cef_request_handler_t, get_download_handler) == 36);
static_assert(offsetof(cef_request_handler_t, get_auth_credentials) == 40);
static_assert(offsetof(cef_request_handler_t, get_cookie_manager) == 44);
static_assert(sizeof(cef_download_handler_t) == 24);
static_assert(offsetof(cef_download_handler_t, received_data) == 16);
static_assert(offsetof(cef_download_handler_t, complete) == 20);
static_assert(sizeof(cef_content_filter_t) == 24);
static_assert(offsetof(cef_content_filter_t, process_data) == 16);
static_assert(offsetof(cef_content_filter_t, drain) == 20);
static_assert(sizeof(cef_cookie_visitor_t) == 20);
static_assert(offsetof(cef_cookie_visitor_t, visit) == 16);
static_assert(sizeof(cef_web_urlrequest_client_t) == 40);
static_assert(offsetof(cef_web_urlrequest_client_t, on_state_change) == 16);
static_assert(offsetof(cef_web_urlrequest_client_t, on_redirect) == 20);
static_assert(offsetof(cef_web_urlrequest_client_t, on_headers_received) == 24);
static_assert(offsetof(cef_web_urlrequest_client_t, on_progress) == 28);
static_assert(offsetof(cef_web_urlrequest_client_t, on_data) == 32);
static_assert(offsetof(cef_web_urlrequest_client_t, on_error) == 36);

// Records the engine builds.
static_assert(sizeof(cef_scheme_registrar_t) == 20);
static_assert(sizeof(cef_scheme_handler_callback_t) == 28);
static_assert(sizeof(cef_browser_t) == 176);
static_assert(sizeof(cef_frame_t) == 116);
static_assert(sizeof(cef_request_t) == 68);
static_assert(sizeof(cef_post_data_t) == 36);
static_assert(sizeof(cef_post_data_element_t) == 44);
static_assert(sizeof(cef_response_t) == 52);
static_assert(sizeof(cef_stream_reader_t) == 32);
static_assert(sizeof(cef_v8value_t) == 192);
static_assert(sizeof(cef_v8context_t) == 48);
static_assert(sizeof(cef_v8exception_t) == 48);
static_assert(sizeof(cef_domdocument_t) == 80);
static_assert(sizeof(cef_domnode_t) == 116);
static_assert(sizeof(cef_domevent_t) == 48);
static_assert(sizeof(cef_cookie_manager_t) == 40);
static_assert(offsetof(cef_cookie_manager_t, set_supported_schemes) == 16);
static_assert(offsetof(cef_cookie_manager_t, visit_all_cookies) == 20);
static_assert(offsetof(cef_cookie_manager_t, visit_url_cookies) == 24);
static_assert(offsetof(cef_cookie_manager_t, set_cookie) == 28);
static_assert(offsetof(cef_cookie_manager_t, delete_cookies) == 32);
static_assert(offsetof(cef_cookie_manager_t, set_storage_path) == 36);
static_assert(sizeof(cef_web_urlrequest_t) == 24);
static_assert(offsetof(cef_web_urlrequest_t, cancel) == 16);
static_assert(offsetof(cef_web_urlrequest_t, get_state) == 20);

// Enumerations passed to callbacks travel as 32-bit integers.
static_assert(sizeof(cef_handler_errorcode_t) == 4 && sizeof(cef_handler_statustype_t) == 4);
#endif
