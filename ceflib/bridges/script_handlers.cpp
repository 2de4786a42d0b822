#include "ceflib/bridges/script_handlers.h"

namespace ceflib {

TCefV8ContextHandlerOwn::TCefV8ContextHandlerOwn() {
  cef_v8context_handler_t* r = record();
  Bind<&TCefV8ContextHandlerOwn::OnContextCreated>(r->on_context_created);
  Bind<&TCefV8ContextHandlerOwn::OnContextReleased>(r->on_context_released);
  Bind<&TCefV8ContextHandlerOwn::OnUncaughtException>(r->on_uncaught_exception);
}

void TCefV8ContextHandlerOwn::OnContextCreated(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&,
                                               const RefPtr<ICefv8Context>&) {}
void TCefV8ContextHandlerOwn::OnContextReleased(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&,
                                                const RefPtr<ICefv8Context>&) {}
void TCefV8ContextHandlerOwn::OnUncaughtException(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&,
                                                  const RefPtr<ICefv8Context>&,
                                                  const RefPtr<ICefV8Exception>&,
                                                  const RefPtr<ICefV8StackTrace>&) {}

TCefJsDialogHandlerOwn::TCefJsDialogHandlerOwn() {
  cef_jsdialog_handler_t* r = record();
  Bind<&TCefJsDialogHandlerOwn::OnJsAlert>(r->on_jsalert);
  Bind<&TCefJsDialogHandlerOwn::OnJsConfirm>(r->on_jsconfirm);
  Bind<&TCefJsDialogHandlerOwn::OnJsPrompt>(r->on_jsprompt);
}

bool TCefJsDialogHandlerOwn::OnJsAlert(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, const ustring&) {
  return false;
}
bool TCefJsDialogHandlerOwn::OnJsConfirm(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, const ustring&,
                                         bool&) {
  return false;
}
bool TCefJsDialogHandlerOwn::OnJsPrompt(const RefPtr<ICefBrowser>&, const RefPtr<ICefFrame>&, const ustring&,
                                        const ustring&, bool&, ustring&) {
  return false;
}

TCefPermissionHandlerOwn::TCefPermissionHandlerOwn() {
  Bind<&TCefPermissionHandlerOwn::OnBeforeScriptExtensionLoad>(record()->on_before_script_extension_load);
}

bool TCefPermissionHandlerOwn::OnBeforeScriptExtensionLoad(const RefPtr<ICefBrowser>&,
                                                           const RefPtr<ICefFrame>&, const ustring&) {
  return false;
}

}  // namespace ceflib
