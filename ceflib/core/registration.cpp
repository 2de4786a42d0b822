#include "ceflib/core/registration.h"

#include "ceflib/core/engine_library.h"

namespace ceflib {

bool CefRegisterSchemeHandlerFactory(const ustring& schemeName, const ustring& hostName, bool syncMainThread,
                                     TCefSchemeHandlerClass handlerClass) {
  CefEnsureEngine();
  // The engine holds the factory's only lasting reference.
  RefPtr<ICefBase> factory = Make<TCefSchemeHandlerFactoryOwn>(std::move(handlerClass), syncMainThread);
  return CefCallExport<bool>(cef_register_scheme_handler_factory, schemeName, hostName, factory);
}

bool CefRegisterExtension(const ustring& name, const ustring& code, const RefPtr<ICefv8Handler>& handler) {
  CefEnsureEngine();
  return CefCallExport<bool>(cef_register_extension, name, code, handler);
}

}  // namespace ceflib
