#include "runtime/worker_thread.h"

#include <future>

#include "runtime/engine_task.h"

namespace cef_engine {

void WorkerThread::Start() {
  if (thread_.joinable()) return;
  tasks_.Open();
  thread_ = std::thread([this] {
    while (auto task = tasks_.WaitForTask()) {
      RunTask(std::move(task), id_);
      for (auto& work : std::exchange(after_task_, {})) work();
    }
  });
}

void WorkerThread::Drain() {
  if (!thread_.joinable() || IsCurrent()) return;
  std::promise<void> drained;
  auto done = drained.get_future();
  auto task = TaskQueue::Task::Adopt(NewEngineRecord<ClosureTask>([&drained] { drained.set_value(); }));
  if (tasks_.Post(task, TaskQueue::Clock::duration::zero())) done.wait();
}

std::vector<TaskQueue::Task> WorkerThread::Stop() {
  auto dropped = tasks_.Close();
  if (thread_.joinable()) {
    // A task may stop the engine from this very thread; it cannot wait for itself.
    if (IsCurrent()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  return dropped;
}

}  // namespace cef_engine
