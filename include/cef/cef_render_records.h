// Records of the page's output side: off-screen rendering (render handler), printing
// (print handler and its plain records), drag and drop (drag handler, drag data) and
// geolocation (handler, permission callback, position, the one-off position callback).
// The handlers are the program's, handed out by the client record; the drag data and
// the geolocation permission callback are the engine's.
#pragma once

#include <cstddef>

#include "cef/cef_types.h"

extern "C" {

struct cef_browser_t;
struct cef_frame_t;

#if defined(_WIN32)
using cef_cursor_handle_t = struct HICON__*;  // HCURSOR
using cef_print_dc_t = struct HDC__*;         // HDC
#else
using cef_cursor_handle_t = void*;
#endif

// --- Geolocation ------------------------------------------------------------------------

// Why a position update failed; the engine's names are spelled GEOPOSITON.
enum cef_geoposition_error_code_t {
  GEOPOSITON_ERROR_NONE = 0,
  GEOPOSITON_ERROR_PERMISSION_DENIED = 1,
  GEOPOSITON_ERROR_POSITION_UNAVAILABLE = 2,
  GEOPOSITON_ERROR_TIMEOUT = 3,
};

// A position (WGS84 degrees, metres, metres per second), or the reason there is none.
struct cef_geoposition_t {
  double latitude;
  double longitude;
  double altitude;
  double accuracy;
  double altitude_accuracy;
  double heading;
  double speed;
  cef_time_t timestamp;
  cef_geoposition_error_code_t error_code;
  cef_string_t error_message;
};

struct cef_geolocation_callback_t {
  cef_base_t base;
  void(CEF_CALLBACK* cont)(cef_geolocation_callback_t* self, int allow);
};

struct cef_geolocation_handler_t {
  cef_base_t base;
  void(CEF_CALLBACK* on_request_geolocation_permission)(cef_geolocation_handler_t* self,
                                                        cef_browser_t* browser,
                                                        const cef_string_t* requesting_url, int request_id,
                                                        cef_geolocation_callback_t* callback);
  void(CEF_CALLBACK* on_cancel_geolocation_permission)(cef_geolocation_handler_t* self,
                                                       cef_browser_t* browser,
                                                       const cef_string_t* requesting_url, int request_id);
};

struct cef_get_geolocation_callback_t {
  cef_base_t base;
  void(CEF_CALLBACK* on_location_update)(cef_get_geolocation_callback_t* self,
                                         const cef_geoposition_t* position);
};

// --- Off-screen rendering ---------------------------------------------------------------

struct cef_render_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* get_view_rect)(cef_render_handler_t* self, cef_browser_t* browser, cef_rect_t* rect);
  int(CEF_CALLBACK* get_screen_rect)(cef_render_handler_t* self, cef_browser_t* browser, cef_rect_t* rect);
  int(CEF_CALLBACK* get_screen_point)(cef_render_handler_t* self, cef_browser_t* browser, int viewX,
                                      int viewY, int* screenX, int* screenY);
  void(CEF_CALLBACK* on_popup_show)(cef_render_handler_t* self, cef_browser_t* browser, int show);
  void(CEF_CALLBACK* on_popup_size)(cef_render_handler_t* self, cef_browser_t* browser,
                                    const cef_rect_t* rect);
  void(CEF_CALLBACK* on_paint)(cef_render_handler_t* self, cef_browser_t* browser,
                               cef_paint_element_type_t type, size_t dirtyRectCount,
                               const cef_rect_t* dirtyRects, const void* buffer);
  void(CEF_CALLBACK* on_cursor_change)(cef_render_handler_t* self, cef_browser_t* browser,
                                       cef_cursor_handle_t cursor);
};

// --- Printing ---------------------------------------------------------------------------

enum cef_page_orientation {
  PORTRAIT = 0,
  LANDSCAPE = 1,
};

