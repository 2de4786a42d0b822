// cef_initialize and cef_shutdown, and the main thread's loop: settings copied during
// the call, the application's reference, tasks posted from other threads, delays,
// quitting, and tasks dropped at shutdown.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstddef>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "engine_test_support.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace {

using engine_test::FakeApp;
using engine_test::FakeTask;
using engine_test::StringBalance;
using engine_test::View;
using namespace std::chrono_literals;

std::optional<std::u16string> CopiedSetting(const char* name) {
  cef_string_userfree_t copy = cef_engine_copied_setting(name);
  if (!copy) return std::nullopt;
  std::u16string text = engine_test::Text(*copy);
  cef_string_userfree_utf16_free(copy);
  return text;
}

cef_settings_t DefaultSettings() {
  cef_settings_t settings{};
  settings.size = sizeof(settings);
  settings.log_severity = LOGSEVERITY_DISABLE;
  return settings;
}

class EngineRuntimeTest : public testing::Test {
 protected:
  void TearDown() override { cef_shutdown(); }

  void Initialize(FakeApp* app = nullptr) {
    const cef_settings_t settings = DefaultSettings();
    ASSERT_EQ(cef_initialize(&settings, app ? app->HandOver() : nullptr), 1);
  }

  StringBalance balance_;
};

TEST_F(EngineRuntimeTest, InitializeCopiesSettingsBeforeItReturns) {
  // Texts and the plugin-path list live only for the call, as in the binding.
  struct Text {
    const char* name;
    cef_string_t cef_settings_t::*field;
    std::u16string expected;
    std::u16string buffer = {};
  };
  std::vector<Text> texts = {
      {"cache_path", &cef_settings_t::cache_path, u"cache"},
      {"user_agent", &cef_settings_t::user_agent, u"Tessaril/1.0 \u2603"},
      {"product_version", &cef_settings_t::product_version, u""},
      {"locale", &cef_settings_t::locale, u"vi"},
      {"log_file", &cef_settings_t::log_file, u"debug.log"},
      {"javascript_flags", &cef_settings_t::javascript_flags, u"--harmony"},
      {"resources_dir_path", &cef_settings_t::resources_dir_path, u"res"},
      {"locales_dir_path", &cef_settings_t::locales_dir_path, u"locales"},
  };
  cef_settings_t settings = DefaultSettings();
  for (auto& text : texts) settings.*text.field = View(text.buffer = text.expected);
  settings.log_severity = LOGSEVERITY_WARNING;
  settings.graphics_implementation = DESKTOP_IN_PROCESS;
  settings.local_storage_quota = 5000000;
  settings.session_storage_quota = 7;
  settings.uncaught_exception_stack_size = 20;
  settings.context_safety_implementation = -1;  // disabled
  settings.release_dcheck_enabled = true;
  settings.pack_loading_disabled = true;
  std::u16string plugin_a = u"C:\\Plugins", plugin_b = u"D:\\\U0001F600";
  settings.extra_plugin_paths = cef_string_list_alloc();
  for (auto* item : {&plugin_a, &plugin_b}) {
    const auto view = View(*item);
    cef_string_list_append(settings.extra_plugin_paths, &view);
  }

  FakeApp app;
  ASSERT_EQ(cef_initialize(&settings, app.HandOver()), 1);
  cef_string_list_free(settings.extra_plugin_paths);
  for (auto& text : texts) text.buffer.assign(text.buffer.size(), u'#');
  plugin_a.assign(plugin_a.size(), u'#');
  std::memset(static_cast<void*>(&settings), 0xEE, sizeof(settings));

  for (const auto& text : texts) EXPECT_EQ(CopiedSetting(text.name), text.expected) << text.name;
  EXPECT_EQ(CopiedSetting("extra_plugin_paths"), u"C:\\Plugins\nD:\\\U0001F600");
  EXPECT_EQ(CopiedSetting("no_such_setting"), std::nullopt);
  const std::vector<std::pair<const char*, int>> numbers = {
      {"size", static_cast<int>(sizeof(cef_settings_t))},
      {"extra_plugin_path_count", 2},
      {"log_severity", LOGSEVERITY_WARNING},
      {"graphics_implementation", DESKTOP_IN_PROCESS},
      {"local_storage_quota", 5000000},
      {"session_storage_quota", 7},
      {"uncaught_exception_stack_size", 20},
      {"context_safety_implementation", -1},
      {"release_dcheck_enabled", 1},
      {"pack_loading_disabled", 1},
      {"auto_detect_proxy_settings_enabled", 0},
      {"multi_threaded_message_loop", 0},
      {"no_such_setting", INT_MIN},
  };
  for (const auto& [name, expected] : numbers) EXPECT_EQ(cef_engine_int_setting(name), expected) << name;

  EXPECT_EQ(app.refs(), 1) << "the engine keeps the reference it was given";
  EXPECT_EQ(app.member_calls(), 0) << "the application is not asked anything yet";
  cef_shutdown();
  EXPECT_EQ(app.refs(), 0);
  EXPECT_FALSE(app.went_negative());
  EXPECT_EQ(CopiedSetting("cache_path"), std::nullopt) << "nothing is kept after shutdown";
  EXPECT_EQ(cef_engine_int_setting("log_severity"), INT_MIN);
}

