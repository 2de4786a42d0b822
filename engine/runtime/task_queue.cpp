#include "runtime/task_queue.h"

#include <algorithm>

namespace cef_engine {

void TaskQueue::Open() {
  std::lock_guard lock(mutex_);
  open_ = true;
  quit_ = false;
}

std::vector<TaskQueue::Task> TaskQueue::Close() {
  std::vector<Task> dropped;
  {
    std::lock_guard lock(mutex_);
    open_ = false;
    quit_ = false;
    for (auto& [key, task] : tasks_) dropped.push_back(std::move(task));
    tasks_.clear();
  }
  changed_.notify_all();
  return dropped;
}

bool TaskQueue::IsOpen() {
  std::lock_guard lock(mutex_);
  return open_;
}

bool TaskQueue::Post(Task& task, Clock::duration delay) {
  {
    std::lock_guard lock(mutex_);
    if (!open_) return false;
    const auto due = Clock::now() + std::max(delay, Clock::duration::zero());
    tasks_.emplace(Key{due, next_sequence_++}, std::move(task));
  }
  changed_.notify_all();
  return true;
}

std::vector<TaskQueue::Task> TaskQueue::TakeAllDue(Clock::time_point now) {
  std::vector<Task> due;
  std::lock_guard lock(mutex_);
  while (!tasks_.empty() && tasks_.begin()->first.first <= now) {
    due.push_back(std::move(tasks_.extract(tasks_.begin()).mapped()));
  }
  return due;
}

std::optional<TaskQueue::Clock::time_point> TaskQueue::NextDue() {
  std::lock_guard lock(mutex_);
  if (tasks_.empty()) return std::nullopt;
  return tasks_.begin()->first.first;
}

TaskQueue::Task TaskQueue::WaitForTask() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (!open_) return {};
    const auto now = Clock::now();
    if (!tasks_.empty() && tasks_.begin()->first.first <= now) {
      return std::move(tasks_.extract(tasks_.begin()).mapped());
    }
    if (quit_) {
      quit_ = false;
      return {};
    }
    if (tasks_.empty()) {
      changed_.wait(lock);
    } else {
      // A copy: waiting reads the time again after the queue may have dropped the task.
      const auto due = tasks_.begin()->first.first;
      changed_.wait_until(lock, due);
    }
  }
}

void TaskQueue::RequestQuit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
}

void RunTask(TaskQueue::Task task, cef_thread_id_t thread) {
  if (task && task->execute) task->execute(task.get(), thread);
}

}  // namespace cef_engine
