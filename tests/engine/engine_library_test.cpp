// Both engine libraries, loaded at run time by file name as the binding loads them:
// every export resolves under its plain name, and the incomplete library lacks exactly
// the last one.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cef/cef_exports.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#define CEF_ENGINE_TEST_NAME(name, result, params) #name,
const std::vector<std::string> kExports = {CEF_EXPORT_LIST(CEF_ENGINE_TEST_NAME)};
#undef CEF_ENGINE_TEST_NAME
const std::vector<std::string> kDiagnostics = {"cef_engine_live_objects", "cef_engine_live_object_report",
                                               "cef_engine_live_strings", "cef_engine_copied_setting",
                                               "cef_engine_int_setting"};

#if defined(_WIN32)
struct Unload {
  void operator()(HMODULE module) const { FreeLibrary(module); }
};
using Library = std::unique_ptr<std::remove_pointer_t<HMODULE>, Unload>;
// The program's own folder comes first in the search order.
Library Load(const std::string& stem) { return Library(LoadLibraryA(("lib" + stem + ".dll").c_str())); }
bool Has(const Library& library, const std::string& name) {
  return GetProcAddress(library.get(), name.c_str()) != nullptr;
}
#else
struct Unload {
  void operator()(void* handle) const { dlclose(handle); }
};
using Library = std::unique_ptr<void, Unload>;
Library Load(const std::string& stem) {
  const std::string path = std::string(CEF_ENGINE_TEST_LIBRARY_DIR) + "/lib" + stem + ".so";
  return Library(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}
bool Has(const Library& library, const std::string& name) {
  return dlsym(library.get(), name.c_str()) != nullptr;
}
#endif

std::vector<std::string> Missing(const Library& library, const std::vector<std::string>& names) {
  std::vector<std::string> missing;
  for (const auto& name : names) {
    if (!Has(library, name)) missing.push_back(name);
  }
  return missing;
}

TEST(EngineLibrary, CompleteLibraryResolvesEveryExportByItsPlainName) {
  const Library library = Load("cef");
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(kExports.size(), 99u);
  EXPECT_EQ(Missing(library, kExports), std::vector<std::string>{});
  EXPECT_EQ(Missing(library, kDiagnostics), std::vector<std::string>{});
}

TEST(EngineLibrary, IncompleteLibraryLacksOnlyTheLastExport) {
  const Library library = Load("cef_incomplete");
  ASSERT_NE(library, nullptr);
  EXPECT_EQ(Missing(library, kExports), std::vector<std::string>{"cef_get_geolocation"});
  EXPECT_EQ(Missing(library, kDiagnostics), std::vector<std::string>{});
}

}  // namespace
