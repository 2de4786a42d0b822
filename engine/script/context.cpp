// Script contexts: one Duktape thread with its own globals per page, the stack of
// contexts in use, running code, describing errors, and the context and exception
// records with their exports.
#include "script/context.h"

#include <algorithm>
#include <mutex>

#include "cef_engine.h"
#include "dom/record_entry.h"
#include "objects/immortal.h"
#include "runtime/runtime.h"
#include "strings/text.h"

namespace cef_engine::script {
namespace {

std::map<int, ContextState*>& Registry() {
  // Pages can close after this library's static destructors have run (a program that
  // shuts the engine down from its own); an empty map holds no memory, so it never goes.
  static Immortal<std::map<int, ContextState*>> contexts;
  return *contexts;
}
// Guards the registry: a closed context goes with the last record that holds it, which
// the program may release on any thread.
std::mutex& RegistryMutex() {
  static Immortal<std::mutex> mutex;
  return *mutex;
}

// Contexts entered by enter() or by running their code, innermost last.
std::vector<std::shared_ptr<ContextState>>& Entered() {
  static std::vector<std::shared_ptr<ContextState>> entered;
  return entered;
}

// Every context has these, also contexts that show no page.
constexpr const char* kBaseScript =
    "(function(){var d=Object.defineProperty,p=Object.prototype;"
    "function def(n,f){if(!p[n])d(p,n,{value:f,writable:true,configurable:true});}"
    "def('__defineGetter__',function(n,f){d(Object(this),n,{get:f,enumerable:true,configurable:true});});"
    "def('__defineSetter__',function(n,f){d(Object(this),n,{set:f,enumerable:true,configurable:true});});"
    "})();";

std::u16string LineOf(std::u16string_view source, int line, int* start, int* end) {
  size_t begin = 0;
  for (int k = 1; k < line; ++k) {
    begin = source.find(u'\n', begin);
    if (begin == std::u16string_view::npos) return {};
    ++begin;
  }
  size_t stop = source.find(u'\n', begin);
  if (stop == std::u16string_view::npos) stop = source.size();
  if (stop > begin && source[stop - 1] == u'\r') --stop;
  *start = static_cast<int>(begin);
  *end = static_cast<int>(stop);
  return std::u16string(source.substr(begin, stop - begin));
}

class ContextObject final : public EngineObject<cef_v8context_t> {
 public:
  using Record = cef_v8context_t;
  explicit ContextObject(std::shared_ptr<ContextState> state) : state_(std::move(state)) {
    Record& r = *record();
    r.is_valid = Entry<&ContextObject::IsValid>;
    r.get_browser = Entry<&ContextObject::GetBrowser>;
    r.get_frame = Entry<&ContextObject::GetFrame>;
    r.get_global = Entry<&ContextObject::GetGlobal>;
    r.enter = Entry<&ContextObject::Enter>;
    r.exit = Entry<&ContextObject::Exit>;
    r.is_same = Entry<&ContextObject::IsSame>;
    r.eval = Entry<&ContextObject::Eval>;
  }
  const std::shared_ptr<ContextState>& state() const noexcept { return state_; }

 private:
  int IsValid() { return state_->valid(); }
  cef_browser_t* GetBrowser() {
    return state_->valid() && state_->hooks() ? state_->hooks()->ShareBrowser() : nullptr;
  }
  cef_frame_t* GetFrame() {
    return state_->valid() && state_->hooks() ? state_->hooks()->ShareFrame() : nullptr;
  }
  cef_v8value_t* GetGlobal() {
    if (!state_->valid()) return nullptr;
    duk_context* ctx = WorkThread(state_->thread());
    PushGlobal(ctx, state_->thread());
    cef_v8value_t* global = NewValueRecord(state_->heap(), ctx, -1);
    duk_pop(ctx);
    return global;
  }
  int Enter() {
    if (!state_->valid()) return 0;
    state_->Enter();
    return 1;
  }
  int Exit() { return state_->Exit(); }
  int IsSame(cef_v8context_t* that) {
    auto held = ProgramRef<cef_v8context_t>::Adopt(that);
    return ContextOfRecord(that) == state_;
  }
  int Eval(const cef_string_t* code, cef_v8value_t** retval, cef_v8exception_t** exception) {
    if (retval) *retval = nullptr;
    if (exception) *exception = nullptr;
    ScriptError error;
    if (!state_->valid()) {
      error.message = u"Error: the script context is no longer valid";
      if (exception) *exception = NewExceptionRecord(std::move(error));
      return 0;
    }
    if (!state_->Evaluate(ViewOf(code), u"eval", 1, true, &error)) {
      if (exception) *exception = NewExceptionRecord(std::move(error));
      return 0;
    }
    duk_context* ctx = state_->thread();
    if (retval) *retval = NewValueRecord(state_->heap(), ctx, -1);
    duk_pop(ctx);
    return 1;
  }