TEST_F(EngineRuntimeTest, FieldsPastTheRecordsOwnSizeAreNotRead) {
  std::u16string cache = u"cache", log_file = u"ignored";
  cef_settings_t settings = DefaultSettings();
  settings.size = offsetof(cef_settings_t, extra_plugin_paths);  // an older, shorter record
  settings.cache_path = View(cache);
  settings.log_file = View(log_file);
  settings.extra_plugin_paths = reinterpret_cast<cef_string_list_t>(0x1234);  // must not be followed
  ASSERT_EQ(cef_initialize(&settings, nullptr), 1);
  EXPECT_EQ(CopiedSetting("cache_path"), u"cache");
  EXPECT_EQ(CopiedSetting("log_file"), u"");
  EXPECT_EQ(cef_engine_int_setting("log_severity"), 0);
  EXPECT_EQ(cef_engine_int_setting("extra_plugin_path_count"), 0);
}

TEST_F(EngineRuntimeTest, RefusedInitializeKeepsNothingAndReleasesTheApplication) {
  FakeApp first, second, refused;
  EXPECT_EQ(cef_initialize(nullptr, refused.HandOver()), 0);
  cef_settings_t threaded = DefaultSettings();
  threaded.multi_threaded_message_loop = true;  // the loop always runs on the caller's thread
  EXPECT_EQ(cef_initialize(&threaded, refused.HandOver()), 0);
  EXPECT_EQ(refused.refs(), 0);
  EXPECT_EQ(cef_currently_on(TID_UI), 0);

  std::u16string one = u"one", two = u"two";
  cef_settings_t settings = DefaultSettings();
  settings.cache_path = View(one);
  ASSERT_EQ(cef_initialize(&settings, first.HandOver()), 1);
  settings.cache_path = View(two);
  EXPECT_EQ(cef_initialize(&settings, second.HandOver()), 0) << "a second call before shutdown";
  EXPECT_EQ(CopiedSetting("cache_path"), u"one");
  EXPECT_EQ(first.refs(), 1);
  EXPECT_EQ(second.refs(), 0) << "the refused application's reference is released";

  cef_shutdown();
  cef_shutdown();  // nothing left to do
  EXPECT_EQ(first.refs(), 0);
  EXPECT_FALSE(first.went_negative() || second.went_negative() || refused.went_negative());

  settings.cache_path = View(two);
  ASSERT_EQ(cef_initialize(&settings, nullptr), 1) << "the engine starts again after shutdown";
  EXPECT_EQ(CopiedSetting("cache_path"), u"two");
}

