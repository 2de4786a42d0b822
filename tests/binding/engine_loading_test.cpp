// The engine's life in one process, in order: nothing loaded, a missing library, an
// incomplete library, a good one, its message loop, shutdown, objects that outlive the
// engine, and starting again.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <list>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "ceflib/bridges/scheme.h"
#include "ceflib/bridges/task.h"
#include "ceflib/bridges/v8_handlers.h"
#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_services.h"
#include "ceflib/core/engine_text.h"
#include "ceflib/core/main_thread.h"
#include "ceflib/core/string_map.h"
#include "ceflib/core/url_parts.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/stream_writer.h"
#include "ceflib/wrappers/v8.h"
#include "ceflib/wrappers/web_plugin.h"
#include "support/engine_probe.h"

#if defined(_WIN32)
#include <float.h>
#elif defined(__i386__) || defined(__x86_64__)
#include <fpu_control.h>
#endif

using namespace ceflib;

namespace {

#if defined(_WIN32)
using NativeHandle = HMODULE;
NativeHandle OpenDirectly(const char16_t* name) {
  return LoadLibraryW(reinterpret_cast<const wchar_t*>(name));
}
void* Symbol(NativeHandle h, const char* name) { return reinterpret_cast<void*>(GetProcAddress(h, name)); }
void CloseDirectly(NativeHandle h) { FreeLibrary(h); }
#else
using NativeHandle = void*;
NativeHandle OpenDirectly(const char16_t* name) { return dlopen(CefToUtf8(name).c_str(), RTLD_NOW); }
void* Symbol(NativeHandle h, const char* name) { return dlsym(h, name); }
void CloseDirectly(NativeHandle h) { dlclose(h); }
#endif

ustring EngineSetting(const char* name) {
  auto copied = engine_probe::Export<cef_string_userfree_t (*)(const char*)>("cef_engine_copied_setting");
  return CefStringFreeAndGet(copied(name));
}
int EngineIntSetting(const char* name) {
  return engine_probe::Export<int (*)(const char*)>("cef_engine_int_setting")(name);
}
int EngineInitializeCalls() { return engine_probe::Export<int (*)()>("cef_engine_initialize_calls")(); }

// The x87 exception mask bits: unmasked before a load, read after it.
#if defined(_WIN32)
constexpr unsigned kAllExceptions = _MCW_EM;
void UnmaskFloatingPointExceptions() {
  _clearfp();
  _control87(0, _MCW_EM);
}
unsigned MaskedFloatingPointExceptions() { return _control87(0, 0) & _MCW_EM; }
#elif defined(__i386__) || defined(__x86_64__)
constexpr unsigned kAllExceptions = 0x3F;  // the six exceptions
void UnmaskFloatingPointExceptions() {
  __asm__ volatile("fnclex");
  fpu_control_t word;
  _FPU_GETCW(word);
  word &= ~kAllExceptions;
  _FPU_SETCW(word);
}
unsigned MaskedFloatingPointExceptions() {
  fpu_control_t word;
  _FPU_GETCW(word);
  return word & kAllExceptions;
}
#else
constexpr unsigned kAllExceptions = 0;
void UnmaskFloatingPointExceptions() {}
unsigned MaskedFloatingPointExceptions() { return 0; }
#endif

// Every loading setting with a value of its own, so that two settings of one type that
// changed places would show; the three flags are given by the caller.
void SetDistinctGlobals(bool releaseDCheck, bool autoDetectProxy, bool packLoadingDisabled) {
  CefCachePath = u"cache";
  CefUserAgent = u"agent/2";
  CefProductVersion = u"product/3";
  CefLocale = u"vi";
  CefLogFile = u"engine.log";
  CefExtraPluginPaths = u"one; \"two words\"";
  CefLogSeverity = 2;
  CefReleaseDcheckEnabled = releaseDCheck;
  CefGraphicsImplementation = 3;
  CefLocalStorageQuota = 5000000;
  CefSessionStorageQuota = 6000000;
  CefAutoDetectProxySettings = autoDetectProxy;
  CefJavaScriptFlags = u"--expose-gc";
  CefResourcesDirPath = u"resources";
  CefLocalesDirPath = u"locales";
  CefPackLoadingDisabled = packLoadingDisabled;
  CefUncaughtExceptionStackSize = 10;
  CefContextSafetyImplementation = -1;
}

void ExpectTheEngineGot(bool releaseDCheck, bool autoDetectProxy, bool packLoadingDisabled) {
  const std::pair<const char*, ustring> texts[] = {
      {"cache_path", u"cache"},
      {"user_agent", u"agent/2"},
      {"product_version", u"product/3"},
      {"locale", u"vi"},
      {"log_file", u"engine.log"},
      {"extra_plugin_paths", u"one\ntwo words"},
      {"javascript_flags", u"--expose-gc"},
      {"resources_dir_path", u"resources"},
      {"locales_dir_path", u"locales"},
  };
  for (const auto& [name, value] : texts) EXPECT_EQ(EngineSetting(name), value) << name;
  const std::pair<const char*, int> numbers[] = {
      {"log_severity", 2},
      {"release_dcheck_enabled", releaseDCheck},
      {"graphics_implementation", 3},
      {"local_storage_quota", 5000000},
      {"session_storage_quota", 6000000},
      {"auto_detect_proxy_settings_enabled", autoDetectProxy},
      {"pack_loading_disabled", packLoadingDisabled},
      {"uncaught_exception_stack_size", 10},
      {"context_safety_implementation", -1},
  };
  for (const auto& [name, value] : numbers) EXPECT_EQ(EngineIntSetting(name), value) << name;
}

TEST(EngineLoading, BeforeLoadingRunAndShutdownDoNothing) {
  ASSERT_EQ(CefLibraryHandle, nullptr);
  CefRunMessageLoop();  // would block if it reached an engine loop
  CefShutdownEngine();
  EXPECT_EQ(CefLibraryHandle, nullptr);
  EXPECT_EQ(cef_initialize, nullptr);
}

// Operations that need the engine and do not load it themselves.
const std::vector<std::pair<const char*, std::function<void()>>> kEngineOperations = {
    {"CefStringAlloc", [] { CefStringAlloc(u"text"); }},
    {"CefOwnedStringList", [] { CefOwnedStringList list; }},
    {"TCefStringMultimapOwn", [] { Make<TCefStringMultimapOwn>(); }},
    {"TCefStringMapOwn", [] { Make<TCefStringMapOwn>(); }},
    {"TCefRequestRef::New", [] { TCefRequestRef::New(); }},
    {"TCefPostDataRef::New", [] { TCefPostDataRef::New(); }},
    {"TCefStreamReaderRef::CreateForFile", [] { TCefStreamReaderRef::CreateForFile(u"file"); }},
    {"TCefv8ValueRef::CreateInt", [] { TCefv8ValueRef::CreateInt(1); }},
    {"TCefv8ValueRef::CreateString", [] { TCefv8ValueRef::CreateString(u"s"); }},
    {"TCefv8ContextRef::Current", [] { TCefv8ContextRef::Current(); }},
    {"CefRunOnMainThread", [] { CefRunOnMainThread([] {}); }},
    {"CefPostTask", [] { CefPostTask(TID_IO, [](TCefThreadId) {}); }},
    {"TCefv8ContextRef::InContext", [] { TCefv8ContextRef::InContext(); }},
    {"TCefStreamWriterRef::CreateForFile", [] { TCefStreamWriterRef::CreateForFile(u"file"); }},
    {"CefParseUrl",
     [] {
       TCefUrlParts parts;
       CefParseUrl(u"http://example.test/", parts);
     }},
    {"CefEngineToUtf8", [] { CefEngineToUtf8(u"text"); }},
    {"CefGetWebPluginCount", [] { CefGetWebPluginCount(); }},
    {"CefBuildRevision", [] { CefBuildRevision(); }},
};

void ExpectEachRaisesNotLoaded(const std::vector<std::pair<const char*, std::function<void()>>>& operations) {
  for (const auto& [name, operation] : operations) {
    try {
      operation();
      ADD_FAILURE() << name << " ran without an engine";
    } catch (const ECefException& e) {
      EXPECT_STREQ(e.what(), "The engine is not loaded") << name;
    }
  }
}

TEST(EngineLoading, BeforeLoadingOperationsRaiseOneClearError) {
  ASSERT_EQ(CefLibraryHandle, nullptr);
  ExpectEachRaisesNotLoaded(kEngineOperations);
}

TEST(EngineLoading, MissingLibraryRaisesTheSystemError) {
  CefLibraryName = u"no_such_engine_library";
  for (int attempt = 0; attempt < 2; ++attempt) {  // a later ensure tries again
    try {
      CefEnsureEngine();
      FAIL() << "loading a missing library succeeded";
    } catch (const EOSError& e) {
      std::string message = e.what();
      if (e.ErrorCode() == 0) {
        EXPECT_EQ(message, "A call to an OS function failed");
      } else {
        std::string prefix = "System Error.  Code: " + std::to_string(e.ErrorCode()) + ".\r\n";
        EXPECT_EQ(message.substr(0, prefix.size()), prefix);
        EXPECT_GT(message.size(), prefix.size()) << "the system's text follows";
      }
    }
    EXPECT_EQ(CefLibraryHandle, nullptr);
  }
}

TEST(EngineLoading, IncompleteLibraryIsRefusedAndNeverCalled) {
  // Held open here so its state outlives the binding's unload and can be asked.
  NativeHandle own = OpenDirectly(engine_probe::kIncompleteEngineName);
  ASSERT_NE(own, nullptr);
  CefLibraryName = engine_probe::kIncompleteEngineName;
  CefExtraPluginPaths = u"a;b";  // would allocate an engine list if loading went on
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      CefEnsureEngine();
      FAIL() << "an incomplete library was accepted";
    } catch (const ECefException& e) {
      EXPECT_STREQ(e.what(), "Invalid CEF Library version");
    }
    EXPECT_EQ(CefLibraryHandle, nullptr);
    EXPECT_EQ(cef_string_utf16_set, nullptr) << "the entry table is cleared";
    EXPECT_EQ(cef_string_set, nullptr);
  }
  auto calls = reinterpret_cast<int (*)()>(Symbol(own, "cef_engine_initialize_calls"));
  auto strings = reinterpret_cast<int (*)()>(Symbol(own, "cef_engine_live_strings"));
  ASSERT_TRUE(calls && strings);
  EXPECT_EQ(calls(), 0);
  EXPECT_EQ(strings(), 0);
  CloseDirectly(own);
  CefExtraPluginPaths.clear();
}

