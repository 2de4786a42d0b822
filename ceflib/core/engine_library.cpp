#include "ceflib/core/engine_library.h"

#include <atomic>
#include <cstdlib>
#include <thread>
#include <type_traits>

#include "ceflib/core/engine_state.h"
#include "ceflib/core/exceptions.h"
#include "ceflib/core/strings.h"

#if defined(_WIN32)
#include <float.h>
#include <windows.h>
#else
#include <dlfcn.h>

#include <cerrno>
#if defined(__i386__) || defined(__x86_64__)
#include <fpu_control.h>
#endif
#endif

namespace ceflib {

#if defined(_WIN32)
ustring CefLibraryName = u"libcef.dll";
#else
ustring CefLibraryName = u"libcef.so";
#endif
ustring CefCachePath;
ustring CefUserAgent;
ustring CefProductVersion;
ustring CefLocale;
ustring CefLogFile;
int32_t CefLogSeverity = LOGSEVERITY_DISABLE;
bool CefReleaseDcheckEnabled = false;
int32_t CefGraphicsImplementation = 0;
ustring CefExtraPluginPaths;
uint32_t CefLocalStorageQuota = 0;
uint32_t CefSessionStorageQuota = 0;
ustring CefJavaScriptFlags;
ustring CefResourcesDirPath;
ustring CefLocalesDirPath;
bool CefPackLoadingDisabled = false;
int32_t CefUncaughtExceptionStackSize = 0;
int32_t CefContextSafetyImplementation = 0;
TGetProxyForUrlProc CefGetProxyForUrl;
TGetDataResource CefGetDataResource;
TGetLocalizedString CefGetLocalizedString;
TOnRegisterCustomSchemes CefOnRegisterCustomSchemes;
bool CefAutoDetectProxySettings = false;
TCefLibraryHandle CefLibraryHandle = nullptr;

namespace detail {
// Each on a cache line of its own: the generation and the mark are read by operations
// and pins on every thread, the counts are written all the time.
alignas(64) std::atomic<unsigned> CefEngineGenerationCounter{0};
alignas(64) std::atomic<bool> CefLibrariesKept{false};
alignas(64) std::atomic<long> CefOwnerThreadPins{0};
alignas(64) std::atomic<long> CefSharedPins{0};

#if defined(_WIN32)
namespace {
std::atomic<DWORD> pinOwnerThread{0};  // no thread has the identifier 0
}
bool CefOnPinOwnerThread() noexcept {
  return pinOwnerThread.load(std::memory_order_relaxed) == GetCurrentThreadId();
}
void CefClaimPinOwnerThread() noexcept {
  DWORD none = 0;
  pinOwnerThread.compare_exchange_strong(none, GetCurrentThreadId());
}
#else
constinit thread_local bool CefPinOwnerThread = false;
void CefClaimPinOwnerThread() noexcept {
  static std::atomic<bool> claimed{false};
  if (!claimed.exchange(true)) CefPinOwnerThread = true;
}
#endif
}  // namespace detail

#define CEFLIB_DEFINE_ENTRY(name, result, params) result(*name) params = nullptr;
CEF_EXPORT_LIST(CEFLIB_DEFINE_ENTRY)
#undef CEFLIB_DEFINE_ENTRY

decltype(cef_string_utf16_set) cef_string_set = nullptr;
decltype(cef_string_utf16_clear) cef_string_clear = nullptr;
decltype(cef_string_userfree_utf16_alloc) cef_string_userfree_alloc = nullptr;
decltype(cef_string_userfree_utf16_free) cef_string_userfree_free = nullptr;
decltype(cef_string_ascii_to_utf16) cef_string_from_ascii = nullptr;
decltype(cef_string_utf16_to_utf8) cef_string_to_utf8 = nullptr;
decltype(cef_string_utf8_to_utf16) cef_string_from_utf8 = nullptr;
int (*cef_string_to_utf16)(const char16*, size_t, cef_string_utf16_t*) = nullptr;
int (*cef_string_from_utf16)(const char16*, size_t, cef_string_utf16_t*) = nullptr;
decltype(cef_string_utf16_to_wide) cef_string_to_wide = nullptr;
decltype(cef_string_wide_to_utf16) cef_string_from_wide = nullptr;

namespace {

// The generic string entries and what fills them: the engine's strings are UTF-16.
#define CEFLIB_GENERIC_STRING_ENTRIES(X)                        \
  X(cef_string_set, cef_string_utf16_set)                       \
  X(cef_string_clear, cef_string_utf16_clear)                   \
  X(cef_string_userfree_alloc, cef_string_userfree_utf16_alloc) \
  X(cef_string_userfree_free, cef_string_userfree_utf16_free)   \
  X(cef_string_from_ascii, cef_string_ascii_to_utf16)           \
  X(cef_string_to_utf8, cef_string_utf16_to_utf8)               \
  X(cef_string_from_utf8, cef_string_utf8_to_utf16)             \
  X(cef_string_to_utf16, &CefStringCopyUtf16)                   \
  X(cef_string_from_utf16, &CefStringCopyUtf16)                 \
  X(cef_string_to_wide, cef_string_utf16_to_wide)               \
  X(cef_string_from_wide, cef_string_wide_to_utf16)

TCefLibraryHandle OpenLibrary(const ustring& name) {
#if defined(_WIN32)
  TCefLibraryHandle handle = LoadLibraryW(reinterpret_cast<const wchar_t*>(name.c_str()));
  if (!handle) throw CefLastOSError();
#else
  errno = 0;
  TCefLibraryHandle handle = dlopen(CefToUtf8(name).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* text = dlerror();
    throw CefOSError(static_cast<unsigned long>(errno), text ? text : "");
  }
#endif
  return handle;
}

void CloseLibrary(TCefLibraryHandle handle) {
#if defined(_WIN32)
  FreeLibrary(handle);
#else
  dlclose(handle);
#endif
}

template <class Fn>
void Resolve(TCefLibraryHandle handle, Fn& entry, const char* name) {
#if defined(_WIN32)
  entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(handle, name)));
#else
  entry = reinterpret_cast<Fn>(dlsym(handle, name));
#endif
}

