// Plain data types of the engine's C interface (version 1): strings, the object
// header, settings and the small records passed by address. Shared by the binding
// and by our engine; layouts are the engine's ABI, checked below for 32-bit builds.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define CEF_EXPORT __declspec(dllexport)
#else
#define CEF_EXPORT __attribute__((visibility("default")))
#endif

// Every function pointer inside an engine record, on either side, uses the standard
// calling convention on 32-bit x86; exports keep the C convention.
#if defined(__i386__) || defined(_M_IX86)
#if defined(_WIN32)
#define CEF_CALLBACK __stdcall
#else
#define CEF_CALLBACK __attribute__((stdcall))
#endif
#else
#define CEF_CALLBACK
#endif

#if defined(__i386__) || defined(_M_IX86)
#define CEF_ABI_32BIT 1
#else
#define CEF_ABI_32BIT 0
#endif

extern "C" {

using char16 = char16_t;

// String records: text, length in code units, and the engine's release function for
// the text (null when the record only borrows it).
struct cef_string_wide_t {
  wchar_t* str;
  size_t length;
  void (*dtor)(wchar_t* str);
};
struct cef_string_utf8_t {
  char* str;
  size_t length;
  void (*dtor)(char* str);
};
struct cef_string_utf16_t {
  char16* str;
  size_t length;
  void (*dtor)(char16* str);
};
using cef_string_t = cef_string_utf16_t;

using cef_string_userfree_wide_t = cef_string_wide_t*;
using cef_string_userfree_utf8_t = cef_string_utf8_t*;
using cef_string_userfree_utf16_t = cef_string_utf16_t*;
using cef_string_userfree_t = cef_string_userfree_utf16_t;

// Opaque engine collections.
using cef_string_list_t = void*;
using cef_string_map_t = void*;
using cef_string_multimap_t = void*;

#if defined(_WIN32)
using cef_window_handle_t = struct HWND__*;
using cef_menu_handle_t = struct HMENU__*;
#else
using cef_window_handle_t = void*;
using cef_menu_handle_t = void*;
#endif

// Header of every reference-counted engine record.
struct cef_base_t {
  size_t size;
  int(CEF_CALLBACK* add_ref)(cef_base_t* self);
  int(CEF_CALLBACK* release)(cef_base_t* self);
  int(CEF_CALLBACK* get_refct)(cef_base_t* self);
};

enum cef_log_severity_t {
  LOGSEVERITY_VERBOSE = -1,
  LOGSEVERITY_INFO = 0,
  LOGSEVERITY_WARNING = 1,
  LOGSEVERITY_ERROR = 2,
  LOGSEVERITY_ERROR_REPORT = 3,
  LOGSEVERITY_DISABLE = 99,
};

enum cef_graphics_implementation_t {
  ANGLE_IN_PROCESS = 0,
  ANGLE_IN_PROCESS_COMMAND_BUFFER = 1,
  DESKTOP_IN_PROCESS = 2,
  DESKTOP_IN_PROCESS_COMMAND_BUFFER = 3,
};

// Settings handed to cef_initialize; the engine copies what it keeps during the call.
struct cef_settings_t {
  size_t size;
  bool multi_threaded_message_loop;
  cef_string_t cache_path;
  cef_string_t user_agent;
  cef_string_t product_version;
  cef_string_t locale;
  cef_string_list_t extra_plugin_paths;
  cef_string_t log_file;
  int log_severity;
  bool release_dcheck_enabled;
  int graphics_implementation;
  uint32_t local_storage_quota;
  uint32_t session_storage_quota;
  cef_string_t javascript_flags;
  bool auto_detect_proxy_settings_enabled;
  cef_string_t resources_dir_path;
  cef_string_t locales_dir_path;
  bool pack_loading_disabled;
  int uncaught_exception_stack_size;
  int context_safety_implementation;  // 0 the default, -1 disabled
};

// Where and how the engine makes a browser window. The same members on every
// platform; the handles are pointer-sized.
struct cef_window_info_t {
  uint32_t m_dwExStyle;
  cef_string_t m_windowName;
  uint32_t m_dwStyle;
  int m_x;
  int m_y;
  int m_nWidth;
  int m_nHeight;
  cef_window_handle_t m_hWndParent;
  cef_menu_handle_t m_hMenu;
  int m_bWindowRenderingDisabled;
  int m_bTransparentPainting;
  cef_window_handle_t m_hWnd;
};

// Per-browser settings. Only the size is read by our engine; every other byte left
// zero means "engine default".
struct cef_browser_settings_t {
  size_t size;
  unsigned char engine_defaults[164];
};

// Features a page asked for when it opened a pop-up window. The flags are one byte each
// (0 or 1), as the engine lays them out.
struct cef_popup_features_t {
  int x;
  bool xSet;
  int y;
  bool ySet;
  int width;
  bool widthSet;
  int height;
  bool heightSet;
  bool menuBarVisible;
  bool statusBarVisible;
  bool toolBarVisible;
  bool locationBarVisible;
  bool scrollbarsVisible;
  bool resizable;
  bool fullscreen;
  bool dialog;
  cef_string_list_t additionalFeatures;
};

// Time in UTC.
struct cef_time_t {
  int year;
  int month;        // 1-12
  int day_of_week;  // 0 = Sunday
  int day_of_month;
  int hour;
  int minute;
  int second;
  int millisecond;
};

struct cef_rect_t {
  int x;
  int y;
  int width;
  int height;
};

struct cef_key_info_t {
  int key;
  int sysChar;
  int imeChar;
};

enum cef_proxy_type_t {
  CEF_PROXY_TYPE_DIRECT = 0,
  CEF_PROXY_TYPE_NAMED = 1,
  CEF_PROXY_TYPE_PAC_STRING = 2,
};

struct cef_proxy_info_t {
  cef_proxy_type_t proxyType;
  cef_string_t proxyList;
};

// Parts of a URL, for cef_parse_url and cef_create_url.
struct cef_urlparts_t {
  cef_string_t spec;
  cef_string_t scheme;
  cef_string_t username;
  cef_string_t password;
  cef_string_t host;
  cef_string_t port;
  cef_string_t path;
  cef_string_t query;
};

enum cef_thread_id_t {
  TID_UI = 0,
  TID_IO = 1,
  TID_FILE = 2,
};

enum cef_paint_element_type_t {
  PET_VIEW = 0,
  PET_POPUP = 1,
};

enum cef_key_type_t {
  KT_KEYUP = 0,
  KT_KEYDOWN = 1,
  KT_CHAR = 2,
};

enum cef_mouse_button_type_t {
  MBT_LEFT = 0,
  MBT_MIDDLE = 1,
  MBT_RIGHT = 2,
};

enum cef_handler_statustype_t {
  STATUSTYPE_TEXT = 0,
  STATUSTYPE_MOUSEOVER_URL = 1,
  STATUSTYPE_KEYBOARD_FOCUS_URL = 2,
};

// Why a load failed; no member is 0.
enum cef_handler_errorcode_t {
  ERR_FAILED = -2,
  ERR_ABORTED = -3,
  ERR_INVALID_ARGUMENT = -4,
  ERR_INVALID_HANDLE = -5,
  ERR_FILE_NOT_FOUND = -6,
  ERR_TIMED_OUT = -7,
  ERR_FILE_TOO_BIG = -8,
  ERR_UNEXPECTED = -9,
  ERR_ACCESS_DENIED = -10,
  ERR_NOT_IMPLEMENTED = -11,
  ERR_CONNECTION_CLOSED = -100,
  ERR_CONNECTION_RESET = -101,
  ERR_CONNECTION_REFUSED = -102,
  ERR_CONNECTION_ABORTED = -103,
  ERR_CONNECTION_FAILED = -104,
  ERR_NAME_NOT_RESOLVED = -105,
  ERR_INTERNET_DISCONNECTED = -106,
  ERR_INVALID_URL = -300,
  ERR_DISALLOWED_URL_SCHEME = -301,
  ERR_UNKNOWN_URL_SCHEME = -302,
  ERR_TOO_MANY_REDIRECTS = -310,
  ERR_EMPTY_RESPONSE = -324,
};

enum cef_weburlrequest_flags_t {
  WUR_FLAG_NONE = 0,
  WUR_FLAG_SKIP_CACHE = 0x1,
  WUR_FLAG_ALLOW_CACHED_CREDENTIALS = 0x2,
  WUR_FLAG_ALLOW_COOKIES = 0x4,
  WUR_FLAG_REPORT_UPLOAD_PROGRESS = 0x8,
  WUR_FLAG_REPORT_LOAD_TIMING = 0x10,
  WUR_FLAG_REPORT_RAW_HEADERS = 0x20,
};

// Why a frame navigates (on_before_browse).
enum cef_handler_navtype_t {
  NAVTYPE_LINKCLICKED = 0,
  NAVTYPE_FORMSUBMITTED = 1,
  NAVTYPE_BACKFORWARD = 2,
  NAVTYPE_RELOAD = 3,
  NAVTYPE_FORMRESUBMITTED = 4,
  NAVTYPE_OTHER = 5,
  NAVTYPE_LINKDROPPED = 6,
};

// Stages of a web URL request.
enum cef_weburlrequest_state_t {
  WUR_STATE_UNSENT = 0,
  WUR_STATE_STARTED = 1,
  WUR_STATE_HEADERS_RECEIVED = 2,
  WUR_STATE_LOADING = 3,
  WUR_STATE_DONE = 4,
  WUR_STATE_ERROR = 5,
  WUR_STATE_ABORT = 6,
};

// A cookie, plain data lent for a call. Dates are UTC; a domain cookie's domain begins
// with '.', an empty domain makes a host cookie.
struct cef_cookie_t {
  cef_string_t name;
  cef_string_t value;
  cef_string_t domain;
  cef_string_t path;
  bool secure;
  bool httponly;
  cef_time_t creation;
  cef_time_t last_access;
  bool has_expires;
  cef_time_t expires;
};

enum cef_postdataelement_type_t {
  PDE_TYPE_EMPTY = 0,
  PDE_TYPE_BYTES = 1,
  PDE_TYPE_FILE = 2,
};

enum cef_v8_accesscontrol_t {
  V8_ACCESS_CONTROL_DEFAULT = 0,
  V8_ACCESS_CONTROL_ALL_CAN_READ = 1,
  V8_ACCESS_CONTROL_ALL_CAN_WRITE = 1 << 1,
  V8_ACCESS_CONTROL_PROHIBITS_OVERWRITING = 1 << 2,
};

enum cef_v8_propertyattribute_t {
  V8_PROPERTY_ATTRIBUTE_NONE = 0,
  V8_PROPERTY_ATTRIBUTE_READONLY = 1 << 0,
  V8_PROPERTY_ATTRIBUTE_DONTENUM = 1 << 1,
  V8_PROPERTY_ATTRIBUTE_DONTDELETE = 1 << 2,
};

enum cef_dom_document_type_t {
  DOM_DOCUMENT_TYPE_UNKNOWN = 0,
  DOM_DOCUMENT_TYPE_HTML = 1,
  DOM_DOCUMENT_TYPE_XHTML = 2,
  DOM_DOCUMENT_TYPE_PLUGIN = 3,
};

enum cef_dom_node_type_t {
  DOM_NODE_TYPE_UNSUPPORTED = 0,
  DOM_NODE_TYPE_ELEMENT = 1,
  DOM_NODE_TYPE_ATTRIBUTE = 2,
  DOM_NODE_TYPE_TEXT = 3,
  DOM_NODE_TYPE_CDATA_SECTION = 4,
  DOM_NODE_TYPE_ENTITY_REFERENCE = 5,
  DOM_NODE_TYPE_ENTITY = 6,
  DOM_NODE_TYPE_PROCESSING_INSTRUCTIONS = 7,
  DOM_NODE_TYPE_COMMENT = 8,
  DOM_NODE_TYPE_DOCUMENT = 9,
  DOM_NODE_TYPE_DOCUMENT_TYPE = 10,
  DOM_NODE_TYPE_DOCUMENT_FRAGMENT = 11,
  DOM_NODE_TYPE_NOTATION = 12,
  DOM_NODE_TYPE_XPATH_NAMESPACE = 13,
};

enum cef_dom_event_category_t {
  DOM_EVENT_CATEGORY_UNKNOWN = 0x0,
  DOM_EVENT_CATEGORY_UI = 0x1,
  DOM_EVENT_CATEGORY_MOUSE = 0x2,
  DOM_EVENT_CATEGORY_MUTATION = 0x4,
  DOM_EVENT_CATEGORY_KEYBOARD = 0x8,
  DOM_EVENT_CATEGORY_TEXT = 0x10,
  DOM_EVENT_CATEGORY_COMPOSITION = 0x20,
  DOM_EVENT_CATEGORY_DRAG = 0x40,
  DOM_EVENT_CATEGORY_CLIPBOARD = 0x80,
  DOM_EVENT_CATEGORY_MESSAGE = 0x100,
  DOM_EVENT_CATEGORY_WHEEL = 0x200,
  DOM_EVENT_CATEGORY_BEFORE_TEXT_INSERTED = 0x400,
  DOM_EVENT_CATEGORY_OVERFLOW = 0x800,
  DOM_EVENT_CATEGORY_PAGE_TRANSITION = 0x1000,
  DOM_EVENT_CATEGORY_POPSTATE = 0x2000,
  DOM_EVENT_CATEGORY_PROGRESS = 0x4000,
  DOM_EVENT_CATEGORY_XMLHTTPREQUEST_PROGRESS = 0x8000,
  DOM_EVENT_CATEGORY_WEBKIT_ANIMATION = 0x10000,
  DOM_EVENT_CATEGORY_WEBKIT_TRANSITION = 0x20000,
  DOM_EVENT_CATEGORY_BEFORE_LOAD = 0x40000,
};

enum cef_dom_event_phase_t {
  DOM_EVENT_PHASE_UNKNOWN = 0,
  DOM_EVENT_PHASE_CAPTURING = 1,
  DOM_EVENT_PHASE_AT_TARGET = 2,
  DOM_EVENT_PHASE_BUBBLING = 3,
};

}  // extern "C"

