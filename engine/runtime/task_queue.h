// The UI thread's queue of program tasks, ordered by due time and then by posting
// order. The queue owns the reference that came with each task until it runs.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "cef/cef_records.h"
#include "objects/engine_object.h"

namespace cef_engine {

class TaskQueue {
 public:
  using Clock = std::chrono::steady_clock;
  using Task = ProgramRef<cef_task_t>;

  // Accepts tasks from now on, with no quit request pending.
  void Open();
  // Stops accepting tasks and hands back the ones still queued; the caller releases
  // them outside its locks, since a release may call back into the engine.
  std::vector<Task> Close();
  bool IsOpen();

  // Queues `task` to run once `delay` has passed, taking it from the caller; a closed
  // queue refuses it and leaves it with the caller. `owner` (0: none) names a group of
  // tasks that DropOwned takes out again.
  bool Post(Task& task, Clock::duration delay, uintptr_t owner = 0);
  // Takes the tasks of `owner` out, for the caller to release outside its locks.
  std::vector<Task> DropOwned(uintptr_t owner);

  // Tasks due at `now`, in order; later posts wait for the next call, so a task that
  // posts itself cannot keep a caller busy forever. With `untilQuit`, a pending quit
  // request holds back every task due after the request.
  std::vector<Task> TakeAllDue(Clock::time_point now, bool untilQuit = false);
  std::optional<Clock::time_point> NextDue();

  // Blocks until a task is due and returns it; returns an empty task when quitting was
  // asked for (the request is used up) and no task due by the time of the request is
  // left, or when the queue closes.
  Task WaitForTask();
  // Makes the current or next WaitForTask return once no task due by now is left.
  void RequestQuit();
  // True, and the request used up, when quitting was asked for.
  bool TakeQuit();

 private:
  using Key = std::pair<Clock::time_point, uint64_t>;

  struct Queued {
    Task task;
    uintptr_t owner;
  };
  // Whether the first task is due at `now`, and not held back by a quit request.
  bool FirstDueLocked(Clock::time_point now, bool untilQuit) const;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<Key, Queued> tasks_;
  uint64_t next_sequence_ = 0;
  bool open_ = false;
  bool quit_ = false;
  Clock::time_point quit_at_;
};

// Runs a task as `thread`, then drops the queue's reference to it.
void RunTask(TaskQueue::Task task, cef_thread_id_t thread = TID_UI);

}  // namespace cef_engine