void ResolveEntries(TCefLibraryHandle handle) {
#define CEFLIB_RESOLVE(name, result, params) Resolve(handle, name, #name);
  CEF_EXPORT_LIST(CEFLIB_RESOLVE)
#undef CEFLIB_RESOLVE
#define CEFLIB_FILL_GENERIC(generic, entry) generic = entry;
  CEFLIB_GENERIC_STRING_ENTRIES(CEFLIB_FILL_GENERIC)
#undef CEFLIB_FILL_GENERIC
}

bool AllEntriesResolved() {
#define CEFLIB_CHECK(name, result, params) \
  if (!name) return false;
  CEF_EXPORT_LIST(CEFLIB_CHECK)
#undef CEFLIB_CHECK
  return true;
}

void ClearEntries() {
#define CEFLIB_CLEAR(name, result, params) name = nullptr;
  CEF_EXPORT_LIST(CEFLIB_CLEAR)
#undef CEFLIB_CLEAR
#define CEFLIB_CLEAR_GENERIC(generic, entry) generic = nullptr;
  CEFLIB_GENERIC_STRING_ENTRIES(CEFLIB_CLEAR_GENERIC)
#undef CEFLIB_CLEAR_GENERIC
}

// The entries other threads read (TCefEngineHold), published while an engine runs.
std::atomic<decltype(cef_currently_on)> threadCurrentlyOn{nullptr};
std::atomic<decltype(cef_post_task)> threadPostTask{nullptr};

