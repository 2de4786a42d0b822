// Declarations of our engine library's exports for code that links it directly (the
// engine itself and its tests): the 99 exports of the engine interface, generated from
// CEF_EXPORT_LIST so that every definition in the engine must match the list, and the
// engine's own diagnostic exports.
#pragma once

#include "cef/cef_exports.h"

#if defined(CEF_ENGINE_BUILDING)
#define CEF_ENGINE_API CEF_EXPORT
#elif defined(_WIN32)
#define CEF_ENGINE_API __declspec(dllimport)
#else
#define CEF_ENGINE_API
#endif

extern "C" {

#define CEF_ENGINE_DECLARE_EXPORT(name, result, params) CEF_ENGINE_API result name params;
CEF_EXPORT_LIST(CEF_ENGINE_DECLARE_EXPORT)
#undef CEF_ENGINE_DECLARE_EXPORT

// Engine reference-counted objects still alive.
CEF_ENGINE_API int cef_engine_live_objects(void);

// The engine objects still alive by kind, "browser 1, frame 2" (empty when none), as
// cef_shutdown reports them on the standard error stream. Free with
// cef_string_userfree_utf16_free.
CEF_ENGINE_API cef_string_userfree_t cef_engine_live_object_report(void);

// Texts and userfree records that the engine allocated and that were not freed yet,
// plus string lists, maps and multimaps not yet freed.
CEF_ENGINE_API int cef_engine_live_strings(void);

// How often cef_initialize was called since the library was loaded.
CEF_ENGINE_API int cef_engine_initialize_calls(void);

// The engine's own copy of a string setting taken by cef_initialize ("cache_path",
// "user_agent", ..., "extra_plugin_paths" with the items joined by '\n'). Null when
// the engine is not initialized or the name is unknown; free the result with
// cef_string_userfree_utf16_free.
CEF_ENGINE_API cef_string_userfree_t cef_engine_copied_setting(const char* name);

// The engine's copy of a number or flag setting ("size", "log_severity",
// "release_dcheck_enabled", ..., "extra_plugin_path_count"). INT_MIN when the engine
// is not initialized or the name is unknown.
CEF_ENGINE_API int cef_engine_int_setting(const char* name);

// Sets the largest document body a load delivers, so that tests reach the limit cheaply;
// 0 restores the engine's own (256 MiB), and no value can raise it above that.
CEF_ENGINE_API void cef_engine_set_document_limit(size_t bytes);

// Tests: the addresses of unknown schemes (mailto: and the like) that the request
// handler's on_protocol_execution allowed to go to the operating system, which this engine
// never does: the last 100 since cef_initialize, oldest first, joined with '\n';
// empty when none. Free with cef_string_userfree_utf16_free. Any thread.
CEF_ENGINE_API cef_string_userfree_t cef_engine_os_executions(void);

// Tests: drags, which our windows do not take from the system. The page of the
// browser's main frame starts dragging the element with the id `element_id` (a link as a
// link, anything else as a fragment of its text and markup): the drag handler's
// on_drag_start. 1 when the drag went on, 0 when the handler cancelled it, -1 without such
// an element. Main thread; the browser stays the caller's.
CEF_ENGINE_API int cef_engine_drag_element(cef_browser_t* browser, const cef_string_t* element_id);

// Tests: something dragged from outside (a link address, text, file names; each may be
// null) enters the browser (on_drag_enter) and, unless refused, is dropped: a link is
// loaded into the main frame. 1 when accepted, 0 when refused. Main thread; the browser
// and the list stay the caller's.
CEF_ENGINE_API int cef_engine_drop(cef_browser_t* browser, const cef_string_t* url, const cef_string_t* text,
                                   cef_string_list_t file_names);

// Tests: the default context menu, which only a menu opened in a window shows. The items
// of the browser's last default menu that was not picked from yet, one "ID LABEL" line
// each (ids of cef_menu_id_t, labels as the menu handler left them); empty when none
// waits. Free with cef_string_userfree_utf16_free. Main thread; the browser stays the
// caller's.
CEF_ENGINE_API cef_string_userfree_t cef_engine_menu_items(cef_browser_t* browser);

// Tests: picks the item `id` of that menu as the user would: the menu handler's
// on_menu_action, then, unless it answered 1, the engine's action. 1 when the item was
// in the menu, 0 otherwise. Main thread; the browser stays the caller's.
CEF_ENGINE_API int cef_engine_pick_menu_item(cef_browser_t* browser, int id);

}  // extern "C"
