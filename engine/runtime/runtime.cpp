// cef_initialize and cef_shutdown, the main thread's loop and its tasks.
#include "runtime/runtime.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cef_engine.h"
#include "objects/immortal.h"
#include "runtime/engine_task.h"
#include "strings/string_collections.h"
#include "strings/text.h"

namespace cef_engine {
namespace {

struct StringField {
  const char* name;
  size_t offset;
};
struct NumberField {
  const char* name;
  size_t offset;
  size_t width;  // 1 for the one-byte flags, 4 for the numbers
};

#define CEF_ENGINE_STRING_FIELD(field) \
  StringField { #field, offsetof(cef_settings_t, field) }
#define CEF_ENGINE_NUMBER_FIELD(field) \
  NumberField { #field, offsetof(cef_settings_t, field), sizeof(cef_settings_t::field) }

constexpr StringField kStringFields[] = {
    CEF_ENGINE_STRING_FIELD(cache_path),         CEF_ENGINE_STRING_FIELD(user_agent),
    CEF_ENGINE_STRING_FIELD(product_version),    CEF_ENGINE_STRING_FIELD(locale),
    CEF_ENGINE_STRING_FIELD(log_file),           CEF_ENGINE_STRING_FIELD(javascript_flags),
    CEF_ENGINE_STRING_FIELD(resources_dir_path), CEF_ENGINE_STRING_FIELD(locales_dir_path),
};
constexpr NumberField kNumberFields[] = {
    CEF_ENGINE_NUMBER_FIELD(multi_threaded_message_loop),
    CEF_ENGINE_NUMBER_FIELD(log_severity),
    CEF_ENGINE_NUMBER_FIELD(release_dcheck_enabled),
    CEF_ENGINE_NUMBER_FIELD(graphics_implementation),
    CEF_ENGINE_NUMBER_FIELD(local_storage_quota),
    CEF_ENGINE_NUMBER_FIELD(session_storage_quota),
    CEF_ENGINE_NUMBER_FIELD(auto_detect_proxy_settings_enabled),
    CEF_ENGINE_NUMBER_FIELD(pack_loading_disabled),
    CEF_ENGINE_NUMBER_FIELD(uncaught_exception_stack_size),
    CEF_ENGINE_NUMBER_FIELD(context_safety_implementation),
};
#undef CEF_ENGINE_STRING_FIELD
#undef CEF_ENGINE_NUMBER_FIELD
static_assert(sizeof(cef_settings_t::log_severity) == 4 &&
              sizeof(cef_settings_t::pack_loading_disabled) == 1);

// Copies every setting the engine keeps, since the program frees the record's texts and
// its plugin-path list as soon as cef_initialize returns. Fields past the record's own
// size (an older, shorter record) read as zero. Flags are read as their one byte, so a
// byte other than 0 or 1 cannot produce an invalid bool.
CopiedSettings CopySettings(const cef_settings_t& settings) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&settings);
  const size_t size = settings.size;
  auto present = [size](size_t offset, size_t width) { return offset + width <= size; };

  CopiedSettings copied;
  copied.numbers["size"] = static_cast<int>(size);
  for (const auto& field : kStringFields) {
    cef_string_t text{};
    if (present(field.offset, sizeof text)) std::memcpy(&text, bytes + field.offset, sizeof text);
    copied.strings[field.name] = std::u16string(ViewOf(&text));
  }
  for (const auto& field : kNumberFields) {
    int32_t value = 0;
    if (present(field.offset, field.width)) {
      if (field.width == 1) {
        value = bytes[field.offset] != 0;
      } else {
        std::memcpy(&value, bytes + field.offset, sizeof value);
      }
    }
    copied.numbers[field.name] = value;
  }

  cef_string_list_t list = nullptr;
  constexpr size_t kListOffset = offsetof(cef_settings_t, extra_plugin_paths);
  if (present(kListOffset, sizeof list)) std::memcpy(&list, bytes + kListOffset, sizeof list);
  const auto items =
      list ? CopyStringList(list).value_or(std::vector<std::u16string>{}) : std::vector<std::u16string>{};
  std::u16string joined;
  for (size_t i = 0; i < items.size(); ++i) joined += (i ? u"\n" : u"") + items[i];
  copied.strings["extra_plugin_paths"] = joined;
  copied.numbers["extra_plugin_path_count"] = static_cast<int>(items.size());
  return copied;
}

// Far enough for any real delay, near enough that the due time cannot overflow.
constexpr int64_t kLongestDelayMs = int64_t{365} * 24 * 60 * 60 * 1000;

}  // namespace

Runtime& Runtime::Get() {
  // Immortal: programs shut the engine down from their own static destructors.
  static Immortal<Runtime> runtime;
  return *runtime;
}

bool Runtime::Initialize(const cef_settings_t* settings, ProgramRef<cef_app_t> app) {
  ++initialize_calls_;
  if (!settings) return false;
  std::lock_guard lock(mutex_);
  if (initialized_) return false;
  CopiedSettings copied = CopySettings(*settings);
  // The loop runs on the caller's thread only; a loop on a thread of the engine's own
  // is not offered.
  if (copied.numbers["multi_threaded_message_loop"] != 0) return false;
  tasks_.Open();
  auto loop = MainLoop::Create(tasks_);
  if (!loop) {
    tasks_.Close();
    return false;
  }
  initialized_ = true;
  shutting_down_ = false;
  io_.Start();
  file_.Start();
  main_thread_ = std::this_thread::get_id();
  settings_ = std::move(copied);
  app_ = std::move(app);
  loop_ = std::move(loop);
  return true;
}

void Runtime::Shutdown() {
  std::vector<std::function<void()>> releases;
  {
    std::lock_guard lock(mutex_);
    if (!initialized_) return;
    releases.swap(at_shutdown_);
    shutting_down_ = true;
  }
  // Modules let go of browsers, loads and factories while the threads still run.
  for (auto& release : releases) release();

  std::vector<TaskQueue::Task> dropped;
  ProgramRef<cef_app_t> app;
  std::shared_ptr<MainLoop> loop;
  {
    std::lock_guard lock(mutex_);
    initialized_ = false;
    main_thread_ = {};
    settings_ = {};
    dropped = tasks_.Close();
    app = std::move(app_);
    loop = std::move(loop_);
  }
  // Released outside the lock, since a release may call back into the engine. Queued
  // UI tasks never run; they go first, so a worker waiting for one is let go. Then the
  // IO thread runs what is queued for it (the stopped loads call their handlers'
  // cancel there) before the workers are stopped. The application goes last.
  loop.reset();
  dropped.clear();
  io_.Drain();
  for (auto* worker : {&io_, &file_}) worker->Stop().clear();
  app.Reset();
  const std::string alive = LiveCounts::Report();
  if (!alive.empty()) std::fprintf(stderr, "cef_shutdown: engine objects still alive: %s\n", alive.c_str());
}

bool Runtime::Initialized() {
  std::lock_guard lock(mutex_);
  return initialized_;
}

bool Runtime::AfterIoTasks(std::function<void()> then) {
  return PostWork(TID_IO, [this, then = std::move(then)]() mutable {
    io_.AfterCurrentTask(
        [then = std::move(then)]() mutable { Runtime::Get().PostWork(TID_UI, std::move(then)); });
  });
}

bool Runtime::AtShutdown(std::function<void()> release) {
  std::lock_guard lock(mutex_);
  if (!initialized_ || shutting_down_) return false;
  at_shutdown_.push_back(std::move(release));
  return true;
}

ProgramRef<cef_app_t> Runtime::App() {
  std::lock_guard lock(mutex_);
  return ProgramRef<cef_app_t>::Retain(app_.get());
}

bool Runtime::PostWork(cef_thread_id_t thread, std::function<void()> work, std::chrono::milliseconds delay,
                       uintptr_t owner) {
  return PostTask(thread, TaskQueue::Task::Adopt(NewEngineRecord<ClosureTask>(std::move(work))), delay,
                  owner);
}

void Runtime::DropUiWork(uintptr_t owner) {
  // Released here, outside the queue's lock.
  std::vector<TaskQueue::Task> dropped = tasks_.DropOwned(owner);
}

bool Runtime::CurrentlyOn(cef_thread_id_t thread) {
  std::lock_guard lock(mutex_);
  if (!initialized_) return false;
  switch (thread) {
    case TID_UI:
      return OnMainThreadLocked();
    case TID_IO:
      return io_.IsCurrent();
    case TID_FILE:
      return file_.IsCurrent();
  }
  return false;
}

bool Runtime::PostTask(cef_thread_id_t thread, TaskQueue::Task task, std::chrono::milliseconds delay,
                       uintptr_t owner) {
  // A refused task keeps its reference in `task`; it is released here, after the lock.
  {
    std::lock_guard lock(mutex_);
    if (!task || !initialized_) return false;
    switch (thread) {
      case TID_UI:
        if (!tasks_.Post(task, delay, owner)) return false;
        loop_->TasksChanged();
        return true;
      case TID_IO:
        return io_.Post(task, delay);
      case TID_FILE:
        return file_.Post(task, delay);
    }
  }
  return false;
}

void Runtime::RunMessageLoop() {
  std::shared_ptr<MainLoop> loop;
  {
    std::lock_guard lock(mutex_);
    if (!OnMainThreadLocked()) return;
    loop = loop_;
  }
  loop->Run();
}

void Runtime::DoMessageLoopWork() {
  {
    std::lock_guard lock(mutex_);
    if (!OnMainThreadLocked()) return;
  }
  for (auto& task : tasks_.TakeAllDue(TaskQueue::Clock::now())) RunTask(std::move(task));
}

void Runtime::QuitMessageLoop() {
  std::lock_guard lock(mutex_);
  if (initialized_) loop_->Quit();
}

std::optional<std::u16string> Runtime::CopiedString(std::string_view name) {
  std::lock_guard lock(mutex_);
  const auto it = settings_.strings.find(name);
  if (!initialized_ || it == settings_.strings.end()) return std::nullopt;
  return it->second;
}

std::optional<int> Runtime::CopiedNumber(std::string_view name) {
  std::lock_guard lock(mutex_);
  const auto it = settings_.numbers.find(name);
  if (!initialized_ || it == settings_.numbers.end()) return std::nullopt;
  return it->second;
}

}  // namespace cef_engine