TEST_F(EngineRuntimeTest, TasksPostedFromAnotherThreadRunInOrderOnTheMainThread) {
  Initialize();
  std::vector<int> order;
  FakeTask first([&] { order.push_back(cef_currently_on(TID_UI) ? 1 : -1); });
  FakeTask second([&] { order.push_back(2); });
  FakeTask last([&] {
    order.push_back(3);
    cef_quit_message_loop();
  });
  std::vector<int> posted;
  // The loop is already waiting when the posts arrive, so they must wake it.
  std::thread poster([&] {
    posted.push_back(cef_currently_on(TID_UI));  // only the initializing thread is the UI thread
    std::this_thread::sleep_for(50ms);
    for (auto* task : {&first, &second, &last}) posted.push_back(cef_post_task(TID_UI, task->HandOver()));
  });
  cef_run_message_loop();
  poster.join();

  EXPECT_EQ(posted, (std::vector<int>{0, 1, 1, 1}));
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  for (const auto* task : {&first, &second, &last}) {
    EXPECT_EQ(task->runs(), 1);
    EXPECT_EQ(task->ran_on(), std::this_thread::get_id());
    EXPECT_EQ(task->ran_as(), TID_UI);
    EXPECT_TRUE(task->released()) << "the engine releases each task after running it";
  }
}

TEST_F(EngineRuntimeTest, DelayedTaskWaitsForItsDelay) {
  Initialize();
  std::vector<char> order;
  const auto posted_at = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point ran_at;
  FakeTask delayed([&] {
    order.push_back('D');
    ran_at = std::chrono::steady_clock::now();
    cef_quit_message_loop();
  });
  FakeTask immediate([&] { order.push_back('I'); });
  ASSERT_EQ(cef_post_delayed_task(TID_UI, delayed.HandOver(), 80), 1);
  ASSERT_EQ(cef_post_task(TID_UI, immediate.HandOver()), 1);
  cef_run_message_loop();

  EXPECT_EQ(order, (std::vector<char>{'I', 'D'}));
  EXPECT_GE(ran_at - posted_at, 80ms) << "a delayed task never runs early";
  EXPECT_TRUE(delayed.released() && immediate.released());
}

TEST_F(EngineRuntimeTest, QuitFromAnotherThreadEndsTheRunningLoop) {
  Initialize();
  std::mutex mutex;
  std::condition_variable started;
  bool running = false;
  FakeTask probe([&] {
    std::lock_guard lock(mutex);
    running = true;
    started.notify_all();
  });
  ASSERT_EQ(cef_post_task(TID_UI, probe.HandOver()), 1);
  std::thread quitter([&] {
    std::unique_lock lock(mutex);
    started.wait(lock, [&] { return running; });
    cef_quit_message_loop();
  });
  cef_run_message_loop();  // returns only through the other thread's quit
  quitter.join();
  EXPECT_EQ(probe.runs(), 1);
}

TEST_F(EngineRuntimeTest, QuitBeforeTheLoopRunsPendingTasksThenEndsIt) {
  Initialize();
  FakeTask pending;
  ASSERT_EQ(cef_post_task(TID_UI, pending.HandOver()), 1);
  cef_quit_message_loop();
  cef_run_message_loop();
  EXPECT_EQ(pending.runs(), 1);
  EXPECT_TRUE(pending.released());
}

// A task that posts itself again at once is always due; the loop still ends at the quit,
// before any task due after the request.
TEST_F(EngineRuntimeTest, QuitEndsTheLoopBeforeTasksDueAfterIt) {
  Initialize();
  constexpr int kRuns = 50;
  FakeTask* self = nullptr;
  FakeTask again([&] {
    if (self->runs() == kRuns) cef_quit_message_loop();
    cef_post_task(TID_UI, self->HandOver());
  });
  self = &again;
  ASSERT_EQ(cef_post_task(TID_UI, again.HandOver()), 1);
  cef_run_message_loop();
  EXPECT_GE(again.runs(), kRuns);
  EXPECT_LE(again.runs(), kRuns + 1) << "one more only when it was posted at the very tick of the quit";
  cef_shutdown();
  EXPECT_TRUE(again.released());
}

TEST_F(EngineRuntimeTest, ShutdownFromATaskEndsTheLoopAndDropsTheRest) {
  FakeApp app;
  Initialize(&app);
  FakeTask never;
  FakeTask stopper([&] {
    cef_post_task(TID_UI, never.HandOver());
    cef_shutdown();
  });
  ASSERT_EQ(cef_post_task(TID_UI, stopper.HandOver()), 1);
  cef_run_message_loop();  // returns without a quit
  EXPECT_EQ(stopper.runs(), 1);
  EXPECT_EQ(never.runs(), 0);
  EXPECT_TRUE(stopper.released() && never.released());
  EXPECT_EQ(app.refs(), 0);
}

