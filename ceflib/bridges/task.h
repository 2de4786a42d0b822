// Program tasks the engine runs on one of its threads (UI, IO or FILE), now or after a
// delay. CefRunOnMainThread (core/main_thread.h) is the blocking way onto the main
// thread; a task is the way that does not wait and reaches the other threads too.
#pragma once

#include <functional>

#include "ceflib/core/conversions.h"

namespace ceflib {

using TCefThreadId = cef_thread_id_t;
using TCefFastTaskProc = std::function<void(TCefThreadId threadId)>;

class ICefTask : public virtual ICefBase {
 public:
  // Runs on the thread the task was posted to, which `threadId` names.
  virtual void Execute(TCefThreadId threadId) = 0;
};

// Does nothing unless Execute is overridden. The engine holds a posted task until it
// has run, or drops it unrun at shutdown.
class TCefTaskOwn : public TCefOwn<cef_task_t>, public ICefTask {
 public:
  TCefTaskOwn();
  void Execute(TCefThreadId) override {}
};

class TCefFastTask : public TCefTaskOwn {
 public:
  explicit TCefFastTask(TCefFastTaskProc proc) : FProc(std::move(proc)) {}
  void Execute(TCefThreadId threadId) override;

 private:
  TCefFastTaskProc FProc;
};

// True on the engine's thread `threadId`; false when the engine is not initialized.
bool CefCurrentlyOn(TCefThreadId threadId);

// Posts `task` to the thread; true when the engine took it. The engine runs it once in
// posting order among the tasks due, and drops it unrun when it shuts down first. A
// negative delay runs it as soon as possible; our engine waits at most a year.
bool CefPostTask(TCefThreadId threadId, const RefPtr<ICefTask>& task);
bool CefPostDelayedTask(TCefThreadId threadId, const RefPtr<ICefTask>& task, int64_t delayMs);
bool CefPostTask(TCefThreadId threadId, TCefFastTaskProc proc);
bool CefPostDelayedTask(TCefThreadId threadId, TCefFastTaskProc proc, int64_t delayMs);

}  // namespace ceflib