using cef_engine::ProgramRef;
using cef_engine::Runtime;

extern "C" {

int cef_initialize(const cef_settings_t* settings, cef_app_t* application) {
  return Runtime::Get().Initialize(settings, ProgramRef<cef_app_t>::Adopt(application)) ? 1 : 0;
}

void cef_shutdown() { Runtime::Get().Shutdown(); }

void cef_do_message_loop_work() { Runtime::Get().DoMessageLoopWork(); }

void cef_run_message_loop() { Runtime::Get().RunMessageLoop(); }

void cef_quit_message_loop() { Runtime::Get().QuitMessageLoop(); }

int cef_currently_on(cef_thread_id_t threadId) { return Runtime::Get().CurrentlyOn(threadId) ? 1 : 0; }

int cef_post_task(cef_thread_id_t threadId, cef_task_t* task) {
  return Runtime::Get().PostTask(threadId, ProgramRef<cef_task_t>::Adopt(task), std::chrono::milliseconds(0))
             ? 1
             : 0;
}

int cef_post_delayed_task(cef_thread_id_t threadId, cef_task_t* task, int64_t delay_ms) {
  const auto delay = std::chrono::milliseconds(std::clamp<int64_t>(delay_ms, 0, cef_engine::kLongestDelayMs));
  return Runtime::Get().PostTask(threadId, ProgramRef<cef_task_t>::Adopt(task), delay) ? 1 : 0;
}

}  // extern "C"