TEST(EngineLoading, LoadsOnceAndHandsOverTheSettings) {
  CefLibraryName = engine_probe::kEngineName;
  SetDistinctGlobals(true, false, false);
  UnmaskFloatingPointExceptions();
  CefEnsureEngine();
  EXPECT_EQ(MaskedFloatingPointExceptions(), kAllExceptions) << "the engine runs with x87 exceptions masked";
  ASSERT_NE(CefLibraryHandle, nullptr);
  TCefLibraryHandle handle = CefLibraryHandle;
  CefCachePath = u"changed later";  // no effect once loaded
  CefEnsureEngine();
  CefLoadEngine(u"x", u"", u"", u"", u"", u"", 0, false, 0, 0, 0, false, u"", u"", u"", false, 0, 0);
  EXPECT_EQ(CefLibraryHandle, handle);
  EXPECT_EQ(EngineInitializeCalls(), 1);
  // The engine copied these during cef_initialize; the binding freed its list after.
  ExpectTheEngineGot(true, false, false);
  EXPECT_EQ(engine_probe::LiveStrings(), 0);
}

// A task posted to the engine's main thread: quits the loop it runs in.
class QuitTask : public TCefOwn<cef_task_t> {
 public:
  explicit QuitTask(bool* destroyed) : destroyed_(destroyed) { Bind<&QuitTask::Execute>(record()->execute); }
  ~QuitTask() override { *destroyed_ = true; }
  void Execute(int threadId) {
    ranOnUiThread = threadId == TID_UI && cef_currently_on(TID_UI);
    cef_quit_message_loop();
  }
  bool ranOnUiThread = false;

