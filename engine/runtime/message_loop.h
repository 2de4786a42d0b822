// The message loop of the main (UI) thread. On Linux it waits on the task queue; on
// Windows it is a Win32 message loop, and a hidden message-only window, woken by a
// private message or a timer, runs the due tasks.
#pragma once

#include <memory>

#include "runtime/task_queue.h"

namespace cef_engine {

class MainLoop {
 public:
  // Made on the main thread by cef_initialize; null when the platform refuses.
  static std::shared_ptr<MainLoop> Create(TaskQueue& tasks);
  virtual ~MainLoop() = default;

  // Main thread: dispatches until quitting is asked for or the queue closes.
  virtual void Run() = 0;
  // Any thread: ends the running loop, or the next one if none runs yet.
  virtual void Quit() = 0;
  // Any thread: the queue got a task.
  virtual void TasksChanged() = 0;
};

}  // namespace cef_engine
