// Script contexts (one Duktape thread with its own globals per page), the records the
// program sees (values, contexts, exceptions), and the calls from script into the
// program's handlers. Main thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cef/cef_records.h"
#include "dom/document.h"
#include "runtime/time_record.h"
#include "script/heap.h"
#include "script/script_host.h"

namespace cef_engine::script {

// What the program learns about a script error.
struct ScriptError {
  std::u16string message;      // "Error: text"
  std::u16string source_line;  // the line of code, when known
  std::u16string resource;     // script address or name
  int line = 0;                // 1-based; 0 when unknown
  int start_position = 0;      // offsets of the line in its script
  int end_position = 0;
  int start_column = 0;
  int end_column = 0;
  std::u16string traceback;  // Duktape's text of the calls where an Error was made
};

// One call of a script stack trace.
struct StackFrame {
  std::u16string function;  // empty for an anonymous function
  std::u16string script;
  int line = 0;
  bool eval = false;
  bool constructor = false;
};

// The script calls of a traceback, innermost first, at most `limit` of them.
std::vector<StackFrame> FramesOfTraceback(std::u16string_view traceback, int limit);
cef_v8stack_trace_t* NewStackTraceRecord(std::vector<StackFrame> frames);

// The error value at `index` described; `index` stays on the stack.
ScriptError DescribeError(duk_context* ctx, duk_idx_t index);

// How a native function ends: return the value on top, or throw it.
enum class Outcome { kReturn, kThrow };

class ContextState : public std::enable_shared_from_this<ContextState> {
 public:
  // Page objects are installed when `document` is given (page contexts).
  ContextState(std::shared_ptr<dom::Document> document, FrameHooks* hooks,
               std::function<void(std::u16string_view)> write);
  ~ContextState();
  ContextState(const ContextState&) = delete;
  ContextState& operator=(const ContextState&) = delete;

  static std::shared_ptr<ContextState> FromId(int id);
  // The context of the innermost running script or enter(), if any.
  static std::shared_ptr<ContextState> Current();
  void Enter();
  bool Exit();

  int id() const noexcept { return id_; }
  bool valid() const noexcept { return valid_; }
  const std::shared_ptr<Heap>& heap() const noexcept { return heap_; }
  duk_context* thread() const noexcept { return thread_; }
  FrameHooks* hooks() const noexcept { return hooks_; }
  dom::Document* document() const noexcept { return document_.get(); }

  // Compiles and runs `code` (global code, or eval code whose completion value is the
  // result). Success leaves the result on the stack of thread(); failure fills `error`.
  bool Evaluate(std::u16string_view code, std::u16string_view name, int start_line, bool eval,
                ScriptError* error);
  // Runs a page script; errors go to the frame's console.
  void RunPageScript(std::u16string_view code, std::u16string_view name, int start_line);
  // An error no script caught: to the frame's console, and with its stack trace to the
  // frame's UncaughtException when the settings ask for traces.
  void ReportError(const ScriptError& error);
  // Calls, as page script, the function on `ctx`'s stack below its `this` and `args`
  // arguments; an error it throws goes to ReportError. The result or error stays on the
  // stack.
  void CallPushedMethod(duk_context* ctx, duk_idx_t args);

  // The source of a script this context ran, for error lines.
  const std::u16string* SourceOf(std::u16string_view name) const;

  // Page objects (page_objects.cpp): document, window, console, elements.
  void InstallPageObjects();
  // The script object of `node` (the same object each time); null for null.
  void PushElement(duk_context* ctx, dom::Node* node);
  // An array of the script objects of `nodes`.
  void PushElements(duk_context* ctx, const std::vector<dom::Node*>& nodes);
  // Calls of the page objects' native functions; `op` says which.
  Outcome PageCall(duk_context* ctx, int op);
  Outcome Dialog(duk_context* ctx, int op);
  // Dispatches a click on `node` and then runs its default action.
  void Click(dom::Node& node);
  // Calls window.onload after the load event's listeners.
  void FireWindowLoad();