 private:
  bool* destroyed_;
};

TEST(EngineLoading, MessageLoopRunsPostedTasksUntilQuit) {
  ASSERT_NE(CefLibraryHandle, nullptr);
  bool destroyed = false;
  RefPtr<QuitTask> task = Make<QuitTask>(&destroyed);
  std::thread poster(
      [record = task->Wrap()] { cef_post_task(TID_UI, reinterpret_cast<cef_task_t*>(record)); });
  CefRunMessageLoop();
  poster.join();
  EXPECT_TRUE(task->ranOnUiThread);
  EXPECT_EQ(task->RefCount(), 1) << "the engine released the task's reference after running it";
  task.reset();
  EXPECT_TRUE(destroyed);
}

// Tries to shut the engine down from inside one of its callbacks, then quits the loop.
class ShutdownTask : public TCefOwn<cef_task_t> {
 public:
  ShutdownTask() { Bind<&ShutdownTask::Execute>(record()->execute); }
  void Execute(int) {
    try {
      CefShutdownEngine();
    } catch (const ECefException& e) {
      refusal = e.what();
    }
    stillLoaded = CefLibraryHandle != nullptr && cef_quit_message_loop != nullptr;
    if (cef_quit_message_loop) cef_quit_message_loop();
  }
  std::string refusal;
  bool stillLoaded = false;
};

