// Records of page script beyond values and contexts: the handlers the program gives the
// engine for script contexts, script dialogs (alert, confirm, prompt) and the loading of
// script extensions, and the script stack trace with its frames, which the engine makes.
#pragma once

#include <cstddef>

#include "cef/cef_types.h"

extern "C" {

struct cef_browser_t;
struct cef_frame_t;
struct cef_v8context_t;
struct cef_v8exception_t;
struct cef_v8stack_frame_t;
struct cef_v8stack_trace_t;

// Program's: answers the page's alert, confirm and prompt (UI thread). 0 from a member
// lets the engine show its own dialog.
struct cef_jsdialog_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* on_jsalert)(cef_jsdialog_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                const cef_string_t* message);
  int(CEF_CALLBACK* on_jsconfirm)(cef_jsdialog_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                  const cef_string_t* message, int* retval);
  int(CEF_CALLBACK* on_jsprompt)(cef_jsdialog_handler_t* self, cef_browser_t* browser, cef_frame_t* frame,
                                 const cef_string_t* message, const cef_string_t* defaultValue, int* retval,
                                 cef_string_t* result);
};

// Program's: asked before each registered extension is loaded into a frame; 1 skips it.
struct cef_permission_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* on_before_script_extension_load)(cef_permission_handler_t* self, cef_browser_t* browser,
                                                     cef_frame_t* frame, const cef_string_t* extensionName);
};

// Program's: a frame's script context was made or is about to go, and script errors that
// nothing caught (UI thread).
struct cef_v8context_handler_t {
  cef_base_t base;
  void(CEF_CALLBACK* on_context_created)(cef_v8context_handler_t* self, cef_browser_t* browser,
                                         cef_frame_t* frame, cef_v8context_t* context);
  void(CEF_CALLBACK* on_context_released)(cef_v8context_handler_t* self, cef_browser_t* browser,
                                          cef_frame_t* frame, cef_v8context_t* context);
  void(CEF_CALLBACK* on_uncaught_exception)(cef_v8context_handler_t* self, cef_browser_t* browser,
                                            cef_frame_t* frame, cef_v8context_t* context,
                                            cef_v8exception_t* exception, cef_v8stack_trace_t* stackTrace);
};

// Engine's: the calls of running script, innermost first (UI thread only).
struct cef_v8stack_trace_t {
  cef_base_t base;
  int(CEF_CALLBACK* is_valid)(cef_v8stack_trace_t* self);
  int(CEF_CALLBACK* get_frame_count)(cef_v8stack_trace_t* self);
  cef_v8stack_frame_t*(CEF_CALLBACK* get_frame)(cef_v8stack_trace_t* self, int index);
};

// Engine's: one call of a stack trace (UI thread only).
struct cef_v8stack_frame_t {
  cef_base_t base;
  int(CEF_CALLBACK* is_valid)(cef_v8stack_frame_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_script_name)(cef_v8stack_frame_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_script_name_or_source_url)(cef_v8stack_frame_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_function_name)(cef_v8stack_frame_t* self);
  int(CEF_CALLBACK* get_line_number)(cef_v8stack_frame_t* self);
  int(CEF_CALLBACK* get_column)(cef_v8stack_frame_t* self);
  int(CEF_CALLBACK* is_eval)(cef_v8stack_frame_t* self);
  int(CEF_CALLBACK* is_constructor)(cef_v8stack_frame_t* self);
};

}  // extern "C"

#if CEF_ABI_32BIT
static_assert(sizeof(cef_jsdialog_handler_t) == 28);
static_assert(offsetof(cef_jsdialog_handler_t, on_jsalert) == 16);
static_assert(offsetof(cef_jsdialog_handler_t, on_jsconfirm) == 20);
static_assert(offsetof(cef_jsdialog_handler_t, on_jsprompt) == 24);
static_assert(sizeof(cef_permission_handler_t) == 20);
static_assert(offsetof(cef_permission_handler_t, on_before_script_extension_load) == 16);
static_assert(sizeof(cef_v8context_handler_t) == 28);
static_assert(offsetof(cef_v8context_handler_t, on_context_created) == 16);
static_assert(offsetof(cef_v8context_handler_t, on_context_released) == 20);
static_assert(offsetof(cef_v8context_handler_t, on_uncaught_exception) == 24);
static_assert(sizeof(cef_v8stack_trace_t) == 28);
static_assert(offsetof(cef_v8stack_trace_t, is_valid) == 16);
static_assert(offsetof(cef_v8stack_trace_t, get_frame_count) == 20);
static_assert(offsetof(cef_v8stack_trace_t, get_frame) == 24);
static_assert(sizeof(cef_v8stack_frame_t) == 48);
static_assert(offsetof(cef_v8stack_frame_t, is_valid) == 16);
static_assert(offsetof(cef_v8stack_frame_t, get_script_name) == 20);
static_assert(offsetof(cef_v8stack_frame_t, get_script_name_or_source_url) == 24);
static_assert(offsetof(cef_v8stack_frame_t, get_function_name) == 28);
static_assert(offsetof(cef_v8stack_frame_t, get_line_number) == 32);
static_assert(offsetof(cef_v8stack_frame_t, get_column) == 36);
static_assert(offsetof(cef_v8stack_frame_t, is_eval) == 40);
static_assert(offsetof(cef_v8stack_frame_t, is_constructor) == 44);
#endif