  std::shared_ptr<ContextState> state_;
};

class ExceptionObject final : public EngineObject<cef_v8exception_t> {
 public:
  using Record = cef_v8exception_t;
  explicit ExceptionObject(ScriptError error) : error_(std::move(error)) {
    Record& r = *record();
    r.get_message = Entry<&ExceptionObject::Text<&ScriptError::message>>;
    r.get_source_line = Entry<&ExceptionObject::Text<&ScriptError::source_line>>;
    r.get_script_resource_name = Entry<&ExceptionObject::Text<&ScriptError::resource>>;
    r.get_line_number = Entry<&ExceptionObject::Number<&ScriptError::line>>;
    r.get_start_position = Entry<&ExceptionObject::Number<&ScriptError::start_position>>;
    r.get_end_position = Entry<&ExceptionObject::Number<&ScriptError::end_position>>;
    r.get_start_column = Entry<&ExceptionObject::Number<&ScriptError::start_column>>;
    r.get_end_column = Entry<&ExceptionObject::Number<&ScriptError::end_column>>;
  }

 private:
  template <std::u16string ScriptError::*Field>
  cef_string_userfree_t Text() {
    return NewUserfree(error_.*Field);
  }
  template <int ScriptError::*Field>
  int Number() {
    return error_.*Field;
  }