TEST(EngineLoading, ShutdownFromInsideACallbackIsRefused) {
  ASSERT_NE(CefLibraryHandle, nullptr);
  RefPtr<ShutdownTask> task = Make<ShutdownTask>();
  std::thread poster(
      [record = task->Wrap()] { cef_post_task(TID_UI, reinterpret_cast<cef_task_t*>(record)); });
  CefRunMessageLoop();
  poster.join();
  EXPECT_EQ(task->refusal, "The engine cannot be shut down from inside one of its callbacks");
  EXPECT_TRUE(task->stillLoaded);
  EXPECT_NE(CefLibraryHandle, nullptr);
}

TEST(EngineLoading, ShutdownUnloadsAndResets) {
  ASSERT_NE(CefLibraryHandle, nullptr);
  EXPECT_EQ(engine_probe::LiveObjects(), 0);
  EXPECT_EQ(engine_probe::LiveStrings(), 0);
  CefShutdownEngine();
  EXPECT_EQ(CefLibraryHandle, nullptr);
  EXPECT_EQ(cef_shutdown, nullptr);
  CefShutdownEngine();
  EXPECT_EQ(CefLibraryHandle, nullptr);
  ExpectEachRaisesNotLoaded(kEngineOperations);
}

// Tells the test when a main-thread call has been posted to the engine.
decltype(cef_post_task) gEnginePost = nullptr;
std::promise<void> gPosted;
int PostAndTell(cef_thread_id_t thread, cef_task_t* task) {
  const int posted = gEnginePost(thread, task);
  gPosted.set_value();
  return posted;
}