TEST_F(EngineRuntimeTest, DoMessageLoopWorkRunsWhatIsDueWithoutBlocking) {
  Initialize();
  cef_do_message_loop_work();  // nothing queued: returns at once

  FakeTask follow_up;
  FakeTask first([&] { cef_post_task(TID_UI, follow_up.HandOver()); });
  FakeTask far_future;
  ASSERT_EQ(cef_post_task(TID_UI, first.HandOver()), 1);
  ASSERT_EQ(cef_post_delayed_task(TID_UI, far_future.HandOver(), 3600 * 1000), 1);

  cef_do_message_loop_work();
  EXPECT_EQ(first.runs(), 1);
  EXPECT_EQ(follow_up.runs(), 0) << "a task posted during the call waits for the next one";
  cef_do_message_loop_work();
  EXPECT_EQ(follow_up.runs(), 1);
  EXPECT_EQ(far_future.runs(), 0);

  FakeTask later;
  ASSERT_EQ(cef_post_task(TID_UI, later.HandOver()), 1);
  std::thread(cef_do_message_loop_work).join();  // not the UI thread: runs nothing
  EXPECT_EQ(later.runs(), 0);
  cef_do_message_loop_work();
  EXPECT_EQ(later.runs(), 1);

  cef_shutdown();
  EXPECT_EQ(far_future.runs(), 0) << "shutdown drops queued tasks without running them";
  EXPECT_TRUE(first.released() && follow_up.released() && later.released() && far_future.released());
}

TEST_F(EngineRuntimeTest, RefusedTasksAreReleasedAtOnce) {
  FakeTask before_init;
  EXPECT_EQ(cef_post_task(TID_UI, before_init.HandOver()), 0);
  EXPECT_TRUE(before_init.released());

  Initialize();
  FakeTask queued, unknown_thread;
  EXPECT_EQ(cef_post_task(TID_UI, nullptr), 0);
  EXPECT_EQ(cef_post_task(static_cast<cef_thread_id_t>(7), unknown_thread.HandOver()), 0);
  EXPECT_TRUE(unknown_thread.released());

  ASSERT_EQ(cef_post_task(TID_UI, queued.HandOver()), 1);
  cef_shutdown();
  EXPECT_TRUE(queued.released());
  EXPECT_EQ(queued.runs(), 0);

  FakeTask after_shutdown;
  EXPECT_EQ(cef_post_task(TID_UI, after_shutdown.HandOver()), 0);
  EXPECT_TRUE(after_shutdown.released());
  cef_run_message_loop();  // not initialized: returns at once
}

// The IO and FILE threads run their tasks in order, each on a thread of its own that
// cef_currently_on tells apart; tasks still queued at shutdown are released unrun.
TEST_F(EngineRuntimeTest, IoAndFileThreadsRunTheirOwnTasks) {
  Initialize();
  EXPECT_EQ(cef_currently_on(TID_IO) + cef_currently_on(TID_FILE), 0) << "the main thread is neither";
  struct Run {
    char name;
    int on_ui, on_io, on_file;
  };
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<Run> runs;
  auto record = [&](char name) {
    return [&, name] {
      std::lock_guard lock(mutex);
      runs.push_back({name, cef_currently_on(TID_UI), cef_currently_on(TID_IO), cef_currently_on(TID_FILE)});
      changed.notify_all();
    };
  };
  FakeTask io_first(record('a')), io_second(record('b')), file_task(record('f')), never;
  ASSERT_EQ(cef_post_delayed_task(TID_IO, io_second.HandOver(), 20), 1);
  ASSERT_EQ(cef_post_task(TID_IO, io_first.HandOver()), 1);
  ASSERT_EQ(cef_post_task(TID_FILE, file_task.HandOver()), 1);
  ASSERT_EQ(cef_post_delayed_task(TID_FILE, never.HandOver(), 3600 * 1000), 1);
  {
    std::unique_lock lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return runs.size() == 3; }));
  }
  std::string io_order;
  for (const auto& run : runs) {
    EXPECT_EQ(run.on_ui, 0);
    EXPECT_EQ(run.on_io, run.name == 'f' ? 0 : 1) << run.name;
    EXPECT_EQ(run.on_file, run.name == 'f' ? 1 : 0) << run.name;
    if (run.name != 'f') io_order += run.name;
  }
  EXPECT_EQ(io_order, "ab") << "the delayed task runs after the immediate one";
  EXPECT_EQ(io_first.ran_as(), TID_IO);
  EXPECT_EQ(file_task.ran_as(), TID_FILE);
  EXPECT_EQ(io_first.ran_on(), io_second.ran_on()) << "one IO thread";
  EXPECT_NE(io_first.ran_on(), file_task.ran_on());
  EXPECT_NE(io_first.ran_on(), std::this_thread::get_id());

  cef_shutdown();
  EXPECT_EQ(never.runs(), 0);
  EXPECT_TRUE(io_first.released() && io_second.released() && file_task.released() && never.released());
  FakeTask after;
  EXPECT_EQ(cef_post_task(TID_IO, after.HandOver()), 0) << "no IO thread after shutdown";
  EXPECT_TRUE(after.released());
}

