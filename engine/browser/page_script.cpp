// The client's handlers for page script: the script-context handler hears of every
// frame's context as it is made and as its page goes, and of script errors nothing
// caught; the script dialog handler answers alert, confirm and prompt (else the engine's
// own dialogs do); the permission handler may keep registered extensions out of a page.
#include "browser/browser.h"
#include "browser/dialogs.h"
#include "strings/text.h"

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
    v8context_->on_uncaught_exception(v8context_.get(), Share(), frame.Share(), Lend(context),
                                      Lend(exception), Lend(trace));
}

void Browser::RunAlert(Frame& frame, const std::u16string& message) {
  const cef_string_t text = View(message);
  if (jsdialog_ && jsdialog_->on_jsalert &&
      jsdialog_->on_jsalert(jsdialog_.get(), Share(), frame.Share(), &text))
    return;
  ShowAlertBox(window(), frame.url(), message);
}

bool Browser::RunConfirm(Frame& frame, const std::u16string& message) {
  const cef_string_t text = View(message);
  int accepted = 0;
  if (jsdialog_ && jsdialog_->on_jsconfirm &&
      jsdialog_->on_jsconfirm(jsdialog_.get(), Share(), frame.Share(), &text, &accepted))
    return accepted != 0;
  return ShowConfirmBox(window(), frame.url(), message);
}

std::optional<std::u16string> Browser::RunPrompt(Frame& frame, const std::u16string& message,
                                                 const std::u16string& default_text) {
  if (jsdialog_ && jsdialog_->on_jsprompt) {
    const cef_string_t text = View(message), initial = View(default_text);
    int accepted = 0;
    cef_string_t result{};
    const bool handled =
        jsdialog_->on_jsprompt(jsdialog_.get(), Share(), frame.Share(), &text, &initial, &accepted, &result);
    std::optional<std::u16string> entered;
    if (handled && accepted) entered = std::u16string(ViewOf(&result));
    ClearRecord(&result);
    if (handled) return entered;
  }
  return ShowPromptBox(window(), frame.url(), message, default_text);
}

bool Browser::AllowExtension(Frame& frame, const std::u16string& name) {
  if (!permission_ || !permission_->on_before_script_extension_load) return true;
  const cef_string_t text = View(name);
  return !permission_->on_before_script_extension_load(permission_.get(), Share(), frame.Share(), &text);
}

}  // namespace cef_engine::browser