void PublishThreadEntries(bool running) noexcept {
  threadCurrentlyOn.store(running ? cef_currently_on : nullptr, std::memory_order_seq_cst);
  threadPostTask.store(running ? cef_post_task : nullptr, std::memory_order_seq_cst);
}

// Moves the engine generation on: operations on objects of the engine before raise.
// Sequentially consistent, like the pins: a thread that pins and then reads the
// generation (or the published entries) either sees the change or is seen by the
// unload's count of the pins.
void NextGeneration() { detail::CefEngineGenerationCounter.fetch_add(1, std::memory_order_seq_cst); }

// Libraries of shut-down engines that binding objects still hold resources of, any
// number of them: one node per library handle, with how many of its loads are kept (a
// library loaded again has the same handle and a load count of the system's). Plain
// data under a spin lock and nodes from malloc: objects released at program end may
// come after every other static of the binding is gone.
class PinnedLibraries {
 public:
  // Closes handle now when nothing is pinned, keeps it for later otherwise.
  void CloseOrKeep(TCefLibraryHandle handle) noexcept {
    Locked locked(lock_);
    // Kept first, then counted: a pin given back on another thread after this count
    // sees the mark and closes the library itself.
    detail::CefLibrariesKept.store(true, std::memory_order_seq_cst);
    Node* node = first_;
    while (node && node->handle != handle) node = node->next;
    if (!node) {
      node = static_cast<Node*>(std::malloc(sizeof(Node)));
      if (!node) {
        // No memory to remember it: closed now if nothing holds it, else never.
        if (Pins() <= 0) CloseLibrary(handle);
        CloseIfUnpinned();
        return;
      }
      *node = Node{handle, 0, first_};
      first_ = node;
    }
    ++node->loads;
    CloseIfUnpinned();
  }
  // Opens a library under the list's lock, after closing the kept ones nothing holds any
  // more. A kept library that another thread lets go of is then unmapped either before
  // this load maps it again (perhaps at the same addresses), ordered by the lock, or
  // after, while this load keeps it mapped; the loader's own lock orders the two as well,
  // but the thread sanitizer cannot see that one.
  TCefLibraryHandle Open(const ustring& name) {
    Locked locked(lock_);
    CloseIfUnpinned();
    return OpenLibrary(name);
  }
  // Closes every kept library once nothing is pinned.
  void CloseUnpinned() noexcept {
    Locked locked(lock_);
    CloseIfUnpinned();
  }

 private:
  struct Node {
    TCefLibraryHandle handle;
    unsigned long loads;
    Node* next;
  };

  // The shared part is read first: a pin given back there on another thread comes
  // with everything that thread had seen of the owner thread's part.
  static long Pins() noexcept {
    const long shared = detail::CefSharedPins.load(std::memory_order_seq_cst);
    return shared + detail::CefOwnerThreadPins.load(std::memory_order_seq_cst);
  }
  void CloseIfUnpinned() noexcept {
    if (Pins() > 0) return;
    while (Node* node = first_) {
      first_ = node->next;
      while (node->loads-- > 0) CloseLibrary(node->handle);
      std::free(node);
    }
    detail::CefLibrariesKept.store(false, std::memory_order_seq_cst);
  }

  struct Locked {
    explicit Locked(std::atomic_flag& flag) noexcept : flag_(flag) {
      while (flag_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
    }
    ~Locked() { flag_.clear(std::memory_order_release); }
    std::atomic_flag& flag_;
  };
  std::atomic_flag lock_ = ATOMIC_FLAG_INIT;
  Node* first_ = nullptr;
};
static_assert(std::is_trivially_destructible_v<PinnedLibraries>);
constinit PinnedLibraries pinnedLibraries;

void Unload() {
  PublishThreadEntries(false);
  TCefLibraryHandle handle = CefLibraryHandle;
  CefLibraryHandle = nullptr;
  NextGeneration();
  ClearEntries();
  pinnedLibraries.CloseOrKeep(handle);
}

// Set while the engine's message loop runs and while cef_shutdown runs.
std::atomic<bool> messageLoopRunning{false};
std::atomic<bool> shuttingDown{false};

// Runs at program end. Objects the program still holds then (its own globals among
// them, whatever their order of destruction) keep the library mapped and give their
// resources back when they go. A program that ends from inside an engine callback
// leaves the engine loaded: its code is still running.
struct Finalization {
  ~Finalization() {
    try {
      CefShutdownEngine();
    } catch (const ECefException&) {
    }
  }
} finalization;

}  // namespace

