// A program that ends normally while its globals still hold binding objects: the
// binding's own finalization shuts the engine down first (this file's globals are made
// before the binding library's, so they are destroyed after it), and the globals then
// give their engine resources back. The test fails when the program does not exit
// cleanly.
#include <gtest/gtest.h>

#include <optional>

#include "ceflib/core/string_map.h"
#include "ceflib/wrappers/request.h"
#include "ceflib/wrappers/v8.h"
#include "support/engine_probe.h"

using namespace ceflib;

namespace {

RefPtr<ICefRequest> gRequest;
RefPtr<ICefStringMultimap> gHeaders;
RefPtr<ICefStringMap> gAttributes;
RefPtr<ICefV8Value> gValue;
std::optional<CefOwnedStringList> gList;

TEST(ProgramExit, GlobalsStillHoldingEngineObjectsAtExit) {
  CefLibraryName = engine_probe::kEngineName;
  CefEnsureEngine();
  ASSERT_NE(CefLibraryHandle, nullptr);
  gRequest = TCefRequestRef::New();
  ASSERT_NE(gRequest, nullptr);
  gRequest->SetUrl(u"http://example.test/");
  gHeaders = Make<TCefStringMultimapOwn>();
  gHeaders->Append(u"Accept", u"*/*");
  gRequest->SetHeaderMap(*gHeaders);
  gAttributes = Make<TCefStringMapOwn>();
  gAttributes->Append(u"id", u"main");
  gValue = TCefv8ValueRef::CreateString(u"kept");
  gList.emplace();
  gList->Append(u"item");
}

}  // namespace
