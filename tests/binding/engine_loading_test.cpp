// The engine's life in one process, in order: nothing loaded, a missing library, an
// incomplete library, a good one, its message loop, shutdown.
#include <gtest/gtest.h>

#include <thread>

#include "ceflib/core/conversions.h"
#include "support/engine_probe.h"

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

TEST(EngineLoading, BeforeLoadingRunAndShutdownDoNothing) {
  ASSERT_EQ(CefLibraryHandle, nullptr);
  CefRunMessageLoop();  // would block if it reached an engine loop
  CefShutdownEngine();
  EXPECT_EQ(CefLibraryHandle, nullptr);
  EXPECT_EQ(cef_initialize, nullptr);
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
  CefCachePath = u"cache";
  CefExtraPluginPaths = u"one; \"two words\"";
  CefLogSeverity = 2;
  CefEnsureEngine();
  ASSERT_NE(CefLibraryHandle, nullptr);
  TCefLibraryHandle handle = CefLibraryHandle;
  CefCachePath = u"changed later";  // no effect once loaded
  CefEnsureEngine();
  CefLoadEngine(u"x", u"", u"", u"", u"", u"", 0, false, 0, 0, 0, false, u"", u"", u"", false, 0, 0);
  EXPECT_EQ(CefLibraryHandle, handle);
  EXPECT_EQ(EngineInitializeCalls(), 1);
  // The engine copied these during cef_initialize; the binding freed its list after.
  EXPECT_EQ(EngineSetting("cache_path"), u"cache");
  EXPECT_EQ(EngineSetting("extra_plugin_paths"), u"one\ntwo words");
  EXPECT_EQ(EngineIntSetting("log_severity"), 2);
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

TEST(EngineLoading, ShutdownUnloadsAndResets) {
  ASSERT_NE(CefLibraryHandle, nullptr);
  EXPECT_EQ(engine_probe::LiveObjects(), 0);
  EXPECT_EQ(engine_probe::LiveStrings(), 0);
  CefShutdownEngine();
  EXPECT_EQ(CefLibraryHandle, nullptr);
  EXPECT_EQ(cef_shutdown, nullptr);
  CefShutdownEngine();
  EXPECT_EQ(CefLibraryHandle, nullptr);
}

}  // namespace