TCefSettingsRecord::TCefSettingsRecord(const TCefEngineSettings& s) {
  FSettings.size = sizeof(cef_settings_t);
  FSettings.multi_threaded_message_loop = false;
  FSettings.cache_path = CefStringView(s.cachePath);
  FSettings.user_agent = CefStringView(s.userAgent);
  FSettings.product_version = CefStringView(s.productVersion);
  FSettings.locale = CefStringView(s.locale);
  FSettings.log_file = CefStringView(s.logFile);
  FSettings.log_severity = s.logSeverity;
  FSettings.release_dcheck_enabled = s.releaseDCheck;
  FSettings.graphics_implementation = s.graphicsImplementation;
  FSettings.local_storage_quota = s.localStorageQuota;
  FSettings.session_storage_quota = s.sessionStorageQuota;
  FSettings.javascript_flags = CefStringView(s.javascriptFlags);
  FSettings.auto_detect_proxy_settings_enabled = s.autoDetectProxySettings;
  FSettings.resources_dir_path = CefStringView(s.resourcesDirPath);
  FSettings.locales_dir_path = CefStringView(s.localesDirPath);
  FSettings.pack_loading_disabled = s.packLoadingDisabled;
  FSettings.uncaught_exception_stack_size = s.uncaughtExceptionStackSize;
  FSettings.context_safety_implementation = s.contextSafetyImplementation;
  if (!s.extraPluginPaths.empty()) {
    FPluginPaths.emplace();
    for (const ustring& item : CefSplitPluginPaths(s.extraPluginPaths)) FPluginPaths->Append(item);
    FSettings.extra_plugin_paths = FPluginPaths->Handle();
  }
}

void CefLoadEngine(const ustring& cache, const ustring& userAgent, const ustring& productVersion,
                   const ustring& locale, const ustring& logFile, const ustring& extraPluginPaths,
                   int32_t logSeverity, bool releaseDCheck, int32_t graphicsImplementation,
                   uint32_t localStorageQuota, uint32_t sessionStorageQuota, bool autoDetectProxySettings,
                   const ustring& javascriptFlags, const ustring& resourcesDirPath,
                   const ustring& localesDirPath, bool packLoadingDisabled,
                   int32_t uncaughtExceptionStackSize, int32_t contextSafetyImplementation) {
  if (CefLibraryHandle) return;
  CefMaskFloatingPointExceptions();
  detail::CefClaimPinOwnerThread();
  CefLibraryHandle = pinnedLibraries.Open(CefLibraryName);
  NextGeneration();
  ResolveEntries(CefLibraryHandle);
  // A library that lacks an export is not used at all: nothing of it is called, and a
  // later attempt starts from scratch.
  if (!AllEntriesResolved()) {
    Unload();
    throw ECefException("Invalid CEF Library version");
  }
  TCefSettingsRecord settings({cache, userAgent, productVersion, locale, logFile, extraPluginPaths,
                               logSeverity, releaseDCheck, graphicsImplementation, localStorageQuota,
                               sessionStorageQuota, autoDetectProxySettings, javascriptFlags,
                               resourcesDirPath, localesDirPath, packLoadingDisabled,
                               uncaughtExceptionStackSize, contextSafetyImplementation});
  // The engine holds the only reference to the application from now on.
  cef_app_t* app = detail::CefNewApplication();
  cef_initialize(settings.get(), app);
  PublishThreadEntries(true);
}

