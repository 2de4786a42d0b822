// Engine state between cef_initialize and cef_shutdown: what was copied from the
// settings, the application's reference, the main thread, its task queue and loop.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cef/cef_records.h"
#include "objects/engine_object.h"
#include "runtime/message_loop.h"
#include "runtime/task_queue.h"
#include "runtime/worker_thread.h"

namespace cef_engine {

// The engine's own copies of the settings, readable after the program's record is gone.
struct CopiedSettings {
  std::map<std::string, std::u16string, std::less<>> strings;
  std::map<std::string, int, std::less<>> numbers;
};

class Runtime {
 public:
  static Runtime& Get();

  // Takes over the application's reference when it succeeds; refuses (false) a second
  // call before cef_shutdown, a null settings record and the multi-threaded loop.
  bool Initialize(const cef_settings_t* settings, ProgramRef<cef_app_t> app);
  void Shutdown();

  bool CurrentlyOn(cef_thread_id_t thread);
  bool PostTask(cef_thread_id_t thread, TaskQueue::Task task, std::chrono::milliseconds delay,
                uintptr_t owner = 0);
  // Engine work for one of the engine's threads; false (and `work` dropped) when the
  // engine is not running. UI work with an `owner` (not 0) goes again with DropUiWork.
  bool PostWork(cef_thread_id_t thread, std::function<void()> work,
                std::chrono::milliseconds delay = std::chrono::milliseconds(0), uintptr_t owner = 0);
  // Takes the UI work of `owner` that has not run yet out of the queue and lets it go.
  void DropUiWork(uintptr_t owner);
  bool Initialized();
  // `then` runs on the main thread once every IO task queued before this call has run
  // and has been released; false (and `then` dropped) when the engine is not running.
  bool AfterIoTasks(std::function<void()> then);

  // Modules that keep program objects register how to let them go; cef_shutdown runs
  // these first, while the threads still run, in registration order. False (nothing
  // registered) once the engine is not running or its shutdown has begun: a module must
  // not keep what it would have let go then.
  bool AtShutdown(std::function<void()> release);
  // The application's record with a reference for the caller; empty when there is none.
  ProgramRef<cef_app_t> App();
  void RunMessageLoop();
  void DoMessageLoopWork();
  void QuitMessageLoop();

  // How often cef_initialize was called since the library was loaded.
  int InitializeCalls() const noexcept { return initialize_calls_.load(); }

  std::optional<std::u16string> CopiedString(std::string_view name);
  std::optional<int> CopiedNumber(std::string_view name);

 private:
  bool OnMainThreadLocked() const { return initialized_ && std::this_thread::get_id() == main_thread_; }

  std::mutex mutex_;
  std::atomic<int> initialize_calls_{0};
  bool initialized_ = false;
  std::thread::id main_thread_;
  CopiedSettings settings_;
  ProgramRef<cef_app_t> app_;
  TaskQueue tasks_;
  std::shared_ptr<MainLoop> loop_;
  WorkerThread io_{TID_IO};
  WorkerThread file_{TID_FILE};
  std::vector<std::function<void()>> at_shutdown_;
  bool shutting_down_ = false;  // the releases have been taken
};

}  // namespace cef_engine
