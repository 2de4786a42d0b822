// Loading the engine library, its entry-point table, the binding's global settings
// and the calls that bracket the program's life with the engine.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cef/cef_exports.h"
#include "ceflib/core/engine_state.h"
#include "ceflib/core/ref_counting.h"
#include "ceflib/core/strings.h"

#if defined(_WIN32)
struct HINSTANCE__;  // the module handle type of <windows.h>
#endif

namespace ceflib {

using ustring = std::u16string;

class ICefSchemeRegistrar;
using TCefProxyType = cef_proxy_type_t;

// Hooks the program may set; the first three are read when the engine is loaded.
using TGetProxyForUrlProc =
    std::function<void(const ustring& url, TCefProxyType& proxyType, ustring& proxyList)>;
using TGetDataResource = std::function<bool(int resourceId, void*& data, size_t& dataSize)>;
using TGetLocalizedString = std::function<bool(int messageId, ustring& stringVal)>;
using TOnRegisterCustomSchemes = std::function<void(const RefPtr<ICefSchemeRegistrar>& registrar)>;

#if defined(_WIN32)
using TCefLibraryHandle = ::HINSTANCE__*;
#else
using TCefLibraryHandle = void*;
#endif

// Global settings, in the order loading reads them. Set them before the engine loads;
// later changes have no effect.
extern ustring CefLibraryName;
extern ustring CefCachePath;
extern ustring CefUserAgent;
extern ustring CefProductVersion;
extern ustring CefLocale;
extern ustring CefLogFile;
extern int32_t CefLogSeverity;
extern bool CefReleaseDcheckEnabled;
extern int32_t CefGraphicsImplementation;
extern ustring CefExtraPluginPaths;
extern uint32_t CefLocalStorageQuota;
extern uint32_t CefSessionStorageQuota;
extern ustring CefJavaScriptFlags;
extern ustring CefResourcesDirPath;
extern ustring CefLocalesDirPath;
extern bool CefPackLoadingDisabled;
extern int32_t CefUncaughtExceptionStackSize;
extern int32_t CefContextSafetyImplementation;
extern TGetProxyForUrlProc CefGetProxyForUrl;
extern TGetDataResource CefGetDataResource;
extern TGetLocalizedString CefGetLocalizedString;
extern TOnRegisterCustomSchemes CefOnRegisterCustomSchemes;
extern bool CefAutoDetectProxySettings;
// The loaded library; null means not loaded. The only guard of loading and shutdown.
extern TCefLibraryHandle CefLibraryHandle;

// The entry-point table: one pointer per engine export, filled when the library loads
// and cleared when it is unloaded or refused.
#define CEFLIB_DECLARE_ENTRY(name, result, params) extern result(*name) params;
CEF_EXPORT_LIST(CEFLIB_DECLARE_ENTRY)
#undef CEFLIB_DECLARE_ENTRY

// Generic string entries: the engine's strings are UTF-16.
extern decltype(cef_string_utf16_set) cef_string_set;
extern decltype(cef_string_utf16_clear) cef_string_clear;
extern decltype(cef_string_userfree_utf16_alloc) cef_string_userfree_alloc;
extern decltype(cef_string_userfree_utf16_free) cef_string_userfree_free;
extern decltype(cef_string_ascii_to_utf16) cef_string_from_ascii;
extern decltype(cef_string_utf16_to_utf8) cef_string_to_utf8;
extern decltype(cef_string_utf8_to_utf16) cef_string_from_utf8;
extern int (*cef_string_to_utf16)(const char16* src, size_t src_len, cef_string_utf16_t* output);
extern int (*cef_string_from_utf16)(const char16* src, size_t src_len, cef_string_utf16_t* output);
extern decltype(cef_string_utf16_to_wide) cef_string_to_wide;
extern decltype(cef_string_wide_to_utf16) cef_string_from_wide;

namespace detail {
// The two entries other threads call into (main-thread calls and the main-thread
// check), published for them as atomics, since the entry table above is plain data the
// main thread rewrites at load and unload. Null while no engine runs.
struct TCefThreadEntries {
  decltype(cef_currently_on) currentlyOn = nullptr;
  decltype(cef_post_task) postTask = nullptr;
  unsigned generation = 0;
};
TCefThreadEntries CefLoadThreadEntries() noexcept;
// Publishes the entry table's two members again, for a program (a test) that replaced
// one of them to watch the calls; main thread, while the engine runs.
void CefPublishThreadEntries() noexcept;
}  // namespace detail

// Holds the running engine's library for a call from any thread: the pin is taken
// before the entries are read, so an unload on the main thread meanwhile keeps the
// library mapped until the call has left it (the last pin given back unloads it).
class TCefEngineHold {
 public:
  TCefEngineHold() noexcept : FEntries(detail::CefLoadThreadEntries()) {}
  // False when no engine ran at the time of the hold: nothing may be called then.
  bool Running() const noexcept { return FEntries.currentlyOn && FEntries.postTask; }
  const detail::TCefThreadEntries& Entries() const noexcept { return FEntries; }

