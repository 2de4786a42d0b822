// A thread of the engine's own (IO, FILE) that runs the tasks posted to it, in order,
// until the engine shuts down.
#pragma once

#include <functional>
#include <thread>
#include <vector>

#include "runtime/task_queue.h"

namespace cef_engine {

class WorkerThread {
 public:
  explicit WorkerThread(cef_thread_id_t id) : id_(id) {}
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  ~WorkerThread() { Stop(); }

  void Start();
  // Stops accepting tasks, waits for the running one and hands back those still queued;
  // the caller releases them outside its locks.
  std::vector<TaskQueue::Task> Stop();
  // Runs every task queued so far and waits for them; not on this thread.
  void Drain();
  // On this thread, from inside a task: `work` runs once the task has been released.
  void AfterCurrentTask(std::function<void()> work) { after_task_.push_back(std::move(work)); }

  bool Post(TaskQueue::Task& task, TaskQueue::Clock::duration delay) { return tasks_.Post(task, delay); }
  bool IsCurrent() const { return thread_.joinable() && std::this_thread::get_id() == thread_.get_id(); }

 private:
  cef_thread_id_t id_;
  TaskQueue tasks_;
  std::thread thread_;
  std::vector<std::function<void()>> after_task_;  // this thread only
};

}  // namespace cef_engine