  ScriptError error_;
};

}  // namespace

void PushGlobal(duk_context* ctx, duk_context* thread) {
  duk_push_global_object(thread);
  if (thread != ctx) duk_xmove_top(ctx, thread, 1);
}

cef_v8context_t* NewContextRecord(std::shared_ptr<ContextState> state) {
  return NewEngineRecord<ContextObject>(std::move(state));
}

std::shared_ptr<ContextState> ContextOfRecord(cef_v8context_t* record) {
  const ContextObject* object = OwnObjectOf<ContextObject>(record);
  return object ? object->state() : nullptr;
}

cef_v8exception_t* NewExceptionRecord(ScriptError error) {
  return NewEngineRecord<ExceptionObject>(std::move(error));
}

ScriptError DescribeError(duk_context* ctx, duk_idx_t index) {
  duk_dup(ctx, index);
  const bool described = Protected(ctx, 1, 4, [](duk_context* c, duk_idx_t error) -> duk_ret_t {
    const bool object = duk_is_object(c, error);
    duk_dup(c, error);
    duk_safe_to_string(c, -1);
    if (object) {
      duk_get_prop_string(c, error, "fileName");
      duk_get_prop_string(c, error, "lineNumber");
      duk_get_prop_string(c, error, "stack");
    } else {
      duk_push_undefined(c);
      duk_push_undefined(c);
      duk_push_undefined(c);
    }
    return 4;
  });
  ScriptError error;
  error.message = described ? TextAt(ctx, -4) : u"Error";
  if (described) {
    error.resource = TextAt(ctx, -3);
    error.line = duk_is_number(ctx, -2) ? duk_get_int(ctx, -2) : 0;
    error.traceback = TextAt(ctx, -1);
  }
  duk_pop_n(ctx, 4);
  if (error.line > 0) {
    std::lock_guard lock(RegistryMutex());
    for (const auto& [id, context] : Registry()) {
      if (const std::u16string* source = context->SourceOf(error.resource)) {
        error.source_line = LineOf(*source, error.line, &error.start_position, &error.end_position);
        error.end_column = static_cast<int>(error.source_line.size());
        break;
      }
    }
  }
  return error;
}

// --- ContextState ----------------------------------------------------------------------

ContextState::ContextState(std::shared_ptr<dom::Document> document, FrameHooks* hooks,
                           std::function<void(std::u16string_view)> write)
    : heap_(Heap::Get()), document_(std::move(document)), hooks_(hooks), write_(std::move(write)) {
  static int last_id = 0;
  id_ = ++last_id;
  {
    std::lock_guard lock(RegistryMutex());
    Registry()[id_] = this;
  }
  duk_context* main = heap_->main();
  duk_push_thread_new_globalenv(main);
  thread_ = duk_get_context(main, -1);
  thread_slot_ = heap_->Pin(main, -1);
  duk_pop(main);
  duk_eval_string_noresult(thread_, kBaseScript);
}

ContextState::~ContextState() {
  Close();  // nothing left to do when its page closed it, as for every page context
  std::lock_guard lock(RegistryMutex());
  Registry().erase(id_);
}

std::shared_ptr<ContextState> ContextState::FromId(int id) {
  std::lock_guard lock(RegistryMutex());
  const auto found = Registry().find(id);
  return found == Registry().end() ? nullptr : found->second->weak_from_this().lock();
}

std::shared_ptr<ContextState> ContextState::Current() {
  for (auto it = Entered().rbegin(); it != Entered().rend(); ++it)
    if ((*it)->valid()) return *it;
  return nullptr;
}

void ContextState::Enter() { Entered().push_back(shared_from_this()); }

bool ContextState::Exit() {
  auto& entered = Entered();
  for (auto it = entered.rbegin(); it != entered.rend(); ++it) {
    if (it->get() == this) {
      entered.erase(std::next(it).base());
      return true;
    }
  }
  return false;
}

const std::u16string* ContextState::SourceOf(std::u16string_view name) const {
  const auto found = sources_.find(name);
  return found == sources_.end() ? nullptr : &found->second;
}

bool ContextState::Evaluate(std::u16string_view code, std::u16string_view name, int start_line, bool eval,
                            ScriptError* error) {
  if (!valid_) {
    if (error) error->message = u"Error: the script context is no longer valid";
    return false;
  }
  const std::shared_ptr<ContextState> keep = shared_from_this();
  // Leading blank lines make the engine's line numbers those of the page.
  std::u16string source(static_cast<size_t>(std::max(0, start_line - 1)), u'\n');
  source += code;
  const std::string bytes = ToDuk(source);
  const std::string file = ToDuk(name);
  sources_[std::u16string(name)] = std::move(source);

  duk_context* ctx = thread_;
  int rc;
  Enter();
  {
    RunningScope running(ctx);
    duk_push_lstring(ctx, file.data(), file.size());
    rc = duk_pcompile_lstring_filename(ctx, eval ? DUK_COMPILE_EVAL : 0, bytes.data(), bytes.size());
    if (rc == DUK_EXEC_SUCCESS) {
      duk_push_global_object(ctx);
      rc = duk_pcall_method(ctx, 0);
    }
  }
  Exit();
  if (rc == DUK_EXEC_SUCCESS) return true;
  if (error) *error = DescribeError(ctx, -1);
  duk_pop(ctx);
  return false;
}

void ContextState::RunPageScript(std::u16string_view code, std::u16string_view name, int start_line) {
  ScriptError error;
  if (Evaluate(code, name, start_line, false, &error)) {
    duk_pop(thread_);
    return;
  }
  ReportError(error);
}

void ContextState::CallPushedMethod(duk_context* ctx, duk_idx_t args) {
  Enter();
  int rc;
  {
    RunningScope running(ctx);
    rc = duk_pcall_method(ctx, args);
  }
  Exit();
  if (rc != DUK_EXEC_SUCCESS) ReportError(DescribeError(ctx, -1));
}

void ContextState::ReportError(const ScriptError& error) {
  if (hooks_) hooks_->ConsoleMessage(u"Uncaught " + error.message, error.resource, error.line);
  const int frames = Runtime::Get().CopiedNumber("uncaught_exception_stack_size").value_or(0);
  if (frames <= 0 || !hooks_ || !valid_) return;
  const auto context = ProgramRef<cef_v8context_t>::Adopt(NewContextRecord(shared_from_this()));
  const auto exception = ProgramRef<cef_v8exception_t>::Adopt(NewExceptionRecord(error));
  const auto trace =
      ProgramRef<cef_v8stack_trace_t>::Adopt(NewStackTraceRecord(FramesOfTraceback(error.traceback, frames)));
  hooks_->UncaughtException(context.get(), exception.get(), trace.get());
}

uint32_t ContextState::PinListener(duk_context* ctx, duk_idx_t index) {
  const uint32_t slot = heap_->Pin(ctx, index);
  pinned_.push_back(slot);
  return slot;
}

void ContextState::Close() {
  if (!valid_) return;
  CloseGeolocation();  // withdraws the requests still waiting for the program
  valid_ = false;
  hooks_ = nullptr;
  auto& entered = Entered();
  std::erase_if(entered, [this](const std::shared_ptr<ContextState>& s) { return s.get() == this; });
  for (const auto& [node, slot] : elements_) heap_->Unpin(slot);
  elements_.clear();
  for (uint32_t slot : pinned_) heap_->Unpin(slot);
  pinned_.clear();
  for (const auto& [id, slot] : timers_) heap_->Unpin(slot);
  timers_.clear();
  Runtime::Get().DropUiWork(static_cast<uintptr_t>(id_));  // its timers' queued tasks
  // The thread and its globals go once no value the program holds reaches them. Page
  // objects refer to each other (window.window), so only a collection frees them and
  // lets go of what the program attached to them.
  heap_->Unpin(thread_slot_);
  duk_gc(heap_->main(), 0);
  duk_gc(heap_->main(), 0);  // a second pass frees what finalizers let go
}

}  // namespace cef_engine::script

using cef_engine::script::ContextState;

extern "C" {

cef_v8context_t* cef_v8context_get_current_context() {
  auto current = ContextState::Current();
  return current ? cef_engine::script::NewContextRecord(std::move(current)) : nullptr;
}

cef_v8context_t* cef_v8context_get_entered_context() { return cef_v8context_get_current_context(); }

int cef_v8context_in_context() { return ContextState::Current() != nullptr; }

}  // extern "C"