  // navigator.geolocation (geolocation_objects.cpp): installed with the page objects;
  // `op` says which of its functions script called.
  void InstallGeolocation(duk_context* ctx, duk_idx_t global);
  Outcome GeolocationCall(duk_context* ctx, int op);
  // screen and window.screenX / screenY (screen_objects.cpp).
  void InstallScreen(duk_context* ctx, duk_idx_t global);

  // Ends the context: later calls answer "invalid"; pinned values are let go.
  void Close();

 private:
  std::shared_ptr<Heap> heap_;
  int id_;
  duk_context* thread_ = nullptr;
  uint32_t thread_slot_ = 0;
  bool valid_ = true;
  std::shared_ptr<dom::Document> document_;
  FrameHooks* hooks_;
  std::function<void(std::u16string_view)> write_;
  std::map<dom::Node*, uint32_t> elements_;
  std::vector<uint32_t> pinned_;
  std::map<std::u16string, std::u16string, std::less<>> sources_;
  std::map<int, uint32_t> timers_;  // setTimeout: id to pinned function
  int last_timer_ = 0;

  // A position request of script: its pinned functions and the frame's request id while
  // the answer is outstanding (0 once answered).
  struct GeoWatch {
    uint32_t success = 0;
    std::optional<uint32_t> error;
    int request = 0;
    bool watch = false;
  };
  std::map<int, GeoWatch> geo_watches_;  // by the id script holds
  int last_geo_watch_ = 0;
  void DeliverGeoposition(int id, const cef_geoposition_t& position);
  // Lets go of a request's functions; `withdraw` tells the frame when still unanswered.
  void EndGeoWatch(std::map<int, GeoWatch>::iterator watch, bool withdraw);
  void CloseGeolocation();

  void CallListener(uint32_t slot, dom::Event& event);
  void PushEvent(duk_context* ctx, const dom::Event& event);
  dom::Node* NodeOfThis(duk_context* ctx);
  uint32_t PinListener(duk_context* ctx, duk_idx_t index);
  int SetTimer(duk_context* ctx, duk_idx_t function, int delay_ms);
  void RunTimer(int id);
};

// Records for the program, each with the one reference for the receiver.
cef_v8value_t* NewValueRecord(const std::shared_ptr<Heap>& heap, duk_context* ctx, duk_idx_t index);
cef_v8context_t* NewContextRecord(std::shared_ptr<ContextState> state);
// The context behind one of our context records (the reference stays with the caller).
std::shared_ptr<ContextState> ContextOfRecord(cef_v8context_t* record);
// Pushes the global object of `thread` onto `ctx`.
void PushGlobal(duk_context* ctx, duk_context* thread);
cef_v8exception_t* NewExceptionRecord(ScriptError error);
// Pushes the value behind one of our value records; false (nothing pushed) for null or
// foreign records.
bool PushValueRecord(duk_context* ctx, cef_v8value_t* record);

// Calls the program's handler for a script call of `name` with `count` arguments from
// `first` and the receiver at `receiver`; pushes the result or the error to throw.
Outcome CallHandler(duk_context* ctx, cef_v8handler_t* handler, std::u16string_view name, duk_idx_t receiver,
                    duk_idx_t first, duk_idx_t count);
// An exception a value with "rethrow" set caught while script was running; thrown again
// when the native call returns to script.
void SetPendingRethrow(duk_context* ctx, duk_idx_t index);
bool PushPendingRethrow(duk_context* ctx);

// Native functions made by cef_v8value_create_function.
duk_ret_t CreatedFunctionEntry(duk_context* ctx);

// Dates: milliseconds since 1970 in UTC and the engine's time record.
using cef_engine::MsFromTime;
using cef_engine::TimeFromMs;

}  // namespace cef_engine::script