enum cef_paper_type_t {
  PT_LETTER = 0,
  PT_LEGAL = 1,
  PT_EXECUTIVE = 2,
  PT_A3 = 3,
  PT_A4 = 4,
  PT_CUSTOM = 5,
};

// Paper size; length and width (inches) count for PT_CUSTOM only.
struct cef_paper_metrics {
  cef_paper_type_t paper_type;
  double length;
  double width;
};

// Margins of the content and room for header and footer, inches.
struct cef_print_margins {
  double left;
  double right;
  double top;
  double bottom;
  double header;
  double footer;
};

struct cef_print_options_t {
  cef_page_orientation page_orientation;
  cef_paper_metrics paper_metrics;
  cef_print_margins paper_margins;
};

#if defined(_WIN32)
// The page area of a printed page: the layout of a Windows RECT.
struct cef_print_rect_t {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

struct cef_print_info_t {
  cef_print_dc_t m_hDC;
  cef_print_rect_t m_Rect;
  double m_Scale;
};
#else
struct cef_print_info_t {
  double m_Scale;
};
#endif

struct cef_print_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* get_print_options)(cef_print_handler_t* self, cef_browser_t* browser,
                                       cef_print_options_t* printOptions);
  int(CEF_CALLBACK* get_print_header_footer)(cef_print_handler_t* self, cef_browser_t* browser,
                                             cef_frame_t* frame, const cef_print_info_t* printInfo,
                                             const cef_string_t* url, const cef_string_t* title,
                                             int currentPage, int maxPages, cef_string_t* topLeft,
                                             cef_string_t* topCenter, cef_string_t* topRight,
                                             cef_string_t* bottomLeft, cef_string_t* bottomCenter,
                                             cef_string_t* bottomRight);
};

// --- Drag and drop ----------------------------------------------------------------------

// Bits of the operations a drag allows; DRAG_OPERATION_EVERY sets all 32.
enum cef_drag_operations_mask_t {
  DRAG_OPERATION_NONE = 0,
  DRAG_OPERATION_COPY = 1,
  DRAG_OPERATION_LINK = 2,
  DRAG_OPERATION_GENERIC = 4,
  DRAG_OPERATION_PRIVATE = 8,
  DRAG_OPERATION_MOVE = 16,
  DRAG_OPERATION_DELETE = 32,
  DRAG_OPERATION_EVERY = -1,
};

struct cef_drag_data_t {
  cef_base_t base;
  int(CEF_CALLBACK* is_link)(cef_drag_data_t* self);
  int(CEF_CALLBACK* is_fragment)(cef_drag_data_t* self);
  int(CEF_CALLBACK* is_file)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_link_url)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_link_title)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_link_metadata)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_fragment_text)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_fragment_html)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_fragment_base_url)(cef_drag_data_t* self);
  cef_string_userfree_t(CEF_CALLBACK* get_file_name)(cef_drag_data_t* self);
  int(CEF_CALLBACK* get_file_names)(cef_drag_data_t* self, cef_string_list_t names);
};

struct cef_drag_handler_t {
  cef_base_t base;
  int(CEF_CALLBACK* on_drag_start)(cef_drag_handler_t* self, cef_browser_t* browser,
                                   cef_drag_data_t* dragData, cef_drag_operations_mask_t mask);
  int(CEF_CALLBACK* on_drag_enter)(cef_drag_handler_t* self, cef_browser_t* browser,
                                   cef_drag_data_t* dragData, cef_drag_operations_mask_t mask);
};

}  // extern "C"

