// The handlers that govern a browser's page script: the script-context handler (a page's
// context made or going, errors no script caught), the script dialog handler (alert,
// confirm, prompt) and the permission handler (which registered extensions a page gets).
// All are called on the main thread; every default lets the engine go on as if there were
// no handler.
#pragma once

#include "ceflib/core/conversions.h"
#include "ceflib/wrappers/browser.h"
#include "ceflib/wrappers/v8.h"
#include "ceflib/wrappers/v8_stack_trace.h"

namespace ceflib {

class ICefV8ContextHandler : public virtual ICefBase {
 public:
  virtual void OnContextCreated(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                                const RefPtr<ICefv8Context>& context) = 0;
  virtual void OnContextReleased(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                                 const RefPtr<ICefv8Context>& context) = 0;
  virtual void OnUncaughtException(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                                   const RefPtr<ICefv8Context>& context,
                                   const RefPtr<ICefV8Exception>& exception,
                                   const RefPtr<ICefV8StackTrace>& stackTrace) = 0;
};

class TCefV8ContextHandlerOwn : public TCefOwn<cef_v8context_handler_t>, public ICefV8ContextHandler {
 public:
  TCefV8ContextHandlerOwn();
  // A frame's context was made, before any of its page's scripts run: what is set on
  // context->GetGlobal() here, the page's scripts see. Default: nothing.
  void OnContextCreated(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                        const RefPtr<ICefv8Context>& context) override;
  // The page goes (navigation, close, shutdown); drop what refers to the context.
  // Default: nothing.
  void OnContextReleased(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                         const RefPtr<ICefv8Context>& context) override;
  // An exception no script caught, with the stack where it was made; only when the
  // settings' uncaught_exception_stack_size is above 0. Default: nothing.
  void OnUncaughtException(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                           const RefPtr<ICefv8Context>& context, const RefPtr<ICefV8Exception>& exception,
                           const RefPtr<ICefV8StackTrace>& stackTrace) override;
};

class ICefJsDialogHandler : public virtual ICefBase {
 public:
  virtual bool OnJsAlert(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                         const ustring& message) = 0;
  virtual bool OnJsConfirm(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                           const ustring& message, bool& retval) = 0;
  virtual bool OnJsPrompt(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                          const ustring& message, const ustring& defaultValue, bool& retval,
                          ustring& result) = 0;
};

// Each method answers true when the program dealt with the dialog itself; false lets
// the engine show its own (a dialog box on Windows; elsewhere alert returns, confirm
// answers false and prompt null). The script waits for the answer.
class TCefJsDialogHandlerOwn : public TCefOwn<cef_jsdialog_handler_t>, public ICefJsDialogHandler {
 public:
  TCefJsDialogHandlerOwn();
  bool OnJsAlert(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                 const ustring& message) override;
  // retval: true when the user accepted. Default: false, the engine asks.
  bool OnJsConfirm(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame, const ustring& message,
                   bool& retval) override;
  // retval: true when the user accepted, then result is what prompt returns to script.
  // Default: false, the engine asks.
  bool OnJsPrompt(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame, const ustring& message,
                  const ustring& defaultValue, bool& retval, ustring& result) override;
};

class ICefPermissionHandler : public virtual ICefBase {
 public:
  virtual bool OnBeforeScriptExtensionLoad(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                                           const ustring& extensionName) = 0;
};

class TCefPermissionHandlerOwn : public TCefOwn<cef_permission_handler_t>, public ICefPermissionHandler {
 public:
  TCefPermissionHandlerOwn();
  // Before the registered extension extensionName is loaded into the frame's new
  // context; true keeps it out of that page. Default: false, it is loaded.
  bool OnBeforeScriptExtensionLoad(const RefPtr<ICefBrowser>& browser, const RefPtr<ICefFrame>& frame,
                                   const ustring& extensionName) override;
};

}  // namespace ceflib
