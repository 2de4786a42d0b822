// Reads our engine's diagnostic exports through the binding's library handle.
#pragma once

#include "ceflib/core/engine_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace engine_probe {

template <class Fn>
Fn Export(const char* name) {
#if defined(_WIN32)
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(ceflib::CefLibraryHandle, name)));
#else
  return reinterpret_cast<Fn>(dlsym(ceflib::CefLibraryHandle, name));
#endif
}

inline int LiveObjects() { return Export<int (*)()>("cef_engine_live_objects")(); }
inline int LiveStrings() { return Export<int (*)()>("cef_engine_live_strings")(); }

#if defined(_WIN32)
inline const char16_t* kEngineName = u"libcef.dll";
inline const char16_t* kIncompleteEngineName = u"libcef_incomplete.dll";
#else
inline const char16_t* kEngineName = u"libcef.so";
inline const char16_t* kIncompleteEngineName = u"libcef_incomplete.so";
#endif

// True while a library of that name is mapped into the process.
inline bool Mapped(const char16_t* name) {
#if defined(_WIN32)
  return GetModuleHandleW(reinterpret_cast<const wchar_t*>(name)) != nullptr;
#else
  void* h = dlopen(ceflib::CefToUtf8(name).c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
#endif
}

}  // namespace engine_probe