#if CEF_ABI_32BIT
static_assert(sizeof(cef_geoposition_t) == 104);
static_assert(offsetof(cef_geoposition_t, longitude) == 8);
static_assert(offsetof(cef_geoposition_t, speed) == 48);
static_assert(offsetof(cef_geoposition_t, timestamp) == 56);
static_assert(offsetof(cef_geoposition_t, error_code) == 88);
static_assert(offsetof(cef_geoposition_t, error_message) == 92);
static_assert(sizeof(cef_geolocation_callback_t) == 20);
static_assert(offsetof(cef_geolocation_callback_t, cont) == 16);
static_assert(sizeof(cef_geolocation_handler_t) == 24);
static_assert(offsetof(cef_geolocation_handler_t, on_request_geolocation_permission) == 16);
static_assert(offsetof(cef_geolocation_handler_t, on_cancel_geolocation_permission) == 20);
static_assert(sizeof(cef_get_geolocation_callback_t) == 20);
static_assert(offsetof(cef_get_geolocation_callback_t, on_location_update) == 16);
static_assert(sizeof(cef_render_handler_t) == 44);
static_assert(offsetof(cef_render_handler_t, get_view_rect) == 16);
static_assert(offsetof(cef_render_handler_t, get_screen_rect) == 20);
static_assert(offsetof(cef_render_handler_t, get_screen_point) == 24);
static_assert(offsetof(cef_render_handler_t, on_popup_show) == 28);
static_assert(offsetof(cef_render_handler_t, on_popup_size) == 32);
static_assert(offsetof(cef_render_handler_t, on_paint) == 36);
static_assert(offsetof(cef_render_handler_t, on_cursor_change) == 40);
static_assert(sizeof(cef_print_handler_t) == 24);
static_assert(offsetof(cef_print_handler_t, get_print_options) == 16);
static_assert(offsetof(cef_print_handler_t, get_print_header_footer) == 20);
static_assert(sizeof(cef_print_margins) == 48);
static_assert(offsetof(cef_print_margins, bottom) == 24);
static_assert(offsetof(cef_print_margins, footer) == 40);
#if defined(_WIN32)
// Windows aligns doubles to 8 bytes inside records: padding after each enumeration.
static_assert(sizeof(cef_paper_metrics) == 24);
static_assert(offsetof(cef_paper_metrics, length) == 8);
static_assert(offsetof(cef_paper_metrics, width) == 16);
static_assert(sizeof(cef_print_options_t) == 80);
static_assert(offsetof(cef_print_options_t, paper_metrics) == 8);
static_assert(offsetof(cef_print_options_t, paper_margins) == 32);
static_assert(sizeof(cef_print_info_t) == 32);
static_assert(offsetof(cef_print_info_t, m_Rect) == 4);
static_assert(offsetof(cef_print_info_t, m_Scale) == 24);
#else
// The i386 Linux ABI aligns doubles inside records to 4 bytes: no padding.
static_assert(sizeof(cef_paper_metrics) == 20);
static_assert(offsetof(cef_paper_metrics, length) == 4);
static_assert(sizeof(cef_print_options_t) == 72);
static_assert(offsetof(cef_print_options_t, paper_metrics) == 4);
static_assert(offsetof(cef_print_options_t, paper_margins) == 24);
static_assert(sizeof(cef_print_info_t) == 8);
#endif
static_assert(sizeof(cef_drag_data_t) == 60);
static_assert(offsetof(cef_drag_data_t, is_link) == 16);
static_assert(offsetof(cef_drag_data_t, get_link_url) == 28);
static_assert(offsetof(cef_drag_data_t, get_fragment_text) == 40);
static_assert(offsetof(cef_drag_data_t, get_file_name) == 52);
static_assert(offsetof(cef_drag_data_t, get_file_names) == 56);
static_assert(sizeof(cef_drag_handler_t) == 24);
static_assert(offsetof(cef_drag_handler_t, on_drag_start) == 16);
static_assert(offsetof(cef_drag_handler_t, on_drag_enter) == 20);
static_assert(sizeof(cef_geoposition_error_code_t) == 4 && sizeof(cef_drag_operations_mask_t) == 4);
static_assert(sizeof(cef_paper_type_t) == 4 && sizeof(cef_page_orientation) == 4);
#endif