 private:
  TCefEnginePin FPin;  // first: taken before the entries are read
  detail::TCefThreadEntries FEntries;
};

// Loads the library named by CefLibraryName, checks all 99 entry points, builds the
// settings record from the arguments and initializes the engine once. Does nothing
// when the library is already loaded. Throws EOSError when the library cannot be
// loaded and ECefException "Invalid CEF Library version" when an export is missing
// (the library is then unloaded again and no entry point of it is ever called).
void CefLoadEngine(const ustring& cache, const ustring& userAgent, const ustring& productVersion,
                   const ustring& locale, const ustring& logFile, const ustring& extraPluginPaths,
                   int32_t logSeverity, bool releaseDCheck, int32_t graphicsImplementation,
                   uint32_t localStorageQuota, uint32_t sessionStorageQuota, bool autoDetectProxySettings,
                   const ustring& javascriptFlags, const ustring& resourcesDirPath,
                   const ustring& localesDirPath, bool packLoadingDisabled,
                   int32_t uncaughtExceptionStackSize, int32_t contextSafetyImplementation);

// Loads the engine with the global settings unless it is loaded already.
void CefEnsureEngine();

namespace detail {
// The binding's application for cef_initialize, with the engine's one reference. Core
// only declares it: the application is a program object, defined with the others
// (bridges/application.cpp).
cef_app_t* CefNewApplication();
}  // namespace detail

// Runs the engine's message loop until the thread's quit message; no-op when unloaded.
void CefRunMessageLoop();

// Shuts the engine down and unloads the library; no-op when unloaded. Runs by itself
// at program end. Raises ECefException, and leaves the engine as it is, when called from
// inside an engine callback or while the message loop runs: engine code is still on the
// stack then. Binding objects still held afterwards release nothing into the unloaded
// library; their operations raise "The engine is not loaded".
void CefShutdownEngine();

// True while CefShutdownEngine waits for the engine's own shutdown.
bool CefEngineShuttingDown() noexcept;

// The values loading puts into the engine's settings record, in its field order.
struct TCefEngineSettings {
  const ustring& cachePath;
  const ustring& userAgent;
  const ustring& productVersion;
  const ustring& locale;
  const ustring& logFile;
  const ustring& extraPluginPaths;
  int32_t logSeverity;
  bool releaseDCheck;
  int32_t graphicsImplementation;
  uint32_t localStorageQuota;
  uint32_t sessionStorageQuota;
  bool autoDetectProxySettings;
  const ustring& javascriptFlags;
  const ustring& resourcesDirPath;
  const ustring& localesDirPath;
  bool packLoadingDisabled;
  int32_t uncaughtExceptionStackSize;
  int32_t contextSafetyImplementation;
};

// The settings record handed to cef_initialize: zero-filled, strings as views of the
// settings' strings (which must outlive it), and the plugin-path list it owns and
// frees when it goes.
class TCefSettingsRecord {
 public:
  explicit TCefSettingsRecord(const TCefEngineSettings& settings);
  const cef_settings_t* get() const noexcept { return &FSettings; }

 private:
  cef_settings_t FSettings{};
  std::optional<CefOwnedStringList> FPluginPaths;
};

// Splits a ";"-separated folder list the way the run-time splits delimited text: blanks
// and control characters around items are skipped, an unquoted item ends at the first
// blank, a double-quoted item may contain blanks and "" for a quote.
std::vector<ustring> CefSplitPluginPaths(const ustring& text);

// Masks the six x87 floating-point exceptions for the rest of the process, as the engine
// expects.
void CefMaskFloatingPointExceptions();

}  // namespace ceflib
