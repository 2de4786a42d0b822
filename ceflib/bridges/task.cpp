#include "ceflib/bridges/task.h"

#include "ceflib/core/engine_library.h"

namespace ceflib {

TCefTaskOwn::TCefTaskOwn() { Bind<&TCefTaskOwn::Execute>(record()->execute); }

void TCefFastTask::Execute(TCefThreadId threadId) {
  if (FProc) FProc(threadId);
}

bool CefCurrentlyOn(TCefThreadId threadId) { return CefCallExport<bool>(cef_currently_on, threadId); }

bool CefPostTask(TCefThreadId threadId, const RefPtr<ICefTask>& task) {
  return CefCallExport<bool>(cef_post_task, threadId, task);
}
bool CefPostDelayedTask(TCefThreadId threadId, const RefPtr<ICefTask>& task, int64_t delayMs) {
  return CefCallExport<bool>(cef_post_delayed_task, threadId, task, delayMs);
}
bool CefPostTask(TCefThreadId threadId, TCefFastTaskProc proc) {
  return CefPostTask(threadId, Make<TCefFastTask>(std::move(proc)));
}
bool CefPostDelayedTask(TCefThreadId threadId, TCefFastTaskProc proc, int64_t delayMs) {
  return CefPostDelayedTask(threadId, Make<TCefFastTask>(std::move(proc)), delayMs);
}

}  // namespace ceflib
