#include "ceflib/wrappers/v8_stack_trace.h"

#include "ceflib/core/engine_library.h"

namespace ceflib {

bool TCefV8StackFrameRef::IsValid() { return Call<bool>(&cef_v8stack_frame_t::is_valid); }
ustring TCefV8StackFrameRef::GetScriptName() { return Call<ustring>(&cef_v8stack_frame_t::get_script_name); }
ustring TCefV8StackFrameRef::GetScriptNameOrSourceUrl() {
  return Call<ustring>(&cef_v8stack_frame_t::get_script_name_or_source_url);
}
ustring TCefV8StackFrameRef::GetFunctionName() {
  return Call<ustring>(&cef_v8stack_frame_t::get_function_name);
}
int TCefV8StackFrameRef::GetLineNumber() { return Call<int>(&cef_v8stack_frame_t::get_line_number); }
int TCefV8StackFrameRef::GetColumn() { return Call<int>(&cef_v8stack_frame_t::get_column); }
bool TCefV8StackFrameRef::IsEval() { return Call<bool>(&cef_v8stack_frame_t::is_eval); }
bool TCefV8StackFrameRef::IsConstructor() { return Call<bool>(&cef_v8stack_frame_t::is_constructor); }

bool TCefV8StackTraceRef::IsValid() { return Call<bool>(&cef_v8stack_trace_t::is_valid); }
int TCefV8StackTraceRef::GetFrameCount() { return Call<int>(&cef_v8stack_trace_t::get_frame_count); }
RefPtr<ICefV8StackFrame> TCefV8StackTraceRef::GetFrame(int index) {
  return Call<RefPtr<ICefV8StackFrame>>(&cef_v8stack_trace_t::get_frame, index);
}

RefPtr<ICefV8StackTrace> TCefV8StackTraceRef::Current(int frameLimit) {
  return CefCallExport<RefPtr<ICefV8StackTrace>>(cef_v8stack_trace_get_current, frameLimit);
}

}  // namespace ceflib