void CefEnsureEngine() {
  if (CefLibraryHandle) return;
  CefLoadEngine(CefCachePath, CefUserAgent, CefProductVersion, CefLocale, CefLogFile, CefExtraPluginPaths,
                CefLogSeverity, CefReleaseDcheckEnabled, CefGraphicsImplementation, CefLocalStorageQuota,
                CefSessionStorageQuota, CefAutoDetectProxySettings, CefJavaScriptFlags, CefResourcesDirPath,
                CefLocalesDirPath, CefPackLoadingDisabled, CefUncaughtExceptionStackSize,
                CefContextSafetyImplementation);
}

detail::TCefThreadEntries detail::CefLoadThreadEntries() noexcept {
  // Read between two reads of the generation: a reload in between (which unloads
  // first) could otherwise pair entries of two engines.
  for (;;) {
    TCefThreadEntries entries;
    entries.generation = CefEngineGenerationCounter.load(std::memory_order_seq_cst);
    entries.currentlyOn = threadCurrentlyOn.load(std::memory_order_seq_cst);
    entries.postTask = threadPostTask.load(std::memory_order_seq_cst);
    if (CefEngineGenerationCounter.load(std::memory_order_seq_cst) == entries.generation) return entries;
  }
}

void detail::CefPublishThreadEntries() noexcept { PublishThreadEntries(CefLibraryHandle != nullptr); }

void detail::CefUnloadUnpinned() noexcept { pinnedLibraries.CloseUnpinned(); }

void CefRaiseEngineNotLoaded() { throw ECefException("The engine is not loaded"); }

bool CefEngineShuttingDown() noexcept { return shuttingDown.load(std::memory_order_acquire); }

void CefRunMessageLoop() {
  if (!CefLibraryHandle) return;
  struct Running {
    Running() { messageLoopRunning = true; }
    ~Running() { messageLoopRunning = false; }
  } running;
  cef_run_message_loop();
}

void CefShutdownEngine() {
  if (!CefLibraryHandle) return;
  // Unloading now would pull the library from under engine code still on the stack.
  if (CefCallbackDepth() > 0)
    throw ECefException("The engine cannot be shut down from inside one of its callbacks");
  if (messageLoopRunning) throw ECefException("The engine cannot be shut down while its message loop runs");
  shuttingDown = true;
  struct Done {
    ~Done() { shuttingDown = false; }
  } done;
  cef_shutdown();
  Unload();
}

std::vector<ustring> CefSplitPluginPaths(const ustring& text) {
  std::vector<ustring> items;
  const char16* p = text.c_str();  // the text ends at its first NUL, as the run-time reads it
  auto blank = [](char16 c) { return c >= 1 && c <= u' '; };
  while (blank(*p)) ++p;
  while (*p) {
    ustring item;
    if (*p == u'"') {
      // Quoted: up to the closing quote; a doubled quote stands for one.
      ++p;
      while (*p) {
        if (*p == u'"') {
          if (p[1] != u'"') {
            ++p;
            break;
          }
          ++p;
        }
        item += *p++;
      }
    } else {
      const char16* start = p;
      while (*p > u' ' && *p != u';') ++p;
      item.assign(start, p);
    }
    items.push_back(std::move(item));
    while (blank(*p)) ++p;
    if (*p == u';') {
      if (p[1] == 0) items.emplace_back();  // a trailing separator adds one empty item
      do ++p;
      while (blank(*p));
    }
  }
  return items;
}

void CefMaskFloatingPointExceptions() {
#if defined(_WIN32)
  _control87(_MCW_EM, _MCW_EM);
#elif defined(__i386__) || defined(__x86_64__)
  fpu_control_t word;
  _FPU_GETCW(word);
  word |= 0x3F;
  _FPU_SETCW(word);
  __fpu_control = word;  // the default for threads started from now on
#endif
}

}  // namespace ceflib