#if defined(_WIN32)
constexpr UINT kPing = WM_APP + 7;
int pings = 0;

LRESULT CALLBACK PingWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kPing) {
    ++pings;
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// The launcher's window procedure runs inside this loop and ends it with
// PostQuitMessage from WM_DESTROY; tasks and window messages share the loop.
TEST_F(EngineRuntimeTest, LoopDispatchesWindowMessagesAndEndsOnTheThreadsQuit) {
  Initialize();
  pings = 0;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &PingWindowProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"EngineLoopTestWindow";
  ASSERT_NE(RegisterClassExW(&window_class), 0);
  HWND window = CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                window_class.hInstance, nullptr);
  ASSERT_NE(window, nullptr);

  FakeTask task([&] { PostMessageW(window, kPing, 0, 0); });
  std::thread poster([&] { cef_post_task(TID_UI, task.HandOver()); });
  cef_run_message_loop();
  poster.join();
  EXPECT_EQ(task.runs(), 1);
  EXPECT_EQ(pings, 1);
  DestroyWindow(window);
  UnregisterClassW(window_class.lpszClassName, window_class.hInstance);
}
#endif

// Script values the program releases on threads of its own while the main thread goes
// on making and releasing values, and again after cef_shutdown: each goes once, and
// nothing of the script heap is touched by two threads at once (also under TSan).
TEST_F(EngineRuntimeTest, ScriptValuesAreReleasedOnAnyThreadAtAnyTime) {
  Initialize();
  constexpr int kThreads = 4;
  constexpr int kPerThread = 300;
  auto make = [](int i) -> cef_v8value_t* {
    const cef_string_t text = View(u"value");
    switch (i % 3) {
      case 0:
        return cef_v8value_create_string(&text);
      case 1:
        return cef_v8value_create_object(nullptr);
      default:
        return cef_v8value_create_int(i);
    }
  };
  auto release_on_threads = [&](bool main_goes_on) {
    std::vector<std::vector<cef_v8value_t*>> batches(kThreads);
    for (int t = 0; t < kThreads; ++t)
      for (int i = 0; i < kPerThread; ++i) batches[t].push_back(make(i));
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    for (auto& batch : batches) {
      threads.emplace_back([&batch, &done] {
        for (auto* value : batch) value->base.release(&value->base);
        ++done;
      });
    }
    for (int i = 0; main_goes_on && done < kThreads; ++i) {
      cef_v8value_t* value = make(i);
      EXPECT_EQ(value->is_valid(value), 1);
      value->base.release(&value->base);
    }
    for (auto& thread : threads) thread.join();
  };
  release_on_threads(true);
  std::vector<cef_v8value_t*> kept;
  for (int i = 0; i < kPerThread; ++i) kept.push_back(make(i));
  cef_shutdown();
  release_on_threads(false);
  std::thread([&] {
    for (auto* value : kept) value->base.release(&value->base);
  }).join();
  EXPECT_EQ(cef_engine_live_objects(), 0);
}

}  // namespace
