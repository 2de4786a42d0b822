// Script stack traces: the frames of running script, or of the place where an error was
// made, read from Duktape's traceback text ("at NAME (FILE:LINE) FLAGS" per call), which
// is the one place the script engine gives a call's line together with how it was made
// (constructor call, eval code). Native and internal calls are left out.
#include "cef_engine.h"
#include "dom/record_entry.h"
#include "script/context.h"
#include "strings/text.h"

namespace cef_engine::script {
namespace {

class StackFrameObject final : public EngineObject<cef_v8stack_frame_t> {
 public:
  using Record = cef_v8stack_frame_t;
  explicit StackFrameObject(StackFrame frame) : frame_(std::move(frame)) {
    Record& r = *record();
    r.is_valid = Entry<&StackFrameObject::Valid>;
    r.get_script_name = Entry<&StackFrameObject::ScriptName>;
    r.get_script_name_or_source_url = Entry<&StackFrameObject::ScriptName>;
    r.get_function_name = Entry<&StackFrameObject::FunctionName>;
    r.get_line_number = Entry<&StackFrameObject::Line>;
    r.get_column = Entry<&StackFrameObject::Column>;
    r.is_eval = Entry<&StackFrameObject::IsEval>;
    r.is_constructor = Entry<&StackFrameObject::IsConstructor>;
  }

 private:
  int Valid() { return 1; }
  cef_string_userfree_t ScriptName() { return NewUserfree(frame_.script); }
  cef_string_userfree_t FunctionName() { return NewUserfree(frame_.function); }
  int Line() { return frame_.line; }
  int Column() { return 0; }  // Duktape keeps no columns
  int IsEval() { return frame_.eval; }
  int IsConstructor() { return frame_.constructor; }

  StackFrame frame_;
};

class StackTraceObject final : public EngineObject<cef_v8stack_trace_t> {
 public:
  using Record = cef_v8stack_trace_t;
  explicit StackTraceObject(std::vector<StackFrame> frames) : frames_(std::move(frames)) {
    Record& r = *record();
    r.is_valid = Entry<&StackTraceObject::Valid>;
    r.get_frame_count = Entry<&StackTraceObject::Count>;
    r.get_frame = Entry<&StackTraceObject::Frame>;
  }

 private:
  int Valid() { return 1; }
  int Count() { return static_cast<int>(frames_.size()); }
  cef_v8stack_frame_t* Frame(int index) {
    if (index < 0 || index >= Count()) return nullptr;
    return NewEngineRecord<StackFrameObject>(frames_[static_cast<size_t>(index)]);
  }

  std::vector<StackFrame> frames_;
};

// One traceback line, "at NAME (FILE:LINE)[ strict][ tailcall][ construct][ directeval]
// [ preventsyield]"; false for native, lightweight and internal calls.
bool ParseTracebackLine(std::u16string_view line, StackFrame& frame) {
  while (!line.empty() && line.front() == u' ') line.remove_prefix(1);
  if (!line.starts_with(u"at ")) return false;
  line.remove_prefix(3);
  const size_t open = line.find(u" (");
  const size_t close = line.rfind(u')');
  if (open == std::u16string_view::npos || close == std::u16string_view::npos || close < open) return false;
  std::u16string_view flags = line.substr(close + 1);
  if (flags.starts_with(u" native") || flags.starts_with(u" internal")) return false;
  const std::u16string_view place = line.substr(open + 2, close - open - 2);
  const size_t colon = place.rfind(u':');
  if (colon == std::u16string_view::npos) return false;
  const std::u16string_view digits = place.substr(colon + 1);
  if (digits.empty() || digits.size() > 9) return false;
  int number = 0;
  for (const char16_t c : digits) {
    if (c < u'0' || c > u'9') return false;
    number = number * 10 + (c - u'0');
  }
  const std::u16string_view name = line.substr(0, open);
  frame.function = name == u"[anon]" ? std::u16string() : std::u16string(name);
  frame.script = std::u16string(place.substr(0, colon));
  frame.line = number;
  frame.constructor = flags.find(u" construct") != std::u16string_view::npos;
  frame.eval = flags.find(u" directeval") != std::u16string_view::npos;
  return true;
}

}  // namespace

std::vector<StackFrame> FramesOfTraceback(std::u16string_view traceback, int limit) {
  std::vector<StackFrame> frames;
  size_t start = traceback.find(u'\n');  // the first line is the error's text
  while (start != std::u16string_view::npos && static_cast<int>(frames.size()) < limit) {
    const size_t end = traceback.find(u'\n', start + 1);
    const auto line = traceback.substr(start + 1, end == std::u16string_view::npos ? end : end - start - 1);
    StackFrame frame;
    if (ParseTracebackLine(line, frame)) frames.push_back(std::move(frame));
    start = end;
  }
  return frames;
}

cef_v8stack_trace_t* NewStackTraceRecord(std::vector<StackFrame> frames) {
  return NewEngineRecord<StackTraceObject>(std::move(frames));
}

}  // namespace cef_engine::script

extern "C" {

// The calls of the running script, from a new error's traceback; an active context with
// no script running has an empty stack.
cef_v8stack_trace_t* cef_v8stack_trace_get_current(int frame_limit) {
  using namespace cef_engine::script;
  if (!ContextState::Current()) return nullptr;
  std::u16string traceback;
  if (duk_context* ctx = RunningThread()) {
    const bool made = Protected(ctx, 0, 1, [](duk_context* c, duk_idx_t) -> duk_ret_t {
      duk_push_error_object(c, DUK_ERR_ERROR, "stack");
      duk_get_prop_string(c, -1, "stack");
      return 1;
    });
    if (made) traceback = TextAt(ctx, -1);
    duk_pop(ctx);
  }
  return NewStackTraceRecord(FramesOfTraceback(traceback, frame_limit));
}

}  // extern "C"
