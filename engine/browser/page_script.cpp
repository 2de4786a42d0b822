// The client's handlers for page script: the script-context handler hears of every
// frame's context as it is made and as its page goes, and of script errors nothing caught.
#include "browser/browser.h"

namespace cef_engine::browser {
namespace {

// The lent record with a reference for the handler that receives it.
template <class Record>
Record* Lend(Record* record) {
  return ProgramRef<Record>::Retain(record).Release();
}

}  // namespace

void Browser::NotifyContextCreated(Frame& frame, cef_v8context_t* context) {
  if (v8context_ && v8context_->on_context_created)
    v8context_->on_context_created(v8context_.get(), Share(), frame.Share(), Lend(context));
}

void Browser::NotifyContextReleased(Frame& frame, cef_v8context_t* context) {
  if (v8context_ && v8context_->on_context_released)
    v8context_->on_context_released(v8context_.get(), Share(), frame.Share(), Lend(context));
}

void Browser::NotifyUncaughtException(Frame& frame, cef_v8context_t* context, cef_v8exception_t* exception,
                                      cef_v8stack_trace_t* trace) {
  if (v8context_ && v8context_->on_uncaught_exception)
    v8context_->on_uncaught_exception(v8context_.get(), Share(), frame.Share(), Lend(context), Lend(exception),
                                      Lend(trace));
}

}  // namespace cef_engine::browser