#if CEF_ABI_32BIT
static_assert(sizeof(cef_string_t) == 12);
static_assert(sizeof(cef_base_t) == 16);
static_assert(sizeof(cef_settings_t) == 144);
static_assert(offsetof(cef_settings_t, multi_threaded_message_loop) == 4);
static_assert(offsetof(cef_settings_t, cache_path) == 8);
static_assert(offsetof(cef_settings_t, user_agent) == 20);
static_assert(offsetof(cef_settings_t, product_version) == 32);
static_assert(offsetof(cef_settings_t, locale) == 44);
static_assert(offsetof(cef_settings_t, extra_plugin_paths) == 56);
static_assert(offsetof(cef_settings_t, log_file) == 60);
static_assert(offsetof(cef_settings_t, log_severity) == 72);
static_assert(offsetof(cef_settings_t, release_dcheck_enabled) == 76);
static_assert(offsetof(cef_settings_t, graphics_implementation) == 80);
static_assert(offsetof(cef_settings_t, local_storage_quota) == 84);
static_assert(offsetof(cef_settings_t, session_storage_quota) == 88);
static_assert(offsetof(cef_settings_t, javascript_flags) == 92);
static_assert(offsetof(cef_settings_t, auto_detect_proxy_settings_enabled) == 104);
static_assert(offsetof(cef_settings_t, resources_dir_path) == 108);
static_assert(offsetof(cef_settings_t, locales_dir_path) == 120);
static_assert(offsetof(cef_settings_t, pack_loading_disabled) == 132);
static_assert(offsetof(cef_settings_t, uncaught_exception_stack_size) == 136);
static_assert(offsetof(cef_settings_t, context_safety_implementation) == 140);
static_assert(sizeof(cef_window_info_t) == 56);
static_assert(sizeof(cef_browser_settings_t) == 168);
static_assert(sizeof(cef_time_t) == 32);
static_assert(sizeof(cef_popup_features_t) == 44);
static_assert(offsetof(cef_popup_features_t, x) == 0);
static_assert(offsetof(cef_popup_features_t, xSet) == 4);
static_assert(offsetof(cef_popup_features_t, y) == 8);
static_assert(offsetof(cef_popup_features_t, ySet) == 12);
static_assert(offsetof(cef_popup_features_t, width) == 16);
static_assert(offsetof(cef_popup_features_t, widthSet) == 20);
static_assert(offsetof(cef_popup_features_t, height) == 24);
static_assert(offsetof(cef_popup_features_t, heightSet) == 28);
static_assert(offsetof(cef_popup_features_t, menuBarVisible) == 29);
static_assert(offsetof(cef_popup_features_t, statusBarVisible) == 30);
static_assert(offsetof(cef_popup_features_t, toolBarVisible) == 31);
static_assert(offsetof(cef_popup_features_t, locationBarVisible) == 32);
static_assert(offsetof(cef_popup_features_t, scrollbarsVisible) == 33);
static_assert(offsetof(cef_popup_features_t, resizable) == 34);
static_assert(offsetof(cef_popup_features_t, fullscreen) == 35);
static_assert(offsetof(cef_popup_features_t, dialog) == 36);
static_assert(offsetof(cef_popup_features_t, additionalFeatures) == 40);
static_assert(sizeof(cef_proxy_info_t) == 16);
static_assert(sizeof(cef_cookie_t) == 152);
static_assert(offsetof(cef_cookie_t, value) == 12);
static_assert(offsetof(cef_cookie_t, domain) == 24);
static_assert(offsetof(cef_cookie_t, path) == 36);
static_assert(offsetof(cef_cookie_t, secure) == 48);
static_assert(offsetof(cef_cookie_t, httponly) == 49);
static_assert(offsetof(cef_cookie_t, creation) == 52);
static_assert(offsetof(cef_cookie_t, last_access) == 84);
static_assert(offsetof(cef_cookie_t, has_expires) == 116);
static_assert(offsetof(cef_cookie_t, expires) == 120);
static_assert(sizeof(cef_handler_navtype_t) == 4 && sizeof(cef_weburlrequest_state_t) == 4);
#endif
