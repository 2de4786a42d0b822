#include "ceflib/core/main_thread.h"

#include <deque>
#include <future>
#include <memory>
#include <mutex>

#include "ceflib/core/conversions.h"
#include "ceflib/core/engine_library.h"

namespace ceflib {
namespace {

// One call waiting for the main thread; `call` is borrowed from the waiting thread,
// which stays blocked until `done` is set.
struct PendingCall {
  const std::function<void()>* call;
  std::promise<void> done;

  void Run() noexcept {
    try {
      (*call)();
      done.set_value();
    } catch (...) {
      done.set_exception(std::current_exception());
    }
  }
};

class MainThreadQueue {
 public:
  void Push(std::shared_ptr<PendingCall> call) {
    std::lock_guard lock(mutex_);
    calls_.push_back(std::move(call));
  }
  // Takes `call` out if it is still waiting; false when the main thread took it.
  bool Remove(const std::shared_ptr<PendingCall>& call) {
    std::lock_guard lock(mutex_);
    for (auto it = calls_.begin(); it != calls_.end(); ++it) {
      if (*it == call) {
        calls_.erase(it);
        return true;
      }
    }
    return false;
  }
  // Runs every waiting call in order, outside the lock, so that a call may queue more.
  void Drain() {
    std::deque<std::shared_ptr<PendingCall>> taken;
    {
      std::lock_guard lock(mutex_);
      taken.swap(calls_);
    }
    for (auto& call : taken) call->Run();
  }

 private:
  std::mutex mutex_;
  std::deque<std::shared_ptr<PendingCall>> calls_;
};

// Shared with every task the engine holds, so a task the engine releases during its
// own shutdown at program end still finds the queue.
const std::shared_ptr<MainThreadQueue>& SharedQueue() {
  static const auto queue = std::make_shared<MainThreadQueue>();
  return queue;
}

// The engine task that wakes the main thread: it drains the queue when it runs. A task
// the engine drops unrun fails the call it was posted for, so its caller is not left
// waiting forever: with the orderly shutdown error when the engine it was posted to is
// shutting down or gone, since an engine that stops drops its queued tasks.
class TMainThreadTask : public TCefOwn<cef_task_t> {
 public:
  TMainThreadTask(std::shared_ptr<MainThreadQueue> queue, std::shared_ptr<PendingCall> call,
                  unsigned generation)
      : queue_(std::move(queue)), call_(std::move(call)), generation_(generation) {
    Bind<&TMainThreadTask::Execute>(record()->execute);
  }
  ~TMainThreadTask() override {
    if (!queue_->Remove(call_)) return;
    const bool stopping = CefEngineShuttingDown() || CefEngineGeneration() != generation_;
    call_->done.set_exception(
        stopping ? std::make_exception_ptr(ECefShutdownInProgress())
                 : std::make_exception_ptr(ECefException("The engine dropped a main-thread call")));
  }
  void Execute(cef_thread_id_t) { queue_->Drain(); }

 private:
  std::shared_ptr<MainThreadQueue> queue_;
  std::shared_ptr<PendingCall> call_;
  unsigned generation_;
};

}  // namespace

bool CefIsMainThread() {
  const TCefEngineHold engine;
  return engine.Running() && engine.Entries().currentlyOn(TID_UI) != 0;
}

void CefProcessMainThreadQueue() {
  if (CefIsMainThread()) SharedQueue()->Drain();
}

void CefRunOnMainThread(const std::function<void()>& call) {
  // Held for the whole call, also while it waits: the main thread may shut the engine
  // down and unload it meanwhile.
  const TCefEngineHold engine;
  if (!engine.Running()) CefRaiseEngineNotLoaded();
  const detail::TCefThreadEntries& entries = engine.Entries();
  if (entries.currentlyOn(TID_UI)) {
    call();
    return;
  }
  auto pending = std::make_shared<PendingCall>();
  pending->call = &call;
  std::future<void> done = pending->done.get_future();
  const auto& queue = SharedQueue();
  queue->Push(pending);
  RefPtr<ICefBase> task = Make<TMainThreadTask>(queue, pending, entries.generation);
  auto* record = reinterpret_cast<cef_task_t*>(CefDataOf(task));
  task.reset();
  // A refused task is released by the engine, and its release fails the call.
  if (!entries.postTask(TID_UI, record) && queue->Remove(pending)) {
    throw ECefException("The engine refused to wake the main thread");
  }
  done.get();  // raises again what the call raised on the main thread
}

}  // namespace ceflib
