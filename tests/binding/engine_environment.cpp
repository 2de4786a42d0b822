// Loads our engine once for the binding's unit tests (string conversions need its
// string functions) and checks at the end that nothing the tests did is left alive.
#include <gtest/gtest.h>

#include "support/engine_probe.h"

namespace {

class EngineEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    ceflib::CefEnsureEngine();
    ASSERT_NE(ceflib::CefLibraryHandle, nullptr);
  }
  void TearDown() override {
    EXPECT_EQ(engine_probe::LiveStrings(), 0) << "engine strings left allocated by the tests";
    EXPECT_EQ(engine_probe::LiveObjects(), 0) << "engine objects left alive by the tests";
    ceflib::CefShutdownEngine();
  }
};

const auto* const environment = testing::AddGlobalTestEnvironment(new EngineEnvironment);

}  // namespace
