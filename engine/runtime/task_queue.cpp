#include "runtime/task_queue.h"

#include <algorithm>
#include <utility>

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
    for (auto& [key, queued] : tasks_) dropped.push_back(std::move(queued.task));
    tasks_.clear();
  }
  changed_.notify_all();
  return dropped;
}

bool TaskQueue::IsOpen() {
  std::lock_guard lock(mutex_);
  return open_;
}

bool TaskQueue::Post(Task& task, Clock::duration delay, uintptr_t owner) {
  {
    std::lock_guard lock(mutex_);
    if (!open_) return false;
    const auto due = Clock::now() + std::max(delay, Clock::duration::zero());
    tasks_.emplace(Key{due, next_sequence_++}, Queued{std::move(task), owner});
  }
  changed_.notify_all();
  return true;
}

std::vector<TaskQueue::Task> TaskQueue::DropOwned(uintptr_t owner) {
  std::vector<Task> dropped;
  if (owner == 0) return dropped;
  std::lock_guard lock(mutex_);
  for (auto it = tasks_.begin(); it != tasks_.end();) {
    if (it->second.owner == owner) {
      dropped.push_back(std::move(it->second.task));
      it = tasks_.erase(it);
    } else {
      ++it;
    }
  }
  return dropped;
}

bool TaskQueue::FirstDueLocked(Clock::time_point now, bool untilQuit) const {
  if (tasks_.empty()) return false;
  const auto due = tasks_.begin()->first.first;
  return due <= now && !(untilQuit && quit_ && due > quit_at_);
}

std::vector<TaskQueue::Task> TaskQueue::TakeAllDue(Clock::time_point now, bool untilQuit) {
  std::vector<Task> due;
  std::lock_guard lock(mutex_);
  while (FirstDueLocked(now, untilQuit))
    due.push_back(std::move(tasks_.extract(tasks_.begin()).mapped().task));
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
    if (FirstDueLocked(Clock::now(), true)) return std::move(tasks_.extract(tasks_.begin()).mapped().task);
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
    if (!quit_) quit_at_ = Clock::now();
    quit_ = true;
  }
  changed_.notify_all();
}

bool TaskQueue::TakeQuit() {
  std::lock_guard lock(mutex_);
  return std::exchange(quit_, false);
}

void RunTask(TaskQueue::Task task, cef_thread_id_t thread) {
  if (task && task->execute) task->execute(task.get(), thread);
}

}  // namespace cef_engine