TEST(EngineLoading, ObjectsThatOutliveTheEngineAreReleasedSafely) {
  CefLibraryName = engine_probe::kEngineName;
  CefEnsureEngine();
  ASSERT_NE(CefLibraryHandle, nullptr);
  std::optional<CefOwnedStringList> list(std::in_place);
  list->Append(u"item");
  RefPtr<ICefStringMultimap> headers = Make<TCefStringMultimapOwn>();
  headers->Append(u"Accept", u"*/*");
  RefPtr<ICefStringMap> attributes = Make<TCefStringMapOwn>();
  RefPtr<ICefRequest> request = TCefRequestRef::New();
  ASSERT_NE(request, nullptr);
  request->SetUrl(u"http://example.test/");
  RefPtr<ICefV8Value> value = TCefv8ValueRef::CreateString(u"value");

  // A call waiting for the main thread when the engine shuts down fails quietly.
  std::vector<std::string> reported;
  CefOnEntryException = [&](std::exception_ptr e) { reported.push_back(CefExceptionMessage(e)); };
  gEnginePost = cef_post_task;
  cef_post_task = &PostAndTell;
  detail::CefPublishThreadEntries();
  bool ran = false;
  std::thread waiting([&] { CefGuarded([&] { CefRunOnMainThread([&] { ran = true; }); }); });
  gPosted.get_future().wait();

  CefShutdownEngine();
  waiting.join();
  CefOnEntryException = nullptr;
  EXPECT_EQ(CefLibraryHandle, nullptr);
  EXPECT_FALSE(ran);
  EXPECT_EQ(reported, std::vector<std::string>{}) << "an orderly shutdown is no fault";

  // Operations on objects of the shut-down engine raise; releasing them, in any order,
  // gives their resources back without a crash.
  ExpectEachRaisesNotLoaded({
      {"ICefRequest::GetUrl", [&] { request->GetUrl(); }},
      {"ICefStringMultimap::GetSize", [&] { headers->GetSize(); }},
      {"ICefStringMap::Append", [&] { attributes->Append(u"k", u"v"); }},
      {"CefOwnedStringList::Append", [&] { list->Append(u"more"); }},
      {"ICefV8Value::GetStringValue", [&] { value->GetStringValue(); }},
  });
  // Made on this thread, the last ones go on others; the library stays mapped until
  // the very last has gone.
  headers.reset();
  request.reset();
  std::thread([&] { list.reset(); }).join();
  EXPECT_TRUE(engine_probe::Mapped(engine_probe::kEngineName));
  std::thread([&] { value.reset(); }).join();
  EXPECT_TRUE(engine_probe::Mapped(engine_probe::kEngineName));
  attributes.reset();
  EXPECT_FALSE(engine_probe::Mapped(engine_probe::kEngineName));
  ExpectEachRaisesNotLoaded(kEngineOperations);
}

// Each engine cycle keeps one object past its shutdown: all those libraries stay mapped
// until the objects go, however many there are, and then the library is unmapped.
TEST(EngineLoading, LibrariesOfManyShutDownEnginesStayMappedUntilTheirObjectsGo) {
  CefLibraryName = engine_probe::kEngineName;
  std::list<CefOwnedStringList> kept;
  for (int cycle = 0; cycle < 20; ++cycle) {
    CefEnsureEngine();
    kept.emplace_back();
    CefShutdownEngine();
  }
  EXPECT_TRUE(engine_probe::Mapped(engine_probe::kEngineName));
  kept.pop_back();
  EXPECT_TRUE(engine_probe::Mapped(engine_probe::kEngineName));
  kept.clear();
  EXPECT_FALSE(engine_probe::Mapped(engine_probe::kEngineName));
}

// Registration and browser creation start the engine themselves, with the globals.
TEST(EngineLoading, RegistrationAndBrowserCreationLoadTheEngineWhenNeeded) {
  const std::pair<const char*, std::function<bool()>> starters[] = {
      {"scheme handler factory",
       [] { return CefRegisterSchemeHandlerFactory(u"loaded", u"", false, TCefSchemeHandlerClass()); }},
      {"extension", [] { return CefRegisterExtension(u"v8/loaded", u"var loaded = 1;", nullptr); }},
      {"browser creation",
       [] {
         cef_window_info_t info{};
         cef_browser_settings_t settings{};
         settings.size = sizeof(settings);
         return CefBrowserCreate(info, nullptr, u"about:blank", settings);
       }},
  };
  for (const auto& [what, start] : starters) {
    SCOPED_TRACE(what);
    ASSERT_EQ(CefLibraryHandle, nullptr);
    SetDistinctGlobals(false, true, false);  // the flags the first load could not tell apart
    EXPECT_TRUE(start());
    ASSERT_NE(CefLibraryHandle, nullptr);
    ExpectTheEngineGot(false, true, false);
    CefShutdownEngine();
  }
}

}  // namespace
