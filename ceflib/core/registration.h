// Registering a scheme handler factory and a native script extension with the engine.
// Both load and initialize the engine first when it is not loaded yet.
#pragma once

#include "ceflib/bridges/scheme.h"
#include "ceflib/wrappers/v8.h"

namespace ceflib {

// Serves scheme://host/ with handlers made by handlerClass; with syncMainThread their
// calls run on the main thread. True when the engine accepted the factory.
bool CefRegisterSchemeHandlerFactory(const ustring& schemeName, const ustring& hostName, bool syncMainThread,
                                     TCefSchemeHandlerClass handlerClass);

template <class T>
bool CefRegisterSchemeHandlerFactory(const ustring& schemeName, const ustring& hostName,
                                     bool syncMainThread) {
  return CefRegisterSchemeHandlerFactory(schemeName, hostName, syncMainThread, CefSchemeHandlerClassOf<T>());
}

// Registers script code whose native functions call handler (which may be null). True
// when the engine accepted the extension.
bool CefRegisterExtension(const ustring& name, const ustring& code, const RefPtr<ICefv8Handler>& handler);

}  // namespace ceflib
