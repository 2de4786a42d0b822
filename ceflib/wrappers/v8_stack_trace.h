// The stack of running script: a trace of frames, innermost call first, each naming its
// function, script, line and column. The engine hands one to the context handler's
// OnUncaughtException; TCefV8StackTraceRef::Current gives the stack of the script that
// runs now. Main thread only.
#pragma once

#include "ceflib/core/conversions.h"

namespace ceflib {

class ICefV8StackFrame : public virtual ICefBase {
 public:
  virtual bool IsValid() = 0;
  virtual ustring GetScriptName() = 0;
  // The script name, or for a script without one the URL its `//@ sourceURL=` names.
  virtual ustring GetScriptNameOrSourceUrl() = 0;
  virtual ustring GetFunctionName() = 0;
  // Counted from 1; 0 when unknown.
  virtual int GetLineNumber() = 0;
  virtual int GetColumn() = 0;
  virtual bool IsEval() = 0;
  virtual bool IsConstructor() = 0;
};

class ICefV8StackTrace : public virtual ICefBase {
 public:
  virtual bool IsValid() = 0;
  virtual int GetFrameCount() = 0;
  // The frame at a 0-based index (0 is the innermost call); null past the end.
  virtual RefPtr<ICefV8StackFrame> GetFrame(int index) = 0;
};

class TCefV8StackFrameRef final : public TCefRef<TCefV8StackFrameRef, ICefV8StackFrame, cef_v8stack_frame_t> {
 public:
  using TCefRef::TCefRef;

  bool IsValid() override;
  ustring GetScriptName() override;
  ustring GetScriptNameOrSourceUrl() override;
  ustring GetFunctionName() override;
  int GetLineNumber() override;
  int GetColumn() override;
  bool IsEval() override;
  bool IsConstructor() override;
};

class TCefV8StackTraceRef final : public TCefRef<TCefV8StackTraceRef, ICefV8StackTrace, cef_v8stack_trace_t> {
 public:
  using TCefRef::TCefRef;

  bool IsValid() override;
  int GetFrameCount() override;
  RefPtr<ICefV8StackFrame> GetFrame(int index) override;

  // The stack of the script context active now, at most frameLimit frames deep; null
  // when no script context is active.
  static RefPtr<ICefV8StackTrace> Current(int frameLimit);
};

template <>
struct TCefWrapperOf<ICefV8StackFrame> {
  using type = TCefV8StackFrameRef;
};
template <>
struct TCefWrapperOf<ICefV8StackTrace> {
  using type = TCefV8StackTraceRef;
};

}  // namespace ceflib
